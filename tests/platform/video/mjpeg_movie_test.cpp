// Motion JPEG movies from the movie writer: every frame of every container reads in ffprobe
// and, cut out of the file, in ImageMagick; frames held by the caller are coded side by side
// yet give the same file as frames written one at a time, and each is given back once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/video/movie_writer.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/platform/video/test_frames.h"
#include "tests/test_support.h"

namespace {

using kv::MovieContainer;
using kv::MovieFormat;
using kvtest::TestFrame;

constexpr int W = 72, H = 40, Count = 7;

MovieFormat Format(MovieContainer c, const std::string& code) {
    MovieFormat f;
    f.container = c;
    f.width = W;
    f.height = H;
    f.rate = 2500;
    f.scale = 100;
    f.timeScale = 2500;
    f.frameDuration = 100;
    f.codec = code;
    f.quality = 90;
    return f;
}

std::vector<TestFrame> Frames() {
    std::vector<TestFrame> f;
    for (int i = 0; i < Count; ++i) f.emplace_back(W, H, 40 + i, 8);
    return f;
}

TEST(MjpegMovie, EveryFrameReadsInFfprobeAndImageMagick) {
    const std::string dir = kvtest::TempDir("mjpeg-read");
    const std::vector<TestFrame> frames = Frames();
    struct Case {
        MovieContainer container;
        const char* code;
        const char* ext;
    };
    for (const Case& c :
         {Case{MovieContainer::Avi, "MJPG", "avi"}, Case{MovieContainer::QuickTime, "jpeg", "mov"},
          Case{MovieContainer::Matroska, "MJPG", "mkv"}}) {
        SCOPED_TRACE(c.ext);
        if (!kv::HaveMovieContainer(c.container)) continue;
        const std::string path = dir + "/m." + c.ext;
        kv::MovieWriter w;
        ASSERT_TRUE(w.Open(path, Format(c.container, c.code))) << w.LastError();
        for (int i = 0; i < Count; ++i)
            ASSERT_TRUE(w.WriteFrameHeld(i, frames[i].bits.data(), frames[i].rowBytes, {}));
        ASSERT_TRUE(w.Close()) << w.LastError();
        auto p = kvtest::ProbeVideo(path);
        EXPECT_EQ(p["codec_name"], "mjpeg");
        EXPECT_EQ(p["pix_fmt"], "yuvj422p");
        EXPECT_EQ(p["nb_read_frames"], std::to_string(Count));
        if (c.container == MovieContainer::Avi) {
            EXPECT_EQ(p["codec_tag_string"], "MJPG");
        }
        const std::string cut = dir + "/" + c.ext;
        ASSERT_EQ(kvtest::Run("mkdir -p '" + cut + "' && ffmpeg -v error -y -i '" + path +
                              "' -c:v copy -f image2 '" + cut + "/f%03d.jpg'"),
                  0);
        std::string sizes;
        ASSERT_EQ(
            kvtest::Run("identify -format '%wx%h %[colorspace]\\n' '" + cut + "'/f*.jpg", &sizes),
            0);
        std::string expected;
        for (int i = 0; i < Count; ++i) expected += "72x40 sRGB\n";
        EXPECT_EQ(sizes, expected);
    }
}

TEST(MjpegMovie, HeldFramesGiveTheSameFileAndComeBackOnceInOrder) {
    const std::string dir = kvtest::TempDir("mjpeg-held");
    const std::vector<TestFrame> frames = Frames();
    const MovieFormat f = Format(MovieContainer::Avi, "MJPG");
    {
        kv::MovieWriter w;
        ASSERT_TRUE(w.Open(dir + "/plain.avi", f));
        for (int i = 0; i < Count; ++i)
            ASSERT_TRUE(w.WriteFrame(i, frames[i].bits.data(), frames[i].rowBytes));
        ASSERT_TRUE(w.Close());
    }
    std::vector<int> back;
    {
        // Own copies that are wiped as soon as they are given back: a frame read after that
        // would change the file.
        std::vector<TestFrame> copies = frames;
        kv::MovieWriter w;
        ASSERT_TRUE(w.Open(dir + "/held.avi", f));
        for (int i = 0; i < Count; ++i)
            ASSERT_TRUE(w.WriteFrameHeld(i, copies[i].bits.data(), copies[i].rowBytes, [&, i] {
                back.push_back(i);
                std::fill(copies[i].bits.begin(), copies[i].bits.end(), 0);
            }));
        ASSERT_TRUE(w.Close());
    }
    ASSERT_EQ(back.size(), size_t(Count));
    for (int i = 0; i < Count; ++i) EXPECT_EQ(back[i], i);
    EXPECT_TRUE(kvtest::ReadFileBytes(dir + "/plain.avi") ==
                kvtest::ReadFileBytes(dir + "/held.avi"));
}

TEST(MjpegMovie, FlushingGivesEveryHeldFrameBackAndTheMovieGoesOn) {
    const std::string dir = kvtest::TempDir("mjpeg-flush");
    const std::vector<TestFrame> frames = Frames();
    kv::MovieWriter w;
    ASSERT_TRUE(w.Open(dir + "/f.avi", Format(MovieContainer::Avi, "MJPG")));
    int back = 0;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(
            w.WriteFrameHeld(i, frames[i].bits.data(), frames[i].rowBytes, [&] { ++back; }));
    ASSERT_TRUE(w.FlushHeld());
    EXPECT_EQ(back, 3);
    for (int i = 3; i < Count; ++i)
        ASSERT_TRUE(
            w.WriteFrameHeld(i, frames[i].bits.data(), frames[i].rowBytes, [&] { ++back; }));
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(back, Count);
    EXPECT_EQ(kvtest::ProbeVideo(dir + "/f.avi")["nb_read_frames"], std::to_string(Count));
}

TEST(MjpegMovie, ARefusedHeldFrameIsGivenBackAtOnce) {
    const std::string dir = kvtest::TempDir("mjpeg-refused");
    const std::vector<TestFrame> frames = Frames();
    kv::MovieWriter w;
    ASSERT_TRUE(w.Open(dir + "/r.avi", Format(MovieContainer::Avi, "MJPG")));
    int back = 0;
    ASSERT_TRUE(w.WriteFrameHeld(3, frames[0].bits.data(), frames[0].rowBytes, [&] { ++back; }));
    EXPECT_FALSE(
        w.WriteFrameHeld(2, frames[1].bits.data(), frames[1].rowBytes, [&] { back += 10; }));
    EXPECT_GE(back, 10) << "the refused frame was not given back";
    EXPECT_FALSE(w.WriteFrameHeld(4, frames[1].bits.data(), 8, [&] { back += 100; }));
    EXPECT_GE(back, 110);
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(back, 111);
}

}  // namespace
