// The windows' frames: the metrics of borders, captions, menu bars and scroll bars, the window
// surface and its non-client drawing, composing a window with its children, and the scroll bars.
#include <algorithm>
#include <cstring>

#include "platform/win/internal.h"
#include "platform/win/menu_internal.h"
#include "platform/win/window_state.h"

namespace kv {

// --- Frames and non-client drawing -----------------------------------------------------------
FrameMetrics MetricsOf(const Window* w) {
    FrameMetrics m;
    if (w->style & WS_THICKFRAME)
        m.border = 4;
    else if (w->style & (WS_BORDER | WS_DLGFRAME))
        m.border = 1;
    if ((w->style & WS_CAPTION) == WS_CAPTION) m.caption = 20;
    if (w->menu && !(w->style & WS_CHILD)) m.menu = 20;
    if (w->hbar.shown) m.hscroll = 16;
    if (w->vbar.shown) m.vscroll = 16;
    return m;
}

Rect ClientAreaInSurface(const Window* w) {
    FrameMetrics m = MetricsOf(w);
    int top = m.border + m.caption + m.menu;
    Rect r{m.border, top, w->surfW - m.border - m.vscroll, w->surfH - m.border - m.hscroll};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

void ResizeSurface(Window* w) {
    int nw = std::max(0, w->rect.right - w->rect.left);
    int nh = std::max(0, w->rect.bottom - w->rect.top);
    std::vector<uint32_t> next(static_cast<size_t>(nw) * nh, 0xFFFFFFFFu);
    // Keep what was drawn where it still fits, so a resize does not flash.
    for (int y = 0; y < std::min(nh, w->surfH); ++y)
        std::memcpy(&next[static_cast<size_t>(y) * nw],
                    &w->surface[static_cast<size_t>(y) * w->surfW],
                    sizeof(uint32_t) * std::min(nw, w->surfW));
    w->surface.swap(next);
    w->surfW = nw;
    w->surfH = nh;
    DrawNonClient(w);
}

namespace {

void Fill(Window* w, Rect r, uint32_t bgra) {
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, w->surfW);
    r.bottom = std::min(r.bottom, w->surfH);
    for (int y = r.top; y < r.bottom; ++y)
        std::fill(&w->surface[static_cast<size_t>(y) * w->surfW + r.left],
                  &w->surface[static_cast<size_t>(y) * w->surfW + std::max(r.left, r.right)], bgra);
}

// A DC over the whole frame, for the layer's own non-client text.
HDC FrameDC(Window* w) {
    auto* dc = new DeviceContext{};
    dc->pixels = w->surface.data();
    dc->stride = dc->surfaceWidth = w->surfW;
    dc->surfaceHeight = w->surfH;
    dc->clip = Rect{0, 0, w->surfW, w->surfH};
    dc->window = w;
    dc->pen = GetStockObject(BLACK_PEN);
    dc->brush = GetStockObject(WHITE_BRUSH);
    dc->font = GetStockObject(-1);
    dc->bkMode = TRANSPARENT;
    return dc;
}

void DrawArrow(Window* w, Rect box, int dir) {
    int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    for (int i = 0; i < 4; ++i)
        for (int j = -i; j <= i; ++j) {
            int x = 0, y = 0;
            switch (dir) {
                case 0:
                    x = cx + j;
                    y = cy - 2 + i;
                    break;  // up
                case 1:
                    x = cx + j;
                    y = cy + 1 - i;
                    break;  // down
                case 2:
                    x = cx - 2 + i;
                    y = cy + j;
                    break;  // left
                default:
                    x = cx + 1 - i;
                    y = cy + j;
                    break;  // right
            }
            if (x >= 0 && y >= 0 && x < w->surfW && y < w->surfH)
                w->surface[static_cast<size_t>(y) * w->surfW + x] = 0xFF000000u;
        }
}

}  // namespace

BarGeometry BarOf(const Window* w, bool horizontal) {
    BarGeometry g{};
    FrameMetrics m = MetricsOf(w);
    Rect c = ClientAreaInSurface(w);
    const ScrollBarState& sb = horizontal ? w->hbar : w->vbar;
    if (horizontal) {
        g.bar = Rect{c.left, c.bottom, c.right, c.bottom + m.hscroll};
        g.less = Rect{g.bar.left, g.bar.top, g.bar.left + 16, g.bar.bottom};
        g.more = Rect{g.bar.right - 16, g.bar.top, g.bar.right, g.bar.bottom};
        g.track0 = g.bar.left + 16;
        g.trackLen = std::max(0, g.bar.right - g.bar.left - 32);
    } else {
        g.bar = Rect{c.right, c.top, c.right + m.vscroll, c.bottom};
        g.less = Rect{g.bar.left, g.bar.top, g.bar.right, g.bar.top + 16};
        g.more = Rect{g.bar.left, g.bar.bottom - 16, g.bar.right, g.bar.bottom};
        g.track0 = g.bar.top + 16;
        g.trackLen = std::max(0, g.bar.bottom - g.bar.top - 32);
    }
    int range = sb.info.nMax - sb.info.nMin + 1;
    int page = static_cast<int>(sb.info.nPage);
    g.thumbLen = range > 0 && page > 0 ? std::max(8, g.trackLen * std::min(page, range) / range)
                                       : std::min(16, g.trackLen);
    g.thumbLen = std::min(g.thumbLen, g.trackLen);
    int maxPos = std::max(0, range - std::max(page, 1));
    int span = g.trackLen - g.thumbLen;
    int off = maxPos > 0 ? span * (sb.info.nPos - sb.info.nMin) / maxPos : 0;
    off = std::clamp(off, 0, std::max(0, span));
    if (horizontal)
        g.thumb = Rect{g.track0 + off, g.bar.top, g.track0 + off + g.thumbLen, g.bar.bottom};
    else
        g.thumb = Rect{g.bar.left, g.track0 + off, g.bar.right, g.track0 + off + g.thumbLen};
    return g;
}

CaptionBoxes CaptionBoxesOf(const Window* w) {
    CaptionBoxes b;
    FrameMetrics m = MetricsOf(w);
    if (!m.caption || !(w->style & WS_SYSMENU)) return b;
    const int top = m.border + 3, right = w->surfW - m.border;
    b.close = Rect{right - 18, top, right - 4, top + 14};
    int next = right - 18;
    // A window with either box shows both, the one it lacks greyed out of use (left empty).
    if (w->style & WS_MAXIMIZEBOX) b.maximize = Rect{next - 18, top, next - 4, top + 14};
    if (w->style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) next -= 18;
    if (w->style & WS_MINIMIZEBOX) b.minimize = Rect{next - 18, top, next - 4, top + 14};
    return b;
}

namespace {

constexpr uint32_t kFrame = 0xFF404040u, kFace = 0xFFC0C0C0u, kLight = 0xFFFFFFFFu;

void DrawBorder(Window* w, const FrameMetrics& m) {
    if (!m.border) return;
    Fill(w, Rect{0, 0, w->surfW, m.border}, kFrame);
    Fill(w, Rect{0, w->surfH - m.border, w->surfW, w->surfH}, kFrame);
    Fill(w, Rect{0, 0, m.border, w->surfH}, kFrame);
    Fill(w, Rect{w->surfW - m.border, 0, w->surfW, w->surfH}, kFrame);
    if (m.border > 1) {
        Fill(w, Rect{1, 1, w->surfW - 1, m.border - 1}, kFace);
        Fill(w, Rect{1, w->surfH - m.border + 1, w->surfW - 1, w->surfH - 1}, kFace);
        Fill(w, Rect{1, 1, m.border - 1, w->surfH - 1}, kFace);
        Fill(w, Rect{w->surfW - m.border + 1, 1, w->surfW - 1, w->surfH - 1}, kFace);
    }
}

void CaptionPixel(Window* w, int x, int y) {
    if (x >= 0 && y >= 0 && x < w->surfW && y < w->surfH)
        w->surface[static_cast<size_t>(y) * w->surfW + x] = 0xFF000000u;
}

// An outlined square from (l, t) to (r, b) inclusive, its top edge two pixels thick when asked.
void FrameBox(Window* w, int l, int t, int r, int b, bool thick) {
    for (int x = l; x <= r; ++x) {
        CaptionPixel(w, x, t);
        CaptionPixel(w, x, b);
        if (thick) CaptionPixel(w, x, t + 1);
    }
    for (int y = t; y <= b; ++y) {
        CaptionPixel(w, l, y);
        CaptionPixel(w, r, y);
    }
}

// The boxes: a cross, a frame (two overlapping ones when maximized), a bar.
void DrawCaptionBoxes(Window* w) {
    const CaptionBoxes boxes = CaptionBoxesOf(w);
    if (boxes.close.right > boxes.close.left) {
        const Rect& box = boxes.close;
        Fill(w, box, kFace);
        for (int i = 3; i < 11; ++i) {
            CaptionPixel(w, box.left + i, box.top + i);
            CaptionPixel(w, box.left + 13 - i, box.top + i);
        }
    }
    if (boxes.maximize.right > boxes.maximize.left) {
        const Rect& box = boxes.maximize;
        Fill(w, box, kFace);
        if (w->maximized) {
            FrameBox(w, box.left + 5, box.top + 2, box.left + 11, box.top + 8, true);
            Fill(w, Rect{box.left + 3, box.top + 5, box.left + 9, box.top + 11}, kFace);
            FrameBox(w, box.left + 2, box.top + 5, box.left + 8, box.top + 11, true);
        } else {
            FrameBox(w, box.left + 3, box.top + 3, box.left + 10, box.top + 10, true);
        }
    }
    if (boxes.minimize.right > boxes.minimize.left) {
        const Rect& box = boxes.minimize;
        Fill(w, box, kFace);
        Fill(w, Rect{box.left + 3, box.top + 9, box.left + 10, box.top + 11}, 0xFF000000u);
    }
}

void DrawCaption(Window* w, const FrameMetrics& m, HDC dc) {
    Rect cap{m.border, m.border, w->surfW - m.border, m.border + m.caption};
    Fill(w, cap, 0xFF1C3A6Au);
    HFONT f = CreateFont(-12, FW_BOLD, false, false, FF_SWISS, "Arial");
    HGDIOBJ old = SelectObject(dc, f);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOut(dc, cap.left + 6, cap.top + 3, w->title);
    DrawCaptionBoxes(w);
    SelectObject(dc, old);
    DeleteObject(f);
}

void DrawScrollBars(Window* w) {
    for (int hz = 0; hz < 2; ++hz) {
        bool horizontal = hz == 0;
        if (horizontal ? !w->hbar.shown : !w->vbar.shown) continue;
        BarGeometry g = BarOf(w, horizontal);
        Fill(w, g.bar, 0xFFE0E0E0u);
        Fill(w, g.less, kFace);
        Fill(w, g.more, kFace);
        DrawArrow(w, g.less, horizontal ? 2 : 0);
        DrawArrow(w, g.more, horizontal ? 3 : 1);
        Fill(w, g.thumb, kFace);
        Fill(w, Rect{g.thumb.left, g.thumb.top, g.thumb.right, g.thumb.top + 1}, kLight);
        Fill(w, Rect{g.thumb.left, g.thumb.top, g.thumb.left + 1, g.thumb.bottom}, kLight);
        Fill(w, Rect{g.thumb.left, g.thumb.bottom - 1, g.thumb.right, g.thumb.bottom}, kFrame);
        Fill(w, Rect{g.thumb.right - 1, g.thumb.top, g.thumb.right, g.thumb.bottom}, kFrame);
    }
    if (w->hbar.shown && w->vbar.shown) {
        Rect c = ClientAreaInSurface(w);
        Fill(w, Rect{c.right, c.bottom, c.right + 16, c.bottom + 16}, kFace);
    }
}

}  // namespace

void DrawNonClient(Window* w) {
    if (w->surfW <= 0 || w->surfH <= 0) return;
    FrameMetrics m = MetricsOf(w);
    DrawBorder(w, m);
    // One DC over the frame serves the caption's title and the menu bar.
    HDC dc = m.caption || m.menu ? FrameDC(w) : nullptr;
    if (m.caption) DrawCaption(w, m, dc);
    if (m.menu)
        DrawMenuBarInto(w, dc,
                        Rect{m.border, m.border + m.caption, w->surfW - m.border,
                             m.border + m.caption + m.menu});
    DrawScrollBars(w);
    if (dc) delete dc;
    w->changed = true;
}

namespace {

// Copies a window's surface into `out` (stride pixels a row) with its origin at (ox, oy), only
// inside the box [x0, x1) x [y0, y1), then its visible children back to front, each inside the
// box and its parent's client area: a child shows only where every window around it would show
// it.
void PasteComposed(HWND w, uint32_t* out, int stride, int ox, int oy, int x0, int y0, int x1,
                   int y1) {
    const int cx0 = std::max(x0, ox), cx1 = std::min(x1, ox + w->surfW);
    const int cy0 = std::max(y0, oy), cy1 = std::min(y1, oy + w->surfH);
    if (cx0 < cx1)
        for (int y = cy0; y < cy1; ++y)
            std::memcpy(out + static_cast<size_t>(y) * stride + cx0,
                        &w->surface[static_cast<size_t>(y - oy) * w->surfW + (cx0 - ox)],
                        sizeof(uint32_t) * static_cast<size_t>(cx1 - cx0));
    const Rect c = ClientAreaInSurface(w);
    const int kx0 = std::max(x0, ox + c.left), kx1 = std::min(x1, ox + c.right);
    const int ky0 = std::max(y0, oy + c.top), ky1 = std::min(y1, oy + c.bottom);
    if (kx0 >= kx1 || ky0 >= ky1) return;
    const std::vector<HWND>& windows = WindowList();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        HWND ch = *it;
        if (ch->parent != w || !IsChild(ch) || !ch->visible) continue;
        PasteComposed(ch, out, stride, ox + c.left + ch->rect.left, oy + c.top + ch->rect.top, kx0,
                      ky0, kx1, ky1);
    }
}

}  // namespace

void ComposeWindowInto(HWND hwnd, std::vector<uint32_t>* out, int* width, int* height) {
    if (!IsWindow(hwnd)) {
        *width = *height = 0;
        out->clear();
        return;
    }
    *width = hwnd->surfW;
    *height = hwnd->surfH;
    // The vector keeps its memory from one call to the next.
    out->resize(static_cast<size_t>(hwnd->surfW) * hwnd->surfH);
    PasteComposed(hwnd, out->data(), hwnd->surfW, 0, 0, 0, 0, hwnd->surfW, hwnd->surfH);
}

std::vector<uint32_t> ComposeWindow(HWND hwnd, int* width, int* height) {
    std::vector<uint32_t> out;
    ComposeWindowInto(hwnd, &out, width, height);
    return out;
}

// --- Scroll bars -------------------------------------------------------------------------------
void SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO& si, bool redraw) {
    if (!IsWindow(hwnd)) return;
    auto apply = [&](ScrollBarState& s) {
        s.info = si;
        int maxPos = std::max(si.nMin, si.nMax - std::max(0, static_cast<int>(si.nPage) - 1));
        s.info.nPos = std::clamp(si.nPos, si.nMin, maxPos);
    };
    if (bar == SB_HORZ || bar == SB_BOTH) apply(hwnd->hbar);
    if (bar == SB_VERT || bar == SB_BOTH) apply(hwnd->vbar);
    if (redraw) DrawNonClient(hwnd);
}

bool GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* si) {
    if (!IsWindow(hwnd) || !si) return false;
    *si = bar == SB_VERT ? hwnd->vbar.info : hwnd->hbar.info;
    return true;
}

int SetScrollPos(HWND hwnd, int bar, int pos, bool redraw) {
    if (!IsWindow(hwnd)) return 0;
    ScrollBarState& s = bar == SB_VERT ? hwnd->vbar : hwnd->hbar;
    int old = s.info.nPos;
    int maxPos =
        std::max(s.info.nMin, s.info.nMax - std::max(0, static_cast<int>(s.info.nPage) - 1));
    s.info.nPos = std::clamp(pos, s.info.nMin, maxPos);
    if (redraw) DrawNonClient(hwnd);
    return old;
}

int GetScrollPos(HWND hwnd, int bar) {
    if (!IsWindow(hwnd)) return 0;
    return bar == SB_VERT ? hwnd->vbar.info.nPos : hwnd->hbar.info.nPos;
}

bool ShowScrollBar(HWND hwnd, int bar, bool show) {
    if (!IsWindow(hwnd)) return false;
    bool changed = false;
    if ((bar == SB_HORZ || bar == SB_BOTH) && hwnd->hbar.shown != show) {
        hwnd->hbar.shown = show;
        changed = true;
    }
    if ((bar == SB_VERT || bar == SB_BOTH) && hwnd->vbar.shown != show) {
        hwnd->vbar.shown = show;
        changed = true;
    }
    if (changed) {
        DrawNonClient(hwnd);
        RECT c{0, 0, 0, 0};
        GetClientRect(hwnd, &c);
        SendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
        InvalidateRect(hwnd, nullptr, true);
    }
    return true;
}

}  // namespace kv
