// JoinMovies: parts written by MovieWriter come back as one movie with every frame in order and
// a steady clock; parts that cannot follow one another are refused and leave no file behind.
#include "platform/video/movie_join.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/os/atomic_file.h"
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

// Joins as the program does: into the temporary of an atomic write that replaces `out` only
// when the join succeeded.
kv::JoinResult Join(const std::string& out, const std::vector<std::string>& parts) {
    kv::os::AtomicFile target;
    if (!target.Open(out)) return kv::JoinResult{false, target.Error(), 0};
    kv::JoinResult r = kv::JoinMovies(out, target.TempPath(), parts);
    if (r.ok && !target.Commit()) return kv::JoinResult{false, target.Error(), 0};
    return r;
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
        const kv::JoinResult r = Join(out, parts);
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
        const kv::JoinResult r = Join(dir + "/out.avi", c.parts);
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
        const kv::JoinResult r = Join(dir + "/out.mov", {dir + "/nokey.mov"});
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("does not start with a key frame"), std::string::npos) << r.error;
    }
    // Nothing was left behind: neither the movie nor its temporary file.
    for (const std::string& name : kvtest::ListFolder(dir))
        EXPECT_TRUE(name.find("out.") == std::string::npos && name.find("~kv") == std::string::npos)
            << name;
}

// A part cut short (a copy that stopped, a full disk) holds fewer frames than its own index or
// duration promises; it is refused, naming the part and the first frame missing, in every
// container that keeps such a promise. Whole parts of the same kind still join.
TEST(MovieJoin, APartCutShortIsRefusedNamingTheFrame) {
    const std::string dir = kvtest::TempDir("join-short");
    const Frames frames(32, 16, 20, 11);
    struct Kind {
        MovieContainer container;
        const char* ext;
        const char* codec;
    };
    const Kind kinds[] = {{MovieContainer::Avi, ".avi", ""},
                          {MovieContainer::QuickTime, ".mov", ""},
                          {MovieContainer::Mp4, ".mp4", "H264"},
                          {MovieContainer::Matroska, ".mkv", "FFV1"},
                          {MovieContainer::WebM, ".webm", "VP90"}};
    int tried = 0;
    for (const Kind& k : kinds) {
        if (*k.codec && !kv::HaveMovieCodec(k.container, k.codec)) continue;
        ++tried;
        const std::string a = dir + "/a" + k.ext, b = dir + "/b" + k.ext;
        const MovieFormat f = Format(k.container, 32, 16, k.codec);
        WritePart(a, f, frames, 0, 10);
        WritePart(b, f, frames, 10, 20);
        const kv::JoinResult whole = Join(dir + "/whole" + k.ext, {a, b});
        ASSERT_TRUE(whole.ok) << k.ext << ": " << whole.error;
        EXPECT_EQ(kvtest::ProbeVideo(dir + "/whole" + k.ext)["nb_read_frames"], "20") << k.ext;

        // The second part cut: an AVI exactly after its fifth frame's chunk, the others at 60 %
        // of their bytes (a .mov keeps its sample table at the end, so a cut one cannot even be
        // opened; an .mp4 keeps it in front, a Matroska file its duration).
        std::string bytes = kvtest::ReadFileBytes(b);
        if (k.container == MovieContainer::Avi) {
            const size_t movi = bytes.find("movi");
            ASSERT_NE(movi, std::string::npos);
            bytes.resize(movi + 4 + 5 * (8 + 32 * 16 * 4));
        } else {
            bytes.resize(bytes.size() * 6 / 10);
        }
        const std::string cut = dir + "/cut" + k.ext;
        kvtest::WriteFileBytes(cut, bytes);
        const kv::JoinResult r = Join(dir + "/out" + k.ext, {a, cut});
        EXPECT_FALSE(r.ok) << k.ext;
        EXPECT_NE(r.error.find("cut" + std::string(k.ext)), std::string::npos) << r.error;
        const std::string missing = k.container == MovieContainer::Avi ? "frame 6 of 10 is missing"
                                    : k.container == MovieContainer::QuickTime ? "cannot open"
                                                                               : "of 10 is missing";
        EXPECT_NE(r.error.find(missing), std::string::npos) << r.error;
        EXPECT_FALSE(std::filesystem::exists(dir + "/out" + k.ext)) << k.ext;
    }
    EXPECT_GE(tried, 3);

    // An AVI with a gap holds empty frames that are not read as packets: it is whole.
    MovieWriter gap;
    ASSERT_TRUE(gap.Open(dir + "/gap.avi", Format(MovieContainer::Avi, 32, 16))) << gap.LastError();
    for (int64_t n : {0, 1, 2, 5, 6}) ASSERT_TRUE(gap.WriteFrame(n, frames.bits[n].data(), 32 * 4));
    ASSERT_TRUE(gap.Close()) << gap.LastError();
    const kv::JoinResult r = Join(dir + "/gaps.avi", {dir + "/gap.avi", dir + "/gap.avi"});
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.packets, 10);
}

// Names are plain files to the reader and the writer alike: "file:d/x.avi" is the file of that
// name in the folder "file:d", not "d/x.avi", and "pipe:1" names a file, not standard output.
TEST(MovieJoin, NamesThatLookLikeProtocolsAreFiles) {
    const std::string dir = kvtest::TempDir("join-protocol");
    ASSERT_TRUE(std::filesystem::create_directories(dir + "/file:d"));
    std::filesystem::create_directories(dir + "/d");
    const std::string cwd = std::filesystem::current_path();
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    const Frames frames(16, 16, 6, 2);
    WritePart("pipe:1.avi", Format(MovieContainer::Avi, 16, 16), frames, 0, 3);
    WritePart("file:d/p.avi", Format(MovieContainer::Avi, 16, 16), frames, 3, 6);
    const kv::JoinResult r = Join("file:d/out.avi", {"pipe:1.avi", "file:d/p.avi"});
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(std::filesystem::exists(dir + "/pipe:1.avi"));
    EXPECT_TRUE(std::filesystem::exists(dir + "/file:d/p.avi"));
    EXPECT_TRUE(kvtest::ListFolder(dir + "/d").empty());
    EXPECT_EQ(kvtest::ProbeVideo(dir + "/file:d/out.avi")["nb_read_frames"], "6");
}

}  // namespace
