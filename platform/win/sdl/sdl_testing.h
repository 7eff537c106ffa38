// Test hooks of the SDL2 backend (no SDL types): synthetic input pushed through SDL's own event
// queue, and a read-back of what a window shows.
#pragma once

#include <string>

#include "platform/win/win.h"

namespace kv::sdltest {

// Pushes a motion, a left press and a release at a screen point into SDL's queue; false when the
// SDL backend is not running or no window of it lies under the point.
bool PushClick(int screenX, int screenY);
// Writes what the SDL window of a top-level window presents as a PNG file.
bool CaptureWindow(HWND hwnd, const std::string& pngPath);
// The presented colour at a frame point of the window's SDL surface (0xFFFFFFFF when unknown).
COLORREF PresentedPixel(HWND hwnd, int x, int y);

}  // namespace kv::sdltest
