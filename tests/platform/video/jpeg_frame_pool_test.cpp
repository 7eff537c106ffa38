// JpegFramePool: frames come back in order with the bytes one encoder gives them whatever the
// number of workers, no more than `depth` frames are held, each frame's pixels are given back
// once after it was handed on, and a refused or failed frame stops the movie.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/video/jpeg_frame.h"
#include "platform/video/jpeg_frame_pool.h"
#include "tests/platform/video/test_frames.h"

namespace {

using kvtest::TestFrame;

constexpr int W = 64, H = 40, Frames = 23;

std::vector<TestFrame> MakeFrames() {
    std::vector<TestFrame> f;
    for (int i = 0; i < Frames; ++i) f.emplace_back(W, H, 100 + i, 4);
    return f;
}

std::vector<std::string> Sequential(const std::vector<TestFrame>& frames) {
    kv::JpegFrameEncoder enc;
    std::vector<std::string> out;
    for (const TestFrame& f : frames) {
        EXPECT_TRUE(enc.Encode(f.bits.data(), f.rowBytes, true, W, H, 32, 80));
        out.emplace_back(reinterpret_cast<const char*>(enc.Data()), enc.Size());
    }
    return out;
}

kv::JpegFramePool::Frame Format() {
    kv::JpegFramePool::Frame f;
    f.width = W;
    f.height = H;
    f.quality = 80;
    return f;
}

TEST(JpegFramePool, SameBytesInOrderForAnyNumberOfWorkers) {
    const std::vector<TestFrame> frames = MakeFrames();
    const std::vector<std::string> reference = Sequential(frames);
    for (int workers : {0, 1, 2, 3})
        for (int depth : {1, 3, 8}) {
            std::vector<std::pair<int64_t, std::string>> got;
            kv::JpegFramePool pool(
                Format(), workers, depth, [&](int64_t n, const uint8_t* d, size_t size) {
                    got.emplace_back(n, std::string(reinterpret_cast<const char*>(d), size));
                    return true;
                });
            for (int i = 0; i < Frames; ++i)
                ASSERT_TRUE(pool.Submit(i, frames[i].bits.data(), frames[i].rowBytes, true));
            ASSERT_TRUE(pool.Finish());
            ASSERT_EQ(got.size(), size_t(Frames)) << workers << " workers, depth " << depth;
            for (int i = 0; i < Frames; ++i) {
                EXPECT_EQ(got[i].first, i);
                EXPECT_TRUE(got[i].second == reference[i])
                    << "frame " << i << ", " << workers << " workers, depth " << depth;
            }
        }
}

TEST(JpegFramePool, HoldsAtMostDepthFramesAndGivesEachBackOnceAfterItWent) {
    // The renderer's side: depth + 1 buffers, each filled with the next frame only once the
    // pool has given it back. A buffer overwritten while still read would change the bytes.
    const std::vector<TestFrame> frames = MakeFrames();
    const std::vector<std::string> reference = Sequential(frames);
    for (int workers : {0, 2}) {
        const int depth = 3;
        std::vector<TestFrame> buffers(depth + 1, TestFrame(W, H, 0, 4));
        std::vector<int> freeBuffers;
        for (int b = 0; b <= depth; ++b) freeBuffers.push_back(b);
        std::vector<int> bufferOf(Frames, -1);
        std::vector<int64_t> released, written;
        int inFlight = 0, most = 0;
        kv::JpegFramePool pool(
            Format(), workers, depth,
            [&](int64_t n, const uint8_t* d, size_t size) {
                written.push_back(n);
                EXPECT_TRUE(std::string(reinterpret_cast<const char*>(d), size) == reference[n]);
                return true;
            },
            [&](int64_t n) {
                released.push_back(n);
                EXPECT_FALSE(written.empty());
                EXPECT_EQ(written.back(), n) << "given back before it was handed on";
                freeBuffers.push_back(bufferOf[n]);
                --inFlight;
            });
        for (int i = 0; i < Frames; ++i) {
            ASSERT_FALSE(freeBuffers.empty()) << "no buffer free for frame " << i;
            const int b = freeBuffers.back();
            freeBuffers.pop_back();
            bufferOf[i] = b;
            buffers[b].bits = frames[i].bits;
            ++inFlight;
            ASSERT_TRUE(pool.Submit(i, buffers[b].bits.data(), buffers[b].rowBytes, true));
            most = std::max(most, inFlight);
        }
        ASSERT_TRUE(pool.Finish());
        EXPECT_LE(most, depth);
        EXPECT_EQ(inFlight, 0);
        ASSERT_EQ(released.size(), size_t(Frames));
        for (int i = 0; i < Frames; ++i) EXPECT_EQ(released[i], i);
    }
}

TEST(JpegFramePool, ARefusedWriteOrABadFrameStopsTheMovieAndFreesEverything) {
    const std::vector<TestFrame> frames = MakeFrames();
    for (int workers : {0, 2}) {
        int releases = 0, submitted = 0;
        bool stopped = false;
        {
            kv::JpegFramePool pool(
                Format(), workers, 4, [&](int64_t n, const uint8_t*, size_t) { return n != 5; },
                [&](int64_t) { ++releases; });
            for (int i = 0; i < Frames && !stopped; ++i) {
                ++submitted;
                stopped = !pool.Submit(i, frames[i].bits.data(), frames[i].rowBytes, true);
            }
            EXPECT_TRUE(stopped || !pool.Finish());
            EXPECT_FALSE(pool.Error().empty());
            EXPECT_FALSE(pool.Submit(99, frames[0].bits.data(), frames[0].rowBytes, true));
        }
        EXPECT_EQ(releases, submitted) << workers << " workers";
        EXPECT_LT(submitted, Frames);
    }
    for (int workers : {0, 2}) {
        int written = 0;
        kv::JpegFramePool pool(Format(), workers, 2, [&](int64_t, const uint8_t*, size_t) {
            ++written;
            return true;
        });
        EXPECT_TRUE(pool.Submit(0, frames[0].bits.data(), frames[0].rowBytes, true));
        // Rows shorter than the frame: the encoder refuses this one.
        pool.Submit(1, frames[1].bits.data(), 8, true);
        EXPECT_FALSE(pool.Finish());
        EXPECT_EQ(pool.Error(), "rows too short");
        EXPECT_EQ(written, 1);
    }
}

}  // namespace
