// TIFF decoding over libtiff, for the files the own uncompressed-TIFF reader does not read.
//
// Grey and RGB pictures of 8 or 16 bits, with or without alpha, in strips or tiles, chunky or
// planar, under any compression libtiff has, are read sample by sample so that 16-bit samples
// are reduced to 8 with rounding. CMYK, grey and palette pictures of 1, 2 or 4 bits, CIE Lab and
// YCbCr are read a row or tile at a time and converted here as libtiff's RGBA conversion would;
// what remains (subsampled YCbCr without JPEG, CMYK with extra samples, planar layouts of those
// kinds) goes through that conversion, a band of rows at a time. No path keeps more than a band,
// a tile or a few rows besides the target's rows, and the picture is made only once the file has
// shown its data. libtiff's own allocations are capped (DecodeLimits::maxAllocation) and its
// messages are kept quiet.
#include <tiffio.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/codecs/more_codecs.h"

namespace kv {

namespace {

int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr OpenTiff(const char* path, std::size_t maxAllocation) {
    if (!path || !*path) return nullptr;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(maxAllocation));
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    // Not mapped into memory: a mapped file's pages count against the process as much as the
    // picture does, and the strips are read once each anyway.
    TiffPtr tif(TIFFOpenExt(path, "rm", options));
    TIFFOpenOptionsFree(options);
    return tif;
}

struct Fields {
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, photometric = 0xFFFF, planar = 1, compression = 1;
    uint16_t sampleFormat = 1;
    uint16_t extraCount = 0;
    uint16_t firstExtra = EXTRASAMPLE_UNSPECIFIED;
    bool tiled = false;
};

bool ReadFields(TIFF* tif, Fields& f) {
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height))
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &f.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &f.sampleFormat);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric)) f.photometric = 0xFFFF;
    uint16_t* extras = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &f.extraCount, &extras) && f.extraCount > 0 &&
        extras)
        f.firstExtra = extras[0];
    else
        f.extraCount = 0;
    f.tiled = TIFFIsTiled(tif) != 0;
    return true;
}

// How the samples of a grey or RGB picture map onto the pixels handed out.
struct Direct {
    int channels = 3;
    int colourSamples = 3;
    bool alpha = false;
    bool associated = false;  // alpha premultiplied into the colours
    bool invert = false;      // white is zero
    int bytes = 1;            // per sample
    // An 8-bit palette picture: its colour map, already reduced to 8 bits (red, green, blue).
    std::vector<uint8_t> palette;
    // Output channels (a bit each) that sample s feeds.
    uint8_t Mask(int s) const {
        if (s < colourSamples) {
            if (colourSamples == 1) return channels == 1 ? 1 : 7;
            return static_cast<uint8_t>(1 << (2 - s));  // R, G, B into bytes 2, 1, 0
        }
        return alpha && s == colourSamples ? 8 : 0;
    }
};

uint8_t Reduce16(uint16_t v) {
    return static_cast<uint8_t>((static_cast<uint32_t>(v) * 255 + 32767) / 65535);
}

// An 8-bit palette picture's colour map, its 16-bit entries rounded to 8 bits. Some writers
// store 8-bit values in it; a map with no entry above 255 is taken as such, as libtiff does.
bool ReadPalette(TIFF* tif, Direct& d) {
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) return false;
    bool eightBit = true;
    for (int i = 0; i < 256; ++i)
        if (r[i] > 255 || g[i] > 255 || b[i] > 255) eightBit = false;
    d.palette.resize(256 * 3);
    for (int i = 0; i < 256; ++i) {
        const uint16_t* maps[3] = {r, g, b};
        for (int c = 0; c < 3; ++c)
            d.palette[3 * i + c] =
                eightBit ? static_cast<uint8_t>(maps[c][i]) : Reduce16(maps[c][i]);
    }
    return true;
}

bool DirectLayout(TIFF* tif, const Fields& f, Direct& d) {
    if (f.photometric == PHOTOMETRIC_PALETTE && f.bits == 8 && f.samples == 1 &&
        f.sampleFormat == SAMPLEFORMAT_UINT) {
        d.colourSamples = 1;
        d.channels = 3;
        return ReadPalette(tif, d);
    }
    if (f.sampleFormat != SAMPLEFORMAT_UINT || (f.bits != 8 && f.bits != 16)) return false;
    if (f.photometric == PHOTOMETRIC_MINISBLACK || f.photometric == PHOTOMETRIC_MINISWHITE) {
        d.colourSamples = 1;
    } else if (f.photometric == PHOTOMETRIC_RGB) {
        d.colourSamples = 3;
    } else {
        return false;
    }
    if (f.samples < d.colourSamples) return false;
    const bool extra = f.samples > d.colourSamples;
    d.alpha = extra && (f.extraCount == 0 || f.firstExtra != EXTRASAMPLE_UNSPECIFIED ||
                        (d.colourSamples == 3 && f.samples == 4));
    d.associated = d.alpha && f.extraCount > 0 && f.firstExtra == EXTRASAMPLE_ASSOCALPHA;
    d.channels = d.alpha ? 4 : d.colourSamples == 1 ? 1 : 3;
    d.invert = f.photometric == PHOTOMETRIC_MINISWHITE;
    d.bytes = f.bits / 8;
    return true;
}

// Writes `count` samples of sample number s, `step` samples apart in src, into dst pixels.
void PutSamples(const Direct& d, int s, const uint8_t* src, int step, int count, uint8_t* dst) {
    if (!d.palette.empty()) {
        for (int x = 0; x < count; ++x, dst += 3) {
            const uint8_t* c = d.palette.data() + 3 * src[static_cast<std::size_t>(x) * step];
            dst[0] = c[2];
            dst[1] = c[1];
            dst[2] = c[0];
        }
        return;
    }
    const uint8_t mask = d.Mask(s);
    if (!mask) return;
    const bool invert = d.invert && s < d.colourSamples;
    for (int x = 0; x < count; ++x, dst += d.channels) {
        uint8_t v;
        if (d.bytes == 2) {
            uint16_t w;
            std::memcpy(&w, src + 2 * static_cast<std::size_t>(x) * step, 2);
            v = Reduce16(w);
        } else {
            v = src[static_cast<std::size_t>(x) * step];
        }
        if (invert) v = static_cast<uint8_t>(255 - v);
        for (int c = 0; c < 4; ++c)
            if (mask & (1 << c)) dst[c] = v;
    }
}

void Unpremultiply(uint8_t* p, int count) {
    for (int x = 0; x < count; ++x, p += 4) {
        const int a = p[3];
        if (a == 0 || a == 255) continue;
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<uint8_t>(std::min(255, (p[c] * 255 + a / 2) / a));
    }
}

// Starts the target with the picture's size; a size beyond int is passed as INT_MAX, which no
// target takes.
bool BeginTarget(PixelTarget& target, const Fields& f, int channels) {
    const int w = f.width > INT_MAX ? INT_MAX : static_cast<int>(f.width);
    const int h = f.height > INT_MAX ? INT_MAX : static_cast<int>(f.height);
    return target.Begin(w, h, channels);
}

// Whether the uncompressed pixel data the file claims is all there: every strip or tile lies
// inside the file, and together (overlaps counted once) they cover the size the picture needs.
// A header claiming a huge picture over a few stored bytes is refused before anything is made.
bool UncompressedDataPresent(TIFF* tif, const Fields& f) {
    const uint64_t fileSize = TIFFGetSizeProc(tif)(TIFFClientdata(tif));
    const uint32_t count = f.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    if (count == 0) return false;
    uint32_t perStrip = f.height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &perStrip);
    if (perStrip == 0 || perStrip > f.height) perStrip = f.height;
    const uint64_t stripsPerPlane = (uint64_t{f.height} + perStrip - 1) / perStrip;
    const uint64_t tileSize = f.tiled ? TIFFTileSize64(tif) : 0;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    ranges.reserve(count);
    uint64_t needed = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t want = tileSize;
        if (!f.tiled) {
            const uint64_t first = (i % stripsPerPlane) * perStrip;
            want = TIFFVStripSize64(tif,
                                    static_cast<uint32_t>(std::min<uint64_t>(
                                        perStrip, f.height - std::min<uint64_t>(first, f.height))));
        }
        const uint64_t at = TIFFGetStrileOffset(tif, i);
        const uint64_t bytes = TIFFGetStrileByteCount(tif, i);
        if (want == 0) continue;
        if (at > fileSize || bytes > fileSize - at || bytes < want) return false;
        ranges.emplace_back(at, at + want);
        needed += want;
    }
    std::sort(ranges.begin(), ranges.end());
    uint64_t covered = 0, end = 0;
    for (const auto& r : ranges) {
        const uint64_t from = std::max(r.first, end);
        if (r.second > from) covered += r.second - from;
        end = std::max(end, r.second);
    }
    return covered >= needed;
}

// The rows decoded before the picture is made: at least one, then up to this many bytes, so that
// a compressed strip of a few bytes has to deliver real rows before a huge picture is allocated.
constexpr std::size_t StagedBytes = std::size_t{16} << 20;

DecodeStatus ReadStrips(TIFF* tif, const Fields& f, const Direct& d, PixelTarget& target) {
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize <= 0) return DecodeStatus::Failed;
    const auto line = static_cast<std::size_t>(lineSize);
    const int w = static_cast<int>(f.width), h = static_cast<int>(f.height);
    const bool contig = f.planar == PLANARCONFIG_CONTIG || f.samples == 1;
    const int staged = contig ? static_cast<int>(std::clamp<std::size_t>(
                                    StagedBytes / line, 1, static_cast<std::size_t>(h)))
                              : 1;
    std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[line * staged]);
    if (!rows) return DecodeStatus::Failed;
    if (contig) {
        for (int y = 0; y < staged; ++y)
            if (TIFFReadScanline(tif, rows.get() + line * y, static_cast<uint32_t>(y), 0) < 0)
                return DecodeStatus::Failed;
        if (!BeginTarget(target, f, d.channels)) return DecodeStatus::Stopped;
        for (int y = 0; y < h; ++y) {
            uint8_t* src = rows.get() + line * (y < staged ? y : 0);
            if (y >= staged && TIFFReadScanline(tif, src, static_cast<uint32_t>(y), 0) < 0)
                return DecodeStatus::Failed;
            uint8_t* dst = target.Row(y);
            if (!dst) return DecodeStatus::Failed;
            for (int s = 0; s < f.samples; ++s)
                PutSamples(d, s, src + s * d.bytes, f.samples, w, dst);
        }
        return DecodeStatus::Ok;
    }
    bool begun = false;
    for (int s = 0; s < f.samples; ++s) {
        if (!d.Mask(s)) continue;
        for (int y = 0; y < h; ++y) {
            if (TIFFReadScanline(tif, rows.get(), static_cast<uint32_t>(y),
                                 static_cast<uint16_t>(s)) < 0)
                return DecodeStatus::Failed;
            if (!begun && !BeginTarget(target, f, d.channels)) return DecodeStatus::Stopped;
            begun = true;
            uint8_t* dst = target.Row(y);
            if (!dst) return DecodeStatus::Failed;
            PutSamples(d, s, rows.get(), 1, w, dst);
        }
    }
    return begun ? DecodeStatus::Ok : DecodeStatus::Failed;
}

// A tiled picture's tile width and height, and the bytes of one tile; the target takes the rows
// a tile high at once.
tmsize_t TileShape(TIFF* tif, PixelTarget& target, uint32_t* tw, uint32_t* th) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, th);
    target.RowsAtOnce(static_cast<int>(std::min<uint32_t>(*th, INT_MAX)));
    return TIFFTileSize(tif);
}

DecodeStatus ReadTiles(TIFF* tif, const Fields& f, const Direct& d, PixelTarget& target,
                       std::size_t maxAllocation) {
    uint32_t tw = 0, th = 0;
    const tmsize_t tileSize = TileShape(tif, target, &tw, &th);
    if (tw == 0 || th == 0 || tileSize <= 0 || static_cast<uint64_t>(tileSize) > maxAllocation)
        return DecodeStatus::Failed;
    std::unique_ptr<uint8_t[]> tile(new (std::nothrow) uint8_t[static_cast<std::size_t>(tileSize)]);
    if (!tile) return DecodeStatus::Failed;
    bool begun = false;
    const bool contig = f.planar == PLANARCONFIG_CONTIG || f.samples == 1;
    const int planes = contig ? 1 : f.samples;
    const int perPixel = contig ? f.samples : 1;
    const std::size_t tileRow = static_cast<std::size_t>(tw) * perPixel * d.bytes;
    if (tileRow * th > static_cast<std::size_t>(tileSize)) return DecodeStatus::Failed;
    for (int plane = 0; plane < planes; ++plane) {
        if (!contig && !d.Mask(plane)) continue;
        for (uint32_t ty = 0; ty < f.height; ty += th) {
            for (uint32_t tx = 0; tx < f.width; tx += tw) {
                if (TIFFReadTile(tif, tile.get(), tx, ty, 0, static_cast<uint16_t>(plane)) < 0)
                    return DecodeStatus::Failed;
                // The picture is made once the first tile has decoded.
                if (!begun && !BeginTarget(target, f, d.channels)) return DecodeStatus::Stopped;
                begun = true;
                const int cols = static_cast<int>(std::min(tw, f.width - tx));
                const uint32_t rows = std::min(th, f.height - ty);
                for (uint32_t r = 0; r < rows; ++r) {
                    uint8_t* dst = target.Row(static_cast<int>(ty + r));
                    if (!dst) return DecodeStatus::Failed;
                    dst += static_cast<std::size_t>(tx) * d.channels;
                    const uint8_t* src = tile.get() + r * tileRow;
                    if (contig) {
                        for (int s = 0; s < f.samples; ++s)
                            PutSamples(d, s, src + s * d.bytes, f.samples, cols, dst);
                    } else {
                        PutSamples(d, plane, src, 1, cols, dst);
                    }
                }
            }
        }
    }
    return begun ? DecodeStatus::Ok : DecodeStatus::Failed;
}

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

// Whether the picture is one of the kinds converted here, and how.
bool ConvertedLayout(TIFF* tif, const Fields& f, Converted& c) {
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

DecodeStatus ReadConvertedStrips(TIFF* tif, const Fields& f, const Converted& c,
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

DecodeStatus ReadConvertedTiles(TIFF* tif, const Fields& f, const Converted& c, PixelTarget& target,
                                std::size_t maxAllocation) {
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

// Everything else, through libtiff's RGBA conversion (colours premultiplied by alpha).
DecodeStatus ReadRgba(TIFF* tif, const Fields& f, PixelTarget& target, std::size_t maxAllocation) {
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

void FillMetadata(TIFF* tif, PictureMetadata& m) {
    m = PictureMetadata{};
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 &&
        orientation <= 8)
        m.orientation = orientation;
    uint32_t count = 0;
    void* data = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &data) && data && count > 0) {
        const auto* p = static_cast<const uint8_t*>(data);
        m.iccProfile.assign(p, p + count);
    }
}

}  // namespace

DecodeStatus DecodeTiff(const char* path, PixelTarget& target, const DecodeLimits& limits,
                        PictureMetadata* metadata) {
    TiffPtr tif = OpenTiff(path, limits.maxAllocation);
    if (!tif) return DecodeStatus::NotDecodable;
    Fields f;
    if (!ReadFields(tif.get(), f) || f.width == 0 || f.height == 0)
        return DecodeStatus::NotDecodable;
    if (metadata) FillMetadata(tif.get(), *metadata);
    // A compression this libtiff has no codec for is not decodable here at all.
    if (!TIFFIsCODECConfigured(f.compression)) return DecodeStatus::NotDecodable;
    const int channels = f.samples > 3 || f.extraCount > 0 ? 4 : f.samples == 1 ? 1 : 3;
    if (!target.Allows(f.width > INT_MAX ? INT_MAX : static_cast<int>(f.width),
                       f.height > INT_MAX ? INT_MAX : static_cast<int>(f.height), channels))
        return DecodeStatus::Stopped;
    if (f.compression == COMPRESSION_NONE && !UncompressedDataPresent(tif.get(), f))
        return DecodeStatus::Failed;
    // JPEG-compressed YCbCr is turned into RGB by libjpeg itself, as libtiff's RGBA conversion
    // has it done.
    if (f.photometric == PHOTOMETRIC_YCBCR && f.compression == COMPRESSION_JPEG &&
        f.planar == PLANARCONFIG_CONTIG &&
        TIFFSetField(tif.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
        f.photometric = PHOTOMETRIC_RGB;
    Direct d;
    if (!DirectLayout(tif.get(), f, d)) {
        Converted c;
        if (ConvertedLayout(tif.get(), f, c))
            return f.tiled ? ReadConvertedTiles(tif.get(), f, c, target, limits.maxAllocation)
                           : ReadConvertedStrips(tif.get(), f, c, target);
        return ReadRgba(tif.get(), f, target, limits.maxAllocation);
    }
    const DecodeStatus status = f.tiled ? ReadTiles(tif.get(), f, d, target, limits.maxAllocation)
                                        : ReadStrips(tif.get(), f, d, target);
    if (status == DecodeStatus::Ok && d.associated) {
        for (uint32_t y = 0; y < f.height; ++y)
            if (uint8_t* row = target.Row(static_cast<int>(y)))
                Unpremultiply(row, static_cast<int>(f.width));
    }
    return status;
}

bool TiffSuitsPlainReader(const char* path) {
    TiffPtr tif = OpenTiff(path, DecodeLimits{}.maxAllocation);
    Fields f;
    // A file libtiff cannot make sense of stays with the own reader, as before.
    if (!tif || !ReadFields(tif.get(), f)) return true;
    if (f.tiled || f.compression != COMPRESSION_NONE || f.bits != 8 ||
        f.sampleFormat != SAMPLEFORMAT_UINT)
        return false;
    // The own reader takes a missing photometric tag as grey for one sample, RGB for more.
    const bool none = f.photometric == 0xFFFF;
    if (f.samples == 1)
        return none || f.photometric == PHOTOMETRIC_MINISBLACK ||
               f.photometric == PHOTOMETRIC_MINISWHITE;
    if (!(none || f.photometric == PHOTOMETRIC_RGB) || f.planar != PLANARCONFIG_CONTIG)
        return false;
    if (f.samples == 3) return true;
    return f.samples == 4 && (f.extraCount == 0 || f.firstExtra != EXTRASAMPLE_ASSOCALPHA);
}

bool ReadTiffMetadata(const char* path, PictureMetadata& metadata) {
    metadata = PictureMetadata{};
    TiffPtr tif = OpenTiff(path, DecodeLimits{}.maxAllocation);
    if (!tif) return false;
    FillMetadata(tif.get(), metadata);
    return true;
}

}  // namespace kv
