// The picture renderers: worked geometry cases, the matte, draft sampling, the row selection of
// bands and line codes, and seeded random comparisons of the production renderer (with and
// without its AVX2 kernels) against the plain reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/render/render_picture.h"
#include "tests/core/render/render_reference.h"
#include "tests/core/render/render_test_util.h"

namespace {

using kv::CameraRect;
using kv::CDIB;
using kvtest::PixelAt;

constexpr uint32_t Matte24 = 0xFF111111u;  // 17, 17, 17, opaque
constexpr uint32_t Matte32 = 0x00111111u;  // 17, 17, 17, transparent

CameraRect Rect(float left, float bottom, float w, float h) {
    CameraRect c;
    c.left = left;
    c.bottom = bottom;
    c.width = w;
    c.height = h;
    return c;
}

class SimdModes : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { kv::SetRenderSimdEnabled(GetParam()); }
    void TearDown() override { kv::SetRenderSimdEnabled(true); }
};

INSTANTIATE_TEST_SUITE_P(Render, SimdModes, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Avx2" : "Portable"; });

TEST_P(SimdModes, IdentityCameraShowsNextColumnAndMattesLastColumnsAndTopRows) {
    for (int bits : {24, 32}) {
        const int n = 37;
        CDIB pic(n, n, bits), out(n, n, 32);
        kvtest::FillRandom(pic, 7);
        ASSERT_TRUE(kv::RenderPicture(out, pic, Rect(0, 0, n, n), kv::QualityFull, 0, 0));
        const uint32_t alphaMask = bits == 24 ? 0xFF000000u : 0;
        for (int r = 0; r < n - 2; ++r) {
            for (int j = 0; j < n - 2; ++j)
                ASSERT_EQ(PixelAt(out, j, r), PixelAt(pic, j + 1, r) | alphaMask)
                    << bits << " bits, row " << r << " column " << j;
            EXPECT_EQ(PixelAt(out, n - 2, r), bits == 24 ? Matte24 : Matte32);
            EXPECT_EQ(PixelAt(out, n - 1, r), bits == 24 ? Matte24 : Matte32);
        }
        for (int r = n - 2; r < n; ++r)
            for (int j = 0; j < n; ++j)
                EXPECT_EQ(PixelAt(out, j, r), bits == 24 ? Matte24 : Matte32);
    }
}

TEST_P(SimdModes, CameraBeyondThePictureShowsTheMatteOpaqueOrTransparent) {
    CDIB pic24(50, 40, 24), pic32(50, 40, 32), out(20, 10, 32);
    kvtest::Fill(pic24, 200);
    kvtest::Fill(pic32, 200);
    // Wholly to the right, wholly below, and straddling the left edge.
    for (const CameraRect& cam : {Rect(60, 5, 20, 10), Rect(5, -30, 20, 10)}) {
        for (int quality : {kv::QualityFull, kv::QualityDraft}) {
            ASSERT_TRUE(kv::RenderPicture(out, pic24, cam, quality, 0, 0));
            EXPECT_EQ(PixelAt(out, 3, 4), Matte24);
            ASSERT_TRUE(kv::RenderPicture(out, pic32, cam, quality, 0, 0));
            EXPECT_EQ(PixelAt(out, 3, 4), Matte32);
        }
    }
    ASSERT_TRUE(kv::RenderPicture(out, pic32, Rect(-10, 5, 20, 10), kv::QualityFull, 0, 0));
    EXPECT_EQ(PixelAt(out, 0, 3), Matte32);       // outside: transparent matte
    EXPECT_EQ(PixelAt(out, 15, 3), 0xC8C8C8C8u);  // inside: the picture, alpha 200
}

TEST_P(SimdModes, DraftTakesTheNearestPixelOfTheSameGeometry) {
    CDIB pic(64, 48, 32), out(16, 12, 32);
    kvtest::FillRandom(pic, 11);
    const CameraRect cam = Rect(3.5f, 2.25f, 40.0f, 30.0f);
    ASSERT_TRUE(kv::RenderPicture(out, pic, cam, kv::QualityDraft, 0, 0));
    const float xstep = 40.0f / 16, ystep = 30.0f / 12;
    for (int r = 0; r < 12; ++r)
        for (int j = 0; j < 16; ++j) {
            const int sx = static_cast<int>(3.5f + j * xstep);
            const int sy = static_cast<int>(2.25f + r * ystep);
            ASSERT_EQ(PixelAt(out, j, r), PixelAt(pic, sx, sy)) << r << "," << j;
        }
}

TEST(RenderPicture, RefusesUnusableImagesAndEmptyCamerasShowTheMatte) {
    CDIB pic(20, 20, 24), out24(10, 10, 24), out(10, 10, 32), pic8(20, 20, 8);
    EXPECT_FALSE(kv::RenderPicture(out24, pic, Rect(0, 0, 10, 10), 100, 0, 0));
    EXPECT_FALSE(kv::RenderPicture(out, pic8, Rect(0, 0, 10, 10), 100, 0, 0));
    kvtest::Fill(pic, 90);
    for (float w : {0.0f, -5.0f, std::nanf("")}) {
        kvtest::Fill(out, 1);
        ASSERT_TRUE(kv::RenderPicture(out, pic, Rect(2, 2, w, 5), 100, 0, 0));
        EXPECT_EQ(PixelAt(out, 5, 5), Matte24) << w;
    }
}

TEST_P(SimdModes, WindowsWithoutWeightAndWildCamerasStayDefined) {
    CDIB pic(100, 80, 24), got(64, 48, 32), want(64, 48, 32);
    kvtest::FillRandom(pic, 5);
    // A camera 0.002 pixels wide starting on whole pixels: the windows' weights sum to 0.
    const CameraRect tiny = Rect(5.0f, 7.0f, 0.002f, 0.0015f);
    ASSERT_TRUE(kv::RenderPicture(got, pic, tiny, kv::QualityFull, 0, 0));
    kvref::RenderPicture(want, pic, {5.0f, 7.0f, 0.002f, 0.0015f, 0, 0, 0}, kv::QualityFull, 0, 0,
                         0);
    EXPECT_EQ(kvtest::FirstDifference(got, want), "");
    EXPECT_EQ(PixelAt(got, 0, 0), 0xFF000000u);
    // Positions that are not numbers or far away sample nothing: the matte.
    pic.rotationInUse = true;
    for (float left : {std::nanf(""), 3.0e9f, -3.0e9f}) {
        CameraRect wild = Rect(left, 10.0f, 50.0f, 40.0f);
        wild.rotation = 30.0f;
        ASSERT_TRUE(kv::RenderPicture(got, pic, wild, kv::QualityFull, 0, 0));
        EXPECT_EQ(PixelAt(got, 20, 20), Matte24) << left;
    }
}

// Column widths from under a pixel to many pixels take different vector loops (eight columns
// at a time, byte shuffles, per-column loops); all of them equal the reference.
TEST_P(SimdModes, EveryColumnWidthMatchesTheReference) {
    for (int bits : {24, 32}) {
        CDIB pic(700, 90, bits);
        kvtest::FillRandom(pic, static_cast<uint32_t>(bits));
        for (float xstep : {0.37f, 1.0f, 2.5f, 5.55f, 6.9f, 7.5f, 9.3f, 10.8f, 15.2f, 40.0f}) {
            const int wout = std::max(3, static_cast<int>(650.0f / xstep));
            CDIB got(wout, 20, 32), want(wout, 20, 32);
            const CameraRect cam = Rect(2.3f, 4.1f, xstep * wout, 60.0f);
            ASSERT_TRUE(kv::RenderPicture(got, pic, cam, kv::QualityFull, 0, 0));
            kvref::RenderPicture(want, pic, {cam.left, cam.bottom, cam.width, cam.height, 0, 0, 0},
                                 kv::QualityFull, 0, 0, 0);
            EXPECT_EQ(kvtest::FirstDifference(got, want), "") << bits << " bits, xstep " << xstep;
        }
    }
}

// Every column span from 0 to 21 middle taps (the per-column kernel reads one or two windows
// of whole pixels, 5 of 3 bytes or 4 of 4 bytes, and hands wider columns to a loop), and every
// count of middle rows from 0 to 12 over intermediate rows of 7 to 70 pixels (the vertical pass
// unrolls up to 7 middle rows, works in 64- and 32-byte steps and redoes a last partial chunk).
TEST_P(SimdModes, EverySpanAndMiddleRowCountMatchesTheReference) {
    for (int bits : {24, 32}) {
        CDIB pic(520, 200, bits);
        kvtest::FillRandom(pic, static_cast<uint32_t>(bits) + 100);
        for (int span = 0; span <= 21; ++span) {
            const float xstep = static_cast<float>(span) + 0.45f;
            const int wout = std::max(2, static_cast<int>(500.0f / xstep));
            CDIB got(wout, 6, 32), want(wout, 6, 32);
            const CameraRect cam = Rect(1.7f, 3.2f, xstep * static_cast<float>(wout), 20.0f);
            ASSERT_TRUE(kv::RenderPicture(got, pic, cam, kv::QualityFull, 0, 0));
            kvref::RenderPicture(want, pic, {cam.left, cam.bottom, cam.width, cam.height, 0, 0, 0},
                                 kv::QualityFull, 0, 0, 0);
            EXPECT_EQ(kvtest::FirstDifference(got, want), "") << bits << " bits, span " << span;
        }
        for (int rowsMid = 0; rowsMid <= 12; ++rowsMid) {
            for (int width = 7; width <= 70; width += 9) {
                const float ystep = static_cast<float>(rowsMid) + 0.6f;
                CDIB got(width, 12, 32), want(width, 12, 32);
                const CameraRect cam = Rect(4.3f, 0.8f, static_cast<float>(width), ystep * 12.0f);
                ASSERT_TRUE(kv::RenderPicture(got, pic, cam, kv::QualityFull, 0, 0));
                kvref::RenderPicture(want, pic,
                                     {cam.left, cam.bottom, cam.width, cam.height, 0, 0, 0},
                                     kv::QualityFull, 0, 0, 0);
                EXPECT_EQ(kvtest::FirstDifference(got, want), "")
                    << bits << " bits, " << rowsMid << " middle rows, width " << width;
            }
        }
    }
}

TEST(RenderPicture, BandRowsSplitTheFrameWithoutOverlap) {
    struct Case {
        int height, band, line, offset, first, last, step;
    };
    const Case cases[] = {
        {480, 0, 0, 0, 0, 479, 1},    {480, 1, 0, 0, 0, 240, 1},    {480, 2, 0, 0, 241, 479, 1},
        {480, 2, 0, 1, 241, 479, 1},  {480, 1, 10, 0, 0, 240, 2},   {480, 2, 10, 0, 242, 479, 2},
        {480, 1, 11, 0, 1, 240, 2},   {480, 2, 11, 0, 241, 479, 2}, {486, 2, 10, 0, 243, 485, 2},
        {486, 2, 10, 1, 244, 485, 2}, {486, 2, 11, 1, 245, 485, 2}, {1, 1, 0, 0, 0, 0, 1},
        {1, 2, 0, 0, 1, 0, 1},        {1, 2, 0, 1, 1, 0, 1},
    };
    for (const Case& c : cases) {
        const kv::RowRange rows = kv::BandRows(c.height, c.band, c.line, c.offset);
        EXPECT_EQ(rows.first, c.first)
            << c.height << " band " << c.band << " line " << c.line << " offset " << c.offset;
        EXPECT_EQ(rows.last, c.last);
        EXPECT_EQ(rows.step, c.step);
    }
}

// Random cameras, sizes, depths, angles, line codes, bands and qualities: production equals
// the reference to the byte.
TEST_P(SimdModes, MatchesTheReferenceOverRandomRenders) {
    std::mt19937 rng(20261207);
    auto uniform = [&](float a, float b) {
        return std::uniform_real_distribution<float>(a, b)(rng);
    };
    auto pick = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
    const int lines[] = {0, 1, 10, 11};
    int mismatches = 0;
    for (int i = 0; i < 400 && mismatches < 5; ++i) {
        const int bits = pick(0, 1) ? 32 : 24;
        const int wsrc = pick(1, 300), hsrc = pick(1, 240);
        CDIB pic(wsrc, hsrc, bits);
        kvtest::FillRandom(pic, static_cast<uint32_t>(i));
        const int wout = pick(0, 9) == 0 ? pick(1, 4) : pick(1, 200);
        const int hout = pick(0, 9) == 0 ? pick(1, 4) : pick(1, 160);
        // Cameras from deep zoom-ins to views several times the picture, partly outside.
        const float zoom = std::exp(uniform(-3.0f, 1.5f));
        const float w = static_cast<float>(wsrc) * zoom;
        const float h = w * (pick(0, 1) ? 0.75f : 0.5625f);
        CameraRect cam =
            Rect(uniform(-0.3f, 1.1f) * wsrc - w / 2, uniform(-0.3f, 1.1f) * hsrc - h / 2, w, h);
        if (pick(0, 5) == 0) cam.left = static_cast<float>(pick(-3, 10));  // whole pixels
        pic.rotationInUse = pick(0, 2) == 0;
        if (pic.rotationInUse) {
            cam.rotation = pick(0, 3) == 0 ? 0.0f : uniform(-200.0f, 200.0f);
            cam.tiltA = pick(0, 1) ? 0.0f : uniform(-60.0f, 60.0f);
            cam.tiltB = pick(0, 1) ? 0.0f : uniform(-60.0f, 60.0f);
        }
        const int quality = pick(0, 3) == 0 ? kv::QualityDraft : kv::QualityFull;
        const int line = lines[pick(0, 3)];
        const int band = pick(0, 2);
        const int offset = pick(0, 1);

        CDIB got(wout, hout, 32), want(wout, hout, 32);
        kvtest::Fill(got, 0x5A);
        kvtest::Fill(want, 0x5A);
        ASSERT_TRUE(kv::RenderPicture(got, pic, cam, quality, band, line, offset));
        kvref::RenderPicture(
            want, pic,
            {cam.left, cam.bottom, cam.width, cam.height, cam.rotation, cam.tiltA, cam.tiltB},
            quality, band, line, offset);
        const std::string diff = kvtest::FirstDifference(got, want);
        if (!diff.empty()) {
            ++mismatches;
            ADD_FAILURE() << "case " << i << ": " << diff << " (picture " << wsrc << "x" << hsrc
                          << "x" << bits << ", out " << wout << "x" << hout << ", camera "
                          << cam.left << "," << cam.bottom << " " << cam.width << "x" << cam.height
                          << " rot " << pic.rotationInUse << " q " << quality << " line " << line
                          << " band " << band << ")";
        }
    }
}

// Zoom-outs only big pictures allow: a 60000-pixel strip to 64 and to 8 pixels, and a 60000-row
// strip to 8 rows, where windows span thousands of source pixels (beyond 4096 their weights
// no longer fit the 32-bit normaliser). Production equals the reference, a constant picture
// stays constant through the widest windows, and the rotating renderer samples the same strip.
TEST_P(SimdModes, BigZoomOutsMatchTheReferenceAndKeepAConstantPicture) {
    struct Case {
        int wsrc, hsrc, wout, hout;
        CameraRect cam;
    } cases[] = {
        {60000, 12, 64, 4, Rect(0, 0, 60000, 8)},
        {60000, 12, 8, 4, Rect(0, 0, 60000, 8)},
        {60000, 12, 64, 3, Rect(-3000, 1.5f, 59000.5f, 7.5f)},
        {10, 60000, 4, 8, Rect(0, 0, 8, 59000)},
        {10, 60000, 3, 3, Rect(0.25f, 100, 7.5f, 59800)},
    };
    for (const Case& c : cases) {
        for (int bits : {24, 32}) {
            SCOPED_TRACE(::testing::Message() << c.wsrc << "x" << c.hsrc << "x" << bits << " to "
                                              << c.wout << "x" << c.hout);
            CDIB pic(c.wsrc, c.hsrc, bits), got(c.wout, c.hout, 32), want(c.wout, c.hout, 32);
            kvtest::FillRandom(pic, static_cast<uint32_t>(c.wsrc + bits));
            for (int rotate : {0, 1}) {
                pic.rotationInUse = rotate != 0;
                CameraRect cam = c.cam;
                cam.rotation = rotate ? 0.75f : 0.0f;
                ASSERT_TRUE(kv::RenderPicture(got, pic, cam, kv::QualityFull, 0, 0));
                kvref::RenderPicture(
                    want, pic, {cam.left, cam.bottom, cam.width, cam.height, cam.rotation, 0, 0},
                    kv::QualityFull, 0, 0, 0);
                EXPECT_EQ(kvtest::FirstDifference(got, want), "") << "rotated " << rotate;
            }
            pic.rotationInUse = false;
            kvtest::Fill(pic, 200);
            ASSERT_TRUE(kv::RenderPicture(got, pic, c.cam, kv::QualityFull, 0, 0));
            const float xstep = c.cam.width / static_cast<float>(c.wout);
            for (int j = 0; j < c.wout; ++j) {
                const float v = c.cam.left + static_cast<float>(j) * xstep;
                if (v < 0.0f || v + xstep >= static_cast<float>(c.wsrc - 1)) continue;
                // Windows of hundreds of pixels are divided by their weight: 200 exactly where
                // the window spans more than 256 pixels each way, at most 1 less elsewhere.
                const bool wideBothWays =
                    xstep > 260.0f && c.cam.height / static_cast<float>(c.hout) > 260.0f;
                const uint32_t px = PixelAt(got, j, 0);
                for (int ch = 0; ch < (bits == 32 ? 4 : 3); ++ch) {
                    const int value = static_cast<int>((px >> (8 * ch)) & 255);
                    EXPECT_GE(value, wideBothWays ? 200 : 198) << "column " << j << " ch " << ch;
                    EXPECT_LE(value, 200) << "column " << j << " channel " << ch;
                }
            }
        }
    }
}

}  // namespace
