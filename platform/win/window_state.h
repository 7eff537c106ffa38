// What the window manager's four files share: window.cpp (classes, windows, monitors), frame.cpp
// (frames, scroll bars), input.cpp (input routing, keys and the pointer) and message_queue.cpp
// (the queue, timers and time). Private to the window layer.
//
// Everything here is the UI thread's, except posting a message, which may come from any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win/internal.h"

namespace kv {

// window.cpp: the window list, front to back.
const std::vector<HWND>& WindowList();
bool Live(HWND h);  // still in the window list (possibly being destroyed)
bool IsChild(HWND h);
HWND TopLevelOf(HWND h);
// The top-level window that owns a top-level popup (null for children and unowned windows), and
// the end of that chain: the window that owns the rest and is owned by none.
HWND OwnerOf(HWND h);
HWND RootOwnerOf(HWND h);

// Geometry of a scroll bar: the whole bar, its two arrow boxes and the thumb.
struct BarGeometry {
    Rect bar, less, more, thumb;
    int track0 = 0, trackLen = 0, thumbLen = 0;
};
BarGeometry BarOf(const Window* w, bool horizontal);

// input.cpp: forgets a window that is being destroyed (a frame drag on it, its last click).
void ForgetInputOf(HWND h);

// message_queue.cpp: drops the timers and the queued messages of a window being destroyed.
void ForgetMessagesOf(HWND h);
// message_queue.cpp: takes the keyboard's messages waiting in the queue out of it, oldest first,
// and puts messages back at the head of the queue in their order.
std::vector<MSG> TakeKeyboardMessages();
void PutBackFirst(const std::vector<MSG>& messages);

}  // namespace kv
