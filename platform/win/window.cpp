// The window manager: window list and Z order, classes, frames and scroll bars, the message
// queue, timers, focus and capture, input routing and the backend choice.
//
// Sections: backend choice, classes and windows, frames and non-client drawing, scroll bars,
// input routing, the message queue and timers, time and keys, monitors and cursors.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/os/window_list.h"
#include "platform/win/internal.h"
#include "platform/win/menu_internal.h"

namespace kv {

namespace {

// --- Backend choice --------------------------------------------------------------------------
std::unique_ptr<Backend>& BackendSlot() {
    static std::unique_ptr<Backend> b;
    return b;
}

struct ClassInfo {
    WNDPROC proc = nullptr;
    uint32_t style = 0;
    int icon = 0;
    HCURSOR cursor = 0;
};

std::map<std::string, ClassInfo>& Classes() {
    static std::map<std::string, ClassInfo> c;
    return c;
}

std::vector<HWND> g_windows;  // front to back
uint64_t g_serial = 0;
HWND g_focus = nullptr;
HWND g_capture = nullptr;
int g_dblClickMs = 500;

// Posted messages may come from any thread; everything else is the UI thread's.
std::mutex g_queueLock;
std::deque<MSG> g_queue;

struct Timer {
    HWND hwnd;
    uintptr_t id;
    uint32_t interval;
    int64_t due;  // ms
};
std::vector<Timer> g_timers;

bool g_keys[256] = {};
POINT g_cursorPos{0, 0};
uint32_t g_buttons = 0;  // MK_* of held buttons

// Non-client drags: moving by the caption, sizing by the frame, scroll thumbs.
enum class NcDrag { None, Move, Size, HThumb, VThumb };
struct NcDragState {
    NcDrag kind = NcDrag::None;
    HWND hwnd = nullptr;
    POINT start{0, 0};
    Rect startRect{0, 0, 0, 0};
    int edges = 0;  // 1 left, 2 right, 4 top, 8 bottom
    int startPos = 0;
} g_nc;

struct ClickMemory {
    HWND hwnd = nullptr;
    uint32_t msg = 0;
    uint32_t time = 0;
    POINT pt{0, 0};
} g_lastClick;

int64_t NowMs() {
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

bool Live(HWND h) {
    return h && std::find(g_windows.begin(), g_windows.end(), h) != g_windows.end();
}

bool IsChild(HWND h) {
    return h && (h->style & WS_CHILD);
}

HWND TopLevelOf(HWND h) {
    while (h && IsChild(h) && h->parent) h = h->parent;
    return h;
}

// Top-level windows register a titled entry in the desktop window list.
void SyncWindowList(HWND h) {
    if (!h || IsChild(h) || h->className.rfind("#", 0) == 0) return;
    if (h->visible && !h->title.empty() && !h->destroyed)
        RegisterTopWindow(h->title, h->serial);
    else
        UnregisterTopWindow(h->serial);
}

}  // namespace

Backend& TheBackend() {
    auto& b = BackendSlot();
    if (!b) {
        const char* env = std::getenv("KINEVISTA_BACKEND");
        std::string want = env ? env : "";
        if (want.empty())
            want = (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) ? "sdl" : "headless";
        if (want == "sdl") b = MakeSdlBackend();
        if (!b) b = MakeHeadlessBackend();
    }
    return *b;
}

// Chooses the backend explicitly before the first window ("headless" or "sdl"); false when the
// backend cannot start or one is already running.
bool SelectBackend(const std::string& name) {
    auto& b = BackendSlot();
    if (b) return b->Name() == name;
    if (name == "sdl") b = MakeSdlBackend();
    if (name == "headless") b = MakeHeadlessBackend();
    return b != nullptr;
}

const char* BackendName() {
    return TheBackend().Name();
}

void SetDoubleClickTime(int ms) {
    g_dblClickMs = ms;
}

// --- Classes and windows -------------------------------------------------------------------------
bool RegisterClass(const std::string& name, WNDPROC proc, uint32_t classStyle, int iconId,
                   HCURSOR cursor) {
    if (name.empty() || !proc || Classes().count(name)) return false;
    Classes()[name] = ClassInfo{proc, classStyle, iconId, cursor};
    return true;
}

bool UnregisterClass(const std::string& name) {
    for (HWND w : g_windows)
        if (w->className == name) return false;
    return Classes().erase(name) > 0;
}

int64_t EditControlProc(HWND, uint32_t, uint64_t, int64_t);

HWND CreateWindowEx(uint32_t exStyle, const std::string& className, const std::string& title,
                    uint32_t style, int x, int y, int width, int height, HWND parent, int id) {
    WNDPROC proc = nullptr;
    uint32_t cstyle = 0;
    HCURSOR cursor = LoadSystemCursor(IDC_ARROW);
    if (className == "edit" || className == "EDIT") {
        proc = EditControlProc;
        cursor = LoadSystemCursor(IDC_IBEAM);
    } else {
        auto it = Classes().find(className);
        if (it == Classes().end()) return nullptr;
        proc = it->second.proc;
        cstyle = it->second.style;
        if (it->second.cursor) cursor = it->second.cursor;
    }
    if ((style & WS_CHILD) && !Live(parent)) return nullptr;
    TheBackend();
    auto* w = new Window{};
    w->serial = ++g_serial;
    w->className = className;
    w->title = title;
    w->proc = proc;
    w->style = style;
    w->exStyle = exStyle;
    w->classStyle = cstyle;
    w->parent = Live(parent) ? parent : nullptr;
    w->id = id;
    w->rect = Rect{x, y, x + std::max(0, width), y + std::max(0, height)};
    w->hbar.shown = (style & WS_HSCROLL) != 0;
    w->vbar.shown = (style & WS_VSCROLL) != 0;
    w->cursor = cursor;
    // Topmost windows stay in front of the others.
    auto pos = g_windows.begin();
    if (!(exStyle & WS_EX_TOPMOST))
        while (pos != g_windows.end() && ((*pos)->exStyle & WS_EX_TOPMOST)) ++pos;
    g_windows.insert(pos, w);
    ResizeSurface(w);
    if (!IsChild(w)) TheBackend().WindowCreated(w);
    SendMessage(w, WM_CREATE, 0, 0);
    if (!Live(w)) return nullptr;
    if (style & WS_VISIBLE) ShowWindow(w, SW_SHOW);
    return w;
}

bool DestroyWindow(HWND hwnd) {
    if (!Live(hwnd) || hwnd->destroyed) return false;
    hwnd->destroyed = true;
    // Children and owned popups go first.
    std::vector<HWND> dependants;
    for (HWND w : g_windows)
        if (w->parent == hwnd) dependants.push_back(w);
    for (HWND w : dependants) DestroyWindow(w);
    SendMessage(hwnd, WM_DESTROY, 0, 0);
    if (g_focus == hwnd) g_focus = IsChild(hwnd) ? hwnd->parent : nullptr;
    if (g_capture == hwnd) g_capture = nullptr;
    if (g_nc.hwnd == hwnd) g_nc = NcDragState{};
    if (g_lastClick.hwnd == hwnd) g_lastClick = ClickMemory{};
    CloseMenusOf(hwnd);
    // A window's menu goes with it.
    if (hwnd->menu) {
        DestroyMenu(hwnd->menu);
        hwnd->menu = nullptr;
    }
    g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(),
                                  [&](const Timer& t) { return t.hwnd == hwnd; }),
                   g_timers.end());
    {
        std::lock_guard<std::mutex> g(g_queueLock);
        g_queue.erase(std::remove_if(g_queue.begin(), g_queue.end(),
                                     [&](const MSG& m) { return m.hwnd == hwnd; }),
                      g_queue.end());
    }
    if (!IsChild(hwnd)) {
        UnregisterTopWindow(hwnd->serial);
        TheBackend().WindowDestroyed(hwnd);
    } else if (hwnd->parent) {
        hwnd->parent->changed = true;
    }
    g_windows.erase(std::find(g_windows.begin(), g_windows.end(), hwnd));
    delete hwnd;
    return true;
}

bool IsWindow(HWND hwnd) {
    return Live(hwnd) && !hwnd->destroyed;
}

int64_t SendMessage(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    if (!Live(hwnd) || !hwnd->proc) return 0;
    return hwnd->proc(hwnd, msg, wParam, lParam);
}

int64_t CallWindowProc(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    return SendMessage(hwnd, msg, wParam, lParam);
}

int64_t DefWindowProc(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    (void)wParam;
    (void)lParam;
    if (!Live(hwnd)) return 0;
    switch (msg) {
        case WM_PAINT:
            ValidateRect(hwnd, nullptr);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SETTEXT:
            if (lParam) SetWindowText(hwnd, reinterpret_cast<const char*>(lParam));
            return 1;
        default:
            return 0;
    }
}

bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) {
    if (!IsWindow(hwnd)) return false;
    Rect old = hwnd->rect;
    hwnd->rect = Rect{x, y, x + std::max(0, width), y + std::max(0, height)};
    bool sized = (old.right - old.left) != width || (old.bottom - old.top) != height;
    if (sized) ResizeSurface(hwnd);
    if (!IsChild(hwnd))
        TheBackend().WindowPlaced(hwnd);
    else if (hwnd->parent)
        hwnd->parent->changed = true;
    if (old.left != x || old.top != y) SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
    if (sized) {
        RECT c;
        GetClientRect(hwnd, &c);
        SendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
    }
    if (repaint || sized) InvalidateRect(hwnd, nullptr, true);
    return true;
}

bool SetWindowOrder(HWND hwnd, HWND after, bool topmost) {
    if (!IsWindow(hwnd)) return false;
    g_windows.erase(std::find(g_windows.begin(), g_windows.end(), hwnd));
    if (after && Live(after)) {
        hwnd->exStyle = (hwnd->exStyle & ~WS_EX_TOPMOST) | (after->exStyle & WS_EX_TOPMOST);
        g_windows.insert(std::find(g_windows.begin(), g_windows.end(), after) + 1, hwnd);
    } else {
        if (topmost) hwnd->exStyle |= WS_EX_TOPMOST;
        auto pos = g_windows.begin();
        if (!(hwnd->exStyle & WS_EX_TOPMOST))
            while (pos != g_windows.end() && ((*pos)->exStyle & WS_EX_TOPMOST)) ++pos;
        g_windows.insert(pos, hwnd);
    }
    if (!IsChild(hwnd)) TheBackend().WindowPlaced(hwnd);
    return true;
}

bool ShowWindow(HWND hwnd, int cmd) {
    if (!IsWindow(hwnd)) return false;
    bool was = hwnd->visible;
    if (cmd == SW_MAXIMIZE) {
        RECT wa = GetWorkArea();
        hwnd->visible = true;
        MoveWindow(hwnd, wa.left, wa.top, wa.right - wa.left, wa.bottom - wa.top, true);
    }
    hwnd->visible = cmd != SW_HIDE;
    if (hwnd->visible)
        hwnd->style |= WS_VISIBLE;
    else
        hwnd->style &= ~WS_VISIBLE;
    if (was != hwnd->visible) {
        SendMessage(hwnd, WM_SHOWWINDOW, hwnd->visible ? 1 : 0, 0);
        if (hwnd->visible) InvalidateRect(hwnd, nullptr, true);
        if (!IsChild(hwnd))
            TheBackend().WindowPlaced(hwnd);
        else if (hwnd->parent)
            hwnd->parent->changed = true;
        if (!hwnd->visible && g_focus && TopLevelOf(g_focus) == hwnd) g_focus = nullptr;
        SyncWindowList(hwnd);
    }
    return was;
}

bool IsWindowVisible(HWND hwnd) {
    for (HWND h = hwnd; h; h = IsChild(h) ? h->parent : nullptr)
        if (!IsWindow(h) || !h->visible) return false;
    return true;
}

bool GetWindowRect(HWND hwnd, RECT* r) {
    if (!IsWindow(hwnd) || !r) return false;
    *r = hwnd->rect;
    return true;
}

bool GetClientRect(HWND hwnd, RECT* r) {
    if (!IsWindow(hwnd) || !r) return false;
    Rect c = ClientAreaInSurface(hwnd);
    *r = Rect{0, 0, c.right - c.left, c.bottom - c.top};
    return true;
}

POINT ClientToScreen(HWND hwnd, POINT p) {
    for (HWND h = hwnd; IsWindow(h); h = IsChild(h) ? h->parent : nullptr) {
        Rect c = ClientAreaInSurface(h);
        p.x += h->rect.left + c.left;
        p.y += h->rect.top + c.top;
        if (!IsChild(h)) break;
    }
    return p;
}

POINT ScreenToClient(HWND hwnd, POINT p) {
    POINT o = ClientToScreen(hwnd, POINT{0, 0});
    return POINT{p.x - o.x, p.y - o.y};
}

bool SetWindowText(HWND hwnd, const std::string& text) {
    if (!IsWindow(hwnd)) return false;
    if (hwnd->proc == EditControlProc)
        return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<int64_t>(text.c_str())) != 0;
    hwnd->title = text;
    DrawNonClient(hwnd);
    if (!IsChild(hwnd)) TheBackend().WindowTitle(hwnd);
    SyncWindowList(hwnd);
    return true;
}

std::string GetWindowText(HWND hwnd) {
    return IsWindow(hwnd) ? hwnd->title : std::string();
}
HWND GetParent(HWND hwnd) {
    return IsWindow(hwnd) ? hwnd->parent : nullptr;
}
int GetDlgCtrlID(HWND hwnd) {
    return IsWindow(hwnd) ? hwnd->id : 0;
}
uint32_t GetWindowStyle(HWND hwnd) {
    return IsWindow(hwnd) ? hwnd->style : 0;
}
uint32_t GetWindowExStyle(HWND hwnd) {
    return IsWindow(hwnd) ? hwnd->exStyle : 0;
}
void SetWindowUserData(HWND hwnd, void* data) {
    if (IsWindow(hwnd)) hwnd->userData = data;
}
void* GetWindowUserData(HWND hwnd) {
    return IsWindow(hwnd) ? hwnd->userData : nullptr;
}
std::vector<HWND> AllWindows() {
    return g_windows;
}

HWND SetFocus(HWND hwnd) {
    HWND old = g_focus;
    if (hwnd && !IsWindow(hwnd)) return nullptr;
    if (old == hwnd) return old;
    g_focus = hwnd;
    if (IsWindow(old)) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<uint64_t>(hwnd), 0);
    if (hwnd) SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<uint64_t>(old), 0);
    return old;
}
HWND GetFocus() {
    return IsWindow(g_focus) ? g_focus : nullptr;
}

HWND SetCapture(HWND hwnd) {
    HWND old = g_capture;
    g_capture = IsWindow(hwnd) ? hwnd : nullptr;
    return old;
}
bool ReleaseCapture() {
    HWND old = g_capture;
    g_capture = nullptr;
    if (IsWindow(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
    return true;
}
HWND GetCapture() {
    return IsWindow(g_capture) ? g_capture : nullptr;
}
void EnableWindow(HWND hwnd, bool enable) {
    if (IsWindow(hwnd)) hwnd->enabled = enable;
}

bool InvalidateRect(HWND hwnd, const RECT*, bool) {
    if (!IsWindow(hwnd)) return false;
    hwnd->invalid = true;
    return true;
}
bool ValidateRect(HWND hwnd, const RECT*) {
    if (!IsWindow(hwnd)) return false;
    hwnd->invalid = false;
    return true;
}
bool UpdateWindow(HWND hwnd) {
    if (!IsWindow(hwnd) || !hwnd->invalid || !IsWindowVisible(hwnd)) return true;
    SendMessage(hwnd, WM_PAINT, 0, 0);
    hwnd->invalid = false;
    return true;
}

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
            return GetMonitor(0).bounds.right - GetMonitor(0).bounds.left;
        case SM_CYSCREEN:
            return GetMonitor(0).bounds.bottom - GetMonitor(0).bounds.top;
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
            return 16;
        case SM_CYCAPTION:
            return 20;
        case SM_CYMENU:
            return 20;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXFRAME:
        case SM_CYFRAME:
            return 4;
        case SM_CMONITORS:
            return MonitorCount();
        default:
            return 0;
    }
}

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

// Geometry of a scroll bar: the whole bar, its two arrow boxes and the thumb.
struct BarGeometry {
    Rect bar, less, more, thumb;
    int track0 = 0, trackLen = 0, thumbLen = 0;
};

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

void DrawNonClient(Window* w) {
    if (w->surfW <= 0 || w->surfH <= 0) return;
    FrameMetrics m = MetricsOf(w);
    const uint32_t frame = 0xFF404040u, face = 0xFFC0C0C0u, light = 0xFFFFFFFFu;
    if (m.border) {
        Fill(w, Rect{0, 0, w->surfW, m.border}, frame);
        Fill(w, Rect{0, w->surfH - m.border, w->surfW, w->surfH}, frame);
        Fill(w, Rect{0, 0, m.border, w->surfH}, frame);
        Fill(w, Rect{w->surfW - m.border, 0, w->surfW, w->surfH}, frame);
        if (m.border > 1) {
            Fill(w, Rect{1, 1, w->surfW - 1, m.border - 1}, face);
            Fill(w, Rect{1, w->surfH - m.border + 1, w->surfW - 1, w->surfH - 1}, face);
            Fill(w, Rect{1, 1, m.border - 1, w->surfH - 1}, face);
            Fill(w, Rect{w->surfW - m.border + 1, 1, w->surfW - 1, w->surfH - 1}, face);
        }
    }
    HDC dc = nullptr;
    if (m.caption) {
        Rect cap{m.border, m.border, w->surfW - m.border, m.border + m.caption};
        Fill(w, cap, 0xFF1C3A6Au);
        dc = FrameDC(w);
        HFONT f = CreateFont(-12, FW_BOLD, false, false, FF_SWISS, "Arial");
        HGDIOBJ old = SelectObject(dc, f);
        SetTextColor(dc, RGB(255, 255, 255));
        TextOut(dc, cap.left + 6, cap.top + 3, w->title);
        if (w->style & WS_SYSMENU) {
            // The close box.
            Rect box{cap.right - 18, cap.top + 3, cap.right - 4, cap.top + 17};
            Fill(w, box, face);
            for (int i = 3; i < 11; ++i) {
                w->surface[static_cast<size_t>(box.top + i) * w->surfW + box.left + i] =
                    0xFF000000u;
                w->surface[static_cast<size_t>(box.top + i) * w->surfW + box.left + 13 - i] =
                    0xFF000000u;
            }
        }
        SelectObject(dc, old);
        DeleteObject(f);
    }
    if (m.menu) {
        if (!dc) dc = FrameDC(w);
        DrawMenuBarInto(w, dc,
                        Rect{m.border, m.border + m.caption, w->surfW - m.border,
                             m.border + m.caption + m.menu});
    }
    for (int hz = 0; hz < 2; ++hz) {
        bool horizontal = hz == 0;
        if (horizontal ? !w->hbar.shown : !w->vbar.shown) continue;
        BarGeometry g = BarOf(w, horizontal);
        Fill(w, g.bar, 0xFFE0E0E0u);
        Fill(w, g.less, face);
        Fill(w, g.more, face);
        DrawArrow(w, g.less, horizontal ? 2 : 0);
        DrawArrow(w, g.more, horizontal ? 3 : 1);
        Fill(w, g.thumb, face);
        Fill(w, Rect{g.thumb.left, g.thumb.top, g.thumb.right, g.thumb.top + 1}, light);
        Fill(w, Rect{g.thumb.left, g.thumb.top, g.thumb.left + 1, g.thumb.bottom}, light);
        Fill(w, Rect{g.thumb.left, g.thumb.bottom - 1, g.thumb.right, g.thumb.bottom}, frame);
        Fill(w, Rect{g.thumb.right - 1, g.thumb.top, g.thumb.right, g.thumb.bottom}, frame);
    }
    if (w->hbar.shown && w->vbar.shown) {
        Rect c = ClientAreaInSurface(w);
        Fill(w, Rect{c.right, c.bottom, c.right + 16, c.bottom + 16}, face);
    }
    if (dc) delete dc;
    w->changed = true;
}

std::vector<uint32_t> ComposeWindow(HWND hwnd, int* width, int* height) {
    if (!IsWindow(hwnd)) {
        *width = *height = 0;
        return {};
    }
    std::vector<uint32_t> out = hwnd->surface;
    *width = hwnd->surfW;
    *height = hwnd->surfH;
    Rect c = ClientAreaInSurface(hwnd);
    // Children back to front, so the front-most ends on top.
    for (auto it = g_windows.rbegin(); it != g_windows.rend(); ++it) {
        HWND ch = *it;
        if (ch->parent != hwnd || !IsChild(ch) || !ch->visible) continue;
        int cw = 0, chh = 0;
        std::vector<uint32_t> sub = ComposeWindow(ch, &cw, &chh);
        for (int y = 0; y < chh; ++y) {
            int ty = c.top + ch->rect.top + y;
            if (ty < c.top || ty >= c.bottom) continue;
            for (int x = 0; x < cw; ++x) {
                int tx = c.left + ch->rect.left + x;
                if (tx < c.left || tx >= c.right) continue;
                out[static_cast<size_t>(ty) * *width + tx] = sub[static_cast<size_t>(y) * cw + x];
            }
        }
    }
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
        RECT c;
        GetClientRect(hwnd, &c);
        SendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
        InvalidateRect(hwnd, nullptr, true);
    }
    return true;
}

// --- Input routing -----------------------------------------------------------------------------
namespace {

bool Inside(const Rect& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

uint32_t KeyFlags() {
    uint32_t f = g_buttons;
    if (g_keys[VK_SHIFT]) f |= MK_SHIFT;
    if (g_keys[VK_CONTROL]) f |= MK_CONTROL;
    return f;
}

// The child (or the window itself) under a point given in the window's client coordinates.
HWND DeepestChild(HWND w, POINT& client) {
    for (HWND ch : g_windows) {
        if (ch->parent != w || !IsChild(ch) || !ch->visible) continue;
        if (Inside(ch->rect, client.x, client.y)) {
            POINT inner{client.x - ch->rect.left, client.y - ch->rect.top};
            Rect cc = ClientAreaInSurface(ch);
            inner.x -= cc.left;
            inner.y -= cc.top;
            client = inner;
            return DeepestChild(ch, client);
        }
    }
    return w;
}

void PostMouse(HWND target, uint32_t msg, POINT client) {
    MSG m;
    m.hwnd = target;
    m.message = msg;
    m.wParam = KeyFlags();
    m.lParam = MAKELPARAM(client.x, client.y);
    m.time = GetTickCount();
    m.pt = g_cursorPos;
    QueueMessage(m);
}

void ScrollRequest(HWND w, bool horizontal, int request, int pos) {
    SendMessage(w, horizontal ? WM_HSCROLL : WM_VSCROLL,
                static_cast<uint64_t>((request & 0xFFFF) | ((pos & 0xFFFF) << 16)), 0);
}

// A press on the frame of a top-level window (surface coordinates sx, sy).
void NonClientDown(HWND w, int sx, int sy) {
    FrameMetrics m = MetricsOf(w);
    for (int hz = 0; hz < 2; ++hz) {
        bool horizontal = hz == 0;
        if (horizontal ? !w->hbar.shown : !w->vbar.shown) continue;
        BarGeometry g = BarOf(w, horizontal);
        if (!Inside(g.bar, sx, sy)) continue;
        const ScrollBarState& s = horizontal ? w->hbar : w->vbar;
        int along = horizontal ? sx : sy;
        int thumb0 = horizontal ? g.thumb.left : g.thumb.top;
        if (Inside(g.less, sx, sy))
            ScrollRequest(w, horizontal, SB_LINEUP, s.info.nPos);
        else if (Inside(g.more, sx, sy))
            ScrollRequest(w, horizontal, SB_LINEDOWN, s.info.nPos);
        else if (Inside(g.thumb, sx, sy)) {
            g_nc = NcDragState{horizontal ? NcDrag::HThumb : NcDrag::VThumb,
                               w,
                               g_cursorPos,
                               w->rect,
                               0,
                               s.info.nPos};
        } else if (along < thumb0) {
            ScrollRequest(w, horizontal, SB_PAGEUP, s.info.nPos);
        } else {
            ScrollRequest(w, horizontal, SB_PAGEDOWN, s.info.nPos);
        }
        return;
    }
    if (m.menu && sy >= m.border + m.caption && sy < m.border + m.caption + m.menu) {
        OpenMenuBarAt(w, sx);
        return;
    }
    if (m.caption && sy >= m.border && sy < m.border + m.caption) {
        if ((w->style & WS_SYSMENU) && sx >= w->surfW - m.border - 18 &&
            sx < w->surfW - m.border - 4) {
            PostMessage(w, WM_CLOSE, 0, 0);
            return;
        }
        g_nc = NcDragState{NcDrag::Move, w, g_cursorPos, w->rect, 0, 0};
        return;
    }
    if ((w->style & WS_THICKFRAME) && m.border) {
        int edges = 0;
        if (sx < m.border) edges |= 1;
        if (sx >= w->surfW - m.border) edges |= 2;
        if (sy < m.border) edges |= 4;
        if (sy >= w->surfH - m.border) edges |= 8;
        if (edges) g_nc = NcDragState{NcDrag::Size, w, g_cursorPos, w->rect, edges, 0};
    }
}

void NonClientDrag(int x, int y) {
    HWND w = g_nc.hwnd;
    if (!IsWindow(w)) {
        g_nc = NcDragState{};
        return;
    }
    int dx = x - g_nc.start.x, dy = y - g_nc.start.y;
    Rect r = g_nc.startRect;
    switch (g_nc.kind) {
        case NcDrag::Move:
            MoveWindow(w, r.left + dx, r.top + dy, r.right - r.left, r.bottom - r.top, false);
            break;
        case NcDrag::Size:
            if (g_nc.edges & 1) r.left = std::min(r.left + dx, r.right - 40);
            if (g_nc.edges & 2) r.right = std::max(r.right + dx, r.left + 40);
            if (g_nc.edges & 4) r.top = std::min(r.top + dy, r.bottom - 30);
            if (g_nc.edges & 8) r.bottom = std::max(r.bottom + dy, r.top + 30);
            MoveWindow(w, r.left, r.top, r.right - r.left, r.bottom - r.top, true);
            break;
        case NcDrag::HThumb:
        case NcDrag::VThumb: {
            bool horizontal = g_nc.kind == NcDrag::HThumb;
            BarGeometry g = BarOf(w, horizontal);
            const ScrollBarState& s = horizontal ? w->hbar : w->vbar;
            int range = s.info.nMax - s.info.nMin + 1;
            int maxPos = std::max(0, range - std::max(static_cast<int>(s.info.nPage), 1));
            int span = std::max(1, g.trackLen - g.thumbLen);
            int pos = g_nc.startPos + (horizontal ? dx : dy) * maxPos / span;
            pos = std::clamp(pos, s.info.nMin, s.info.nMin + maxPos);
            (horizontal ? w->hbar : w->vbar).info.nTrackPos = pos;
            ScrollRequest(w, horizontal, SB_THUMBTRACK, pos);
            break;
        }
        default:
            break;
    }
}

}  // namespace

void InjectMouse(int x, int y, MouseAction action, int button, int wheel) {
    g_cursorPos = POINT{x, y};
    uint32_t bit = button == 1   ? MK_LBUTTON
                   : button == 2 ? MK_RBUTTON
                   : button == 3 ? MK_MBUTTON
                   : button == 4 ? MK_XBUTTON1
                   : button == 5 ? MK_XBUTTON2
                                 : 0u;
    int vk = button == 1   ? VK_LBUTTON
             : button == 2 ? VK_RBUTTON
             : button == 3 ? VK_MBUTTON
             : button == 4 ? VK_XBUTTON1
             : button == 5 ? static_cast<int>(VK_XBUTTON2)
                           : 0;
    if (action == MouseAction::Down) {
        g_buttons |= bit;
        if (vk) g_keys[vk] = true;
    }
    if (action == MouseAction::Up) {
        g_buttons &= ~bit;
        if (vk) g_keys[vk] = false;
    }
    if (MenuTrackMouse(x, y, action, button)) return;
    if (g_nc.kind != NcDrag::None) {
        if (action == MouseAction::Move) NonClientDrag(x, y);
        if (action == MouseAction::Up && button == 1) {
            if (g_nc.kind == NcDrag::HThumb || g_nc.kind == NcDrag::VThumb) {
                bool horizontal = g_nc.kind == NcDrag::HThumb;
                HWND w = g_nc.hwnd;
                if (IsWindow(w)) {
                    int pos = (horizontal ? w->hbar : w->vbar).info.nTrackPos;
                    ScrollRequest(w, horizontal, SB_THUMBPOSITION, pos);
                    ScrollRequest(w, horizontal, SB_ENDSCROLL, pos);
                }
            }
            g_nc = NcDragState{};
        }
        return;
    }
    HWND target = GetCapture();
    POINT client{0, 0};
    if (target) {
        client = ScreenToClient(target, POINT{x, y});
    } else {
        HWND top = WindowFromPoint(POINT{x, y});
        if (!top) return;
        if (!top->enabled) return;
        int sx = x - top->rect.left, sy = y - top->rect.top;
        Rect c = ClientAreaInSurface(top);
        if (!Inside(c, sx, sy)) {
            if (action == MouseAction::Down && button == 1) NonClientDown(top, sx, sy);
            return;
        }
        client = POINT{sx - c.left, sy - c.top};
        target = DeepestChild(top, client);
    }
    if (action == MouseAction::Move) {
        if (target->cursor && !GetCapture()) SetCursor(target->cursor);
        PostMouse(target, WM_MOUSEMOVE, client);
        return;
    }
    if (action == MouseAction::Wheel) {
        MSG m;
        m.hwnd = target;
        m.message = WM_MOUSEWHEEL;
        m.wParam = KeyFlags() | (static_cast<uint64_t>(static_cast<uint16_t>(wheel * 120)) << 16);
        m.lParam = MAKELPARAM(x, y);
        m.time = GetTickCount();
        m.pt = g_cursorPos;
        QueueMessage(m);
        return;
    }
    uint32_t base = button == 1   ? WM_LBUTTONDOWN
                    : button == 2 ? WM_RBUTTONDOWN
                    : button == 3 ? WM_MBUTTONDOWN
                                  : WM_XBUTTONDOWN;
    if (action == MouseAction::Down) {
        // A press activates the window and gives it the keyboard.
        HWND top = TopLevelOf(target);
        if (top && g_windows.front() != top && !(top->exStyle & WS_EX_TOPMOST) &&
            !top->className.empty() && top->className[0] != '#')
            SetWindowOrder(top, nullptr, false);
        if (GetFocus() != target) SetFocus(target);
        uint32_t msg = base;
        uint32_t now = GetTickCount();
        if ((target->classStyle & CS_DBLCLKS) && base != WM_XBUTTONDOWN &&
            g_lastClick.hwnd == target && g_lastClick.msg == base &&
            now - g_lastClick.time <= static_cast<uint32_t>(g_dblClickMs) &&
            std::abs(g_lastClick.pt.x - x) <= 4 && std::abs(g_lastClick.pt.y - y) <= 4) {
            msg = base + 2;  // the double-click message
            g_lastClick = ClickMemory{};
        } else {
            g_lastClick = ClickMemory{target, base, now, POINT{x, y}};
        }
        PostMouse(target, msg, client);
    } else if (action == MouseAction::Up) {
        PostMouse(target, base + 1, client);
    }
}

// Keyboard input goes to the focus window, else to the first visible top-level window.
HWND KeyboardTarget() {
    if (HWND focus = GetFocus()) return focus;
    for (HWND w : g_windows)
        if (w->visible && !IsChild(w) && w->className != "#menu") return w;
    return nullptr;
}

void InjectKey(int vk, bool down) {
    if (vk <= 0 || vk > 255) return;
    g_keys[vk] = down;
    if (MenuTrackKey(vk, down)) return;
    HWND target = KeyboardTarget();
    if (!target) return;
    MSG m;
    m.hwnd = target;
    m.message = down ? WM_KEYDOWN : WM_KEYUP;
    m.wParam = static_cast<uint64_t>(vk);
    m.lParam = down ? 1 : static_cast<int64_t>(0xC0000001u);
    // The modifiers as they were when the key went down, for TranslateMessage: Alt in the
    // context bit (29) as Win32 has it, Ctrl in the reserved bit 25 of our own. The state "now"
    // may already have moved on when a burst of key events is read at once.
    if (down && g_keys[VK_CONTROL]) m.lParam |= KeyDownWithCtrl;
    if (down && g_keys[VK_MENU]) m.lParam |= KeyDownWithAlt;
    m.time = GetTickCount();
    m.pt = g_cursorPos;
    QueueMessage(m);
}

void InjectChar(uint32_t codepoint) {
    if (MenuTrackChar(codepoint)) return;
    HWND target = KeyboardTarget();
    if (!target) return;
    MSG m;
    m.hwnd = target;
    m.message = WM_CHAR;
    m.wParam = codepoint;
    m.lParam = 1;
    m.time = GetTickCount();
    m.pt = g_cursorPos;
    QueueMessage(m);
}

HWND WindowFromPoint(POINT p) {
    for (HWND w : g_windows)
        if (!IsChild(w) && w->visible && Inside(w->rect, p.x, p.y)) return w;
    return nullptr;
}

// --- The message queue and timers ------------------------------------------------------------
void QueueMessage(const MSG& m) {
    std::lock_guard<std::mutex> g(g_queueLock);
    g_queue.push_back(m);
}

bool PostMessage(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    MSG m;
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    m.pt = g_cursorPos;
    {
        std::lock_guard<std::mutex> g(g_queueLock);
        if (hwnd && !Live(hwnd)) return false;
        g_queue.push_back(m);
    }
    return true;
}

void PostQuitMessage(int code) {
    PostMessage(nullptr, WM_QUIT, static_cast<uint64_t>(code), 0);
}

bool AnyWindowNeedsPaint() {
    for (HWND w : g_windows)
        if (w->invalid && IsWindowVisible(w)) return true;
    return false;
}

namespace {

bool TakeQueued(MSG* msg, bool remove) {
    std::lock_guard<std::mutex> g(g_queueLock);
    if (g_queue.empty()) return false;
    *msg = g_queue.front();
    if (remove) g_queue.pop_front();
    return true;
}

bool TakePaint(MSG* msg) {
    // Back to front, so owners paint before the popups over them.
    for (auto it = g_windows.rbegin(); it != g_windows.rend(); ++it) {
        HWND w = *it;
        if (w->invalid && IsWindowVisible(w)) {
            *msg = MSG{};
            msg->hwnd = w;
            msg->message = WM_PAINT;
            msg->time = GetTickCount();
            msg->pt = g_cursorPos;
            return true;
        }
    }
    return false;
}

void FireTimers() {
    int64_t now = NowMs();
    for (Timer& t : g_timers) {
        if (now < t.due) continue;
        t.due = now + std::max<uint32_t>(t.interval, 1);
        bool pending = false;
        {
            std::lock_guard<std::mutex> g(g_queueLock);
            for (const MSG& m : g_queue)
                if (m.hwnd == t.hwnd && m.message == WM_TIMER && m.wParam == t.id) pending = true;
        }
        if (!pending) PostMessage(t.hwnd, WM_TIMER, t.id, 0);
    }
}

int MsUntilNextTimer() {
    if (g_timers.empty()) return -1;
    int64_t now = NowMs(), best = 1 << 30;
    for (const Timer& t : g_timers) best = std::min(best, t.due - now);
    return static_cast<int>(std::max<int64_t>(0, best));
}

bool QueueEmpty() {
    std::lock_guard<std::mutex> g(g_queueLock);
    return g_queue.empty();
}

}  // namespace

namespace {

// Another process (the plug-in waiting for the editor) may ask a titled window to come forward
// through the desktop window list; the requests are looked at a few times a second.
void TakeForwardRequests() {
    static int64_t last = -1000;
    int64_t now = NowMs();
    if (now - last < 250) return;
    last = now;
    std::vector<HWND> titled;
    for (HWND w : g_windows)
        if (!IsChild(w) && w->visible && !w->title.empty() && w->className.rfind("#", 0) != 0)
            titled.push_back(w);
    for (HWND w : titled)
        if (TakeBringForwardRequest(w->serial) && IsWindow(w)) SetWindowOrder(w, nullptr, false);
}

}  // namespace

void PumpEvents(Pump mode) {
    Backend& b = TheBackend();
    TakeForwardRequests();
    b.Present();
    FireTimers();
    bool wait = mode == Pump::Wait && QueueEmpty() && !AnyWindowNeedsPaint();
    b.Poll(wait, wait ? MsUntilNextTimer() : 0);
    FireTimers();
}

bool PeekMessage(MSG* msg, uint32_t remove) {
    if (!msg) return false;
    if (TakeQueued(msg, remove & PM_REMOVE)) return true;
    PumpEvents(Pump::NoWait);
    if (TakeQueued(msg, remove & PM_REMOVE)) return true;
    return TakePaint(msg);
}

bool GetMessage(MSG* msg) {
    if (!msg) return false;
    for (;;) {
        if (TakeQueued(msg, true)) return msg->message != WM_QUIT;
        PumpEvents(Pump::NoWait);
        if (TakeQueued(msg, true)) return msg->message != WM_QUIT;
        if (TakePaint(msg)) return true;
        PumpEvents(Pump::Wait);
    }
}

// Keys that make control characters get their WM_CHAR here, as the next message to come, so a
// loop that reads key-downs without translating them never sees stray characters later.
// Printable characters arrive from the backends' text input as WM_CHAR of their own.
bool TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return false;
    uint32_t ch = 0;
    switch (msg->wParam) {
        case VK_BACK:
            ch = 8;
            break;
        case VK_TAB:
            ch = 9;
            break;
        case VK_RETURN:
            ch = 13;
            break;
        case VK_ESCAPE:
            ch = 27;
            break;
        default:
            // Ctrl with a letter makes its control character (Ctrl+A is 1 ... Ctrl+Z is 26).
            if (msg->wParam >= 'A' && msg->wParam <= 'Z' && (msg->lParam & KeyDownWithCtrl) &&
                !(msg->lParam & KeyDownWithAlt)) {
                ch = static_cast<uint32_t>(msg->wParam - 'A' + 1);
                break;
            }
            return false;
    }
    MSG m = *msg;
    m.message = WM_CHAR;
    m.wParam = ch;
    std::lock_guard<std::mutex> g(g_queueLock);
    g_queue.push_front(m);
    return true;
}

int64_t DispatchMessage(const MSG* msg) {
    if (!msg || !msg->hwnd || !IsWindow(msg->hwnd)) return 0;
    if (msg->message == WM_PAINT) {
        int64_t r = SendMessage(msg->hwnd, WM_PAINT, 0, 0);
        if (IsWindow(msg->hwnd)) msg->hwnd->invalid = false;
        return r;
    }
    return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int DrainMessages() {
    int n = 0;
    MSG m;
    for (int guard = 0; guard < 100000 && PeekMessage(&m, PM_REMOVE); ++guard) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        TranslateMessage(&m);
        DispatchMessage(&m);
        ++n;
    }
    return n;
}

uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t ms) {
    for (Timer& t : g_timers)
        if (t.hwnd == hwnd && t.id == id) {
            t.interval = ms;
            t.due = NowMs() + ms;
            return id;
        }
    g_timers.push_back(Timer{hwnd, id, ms, NowMs() + ms});
    return id;
}

bool KillTimer(HWND hwnd, uintptr_t id) {
    auto it = std::remove_if(g_timers.begin(), g_timers.end(),
                             [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    bool found = it != g_timers.end();
    g_timers.erase(it, g_timers.end());
    return found;
}

// --- Time and keys -----------------------------------------------------------------------------
int64_t QueryPerformanceCounter() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}
int64_t QueryPerformanceFrequency() {
    return 1000000000LL;
}
uint32_t GetTickCount() {
    return static_cast<uint32_t>(NowMs());
}
int16_t GetKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    return g_keys[vk] ? static_cast<int16_t>(0x8000) : 0;
}
POINT GetCursorPos() {
    return g_cursorPos;
}

// --- Monitors ----------------------------------------------------------------------------------
int MonitorCount() {
    return static_cast<int>(TheBackend().Monitors().size());
}
MonitorInfo GetMonitor(int index) {
    auto all = TheBackend().Monitors();
    if (all.empty()) return MonitorInfo{Rect{0, 0, 1024, 768}, Rect{0, 0, 1024, 768}};
    if (index < 0 || index >= static_cast<int>(all.size())) index = 0;
    return all[index];
}
RECT GetWorkArea() {
    return GetMonitor(0).work;
}

}  // namespace kv
