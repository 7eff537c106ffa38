// Rectangles as the system's window interfaces know them: left and top inside, right and bottom
// just outside. Plain data shared by the core's images and the window layer.
#pragma once

#include <cstdint>

namespace kv {

struct Rect {
    int32_t left, top, right, bottom;
};

}  // namespace kv
