// kinevista-cli info and resave: the JSON of a show, round trips through resave and through the
// other byte order, and files that are not shows.
#include <gtest/gtest.h>

#include <vector>

#include "tests/tools/cli/cli_show_fixture.h"

namespace {

using kvclitest::Cli;
using kvclitest::CliShow;
using kvclitest::Q;

TEST_F(CliShow, InfoPrintsTheShow) {
    std::string json;
    ASSERT_EQ(Cli("info " + Q(path) + " --length 300", &json), 0);
    EXPECT_NE(json.find("\"length\": 300,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"picture\": \"" + picture + "\","), std::string::npos);
    EXPECT_NE(json.find("\"pictureCount\": 1,"), std::string::npos);
    EXPECT_NE(json.find("\"keyCount\": 3,"), std::string::npos);
    EXPECT_NE(json.find("\"audio\": \"/sounds/a.wav\","), std::string::npos);
    EXPECT_NE(json.find("\"MatteColor\": 65280,"), std::string::npos);
    EXPECT_NE(json.find("\"BorderSize\": 5,"), std::string::npos);
    EXPECT_NE(json.find("\"ContrastBrightness\": 14125"), std::string::npos);
    EXPECT_NE(json.find("{\"x\": 40.5, \"stamp\": 0, \"y\": 24, \"width\": 44, \"sizeReserve\": 0, "
                        "\"tiltA\": 0, \"tiltB\": 0, \"rotation\": 0, \"easeCode\": 3000, "
                        "\"pictureStart\": 0, \"spareB\": 0, \"showLength\": 0, \"time\": 60, "
                        "\"undoPicture\": 0, \"undoOp\": 0}"),
              std::string::npos)
        << json;
}

TEST_F(CliShow, ResaveRoundTripsAndWritesWhatSaveShowWrites) {
    const std::string out = dir + "/again.kvx";
    ASSERT_EQ(Cli("resave " + Q(path) + " " + Q(out)), 0);
    const std::string a = kvtest::ReadFileBytes(path);
    const std::string b = kvtest::ReadFileBytes(out);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a.substr(0, 2), b.substr(0, 2));
    EXPECT_EQ(a.substr(4, 40), b.substr(4, 40));
    std::string ja, jb;
    ASSERT_EQ(Cli("info " + Q(path), &ja), 0);
    ASSERT_EQ(Cli("info " + Q(out), &jb), 0);
    EXPECT_EQ(kvclitest::WithoutId(ja), kvclitest::WithoutId(jb));
    EXPECT_NE(ja, jb);  // a new show id

    // The same show in the other byte order reads the same, id and all.
    std::vector<uint8_t> bytes(a.begin(), a.end());
    ASSERT_TRUE(kv::SwapShowByteOrder(bytes.data(), static_cast<uint32_t>(bytes.size())));
    const std::string swapped = dir + "/swapped.kvx";
    kvtest::WriteFileBytes(swapped, std::string(bytes.begin(), bytes.end()));
    std::string js;
    ASSERT_EQ(Cli("info " + Q(swapped), &js), 0);
    EXPECT_EQ(ja, js);
}

TEST_F(CliShow, NotAShow) {
    kvtest::WriteFileBytes(dir + "/junk.kvx", "BM this is no show");
    std::string err;
    EXPECT_EQ(Cli("info " + Q(dir + "/junk.kvx"), nullptr, "2>&1 >/dev/null"), 1);
    EXPECT_EQ(Cli("info " + Q(dir + "/absent.kvx")), 1);
    EXPECT_EQ(Cli("resave " + Q(dir + "/junk.kvx") + " " + Q(dir + "/o.kvx")), 1);
    EXPECT_EQ(Cli("info"), 2);
    EXPECT_EQ(Cli("resave " + Q(path) + " " + Q(dir + "/no/folder/o.kvx")), 1);
}

TEST_F(CliShow, MovedPictureIsFoundBesideTheShow) {
    // The show and its picture moved together to another folder: the stored path is gone.
    const std::string moved = kvtest::TempDir("moved");
    ASSERT_EQ(kvtest::Run("mv " + Q(picture) + " " + Q(path) + " " + Q(moved)), 0);
    std::string json;
    ASSERT_EQ(Cli("info " + Q(moved + "/show.kvx"), &json), 0);
    EXPECT_NE(json.find("\"loadResult\": 1,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"picture\": \"" + picture + "\","), std::string::npos);  // as stored

    // With the picture gone altogether the keys still survive a resave.
    ASSERT_EQ(kvtest::Run("rm " + Q(moved + "/pic.bmp")), 0);
    ASSERT_EQ(Cli("resave " + Q(moved + "/show.kvx") + " " + Q(moved + "/kept.kvx")), 0);
    ASSERT_EQ(Cli("info " + Q(moved + "/kept.kvx"), &json), 0);
    EXPECT_NE(json.find("\"keyCount\": 3,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"pictureCount\": 1,"), std::string::npos);
}

TEST(CliExample, BundledExampleLoadsFromAnyFolder) {
    const std::string copy = kvtest::TempDir("example");
    const std::string src = std::string(KV_SOURCE_DIR) + "/examples/";
    ASSERT_EQ(
        kvtest::Run("cp " + Q(src + "example.kvx") + " " + Q(src + "example.jpg") + " " + Q(copy)),
        0);
    std::string json;
    ASSERT_EQ(Cli("info " + Q(copy + "/example.kvx"), &json), 0);
    EXPECT_NE(json.find("\"keyCount\": 5,"), std::string::npos);
    EXPECT_NE(json.find("\"loadResult\": 1,"), std::string::npos) << json;
}

}  // namespace
