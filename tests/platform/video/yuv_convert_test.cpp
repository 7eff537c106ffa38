// The BGRA to Y'CbCr conversion: BT.601 values at both ranges, grey without colour, chroma as
// the mean of the pixels it covers (odd edges included), the row flip, the AVX2 kernels against
// the portable ones, and agreement with swscale, which made these planes before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "platform/video/yuv_convert.h"
#include "tests/platform/video/test_frames.h"

namespace {

using kv::ChromaLayout;
using kvtest::TestFrame;

struct Planes {
    int w, h, cw, ch;
    std::vector<uint8_t> y, u, v;
    kv::YuvTarget target;
    Planes(int width, int height, ChromaLayout layout, bool full)
        : w(width),
          h(height),
          cw((width + 1) / 2),
          ch(layout == ChromaLayout::Yuv420 ? (height + 1) / 2 : height),
          // Strides wider than the rows, filled with a marker that must survive.
          y(size_t(w + 5) * h, 0xA5),
          u(size_t(cw + 3) * ch, 0xA5),
          v(size_t(cw + 3) * ch, 0xA5) {
        target.layout = layout;
        target.fullRange = full;
        target.planes[0] = y.data();
        target.planes[1] = u.data();
        target.planes[2] = v.data();
        target.strides[0] = w + 5;
        target.strides[1] = target.strides[2] = cw + 3;
    }
    uint8_t Y(int x, int r) const { return y[size_t(r) * (w + 5) + x]; }
    uint8_t U(int x, int r) const { return u[size_t(r) * (cw + 3) + x]; }
    uint8_t V(int x, int r) const { return v[size_t(r) * (cw + 3) + x]; }
};

Planes Convert(const TestFrame& f, ChromaLayout layout, bool full,
               const kv::YuvKernels& kernels = kv::CurrentYuvKernels()) {
    Planes p(f.w, f.h, layout, full);
    kv::ConvertBgraToYuvWith(kernels, f.bits.data(), f.rowBytes, true, f.w, f.h, p.target);
    return p;
}

// A frame of one colour.
TestFrame Flat(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    TestFrame f(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = f.bits.data() + size_t(y) * f.rowBytes + 4 * x;
            p[0] = b, p[1] = g, p[2] = r;
        }
    return f;
}

// BT.601 from the textbook matrix in floating point.
struct Ideal {
    double y, u, v;
};
Ideal Bt601(double r, double g, double b, bool full) {
    const double ey = 0.299 * r + 0.587 * g + 0.114 * b;
    const double eu = (b - ey) / 1.772, ev = (r - ey) / 1.402;
    if (full) return {ey, 128 + eu, 128 + ev};
    return {16 + ey * 219 / 255, 128 + eu * 224 / 255, 128 + ev * 224 / 255};
}

TEST(YuvConvert, MatchesTheBt601MatrixAtBothRanges) {
    const uint8_t colours[][3] = {{0, 0, 0},      {255, 255, 255}, {255, 0, 0},    {0, 255, 0},
                                  {0, 0, 255},    {255, 255, 0},   {0, 255, 255},  {255, 0, 255},
                                  {200, 100, 50}, {12, 34, 250},   {128, 128, 128}};
    for (bool full : {false, true})
        for (const auto& c : colours) {
            const Planes p = Convert(Flat(4, 2, c[0], c[1], c[2]), ChromaLayout::Yuv420, full);
            const Ideal e = Bt601(c[0], c[1], c[2], full);
            const std::string what = std::to_string(c[0]) + "," + std::to_string(c[1]) + "," +
                                     std::to_string(c[2]) + (full ? " full" : " limited");
            EXPECT_NEAR(p.Y(1, 1), e.y, 0.51) << what;
            EXPECT_NEAR(p.U(1, 0), std::clamp(e.u, 0.0, 255.0), 0.51) << what;
            EXPECT_NEAR(p.V(1, 0), std::clamp(e.v, 0.0, 255.0), 0.51) << what;
        }
    // The ends of the ranges exactly.
    EXPECT_EQ(Convert(Flat(2, 2, 0, 0, 0), ChromaLayout::Yuv422, false).Y(0, 0), 16);
    EXPECT_EQ(Convert(Flat(2, 2, 255, 255, 255), ChromaLayout::Yuv422, false).Y(0, 0), 235);
    EXPECT_EQ(Convert(Flat(2, 2, 255, 255, 255), ChromaLayout::Yuv422, true).Y(0, 0), 255);
}

TEST(YuvConvert, GreyHasNoColourAtAnyLevel) {
    for (bool full : {false, true})
        for (int level = 0; level < 256; ++level) {
            const uint8_t l = static_cast<uint8_t>(level);
            // 34 pixels: both kernels' steps and the leftover pixels.
            for (ChromaLayout layout : {ChromaLayout::Yuv420, ChromaLayout::Yuv422}) {
                const Planes p = Convert(Flat(34, 3, l, l, l), layout, full);
                for (int x = 0; x < p.cw; ++x) {
                    ASSERT_EQ(p.U(x, 0), 128) << level;
                    ASSERT_EQ(p.V(x, 0), 128) << level;
                }
            }
        }
}

TEST(YuvConvert, ChromaIsTheMeanOfItsPixelsAndOddEdgesUseTheLastOne) {
    // Columns alternate red and blue, rows alternate bright and dark: each 4:2:2 sample is the
    // colour of a red-blue pair; each 4:2:0 sample mixes two rows as well. 37 x 5: an odd
    // column and an odd row at the edges.
    TestFrame f = Flat(37, 5, 0, 0, 0);
    auto pixel = [&](int x, int yTop) {
        return f.bits.data() + size_t(f.h - 1 - yTop) * f.rowBytes + 4 * x;
    };
    for (int yTop = 0; yTop < f.h; ++yTop)
        for (int x = 0; x < f.w; ++x) {
            uint8_t* p = pixel(x, yTop);
            const uint8_t level = yTop % 2 ? 100 : 220;
            p[2] = x % 2 ? 0 : level;
            p[0] = x % 2 ? level : 0;
        }
    for (bool full : {false, true}) {
        const Planes p422 = Convert(f, ChromaLayout::Yuv422, full);
        const Ideal pair = Bt601(110, 0, 110, full);  // (220, 0, 0) and (0, 0, 220)
        EXPECT_NEAR(p422.U(3, 0), pair.u, 0.51);
        EXPECT_NEAR(p422.V(3, 0), pair.v, 0.51);
        const Ideal lastAlone = Bt601(220, 0, 0, full);  // column 36 is red
        EXPECT_NEAR(p422.U(18, 0), lastAlone.u, 0.51);
        EXPECT_NEAR(p422.V(18, 0), lastAlone.v, 0.51);

        const Planes p420 = Convert(f, ChromaLayout::Yuv420, full);
        const Ideal quad = Bt601(80, 0, 80, full);  // 220, 0, 100, 0 over four pixels
        EXPECT_NEAR(p420.U(5, 0), quad.u, 0.51);
        EXPECT_NEAR(p420.V(5, 0), quad.v, 0.51);
        const Ideal bottomAlone = Bt601(110, 0, 110, full);  // row 4 is bright again
        EXPECT_NEAR(p420.U(5, 2), bottomAlone.u, 0.51);
        const Ideal corner = Bt601(220, 0, 0, full);
        EXPECT_NEAR(p420.V(18, 2), corner.v, 0.51);
    }
}

TEST(YuvConvert, BottomUpRowsComeOutTopRowFirst) {
    const TestFrame f(45, 13, 21, 12);
    std::vector<uint8_t> topDown;
    for (int y = f.h - 1; y >= 0; --y) topDown.insert(topDown.end(), f.Row(y), f.Row(y) + f.w * 4);
    for (ChromaLayout layout : {ChromaLayout::Yuv420, ChromaLayout::Yuv422}) {
        const Planes a = Convert(f, layout, false);
        Planes b(f.w, f.h, layout, false);
        kv::ConvertBgraToYuv(topDown.data(), f.w * 4, false, f.w, f.h, b.target);
        EXPECT_EQ(a.y, b.y);
        EXPECT_EQ(a.u, b.u);
        EXPECT_EQ(a.v, b.v);
        // The first output row is the picture's top: the green ramp's top end.
        EXPECT_GT(a.Y(0, 0), a.Y(0, f.h - 1));
    }
}

TEST(YuvConvert, Avx2KernelsGiveThePortableBytes) {
    const kv::YuvKernels* avx2 = kv::Avx2YuvKernels();
    if (!avx2) GTEST_SKIP() << "no AVX2 kernels in this build or on this processor";
    std::mt19937 rng(2026);
    for (int i = 0; i < 60; ++i) {
        const int w = 1 + static_cast<int>(rng() % 200), h = 1 + static_cast<int>(rng() % 40);
        TestFrame f(w, h, static_cast<uint32_t>(i), static_cast<int>(rng() % 3) * 4);
        // Saturated pixels too, where the clamps act.
        for (size_t k = 0; k < f.bits.size(); k += 4 * 7) f.bits[k] = f.bits[k + 1] = 255;
        for (ChromaLayout layout : {ChromaLayout::Yuv420, ChromaLayout::Yuv422})
            for (bool full : {false, true}) {
                const Planes a = Convert(f, layout, full, kv::PortableYuvKernels());
                const Planes b = Convert(f, layout, full, *avx2);
                ASSERT_EQ(a.y, b.y) << w << "x" << h;
                ASSERT_EQ(a.u, b.u) << w << "x" << h;
                ASSERT_EQ(a.v, b.v) << w << "x" << h;
            }
    }
    EXPECT_EQ(&kv::CurrentYuvKernels(), avx2);
}

TEST(YuvConvert, StaysWithinARoundingOfSwscale) {
    // swscale's BT.601 conversion, as the encoders were fed before, on a smooth frame (its
    // chroma filter sits its samples a little differently, which noise would magnify).
    const int w = 96, h = 64;
    TestFrame f(w, h, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = f.bits.data() + size_t(y) * f.rowBytes + 4 * x;
            p[0] = static_cast<uint8_t>(2 * x);
            p[1] = static_cast<uint8_t>(3 * y);
            p[2] = static_cast<uint8_t>(x + y);
        }
    for (ChromaLayout layout : {ChromaLayout::Yuv420, ChromaLayout::Yuv422})
        for (bool full : {false, true}) {
            const AVPixelFormat fmt = layout == ChromaLayout::Yuv422
                                          ? (full ? AV_PIX_FMT_YUVJ422P : AV_PIX_FMT_YUV422P)
                                          : (full ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P);
            SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, fmt, SWS_BILINEAR,
                                             nullptr, nullptr, nullptr);
            ASSERT_NE(sws, nullptr);
            const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(sws, coefs, 1, coefs, full ? 1 : 0, 0, 1 << 16, 1 << 16);
            Planes theirs(w, h, layout, full);
            const uint8_t* src[4] = {f.Row(h - 1), nullptr, nullptr, nullptr};
            const int srcStride[4] = {-f.rowBytes, 0, 0, 0};
            uint8_t* dst[4] = {theirs.y.data(), theirs.u.data(), theirs.v.data(), nullptr};
            const int dstStride[4] = {w + 5, theirs.cw + 3, theirs.cw + 3, 0};
            ASSERT_EQ(sws_scale(sws, src, srcStride, 0, h, dst, dstStride), h);
            sws_freeContext(sws);
            const Planes ours = Convert(f, layout, full);
            int worstY = 0, worstC = 0;
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x)
                    worstY = std::max(worstY, std::abs(ours.Y(x, r) - theirs.Y(x, r)));
            // Away from the edges, where the filters' borders differ.
            for (int r = 1; r + 1 < ours.ch; ++r)
                for (int x = 1; x + 1 < ours.cw; ++x) {
                    worstC = std::max(worstC, std::abs(ours.U(x, r) - theirs.U(x, r)));
                    worstC = std::max(worstC, std::abs(ours.V(x, r) - theirs.V(x, r)));
                }
            EXPECT_LE(worstY, 1) << (full ? "full " : "limited ") << int(layout);
            EXPECT_LE(worstC, 2) << (full ? "full " : "limited ") << int(layout);
        }
}

TEST(YuvConvert, WritesOnlyThePixelsOfEachRow) {
    const TestFrame f(19, 7, 8);
    const Planes p = Convert(f, ChromaLayout::Yuv420, true);
    for (int r = 0; r < p.h; ++r)
        for (int x = p.w; x < p.w + 5; ++x) ASSERT_EQ(p.y[size_t(r) * (p.w + 5) + x], 0xA5);
    for (int r = 0; r < p.ch; ++r)
        for (int x = p.cw; x < p.cw + 3; ++x) {
            ASSERT_EQ(p.u[size_t(r) * (p.cw + 3) + x], 0xA5);
            ASSERT_EQ(p.v[size_t(r) * (p.cw + 3) + x], 0xA5);
        }
}

}  // namespace
