// kinevista-cli new and set: info -> set writes what resave writes (both byte orders, 63 keys
// with eases and tilts), documents that cannot be stored are refused with the field named and
// nothing written, and new frames the whole picture.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/tools/cli/cli_show_fixture.h"

namespace {

using kvclitest::Cli;
using kvclitest::CliShow;
using kvclitest::Q;
using kvclitest::WithoutId;

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The bytes of a show file apart from the show id, which every save draws anew.
std::string WithoutIdBytes(std::string bytes) {
    if (bytes.size() >= 4) bytes[2] = bytes[3] = 0;
    return bytes;
}

// info -> set must write the bytes resave writes from the same show.
void ExpectSetEqualsResave(const std::string& show, const std::string& dir) {
    std::string json;
    ASSERT_EQ(Cli("info " + Q(show), &json), 0);
    kvtest::WriteFileBytes(dir + "/keys.json", json);
    ASSERT_EQ(Cli("resave " + Q(show) + " " + Q(dir + "/resaved.kvx")), 0);
    std::string err;
    ASSERT_EQ(
        Cli("set " + Q(show) + " --keys " + Q(dir + "/keys.json") + " --out " + Q(dir + "/set.kvx"),
            &err, "2>&1"),
        0)
        << err;
    const std::string a = kvtest::ReadFileBytes(dir + "/resaved.kvx");
    const std::string b = kvtest::ReadFileBytes(dir + "/set.kvx");
    ASSERT_GT(a.size(), 8u);
    EXPECT_EQ(WithoutIdBytes(a), WithoutIdBytes(b));
}

// A document of n keys with every kind of ease, tilts and rotation.
std::string ManyKeys(const std::string& picture, int n) {
    std::string keys;
    for (int k = 0; k < n; ++k) {
        char buf[512];
        std::snprintf(buf, sizeof buf,
                      "    {\"x\": %g, \"stamp\": 0, \"y\": %d, \"width\": %d, "
                      "\"sizeReserve\": 0, \"tiltA\": %g, \"tiltB\": %g, \"rotation\": %d, "
                      "\"easeCode\": %d, \"pictureStart\": 0, \"spareB\": 0, \"showLength\": 0, "
                      "\"time\": %d, \"undoPicture\": 0, \"undoOp\": 0}%s\n",
                      10 + k * 0.25, 20 + k % 7, 30 + k % 11, (k % 9) * 4.5 - 18,
                      k % 5 == 0 ? 0.0 : -(k % 5) * 3.5, k * 3 - 40,
                      k % 4 == 0 ? 0 : 1000 * (k % 4) + 20 + k % 2, k * 4, k + 1 == n ? "" : ",");
        keys += buf;
    }
    return "{\n  \"length\": 300,\n  \"aspect\": 0.75,\n  \"AspectMode\": 7500,\n"
           "  \"EaseType\": 0,\n  \"showId\": 1,\n  \"pictureCount\": 1,\n  \"picture\": \"" +
           picture + "\",\n  \"loadResult\": 1,\n  \"keyCount\": " + std::to_string(n) +
           ",\n  \"keys\": [\n" + keys +
           "  ],\n  \"audio\": \"\",\n  \"MatteColor\": 0,\n  \"BorderSize\": 0,\n"
           "  \"PreBlur\": 0,\n  \"VideoColors\": 1,\n  \"ContrastBrightness\": 12850\n}\n";
}

TEST_F(CliShow, SetWithInfoWritesWhatResaveWrites) {
    ExpectSetEqualsResave(path, dir);

    // The same show written in the other byte order: set follows the save's byte order.
    std::string bytes = kvtest::ReadFileBytes(path);
    std::vector<uint8_t> block(bytes.begin(), bytes.end());
    ASSERT_TRUE(kv::SwapShowByteOrder(block.data(), static_cast<uint32_t>(block.size())));
    const std::string swapped = dir + "/swapped.kvx";
    kvtest::WriteFileBytes(swapped, std::string(block.begin(), block.end()));
    ExpectSetEqualsResave(swapped, dir);
    EXPECT_EQ(WithoutIdBytes(kvtest::ReadFileBytes(dir + "/set.kvx")),
              WithoutIdBytes(kvtest::ReadFileBytes(dir + "/resaved.kvx")));
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/set.kvx").substr(0, 2), bytes.substr(0, 2));
}

TEST(CliShowData, BundledExampleRoundTrips) {
    const std::string dir = kvtest::TempDir("set-example");
    const std::string src = std::string(KV_SOURCE_DIR) + "/examples/";
    ASSERT_EQ(
        kvtest::Run("cp " + Q(src + "example.kvx") + " " + Q(src + "example.jpg") + " " + Q(dir)),
        0);
    ExpectSetEqualsResave(dir + "/example.kvx", dir);
}

TEST_F(CliShow, SixtyThreeKeysWithEasesAndTiltsRoundTrip) {
    const std::string doc = ManyKeys(picture, 63);
    kvtest::WriteFileBytes(dir + "/63.json", doc);
    std::string err;
    ASSERT_EQ(Cli("set " + Q(path) + " --keys " + Q(dir + "/63.json") + " --out " +
                      Q(dir + "/63.kvx") + " --length 300",
                  &err, "2>&1"),
              0)
        << err;
    std::string json;
    ASSERT_EQ(Cli("info " + Q(dir + "/63.kvx") + " --length 300", &json), 0);
    EXPECT_NE(json.find("\"keyCount\": 63,"), std::string::npos) << json;
    // What was asked for comes back, apart from the id and what a save fills in (the version
    // stamp and show length of the first key).
    std::string want = kvclitest::WithoutId(doc);
    const std::string first = "\"stamp\": 0, ";
    want.replace(want.find(first), first.size(), "\"stamp\": 110, ");
    const std::string len = "\"showLength\": 0, ";
    want.replace(want.find(len), len.size(), "\"showLength\": 300, ");
    EXPECT_EQ(kvclitest::WithoutId(json), want);
    ExpectSetEqualsResave(dir + "/63.kvx", dir);

    // The 63-key show in the other byte order reads back the same.
    std::string bytes = kvtest::ReadFileBytes(dir + "/63.kvx");
    std::vector<uint8_t> block(bytes.begin(), bytes.end());
    ASSERT_TRUE(kv::SwapShowByteOrder(block.data(), static_cast<uint32_t>(block.size())));
    kvtest::WriteFileBytes(dir + "/63s.kvx", std::string(block.begin(), block.end()));
    std::string swappedJson;
    ASSERT_EQ(Cli("info " + Q(dir + "/63s.kvx") + " --length 300", &swappedJson), 0);
    EXPECT_EQ(swappedJson, json);
}

namespace {

// A refused document and the words its message must hold.
struct RefusedCase {
    std::string doc;
    std::string message;
};

// Documents with one fault each, made from the good document of three keys.
std::vector<RefusedCase> RefusedDocuments(const std::string& good, const std::string& picture) {
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string d = good;
        const size_t at = d.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) d.replace(at, from.size(), to);
        return d;
    };
    return {
        {replaced("  \"BorderSize\": 0,\n", ""), "BorderSize: is missing"},
        {replaced("\"x\": 10,", "\"x\": NaN,"), "(in keys[0].x)"},
        {replaced("\"x\": 10,", "\"x\": null,"), "keys[0].x: is not a number"},
        {replaced("\"width\": 31", "\"width\": -31"), "keys[1].width: -31 is out of range"},
        {replaced("\"width\": 30", "\"width\": 0"), "keys[0].width: 0 is out of range"},
        {replaced("\"tiltA\": -18", "\"tiltA\": 90"), "keys[0].tiltA:"},
        {replaced("\"time\": 8", "\"time\": 301"), "keys[2].time: 301 is out of range"},
        {replaced("\"time\": 8", "\"time\": 2"), "keys[2].time: 2 comes before"},
        {replaced("\"time\": 4", "\"time\": 4.5"), "keys[1].time: wants a whole number"},
        {replaced("\"length\": 300", "\"length\": \"300\""),
         "length: wants a number, not a string"},
        {replaced("\"keyCount\": 3", "\"keyCount\": 4"), "keyCount: 4 does not match"},
        {replaced("\"PreBlur\": 0", "\"PreBlur\": 0, \"Sharpen\": 1"),
         "Sharpen: is not a field of a show"},
        {replaced("\"easeCode\": 0", "\"easeCode\": -1"), "keys[0].easeCode: -1 is out of range"},
        {replaced("\"ContrastBrightness\": 12850", "\"ContrastBrightness\": 70000"),
         "ContrastBrightness: 70000 is out of range"},
        {replaced("\"VideoColors\": 1", "\"VideoColors\": true"), "VideoColors: wants a number"},
        {ManyKeys(picture, 64), "keys: holds 64 keys; a show has at most 63"},
        {good.substr(0, good.size() / 2), "line "},
        // Checked as the float that is stored, not as the double that was read.
        {replaced("\"width\": 30", "\"width\": 1e-50"),
         "keys[0].width: 1e-50 (stored as 0) is out of range"},
        {replaced("\"x\": 10,", "\"x\": 1e39,"), "keys[0].x: 1e+39 is out of range"},
        // What a show file cannot keep, with the way to set it.
        {replaced("\"length\": 300", "\"length\": 1073741823"),
         "length: 1073741823 is not the length in use (300) and is not kept in a show file; "
         "give --length 1073741823"},
        {replaced("\"AspectMode\": 7500", "\"AspectMode\": 5625"),
         "AspectMode: 5625 is not the value in use (7500) and is not kept in a show file; give "
         "--set AspectMode=VALUE to every later command, or set it in the settings file"},
        {replaced("\"aspect\": 0.75", "\"aspect\": 0.5625"), "--set AspectMode=VALUE"},
        {replaced("\"EaseType\": 0", "\"EaseType\": 3"), "EaseType: 3 is not the value in use (0)"},
        {replaced("\"VideoColors\": 1", "\"VideoColors\": 0"), "--set VideoColors=VALUE"},
    };
}

}  // namespace

TEST_F(CliShow, RefusedDocumentsNameTheFieldAndWriteNothing) {
    const std::string good = ManyKeys(picture, 3);
    const std::vector<RefusedCase> cases = RefusedDocuments(good, picture);
    const std::string before = kvtest::ReadFileBytes(path);
    for (const RefusedCase& c : cases) {
        kvtest::WriteFileBytes(dir + "/bad.json", c.doc);
        std::string err;
        EXPECT_EQ(Cli("set " + Q(path) + " --keys " + Q(dir + "/bad.json") + " --out " +
                          Q(dir + "/out.kvx") + " --length 300",
                      &err, "2>&1"),
                  1)
            << c.message;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_FALSE(Exists(dir + "/out.kvx")) << c.message;
        // Without --out the show itself would be the target: it stays as it was.
        EXPECT_EQ(Cli("set " + Q(path) + " --keys " + Q(dir + "/bad.json") + " --length 300"), 1)
            << c.message;
        EXPECT_EQ(kvtest::ReadFileBytes(path), before) << c.message;
        EXPECT_EQ(Cli("new " + Q(picture) + " --keys " + Q(dir + "/bad.json") + " --out " +
                      Q(dir + "/new.kvx") + " --length 300"),
                  1)
            << c.message;
        EXPECT_FALSE(Exists(dir + "/new.kvx")) << c.message;
    }
    // The good document itself passes with the length in use, and fails with another one,
    // against which its key times are checked too.
    kvtest::WriteFileBytes(dir + "/good.json", good);
    EXPECT_EQ(Cli("set " + Q(path) + " --keys " + Q(dir + "/good.json") + " --out " +
                  Q(dir + "/out.kvx") + " --length 300"),
              0);
    std::string err;
    EXPECT_EQ(
        Cli("set " + Q(path) + " --keys " + Q(dir + "/good.json") + " --length 6", &err, "2>&1"),
        1);
    EXPECT_NE(err.find("length: 300 is not the length in use (6)"), std::string::npos) << err;
    EXPECT_EQ(Cli("set " + Q(path)), 2);  // no --keys
    EXPECT_EQ(Cli("set " + Q(path) + " --keys " + Q(dir + "/absent.json")), 1);
}

// The file's and the editor's own bookkeeping (showId, loadResult, a key's stamp, showLength
// and undoOp) is read and dropped: any value of the right type gives the same show file.
TEST_F(CliShow, BookkeepingFieldsAreIgnored) {
    std::string doc = ManyKeys(picture, 3);
    kvtest::WriteFileBytes(dir + "/plain.json", doc);
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"\"showId\": 1", "\"showId\": 4000000"},
             {"\"loadResult\": 1", "\"loadResult\": -7.5"},
             {"\"stamp\": 0", "\"stamp\": 1e30"},
             {"\"showLength\": 0", "\"showLength\": 2147483647"},
             {"\"undoOp\": 0", "\"undoOp\": 70000"}}) {
        const size_t at = doc.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        doc.replace(at, from.size(), to);
    }
    kvtest::WriteFileBytes(dir + "/odd.json", doc);
    std::string err;
    for (const char* name : {"plain", "odd"})
        ASSERT_EQ(Cli("set " + Q(path) + " --keys " + Q(dir + "/" + name + ".json") + " --out " +
                          Q(dir + "/" + name + ".kvx") + " --length 300",
                      &err, "2>&1"),
                  0)
            << name << ": " << err;
    EXPECT_EQ(WithoutIdBytes(kvtest::ReadFileBytes(dir + "/plain.kvx")),
              WithoutIdBytes(kvtest::ReadFileBytes(dir + "/odd.kvx")));
    EXPECT_GT(kvtest::ReadFileBytes(dir + "/odd.kvx").size(), 8u);
}

TEST_F(CliShow, NewFramesTheWholePictureOrTakesTheKeys) {
    const std::string made = dir + "/made.kvx";
    ASSERT_EQ(Cli("new " + Q(picture) + " --out " + Q(made)), 0);
    std::string json;
    ASSERT_EQ(Cli("info " + Q(made), &json), 0);
    EXPECT_NE(json.find("\"picture\": \"" + picture + "\","), std::string::npos) << json;
    // One key over the 64 x 48 picture, doubled one second later by the save.
    EXPECT_NE(json.find("\"keyCount\": 2,"), std::string::npos) << json;
    EXPECT_NE(json.find("{\"x\": 32, \"stamp\": 110, \"y\": 24, \"width\": 64,"), std::string::npos)
        << json;

    // With keys, the picture of the command line wins over the document's.
    kvtest::WriteFileBytes(dir + "/k.json", ManyKeys("/elsewhere/other.bmp", 5));
    ASSERT_EQ(Cli("new " + Q(picture) + " --keys " + Q(dir + "/k.json") + " --out " +
                  Q(dir + "/k.kvx") + " --length 300"),
              0);
    ASSERT_EQ(Cli("info " + Q(dir + "/k.kvx") + " --length 300", &json), 0);
    EXPECT_NE(json.find("\"keyCount\": 5,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"picture\": \"" + picture + "\","), std::string::npos) << json;

    EXPECT_EQ(Cli("new " + Q(dir + "/absent.bmp") + " --out " + Q(dir + "/x.kvx")), 1);
    EXPECT_FALSE(Exists(dir + "/x.kvx"));
    EXPECT_EQ(Cli("new " + Q(picture)), 2);  // no --out
}

}  // namespace

namespace {

// Ten `set` processes at once on one show, twenty times over: each writer either succeeds or
// fails for a reason of its own; none loses its temporary file to another writer's sweep of
// leftovers, and the show is always one writer's whole file.
TEST_F(CliShow, ConcurrentSetsOnOneShowAllSucceed) {
    std::string json;
    ASSERT_EQ(Cli("info " + Q(path), &json), 0);
    kvtest::WriteFileBytes(dir + "/keys.json", json);
    const std::string set = std::string(KV_BIN_DIR) + "/kinevista-cli set " + Q(path) + " --keys " +
                            Q(dir + "/keys.json");
    const std::string failures = dir + "/failures.txt";
    const std::string script = "for r in $(seq 20); do for i in $(seq 10); do (" + set + " 2>>" +
                               Q(failures) + " || echo failed >>" + Q(failures) +
                               ") & done; wait; done";
    kvtest::WriteFileBytes(dir + "/race.sh", script + "\n");
    ASSERT_EQ(kvtest::Run("bash " + Q(dir + "/race.sh")), 0);
    const std::string failed = kvtest::ReadFileBytes(failures);
    EXPECT_TRUE(failed.empty()) << failed.substr(0, 400);
    std::string after;
    EXPECT_EQ(Cli("info " + Q(path), &after), 0);
    EXPECT_EQ(WithoutId(after), WithoutId(json));
}

}  // namespace
