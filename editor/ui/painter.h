// Painter: a drawing target handed to whoever draws, bound to one window's or one bitmap's device
// context for its lifetime. Its operations are the toolkit's drawing primitives and widgets, so a
// routine that paints takes a Painter& instead of drawing on whatever context happens to be
// current.
//
// While a Painter lives, its context is also the toolkit's current one (older code still draws
// there); the previous current context comes back when it ends. UI thread only.
#pragma once

#include <cstdint>

#include "editor/ui/toolkit.h"

namespace kv {

class Painter {
public:
    // Draws on a context the caller owns (a bitmap's, or one from BeginPaint).
    explicit Painter(HDC dc);
    // Draws on a window's client area: gets its context now and releases it at the end.
    explicit Painter(const CPWnd& window);
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    HDC Dc() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

    void FrameBox(COLORREF colour, const Rect& r, int penWidth = 1, int penStyle = PS_SOLID);
    void FillBox(COLORREF colour, const Rect& r);
    void FrameRoundBox(COLORREF colour, const Rect& r, int corner, int penWidth = 1,
                       int penStyle = PS_SOLID);
    void FillRoundBox(COLORREF colour, const Rect& r, int corner);
    void FrameOval(COLORREF colour, const Rect& r, int penWidth = 1, int penStyle = PS_SOLID);
    void FillOval(COLORREF colour, const Rect& r);
    void DrawLine(COLORREF colour, int x1, int y1, int x2, int y2, int penWidth = 1,
                  int penStyle = PS_SOLID);
    void DrawPolyline(COLORREF colour, int penWidth, int count, const POINT* points,
                      int penStyle = PS_SOLID);
    void FillTriangle(COLORREF colour, int x, int y, int s, int direction);
    void XorBox(const Rect& r, int penWidth = 1, int penStyle = PS_SOLID);
    void XorOval(const Rect& r, int penWidth = 1, int penStyle = PS_SOLID);
    void XorLine(int x1, int y1, int x2, int y2, int penWidth = 1, int penStyle = PS_SOLID);
    void XorPolyline(int penWidth, int count, const POINT* points, int penStyle = PS_SOLID);
    void DrawBevel(COLORREF light, COLORREF dark, const Rect& r, int penWidth);

    void DrawRadioMark(COLORREF colour, const Rect& r, bool on);
    void DrawCheckMark(COLORREF colour, const Rect& r, bool on);
    void DrawSliderBar(COLORREF back, COLORREF mark, const Rect& r, int percent, int maximum,
                       bool centredText);

    bool BlitResourceBitmap(int x, int y, int id, uint32_t rop = SRCCOPY);
    void UseFont(HFONT font, int64_t backColour = -1, int backMode = -1);
    void DrawString(COLORREF colour, const char* text, int x, int y, uint32_t alignment = TA_LEFT);
    int StringWidth(const char* text);

private:
    HDC m_dc = nullptr;
    HWND m_window = nullptr;  // set when the context was got from a window and must be released
    HDC m_previous = nullptr;
};

}  // namespace kv
