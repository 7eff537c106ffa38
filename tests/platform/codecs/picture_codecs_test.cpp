// The JPEG and PNG decoders on their own: sizes first, rows top first, stopping on request,
// every PNG colour type brought to blue-green-red.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codecs/picture_codecs.h"
#include "tests/test_support.h"

namespace {

std::string Fixture(const char* name) {
    return std::string(KV_FIXTURES) + "/pictures/" + name;
}

// Keeps every decoded row; refuses sizes above `limit`.
class Recorder final : public kv::DecodeTarget {
public:
    explicit Recorder(int limit = 8192) : m_limit(limit) {}
    bool Begin(int w, int h) override {
        ++begins;
        width = w;
        height = h;
        if (w > m_limit || h > m_limit) return false;
        pixels.assign(static_cast<size_t>(w) * h * 3, 0xAB);
        return true;
    }
    uint8_t* Row(int y) override {
        ++rowCalls;
        return y >= 0 && y < height ? pixels.data() + static_cast<size_t>(y) * width * 3 : nullptr;
    }
    const uint8_t* At(int x, int y) const { return pixels.data() + (y * width + x) * 3; }
    int begins = 0, rowCalls = 0, width = 0, height = 0;
    std::vector<uint8_t> pixels;

private:
    int m_limit;
};

// (The 8-bit colour types are checked through the reader on the same fixtures.)
TEST(PictureCodecs, SixteenBitGreyPngKeepsTheHighByte) {
    Recorder grey;
    ASSERT_EQ(kv::DecodePictureFile(Fixture("picture_grey16.png").c_str(), grey),
              kv::DecodeStatus::Ok);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(grey.At(x, y)[c], 12 + 7 * x + 40 * y);
}

TEST(PictureCodecs, ProgressiveJpegMatchesItsReferenceDecoding) {
    Recorder r;
    ASSERT_EQ(kv::DecodePictureFile(Fixture("progressive.jpg").c_str(), r), kv::DecodeStatus::Ok);
    ASSERT_EQ(r.width, 7);
    ASSERT_EQ(r.height, 5);
    const std::string expect = kvtest::ReadFileBytes(Fixture("progressive.expect.rgb"));
    ASSERT_EQ(expect.size(), 105u);
    for (int i = 0; i < 35; ++i) {
        EXPECT_NEAR(r.pixels[3 * i + 2], static_cast<uint8_t>(expect[3 * i]), 2) << i;
        EXPECT_NEAR(r.pixels[3 * i + 1], static_cast<uint8_t>(expect[3 * i + 1]), 2) << i;
        EXPECT_NEAR(r.pixels[3 * i + 0], static_cast<uint8_t>(expect[3 * i + 2]), 2) << i;
    }
}

TEST(PictureCodecs, StoppingAtTheSizeDecodesNothing) {
    for (const char* name : {"photo", "picture.png"}) {
        Recorder r(6);
        EXPECT_EQ(kv::DecodePictureFile(Fixture(name).c_str(), r), kv::DecodeStatus::Stopped);
        EXPECT_EQ(r.begins, 1);
        EXPECT_EQ(r.width, 7);
        EXPECT_EQ(r.rowCalls, 0);
    }
}

TEST(PictureCodecs, OtherFilesAreNotDecodable) {
    Recorder r;
    EXPECT_EQ(kv::DecodePictureFile(Fixture("bmp24.bmp").c_str(), r),
              kv::DecodeStatus::NotDecodable);
    EXPECT_EQ(kv::DecodePictureFile("/no/such/file.png", r), kv::DecodeStatus::NotDecodable);
    EXPECT_EQ(kv::DecodePictureFile(nullptr, r), kv::DecodeStatus::NotDecodable);
    EXPECT_EQ(r.begins, 0);
    // A PNG cut inside its pixel data fails after its size was given.
    const std::string png = kvtest::ReadFileBytes(Fixture("picture_rgb.PNG"));
    const std::string path = kvtest::TempDir("codec-cut") + "/cut.png";
    kvtest::WriteFileBytes(path, png.substr(0, png.find("IDAT") + 20));
    EXPECT_EQ(kv::DecodePictureFile(path.c_str(), r), kv::DecodeStatus::Failed);
    EXPECT_EQ(r.begins, 1);
    EXPECT_TRUE(kv::GdiplusHasJpegDecoder());
}

}  // namespace
