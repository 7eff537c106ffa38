// The Targa reader: uncompressed true-colour, colour-mapped and grey pictures.
//
// Targa rows carry no padding and run bottom-up unless the descriptor's origin-at-top bit is
// set. The colour map is skipped: an 8-bit picture keeps the grey ramp the image is created
// with. Run-length files are refused as compressed.
#include "core/picture/byte_order.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"

namespace kv {

ImageReadResult ReadTarga(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    uint8_t hdr[18];
    if (!ReadAt(file, 0, hdr, sizeof hdr)) return ReadUnreadable;
    const int idLength = hdr[0];
    const int imageType = hdr[2];
    const int mapLength = static_cast<int>(ReadPackedInt(hdr + 5, 2, false));
    const int mapEntryBits = hdr[7];
    const int width = static_cast<int>(ReadPackedInt(hdr + 12, 2, false));
    const int height = static_cast<int>(ReadPackedInt(hdr + 14, 2, false));
    int depth = hdr[16];
    const int descriptor = hdr[17];

    if (depth < 8 || depth > 32 || width == 0 || height == 0) return ReadUnreadable;
    if (imageType > 3) return ReadCompressed;
    if (width > MaxImageSide || height > MaxImageSide) return ReadTooLarge;
    // 15-bit pixels are stored in two bytes exactly like 16-bit ones (5-5-5, top bit unused).
    if (depth == 15) depth = 16;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return ReadUnreadable;
    // Skip the identification field and the colour map (entries of whole bytes).
    const int64_t pixelsAt =
        18 + idLength + static_cast<int64_t>(mapLength) * ((mapEntryBits + 7) / 8);
    const int64_t pixelBytes = static_cast<int64_t>(width) * (depth / 8) * height;
    if (!FileHoldsPixels(file, width, height, pixelsAt, pixelBytes)) return ReadUnreadable;
    if (!CreateForReading(image, width, height, depth)) return ReadNoMemory;

    if (!file.Seek(pixelsAt, DiskFile::FromStart)) return ReadOk;
    const int32_t rowLength = width * (depth / 8);
    for (int y = 0; y < height; ++y) {
        if (file.Read(image.Row(y), rowLength) != rowLength) break;
    }
    if (descriptor & 32) FlipVertical(image);
    return ReadOk;
}

}  // namespace kv
