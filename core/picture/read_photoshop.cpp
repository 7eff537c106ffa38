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

}  // namespace

ImageReadResult ReadPhotoshop(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    std::unique_ptr<uint8_t[]> palette(new (std::nothrow) uint8_t[PaletteBytes]());
    if (!palette) return ReadNoMemory;
    uint8_t hdr[30];
    if (!ReadAt(file, 0, hdr, sizeof hdr)) return ReadUnreadable;
    const uint32_t channels = Be16(hdr + 12);
    const uint32_t height = Be32(hdr + 14);
    const uint32_t width = Be32(hdr + 18);
    const uint32_t depth = Be16(hdr + 22);
    const uint32_t mode = Be16(hdr + 24);
    const uint32_t modeDataLength = Be32(hdr + 26);

    if (mode > ModeRgb) return ReadUnreadable;
    if (width > MaxImageSide || height > MaxImageSide) return ReadTooLarge;
    // Bitmap files have one bit per sample and are left black; other modes need whole bytes.
    if (depth != 1 && depth != 8 && depth != 16 && depth != 32) return ReadUnreadable;
    if (depth == 1 && mode != ModeBitmap) return ReadUnreadable;

    // Colour-mode data: the palette of an indexed picture (256 red, 256 green, 256 blue).
    const int32_t keep =
        modeDataLength < PaletteBytes ? static_cast<int32_t>(modeDataLength) : PaletteBytes;
    if (file.Read(palette.get(), keep) != keep) return ReadUnreadable;
    int64_t pos = 30 + static_cast<int64_t>(modeDataLength);
    // Image resources, then layers and masks, each behind its length.
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
    const bool packed = compression == 1;

    const int rowBytes = static_cast<int>((width * depth + 7) / 8);
    const int sampleBytes = static_cast<int>(depth / 8);
    // RGB takes red, green, blue and alpha from the first four channels. A grey or indexed
    // picture has its colour in the first channel alone: the channels after it are alpha or
    // spot channels, which would otherwise paint over the picture.
    const uint32_t most = mode == ModeRgb ? 4 : 1;
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
        if (!file.Seek(pos, DiskFile::FromStart)) return ReadUnreadable;
        for (size_t i = 0; i < n; ++i) {
            uint8_t b[2];
            if (file.Read(b, 2) != 2) return ReadUnreadable;
            lengths[i] = static_cast<uint16_t>(Be16(b));
        }
        pos += tableBytes;
    }
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(rowBytes) + 1]());
    if (!row) return ReadNoMemory;
    if (!file.Seek(pos, DiskFile::FromStart)) return ReadUnreadable;

    const uint8_t* pal = palette.get();
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
            if (mode == ModeBitmap) continue;
            uint8_t* out = image.Row(static_cast<int>(height - 1 - r));
            const uint8_t* in = row.get();
            for (uint32_t x = 0; x < width; ++x, in += sampleBytes, out += pixelBytes) {
                const uint8_t v = *in;
                switch (mode) {
                    case ModeGrey:
                        out[0] = out[1] = out[2] = v;
                        break;
                    case ModeIndexed:
                        out[0] = pal[512 + v];
                        out[1] = pal[256 + v];
                        out[2] = pal[v];
                        break;
                    default:
                        // Red, green, blue, then alpha.
                        out[c == 3 ? 3 : 2 - c] = v;
                        break;
                }
            }
        }
    }
    return ReadOk;
}

}  // namespace kv
