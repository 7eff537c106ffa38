// The BMP reader: uncompressed Windows bitmaps of 8, 16, 24 and 32 bits, stored bottom-up.
//
// The pixel block of a bitmap is the CDIB's own layout, so rows are read straight into it. Only
// files whose rows that layout can hold are taken: other bit counts are refused rather than
// given a stride the rest of the system does not know.
#include "core/picture/byte_order.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"

namespace kv {

namespace {
uint32_t Le32(const uint8_t* p) {
    return ReadPackedInt(p, 4, false);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(ReadPackedInt(p, 2, false));
}
}  // namespace

ImageReadResult ReadBmp(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    // File header (14 bytes) and info header, taken as 40 bytes whatever its size field says.
    uint8_t hdr[54];
    if (!ReadAt(file, 0, hdr, sizeof hdr)) return ReadUnreadable;
    const uint32_t fileSize = Le32(hdr + 2);
    const uint32_t offBits = Le32(hdr + 10);
    const uint32_t infoSize = Le32(hdr + 14);
    const auto width = static_cast<int32_t>(Le32(hdr + 18));
    const auto height = static_cast<int32_t>(Le32(hdr + 22));
    const int bitCount = Le16(hdr + 28);
    const uint32_t compression = Le32(hdr + 30);
    const uint32_t colorsUsed = Le32(hdr + 46);

    if (compression != 0) return ReadCompressed;
    if (width > MaxImageSide || height > MaxImageSide) return ReadTooLarge;
    if (bitCount < 8) return ReadTooFewColours;
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return ReadUnreadable;
    // Rows of 4-byte multiples; a negative or zero size is left to Create to refuse.
    const int64_t pixelBytes =
        (static_cast<int64_t>(bitCount / 8) * width + 3) / 4 * 4 * static_cast<int64_t>(height);
    if (width > 0 && height > 0 && !FileHoldsPixels(file, width, height, offBits, pixelBytes))
        return ReadUnreadable;
    // A negative (top-down) or zero size fails here.
    if (!CreateForReading(image, width, height, bitCount)) return ReadNoMemory;

    if (bitCount == 8) {
        // The colour table follows the info header, whatever that header's length; it holds
        // biClrUsed entries (all 256 when 0) and ends where the pixels begin. Entries the file
        // does not give keep the grey ramp.
        int64_t tableAt = 54;
        if (infoSize >= 40 && infoSize <= 124) tableAt = 14 + static_cast<int64_t>(infoSize);
        int64_t entries = (colorsUsed >= 1 && colorsUsed <= 256) ? colorsUsed : 256;
        if (offBits >= tableAt + 4 && (offBits - tableAt) / 4 < entries)
            entries = (offBits - tableAt) / 4;
        uint8_t table[1024];
        if (file.Seek(tableAt, DiskFile::FromStart)) {
            const int32_t got = file.Read(table, static_cast<int32_t>(entries * 4));
            RgbQuad* colors = image.ColorTable();
            for (int i = 0; i < got / 4; ++i)
                colors[i] =
                    RgbQuad{table[4 * i], table[4 * i + 1], table[4 * i + 2], table[4 * i + 3]};
        }
    }

    // The pixel rows as stored, bottom row first: bfSize - bfOffBits bytes, no more than the
    // image holds.
    int64_t count = static_cast<int64_t>(fileSize) - static_cast<int64_t>(offBits);
    const int64_t room = static_cast<int64_t>(image.RowBytes()) * image.Height();
    if (count > room) count = room;
    if (count <= 0 || !file.Seek(offBits, DiskFile::FromStart)) return ReadOk;
    // In pieces: a big picture's rows are more than one read's count can say.
    constexpr int64_t Piece = 1 << 30;
    for (int64_t done = 0; done < count;) {
        const auto n = static_cast<int32_t>(count - done < Piece ? count - done : Piece);
        if (file.Read(image.Bits() + done, n) != n) break;
        done += n;
    }
    return ReadOk;
}

}  // namespace kv
