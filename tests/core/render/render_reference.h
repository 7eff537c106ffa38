// A plain reference of the picture renderers, written straight from the algorithm: one pixel
// at a time, 64-bit sums, no tables shared with the production code, its own row selection.
// The production renderer (core/render) must produce the same bytes for every input.
//
// Where the algorithm leaves a value undefined the reference poisons it, so that a production
// path that reads it shows up as a mismatch: intermediate columns outside the range the
// vertical pass fills are 0xCD.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/picture/cdib.h"

namespace kvref {

struct Camera {
    float left, bottom, W, H, rotation, tiltA, tiltB;
};

// Windows whose weights sum to more than 2^20 (2^16 over a picture above 8192 pixels a side)
// are divided by their weight instead of being multiplied by floor(2^20 / weight).
inline int64_t WideWeight(const kv::CDIB& pic) {
    return pic.Width() > 8192 || pic.Height() > 8192 ? int64_t{1} << 16 : int64_t{1} << 20;
}

inline int32_t Trunc(float v) {
    if (v >= 1.0e9f) return 1000000000;
    if (!(v > -1.0e9f)) return -1000000000;
    return static_cast<int32_t>(v);
}

// Whether a render of `band` with line code `line` writes output row r.
inline bool WritesRow(int r, int hout, int band, int line, int offset) {
    const bool fields = line == 10 || line == 11;
    const int digit = line == 11 ? 1 : 0;
    const int middle = hout / 2;
    auto band1 = [&](int row) { return row <= middle && (!fields || row % 2 == digit); };
    if (band == 1) return band1(r);
    if (band == 2) {
        const int start = middle + offset + digit;
        if (r < start) return false;
        if (fields && (r - start) % 2 != 0) return false;
        return !band1(r);  // the middle row with offset 0 is band 1's
    }
    return !fields || r % 2 == digit;
}

inline void Put(kv::CDIB& out, int r, int j, int b, int g, int rd, int a) {
    uint8_t* p = out.Row(r) + 4 * j;
    p[0] = static_cast<uint8_t>(b);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(rd);
    p[3] = static_cast<uint8_t>(a);
}

inline void RenderRotated(kv::CDIB& out, const kv::CDIB& pic, const Camera& c, int quality,
                          int band, int line, int offset) {
    const int wout = out.Width(), hout = out.Height();
    const int wsrc = pic.Width(), hsrc = pic.Height();
    const int bpp = pic.BitCount() / 8;
    const int matteA = bpp == 4 ? 0 : 255;
    const float P = c.tiltB / 90.0f * c.W * 0.25f;
    const float Q = c.tiltA / 90.0f * c.H * 0.25f;
    const float cx = c.left + c.W / 2.0f, cy = c.bottom + c.H / 2.0f;
    const float th = c.rotation * 0.0174532f;
    const float co = std::cos(th), si = std::sin(th);
    const float fw = static_cast<float>(wout), fh = static_cast<float>(hout);
    auto spacing = [](float v) {
        float f = std::fabs(std::floor(v));
        if (!(f < 65536.0f)) f = 65536.0f;
        return std::max(1, static_cast<int>(f));
    };
    const int gy = spacing((c.H - 2.0f * Q) / fh * 0.5f);
    for (int r = 0; r < hout; ++r) {
        if (!WritesRow(r, hout, band, line, offset)) continue;
        const float fr = static_cast<float>(r);
        const float s = fr * (2.0f * P) / fh;
        const float xL = c.left - P + s;
        const float xR = xL + c.W + 2.0f * P - 2.0f * s;
        float yL = c.bottom + Q + fr * (c.H - 2.0f * Q) / fh;
        float yR = c.bottom - Q + fr * (c.H + 2.0f * Q) / fh;
        if (line == 1) {
            yL = yL + 0.5f * (c.H / fh);
            yR = yR + 0.5f * (c.H / fh);
        }
        const float sxL = cx + (xL - cx) * co + (yL - cy) * si;
        const float syL = cy + (yL - cy) * co - (xL - cx) * si;
        const float sxR = cx + (xR - cx) * co + (yR - cy) * si;
        const float syR = cy + (yR - cy) * co - (xR - cx) * si;
        const int gx = spacing((xR - xL) / fw * 0.5f);
        for (int j = 0; j < wout; ++j) {
            const float sx = sxL + static_cast<float>(j) * ((sxR - sxL) / fw);
            const float sy = syL + static_cast<float>(j) * ((syR - syL) / fw);
            const bool matte =
                !(sx >= static_cast<float>(gx)) || !(sx <= static_cast<float>(wsrc - gx - 1)) ||
                !(sy >= static_cast<float>(gy)) || !(sy <= static_cast<float>(hsrc - gy - 1));
            if (matte) {
                Put(out, r, j, 17, 17, 17, matteA);
                continue;
            }
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            auto px = [&](int x, int y, int ch) {
                return static_cast<float>(pic.Row(y)[x * bpp + ch]);
            };
            int v[4] = {0, 0, 0, 255};
            for (int ch = 0; ch < bpp; ++ch) {
                if (quality == 0) {
                    v[ch] = static_cast<int>(px(x0, y0, ch));
                    continue;
                }
                const float fx = sx - std::floor(sx), fy = sy - std::floor(sy);
                const float t00 = px(x0, y0, ch), t10 = px(x0 + gx, y0, ch);
                const float t01 = px(x0, y0 + gy, ch), t11 = px(x0 + gx, y0 + gy, ch);
                const float a = t00 + (t10 - t00) * fx;
                const float b = t01 + (t11 - t01) * fx;
                v[ch] = static_cast<int>(a + (b - a) * fy);
            }
            Put(out, r, j, v[0], v[1], v[2], v[3]);
        }
    }
}

// One output column's taps over the intermediate row: the first source column, the whole
// columns spanned, the weights of the partial first and last, their sum, and whether the column
// falls outside the picture (the matte).
struct ColumnTap {
    int64_t m, span, first, last, total;
    bool matte;
};

// The taps of every output column, and the range of intermediate columns [lo, hi] that the
// renderer fills from the picture (the rest it leaves unset).
inline std::vector<ColumnTap> ColumnTaps(const Camera& c, int wout, int wsrc, float xstep,
                                         int64_t* lo, int64_t* hi) {
    std::vector<ColumnTap> cols(static_cast<size_t>(wout));
    int64_t minTap = wsrc, maxTap = -1;
    for (int j = 0; j < wout; ++j) {
        const float v = c.left + static_cast<float>(j) * xstep;
        const float e = v + xstep;
        ColumnTap& k = cols[static_cast<size_t>(j)];
        k.m = Trunc(v);
        const int64_t o = Trunc(e);
        k.span = o - k.m;
        k.first = Trunc((1.0f - (v - static_cast<float>(k.m))) * 256.0f) & 255;  // 256 -> 0
        k.last = Trunc((e - static_cast<float>(o)) * 256.0f) & 255;
        k.total = k.span * 256 + k.first + k.last;
        k.matte = k.m < 0 || o >= wsrc;
        if (!k.matte) {
            minTap = std::min(minTap, k.m);
            maxTap = std::max(maxTap, o + 1);
        }
    }
    *lo = std::max<int64_t>(0, Trunc(std::floor(c.left)));
    *hi = std::min<int64_t>(wsrc - 2, Trunc(std::floor(c.left + c.W + 16.0f)) - 1);
    if (maxTap >= 0) {
        *lo = std::min(*lo, minTap);
        *hi = std::max(*hi, std::min<int64_t>(maxTap, wsrc - 2));
    }
    return cols;
}

// Quality 0: each output pixel is the source pixel at its corner, or the matte.
inline void NearestRow(kv::CDIB& out, const kv::CDIB& pic, const Camera& c, int r, float y,
                       float xstep, float ystep, bool leftOutside) {
    const int wout = out.Width(), wsrc = pic.Width(), hsrc = pic.Height();
    const int bpp = pic.BitCount() / 8;
    const int matteA = bpp == 4 ? 0 : 255;
    const int64_t p = Trunc(y), q = Trunc(y + ystep);
    const bool matteRow = p < 0 || q > hsrc - 2 || leftOutside;
    for (int j = 0; j < wout; ++j) {
        const float pos = c.left + static_cast<float>(j) * xstep;
        const int64_t sxi = Trunc(pos);
        if (matteRow || !(pos >= 0.0f) || sxi >= wsrc) {
            Put(out, r, j, 17, 17, 17, matteA);
            continue;
        }
        const uint8_t* s = pic.Row(static_cast<int>(p)) + sxi * bpp;
        Put(out, r, j, s[0], s[1], s[2], bpp == 4 ? s[3] : 255);
    }
}

// The intermediate row for source rows y .. ey: columns 0 .. wsrc + 1, four values each (alpha
// last), averaged down the rows; matte outside the picture, 0xCD outside [lo, hi].
inline void IntermediateRow(const kv::CDIB& pic, float y, float ey, bool leftOutside, int64_t lo,
                            int64_t hi, std::vector<int64_t>& inter) {
    const int wsrc = pic.Width(), hsrc = pic.Height();
    const int bpp = pic.BitCount() / 8;
    const int64_t p = Trunc(y), q = Trunc(ey);
    const bool matteRow = p < 0 || q > hsrc - 2 || leftOutside;
    for (int64_t col = 0; col < wsrc + 2; ++col) {
        int64_t* t = &inter[static_cast<size_t>(col) * 4];
        if (matteRow || col >= wsrc - 1) {
            t[0] = t[1] = t[2] = 17;
            t[3] = 0;
            continue;
        }
        if (col < lo || col > hi) {
            t[0] = t[1] = t[2] = t[3] = 0xCD;
            continue;
        }
        const int64_t first = Trunc((1.0f - (y - static_cast<float>(p))) * 256.0f);
        const int64_t last = Trunc((ey - static_cast<float>(q)) * 256.0f);
        const int64_t sumW = std::max<int64_t>(q - p - 1, 0) * 256 + first + last;
        const int64_t norm = sumW > 0 ? (int64_t{1} << 20) / sumW : 0;
        for (int ch = 0; ch < bpp; ++ch) {
            auto s = [&](int64_t row) {
                return static_cast<int64_t>(pic.Row(static_cast<int>(row))[col * bpp + ch]);
            };
            int64_t sum = first * s(p) + last * s(q);
            for (int64_t k = p + 1; k <= q - 1; ++k) sum += 256 * s(k);
            t[ch] = sumW > WideWeight(pic) ? sum / sumW : (sum * norm) >> 20;
        }
    }
}

// Output row r from the intermediate row, each column averaged over its taps.
inline void ColumnPass(kv::CDIB& out, const kv::CDIB& pic, int r,
                       const std::vector<ColumnTap>& cols, const std::vector<int64_t>& inter) {
    const int bpp = pic.BitCount() / 8;
    for (int j = 0; j < out.Width(); ++j) {
        const ColumnTap& k = cols[static_cast<size_t>(j)];
        const int64_t norm = k.total > 0 ? (int64_t{1} << 20) / k.total : 0;
        int64_t v[4] = {0, 0, 0, 0};
        for (int ch = 0; ch < 4; ++ch) {
            int64_t sum = 0;
            for (int64_t tap = 0; tap <= k.span + 1; ++tap) {
                const int64_t w = tap == 0 ? k.first : tap == k.span + 1 ? k.last : 256;
                const int64_t value =
                    k.matte ? (ch < 3 ? 17 : 0) : inter[static_cast<size_t>(k.m + tap) * 4 + ch];
                sum += w * value;
            }
            v[ch] = k.total > WideWeight(pic) ? sum / k.total : (sum * norm) >> 20;
        }
        Put(out, r, j, static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
            bpp == 4 ? static_cast<int>(v[3]) : 255);
    }
}

inline void RenderPicture(kv::CDIB& out, const kv::CDIB& pic, const Camera& c, int quality,
                          int band, int line, int offset) {
    if (pic.rotationInUse) return RenderRotated(out, pic, c, quality, band, line, offset);
    const int wout = out.Width(), hout = out.Height();
    const int wsrc = pic.Width();
    const int matteA = pic.BitCount() / 8 == 4 ? 0 : 255;
    if (!(c.W > 0.0f && c.H > 0.0f)) {  // a camera without area shows only the matte
        for (int r = 0; r < hout; ++r)
            if (WritesRow(r, hout, band, line, offset))
                for (int j = 0; j < wout; ++j) Put(out, r, j, 17, 17, 17, matteA);
        return;
    }
    const float xstep = c.W / static_cast<float>(wout);
    const float ystep = c.H / static_cast<float>(hout);
    const bool leftOutside = Trunc(std::floor(c.left)) >= wsrc;
    int64_t lo = 0, hi = 0;
    const std::vector<ColumnTap> cols = ColumnTaps(c, wout, wsrc, xstep, &lo, &hi);
    std::vector<int64_t> inter(static_cast<size_t>(wsrc + 2) * 4);
    for (int r = 0; r < hout; ++r) {
        if (!WritesRow(r, hout, band, line, offset)) continue;
        float y = c.bottom + static_cast<float>(r) * ystep;
        if (line == 1) y = y + 0.5f * ystep;
        if (quality == 0) {
            NearestRow(out, pic, c, r, y, xstep, ystep, leftOutside);
            continue;
        }
        IntermediateRow(pic, y, y + ystep, leftOutside, lo, hi, inter);
        ColumnPass(out, pic, r, cols, inter);
    }
}

}  // namespace kvref
