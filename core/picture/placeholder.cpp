// The placeholder picture: 160 x 120 pixels in two colours, white drawing on black, shown in
// place of a picture file that cannot be found or read when picture errors are turned off.
//
// It is drawn by code: a frame around a small landscape (a sun over two hills), the usual sign
// for "a picture goes here". The shapes are tested pixel by pixel in picture coordinates (y
// downwards) and written bottom-up like every image.
#include "core/picture/placeholder.h"

#include <cstring>

namespace kv {

namespace {

constexpr int PlaceholderWidth = 160;
constexpr int PlaceholderHeight = 120;

// Inside a triangle with a flat base at `baseY` from baseLeft to baseRight and its top at
// (apexX, apexY).
bool InHill(int x, int y, int apexX, int apexY, int baseLeft, int baseRight, int baseY) {
    if (y < apexY || y > baseY) return false;
    // Widths grow linearly from the apex down to the base (integer arithmetic, no rounding
    // drift between the two sides).
    const int span = baseY - apexY;
    const int left = apexX - (apexX - baseLeft) * (y - apexY) / span;
    const int right = apexX + (baseRight - apexX) * (y - apexY) / span;
    return x >= left && x <= right;
}

bool IsWhite(int x, int y) {
    // A two-pixel frame, eight pixels in from the edge.
    const bool inOuter = x >= 8 && x < PlaceholderWidth - 8 && y >= 8 && y < PlaceholderHeight - 8;
    const bool inInner =
        x >= 10 && x < PlaceholderWidth - 10 && y >= 10 && y < PlaceholderHeight - 10;
    if (inOuter && !inInner) return true;
    if (!inInner) return false;
    // The sun: a disc of radius 11.
    const int dx = x - 116, dy = y - 36;
    if (dx * dx + dy * dy <= 121) return true;
    // Two hills standing on the frame's lower edge.
    const int ground = PlaceholderHeight - 11;
    return InHill(x, y, 56, 44, 12, 104, ground) || InHill(x, y, 104, 66, 70, 148, ground);
}

}  // namespace

bool LoadPlaceholder(CDIB& out) {
    if (!out.Create(PlaceholderWidth, PlaceholderHeight, 24)) return false;
    for (int y = 0; y < PlaceholderHeight; ++y) {
        uint8_t* row = out.Row(PlaceholderHeight - 1 - y);
        for (int x = 0; x < PlaceholderWidth; ++x) {
            const uint8_t v = IsWhite(x, y) ? 255 : 0;
            std::memset(row + 3 * x, v, 3);
        }
    }
    return true;
}

}  // namespace kv
