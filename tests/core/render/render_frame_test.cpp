// RenderFrame: size checks, the camera rectangle, field times and line codes, interlacing,
// motion blur, the letterbox and the placeholder frame.
#include <gtest/gtest.h>

#include "core/picture/placeholder.h"
#include "core/render/render_frame.h"
#include "core/render/render_picture.h"
#include "core/render/treatments.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "tests/core/render/render_test_util.h"

namespace {

using kv::CDIB;
using kvtest::FirstDifference;
using kvtest::PixelAt;
using kvtest::RowsEqual;

// A show over a seeded 400 x 300 picture whose camera pans and zooms between frames 0 and 30.
class RenderFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        show.image.Create(400, 300, 24);
        kvtest::FillRandom(show.image, 3);
        show.pictureCount = 1;
        show.EaseType = kv::EaseNoSlows;
        kv::Picture& p = show.pictures[0];
        p.keyCount = 2;
        p.keys[0] = kv::KeyFrame{};
        p.keys[0].x = 150;
        p.keys[0].y = 140;
        p.keys[0].width = 240;
        p.keys[1] = p.keys[0];
        p.keys[1].time = 30;
        p.keys[1].x = 260;
        p.keys[1].width = 160;
        show.FrameRate = 2997;
        show.MultiProcess = false;
        show.BlurFrames = 0;
        show.FieldSwap = false;
        show.FlopTopField = false;
        show.AspectMode = 7500;
        show.aspect = 0.75f;
    }

    bool Render(CDIB& out, int frame, int mode, bool flag = true) {
        return kv::RenderFrame(show, frame, mode, flag, out.Width(), out.Height(), &out, false);
    }

    kv::Show show;
};

TEST_F(RenderFrameTest, SizesOutsideTheLimitsOrAMismatchedFrameLeaveOutUntouched) {
    CDIB out(64, 48, 32), out24(64, 48, 24);
    kvtest::Fill(out, 0xAB);
    for (auto [w, h] : {std::pair{0, 48}, {64, 0}, {8193, 48}, {64, 8193}, {63, 48}}) {
        EXPECT_FALSE(kv::RenderFrame(show, 5, 0, true, w, h, &out, false)) << w << "x" << h;
        EXPECT_EQ(PixelAt(out, 10, 10), 0xABABABABu);
    }
    EXPECT_FALSE(kv::RenderFrame(show, 5, 0, true, 64, 48, nullptr, false));
    EXPECT_FALSE(kv::RenderFrame(show, 5, 0, true, 64, 48, &out24, false));
    EXPECT_TRUE(Render(out, 5, 0));
    EXPECT_NE(PixelAt(out, 10, 10), 0xABABABABu);
}

TEST_F(RenderFrameTest, CameraRectangleFollowsTheKeyAndTheAspect) {
    // Frame 0: centre (150, 140 from the top), width 240, aspect 0.75 -> height 180.
    CDIB out(120, 90, 32), want(120, 90, 32);
    ASSERT_TRUE(Render(out, 0, 0));
    kv::CameraRect cam;
    cam.left = 150 - 120;
    cam.bottom = (300 - 140) - 90;
    cam.width = 240;
    cam.height = 180;
    ASSERT_TRUE(kv::RenderPicture(want, show.image, cam, kv::QualityFull, 0, 0));
    EXPECT_EQ(FirstDifference(out, want), "");
    // Frames below 0 render as frame 0.
    CDIB early(120, 90, 32);
    ASSERT_TRUE(Render(early, -7, 0));
    EXPECT_EQ(FirstDifference(early, want), "");
}

TEST_F(RenderFrameTest, SecondFieldIsHalfAFrameLaterOnlyAtVideoRates) {
    CDIB field(96, 72, 32), own(96, 72, 32), later(96, 72, 32);
    for (int rate : {2997, 2500, 2397}) {
        show.FrameRate = rate;
        show.FieldSwap = false;
        ASSERT_TRUE(Render(own, 10, 0));
        show.FieldSwap = true;  // moves the progressive frame to the half-frame time
        ASSERT_TRUE(Render(later, 10, 0));
        show.FieldSwap = false;
        ASSERT_TRUE(Render(field, 10, 2));  // flag set, FlopTopField clear: line code 0
        if (rate == 2397) {
            EXPECT_EQ(FirstDifference(field, own), "") << rate;
            EXPECT_EQ(FirstDifference(later, own), "") << rate;
        } else {
            EXPECT_EQ(FirstDifference(field, later), "") << rate;
            EXPECT_NE(FirstDifference(field, own), "") << rate;
        }
    }
}

TEST_F(RenderFrameTest, SingleFieldsShiftHalfARowWhenTheFlagMatchesFlopTopField) {
    CDIB field(96, 72, 32), own(96, 72, 32);
    ASSERT_TRUE(Render(own, 10, 0));
    ASSERT_TRUE(Render(field, 10, 1, true));  // flag true, Flop false: code 0 at time 0
    EXPECT_EQ(FirstDifference(field, own), "");
    ASSERT_TRUE(Render(field, 10, 1, false));  // both clear: code 1
    EXPECT_NE(FirstDifference(field, own), "");
    const kv::CameraState c = kv::CameraAtFrame(show, 10, false);
    kv::CameraRect cam;
    cam.width = c.width;
    cam.height = c.width * 0.75f;
    cam.left = c.x - cam.width / 2;
    cam.bottom = (300 - c.y) - cam.height / 2;
    CDIB want(96, 72, 32);
    ASSERT_TRUE(kv::RenderPicture(want, show.image, cam, kv::QualityFull, 0, kv::LineAllHalf));
    EXPECT_EQ(FirstDifference(field, want), "");
}

TEST_F(RenderFrameTest, InterlacedFrameTakesEvenRowsNowAndOddRowsHalfAFrameLater) {
    CDIB frame(96, 72, 32), own(96, 72, 32), later(96, 72, 32);
    ASSERT_TRUE(Render(own, 12, 0));
    show.FieldSwap = true;
    ASSERT_TRUE(Render(later, 12, 0));
    for (bool swap : {false, true}) {
        show.FieldSwap = swap;
        ASSERT_TRUE(Render(frame, 12, 3));
        for (int r = 0; r < 72; ++r) {
            const bool firstField = (r % 2 == 0) != swap;
            EXPECT_TRUE(RowsEqual(frame, r, firstField ? own : later, r)) << "row " << r;
        }
    }
}

TEST_F(RenderFrameTest, MotionBlurAtFrameZeroBlendsWithTheSecondFieldOfFrameZero) {
    CDIB plain(80, 60, 32), second(80, 60, 32), blurred(80, 60, 32);
    ASSERT_TRUE(Render(plain, 0, 0));
    ASSERT_TRUE(Render(second, 0, 2));
    kv::Blend(plain, second, 0.5f);
    show.BlurFrames = 3;
    show.currentFrame = 99;
    ASSERT_TRUE(Render(blurred, 0, 0));
    EXPECT_EQ(FirstDifference(blurred, plain), "");
    EXPECT_EQ(show.BlurFrames, 3);
    EXPECT_EQ(show.currentFrame, 0);  // the frame rendered, not the companion's

    // Later frames blend with the previous frame's second field.
    show.BlurFrames = 0;
    ASSERT_TRUE(Render(plain, 20, 0));
    ASSERT_TRUE(Render(second, 19, 2));
    kv::Blend(plain, second, 0.5f);
    show.BlurFrames = 1;
    ASSERT_TRUE(Render(blurred, 20, 0));
    EXPECT_EQ(FirstDifference(blurred, plain), "");
    EXPECT_EQ(show.currentFrame, 20);
}

TEST_F(RenderFrameTest, LetterboxPutsSixtyOpaqueMatteRowsTopAndBottomAt720x480) {
    show.AspectMode = 5626;
    show.aspect = kv::AspectOf(5626);
    CDIB out(720, 480, 32), full(720, 480, 32);
    ASSERT_TRUE(Render(out, 4, 0));
    for (int r : {0, 59, 420, 479})
        for (int x : {0, 360, 719}) EXPECT_EQ(PixelAt(out, x, r), 0xFF111111u) << r;
    // The picture between the bars uses the 4:3 camera.
    show.AspectMode = 7500;
    show.aspect = 0.75f;
    ASSERT_TRUE(Render(full, 4, 0));
    for (int r = 60; r < 420; ++r) ASSERT_TRUE(RowsEqual(out, r, full, r)) << r;
    EXPECT_FALSE(RowsEqual(out, 59, full, 59));
}

TEST_F(RenderFrameTest, TwoBandsRenderEveryModeAsOneBandDoes) {
    for (int height : {72, 73, 1}) {
        for (int mode : {0, 1, 2}) {
            CDIB one(96, height, 32), two(96, height, 32);
            show.MultiProcess = false;
            ASSERT_TRUE(Render(one, 9, mode, false));
            show.MultiProcess = true;
            for (int offset : {0, 1}) {
                show.MultiProcOffset = offset;
                kvtest::Fill(two, 0);
                ASSERT_TRUE(Render(two, 9, mode, false));
                EXPECT_EQ(FirstDifference(two, one), "") << height << " mode " << mode;
            }
        }
    }
}

TEST_F(RenderFrameTest, InterlacedTwoBandsNeedAnEvenUpperStart) {
    for (int height : {480, 486}) {
        CDIB one(720, height, 32), two(720, height, 32);
        show.MultiProcess = false;
        ASSERT_TRUE(Render(one, 7, 3));
        show.MultiProcess = true;
        for (int offset : {0, 1}) {
            show.MultiProcOffset = offset;
            kvtest::Fill(two, 0);
            ASSERT_TRUE(Render(two, 7, 3));
            // Hout/2 + offset even: 480 with 0, 486 with 1.
            const bool even = (height / 2 + offset) % 2 == 0;
            if (even) {
                EXPECT_EQ(FirstDifference(two, one), "") << height << " offset " << offset;
            } else {
                // The upper band's fields are exchanged; the lower band is right.
                EXPECT_NE(FirstDifference(two, one), "") << height << " offset " << offset;
                EXPECT_TRUE(RowsEqual(two, 100, one, 100));
            }
        }
    }
}

TEST_F(RenderFrameTest, MissingPictureRendersThePlaceholderWithoutTheCamera) {
    show.lastLoadResult = 2;
    show.ShowPicError = false;
    CDIB out(160, 120, 32), want(160, 120, 32), placeholder(16, 16, 8);
    ASSERT_TRUE(Render(out, 3, 0));
    if (kv::LoadPlaceholder(placeholder)) {
        ASSERT_TRUE(kv::ConvertInto(placeholder, &want, 0, 0));
    } else {
        kvtest::Fill(want, 17);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) want.Row(y)[4 * x + 3] = 255;
    }
    EXPECT_EQ(FirstDifference(out, want), "");
    // Reported errors render the picture as usual.
    show.ShowPicError = true;
    ASSERT_TRUE(Render(out, 3, 0));
    EXPECT_NE(FirstDifference(out, want), "");
}

TEST_F(RenderFrameTest, EnsurePictureSetsTheRotationFlagFromTheKeys) {
    EXPECT_TRUE(kv::EnsurePicture(show, 0));
    EXPECT_FALSE(show.image.rotationInUse);
    show.pictures[0].keys[1].tiltA = 5;
    EXPECT_TRUE(kv::EnsurePicture(show, 0));
    EXPECT_TRUE(show.image.rotationInUse);
    CDIB out(96, 72, 32);
    EXPECT_TRUE(Render(out, 15, 0));
}

}  // namespace
