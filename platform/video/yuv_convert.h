// BGRA rows to planar Y'CbCr 4:2:0 or 4:2:2 for the movie encoders, at limited (studio) or full
// range, with ITU-R BT.601 weights (what the encoders' streams have always been made with).
//
// The arithmetic, in integers, is the same on every machine and in every kernel:
//   Y  = (kr*R + kg*G + kb*B + 2^14) >> 15, plus 16 at limited range
//   Cb = (ur*Sr + ug*Sg + ub*Sb + (128 << s) + 2^(s-1)) >> s, likewise Cr with vr, vg, vb
// where Sr, Sg, Sb are the sums of the n pixels a chroma sample covers (n = 2 across for 4:2:2;
// 2 across and 2 down for 4:2:0), s = 15 + log2(n), and the weights are the BT.601 matrix times
// 2^15, scaled by 219/255 (luma) and 224/255 (chroma) at limited range, rounded so that each
// chroma row sums to zero (grey has no colour). A chroma sample sits in the middle of its pixels;
// at an odd right or bottom edge the last pixel or row stands in for the missing one. Results
// are clamped to 16..235 / 16..240 (limited) or 0..255.
//
// A portable kernel and an AVX2 kernel give the same bytes; the AVX2 one is picked once at
// start-up when the processor has it (left out of builds with KV_PORTABLE_KERNELS and off
// x86-64).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

enum class ChromaLayout { Yuv420, Yuv422 };

struct YuvTarget {
    ChromaLayout layout = ChromaLayout::Yuv420;
    bool fullRange = false;
    uint8_t* planes[3] = {nullptr, nullptr, nullptr};  // Y, Cb, Cr
    ptrdiff_t strides[3] = {0, 0, 0};                  // bytes from one row to the next
};

// Converts a width x height frame of 32-bit B,G,R,X pixels. `firstRow` is the row at the lowest
// address and `rowBytes` the step between rows; bottomUp says it is the picture's bottom row
// (the image buffer's order), and the planes then receive the rows top row first.
void ConvertBgraToYuv(const uint8_t* firstRow, ptrdiff_t rowBytes, bool bottomUp, int width,
                      int height, const YuvTarget& target);

// The kernels of one instruction set. A row function converts pixels [0, width) of one output
// row; the chroma functions take the two source rows of a 4:2:0 sample pair (the same row twice
// at an odd bottom edge) or one row for 4:2:2.
struct YuvCoefficients {
    int32_t y[3];  // kr, kg, kb
    int32_t u[3];  // ur, ug, ub
    int32_t v[3];  // vr, vg, vb
    int32_t yOffset;
    int32_t lo, yHi, cHi;  // clamping bounds
};
const YuvCoefficients& YuvCoefficientsFor(bool fullRange);

struct YuvKernels {
    const char* name;
    void (*luma)(const uint8_t* bgra, int width, const YuvCoefficients& k, uint8_t* y);
    void (*chroma422)(const uint8_t* bgra, int width, const YuvCoefficients& k, uint8_t* u,
                      uint8_t* v);
    void (*chroma420)(const uint8_t* row0, const uint8_t* row1, int width, const YuvCoefficients& k,
                      uint8_t* u, uint8_t* v);
};

// The kernels in use (chosen once), the portable ones, and the AVX2 ones where built and the
// processor has AVX2 (else null).
const YuvKernels& CurrentYuvKernels();
const YuvKernels& PortableYuvKernels();
const YuvKernels* Avx2YuvKernels();
// Converts with the given kernels (tests and benchmarks compare them).
void ConvertBgraToYuvWith(const YuvKernels& kernels, const uint8_t* firstRow, ptrdiff_t rowBytes,
                          bool bottomUp, int width, int height, const YuvTarget& target);

}  // namespace kv
