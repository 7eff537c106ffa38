// The AVX2 kernels of the BGRA to Y'CbCr conversion: 16 pixels per step, compiled only for
// x86-64 builds that keep them (each function carries its own target attribute) and entered
// only through the kernel table when the processor has AVX2. The leftover pixels of a row go to
// the portable kernels, which compute the same integers.
//
// Each pixel is one 32-bit lane. Masking gives the word pairs (B, R) and (G, 0), and vpmaddwd
// with the weight pairs gives each pixel's weighted sum exactly. A chroma sample's sum is the
// sum of its pixels' sums (the weighting is linear), added across with vphaddd and, for 4:2:0,
// over the two rows' pixels before weighting.
#include <immintrin.h>

#include "platform/video/yuv_convert.h"

namespace kv {

namespace {

#define KV_AVX2 __attribute__((target("avx2")))

struct Weights {
    __m256i br, g;
};

KV_AVX2 inline Weights WeightsOf(const int32_t* w) {
    // Word pairs: B in the low word and R in the high one; G alone in the low word.
    const uint32_t br = (static_cast<uint32_t>(w[2]) & 0xFFFF) | static_cast<uint32_t>(w[0]) << 16;
    return {_mm256_set1_epi32(static_cast<int32_t>(br)),
            _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(w[1]) & 0xFFFF))};
}

struct Channels {
    __m256i br, g;  // (B, R) and (G, 0) word pairs of 8 pixels
};

KV_AVX2 inline Channels Split(const uint8_t* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i low = _mm256_set1_epi32(0x00FF00FF);
    return {_mm256_and_si256(v, low),
            _mm256_and_si256(_mm256_srli_epi32(v, 8), _mm256_set1_epi32(0xFF))};
}

KV_AVX2 inline Channels Add(Channels a, Channels b) {
    return {_mm256_add_epi16(a.br, b.br), _mm256_add_epi16(a.g, b.g)};
}

KV_AVX2 inline __m256i Weigh(Channels c, Weights w) {
    return _mm256_add_epi32(_mm256_madd_epi16(c.br, w.br), _mm256_madd_epi16(c.g, w.g));
}

// Two sets of eight 32-bit values, clamped, as 16 bytes in order.
KV_AVX2 inline __m128i Narrow(__m256i a, __m256i b, __m256i lo, __m256i hi) {
    __m256i w = _mm256_packs_epi32(a, b);  // a0-3 b0-3 | a4-7 b4-7
    w = _mm256_permute4x64_epi64(w, _MM_SHUFFLE(3, 1, 2, 0));
    w = _mm256_min_epi16(_mm256_max_epi16(w, lo), hi);
    const __m256i bytes = _mm256_packus_epi16(w, w);  // a0-7 a0-7 | b0-7 b0-7
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, _MM_SHUFFLE(3, 1, 2, 0)));
}

KV_AVX2 void LumaAvx2(const uint8_t* p, int width, const YuvCoefficients& k, uint8_t* y) {
    const Weights w = WeightsOf(k.y);
    const __m256i round = _mm256_set1_epi32(1 << 14), offset = _mm256_set1_epi32(k.yOffset);
    const __m256i lo = _mm256_set1_epi16(static_cast<int16_t>(k.lo));
    const __m256i hi = _mm256_set1_epi16(static_cast<int16_t>(k.yHi));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m256i a = Weigh(Split(p + 4 * x), w), b = Weigh(Split(p + 4 * x + 32), w);
        a = _mm256_add_epi32(_mm256_srai_epi32(_mm256_add_epi32(a, round), 15), offset);
        b = _mm256_add_epi32(_mm256_srai_epi32(_mm256_add_epi32(b, round), 15), offset);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x), Narrow(a, b, lo, hi));
    }
    if (x < width) PortableYuvKernels().luma(p + 4 * x, width - x, k, y + x);
}

// Eight chroma samples of one kind from the pixel sums of 16 pixels (a: pixels 0-7, b: 8-15).
KV_AVX2 inline __m256i Samples(Channels a, Channels b, Weights w, __m256i bias, __m128i shift) {
    // Pairs of neighbours: s0 s1 s4 s5 | s2 s3 s6 s7, put in order by qwords.
    __m256i s = _mm256_hadd_epi32(Weigh(a, w), Weigh(b, w));
    s = _mm256_permute4x64_epi64(s, _MM_SHUFFLE(3, 1, 2, 0));
    return _mm256_sra_epi32(_mm256_add_epi32(s, bias), shift);
}

KV_AVX2 inline void StoreChroma(Channels a, Channels b, const YuvCoefficients& k, int shift,
                                uint8_t* u, uint8_t* v) {
    const __m256i bias = _mm256_set1_epi32((128 << shift) + (1 << (shift - 1)));
    const __m256i lo = _mm256_set1_epi16(static_cast<int16_t>(k.lo));
    const __m256i hi = _mm256_set1_epi16(static_cast<int16_t>(k.cHi));
    const __m128i sh = _mm_cvtsi32_si128(shift);
    const __m128i uv = Narrow(Samples(a, b, WeightsOf(k.u), bias, sh),
                              Samples(a, b, WeightsOf(k.v), bias, sh), lo, hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(u), uv);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(v), _mm_unpackhi_epi64(uv, uv));
}

KV_AVX2 void Chroma422Avx2(const uint8_t* p, int width, const YuvCoefficients& k, uint8_t* u,
                           uint8_t* v) {
    int x = 0;
    for (; x + 16 <= width; x += 16)
        StoreChroma(Split(p + 4 * x), Split(p + 4 * x + 32), k, 16, u + x / 2, v + x / 2);
    if (x < width) PortableYuvKernels().chroma422(p + 4 * x, width - x, k, u + x / 2, v + x / 2);
}

KV_AVX2 void Chroma420Avx2(const uint8_t* p0, const uint8_t* p1, int width,
                           const YuvCoefficients& k, uint8_t* u, uint8_t* v) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const Channels a = Add(Split(p0 + 4 * x), Split(p1 + 4 * x));
        const Channels b = Add(Split(p0 + 4 * x + 32), Split(p1 + 4 * x + 32));
        StoreChroma(a, b, k, 17, u + x / 2, v + x / 2);
    }
    if (x < width)
        PortableYuvKernels().chroma420(p0 + 4 * x, p1 + 4 * x, width - x, k, u + x / 2, v + x / 2);
}

constexpr YuvKernels kAvx2 = {"avx2", LumaAvx2, Chroma422Avx2, Chroma420Avx2};

}  // namespace

const YuvKernels& Avx2YuvKernelTable() {
    return kAvx2;
}

}  // namespace kv
