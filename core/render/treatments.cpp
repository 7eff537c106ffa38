// Picture treatments: the nearest-neighbour rescale with border, the pre-blur, the colour tint,
// brightness and contrast, video-safe levels and the cosine blend used by motion blur.
//
// Every treatment works in place on a CDIB's rows (bottom-up) and touches bytes 0, 1 and 2 of
// each pixel (blue, green, red); alpha is left alone except where noted. The arithmetic is fixed
// (integer HLS, single-precision gains) because prepared pictures and rendered frames are
// compared bit for bit between builds.
#include "core/render/treatments.h"

#include <algorithm>
#include <cmath>

namespace kv {

namespace {

// The colour treatments work on 24- and 32-bit images only.
bool IsTrueColour(const CDIB& image) {
    return !image.Empty() && (image.BitCount() == 24 || image.BitCount() == 32);
}

struct Bgra {
    uint8_t b, g, r, a;
};

Bgra ReadSourcePixel(const CDIB& src, const uint8_t* row, int x) {
    switch (src.BitCount()) {
        case 8: {
            const RgbQuad& q = src.ColorTable()[row[x]];
            return {q.blue, q.green, q.red, 0};
        }
        case 16: {
            // The neighbouring fields' bits are deliberately not masked off: 0x7FFF gives
            // 255, 255, 248 rather than 248, 248, 248.
            const uint32_t w =
                static_cast<uint32_t>(row[2 * x]) | (static_cast<uint32_t>(row[2 * x + 1]) << 8);
            return {static_cast<uint8_t>(w << 3), static_cast<uint8_t>(w >> 2),
                    static_cast<uint8_t>(w >> 7), 0};
        }
        case 24: {
            const uint8_t* p = row + 3 * x;
            return {p[0], p[1], p[2], 0};
        }
        case 32: {
            const uint8_t* p = row + 4 * x;
            return {p[0], p[1], p[2], p[3]};
        }
        default:
            return {0, 0, 0, 0};
    }
}

void WritePixel(int bitCount, uint8_t* row, int x, Bgra c) {
    switch (bitCount) {
        case 16: {
            const uint32_t w = ((c.r & 248u) << 7) | ((c.g & 248u) << 2) | (c.b >> 3);
            row[2 * x] = static_cast<uint8_t>(w);
            row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
            break;
        }
        case 24: {
            uint8_t* p = row + 3 * x;
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            break;
        }
        case 32: {
            uint8_t* p = row + 4 * x;
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = c.a;
            break;
        }
        default:
            break;
    }
}

// --- Hue, lightness, saturation on a 0..240 scale (integer, truncating) -------------------

constexpr int HlsMax = 240;
constexpr int RgbMax = 255;

struct Hls {
    int h, l, s;
};

Hls ToHls(int r, int g, int b) {
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    Hls out{0, ((mx + mn) * HlsMax + RgbMax) / (2 * RgbMax), 0};
    if (mx == mn) return out;
    const int spread = mx - mn;
    const int d = out.l <= HlsMax / 2 ? mx + mn : 2 * RgbMax - mx - mn;
    out.s = (spread * HlsMax + d / 2) / d;
    const int dr = ((mx - r) * (HlsMax / 6) + spread / 2) / spread;
    const int dg = ((mx - g) * (HlsMax / 6) + spread / 2) / spread;
    const int db = ((mx - b) * (HlsMax / 6) + spread / 2) / spread;
    if (r == mx)
        out.h = db - dg;
    else if (g == mx)
        out.h = dr - db + HlsMax / 3;
    else
        out.h = dg - dr + 2 * HlsMax / 3;
    if (out.h < 0) out.h += HlsMax;
    if (out.h > HlsMax) out.h -= HlsMax;
    return out;
}

int HueToValue(int m1, int m2, int h) {
    if (h < 0) h += HlsMax;
    if (h > HlsMax) h -= HlsMax;
    if (h < HlsMax / 6) return m1 + ((m2 - m1) * h + HlsMax / 12) / (HlsMax / 6);
    if (h < HlsMax / 2) return m2;
    if (h < 2 * HlsMax / 3)
        return m1 + ((m2 - m1) * (2 * HlsMax / 3 - h) + HlsMax / 12) / (HlsMax / 6);
    return m1;
}

uint8_t ToByte(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

void FromHls(const Hls& c, uint8_t& r, uint8_t& g, uint8_t& b) {
    const int m2 = c.l <= HlsMax / 2 ? (c.l * (HlsMax + c.s) + HlsMax / 2) / HlsMax
                                     : c.l + c.s - (c.l * c.s + HlsMax / 2) / HlsMax;
    const int m1 = 2 * c.l - m2;
    r = ToByte((HueToValue(m1, m2, c.h + HlsMax / 3) * RgbMax + HlsMax / 2) / HlsMax);
    g = ToByte((HueToValue(m1, m2, c.h) * RgbMax + HlsMax / 2) / HlsMax);
    b = ToByte((HueToValue(m1, m2, c.h - HlsMax / 3) * RgbMax + HlsMax / 2) / HlsMax);
}

}  // namespace

bool ConvertInto(const CDIB& src, CDIB* dest, uint32_t colour, int32_t border) {
    if (!dest || dest->Empty() || src.Empty()) return false;
    const int srcW = src.Width();
    const int srcH = src.Height();
    const int dw = dest->Width();
    const int dh = dest->Height();
    if (src.BitCount() == dest->BitCount() && srcW == dw && srcH == dh && border == 0)
        return src.CopyTo(dest, false);

    if (border < 0) border = 0;
    const int innerW = dw - 2 * border;
    const int innerH = dh - 2 * border;
    const float xscale = innerW > 0 ? static_cast<float>(srcW) / static_cast<float>(innerW) : 0.f;
    const float yscale = innerH > 0 ? static_cast<float>(srcH) / static_cast<float>(innerH) : 0.f;
    const Bgra matte{static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                     static_cast<uint8_t>(colour), 0};
    const int destBits = dest->BitCount();

    for (int y = 0; y < dh; ++y) {
        uint8_t* out = dest->Row(y);
        const bool borderRow = y < border || y >= dh - border;
        const uint8_t* in = nullptr;
        if (!borderRow) {
            // Single-precision products can round up to the size itself; stay inside.
            int sy = static_cast<int>(static_cast<float>(y - border) * yscale);
            in = src.Row(std::clamp(sy, 0, srcH - 1));
        }
        for (int x = 0; x < dw; ++x) {
            if (borderRow || x < border || x >= dw - border) {
                WritePixel(destBits, out, x, matte);
                continue;
            }
            int sx = static_cast<int>(static_cast<float>(x - border) * xscale);
            WritePixel(destBits, out, x, ReadSourcePixel(src, in, std::clamp(sx, 0, srcW - 1)));
        }
    }
    return true;
}

void Blur3x3(CDIB& image) {
    if (!IsTrueColour(image)) return;
    const int w = image.Width();
    const int h = image.Height();
    const int bpp = image.BitCount() / 8;
    // In place: the row below and the left neighbour are read after they have been blurred.
    for (int y = 1; y < h - 1; ++y) {
        const uint8_t* below = image.Row(y - 1);
        uint8_t* row = image.Row(y);
        const uint8_t* above = image.Row(y + 1);
        for (int x = 1; x < w - 1; ++x) {
            const int l = (x - 1) * bpp, c = x * bpp, r = (x + 1) * bpp;
            for (int k = 0; k < 3; ++k) {
                const int sum = below[l + k] + 2 * below[c + k] + below[r + k] + 2 * row[l + k] +
                                4 * row[c + k] + 2 * row[r + k] + above[l + k] + 2 * above[c + k] +
                                above[r + k];
                row[c + k] = static_cast<uint8_t>(sum / 16);
            }
        }
    }
}

void Tint(CDIB& image, uint32_t colour) {
    if (!IsTrueColour(image)) return;
    const Hls tint = ToHls(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                           static_cast<int>((colour >> 16) & 0xFF));
    const int w = image.Width();
    const int h = image.Height();
    const int bpp = image.BitCount() / 8;
    for (int y = 0; y < h; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < w; ++x, p += bpp) {
            Hls c = ToHls(p[2], p[1], p[0]);
            c.h = tint.h;
            c.s = tint.s;
            FromHls(c, p[2], p[1], p[0]);
        }
    }
}

void BrightnessContrast(CDIB& image, int32_t contrast, int32_t brightness) {
    if (!IsTrueColour(image)) return;
    const auto gain = static_cast<float>(contrast / 50.0);
    const auto offset =
        static_cast<float>((brightness - 50) / 50.0 * 92.0 - (contrast - 50) / 50.0 * 128.0);
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) {
        const float f = static_cast<float>(v) * gain + offset;
        table[v] = f >= 255.f ? 255 : f <= 0.f ? 0 : static_cast<uint8_t>(f);
    }
    const int w = image.Width();
    const int h = image.Height();
    const int bpp = image.BitCount() / 8;
    for (int y = 0; y < h; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < w; ++x, p += bpp) {
            p[0] = table[p[0]];
            p[1] = table[p[1]];
            p[2] = table[p[2]];
        }
    }
}

void VideoSafe(CDIB& image) {
    if (!IsTrueColour(image)) return;
    const int w = image.Width();
    const int h = image.Height();
    const int bpp = image.BitCount() / 8;
    // Whether any colour byte lies outside 18..234; each row is looked at whole (a loop without
    // an early exit, which the compiler turns into vector code) and the scan stops at the
    // first row that has one.
    bool outside = false;
    for (int y = 0; y < h && !outside; ++y) {
        const uint8_t* p = image.Row(y);
        unsigned found = 0;
        if (bpp == 3) {
            for (int i = 0; i < 3 * w; ++i)
                found |= static_cast<uint8_t>(p[i] - 18) > 216 ? 1u : 0u;
        } else {
            for (int i = 0; i < 4 * w; ++i)
                found |= (i & 3) != 3 && static_cast<uint8_t>(p[i] - 18) > 216 ? 1u : 0u;
        }
        outside = found != 0;
    }
    if (!outside) return;
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>((v + 18) * 86 / 100);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < w; ++x, p += bpp) {
            p[0] = table[p[0]];
            p[1] = table[p[1]];
            p[2] = table[p[2]];
        }
    }
}

void Blend(CDIB& image, const CDIB& other, float t) {
    if (!IsTrueColour(image) || !IsTrueColour(other)) return;
    const float w = (1.0f - std::cos(t * 3.1414f)) / 2.0f;
    const float wo = 1.0f - w;
    const int bppA = image.BitCount() / 8;
    const int bppB = other.BitCount() / 8;
    const int bytes = bppA == 4 && bppB == 4 ? 4 : 3;
    // Images of different sizes blend over their common part only.
    const int width = std::min(image.Width(), other.Width());
    const int height = std::min(image.Height(), other.Height());
    for (int y = 0; y < height; ++y) {
        uint8_t* p = image.Row(y);
        const uint8_t* q = other.Row(y);
        for (int x = 0; x < width; ++x, p += bppA, q += bppB) {
            for (int k = 0; k < bytes; ++k) {
                const float v = static_cast<float>(q[k]) * wo + static_cast<float>(p[k]) * w;
                p[k] = static_cast<uint8_t>(v);
            }
        }
    }
}

}  // namespace kv
