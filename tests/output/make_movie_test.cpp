// MakeMovie and RenderSequence with painted frames: frame order, holds, reverse, cancel, the
// .mov path, failures and their messages.
#include <gtest/gtest.h>

#include "core/base/settings.h"
#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_writers.h"
#include "platform/video/movie_writer.h"
#include "tests/output/movie_test_support.h"

namespace {

using kvtest::Concat;
using kvtest::Range;

class MakeMovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::FreshMovieState();
        dir = kvtest::TempDir("make-movie");
        show.FrameRate = 2500;
    }
    bool Make(bool batch = false) { return kvtest::MakeMovieWithStore(show, host, batch); }

    std::string dir;
    kv::Show show;
    kvtest::ScriptedHost host;
    kvtest::AlertRecorder alerts;
};

TEST_F(MakeMovieTest, TenSecondsOfFramesAtTwentyFive) {
    host.edit = kvtest::Options(32, 24, "25", "00:00:00", "00:00:10");
    host.output = dir + "/ten.avi";
    ASSERT_TRUE(Make());
    EXPECT_EQ(kvtest::FrameNumbers(host.output, 32, 24), Range(0, 9));
    ASSERT_EQ(alerts.texts, std::vector<std::string>{"Movie file(s) successfully made"});
    auto p = kvtest::ProbeVideo(host.output);
    EXPECT_EQ(p["r_frame_rate"], "25/1");
    EXPECT_EQ(p["codec_name"], "rawvideo");
    // The viewer is hidden for the command and shown again.
    EXPECT_EQ(host.viewerHidden, 1);
    EXPECT_EQ(host.viewerShown, 1);
    EXPECT_EQ(host.aviAsked, 1);
    EXPECT_EQ(host.shown, Range(0, 9));
    EXPECT_EQ(host.progress.front(), "Rendering... (Hit Esc key to cancel)");
}

TEST_F(MakeMovieTest, ReverseAddsTheWayBack) {
    host.edit = kvtest::Options(32, 24, "25", "00:00:00", "00:00:10", "00:00:00", true);
    host.output = dir + "/rev.avi";
    ASSERT_TRUE(Make());
    EXPECT_EQ(kvtest::FrameNumbers(host.output, 32, 24), Concat({Range(0, 9), Range(10, 1)}));
}

TEST_F(MakeMovieTest, HoldsRepeatTheFirstAndLastFrames) {
    host.edit = kvtest::Options(32, 24, "25", "00:00:00", "00:00:10", "00:00:05");
    host.output = dir + "/hold.avi";
    ASSERT_TRUE(Make());
    std::vector<int> want(5, 0);
    want = Concat({want, Range(0, 9), std::vector<int>(5, 9)});
    EXPECT_EQ(kvtest::FrameNumbers(host.output, 32, 24), want);
    EXPECT_EQ(std::count(host.progress.begin(), host.progress.end(),
                         std::string("Rendering Hold... (Hit any key to cancel)")),
              10);
    // The texts are stored back in timecode form with the other movie settings.
    EXPECT_EQ(kv::TheSettings().ReadString("MovieHold", ""), "00:00:05");
    EXPECT_EQ(kv::TheSettings().ReadString("MovieWid", ""), "32");
    EXPECT_EQ(kv::TheSettings().ReadString("MovieFPS", ""), "25");
    EXPECT_EQ(kv::TheSettings().ReadString("InitialFolder", ""), dir + "/");
    EXPECT_EQ(kv::TheSettings().ReadInt("MovieType", -1), 0);
}

TEST_F(MakeMovieTest, StartEqualToEndWritesOnlyTheHold) {
    host.edit = kvtest::Options(16, 16, "25", "00:00:04", "00:00:04", "00:00:05");
    host.output = dir + "/same.avi";
    ASSERT_TRUE(Make());
    EXPECT_EQ(kvtest::ProbeVideo(host.output)["nb_read_frames"], "5");
    EXPECT_TRUE(host.shown.empty());  // nothing rendered
}

TEST_F(MakeMovieTest, EscStopsThePassButNotTheTailHoldOrReverse) {
    host.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:10", "00:00:02", true);
    host.output = dir + "/esc.avi";
    host.escAtFramePoll = 3;  // Esc waiting before the fourth frame of the first pass
    ASSERT_TRUE(Make());
    EXPECT_EQ(kvtest::FrameNumbers(host.output, 16, 16),
              Concat({{0, 0}, Range(0, 2), {2, 2}, {10, 10}, Range(10, 1), {1, 1}}));
    EXPECT_EQ(alerts.texts.back(), "Movie file(s) successfully made");
}

TEST_F(MakeMovieTest, AnyKeyEndsAHold) {
    host.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:03", "00:00:04");
    host.output = dir + "/key.avi";
    host.keyAtHoldPoll = 1;  // a key during the head hold, after one copy
    ASSERT_TRUE(Make());
    EXPECT_EQ(kvtest::FrameNumbers(host.output, 16, 16), Concat({{0}, Range(0, 2), {2, 2, 2, 2}}));
}

TEST_F(MakeMovieTest, FieldModeAndRateReachTheRenderer) {
    host.edit = [](kv::MovieOptionTexts& t) {
        kvtest::Options(16, 16, "29.97", "00:00:00", "00:00:02")(t);
        t.fields = "1";
    };
    show.FrameRate = 2997;
    host.output = dir + "/fields.avi";
    ASSERT_TRUE(Make());
    std::string bytes = kvtest::DecodeBgra(host.output);
    ASSERT_EQ(bytes.size(), 2u * 16 * 16 * 4);
    EXPECT_EQ(uint8_t(bytes[kvtest::CentrePixel(16, 16) + 2]), 30);  // red carries fieldMode 3
    EXPECT_EQ(kvtest::ProbeVideo(host.output)["r_frame_rate"], "2997/100");
}

TEST_F(MakeMovieTest, CancelledDialogsEndQuietly) {
    host.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:02");
    host.acceptOptions = false;
    host.output = dir + "/never.avi";
    EXPECT_FALSE(Make());
    host.acceptOptions = true;
    host.output.clear();  // save dialog cancelled
    EXPECT_FALSE(Make());
    EXPECT_TRUE(alerts.texts.empty());
    EXPECT_EQ(host.viewerHidden, host.viewerShown);
    EXPECT_TRUE(kvtest::ReadFileBytes(dir + "/never.avi").empty());
}

TEST_F(MakeMovieTest, CompressorCancelIsAnOpenError) {
    host.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:02");
    host.output = dir + "/cancel.avi";
    host.acceptCompressor = false;
    EXPECT_FALSE(Make());
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Opening Movie File"});
    // Settings are not stored after a failed open.
    EXPECT_EQ(kv::TheSettings().ReadString("MovieWid", ""), "720");
}

TEST_F(MakeMovieTest, OpenFailureAndMemoryMessages) {
    host.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:02");
    host.output = dir + "/no/such/folder/x.avi";
    EXPECT_FALSE(Make());
    host.edit = kvtest::Options(0, 16, "25", "00:00:00", "00:00:02");
    host.output = dir + "/zero.avi";
    EXPECT_FALSE(Make());
    // Frame rate "-5" is 0: no movie can be made at that rate.
    host.edit = kvtest::Options(16, 16, "-5", "00:00:00", "00:00:02");
    host.output = dir + "/rate.avi";
    EXPECT_FALSE(Make());
    EXPECT_EQ(alerts.texts, (std::vector<std::string>{"Error Opening Movie File",
                                                      "Not Enough Memory to Make Movie",
                                                      "Error Opening Movie File"}));
}

TEST_F(MakeMovieTest, FailedRenderIsNotReportedAsSuccess) {
    host.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:03");
    host.output = dir + "/norender.avi";
    host.renderer = kvtest::FailingRenderer;
    EXPECT_FALSE(Make());
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Writing Movie File"});
    EXPECT_TRUE(kvtest::FrameNumbers(host.output, 16, 16).empty());
}

TEST_F(MakeMovieTest, CodecChoiceIsStoredAndReused) {
    host.edit = kvtest::Options(32, 32, "25", "00:00:00", "00:00:02");
    host.output = dir + "/mjpg.avi";
    host.aviCodec = "MJPG";
    ASSERT_TRUE(Make());
    EXPECT_EQ(kv::TheSettings().ReadString("CodecType", ""), "MJPG");
    EXPECT_EQ(kv::KeptAviCompressor(kvtest::KeptCompressors()), "MJPG");
    auto p = kvtest::ProbeVideo(host.output);
    EXPECT_EQ(p["codec_tag_string"], "MJPG");
    EXPECT_EQ(p["nb_read_frames"], "2");
}

TEST_F(MakeMovieTest, QuickTimeMovieMapsQualityAndSkipsThePrimingFrame) {
    if (!kv::HaveMovieContainer(kv::MovieContainer::QuickTime)) GTEST_SKIP();
    host.edit = [](kv::MovieOptionTexts& t) {
        kvtest::Options(32, 24, "29.97", "00:00:00", "00:00:10")(t);
        t.quality = "59";
    };
    show.FrameRate = 2997;
    host.output = dir + "/clip.mov";
    kv::TheSettings().WriteString("CodecType", "jpeg");
    ASSERT_TRUE(Make());
    EXPECT_EQ(host.qtAsked, 1);
    EXPECT_EQ(host.aviAsked, 0);
    EXPECT_EQ(host.qtCodecOffered, "jpeg");
    EXPECT_EQ(host.qtSpatial, 0x200);
    EXPECT_EQ(host.qtTemporal, 2997 * 65536 / 100);
    EXPECT_EQ(kv::TheSettings().ReadInt("MovieType", -1), 1);
    auto p = kvtest::ProbeVideo(host.output);
    EXPECT_EQ(p["codec_name"], "mjpeg");
    EXPECT_EQ(p["time_base"], "1/2997");
    EXPECT_EQ(p["nb_read_frames"], "10");
    // The first sample is frame 0 as rendered (JPEG keeps a flat colour within a step or two).
    std::vector<int> frames = kvtest::FrameNumbers(host.output, 32, 24);
    ASSERT_EQ(frames.size(), 10u);
    EXPECT_NEAR(frames[0], 0, 2);
    EXPECT_NEAR(frames[9], 9, 2);
}

TEST_F(MakeMovieTest, QuickTimeUncompressedIsExactAndQualityEightyIsTop) {
    if (!kv::HaveMovieContainer(kv::MovieContainer::QuickTime)) GTEST_SKIP();
    host.edit = [](kv::MovieOptionTexts& t) {
        kvtest::Options(32, 24, "25", "00:00:00", "00:00:04")(t);
        t.quality = "80";
    };
    host.output = dir + "/raw.mov";
    host.qtCodec = "";
    ASSERT_TRUE(Make());
    EXPECT_EQ(host.qtSpatial, 0x3FF);
    EXPECT_EQ(kvtest::FrameNumbers(host.output, 32, 24), Range(0, 3));
    EXPECT_EQ(kvtest::ProbeVideo(host.output)["codec_tag_string"], "raw ");
}

TEST_F(MakeMovieTest, QuickTimeMissing) {
    setenv("KINEVISTA_DISABLE_MOV", "1", 1);
    host.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:02");
    host.output = dir + "/none.mov";
    EXPECT_FALSE(Make());
    unsetenv("KINEVISTA_DISABLE_MOV");
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_EQ(alerts.texts[0].rfind("QuickTime is not installed on this computer!", 0), 0u);
    EXPECT_EQ(host.qtAsked, 0);
}

TEST_F(MakeMovieTest, StillIsVideoSizedAndBeeps) {
    host.output = dir + "/pal.tga";
    show.FrameRate = 2500;
    show.currentFrame = 7;
    ASSERT_TRUE(kvtest::MakeStillWithStore(show, host));
    std::string tga = kvtest::ReadFileBytes(host.output);
    ASSERT_GT(tga.size(), 18u);
    EXPECT_EQ(uint8_t(tga[12]) | uint8_t(tga[13]) << 8, 720);
    EXPECT_EQ(uint8_t(tga[14]) | uint8_t(tga[15]) << 8, 576);
    EXPECT_EQ(uint8_t(tga[16]), 32);
    EXPECT_EQ(uint8_t(tga[18]), 7);  // the current frame, whole (field mode 0)
    EXPECT_EQ(uint8_t(tga[20]), 0);
    EXPECT_EQ(host.beeps, 1);
    EXPECT_EQ(host.lastRequest.extension, ".tga");

    host.output = dir + "/ntsc.tga";
    show.FrameRate = 2997;
    ASSERT_TRUE(kvtest::MakeStillWithStore(show, host));
    tga = kvtest::ReadFileBytes(host.output);
    EXPECT_EQ(uint8_t(tga[14]) | uint8_t(tga[15]) << 8, 486);

    // A failed render or save: no beep and no message of the command's own (the image's save
    // reports a file it cannot create).
    host.renderer = kvtest::FailingRenderer;
    host.output = dir + "/fail.tga";
    EXPECT_FALSE(kvtest::MakeStillWithStore(show, host));
    host.renderer = kvtest::PaintFrameNumber;
    host.output = dir + "/no/folder/x.tga";
    EXPECT_FALSE(kvtest::MakeStillWithStore(show, host));
    EXPECT_EQ(host.beeps, 2);
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error opening graphics file"});
    EXPECT_TRUE(kvtest::ReadFileBytes(dir + "/fail.tga").empty());
}

}  // namespace
