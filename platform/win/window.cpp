// The window manager's windows: the backend choice, classes, the window list and Z order,
// focus and capture, and monitors. Frames, non-client drawing and scroll bars are in frame.cpp,
// input routing in input.cpp, the message queue and timers in message_queue.cpp.
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
