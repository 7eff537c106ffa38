// The readers on real files written by other programs: each fixture loads through CDIB::Load
// with its result, message and pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "platform/codecs/more_codecs.h"
#include "tests/core/picture/picture_reader_fixtures.h"
#include "tests/test_support.h"

namespace {

using namespace kvtest;

struct Loaded {
    int32_t result;
    std::vector<std::string> alerts;
};

Loaded LoadInto(kv::CDIB& image, const std::string& path) {
    AlertRecorder rec;
    Loaded l;
    l.result = image.Load(SpecOf(path), kv::FileSpec{}, true);
    l.alerts = rec.texts;
    return l;
}

// Loads a fixture that must read; fails the test with the alert otherwise.
void LoadFixture(kv::CDIB& image, const std::string& name) {
    Loaded l = LoadInto(image, FixturePath(name));
    ASSERT_EQ(l.result, 1) << name << ": " << (l.alerts.empty() ? "" : l.alerts[0]);
    EXPECT_TRUE(l.alerts.empty());
}

int32_t ReadCode(const std::string& path) {
    kv::CDIB image(16, 16, 8);
    kv::DiskFile file;
    if (!file.Open(SpecOf(path), kv::DiskFile::OpenRead)) return -1;
    return image.ReadFrom(file);
}

TEST(BmpReader, ReadsEightSixteenTwentyFourAndThirtyTwoBits) {
    kv::CDIB image(16, 16, 8);
    LoadFixture(image, "bmp24.bmp");
    EXPECT_EQ(image.BitCount(), 24);
    ExpectFormulaPixels(image, false);

    LoadFixture(image, "bmp32.bmp");
    EXPECT_EQ(image.BitCount(), 32);
    ExpectFormulaPixels(image, true);

    // 8 bits: the indices go through the file's own colour table.
    LoadFixture(image, "bmp8.bmp");
    ASSERT_EQ(image.BitCount(), 8);
    for (int y = 0; y < FixtureHeight; ++y) {
        for (int x = 0; x < FixtureWidth; ++x) {
            const kv::RgbQuad c = image.ColorTable()[*PixelAt(image, x, y)];
            EXPECT_EQ(c.red, FixRed(x, y));
            EXPECT_EQ(c.green, FixGreen(x, y));
            EXPECT_EQ(c.blue, FixBlue(x, y));
        }
    }

    // 16 bits: 5-5-5 as stored.
    LoadFixture(image, "bmp16.bmp");
    ASSERT_EQ(image.BitCount(), 16);
    for (int y = 0; y < FixtureHeight; ++y) {
        for (int x = 0; x < FixtureWidth; ++x) {
            const uint8_t* p = PixelAt(image, x, y);
            const int v = p[0] | p[1] << 8;
            EXPECT_EQ((v >> 10) & 31, FixRed(x, y) >> 3);
            EXPECT_EQ((v >> 5) & 31, FixGreen(x, y) >> 3);
            EXPECT_EQ(v & 31, FixBlue(x, y) >> 3);
        }
    }
}

TEST(BmpReader, RefusesLowDepthsAndBitFieldsWithTheirMessages) {
    kv::CDIB image(16, 16, 8);
    for (const char* name : {"bmp1.bmp", "bmp4.bmp"}) {
        Loaded l = LoadInto(image, FixturePath(name));
        EXPECT_EQ(l.result, 0);
        ASSERT_EQ(l.alerts.size(), 1u);
        EXPECT_EQ(l.alerts[0], "Images must have 256 colors or more");
        EXPECT_EQ(ReadCode(FixturePath(name)), kv::ReadTooFewColours);
    }
    // ImageMagick writes 32-bit bitmaps with bit fields: a compression this reader leaves out.
    Loaded l = LoadInto(image, FixturePath("bmp32_bitfields.bmp"));
    EXPECT_EQ(l.result, 0);
    ASSERT_EQ(l.alerts.size(), 1u);
    EXPECT_EQ(l.alerts[0], "Can't read compressed images");
}

TEST(TargaReader, TopAndBottomOriginLoadTheSamePicture) {
    kv::CDIB bottom(16, 16, 8), top(16, 16, 8);
    LoadFixture(bottom, "tga_bottom.tga");
    LoadFixture(top, "tga_top.tga");
    ExpectFormulaPixels(bottom, false);
    ExpectFormulaPixels(top, false);
    EXPECT_EQ(std::memcmp(bottom.Bits(), top.Bits(), bottom.RowBytes() * 5), 0);

    kv::CDIB alpha(16, 16, 8);
    LoadFixture(alpha, "tga32.tga");
    EXPECT_EQ(alpha.BitCount(), 32);
    ExpectFormulaPixels(alpha, true);
}

TEST(TargaReader, ColourMappedKeepsIndicesWithAGreyPalette) {
    kv::CDIB image(16, 16, 24);
    LoadFixture(image, "tga_cmap.tga");
    ASSERT_EQ(image.BitCount(), 8);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(image.ColorTable()[i].red, i);
        EXPECT_EQ(image.ColorTable()[i].blue, i);
    }
    // The indices are the file's: through its colour map (24-bit entries, blue first) they
    // give the picture.
    const std::string bytes = ReadFileBytes(FixturePath("tga_cmap.tga"));
    const auto* map = reinterpret_cast<const uint8_t*>(bytes.data()) + 18 + bytes[0];
    for (int y = 0; y < FixtureHeight; ++y) {
        for (int x = 0; x < FixtureWidth; ++x) {
            const uint8_t* e = map + 3 * *PixelAt(image, x, y);
            EXPECT_EQ(e[0], FixBlue(x, y));
            EXPECT_EQ(e[1], FixGreen(x, y));
            EXPECT_EQ(e[2], FixRed(x, y));
        }
    }
}

TEST(TargaReader, RunLengthFileIsCompressed) {
    kv::CDIB image(16, 16, 8);
    Loaded l = LoadInto(image, FixturePath("tga_rle.tga"));
    EXPECT_EQ(l.result, 0);
    ASSERT_EQ(l.alerts.size(), 1u);
    EXPECT_EQ(l.alerts[0], "Can't read compressed images");
}

TEST(TiffReader, ReadsBothByteOrdersInOneStripOrMany) {
    for (const char* name :
         {"tiff_le.tif", "tiff_be.tif", "tiff_le_strips.tif", "tiff_be_strips.tif"}) {
        SCOPED_TRACE(name);
        kv::CDIB image(16, 16, 8);
        LoadFixture(image, name);
        EXPECT_EQ(image.BitCount(), 24);
        ExpectFormulaPixels(image, false);
    }
}

TEST(TiffReader, LzwLoadsThroughLibtiffAndGreyLoadsAsEightBitGrey) {
    kv::CDIB image(16, 16, 24);
    if (kv::MoreCodecsPresent()) {
        LoadFixture(image, "tiff_lzw.tif");
        EXPECT_EQ(image.BitCount(), 24);
        ExpectFormulaPixels(image, false);
    } else {
        // A build without libtiff refuses it as before.
        Loaded l = LoadInto(image, FixturePath("tiff_lzw.tif"));
        EXPECT_EQ(l.result, 0);
        ASSERT_EQ(l.alerts.size(), 1u);
        EXPECT_EQ(l.alerts[0], "Can't read compressed images");
    }

    LoadFixture(image, "tiff_grey.tif");
    ASSERT_EQ(image.BitCount(), 8);
    for (int y = 0; y < FixtureHeight; ++y) {
        for (int x = 0; x < FixtureWidth; ++x) {
            const kv::RgbQuad c = image.ColorTable()[*PixelAt(image, x, y)];
            EXPECT_EQ(c.red, FixGrey(x, y));
            EXPECT_EQ(c.green, FixGrey(x, y));
        }
    }
}

TEST(PhotoshopReader, ReadsRgbRawPackBitsAndSixteenBits) {
    for (const char* name : {"psd_rgb_raw.psd", "psd_rgb_rle.psd", "psd_16.psd"}) {
        SCOPED_TRACE(name);
        kv::CDIB image(16, 16, 8);
        LoadFixture(image, name);
        EXPECT_EQ(image.BitCount(), 24);
        ExpectFormulaPixels(image, false);
    }
}

TEST(PhotoshopReader, AlphaChannelBecomesTheAlphaByte) {
    kv::CDIB image(16, 16, 8);
    LoadFixture(image, "psd_rgba.psd");
    EXPECT_EQ(image.BitCount(), 32);
    ExpectFormulaPixels(image, true);
}

TEST(PhotoshopReader, GreyAndIndexedComeOutAsTwentyFourBits) {
    kv::CDIB grey(16, 16, 8);
    LoadFixture(grey, "psd_grey.psd");
    ExpectGreyPixels(grey);

    kv::CDIB indexed(16, 16, 8);
    LoadFixture(indexed, "psd_indexed.psd");
    EXPECT_EQ(indexed.BitCount(), 24);
    ExpectFormulaPixels(indexed, false);
}

TEST(GdiplusReader, JpegWithoutExtensionIsFoundByItsJfifBytes) {
    kv::CDIB image(16, 16, 8);
    LoadFixture(image, "photo");
    ASSERT_EQ(image.BitCount(), 24);
    ASSERT_EQ(image.Width(), FixtureWidth);
    ASSERT_EQ(image.Height(), FixtureHeight);
    // JPEG is lossy: compare with ImageMagick's decoding of the same file (red, green, blue).
    const std::string expect = ReadFileBytes(FixturePath("photo.expect.rgb"));
    ASSERT_EQ(expect.size(), 3u * FixtureWidth * FixtureHeight);
    for (int y = 0; y < FixtureHeight; ++y) {
        for (int x = 0; x < FixtureWidth; ++x) {
            const uint8_t* p = PixelAt(image, x, y);
            const auto* e = reinterpret_cast<const uint8_t*>(expect.data()) + 3 * (y * 7 + x);
            EXPECT_NEAR(p[2], e[0], 2) << x << "," << y;
            EXPECT_NEAR(p[1], e[1], 2) << x << "," << y;
            EXPECT_NEAR(p[0], e[2], 2) << x << "," << y;
        }
    }
}

TEST(GdiplusReader, PngLoadsWhenItsPathSaysPng) {
    for (const char* name :
         {"picture.png", "picture_rgb.PNG", "picture_alpha.png", "picture_interlaced.png"}) {
        SCOPED_TRACE(name);
        kv::CDIB image(16, 16, 8);
        LoadFixture(image, name);
        // Always 24 bits: alpha is not kept for these pictures.
        EXPECT_EQ(image.BitCount(), 24);
        ExpectFormulaPixels(image, false);
    }
}

TEST(GdiplusReader, PngUnderAnotherNameGoesToTheTargaReader) {
    const std::string dir = TempDir("png-renamed");
    const std::string path = dir + "/picture.dat";
    WriteFileBytes(path, ReadFileBytes(FixturePath("picture.png")));
    kv::CDIB image(16, 16, 8);
    Loaded l = LoadInto(image, path);
    EXPECT_EQ(l.result, 0);
    ASSERT_EQ(l.alerts.size(), 1u);
    EXPECT_EQ(l.alerts[0], "Can't read image file  [ 3 ]");
}

TEST(PictureReader, TextFileNamedTgaIsUnreadableWithItsCode) {
    const std::string path = TempDir("text-tga") + "/notes.tga";
    WriteFileBytes(path, "These are some notes about the holiday pictures.\n");
    kv::CDIB image(16, 16, 8);
    Loaded l = LoadInto(image, path);
    EXPECT_EQ(l.result, 0);
    ASSERT_EQ(l.alerts.size(), 1u);
    EXPECT_EQ(l.alerts[0], "Can't read image file  [ 3 ]");
    EXPECT_EQ(ReadCode(path), kv::ReadUnreadable);
}

TEST(PictureReader, ChoiceFollowsFirstBytesThenPath) {
    using kv::PictureReader;
    auto choose = [](const char* head, const char* path, bool jpeg = true) {
        return kv::ChoosePictureReader(reinterpret_cast<const uint8_t*>(head),
                                       static_cast<int>(std::strlen(head)), path, jpeg);
    };
    EXPECT_EQ(choose("8BPS", "a.tga"), PictureReader::Photoshop);
    EXPECT_EQ(choose("SPB8", "a"), PictureReader::Photoshop);
    EXPECT_EQ(choose("II*", "a.png"), PictureReader::Tiff);
    EXPECT_EQ(choose("MM", "a"), PictureReader::Tiff);
    EXPECT_EQ(choose("BM", "a.jpg"), PictureReader::Bmp);
    EXPECT_EQ(choose("MB", "a"), PictureReader::Bmp);
    EXPECT_EQ(choose("\xff\xd8\xff\xe0..JFIF", "photo"), PictureReader::Gdiplus);
    EXPECT_EQ(choose("xxxxxxxxxx", "/p/a.JPEG"), PictureReader::Gdiplus);
    EXPECT_EQ(choose("xxxxxxxxxx", "/p/a.jpg"), PictureReader::Gdiplus);
    EXPECT_EQ(choose("xxxxxxxxxx", "/p/a.PNG"), PictureReader::Gdiplus);
    EXPECT_EQ(choose("xxxxxxxxxx", "/p/a.Png"), PictureReader::Targa);
    EXPECT_EQ(choose("xxxxxxxxxx", "/p/a.tga"), PictureReader::Targa);
    EXPECT_EQ(choose("\xff\xd8\xff\xe0..JFIF", "a.jpg", false), PictureReader::Targa);
    EXPECT_EQ(choose("", "a.png", false), PictureReader::Targa);
    EXPECT_EQ(kv::ChoosePictureReader(nullptr, 0, nullptr, true), PictureReader::Targa);
}

TEST(PictureReader, EveryReaderRefusesAnEmptyImage) {
    kv::CDIB image(0, 0, 24);  // never created
    ASSERT_TRUE(image.Empty());
    kv::DiskFile file;
    ASSERT_TRUE(file.Open(SpecOf(FixturePath("bmp24.bmp")), kv::DiskFile::OpenRead));
    EXPECT_EQ(image.ReadFrom(file), kv::ReadNoImage);
    EXPECT_EQ(kv::ReadBmp(image, file), kv::ReadNoImage);
    EXPECT_EQ(kv::ReadTarga(image, file), kv::ReadNoImage);
    EXPECT_EQ(kv::ReadTiff(image, file), kv::ReadNoImage);
    EXPECT_EQ(kv::ReadPhotoshop(image, file), kv::ReadNoImage);
    EXPECT_EQ(kv::ReadGdiplus(image, file), kv::ReadNoImage);
    EXPECT_TRUE(image.Empty());
}

}  // namespace
