// Pictures for the further-format tests: patterns written as PPM, ImageMagick's decode of a
// file, orientation by its EXIF definition, a Display P3 profile made with LittleCMS.
#pragma once

#include <gtest/gtest.h>
#if __has_include(<lcms2.h>)
#include <lcms2.h>
#define KV_TEST_HAVE_LCMS 1
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/records.h"
#include "core/picture/cdib.h"
#include "tests/test_support.h"

namespace kvtest {

// An RGBA picture, top row first.
struct Rgba {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    Rgba() = default;
    Rgba(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4, 255) {}
    uint8_t* At(int x, int y) { return pixels.data() + (static_cast<size_t>(y) * width + x) * 4; }
    const uint8_t* At(int x, int y) const {
        return pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
    }
};

// Red, green, blue, alpha of the image's pixel (x, y), y from the top.
inline void PixelOf(const kv::CDIB& image, int x, int y, int out[4]) {
    const int bytes = image.BitCount() / 8;
    const uint8_t* p = image.Row(image.Height() - 1 - y) + static_cast<size_t>(x) * bytes;
    if (bytes == 1) {
        const kv::RgbQuad c = image.ColorTable()[*p];
        out[0] = c.red, out[1] = c.green, out[2] = c.blue, out[3] = 255;
        return;
    }
    out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = bytes == 4 ? p[3] : 255;
}

inline std::string Expand(std::string command, const std::string& dir, const std::string& out) {
    for (size_t at; (at = command.find("{dir}")) != std::string::npos;) command.replace(at, 5, dir);
    for (size_t at; (at = command.find("{out}")) != std::string::npos;) command.replace(at, 5, out);
    return command;
}

inline void WritePpm(const std::string& path, const Rgba& picture) {
    std::string bytes =
        "P6 " + std::to_string(picture.width) + " " + std::to_string(picture.height) + " 255\n";
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            bytes.append(reinterpret_cast<const char*>(picture.At(x, y)), 3);
    WriteFileBytes(path, bytes);
}

// A fixed pseudo-random sequence, the same in every run.
inline uint32_t NextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

inline Rgba TestPattern(int w, int h) {
    Rgba p(w, h);
    uint32_t s = 7;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) p.At(x, y)[c] = static_cast<uint8_t>(NextRandom(s));
    return p;
}

inline Rgba SmoothPattern(int w, int h) {
    Rgba p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* q = p.At(x, y);
            // Colours a camera gives, away from the gamut's edge: an 8-bit picture in a
            // wider space has coarser steps there than sRGB's.
            q[0] = static_cast<uint8_t>(60 + 150 * x / (w - 1));
            q[1] = static_cast<uint8_t>(190 - 120 * y / (h - 1));
            q[2] = static_cast<uint8_t>(80 + 2 * (x + y));
        }
    return p;
}

// bx x by flat blocks of `size` pixels, each its own colour.
inline Rgba BlockPattern(int bx, int by, int size) {
    static const uint8_t colours[][3] = {{220, 30, 30},   {30, 200, 40},   {40, 50, 220},
                                         {230, 220, 40},  {30, 210, 220},  {200, 40, 210},
                                         {128, 128, 128}, {250, 250, 250}, {10, 10, 10}};
    Rgba p(bx * size, by * size);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* c = colours[(y / size * bx + x / size) % 9];
            std::copy(c, c + 3, p.At(x, y));
        }
    return p;
}

// The stored picture whose EXIF orientation `o` shows `upright`. By the EXIF definition the
// stored row 0 and column 0 are: 1 top/left, 2 top/right, 3 bottom/right, 4 bottom/left,
// 5 left/top, 6 right/top, 7 right/bottom, 8 left/bottom side of the upright picture.
inline Rgba StoredFor(const Rgba& upright, int o) {
    const int uw = upright.width, uh = upright.height;
    const bool turned = o >= 5;
    Rgba s(turned ? uh : uw, turned ? uw : uh);
    for (int r = 0; r < s.height; ++r)
        for (int c = 0; c < s.width; ++c) {
            int x = c, y = r;
            switch (o) {
                case 2:
                    x = uw - 1 - c;
                    y = r;
                    break;
                case 3:
                    x = uw - 1 - c;
                    y = uh - 1 - r;
                    break;
                case 4:
                    x = c;
                    y = uh - 1 - r;
                    break;
                case 5:
                    x = r;
                    y = c;
                    break;
                case 6:
                    x = uw - 1 - r;
                    y = c;
                    break;
                case 7:
                    x = uw - 1 - r;
                    y = uh - 1 - c;
                    break;
                case 8:
                    x = r;
                    y = uh - 1 - c;
                    break;
                default:
                    break;
            }
            std::copy(upright.At(x, y), upright.At(x, y) + 4, s.At(c, r));
        }
    return s;
}

// The source pictures: s.ppm (8-bit random), s16.ppm (16-bit random, low bytes included),
// s.png, sa.png (with an alpha of 1..255).
inline void WriteSourcePictures(const std::string& dir) {
    const Rgba s = TestPattern(37, 23);
    WritePpm(dir + "/s.ppm", s);
    std::string wide = "P6 37 23 65535\n";
    uint32_t state = 11;
    for (int i = 0; i < 37 * 23 * 3; ++i) {
        const uint32_t v = NextRandom(state) & 0xFFFF;
        wide += static_cast<char>(v >> 8);
        wide += static_cast<char>(v & 0xFF);
    }
    WriteFileBytes(dir + "/s16.ppm", wide);
    std::string pam = "P7\nWIDTH 37\nHEIGHT 23\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) {
            pam.append(reinterpret_cast<const char*>(s.At(x, y)), 3);
            pam += static_cast<char>(1 + (x * 7 + y * 11) % 255);
        }
    WriteFileBytes(dir + "/sa.pam", pam);
    ASSERT_EQ(Run("convert " + dir + "/s.ppm " + dir + "/s.png"), 0);
    // Lossy coders get a smooth picture of even size (no chroma padding at the edge).
    WritePpm(dir + "/m.ppm", SmoothPattern(40, 24));
    ASSERT_EQ(Run("convert " + dir + "/m.ppm " + dir + "/m.png"), 0);
    ASSERT_EQ(Run("convert " + dir + "/sa.pam " + dir + "/sa.png"), 0);
}

// A PAM of 16-bit samples as RGBA, rounded to 8 bits.
inline Rgba MagickDecodeOf(const std::string& out) {
    Rgba none;
    std::istringstream head(out);
    std::string word, tuple;
    int w = 0, h = 0, depth = 0;
    while (head >> word && word != "ENDHDR") {
        if (word == "WIDTH") head >> w;
        if (word == "HEIGHT") head >> h;
        if (word == "DEPTH") head >> depth;
        if (word == "TUPLTYPE") head >> tuple;
    }
    const size_t at = out.find("ENDHDR\n");
    if (at == std::string::npos || depth < 1 || depth > 4 || tuple.rfind("CMYK", 0) == 0)
        return none;
    const auto* p = reinterpret_cast<const uint8_t*>(out.data() + at + 7);
    if (out.size() < at + 7 + static_cast<size_t>(w) * h * depth * 2) return none;
    const auto sample = [&](int k) {
        const uint32_t v = static_cast<uint32_t>(p[2 * k] << 8 | p[2 * k + 1]);
        return static_cast<uint8_t>((v * 255 + 32767) / 65535);
    };
    Rgba r(w, h);
    for (int i = 0; i < w * h; ++i, p += 2 * depth) {
        uint8_t* q = r.pixels.data() + 4 * static_cast<size_t>(i);
        if (depth <= 2) {
            q[0] = q[1] = q[2] = sample(0);
            if (depth == 2) q[3] = sample(1);
        } else {
            q[0] = sample(0), q[1] = sample(1), q[2] = sample(2);
            if (depth == 4) q[3] = sample(3);
        }
    }
    return r;
}

// ImageMagick's decode of a file as sRGB RGBA, taken at 16 bits
// and rounded to 8: its own reduction to 8 bits cuts rather than rounds.
inline Rgba MagickDecode(const std::string& path) {
    std::string out;
    // Without -colorspace, a HEIF picture comes out as its YCbCr values and CMYK as CMYK.
    if (Run("convert '" + path + "' -colorspace sRGB -depth 16 pam:-", &out) != 0) return Rgba{};
    return MagickDecodeOf(out);
}

// Loads a picture file as the show does; returns CDIB::Load's result (1 read, 0 refused).
inline int LoadPicture(kv::CDIB& image, const std::string& path, bool upright,
                       std::vector<std::string>* alerts = nullptr) {
    AlertRecorder recorder;
    kv::FileSpec file;
    file.SetPath(path.c_str());
    image.uprightOrientation = upright;
    const int result = image.Load(file, kv::FileSpec{}, true);
    if (alerts) *alerts = recorder.texts;
    return result;
}

// Puts an EXIF block holding only the orientation into a JPEG, after its JFIF segment.
inline bool AddExifOrientation(const std::string& path, int orientation) {
    std::string jpg = ReadFileBytes(path);
    if (jpg.size() < 4 || static_cast<uint8_t>(jpg[0]) != 0xFF) return false;
    size_t at = 2;
    if (static_cast<uint8_t>(jpg[2]) == 0xFF && static_cast<uint8_t>(jpg[3]) == 0xE0)
        at = 4 + (static_cast<uint8_t>(jpg[4]) << 8 | static_cast<uint8_t>(jpg[5]));
    const std::string exif = std::string(
                                 "\xFF\xE1\x00\x22"
                                 "Exif\0\0"
                                 "MM\x00\x2A\x00\x00\x00\x08"
                                 "\x00\x01"
                                 "\x01\x12\x00\x03\x00\x00\x00\x01",
                                 28) +
                             static_cast<char>(0) + static_cast<char>(orientation) +
                             std::string(6, '\0');
    jpg.insert(at, exif);
    WriteFileBytes(path, jpg);
    return true;
}

// The centre pixel of every `size` block matches, within `tolerance`.
inline void ExpectBlockCentres(const kv::CDIB& image, const Rgba& want, int size, int tolerance) {
    ASSERT_EQ(image.Width(), want.width);
    ASSERT_EQ(image.Height(), want.height);
    for (int y = size / 2; y < want.height; y += size)
        for (int x = size / 2; x < want.width; x += size) {
            int got[4];
            PixelOf(image, x, y, got);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(got[c], want.At(x, y)[c], tolerance) << "at " << x << "," << y;
        }
}

// The picture's colours in Display P3 (D65, P3 primaries, the sRGB tone curve), and that
// profile, both made with LittleCMS.
inline Rgba ToDisplayP3(const Rgba& srgb, std::vector<uint8_t>& profile) {
#ifdef KV_TEST_HAVE_LCMS
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p3 = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsHPROFILE s = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(p3, nullptr, &size);
    profile.resize(size);
    cmsSaveProfileToMem(p3, profile.data(), &size);
    // At full precision, so that the only error is the P3 pixels' rounding to 8 bits.
    cmsHTRANSFORM t = cmsCreateTransform(s, TYPE_RGBA_16, p3, TYPE_RGBA_16,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
    std::vector<uint16_t> wide(srgb.pixels.size()), converted(srgb.pixels.size());
    for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<uint16_t>(srgb.pixels[i] * 257);
    cmsDoTransform(t, wide.data(), converted.data(),
                   static_cast<cmsUInt32Number>(srgb.width * srgb.height));
    Rgba out = srgb;
    for (size_t i = 0; i < wide.size(); ++i)
        out.pixels[i] = static_cast<uint8_t>((converted[i] * 255u + 32767u) / 65535u);
    cmsDeleteTransform(t);
    cmsCloseProfile(s);
    cmsCloseProfile(p3);
    return out;
#else
    // Builds without LittleCMS have no profiles to convert: no profile is made.
    profile.clear();
    return srgb;
#endif
}

}  // namespace kvtest
