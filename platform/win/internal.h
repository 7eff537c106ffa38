// Private structures of the window layer shared by its source files and its two backends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/win.h"

namespace kv {

struct ScrollBarState {
    SCROLLINFO info;
    bool shown = false;
};

struct MenuItem {
    uint32_t id = 0;
    uint32_t flags = 0;
    std::string text;
    HMENU popup = nullptr;
};

struct Menu {
    bool isPopup = false;
    std::vector<MenuItem> items;
};

struct Window {
    uint64_t serial = 0;
    std::string className;
    std::string title;
    WNDPROC proc = nullptr;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    uint32_t classStyle = 0;
    HWND parent = nullptr;  // parent (children) or owner (popups)
    int id = 0;
    Rect rect{0, 0, 0, 0};  // screen (parent-client for children)
    bool visible = false;
    bool enabled = true;
    bool destroyed = false;
    bool hiddenWithOwner = false;   // hidden because its owner was; shown again with it
    std::vector<uint32_t> surface;  // whole frame, top-down
    int surfW = 0, surfH = 0;
    bool invalid = false;
    bool changed = true;  // surface changed since the backend last presented it
    ScrollBarState hbar, vbar;
    HMENU menu = nullptr;
    HCURSOR cursor = 0;
    void* userData = nullptr;
    void* controlData = nullptr;  // built-in controls keep their state here
    void* backendData = nullptr;
    HFONT font = nullptr;
    bool maximized = false;        // SW_MAXIMIZE: covers the work area until restored
    bool minimized = false;        // SW_MINIMIZE: iconified by the display until restored
    Rect restoreRect{0, 0, 0, 0};  // where a maximized window goes back to
};

// Frame geometry of a window: widths of the non-client parts.
struct FrameMetrics {
    int border = 0, caption = 0, menu = 0, hscroll = 0, vscroll = 0;
};
FrameMetrics MetricsOf(const Window* w);
Rect ClientAreaInSurface(const Window* w);
void DrawNonClient(Window* w);
// The caption's boxes, right to left: close, maximize/restore, minimize; empty when the window
// has none of that kind (surface coordinates).
struct CaptionBoxes {
    Rect close{0, 0, 0, 0}, maximize{0, 0, 0, 0}, minimize{0, 0, 0, 0};
};
CaptionBoxes CaptionBoxesOf(const Window* w);
void ResizeSurface(Window* w);
// The window's device context with its client area filled with `colour`; the client
// rectangle goes to `client` when asked for.
HDC GetClearedDC(HWND w, COLORREF colour, RECT* client = nullptr);
// Surface of a window with its visible children composited on top.
std::vector<uint32_t> ComposeWindow(HWND hwnd, int* width, int* height);
// The same into `out`, whose memory is used again.
void ComposeWindowInto(HWND hwnd, std::vector<uint32_t>* out, int* width, int* height);

// Raw input from the backends, in screen coordinates.
enum class MouseAction { Move, Down, Up, Wheel };
void InjectMouse(int x, int y, MouseAction action, int button, int wheel = 0);
void InjectKey(int vk, bool down);
void InjectChar(uint32_t codepoint);
void QueueMessage(const MSG& m);
bool AnyWindowNeedsPaint();
// The system's focus as the backends see it: a window of the layer gained or lost it (null: the
// program has none of it any more).
void SystemFocusIn(Window* w);
void SystemFocusOut(Window* w);
// Decides, once focus changes have settled, whether the program as a whole gained or lost the
// focus, and tells its top-level windows with WM_ACTIVATEAPP. Run by the pump after each poll.
void SettleActivation();
// Back to the start: no window has had the system's focus and the program counts as active.
void ForgetSystemFocus();
// The display connection is gone: runs the program's handler (SetDisplayLostHandler) once.
void DisplayLost();

// The backend interface: everything that differs between headless and real windows.
class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* Name() const = 0;
    virtual void WindowCreated(Window*) {}
    virtual void WindowDestroyed(Window*) {}
    virtual void WindowPlaced(Window*) {}  // moved, resized, shown, hidden, re-ordered
    virtual void WindowTitle(Window*) {}
    // The window's maximized or minimized state changed: the display and its window manager
    // are told (the layer has already placed a maximized window on the work area).
    virtual void WindowState(Window*) {}
    // The layer's order changed: `from` and every window in front of it are to be stacked as the
    // window list has them (null: the whole list).
    virtual void Restack(Window*) {}
    // The program holds the system's focus and the keyboard belongs on this top-level window.
    virtual void GiveSystemFocus(Window*) {}
    // How long the system's focus may stay outside the program's windows before the program counts
    // as deactivated; focus moving between two windows may pass through "none" on the way.
    virtual int FocusSettleMs() const { return 0; }
    // Whether a window of another program holds the system's keyboard, asked before the program
    // counts as deactivated. A focus left on no window at all (the screen's root, where a
    // display without a window manager puts it when the focused window goes) is nobody's, and
    // deactivates nothing. Backends that cannot tell say yes.
    virtual bool FocusHeldByAnotherProgram() { return true; }
    virtual void Present() {}  // show the changed surfaces
    // Device pixels per logical pixel (see GetScaleFactor).
    virtual double Scale() const { return 1.0; }
    // Gather input; with wait, block up to timeoutMs for something to arrive.
    virtual void Poll(bool wait, int timeoutMs) = 0;
    virtual std::vector<MonitorInfo> Monitors() = 0;
    virtual void SetCursorShape(HCURSOR) {}
    // The standard beep: the display's bell, or the terminal bell without a display.
    virtual void Bell();
    // Scripted answers (headless); return false to let the layer show its own dialog.
    virtual bool AnswerMessageBox(const std::string&, const std::string&, uint32_t, int*) {
        return false;
    }
    virtual bool AnswerFileDialog(const FileDialogRequest&, std::vector<std::string>*, bool*) {
        return false;
    }
};

Backend& TheBackend();
std::unique_ptr<Backend> MakeHeadlessBackend();
std::unique_ptr<Backend> MakeSdlBackend();  // null when SDL cannot start
// The backend that shows the system's own windows: "sdl" on Linux, "win32" on Windows, where it
// is the default whenever a display is present.
const char* NativeBackendName();
bool NativeDisplayPresent();
std::unique_ptr<Backend> MakeNativeBackend();  // null when it cannot start

// Cursor table shared with the backends.
const CursorImage* CursorImageOf(HCURSOR cursor);  // null for system cursors
int SystemCursorOf(HCURSOR cursor);                // IDC_* or 0

}  // namespace kv
