// Painter: a drawing target handed to whoever draws, bound to one window's or one bitmap's device
// context for its lifetime. Its operations are the toolkit's drawing primitives and widgets, so a
// routine that paints takes a Painter& instead of drawing on whatever context happens to be
// current.
//
// Each primitive makes the pen or brush it needs, selects it, draws, and puts back and deletes what
// it made, so the context is left as it was found. `Saved` keeps the pen, brush, font and clip for
// a scope (around a `ClipTo` or a run of `UseFont` calls). UI thread only.
#pragma once

#include <cstdint>

#include "editor/ui/toolkit/toolkit.h"

namespace kv {

// A picture or screen value as a whole pixel, truncated toward zero. Keys come from show files,
// so a value can be anything a float holds: not-a-number counts as 0 and the rest is held within
// +-1,000,000 pixels, which keeps every sum of the frame's geometry inside an int.
int32_t ScreenInt(float v);

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

    // Keeps the painter's selected pen, brush and font and its clip as they are when made, and
    // puts them back when it ends. Savers nest like scopes.
    class Saved {
    public:
        explicit Saved(Painter& painter);
        ~Saved();
        Saved(const Saved&) = delete;
        Saved& operator=(const Saved&) = delete;

    private:
        Painter& m_painter;
        int m_level;
        HFONT m_savedFont;
    };
    // Narrows drawing to r (within the present clip); a Saved made before brings the old clip
    // back.
    void ClipTo(const Rect& r);

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
    HWND m_window = nullptr;      // set when the context was got from a window and must be released
    HFONT m_savedFont = nullptr;  // the font the last UseFont(font) replaced
};

// A painter on a window known only by its handle (a modal dialog drawing over its owner): gets the
// window's context now and releases it at the end.
class OwnerPainter : public Painter {
public:
    explicit OwnerPainter(HWND window) : Painter(GetDC(window)), m_window(window) {}
    ~OwnerPainter() {
        if (Dc()) ReleaseDC(m_window, Dc());
    }

private:
    HWND m_window;
};

}  // namespace kv
