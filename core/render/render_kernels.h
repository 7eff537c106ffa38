// The inner loops of the renderer, in a portable version and an AVX2 version, reached through a
// table of kernels chosen once at start-up. Both compute exactly the same integers; the AVX2 ones
// only process several bytes or pixels per instruction. The AVX2 files are compiled only for
// x86-64 (and not with KV_PORTABLE_KERNELS); their functions below exist only there.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kv::render_detail {

// One column of the box resampler's output: the taps are intermediate pixels m (weight
// `first`), m + 1 ... m + span (256 each) and m + span + 1 (weight `last`); the sum is
// multiplied by `norm` and shifted right by 20. Matte columns carry their finished pixel.
struct ColumnTap {
    int32_t m;
    int32_t span;
    int32_t norm;
    int32_t weights;  // first | last << 16, the edge weights as a word pair
    int32_t offset;   // taps m and m + span + 1 as byte offsets in the intermediate row
    int32_t offsetEnd;
    uint8_t first;
    uint8_t last;
    uint8_t matte;          // 1: the column lies (partly) outside the picture
    uint8_t wide;           // 1: total weight above WideWeight, normalised by division (norm is 0)
    uint8_t mattePixel[4];  // the column's pixel when every tap is the matte
};

// Windows whose weights sum to more than WideWeight (more than 4096 whole pixels) would get a
// normaliser floor(2^20 / sum) of 0 and overflow 32-bit sums. They are summed in 64 bits
// instead and divided by their weight: value = floor(sum / weight). Over pictures above 8192
// pixels a side the same holds from BigPictureWideWeight on (256 pixels), since the 32-bit
// normaliser of such a window loses up to a tenth of the value (a white 60000-pixel strip
// rendered to 64 pixels came out at 233); pictures of the old sizes keep their old
// arithmetic, and so their old output, for every lighter window.
constexpr int64_t WideWeight = int64_t{1} << 20;
constexpr int64_t BigPictureWideWeight = int64_t{1} << 16;

// Source rows the next output row will read and this one does not: the vertical pass asks
// for them to be fetched into the cache as it goes, one cache line each per 64 bytes, so
// that they arrive while this row is computed (they only feed prefetch hints, never a value).
struct RowsAhead {
    const uint8_t* const* rows = nullptr;
    int count = 0;
};

// The vertical pass over nBytes bytes: dst[i] = ((wP * rowP[i] + wQ * rowQ[i]
// + 256 * sum over mid rows) * norm) >> 20. rowQ may equal rowP (then both weights apply to it).
void VerticalPassPortable(const uint8_t* rowP, int32_t wP, const uint8_t* rowQ, int32_t wQ,
                          const uint8_t* const* mid, int nMid, int32_t norm, uint8_t* dst,
                          int nBytes, RowsAhead ahead = {});
void VerticalPassAvx2(const uint8_t* rowP, int32_t wP, const uint8_t* rowQ, int32_t wQ,
                      const uint8_t* const* mid, int nMid, int32_t norm, uint8_t* dst, int nBytes,
                      RowsAhead ahead = {});

// The vertical pass of a window heavier than WideWeight: dst[i] = (wP * rowP[i] + wQ * rowQ[i]
// + 256 * sum over mid rows) / sumW, summed in 64 bits. `scratch` holds nBytes sums.
void VerticalPassWide(const uint8_t* rowP, int32_t wP, const uint8_t* rowQ, int32_t wQ,
                      const uint8_t* const* mid, int nMid, int64_t sumW, uint8_t* dst, int nBytes,
                      uint32_t* scratch);

// The horizontal pass of one output row from the intermediate row `inter` (bpp 3 or 4 bytes a
// pixel). Writes 4 bytes per column; alpha is 255 when bpp is 3.
void HorizontalPassPortable(const uint8_t* inter, int bpp, const ColumnTap* cols, int nCols,
                            uint8_t* out);
void HorizontalPassAvx2(const uint8_t* inter, int bpp, const ColumnTap* cols, int nCols,
                        uint8_t* out);

// The column table in the layout of the gathering kernel: eight columns per step, each with
// the same number of taps (the widest column's, at most MaxPlanTaps; narrower columns carry
// weight 0 on the taps past their last). Arrays are padded to a multiple of 8 columns.
// A gather costs about as much per tap as the per-column kernel (HorizontalPassAvx2) costs per
// column, so the plan only takes 3-byte rows whose columns are at most one middle tap wide;
// 4-byte rows always go column by column.
constexpr int MaxPlanTaps = 3;
struct ColumnPlan {
    int taps = 0;                        // 0: the plan does not apply (wider columns)
    int padded = 0;                      // columns rounded up to a multiple of 8
    const int32_t* offset = nullptr;     // byte offset of tap 0 (0 for matte columns)
    const int32_t* offsetEnd = nullptr;  // byte offset of the last tap, span + 1
    const int32_t* norm = nullptr;
    const int32_t* edgeWeights = nullptr;  // first | last << 16: taps 0 and span + 1
    const int32_t* groupMatte = nullptr;   // per 8 columns: whether any of them is matte
    const int32_t* middle = nullptr;       // taps - 2 rows of `padded` masks: -1 for k <= span
    const int32_t* matte = nullptr;        // -1 for matte columns
    const uint32_t* mattePixel = nullptr;
};
// Number of int32 values of storage BuildColumnPlan needs.
size_t ColumnPlanStorage(int nCols);
// Fills plan (using `storage`) from the column table; false when a column is too wide or the
// pixels are not 3 bytes.
bool BuildColumnPlan(const ColumnTap* cols, int nCols, int bpp, int32_t* storage, ColumnPlan& plan);
// One output row, eight columns per step with gathered taps.
void HorizontalGatherAvx2(const uint8_t* inter, int bpp, const ColumnPlan& plan, int nCols,
                          uint8_t* out);

// One row of the rotating renderer: output pixel j samples the picture at
// (sx0 + j * dx, sy0 + j * dy) with taps gx columns and gy rows apart.
struct RotatedRow {
    float sx0, sy0, dx, dy;
    int32_t gx, gy;
};

inline float Lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

// max(1, |floor(v)|), at most 65536: any spacing as wide as a picture (65535) gives the matte.
inline int32_t TapSpacing(float v) {
    const float f = std::fabs(std::floor(v));
    if (!(f < 65536.0f)) return 65536;
    return f < 1.0f ? 1 : static_cast<int32_t>(f);
}

// Output pixels jBegin .. wout - 1 of a rotated row (out points at the row's first pixel).
void RotatedRowPortable(const RotatedRow& row, const uint8_t* bits, int32_t stride, int bpp,
                        int wsrc, int hsrc, int quality, uint8_t* out, int jBegin, int wout);
void RotatedRowAvx2(const RotatedRow& row, const uint8_t* bits, int32_t stride, int bpp, int wsrc,
                    int hsrc, int quality, uint8_t* out, int wout);

// One instruction set's kernels. horizontalGather is null where the set has none (then no
// column plan is built).
struct KernelTable {
    const char* name;
    void (*verticalPass)(const uint8_t* rowP, int32_t wP, const uint8_t* rowQ, int32_t wQ,
                         const uint8_t* const* mid, int nMid, int32_t norm, uint8_t* dst,
                         int nBytes, RowsAhead ahead);
    void (*horizontalPass)(const uint8_t* inter, int bpp, const ColumnTap* cols, int nCols,
                           uint8_t* out);
    void (*horizontalGather)(const uint8_t* inter, int bpp, const ColumnPlan& plan, int nCols,
                             uint8_t* out);
    // The whole rotated row, output pixels 0 .. wout - 1.
    void (*rotatedRow)(const RotatedRow& row, const uint8_t* bits, int32_t stride, int bpp,
                       int wsrc, int hsrc, int quality, uint8_t* out, int wout);
};

// The table in use: picked once (AVX2 where built and the processor has it, else portable);
// SetRenderSimdEnabled(false) switches to the portable one for tests and benchmarks.
const KernelTable& Kernels();
const KernelTable& PortableKernels();
// The AVX2 table (render_kernels_avx2.cpp); only in builds that keep the AVX2 kernels.
const KernelTable& Avx2KernelTable();

}  // namespace kv::render_detail
