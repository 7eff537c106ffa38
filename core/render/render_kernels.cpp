// The kernel table and the portable kernels of the box resampler. The table is chosen once, at
// first use: the AVX2 kernels where the build compiled them (x86-64, not KV_PORTABLE_KERNELS) and
// the processor has AVX2, else the portable ones. Both compute exactly the same integers.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/render/render_kernels.h"
#include "core/render/render_picture.h"

namespace kv {
namespace render_detail {

void VerticalPassPortable(const uint8_t* rowP, int32_t wP, const uint8_t* rowQ, int32_t wQ,
                          const uint8_t* const* mid, int nMid, int32_t norm, uint8_t* dst,
                          int nBytes, RowsAhead ahead) {
    for (int block = 0; block < nBytes; block += 64) {
        for (int k = 0; k < ahead.count; ++k) __builtin_prefetch(ahead.rows[k] + block);
        const int end = std::min(nBytes, block + 64);
        for (int i = block; i < end; ++i) {
            int32_t m = 0;
            for (int k = 0; k < nMid; ++k) m += mid[k][i];
            const int32_t acc = wP * rowP[i] + wQ * rowQ[i] + m * 256;
            dst[i] = static_cast<uint8_t>((acc * norm) >> 20);
        }
    }
}

void VerticalPassWide(const uint8_t* rowP, int32_t wP, const uint8_t* rowQ, int32_t wQ,
                      const uint8_t* const* mid, int nMid, int64_t sumW, uint8_t* dst, int nBytes,
                      uint32_t* scratch) {
    // Row by row into the sums (at most 65535 rows of 255 fit 32 bits), so each source row is
    // read once and in order.
    std::fill(scratch, scratch + nBytes, 0u);
    for (int k = 0; k < nMid; ++k) {
        const uint8_t* s = mid[k];
        for (int i = 0; i < nBytes; ++i) scratch[i] += s[i];
    }
    for (int i = 0; i < nBytes; ++i) {
        const int64_t acc =
            int64_t{wP} * rowP[i] + int64_t{wQ} * rowQ[i] + int64_t{scratch[i]} * 256;
        dst[i] = static_cast<uint8_t>(acc / sumW);
    }
}

namespace {

// A column heavier than WideWeight, in 64 bits and divided by its weight.
void HorizontalWideColumn(const uint8_t* inter, int bpp, const ColumnTap& c, uint8_t* out) {
    const uint8_t* t = inter + static_cast<size_t>(c.m) * static_cast<size_t>(bpp);
    const uint8_t* te = t + static_cast<size_t>(c.span + 1) * static_cast<size_t>(bpp);
    const int64_t total = int64_t{c.span} * 256 + c.first + c.last;
    const int channels = bpp == 4 ? 4 : 3;
    for (int ch = 0; ch < channels; ++ch) {
        int64_t m = 0;
        for (int k = 1; k <= c.span; ++k) m += t[static_cast<size_t>(k) * bpp + ch];
        const int64_t acc = int64_t{c.first} * t[ch] + int64_t{c.last} * te[ch] + m * 256;
        out[ch] = static_cast<uint8_t>(acc / total);
    }
    if (bpp == 3) out[3] = 255;
}

}  // namespace

void HorizontalPassPortable(const uint8_t* inter, int bpp, const ColumnTap* cols, int nCols,
                            uint8_t* out) {
    for (int j = 0; j < nCols; ++j, out += 4) {
        const ColumnTap& c = cols[j];
        if (c.matte) {
            std::memcpy(out, c.mattePixel, 4);
            continue;
        }
        if (c.wide) {
            HorizontalWideColumn(inter, bpp, c, out);
            continue;
        }
        const uint8_t* t = inter + static_cast<size_t>(c.m) * static_cast<size_t>(bpp);
        const uint8_t* te = t + static_cast<size_t>(c.span + 1) * static_cast<size_t>(bpp);
        const int channels = bpp == 4 ? 4 : 3;
        for (int ch = 0; ch < channels; ++ch) {
            int32_t m = 0;
            for (int k = 1; k <= c.span; ++k) m += t[k * bpp + ch];
            const int32_t acc = c.first * t[ch] + c.last * te[ch] + m * 256;
            out[ch] = static_cast<uint8_t>((acc * c.norm) >> 20);
        }
        if (bpp == 3) out[3] = 255;
    }
}

namespace {

void RotatedRowPortableEntry(const RotatedRow& row, const uint8_t* bits, int32_t stride, int bpp,
                             int wsrc, int hsrc, int quality, uint8_t* out, int wout) {
    RotatedRowPortable(row, bits, stride, bpp, wsrc, hsrc, quality, out, 0, wout);
}

const KernelTable* BestKernels() {
#if KV_HAVE_AVX2_KERNELS
    if (__builtin_cpu_supports("avx2")) return &Avx2KernelTable();
#endif
    return &PortableKernels();
}

// Global: chosen once at first use; only tests and benchmarks switch it back and forth (to the
// portable table and back), so it is an atomic pointer.
std::atomic<const KernelTable*>& Current() {
    static std::atomic<const KernelTable*> current{BestKernels()};
    return current;
}

}  // namespace

const KernelTable& PortableKernels() {
    static const KernelTable table{"portable", &VerticalPassPortable, &HorizontalPassPortable,
                                   nullptr, &RotatedRowPortableEntry};
    return table;
}

const KernelTable& Kernels() {
    return *Current().load(std::memory_order_relaxed);
}

size_t ColumnPlanStorage(int nCols) {
    const size_t padded = (static_cast<size_t>(nCols) + 7) / 8 * 8;
    return padded * (7 + MaxPlanTaps);
}

bool BuildColumnPlan(const ColumnTap* cols, int nCols, int bpp, int32_t* storage,
                     ColumnPlan& plan) {
    int maxSpan = 0;
    for (int j = 0; j < nCols; ++j)
        if (!cols[j].matte) maxSpan = std::max(maxSpan, cols[j].span);
    plan.taps = 0;
    if (bpp != 3 || maxSpan + 2 > MaxPlanTaps) return false;
    const int taps = maxSpan + 2;
    const int padded = (nCols + 7) / 8 * 8;
    int32_t* offset = storage;
    int32_t* offsetEnd = offset + padded;
    int32_t* norm = offsetEnd + padded;
    int32_t* edgeWeights = norm + padded;
    int32_t* groupMatte = edgeWeights + padded;
    int32_t* matte = groupMatte + padded;
    auto* mattePixel = reinterpret_cast<uint32_t*>(matte + padded);
    int32_t* middle = matte + 2 * padded;
    for (int j = 0; j < padded; ++j) {
        const bool real = j < nCols;
        const bool isMatte = !real || cols[j].matte;
        const ColumnTap* c = real ? &cols[j] : nullptr;
        offset[j] = isMatte ? 0 : c->m * bpp;
        offsetEnd[j] = isMatte ? 0 : (c->m + c->span + 1) * bpp;
        norm[j] = isMatte ? 0 : c->norm;
        edgeWeights[j] = isMatte ? 0 : c->weights;
        matte[j] = isMatte ? -1 : 0;
        if (j % 8 == 0) groupMatte[j / 8] = 0;
        if (isMatte) groupMatte[j / 8] = 1;
        uint32_t px = 0;
        if (real) std::memcpy(&px, c->mattePixel, 4);
        mattePixel[j] = px;
        for (int k = 1; k <= maxSpan; ++k)
            middle[(k - 1) * padded + j] = !isMatte && k <= c->span ? -1 : 0;
    }
    plan.taps = taps;
    plan.padded = padded;
    plan.offset = offset;
    plan.offsetEnd = offsetEnd;
    plan.norm = norm;
    plan.edgeWeights = edgeWeights;
    plan.groupMatte = groupMatte;
    plan.middle = middle;
    plan.matte = matte;
    plan.mattePixel = mattePixel;
    return true;
}

}  // namespace render_detail

void SetRenderSimdEnabled(bool enabled) {
    render_detail::Current().store(
        enabled ? render_detail::BestKernels() : &render_detail::PortableKernels(),
        std::memory_order_relaxed);
}

}  // namespace kv
