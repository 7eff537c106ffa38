// The editor's window toolkit: one base class for the editor's windows, one way of routing their
// messages, bitmap buttons, the five shared fonts, menus, cursors, the text-entry and file dialogs
// and the edit field. Drawing goes through a Painter (painter.h) the caller hands over.
//
// Thread rule: everything here belongs to the UI thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/base/records.h"
#include "platform/win/win.h"

namespace kv {

// --- Start and stop ---------------------------------------------------------------------------
// Stores the instance, icon id and application name (cut to 63 characters), creates the five
// fonts, reads the work area, empties the window registry, loads the settings file and hands the
// core message boxes for its alerts, the window layer for drawing its images and the renderer's
// steps for loading shows.
bool StartToolkit(void* instance, const char* applicationName, int iconId);
// Deletes the fonts and writes the settings file.
void StopToolkit();

struct ToolkitFonts {
    HFONT f8 = nullptr;       // 8 pixels
    HFONT f10 = nullptr;      // 10 pixels (status panel, option dialogs)
    HFONT f12 = nullptr;      // 12 pixels
    HFONT f13Bold = nullptr;  // 13 pixels bold
    HFONT f20 = nullptr;      // 20 pixels
};
const ToolkitFonts& Fonts();

// Right and bottom edge of the desktop work area, as read at start.
POINT WorkAreaEdge();

// The window that owns the text-entry dialog (the main window once it exists).
void SetMainWindowHandle(HWND hwnd);
HWND MainWindowHandle();

// --- Window registry (up to 256 windows) --------------------------------------------------------
constexpr int MaxRegisteredWindows = 256;
void RegisterWindowHandle(HWND hwnd);    // ignored when 256 are held
void UnregisterWindowHandle(HWND hwnd);  // removes the first equal entry and closes the gap
bool IsWindowRegistered(HWND hwnd);
int RegisteredWindowCount();

// The program-wide pseudo-random generator: state = state * 214013 + 2531011, result bits 16..30.
int32_t NextRandom();
void SeedRandom(uint32_t seed);

// --- Messages and time ---------------------------------------------------------------------------
struct MessageRecord {
    HWND window = nullptr;
    uint32_t message = 0;
    uint64_t wParam = 0;  // zero-extended
    int64_t lParam = 0;   // sign-extended from 32 bits
    uint32_t time = 0;
    int32_t x = 0, y = 0;  // cursor point, screen coordinates
};
bool PeekMessageRecord(MessageRecord* out);  // false when nothing waits
bool GetMessageRecord(MessageRecord* out);   // false on the quit message
void DispatchMessageRecord(const MessageRecord& rec);
bool PostWindowMessage(HWND hwnd, uint32_t message, uint64_t wParam, int64_t lParam);
// The main loop's step: dispatches the record when its window is registered; true when it did.
bool DispatchIfRegistered(const MessageRecord& rec);
void Beep(uint32_t type);
int64_t Counter();
int64_t CounterFrequency();
uint32_t Ticks();
bool IsKeyDown(int virtualKey);

// --- CPWnd ---------------------------------------------------------------------------------------
// Style flags of CreateWin.
enum : uint32_t {
    WinBorder = 0x001,
    WinPopup = 0x002,
    WinSizing = 0x004,
    WinCaption = 0x008,
    WinSysMenu = 0x010,
    WinHScroll = 0x020,
    WinVScroll = 0x040,
    WinOverlapped = 0x080,
    WinNoMinimize = 0x100,
    WinUnregistered = 0x200,
};
uint32_t WindowStyleOf(uint32_t flags);

class CPWnd {
public:
    CPWnd() = default;
    virtual ~CPWnd();
    CPWnd(const CPWnd&) = delete;
    CPWnd& operator=(const CPWnd&) = delete;

    // Slot order: 1 OnMessage, 2 Redraw.
    virtual bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam);
    virtual void Redraw();

    bool CreateWin(HWND parent, uint32_t flags, WNDPROC proc);
    void DestroyWin();

    void MoveTo(const Rect& r, bool repaint);
    void MoveTo(int left, int top, int right, int bottom, bool repaint);
    // Behind `other`, or topmost when other is null; shows the window when asked.
    void PlaceOnTop(HWND other, bool show);
    Rect GetWindowRect() const;
    Rect GetClientRect() const;
    void SetTitle(const char* text);
    void Show(int mode);  // 0 hide, 1 show, 2 maximize

    static int MenuBarHeight();
    static int HScrollBarHeight();
    static int CaptionHeight();

    void SetScrollRanges(int hMax, int vMax, int hPage, int vPage, bool redraw);
    void ShowScrollBars(bool h, bool v);
    void SetHScrollPos(int pos, bool redraw);
    void SetVScrollPos(int pos, bool redraw);
    int GetHScrollPos() const;
    int GetVScrollPos() const;
    // The common reaction to WM_HSCROLL / WM_VSCROLL; request is LOWORD(wParam).
    void HandleScroll(uint32_t message, int request, int lineStep);

    // The per-class window procedure's body: forwards to the object (or to the base once the
    // window is destroyed), then always to the default window procedure.
    static int64_t Route(CPWnd* object, HWND hwnd, uint32_t message, uint64_t wParam,
                         int64_t lParam);
    // A window procedure for windows made by CreateWin: the object is the window's user data,
    // set once CreateWindowEx has returned (the creation messages, sent before the object
    // knows its handle, go to the default procedure as they would through Route).
    static int64_t ObjectProc(HWND hwnd, uint32_t message, uint64_t wParam, int64_t lParam);

    HWND hwnd = nullptr;
    CPWnd* owner = nullptr;
    char className[64] = {};

private:
    bool m_baseOnly = false;  // set by DestroyWin: messages go to the base operations
};

// --- Widgets -------------------------------------------------------------------------------------
// The number Painter::DrawSliderBar writes for a percent and maximum.
long SliderBarValue(int percent, int maximum);

class Painter;

// A button drawn from bitmap resources; the operations that draw take the painter first.
class BitmapButton {
public:
    void Init(int normal, int pressed, int locked, int active, uint32_t state);
    // State 0 normal, 1 pressed, 2 active, 3 locked: draws that state's bitmap when it has one.
    void SetState(Painter& painter, uint32_t state);
    void Place(Painter& painter, const Rect& r);
    void MoveTo(int x, int y);  // moves the bounds without drawing
    // Inside the bounds (edges included) and not locked: draws newState and answers true.
    bool HitTest(Painter& painter, int x, int y, uint32_t newState);
    uint32_t State() const { return m_state; }
    const Rect& Bounds() const { return m_rect; }

private:
    int m_ids[4] = {0, 0, 0, 0};  // normal, pressed, locked, active
    Rect m_rect{0, 0, 0, 0};
    uint32_t m_state = 0;
};

// --- Bitmaps and fonts ---------------------------------------------------------------------------
enum : int { FontBold = 1, FontItalic = 2, FontUnderline = 4 };
HFONT MakeFont(const char* family, int pixelHeight, int flags);

// --- Cursors -------------------------------------------------------------------------------------
// 1 arrow ... 11 hourglass, 12..14 the cursor resources 106, 135, 136; returns false for others.
bool SetCursorShape(int code);
HCURSOR LastReplacedCursor();

// --- Menus ---------------------------------------------------------------------------------------
enum : uint32_t { MenuChecked = 1, MenuGreyed = 2, MenuDisabled = 4 };
class MenuBar {
public:
    void Attach(HWND ownerWindow);
    void AddPopup(const char* title, uint32_t flags);
    void AddItem(int commandId, const char* text, uint32_t flags);
    void SetItemState(int commandId, uint32_t flags);
    void SetItemChecked(int commandId, bool on);
    // "Save Show/S" -> "Save Show\tCtrl+S"; texts without "/" are unchanged.
    static std::string ItemText(const char* text);

    HMENU bar = nullptr;
    HMENU popup = nullptr;
    HWND ownerWindow = nullptr;
};

// --- Text entry and file dialogs ---------------------------------------------------------------
// Each string at most 79 characters; `text` is an in/out buffer of at least 80 bytes. Always true:
// OK and Cancel both hand back the edited text.
bool AskText(char* text, const char* title, const char* line1, const char* line2);

// Open: single selection fills out[0]; multiple selection fills up to capacity - 1 records and
// an empty end mark behind the last one (capacity counts the records out points to).
bool ChooseFileToOpen(HWND owner, FileSpec* out, const char* filter, const char* defaultExtension,
                      const FileSpec* initialFolder, bool multiple, int capacity = 1);
bool ChooseFileToSave(HWND owner, FileSpec* io, const char* filter, const char* defaultExtension,
                      const FileSpec* initialFolder);
// The folder of the show file in use (a file's path; null or empty for none), offered by the file
// dialogs as a place of their own.
void SetDialogShowFolder(const char* showPath);
// Splits a multiple-selection answer (one path, or folder NUL name NUL ... NUL NUL) into
// records: the names in reverse order, then an end mark. Returns the number of files stored.
int FillFileRecords(const std::string& answer, FileSpec* out, int capacity);

// --- Edit field ----------------------------------------------------------------------------------
class EditField {
public:
    ~EditField();
    bool Create(HWND parent, int x, int y, int width, int height, int controlId, HFONT font);
    void SetText(const char* text, bool selectAll);
    void GetText(char* buffer, int size) const;
    void Destroy();
    HWND hwnd = nullptr;
};

}  // namespace kv
