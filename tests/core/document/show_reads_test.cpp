// The reads of a show (the camera at a frame, a rendered frame, the block it saves as) leave it
// exactly as it was; the older entry points are the same reads plus their stated changes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/document/show_file.h"
#include "core/render/render_frame.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "tests/test_support.h"

namespace {

// A show drawn from a seed: picture size and pixels, one to twelve keys (a lone key now and
// then, which saving doubles), turned and eased keys, the show-wide options that steer the
// renderer, a shape of its own or the letterbox, a sound file.
void BuildRandom(kv::Show& show, uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto real = [&](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    show.Reset();
    const int w = pick(16, 120), h = pick(16, 90);
    show.image.Create(w, h, pick(0, 1) ? 24 : 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < show.image.RowBytes(); ++x)
            show.image.Row(y)[x] = static_cast<uint8_t>(rng());
    show.pictureCount = 1;
    show.pictures[0].fileSpec.SetPath(("pictures/p" + std::to_string(seed) + ".jpg").c_str());
    show.pictures[0].uprightOrientation = pick(0, 1) != 0;
    show.length = pick(30, 600);
    show.FrameRate = pick(0, 2) == 0 ? 2500 : pick(0, 1) ? 2997 : 2400;
    const int keys = pick(0, 3) == 0 ? 1 : pick(2, 12);
    kv::Picture& p = show.pictures[0];
    p.keyCount = keys;
    for (int k = 0; k < keys; ++k) {
        kv::KeyFrame& key = p.keys[k];
        key = kv::KeyFrame{};
        key.time = k == 0 ? 0 : p.keys[k - 1].time + pick(1, 60);
        key.x = real(0, static_cast<float>(w));
        key.y = real(0, static_cast<float>(h));
        key.width = real(4, static_cast<float>(w) * 2);
        if (pick(0, 3) == 0) key.rotation = real(-30, 30);
        if (pick(0, 5) == 0) key.tiltA = real(-10, 10);
        if (pick(0, 4) == 0) key.easeCode = static_cast<float>(1000 * pick(1, 3) + pick(0, 99));
        key.stamp = static_cast<float>(pick(0, 200));
        key.showLength = static_cast<float>(pick(0, 900));
    }
    show.EaseType = pick(0, 3);
    show.BlurFrames = pick(0, 2) == 0 ? 1 : 0;
    show.FieldSwap = pick(0, 1) != 0;
    show.FlopTopField = pick(0, 1) != 0;
    show.DraftRender = pick(0, 3) == 0;
    show.MultiProcess = pick(0, 1) != 0;
    show.MultiProcOffset = pick(0, 1);
    show.AlwaysUseRotation = pick(0, 5) == 0;
    show.MatteColor = static_cast<uint32_t>(rng()) & 0xFFFFFF;
    show.BorderSize = pick(0, 8);
    show.PreBlur = pick(0, 3);
    show.VideoColors = pick(0, 1) != 0;
    show.ContrastBrightness = pick(0, 0x6464);
    const int shape = pick(0, 3);
    if (shape == 1) kv::SetOwnShape(show, 5626);  // the letterbox
    if (shape == 2) kv::SetOwnShape(show, 17775);
    if (pick(0, 2) == 0) show.audio.SetPath("sound/track.wav");
    show.currentFrame = pick(0, show.length);
    show.showId = static_cast<uint16_t>(pick(0, 65535));
    show.dirty = pick(0, 1) != 0;
}

void LoadExample(kv::Show& show) {
    ASSERT_TRUE(kv::LoadShow(show, std::string(KV_SOURCE_DIR) + "/examples/example.kvx", true));
    show.currentFrame = 17;
    show.dirty = true;
}

std::vector<uint8_t> BlockOf(const kv::Show& show, uint16_t id) {
    std::vector<uint8_t> block(kv::BuildShowBlock(show, id, nullptr));
    EXPECT_EQ(kv::BuildShowBlock(show, id, block.data()), block.size());
    return block;
}

// Camera, render and block over the whole show on `read`; `same` is built alike and never read.
void ExpectReadsLeaveTheShow(kv::Show& read, const kv::Show& same) {
    ASSERT_TRUE(read == same);
    const int32_t frames[] = {
        -5, 0, 1, read.length / 3, read.length - 1, read.length, read.length + 40};
    for (int32_t f : frames) {
        kv::CameraAt(read, f, false);
        kv::CameraAt(read, f, true);
        for (int mode = 0; mode <= 3; ++mode) {
            kv::CDIB out(64, 48, 32);
            kv::RenderShowFrame(read, f, mode, mode == 2, 64, 48, &out);
        }
    }
    BlockOf(read, 7);
    EXPECT_TRUE(read == same);
}

TEST(ShowReads, LeaveTheExampleShowAsItWas) {
    kv::Show read, same;
    LoadExample(read);
    LoadExample(same);
    ExpectReadsLeaveTheShow(read, same);
}

TEST(ShowReads, LeaveSeededRandomShowsAsTheyWere) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        kv::Show read, same;
        BuildRandom(read, seed);
        BuildRandom(same, seed);
        ExpectReadsLeaveTheShow(read, same);
    }
}

// The older entry points: the same camera, pixels and bytes, then exactly their own changes.
TEST(ShowReads, OlderEntryPointsAreTheReadsThenTheirChanges) {
    for (uint32_t seed = 100; seed < 130; ++seed) {
        SCOPED_TRACE(seed);
        kv::Show reader, writer;
        BuildRandom(reader, seed);
        BuildRandom(writer, seed);
        const int32_t frame = static_cast<int32_t>(seed % 3 == 0 ? reader.length + 9 : seed);

        const kv::CameraState camera = kv::CameraAt(reader, frame, false);
        EXPECT_TRUE(kv::CameraAtFrame(writer, frame, false) == camera);
        EXPECT_EQ(writer.currentFrame, kv::ClampFrame(reader, frame));
        reader.currentFrame = writer.currentFrame;
        ASSERT_TRUE(reader == writer);

        kv::CDIB readOut(80, 60, 32), writeOut(80, 60, 32);
        const bool read = kv::RenderShowFrame(reader, frame, 3, true, 80, 60, &readOut);
        EXPECT_EQ(kv::RenderFrame(writer, frame, 3, true, 80, 60, &writeOut, false), read);
        for (int y = 0; y < 60; ++y)
            ASSERT_EQ(0, std::memcmp(readOut.Row(y), writeOut.Row(y), 80 * 4)) << y;
        kv::EnsurePicture(reader, 0);
        reader.currentFrame = kv::ClampFrame(reader, frame);
        ASSERT_TRUE(reader == writer);

        const std::vector<uint8_t> before = BlockOf(reader, 0);
        std::vector<uint8_t> saved(kv::Serialise(writer, nullptr));
        kv::Serialise(writer, saved.data());
        ASSERT_EQ(saved.size(), before.size());
        EXPECT_NE(writer.showId, reader.showId);
        EXPECT_FALSE(writer.dirty);
        const std::vector<uint8_t> read2 = BlockOf(reader, writer.showId);
        EXPECT_EQ(read2, saved);
        kv::MarkShowSaved(reader, writer.showId);
        EXPECT_TRUE(reader == writer);
        // Once saved, the show's own keys are what the block carries.
        EXPECT_EQ(BlockOf(reader, writer.showId), saved);
    }
}

TEST(ShowReads, AFailedSaveLeavesTheShowUnsaved) {
    kv::Show show, same;
    BuildRandom(show, 7);
    BuildRandom(same, 7);
    show.dirty = same.dirty = true;
    const std::string dir = kvtest::TempDir("show_reads_failed_save");
    std::string error;
    EXPECT_FALSE(kv::SaveShow(show, dir + "/no such folder/show.kvx", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(show == same);
    EXPECT_TRUE(show.dirty);

    ASSERT_TRUE(kv::SaveShow(show, dir + "/show.kvx"));
    EXPECT_FALSE(show.dirty);
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/show.kvx").size(),
              kv::BuildShowBlock(same, 0, nullptr));
}

}  // namespace
