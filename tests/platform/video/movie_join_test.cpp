// JoinMovies: parts written by MovieWriter come back as one movie with every frame in order and
// a steady clock; parts that cannot follow one another are refused and leave no file behind.
#include "platform/video/movie_join.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/video/movie_writer.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/test_support.h"

namespace {

using kv::MovieContainer;
using kv::MovieFormat;
using kv::MovieWriter;

// Random bottom-up BGRA frames; `TopDown` is what a decoder returns.
struct Frames {
    int w, h;
    std::vector<std::vector<uint8_t>> bits;
    Frames(int w_, int h_, int count, unsigned seed) : w(w_), h(h_) {
        std::mt19937 rng(seed);
        for (int i = 0; i < count; ++i) {
            std::vector<uint8_t> f(size_t(w) * h * 4);
            for (auto& b : f) b = static_cast<uint8_t>(rng());
            bits.push_back(f);
        }
    }
    std::string TopDown(size_t from, size_t to) const {
        std::string s;
        for (size_t i = from; i < to; ++i)
            for (int y = h - 1; y >= 0; --y)
                s.append(reinterpret_cast<const char*>(bits[i].data()) + size_t(y) * w * 4,
                         size_t(w) * 4);
        return s;
    }
};

MovieFormat Format(MovieContainer c, int w, int h, const std::string& codec = "") {
    MovieFormat f;
    f.container = c;
    f.width = w;
    f.height = h;
    f.rate = 2500;
    f.scale = 100;
    f.timeScale = 2500;
    f.frameDuration = 100;
    f.codec = codec;
    return f;
}

// Writes frames [from, to) as one part.
void WritePart(const std::string& path, const MovieFormat& f, const Frames& frames, size_t from,
               size_t to) {
    MovieWriter w;
    ASSERT_TRUE(w.Open(path, f)) << w.LastError();
    for (size_t i = from; i < to; ++i)
        ASSERT_TRUE(
            w.WriteFrame(static_cast<int64_t>(i - from), frames.bits[i].data(), frames.w * 4))
            << w.LastError();
    ASSERT_TRUE(w.Close()) << w.LastError();
}

TEST(MovieJoin, UncompressedPartsBecomeOneMovieInOrder) {
    const std::string dir = kvtest::TempDir("join-raw");
    const Frames frames(24, 16, 23, 7);
    const size_t cuts[] = {0, 5, 6, 17, 23};  // parts of 5, 1, 11 and 6 frames
    for (MovieContainer c : {MovieContainer::Avi, MovieContainer::QuickTime}) {
        const std::string ext = c == MovieContainer::Avi ? ".avi" : ".mov";
        std::vector<std::string> parts;
        for (size_t p = 0; p + 1 < std::size(cuts); ++p) {
            parts.push_back(dir + "/part" + std::to_string(p) + ext);
            WritePart(parts.back(), Format(c, 24, 16), frames, cuts[p], cuts[p + 1]);
        }
        const std::string out = dir + "/joined" + ext;
        const kv::JoinResult r = kv::JoinMovies(out, parts);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.packets, 23);
        auto probe = kvtest::ProbeVideo(out);
        EXPECT_EQ(probe["nb_read_frames"], "23") << ext;
        EXPECT_EQ(probe["r_frame_rate"], "25/1") << ext;
        EXPECT_TRUE(kvtest::DecodeBgra(out) == frames.TopDown(0, 23)) << ext;
        // Timestamps run one frame apart across every seam.
        std::string pts;
        kvtest::Run(
            "ffprobe -v error -select_streams v -show_entries packet=pts_time -of "
            "csv=p=0 '" +
                out + "'",
            &pts);
        std::string want;
        for (int i = 0; i < 23; ++i) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.6f\n", i / 25.0);
            want += buf;
        }
        EXPECT_EQ(pts, want) << ext;
    }
}

TEST(MovieJoin, PartsThatCannotFollowAreRefusedAndLeaveNoFile) {
    const std::string dir = kvtest::TempDir("join-refused");
    const Frames frames(16, 16, 30, 3);
    WritePart(dir + "/a.avi", Format(MovieContainer::Avi, 16, 16), frames, 0, 10);
    const Frames other(32, 16, 10, 4);
    WritePart(dir + "/wide.avi", Format(MovieContainer::Avi, 32, 16), other, 0, 10);
    kvtest::WriteFileBytes(dir + "/junk.avi", "RIFF but not a movie at all");

    struct Case {
        std::vector<std::string> parts;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{dir + "/a.avi", dir + "/wide.avi"}, "differs from the first part's"},
        {{dir + "/a.avi", dir + "/absent.avi"}, "cannot open"},
        {{dir + "/a.avi", dir + "/junk.avi"}, "junk.avi"},
        {{}, "no parts"},
    };
    for (const Case& c : cases) {
        const kv::JoinResult r = kv::JoinMovies(dir + "/out.avi", c.parts);
        EXPECT_FALSE(r.ok) << c.message;
        EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
    }

    // An H.264 part whose key frames were dropped cannot start a joined segment.
    const MovieFormat h264 = Format(MovieContainer::QuickTime, 64, 48, "avc1");
    if (kv::HaveMovieCodec(MovieContainer::QuickTime, "avc1")) {
        // Frames that differ little, so that the encoder predicts them from key frames.
        Frames still(64, 48, 60, 5);
        for (size_t i = 1; i < still.bits.size(); ++i) {
            still.bits[i] = still.bits[0];
            still.bits[i][i * 4] ^= 0x40;
        }
        WritePart(dir + "/k.mov", h264, still, 0, 60);
        ASSERT_EQ(kvtest::Run("ffmpeg -v error -y -i '" + dir +
                              "/k.mov' -c copy -bsf:v "
                              "noise=drop=key '" +
                              dir + "/nokey.mov'"),
                  0);
        const kv::JoinResult r = kv::JoinMovies(dir + "/out.mov", {dir + "/nokey.mov"});
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("does not start with a key frame"), std::string::npos) << r.error;
    }
    // Nothing was left behind: neither the movie nor its temporary file.
    for (const std::string& name : kvtest::ListFolder(dir))
        EXPECT_TRUE(name.find("out.") == std::string::npos &&
                    name.find(".joining") == std::string::npos)
            << name;
}

}  // namespace
