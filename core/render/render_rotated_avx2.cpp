// The AVX2 row loop of the rotating renderer: the same operations as the portable loop, lane by
// lane (separate multiplies and adds, never fused), gathering the four taps of eight pixels at
// once, so both give the same bytes. Compiled only where the AVX2 kernels are kept.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/render/render_kernels.h"
#include "core/render/render_picture.h"

namespace kv {
namespace render_detail {

namespace {

constexpr int PrefetchAhead = 32;

__attribute__((target("avx2"))) inline __m256 Channel(__m256i v, int ch) {
    return _mm256_cvtepi32_ps(
        _mm256_and_si256(_mm256_srli_epi32(v, 8 * ch), _mm256_set1_epi32(255)));
}

__attribute__((target("avx2"))) inline __m256 LerpV(__m256 a, __m256 b, __m256 t) {
    return _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(b, a), t));
}

// The taps of a slanted row jump from source row to source row, which no hardware prefetcher
// follows: fetches the lines of each lane's taps PrefetchAhead pixels further on (positions
// clamped into the picture; an address hint only, never dereferenced).
__attribute__((target("avx2"), always_inline)) inline void PrefetchTaps(
    __m256 jf, __m256 sx0, __m256 sy0, __m256 dx, __m256 dy, __m256 xLimit, __m256 yLimit,
    __m256i vstride, __m256i vbpp, const uint8_t* bits, ptrdiff_t gyBytes) {
    const __m256 ahead = _mm256_add_ps(jf, _mm256_set1_ps(PrefetchAhead));
    const __m256 px = _mm256_min_ps(
        _mm256_max_ps(_mm256_add_ps(sx0, _mm256_mul_ps(ahead, dx)), _mm256_setzero_ps()), xLimit);
    const __m256 py = _mm256_min_ps(
        _mm256_max_ps(_mm256_add_ps(sy0, _mm256_mul_ps(ahead, dy)), _mm256_setzero_ps()), yLimit);
    alignas(32) int32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at),
                       _mm256_add_epi32(_mm256_mullo_epi32(_mm256_cvttps_epi32(py), vstride),
                                        _mm256_mullo_epi32(_mm256_cvttps_epi32(px), vbpp)));
    for (int lane = 0; lane < 8; lane += 2) {
        const char* p0 = reinterpret_cast<const char*>(bits) + at[lane];
        _mm_prefetch(p0, _MM_HINT_T0);
        _mm_prefetch(p0 + gyBytes, _MM_HINT_T0);
    }
}

// Full quality: the other three taps gathered and the four blended, channel by channel, by the
// position's fractions.
__attribute__((target("avx2"), always_inline)) inline __m256i Bilinear(
    const int* base, __m256i off, __m256i t00, __m256i gxOff, __m256i gyOff, __m256i mask,
    __m256 sx, __m256 sy, __m256 fx0, __m256 fy0, __m256i opaque, int bpp) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i t10 =
        _mm256_mask_i32gather_epi32(zero, base, _mm256_add_epi32(off, gxOff), mask, 1);
    const __m256i off01 = _mm256_add_epi32(off, gyOff);
    const __m256i t01 = _mm256_mask_i32gather_epi32(zero, base, off01, mask, 1);
    const __m256i t11 =
        _mm256_mask_i32gather_epi32(zero, base, _mm256_add_epi32(off01, gxOff), mask, 1);
    const __m256 fx = _mm256_sub_ps(sx, fx0), fy = _mm256_sub_ps(sy, fy0);
    __m256i result = opaque;
    const int channels = bpp == 4 ? 4 : 3;
    for (int ch = 0; ch < channels; ++ch) {
        const __m256 a = LerpV(Channel(t00, ch), Channel(t10, ch), fx);
        const __m256 b = LerpV(Channel(t01, ch), Channel(t11, ch), fx);
        const __m256i v = _mm256_cvttps_epi32(LerpV(a, b, fy));
        result = _mm256_or_si256(result, _mm256_slli_epi32(v, 8 * ch));
    }
    return result;
}

}  // namespace

__attribute__((target("avx2"))) void RotatedRowAvx2(const RotatedRow& row, const uint8_t* bits,
                                                    int32_t stride, int bpp, int wsrc, int hsrc,
                                                    int quality, uint8_t* out, int wout) {
    // The gathers take 32-bit offsets: a picture of 2 GiB or more, or a tap spacing as wide as
    // the picture (every pixel the matte), goes through the portable loop.
    if (static_cast<int64_t>(stride) * hsrc >= (int64_t{1} << 31) - 64 || row.gx >= wsrc ||
        row.gy >= hsrc) {
        RotatedRowPortable(row, bits, stride, bpp, wsrc, hsrc, quality, out, 0, wout);
        return;
    }
    const __m256 gxf = _mm256_set1_ps(static_cast<float>(row.gx));
    const __m256 gyf = _mm256_set1_ps(static_cast<float>(row.gy));
    const __m256 xMax = _mm256_set1_ps(static_cast<float>(wsrc - row.gx - 1));
    const __m256 yMax = _mm256_set1_ps(static_cast<float>(hsrc - row.gy - 1));
    const __m256 sx0 = _mm256_set1_ps(row.sx0), sy0 = _mm256_set1_ps(row.sy0);
    const __m256 dx = _mm256_set1_ps(row.dx), dy = _mm256_set1_ps(row.dy);
    const __m256i vbpp = _mm256_set1_epi32(bpp), vstride = _mm256_set1_epi32(stride);
    const __m256i gxOff = _mm256_set1_epi32(row.gx * bpp);
    const __m256i gyOff = _mm256_set1_epi32(row.gy * stride);
    const __m256i matte =
        _mm256_set1_epi32(static_cast<int32_t>(0x00111111u | (bpp == 4 ? 0u : 0xFF000000u)));
    const __m256i opaque = _mm256_set1_epi32(bpp == 4 ? 0 : static_cast<int32_t>(0xFF000000u));
    const __m256i colourMask = _mm256_set1_epi32(bpp == 4 ? -1 : 0x00FFFFFF);
    const __m256i zero = _mm256_setzero_si256();
    const auto* base = reinterpret_cast<const int*>(bits);
    const __m256 xLimit = _mm256_set1_ps(static_cast<float>(wsrc - 1));
    const __m256 yLimit = _mm256_set1_ps(static_cast<float>(std::max(0, hsrc - 1 - row.gy)));
    const ptrdiff_t gyBytes = static_cast<ptrdiff_t>(std::min(row.gy, hsrc - 1)) * stride;
    __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    int j = 0;
    for (; j + 8 <= wout; j += 8, lanes = _mm256_add_epi32(lanes, _mm256_set1_epi32(8))) {
        const __m256 jf = _mm256_cvtepi32_ps(lanes);
        PrefetchTaps(jf, sx0, sy0, dx, dy, xLimit, yLimit, vstride, vbpp, bits, gyBytes);
        const __m256 sx = _mm256_add_ps(sx0, _mm256_mul_ps(jf, dx));
        const __m256 sy = _mm256_add_ps(sy0, _mm256_mul_ps(jf, dy));
        const __m256 inside = _mm256_and_ps(
            _mm256_and_ps(_mm256_cmp_ps(sx, gxf, _CMP_GE_OQ), _mm256_cmp_ps(sx, xMax, _CMP_LE_OQ)),
            _mm256_and_ps(_mm256_cmp_ps(sy, gyf, _CMP_GE_OQ), _mm256_cmp_ps(sy, yMax, _CMP_LE_OQ)));
        const __m256i mask = _mm256_castps_si256(inside);
        __m256i result;
        if (_mm256_testz_si256(mask, mask)) {
            result = matte;
        } else {
            const __m256 fx0 = _mm256_floor_ps(sx), fy0 = _mm256_floor_ps(sy);
            // Lanes outside the picture index pixel 0 and are not gathered.
            const __m256i x0 = _mm256_and_si256(_mm256_cvttps_epi32(fx0), mask);
            const __m256i y0 = _mm256_and_si256(_mm256_cvttps_epi32(fy0), mask);
            const __m256i off =
                _mm256_add_epi32(_mm256_mullo_epi32(y0, vstride), _mm256_mullo_epi32(x0, vbpp));
            const __m256i t00 = _mm256_mask_i32gather_epi32(zero, base, off, mask, 1);
            if (quality == QualityDraft)
                result = _mm256_or_si256(_mm256_and_si256(t00, colourMask), opaque);
            else
                result =
                    Bilinear(base, off, t00, gxOff, gyOff, mask, sx, sy, fx0, fy0, opaque, bpp);
            result = _mm256_blendv_epi8(matte, result, mask);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * j), result);
    }
    if (j < wout) RotatedRowPortable(row, bits, stride, bpp, wsrc, hsrc, quality, out, j, wout);
}

}  // namespace render_detail
}  // namespace kv
