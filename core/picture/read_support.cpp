// Helpers shared by the picture readers: the reader choice, the result messages, row flipping,
// red-blue exchange, PackBits decoding and positioned reads.
#include <cstring>
#include <vector>

#include "core/base/settings.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "platform/codecs/more_codecs.h"
#include "platform/os/memory.h"

namespace kv {

namespace {
bool Has(const char* path, const char* what) {
    return path && std::strstr(path, what);
}

// An ISO media file ("ftyp" box first) of a HEIF or AVIF brand.
bool IsHeif(const uint8_t* h) {
    if (std::memcmp(h + 4, "ftyp", 4) != 0) return false;
    static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc",
                                         "hevx", "mif1", "msf1", "avif", "avis"};
    for (const char* brand : brands)
        if (std::memcmp(h + 8, brand, 4) == 0) return true;
    return false;
}
}  // namespace

PictureReader ChoosePictureReader(const uint8_t* head, int count, const char* path,
                                  bool hasJpegDecoder) {
    uint8_t h[14] = {};
    if (head && count > 0) std::memcpy(h, head, static_cast<size_t>(count < 14 ? count : 14));
    if (std::memcmp(h, "8BPS", 4) == 0 || std::memcmp(h, "SPB8", 4) == 0)
        return PictureReader::Photoshop;
    if ((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M')) return PictureReader::Tiff;
    if ((h[0] == 'B' && h[1] == 'M') || (h[0] == 'M' && h[1] == 'B')) return PictureReader::Bmp;
    if (MoreCodecsPresent()) {
        if (count >= 12 && IsHeif(h)) return PictureReader::Heif;
        if (count >= 12 && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WEBP", 4) == 0)
            return PictureReader::Webp;
    }
    if (hasJpegDecoder && (std::memcmp(h + 6, "JFIF", 4) == 0 || Has(path, ".jp") ||
                           Has(path, ".JP") || Has(path, ".png") || Has(path, ".PNG")))
        return PictureReader::Gdiplus;
    return PictureReader::Targa;
}

const char* ImageReadMessage(int32_t code, bool* appendCode) {
    bool append = false;
    const char* text = nullptr;
    switch (code) {
        case ReadOk:
            break;
        case ReadCompressed:
            text = "Can't read compressed images";
            break;
        case ReadTooLarge:
            text = "Images must be smaller than 65536 pixels";
            break;
        case ReadTooFewColours:
            text = "Images must have 256 colors or more";
            break;
        case ReadNoMemory:
            text = "Not enough memory to load image";
            break;
        default:
            text = "Can't read image file";
            append = true;
            break;
    }
    static_assert(MaxImageSide == 65535, "the too-large message names the limit");
    if (appendCode) *appendCode = append;
    return text;
}

uint64_t PictureMemoryLimit() {
    const int32_t megabytes = TheSettings().ReadInt("PictureMemoryLimit", 0);
    if (megabytes > 0) return static_cast<uint64_t>(megabytes) << 20;
    constexpr uint64_t Ceiling = uint64_t{8} << 30;
    const uint64_t half = PhysicalMemoryBytes() / 2;
    if (half == 0) return uint64_t{2} << 30;
    return half < Ceiling ? half : Ceiling;
}

bool PictureFitsInMemory(int width, int height, int bitCount) {
    if (width <= 0 || height <= 0) return true;  // Create refuses these itself
    const uint64_t bytes = static_cast<uint64_t>(StrideFor(width, bitCount)) * height;
    return bytes <= PictureMemoryLimit();
}

bool FileHoldsPixels(DiskFile& file, int width, int height, int64_t at, int64_t bytes) {
    if (width <= OldMaxImageSide && height <= OldMaxImageSide) return true;
    const int64_t size = file.Size();
    return size >= 0 && at >= 0 && bytes >= 0 && size - at >= bytes;
}

bool CreateForReading(CDIB& image, int width, int height, int bitCount) {
    if (!PictureFitsInMemory(width, height, bitCount)) return false;
    // Create zeroes the pixels of a new block itself; only a kept block needs clearing.
    const bool kept = !image.Empty() && image.Width() == width && image.Height() == height &&
                      image.BitCount() == bitCount;
    if (!image.Create(width, height, bitCount)) return false;
    if (kept) std::memset(image.Bits(), 0, static_cast<size_t>(image.RowBytes()) * image.Height());
    const int entries = ColorTableEntries(bitCount);
    for (int i = 0; i < entries; ++i) {
        const auto v = static_cast<uint8_t>(i);
        image.ColorTable()[i] = RgbQuad{v, v, v, 0};
    }
    return true;
}

void FlipVertical(CDIB& image) {
    if (image.Empty()) return;
    const int h = image.Height();
    const size_t stride = static_cast<size_t>(image.RowBytes());
    std::vector<uint8_t> temp(stride);
    for (int i = 0; i < h / 2; ++i) {
        uint8_t* a = image.Row(i);
        uint8_t* b = image.Row(h - 1 - i);
        std::memcpy(temp.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, temp.data(), stride);
    }
}

void SwapRedBlue(CDIB& image) {
    if (image.Empty()) return;
    const int bytes = image.BitCount() / 8;
    if (bytes != 3 && bytes != 4) return;
    const int w = image.Width(), h = image.Height();
    for (int y = 0; y < h; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < w; ++x, p += bytes) {
            const uint8_t t = p[0];
            p[0] = p[2];
            p[2] = t;
        }
    }
}

size_t UnpackBitsRow(const uint8_t* src, size_t srcLen, uint8_t* dst, size_t dstLen) {
    size_t in = 0, out = 0;
    while (in < srcLen && out < dstLen) {
        const int n = static_cast<int8_t>(src[in++]);
        if (n < 0) {
            // A run: the next byte 1 - n times. A missing byte ends the row.
            if (in >= srcLen) break;
            const uint8_t v = src[in++];
            size_t run = static_cast<size_t>(1 - n);
            if (run > dstLen - out) run = dstLen - out;
            std::memset(dst + out, v, run);
            out += run;
        } else {
            // A literal: the next n + 1 bytes, as many as there are.
            size_t lit = static_cast<size_t>(n) + 1;
            if (lit > srcLen - in) lit = srcLen - in;
            if (lit > dstLen - out) lit = dstLen - out;
            std::memcpy(dst + out, src + in, lit);
            out += lit;
            in += static_cast<size_t>(n) + 1;
        }
    }
    return out;
}

bool ReadAt(DiskFile& file, int64_t offset, void* buffer, int32_t count) {
    if (offset < 0 || count < 0) return false;
    if (!file.Seek(offset, DiskFile::FromStart)) return false;
    return file.Read(buffer, count) == count;
}

}  // namespace kv
