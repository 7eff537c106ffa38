// What the X sessions read back from their display, asked of the server directly: the window
// tree and the root window's image. Each call opens a connection of its own and closes it, as
// the command-line tools it stands in for (xwininfo, xdotool search, xwd) do, so the server's
// life (its reset when the last client leaves) is as with them. A session polls these many
// times a second; starting three tools a poll cost more than the editor under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvx {

// A viewable window of the tree: its id, its name (_NET_WM_NAME, else WM_NAME; "" when it has
// none), its class's instance name and its place on the screen (outside its border).
struct ListedWindow {
    unsigned long id = 0;
    std::string name;
    std::string instance;
    int x = 0, y = 0, w = 0, h = 0;
};

// The viewable windows under the root, depth first, each level from the top of the stack down
// (the order of xwininfo -root -tree). Windows inside an unmapped one are never viewable and are
// not visited. False when the display cannot be opened.
bool ListViewableWindows(const std::string& display, std::vector<ListedWindow>* out);

// The root window's pixels as 0xRRGGBB, through the colour map on a DirectColor screen. False
// when the display cannot be opened or its screen is not 8 bits a channel.
bool GrabRootWindow(const std::string& display, int* width, int* height,
                    std::vector<uint32_t>* pixels);

// The window the window `id` is transient for (0 when none or when it is gone).
unsigned long TransientForWindow(const std::string& display, unsigned long id);

}  // namespace kvx
