// Painter: the toolkit's drawing primitives and widgets on the one context it is bound to.
#include "editor/ui/toolkit/painter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "editor/resources/resources.h"

namespace kv {

Painter::Painter(HDC dc) : m_dc(dc) {}

Painter::Painter(const CPWnd& window) : m_dc(window.hwnd ? GetDC(window.hwnd) : nullptr) {
    if (m_dc) m_window = window.hwnd;
}

Painter::~Painter() {
    if (m_window) ReleaseDC(m_window, m_dc);
}

Painter::Saved::Saved(Painter& painter)
    : m_painter(painter), m_level(SaveDC(painter.m_dc)), m_savedFont(painter.m_savedFont) {}

Painter::Saved::~Saved() {
    if (m_level > 0) RestoreDC(m_painter.m_dc, m_level);
    m_painter.m_savedFont = m_savedFont;
}

void Painter::ClipTo(const Rect& r) {
    IntersectClipRect(m_dc, r.left, r.top, r.right, r.bottom);
}

namespace {

// Selects a pen and a brush for one primitive and puts the DC back afterwards.
class DrawObjects {
public:
    DrawObjects(HDC dc, HPEN pen, HBRUSH brush, int rop = 0)
        : m_dc(dc), m_pen(pen), m_brush(brush) {
        m_oldPen = SelectObject(dc, pen ? pen : GetStockObject(NULL_PEN));
        m_oldBrush = SelectObject(dc, brush ? brush : GetStockObject(NULL_BRUSH));
        if (rop) m_oldRop = SetROP2(dc, rop);
    }
    ~DrawObjects() {
        SelectObject(m_dc, m_oldPen);
        SelectObject(m_dc, m_oldBrush);
        if (m_oldRop) SetROP2(m_dc, m_oldRop);
        if (m_pen) DeleteObject(m_pen);
        if (m_brush) DeleteObject(m_brush);
    }
    DrawObjects(const DrawObjects&) = delete;
    DrawObjects& operator=(const DrawObjects&) = delete;

private:
    HDC m_dc;
    HPEN m_pen;
    HBRUSH m_brush;
    HGDIOBJ m_oldPen = nullptr, m_oldBrush = nullptr;
    int m_oldRop = 0;
};

}  // namespace

void Painter::FrameBox(COLORREF colour, const Rect& r, int penWidth, int penStyle) {
    if (!m_dc) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, colour), nullptr);
    Rectangle(m_dc, r.left, r.top, r.right, r.bottom);
}

void Painter::FillBox(COLORREF colour, const Rect& r) {
    if (!m_dc) return;
    HBRUSH b = CreateSolidBrush(colour);
    FillRect(m_dc, &r, b);
    DeleteObject(b);
}

void Painter::FrameRoundBox(COLORREF colour, const Rect& r, int corner, int penWidth,
                            int penStyle) {
    if (!m_dc) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, colour), nullptr);
    RoundRect(m_dc, r.left, r.top, r.right, r.bottom, corner, corner);
}

void Painter::FillRoundBox(COLORREF colour, const Rect& r, int corner) {
    if (!m_dc) return;
    DrawObjects o(m_dc, nullptr, CreateSolidBrush(colour));
    RoundRect(m_dc, r.left, r.top, r.right, r.bottom, corner, corner);
}

void Painter::FrameOval(COLORREF colour, const Rect& r, int penWidth, int penStyle) {
    if (!m_dc) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, colour), nullptr);
    Ellipse(m_dc, r.left, r.top, r.right, r.bottom);
}

void Painter::FillOval(COLORREF colour, const Rect& r) {
    if (!m_dc) return;
    DrawObjects o(m_dc, nullptr, CreateSolidBrush(colour));
    Ellipse(m_dc, r.left, r.top, r.right, r.bottom);
}

void Painter::DrawLine(COLORREF colour, int x1, int y1, int x2, int y2, int penWidth,
                       int penStyle) {
    if (!m_dc) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, colour), nullptr);
    MoveToEx(m_dc, x1, y1, nullptr);
    LineTo(m_dc, x2, y2);
}

void Painter::DrawPolyline(COLORREF colour, int penWidth, int count, const POINT* points,
                           int penStyle) {
    if (!m_dc || count < 2 || !points) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, colour), nullptr);
    Polyline(m_dc, points, count);
}

void Painter::FillTriangle(COLORREF colour, int x, int y, int s, int direction) {
    if (!m_dc) return;
    POINT p[3];
    switch (direction) {
        case 0:
            p[0] = {x - s, y + s};
            p[1] = {x, y - s};
            p[2] = {x + s, y + s};
            break;
        case 90:
            p[0] = {x - s, y - s};
            p[1] = {x + s, y};
            p[2] = {x - s, y + s};
            break;
        case 180:
            p[0] = {x + s, y - s};
            p[1] = {x, y + s};
            p[2] = {x - s, y - s};
            break;
        default:
            p[0] = {x + s, y + s};
            p[1] = {x - s, y};
            p[2] = {x + s, y - s};
            break;
    }
    DrawObjects o(m_dc, CreatePen(PS_SOLID, 1, colour), CreateSolidBrush(colour));
    Polygon(m_dc, p, 3);
}

void Painter::XorBox(const Rect& r, int penWidth, int penStyle) {
    if (!m_dc) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, 0), nullptr, R2_NOT);
    Rectangle(m_dc, r.left, r.top, r.right, r.bottom);
}

void Painter::XorOval(const Rect& r, int penWidth, int penStyle) {
    if (!m_dc) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, 0), nullptr, R2_NOT);
    Ellipse(m_dc, r.left, r.top, r.right, r.bottom);
}

void Painter::XorLine(int x1, int y1, int x2, int y2, int penWidth, int penStyle) {
    if (!m_dc) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, 0), nullptr, R2_NOT);
    MoveToEx(m_dc, x1, y1, nullptr);
    LineTo(m_dc, x2, y2);
}

void Painter::XorPolyline(int penWidth, int count, const POINT* points, int penStyle) {
    if (!m_dc || count < 2 || !points) return;
    DrawObjects o(m_dc, CreatePen(penStyle, penWidth, 0), nullptr, R2_NOT);
    Polyline(m_dc, points, count);
}

void Painter::DrawBevel(COLORREF light, COLORREF dark, const Rect& r, int penWidth) {
    if (!m_dc) return;
    {
        DrawObjects o(m_dc, CreatePen(PS_SOLID, penWidth, light), nullptr);
        MoveToEx(m_dc, r.left, r.bottom, nullptr);
        LineTo(m_dc, r.left, r.top);
        LineTo(m_dc, r.right, r.top);
    }
    DrawObjects o(m_dc, CreatePen(PS_SOLID, penWidth, dark), nullptr);
    MoveToEx(m_dc, r.right, r.top, nullptr);
    LineTo(m_dc, r.right, r.bottom);
    LineTo(m_dc, r.left - 1, r.bottom);
}

// --- Widgets -------------------------------------------------------------------------------------
void Painter::DrawRadioMark(COLORREF colour, const Rect& r, bool on) {
    FrameOval(colour, r, 1, PS_SOLID);
    if (on) FillOval(colour, Rect{r.left + 2, r.top + 2, r.right - 1, r.bottom - 1});
}

void Painter::DrawCheckMark(COLORREF colour, const Rect& r, bool on) {
    if (!m_dc) return;
    {
        DrawObjects o(m_dc, CreatePen(PS_SOLID, 1, RGB(0, 0, 0)), CreateSolidBrush(colour));
        Rectangle(m_dc, r.left, r.top, r.right, r.bottom);
    }
    if (on) {
        Rect s{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
        DrawLine(RGB(0, 0, 0), s.left, s.top, s.right, s.bottom, 1, PS_SOLID);
        DrawLine(RGB(0, 0, 0), s.right - 1, s.top, s.left - 1, s.bottom, 1, PS_SOLID);
    }
}

void Painter::DrawSliderBar(COLORREF back, COLORREF mark, const Rect& r, int percent, int maximum,
                            bool centredText) {
    if (!m_dc) return;
    int extra = StringWidth("100") + 6;
    FillBox(back, Rect{r.left, r.top, r.right + extra, r.bottom});
    Rect track{r.left + 4, r.bottom - 3, r.right - 4, r.bottom};
    FillBox(mark, track);
    int tw = track.right - track.left;
    FillTriangle(mark, track.left + 1 + (tw - 3) * percent / 100, r.top + 3, 3, 180);
    char text[32];
    std::snprintf(text, sizeof text, "%ld", SliderBarValue(percent, maximum));
    if (centredText)
        DrawString(RGB(0, 0, 0), text, track.right + 16, r.top - 2, TA_CENTER);
    else
        DrawString(RGB(0, 0, 0), text, track.right + 6, r.top - 2, TA_LEFT);
}

// --- Bitmaps and text ----------------------------------------------------------------------------
bool Painter::BlitResourceBitmap(int x, int y, int id, uint32_t rop) {
    const ResourceBitmap* bm = FindBitmapResource(id);
    if (!m_dc || !bm || bm->width <= 0) return false;
    std::vector<uint32_t> pixels = bm->pixels;
    if (bm->bitCount == 1) {
        int rowBytes = (bm->width + 7) / 8;
        pixels.assign(static_cast<size_t>(bm->width) * bm->height, 0xFF000000u);
        for (int yy = 0; yy < bm->height; ++yy)
            for (int xx = 0; xx < bm->width; ++xx)
                if (bm->monoBits[yy * rowBytes + xx / 8] & (0x80 >> (xx % 8)))
                    pixels[yy * bm->width + xx] = 0xFFFFFFFFu;
    }
    HBITMAP bitmap = CreateBitmap32(bm->width, bm->height, pixels.data());
    HDC mem = CreateCompatibleDC(m_dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(m_dc, x, y, bm->width, bm->height, mem, 0, 0, rop);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(bitmap);
    return true;
}

void Painter::UseFont(HFONT font, int64_t backColour, int backMode) {
    if (!m_dc) return;
    if (font) {
        m_savedFont = SelectObject(m_dc, font);
    } else if (m_savedFont) {
        SelectObject(m_dc, m_savedFont);
    }
    if (backColour != -1) SetBkColor(m_dc, static_cast<COLORREF>(backColour));
    if (backMode != -1) SetBkMode(m_dc, backMode);
}

void Painter::DrawString(COLORREF colour, const char* text, int x, int y, uint32_t alignment) {
    if (!m_dc || !text) return;
    SetTextColor(m_dc, colour);
    SetTextAlign(m_dc, alignment);
    TextOut(m_dc, x, y, text);
}

int Painter::StringWidth(const char* text) {
    if (!m_dc || !text || !*text) return 0;
    SIZE sz;
    GetTextExtentPoint32(m_dc, text, &sz);
    return sz.cx;
}

int32_t ScreenInt(float v) {
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::clamp(v, -1000000.0f, 1000000.0f));
}

}  // namespace kv
