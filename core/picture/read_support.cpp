// Helpers shared by the picture readers: the reader choice, the result messages, row flipping,
// red-blue exchange, PackBits decoding and positioned reads.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

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

namespace {

std::atomic<int32_t> g_pictureMemoryLimitMb{0};

}  // namespace

void SetPictureMemoryLimit(int32_t megabytes) {
    g_pictureMemoryLimitMb.store(megabytes, std::memory_order_relaxed);
}

uint64_t PictureMemoryLimit() {
    const int32_t megabytes = g_pictureMemoryLimitMb.load(std::memory_order_relaxed);
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

RowTurner::RowTurner(CDIB& upright, int orientation, int storedWidth, int storedHeight, int bytes)
    : m_image(upright),
      m_orientation(orientation),
      m_w(storedWidth),
      m_h(storedHeight),
      m_bytes(bytes),
      m_rowBytes(static_cast<size_t>(storedWidth) * static_cast<size_t>(bytes)) {
    m_bandRows = std::max(1, std::min(m_bandRows, m_h));
    m_band.assign(m_rowBytes * static_cast<size_t>(m_bandRows), 0);
    m_written.assign(static_cast<size_t>((m_h + m_bandRows - 1) / m_bandRows), false);
}

void RowTurner::KeepRows(int rows) {
    rows = std::min(rows, m_h);
    // Only before the first row; up to 64 MB of band (beyond it the band stays small and is
    // written out and read back more often).
    if (m_first >= 0 || rows <= m_bandRows ||
        m_rowBytes * static_cast<size_t>(rows) > (size_t{64} << 20))
        return;
    m_bandRows = rows;
    m_band.assign(m_rowBytes * static_cast<size_t>(rows), 0);
    m_written.assign(static_cast<size_t>((m_h + rows - 1) / rows), false);
}

namespace {
// Where stored pixel (sx, sy) lies in the upright image: column from the stored row, row (from
// the top) from the stored column.
inline int UprightColumn(int orientation, int sy, int h) {
    return orientation == 5 || orientation == 8 ? sy : h - 1 - sy;
}
inline int UprightRow(int orientation, int sx, int w) {
    return orientation == 5 || orientation == 6 ? sx : w - 1 - sx;
}
}  // namespace

void RowTurner::Flush() {
    if (m_first < 0) return;
    const int rows = std::min(m_bandRows, m_h - m_first);
    const int uprightHeight = m_w;
    // Stored column sx becomes upright row UprightRow(sx); the band's rows land side by side
    // in it, so each write is one run of `rows` pixels.
    const int c0 = UprightColumn(m_orientation, m_first, m_h);
    const int c1 = UprightColumn(m_orientation, m_first + rows - 1, m_h);
    const int left = std::min(c0, c1);
    const bool reversed = c0 > c1;
    for (int sx = 0; sx < m_w; ++sx) {
        const int uy = UprightRow(m_orientation, sx, m_w);
        uint8_t* dst = m_image.Row(uprightHeight - 1 - uy) + static_cast<size_t>(left) * m_bytes;
        const uint8_t* src = m_band.data() + static_cast<size_t>(sx) * m_bytes;
        for (int r = 0; r < rows; ++r) {
            const int k = reversed ? rows - 1 - r : r;
            std::memcpy(dst + static_cast<size_t>(r) * m_bytes, src + m_rowBytes * k, m_bytes);
        }
    }
    m_written[static_cast<size_t>(m_first / m_bandRows)] = true;
}

void RowTurner::Load(int first) {
    m_first = first;
    const int rows = std::min(m_bandRows, m_h - first);
    if (!m_written[static_cast<size_t>(first / m_bandRows)]) {
        std::memset(m_band.data(), 0, m_band.size());
        return;
    }
    const int uprightHeight = m_w;
    const int c0 = UprightColumn(m_orientation, first, m_h);
    const int c1 = UprightColumn(m_orientation, first + rows - 1, m_h);
    const int left = std::min(c0, c1);
    const bool reversed = c0 > c1;
    for (int sx = 0; sx < m_w; ++sx) {
        const int uy = UprightRow(m_orientation, sx, m_w);
        const uint8_t* src =
            m_image.Row(uprightHeight - 1 - uy) + static_cast<size_t>(left) * m_bytes;
        uint8_t* dst = m_band.data() + static_cast<size_t>(sx) * m_bytes;
        for (int r = 0; r < rows; ++r) {
            const int k = reversed ? rows - 1 - r : r;
            std::memcpy(dst + m_rowBytes * k, src + static_cast<size_t>(r) * m_bytes, m_bytes);
        }
    }
}

uint8_t* RowTurner::Row(int y) {
    if (y < 0 || y >= m_h || m_band.empty()) return nullptr;
    if (m_first < 0 || y < m_first || y >= m_first + m_bandRows) {
        Flush();
        Load(y / m_bandRows * m_bandRows);
    }
    return m_band.data() + m_rowBytes * static_cast<size_t>(y - m_first);
}

void RowTurner::Finish() {
    Flush();
    m_first = -1;
}

}  // namespace kv
