// The headless backend's controls for tests and scripted runs.
//
// Nothing is shown: windows exist only as surfaces. Input is pushed by the caller, either at once
// (the messages are queued for the next loop) or as script steps that run one by one whenever a
// message loop waits for input, so that a test can drive a modal dialog from the outside. When a
// loop waits with no step left and no timer pending, the backend posts a quit message, so a
// forgotten input never hangs a test. Message boxes and file dialogs are answered from queues.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/win.h"

namespace kv::headless {

// Makes the headless backend the running one (false when another backend already runs).
bool Use();
// The scale factor the backend reports to what asks (1 unless set); nothing is enlarged.
void SetScale(double factor);

// --- Script ------------------------------------------------------------------------------------
void Script(std::function<void()> step);
void ClearScript();
size_t PendingSteps();

// --- Input, screen coordinates -----------------------------------------------------------------
void MouseMove(int x, int y);
void MouseDown(int x, int y, int button = 1);
void MouseUp(int x, int y, int button = 1);
void Wheel(int x, int y, int clicks);
// --- Input, client coordinates of a window -----------------------------------------------------
void ClientMove(HWND w, int x, int y);
void ClientDown(HWND w, int x, int y, int button = 1);
void ClientUp(HWND w, int x, int y, int button = 1);
void ClientClick(HWND w, int x, int y, int button = 1);
// --- Keys
// -----------------------------------------------------------------------------------------
void KeyDown(int vk);
void KeyUp(int vk);
void Key(int vk);                    // down and up
void Type(const std::string& text);  // WM_CHAR for each character

// --- Pixels
// ---------------------------------------------------------------------------------------- The
// colour at a client point (children included), or 0xFFFFFFFF outside the client area.
COLORREF Pixel(HWND w, int x, int y);
// The whole window, children composited, top-down BGRA.
std::vector<uint32_t> Capture(HWND w, int* width, int* height);
// Only the client area.
std::vector<uint32_t> CaptureClient(HWND w, int* width, int* height);
bool Screenshot(HWND w, const std::string& pngPath);
// Every visible top-level window (popups and menus included) at its screen place, composed over a
// dark grey desktop of the given size.
bool ScreenshotDesktop(const std::string& pngPath, int width, int height);

// --- Answers -----------------------------------------------------------------------------------
void QueueMessageBoxAnswer(int id);  // IDOK, IDYES, IDNO, IDCANCEL
std::vector<std::string> MessageBoxTexts();
void ClearMessageBoxTexts();
void QueueFileAnswer(const std::vector<std::string>& paths);  // one or several full paths
void QueueFileCancel();
FileDialogRequest LastFileRequest();
// With layer dialogs on, message boxes and file dialogs are not answered from the queues: the
// layer's own dialog windows open, to be driven by script steps like any window.
void UseLayerDialogs(bool on);

// --- The system's focus --------------------------------------------------------------------------
// Moves the system's focus as another program or the user would: to a window of the layer, or
// (null) away from the program. The pump decides activation from it; a window the layer gives the
// focus to while the program holds it takes it at once.
void SetSystemFocus(HWND w);
// Moves the system's focus off the program's windows onto no window at all, as a display
// without a window manager does when the focused window goes.
void SetSystemFocusToNothing();
// The window of the layer that holds the system's focus, or null.
HWND SystemFocus();
// Back to the start, for the next test: no window has had the system's focus, the program counts
// as active.
void ResetSystemFocus();

// --- Screens -------------------------------------------------------------------------------------
void SetMonitors(const std::vector<MonitorInfo>& monitors);

}  // namespace kv::headless
