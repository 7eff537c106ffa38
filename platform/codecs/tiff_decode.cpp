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
#include "platform/codecs/tiff_internal.h"

namespace kv {

namespace {

using tiff::BeginTarget;
using tiff::Converted;
using tiff::Fields;
using tiff::StagedBytes;
using tiff::TileShape;
using tiff::Unpremultiply;

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

}  // namespace

void tiff::Unpremultiply(uint8_t* p, int count) {
    for (int x = 0; x < count; ++x, p += 4) {
        const int a = p[3];
        if (a == 0 || a == 255) continue;
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<uint8_t>(std::min(255, (p[c] * 255 + a / 2) / a));
    }
}

bool tiff::BeginTarget(PixelTarget& target, const Fields& f, int channels) {
    const int w = f.width > INT_MAX ? INT_MAX : static_cast<int>(f.width);
    const int h = f.height > INT_MAX ? INT_MAX : static_cast<int>(f.height);
    return target.Begin(w, h, channels);
}

namespace {

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

}  // namespace

tmsize_t tiff::TileShape(TIFF* tif, PixelTarget& target, uint32_t* tw, uint32_t* th) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, th);
    target.RowsAtOnce(static_cast<int>(std::min<uint32_t>(*th, INT_MAX)));
    return TIFFTileSize(tif);
}

namespace {

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
