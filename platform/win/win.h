// The window layer: a small Win32-like window system of our own.
//
// Windows, owned popups and child controls live in one process-wide list ordered front to back;
// each owns a 32-bit BGRA surface covering its whole frame (caption, menu bar, borders and the
// built-in scroll bars are drawn here, the client area by the owner through a device context).
// Messages, virtual keys and style bits carry the Win32 numbers so that callers read like the
// window system they were designed against. Input comes from a backend (headless or SDL2) as
// screen-coordinate mouse events, key events and text; the layer hit-tests it and queues the
// Win32-numbered messages on the UI thread's queue.
//
// Thread rule: every call belongs to the one UI thread, except PostMessage, which any thread may
// call to post to a window of the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/os/geometry.h"

namespace kv {

// --- Handles and records --------------------------------------------------------------------
struct Window;
struct GdiObject;
struct Menu;
using HWND = Window*;
using HGDIOBJ = GdiObject*;
using HPEN = GdiObject*;
using HBRUSH = GdiObject*;
using HFONT = GdiObject*;
using HMENU = Menu*;
using HCURSOR = intptr_t;
using COLORREF = uint32_t;
using WNDPROC = int64_t (*)(HWND, uint32_t, uint64_t, int64_t);

struct POINT {
    int32_t x, y;
};
using RECT = Rect;

struct MSG {
    HWND hwnd = nullptr;
    uint32_t message = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    uint32_t time = 0;
    POINT pt{0, 0};
};

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 255) | ((g & 255) << 8) | ((b & 255) << 16));
}
constexpr int GetRValue(COLORREF c) {
    return c & 255;
}
constexpr int GetGValue(COLORREF c) {
    return (c >> 8) & 255;
}
constexpr int GetBValue(COLORREF c) {
    return (c >> 16) & 255;
}
constexpr int64_t MAKELPARAM(int lo, int hi) {
    return static_cast<int64_t>(static_cast<uint32_t>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)));
}
constexpr int GET_X_LPARAM(int64_t lp) {
    return static_cast<int16_t>(lp & 0xFFFF);
}
constexpr int GET_Y_LPARAM(int64_t lp) {
    return static_cast<int16_t>((lp >> 16) & 0xFFFF);
}
constexpr int LOWORD(uint64_t v) {
    return static_cast<int>(v & 0xFFFF);
}
constexpr int HIWORD(uint64_t v) {
    return static_cast<int>((v >> 16) & 0xFFFF);
}

// --- Messages ---------------------------------------------------------------------------------
enum : uint32_t {
    WM_NULL = 0x0000,
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_MOVE = 0x0003,
    WM_SIZE = 0x0005,
    WM_ACTIVATE = 0x0006,
    WM_SETFOCUS = 0x0007,
    WM_KILLFOCUS = 0x0008,
    WM_SETTEXT = 0x000C,
    WM_GETTEXT = 0x000D,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_ERASEBKGND = 0x0014,
    WM_SHOWWINDOW = 0x0018,
    WM_ACTIVATEAPP = 0x001C,
    WM_SETCURSOR = 0x0020,
    WM_SETFONT = 0x0030,
    WM_NCHITTEST = 0x0084,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102,
    WM_SYSKEYDOWN = 0x0104,
    WM_SYSKEYUP = 0x0105,
    WM_SYSCHAR = 0x0106,
    WM_COMMAND = 0x0111,
    WM_SYSCOMMAND = 0x0112,
    WM_TIMER = 0x0113,
    WM_HSCROLL = 0x0114,
    WM_VSCROLL = 0x0115,
    WM_INITMENU = 0x0116,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_RBUTTONDBLCLK = 0x0206,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
    WM_MOUSEWHEEL = 0x020A,
    WM_XBUTTONDOWN = 0x020B,
    WM_XBUTTONUP = 0x020C,
    WM_SIZING = 0x0214,
    WM_CAPTURECHANGED = 0x0215,
    WM_MOVING = 0x0216,
    WM_ENTERSIZEMOVE = 0x0231,
    WM_EXITSIZEMOVE = 0x0232,
    WM_USER = 0x0400,
};

// Bits of a WM_KEYDOWN's lParam: Alt held (the context code) and, our own, Ctrl held when the key
// went down, and Shift in our own bit 27. Keys pressed with Alt held (without Ctrl), Alt itself and
// F10 come as WM_SYSKEYDOWN and WM_SYSKEYUP, the characters typed with Alt as WM_SYSCHAR;
// DefWindowProc turns them into the menu bar's keyboard use. Our own bit 26 of Alt's WM_SYSKEYUP
// says nothing else was pressed while Alt was down (a lone Alt selects the menu bar).
enum : int64_t {
    KeyDownWithCtrl = int64_t{1} << 25,
    KeyUpAltAlone = int64_t{1} << 26,
    KeyDownWithShift = int64_t{1} << 27,
    KeyDownWithAlt = int64_t{1} << 29
};

// Mouse-key flags in wParam of mouse messages.
enum : uint32_t {
    MK_LBUTTON = 1,
    MK_RBUTTON = 2,
    MK_SHIFT = 4,
    MK_CONTROL = 8,
    MK_MBUTTON = 0x10,
    MK_XBUTTON1 = 0x20,
    MK_XBUTTON2 = 0x40
};

// Scroll requests (LOWORD of wParam of WM_HSCROLL / WM_VSCROLL).
enum : int {
    SB_LINEUP = 0,
    SB_LINELEFT = 0,
    SB_LINEDOWN = 1,
    SB_LINERIGHT = 1,
    SB_PAGEUP = 2,
    SB_PAGELEFT = 2,
    SB_PAGEDOWN = 3,
    SB_PAGERIGHT = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8
};
enum : int { SB_HORZ = 0, SB_VERT = 1, SB_BOTH = 3 };

// --- Virtual keys -----------------------------------------------------------------------------
enum : int {
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_MBUTTON = 0x04,
    VK_XBUTTON1 = 0x05,
    VK_XBUTTON2 = 0x06,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_NUMPAD0 = 0x60,
    VK_MULTIPLY = 0x6A,
    VK_ADD = 0x6B,
    VK_SUBTRACT = 0x6D,
    VK_DECIMAL = 0x6E,
    VK_DIVIDE = 0x6F,
    VK_F1 = 0x70,
    VK_F10 = 0x79,
    VK_F12 = 0x7B,
    VK_OEM_1 = 0xBA,
    VK_OEM_PLUS = 0xBB,
    VK_OEM_COMMA = 0xBC,
    VK_OEM_MINUS = 0xBD,
    VK_OEM_PERIOD = 0xBE,
    VK_OEM_2 = 0xBF,
    VK_OEM_3 = 0xC0,
    VK_OEM_4 = 0xDB,
    VK_OEM_5 = 0xDC,
    VK_OEM_6 = 0xDD,
    VK_OEM_7 = 0xDE,
};

// --- Window styles ----------------------------------------------------------------------------
enum : uint32_t {
    WS_OVERLAPPED = 0x00000000,
    WS_POPUP = 0x80000000,
    WS_CHILD = 0x40000000,
    WS_MINIMIZE = 0x20000000,
    WS_VISIBLE = 0x10000000,
    WS_DISABLED = 0x08000000,
    WS_MAXIMIZE = 0x01000000,
    WS_CAPTION = 0x00C00000,
    WS_BORDER = 0x00800000,
    WS_DLGFRAME = 0x00400000,
    WS_VSCROLL = 0x00200000,
    WS_HSCROLL = 0x00100000,
    WS_SYSMENU = 0x00080000,
    WS_THICKFRAME = 0x00040000,
    WS_MINIMIZEBOX = 0x00020000,
    WS_MAXIMIZEBOX = 0x00010000,
    WS_OVERLAPPEDWINDOW =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
};
enum : uint32_t { WS_EX_TOPMOST = 0x00000008 };
// Edit-control styles.
enum : uint32_t { ES_LEFT = 0, ES_CENTER = 1, ES_MULTILINE = 4, ES_AUTOHSCROLL = 0x80 };
// Class styles.
enum : uint32_t { CS_VREDRAW = 1, CS_HREDRAW = 2, CS_DBLCLKS = 8 };

// ShowWindow commands.
enum : int {
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOW = 5,
    SW_MAXIMIZE = 3,
    SW_MINIMIZE = 6,
    SW_RESTORE = 9
};

// System metrics.
enum : int {
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SM_CXVSCROLL = 2,
    SM_CYHSCROLL = 3,
    SM_CYCAPTION = 4,
    SM_CXBORDER = 5,
    SM_CYBORDER = 6,
    SM_CYMENU = 15,
    SM_CXFRAME = 32,
    SM_CYFRAME = 33,
    SM_CMONITORS = 80
};

// --- Backend ----------------------------------------------------------------------------------
// The backend is chosen at the first window: KINEVISTA_BACKEND ("sdl" on Linux or "win32" on
// Windows, the system's own windows, or "headless"), else the system's own when a display is
// present, else headless. SelectBackend chooses explicitly beforehand; false
// when that backend cannot start or another one is already running.
bool SelectBackend(const std::string& name);
const char* BackendName();
// Device pixels per logical pixel on the display the windows are on (1 for the headless
// backend). Everything the program is given and gives is in logical pixels; a picture drawn with
// StretchDIBits over a logical rectangle from this many times more source pixels is shown sharp.
double GetScaleFactor();
// Longest interval between two presses that still makes a double click (0 turns them off).
void SetDoubleClickTime(int ms);

// --- Windows ----------------------------------------------------------------------------------
// Registers a class; false when the name is already taken.
bool RegisterClass(const std::string& name, WNDPROC proc, uint32_t classStyle, int iconId,
                   HCURSOR cursor);
bool UnregisterClass(const std::string& name);
// Creates a window of a registered class (or the built-in class "edit"). x, y are screen
// coordinates for top-level windows and parent-client coordinates for WS_CHILD windows. A
// non-child window with a parent is an owned popup of that window's top-level window: it stays in
// front of its owner and is hidden and shown again with it. Sends WM_CREATE.
HWND CreateWindowEx(uint32_t exStyle, const std::string& className, const std::string& title,
                    uint32_t style, int x, int y, int width, int height, HWND parent, int id);
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);
int64_t DefWindowProc(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam);
int64_t SendMessage(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam);
int64_t CallWindowProc(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam);

bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint);
// Z order: after == nullptr puts the window on top (and makes it topmost when topmost is set).
// An owned popup always stays in front of its owner: raising the owner raises what it owns.
bool SetWindowOrder(HWND hwnd, HWND after, bool topmost);
bool ShowWindow(HWND hwnd, int cmd);
bool IsZoomed(HWND hwnd);  // maximized
bool IsIconic(HWND hwnd);  // minimized
bool IsWindowVisible(HWND hwnd);
bool GetWindowRect(HWND hwnd, RECT* r);  // screen coordinates (parent-client for children)
bool GetClientRect(HWND hwnd, RECT* r);  // (0, 0, width, height)
POINT ClientToScreen(HWND hwnd, POINT p);
POINT ScreenToClient(HWND hwnd, POINT p);
bool SetWindowText(HWND hwnd, const std::string& text);
std::string GetWindowText(HWND hwnd);
HWND GetParent(HWND hwnd);
int GetDlgCtrlID(HWND hwnd);
uint32_t GetWindowStyle(HWND hwnd);
uint32_t GetWindowExStyle(HWND hwnd);
void SetWindowUserData(HWND hwnd, void* data);
void* GetWindowUserData(HWND hwnd);
// Every window of the layer, front to back (top-level and children).
std::vector<HWND> AllWindows();
// The top-level window whose frame contains the screen point, front-most first.
HWND WindowFromPoint(POINT screen);

// The keyboard focus inside the program. While the program holds the system's focus, the top-level
// window it leads to is given the system's keyboard as well.
HWND SetFocus(HWND hwnd);
HWND GetFocus();
// Whether the program holds the system's focus: one of its windows (its menus and dialogs
// included) has it. Every change is sent to each top-level window as WM_ACTIVATEAPP (wParam 1
// activated, 0 deactivated) once the focus has settled.
bool IsProgramActive();
// Called once when the connection to the display is lost, just before the process ends with
// status 1; the program may save what it can there (no window call works any more) and may end
// the process itself with another status.
void SetDisplayLostHandler(void (*handler)());
HWND SetCapture(HWND hwnd);
bool ReleaseCapture();
HWND GetCapture();
void EnableWindow(HWND hwnd, bool enable);

bool InvalidateRect(HWND hwnd, const RECT* r, bool erase);
bool ValidateRect(HWND hwnd, const RECT* r);
bool UpdateWindow(HWND hwnd);

int GetSystemMetrics(int index);
// The full path of the running program (empty when the system cannot say).
std::string GetModuleFileName();

// --- Scroll bars (built into windows with WS_HSCROLL / WS_VSCROLL) ---------------------------
struct SCROLLINFO {
    int nMin = 0, nMax = 0;
    unsigned nPage = 0;
    int nPos = 0, nTrackPos = 0;
};
void SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO& si, bool redraw);
bool GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* si);
int SetScrollPos(HWND hwnd, int bar, int pos, bool redraw);
int GetScrollPos(HWND hwnd, int bar);
bool ShowScrollBar(HWND hwnd, int bar, bool show);

// --- Message queue ----------------------------------------------------------------------------
enum : uint32_t { PM_NOREMOVE = 0, PM_REMOVE = 1 };
bool GetMessage(MSG* msg);  // false on WM_QUIT
bool PeekMessage(MSG* msg, uint32_t remove);
bool PostMessage(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam);
void PostQuitMessage(int code);
bool TranslateMessage(const MSG* msg);  // key-down text is produced by the backends as WM_CHAR
int64_t DispatchMessage(const MSG* msg);
// Runs the backend once: gathers input, fires due timers, generates WM_PAINT for windows with
// invalid areas and presents changed surfaces. With wait, blocks until something is queued.
enum class Pump { Wait, NoWait };
void PumpEvents(Pump mode);
// Processes everything queued now (dispatching all messages); returns the number dispatched.
int DrainMessages();

// Timers (WM_TIMER with wParam = id).
uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t ms);
bool KillTimer(HWND hwnd, uintptr_t id);

// Time: a monotonic nanosecond counter and milliseconds since start of the layer.
int64_t QueryPerformanceCounter();
int64_t QueryPerformanceFrequency();
uint32_t GetTickCount();
// Key state: bit 15 set when held now (Win32 GetKeyState/GetAsyncKeyState form).
int16_t GetKeyState(int vk);
// Mouse position in screen coordinates.
POINT GetCursorPos();

// --- Monitors and work area -------------------------------------------------------------------
struct MonitorInfo {
    RECT bounds;
    RECT work;  // the part not covered by task bars
};
int MonitorCount();
MonitorInfo GetMonitor(int index);
RECT GetWorkArea();  // of the primary monitor

// --- Cursors ----------------------------------------------------------------------------------
enum : int {
    IDC_ARROW = 32512,
    IDC_IBEAM = 32513,
    IDC_WAIT = 32514,
    IDC_CROSS = 32515,
    IDC_UPARROW = 32516,
    IDC_SIZENWSE = 32642,
    IDC_SIZENESW = 32643,
    IDC_SIZEWE = 32644,
    IDC_SIZENS = 32645,
    IDC_SIZEALL = 32646,
    IDC_NO = 32648
};
// A cursor made from a 32 x 32 BGRA picture (alpha 0 transparent) with a hot spot.
struct CursorImage {
    int width = 0, height = 0, hotX = 0, hotY = 0;
    std::vector<uint32_t> pixels;
};
HCURSOR LoadSystemCursor(int idc);
HCURSOR CreateCursorFromImage(const CursorImage& image);
HCURSOR SetCursor(HCURSOR cursor);  // returns the previous one
HCURSOR GetCurrentCursor();

// --- Menus (drawn by the layer) ---------------------------------------------------------------
enum : uint32_t {
    MF_STRING = 0,
    MF_GRAYED = 1,
    MF_DISABLED = 2,
    MF_CHECKED = 8,
    MF_POPUP = 0x10,
    MF_SEPARATOR = 0x800,
    MF_BYCOMMAND = 0,
    MF_BYPOSITION = 0x400
};
HMENU CreateMenu();
HMENU CreatePopupMenu();
bool DestroyMenu(HMENU menu);
bool AppendMenu(HMENU menu, uint32_t flags, uintptr_t idOrPopup, const std::string& text);
// Rewrites the item found by command id anywhere below the menu.
bool ModifyMenu(HMENU menu, uint32_t id, uint32_t flags, const std::string& text);
// Text of the item found by command id; empty when none.
std::string GetMenuString(HMENU menu, uint32_t id);
// Flags of the item found by command id (MF_*), or -1 when none.
int GetMenuState(HMENU menu, uint32_t id);
int GetMenuItemCount(HMENU menu);
// By position: an item's text, its popup (null for a plain item) and the letter that picks it
// from the keyboard (lower case; 0 for a separator or an item with no letter of its own). An
// item's letter is the first letter of its text (before a tab) that no item above it in the same
// menu has taken; the bar's titles follow the same rule.
std::string GetMenuItemText(HMENU menu, int position);
HMENU GetSubMenu(HMENU menu, int position);
char GetMenuMnemonic(HMENU menu, int position);
// The menu the keyboard or the pointer is in: the window whose bar it is (null when none), the
// bar title selected, whether its popup is open and the highlighted item (-1 when none).
struct MenuTrackingState {
    HWND owner = nullptr;
    int barIndex = -1;
    bool open = false;
    int hot = -1;
};
MenuTrackingState GetMenuTrackingState();
bool SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
bool DrawMenuBar(HWND hwnd);

// --- Message boxes ----------------------------------------------------------------------------
enum : uint32_t {
    MB_OK = 0,
    MB_YESNOCANCEL = 3,
    MB_YESNO = 4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_SYSTEMMODAL = 0x1000,
    MB_TOPMOST = 0x40000
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
int MessageBox(HWND owner, const std::string& text, const std::string& caption, uint32_t type);
// The standard beep: the X bell through the sdl backend, the terminal bell otherwise.
void MessageBeep(uint32_t type);
// How many beeps this process has sounded (tests read it).
int MessageBeepCount();

// --- File dialogs -----------------------------------------------------------------------------
struct FileDialogRequest {
    HWND owner = nullptr;
    bool save = false;
    bool multiple = false;         // open only
    bool overwritePrompt = false;  // save only: ask before replacing a file
    bool mustExist = true;         // open only
    std::string filter;            // "Name|pattern;pattern|Name|pattern|" form
    std::string defaultExtension;  // ".ext" or "ext", appended to a name typed without one
    std::string initialFolder;
    std::string initialName;
    std::string title;
    std::string showFolder;  // offered among the places beside the listing, when not empty
};
// The answer in the Win32 buffer form: one full path, or (multiple selection of several files)
// the folder, then each name, NUL-separated and ending with two NULs. Empty on cancel.
std::string RunFileDialog(const FileDialogRequest& request);
// Splits a "Name|pattern|..." filter into (name, pattern) pairs.
std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter);
// True when the file name matches one of the ';'-separated wildcard patterns (case-insensitive).
bool MatchesPattern(const std::string& name, const std::string& patterns);
// The extension (".mp4") a type's patterns give a file: that of the first "*.ext" pattern, empty
// for "*", "*.*" or a pattern with wildcards in its extension.
std::string PatternExtension(const std::string& patterns);
// The name as it reads after the file type changes from `oldPatterns` to `newPatterns`: a name
// carrying the old type's extension takes the new type's; any other name is kept.
std::string NameForType(const std::string& name, const std::string& oldPatterns,
                        const std::string& newPatterns);
// The user folders named in an XDG user-dirs.dirs text, by key ("PICTURES", "VIDEOS", ...) in
// the order listed; "$HOME" is replaced by `home`. Lines that do not parse are skipped.
std::vector<std::pair<std::string, std::string>> ParseUserDirs(const std::string& text,
                                                               const std::string& home);

// --- Text entry dialog ------------------------------------------------------------------------
// A modal dialog with a title, two lines of text, an edit field and an OK button. OK, Enter
// and Escape all end it; the field's text comes back in `text` (at most maxChars characters).
void RunTextEntryDialog(HWND owner, const std::string& title, const std::string& line1,
                        const std::string& line2, std::string& text, int maxChars);

// --- The single-line edit control (class "edit") ----------------------------------------------
// Messages understood besides WM_SETTEXT/WM_GETTEXT/WM_SETFONT and input.
enum : uint32_t { EM_SETSEL = 0x00B1, EM_GETSEL = 0x00B0 };
}  // namespace kv

#include "platform/win/gdi.h"
