// The system's own windows, input, cursors and dialogs behind the win32 backend.
//
// Kept apart from the layer's headers: the system headers define the Win32 names the layer uses
// (CreateWindowEx, WM_PAINT, RGB ...) as macros, so only native.cpp sees them and this interface
// speaks in plain integers and strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::native {

using Handle = void*;  // a system window

// Where input goes: screen coordinates in device pixels, the layer's button numbers (1 left, 2
// right, 3 middle, 4 and 5 the extra buttons), virtual keys and code points. `user` is the pointer
// a window was made with.
struct Sink {
    void (*mouse)(void* user, int x, int y, int action, int button, int wheel) = nullptr;
    void (*key)(int vk, bool down) = nullptr;
    void (*character)(uint32_t codepoint) = nullptr;
    void (*close)(void* user) = nullptr;
    // The program as a whole was activated or deactivated by the system; `user` is the window
    // that heard it.
    void (*activate)(void* user, bool active) = nullptr;
    // The window moved to a monitor of another density: its factor is now `factor` and the
    // system suggests this screen rectangle (device pixels) for it.
    void (*rescale)(void* user, double factor, int x, int y, int width, int height) = nullptr;
};
enum : int { kMouseMove = 0, kMouseDown = 1, kMouseUp = 2, kMouseWheel = 3 };

// Registers the window class; false when the system refuses.
bool Start(const Sink& sink);
// A borderless window (the layer draws the frame), placed in device pixels. Menus and owned popups
// never take activation or a task-bar button; `owner` keeps an owned window above its owner, hidden
// with it when it is minimised. Only an unowned window takes the keyboard when it appears.
Handle CreateTop(void* user, const std::string& title, int x, int y, int width, int height,
                 bool popupMenu, bool topmost, Handle owner);
void Destroy(Handle h);
// Device pixels per logical pixel for the window: the density of the monitor it is on over 96,
// to a quarter (see RoundScale).
double Factor(Handle h);
// The same for the system as a whole, for before a window is made.
double SystemFactor();
void Place(Handle h, int x, int y, int width, int height, bool visible, bool topmost);
void SetTitle(Handle h, const std::string& title);
// Minimizes the window to the task bar, or shows it again.
void Minimize(Handle h, bool minimized);
// Brings a shown window to the front of its band (topmost or not) without activating it.
void Raise(Handle h);
// Gives the window the keyboard while the program is the one the user works in.
void TakeKeyboard(Handle h);
// Keeps a copy of the window's picture (top-down, 0x00RRGGBB, device pixels) and paints it now; the
// copy answers the system's own repaint requests.
void Show(Handle h, const uint32_t* pixels, int width, int height);
// A box of device pixels, right and bottom outside.
struct Box {
    int left, top, right, bottom;
};
// The same for a picture of which only the boxes changed since the last one of the same size:
// only they are copied and painted (all of it when the size changed).
void ShowParts(Handle h, const uint32_t* pixels, int width, int height,
               const std::vector<Box>& boxes);
// Dispatches the system's messages; with a timeout >= 0 first waits up to that long for one.
void Pump(int waitMs);

struct Screen {
    int left, top, right, bottom;                  // the monitor
    int workLeft, workTop, workRight, workBottom;  // without the task bar
};
std::vector<Screen> Screens();  // the primary first

void UseSystemCursor(int idc);
// A 32-bit picture cursor (0xAARRGGBB, alpha 0 transparent), made once per key.
void UseImageCursor(uintptr_t key, int width, int height, int hotX, int hotY,
                    const uint32_t* pixels);
void Beep();

// The system's message box; answers IDOK / IDYES / IDNO / IDCANCEL.
int AskMessageBox(Handle owner, const std::string& text, const std::string& caption, uint32_t type);

struct FileQuestion {
    Handle owner = nullptr;
    bool save = false;
    bool multiple = false;
    bool mustExist = true;
    std::vector<std::pair<std::string, std::string>> filter;  // (name, patterns)
    std::string folder, name, title;
};
// The system's open or save dialog: false on cancel, else the chosen full paths.
bool AskFile(const FileQuestion& q, std::vector<std::string>* paths);

// The running program's full path (empty when the system cannot say).
std::string ProgramFile();

// UTF-8 to UTF-16 and back (invalid input is replaced, never dropped silently).
std::wstring Wide(const std::string& s);
std::string Narrow(const std::wstring& s);

}  // namespace kv::native
