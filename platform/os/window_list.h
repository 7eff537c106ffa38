// The desktop window list: which top-level windows exist, under which titles, in which process.
//
// Every process that shows a top-level window registers its title here, so that another
// process (the plug-in waiting for the editor) can find a window by its exact title and ask it
// to come forward, with or without a display. The list is a folder of small entry files, one
// per window, named after the owning process id and the window id; an entry whose process has
// ended (or whose process id now belongs to another process) is ignored and swept away.
//
// The folder is $KINEVISTA_WINDOW_LIST when set (tests use a private one), else
// $XDG_RUNTIME_DIR/kinevista-windows, else /tmp/kinevista-<uid>/windows (mode 0700).
// All calls are safe from any thread and never raise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv {

struct TopWindow {
    int32_t pid = 0;        // owning process
    uint64_t windowId = 0;  // the owner's own number for the window
    std::string title;
};

// The folder that holds the entries (created on first use).
std::string WindowListFolder();

// Registers (or renames) a top-level window of this process. False when the entry cannot be
// written.
bool RegisterTopWindow(const std::string& title, uint64_t windowId);
// Removes the window's entry and any pending bring-forward request.
void UnregisterTopWindow(uint64_t windowId);

// Finds a live top-level window whose title is exactly `title` (any process, this one too).
bool FindTopWindow(const std::string& title, TopWindow* out);
// Every live entry (stale ones are removed on the way).
std::vector<TopWindow> ListTopWindows();

// Asks the owner of the window to bring it to the top: leaves a request that the owner picks
// up with TakeBringForwardRequest. False when the window is not in the list.
bool BringTopWindowForward(const TopWindow& window);
// For the owner: true (once) when someone asked for this window to come forward.
bool TakeBringForwardRequest(uint64_t windowId);

// Dispatches one message waiting in the system's queue for the calling thread's windows (on
// Windows); returns the number dispatched, 0 when none waits or the system keeps no such queue.
// Never blocks.
int32_t DispatchThreadMessages();

}  // namespace kv
