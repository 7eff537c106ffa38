// What the win32 backend's tests ask of the system directly, apart from the layer's headers (the
// system headers define the layer's Win32 names as macros).
#pragma once

#include <cstdint>
#include <string>

namespace kvtest::probe {

using Handle = void*;

// The system window of the backend's class with this exact title, or null.
Handle FindTop(const std::string& title);
bool Visible(Handle h);
// The system window that owns this one (null when none).
Handle Owner(Handle h);
std::string Title(Handle h);
// The window's place on the screen: left, top, right, bottom.
void Place(Handle h, int* l, int* t, int* r, int* b);
// Sends a system message to the window, as the system or another program would.
int64_t Send(Handle h, uint32_t msg, uint64_t wParam, int64_t lParam);
// The colour the screen shows at a point of the window, as 0x00RRGGBB.
uint32_t ShownPixel(Handle h, int x, int y);
// True when the thread's current cursor is the system cursor idc.
bool CursorIs(int idc);

// Answers the next system dialog this thread opens (message box or file dialog) by pressing the
// button `command` (IDOK, IDCANCEL, IDYES, IDNO), after typing `fileName` into a file dialog's
// name field when one is given. Answers queue up, one per dialog, in order.
void AnswerNextDialog(int command, const std::string& fileName = "");
// How many queued answers no dialog has taken yet.
int UnusedAnswers();

// System message numbers the tests send.
enum : uint32_t {
    kLButtonDown = 0x0201,
    kLButtonUp = 0x0202,
    kKeyDown = 0x0100,
    kKeyUp = 0x0101,
    kChar = 0x0102,
    kClose = 0x0010
};

}  // namespace kvtest::probe
