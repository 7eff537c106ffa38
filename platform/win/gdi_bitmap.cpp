// Bitmaps on device contexts: device-independent bitmaps stretched onto a DC and copies
// between DCs.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/win/gdi_internal.h"
#include "platform/win/internal.h"
#include "platform/win/sharp_text.h"

namespace kv {

int StretchDIBits(HDC hdc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                  const void* bits, const BitmapInfo* info) {
    if (!hdc || !bits || !info || dw == 0 || dh == 0 || sw == 0 || sh == 0) return 0;
    const BitmapInfoHeader& hd = info->header;
    int bpp = hd.biBitCount;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
    int w = hd.biWidth, h = hd.biHeight < 0 ? -hd.biHeight : hd.biHeight;
    bool bottomUp = hd.biHeight > 0;
    if (w <= 0 || h <= 0) return 0;
    int stride = ((bpp / 8) * w + 3) & ~3;  // rows padded to 4 bytes
    const auto* src = static_cast<const uint8_t*>(bits);
    bool mirrorX = (dw < 0) != (sw < 0), mirrorY = (dh < 0) != (sh < 0);
    int adw = std::abs(dw), adh = std::abs(dh), asw = std::abs(sw), ash = std::abs(sh);
    if (dw < 0) dx += dw + 1;
    if (dh < 0) dy += dh + 1;
    if (sw < 0) sx += sw + 1;
    if (sh < 0) sy += sh + 1;
    // A 32-bit picture stretched without mirroring (a view's picture rendered at device size and
    // drawn into its logical place, every playback step): the visible target columns and the
    // source column of each, worked out once for all rows.
    std::vector<int> columns;
    int firstColumn = 0;
    if (bpp == 32 && adw != asw && !mirrorX) {
        const int base = dx + hdc->originX;
        firstColumn = std::max(0, hdc->clip.left - base);
        const int end = std::min(adw, hdc->clip.right - base);
        for (int i = firstColumn; i < end; ++i) {
            const int col = sx + static_cast<int>((static_cast<int64_t>(i) * asw) / adw);
            // Source columns grow with i: those left of the picture come first, those right of
            // it last.
            if (col < 0) {
                firstColumn = i + 1;
                continue;
            }
            if (col >= w) break;
            columns.push_back(col);
        }
    }
    for (int j = 0; j < adh; ++j) {
        int py = dy + j + hdc->originY;
        if (py < hdc->clip.top || py >= hdc->clip.bottom) continue;
        int jj = mirrorY ? adh - 1 - j : j;
        int vs = static_cast<int>((static_cast<int64_t>(jj) * ash) / adh);  // visual row in rect
        // Visual row vs of the source rectangle; a bottom-up DIB counts its origin from below.
        int row = bottomUp ? sy + ash - 1 - vs : sy + vs;
        if (row < 0 || row >= h) continue;
        int memRow = bottomUp ? row : row;  // memory row index (row 0 first in memory)
        const uint8_t* r = src + static_cast<size_t>(memRow) * stride;
        uint32_t* out = hdc->pixels + static_cast<size_t>(py) * hdc->stride;
        if (bpp == 32 && adw == asw && !mirrorX) {
            // One source column per target column (the viewer's frames, every playback step):
            // the visible span is copied straight, alpha made opaque as below.
            const int first = std::max({0, hdc->clip.left - dx - hdc->originX, -sx});
            const int end = std::min({adw, hdc->clip.right - dx - hdc->originX, w - sx});
            const int base = dx + hdc->originX;
            for (int i = first; i < end; ++i) {
                uint32_t v;
                std::memcpy(&v, r + static_cast<size_t>(sx + i) * 4, sizeof v);
                out[base + i] = v | 0xFF000000u;
            }
            continue;
        }
        if (bpp == 32 && adw != asw && !mirrorX) {
            uint32_t* to = out + dx + hdc->originX + firstColumn;
            for (size_t i = 0; i < columns.size(); ++i) {
                uint32_t v;
                std::memcpy(&v, r + static_cast<size_t>(columns[i]) * 4, sizeof v);
                to[i] = v | 0xFF000000u;
            }
            continue;
        }
        for (int i = 0; i < adw; ++i) {
            int px = dx + i + hdc->originX;
            if (px < hdc->clip.left || px >= hdc->clip.right) continue;
            int ii = mirrorX ? adw - 1 - i : i;
            int col = sx + static_cast<int>((static_cast<int64_t>(ii) * asw) / adw);
            if (col < 0 || col >= w) continue;
            uint32_t p;
            switch (bpp) {
                case 8: {
                    const RgbQuad& q = info->colors[r[col]];
                    p = 0xFF000000u | (q.red << 16) | (q.green << 8) | q.blue;
                    break;
                }
                case 16: {
                    uint16_t v = static_cast<uint16_t>(r[col * 2] | (r[col * 2 + 1] << 8));
                    int rr = (v >> 10) & 31, gg = (v >> 5) & 31, bb = v & 31;
                    p = 0xFF000000u | (((rr << 3) | (rr >> 2)) << 16) |
                        (((gg << 3) | (gg >> 2)) << 8) | ((bb << 3) | (bb >> 2));
                    break;
                }
                case 24:
                    p = 0xFF000000u | (r[col * 3 + 2] << 16) | (r[col * 3 + 1] << 8) | r[col * 3];
                    break;
                default:
                    p = 0xFF000000u | (r[col * 4 + 2] << 16) | (r[col * 4 + 1] << 8) | r[col * 4];
                    break;
            }
            out[px] = p;
        }
    }
    if (!mirrorX && !mirrorY) NotePicture(hdc, dx, dy, adw, adh, sx, sy, asw, ash, bits, info);
    if (hdc->window) hdc->window->changed = true;
    return adh;
}

bool BitBlt(HDC dst, int dx, int dy, int w, int h, HDC src, int sx, int sy, uint32_t rop) {
    if (!dst || !src) return false;
    for (int j = 0; j < h; ++j) {
        int ty = dy + j + dst->originY, fy = sy + j + src->originY;
        if (ty < dst->clip.top || ty >= dst->clip.bottom || fy < 0 || fy >= src->surfaceHeight)
            continue;
        for (int i = 0; i < w; ++i) {
            int tx = dx + i + dst->originX, fx = sx + i + src->originX;
            if (tx < dst->clip.left || tx >= dst->clip.right || fx < 0 || fx >= src->surfaceWidth)
                continue;
            uint32_t s = src->pixels[static_cast<size_t>(fy) * src->stride + fx];
            uint32_t& d = dst->pixels[static_cast<size_t>(ty) * dst->stride + tx];
            if (rop == SRCINVERT)
                d = (d ^ s) | 0xFF000000u;
            else if (rop == NOTSRCCOPY)
                d = (~s) | 0xFF000000u;
            else
                d = s | 0xFF000000u;
        }
    }
    if (dst->window) dst->window->changed = true;
    return true;
}

}  // namespace kv
