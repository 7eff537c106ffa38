// Small helpers of the renderer tests: seeded pictures, pixel access, image comparison.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "core/picture/cdib.h"

namespace kvtest {

inline void FillRandom(kv::CDIB& image, uint32_t seed) {
    std::mt19937 rng(seed);
    const int rowBytes = image.RowBytes();
    for (int y = 0; y < image.Height(); ++y) {
        uint8_t* row = image.Row(y);
        for (int i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(rng() >> 24);
    }
}

inline void Fill(kv::CDIB& image, uint8_t value) {
    for (int y = 0; y < image.Height(); ++y)
        std::memset(image.Row(y), value, static_cast<size_t>(image.RowBytes()));
}

// Pixel (x, y) of a 24- or 32-bit image as 0xAARRGGBB (alpha 0 for 24 bits).
inline uint32_t PixelAt(const kv::CDIB& image, int x, int y) {
    const int bpp = image.BitCount() / 8;
    const uint8_t* p = image.Row(y) + x * bpp;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (bpp == 4 ? static_cast<uint32_t>(p[3]) << 24 : 0);
}

// Empty string when the pixels of a and b are equal, else where they first differ.
inline std::string FirstDifference(const kv::CDIB& a, const kv::CDIB& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount())
        return "different shapes";
    const int bytes = a.Width() * a.BitCount() / 8;
    for (int y = 0; y < a.Height(); ++y) {
        const uint8_t* p = a.Row(y);
        const uint8_t* q = b.Row(y);
        for (int i = 0; i < bytes; ++i)
            if (p[i] != q[i])
                return "row " + std::to_string(y) + " byte " + std::to_string(i) + ": " +
                       std::to_string(p[i]) + " vs " + std::to_string(q[i]);
    }
    return "";
}

inline bool RowsEqual(const kv::CDIB& a, int ya, const kv::CDIB& b, int yb) {
    return std::memcmp(a.Row(ya), b.Row(yb), static_cast<size_t>(a.Width()) * 4) == 0;
}

}  // namespace kvtest
