// kinevista-cli batch: every show into <folder>/<name>B.<ext> with the common options.
#include <gtest/gtest.h>

#include <string>

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
    ASSERT_EQ(
        kvtest::Run(cli + " batch --out '" + out + "/x.mov' '" + a + "' '" + dir + "/c.kvx' '" + b +
                    "' --size 48x32 --fps 25 --frame-rate 2500 "
                    "--hold 00:00:01 2>/dev/null"),
        0);
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

}  // namespace
