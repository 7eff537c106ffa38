// Picture treatments: the worked examples of the rescale, tint, contrast, video-safe levels,
// pre-blur and blend, and picture preparation end to end when a picture reader is available.
#include <gtest/gtest.h>

#include <atomic>

#include <cstring>
#include <string>

#include "core/render/treatments.h"
#include "core/show/show.h"
#include "tests/test_support.h"

namespace {

using kv::CDIB;

void Fill(CDIB& img, uint8_t b, uint8_t g, uint8_t r, uint8_t a = 0) {
    const int bpp = img.BitCount() / 8;
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            uint8_t* p = img.Row(y) + x * bpp;
            p[0] = b;
            p[1] = g;
            p[2] = r;
            if (bpp == 4) p[3] = a;
        }
}

const uint8_t* Px(const CDIB& img, int x, int y) {
    return img.Row(y) + x * (img.BitCount() / 8);
}

#define EXPECT_BGR(p, b, g, r) \
    do {                       \
        EXPECT_EQ((p)[0], b);  \
        EXPECT_EQ((p)[1], g);  \
        EXPECT_EQ((p)[2], r);  \
    } while (0)

TEST(ConvertInto, TenPercentBorderOnThousandByEightHundred) {
    CDIB src(1000, 800, 24);
    // A gradient so that the nearest-neighbour mapping is visible: blue = x mod 256, green =
    // y mod 256, red = 7.
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 1000; ++x) {
            uint8_t* p = src.Row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = 7;
        }
    const int32_t border = static_cast<int32_t>(1000 * 10 / 200.0);
    ASSERT_EQ(border, 50);
    CDIB dest(1000 + 2 * border, 800 + 2 * border, 32);
    ASSERT_EQ(dest.Width(), 1100);
    ASSERT_EQ(dest.Height(), 900);
    const uint32_t matte = 0x00302010;  // red 0x10, green 0x20, blue 0x30
    ASSERT_TRUE(kv::ConvertInto(src, &dest, matte, border));
    for (int y : {0, 49, 850, 899})
        for (int x : {0, 500, 1099}) {
            const uint8_t* p = Px(dest, x, y);
            EXPECT_EQ(p[0], 0x30);
            EXPECT_EQ(p[1], 0x20);
            EXPECT_EQ(p[2], 0x10);
            EXPECT_EQ(p[3], 0);
        }
    for (int x : {0, 49, 1050, 1099}) {
        const uint8_t* p = Px(dest, x, 450);
        EXPECT_BGR(p, 0x30, 0x20, 0x10);
    }
    // Inside, the scale is exactly 1: pixel (x, y) shows source (x - 50, y - 50).
    EXPECT_BGR(Px(dest, 50, 50), 0, 0, 7);
    EXPECT_BGR(Px(dest, 1049, 849), static_cast<uint8_t>(999), static_cast<uint8_t>(799), 7);
    EXPECT_BGR(Px(dest, 300, 600), static_cast<uint8_t>(250), static_cast<uint8_t>(550), 7);
}

TEST(ConvertInto, SourceDepthsAndScaling) {
    // 16-bit: the neighbouring fields are not masked, so 0x7FFF is 255, 255, 248.
    CDIB s16(2, 1, 16);
    s16.Row(0)[0] = 0xFF;
    s16.Row(0)[1] = 0x7F;
    s16.Row(0)[2] = 0x00;
    s16.Row(0)[3] = 0x7C;  // 0x7C00: red field only
    CDIB d24(2, 1, 24);
    ASSERT_TRUE(kv::ConvertInto(s16, &d24, 0, 0));
    EXPECT_BGR(Px(d24, 0, 0), 248, 255, 255);
    EXPECT_BGR(Px(d24, 1, 0), 0, 0, 248);

    // 8-bit goes through the colour table; 2x upscale repeats pixels.
    CDIB s8(2, 1, 8);
    s8.ColorTable()[3] = kv::RgbQuad{1, 2, 3, 0};
    s8.ColorTable()[9] = kv::RgbQuad{9, 8, 7, 0};
    s8.Row(0)[0] = 3;
    s8.Row(0)[1] = 9;
    CDIB d4(4, 2, 24);
    ASSERT_TRUE(kv::ConvertInto(s8, &d4, 0, 0));
    for (int y = 0; y < 2; ++y) {
        EXPECT_BGR(Px(d4, 0, y), 1, 2, 3);
        EXPECT_BGR(Px(d4, 1, y), 1, 2, 3);
        EXPECT_BGR(Px(d4, 2, y), 9, 8, 7);
        EXPECT_BGR(Px(d4, 3, y), 9, 8, 7);
    }

    // 32-bit keeps alpha into 32 bits; a 16-bit destination packs 5-5-5.
    CDIB s32(1, 1, 32);
    Fill(s32, 0xFF, 0x80, 0x08, 0x44);
    CDIB d32(1, 1, 32);
    ASSERT_TRUE(kv::ConvertInto(s32, &d32, 0, 0));  // same size and depth: a plain copy
    EXPECT_EQ(Px(d32, 0, 0)[3], 0x44);
    CDIB d16(1, 1, 16);
    ASSERT_TRUE(kv::ConvertInto(s32, &d16, 0, 0));
    const unsigned w = d16.Row(0)[0] | (d16.Row(0)[1] << 8);
    EXPECT_EQ(w, ((0x08u & 248) << 7) | ((0x80u & 248) << 2) | (0xFFu >> 3));

    CDIB empty(0, 0, 24);
    EXPECT_FALSE(kv::ConvertInto(empty, &d32, 0, 0));
    EXPECT_FALSE(kv::ConvertInto(s32, nullptr, 0, 0));
}

TEST(Tint, KeepsLightnessTakesHueAndSaturation) {
    CDIB img(4, 1, 32);
    const uint8_t greys[4] = {0, 64, 128, 255};
    for (int x = 0; x < 4; ++x) {
        uint8_t* p = img.Row(0) + 4 * x;
        p[0] = p[1] = p[2] = greys[x];
        p[3] = static_cast<uint8_t>(10 + x);
    }
    kv::Tint(img, 0x0000FF);                   // pure red
    EXPECT_BGR(Px(img, 0, 0), 0, 0, 0);        // black stays black
    EXPECT_BGR(Px(img, 1, 0), 0, 0, 128);      // L 60 of 240: half-strength red
    EXPECT_BGR(Px(img, 2, 0), 0, 0, 255);      // L 120: full red
    EXPECT_BGR(Px(img, 3, 0), 255, 255, 255);  // white stays white
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Px(img, x, 0)[3], 10 + x);

    // A grey tint has no saturation: every pixel becomes the grey of its own lightness.
    CDIB colour(1, 1, 24);
    Fill(colour, 0, 0, 255);
    kv::Tint(colour, 0x808080);
    EXPECT_BGR(Px(colour, 0, 0), 128, 128, 128);

    CDIB indexed(2, 2, 8);
    indexed.Row(0)[0] = 5;
    kv::Tint(indexed, 0xFF);
    EXPECT_EQ(indexed.Row(0)[0], 5);  // below 24 bits: untouched
}

TEST(BrightnessContrast, GainAboutOneTwentyEight) {
    CDIB img(5, 1, 24);
    const uint8_t v[5] = {0, 64, 128, 192, 255};
    for (int x = 0; x < 5; ++x) std::memset(img.Row(0) + 3 * x, v[x], 3);
    kv::BrightnessContrast(img, 100, 50);
    const uint8_t want[5] = {0, 0, 128, 255, 255};
    for (int x = 0; x < 5; ++x) EXPECT_BGR(Px(img, x, 0), want[x], want[x], want[x]);

    // Brightness 100 adds 92 levels; contrast 0 flattens everything to 128 - 128 + 0 = 0.
    CDIB b(1, 1, 24);
    Fill(b, 100, 200, 10);
    kv::BrightnessContrast(b, 50, 100);
    EXPECT_BGR(Px(b, 0, 0), 192, 255, 102);
    Fill(b, 100, 200, 10);
    kv::BrightnessContrast(b, 0, 50);
    EXPECT_BGR(Px(b, 0, 0), 128, 128, 128);
}

TEST(VideoSafe, RemapsOnlyWhenSomethingIsOutside) {
    CDIB inside(2, 1, 32);
    Fill(inside, 18, 100, 234, 255);
    kv::VideoSafe(inside);
    EXPECT_BGR(Px(inside, 1, 0), 18, 100, 234);

    CDIB img(2, 1, 32);
    Fill(img, 0, 100, 18, 255);
    img.Row(0)[4 + 2] = 255;  // one 255 anywhere
    kv::VideoSafe(img);
    EXPECT_BGR(Px(img, 0, 0), 15, 101, 30);
    EXPECT_BGR(Px(img, 1, 0), 15, 101, 234);
    EXPECT_EQ(Px(img, 0, 0)[3], 255);  // alpha untouched

    // 24 bits: an outlier in the last byte of the top row alone remaps every row; 234 and 18
    // alone do not.
    CDIB rows(37, 5, 24);
    Fill(rows, 18, 234, 100);
    kv::VideoSafe(rows);
    EXPECT_BGR(Px(rows, 36, 4), 18, 234, 100);
    rows.Row(4)[3 * 37 - 1] = 235;
    kv::VideoSafe(rows);
    EXPECT_BGR(Px(rows, 0, 0), 30, 216, 101);
    EXPECT_BGR(Px(rows, 36, 4), 30, 216, 217);
}

TEST(Blur3x3, InPlaceOverTheInterior) {
    // A 4 x 3 image with one bright pixel at (1, 1): its blur is 4 x 160 / 16 = 40, and its
    // right neighbour then sees the blurred 40, not the original 160: 2 x 40 / 16 = 5.
    CDIB img(4, 3, 24);
    Fill(img, 0, 0, 0);
    std::memset(img.Row(1) + 3, 160, 3);
    kv::Blur3x3(img);
    EXPECT_BGR(Px(img, 1, 1), 40, 40, 40);
    EXPECT_BGR(Px(img, 2, 1), 5, 5, 5);
    EXPECT_BGR(Px(img, 0, 1), 0, 0, 0);  // the outer ring stays

    CDIB flat(7, 5, 32);
    Fill(flat, 33, 66, 99, 7);
    kv::Blur3x3(flat);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            EXPECT_BGR(Px(flat, x, y), 33, 66, 99);
            EXPECT_EQ(Px(flat, x, y)[3], 7);
        }
}

TEST(Blend, CosineWeights) {
    CDIB a(1, 1, 32), b(1, 1, 32);
    // t = 0.5: the frame weighs 0.49995187, its companion 0.50004816.
    Fill(a, 0, 200, 100, 0);
    Fill(b, 200, 0, 100, 200);
    kv::Blend(a, b, 0.5f);
    EXPECT_BGR(Px(a, 0, 0), 100, 99, 100);
    EXPECT_EQ(Px(a, 0, 0)[3], 100);

    // Equal images stay equal, or lose one level to truncation.
    CDIB c(16, 1, 24), d(16, 1, 24);
    for (int x = 0; x < 16; ++x) {
        std::memset(c.Row(0) + 3 * x, x * 17, 3);
        std::memset(d.Row(0) + 3 * x, x * 17, 3);
    }
    kv::Blend(c, d, 0.5f);
    for (int x = 0; x < 16; ++x) {
        const int got = Px(c, x, 0)[0];
        EXPECT_TRUE(got == x * 17 || got == x * 17 - 1) << x;
    }

    // t = 0 gives the other image; a 24-bit partner leaves alpha alone.
    CDIB e(1, 1, 32), f(1, 1, 24);
    Fill(e, 1, 2, 3, 77);
    Fill(f, 50, 60, 70);
    kv::Blend(e, f, 0.0f);
    EXPECT_BGR(Px(e, 0, 0), 50, 60, 70);
    EXPECT_EQ(Px(e, 0, 0)[3], 77);
}

// End to end through a picture file: needs the BMP reader.
class PrepPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir("prep");
        CDIB src(100, 80, 24);
        Fill(src, 10, 128, 250);
        std::memset(src.Row(0), 0, 3);  // one black pixel
        path = dir + "/pic.bmp";
        kv::FileSpec fileSpec;
        fileSpec.SetPath(path.c_str());
        ASSERT_TRUE(src.Save(fileSpec, kv::FormatBmp));
        kv::CDIB probe(16, 16, 8);
        ASSERT_EQ(probe.Load(fileSpec, kv::FileSpec{}, false), 1) << "the BMP just written";
    }
    kv::FileSpec FileSpecOf() const {
        kv::FileSpec s;
        s.SetPath(path.c_str());
        return s;
    }
    std::string dir, path;
};

TEST_F(PrepPictureTest, BorderVideoSafeAndReframe) {
    kv::Show show;
    show.BorderSize = 10;
    show.MatteColor = 0x0000FF;
    show.VideoColors = true;
    kv::PrepPicture(show, FileSpecOf(), 0, 0);
    EXPECT_EQ(show.lastLoadResult, 1);
    EXPECT_EQ(show.pictureCount, 1);
    ASSERT_EQ(show.image.Width(), 110);
    ASSERT_EQ(show.image.Height(), 90);
    EXPECT_EQ(show.image.BitCount(), 24);
    // Border red 255 and the black pixel force the video-safe remap of everything.
    EXPECT_BGR(Px(show.image, 0, 0), 15, 15, 234);
    EXPECT_BGR(Px(show.image, 5, 5), 15, 15, 15);
    EXPECT_BGR(Px(show.image, 50, 40), 24, 125, 230);
    const kv::KeyFrame& k = show.pictures[0].keys[0];
    EXPECT_EQ(k.x, 55.0f);
    EXPECT_EQ(k.y, 45.0f);
    EXPECT_EQ(k.width, 110.0f);
}

TEST_F(PrepPictureTest, NeutralContrastChangesNothing) {
    kv::Show show;
    show.VideoColors = false;
    show.ContrastBrightness = (51 << 8) | 50;
    kv::PrepPicture(show, FileSpecOf(), 0, 0);
    EXPECT_BGR(Px(show.image, 50, 40), 10, 128, 250);
    show.ContrastBrightness = (50 << 8) | 100;
    kv::PrepPicture(show, FileSpecOf(), 0, 0);
    EXPECT_BGR(Px(show.image, 50, 40), 0, 128, 255);
}

TEST_F(PrepPictureTest, MissingFileLeavesThePreparedPicture) {
    kv::Show show;
    kv::PrepPicture(show, FileSpecOf(), 0, 0);
    ASSERT_EQ(show.image.Width(), 100);
    kv::FileSpec missing;
    missing.SetPath((dir + "/gone.bmp").c_str());
    show.ShowPicError = true;
    kvtest::AlertRecorder alerts;
    kv::PrepPicture(show, missing, 0, 0);
    EXPECT_EQ(show.lastLoadResult, 0);
    EXPECT_EQ(show.image.Width(), 100);
    EXPECT_STREQ(show.pictures[0].fileSpec.path, path.c_str());
}

// Pixel blocks of at least the picture's size (100 x 80 x 3 bytes) asked for while preparing.
std::atomic<int> g_pictureSizedBlocks{0};
void CountPictureSizedBlock(size_t bytes) {
    if (bytes >= 100 * 80 * 3) ++g_pictureSizedBlocks;
}

// The loaded picture becomes the prepared one when nothing converts it, and the treatments work
// in place: one picture-sized block without a border (video-safe or not), two with one (the
// loaded and the bordered picture), never a third; the pixels are those of a copy.
TEST_F(PrepPictureTest, PreparingCostsOnePictureOrTwoWithABorder) {
    struct Case {
        int border;
        bool videoSafe;
        int blocks;
    } cases[] = {{0, false, 1}, {0, true, 1}, {10, true, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "border " << c.border << " video-safe " << c.videoSafe);
        kv::Show show;
        show.BorderSize = c.border;
        show.VideoColors = c.videoSafe;
        show.image.rotationInUse = true;
        g_pictureSizedBlocks = 0;
        kv::SetPixelAllocationHook(&CountPictureSizedBlock);
        kv::PrepPicture(show, FileSpecOf(), 0, 0);
        kv::SetPixelAllocationHook(nullptr);
        EXPECT_EQ(g_pictureSizedBlocks.load(), c.blocks);
        EXPECT_TRUE(show.image.rotationInUse);  // the flag stays with the prepared picture
        EXPECT_EQ(show.image.BitCount(), 24);
        const int b = c.border ? 10 : 0;
        ASSERT_EQ(show.image.Width(), 100 + b);
        if (c.videoSafe)
            EXPECT_BGR(Px(show.image, 50 + b / 2, 40 + b / 2), 24, 125, 230);
        else
            EXPECT_BGR(Px(show.image, 50, 40), 10, 128, 250);
        EXPECT_BGR(Px(show.image, b / 2, b / 2), c.videoSafe ? 15 : 0, c.videoSafe ? 15 : 0,
                   c.videoSafe ? 15 : 0);
    }
}

}  // namespace
