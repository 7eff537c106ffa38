// The AVX2 kernels of the box resampler, compiled only for x86-64 builds that keep them (each
// function carries its own target attribute; no build-wide flag) and entered only through the
// kernel table, which offers them when the processor has AVX2.
//
// The vertical pass keeps 16 source bytes per 256-bit register as 16-bit words: the middle rows
// (weight 256) are summed as words, the two edge rows are interleaved and multiplied by their
// weights with vpmaddwd, and the normaliser is a 32-bit multiply and a 20-bit shift, as in the
// portable loop. Unpack and pack work within 128-bit lanes in matching orders, so the bytes come
// back in place with one final qword permute.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "core/render/render_kernels.h"
#include "core/render/render_picture.h"

namespace kv {
namespace render_detail {

namespace {

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

namespace {

// The vertical pass over 32 bytes at `i`. N is the number of middle rows when it is small
// enough to unroll (their pointers then stay in registers), -1 for a loop over nMid of them.
template <int N>
__attribute__((target("avx2"))) inline void VerticalChunk(const uint8_t* rowP, const uint8_t* rowQ,
                                                          const uint8_t* const* mid, int nMid,
                                                          __m256i wpq, __m256i vnorm, uint8_t* dst,
                                                          int i) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i mLo = zero, mHi = zero;
    const int count = N >= 0 ? N : nMid;
#pragma GCC unroll 8
    for (int k = 0; k < count; ++k) {
        const uint8_t* s = mid[k] + i;
        mLo = _mm256_add_epi16(
            mLo, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))));
        mHi = _mm256_add_epi16(
            mHi, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16))));
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
    const __m256i bytes =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(words[0], words[1]), _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), bytes);
}

// Whole rows of 32-byte chunks; a last partial chunk is done again from 32 bytes before the
// end (the same inputs give the same bytes, so the overlap is harmless).
template <int N>
__attribute__((target("avx2"))) void VerticalRow(const uint8_t* rowP, const uint8_t* rowQ,
                                                 const uint8_t* const* midIn, int nMid, __m256i wpq,
                                                 __m256i vnorm, uint8_t* dst, int nBytes,
                                                 RowsAhead ahead) {
    const uint8_t* mid[N > 0 ? N : 1];
    for (int k = 0; k < N; ++k) mid[k] = midIn[k];
    const uint8_t* const* rows = N >= 0 ? mid : midIn;
    int i = 0;
    for (; i + 64 <= nBytes; i += 64) {
        for (int k = 0; k < ahead.count; ++k) _mm_prefetch(ahead.rows[k] + i, _MM_HINT_T0);
        VerticalChunk<N>(rowP, rowQ, rows, nMid, wpq, vnorm, dst, i);
        VerticalChunk<N>(rowP, rowQ, rows, nMid, wpq, vnorm, dst, i + 32);
    }
    for (; i + 32 <= nBytes; i += 32) VerticalChunk<N>(rowP, rowQ, rows, nMid, wpq, vnorm, dst, i);
    if (i < nBytes) VerticalChunk<N>(rowP, rowQ, rows, nMid, wpq, vnorm, dst, nBytes - 32);
}

}  // namespace

__attribute__((target("avx2"))) void VerticalPassAvx2(const uint8_t* rowP, int32_t wP,
                                                      const uint8_t* rowQ, int32_t wQ,
                                                      const uint8_t* const* mid, int nMid,
                                                      int32_t norm, uint8_t* dst, int nBytes,
                                                      RowsAhead ahead) {
    // Word sums of the middle rows hold up to 257 rows of 255; weights fit in 16 bits.
    if (nBytes < 32 || nMid > 256 || wP > 32767 || wQ > 32767 || wP < -32768 || wQ < -32768) {
        VerticalPassPortable(rowP, wP, rowQ, wQ, mid, nMid, norm, dst, nBytes, ahead);
        return;
    }
    const __m256i wpq = _mm256_set1_epi32(static_cast<int32_t>(
        (static_cast<uint32_t>(wP) & 0xFFFFu) | (static_cast<uint32_t>(wQ) << 16)));
    const __m256i vnorm = _mm256_set1_epi32(norm);
    switch (nMid) {
        case 0:
            VerticalRow<0>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
        case 1:
            VerticalRow<1>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
        case 2:
            VerticalRow<2>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
        case 3:
            VerticalRow<3>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
        case 4:
            VerticalRow<4>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
        case 5:
            VerticalRow<5>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
        case 6:
            VerticalRow<6>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
        case 7:
            VerticalRow<7>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
        default:
            VerticalRow<-1>(rowP, rowQ, mid, nMid, wpq, vnorm, dst, nBytes, ahead);
            break;
    }
}

namespace {

// One output row from a BPP-byte intermediate row. The middle taps (weight 256) are summed as
// 16-bit words two pixels per load (at most 256 of them, so no word overflows), the two
// halves of the word sum folded together, widened and shifted left 8 bits; the edge taps are
// interleaved as words and weighted with vpmaddwd.
template <int BPP>
__attribute__((target("avx2"))) void HorizontalRowAvx2(const uint8_t* inter, const ColumnTap* cols,
                                                       int nCols, uint8_t* out) {
    const __m128i alpha = _mm_set1_epi32(BPP == 3 ? static_cast<int32_t>(0xFF000000u) : 0);
    // A single middle tap of a 3-byte pixel loads a fourth byte that belongs to the next one.
    const __m128i singleMask = BPP == 3 ? _mm_setr_epi16(-1, -1, -1, 0, 0, 0, 0, 0)
                                        : _mm_setr_epi16(-1, -1, -1, -1, 0, 0, 0, 0);
    for (int j = 0; j < nCols; ++j, out += 4) {
        const ColumnTap& c = cols[j];
        if (c.matte) {
            std::memcpy(out, c.mattePixel, 4);
            continue;
        }
        if (c.span > 256 || c.wide) {
            HorizontalPassPortable(inter, BPP, &c, 1, out);
            continue;
        }
        const uint8_t* t = inter + static_cast<size_t>(c.m) * BPP;
        const uint8_t* te = t + static_cast<size_t>(c.span + 1) * BPP;
        const __m128i ends = _mm_cvtepu8_epi16(
            _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32_t>(Load32(t))),
                              _mm_cvtsi32_si128(static_cast<int32_t>(Load32(te)))));
        const __m128i w = _mm_set1_epi32(static_cast<int32_t>(c.first | (c.last << 16)));
        __m128i acc = _mm_madd_epi16(ends, w);

        const uint8_t* s = t + BPP;
        __m128i words = _mm_setzero_si128();
        int k = 0;
        for (; k + 2 <= c.span; k += 2, s += 2 * BPP)
            words = _mm_add_epi16(
                words, _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s))));
        if (k < c.span)
            words = _mm_add_epi16(
                words,
                _mm_and_si128(_mm_cvtepu8_epi16(_mm_cvtsi32_si128(static_cast<int32_t>(Load32(s)))),
                              singleMask));
        words = _mm_add_epi16(words, _mm_srli_si128(words, 2 * BPP));
        acc = _mm_add_epi32(acc, _mm_slli_epi32(_mm_cvtepu16_epi32(words), 8));
        acc = _mm_srli_epi32(_mm_mullo_epi32(acc, _mm_set1_epi32(c.norm)), 20);
        acc = _mm_packus_epi16(_mm_packus_epi32(acc, acc), acc);
        acc = _mm_or_si128(acc, alpha);
        const uint32_t px = static_cast<uint32_t>(_mm_cvtsi128_si32(acc));
        std::memcpy(out, &px, 4);
    }
}

// Byte shuffle controls of the per-column kernel, by bytes a pixel (3 or 4) and span. The
// middle taps of a column are pixels m + 1 ... m + span, read as two 16-byte windows of W
// whole pixels each (5 of 3 bytes, 4 of 4 bytes). For each window the `bg` control gathers
// the window's blue bytes into bytes 0..7 and green into 8..15, the `ra` control red into
// 0..7 and alpha into 8..15 (none for 3-byte pixels), zeroing every byte past the span, so
// that vpsadbw sums each channel's taps in one 64-bit lane.
struct WindowControls {
    alignas(16) uint8_t bg[2][16];
    alignas(16) uint8_t ra[2][16];
};

template <int BPP>
constexpr int WindowPixels = 16 / BPP;

template <int BPP>
const WindowControls* Controls() {
    static const auto controls = [] {
        constexpr int W = WindowPixels<BPP>;
        std::array<WindowControls, 2 * WindowPixels<BPP> + 1> c{};
        for (int span = 0; span <= 2 * W; ++span) {
            for (int w = 0; w < 2; ++w) {
                const int count = std::clamp(span - W * w, 0, W);
                uint8_t* bg = c[span].bg[w];
                uint8_t* ra = c[span].ra[w];
                for (int i = 0; i < 16; ++i) bg[i] = ra[i] = 0x80;
                for (int i = 0; i < count; ++i) {
                    bg[i] = static_cast<uint8_t>(BPP * i);
                    bg[8 + i] = static_cast<uint8_t>(BPP * i + 1);
                    ra[i] = static_cast<uint8_t>(BPP * i + 2);
                    if (BPP == 4) ra[8 + i] = static_cast<uint8_t>(BPP * i + 3);
                }
            }
        }
        return c;
    }();
    return controls.data();
}

// Columns whose span fits two windows: the middle sums come from byte shuffles and sums of
// absolute differences instead of a loop over the taps. The channels travel in the dword
// order blue, red, green, alpha (the order vpsadbw leaves them in once the red|alpha sums are
// shifted up a dword); the two edge taps are interleaved byte by byte and spread into the same
// order as word pairs for one vpmaddwd with (first, last); one final shuffle puts the bytes
// back in pixel order. Wider columns take HorizontalRowAvx2.
template <int BPP>
__attribute__((target("avx2"))) void HorizontalWindowsAvx2(const uint8_t* inter,
                                                           const ColumnTap* cols, int nCols,
                                                           uint8_t* out) {
    constexpr int W = WindowPixels<BPP>;
    const WindowControls* ctl = Controls<BPP>();
    const __m128i alpha = _mm_set1_epi32(BPP == 3 ? static_cast<int32_t>(0xFF000000u) : 0);
    const __m128i zero = _mm_setzero_si128();
    // Interleaved edge bytes b b' g g' r r' a a' to word pairs in dwords blue, red, green,
    // alpha (zero for 3-byte pixels, whose fourth byte belongs to the next pixel).
    const __m128i edgeOrder = _mm_setr_epi8(0, -128, 1, -128, 4, -128, 5, -128, 2, -128, 3, -128,
                                            BPP == 4 ? 6 : -128, -128, BPP == 4 ? 7 : -128, -128);
    // Dwords blue, red, green, alpha back to bytes blue, green, red, alpha.
    const __m128i pixelOrder = _mm_setr_epi8(0, 8, 4, BPP == 4 ? 12 : -128, -128, -128, -128, -128,
                                             -128, -128, -128, -128, -128, -128, -128, -128);
    for (int j = 0; j < nCols; ++j, out += 4) {
        const ColumnTap& c = cols[j];
        if (c.matte) {
            std::memcpy(out, c.mattePixel, 4);
            continue;
        }
        if (c.span > 2 * W) {
            HorizontalRowAvx2<BPP>(inter, &c, 1, out);
            continue;
        }
        const uint8_t* t = inter + c.offset;
        const __m128i ends = _mm_shuffle_epi8(
            _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32_t>(Load32(t))),
                              _mm_cvtsi32_si128(static_cast<int32_t>(Load32(inter + c.offsetEnd)))),
            edgeOrder);
        __m128i acc = _mm_madd_epi16(ends, _mm_set1_epi32(c.weights));

        const WindowControls& k = ctl[c.span];
        const __m128i w0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + BPP));
        __m128i bg = _mm_sad_epu8(
            _mm_shuffle_epi8(w0, _mm_load_si128(reinterpret_cast<const __m128i*>(k.bg[0]))), zero);
        __m128i ra = _mm_sad_epu8(
            _mm_shuffle_epi8(w0, _mm_load_si128(reinterpret_cast<const __m128i*>(k.ra[0]))), zero);
        if (c.span > W) {
            const __m128i w1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + BPP + BPP * W));
            bg = _mm_add_epi64(
                bg, _mm_sad_epu8(_mm_shuffle_epi8(
                                     w1, _mm_load_si128(reinterpret_cast<const __m128i*>(k.bg[1]))),
                                 zero));
            ra = _mm_add_epi64(
                ra, _mm_sad_epu8(_mm_shuffle_epi8(
                                     w1, _mm_load_si128(reinterpret_cast<const __m128i*>(k.ra[1]))),
                                 zero));
        }
        const __m128i mid = _mm_or_si128(bg, _mm_slli_epi64(ra, 32));
        acc = _mm_add_epi32(acc, _mm_slli_epi32(mid, 8));
        acc = _mm_srli_epi32(_mm_mullo_epi32(acc, _mm_set1_epi32(c.norm)), 20);
        acc = _mm_or_si128(_mm_shuffle_epi8(acc, pixelOrder), alpha);
        const uint32_t px = static_cast<uint32_t>(_mm_cvtsi128_si32(acc));
        std::memcpy(out, &px, 4);
    }
}

}  // namespace

void HorizontalPassAvx2(const uint8_t* inter, int bpp, const ColumnTap* cols, int nCols,
                        uint8_t* out) {
    if (bpp == 4)
        HorizontalWindowsAvx2<4>(inter, cols, nCols, out);
    else
        HorizontalWindowsAvx2<3>(inter, cols, nCols, out);
}

namespace {

// Eight output pixels per step. The first and last taps of each column are gathered as 32-bit
// words (a pixel and, for 3-byte pixels, one byte of the next) and paired channel by channel
// into 16-bit words (first tap low, last tap high), so that one vpmaddwd with the column's
// (first, last) weights gives each channel's edge sum. The middle taps, weight 256, are summed
// two channels to a 32-bit lane as 16-bit words (at most 6 of them, so no word overflows),
// masked per lane where a column has fewer, and widened at the end.
__attribute__((target("avx2"))) inline __m256i load(const int32_t* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

template <int BPP>
__attribute__((target("avx2"))) void GatherRow(const uint8_t* inter, const ColumnPlan& plan,
                                               int nCols, uint8_t* out) {
    const auto* base = reinterpret_cast<const int*>(inter);
    const int middleTaps = plan.taps - 2, padded = plan.padded;
    const int32_t* offsets = plan.offset;
    const int32_t* offsetEnds = plan.offsetEnd;
    const int32_t* norms = plan.norm;
    const int32_t* edgeWeights = plan.edgeWeights;
    const int32_t* groupMatte = plan.groupMatte;
    const int32_t* middles = plan.middle;
    const int32_t* mattes = plan.matte;
    const uint32_t* mattePixels = plan.mattePixel;
    const __m256i pairMask = _mm256_set1_epi32(0x00FF00FF);
    const __m256i wordMask = _mm256_set1_epi32(0xFFFF);
    const __m256i opaque = _mm256_set1_epi32(BPP == 3 ? static_cast<int32_t>(0xFF000000u) : 0);
    const __m256i step = _mm256_set1_epi32(BPP);
    for (int j = 0; j < nCols; j += 8) {
        const __m256i offset0 = load(offsets + j);
        const __m256i t0 = _mm256_i32gather_epi32(base, offset0, 1);
        const __m256i te = _mm256_i32gather_epi32(base, load(offsetEnds + j), 1);
        const __m256i we = load(edgeWeights + j);
        // Words (blue|green of tap 0, blue|green of the last tap), then the red|alpha halves.
        const __m256i lowHalves = _mm256_blend_epi16(t0, _mm256_slli_epi32(te, 16), 0xAA);
        const __m256i highHalves = _mm256_blend_epi16(_mm256_srli_epi32(t0, 16), te, 0xAA);
        __m256i b = _mm256_madd_epi16(_mm256_and_si256(lowHalves, pairMask), we);
        __m256i g = _mm256_madd_epi16(_mm256_srli_epi16(lowHalves, 8), we);
        __m256i r = _mm256_madd_epi16(_mm256_and_si256(highHalves, pairMask), we);
        __m256i br = _mm256_setzero_si256(), ga = br;  // blue|red, green|alpha word sums
        __m256i offset = offset0;
        for (int k = 0; k < middleTaps; ++k) {
            offset = _mm256_add_epi32(offset, step);
            const __m256i tap = _mm256_and_si256(_mm256_i32gather_epi32(base, offset, 1),
                                                 load(middles + k * padded + j));
            br = _mm256_add_epi16(br, _mm256_and_si256(tap, pairMask));
            ga = _mm256_add_epi16(ga, _mm256_and_si256(_mm256_srli_epi32(tap, 8), pairMask));
        }
        b = _mm256_add_epi32(b, _mm256_slli_epi32(_mm256_and_si256(br, wordMask), 8));
        r = _mm256_add_epi32(r, _mm256_slli_epi32(_mm256_srli_epi32(br, 16), 8));
        g = _mm256_add_epi32(g, _mm256_slli_epi32(_mm256_and_si256(ga, wordMask), 8));
        const __m256i norm = load(norms + j);
        b = _mm256_srli_epi32(_mm256_mullo_epi32(b, norm), 20);
        g = _mm256_srli_epi32(_mm256_mullo_epi32(g, norm), 20);
        r = _mm256_srli_epi32(_mm256_mullo_epi32(r, norm), 20);
        __m256i px =
            _mm256_or_si256(b, _mm256_or_si256(_mm256_slli_epi32(g, 8), _mm256_slli_epi32(r, 16)));
        if (BPP == 4) {
            __m256i a = _mm256_madd_epi16(_mm256_srli_epi16(highHalves, 8), we);
            a = _mm256_add_epi32(a, _mm256_slli_epi32(_mm256_srli_epi32(ga, 16), 8));
            a = _mm256_srli_epi32(_mm256_mullo_epi32(a, norm), 20);
            px = _mm256_or_si256(px, _mm256_slli_epi32(a, 24));
        } else {
            px = _mm256_or_si256(px, opaque);
        }
        if (groupMatte[j / 8])
            px = _mm256_blendv_epi8(px, load(reinterpret_cast<const int32_t*>(mattePixels + j)),
                                    load(mattes + j));
        if (j + 8 <= nCols) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * j), px);
        } else {
            const __m256i keep = _mm256_cmpgt_epi32(_mm256_set1_epi32(nCols - j),
                                                    _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
            _mm256_maskstore_epi32(reinterpret_cast<int*>(out + 4 * j), keep, px);
        }
    }
}

}  // namespace

void HorizontalGatherAvx2(const uint8_t* inter, int bpp, const ColumnPlan& plan, int nCols,
                          uint8_t* out) {
    if (bpp == 4)
        GatherRow<4>(inter, plan, nCols, out);
    else
        GatherRow<3>(inter, plan, nCols, out);
}

// The rotated row has its own file (render_rotated_avx2.cpp).
void RotatedRowAvx2(const RotatedRow& row, const uint8_t* bits, int32_t stride, int bpp, int wsrc,
                    int hsrc, int quality, uint8_t* out, int wout);

namespace {

void RotatedRowAvx2Entry(const RotatedRow& row, const uint8_t* bits, int32_t stride, int bpp,
                         int wsrc, int hsrc, int quality, uint8_t* out, int wout) {
    RotatedRowAvx2(row, bits, stride, bpp, wsrc, hsrc, quality, out, wout);
}

}  // namespace

const KernelTable& Avx2KernelTable() {
    static const KernelTable table{"avx2", &VerticalPassAvx2, &HorizontalPassAvx2,
                                   &HorizontalGatherAvx2, &RotatedRowAvx2Entry};
    return table;
}

}  // namespace render_detail
}  // namespace kv
