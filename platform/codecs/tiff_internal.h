// What the libtiff decoder's two files share (tiff_decode.cpp reads the fields and the pictures
// read sample by sample, tiff_convert.cpp those converted to RGB). Private to platform/codecs.
#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/codecs/more_codecs.h"

namespace kv::tiff {

struct Fields {
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, photometric = 0xFFFF, planar = 1, compression = 1;
    uint16_t sampleFormat = 1;
    uint16_t extraCount = 0;
    uint16_t firstExtra = EXTRASAMPLE_UNSPECIFIED;
    bool tiled = false;
};

// The rows decoded before the picture is made: at least one, then up to this many bytes, so that
// a compressed strip of a few bytes has to deliver real rows before a huge picture is allocated.
constexpr std::size_t StagedBytes = std::size_t{16} << 20;

void Unpremultiply(uint8_t* p, int count);

// Starts the target with the picture's size; a size beyond int is passed as INT_MAX, which no
// target takes.
bool BeginTarget(PixelTarget& target, const Fields& f, int channels);

// A tiled picture's tile width and height, and the bytes of one tile; the target takes the rows
// a tile high at once.
tmsize_t TileShape(TIFF* tif, PixelTarget& target, uint32_t* tw, uint32_t* th);

// ---- Pictures converted to RGB here (tiff_convert.cpp) -----------------------------------------

enum class Kind { Cmyk, LowBit, Lab, YCbCr };

// How the stored samples of one of those kinds become blue, green, red.
struct Converted {
    Kind kind = Kind::Cmyk;
    int bits = 8;
    int samples = 1;
    // Grey or palette of fewer than 8 bits: the colour of each stored value (blue, green, red).
    uint8_t colours[16][3] = {};
    // Lab and YCbCr: libtiff's tables, in one block that this struct owns.
    std::unique_ptr<uint8_t[]> tables;
    TIFFCIELabToRGB* lab = nullptr;
    TIFFYCbCrToRGB* ycbcr = nullptr;
};

// Whether the picture is one of the kinds converted here, and how.
bool ConvertedLayout(TIFF* tif, const Fields& f, Converted& c);

DecodeStatus ReadConvertedStrips(TIFF* tif, const Fields& f, const Converted& c,
                                 PixelTarget& target);

DecodeStatus ReadConvertedTiles(TIFF* tif, const Fields& f, const Converted& c, PixelTarget& target,
                                std::size_t maxAllocation);

// Everything else, through libtiff's RGBA conversion (colours premultiplied by alpha).
DecodeStatus ReadRgba(TIFF* tif, const Fields& f, PixelTarget& target, std::size_t maxAllocation);

}  // namespace kv::tiff
