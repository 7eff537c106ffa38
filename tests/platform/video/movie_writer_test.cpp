// MovieWriter: AVI and .mov files written frame by frame and read back by ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/video/movie_writer.h"
#include "platform/video/runtime_library.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/test_support.h"

namespace {

using kv::MovieContainer;
using kv::MovieFormat;
using kv::MovieWriter;

// A bottom-up 32-bit frame of seeded noise (alpha included), like a rendered image.
struct Frame {
    int w, h;
    std::vector<uint8_t> bits;
    Frame(int width, int height, uint32_t seed)
        : w(width), h(height), bits(size_t(width) * height * 4) {
        std::mt19937 rng(seed);
        for (auto& b : bits) b = static_cast<uint8_t>(rng());
    }
    // The frame as a decoder gives it: top row first.
    std::string TopDown() const {
        std::string s;
        for (int y = h - 1; y >= 0; --y)
            s.append(reinterpret_cast<const char*>(bits.data()) + size_t(y) * w * 4, size_t(w) * 4);
        return s;
    }
};

MovieFormat Avi(int w, int h, int rate, const std::string& codec = "") {
    MovieFormat f;
    f.container = MovieContainer::Avi;
    f.width = w;
    f.height = h;
    f.rate = rate;
    f.scale = 100;
    f.codec = codec;
    return f;
}

MovieFormat Mov(int w, int h, int timeScale, const std::string& codec = "") {
    MovieFormat f;
    f.container = MovieContainer::QuickTime;
    f.width = w;
    f.height = h;
    f.rate = timeScale;
    f.scale = 100;
    f.timeScale = timeScale;
    f.frameDuration = 100;
    f.codec = codec;
    return f;
}

bool WriteFrames(const std::string& path, const MovieFormat& f, const std::vector<Frame>& frames) {
    MovieWriter w;
    if (!w.Open(path, f)) {
        ADD_FAILURE() << w.LastError();
        return false;
    }
    for (size_t i = 0; i < frames.size(); ++i)
        if (!w.WriteFrame(static_cast<int64_t>(i), frames[i].bits.data(), frames[i].w * 4)) {
            ADD_FAILURE() << w.LastError();
            return false;
        }
    return w.Close();
}

// dwScale and dwRate of the video stream header, read from the file's own bytes.
std::pair<uint32_t, uint32_t> StreamClock(const std::string& path) {
    std::string b = kvtest::ReadFileBytes(path).substr(0, 16384);
    size_t at = b.find("strhvids");
    if (at == std::string::npos) {
        // "strh", its size, then "vids".
        at = b.find("strh");
        while (at != std::string::npos && b.compare(at + 8, 4, "vids") != 0)
            at = b.find("strh", at + 1);
    }
    if (at == std::string::npos) return {0, 0};
    return {kvtest::Le32(b, at + 8 + 20), kvtest::Le32(b, at + 8 + 24)};
}

TEST(AviWriter, UncompressedFramesAreTheRenderedBytes) {
    const std::string dir = kvtest::TempDir("avi-raw");
    std::vector<Frame> frames;
    for (uint32_t i = 0; i < 5; ++i) frames.emplace_back(64, 48, 100 + i);
    const std::string path = dir + "/raw.avi";
    ASSERT_TRUE(WriteFrames(path, Avi(64, 48, 2997), frames));

    auto p = kvtest::ProbeVideo(path);
    EXPECT_EQ(p["codec_name"], "rawvideo");
    EXPECT_EQ(p["width"], "64");
    EXPECT_EQ(p["height"], "48");
    EXPECT_EQ(p["nb_read_frames"], "5");
    EXPECT_EQ(p["r_frame_rate"], "2997/100");
    EXPECT_EQ(p["pix_fmt"], "bgra");
    EXPECT_EQ(StreamClock(path), (std::pair<uint32_t, uint32_t>{100, 2997}));

    std::string decoded = kvtest::DecodeBgra(path);
    ASSERT_EQ(decoded.size(), 5u * 64 * 48 * 4);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(decoded.compare(i * 64 * 48 * 4, 64 * 48 * 4, frames[i].TopDown()) == 0)
            << "frame " << i;
    // Stored bottom-up: the first frame's chunk holds the bottom row first.
    std::string file = kvtest::ReadFileBytes(path);
    size_t chunk = file.find("movi");
    ASSERT_NE(chunk, std::string::npos);
    chunk += 4;  // the first frame chunk: id, size, bytes
    EXPECT_EQ(file.compare(chunk + 8, 64 * 4, reinterpret_cast<const char*>(frames[0].bits.data()),
                           64 * 4),
              0);
}

// Tight rows go to the file as they are; rows with padding go through the raw encoder. Both
// give the same file, gaps in the frame numbers included, and the caller's pixels are never
// written to. 640 x 480 frames are larger than one write of libavformat's file protocol.
TEST(AviWriter, UncompressedRowsStraightAreTheEncodedBytes) {
    const std::string dir = kvtest::TempDir("avi-straight");
    for (const auto& [w, h] : {std::pair{40, 30}, std::pair{640, 480}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        std::vector<Frame> frames;
        for (uint32_t i = 0; i < 6; ++i) frames.emplace_back(w, h, 300 + i);
        const int64_t numbers[] = {0, 1, 2, 5, 6, 9};
        auto write = [&](const std::string& path, int32_t padding) {
            MovieWriter writer;
            if (!writer.Open(path, Avi(w, h, 2500))) return false;
            const int32_t rowBytes = w * 4 + padding;
            for (size_t i = 0; i < frames.size(); ++i) {
                std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * h, 0xEE);
                for (int y = 0; y < h; ++y)
                    std::memcpy(rows.data() + size_t(y) * rowBytes,
                                frames[i].bits.data() + size_t(y) * w * 4, size_t(w) * 4);
                const std::vector<uint8_t> before = rows;
                if (!writer.WriteFrame(numbers[i], rows.data(), rowBytes)) return false;
                EXPECT_TRUE(rows == before) << "frame " << i;
            }
            return writer.Close();
        };
        const std::string tag = std::to_string(w);
        ASSERT_TRUE(write(dir + "/tight" + tag + ".avi", 0));
        ASSERT_TRUE(write(dir + "/padded" + tag + ".avi", 16));
        const std::string tight = kvtest::ReadFileBytes(dir + "/tight" + tag + ".avi");
        ASSERT_GT(tight.size(), 6u * w * h * 4);
        EXPECT_TRUE(tight == kvtest::ReadFileBytes(dir + "/padded" + tag + ".avi"));
        // Every frame's rows are in the file as handed over (the gaps are empty chunks).
        for (const Frame& f : frames)
            EXPECT_NE(tight.find(std::string(f.bits.begin(), f.bits.end())), std::string::npos);
    }
}

// A movie longer than the stretches synced as it goes (the writer syncs every 32 MB on a thread
// of its own): every frame is in the file, in order, and ffmpeg decodes them all.
TEST(AviWriter, UncompressedMovieSyncedAsItGoesIsWhole) {
    const std::string dir = kvtest::TempDir("avi-synced");
    std::vector<Frame> frames;
    for (uint32_t i = 0; i < 4; ++i) frames.emplace_back(640, 480, 900 + i);
    constexpr int Count = 40;  // 49 MB of rows
    const std::string path = dir + "/long.avi";
    {
        MovieWriter writer;
        ASSERT_TRUE(writer.Open(path, Avi(640, 480, 2997)));
        for (int i = 0; i < Count; ++i)
            ASSERT_TRUE(writer.WriteFrame(i, frames[i % 4].bits.data(), 640 * 4))
                << writer.LastError();
        ASSERT_TRUE(writer.Close()) << writer.LastError();
    }
    EXPECT_EQ(kvtest::ProbeVideo(path)["nb_read_frames"], std::to_string(Count));
    const std::string decoded = kvtest::DecodeBgra(path);
    ASSERT_EQ(decoded.size(), size_t{Count} * 640 * 480 * 4);
    for (int i = 0; i < Count; i += 13)
        EXPECT_EQ(
            decoded.compare(size_t(i) * 640 * 480 * 4, 640 * 480 * 4, frames[i % 4].TopDown()), 0)
            << "frame " << i;
}

// A device that takes no bytes: the straight rows' failed writes are reported, never a movie
// said to be complete.
TEST(AviWriter, UncompressedRowsOnAFullDiskFail) {
    if (access("/dev/full", W_OK) != 0) GTEST_FAIL() << "no /dev/full on this machine";
    const Frame frame(640, 480, 7);
    MovieWriter writer;
    // 29.97: a clock with no common divisor, so that nothing is rewritten after the close.
    bool ok = writer.Open("/dev/full", Avi(640, 480, 2997));
    for (int i = 0; ok && i < 3; ++i) ok = writer.WriteFrame(i, frame.bits.data(), 640 * 4);
    ok = writer.Close() && ok;
    EXPECT_FALSE(ok);
    EXPECT_FALSE(writer.LastError().empty());
}

TEST(AviWriter, StreamClockKeepsScaleOfAHundred) {
    const std::string dir = kvtest::TempDir("avi-rate");
    std::vector<Frame> frames{Frame(32, 32, 1), Frame(32, 32, 2)};
    // 23.976 is written as 2398/100, 25 as 2500/100, although both reduce.
    for (int rate : {2398, 2500}) {
        const std::string path = dir + "/r" + std::to_string(rate) + ".avi";
        ASSERT_TRUE(WriteFrames(path, Avi(32, 32, rate), frames));
        EXPECT_EQ(StreamClock(path), (std::pair<uint32_t, uint32_t>{100, uint32_t(rate)}));
        auto p = kvtest::ProbeVideo(path);
        EXPECT_NEAR(kvtest::Ratio(p["r_frame_rate"]), rate / 100.0, 1e-9);
        EXPECT_EQ(p["nb_read_frames"], "2");
    }
}

TEST(AviWriter, LosslessCodecsDecodeToTheSameBytes) {
    const std::string dir = kvtest::TempDir("avi-lossless");
    std::vector<Frame> frames{Frame(40, 30, 7), Frame(40, 30, 8), Frame(40, 30, 9)};
    for (const char* code : {"FFV1", "HFYU"}) {
        if (!kv::HaveMovieCodec(MovieContainer::Avi, code)) continue;
        const std::string path = dir + "/" + code + ".avi";
        ASSERT_TRUE(WriteFrames(path, Avi(40, 30, 2500, code), frames));
        auto p = kvtest::ProbeVideo(path);
        EXPECT_EQ(p["codec_tag_string"], code);
        EXPECT_EQ(p["nb_read_frames"], "3");
        std::string decoded = kvtest::DecodeBgra(path);
        ASSERT_EQ(decoded.size(), 3u * 40 * 30 * 4) << code;
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_TRUE(decoded.compare(i * 40 * 30 * 4, 40 * 30 * 4, frames[i].TopDown()) == 0)
                << code << " frame " << i;
    }
}

// A smooth picture, so that lossy codecs can be checked for the right orientation and colours.
Frame Gradient(int w, int h, int phase) {
    Frame f(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &f.bits[(size_t(y) * w + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / w);          // blue grows to the right
            p[1] = static_cast<uint8_t>(y * 255 / h);          // green grows upwards
            p[2] = static_cast<uint8_t>((phase * 40) & 0xFF);  // red per frame
            p[3] = 255;
        }
    return f;
}

double MeanAbsDiff(const std::string& a, const std::string& b, bool withAlpha) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (!withAlpha && i % 4 == 3) continue;
        sum += std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i])));
        ++n;
    }
    return n ? sum / n : 1e9;
}

TEST(AviWriter, LossyCodecsKeepThePicture) {
    const std::string dir = kvtest::TempDir("avi-lossy");
    std::vector<Frame> frames{Gradient(64, 48, 1), Gradient(64, 48, 2), Gradient(64, 48, 3)};
    struct Case {
        const char* code;
        const char* name;
    };
    for (Case c : {Case{"MJPG", "mjpeg"}, Case{"H264", "h264"}}) {
        if (!kv::HaveMovieCodec(MovieContainer::Avi, c.code)) continue;
        const std::string path = dir + "/" + c.code + ".avi";
        MovieFormat f = Avi(64, 48, 2997, c.code);
        f.quality = 100;
        ASSERT_TRUE(WriteFrames(path, f, frames));
        auto p = kvtest::ProbeVideo(path);
        EXPECT_EQ(p["codec_name"], c.name);
        EXPECT_EQ(p["codec_tag_string"], c.code);
        EXPECT_EQ(p["nb_read_frames"], "3");
        EXPECT_EQ(StreamClock(path), (std::pair<uint32_t, uint32_t>{100, 2997}));
        std::string decoded = kvtest::DecodeBgra(path);
        ASSERT_EQ(decoded.size(), 3u * 64 * 48 * 4);
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_LT(MeanAbsDiff(decoded.substr(i * 64 * 48 * 4, 64 * 48 * 4), frames[i].TopDown(),
                                  false),
                      4.0)
                << c.code << " frame " << i;
    }
}

TEST(AviWriter, LowerQualityMakesSmallerMotionJpeg) {
    const std::string dir = kvtest::TempDir("avi-quality");
    std::vector<Frame> frames{Frame(64, 48, 3), Frame(64, 48, 4)};
    MovieFormat f = Avi(64, 48, 2997, "MJPG");
    f.quality = 100;
    ASSERT_TRUE(WriteFrames(dir + "/q100.avi", f, frames));
    f.quality = 10;
    ASSERT_TRUE(WriteFrames(dir + "/q10.avi", f, frames));
    // Noise at the coarsest quantiser still costs its DC terms and headers: about half.
    EXPECT_LT(kvtest::ReadFileBytes(dir + "/q10.avi").size() * 4,
              kvtest::ReadFileBytes(dir + "/q100.avi").size() * 3);
}

TEST(AviWriter, RefusesWhatItCannotWrite) {
    const std::string dir = kvtest::TempDir("avi-refuse");
    MovieWriter w;
    EXPECT_FALSE(w.Open(dir + "/zero.avi", Avi(32, 32, 0)));  // frame rate 0
    EXPECT_FALSE(w.Open(dir + "/unknown.avi", Avi(32, 32, 2997, "XYZW")));
    EXPECT_FALSE(w.Open(dir + "/nofolder/x.avi", Avi(32, 32, 2997)));
    EXPECT_FALSE(w.Open(dir + "/size.avi", Avi(0, 32, 2997)));
    EXPECT_FALSE(w.LastError().empty());

    Frame f(32, 32, 5);
    ASSERT_TRUE(w.Open(dir + "/order.avi", Avi(32, 32, 2997)));
    EXPECT_TRUE(w.WriteFrame(0, f.bits.data(), 128));
    EXPECT_TRUE(w.WriteFrame(3, f.bits.data(), 128));   // a gap is filled
    EXPECT_FALSE(w.WriteFrame(2, f.bits.data(), 128));  // never backwards
    EXPECT_TRUE(w.Close());
    EXPECT_FALSE(w.WriteFrame(4, f.bits.data(), 128));
    auto p = kvtest::ProbeVideo(dir + "/order.avi");
    EXPECT_EQ(p["width"], "32");
}

TEST(MovWriter, UncompressedMovieHasTheMediaClockAndPixels) {
    const std::string dir = kvtest::TempDir("mov-raw");
    if (!kv::HaveMovieContainer(MovieContainer::QuickTime)) GTEST_SKIP() << "no .mov muxer";
    std::vector<Frame> frames{Frame(48, 32, 11), Frame(48, 32, 12), Frame(48, 32, 13)};
    for (auto& f : frames)
        for (size_t i = 3; i < f.bits.size(); i += 4) f.bits[i] = 255;  // opaque, as rendered
    const std::string path = dir + "/raw.mov";
    MovieWriter w;
    ASSERT_TRUE(w.Open(path, Mov(48, 32, 2997)));
    // The priming frame converts but adds nothing.
    EXPECT_TRUE(w.PrimeFrame(frames[2].bits.data(), 48 * 4));
    for (size_t i = 0; i < frames.size(); ++i)
        ASSERT_TRUE(w.WriteFrame(int64_t(i), frames[i].bits.data(), 48 * 4));
    ASSERT_TRUE(w.Close());

    auto p = kvtest::ProbeVideo(path);
    EXPECT_EQ(p["codec_name"], "rawvideo");
    EXPECT_EQ(p["codec_tag_string"], "raw ");
    EXPECT_EQ(p["time_base"], "1/2997");
    EXPECT_EQ(p["nb_read_frames"], "3");
    EXPECT_EQ(p["r_frame_rate"], "2997/100");
    std::string out;
    kvtest::Run(
        "ffprobe -v error -select_streams v:0 -show_entries packet=pts,duration -of csv=p=0 '" +
            path + "'",
        &out);
    EXPECT_EQ(out, "0,100\n100,100\n200,100\n");
    std::string decoded = kvtest::DecodeBgra(path);
    ASSERT_EQ(decoded.size(), 3u * 48 * 32 * 4);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(decoded.compare(i * 48 * 32 * 4, 48 * 32 * 4, frames[i].TopDown()) == 0) << i;
}

TEST(MovWriter, CompressorsByTheirTypes) {
    const std::string dir = kvtest::TempDir("mov-codecs");
    if (!kv::HaveMovieContainer(MovieContainer::QuickTime)) GTEST_SKIP() << "no .mov muxer";
    std::vector<Frame> frames{Gradient(64, 48, 1), Gradient(64, 48, 2)};
    struct Case {
        const char* code;
        const char* name;
    };
    for (Case c : {Case{"jpeg", "mjpeg"}, Case{"avc1", "h264"}, Case{"apcn", "prores"},
                   Case{"rle ", "qtrle"}}) {
        if (!kv::HaveMovieCodec(MovieContainer::QuickTime, c.code)) continue;
        const std::string path = dir + "/" + std::string(c.code, 4) + ".mov";
        ASSERT_TRUE(WriteFrames(path, Mov(64, 48, 2500, c.code), frames)) << c.code;
        auto p = kvtest::ProbeVideo(path);
        EXPECT_EQ(p["codec_name"], c.name);
        EXPECT_EQ(p["codec_tag_string"], c.code);
        EXPECT_EQ(p["nb_read_frames"], "2");
        EXPECT_EQ(p["time_base"], "1/2500");
        std::string decoded = kvtest::DecodeBgra(path);
        ASSERT_EQ(decoded.size(), 2u * 64 * 48 * 4) << c.code;
        EXPECT_LT(MeanAbsDiff(decoded.substr(0, 64 * 48 * 4), frames[0].TopDown(), false), 4.0)
            << c.code;
    }
    // What every build offers.
    auto codecs = kv::MovieCodecs(MovieContainer::QuickTime);
    ASSERT_FALSE(codecs.empty());
    EXPECT_EQ(codecs.front(), "");
}

TEST(MovWriter, MissingMuxerCanBeSimulated) {
    setenv("KINEVISTA_DISABLE_MOV", "1", 1);
    EXPECT_FALSE(kv::HaveMovieContainer(MovieContainer::QuickTime));
    EXPECT_FALSE(kv::HaveMovieCodec(MovieContainer::QuickTime, "jpeg"));
    MovieWriter w;
    EXPECT_FALSE(w.Open(kvtest::TempDir("mov-none") + "/x.mov", Mov(16, 16, 2997)));
    unsetenv("KINEVISTA_DISABLE_MOV");
    EXPECT_TRUE(kv::HaveMovieContainer(MovieContainer::Avi));
}

// Whether a (large) file contains the text, read a piece at a time.
bool FileContains(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<char> buf(1 << 22);
    std::string carry;
    bool found = false;
    size_t n;
    while (!found && (n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
        std::string piece = carry + std::string(buf.data(), n);
        found = piece.find(text) != std::string::npos;
        carry = piece.substr(piece.size() - std::min(piece.size(), text.size()));
    }
    std::fclose(f);
    return found;
}

// A movie of more than 1 GiB: the file continues in OpenDML extension chunks and every frame
// reads back. Slow (about 1.1 GB written and decoded), so it runs when KV_BIG_MOVIE_TEST=1.
TEST(AviWriter, UncompressedMoviePassesOneGibibyte) {
    const char* on = std::getenv("KV_BIG_MOVIE_TEST");
    if (!on || std::strcmp(on, "1") != 0) GTEST_SKIP() << "set KV_BIG_MOVIE_TEST=1 to run";
    const std::string dir = kvtest::TempDir("avi-big");
    const std::string path = dir + "/big.avi";
    const int w = 720, h = 486, count = 800;  // 800 x 1,399,680 bytes = 1.04 GiB of frames
    std::vector<uint8_t> bits(size_t(w) * h * 4);
    MovieWriter mw;
    ASSERT_TRUE(mw.Open(path, Avi(w, h, 2997)));
    for (int i = 0; i < count; ++i) {
        // Each frame carries its number in its first pixel and its last pixel.
        std::memset(bits.data(), i & 0xFF, 4);
        std::memcpy(bits.data() + bits.size() - 4, &i, 4);
        ASSERT_TRUE(mw.WriteFrame(i, bits.data(), w * 4)) << mw.LastError();
    }
    ASSERT_TRUE(mw.Close());
    EXPECT_GT(std::filesystem::file_size(path), uintmax_t(1) << 30);
    EXPECT_TRUE(FileContains(path, "AVIX"));  // the OpenDML extension
    EXPECT_TRUE(FileContains(path, "indx"));  // the OpenDML super index
    auto p = kvtest::ProbeVideo(path);
    EXPECT_EQ(p["nb_read_frames"], std::to_string(count));
    // The last frame decodes with its number at the end of its top row.
    std::string out;
    ASSERT_EQ(kvtest::Run("ffmpeg -v error -i '" + path + "' -vf select='eq(n\\," +
                              std::to_string(count - 1) +
                              ")' -vsync 0 -frames:v 1 -f rawvideo -pix_fmt bgra - | head -c " +
                              std::to_string(w * 4) + " | tail -c 4 | od -An -tu4",
                          &out),
              0);
    EXPECT_EQ(std::atoi(out.c_str()), count - 1);
}

TEST(RuntimeLibrary, NamesAndMissingLibraries) {
    EXPECT_EQ(kv::SharedObjectName("MjpgOut.dll"), "libMjpgOut.so");
    EXPECT_EQ(kv::SharedObjectName("RtvBridge.DLL"), "libRtvBridge.so");
    EXPECT_EQ(kv::SharedObjectName("libDpsOut5.so"), "libDpsOut5.so");
    EXPECT_EQ(kv::SharedObjectName("C:\\Tools\\DpsOut5.dll"), "libDpsOut5.so");
    kv::RuntimeLibrary lib;
    EXPECT_FALSE(lib.Load("NoSuchBridge.dll"));
    EXPECT_FALSE(lib.Loaded());
    EXPECT_EQ(lib.Find("VTOpen"), nullptr);
}

}  // namespace
