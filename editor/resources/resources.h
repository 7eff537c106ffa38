// The editor's resources: bitmaps (buttons, keys, the OK button, the status-panel tile, the
// placeholder) and cursors, looked up by their resource ids.
//
// They are drawn by code the first time they are asked for, so the program carries no image
// files. Colour bitmaps are 24-bit pictures kept as top-down 0xAARRGGBB pixels; the placeholder
// (133) is a one-bit bitmap of rows padded to whole bytes, most significant bit first.
#pragma once

#include <cstdint>
#include <vector>

#include "core/picture/cdib.h"

namespace kv {

// Resource ids named by the editor.
enum ResourceId : int {
    IconApp = 101,
    BmpStop = 102,
    BmpPlayPressed = 103,
    BmpPlayActive = 104,
    BmpReverse = 105,
    BmpReversePressed = 106,
    BmpReverseActive = 107,
    BmpPlay = 108,
    BmpStopPressed = 109,
    BmpStopActive = 110,
    BmpKeyButton = 111,
    BmpKeyButtonPressed = 112,
    BmpPanelTile = 113,
    BmpKey = 120,
    BmpOkPressed = 121,
    BmpOk = 122,
    BmpKeyCurrent = 125,
    BmpKeyCurrentOdd = 128,
    BmpKeyOdd = 129,
    BmpFirstKeyCurrent = 130,
    BmpFirstKey = 131,
    BmpPlaceholder = 133,
    CursorRotate = 106,
    CursorMove = 135,
    CursorTilt = 136,
};

struct ResourceBitmap {
    int id = 0;
    int width = 0, height = 0;
    int bitCount = 24;              // 24 (pixels) or 1 (mono)
    std::vector<uint32_t> pixels;   // 24-bit: top-down 0xFFRRGGBB
    std::vector<uint8_t> monoBits;  // 1-bit: top-down rows of (width + 7) / 8 bytes
};

struct ResourceCursor {
    int id = 0;
    int width = 32, height = 32, hotX = 0, hotY = 0;
    std::vector<uint32_t> pixels;  // top-down 0xAARRGGBB, alpha 0 transparent
};

// Null when the id names no bitmap (or no cursor).
const ResourceBitmap* FindBitmapResource(int id);
const ResourceCursor* FindCursorResource(int id);
// Every bitmap id, for tests and tools.
std::vector<int> BitmapResourceIds();

// Loads a one-bit bitmap resource into a 24-bit image of its size: set bits white, clear bits
// black, row by row. False on a null image, an id that is not a one-bit bitmap or a failed resize.
bool LoadMonoBitmap(CDIB* image, int resourceId);

}  // namespace kv
