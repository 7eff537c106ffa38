// The TIFF reader: uncompressed, chunky pictures of 8 bits per sample (16-bit samples keep their
// high byte), in either byte order, in one strip or many.
//
// The first directory is read through a 4096-byte window; entries past the window's end are not
// read. Arrays the directory points at (strip offsets, bits per sample) are read from the file
// at their offset, one value at a time, so no offset or count in the file can reach outside a
// buffer. TIFF rows run top-down with red first: the rows are read into the image top row at
// row 0 and the image is then flipped and its red and blue exchanged.
#include <memory>
#include <new>

#include "core/picture/byte_order.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"

namespace kv {

namespace {

constexpr int WindowSize = 4096;

enum TiffTag : uint16_t {
    TagWidth = 256,
    TagHeight = 257,
    TagBitsPerSample = 258,
    TagCompression = 259,
    TagPhotometric = 262,
    TagStripOffsets = 273,
    TagSamplesPerPixel = 277,
    TagRowsPerStrip = 278,
    TagPlanarConfig = 284,
};
constexpr uint16_t TypeShort = 3;
constexpr uint16_t TypeLong = 4;

struct Layout {
    uint32_t width = 32;
    uint32_t height = 32;
    uint32_t samples = 3;
    uint32_t bitsPerSample = 8;
    uint32_t rowsPerStrip = 8192;
    uint32_t photometric = 2;
    uint32_t planar = 1;
    // Strip offsets: the count, and either the values inline in the entry or an array's offset.
    uint32_t stripCount = 1;
    uint32_t stripEntrySize = 2;
    bool stripInline = true;
    uint8_t stripField[4] = {};
    uint32_t stripArrayAt = 0;
};

}  // namespace

ImageReadResult ReadTiff(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    std::unique_ptr<uint8_t[]> window(new (std::nothrow) uint8_t[WindowSize]());
    if (!window) return ReadNoMemory;
    uint8_t* w = window.get();
    if (!file.Seek(0, DiskFile::FromStart)) return ReadUnreadable;
    int32_t windowLength = file.Read(w, WindowSize);
    if (windowLength < 8) return ReadUnreadable;

    bool big;
    if (w[0] == 'I' && w[2] == '*') {
        big = false;
    } else if (w[0] == 'M' && w[3] == '*') {
        big = true;
    } else {
        return ReadUnreadable;
    }
    auto u16 = [big](const uint8_t* p) { return ReadPackedInt(p, 2, big); };
    auto u32 = [big](const uint8_t* p) { return ReadPackedInt(p, 4, big); };

    // The first directory, moved to the window's start when it lies beyond the first 4096 bytes.
    uint32_t dir = u32(w + 4);
    if (dir > WindowSize - 1) {
        if (!file.Seek(dir, DiskFile::FromStart)) return ReadUnreadable;
        for (int i = 0; i < WindowSize; ++i) w[i] = 0;
        windowLength = file.Read(w, WindowSize);
        dir = 0;
    }
    if (windowLength < 0 || static_cast<int64_t>(dir) + 2 > windowLength) return ReadUnreadable;
    const uint32_t entryCount = u16(w + dir);

    Layout t;
    for (uint32_t i = 0; i < entryCount; ++i) {
        const int64_t at = static_cast<int64_t>(dir) + 2 + 12 * static_cast<int64_t>(i);
        if (at + 12 > windowLength) break;
        const uint8_t* e = w + at;
        const uint32_t tag = u16(e);
        const uint32_t type = u16(e + 2);
        const uint32_t count = u32(e + 4);
        const uint32_t value = type == TypeLong ? u32(e + 8) : u16(e + 8);
        switch (tag) {
            case TagWidth:
                if (value > MaxImageSide) return ReadTooLarge;
                t.width = value;
                break;
            case TagHeight:
                if (value > MaxImageSide) return ReadTooLarge;
                t.height = value;
                break;
            case TagCompression:
                if (value != 1) return ReadCompressed;
                break;
            case TagStripOffsets:
                t.stripCount = count;
                t.stripEntrySize = type == TypeShort ? 2 : 4;
                // Up to four bytes of offsets sit in the entry itself, else the field points at
                // the array.
                t.stripInline = static_cast<uint64_t>(count) * t.stripEntrySize <= 4;
                for (int k = 0; k < 4; ++k) t.stripField[k] = e[8 + k];
                t.stripArrayAt = u32(e + 8);
                break;
            case TagSamplesPerPixel:
                t.samples = value;
                break;
            case TagRowsPerStrip:
                t.rowsPerStrip = value;
                break;
            case TagPhotometric:
                t.photometric = value;
                break;
            case TagPlanarConfig:
                t.planar = value;
                break;
            case TagBitsPerSample:
                // One value per sample; they are alike in the files read here, so the first
                // one tells. Two shorts fit in the entry, more are stored elsewhere.
                if (count <= 2 || type == TypeLong) {
                    t.bitsPerSample = value;
                    if (type == TypeLong && count > 1) {
                        uint8_t b[4];
                        t.bitsPerSample = ReadAt(file, u32(e + 8), b, 4) ? u32(b) : 0;
                    }
                } else {
                    uint8_t b[2];
                    t.bitsPerSample = ReadAt(file, u32(e + 8), b, 2) ? u16(b) : 0;
                }
                break;
            default:
                break;
        }
    }

    // Layouts outside chunky 8- or 16-bit samples, one to four per pixel except two (which no
    // pixel format here could show), are not read.
    if (t.bitsPerSample < 8) return ReadTooFewColours;
    if (t.bitsPerSample != 8 && t.bitsPerSample != 16) return ReadUnreadable;
    if (t.samples == 0 || t.samples == 2 || t.samples > 4) return ReadUnreadable;
    if (t.planar == 2 && t.samples > 1) return ReadUnreadable;
    const int bits = static_cast<int>(t.samples) * 8;
    const int width = static_cast<int>(t.width), height = static_cast<int>(t.height);
    if (!CreateForReading(image, width, height, bits)) return ReadNoMemory;

    // One grey sample: the image's grey ramp shows it, reversed when white is zero.
    if (t.samples == 1) {
        RgbQuad* colors = image.ColorTable();
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(t.photometric == 0 ? 255 - i : i);
            colors[i] = RgbQuad{v, v, v, 0};
        }
    }

    const int32_t rowBytes = width * static_cast<int32_t>(t.samples);
    const int32_t fileRowBytes = rowBytes * static_cast<int32_t>(t.bitsPerSample / 8);
    std::unique_ptr<uint8_t[]> wide;
    if (t.bitsPerSample == 16) {
        wide.reset(new (std::nothrow) uint8_t[static_cast<size_t>(fileRowBytes)]);
        if (!wide) return ReadNoMemory;
    }
    // Reads one file row into image row y; false on a short read.
    auto readRow = [&](int y) {
        uint8_t* dst = image.Row(y);
        if (!wide) return file.Read(dst, rowBytes) == rowBytes;
        if (file.Read(wide.get(), fileRowBytes) != fileRowBytes) return false;
        const int high = big ? 0 : 1;
        for (int32_t k = 0; k < rowBytes; ++k) dst[k] = wide[2 * static_cast<size_t>(k) + high];
        return true;
    };

    if (t.stripCount == 1) {
        const uint32_t offset = t.stripEntrySize == 4 ? u32(t.stripField) : u16(t.stripField);
        if (file.Seek(offset, DiskFile::FromStart)) {
            for (int y = 0; y < height; ++y)
                if (!readRow(y)) break;
        }
    } else if (t.stripCount > 1) {
        // Strip i holds rows i * rowsPerStrip onwards, so a short strip leaves its own rows
        // black and does not shift the strips after it.
        const uint32_t perStrip =
            t.rowsPerStrip == 0 || t.rowsPerStrip > t.height ? t.height : t.rowsPerStrip;
        for (uint32_t i = 0; i < t.stripCount; ++i) {
            const uint64_t first = static_cast<uint64_t>(i) * perStrip;
            if (first >= t.height) break;
            uint8_t b[4] = {};
            if (t.stripInline) {
                for (uint32_t k = 0; k < t.stripEntrySize; ++k)
                    b[k] = t.stripField[i * t.stripEntrySize + k];
            } else {
                const int64_t at = static_cast<int64_t>(t.stripArrayAt) +
                                   static_cast<int64_t>(i) * t.stripEntrySize;
                if (!ReadAt(file, at, b, static_cast<int32_t>(t.stripEntrySize))) break;
            }
            const uint32_t offset = t.stripEntrySize == 4 ? u32(b) : u16(b);
            if (!file.Seek(offset, DiskFile::FromStart)) continue;
            for (uint64_t y = first; y < first + perStrip && y < t.height; ++y)
                if (!readRow(static_cast<int>(y))) break;
        }
    }

    SwapRedBlue(image);
    FlipVertical(image);
    return ReadOk;
}

}  // namespace kv
