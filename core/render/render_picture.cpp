// The unrotated renderer: a separable box resampler in fixed point (full quality) and a
// nearest-pixel sampler (draft), plus the row selection shared by every renderer.
//
// Full quality works output row by output row. The vertical pass filters the source rows under
// the row's window into one intermediate row (8 bits a byte, normalised), restricted to the
// source columns the camera can reach; the horizontal pass then filters that row through the
// per-call column table. Rows and columns outside the picture come from precomputed matte
// pixels. The inner loops come from the kernel table (render_kernels.h).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "core/render/render_kernels.h"
#include "core/render/render_picture.h"

namespace kv {

using render_detail::ColumnTap;

namespace {

// Truncation toward zero that stays defined for NaN and huge values: such positions are far
// outside any picture (at most 8192 pixels), so any large value does.
int32_t TruncInt(float v) {
    if (v >= 1.0e9f) return 1000000000;
    if (!(v > -1.0e9f)) return -1000000000;
    return static_cast<int32_t>(v);
}

int32_t FloorInt(float v) {
    return TruncInt(std::floor(v));
}

template <typename T>
std::unique_ptr<T[]> Allocate(size_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

bool UsableImages(const CDIB& out, const CDIB& picture) {
    if (out.Empty() || out.BitCount() != 32) return false;
    if (picture.Empty()) return false;
    return picture.BitCount() == 24 || picture.BitCount() == 32;
}

void FillRow(uint8_t* row, int width, const uint8_t pixel[4]) {
    for (int j = 0; j < width; ++j) std::memcpy(row + 4 * j, pixel, 4);
}

// Every selected row is the matte: used for a camera without area (or not a number), whose
// windows would otherwise run backwards over the picture.
void FillMatte(CDIB& out, const RowRange& rows, uint8_t matteAlpha) {
    const uint8_t pixel[4] = {MatteLevel, MatteLevel, MatteLevel, matteAlpha};
    for (int r = rows.first; r <= rows.last; r += rows.step)
        FillRow(out.Row(r), out.Width(), pixel);
}

bool RenderDraft(CDIB& out, const CDIB& picture, const CameraRect& cam, const RowRange& rows) {
    const int wout = out.Width(), hout = out.Height();
    const int wsrc = picture.Width(), hsrc = picture.Height();
    const int bpp = picture.BitCount() / 8;
    const uint8_t matteAlpha = bpp == 4 ? 0 : 255;
    const uint8_t mattePixel[4] = {MatteLevel, MatteLevel, MatteLevel, matteAlpha};
    const float xstep = cam.width / static_cast<float>(wout);
    const float ystep = cam.height / static_cast<float>(hout);
    const float half = 0.5f * ystep;

    // Source column of each output column, -1 for the matte.
    auto column = Allocate<int32_t>(static_cast<size_t>(wout));
    if (!column) return false;
    for (int j = 0; j < wout; ++j) {
        const float v = cam.left + static_cast<float>(j) * xstep;
        const int32_t c = TruncInt(v);
        column[j] = (v >= 0.0f && c < wsrc) ? c : -1;
    }
    const bool leftOutside = FloorInt(cam.left) >= wsrc;
    for (int r = rows.first; r <= rows.last; r += rows.step) {
        uint8_t* dst = out.Row(r);
        float y = cam.bottom + static_cast<float>(r) * ystep;
        if (rows.line == LineAllHalf) y = y + half;
        const int32_t p = TruncInt(y);
        const int32_t q = TruncInt(y + ystep);
        if (p < 0 || q > hsrc - 2 || leftOutside) {
            FillRow(dst, wout, mattePixel);
            continue;
        }
        const uint8_t* src = picture.Row(p);
        for (int j = 0; j < wout; ++j, dst += 4) {
            const int32_t c = column[j];
            if (c < 0) {
                std::memcpy(dst, mattePixel, 4);
                continue;
            }
            const uint8_t* s = src + static_cast<size_t>(c) * static_cast<size_t>(bpp);
            dst[0] = s[0];
            dst[1] = s[1];
            dst[2] = s[2];
            dst[3] = bpp == 4 ? s[3] : 255;
        }
    }
    return true;
}

bool RenderFull(CDIB& out, const CDIB& picture, const CameraRect& cam, const RowRange& rows) {
    const int wout = out.Width(), hout = out.Height();
    const int wsrc = picture.Width(), hsrc = picture.Height();
    const int bpp = picture.BitCount() / 8;
    const uint8_t matteAlpha = bpp == 4 ? 0 : 255;
    const float xstep = cam.width / static_cast<float>(wout);
    const float ystep = cam.height / static_cast<float>(hout);
    const float half = 0.5f * ystep;

    // Working buffer: the intermediate row (two matte pixels past the picture's last column
    // and spare bytes for vector loads), the column table and the finished matte row.
    const size_t interBytes = static_cast<size_t>(wsrc + 2) * static_cast<size_t>(bpp) + 128;
    auto inter = Allocate<uint8_t>(interBytes);
    auto cols = Allocate<ColumnTap>(static_cast<size_t>(wout));
    auto matteRow = Allocate<uint8_t>(static_cast<size_t>(wout) * 4);
    if (!inter || !cols || !matteRow) return false;
    std::memset(inter.get(), MatteLevel, interBytes);

    // Column table, once per call. The reach of the taps widens the vertical pass's column
    // range only where single-precision rounding would let a tap fall outside it.
    int32_t minTap = wsrc, maxTap = -1;
    for (int j = 0; j < wout; ++j) {
        const float v = cam.left + static_cast<float>(j) * xstep;
        const float e = v + xstep;
        const int32_t m = TruncInt(v);
        const int32_t o = TruncInt(e);
        ColumnTap& c = cols[j];
        c.first = static_cast<uint8_t>(TruncInt((1.0f - (v - static_cast<float>(m))) * 256.0f));
        c.last = static_cast<uint8_t>(TruncInt((e - static_cast<float>(o)) * 256.0f));
        const int64_t span = static_cast<int64_t>(o) - m;
        const int64_t total = span * 256 + c.first + c.last;
        const int64_t norm = total > 0 ? (int64_t{1} << 20) / total : 0;
        c.m = m;
        c.span = static_cast<int32_t>(span);
        c.norm = static_cast<int32_t>(norm);
        c.matte = (m < 0 || o >= wsrc) ? 1 : 0;
        c.weights = static_cast<int32_t>(c.first | (c.last << 16));
        c.offset = c.matte ? 0 : m * bpp;
        c.offsetEnd = c.matte ? 0 : (o + 1) * bpp;
        c.pad = 0;
        // Every tap the matte: 17 in each colour byte, the matte's alpha.
        const auto level = static_cast<uint8_t>((MatteLevel * total * norm) >> 20);
        c.mattePixel[0] = c.mattePixel[1] = c.mattePixel[2] = level;
        c.mattePixel[3] = matteAlpha;
        std::memcpy(matteRow.get() + 4 * j, c.mattePixel, 4);
        if (!c.matte) {
            minTap = std::min(minTap, m);
            maxTap = std::max(maxTap, o + 1);
        }
    }
    // Intermediate pixels at and beyond the picture's last column are the matte.
    uint8_t* matteTail = inter.get() + static_cast<size_t>(wsrc - 1) * static_cast<size_t>(bpp);
    for (int k = 0; k < 2; ++k, matteTail += bpp)
        if (bpp == 4) matteTail[3] = matteAlpha;

    int32_t lo = std::max(0, FloorInt(cam.left));
    int32_t hi = std::min(wsrc - 2, FloorInt(cam.left + cam.width + 16.0f) - 1);
    if (maxTap >= 0) {
        lo = std::min(lo, minTap);
        hi = std::max(hi, std::min(maxTap, wsrc - 2));
    }
    const bool leftOutside = FloorInt(cam.left) >= wsrc;
    const int nBytes = hi >= lo ? (hi - lo + 1) * bpp : 0;

    const render_detail::KernelTable& kernels = render_detail::Kernels();
    const auto vertical = kernels.verticalPass;
    const auto horizontal = kernels.horizontalPass;
    // The gathering kernel takes the columns eight at a time when they are narrow enough.
    render_detail::ColumnPlan plan;
    std::unique_ptr<int32_t[], void (*)(int32_t*)> planStorage(
        nullptr, [](int32_t* p) { ::operator delete[](p, std::align_val_t{32}); });
    if (kernels.horizontalGather) {
        const size_t n = render_detail::ColumnPlanStorage(wout);
        planStorage.reset(static_cast<int32_t*>(
            ::operator new[](n * sizeof(int32_t), std::align_val_t{32}, std::nothrow)));
        if (!planStorage) return false;
        render_detail::BuildColumnPlan(cols.get(), wout, bpp, planStorage.get(), plan);
    }
    constexpr int MidInline = 64;
    const uint8_t* midInline[MidInline];
    std::unique_ptr<const uint8_t*[]> midHeap;
    constexpr int MaxAhead = 16;
    const uint8_t* aheadRows[MaxAhead];

    for (int r = rows.first; r <= rows.last; r += rows.step) {
        uint8_t* dst = out.Row(r);
        float y = cam.bottom + static_cast<float>(r) * ystep;
        if (rows.line == LineAllHalf) y = y + half;
        const float ey = y + ystep;
        const int32_t p = TruncInt(y);
        const int32_t q = TruncInt(ey);
        if (p < 0 || q > hsrc - 2 || leftOutside) {
            std::memcpy(dst, matteRow.get(), static_cast<size_t>(wout) * 4);
            continue;
        }
        const int32_t wP = TruncInt((1.0f - (y - static_cast<float>(p))) * 256.0f);
        const int32_t wQ = TruncInt((ey - static_cast<float>(q)) * 256.0f);
        const int32_t nMid = std::max(q - p - 1, 0);
        const int32_t sumW = nMid * 256 + wP + wQ;
        const int32_t norm = sumW > 0 ? (1 << 20) / sumW : 0;
        if (nBytes > 0) {
            const uint8_t** mid = midInline;
            if (nMid > MidInline) {
                midHeap = Allocate<const uint8_t*>(static_cast<size_t>(nMid));
                if (!midHeap) return false;
                mid = midHeap.get();
            }
            const size_t offset = static_cast<size_t>(lo) * static_cast<size_t>(bpp);
            for (int k = 0; k < nMid; ++k) mid[k] = picture.Row(p + 1 + k) + offset;
            // The rows past q that the next output row's window reaches (a hint only: the
            // next row recomputes its own window exactly).
            render_detail::RowsAhead ahead;
            if (r + rows.step <= rows.last) {
                float yNext = cam.bottom + static_cast<float>(r + rows.step) * ystep;
                if (rows.line == LineAllHalf) yNext = yNext + half;
                const int32_t from = std::max(q + 1, TruncInt(yNext));
                const int32_t to = std::min(TruncInt(yNext + ystep), hsrc - 1);
                for (int32_t row = from; row <= to && ahead.count < MaxAhead; ++row)
                    aheadRows[ahead.count++] = picture.Row(row) + offset;
                ahead.rows = aheadRows;
            }
            vertical(picture.Row(p) + offset, wP, picture.Row(q) + offset, wQ, mid, nMid, norm,
                     inter.get() + offset, nBytes, ahead);
        }
        if (plan.taps > 0)
            kernels.horizontalGather(inter.get(), bpp, plan, wout, dst);
        else
            horizontal(inter.get(), bpp, cols.get(), wout, dst);
    }
    return true;
}

}  // namespace

RowRange BandRows(int outHeight, int band, int line, int bandOffset) {
    RowRange rows;
    const bool fields = line == LineEven || line == LineOdd;
    const int digit = line == LineOdd ? 1 : 0;
    rows.step = fields ? 2 : 1;
    rows.line = line;
    const int middle = outHeight / 2;
    switch (band) {
        case 1:
            rows.first = digit;
            rows.last = std::min(middle, outHeight - 1);
            break;
        case 2: {
            // Offsets are 0 or 1 in practice; larger ones only empty or fill the band.
            const int offset = std::clamp(bandOffset, -outHeight, outHeight);
            rows.first = middle + offset + digit;
            rows.last = outHeight - 1;
            // A row that band 1 writes (the middle row with offset 0) stays band 1's.
            if (rows.first <= middle && (!fields || (rows.first & 1) == digit))
                while (rows.first <= middle) rows.first += rows.step;
            while (rows.first < 0) rows.first += rows.step;
            break;
        }
        default:
            rows.first = digit;
            rows.last = outHeight - 1;
            break;
    }
    return rows;
}

bool RenderPicture(CDIB& out, const CDIB& picture, const CameraRect& cam, int quality, int band,
                   int line, int bandOffset) {
    if (picture.rotationInUse)
        return RenderRotated(out, picture, cam, quality, band, line, bandOffset);
    if (!UsableImages(out, picture)) return false;
    const RowRange rows = BandRows(out.Height(), band, line, bandOffset);
    if (!(cam.width > 0.0f && cam.height > 0.0f)) {
        FillMatte(out, rows, picture.BitCount() == 32 ? 0 : 255);
        return true;
    }
    if (quality == QualityDraft) return RenderDraft(out, picture, cam, rows);
    return RenderFull(out, picture, cam, rows);
}

}  // namespace kv
