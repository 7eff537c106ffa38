// MovieWriter's .mp4, Matroska and WebM movies and the sound of every container, read back by
// ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/video/movie_writer.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/platform/video/sound_probe.h"
#include "tests/test_support.h"

namespace {

using kv::MovieContainer;
using kv::MovieFormat;
using kv::MovieWriter;

// A bottom-up 32-bit frame as the renderer makes it.
struct Frame {
    int w, h;
    std::vector<uint8_t> bits;
    Frame(int width, int height) : w(width), h(height), bits(size_t(width) * height * 4) {}
    std::string TopDown() const {
        std::string s;
        for (int y = h - 1; y >= 0; --y)
            s.append(reinterpret_cast<const char*>(bits.data()) + size_t(y) * w * 4, size_t(w) * 4);
        return s;
    }
};

Frame Noise(int w, int h, uint32_t seed) {
    Frame f(w, h);
    std::mt19937 rng(seed);
    for (auto& b : f.bits) b = static_cast<uint8_t>(rng());
    return f;
}

// Smooth, so that lossy codecs can be checked for orientation and colour.
Frame Gradient(int w, int h, int phase) {
    Frame f(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &f.bits[(size_t(y) * w + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = static_cast<uint8_t>(60 + phase * 20);
            p[3] = 255;
        }
    return f;
}

double MeanColourDiff(const std::string& a, const std::string& b) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (i % 4 == 3) continue;
        sum += std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i])));
        ++n;
    }
    return n ? sum / n : 1e9;
}

// A movie format of the given container at rate/100 frames per second.
MovieFormat Format(MovieContainer c, int w, int h, int rate, const std::string& codec = "") {
    MovieFormat f;
    f.container = c;
    f.width = w;
    f.height = h;
    f.rate = rate;
    f.scale = 100;
    f.timeScale = rate;
    f.frameDuration = 100;
    f.codec = codec;
    return f;
}

// Writes the frames in order (sound cues from `cues`, applied before the frame they name);
// false after a failure message.
bool Write(const std::string& path, const MovieFormat& f, const std::vector<Frame>& frames,
           const std::vector<std::pair<int64_t, int64_t>>& cues = {}) {
    MovieWriter w;
    if (!w.Open(path, f)) {
        ADD_FAILURE() << w.LastError();
        return false;
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        for (const auto& [at, from] : cues)
            if (at == static_cast<int64_t>(i)) w.CueSound(at, from);
        if (!w.WriteFrame(static_cast<int64_t>(i), frames[i].bits.data(), frames[i].w * 4)) {
            ADD_FAILURE() << w.LastError();
            return false;
        }
    }
    if (!w.Close()) {
        ADD_FAILURE() << w.LastError();
        return false;
    }
    return true;
}

std::string FormatName(const std::string& path) {
    std::string out;
    kvtest::Run(
        "ffprobe -v error -show_entries format=format_name:format_tags=major_brand "
        "-of default=nw=1:nk=1 '" +
            path + "'",
        &out);
    return out;
}

TEST(PublishContainers, EachContainerHoldsTheCodecAskedFor) {
    const std::string dir = kvtest::TempDir("publish-codecs");
    std::vector<Frame> frames;
    for (int i = 0; i < 6; ++i) frames.push_back(Gradient(64, 48, i));
    struct Case {
        MovieContainer container;
        const char* code;
        const char* ext;
        const char* codecName;
        const char* tag;        // "" when any
        const char* formatHas;  // in ffprobe's format name or brand
        const char* docType;    // in the Matroska header ("" for .mp4)
    };
    const Case cases[] = {
        {MovieContainer::Mp4, "", "mp4", "h264", "avc1", "isom", ""},
        {MovieContainer::Mp4, "HEVC", "mp4", "hevc", "hvc1", "isom", ""},
        {MovieContainer::Matroska, "", "mkv", "h264", "", "matroska", "matroska"},
        {MovieContainer::Matroska, "VP90", "mkv", "vp9", "", "matroska", "matroska"},
        {MovieContainer::Matroska, "AV01", "mkv", "av1", "", "matroska", "matroska"},
        {MovieContainer::WebM, "", "webm", "vp9", "", "webm", "webm"},
        {MovieContainer::WebM, "AV01", "webm", "av1", "", "webm", "webm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ext) + " " + c.code);
        ASSERT_TRUE(kv::HaveMovieCodec(c.container, c.code));
        const std::string path = dir + "/m" + c.code + "." + c.ext;
        MovieFormat f = Format(c.container, 64, 48, 2500, c.code);
        f.quality = 100;
        ASSERT_TRUE(Write(path, f, frames));
        auto p = kvtest::ProbeVideo(path);
        EXPECT_EQ(p["codec_name"], c.codecName);
        if (*c.tag) {
            EXPECT_EQ(p["codec_tag_string"], c.tag);
        }
        EXPECT_EQ(p["width"], "64");
        EXPECT_EQ(p["height"], "48");
        EXPECT_EQ(p["r_frame_rate"], "25/1");
        EXPECT_EQ(p["nb_read_frames"], "6");
        EXPECT_NE(FormatName(path).find(c.formatHas), std::string::npos) << FormatName(path);
        const std::string bytes = kvtest::ReadFileBytes(path);
        if (*c.docType) {
            EXPECT_NE(bytes.substr(0, 64).find(c.docType), std::string::npos);
        } else {
            // The index comes before the frames, so that a player can start before the end.
            ASSERT_NE(bytes.find("moov"), std::string::npos);
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
        }
        EXPECT_TRUE(kvtest::ProbeSound(path).empty());  // no sound file, no sound stream
        // Upright and in the right colours.
        const std::string decoded = kvtest::DecodeBgra(path);
        ASSERT_EQ(decoded.size(), 6u * 64 * 48 * 4);
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_LT(
                MeanColourDiff(decoded.substr(i * 64 * 48 * 4, 64 * 48 * 4), frames[i].TopDown()),
                4.0)
                << "frame " << i;
    }
}

TEST(PublishContainers, LosslessMatroskaKeepsEveryByteAndOddRates) {
    const std::string dir = kvtest::TempDir("publish-ffv1");
    std::vector<Frame> frames{Noise(40, 30, 1), Noise(40, 30, 2), Noise(40, 30, 3)};
    const std::string path = dir + "/l.mkv";
    ASSERT_TRUE(Write(path, Format(MovieContainer::Matroska, 40, 30, 2997, "FFV1"), frames));
    auto p = kvtest::ProbeVideo(path);
    EXPECT_EQ(p["codec_name"], "ffv1");
    EXPECT_EQ(p["nb_read_frames"], "3");
    EXPECT_NEAR(kvtest::Ratio(p["r_frame_rate"]), 29.97, 1e-9);
    const std::string decoded = kvtest::DecodeBgra(path);
    ASSERT_EQ(decoded.size(), 3u * 40 * 30 * 4);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(decoded.compare(i * 40 * 30 * 4, 40 * 30 * 4, frames[i].TopDown()) == 0)
            << "frame " << i;
}

TEST(PublishContainers, CodecsOutsideTheirContainerAreRefused) {
    EXPECT_FALSE(kv::HaveMovieCodec(MovieContainer::WebM, "H264"));
    EXPECT_FALSE(kv::HaveMovieCodec(MovieContainer::Mp4, "VP90"));
    EXPECT_FALSE(kv::HaveMovieCodec(MovieContainer::Mp4, "MJPG"));
    EXPECT_TRUE(kv::HaveMovieCodec(MovieContainer::Mp4, ""));  // the default, H.264
    ASSERT_FALSE(kv::MovieCodecs(MovieContainer::WebM).empty());
    EXPECT_EQ(kv::MovieCodecs(MovieContainer::WebM)[0], "VP90");
    EXPECT_EQ(kv::MovieCodecs(MovieContainer::Mp4)[0], "H264");
    const std::string dir = kvtest::TempDir("publish-refused");
    MovieWriter w;
    EXPECT_FALSE(w.Open(dir + "/x.webm", Format(MovieContainer::WebM, 32, 32, 2500, "H264")));
    EXPECT_NE(w.LastError().find("H264"), std::string::npos) << w.LastError();
}

// --- sound ------------------------------------------------------------------------------------

class MovieSound : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir("movie-sound");
        wav = dir + "/sweep.wav";
        source = kvtest::WriteSweepWav(wav, 48000, 2, 3.0);
        for (int i = 0; i < 50; ++i) frames.push_back(Gradient(32, 24, i % 8));
    }
    // Frames 0..n-1 of the fixture's frames.
    std::vector<Frame> First(size_t n) const {
        return std::vector<Frame>(frames.begin(), frames.begin() + static_cast<long>(n));
    }
    std::string dir, wav;
    kvtest::Sound source;
    std::vector<Frame> frames;
};

TEST_F(MovieSound, EachContainerCarriesItsCodecForTheMoviesLength) {
    struct Case {
        MovieContainer container;
        const char* ext;
        const char* codec;
        const char* soundCodec;
        int rate;
    };
    const Case cases[] = {
        {MovieContainer::Avi, "avi", "MJPG", "pcm_s16le", 48000},
        {MovieContainer::QuickTime, "mov", "jpeg", "pcm_s16le", 48000},
        {MovieContainer::Mp4, "mp4", "", "aac", 48000},
        {MovieContainer::Matroska, "mkv", "", "opus", 48000},
        {MovieContainer::WebM, "webm", "", "opus", 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ext);
        const std::string path = dir + "/s." + c.ext;
        MovieFormat f = Format(c.container, 32, 24, 2500, c.codec);
        f.soundPath = wav;
        // 50 frames at 25 per second: two seconds, the sound from the file's start.
        ASSERT_TRUE(Write(path, f, frames, {{0, 0}}));
        EXPECT_EQ(kvtest::ProbeVideo(path)["nb_read_frames"], "50");
        auto a = kvtest::ProbeSound(path);
        EXPECT_EQ(a["codec_name"], c.soundCodec);
        EXPECT_EQ(a["sample_rate"], std::to_string(c.rate));
        EXPECT_EQ(a["channels"], "2");
        const kvtest::Sound got = kvtest::DecodeSound(path, 48000, 2);
        const bool pcm = std::string(c.soundCodec) == "pcm_s16le";
        // Two seconds; lossy codecs within one frame (1920 samples).
        if (pcm) {
            EXPECT_EQ(got.Frames(), 96000u);
        } else {
            EXPECT_NEAR(static_cast<double>(got.Frames()), 96000.0, 1920.0);
        }
        if (pcm) {
            EXPECT_TRUE(kvtest::SameSamples(got, 0, source, 0, 48000));
        } else {
            EXPECT_GT(kvtest::Correlation(got, 0, source, 0, 48000, 0), 0.99);
            EXPECT_GT(kvtest::Correlation(got, 0, source, 0, 48000, 1), 0.99);
        }
    }
}

TEST_F(MovieSound, CuesPlaceTheFileAndSilenceToTheSample) {
    const std::string path = dir + "/cued.avi";
    MovieFormat f = Format(MovieContainer::Avi, 32, 24, 2500);
    f.soundPath = wav;
    // Silent for frames 0..4, the file from frame 10's time for frames 5..19, silent after.
    ASSERT_TRUE(Write(path, f, frames, {{5, 10}, {20, -1}}));
    const kvtest::Sound got = kvtest::DecodeSound(path, 48000, 2);
    ASSERT_EQ(got.Frames(), 50u * 1920);
    EXPECT_EQ(kvtest::Peak(got, 0, 5 * 1920), 0);
    EXPECT_TRUE(kvtest::SameSamples(got, 5 * 1920, source, 10 * 1920, 15 * 1920));
    EXPECT_EQ(kvtest::Peak(got, 20 * 1920, 50 * 1920), 0);
}

TEST_F(MovieSound, CutOrPaddedToTheMovieAtAnyRate) {
    // Past the file's three seconds the sound is silence, up to the movie's end.
    std::vector<Frame> many;
    for (int i = 0; i < 100; ++i) many.push_back(frames[static_cast<size_t>(i % 50)]);
    const std::string longer = dir + "/long.mov";
    MovieFormat f = Format(MovieContainer::QuickTime, 32, 24, 2500);
    f.soundPath = wav;
    ASSERT_TRUE(Write(longer, f, many, {{0, 0}}));
    kvtest::Sound got = kvtest::DecodeSound(longer, 48000, 2);
    ASSERT_EQ(got.Frames(), 4u * 48000);
    EXPECT_TRUE(kvtest::SameSamples(got, 0, source, 0, 3 * 48000));
    EXPECT_EQ(kvtest::Peak(got, 3 * 48000, 4 * 48000), 0);

    // 7 frames at 29.97: 7 x 100 / 2997 s = 11211.2 samples, rounded to the nearest.
    const std::string shorter = dir + "/short.avi";
    f = Format(MovieContainer::Avi, 32, 24, 2997);
    f.soundPath = wav;
    ASSERT_TRUE(Write(shorter, f, First(7), {{0, 0}}));
    got = kvtest::DecodeSound(shorter, 48000, 2);
    EXPECT_EQ(got.Frames(), 11211u);
    EXPECT_TRUE(kvtest::SameSamples(got, 0, source, 0, 11211));
}

TEST_F(MovieSound, MonoAndOtherRatesKeepTheirShapeInPcmAndAreResampledForOpus) {
    const std::string mono = dir + "/mono.wav";
    const kvtest::Sound src = kvtest::WriteSweepWav(mono, 22050, 1, 1.5);
    const std::string avi = dir + "/mono.avi";
    MovieFormat f = Format(MovieContainer::Avi, 32, 24, 2500);
    f.soundPath = mono;
    ASSERT_TRUE(Write(avi, f, First(25), {{0, 0}}));
    auto a = kvtest::ProbeSound(avi);
    EXPECT_EQ(a["sample_rate"], "22050");
    EXPECT_EQ(a["channels"], "1");
    kvtest::Sound got = kvtest::DecodeSound(avi, 22050, 1);
    ASSERT_EQ(got.Frames(), 22050u);
    EXPECT_TRUE(kvtest::SameSamples(got, 0, src, 0, 22050));

    const std::string webm = dir + "/mono.webm";
    f = Format(MovieContainer::WebM, 32, 24, 2500);
    f.soundPath = mono;
    ASSERT_TRUE(Write(webm, f, First(25), {{0, 0}}));
    a = kvtest::ProbeSound(webm);
    EXPECT_EQ(a["codec_name"], "opus");
    EXPECT_EQ(a["sample_rate"], "48000");
    got = kvtest::DecodeSound(webm, 22050, 1);
    EXPECT_NEAR(static_cast<double>(got.Frames()), 22050.0, 882.0);
    EXPECT_GT(kvtest::Correlation(got, 0, src, 0, 20000, 0), 0.99);
}

TEST_F(MovieSound, AnyFileFfmpegReadsIsASource) {
    // The sweep as FLAC (lossless): the PCM movie holds the same samples as from the WAV.
    const std::string flac = dir + "/sweep.flac";
    ASSERT_EQ(kvtest::Run("ffmpeg -v error -y -i '" + wav + "' '" + flac + "'"), 0);
    const std::string path = dir + "/flac.avi";
    MovieFormat f = Format(MovieContainer::Avi, 32, 24, 2500);
    f.soundPath = flac;
    ASSERT_TRUE(Write(path, f, First(25), {{0, 0}}));
    const kvtest::Sound got = kvtest::DecodeSound(path, 48000, 2);
    ASSERT_EQ(got.Frames(), 48000u);
    EXPECT_TRUE(kvtest::SameSamples(got, 0, source, 0, 48000));
}

TEST_F(MovieSound, AFileWithoutSoundIsNamedAndRefused) {
    EXPECT_EQ(kv::SoundFileProblem(wav), "");
    const std::string missing = dir + "/none.wav";
    EXPECT_NE(kv::SoundFileProblem(missing).find(missing), std::string::npos);
    const std::string text = dir + "/text.wav";
    kvtest::WriteFileBytes(text, "not a sound at all, just some words in a file\n");
    EXPECT_NE(kv::SoundFileProblem(text), "");

    MovieWriter w;
    MovieFormat f = Format(MovieContainer::Mp4, 32, 24, 2500);
    f.soundPath = missing;
    EXPECT_FALSE(w.Open(dir + "/x.mp4", f));
    EXPECT_NE(w.LastError().find(missing), std::string::npos) << w.LastError();
}

}  // namespace
