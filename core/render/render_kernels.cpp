// Inner loops of the box resampler: portable versions and AVX2 versions compiled for that
// instruction set alone (function attributes, no build-wide flag) and chosen at run time.
//
// The AVX2 vertical pass keeps 16 source bytes per 256-bit register as 16-bit words: the
// middle rows (weight 256) are summed as words, the two edge rows are interleaved and
// multiplied by their weights with vpmaddwd, and the normaliser is a 32-bit multiply and a
// 20-bit shift, as in the portable loop. Unpack and pack work within 128-bit lanes in matching
// orders, so the bytes come back in place with one final qword permute.
#include <atomic>
#include <cstring>
#include <immintrin.h>

#include "core/render/render_kernels.h"
#include "core/render/render_picture.h"

namespace kv {
namespace render_detail {

namespace {

std::atomic<bool> g_simdEnabled{true};

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

bool UseAvx2() { return CpuHasAvx2() && g_simdEnabled.load(std::memory_order_relaxed); }

void VerticalPassPortable(const uint8_t* rowP, int32_t wP, const uint8_t* rowQ, int32_t wQ,
                          const uint8_t* const* mid, int nMid, int32_t norm, uint8_t* dst,
                          int nBytes) {
    for (int i = 0; i < nBytes; ++i) {
        int32_t m = 0;
        for (int k = 0; k < nMid; ++k) m += mid[k][i];
        const int32_t acc = wP * rowP[i] + wQ * rowQ[i] + m * 256;
        dst[i] = static_cast<uint8_t>((acc * norm) >> 20);
    }
}

void HorizontalPassPortable(const uint8_t* inter, int bpp, const ColumnTap* cols, int nCols,
                            uint8_t* out) {
    for (int j = 0; j < nCols; ++j, out += 4) {
        const ColumnTap& c = cols[j];
        if (c.matte) {
            std::memcpy(out, c.mattePixel, 4);
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

__attribute__((target("avx2"))) void VerticalPassAvx2(const uint8_t* rowP, int32_t wP,
                                                      const uint8_t* rowQ, int32_t wQ,
                                                      const uint8_t* const* mid, int nMid,
                                                      int32_t norm, uint8_t* dst, int nBytes) {
    // Word sums of the middle rows hold up to 257 rows of 255; weights fit in 16 bits.
    if (nMid > 256 || wP > 32767 || wQ > 32767 || wP < -32768 || wQ < -32768) {
        VerticalPassPortable(rowP, wP, rowQ, wQ, mid, nMid, norm, dst, nBytes);
        return;
    }
    const __m256i wpq = _mm256_set1_epi32(static_cast<int32_t>(
        (static_cast<uint32_t>(wP) & 0xFFFFu) | (static_cast<uint32_t>(wQ) << 16)));
    const __m256i vnorm = _mm256_set1_epi32(norm);
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 32 <= nBytes; i += 32) {
        __m256i mLo = zero, mHi = zero;
        for (int k = 0; k < nMid; ++k) {
            const uint8_t* s = mid[k] + i;
            mLo = _mm256_add_epi16(
                mLo, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))));
            mHi = _mm256_add_epi16(mHi, _mm256_cvtepu8_epi16(_mm_loadu_si128(
                                            reinterpret_cast<const __m128i*>(s + 16))));
        }
        __m256i words[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i p = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowP + i + 16 * h)));
            const __m256i q = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowQ + i + 16 * h)));
            const __m256i m = h == 0 ? mLo : mHi;
            __m256i a = _mm256_madd_epi16(_mm256_unpacklo_epi16(p, q), wpq);
            __m256i b = _mm256_madd_epi16(_mm256_unpackhi_epi16(p, q), wpq);
            a = _mm256_add_epi32(a, _mm256_slli_epi32(_mm256_unpacklo_epi16(m, zero), 8));
            b = _mm256_add_epi32(b, _mm256_slli_epi32(_mm256_unpackhi_epi16(m, zero), 8));
            a = _mm256_srli_epi32(_mm256_mullo_epi32(a, vnorm), 20);
            b = _mm256_srli_epi32(_mm256_mullo_epi32(b, vnorm), 20);
            words[h] = _mm256_packus_epi32(a, b);
        }
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(words[0], words[1]),
                                                       _MM_SHUFFLE(3, 1, 2, 0));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), bytes);
    }
    if (i < nBytes) {
        const uint8_t* midTail[256];
        for (int k = 0; k < nMid; ++k) midTail[k] = mid[k] + i;
        VerticalPassPortable(rowP + i, wP, rowQ + i, wQ, midTail, nMid, norm, dst + i,
                             nBytes - i);
    }
}

__attribute__((target("avx2"))) void HorizontalPassAvx2(const uint8_t* inter, int bpp,
                                                        const ColumnTap* cols, int nCols,
                                                        uint8_t* out) {
    const __m128i alpha = _mm_set1_epi32(bpp == 3 ? static_cast<int32_t>(0xFF000000u) : 0);
    for (int j = 0; j < nCols; ++j, out += 4) {
        const ColumnTap& c = cols[j];
        if (c.matte) {
            std::memcpy(out, c.mattePixel, 4);
            continue;
        }
        const uint8_t* t = inter + static_cast<size_t>(c.m) * static_cast<size_t>(bpp);
        const uint8_t* te = t + static_cast<size_t>(c.span + 1) * static_cast<size_t>(bpp);
        // Edge taps: bytes interleaved as words (first tap, last tap) times (first, last).
        const __m128i ends = _mm_cvtepu8_epi16(_mm_unpacklo_epi8(
            _mm_cvtsi32_si128(static_cast<int32_t>(Load32(t))),
            _mm_cvtsi32_si128(static_cast<int32_t>(Load32(te)))));
        const __m128i w = _mm_set1_epi32(static_cast<int32_t>(c.first | (c.last << 16)));
        __m128i acc = _mm_madd_epi16(ends, w);
        // Middle taps, weight 256: two pixels per step in the two halves of a 256-bit sum.
        const uint8_t* s = t + bpp;
        int k = 0;
        __m256i pair = _mm256_setzero_si256();
        if (bpp == 4) {
            for (; k + 2 <= c.span; k += 2, s += 8)
                pair = _mm256_add_epi32(
                    pair, _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s))));
        } else {
            for (; k + 2 <= c.span; k += 2, s += 6) {
                const __m128i two = _mm_unpacklo_epi32(
                    _mm_cvtsi32_si128(static_cast<int32_t>(Load32(s))),
                    _mm_cvtsi32_si128(static_cast<int32_t>(Load32(s + 3))));
                pair = _mm256_add_epi32(pair, _mm256_cvtepu8_epi32(two));
            }
        }
        __m128i m = _mm_add_epi32(_mm256_castsi256_si128(pair), _mm256_extracti128_si256(pair, 1));
        if (k < c.span)
            m = _mm_add_epi32(m, _mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int32_t>(Load32(s)))));
        acc = _mm_add_epi32(acc, _mm_slli_epi32(m, 8));
        acc = _mm_srli_epi32(_mm_mullo_epi32(acc, _mm_set1_epi32(c.norm)), 20);
        acc = _mm_packus_epi16(_mm_packus_epi32(acc, acc), acc);
        acc = _mm_or_si128(acc, alpha);
        const uint32_t px = static_cast<uint32_t>(_mm_cvtsi128_si32(acc));
        std::memcpy(out, &px, 4);
    }
}

}  // namespace render_detail

bool RenderSimdAvailable() { return render_detail::UseAvx2(); }

void SetRenderSimdEnabled(bool enabled) {
    render_detail::g_simdEnabled.store(enabled, std::memory_order_relaxed);
}

}  // namespace kv
