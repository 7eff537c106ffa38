// The window manager's windows: the backend choice, classes, the window list and Z order,
// focus and capture, frames and non-client drawing, scroll bars and monitors. Input routing is in
// input.cpp, the message queue and timers in message_queue.cpp.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/os/window_list.h"
#include "platform/win/internal.h"
#include "platform/win/menu_internal.h"
#include "platform/win/window_state.h"

namespace kv {

namespace {

// --- Backend choice --------------------------------------------------------------------------
// One backend per process, as there is one desktop; made on first use or chosen at start-up.
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

// Registered classes: a process-wide name table, like the desktop's; the UI thread's alone.
std::map<std::string, ClassInfo>& Classes() {
    static std::map<std::string, ClassInfo> c;
    return c;
}

// The window list and focus and capture stand for the one desktop the layer draws; handles are
// checked against the list, so it must be shared by every window. The UI thread's alone.
std::vector<HWND> g_windows;  // front to back
uint64_t g_serial = 0;
HWND g_focus = nullptr;
HWND g_capture = nullptr;

// Top-level windows register a titled entry in the desktop window list.
void SyncWindowList(HWND h) {
    if (!h || IsChild(h) || h->className.rfind("#", 0) == 0) return;
    if (h->visible && !h->title.empty() && !h->destroyed)
        RegisterTopWindow(h->title, h->serial);
    else
        UnregisterTopWindow(h->serial);
}

}  // namespace

const std::vector<HWND>& WindowList() {
    return g_windows;
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

HWND OwnerOf(HWND h) {
    if (!h || IsChild(h) || !h->parent || !Live(h->parent)) return nullptr;
    HWND o = TopLevelOf(h->parent);
    return o == h ? nullptr : o;
}

HWND RootOwnerOf(HWND h) {
    h = TopLevelOf(h);
    // The chain is short (a dialog on a view on the main window); the bound only guards a cycle.
    for (int i = 0; i < 64 && OwnerOf(h); ++i) h = OwnerOf(h);
    return h;
}

namespace {

size_t IndexOf(HWND h) {
    return static_cast<size_t>(std::find(g_windows.begin(), g_windows.end(), h) -
                               g_windows.begin());
}

// The owner rule: every owned popup lies in front of its owner. A popup found behind its owner
// moves to just in front of it, keeping its order among the others that move; a popup of a
// topmost owner becomes topmost itself, as it could not lie in front of it otherwise. Returns the
// back-most window that moved (null when none did): the display is restacked from there forward.
HWND KeepOwnedInFront() {
    std::vector<HWND> moved;
    size_t bound = g_windows.size() * g_windows.size() + 1;
    for (bool again = true; again && bound-- > 0;) {
        again = false;
        for (size_t i = 0; i < g_windows.size(); ++i) {
            HWND w = g_windows[i];
            HWND owner = OwnerOf(w);
            if (!owner) continue;
            size_t at = IndexOf(owner);
            if (at > i) continue;
            if ((owner->exStyle & WS_EX_TOPMOST) && !(w->exStyle & WS_EX_TOPMOST)) {
                w->exStyle |= WS_EX_TOPMOST;
                TheBackend().WindowPlaced(w);
            }
            g_windows.erase(g_windows.begin() + static_cast<std::ptrdiff_t>(i));
            g_windows.insert(g_windows.begin() + static_cast<std::ptrdiff_t>(at), w);
            moved.push_back(w);
            again = true;
            break;
        }
    }
    HWND back = nullptr;
    for (HWND w : moved)
        if (!back || IndexOf(w) > IndexOf(back)) back = w;
    return back;
}

// Hiding a window hides the popups it owns, and showing it again brings back those it hid.
void ShowOwnedWith(HWND owner, bool visible) {
    std::vector<HWND> owned;
    for (HWND w : g_windows)
        if (OwnerOf(w) == owner && !w->destroyed) owned.push_back(w);
    for (HWND w : owned) {
        if (!Live(w)) continue;
        if (!visible && w->visible) {
            ShowWindow(w, SW_HIDE);
            w->hiddenWithOwner = true;
        } else if (visible && w->hiddenWithOwner) {
            ShowWindow(w, SW_SHOWNORMAL);
        }
    }
}

// --- Activation ---------------------------------------------------------------------------------
// The window of the program that holds the system's focus (null: another program has it), whether
// the program counts as active, and since when the focus has been outside it. One desktop, one
// focus; the UI thread's alone.
HWND g_systemFocus = nullptr;
bool g_hadSystemFocus = false;
bool g_programActive = true;
uint32_t g_focusAwaySince = 0;
bool g_focusAway = false;

void (*g_displayLost)() = nullptr;

// A popup that closes or hides with the system's keyboard hands it back to the window that leads
// the program, so the program keeps it (the display would otherwise leave it nowhere).
// A window without an owner (a question asked before the main window's views are up) hands it
// to the program's frontmost window that stays, as the system activates the next window in line.
void HandOnSystemFocus(HWND going) {
    if (g_systemFocus != going) return;
    auto stays = [going](HWND h) { return h && h != going && h->visible && !h->destroyed; };
    HWND next = RootOwnerOf(OwnerOf(going));
    if (!stays(next)) {
        next = nullptr;
        for (HWND w : g_windows) {  // front to back
            if (IsChild(w) || !stays(w)) continue;
            HWND lead = RootOwnerOf(w);
            next = stays(lead) ? lead : w;
            break;
        }
    }
    g_systemFocus = next;
    if (g_systemFocus) TheBackend().GiveSystemFocus(g_systemFocus);
}

}  // namespace

Backend& TheBackend() {
    auto& b = BackendSlot();
    if (!b) {
        const char* env = std::getenv("KINEVISTA_BACKEND");
        std::string want = env ? env : "";
        if (want.empty()) want = NativeDisplayPresent() ? NativeBackendName() : "headless";
        if (want == NativeBackendName()) b = MakeNativeBackend();
        if (!b) b = MakeHeadlessBackend();
    }
    return *b;
}

// Chooses the backend explicitly before the first window ("headless", or "sdl" on Linux and
// "win32" on Windows); false when the backend cannot start or one is already running.
bool SelectBackend(const std::string& name) {
    auto& b = BackendSlot();
    if (b) return b->Name() == name;
    if (name == NativeBackendName()) b = MakeNativeBackend();
    if (name == "headless") b = MakeHeadlessBackend();
    return b != nullptr;
}

const char* BackendName() {
    return TheBackend().Name();
}

double GetScaleFactor() {
    return TheBackend().Scale();
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
    if (!IsChild(w)) KeepOwnedInFront();
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
    if (!IsChild(hwnd)) HandOnSystemFocus(hwnd);
    ForgetInputOf(hwnd);
    CloseMenusOf(hwnd);
    // A window's menu goes with it.
    if (hwnd->menu) {
        DestroyMenu(hwnd->menu);
        hwnd->menu = nullptr;
    }
    ForgetMessagesOf(hwnd);
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

namespace {

// The window whose menu bar the keys of `hwnd` work: its top-level window's own bar, else the bar
// of the window that owns it (the editor's views work the main window's menus). None from the
// layer's own dialogs and menus, nor past a hidden or disabled window.
HWND MenuWindowOf(HWND hwnd) {
    int guard = 0;  // the chain is short; the bound only guards a cycle
    for (HWND w = TopLevelOf(hwnd); w && guard < 16; w = OwnerOf(w), ++guard) {
        if (!w->visible || !w->enabled || (!w->className.empty() && w->className[0] == '#'))
            return nullptr;
        if (w->menu) return w;
    }
    return nullptr;
}

// The keys typed behind the one that opened a menu, read from the display in the same burst,
// are the menu's as if it had opened at once; those after it closes go back to the queue.
void HandQueuedKeysToMenu() {
    std::vector<MSG> keys = TakeKeyboardMessages();
    size_t i = 0;
    for (; i < keys.size(); ++i) {
        const MSG& k = keys[i];
        const int vk = static_cast<int>(k.wParam);
        bool taken = false;
        if (k.message == WM_KEYDOWN || k.message == WM_SYSKEYDOWN)
            taken = MenuTrackKey(vk, true);
        else if (k.message == WM_KEYUP || k.message == WM_SYSKEYUP)
            taken = MenuTrackKey(vk, false);
        else
            taken = MenuTrackChar(static_cast<uint32_t>(k.wParam));
        if (!taken) break;
    }
    PutBackFirst(std::vector<MSG>(keys.begin() + static_cast<std::ptrdiff_t>(i), keys.end()));
}

}  // namespace

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
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
            if (!MenuKeyMessage(MenuWindowOf(hwnd), msg, wParam, lParam)) return 0;
            HandQueuedKeysToMenu();
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
        RECT c{0, 0, 0, 0};
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
    if (IsChild(hwnd)) {
        if (hwnd->parent) hwnd->parent->changed = true;
        return true;
    }
    TheBackend().WindowPlaced(hwnd);
    // The popups it owns come along in front of it; the display follows from the back-most
    // window that moved.
    HWND moved = KeepOwnedInFront();
    TheBackend().Restack(moved && IndexOf(moved) > IndexOf(hwnd) ? moved : hwnd);
    return true;
}

bool ShowWindow(HWND hwnd, int cmd) {
    if (!IsWindow(hwnd)) return false;
    bool was = hwnd->visible;
    hwnd->hiddenWithOwner = false;
    if (cmd == SW_MAXIMIZE) {
        RECT wa = GetWorkArea();
        if (!hwnd->maximized) hwnd->restoreRect = hwnd->rect;
        hwnd->maximized = true;
        hwnd->minimized = false;
        hwnd->visible = true;
        MoveWindow(hwnd, wa.left, wa.top, wa.right - wa.left, wa.bottom - wa.top, true);
        TheBackend().WindowState(hwnd);
    } else if (cmd == SW_RESTORE && (hwnd->maximized || hwnd->minimized)) {
        // From minimized back to what it was; from maximized back to its own place.
        // The display hears of the state first, so that a window manager's own restore comes
        // before the layer's placement and does not undo it.
        bool wasMinimized = hwnd->minimized;
        hwnd->minimized = false;
        if (!wasMinimized) hwnd->maximized = false;
        TheBackend().WindowState(hwnd);
        const Rect r = hwnd->restoreRect;
        if (!wasMinimized && r.right > r.left && r.bottom > r.top)
            MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, true);
    } else if (cmd == SW_MINIMIZE && !IsChild(hwnd)) {
        hwnd->minimized = true;
        TheBackend().WindowState(hwnd);
    }
    hwnd->visible = cmd != SW_HIDE;
    if (hwnd->visible)
        hwnd->style |= WS_VISIBLE;
    else
        hwnd->style &= ~WS_VISIBLE;
    if (was != hwnd->visible) {
        SendMessage(hwnd, WM_SHOWWINDOW, hwnd->visible ? 1 : 0, 0);
        if (hwnd->visible) InvalidateRect(hwnd, nullptr, true);
        if (!hwnd->visible && !IsChild(hwnd)) HandOnSystemFocus(hwnd);
        if (!IsChild(hwnd))
            TheBackend().WindowPlaced(hwnd);
        else if (hwnd->parent)
            hwnd->parent->changed = true;
        if (!hwnd->visible && g_focus && TopLevelOf(g_focus) == hwnd) g_focus = nullptr;
        SyncWindowList(hwnd);
        if (!IsChild(hwnd)) ShowOwnedWith(hwnd, hwnd->visible);
    }
    return was;
}

bool IsZoomed(HWND hwnd) {
    return IsWindow(hwnd) && hwnd->maximized;
}

bool IsIconic(HWND hwnd) {
    return IsWindow(hwnd) && hwnd->minimized;
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
    // The system's keyboard goes to the window that leads the focused one: the owner of its
    // popups, which is never hidden or closed under it. Never taken from another program.
    if (hwnd && g_systemFocus) {
        HWND lead = RootOwnerOf(hwnd);
        if (lead && lead->visible && lead != g_systemFocus) TheBackend().GiveSystemFocus(lead);
    }
    if (IsWindow(old)) SendMessage(old, WM_KILLFOCUS, reinterpret_cast<uint64_t>(hwnd), 0);
    if (hwnd) SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<uint64_t>(old), 0);
    return old;
}
HWND GetFocus() {
    return IsWindow(g_focus) ? g_focus : nullptr;
}

bool IsProgramActive() {
    return g_programActive;
}

void SystemFocusIn(Window* w) {
    if (!IsWindow(w)) return;
    g_systemFocus = w;
    g_hadSystemFocus = true;
}

void SystemFocusOut(Window* w) {
    if (!w || g_systemFocus == w) g_systemFocus = nullptr;
}

void SettleActivation() {
    bool focused = g_systemFocus && IsWindow(g_systemFocus);
    if (!focused) g_systemFocus = nullptr;
    bool active = g_programActive;
    if (focused) {
        g_focusAway = false;
        active = true;
    } else if (g_hadSystemFocus) {
        // The focus passing from one window of ours to another may leave none focused for a
        // moment; only a focus that stays away deactivates the program.
        uint32_t now = GetTickCount();
        if (!g_focusAway) {
            g_focusAway = true;
            g_focusAwaySince = now;
        }
        if (now - g_focusAwaySince >= static_cast<uint32_t>(TheBackend().FocusSettleMs())) {
            // A focus that went nowhere leaves the program in front; looked at again after the
            // same wait, as another program may take it later.
            if (g_programActive && !TheBackend().FocusHeldByAnotherProgram())
                g_focusAwaySince = now;
            else
                active = false;
        }
    }
    if (active == g_programActive) return;
    g_programActive = active;
    std::vector<HWND> tops;
    for (HWND w : g_windows)
        if (!IsChild(w) && !w->destroyed) tops.push_back(w);
    for (HWND w : tops) SendMessage(w, WM_ACTIVATEAPP, active ? 1 : 0, 0);
}

void ForgetSystemFocus() {
    g_systemFocus = nullptr;
    g_hadSystemFocus = false;
    g_programActive = true;
    g_focusAway = false;
}

void SetDisplayLostHandler(void (*handler)()) {
    g_displayLost = handler;
}

void DisplayLost() {
    void (*handler)() = g_displayLost;
    g_displayLost = nullptr;
    if (handler) handler();
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
        // The boxes: a cross, a frame (two overlapping ones when maximized), a bar.
        const CaptionBoxes boxes = CaptionBoxesOf(w);
        auto px = [w](int x, int y) {
            if (x >= 0 && y >= 0 && x < w->surfW && y < w->surfH)
                w->surface[static_cast<size_t>(y) * w->surfW + x] = 0xFF000000u;
        };
        auto frameBox = [&](int l, int t, int r, int b, bool thick) {
            for (int x = l; x <= r; ++x) {
                px(x, t);
                px(x, b);
                if (thick) px(x, t + 1);
            }
            for (int y = t; y <= b; ++y) {
                px(l, y);
                px(r, y);
            }
        };
        if (boxes.close.right > boxes.close.left) {
            const Rect& box = boxes.close;
            Fill(w, box, face);
            for (int i = 3; i < 11; ++i) {
                px(box.left + i, box.top + i);
                px(box.left + 13 - i, box.top + i);
            }
        }
        if (boxes.maximize.right > boxes.maximize.left) {
            const Rect& box = boxes.maximize;
            Fill(w, box, face);
            if (w->maximized) {
                frameBox(box.left + 5, box.top + 2, box.left + 11, box.top + 8, true);
                Fill(w, Rect{box.left + 3, box.top + 5, box.left + 9, box.top + 11}, face);
                frameBox(box.left + 2, box.top + 5, box.left + 8, box.top + 11, true);
            } else {
                frameBox(box.left + 3, box.top + 3, box.left + 10, box.top + 10, true);
            }
        }
        if (boxes.minimize.right > boxes.minimize.left) {
            const Rect& box = boxes.minimize;
            Fill(w, box, face);
            Fill(w, Rect{box.left + 3, box.top + 9, box.left + 10, box.top + 11}, 0xFF000000u);
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
        RECT c{0, 0, 0, 0};
        GetClientRect(hwnd, &c);
        SendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
        InvalidateRect(hwnd, nullptr, true);
    }
    return true;
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
