// Frames for the Motion JPEG and colour conversion tests: bottom-up 32-bit rows of seeded
// noise over smooth ramps (noise alone compresses like no picture does; ramps alone hide faults
// in the chroma), with rows padded past the pixels when asked so that the row step matters.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace kvtest {

struct TestFrame {
    int w = 0, h = 0, rowBytes = 0;
    std::vector<uint8_t> bits;  // bottom row first

    TestFrame(int width, int height, uint32_t seed, int padding = 0)
        : w(width),
          h(height),
          rowBytes(width * 4 + padding),
          bits(static_cast<size_t>(rowBytes) * height) {
        std::mt19937 rng(seed);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = bits.data() + static_cast<size_t>(y) * rowBytes;
            for (int x = 0; x < w; ++x) {
                const int n = static_cast<int>(rng() % 48) - 24;
                const int b = x * 255 / (w > 1 ? w - 1 : 1);
                const int g = y * 255 / (h > 1 ? h - 1 : 1);
                const int r = (x + y) * 255 / (w + h);
                row[x * 4 + 0] = Clamp(b + n);
                row[x * 4 + 1] = Clamp(g - n);
                row[x * 4 + 2] = Clamp(r + n / 2);
                row[x * 4 + 3] = static_cast<uint8_t>(rng());
            }
            for (int p = w * 4; p < rowBytes; ++p) row[p] = static_cast<uint8_t>(rng());
        }
    }
    const uint8_t* Row(int y) const { return bits.data() + static_cast<size_t>(y) * rowBytes; }

    static uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }
};

// The frame sizes whose JPEG bytes are compared between runs: whole and partial 16 x 8 blocks.
constexpr int kJpegSizes[][2] = {{720, 480}, {33, 17}, {1, 1}, {130, 7}, {64, 9}};

}  // namespace kvtest
