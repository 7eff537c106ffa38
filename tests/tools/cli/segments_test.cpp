// kinevista-cli movie --frames and join: a 300-frame movie rendered in 1, 3 and 7 segments and
// joined equals the movie of one piece packet for packet (uncompressed, Motion JPEG, ProRes);
// H.264 joins with every frame and a key frame at each segment start. Parts that cannot be
// joined are refused and leave no movie.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/output/show_files.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/test_support.h"

namespace {

int Cli(const std::string& args, std::string* err = nullptr) {
    const std::string errFile = kvtest::TempDir("cli-segments-err") + "/err.txt";
    const int rc = kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli " + args + " 2>'" +
                               errFile + "' >/dev/null");
    if (err) *err = kvtest::ReadFileBytes(errFile);
    return rc;
}

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The hash of every video packet, in order, as stored (no decoding).
std::vector<std::string> PacketHashes(const std::string& movie) {
    std::string out;
    kvtest::Run("ffmpeg -v error -i " + Q(movie) + " -map 0:v -c copy -f framemd5 -", &out);
    std::vector<std::string> hashes;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        hashes.push_back(line.substr(line.find_last_of(',') + 1));
    }
    return hashes;
}

// The indices of the key frames among the video packets.
std::vector<int> KeyFrames(const std::string& movie) {
    std::string out;
    kvtest::Run(
        "ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 " + Q(movie),
        &out);
    std::vector<int> keys;
    std::istringstream lines(out);
    std::string line;
    for (int i = 0; std::getline(lines, line); ++i)
        if (line.find('K') != std::string::npos) keys.push_back(i);
    return keys;
}

// Segment starts that split `total` frames into `n` nearly equal parts.
std::vector<int> SegmentStarts(int total, int n) {
    std::vector<int> starts;
    for (int i = 0; i < n; ++i) starts.push_back(static_cast<int>(int64_t{total} * i / n));
    return starts;
}

class Segments : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir("cli-segments");
        // 280 frames of motion and ten-frame holds: a movie of 300 frames; with --reverse a
        // 130-frame move makes the same count, holds and the reverse pass included.
        show = kvtest::MakeShowFile(dir, "long", 280);
        shortShow = kvtest::MakeShowFile(dir, "short", 130);
        ASSERT_FALSE(show.empty());
        ASSERT_FALSE(shortShow.empty());
    }

    // Renders the show in one piece and in n segments joined; returns the joined movie.
    std::string RenderJoined(const std::string& s, const std::string& ext,
                             const std::string& options, int n) {
        return RenderJoined(s, ext, options, SegmentStarts(300, n));
    }
    std::string RenderJoined(const std::string& s, const std::string& ext,
                             const std::string& options, const std::vector<int>& starts) {
        const int n = static_cast<int>(starts.size());
        std::string parts;
        for (int i = 0; i < n; ++i) {
            const int last = i + 1 < n ? starts[i + 1] - 1 : 299;
            const std::string part = dir + "/part" + std::to_string(i) + "." + ext;
            std::string err;
            EXPECT_EQ(Cli("movie " + Q(s) + " --out " + Q(part) + " " + options + " --frames " +
                              std::to_string(starts[i]) + "-" + std::to_string(last),
                          &err),
                      0)
                << err;
            parts += " " + Q(part);
        }
        const std::string joined =
            dir + "/joined" + std::to_string(n) + "-" + std::to_string(starts.back()) + "." + ext;
        std::string err;
        EXPECT_EQ(Cli("join " + Q(joined) + parts, &err), 0) << err;
        return joined;
    }

    void ExpectSameFramesInAnySegmenting(const std::string& s, const std::string& ext,
                                         const std::string& options) {
        const std::string one = dir + "/one." + ext;
        std::string err;
        ASSERT_EQ(Cli("movie " + Q(s) + " --out " + Q(one) + " " + options, &err), 0) << err;
        const std::vector<std::string> want = PacketHashes(one);
        ASSERT_EQ(want.size(), 300u);
        for (int n : {1, 3, 7}) {
            const std::string joined = RenderJoined(s, ext, options, n);
            EXPECT_TRUE(PacketHashes(joined) == want) << ext << " " << options << " in " << n;
        }
        // Segments that start inside a tail hold, inside the reverse pass's head hold and on
        // the last frame: the holds are made from frames the segment itself renders.
        const std::string joined = RenderJoined(s, ext, options, {0, 145, 155, 295, 299});
        EXPECT_TRUE(PacketHashes(joined) == want) << ext << " " << options << " split in holds";
    }

    std::string dir, show, shortShow;
};

const char* const Common = "--size 96x64 --fps 25 --frame-rate 2500 --no-fields --hold 0:00:00:10";

TEST_F(Segments, UncompressedJoinEqualsOnePiece) {
    ExpectSameFramesInAnySegmenting(show, "avi", Common);
}

TEST_F(Segments, MotionJpegWithReversePassJoinEqualsOnePiece) {
    ExpectSameFramesInAnySegmenting(shortShow, "avi",
                                    std::string(Common) + " --reverse --codec MJPG");
}

TEST_F(Segments, ProResJoinEqualsOnePiece) {
    ExpectSameFramesInAnySegmenting(show, "mov", std::string(Common) + " --codec apcn");
}

TEST_F(Segments, H264JoinHasEveryFrameAndKeyFramesAtSegmentStarts) {
    const std::string joined = RenderJoined(show, "mov", std::string(Common) + " --codec avc1", 7);
    std::string out;
    kvtest::Run(
        "ffprobe -v error -count_frames -select_streams v -show_entries "
        "stream=nb_read_frames,codec_name -of default=nw=1 " +
            Q(joined),
        &out);
    EXPECT_NE(out.find("codec_name=h264"), std::string::npos) << out;
    EXPECT_NE(out.find("nb_read_frames=300"), std::string::npos) << out;
    const std::vector<int> keys = KeyFrames(joined);
    for (int start : SegmentStarts(300, 7))
        EXPECT_NE(std::find(keys.begin(), keys.end(), start), keys.end()) << start;
}

TEST_F(Segments, RefusedRangesAndPartsLeaveNoMovie) {
    std::string err;
    const std::string out = dir + "/x.avi";
    EXPECT_EQ(
        Cli("movie " + Q(show) + " --out " + Q(out) + " " + Common + " --frames 300-310", &err), 1);
    EXPECT_NE(err.find("starts past the movie's last frame (299)"), std::string::npos) << err;
    EXPECT_FALSE(Exists(out));
    // A range that only ends past the last frame is cut there, with a word on what was written.
    EXPECT_EQ(
        Cli("movie " + Q(show) + " --out " + Q(out) + " " + Common + " --frames 290-350", &err), 0);
    EXPECT_NE(err.find("warning: --frames 290-350 ends past the movie's last frame (299); "
                       "frames 290-299 (10) are written"),
              std::string::npos)
        << err;
    EXPECT_EQ(kvtest::ProbeVideo(out)["nb_read_frames"], "10");
    std::remove(out.c_str());
    for (const char* bad : {"5", "9-3", "-1-4", "a-b", "3-"})
        EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) + " --frames " + bad), 2) << bad;

    const std::string a = dir + "/a.avi";
    const std::string b = dir + "/b.avi";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(a) + " " + Common + " --frames 0-9"), 0);
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(b) +
                  " --size 64x48 --fps 25 --frame-rate 2500 --no-fields --frames 10-19"),
              0);
    EXPECT_EQ(Cli("join " + Q(out) + " " + Q(a) + " " + Q(b), &err), 1);
    EXPECT_NE(err.find("differs from the first part's"), std::string::npos) << err;
    EXPECT_EQ(Cli("join " + Q(out) + " " + Q(a) + " " + Q(dir + "/absent.avi"), &err), 1);
    EXPECT_NE(err.find("cannot open"), std::string::npos) << err;
    EXPECT_FALSE(Exists(out));
    for (const std::string& name : kvtest::ListFolder(dir))
        EXPECT_EQ(name.find(".joining"), std::string::npos) << name;  // no temporary left
    EXPECT_EQ(Cli("join " + Q(a) + " " + Q(a)), 2);
    EXPECT_EQ(Cli("join " + Q(out)), 2);
}

// OUT is told from the parts by the file itself, not by its name; a part cut short is refused
// with its name and the first frame it lacks; nothing is left behind by a refused join.
TEST_F(Segments, JoinKnowsItsPartsByIdentityAndRefusesShortOnes) {
    const std::string a = dir + "/a.avi", c = dir + "/c.avi", out = dir + "/out.avi";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(a) + " " + Common + " --frames 0-9"), 0);
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(c) + " " + Common + " --frames 10-19"), 0);
    const std::string before = kvtest::ReadFileBytes(a);
    ASSERT_EQ(::symlink(a.c_str(), (dir + "/link.avi").c_str()), 0);
    for (const std::string& same : {dir + "/./a.avi", dir + "//a.avi", dir + "/link.avi"}) {
        std::string err;
        EXPECT_EQ(Cli("join " + Q(same) + " " + Q(a) + " " + Q(c), &err), 2) << same;
        EXPECT_NE(err.find("OUT is also one of the parts"), std::string::npos) << err;
    }
    EXPECT_TRUE(kvtest::ReadFileBytes(a) == before);

    // The second part loses its last frames and its index, as a copy that stopped would.
    std::string bytes = kvtest::ReadFileBytes(c);
    const size_t movi = bytes.find("movi");
    ASSERT_NE(movi, std::string::npos);
    bytes.resize(movi + (bytes.size() - movi) / 2);
    kvtest::WriteFileBytes(dir + "/cut.avi", bytes);
    std::string err;
    EXPECT_EQ(Cli("join " + Q(out) + " " + Q(a) + " " + Q(dir + "/cut.avi"), &err), 1);
    EXPECT_NE(err.find("cut.avi is cut short: frame"), std::string::npos) << err;
    EXPECT_NE(err.find("of 10 is missing"), std::string::npos) << err;
    EXPECT_FALSE(Exists(out));
    for (const std::string& name : kvtest::ListFolder(dir))
        EXPECT_EQ(name.find("~kv"), std::string::npos) << name;
    EXPECT_EQ(Cli("join " + Q(out) + " " + Q(a) + " " + Q(c), &err), 0) << err;
    EXPECT_TRUE(Exists(out));
}

}  // namespace
