// Movies of real shows through the renderer: frames equal RenderFrame's images byte for byte,
// and batch rendering names, skips and keeps shows as the command describes.
#include <gtest/gtest.h>

#include "core/document/show_file.h"
#include "core/render/render_frame.h"
#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_writers.h"
#include "tests/output/movie_test_support.h"
#include "tests/output/show_files.h"

namespace {

class RealShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::FreshMovieState();
        dir = kvtest::TempDir("real-show");
        host.renderer = nullptr;  // the real renderer
    }
    std::string dir;
    kvtest::ScriptedHost host;
    kvtest::AlertRecorder alerts;
};

// The frames RenderFrame gives for a freshly loaded show, top row first as decoders give them,
// drawn `innerW` wide in the middle of a w-wide frame with opaque matte (17, 17, 17) beside it:
// a show is never stretched to a frame of another shape.
std::string RenderedFrames(const std::string& showPath, int w, int h, int from, int to,
                           int fieldMode, int innerW) {
    kv::Show show;
    show.FrameRate = 2500;
    EXPECT_TRUE(kv::LoadShow(show, showPath, false));
    kv::CDIB image(innerW, h, 32);
    const std::string matte = std::string("\x11\x11\x11\xff");
    std::string bars;
    for (int x = 0; x < (w - innerW) / 2; ++x) bars += matte;
    std::string out;
    for (int f = from; f < to; ++f) {
        EXPECT_TRUE(kv::RenderFrame(show, f, fieldMode, true, innerW, h, &image, true));
        for (int y = h - 1; y >= 0; --y)
            out += bars +
                   std::string(reinterpret_cast<const char*>(image.Row(y)), size_t(innerW) * 4) +
                   bars;
    }
    return out;
}

TEST_F(RealShowTest, UncompressedAviHoldsTheRenderedImages) {
    const std::string showPath = kvtest::MakeShowFile(dir, "move", 12);
    ASSERT_FALSE(showPath.empty());
    kv::Show show;
    show.FrameRate = 2500;
    ASSERT_TRUE(kv::LoadShow(show, showPath, false));
    EXPECT_EQ(kv::ShowEndFrame(show), 12);
    // The end proposal comes from the show; fields on.
    host.edit = [](kv::MovieOptionTexts& t) {
        t.width = "96";
        t.height = "64";
        t.fps = "25";
        t.start = "00:00:02";
        t.hold = "00:00:00";
        t.fields = "1";
        t.reverse = "";
    };
    host.output = dir + "/move.avi";
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_EQ(host.seenOptions.end, "00:00:12");
    EXPECT_EQ(host.lastRequest.proposedName, dir + "/move");
    const std::string decoded = kvtest::DecodeBgra(host.output);
    // The 4:3 show in a 3:2 frame: 86 columns wide (64 / 0.75, to the frame's parity), with
    // five columns of matte on each side.
    const std::string want = RenderedFrames(showPath, 96, 64, 2, 12, 3, 86);
    ASSERT_EQ(decoded.size(), 10u * 96 * 64 * 4);
    EXPECT_TRUE(decoded == want);
    // The frames really move.
    EXPECT_NE(decoded.substr(0, 96 * 64 * 4), decoded.substr(9 * 96 * 64 * 4));
}

TEST_F(RealShowTest, BatchRendersEachShowToItsOwnEnd) {
    const std::string a = kvtest::MakeShowFile(dir, "a", 10);
    const std::string b = kvtest::MakeShowFile(dir, "b.take2", 6);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    kvtest::WriteFileBytes(dir + "/junk.kvx", "this is not a show");
    const std::string out = kvtest::TempDir("real-show-out");
    kv::Show show;
    show.FrameRate = 2500;
    host.files = {a, dir + "/missing.kvx", dir + "/junk.kvx", b};
    host.edit = kvtest::Options(48, 32, "25", "00:00:00", "00:00:01", "00:00:01");
    host.output = out + "/anything.avi";
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, true));
    EXPECT_EQ(kvtest::ProbeVideo(out + "/aB.avi")["nb_read_frames"], "12");  // 10 + 2 holds
    EXPECT_EQ(kvtest::ProbeVideo(out + "/bB.avi")["nb_read_frames"], "8");   // 6 + 2 holds
    EXPECT_TRUE(kvtest::ReadFileBytes(out + "/junkB.avi").empty());
    EXPECT_TRUE(kvtest::ReadFileBytes(out + "/missingB.avi").empty());
    EXPECT_TRUE(kvtest::ReadFileBytes(out + "/anything.avi").empty());
    // The compressor is asked for once; the last rendered show stays loaded.
    EXPECT_EQ(host.aviAsked, 1);
    EXPECT_STREQ(show.showFile.path, b.c_str());
    EXPECT_EQ(kv::ShowEndFrame(show), 6);
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Movie file(s) successfully made"});
}

TEST_F(RealShowTest, BatchOfOneLoadsThatShowAndAnUnreadableLastKeepsThePrevious) {
    const std::string a = kvtest::MakeShowFile(dir, "solo", 4);
    ASSERT_FALSE(a.empty());
    kvtest::WriteFileBytes(dir + "/bad.kvx", std::string(64, '\x7f'));
    kv::Show show;
    show.FrameRate = 2500;
    host.files = {a};
    host.edit = kvtest::Options(48, 32, "25", "00:00:00", "00:00:00");
    host.output = dir + "/x.avi";
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, true));
    EXPECT_EQ(kvtest::ProbeVideo(dir + "/soloB.avi")["nb_read_frames"], "4");
    host.files = {a, dir + "/bad.kvx"};
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, true));
    EXPECT_STREQ(show.showFile.path, a.c_str());
    EXPECT_EQ(kv::ShowEndFrame(show), 4);
    // When the first file is skipped, the compressor is still chosen, with the first movie
    // that opens.
    host.aviAsked = 0;
    host.aviCodec = "MJPG";
    host.files = {dir + "/bad.kvx", a};
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, true));
    EXPECT_EQ(host.aviAsked, 1);
    EXPECT_EQ(kvtest::ProbeVideo(dir + "/soloB.avi")["codec_name"], "mjpeg");
}

TEST_F(RealShowTest, BatchStopsAtTheFirstMovieThatCannotOpen) {
    const std::string a = kvtest::MakeShowFile(dir, "p", 4);
    ASSERT_FALSE(a.empty());
    kv::Show show;
    show.FrameRate = 2500;
    host.files = {a, a};
    host.edit = kvtest::Options(48, 32, "25", "00:00:00", "00:00:00");
    host.output = dir + "/gone/x.avi";
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, true));
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Opening Movie File"});
}

}  // namespace
