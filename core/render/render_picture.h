// The picture renderers behind RenderFrame: the separable box resampler (full quality and
// draft), the rotating and tilting sampler, the band split over two threads, and the row
// selection that all of them share.
//
// Conventions (the output must match a plain reference to the bit, so they are fixed):
// - Camera coordinates are pixels of the prepared picture, y counted upwards from its bottom
//   row (row 0 of the CDIB). Output row r (also counted from the bottom) starts at source
//   y = bottom + r * ystep, plus 0.5 * ystep for line code 1, with ystep = H / Hout; output
//   column j starts at x = left + j * xstep, xstep = W / Wout. All of this is single
//   precision, evaluated exactly in that order (no fused multiply-add).
// - Full quality is integer arithmetic: coverage weights in 1/256 of a pixel, one normaliser
//   floor(2^20 / total weight) per column and per row, results shifted right by 20 bits. The
//   first horizontal weight is stored as an 8-bit value (256 becomes 0). The picture's last
//   column and the rows whose window reaches its top row count as outside.
// - Outside the picture is the matte: 17 in blue, green and red; alpha 255 over a 24-bit
//   picture and 0 over a 32-bit one (after filtering, so a matte value can come out as 16).
// - The rotating renderer samples output pixel j of a row at start + j * ((end - start) / Wout)
//   and interpolates as a + (b - a) * t in single precision, truncating the result.
// - Degenerate cameras stay defined: a camera of zero, negative or not-a-number width or height
//   shows only the matte (its windows would otherwise run backwards over the picture); a window
//   whose weights sum to 0 (a camera hundreds of times smaller than the output) gets the
//   normaliser 0 instead of a division by zero; the vertical pass always covers every column a
//   tap reads, even where single-precision rounding puts one past left + W + 16.
#pragma once

#include <cstdint>

#include "core/picture/cdib.h"

namespace kv {

// The camera rectangle over the prepared picture and its angles in degrees.
struct CameraRect {
    float left = 0.0f;
    float bottom = 0.0f;
    float width = 0.0f;   // W
    float height = 0.0f;  // H
    float rotation = 0.0f;
    float tiltA = 0.0f;
    float tiltB = 0.0f;
};

// Line-selection codes: which rows a render writes and where they sample.
constexpr int LineAll = 0;      // every row
constexpr int LineAllHalf = 1;  // every row, half an output row higher
constexpr int LineEven = 10;    // rows 0, 2, 4 ... from the bottom
constexpr int LineOdd = 11;     // rows 1, 3, 5 ...

constexpr int QualityFull = 100;
constexpr int QualityDraft = 0;

constexpr uint8_t MatteLevel = 17;

// The rows one render writes: first, first + step, ... up to and including last (none when
// first > last). Band 0 is the whole frame, band 1 rows 0..Hout/2, band 2 rows from
// Hout/2 + bandOffset to the top; codes 10 and 11 move a band's first row up by the code's
// last digit and take every second row. A row that band 1 writes is never written by band 2
// as well, so the two bands of one render never touch the same row.
struct RowRange {
    int first = 0;
    int last = -1;
    int step = 1;
    int line = 0;  // the line code, for the half-row offset of code 1
};
RowRange BandRows(int outHeight, int band, int line, int bandOffset);

// Renders `picture` into the rows of `out` (32 bits) selected by band and line. Hands over to
// RenderRotated when picture.rotationInUse is set. False when either image is unusable (out
// not 32 bits, picture not 24 or 32 bits, or empty) or the working buffer cannot be had.
bool RenderPicture(CDIB& out, const CDIB& picture, const CameraRect& cam, int quality, int band,
                   int line, int bandOffset = 0);
// The same with the renderer chosen by `rotated` instead of the picture's mark, for callers that
// may not mark a picture they only read.
bool RenderPictureAs(CDIB& out, const CDIB& picture, bool rotated, const CameraRect& cam,
                     int quality, int band, int line, int bandOffset = 0);

// The renderer with rotation and keystone tilt (bilinear with a tap spacing that grows with
// the reduction, or nearest pixel in draft).
bool RenderRotated(CDIB& out, const CDIB& picture, const CameraRect& cam, int quality, int band,
                   int line, int bandOffset = 0);

// One render for all rows: a single RenderPicture call, or with multiProcess two bands at once,
// band 1 on a worker thread started for this call and band 2 on the calling thread. False when
// either band fails.
bool RenderBands(CDIB& out, const CDIB& picture, const CameraRect& cam, int quality, int line,
                 bool multiProcess, int multiProcOffset);
// RenderBands with the renderer chosen by `rotated` (RenderPictureAs).
bool RenderBandsAs(CDIB& out, const CDIB& picture, bool rotated, const CameraRect& cam, int quality,
                   int line, bool multiProcess, int multiProcOffset);

// Whether the production renderer may use its AVX2 kernels on this processor (tests and the
// benchmark switch them off to compare against the portable code).
void SetRenderSimdEnabled(bool enabled);

}  // namespace kv
