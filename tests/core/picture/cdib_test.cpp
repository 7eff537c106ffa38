// CDIB: allocation rules, strides, and BMP/Targa files checked byte by byte and read back by
// ImageMagick.
#include "core/picture/cdib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "../../test_support.h"

namespace kv {
namespace {

uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint32_t Le16(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}

// Fills every pixel of a 24/32-bit image with a pattern that differs per row and column.
void Pattern(CDIB& img) {
    const int bpp = img.BitCount() / 8;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            uint8_t* p = img.Row(y) + x * bpp;
            p[0] = static_cast<uint8_t>(10 * x);     // blue
            p[1] = static_cast<uint8_t>(20 * y);     // green
            p[2] = static_cast<uint8_t>(7 * x + y);  // red
            if (bpp == 4) p[3] = static_cast<uint8_t>(255 - x);
        }
}

TEST(CDIB, CreateLimitsAndKeepingPixels) {
    CDIB img(16, 16, 8);
    EXPECT_EQ(img.Width(), 16);
    EXPECT_EQ(img.Info()->header.biXPelsPerMeter, 1600);
    EXPECT_EQ(img.ColorTable()[200].red, 200);  // grey ramp
    EXPECT_EQ(img.ColorTable()[200].reserved, 0);
    EXPECT_TRUE(img.Create(65535, 1, 24));
    EXPECT_FALSE(img.Create(65536, 1, 24));
    EXPECT_FALSE(img.Create(1, 65536, 24));
    EXPECT_FALSE(img.Create(10, 0, 24));
    EXPECT_FALSE(img.Create(10, -5, 24));
    EXPECT_EQ(img.Width(), 65535);  // a refused Create leaves the image as it was
    EXPECT_EQ(img.RowBytes(), 65535 * 3 + 3);
    ASSERT_TRUE(img.Create(5, 3, 24));
    img.Row(1)[4] = 99;
    EXPECT_TRUE(img.Create(5, 3, 24));  // same size and depth: pixels stay
    EXPECT_EQ(img.Row(1)[4], 99);
    EXPECT_TRUE(img.Create(5, 3, 32));  // any difference: a black image
    EXPECT_EQ(img.Row(1)[4], 0);
    EXPECT_EQ(img.ColorTable() == nullptr, false);
    EXPECT_EQ(ColorTableEntries(32), 0);
}

TEST(CDIB, StridesAndRowCopies) {
    EXPECT_EQ(StrideFor(1, 24), 4);
    EXPECT_EQ(StrideFor(3, 24), 12);
    EXPECT_EQ(StrideFor(5, 24), 16);
    EXPECT_EQ(StrideFor(3, 8), 4);
    EXPECT_EQ(StrideFor(3, 16), 8);
    CDIB img(5, 2, 24);
    EXPECT_EQ(img.RowBytes(), 16);
    uint8_t row[16];
    for (int i = 0; i < 16; ++i) row[i] = static_cast<uint8_t>(i + 1);
    img.CopyRowIn(1, row);
    uint8_t out[20];
    std::memset(out, 0xEE, sizeof out);
    img.CopyRowOut(1, out, 6);
    EXPECT_EQ(out[5], 6);
    EXPECT_EQ(out[6], 0xEE);  // never more than maxBytes
    CDIB copy(1, 1, 8);
    ASSERT_TRUE(img.CopyTo(&copy, true));
    EXPECT_EQ(copy.Width(), 5);
    EXPECT_EQ(std::memcmp(copy.Row(1), row, 16), 0);
    EXPECT_FALSE(img.CopyTo(nullptr, true));
}

TEST(CDIB, TargaHeaderAndRows) {
    const std::string dir = kvtest::TempDir("cdib");
    for (int bits : {24, 32}) {
        CDIB img(3, 2, bits);
        Pattern(img);
        FileSpec fileSpec;
        std::string path = dir + "/img" + std::to_string(bits) + ".tga";
        fileSpec.SetPath(path.c_str());
        ASSERT_TRUE(img.Save(fileSpec, FormatBmp));  // ".tga" in the path wins over the format
        const std::string b = kvtest::ReadFileBytes(path);
        const int bpp = bits / 8;
        ASSERT_EQ(b.size(), 18u + 3 * 2 * bpp);  // rows without padding
        EXPECT_EQ(b[2], 2);
        EXPECT_EQ(Le16(b, 12), 3u);
        EXPECT_EQ(Le16(b, 14), 2u);
        EXPECT_EQ(static_cast<uint8_t>(b[16]), bits);
        EXPECT_EQ(static_cast<uint8_t>(b[17]), bits == 32 ? 8 : 0);
        EXPECT_EQ(std::memcmp(b.data() + 18, img.Row(0), 3 * bpp), 0);  // bottom row first
        EXPECT_EQ(std::memcmp(b.data() + 18 + 3 * bpp, img.Row(1), 3 * bpp), 0);
    }
}

TEST(CDIB, BmpHeaders) {
    const std::string dir = kvtest::TempDir("cdib");
    CDIB img(3, 2, 32);
    FileSpec fileSpec;
    fileSpec.SetPath((dir + "/a.bmp").c_str());
    ASSERT_TRUE(img.Save(fileSpec, FormatBmp));
    std::string b = kvtest::ReadFileBytes(fileSpec.path);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(Le32(b, 2), 54u + 4 * 3 * 2);
    EXPECT_EQ(Le32(b, 10), 54u);
    EXPECT_EQ(Le32(b, 14), 40u);
    EXPECT_EQ(b.size(), 54u + 24);

    CDIB grey(3, 2, 8);
    fileSpec.SetPath((dir + "/g.bmp").c_str());
    ASSERT_TRUE(grey.Save(fileSpec, FormatBmp));
    b = kvtest::ReadFileBytes(fileSpec.path);
    EXPECT_EQ(Le32(b, 10), 1078u);
    EXPECT_EQ(Le32(b, 2), 1078u + 2 * 4);
    EXPECT_EQ(static_cast<uint8_t>(b[54 + 4 * 77]), 77);  // colour table before the rows

    // Format 2 writes nothing; an unopenable path alerts and fails.
    fileSpec.SetPath((dir + "/none.bin").c_str());
    ASSERT_TRUE(grey.Save(fileSpec, FormatNone));
    EXPECT_EQ(kvtest::ReadFileBytes(fileSpec.path).size(), 0u);
    kvtest::AlertRecorder rec;
    fileSpec.SetPath((dir + "/no/such/folder/x.bmp").c_str());
    EXPECT_FALSE(grey.Save(fileSpec, FormatBmp));
    ASSERT_EQ(rec.texts.size(), 1u);
    EXPECT_EQ(rec.texts[0], "Error opening graphics file");
    CDIB empty(0, 0, 24);
    EXPECT_TRUE(empty.Empty());
    EXPECT_FALSE(empty.Save(fileSpec, FormatBmp));
    EXPECT_EQ(empty.Width(), 0);
    EXPECT_EQ(empty.Row(0), nullptr);
}

// ImageMagick reads our files back with the right size, depth and pixels.
TEST(CDIB, ImageMagickReadsBmpAndTarga) {
    if (kvtest::Run("command -v convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick missing";
    const std::string dir = kvtest::TempDir("cdib");
    for (const char* ext : {"bmp", "tga"}) {
        for (int bits : {24, 32}) {
            CDIB img(5, 3, bits);
            Pattern(img);
            FileSpec fileSpec;
            std::string path = dir + "/m" + std::to_string(bits) + "." + ext;
            fileSpec.SetPath(path.c_str());
            ASSERT_TRUE(img.Save(fileSpec, FormatBmp));
            std::string out;
            ASSERT_EQ(kvtest::Run("identify -format '%w %h %z\\n' '" + path + "'", &out), 0);
            EXPECT_EQ(out, "5 3 8\n") << path;
            // The top-left pixel in ImageMagick's view is our top row (row 2), column 0;
            // (4, 2) from the top is our row 0, column 4.
            ASSERT_EQ(kvtest::Run("convert '" + path +
                                      "' -auto-orient -alpha off -depth 8 rgb:- | od -An -v -tu1",
                                  &out),
                      0);
            std::vector<int> rgb;
            for (size_t i = 0; i < out.size();) {
                while (i < out.size() && (out[i] == ' ' || out[i] == '\n')) ++i;
                if (i >= out.size()) break;
                rgb.push_back(std::atoi(out.c_str() + i));
                while (i < out.size() && out[i] != ' ' && out[i] != '\n') ++i;
            }
            ASSERT_EQ(rgb.size(), 5u * 3 * 3) << path;
            for (int row = 0; row < 3; ++row)
                for (int x = 0; x < 5; ++x) {
                    const uint8_t* p = img.Row(2 - row) + x * (bits / 8);
                    const size_t at = (row * 5 + x) * 3;
                    EXPECT_EQ(rgb[at], p[2]) << path << " " << x << "," << row;
                    EXPECT_EQ(rgb[at + 1], p[1]);
                    EXPECT_EQ(rgb[at + 2], p[0]);
                }
        }
    }
}

TEST(CDIB, FreshPixelsAreZeroAndAlignedAfterDirtyOnes) {
    // Sizes below and far above the C library's threshold for blocks of their own; each
    // allocation follows a freed block of the same size that was filled, so a reused block
    // must still come back cleared.
    for (const int side : {3, 64, 700, 3000}) {
        for (int round = 0; round < 2; ++round) {
            CDIB d(side, side / 2 + 1, 32);
            ASSERT_FALSE(d.Empty());
            EXPECT_EQ(reinterpret_cast<uintptr_t>(d.Bits()) % 64, 0u) << side;
            const size_t bytes = size_t(d.RowBytes()) * d.Height();
            size_t nonZero = 0;
            for (size_t i = 0; i < bytes; ++i) nonZero += d.Bits()[i] != 0;
            EXPECT_EQ(nonZero, 0u) << side << " round " << round;
            std::memset(d.Bits(), 0xC3, bytes);
        }
    }
    // Recreating at another size clears as well.
    CDIB d(500, 400, 24);
    std::memset(d.Bits(), 0x7E, size_t(d.RowBytes()) * d.Height());
    ASSERT_TRUE(d.Create(400, 500, 24));
    EXPECT_EQ(d.Bits()[0], 0);
    EXPECT_EQ(d.Bits()[size_t(d.RowBytes()) * d.Height() - 1], 0);
}

}  // namespace
}  // namespace kv
