// kinevista-cli batch: every show into <folder>/<name>B.<ext> with the common options.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tests/output/show_files.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/test_support.h"

namespace {

TEST(CliBatch, EachShowToItsOwnMovie) {
    const std::string dir = kvtest::TempDir("cli-batch");
    const std::string a = kvtest::MakeShowFile(dir, "a", 6);
    const std::string b = kvtest::MakeShowFile(dir, "b", 9);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    kvtest::WriteFileBytes(dir + "/c.kvx", "not a show");
    const std::string out = kvtest::TempDir("cli-batch-out");
    const std::string cli = std::string(KV_BIN_DIR) + "/kinevista-cli";
    // The entry that is not a show is named and left out; the others are made; the batch
    // says it did not make everything.
    const std::string err = out + "/../batch-err.txt";
    ASSERT_EQ(
        kvtest::Run(cli + " batch --out '" + out + "/x.mov' '" + a + "' '" + dir + "/c.kvx' '" + b +
                    "' --size 48x32 --fps 25 --frame-rate 2500 "
                    "--hold 00:00:01 2>'" +
                    err + "'"),
        1);
    EXPECT_NE(kvtest::ReadFileBytes(err).find(dir + "/c.kvx is not a show"), std::string::npos)
        << kvtest::ReadFileBytes(err);
    auto pa = kvtest::ProbeVideo(out + "/aB.mov");
    EXPECT_EQ(pa["nb_read_frames"], "8");
    EXPECT_EQ(pa["width"], "48");
    EXPECT_EQ(kvtest::ProbeVideo(out + "/bB.mov")["nb_read_frames"], "11");
    EXPECT_TRUE(kvtest::ReadFileBytes(out + "/cB.mov").empty());
    EXPECT_TRUE(kvtest::ReadFileBytes(out + "/x.mov").empty());

    EXPECT_EQ(kvtest::Run(cli + " batch --out '" + out + "/x.avi' 2>/dev/null"), 2);
    EXPECT_EQ(kvtest::Run(cli + " batch '" + a + "' --out '" + out + "/gone/x.avi' 2>/dev/null"),
              1);
}

TEST(CliBatch, AShowWhosePictureIsGoneFailsTheBatchUnlessPlaceholdersAreAllowed) {
    const std::string dir = kvtest::TempDir("cli-batch-missing");
    const std::string a = kvtest::MakeShowFile(dir, "a", 6);
    const std::string b = kvtest::MakeShowFile(dir, "b", 6);
    ASSERT_FALSE(b.empty());
    // b's picture is moved away (and not beside the show either).
    const std::string bPicture = dir + "/b.bmp";
    ASSERT_EQ(kvtest::Run("mkdir '" + dir + "/away' && mv '" + bPicture + "' '" + dir + "/away/'"),
              0);
    const std::string out = kvtest::TempDir("cli-batch-missing-out");
    const std::string cli = std::string(KV_BIN_DIR) + "/kinevista-cli batch --out '" + out +
                            "/x.avi' '" + a + "' '" + b + "' --size 48x32 --set ShowPicError=0";
    EXPECT_EQ(kvtest::Run(cli + " 2>/dev/null"), 1);
    EXPECT_TRUE(kvtest::ListFolder(out).empty());  // refused before any movie was made
    EXPECT_EQ(kvtest::Run(cli + " --allow-placeholder 2>/dev/null"), 0);
    EXPECT_EQ(kvtest::ListFolder(out), (std::vector<std::string>{"aB.avi", "bB.avi"}));
}

// More shows than one batch round takes: every one is made.
TEST(CliBatch, SeventyShowsMakeSeventyMovies) {
    const std::string dir = kvtest::TempDir("cli-batch-70");
    const std::string first = kvtest::MakeShowFile(dir, "s0", 2);
    ASSERT_FALSE(first.empty());
    std::string list;
    std::vector<std::string> want;
    for (int i = 0; i < 70; ++i) {
        const std::string name = "s" + std::to_string(i);
        if (i > 0) {
            ASSERT_EQ(kvtest::Run("cp '" + first + "' '" + dir + "/" + name + ".kvx'"), 0);
        }
        list += " '" + dir + "/" + name + ".kvx'";
        want.push_back(name + "B.avi");
    }
    const std::string out = kvtest::TempDir("cli-batch-70-out");
    const std::string cli = std::string(KV_BIN_DIR) + "/kinevista-cli";
    ASSERT_EQ(kvtest::Run(cli + " batch --out '" + out + "/x.avi'" + list +
                          " --size 16x16 --fps 25 --frame-rate 2500 --hold 0:00:00:00 2>/dev/null"),
              0);
    std::vector<std::string> made = kvtest::ListFolder(out);
    std::sort(made.begin(), made.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(made, want);
    EXPECT_EQ(kvtest::ProbeVideo(out + "/s69B.avi")["nb_read_frames"],
              kvtest::ProbeVideo(out + "/s0B.avi")["nb_read_frames"]);
}

// A missing show and a picture among the shows: the rest are made, both are named, status 1.
// Options that name frames of one show are refused for a batch.
TEST(CliBatch, MissingAndForeignEntriesAreNamedAndTheRestMade) {
    const std::string dir = kvtest::TempDir("cli-batch-named");
    const std::string a = kvtest::MakeShowFile(dir, "a", 4);
    const std::string b = kvtest::MakeShowFile(dir, "b", 4);
    ASSERT_FALSE(b.empty());
    ASSERT_EQ(kvtest::Run("convert -size 8x8 xc:red '" + dir + "/photo.jpg'"), 0);
    const std::string out = kvtest::TempDir("cli-batch-named-out");
    const std::string errFile = dir + "/err.txt";
    const std::string cli = std::string(KV_BIN_DIR) + "/kinevista-cli batch --out '" + out +
                            "/x.avi' --size 16x16 --fps 25 --frame-rate 2500 ";
    EXPECT_EQ(kvtest::Run(cli + "'" + a + "' '" + dir + "/gone.kvx' '" + dir + "/photo.jpg' '" + b +
                          "' 2>'" + errFile + "'"),
              1);
    const std::string err = kvtest::ReadFileBytes(errFile);
    EXPECT_NE(err.find(dir + "/gone.kvx is missing"), std::string::npos) << err;
    EXPECT_NE(err.find(dir + "/photo.jpg is not a show"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ListFolder(out), (std::vector<std::string>{"aB.avi", "bB.avi"}));

    for (const char* option : {"--end 0:00:00:02", "--frames 0-1"}) {
        EXPECT_EQ(kvtest::Run(cli + option + " '" + a + "' 2>'" + errFile + "'"), 2) << option;
        EXPECT_NE(kvtest::ReadFileBytes(errFile).find("does not apply to a batch"),
                  std::string::npos);
    }
}

// A show that finds its picture only beside itself (a stored relative path), run from another
// folder: the batch's frames are the movie command's, not the black of a missing picture.
TEST(CliBatch, AShowFindsItsPictureBesideItAsMovieDoes) {
    const std::string dir = kvtest::TempDir("cli-batch-beside");
    const std::string path = kvtest::MakeShowFile(dir, "near", 6);
    kv::Show s;
    ASSERT_TRUE(kv::LoadShow(s, path, false));
    s.pictures[0].fileSpec.SetPath("near.bmp");
    ASSERT_TRUE(kv::SaveShow(s, path));
    const std::string out = kvtest::TempDir("cli-batch-beside-out");
    const std::string cli = "cd / && " + std::string(KV_BIN_DIR) + "/kinevista-cli ";
    const std::string options = " --size 48x32 --fps 25 --frame-rate 2500 ";
    ASSERT_EQ(kvtest::Run(cli + "batch --out '" + out + "/x.avi' '" + path + "'" + options +
                          "2>/dev/null"),
              0);
    ASSERT_EQ(kvtest::Run(cli + "movie '" + path + "' --out '" + out + "/one.avi'" + options +
                          "2>/dev/null"),
              0);
    const std::string batch = kvtest::DecodeBgra(out + "/nearB.avi");
    ASSERT_FALSE(batch.empty());
    EXPECT_TRUE(batch == kvtest::DecodeBgra(out + "/one.avi"));
    // Not a flat frame: the picture was found.
    EXPECT_NE(batch.find_first_not_of(batch[0]), std::string::npos);
}

}  // namespace
