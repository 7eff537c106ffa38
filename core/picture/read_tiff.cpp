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

// The file's byte order, with readers of its 16- and 32-bit values.
struct ByteOrder {
    bool big = false;
    uint32_t U16(const uint8_t* p) const { return ReadPackedInt(p, 2, big); }
    uint32_t U32(const uint8_t* p) const { return ReadPackedInt(p, 4, big); }
};

// The first directory inside the window: the window's bytes, how many were read, and where the
// directory starts in it.
struct DirectoryWindow {
    std::unique_ptr<uint8_t[]> bytes;
    int32_t length = 0;
    uint32_t dir = 0;
};

// Reads the header and brings the first directory into the window, moving it to the window's
// start when it lies beyond the first 4096 bytes.
ImageReadResult ReadDirectoryWindow(DiskFile& file, ByteOrder& order, DirectoryWindow& win) {
    win.bytes.reset(new (std::nothrow) uint8_t[WindowSize]());
    if (!win.bytes) return ReadNoMemory;
    uint8_t* w = win.bytes.get();
    if (!file.Seek(0, DiskFile::FromStart)) return ReadUnreadable;
    win.length = file.Read(w, WindowSize);
    if (win.length < 8) return ReadUnreadable;

    if (w[0] == 'I' && w[2] == '*') {
        order.big = false;
    } else if (w[0] == 'M' && w[3] == '*') {
        order.big = true;
    } else {
        return ReadUnreadable;
    }

    win.dir = order.U32(w + 4);
    if (win.dir > WindowSize - 1) {
        if (!file.Seek(win.dir, DiskFile::FromStart)) return ReadUnreadable;
        for (int i = 0; i < WindowSize; ++i) w[i] = 0;
        win.length = file.Read(w, WindowSize);
        win.dir = 0;
    }
    if (win.length < 0 || static_cast<int64_t>(win.dir) + 2 > win.length) return ReadUnreadable;
    return ReadOk;
}

// Reads the bits per sample from an entry. One value per sample; they are alike in the files
// read here, so the first one tells. Two shorts fit in the entry, more are stored elsewhere.
uint32_t EntryBitsPerSample(DiskFile& file, const ByteOrder& order, const uint8_t* e, uint32_t type,
                            uint32_t count, uint32_t value) {
    if (count <= 2 || type == TypeLong) {
        if (type == TypeLong && count > 1) {
            uint8_t b[4];
            return ReadAt(file, order.U32(e + 8), b, 4) ? order.U32(b) : 0;
        }
        return value;
    }
    uint8_t b[2];
    return ReadAt(file, order.U32(e + 8), b, 2) ? order.U16(b) : 0;
}

// Reads one directory entry into the layout; ReadOk, or why the picture cannot be read.
ImageReadResult ReadEntry(DiskFile& file, const ByteOrder& order, const uint8_t* e, Layout& t) {
    const uint32_t tag = order.U16(e);
    const uint32_t type = order.U16(e + 2);
    const uint32_t count = order.U32(e + 4);
    const uint32_t value = type == TypeLong ? order.U32(e + 8) : order.U16(e + 8);
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
            t.stripArrayAt = order.U32(e + 8);
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
            t.bitsPerSample = EntryBitsPerSample(file, order, e, type, count, value);
            break;
        default:
            break;
    }
    return ReadOk;
}

// Reads the directory's entries that lie inside the window into the layout.
ImageReadResult ReadDirectory(DiskFile& file, const ByteOrder& order, const DirectoryWindow& win,
                              Layout& t) {
    const uint8_t* w = win.bytes.get();
    const uint32_t entryCount = order.U16(w + win.dir);
    for (uint32_t i = 0; i < entryCount; ++i) {
        const int64_t at = static_cast<int64_t>(win.dir) + 2 + 12 * static_cast<int64_t>(i);
        if (at + 12 > win.length) break;
        const ImageReadResult r = ReadEntry(file, order, w + at, t);
        if (r != ReadOk) return r;
    }
    return ReadOk;
}

// Layouts outside chunky 8- or 16-bit samples, one to four per pixel except two (which no
// pixel format here could show), are not read.
ImageReadResult CheckLayout(const Layout& t) {
    if (t.bitsPerSample < 8) return ReadTooFewColours;
    if (t.bitsPerSample != 8 && t.bitsPerSample != 16) return ReadUnreadable;
    if (t.samples == 0 || t.samples == 2 || t.samples > 4) return ReadUnreadable;
    if (t.planar == 2 && t.samples > 1) return ReadUnreadable;
    return ReadOk;
}

// One grey sample: the image's grey ramp shows it, reversed when white is zero.
void SetGreyRamp(CDIB& image, const Layout& t) {
    RgbQuad* colors = image.ColorTable();
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(t.photometric == 0 ? 255 - i : i);
        colors[i] = RgbQuad{v, v, v, 0};
    }
}

// Reads file rows into image rows, keeping the high byte of 16-bit samples.
class RowReader {
public:
    RowReader(CDIB& image, DiskFile& file, const ByteOrder& order, const Layout& t)
        : image_(image),
          file_(file),
          big_(order.big),
          rowBytes_(static_cast<int32_t>(t.width) * static_cast<int32_t>(t.samples)),
          fileRowBytes_(rowBytes_ * static_cast<int32_t>(t.bitsPerSample / 8)),
          sixteen_(t.bitsPerSample == 16) {}

    // False when the row buffer for 16-bit samples cannot be had.
    bool Ready() {
        if (!sixteen_) return true;
        wide_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(fileRowBytes_)]);
        return wide_ != nullptr;
    }

    // Reads one file row into image row y; false on a short read.
    bool Read(int y) {
        uint8_t* dst = image_.Row(y);
        if (!wide_) return file_.Read(dst, rowBytes_) == rowBytes_;
        if (file_.Read(wide_.get(), fileRowBytes_) != fileRowBytes_) return false;
        const int high = big_ ? 0 : 1;
        for (int32_t k = 0; k < rowBytes_; ++k) dst[k] = wide_[2 * static_cast<size_t>(k) + high];
        return true;
    }

private:
    CDIB& image_;
    DiskFile& file_;
    bool big_;
    int32_t rowBytes_;
    int32_t fileRowBytes_;
    bool sixteen_;
    std::unique_ptr<uint8_t[]> wide_;
};

// Strip i holds rows i * rowsPerStrip onwards, so a short strip leaves its own rows black and
// does not shift the strips after it.
void ReadStrips(DiskFile& file, const ByteOrder& order, const Layout& t, RowReader& rows) {
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
            const int64_t at =
                static_cast<int64_t>(t.stripArrayAt) + static_cast<int64_t>(i) * t.stripEntrySize;
            if (!ReadAt(file, at, b, static_cast<int32_t>(t.stripEntrySize))) break;
        }
        const uint32_t offset = t.stripEntrySize == 4 ? order.U32(b) : order.U16(b);
        if (!file.Seek(offset, DiskFile::FromStart)) continue;
        for (uint64_t y = first; y < first + perStrip && y < t.height; ++y)
            if (!rows.Read(static_cast<int>(y))) break;
    }
}

}  // namespace

ImageReadResult ReadTiff(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    ByteOrder order;
    DirectoryWindow win;
    ImageReadResult r = ReadDirectoryWindow(file, order, win);
    if (r != ReadOk) return r;

    Layout t;
    r = ReadDirectory(file, order, win, t);
    if (r != ReadOk) return r;
    r = CheckLayout(t);
    if (r != ReadOk) return r;
    const int bits = static_cast<int>(t.samples) * 8;
    const int width = static_cast<int>(t.width), height = static_cast<int>(t.height);
    // The strips may lie anywhere, but all of them lie in the file.
    const int64_t pixelBytes =
        static_cast<int64_t>(t.width) * t.samples * (t.bitsPerSample / 8) * t.height;
    if (!FileHoldsPixels(file, width, height, 0, pixelBytes)) return ReadUnreadable;
    if (!CreateForReading(image, width, height, bits)) return ReadNoMemory;
    if (t.samples == 1) SetGreyRamp(image, t);

    RowReader rows(image, file, order, t);
    if (!rows.Ready()) return ReadNoMemory;
    if (t.stripCount == 1) {
        const uint32_t offset =
            t.stripEntrySize == 4 ? order.U32(t.stripField) : order.U16(t.stripField);
        if (file.Seek(offset, DiskFile::FromStart)) {
            for (int y = 0; y < height; ++y)
                if (!rows.Read(y)) break;
        }
    } else if (t.stripCount > 1) {
        ReadStrips(file, order, t, rows);
    }

    SwapRedBlue(image);
    FlipVertical(image);
    return ReadOk;
}

}  // namespace kv
