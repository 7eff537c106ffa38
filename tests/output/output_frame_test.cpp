// The output frame: pixel shapes at the video sizes, the inner frame of a show of another
// shape, the matte around it, the fill mode, field order and the exact rates.
#include "output/output_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/render/render_picture.h"
#include "core/show/show.h"

namespace {

void SetShape(kv::Show& show, int32_t mode) {
    show.AspectMode = mode;
    show.aspect = kv::AspectOf(mode);
}

// What the fake renderer was asked for.
struct RenderCall {
    int32_t width = 0, height = 0;
    float aspect = 0;
    int32_t aspectMode = 0;
};
std::vector<RenderCall> g_calls;

// Paints every pixel (200, 100, 50, 255) and remembers the call.
bool PaintPlain(kv::Show& show, int32_t, int32_t, bool, int32_t w, int32_t h, kv::CDIB* out, bool) {
    g_calls.push_back({w, h, show.aspect, show.AspectMode});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = out->Row(y) + 4 * x;
            p[0] = 200, p[1] = 100, p[2] = 50, p[3] = 255;
        }
    return true;
}

// Paints row r (counted from the bottom) with its parity in the blue byte: 0 even, 255 odd.
bool PaintRowParity(kv::Show&, int32_t, int32_t, bool, int32_t w, int32_t h, kv::CDIB* out, bool) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = out->Row(y) + 4 * x;
            p[0] = y % 2 ? 255 : 0, p[1] = 0, p[2] = 0, p[3] = 255;
        }
    return true;
}

bool IsMatte(const kv::CDIB& image, int x, int yFromTop) {
    const uint8_t* p = image.Row(image.Height() - 1 - yFromTop) + 4 * x;
    return p[0] == kv::MatteLevel && p[1] == kv::MatteLevel && p[2] == kv::MatteLevel &&
           p[3] == 255;
}

TEST(ExactRate, VideoRatesAreTheirFractions) {
    EXPECT_EQ(kv::ExactRateFor(29.97f).num, 30000);
    EXPECT_EQ(kv::ExactRateFor(29.97f).den, 1001);
    EXPECT_EQ(kv::ExactRateFor(23.976f).num, 24000);
    EXPECT_EQ(kv::ExactRateFor(23.97f).den, 1001);
    EXPECT_EQ(kv::ExactRateFor(59.94f).num, 60000);
    EXPECT_EQ(kv::ExactRateFor(25).num, 25);
    EXPECT_EQ(kv::ExactRateFor(25).den, 1);
    EXPECT_EQ(kv::ExactRateFor(12.5f).num, 25);
    EXPECT_EQ(kv::ExactRateFor(12.5f).den, 2);
    EXPECT_EQ(kv::ExactRateFor(0).num, 0);
}

TEST(OutputFrame, VideoSizesKeepTheirPixelShapesAndAreNotMatted) {
    kv::Show show;
    struct Case {
        int32_t mode, height, num, den;
    } cases[] = {{7500, 480, 8, 9}, {7500, 486, 9, 10},  {7500, 576, 16, 15}, {5625, 480, 32, 27},
                 {5625, 486, 6, 5}, {5625, 576, 64, 45}, {5626, 480, 8, 9},   {5626, 576, 16, 15}};
    for (const Case& c : cases) {
        SetShape(show, c.mode);
        const kv::OutputFrame f = kv::DescribeOutputFrame(show, 720, c.height, 3, 29.97f, false);
        EXPECT_EQ(f.pixelNum, c.num) << c.mode << " " << c.height;
        EXPECT_EQ(f.pixelDen, c.den) << c.mode << " " << c.height;
        EXPECT_FALSE(f.Matted()) << c.mode << " " << c.height;
        EXPECT_EQ(f.letterboxBars, c.mode == 5626);
        EXPECT_NEAR(f.DisplayShape(), f.showShape, 1e-3);
    }
    // A square show has square pixels there too, and is matted like anywhere else.
    SetShape(show, 10000);
    const kv::OutputFrame f = kv::DescribeOutputFrame(show, 720, 480, 0, 29.97f, false);
    EXPECT_EQ(f.pixelNum, 1);
    EXPECT_EQ(f.innerWidth, 480);
    EXPECT_EQ(f.innerX, 120);
}

TEST(OutputFrame, AMatchingFrameLeavesTheRendererAlone) {
    kv::Show show;
    SetShape(show, 7500);
    const kv::OutputFrame f = kv::DescribeOutputFrame(show, 720, 480, 0, 29.97f, false);
    kv::CDIB out(720, 480, 32), inner(0, 0, 32);
    g_calls.clear();
    ASSERT_TRUE(kv::RenderOutputFrame(show, PaintPlain, f, 0, 0, true, &out, inner, false));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].width, 720);
    EXPECT_EQ(g_calls[0].aspect, show.aspect);
    EXPECT_EQ(g_calls[0].aspectMode, 7500);
    EXPECT_TRUE(inner.Empty());
}

TEST(OutputFrame, ATallShowIsPillarboxedInAWideFrame) {
    kv::Show show;
    SetShape(show, 7500);
    const kv::OutputFrame f = kv::DescribeOutputFrame(show, 1920, 1080, 0, 29.97f, false);
    EXPECT_EQ(f.pixelNum, 1);
    EXPECT_EQ(f.innerWidth, 1440);
    EXPECT_EQ(f.innerHeight, 1080);
    EXPECT_EQ(f.innerX, 240);
    EXPECT_EQ(f.innerY, 0);
    kv::CDIB out(1920, 1080, 32), inner(0, 0, 32);
    g_calls.clear();
    ASSERT_TRUE(kv::RenderOutputFrame(show, PaintPlain, f, 0, 0, true, &out, inner, false));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].width, 1440);
    EXPECT_FLOAT_EQ(g_calls[0].aspect, 0.75f);
    // The show's values are its own again.
    EXPECT_EQ(show.AspectMode, 7500);
    EXPECT_TRUE(IsMatte(out, 0, 500));
    EXPECT_TRUE(IsMatte(out, 239, 0));
    EXPECT_FALSE(IsMatte(out, 240, 0));
    EXPECT_FALSE(IsMatte(out, 1679, 1079));
    EXPECT_TRUE(IsMatte(out, 1680, 1079));
    EXPECT_TRUE(IsMatte(out, 1919, 540));
}

TEST(OutputFrame, AWideShowIsLetterboxedFromAnEvenRowKeepingFieldParity) {
    kv::Show show;
    SetShape(show, 5625);
    for (int32_t height : {1920, 1350, 1081, 1080}) {
        const kv::OutputFrame f = kv::DescribeOutputFrame(show, 1080, height, 3, 29.97f, false);
        ASSERT_TRUE(f.Matted()) << height;
        EXPECT_EQ(f.innerY % 2, 0) << height;
        EXPECT_EQ((height - f.innerHeight) % 2, 0) << height;
        EXPECT_NEAR(f.innerHeight, 1080 * 0.5625, 1.0) << height;
        EXPECT_NEAR(f.innerY, (height - f.innerHeight) / 2.0, 1.0) << height;
        // Row parity counted from the bottom is the frame's in the inner frame too.
        kv::CDIB out(1080, height, 32), inner(0, 0, 32);
        ASSERT_TRUE(kv::RenderOutputFrame(show, PaintRowParity, f, 0, 3, true, &out, inner, false));
        const int firstInner = height - f.innerY - f.innerHeight;  // from the bottom
        for (int y = firstInner; y < firstInner + f.innerHeight; ++y)
            ASSERT_EQ(out.Row(y)[4 * 500], y % 2 ? 255 : 0) << height << " row " << y;
        EXPECT_TRUE(IsMatte(out, 500, f.innerY - 1));
        EXPECT_TRUE(IsMatte(out, 500, f.innerY + f.innerHeight));
    }
}

TEST(OutputFrame, SmallDifferencesAreNotMatted) {
    kv::Show show;
    SetShape(show, 5625);
    // 1366 x 768 is 0.4 % off 16:9.
    EXPECT_FALSE(kv::DescribeOutputFrame(show, 1366, 768, 0, 25, false).Matted());
    EXPECT_TRUE(kv::DescribeOutputFrame(show, 1280, 768, 0, 25, false).Matted());
}

TEST(OutputFrame, FillDrawsTheCameraAtTheFramesShape) {
    kv::Show show;
    SetShape(show, 7500);
    const kv::OutputFrame f = kv::DescribeOutputFrame(show, 1080, 1920, 0, 29.97f, true);
    EXPECT_FALSE(f.Matted());
    EXPECT_FLOAT_EQ(f.cameraAspect, 1920.0f / 1080.0f);
    kv::CDIB out(1080, 1920, 32), inner(0, 0, 32);
    g_calls.clear();
    ASSERT_TRUE(kv::RenderOutputFrame(show, PaintPlain, f, 0, 0, true, &out, inner, false));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_FLOAT_EQ(g_calls[0].aspect, 1920.0f / 1080.0f);
    EXPECT_FALSE(IsMatte(out, 0, 0));
    EXPECT_FLOAT_EQ(show.aspect, 0.75f);
}

TEST(OutputFrame, TheLetterboxModeIsSixteenByNineAwayFromVideoSizes) {
    kv::Show show;
    SetShape(show, 5626);
    const kv::OutputFrame f = kv::DescribeOutputFrame(show, 1920, 1080, 0, 25, false);
    EXPECT_FALSE(f.Matted());
    EXPECT_FALSE(f.letterboxBars);
    kv::CDIB out(1920, 1080, 32), inner(0, 0, 32);
    g_calls.clear();
    ASSERT_TRUE(kv::RenderOutputFrame(show, PaintPlain, f, 0, 0, true, &out, inner, false));
    ASSERT_EQ(g_calls.size(), 1u);
    // Drawn as a plain 16:9 show: no bars of its own.
    EXPECT_NE(g_calls[0].aspectMode, 5626);
    EXPECT_FLOAT_EQ(g_calls[0].aspect, 0.5625f);
    EXPECT_EQ(show.AspectMode, 5626);
}

TEST(OutputFrame, FieldOrderFollowsTheRowsTheRendererDrawsFirst) {
    kv::Show show;
    show.FrameRate = 2997;
    EXPECT_EQ(kv::DescribeOutputFrame(show, 720, 480, 3, 29.97f, false).scan,
              kv::FrameScan::BottomFieldFirst);
    EXPECT_EQ(kv::DescribeOutputFrame(show, 720, 480, 0, 29.97f, false).scan,
              kv::FrameScan::Progressive);
    show.FieldSwap = true;
    EXPECT_EQ(kv::DescribeOutputFrame(show, 720, 480, 3, 29.97f, false).scan,
              kv::FrameScan::TopFieldFirst);
    // An odd height puts the first-drawn rows at the top.
    show.FieldSwap = false;
    EXPECT_EQ(kv::DescribeOutputFrame(show, 720, 481, 3, 29.97f, false).scan,
              kv::FrameScan::TopFieldFirst);
}

TEST(OutputFrame, PublishDefaultSizesFollowTheShape) {
    struct Case {
        int32_t mode, w, h;
    } cases[] = {{5625, 1920, 1080},
                 {17775, 1080, 1920},
                 {10000, 1080, 1080},
                 {12500, 1080, 1350},
                 {7500, 1440, 1080}};
    for (const Case& c : cases) {
        int32_t w = 0, h = 0;
        kv::PublishDefaultSize(kv::AspectOf(c.mode), w, h);
        EXPECT_EQ(w, c.w) << c.mode;
        EXPECT_EQ(h, c.h) << c.mode;
    }
}

TEST(OutputFrame, ShapeNames) {
    EXPECT_EQ(kv::ShapeName(0.5625), "16:9");
    EXPECT_EQ(kv::ShapeName(1.7775), "9:16");
    EXPECT_EQ(kv::ShapeName(1.25), "4:5");
    EXPECT_EQ(kv::ShapeName(1 / 2.39), "2.39:1");
}

}  // namespace
