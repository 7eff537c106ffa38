// What the reader fixtures hold (tests/fixtures/pictures, made by make_fixtures.sh): one 7 x 5
// picture whose channels follow simple formulas of the pixel position, x from the left and y
// from the top. make_fixtures.sh checks with ImageMagick that each file holds these values.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/base/records.h"
#include "core/picture/cdib.h"

namespace kvtest {

constexpr int FixtureWidth = 7;
constexpr int FixtureHeight = 5;

inline uint8_t FixRed(int x, int) {
    return static_cast<uint8_t>(10 + 30 * x);
}
inline uint8_t FixGreen(int, int y) {
    return static_cast<uint8_t>(20 + 40 * y);
}
inline uint8_t FixBlue(int x, int y) {
    return static_cast<uint8_t>((17 * x * y + 5) % 256);
}
inline uint8_t FixAlpha(int x, int y) {
    return static_cast<uint8_t>(255 - 20 * x - 5 * y);
}
inline uint8_t FixGrey(int x, int y) {
    return static_cast<uint8_t>(12 + 7 * x + 40 * y);
}

inline std::string FixturePath(const std::string& name) {
    return std::string(KV_FIXTURES) + "/pictures/" + name;
}

inline kv::FileSpec SpecOf(const std::string& path) {
    kv::FileSpec s;
    s.SetPath(path.c_str());
    return s;
}

// Pixel (x, y) of an image, y counted from the top as in the fixtures.
inline const uint8_t* PixelAt(const kv::CDIB& image, int x, int y) {
    return image.Row(image.Height() - 1 - y) + x * (image.BitCount() / 8);
}

// Every pixel holds the formula colours (and the formula alpha when `alpha`).
inline void ExpectFormulaPixels(const kv::CDIB& image, bool alpha) {
    ASSERT_EQ(image.Width(), FixtureWidth);
    ASSERT_EQ(image.Height(), FixtureHeight);
    ASSERT_GE(image.BitCount(), 24);
    for (int y = 0; y < FixtureHeight; ++y) {
        for (int x = 0; x < FixtureWidth; ++x) {
            const uint8_t* p = PixelAt(image, x, y);
            EXPECT_EQ(p[0], FixBlue(x, y)) << "blue at " << x << "," << y;
            EXPECT_EQ(p[1], FixGreen(x, y)) << "green at " << x << "," << y;
            EXPECT_EQ(p[2], FixRed(x, y)) << "red at " << x << "," << y;
            if (alpha) {
                EXPECT_EQ(p[3], FixAlpha(x, y)) << "alpha at " << x << "," << y;
            }
        }
    }
}

// Every pixel is the formula grey in its blue, green and red bytes.
inline void ExpectGreyPixels(const kv::CDIB& image) {
    ASSERT_EQ(image.Width(), FixtureWidth);
    ASSERT_EQ(image.Height(), FixtureHeight);
    ASSERT_EQ(image.BitCount(), 24);
    for (int y = 0; y < FixtureHeight; ++y)
        for (int x = 0; x < FixtureWidth; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(PixelAt(image, x, y)[c], FixGrey(x, y)) << x << "," << y;
}

}  // namespace kvtest
