// Input routing: raw mouse and keyboard input from the backends becomes messages for the window
// under the pointer, the capture or the focus; presses on a frame move, size or scroll the
// window. Also the state of keys and the pointer as the input left them.
#include <algorithm>
#include <cstdlib>

#include "platform/win/internal.h"
#include "platform/win/menu_internal.h"
#include "platform/win/window_state.h"

namespace kv {

namespace {

// The keys, buttons and pointer as the last input left them: one keyboard and one pointer per
// desktop, read by GetKeyState and GetCursorPos from anywhere in the UI thread.
bool g_keys[256] = {};
POINT g_cursorPos{0, 0};
uint32_t g_buttons = 0;  // MK_* of held buttons
// Alt went down and nothing else has been pressed since: its release selects the menu bar.
bool g_altAlone = false;

// Set once by the program at start-up (tests shorten it).
int g_dblClickMs = 500;

// Non-client drags: moving by the caption, sizing by the frame, scroll thumbs. The drag in progress
// and the last click (for double-clicks) outlive one input event, and there is one pointer; the UI
// thread's alone.
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
ClickMemory g_ncClick;  // the last press on a caption, for its double-click

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
    for (HWND ch : WindowList()) {
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
        const CaptionBoxes boxes = CaptionBoxesOf(w);
        const bool maximizable = (w->style & WS_MAXIMIZEBOX) != 0;
        if (Inside(boxes.close, sx, sy)) {
            PostMessage(w, WM_CLOSE, 0, 0);
            return;
        }
        if (Inside(boxes.maximize, sx, sy)) {
            ShowWindow(w, w->maximized ? SW_RESTORE : SW_MAXIMIZE);
            return;
        }
        if (Inside(boxes.minimize, sx, sy)) {
            ShowWindow(w, SW_MINIMIZE);
            return;
        }
        // A second press soon after on the same spot of the caption maximizes or restores.
        const uint32_t now = GetTickCount();
        const bool second = g_ncClick.hwnd == w &&
                            now - g_ncClick.time <= static_cast<uint32_t>(g_dblClickMs) &&
                            std::abs(g_ncClick.pt.x - g_cursorPos.x) <= 4 &&
                            std::abs(g_ncClick.pt.y - g_cursorPos.y) <= 4;
        g_ncClick = second ? ClickMemory{} : ClickMemory{w, WM_LBUTTONDOWN, now, g_cursorPos};
        if (second && maximizable) {
            ShowWindow(w, w->maximized ? SW_RESTORE : SW_MAXIMIZE);
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

void ForgetInputOf(HWND h) {
    if (g_nc.hwnd == h) g_nc = NcDragState{};
    if (g_lastClick.hwnd == h) g_lastClick = ClickMemory{};
    if (g_ncClick.hwnd == h) g_ncClick = ClickMemory{};
}

void SetDoubleClickTime(int ms) {
    g_dblClickMs = ms;
}

namespace {

// Held buttons and their virtual keys follow presses and releases.
void TrackButton(MouseAction action, int button) {
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
}

// While a frame drag goes on, the mouse drives it; the left button's release ends it, a thumb
// drag with the thumb's last position.
void ContinueNonClientDrag(int x, int y, MouseAction action, int button) {
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
}

// The window a mouse event at screen (x, y) goes to, with the point in its client coordinates:
// the capture, else the deepest child under the point. Null when no window takes it; a left
// press on a frame is handled here as the frame's.
HWND MouseTarget(int x, int y, MouseAction action, int button, POINT* client) {
    if (HWND target = GetCapture()) {
        *client = ScreenToClient(target, POINT{x, y});
        return target;
    }
    HWND top = WindowFromPoint(POINT{x, y});
    if (!top) return nullptr;
    if (!top->enabled) return nullptr;
    int sx = x - top->rect.left, sy = y - top->rect.top;
    Rect c = ClientAreaInSurface(top);
    if (!Inside(c, sx, sy)) {
        if (action == MouseAction::Down && button == 1) NonClientDown(top, sx, sy);
        return nullptr;
    }
    *client = POINT{sx - c.left, sy - c.top};
    return DeepestChild(top, *client);
}

void PostWheel(HWND target, int x, int y, int wheel) {
    MSG m;
    m.hwnd = target;
    m.message = WM_MOUSEWHEEL;
    m.wParam = KeyFlags() | (static_cast<uint64_t>(static_cast<uint16_t>(wheel * 120)) << 16);
    m.lParam = MAKELPARAM(x, y);
    m.time = GetTickCount();
    m.pt = g_cursorPos;
    QueueMessage(m);
}

// A press activates the window and gives it the keyboard; a second one soon after on the same
// spot of a window that wants them is a double-click.
void PostPress(HWND target, uint32_t base, POINT client, int x, int y) {
    HWND top = TopLevelOf(target);
    if (top && WindowList().front() != top && !(top->exStyle & WS_EX_TOPMOST) &&
        !top->className.empty() && top->className[0] != '#')
        SetWindowOrder(top, nullptr, false);
    if (GetFocus() != target) SetFocus(target);
    uint32_t msg = base;
    uint32_t now = GetTickCount();
    if ((target->classStyle & CS_DBLCLKS) && base != WM_XBUTTONDOWN && g_lastClick.hwnd == target &&
        g_lastClick.msg == base && now - g_lastClick.time <= static_cast<uint32_t>(g_dblClickMs) &&
        std::abs(g_lastClick.pt.x - x) <= 4 && std::abs(g_lastClick.pt.y - y) <= 4) {
        msg = base + 2;  // the double-click message
        g_lastClick = ClickMemory{};
    } else {
        g_lastClick = ClickMemory{target, base, now, POINT{x, y}};
    }
    PostMouse(target, msg, client);
}

}  // namespace

void InjectMouse(int x, int y, MouseAction action, int button, int wheel) {
    g_cursorPos = POINT{x, y};
    TrackButton(action, button);
    if (action == MouseAction::Down) g_altAlone = false;
    if (MenuTrackMouse(x, y, action, button)) return;
    if (g_nc.kind != NcDrag::None) {
        ContinueNonClientDrag(x, y, action, button);
        return;
    }
    POINT client{0, 0};
    HWND target = MouseTarget(x, y, action, button, &client);
    if (!target) return;
    if (action == MouseAction::Move) {
        if (target->cursor && !GetCapture()) SetCursor(target->cursor);
        PostMouse(target, WM_MOUSEMOVE, client);
        return;
    }
    if (action == MouseAction::Wheel) {
        PostWheel(target, x, y, wheel);
        return;
    }
    uint32_t base = button == 1   ? WM_LBUTTONDOWN
                    : button == 2 ? WM_RBUTTONDOWN
                    : button == 3 ? WM_MBUTTONDOWN
                                  : WM_XBUTTONDOWN;
    if (action == MouseAction::Down)
        PostPress(target, base, client, x, y);
    else if (action == MouseAction::Up)
        PostMouse(target, base + 1, client);
}

// Keyboard input goes to the focus window, else to the first visible top-level window.
HWND KeyboardTarget() {
    if (HWND focus = GetFocus()) return focus;
    for (HWND w : WindowList())
        if (w->visible && !IsChild(w) && w->className != "#menu") return w;
    return nullptr;
}

void InjectKey(int vk, bool down) {
    if (vk <= 0 || vk > 255) return;
    const bool wasDown = g_keys[vk];
    g_keys[vk] = down;
    // Alt alone: pressed (not repeated) with nothing else, released before anything else.
    const bool altAlone = vk == VK_MENU && !down && g_altAlone;
    if (down && !(vk == VK_MENU && wasDown)) g_altAlone = vk == VK_MENU;
    if (MenuTrackKey(vk, down)) {
        g_altAlone = false;
        return;
    }
    HWND target = KeyboardTarget();
    if (!target) return;
    // Keys with Alt (Ctrl+Alt is not Alt), Alt itself and F10 are the system's keys.
    const bool system = vk == VK_MENU || vk == VK_F10 || (g_keys[VK_MENU] && !g_keys[VK_CONTROL]);
    MSG m;
    m.hwnd = target;
    m.message = system ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    m.wParam = static_cast<uint64_t>(vk);
    m.lParam = down ? 1 : static_cast<int64_t>(0xC0000001u);
    // The modifiers as they were when the key went down, for TranslateMessage: Alt in the
    // context bit (29) as Win32 has it, Ctrl and Shift in the reserved bits 25 and 27 of our own.
    // The state "now" may already have moved on when a burst of key events is read at once.
    if (down && g_keys[VK_CONTROL]) m.lParam |= KeyDownWithCtrl;
    if (down && g_keys[VK_MENU]) m.lParam |= KeyDownWithAlt;
    if (down && g_keys[VK_SHIFT]) m.lParam |= KeyDownWithShift;
    if (altAlone) m.lParam |= KeyUpAltAlone;
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
    // A character typed with Alt held is the menu's business, never text (Ctrl+Alt is AltGr).
    m.message = g_keys[VK_MENU] && !g_keys[VK_CONTROL] ? WM_SYSCHAR : WM_CHAR;
    m.wParam = codepoint;
    m.lParam = 1;
    m.time = GetTickCount();
    m.pt = g_cursorPos;
    QueueMessage(m);
}

HWND WindowFromPoint(POINT p) {
    for (HWND w : WindowList())
        if (!IsChild(w) && w->visible && Inside(w->rect, p.x, p.y)) return w;
    return nullptr;
}

int16_t GetKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    return g_keys[vk] ? static_cast<int16_t>(0x8000) : 0;
}
POINT GetCursorPos() {
    return g_cursorPos;
}

}  // namespace kv
