// The readers over libtiff, libheif and libwebp, EXIF orientation and ICC profiles. Fixtures are
// made in the test run with ImageMagick, tiffcp, cwebp and heif-enc from pictures written here,
// and compared with ImageMagick's own decode of the same file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "platform/codecs/more_codecs.h"
#include "tests/core/picture/more_fixtures.h"
#include "tests/test_support.h"

namespace {

using kvtest::Rgba;

// Every pixel of the image against ImageMagick's decode, within `tolerance` per channel; alpha
// is compared for 32-bit images.
void ExpectMatches(const kv::CDIB& image, const Rgba& want, int tolerance) {
    ASSERT_EQ(image.Width(), want.width);
    ASSERT_EQ(image.Height(), want.height);
    int worst = 0, wx = 0, wy = 0;
    for (int y = 0; y < want.height; ++y) {
        for (int x = 0; x < want.width; ++x) {
            const uint8_t* w = want.At(x, y);
            int got[4];
            kvtest::PixelOf(image, x, y, got);
            for (int c = 0; c < (image.BitCount() == 32 ? 4 : 3); ++c) {
                const int d = std::abs(got[c] - w[c]);
                if (d > worst) worst = d, wx = x, wy = y;
            }
        }
    }
    EXPECT_LE(worst, tolerance) << "largest difference at " << wx << "," << wy;
}

struct Fixture {
    const char* name;
    const char* command;  // {dir} is the work folder; s.ppm, s16.ppm, s.png, sa.png are there
    int bitCount;
    int tolerance;
};

class MoreFormats : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kv::MoreCodecsPresent()) GTEST_SKIP() << "built without the further decoders";
        dir_ = kvtest::TempDir("more_formats");
        kvtest::WriteSourcePictures(dir_);
    }
    std::string dir_;
};

TEST_F(MoreFormats, TiffVariantsMatchImageMagick) {
    const Fixture fixtures[] = {
        {"lzw.tif", "convert {dir}/s.ppm -compress lzw {out}", 24, 0},
        {"zip16.tif", "convert {dir}/s16.ppm -depth 16 -compress zip {out}", 24, 0},
        {"raw16.tif", "convert {dir}/s16.ppm -depth 16 -compress none {out}", 24, 0},
        {"tiles.tif",
         "convert {dir}/s.ppm -compress lzw {dir}/t.tif && "
         "tiffcp -t -w 16 -l 16 {dir}/t.tif {out}",
         24, 0},
        {"tiles16planar.tif",
         "convert {dir}/s16.ppm -depth 16 -interlace plane "
         "-compress none {dir}/t16.tif && "
         "tiffcp -t -w 16 -l 16 -c zip {dir}/t16.tif {out}",
         24, 0},
        {"planar.tif",
         "convert {dir}/s.ppm -compress none {dir}/p.tif && "
         "tiffcp -p separate {dir}/p.tif {out}",
         24, 0},
        {"grey16.tif", "convert {dir}/s16.ppm -colorspace gray -depth 16 -compress lzw {out}", 8,
         0},
        {"rgba.tif", "convert {dir}/sa.png -compress lzw {out}", 32, 0},
        {"cmyk.tif", "convert {dir}/s.ppm -colorspace cmyk -compress lzw {out}", 24, 1},
        {"jpeg.tif", "convert {dir}/s.ppm -compress jpeg -quality 95 {out}", 24, 3},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        const std::string out = dir_ + "/" + f.name;
        ASSERT_EQ(kvtest::Run(kvtest::Expand(f.command, dir_, out)), 0);
        kv::CDIB image(16, 16, 8);
        ASSERT_EQ(kvtest::LoadPicture(image, out, false), 1);
        EXPECT_EQ(image.BitCount(), f.bitCount);
        ExpectMatches(image, kvtest::MagickDecode(out), f.tolerance);
    }
}

TEST_F(MoreFormats, SixteenBitSamplesAreRoundedNotCut) {
    // Rounded against cut (the high byte): 0x01FF gives 2 (not 1), 0xFE00 253 (not 254), 0x00C0
    // 1 (not 0), 0x8000 128, 0x007F 0, 0xFFFF 255.
    const std::string ppm = dir_ + "/r16.ppm", tif = dir_ + "/r16.tif";
    kvtest::WriteFileBytes(ppm,
                           std::string("P6 2 1 65535\n") +
                               std::string("\x01\xFF\xFE\x00\x00\xC0\x80\x00\x00\x7F\xFF\xFF", 12));
    ASSERT_EQ(kvtest::Run("convert " + ppm + " -depth 16 -compress lzw " + tif), 0);
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(kvtest::LoadPicture(image, tif, false), 1);
    int p[4];
    kvtest::PixelOf(image, 0, 0, p);
    EXPECT_EQ(p[0], 2);    // red 0x01FF
    EXPECT_EQ(p[1], 253);  // green 0xFE00
    EXPECT_EQ(p[2], 1);    // blue 0x00C0
    kvtest::PixelOf(image, 1, 0, p);
    EXPECT_EQ(p[0], 128);  // 0x8000
    EXPECT_EQ(p[1], 0);    // 0x007F
    EXPECT_EQ(p[2], 255);  // 0xFFFF
}

TEST_F(MoreFormats, PlainTiffsStayOnTheOwnReader) {
    const std::string rgb = dir_ + "/plain.tif", grey = dir_ + "/plaingrey.tif",
                      lzw = dir_ + "/notplain.tif", wide = dir_ + "/wide.tif";
    ASSERT_EQ(kvtest::Run("convert " + dir_ + "/s.ppm -compress none " + rgb), 0);
    ASSERT_EQ(kvtest::Run("convert " + dir_ + "/s.ppm -colorspace gray -compress none " + grey), 0);
    ASSERT_EQ(kvtest::Run("convert " + dir_ + "/s.ppm -compress lzw " + lzw), 0);
    ASSERT_EQ(kvtest::Run("convert " + dir_ + "/s16.ppm -depth 16 -compress none " + wide), 0);
    EXPECT_TRUE(kv::TiffSuitsPlainReader(rgb.c_str()));
    EXPECT_TRUE(kv::TiffSuitsPlainReader(grey.c_str()));
    EXPECT_FALSE(kv::TiffSuitsPlainReader(lzw.c_str()));
    EXPECT_FALSE(kv::TiffSuitsPlainReader(wide.c_str()));
    // Through the own reader they still give ImageMagick's pixels.
    for (const std::string& path : {rgb, grey}) {
        kv::CDIB image(16, 16, 8);
        ASSERT_EQ(kvtest::LoadPicture(image, path, false), 1);
        ExpectMatches(image, kvtest::MagickDecode(path), 0);
    }
}

TEST_F(MoreFormats, UncompressedCmykAndPaletteTiffsAreNoLongerMisread) {
    // The own reader took CMYK's four samples for red, green, blue and alpha, and a palette
    // picture's indices for grey levels.
    const Fixture fixtures[] = {
        {"cmyk_plain.tif", "convert {dir}/s.ppm -colorspace cmyk -compress none {out}", 24, 1},
        {"palette.tif", "convert {dir}/s.ppm -colors 200 -type palette -compress none {out}", 24,
         0},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        const std::string out = dir_ + "/" + f.name;
        ASSERT_EQ(kvtest::Run(kvtest::Expand(f.command, dir_, out)), 0);
        EXPECT_FALSE(kv::TiffSuitsPlainReader(out.c_str()));
        kv::CDIB image(16, 16, 8);
        ASSERT_EQ(kvtest::LoadPicture(image, out, false), 1);
        EXPECT_EQ(image.BitCount(), f.bitCount);
        ExpectMatches(image, kvtest::MagickDecode(out), f.tolerance);
    }
}

TEST_F(MoreFormats, WebpHeicAndAvifMatchImageMagick) {
    const Fixture fixtures[] = {
        {"lossless.webp", "cwebp -quiet -lossless {dir}/s.png -o {out}", 24, 0},
        {"alpha.webp", "cwebp -quiet -lossless -exact {dir}/sa.png -o {out}", 32, 0},
        {"lossy.webp", "cwebp -quiet -q 90 {dir}/m.png -o {out}", 24, 2},
        {"picture.heic", "heif-enc -q 90 {dir}/m.png -o {out} >/dev/null", 24, 2},
        {"picture.avif", "heif-enc -A -q 90 {dir}/m.png -o {out} >/dev/null", 24, 2},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        const std::string out = dir_ + "/" + f.name;
        ASSERT_EQ(kvtest::Run(kvtest::Expand(f.command, dir_, out)), 0);
        kv::CDIB image(16, 16, 8);
        ASSERT_EQ(kvtest::LoadPicture(image, out, false), 1);
        EXPECT_EQ(image.BitCount(), f.bitCount);
        ExpectMatches(image, kvtest::MagickDecode(out), f.tolerance);
    }
}

TEST_F(MoreFormats, TiffOrientationsLoadUpright) {
    kvtest::Rgba grey = kvtest::TestPattern(6, 4);
    for (size_t i = 0; i < grey.pixels.size(); i += 4)
        grey.pixels[i + 1] = grey.pixels[i + 2] = grey.pixels[i];
    // RGB and 8-bit grey pictures, uncompressed (the own reader) and LZW (libtiff).
    const struct {
        kvtest::Rgba upright;
        const char* options;
        int bitCount;
    } kinds[] = {{kvtest::TestPattern(6, 4), "", 24}, {grey, "-colorspace gray ", 8}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.bitCount);
        for (int o = 1; o <= 8; ++o) {
            SCOPED_TRACE("orientation " + std::to_string(o));
            const kvtest::Rgba stored = kvtest::StoredFor(kind.upright, o);
            const std::string ppm = dir_ + "/o.ppm";
            kvtest::WritePpm(ppm, stored);
            for (const char* compress : {"none", "lzw"}) {
                SCOPED_TRACE(compress);
                const std::string tif = dir_ + "/o" + std::to_string(o) + compress + ".tif";
                ASSERT_EQ(
                    kvtest::Run("convert " + ppm + " " + kind.options + "-compress " + compress +
                                " " + tif + " && tiffset -s 274 " + std::to_string(o) + " " + tif),
                    0);
                kv::CDIB image(16, 16, 8);
                ASSERT_EQ(kvtest::LoadPicture(image, tif, true), 1);
                EXPECT_EQ(image.BitCount(), kind.bitCount);
                ExpectMatches(image, kind.upright, 0);
                ASSERT_EQ(kvtest::LoadPicture(image, tif, false), 1);
                ExpectMatches(image, stored, 0);
            }
        }
    }
}

TEST_F(MoreFormats, QuarterTurnsWhileDecodingInEveryTiffLayout) {
    // 75 x 70: more rows than a band of the turn holds, tiles that overhang both edges, planes
    // read one after the other, 16-bit samples and associated alpha read back for a second pass.
    const kvtest::Rgba upright = kvtest::TestPattern(75, 70);
    const char* layouts[] = {"-c lzw -r 7", "-c zip -t -w 32 -l 48", "-c lzw -p separate -r 9",
                             "-c none -t -w 16 -l 16 -p separate"};
    for (int o = 5; o <= 8; ++o) {
        SCOPED_TRACE("orientation " + std::to_string(o));
        const kvtest::Rgba stored = kvtest::StoredFor(upright, o);
        kvtest::WritePpm(dir_ + "/t.ppm", stored);
        ASSERT_EQ(kvtest::Run("convert " + dir_ + "/t.ppm -compress none " + dir_ + "/t.tif"), 0);
        for (const char* layout : layouts) {
            SCOPED_TRACE(layout);
            const std::string tif = dir_ + "/turned.tif";
            ASSERT_EQ(kvtest::Run("tiffcp " + std::string(layout) + " " + dir_ + "/t.tif " + tif +
                                  " && tiffset -s 274 " + std::to_string(o) + " " + tif),
                      0);
            kv::CDIB image(16, 16, 8);
            ASSERT_EQ(kvtest::LoadPicture(image, tif, true), 1);
            ExpectMatches(image, upright, 0);
        }
        // CMYK, converted row by row, in tiles.
        const std::string cmyk = dir_ + "/turned-cmyk.tif";
        ASSERT_EQ(kvtest::Run("convert " + dir_ + "/t.ppm -colorspace CMYK " + dir_ +
                              "/c.tif && tiffcp -c lzw -t -w 16 -l 32 " + dir_ + "/c.tif " + cmyk +
                              " && tiffset -s 274 " + std::to_string(o) + " " + cmyk),
                  0);
        kv::CDIB turned(16, 16, 8), plain(16, 16, 8);
        ASSERT_EQ(kvtest::LoadPicture(turned, cmyk, true), 1);
        ASSERT_EQ(kvtest::LoadPicture(plain, cmyk, false), 1);
        ASSERT_EQ(turned.Width(), plain.Height());
        ASSERT_EQ(kv::ApplyOrientation(plain, o), true);
        ASSERT_EQ(plain.Width(), turned.Width());
        for (int y = 0; y < turned.Height(); ++y)
            ASSERT_EQ(
                std::memcmp(turned.Row(y), plain.Row(y), static_cast<size_t>(turned.Width()) * 3),
                0)
                << "row " << y;
    }
}

TEST_F(MoreFormats, JpegOrientationsLoadUpright) {
    // Flat 16 x 16 blocks keep the JPEG error small at the blocks' centres.
    const kvtest::Rgba upright = kvtest::BlockPattern(3, 2, 16);
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE("orientation " + std::to_string(o));
        const kvtest::Rgba stored = kvtest::StoredFor(upright, o);
        const std::string ppm = dir_ + "/j.ppm", jpg = dir_ + "/j" + std::to_string(o) + ".jpg";
        kvtest::WritePpm(ppm, stored);
        ASSERT_EQ(kvtest::Run("convert " + ppm + " -quality 98 -sampling-factor 1x1 " + jpg), 0);
        ASSERT_TRUE(kvtest::AddExifOrientation(jpg, o));
        kv::CDIB image(16, 16, 8);
        ASSERT_EQ(kvtest::LoadPicture(image, jpg, true), 1);
        kvtest::ExpectBlockCentres(image, upright, 16, 4);
        // Turned while decoding, it equals the stored picture turned afterwards, to the byte.
        kv::CDIB after(16, 16, 8);
        ASSERT_EQ(kvtest::LoadPicture(after, jpg, false), 1);
        ASSERT_TRUE(kv::ApplyOrientation(after, o));
        ASSERT_EQ(after.Width(), image.Width());
        for (int y = 0; y < image.Height(); ++y)
            ASSERT_EQ(
                std::memcmp(after.Row(y), image.Row(y), static_cast<size_t>(image.Width()) * 3), 0)
                << "row " << y;
        ASSERT_EQ(kvtest::LoadPicture(image, jpg, false), 1);
        kvtest::ExpectBlockCentres(image, stored, 16, 4);
    }
}

TEST_F(MoreFormats, DisplayP3ProfileConvertsBackToSrgb) {
    const kvtest::Rgba original = kvtest::SmoothPattern(40, 30);
    std::vector<uint8_t> profile;
    const kvtest::Rgba p3 = kvtest::ToDisplayP3(original, profile);
    ASSERT_FALSE(profile.empty());
    // The P3 pixels differ from the original visibly, or the test would prove nothing.
    int moved = 0;
    for (size_t i = 0; i < original.pixels.size(); ++i)
        moved = std::max(moved, std::abs(original.pixels[i] - p3.pixels[i]));
    ASSERT_GT(moved, 10);

    const std::string ppm = dir_ + "/p3.ppm", icc = dir_ + "/p3.icc";
    kvtest::WritePpm(ppm, p3);
    kvtest::WriteFileBytes(icc, std::string(profile.begin(), profile.end()));
    const Fixture fixtures[] = {
        {"p3.tif", "convert {dir}/p3.ppm -profile {dir}/p3.icc -compress none {out}", 24, 2},
        {"p3lzw.tif", "convert {dir}/p3.ppm -profile {dir}/p3.icc -compress lzw {out}", 24, 2},
        {"p3.png", "convert {dir}/p3.ppm -profile {dir}/p3.icc {out}", 24, 2},
        {"p3.webp", "convert {dir}/p3.ppm -profile {dir}/p3.icc -define webp:lossless=true {out}",
         24, 2},
        // The JPEG's own error at quality 100 comes on top.
        {"p3.jpg",
         "convert {dir}/p3.ppm -profile {dir}/p3.icc -quality 100 "
         "-sampling-factor 1x1 {out}",
         24, 5},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        const std::string out = dir_ + "/" + f.name;
        ASSERT_EQ(kvtest::Run(kvtest::Expand(f.command, dir_, out)), 0);
        kv::CDIB image(16, 16, 8);
        ASSERT_EQ(kvtest::LoadPicture(image, out, false), 1);
        ExpectMatches(image, original, f.tolerance);
    }
    // Without a profile the same pixels are left as they are.
    const std::string bare = dir_ + "/bare.tif";
    ASSERT_EQ(kvtest::Run("convert " + ppm + " -compress lzw " + bare), 0);
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(kvtest::LoadPicture(image, bare, false), 1);
    ExpectMatches(image, p3, 0);
}

}  // namespace
