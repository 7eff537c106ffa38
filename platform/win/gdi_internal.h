// What the rasteriser's files (gdi.cpp, gdi_text.cpp, gdi_bitmap.cpp) share: the drawing
// objects behind the handles. Private to the window layer; the UI thread's alone.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win/internal.h"
#include "platform/win/text_render.h"

namespace kv {

enum class ObjKind { Pen, Brush, Font, Bitmap };

struct GdiObject {
    ObjKind kind;
    bool stock = false;
    COLORREF colour = 0;
    int width = 1;
    int style = PS_SOLID;
    bool nullBrush = false;
    FontSpec font;
    int bmW = 0, bmH = 0;
    std::vector<uint32_t> bits;
};

// The stock objects live for the whole program and are never deleted, as callers expect; any
// other number than a stock brush's or pen's gives the system font.
GdiObject* Stock(int which);

// A COLORREF as an opaque surface pixel.
uint32_t ToBgra(COLORREF c);

}  // namespace kv
