// The frame walk of the BGRA to Y'CbCr conversion, its portable kernels and the choice of
// kernels. The weights are written out once here; yuv_convert.h states the formula.
#include "platform/video/yuv_convert.h"

#include <algorithm>

namespace kv {

namespace {

// BT.601 times 2^15: Y from 0.299, 0.587, 0.114; Cb from -0.168736, -0.331264, 0.5; Cr from
// 0.5, -0.418688, -0.081312; limited range scales luma by 219/255 and chroma by 224/255.
// Each chroma row sums to zero and each luma row to the range's span.
constexpr YuvCoefficients kLimited = {
    {8414, 16519, 3208}, {-4857, -9535, 14392}, {14392, -12052, -2340}, 16, 16, 235, 240};
constexpr YuvCoefficients kFull = {
    {9798, 19235, 3735}, {-5529, -10855, 16384}, {16384, -13720, -2664}, 0, 0, 255, 255};

static_assert(kLimited.u[0] + kLimited.u[1] + kLimited.u[2] == 0);
static_assert(kLimited.v[0] + kLimited.v[1] + kLimited.v[2] == 0);
static_assert(kFull.u[0] + kFull.u[1] + kFull.u[2] == 0);
static_assert(kFull.v[0] + kFull.v[1] + kFull.v[2] == 0);
static_assert(kFull.y[0] + kFull.y[1] + kFull.y[2] == 1 << 15);

inline uint8_t Clamp(int32_t v, int32_t lo, int32_t hi) {
    return static_cast<uint8_t>(std::clamp(v, lo, hi));
}

inline int32_t Weigh(const int32_t* w, int32_t r, int32_t g, int32_t b) {
    return w[0] * r + w[1] * g + w[2] * b;
}

void LumaPortable(const uint8_t* p, int width, const YuvCoefficients& k, uint8_t* y) {
    for (int x = 0; x < width; ++x, p += 4) {
        const int32_t v = (Weigh(k.y, p[2], p[1], p[0]) + (1 << 14)) >> 15;
        y[x] = Clamp(v + k.yOffset, k.lo, k.yHi);
    }
}

// One chroma sample from channel sums of n = 2^(shift - 15) pixels.
inline void Chroma(const YuvCoefficients& k, int32_t r, int32_t g, int32_t b, int shift, uint8_t* u,
                   uint8_t* v) {
    const int32_t bias = (128 << shift) + (1 << (shift - 1));
    *u = Clamp((Weigh(k.u, r, g, b) + bias) >> shift, k.lo, k.cHi);
    *v = Clamp((Weigh(k.v, r, g, b) + bias) >> shift, k.lo, k.cHi);
}

void Chroma422Portable(const uint8_t* p, int width, const YuvCoefficients& k, uint8_t* u,
                       uint8_t* v) {
    for (int x = 0; x < width; x += 2) {
        const uint8_t* a = p + 4 * x;
        const uint8_t* b = x + 1 < width ? a + 4 : a;
        Chroma(k, a[2] + b[2], a[1] + b[1], a[0] + b[0], 16, u + x / 2, v + x / 2);
    }
}

void Chroma420Portable(const uint8_t* p0, const uint8_t* p1, int width, const YuvCoefficients& k,
                       uint8_t* u, uint8_t* v) {
    for (int x = 0; x < width; x += 2) {
        const int o0 = 4 * x, o1 = x + 1 < width ? o0 + 4 : o0;
        const int32_t r = p0[o0 + 2] + p0[o1 + 2] + p1[o0 + 2] + p1[o1 + 2];
        const int32_t g = p0[o0 + 1] + p0[o1 + 1] + p1[o0 + 1] + p1[o1 + 1];
        const int32_t b = p0[o0] + p0[o1] + p1[o0] + p1[o1];
        Chroma(k, r, g, b, 17, u + x / 2, v + x / 2);
    }
}

constexpr YuvKernels kPortable = {"portable", LumaPortable, Chroma422Portable, Chroma420Portable};

}  // namespace

#if defined(KV_HAVE_AVX2_YUV)
const YuvKernels& Avx2YuvKernelTable();  // yuv_convert_avx2.cpp
#endif

const YuvCoefficients& YuvCoefficientsFor(bool fullRange) {
    return fullRange ? kFull : kLimited;
}

const YuvKernels& PortableYuvKernels() {
    return kPortable;
}

const YuvKernels* Avx2YuvKernels() {
#if defined(KV_HAVE_AVX2_YUV)
    if (__builtin_cpu_supports("avx2")) return &Avx2YuvKernelTable();
#endif
    return nullptr;
}

const YuvKernels& CurrentYuvKernels() {
    static const YuvKernels* const chosen = [] {
        const YuvKernels* avx2 = Avx2YuvKernels();
        return avx2 ? avx2 : &kPortable;
    }();
    return *chosen;
}

void ConvertBgraToYuvWith(const YuvKernels& kernels, const uint8_t* firstRow, ptrdiff_t rowBytes,
                          bool bottomUp, int width, int height, const YuvTarget& t) {
    if (width <= 0 || height <= 0) return;
    const YuvCoefficients& k = YuvCoefficientsFor(t.fullRange);
    // Row r of the picture counted from the top.
    auto row = [&](int r) { return firstRow + (bottomUp ? height - 1 - r : r) * rowBytes; };
    // Luma and chroma of the same rows together, while the rows are in the cache.
    auto luma = [&](int r) { kernels.luma(row(r), width, k, t.planes[0] + r * t.strides[0]); };
    if (t.layout == ChromaLayout::Yuv422) {
        for (int r = 0; r < height; ++r) {
            luma(r);
            kernels.chroma422(row(r), width, k, t.planes[1] + r * t.strides[1],
                              t.planes[2] + r * t.strides[2]);
        }
        return;
    }
    for (int c = 0; c < (height + 1) / 2; ++c) {
        const int r0 = 2 * c, r1 = std::min(2 * c + 1, height - 1);
        luma(r0);
        if (r1 != r0) luma(r1);
        kernels.chroma420(row(r0), row(r1), width, k, t.planes[1] + c * t.strides[1],
                          t.planes[2] + c * t.strides[2]);
    }
}

void ConvertBgraToYuv(const uint8_t* firstRow, ptrdiff_t rowBytes, bool bottomUp, int width,
                      int height, const YuvTarget& target) {
    ConvertBgraToYuvWith(CurrentYuvKernels(), firstRow, rowBytes, bottomUp, width, height, target);
}

}  // namespace kv
