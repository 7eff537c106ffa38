// The rotating renderer: each output row is a line across the picture, tilted (keystone) and
// rotated about the camera centre, sampled bilinearly with a tap spacing that widens as the
// camera shrinks the picture, or by nearest pixel in draft.
//
// All geometry is single precision in a fixed order: output pixel j of a row samples at
// start + j * ((end - start) / Wout). The AVX2 row loop (render_rotated_avx2.cpp) performs the
// same operations lane by lane (separate multiplies and adds, never fused), gathering the four
// taps of eight pixels at once, so both loops give the same bytes.
#include <algorithm>
#include <cmath>
#include <cstring>

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

    const render_detail::KernelTable& kernels = render_detail::Kernels();
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
        kernels.rotatedRow(row, picture.Bits(), picture.RowBytes(), bpp, wsrc, hsrc, quality,
                           out.Row(r), wout);
    }
    return true;
}

}  // namespace kv
