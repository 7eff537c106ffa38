// The rotating renderer: each output row is a line across the picture, tilted (keystone) and
// rotated about the camera centre, sampled bilinearly with a tap spacing that widens as the
// camera shrinks the picture, or by nearest pixel in draft.
//
// All geometry is single precision in a fixed order: output pixel j of a row samples at
// start + j * ((end - start) / Wout). The AVX2 row loop performs the same operations lane by
// lane (separate multiplies and adds, never fused), gathering the four taps of eight pixels
// at once, so both loops give the same bytes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <immintrin.h>

#include "core/render/render_kernels.h"
#include "core/render/render_picture.h"

namespace kv {

namespace render_detail {

void RotatedRowPortable(const RotatedRow& row, const uint8_t* bits, int32_t stride, int bpp,
                        int wsrc, int hsrc, int quality, uint8_t* out, int jBegin, int wout) {
    const uint8_t matteAlpha = bpp == 4 ? 0 : 255;
    const auto gxf = static_cast<float>(row.gx), gyf = static_cast<float>(row.gy);
    const auto xMax = static_cast<float>(wsrc - row.gx - 1);
    const auto yMax = static_cast<float>(hsrc - row.gy - 1);
    const auto pitch = static_cast<size_t>(stride);
    out += 4 * static_cast<size_t>(jBegin);
    for (int j = jBegin; j < wout; ++j, out += 4) {
        const float sx = row.sx0 + static_cast<float>(j) * row.dx;
        const float sy = row.sy0 + static_cast<float>(j) * row.dy;
        // Written so that a position that is not a number is the matte too.
        if (!(sx >= gxf && sx <= xMax && sy >= gyf && sy <= yMax)) {
            out[0] = out[1] = out[2] = MatteLevel;
            out[3] = matteAlpha;
            continue;
        }
        const float fx0 = std::floor(sx), fy0 = std::floor(sy);
        const auto x0 = static_cast<size_t>(fx0), y0 = static_cast<size_t>(fy0);
        const uint8_t* t00 = bits + y0 * pitch + x0 * static_cast<size_t>(bpp);
        if (quality == QualityDraft) {
            out[0] = t00[0];
            out[1] = t00[1];
            out[2] = t00[2];
            out[3] = bpp == 4 ? t00[3] : 255;
            continue;
        }
        const float fx = sx - fx0, fy = sy - fy0;
        const uint8_t* t10 = t00 + static_cast<size_t>(row.gx) * static_cast<size_t>(bpp);
        const uint8_t* t01 = t00 + static_cast<size_t>(row.gy) * pitch;
        const uint8_t* t11 = t01 + static_cast<size_t>(row.gx) * static_cast<size_t>(bpp);
        const int channels = bpp == 4 ? 4 : 3;
        for (int ch = 0; ch < channels; ++ch) {
            const float a = Lerp(t00[ch], t10[ch], fx);
            const float b = Lerp(t01[ch], t11[ch], fx);
            out[ch] = static_cast<uint8_t>(static_cast<int32_t>(Lerp(a, b, fy)));
        }
        if (bpp == 3) out[3] = 255;
    }
}

namespace {

constexpr int PrefetchAhead = 32;

__attribute__((target("avx2"))) inline __m256 Channel(__m256i v, int ch) {
    return _mm256_cvtepi32_ps(
        _mm256_and_si256(_mm256_srli_epi32(v, 8 * ch), _mm256_set1_epi32(255)));
}

__attribute__((target("avx2"))) inline __m256 LerpV(__m256 a, __m256 b, __m256 t) {
    return _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(b, a), t));
}

}  // namespace

__attribute__((target("avx2"))) void RotatedRowAvx2(const RotatedRow& row, const uint8_t* bits,
                                                    int32_t stride, int bpp, int wsrc, int hsrc,
                                                    int quality, uint8_t* out, int wout) {
    const __m256 gxf = _mm256_set1_ps(static_cast<float>(row.gx));
    const __m256 gyf = _mm256_set1_ps(static_cast<float>(row.gy));
    const __m256 xMax = _mm256_set1_ps(static_cast<float>(wsrc - row.gx - 1));
    const __m256 yMax = _mm256_set1_ps(static_cast<float>(hsrc - row.gy - 1));
    const __m256 sx0 = _mm256_set1_ps(row.sx0), sy0 = _mm256_set1_ps(row.sy0);
    const __m256 dx = _mm256_set1_ps(row.dx), dy = _mm256_set1_ps(row.dy);
    const __m256i vbpp = _mm256_set1_epi32(bpp), vstride = _mm256_set1_epi32(stride);
    const __m256i gxOff = _mm256_set1_epi32(row.gx * bpp);
    const __m256i gyOff = _mm256_set1_epi32(row.gy * stride);
    const __m256i matte = _mm256_set1_epi32(static_cast<int32_t>(
        0x00111111u | (bpp == 4 ? 0u : 0xFF000000u)));
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
        // The taps of a slanted row jump from source row to source row, which no hardware
        // prefetcher follows: fetch the lines of each lane's taps PrefetchAhead pixels further
        // on (positions clamped into the picture; an address hint only, never dereferenced).
        {
            const __m256 ahead = _mm256_add_ps(jf, _mm256_set1_ps(PrefetchAhead));
            const __m256 px = _mm256_min_ps(
                _mm256_max_ps(_mm256_add_ps(sx0, _mm256_mul_ps(ahead, dx)), _mm256_setzero_ps()),
                xLimit);
            const __m256 py = _mm256_min_ps(
                _mm256_max_ps(_mm256_add_ps(sy0, _mm256_mul_ps(ahead, dy)), _mm256_setzero_ps()),
                yLimit);
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
            if (quality == QualityDraft) {
                result = _mm256_or_si256(_mm256_and_si256(t00, colourMask), opaque);
            } else {
                const __m256i t10 =
                    _mm256_mask_i32gather_epi32(zero, base, _mm256_add_epi32(off, gxOff), mask, 1);
                const __m256i off01 = _mm256_add_epi32(off, gyOff);
                const __m256i t01 = _mm256_mask_i32gather_epi32(zero, base, off01, mask, 1);
                const __m256i t11 = _mm256_mask_i32gather_epi32(
                    zero, base, _mm256_add_epi32(off01, gxOff), mask, 1);
                const __m256 fx = _mm256_sub_ps(sx, fx0), fy = _mm256_sub_ps(sy, fy0);
                result = opaque;
                const int channels = bpp == 4 ? 4 : 3;
                for (int ch = 0; ch < channels; ++ch) {
                    const __m256 a = LerpV(Channel(t00, ch), Channel(t10, ch), fx);
                    const __m256 b = LerpV(Channel(t01, ch), Channel(t11, ch), fx);
                    const __m256i v = _mm256_cvttps_epi32(LerpV(a, b, fy));
                    result = _mm256_or_si256(result, _mm256_slli_epi32(v, 8 * ch));
                }
            }
            result = _mm256_blendv_epi8(matte, result, mask);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * j), result);
    }
    if (j < wout) RotatedRowPortable(row, bits, stride, bpp, wsrc, hsrc, quality, out, j, wout);
}

}  // namespace render_detail

bool RenderRotated(CDIB& out, const CDIB& picture, const CameraRect& cam, int quality, int band,
                   int line, int bandOffset) {
    if (out.Empty() || out.BitCount() != 32 || picture.Empty()) return false;
    if (picture.BitCount() != 24 && picture.BitCount() != 32) return false;
    const int wout = out.Width(), hout = out.Height();
    const int wsrc = picture.Width(), hsrc = picture.Height();
    const int bpp = picture.BitCount() / 8;
    const auto fw = static_cast<float>(wout), fh = static_cast<float>(hout);
    const RowRange rows = BandRows(hout, band, line, bandOffset);

    const float W = cam.width, H = cam.height;
    const float P = cam.tiltB / 90.0f * W * 0.25f;
    const float Q = cam.tiltA / 90.0f * H * 0.25f;
    const float cx = cam.left + W / 2.0f;
    const float cy = cam.bottom + H / 2.0f;
    const float theta = cam.rotation * 0.0174532f;
    const float cosT = std::cos(theta), sinT = std::sin(theta);
    const float twoP = 2.0f * P, twoQ = 2.0f * Q;
    const float half = 0.5f * (H / fh);
    const int32_t gy = render_detail::TapSpacing((H - twoQ) / fh * 0.5f);

    const bool avx2 = render_detail::UseAvx2();
    for (int r = rows.first; r <= rows.last; r += rows.step) {
        const auto fr = static_cast<float>(r);
        const float s = fr * twoP / fh;
        const float xL = cam.left - P + s;
        const float xR = xL + W + twoP - 2.0f * s;
        float yL = cam.bottom + Q + fr * (H - twoQ) / fh;
        float yR = cam.bottom - Q + fr * (H + twoQ) / fh;
        if (line == LineAllHalf) {
            yL = yL + half;
            yR = yR + half;
        }
        const float dxL = xL - cx, dyL = yL - cy, dxR = xR - cx, dyR = yR - cy;
        render_detail::RotatedRow row;
        row.sx0 = cx + dxL * cosT + dyL * sinT;
        row.sy0 = cy + dyL * cosT - dxL * sinT;
        const float sxR = cx + dxR * cosT + dyR * sinT;
        const float syR = cy + dyR * cosT - dxR * sinT;
        row.dx = (sxR - row.sx0) / fw;
        row.dy = (syR - row.sy0) / fw;
        row.gx = render_detail::TapSpacing((xR - xL) / fw * 0.5f);
        row.gy = gy;
        if (avx2)
            render_detail::RotatedRowAvx2(row, picture.Bits(), picture.RowBytes(), bpp, wsrc,
                                          hsrc, quality, out.Row(r), wout);
        else
            render_detail::RotatedRowPortable(row, picture.Bits(), picture.RowBytes(), bpp, wsrc,
                                              hsrc, quality, out.Row(r), 0, wout);
    }
    return true;
}

}  // namespace kv
