// TIFF pictures converted to RGB here, row by row or tile by tile, and the rest through libtiff's
// own RGBA conversion, a band of rows at a time. Part of the libtiff decoder (tiff_decode.cpp).
#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/codecs/more_codecs.h"
#include "platform/codecs/tiff_internal.h"

namespace kv {

namespace {

using tiff::BeginTarget;
using tiff::Converted;
using tiff::Fields;
using tiff::Kind;
using tiff::StagedBytes;
using tiff::TileShape;
using tiff::Unpremultiply;

// ---- Pictures converted to RGB here, row by row -------------------------------------------
//
// libtiff's RGBA conversion reads a picture in bands and restarts a strip from its top for every
// band, so a picture in one strip took time growing with the square of its height. The kinds a
// picture file commonly holds (CMYK, grey and palette of fewer than 8 bits, CIE Lab, YCbCr) are
// instead read a row or a tile at a time and converted here, with libtiff's own arithmetic, so
// the pixels come out as libtiff's RGBA conversion gives them.

// A display with sRGB primaries, the one libtiff's RGBA conversion shows Lab pictures on.
const TIFFDisplay SrgbDisplay = {
    {{3.2410F, -1.5374F, -0.4986F}, {-0.9692F, 1.8760F, 0.0416F}, {0.0556F, -0.2040F, 1.0570F}},
    100.0F,
    100.0F,
    100.0F,
    255,
    255,
    255,
    1.0F,
    1.0F,
    1.0F,
    2.4F,
    2.4F,
    2.4F,
};

// The photometric interpretation libtiff's RGBA conversion assumes when the tag is missing.
uint16_t PhotometricOf(const Fields& f) {
    if (f.photometric != 0xFFFF) return f.photometric;
    if (f.samples - f.extraCount == 1)
        return f.compression == COMPRESSION_CCITTFAX3 || f.compression == COMPRESSION_CCITTFAX4 ||
                       f.compression == COMPRESSION_CCITTRLE ||
                       f.compression == COMPRESSION_CCITTRLEW
                   ? PHOTOMETRIC_MINISWHITE
                   : PHOTOMETRIC_MINISBLACK;
    return f.samples - f.extraCount == 3 ? PHOTOMETRIC_RGB : 0xFFFF;
}

bool LowBitLayout(TIFF* tif, const Fields& f, uint16_t photometric, Converted& c) {
    const int entries = 1 << f.bits;
    const int range = entries - 1;
    if (photometric == PHOTOMETRIC_PALETTE) {
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) return false;
        // A map with no entry above 255 holds 8-bit values; else the high byte of each.
        bool sixteen = false;
        for (int i = 0; i < entries; ++i)
            if (r[i] >= 256 || g[i] >= 256 || b[i] >= 256) sixteen = true;
        const int shift = sixteen ? 8 : 0;
        for (int i = 0; i < entries; ++i) {
            c.colours[i][0] = static_cast<uint8_t>(b[i] >> shift);
            c.colours[i][1] = static_cast<uint8_t>(g[i] >> shift);
            c.colours[i][2] = static_cast<uint8_t>(r[i] >> shift);
        }
        return true;
    }
    for (int i = 0; i < entries; ++i) {
        const int v = photometric == PHOTOMETRIC_MINISWHITE ? range - i : i;
        const auto grey = static_cast<uint8_t>(v * 255 / range);
        c.colours[i][0] = c.colours[i][1] = c.colours[i][2] = grey;
    }
    return true;
}

bool LabLayout(TIFF* tif, Converted& c) {
    float* whitePoint = nullptr;
    float white[2] = {0.3457F, 0.3585F};  // D50, should the field have no default
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_WHITEPOINT, &whitePoint) && whitePoint) {
        white[0] = whitePoint[0];
        white[1] = whitePoint[1];
    }
    if (!(white[1] > 0)) return false;
    float refWhite[3];
    refWhite[1] = 100.0F;
    refWhite[0] = white[0] / white[1] * refWhite[1];
    refWhite[2] = (1.0F - white[0] - white[1]) / white[1] * refWhite[1];
    c.tables.reset(new (std::nothrow) uint8_t[sizeof(TIFFCIELabToRGB)]);
    if (!c.tables) return false;
    c.lab = reinterpret_cast<TIFFCIELabToRGB*>(c.tables.get());
    return TIFFCIELabToRGBInit(c.lab, &SrgbDisplay, refWhite) >= 0;
}

bool YCbCrLayout(TIFF* tif, Converted& c) {
    float* luma = nullptr;
    float* refBlackWhite = nullptr;
    if (!TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRCOEFFICIENTS, &luma) || !luma ||
        !TIFFGetFieldDefaulted(tif, TIFFTAG_REFERENCEBLACKWHITE, &refBlackWhite) || !refBlackWhite)
        return false;
    // libtiff refuses these too: they would divide by zero.
    if (luma[0] == 1.0F || luma[1] == 0.0F || luma[2] == 1.0F ||
        refBlackWhite[0] == refBlackWhite[1] || refBlackWhite[2] == refBlackWhite[3] ||
        refBlackWhite[4] == refBlackWhite[5])
        return false;
    // The struct, then the tables TIFFYCbCrToRGBInit fills: a clamping table of 4 x 256 values
    // and six tables of 256 entries.
    const std::size_t head =
        (sizeof(TIFFYCbCrToRGB) + sizeof(long) - 1) / sizeof(long) * sizeof(long);
    const std::size_t size =
        head + 4 * 256 * sizeof(TIFFRGBValue) + 2 * 256 * sizeof(int) + 3 * 256 * sizeof(int32_t);
    c.tables.reset(new (std::nothrow) uint8_t[size]);
    if (!c.tables) return false;
    c.ycbcr = reinterpret_cast<TIFFYCbCrToRGB*>(c.tables.get());
    return TIFFYCbCrToRGBInit(c.ycbcr, luma, refBlackWhite) >= 0;
}

}  // namespace

bool tiff::ConvertedLayout(TIFF* tif, const Fields& f, Converted& c) {
    if (f.sampleFormat != SAMPLEFORMAT_UINT) return false;
    if (f.planar != PLANARCONFIG_CONTIG && f.samples > 1) return false;
    const uint16_t photometric = PhotometricOf(f);
    c.bits = f.bits;
    c.samples = f.samples;
    switch (photometric) {
        case PHOTOMETRIC_SEPARATED: {
            uint16_t inks = INKSET_CMYK;
            TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
            c.kind = Kind::Cmyk;
            return inks == INKSET_CMYK && f.bits == 8 && f.samples == 4;
        }
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_PALETTE:
            c.kind = Kind::LowBit;
            return (f.bits == 1 || f.bits == 2 || f.bits == 4) && f.samples == 1 &&
                   LowBitLayout(tif, f, photometric, c);
        case PHOTOMETRIC_CIELAB:
            c.kind = Kind::Lab;
            return f.bits == 8 && f.samples == 3 && LabLayout(tif, c);
        case PHOTOMETRIC_YCBCR: {
            uint16_t h = 2, v = 2;
            TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
            c.kind = Kind::YCbCr;
            return f.bits == 8 && f.samples == 3 && h == 1 && v == 1 && YCbCrLayout(tif, c);
        }
        default:
            return false;
    }
}

namespace {

// Converts `count` stored pixels from the start of src into blue, green, red at dst.
void ConvertRow(const Converted& c, const uint8_t* src, int count, uint8_t* dst) {
    switch (c.kind) {
        case Kind::Cmyk:
            for (int x = 0; x < count; ++x, src += 4, dst += 3) {
                const int k = 255 - src[3];
                dst[0] = static_cast<uint8_t>(k * (255 - src[2]) / 255);
                dst[1] = static_cast<uint8_t>(k * (255 - src[1]) / 255);
                dst[2] = static_cast<uint8_t>(k * (255 - src[0]) / 255);
            }
            break;
        case Kind::LowBit: {
            const int perByte = 8 / c.bits;
            const int mask = (1 << c.bits) - 1;
            for (int x = 0; x < count; ++x, dst += 3) {
                const int shift = 8 - c.bits * (x % perByte + 1);
                const uint8_t* colour = c.colours[(src[x / perByte] >> shift) & mask];
                dst[0] = colour[0];
                dst[1] = colour[1];
                dst[2] = colour[2];
            }
            break;
        }
        case Kind::Lab:
            for (int x = 0; x < count; ++x, src += 3, dst += 3) {
                float X = 0, Y = 0, Z = 0;
                uint32_t r = 0, g = 0, b = 0;
                TIFFCIELabToXYZ(c.lab, src[0], static_cast<int8_t>(src[1]),
                                static_cast<int8_t>(src[2]), &X, &Y, &Z);
                TIFFXYZToRGB(c.lab, X, Y, Z, &r, &g, &b);
                dst[0] = static_cast<uint8_t>(b);
                dst[1] = static_cast<uint8_t>(g);
                dst[2] = static_cast<uint8_t>(r);
            }
            break;
        case Kind::YCbCr:
            for (int x = 0; x < count; ++x, src += 3, dst += 3) {
                uint32_t r = 0, g = 0, b = 0;
                TIFFYCbCrtoRGB(c.ycbcr, src[0], src[1], src[2], &r, &g, &b);
                dst[0] = static_cast<uint8_t>(b);
                dst[1] = static_cast<uint8_t>(g);
                dst[2] = static_cast<uint8_t>(r);
            }
            break;
    }
}

}  // namespace

DecodeStatus tiff::ReadConvertedStrips(TIFF* tif, const Fields& f, const Converted& c,
                                       PixelTarget& target) {
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize <= 0) return DecodeStatus::Failed;
    const auto line = static_cast<std::size_t>(lineSize);
    const int w = static_cast<int>(f.width), h = static_cast<int>(f.height);
    // Enough stored bytes in a row for its pixels, whatever libtiff's own count says.
    if (line < (static_cast<std::size_t>(w) * c.samples * c.bits + 7) / 8)
        return DecodeStatus::Failed;
    const int staged = static_cast<int>(
        std::clamp<std::size_t>(StagedBytes / line, 1, static_cast<std::size_t>(h)));
    std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[line * staged]);
    if (!rows) return DecodeStatus::Failed;
    for (int y = 0; y < staged; ++y)
        if (TIFFReadScanline(tif, rows.get() + line * y, static_cast<uint32_t>(y), 0) < 0)
            return DecodeStatus::Failed;
    if (!BeginTarget(target, f, 3)) return DecodeStatus::Stopped;
    for (int y = 0; y < h; ++y) {
        uint8_t* src = rows.get() + line * (y < staged ? y : 0);
        if (y >= staged && TIFFReadScanline(tif, src, static_cast<uint32_t>(y), 0) < 0)
            return DecodeStatus::Failed;
        uint8_t* dst = target.Row(y);
        if (!dst) return DecodeStatus::Failed;
        ConvertRow(c, src, w, dst);
    }
    return DecodeStatus::Ok;
}

DecodeStatus tiff::ReadConvertedTiles(TIFF* tif, const Fields& f, const Converted& c,
                                      PixelTarget& target, std::size_t maxAllocation) {
    uint32_t tw = 0, th = 0;
    const tmsize_t tileSize = TileShape(tif, target, &tw, &th);
    const tmsize_t rowSize = TIFFTileRowSize(tif);
    if (tw == 0 || th == 0 || tileSize <= 0 || rowSize <= 0 ||
        static_cast<uint64_t>(tileSize) > maxAllocation ||
        static_cast<uint64_t>(rowSize) * th > static_cast<uint64_t>(tileSize) ||
        static_cast<uint64_t>(rowSize) * 8 < uint64_t{tw} * c.samples * c.bits)
        return DecodeStatus::Failed;
    std::unique_ptr<uint8_t[]> tile(new (std::nothrow) uint8_t[static_cast<std::size_t>(tileSize)]);
    if (!tile) return DecodeStatus::Failed;
    bool begun = false;
    for (uint32_t ty = 0; ty < f.height; ty += th) {
        for (uint32_t tx = 0; tx < f.width; tx += tw) {
            if (TIFFReadTile(tif, tile.get(), tx, ty, 0, 0) < 0) return DecodeStatus::Failed;
            // The picture is made once the first tile has decoded.
            if (!begun && !BeginTarget(target, f, 3)) return DecodeStatus::Stopped;
            begun = true;
            const int cols = static_cast<int>(std::min(tw, f.width - tx));
            const uint32_t rows = std::min(th, f.height - ty);
            for (uint32_t r = 0; r < rows; ++r) {
                uint8_t* dst = target.Row(static_cast<int>(ty + r));
                if (!dst) return DecodeStatus::Failed;
                ConvertRow(c, tile.get() + static_cast<std::size_t>(r) * rowSize, cols,
                           dst + static_cast<std::size_t>(tx) * 3);
            }
        }
    }
    return begun ? DecodeStatus::Ok : DecodeStatus::Failed;
}

DecodeStatus tiff::ReadRgba(TIFF* tif, const Fields& f, PixelTarget& target,
                            std::size_t maxAllocation) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) return DecodeStatus::NotDecodable;
    TIFFRGBAImage img;
    if (!TIFFRGBAImageBegin(&img, tif, 0, message)) return DecodeStatus::NotDecodable;
    struct Ender {
        TIFFRGBAImage* img;
        ~Ender() { TIFFRGBAImageEnd(img); }
    } ender{&img};
    const bool alpha = img.alpha != 0;
    const int channels = alpha ? 4 : 3;
    // The stored pixels, top row first: the file's orientation is applied by the caller.
    img.req_orientation = ORIENTATION_TOPLEFT;
    img.orientation = ORIENTATION_TOPLEFT;
    const uint32_t w = f.width, h = f.height;
    uint32_t band =
        static_cast<uint32_t>(std::max<std::size_t>(1, (4u << 20) / (4 * std::size_t{w})));
    if (f.tiled) {
        uint32_t th = 0;
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        if (th > band) band = th;
    }
    band = std::min(band, h);
    // libtiff decodes a strip from its top for every band that starts inside it, so a strip
    // taller than a band takes time growing with the square of its height. The kinds left to
    // this path are rare (subsampled YCbCr without JPEG, CMYK with extra samples ...); a
    // subsampled YCbCr picture in such strips is refused rather than read that slowly.
    if (!f.tiled && img.photometric == PHOTOMETRIC_YCBCR) {
        uint32_t perStrip = h;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &perStrip);
        if (std::min(perStrip, h) > band) return DecodeStatus::Failed;
    }
    const std::size_t bandPixels = static_cast<std::size_t>(w) * band;
    if (bandPixels * 4 > maxAllocation) return DecodeStatus::Failed;
    std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[bandPixels]);
    if (!raster) return DecodeStatus::Failed;
    for (uint32_t y = 0; y < h; y += band) {
        const uint32_t rows = std::min(band, h - y);
        img.row_offset = static_cast<int>(y);
        img.col_offset = 0;
        if (!TIFFRGBAImageGet(&img, raster.get(), w, rows)) return DecodeStatus::Failed;
        // The picture is made once the first band has decoded.
        if (y == 0 && !BeginTarget(target, f, channels)) return DecodeStatus::Stopped;
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* dst = target.Row(static_cast<int>(y + r));
            if (!dst) return DecodeStatus::Failed;
            const uint32_t* src = raster.get() + static_cast<std::size_t>(r) * w;
            for (uint32_t x = 0; x < w; ++x, dst += channels) {
                dst[0] = static_cast<uint8_t>(TIFFGetB(src[x]));
                dst[1] = static_cast<uint8_t>(TIFFGetG(src[x]));
                dst[2] = static_cast<uint8_t>(TIFFGetR(src[x]));
                if (alpha) dst[3] = static_cast<uint8_t>(TIFFGetA(src[x]));
            }
            if (alpha) Unpremultiply(target.Row(static_cast<int>(y + r)), static_cast<int>(w));
        }
    }
    return DecodeStatus::Ok;
}

}  // namespace kv
