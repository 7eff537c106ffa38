// kinevista-cli movie and batch into .mp4, .mkv and .webm, and the show's sound in every
// container that carries it, read back by ffprobe/ffmpeg.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tests/output/show_files.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/platform/video/sound_probe.h"
#include "tests/test_support.h"

namespace {

int Cli(const std::string& args, std::string* err = nullptr) {
    const std::string errFile = kvtest::TempDir("cli-sound-err") + "/err.txt";
    int rc = kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli " + args + " 2>'" + errFile +
                         "' >/dev/null");
    if (err) *err = kvtest::ReadFileBytes(errFile);
    return rc;
}

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

// 25 frames a second, so a frame lasts 1920 samples at 48 kHz.
constexpr size_t FrameSamples = 1920;
const std::string Rate = " --fps 25 --frame-rate 2500 --no-fields --size 64x48";

class CliSound : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        wav = dir + "/sweep.wav";
        source = kvtest::WriteSweepWav(wav, 48000, 2, 3.0);
        show = ShowWithSound("shot", 50, wav);
        ASSERT_FALSE(show.empty());
    }
    // A show of `frames` frames whose sound file is `sound`.
    std::string ShowWithSound(const std::string& name, int32_t frames, const std::string& sound) {
        const std::string path = kvtest::MakeShowFile(dir, name, frames);
        kv::Show s;
        s.FrameRate = 2500;
        if (path.empty() || !kv::LoadShow(s, path, false)) return {};
        s.audio.SetPath(sound.c_str());
        return kv::SaveShow(s, path) ? path : std::string();
    }
    std::string dir, wav, show;
    kvtest::Sound source;
};

TEST_F(CliSound, Mp4MkvAndWebmHoldThePictureAndTheSound) {
    struct Case {
        const char* ext;
        const char* flags;
        const char* video;
        const char* sound;
    };
    for (Case c : {Case{"mp4", "", "h264", "aac"}, Case{"mp4", " --codec HEVC", "hevc", "aac"},
                   Case{"mkv", "", "h264", "opus"}, Case{"webm", "", "vp9", "opus"}}) {
        SCOPED_TRACE(std::string(c.ext) + c.flags);
        const std::string out = dir + "/trip." + c.ext;
        std::string err;
        ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) + Rate + c.flags, &err), 0) << err;
        EXPECT_NE(err.find("Alert: Movie file(s) successfully made"), std::string::npos) << err;
        auto v = kvtest::ProbeVideo(out);
        EXPECT_EQ(v["codec_name"], c.video);
        EXPECT_EQ(v["width"], "64");
        EXPECT_EQ(v["height"], "48");
        EXPECT_EQ(v["r_frame_rate"], "25/1");
        EXPECT_EQ(v["nb_read_frames"], "50");
        auto a = kvtest::ProbeSound(out);
        EXPECT_EQ(a["codec_name"], c.sound);
        EXPECT_EQ(a["sample_rate"], "48000");
        // The movie lasts two seconds; the sound too, within a frame.
        const kvtest::Sound got = kvtest::DecodeSound(out, 48000, 2);
        EXPECT_NEAR(static_cast<double>(got.Frames()), 96000.0, double(FrameSamples));
        EXPECT_GT(kvtest::Correlation(got, 0, source, 0, 48000, 0), 0.99);
        EXPECT_GT(kvtest::Correlation(got, 0, source, 0, 48000, 1), 0.99);
    }
}

TEST_F(CliSound, HoldsAndTheReversePassAreSilentAndTheStartKeepsShowTime) {
    // Frames 10..29 with five-frame holds, then the reverse pass: 2 x (5 + 20 + 5) frames.
    const std::string out = dir + "/passes.avi";
    std::string err;
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) + Rate +
                      " --start 00:00:00:10 --end 00:00:01:05 --hold 00:00:00:05 --reverse",
                  &err),
              0)
        << err;
    EXPECT_EQ(kvtest::ProbeVideo(out)["nb_read_frames"], "60");
    EXPECT_EQ(kvtest::ProbeSound(out)["codec_name"], "pcm_s16le");
    const kvtest::Sound got = kvtest::DecodeSound(out, 48000, 2);
    ASSERT_EQ(got.Frames(), 60 * FrameSamples);
    EXPECT_EQ(kvtest::Peak(got, 0, 5 * FrameSamples), 0);  // head hold
    // Show frame 10 plays the file from 10 frames in.
    EXPECT_TRUE(
        kvtest::SameSamples(got, 5 * FrameSamples, source, 10 * FrameSamples, 20 * FrameSamples));
    EXPECT_EQ(kvtest::Peak(got, 25 * FrameSamples, 60 * FrameSamples), 0);  // tail, reverse
}

TEST_F(CliSound, QuickTimeMoviesCarryTheSoundAsPcm) {
    const std::string out = dir + "/s.mov";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) + Rate + " --codec jpeg"), 0);
    EXPECT_EQ(kvtest::ProbeSound(out)["codec_name"], "pcm_s16le");
    const kvtest::Sound got = kvtest::DecodeSound(out, 48000, 2);
    ASSERT_EQ(got.Frames(), 50 * FrameSamples);
    EXPECT_TRUE(kvtest::SameSamples(got, 0, source, 0, 48000));
}

TEST_F(CliSound, AMissingSoundFileWarnsAndTheMovieIsSilent) {
    const std::string gone = dir + "/gone.wav";
    const std::string silentShow = ShowWithSound("quiet", 10, gone);
    ASSERT_FALSE(silentShow.empty());
    const std::string out = dir + "/quiet.mp4";
    std::string err;
    ASSERT_EQ(Cli("movie " + Q(silentShow) + " --out " + Q(out) + Rate, &err), 0) << err;
    EXPECT_NE(
        err.find("Alert: The movie is made without sound: cannot open the sound file " + gone),
        std::string::npos)
        << err;
    EXPECT_EQ(kvtest::ProbeVideo(out)["nb_read_frames"], "10");
    EXPECT_TRUE(kvtest::ProbeSound(out).empty());
}

TEST_F(CliSound, NoAudioAndTheSettingLeaveTheSoundOut) {
    const std::string with = dir + "/with.webm", without = dir + "/without.webm",
                      unset = dir + "/unset.avi";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(with) + Rate + " --end 00:00:00:05"), 0);
    EXPECT_EQ(kvtest::ProbeSound(with)["codec_name"], "opus");
    ASSERT_EQ(
        Cli("movie " + Q(show) + " --out " + Q(without) + Rate + " --end 00:00:00:05 --no-audio"),
        0);
    EXPECT_TRUE(kvtest::ProbeSound(without).empty());
    EXPECT_EQ(kvtest::ProbeVideo(without)["nb_read_frames"], "5");
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(unset) + Rate +
                  " --end 00:00:00:05 --set MovieAudio=0"),
              0);
    EXPECT_TRUE(kvtest::ProbeSound(unset).empty());
}

TEST_F(CliSound, NamesAndCodecsNoWriterTakesAreRefused) {
    std::string err;
    for (const char* name : {"/trip.mp3", "/trip.mp4.part", "/trip.gif"}) {
        EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + name), &err), 1) << name;
        EXPECT_NE(err.find("is not a movie type Kinevista writes"), std::string::npos) << err;
        EXPECT_FALSE(std::filesystem::exists(dir + name)) << name;
    }
    EXPECT_EQ(Cli("batch --out " + Q(dir + "/x.ogv") + " " + Q(show), &err), 1);
    // A codec the container does not hold is a usage error that names the ones it does.
    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/x.webm") + " --codec H264", &err), 2);
    EXPECT_NE(err.find("\"VP90\""), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.webm"));
}

TEST_F(CliSound, AWriteThatFailsKeepsThePreviousMovie) {
    // A 16 KiB file-size limit stops the .mp4 (picture and sound) part way.
    const std::string out = dir + "/kept.mp4";
    kvtest::WriteFileBytes(out, "the previous movie");
    const std::string errFile = dir + "/limit.txt";
    EXPECT_EQ(
        kvtest::Run("ulimit -f 16; " + std::string(KV_BIN_DIR) + "/kinevista-cli movie " + Q(show) +
                    " --out " + Q(out) + Rate + " --quality 100 >/dev/null 2>" + Q(errFile)),
        1);
    EXPECT_NE(kvtest::ReadFileBytes(errFile).find("Alert: Error Writing Movie File"),
              std::string::npos)
        << kvtest::ReadFileBytes(errFile);
    EXPECT_EQ(kvtest::ReadFileBytes(out), "the previous movie");
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find("~kv"), std::string::npos);
}

TEST_F(CliSound, BatchKeepsTheContainerAndEachShowsSound) {
    const std::string other = ShowWithSound("other", 10, dir + "/missing.wav");
    ASSERT_FALSE(other.empty());
    const std::string outDir = kvtest::TempDir("cli-sound-batch");
    std::string err;
    // Each show runs to its own end (a batch refuses --end).
    ASSERT_EQ(
        Cli("batch --out " + Q(outDir + "/x.mkv") + " " + Q(show) + " " + Q(other) + Rate, &err), 0)
        << err;
    EXPECT_EQ(kvtest::ProbeVideo(outDir + "/shotB.mkv")["codec_name"], "h264");
    EXPECT_EQ(kvtest::ProbeSound(outDir + "/shotB.mkv")["codec_name"], "opus");
    EXPECT_EQ(kvtest::ProbeVideo(outDir + "/otherB.mkv")["nb_read_frames"], "10");
    EXPECT_TRUE(kvtest::ProbeSound(outDir + "/otherB.mkv").empty());
    EXPECT_NE(err.find("without sound: cannot open the sound file " + dir + "/missing.wav"),
              std::string::npos)
        << err;
}

}  // namespace
