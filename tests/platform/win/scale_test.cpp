// The display's scale factor: its three sources in order, rounding to quarters, values that are
// no number, the X resource text, and the mapping between logical and device pixels.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/win/scale.h"

using namespace kv;

TEST(Scale, SourcesTakeTurnsInOrder) {
    const char* res = "Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n";
    EXPECT_EQ(ChooseScale("2", "3", res), 2.0);      // the program's own beats the rest
    EXPECT_EQ(ChooseScale(nullptr, "3", res), 3.0);  // the toolkit's beats the resources
    EXPECT_EQ(ChooseScale(nullptr, nullptr, res), 1.5);
    EXPECT_EQ(ChooseScale(nullptr, nullptr, nullptr), 1.0);
    EXPECT_EQ(ChooseScale(nullptr, nullptr, ""), 1.0);
    EXPECT_EQ(ChooseScale(nullptr, nullptr, "Xft.dpi:\t192\n"), 2.0);
    EXPECT_EQ(ChooseScale(nullptr, nullptr, "Xft.dpi:\t96\n"), 1.0);
}

TEST(Scale, ValuesThatAreNoNumberPassToTheNextSource) {
    const char* res = "Xft.dpi:\t192\n";
    for (const char* bad : {"", " ", "abc", "2x", "-2", "0", "0.0", "nan", "inf", "0x2", "1e1",
                            "1,5", "2 3", "--1"}) {
        EXPECT_EQ(ChooseScale(bad, "1.5", res), 1.5) << "KINEVISTA_SCALE=" << bad;
        EXPECT_EQ(ChooseScale(bad, bad, res), 2.0) << "both " << bad;
        EXPECT_EQ(ChooseScale(bad, bad, nullptr), 1.0) << "all " << bad;
    }
    EXPECT_EQ(ChooseScale(nullptr, nullptr, "Xft.dpi:\tlarge\n"), 1.0);
    EXPECT_EQ(ChooseScale(nullptr, nullptr, "Xft.dpi:\t-144\n"), 1.0);
    EXPECT_EQ(ChooseScale(" 2 ", nullptr, nullptr), 2.0);  // spaces round a number are fine
}

TEST(Scale, RoundsToQuartersWithinOneToThree) {
    EXPECT_EQ(RoundScale(1.0), 1.0);
    EXPECT_EQ(RoundScale(1.1), 1.0);
    EXPECT_EQ(RoundScale(1.13), 1.25);
    EXPECT_EQ(RoundScale(1.4), 1.5);
    EXPECT_EQ(RoundScale(1.8), 1.75);
    EXPECT_EQ(RoundScale(2.9), 3.0);
    EXPECT_EQ(RoundScale(0.5), 1.0);  // never smaller than the logical pixel
    EXPECT_EQ(RoundScale(4.0), 3.0);  // nor larger than three
    EXPECT_EQ(RoundScale(100.0), 3.0);
    EXPECT_EQ(ChooseScale("0.25", nullptr, nullptr), 1.0);
    EXPECT_EQ(ChooseScale("8", nullptr, nullptr), 3.0);
    // Common screen densities over 96.
    EXPECT_EQ(ChooseScale(nullptr, nullptr, "Xft.dpi: 120\n"), 1.25);
    EXPECT_EQ(ChooseScale(nullptr, nullptr, "Xft.dpi: 168\n"), 1.75);
    EXPECT_EQ(ChooseScale(nullptr, nullptr, "Xft.dpi: 288\n"), 3.0);
    EXPECT_EQ(ChooseScale(nullptr, nullptr, "Xft.dpi: 384\n"), 3.0);
}

TEST(Scale, ReadsXftDpiFromTheResourceText) {
    EXPECT_EQ(XftDpiOf("Xft.dpi:\t144"), 144.0);  // no newline at the end
    EXPECT_EQ(XftDpiOf("*background:\tgrey\nXft.dpi:   120.5\n"), 120.5);
    EXPECT_EQ(XftDpiOf("Xft.dpi:\t96\nXft.dpi:\t192\n"), 192.0);  // the last one counts
    EXPECT_FALSE(XftDpiOf("").has_value());
    EXPECT_FALSE(XftDpiOf("Xft.dpix:\t144\n").has_value());
    EXPECT_FALSE(XftDpiOf("MyXft.dpi:\t144\n").has_value());
    EXPECT_FALSE(XftDpiOf("Xft.dpi 144\n").has_value());
    EXPECT_FALSE(XftDpiOf("Xft.hinting:\t1\n").has_value());
    EXPECT_FALSE(XftDpiOf("Xft.dpi:\n").has_value());
}

TEST(Scale, DevicePixelsMapBackToTheirLogicalPixel) {
    for (double f : {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0}) {
        for (int x = -50; x <= 4000; ++x) {
            ASSERT_EQ(ToLogical(ToDevice(x, f), f), x) << "factor " << f;
            // Every device pixel belongs to exactly the logical pixel whose span holds it.
            const int d = ToDevice(x, f), next = ToDevice(x + 1, f);
            ASSERT_GT(next, d) << "factor " << f << " at " << x;
            ASSERT_EQ(ToLogical(next - 1, f), x) << "factor " << f << " at " << x;
        }
    }
    EXPECT_EQ(ToDevice(100, 1.5), 150);
    EXPECT_EQ(ToDevice(1280, 2.0), 2560);
}

TEST(Scale, NearestEnlargementReplicatesPixelsWithoutBlending) {
    const std::vector<uint32_t> src{0x000000, 0xFFFFFF,  //
                                    0xFF0000, 0x0000FF};
    const std::vector<uint32_t> two = ScaleNearest(src.data(), 2, 2, 4, 4);
    const std::vector<uint32_t> want{0x000000, 0x000000, 0xFFFFFF, 0xFFFFFF,  //
                                     0x000000, 0x000000, 0xFFFFFF, 0xFFFFFF,  //
                                     0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF,  //
                                     0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF};
    EXPECT_EQ(two, want);

    // At 1.5 every output pixel is one of the source's, and each source pixel shows.
    std::vector<uint32_t> grid(40 * 30);
    for (size_t i = 0; i < grid.size(); ++i) grid[i] = static_cast<uint32_t>(i * 2654435761u);
    const std::vector<uint32_t> big = ScaleNearest(grid.data(), 40, 30, 60, 45);
    ASSERT_EQ(big.size(), 60u * 45u);
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(big[static_cast<size_t>(y) * 60 + x],
                      grid[static_cast<size_t>(ToLogical(y, 1.5)) * 40 + ToLogical(x, 1.5)])
                << x << "," << y;

    // The same size is a copy; nothing in, nothing out.
    EXPECT_EQ(ScaleNearest(grid.data(), 40, 30, 40, 30), grid);
    EXPECT_TRUE(ScaleNearest(nullptr, 2, 2, 4, 4).empty());
    EXPECT_TRUE(ScaleNearest(src.data(), 2, 2, 0, 4).empty());
}

// Enlarging a box of logical pixels writes exactly the device pixels that show them, with the
// values the whole enlargement has there, at whole and fractional factors and odd offsets.
TEST(Scale, EnlargingABoxWritesOnlyTheDevicePixelsShowingIt) {
    const int sw = 37, sh = 23;
    // Each pixel names its own column and row.
    std::vector<uint32_t> grid(static_cast<size_t>(sw) * sh);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x)
            grid[static_cast<size_t>(y) * sw + x] = 0x80000000u | static_cast<uint32_t>(y << 8 | x);
    for (double f : {2.0, 1.5, 1.25, 3.0}) {
        const int dw = ToDevice(5 + sw, f) - ToDevice(5, f);  // a window at an odd place
        const int dh = ToDevice(3 + sh, f) - ToDevice(3, f);
        const std::vector<uint32_t> whole = ScaleNearest(grid.data(), sw, sh, dw, dh);
        for (const auto& [x0, y0, x1, y1] :
             {std::array<int, 4>{0, 0, sw, sh}, std::array<int, 4>{3, 1, 4, 2},
              std::array<int, 4>{7, 5, 30, 22}, std::array<int, 4>{-4, -2, 50, 9}}) {
            std::vector<uint32_t> out(static_cast<size_t>(dw) * dh, 0);
            ScaleNearestInto(grid.data(), sw, sh, out.data(), dw, dh, x0, y0, x1, y1);
            const int ax = DeviceStart(x0, sw, dw), bx = DeviceStart(x1, sw, dw);
            const int ay = DeviceStart(y0, sh, dh), by = DeviceStart(y1, sh, dh);
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x) {
                    const size_t i = static_cast<size_t>(y) * dw + x;
                    const int lx = static_cast<int>(whole[i] & 0xFF);
                    const int ly = static_cast<int>((whole[i] >> 8) & 0xFF);
                    const bool shows = lx >= x0 && lx < x1 && ly >= y0 && ly < y1;
                    ASSERT_EQ(out[i], shows ? whole[i] : 0u)
                        << "factor " << f << ", box from " << x0 << "," << y0 << ", at " << x << ","
                        << y;
                    ASSERT_EQ(shows, x >= ax && x < bx && y >= ay && y < by)
                        << "factor " << f << ", box from " << x0 << "," << y0 << ", at " << x << ","
                        << y;
                }
        }
    }
}
