// Test hooks of the SDL2 backend (no SDL types): synthetic input pushed through SDL's own event
// queue, a read-back of what a window shows, and what the X display was told.
#pragma once

#include <string>
#include <vector>

#include "platform/win/win.h"

namespace kv::sdltest {

// Pushes a motion, a left press and a release at a screen point into SDL's queue; false when the
// SDL backend is not running or no window of it lies under the point.
bool PushClick(int screenX, int screenY);
// Writes what the SDL window of a top-level window presents as a PNG file.
bool CaptureWindow(HWND hwnd, const std::string& pngPath);
// The presented colour at a frame point of the window's SDL surface (0xFFFFFFFF when unknown).
COLORREF PresentedPixel(HWND hwnd, int x, int y);
// On X: the window the display holds this one transient for (null when none or not a window of
// the layer), the layer's shown top-level windows in the display's stacking order, front to back,
// and how many X errors the program has met.
HWND TransientOwner(HWND hwnd);
std::vector<HWND> DisplayOrder();
// Raises the window on the display without telling the layer, as a window manager would.
bool RaiseOnDisplay(HWND hwnd);
int XErrorCount();

}  // namespace kv::sdltest
