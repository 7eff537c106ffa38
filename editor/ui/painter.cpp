// Painter: forwards each primitive to the toolkit with its own context current.
#include "editor/ui/painter.h"

namespace kv {

Painter::Painter(HDC dc) : m_dc(dc) {
    m_previous = SetCurrentDC(m_dc);
}

Painter::Painter(const CPWnd& window) : m_dc(window.hwnd ? GetDC(window.hwnd) : nullptr) {
    if (m_dc) m_window = window.hwnd;
    m_previous = SetCurrentDC(m_dc);
}

Painter::~Painter() {
    SetCurrentDC(m_previous);
    if (m_window) ReleaseDC(m_window, m_dc);
}

// Each call makes this painter's context current for its duration, so nested painters (a dialog
// drawn while a window paints) keep to their own targets.
namespace {
class Current {
public:
    explicit Current(HDC dc) : m_old(SetCurrentDC(dc)) {}
    ~Current() { SetCurrentDC(m_old); }
    Current(const Current&) = delete;
    Current& operator=(const Current&) = delete;

private:
    HDC m_old;
};
}  // namespace

void Painter::FrameBox(COLORREF colour, const Rect& r, int penWidth, int penStyle) {
    Current c(m_dc);
    kv::FrameBox(colour, r, penWidth, penStyle);
}
void Painter::FillBox(COLORREF colour, const Rect& r) {
    Current c(m_dc);
    kv::FillBox(colour, r);
}
void Painter::FrameRoundBox(COLORREF colour, const Rect& r, int corner, int penWidth,
                            int penStyle) {
    Current c(m_dc);
    kv::FrameRoundBox(colour, r, corner, penWidth, penStyle);
}
void Painter::FillRoundBox(COLORREF colour, const Rect& r, int corner) {
    Current c(m_dc);
    kv::FillRoundBox(colour, r, corner);
}
void Painter::FrameOval(COLORREF colour, const Rect& r, int penWidth, int penStyle) {
    Current c(m_dc);
    kv::FrameOval(colour, r, penWidth, penStyle);
}
void Painter::FillOval(COLORREF colour, const Rect& r) {
    Current c(m_dc);
    kv::FillOval(colour, r);
}
void Painter::DrawLine(COLORREF colour, int x1, int y1, int x2, int y2, int penWidth,
                       int penStyle) {
    Current c(m_dc);
    kv::DrawLine(colour, x1, y1, x2, y2, penWidth, penStyle);
}
void Painter::DrawPolyline(COLORREF colour, int penWidth, int count, const POINT* points,
                           int penStyle) {
    Current c(m_dc);
    kv::DrawPolyline(colour, penWidth, count, points, penStyle);
}
void Painter::FillTriangle(COLORREF colour, int x, int y, int s, int direction) {
    Current c(m_dc);
    kv::FillTriangle(colour, x, y, s, direction);
}
void Painter::XorBox(const Rect& r, int penWidth, int penStyle) {
    Current c(m_dc);
    kv::XorBox(r, penWidth, penStyle);
}
void Painter::XorOval(const Rect& r, int penWidth, int penStyle) {
    Current c(m_dc);
    kv::XorOval(r, penWidth, penStyle);
}
void Painter::XorLine(int x1, int y1, int x2, int y2, int penWidth, int penStyle) {
    Current c(m_dc);
    kv::XorLine(x1, y1, x2, y2, penWidth, penStyle);
}
void Painter::XorPolyline(int penWidth, int count, const POINT* points, int penStyle) {
    Current c(m_dc);
    kv::XorPolyline(penWidth, count, points, penStyle);
}
void Painter::DrawBevel(COLORREF light, COLORREF dark, const Rect& r, int penWidth) {
    Current c(m_dc);
    kv::DrawBevel(light, dark, r, penWidth);
}
void Painter::DrawRadioMark(COLORREF colour, const Rect& r, bool on) {
    Current c(m_dc);
    kv::DrawRadioMark(colour, r, on);
}
void Painter::DrawCheckMark(COLORREF colour, const Rect& r, bool on) {
    Current c(m_dc);
    kv::DrawCheckMark(colour, r, on);
}
void Painter::DrawSliderBar(COLORREF back, COLORREF mark, const Rect& r, int percent, int maximum,
                            bool centredText) {
    Current c(m_dc);
    kv::DrawSliderBar(back, mark, r, percent, maximum, centredText);
}
bool Painter::BlitResourceBitmap(int x, int y, int id, uint32_t rop) {
    Current c(m_dc);
    return kv::BlitResourceBitmap(x, y, id, rop);
}
void Painter::UseFont(HFONT font, int64_t backColour, int backMode) {
    Current c(m_dc);
    kv::UseFont(font, backColour, backMode);
}
void Painter::DrawString(COLORREF colour, const char* text, int x, int y, uint32_t alignment) {
    Current c(m_dc);
    kv::DrawString(colour, text, x, y, alignment);
}
int Painter::StringWidth(const char* text) {
    Current c(m_dc);
    return kv::StringWidth(text);
}

}  // namespace kv
