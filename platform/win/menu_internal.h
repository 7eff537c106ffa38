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

}  // namespace kv
