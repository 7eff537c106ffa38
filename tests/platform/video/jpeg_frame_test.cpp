// JpegFrameEncoder: frames decode back to the picture top row first, flat colour keeps its level,
// the stream is baseline 4:2:2 JFIF, the bytes follow the pixels alone (not the row order, padding,
// alpha or bit depth) and are the same with libjpeg-turbo's SIMD turned off.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/video/jpeg_frame.h"
#include "tests/platform/video/test_frames.h"
#include "tests/test_support.h"

namespace {

using kvtest::TestFrame;

std::string Bytes(const kv::JpegFrameEncoder& enc) {
    return std::string(reinterpret_cast<const char*>(enc.Data()), enc.Size());
}

std::string Encode(kv::JpegFrameEncoder& enc, const TestFrame& f, kv::JpegQuality quality) {
    EXPECT_TRUE(enc.Encode(f.bits.data(), f.rowBytes, true, f.w, f.h, 32, quality)) << enc.Error();
    return Bytes(enc);
}

// PSNR of red, green and blue of a decoded top-down BGRX frame against the bottom-up source (or
// against the source upside down).
double Psnr(const std::vector<uint8_t>& decoded, const TestFrame& f, bool flipped = false) {
    double sum = 0;
    for (int y = 0; y < f.h; ++y) {
        const uint8_t* a = decoded.data() + static_cast<size_t>(y) * f.w * 4;
        const uint8_t* b = f.Row(flipped ? y : f.h - 1 - y);
        for (int x = 0; x < f.w * 4; ++x) {
            if (x % 4 == 3) continue;
            const double d = double(a[x]) - double(b[x]);
            sum += d * d;
        }
    }
    const double mse = sum / (3.0 * f.w * f.h);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

struct Decoded {
    int w = 0, h = 0, subsamp = -1, colorspace = -1;
    std::vector<uint8_t> pixels;
};

bool Decode(const std::string& jpeg, Decoded& d) {
    tjhandle t = tjInitDecompress();
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
    bool ok = tjDecompressHeader3(t, data, jpeg.size(), &d.w, &d.h, &d.subsamp, &d.colorspace) == 0;
    if (ok) {
        d.pixels.resize(static_cast<size_t>(d.w) * d.h * 4);
        ok = tjDecompress2(t, data, jpeg.size(), d.pixels.data(), d.w, d.w * 4, d.h, TJPF_BGRX,
                           TJFLAG_ACCURATEDCT) == 0;
    }
    tjDestroy(t);
    return ok;
}

// The markers of a JPEG stream up to the start of the scan, with their payloads.
struct Segment {
    int marker;
    std::string payload;
};
std::vector<Segment> Segments(const std::string& jpeg) {
    std::vector<Segment> out;
    const auto* p = reinterpret_cast<const uint8_t*>(jpeg.data());
    size_t i = 2;
    while (i + 4 <= jpeg.size() && p[i] == 0xFF) {
        const int marker = p[i + 1];
        const size_t len = size_t(p[i + 2]) << 8 | p[i + 3];
        out.push_back({marker, jpeg.substr(i + 4, len - 2)});
        if (marker == 0xDA) break;
        i += 2 + len;
    }
    return out;
}

TEST(JpegFrame, DecodesCloseToTheFrameWithTheTopRowFirst) {
    kv::JpegFrameEncoder enc;
    for (const auto& size : {std::pair{96, 64}, std::pair{37, 21}, std::pair{720, 480}}) {
        const TestFrame f(size.first, size.second, 7, 12);
        Decoded d;
        ASSERT_TRUE(Decode(Encode(enc, f, 89), d));
        EXPECT_EQ(d.w, f.w);
        EXPECT_EQ(d.h, f.h);
        EXPECT_EQ(d.subsamp, TJSAMP_422);
        EXPECT_EQ(d.colorspace, TJCS_YCbCr);
        // The noise is mostly in the chroma, which loses half its columns; the green ramp runs
        // bottom to top, so a frame upside down lies far further off.
        const double psnr = Psnr(d.pixels, f);
        EXPECT_GT(psnr, 25.0) << f.w << "x" << f.h;
        EXPECT_GT(psnr, Psnr(d.pixels, f, true) + 8.0) << f.w << "x" << f.h;
    }
}

TEST(JpegFrame, FlatColourKeepsItsLevelAtTheLowestQuality) {
    // Movies carry frame numbers and fades in flat colour: the DC terms stay fine however coarse
    // the rest of the table gets.
    kv::JpegFrameEncoder enc;
    const uint8_t colours[][3] = {{9, 0, 0}, {0, 200, 17}, {255, 255, 255}, {3, 130, 250}};
    for (const auto& c : colours) {
        TestFrame f(48, 32, 1);
        for (size_t i = 0; i < f.bits.size(); i += 4) {
            f.bits[i] = c[0];
            f.bits[i + 1] = c[1];
            f.bits[i + 2] = c[2];
        }
        Decoded d;
        ASSERT_TRUE(Decode(Encode(enc, f, kv::JpegQualityForMovie(0)), d));
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(d.pixels[k], c[k], 2) << int(c[0]) << "," << k;
        EXPECT_NEAR(d.pixels[d.pixels.size() - 4], c[0], 2);
    }
}

TEST(JpegFrame, StreamIsBaselineJfifWithFullWidthLumaAndHalfWidthChroma) {
    kv::JpegFrameEncoder enc;
    const TestFrame f(50, 30, 3);
    const std::string jpeg = Encode(enc, f, 89);
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(uint8_t(jpeg[0]), 0xFF);
    EXPECT_EQ(uint8_t(jpeg[1]), 0xD8);
    EXPECT_EQ(uint8_t(jpeg[jpeg.size() - 2]), 0xFF);
    EXPECT_EQ(uint8_t(jpeg[jpeg.size() - 1]), 0xD9);
    const std::vector<Segment> segs = Segments(jpeg);
    ASSERT_FALSE(segs.empty());
    EXPECT_EQ(segs.front().marker, 0xE0);
    EXPECT_EQ(segs.front().payload.substr(0, 5), std::string("JFIF\0", 5));
    bool sof = false, sos = false;
    int tables = 0;
    for (const Segment& s : segs) {
        EXPECT_NE(s.marker, 0xC2) << "progressive";
        if (s.marker == 0xDB) tables += static_cast<int>(s.payload.size() / 65);
        if (s.marker == 0xDA) sos = true;
        if (s.marker != 0xC0) continue;
        sof = true;
        const auto* p = reinterpret_cast<const uint8_t*>(s.payload.data());
        ASSERT_EQ(s.payload.size(), 6u + 3 * 3);
        EXPECT_EQ(p[0], 8);                // bits per sample
        EXPECT_EQ(p[1] << 8 | p[2], f.h);  // lines
        EXPECT_EQ(p[3] << 8 | p[4], f.w);  // samples per line
        EXPECT_EQ(p[5], 3);
        EXPECT_EQ(p[7], 0x21);   // Y: two across, one down
        EXPECT_EQ(p[10], 0x11);  // Cb
        EXPECT_EQ(p[13], 0x11);  // Cr
    }
    EXPECT_TRUE(sof);
    EXPECT_TRUE(sos);
    EXPECT_EQ(tables, 2);
}

TEST(JpegFrame, BytesFollowThePixelsNotTheirLayout) {
    kv::JpegFrameEncoder enc;
    const TestFrame f(61, 35, 11, 8);
    const std::string reference = Encode(enc, f, 75);

    // The same picture top-down, without padding, read in its own order.
    std::vector<uint8_t> topDown;
    for (int y = f.h - 1; y >= 0; --y) topDown.insert(topDown.end(), f.Row(y), f.Row(y) + f.w * 4);
    ASSERT_TRUE(enc.Encode(topDown.data(), f.w * 4, false, f.w, f.h, 32, 75));
    EXPECT_EQ(Bytes(enc), reference);

    // 24-bit rows (padded to 4 bytes as the image buffer pads them) with the same colours.
    const int stride24 = (f.w * 3 + 3) & ~3;
    std::vector<uint8_t> rgb(static_cast<size_t>(stride24) * f.h, 0xEE);
    for (int y = 0; y < f.h; ++y)
        for (int x = 0; x < f.w; ++x)
            for (int c = 0; c < 3; ++c) rgb[size_t(y) * stride24 + x * 3 + c] = f.Row(y)[x * 4 + c];
    ASSERT_TRUE(enc.Encode(rgb.data(), stride24, true, f.w, f.h, 24, 75));
    EXPECT_EQ(Bytes(enc), reference);

    // Other alpha and other padding bytes.
    TestFrame g = f;
    for (size_t i = 3; i < g.bits.size(); i += 4) g.bits[i] ^= 0x5A;
    EXPECT_EQ(Encode(enc, g, 75), reference);

    // One changed pixel changes the frame.
    g.bits[size_t(g.rowBytes) * 17 + 4 * 30 + 1] ^= 0x80;
    EXPECT_NE(Encode(enc, g, 75), reference);
}

TEST(JpegFrame, SameBytesWithLibjpegTurboSimdOff) {
    // In this process the SIMD is on (where the processor has it); the helper runs once as is
    // and once with it turned off.
    kv::JpegFrameEncoder enc;
    std::string here;
    uint32_t seed = 1;
    for (const auto& size : kvtest::kJpegSizes)
        here += Encode(enc, TestFrame(size[0], size[1], seed++, 4), 89);
    const std::string dump = std::string(KV_BIN_DIR) + "/jpeg_frame_dump";
    std::string simd, plain;
    ASSERT_EQ(kvtest::Run("env -u JSIMD_FORCENONE " + dump, &simd), 0);
    ASSERT_EQ(kvtest::Run("JSIMD_FORCENONE=1 " + dump, &plain), 0);
    ASSERT_GT(here.size(), 1000u);
    EXPECT_TRUE(simd == here) << "helper and test disagree";
    EXPECT_TRUE(plain == here) << "SIMD off changed the bytes";
}

TEST(JpegFrame, MovieQualityMapsOntoLibjpegQualityInOrder) {
    int previous = 0;
    for (int q = -5; q <= 105; ++q) {
        const int jq = kv::JpegQualityForMovie(q).quality;
        EXPECT_GE(jq, 1);
        EXPECT_LE(jq, 100);
        EXPECT_GE(jq, previous) << "quality " << q;
        previous = jq;
    }
    // A higher job quality never gives a smaller frame.
    kv::JpegFrameEncoder enc;
    const TestFrame f(160, 120, 5);
    size_t last = 0;
    for (int q = 0; q <= 100; q += 10) {
        const size_t size = Encode(enc, f, kv::JpegQualityForMovie(q)).size();
        EXPECT_GE(size, last) << "quality " << q;
        last = size;
    }
}

TEST(JpegFrame, RefusesFramesItCannotCodeAndRecovers) {
    kv::JpegFrameEncoder enc;
    const TestFrame f(40, 20, 9);
    EXPECT_FALSE(enc.Encode(f.bits.data(), f.w * 4 - 1, true, f.w, f.h, 32, 80));
    EXPECT_FALSE(enc.Encode(f.bits.data(), f.rowBytes, true, f.w, f.h, 16, 80));
    EXPECT_FALSE(enc.Encode(f.bits.data(), f.rowBytes, true, 0, f.h, 32, 80));
    EXPECT_FALSE(enc.Encode(nullptr, f.rowBytes, true, f.w, f.h, 32, 80));
    EXPECT_FALSE(enc.Error().empty());
    EXPECT_EQ(enc.Size(), 0u);
    Decoded d;
    ASSERT_TRUE(Decode(Encode(enc, f, 80), d));
    EXPECT_TRUE(enc.Error().empty());
    EXPECT_EQ(d.w, 40);
    // A larger frame after a smaller one grows the buffer.
    const TestFrame big(300, 200, 9);
    ASSERT_TRUE(Decode(Encode(enc, big, 100), d));
    EXPECT_EQ(d.w, 300);
}

}  // namespace
