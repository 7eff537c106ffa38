// The Photoshop reader: the merged picture of bitmap, greyscale, indexed and RGB files, raw or
// PackBits-compressed, 8 or 16 bits per channel (16-bit samples keep their high byte).
//
// Channels are stored one after the other, each as its rows top row first. The reader goes row
// by row through the channels it uses with a one-row buffer, so memory stays at a row
// whatever the sizes in the file say. The picture comes out at 24 bits, or 32 with the fourth
// channel as alpha.
#include <memory>
#include <new>

#include "core/picture/byte_order.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"

namespace kv {

namespace {

constexpr int PaletteBytes = 1536;
enum ColourMode : uint32_t { ModeBitmap = 0, ModeGrey = 1, ModeIndexed = 2, ModeRgb = 3 };

uint32_t Be32(const uint8_t* p) {
    return ReadPackedInt(p, 4, true);
}
uint32_t Be16(const uint8_t* p) {
    return ReadPackedInt(p, 2, true);
}

// The file header's fields.
struct Header {
    uint32_t channels = 0;
    uint32_t height = 0;
    uint32_t width = 0;
    uint32_t depth = 0;
    uint32_t mode = 0;
    uint32_t modeDataLength = 0;
};

// Reads and checks the header; ReadOk, or why the picture cannot be read.
ImageReadResult ReadHeader(DiskFile& file, Header& h) {
    uint8_t hdr[30];
    if (!ReadAt(file, 0, hdr, sizeof hdr)) return ReadUnreadable;
    h.channels = Be16(hdr + 12);
    h.height = Be32(hdr + 14);
    h.width = Be32(hdr + 18);
    h.depth = Be16(hdr + 22);
    h.mode = Be16(hdr + 24);
    h.modeDataLength = Be32(hdr + 26);

    if (h.mode > ModeRgb) return ReadUnreadable;
    if (h.width > MaxImageSide || h.height > MaxImageSide) return ReadTooLarge;
    // Bitmap files have one bit per sample and are left black; other modes need whole bytes.
    if (h.depth != 1 && h.depth != 8 && h.depth != 16 && h.depth != 32) return ReadUnreadable;
    if (h.depth == 1 && h.mode != ModeBitmap) return ReadUnreadable;
    return ReadOk;
}

// Reads the colour-mode data (the palette of an indexed picture: 256 red, 256 green, 256
// blue), skips the image resources and the layers and masks, each behind its length, and
// reads the compression. `pos` ends at the image data.
ImageReadResult ReadToImageData(DiskFile& file, const Header& h, uint8_t* palette, int64_t& pos,
                                bool& packed) {
    const int32_t keep =
        h.modeDataLength < PaletteBytes ? static_cast<int32_t>(h.modeDataLength) : PaletteBytes;
    if (file.Read(palette, keep) != keep) return ReadUnreadable;
    pos = 30 + static_cast<int64_t>(h.modeDataLength);
    for (int section = 0; section < 2; ++section) {
        uint8_t len[4];
        if (!ReadAt(file, pos, len, 4)) return ReadUnreadable;
        pos += 4 + static_cast<int64_t>(Be32(len));
    }
    uint8_t comp[2];
    if (!ReadAt(file, pos, comp, 2)) return ReadUnreadable;
    pos += 2;
    const uint32_t compression = Be16(comp);
    if (compression > 1) return ReadCompressed;
    packed = compression == 1;
    return ReadOk;
}

// Reads the compressed row lengths of the first n rows of the table at pos.
ImageReadResult ReadRowLengths(DiskFile& file, int64_t pos, size_t n, uint16_t* lengths) {
    if (!file.Seek(pos, DiskFile::FromStart)) return ReadUnreadable;
    for (size_t i = 0; i < n; ++i) {
        uint8_t b[2];
        if (file.Read(b, 2) != 2) return ReadUnreadable;
        lengths[i] = static_cast<uint16_t>(Be16(b));
    }
    return ReadOk;
}

// Puts one row of channel c into its image row.
void PutRow(CDIB& image, const Header& h, const uint8_t* palette, uint32_t c, uint32_t r,
            const uint8_t* in, int sampleBytes, int pixelBytes) {
    uint8_t* out = image.Row(static_cast<int>(h.height - 1 - r));
    for (uint32_t x = 0; x < h.width; ++x, in += sampleBytes, out += pixelBytes) {
        const uint8_t v = *in;
        switch (h.mode) {
            case ModeGrey:
                out[0] = out[1] = out[2] = v;
                break;
            case ModeIndexed:
                out[0] = palette[512 + v];
                out[1] = palette[256 + v];
                out[2] = palette[v];
                break;
            default:
                // Red, green, blue, then alpha.
                out[c == 3 ? 3 : 2 - c] = v;
                break;
        }
    }
}

}  // namespace

ImageReadResult ReadPhotoshop(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    std::unique_ptr<uint8_t[]> palette(new (std::nothrow) uint8_t[PaletteBytes]());
    if (!palette) return ReadNoMemory;
    Header h;
    ImageReadResult result = ReadHeader(file, h);
    if (result != ReadOk) return result;
    int64_t pos = 0;
    bool packed = false;
    result = ReadToImageData(file, h, palette.get(), pos, packed);
    if (result != ReadOk) return result;
    const uint32_t channels = h.channels, height = h.height, width = h.width;

    const int rowBytes = static_cast<int>((width * h.depth + 7) / 8);
    const int sampleBytes = static_cast<int>(h.depth / 8);
    // RGB takes red, green, blue and alpha from the first four channels. A grey or indexed
    // picture has its colour in the first channel alone: the channels after it are alpha or
    // spot channels, which would otherwise paint over the picture.
    const uint32_t most = h.mode == ModeRgb ? 4 : 1;
    const uint32_t used = channels < most ? channels : most;
    const int64_t fileSize = file.Size();
    // Data that cannot be in the file is not waited for: refuse before making a large image.
    const int64_t tableBytes = packed ? 2 * static_cast<int64_t>(channels) * height : 0;
    const int64_t leastData = packed ? tableBytes : static_cast<int64_t>(used) * height * rowBytes;
    if (fileSize < 0 || pos + leastData > fileSize) return ReadUnreadable;

    int bits = static_cast<int>(channels) * 8;
    if (bits < 24) bits = 24;
    if (bits > 32) bits = 32;
    if (!CreateForReading(image, static_cast<int>(width), static_cast<int>(height), bits))
        return ReadNoMemory;
    const int pixelBytes = bits / 8;

    // The compressed row lengths of the channels read here (the rest of the table is skipped).
    std::unique_ptr<uint16_t[]> lengths;
    std::unique_ptr<uint8_t[]> packedRow;
    if (packed) {
        const size_t n = static_cast<size_t>(used) * height;
        lengths.reset(new (std::nothrow) uint16_t[n ? n : 1]);
        packedRow.reset(new (std::nothrow) uint8_t[65536]);
        if (!lengths || !packedRow) return ReadNoMemory;
        result = ReadRowLengths(file, pos, n, lengths.get());
        if (result != ReadOk) return result;
        pos += tableBytes;
    }
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(rowBytes) + 1]());
    if (!row) return ReadNoMemory;
    if (!file.Seek(pos, DiskFile::FromStart)) return ReadUnreadable;

    for (uint32_t c = 0; c < used; ++c) {
        for (uint32_t r = 0; r < height; ++r) {
            if (packed) {
                const int32_t n = lengths[static_cast<size_t>(c) * height + r];
                if (file.Read(packedRow.get(), n) != n) return ReadUnreadable;
                const size_t got = UnpackBitsRow(packedRow.get(), static_cast<size_t>(n), row.get(),
                                                 static_cast<size_t>(rowBytes));
                // A row that decodes short keeps zeros after its end, not the row before.
                for (size_t k = got; k < static_cast<size_t>(rowBytes); ++k) row[k] = 0;
            } else if (file.Read(row.get(), rowBytes) != rowBytes) {
                return ReadUnreadable;
            }
            if (h.mode == ModeBitmap) continue;
            PutRow(image, h, palette.get(), c, r, row.get(), sampleBytes, pixelBytes);
        }
    }
    return ReadOk;
}

}  // namespace kv
