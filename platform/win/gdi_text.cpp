// Text on device contexts: drawing a line of text in the DC's font, colour and alignment, and
// measuring it.
#include <string>

#include "platform/win/gdi_internal.h"
#include "platform/win/internal.h"
#include "platform/win/sharp_text.h"
#include "platform/win/text_render.h"

namespace kv {

bool TextOut(HDC hdc, int x, int y, const std::string& text) {
    if (!hdc) return false;
    const FontSpec& f = hdc->font ? hdc->font->font : Stock(-1)->font;
    TextRun run = LayoutText(f, text);
    int left = x;
    uint32_t h = hdc->textAlign & 6;
    if (h == TA_CENTER)
        left = x - run.width / 2;
    else if (h == TA_RIGHT)
        left = x - run.width;
    int v = hdc->textAlign & 24;
    int baseline = v == TA_BASELINE ? y : (v == TA_BOTTOM ? y - run.descent : y + run.ascent);
    int top = baseline - run.ascent;
    if (hdc->bkMode == OPAQUE) {
        HBRUSH br = CreateSolidBrush(hdc->bkColor);
        Rect r{left, top, left + run.width, top + run.ascent + run.descent};
        FillRect(hdc, &r, br);
        DeleteObject(br);
    }
    // On a dense display the backend draws the text again at device pixels.
    PendingTextPtr sharp = BeginTextNote(hdc, f, text, run, left, baseline);
    uint32_t tc = ToBgra(hdc->textColor);
    DrawTextRun(run, left, baseline, [&](int px, int py, int cov) {
        int sx = px + hdc->originX, sy = py + hdc->originY;
        if (sx < hdc->clip.left || sx >= hdc->clip.right || sy < hdc->clip.top ||
            sy >= hdc->clip.bottom || cov <= 0)
            return;
        uint32_t& p = hdc->pixels[static_cast<size_t>(sy) * hdc->stride + sx];
        if (cov >= 255) {
            p = tc;
            return;
        }
        uint32_t out = 0xFF000000u;
        for (int sh = 0; sh < 24; sh += 8) {
            int d = (p >> sh) & 255, s = (tc >> sh) & 255;
            out |= static_cast<uint32_t>(d + ((s - d) * cov + 127) / 255) << sh;
        }
        p = out;
    });
    if (f.underline) {
        HPEN pen = CreatePen(PS_SOLID, 1, hdc->textColor);
        HGDIOBJ old = SelectObject(hdc, pen);
        int rop = SetROP2(hdc, R2_COPYPEN);
        MoveToEx(hdc, left, baseline + 1, nullptr);
        LineTo(hdc, left + run.width, baseline + 1);
        SetROP2(hdc, rop);
        SelectObject(hdc, old);
        DeleteObject(pen);
    }
    EndTextNote(std::move(sharp));
    if (hdc->window) hdc->window->changed = true;
    return true;
}

bool GetTextExtentPoint32(HDC hdc, const std::string& text, SIZE* size) {
    if (!hdc || !size) return false;
    const FontSpec& f = hdc->font ? hdc->font->font : Stock(-1)->font;
    TextRun run = LayoutText(f, text);
    size->cx = run.width;
    size->cy = run.ascent + run.descent;
    return true;
}

void GetTextMetrics(HDC hdc, int* ascent, int* height) {
    const FontSpec& f = hdc && hdc->font ? hdc->font->font : Stock(-1)->font;
    TextRun run = LayoutText(f, "");
    if (ascent) *ascent = run.ascent;
    if (height) *height = run.ascent + run.descent;
}

}  // namespace kv
