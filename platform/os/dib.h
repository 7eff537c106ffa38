// A device-independent bitmap's header block as the system's bitmap interfaces define it: the
// 40-byte info header, then the colour table of an indexed image. Plain data shared by the
// core's images and the window layer's StretchDIBits.
#pragma once

#include <cstdint>

namespace kv {

struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
    uint8_t blue, green, red, reserved;
};

// The header block: the info header followed by the colour table.
struct BitmapInfo {
    BitmapInfoHeader header;
    RgbQuad colors[1];  // really as many entries as the bit count has colours
};

}  // namespace kv
