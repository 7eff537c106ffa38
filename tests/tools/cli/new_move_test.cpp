// kinevista-cli new --move: one show per picture named after it, the move that suits each
// picture's shape, auto alternating push-in and pull-out, lengths in seconds or auto, the caps
// from the settings, and clear refusals of options that do not go together.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/show/show.h"
#include "tests/test_support.h"
#include "tests/tools/cli/cli_show_fixture.h"

namespace {

using kvclitest::Cli;
using kvclitest::Q;

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class NewMove : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    // A BMP with a busy patch in soft noise, so that the salient region has something to find
    // (or, flat, nothing at all).
    std::string Picture(const std::string& name, int w, int h, bool flat = false) {
        kv::CDIB img(w, h, 24);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = img.Row(y);
            for (int x = 0; x < w; ++x) {
                const bool patch =
                    !flat && std::abs(x - w / 3) < w / 10 && std::abs(y - h / 2) < h / 10;
                const uint8_t v = patch ? static_cast<uint8_t>((x + y) % 2 ? 240 : 20)
                                        : static_cast<uint8_t>(100 + (x * 7 + y * 3) % 5);
                row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = v;
            }
        }
        const std::string path = dir + "/" + name;
        kv::FileSpec file;
        file.SetPath(path.c_str());
        EXPECT_TRUE(img.Save(file, kv::FormatBmp));
        return path;
    }

    // The keys of a show file as the tools read it.
    static void Keys(const std::string& show, kv::KeyFrame& first, kv::KeyFrame& last, int& count) {
        kv::Show s;
        ASSERT_TRUE(kv::LoadShow(s, show, false)) << show;
        count = s.pictures[0].keyCount;
        first = s.pictures[0].keys[0];
        last = s.pictures[0].keys[count - 1];
    }

    std::string dir;
};

TEST_F(NewMove, OneShowPerPictureWithTheMoveThatSuitsItsShape) {
    const std::string a = Picture("a.bmp", 400, 300);   // 4:3: push-in
    const std::string b = Picture("b.bmp", 300, 600);   // tall: vertical pan
    const std::string c = Picture("c.bmp", 640, 480);   // 4:3 again: pull-out, alternating
    const std::string d = Picture("d.bmp", 1200, 300);  // 4:1 panorama: horizontal pan
    std::string out;
    ASSERT_EQ(Cli("new " + Q(a) + " " + Q(b) + " " + Q(c) + " " + Q(d) + " --out-dir " +
                      Q(dir + "/shows") + " --move auto --length 4",
                  &out),
              0);
    EXPECT_NE(out.find("a.kvx: push-in, 120 frames"), std::string::npos) << out;
    EXPECT_NE(out.find("b.kvx: pan"), std::string::npos) << out;
    EXPECT_NE(out.find("c.kvx: pull-out"), std::string::npos) << out;
    EXPECT_NE(out.find("d.kvx: pan"), std::string::npos) << out;

    kv::KeyFrame first, last;
    int count = 0;
    Keys(dir + "/shows/a.kvx", first, last, count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(last.time, 120);  // 4 s at 29.97 frames a second
    // The largest frame the renderer draws cleanly, without the last two columns and top row.
    EXPECT_NEAR(first.width, 398 - 0.01, 0.02);
    EXPECT_NEAR(first.width / last.width, 1.5, 1e-3);

    Keys(dir + "/shows/b.kvx", first, last, count);
    EXPECT_NEAR(first.width, 298 - 0.01, 0.02);
    EXPECT_FLOAT_EQ(last.width, first.width);
    EXPECT_NE(first.y, last.y);

    Keys(dir + "/shows/c.kvx", first, last, count);
    EXPECT_NEAR(last.width / first.width, 1.5, 1e-3);

    Keys(dir + "/shows/d.kvx", first, last, count);
    EXPECT_NEAR(first.width, 299 / 0.75, 0.02);  // the height filled at 4:3
    EXPECT_NE(first.x, last.x);

    // Without --move a show still frames the whole picture with one key (which the save doubles
    // a second later).
    ASSERT_EQ(Cli("new " + Q(a) + " --out " + Q(dir + "/whole.kvx")), 0);
    Keys(dir + "/whole.kvx", first, last, count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(last.time, 30);
    for (const kv::KeyFrame& k : {first, last}) {
        EXPECT_FLOAT_EQ(k.width, 400);
        EXPECT_FLOAT_EQ(k.x, 200);
        EXPECT_FLOAT_EQ(k.y, 150);
    }
    // and so does each show of several pictures made into a folder without --move.
    ASSERT_EQ(Cli("new " + Q(a) + " " + Q(b) + " --out-dir " + Q(dir + "/whole"), &out), 0);
    EXPECT_EQ(out, "");
    Keys(dir + "/whole/b.kvx", first, last, count);
    EXPECT_FLOAT_EQ(first.width, 300);
    EXPECT_FLOAT_EQ(first.y, 300);
    EXPECT_FLOAT_EQ(last.y, 300);
}

TEST_F(NewMove, LengthsInSecondsOrAutoAndCapsFromTheSettings) {
    const std::string pano = Picture("pano.bmp", 1200, 300, true);
    std::string out;
    // 4:1 at 4:3 with nothing salient: the 398.7-wide frame travels the other 799.3 (of the
    // 1198 it keeps to) at 398.7 per 5 s: 10.03 s, 301 frames; at twice the cap 151.
    ASSERT_EQ(Cli("new " + Q(pano) + " --out " + Q(dir + "/auto.kvx") + " --move pan", &out), 0);
    EXPECT_NE(out.find("pan, 301 frames"), std::string::npos) << out;
    ASSERT_EQ(Cli("new " + Q(pano) + " --out " + Q(dir + "/auto.kvx") +
                      " --move pan --length auto --set SuggestMaxPan=200",
                  &out),
              0);
    EXPECT_NE(out.find("pan, 151 frames"), std::string::npos) << out;
    // PAL counts 25 frames a second; 2.5 s is 63 frames (rounded).
    ASSERT_EQ(Cli("new " + Q(pano) + " --out " + Q(dir + "/pal.kvx") +
                      " --move pan --length 2.5 --frame-rate 2500",
                  &out),
              0);
    EXPECT_NE(out.find("pan, 63 frames"), std::string::npos) << out;

    const std::string photo = Picture("photo.bmp", 800, 600);
    ASSERT_EQ(Cli("new " + Q(photo) + " --out " + Q(dir + "/z.kvx") +
                  " --move push-in --length 6 --set SuggestMaxZoom=120"),
              0);
    kv::KeyFrame first, last;
    int count = 0;
    Keys(dir + "/z.kvx", first, last, count);
    EXPECT_NEAR(first.width / last.width, 1.2, 1e-3);
    // A cap below its least value is reported and the default used.
    std::string err;
    ASSERT_EQ(Cli("new " + Q(photo) + " --out " + Q(dir + "/z.kvx") +
                      " --move push-in --length 6 --set SuggestMaxZoom=50",
                  &err, "2>&1"),
              0);
    EXPECT_NE(err.find("SuggestMaxZoom=50 is below 100"), std::string::npos) << err;
    Keys(dir + "/z.kvx", first, last, count);
    EXPECT_NEAR(first.width / last.width, 1.5, 1e-3);
}

TEST_F(NewMove, RefusesOptionsThatDoNotGoTogether) {
    const std::string a = Picture("a.bmp", 400, 300);
    const std::string other = dir + "/sub";
    ASSERT_EQ(::mkdir(other.c_str(), 0755), 0);
    const std::string a2 = other + "/a.bmp";
    kvtest::WriteFileBytes(a2, kvtest::ReadFileBytes(a));
    const std::string shows = Q(dir + "/shows");
    struct Case {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        {Q(a) + " --out-dir " + shows + " --move zoom", "--move wants auto, push-in"},
        {Q(a) + " --out x.kvx --out-dir " + shows + " --move pan", "not both"},
        {Q(a) + " " + Q(a2) + " --out x.kvx --move pan", "several pictures want --out-dir"},
        {Q(a) + " " + Q(a2) + " --out-dir " + shows + " --move pan", "would both make"},
        {Q(a) + " --out x.kvx --move pan --keys k.json", "cannot go together"},
        {Q(a) + " --out x.kvx --length auto", "seconds or auto with --move"},
        {Q(a) + " --out x.kvx --move pan --length 0", "--length wants seconds"},
        {Q(a) + " --out x.kvx --move pan --length 2s", "--length wants"},
        {Q(a) + " --move pan", "wants --out SHOW.kvx or --out-dir DIR"},
    };
    for (const Case& c : cases) {
        std::string err;
        EXPECT_EQ(Cli("new " + c.args, &err, "2>&1"), 2) << c.args;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << "\n" << err;
    }
    EXPECT_FALSE(Exists(dir + "/shows/a.kvx"));
    // Seconds and auto are for new --move only; other commands keep whole frames.
    std::string err;
    EXPECT_EQ(Cli("info " + Q(dir + "/x.kvx") + " --length auto", &err, "2>&1"), 2);
    EXPECT_NE(err.find("--length wants a whole number, not auto"), std::string::npos) << err;
}

TEST_F(NewMove, APictureThatCannotBeLoadedFailsAloneAndTheRestAreMade) {
    const std::string a = Picture("a.bmp", 400, 300);
    std::string err;
    EXPECT_EQ(Cli("new " + Q(dir + "/absent.bmp") + " " + Q(a) + " --out-dir " + Q(dir + "/shows") +
                      " --move auto",
                  &err, "2>&1"),
              1);
    EXPECT_NE(err.find("cannot load the picture"), std::string::npos) << err;
    EXPECT_FALSE(Exists(dir + "/shows/absent.kvx"));
    EXPECT_TRUE(Exists(dir + "/shows/a.kvx"));
}

}  // namespace
