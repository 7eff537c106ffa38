// Menu bar drawing and popup tracking, shared between the window manager and the menu code.
#pragma once

#include "platform/win/internal.h"

namespace kv {

void DrawMenuBarInto(Window* w, HDC frameDC, const Rect& bar);
void OpenMenuBarAt(HWND w, int surfaceX);
void CloseMenusOf(HWND w);
bool MenuTrackMouse(int x, int y, MouseAction action, int button);
bool MenuTrackKey(int vk, bool down);
bool MenuTrackChar(uint32_t codepoint);
// A WM_SYSKEYDOWN or WM_SYSKEYUP that reached DefWindowProc of a window whose keys may work
// `menuWindow`'s bar: Alt+letter opens the title of that letter, F10 the first title, a lone
// Alt selects the bar. True when the key was the menu's.
bool MenuKeyMessage(HWND menuWindow, uint32_t msg, uint64_t vk, int64_t lParam);

}  // namespace kv
