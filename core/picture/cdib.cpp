// CDIB construction, allocation, row access and the BMP/Targa writers.
#include "core/picture/cdib.h"

#include <atomic>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/picture/alert.h"
#include "core/picture/disk_file.h"
#include "platform/os/memory.h"

namespace kv {

namespace {
// Global: the one way images reach a screen, installed by the editor at start-up; atomic since
// images are drawn on the UI thread while the renderer's workers use CDIBs too.
std::atomic<StretchDIBitsFn> g_stretchHook{nullptr};
// Global: a test's observer of pixel allocations, set before the reads it watches.
std::atomic<PixelAllocationHook> g_allocationHook{nullptr};

// Pixel blocks are aligned for vector loads; the header block is a plain allocation.
constexpr size_t PixelAlignment = 64;
// Blocks from this size on (a picture, not a frame) ask for large pages.
constexpr size_t LargePageBlock = size_t{4} << 20;

// Zeroed, aligned pixel blocks. On Linux the block comes from calloc, which hands out fresh pages
// of a large block without writing them: a 36 MB picture about to be decoded over is then
// written once, by the decoder, instead of being cleared first (a third of the time to a
// movie's first frame). The byte before the aligned start holds its distance from calloc's
// block. The Windows run-time has its own aligned pair.
uint8_t* AllocatePixels(size_t bytes) {
#ifdef _WIN32
    auto* bits = static_cast<uint8_t*>(_aligned_malloc(bytes, PixelAlignment));
    if (bits) std::memset(bits, 0, bytes);
    return bits;
#else
    auto* block = static_cast<uint8_t*>(std::calloc(1, bytes + PixelAlignment));
    if (!block) return nullptr;
    if (bytes >= LargePageBlock) AdviseLargePages(block, bytes + PixelAlignment);
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    const size_t shift = PixelAlignment - at % PixelAlignment;  // 1 .. PixelAlignment
    uint8_t* bits = block + shift;
    bits[-1] = static_cast<uint8_t>(shift);
    return bits;
#endif
}

void FreePixels(uint8_t* bits) {
#ifdef _WIN32
    _aligned_free(bits);
#else
    if (bits) std::free(bits - bits[-1]);
#endif
}
}  // namespace

void SetStretchDIBitsHook(StretchDIBitsFn fn) {
    g_stretchHook.store(fn);
}

void SetPixelAllocationHook(PixelAllocationHook hook) {
    g_allocationHook.store(hook);
}

int ColorTableEntries(int bitCount) {
    switch (bitCount) {
        case 2:
            return 4;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

int StrideFor(int width, int bitCount) {
    return ((bitCount / 8) * width + 3) & ~3;
}

CDIB::CDIB(int width, int height, int bitCount) {
    Create(width, height, bitCount);
}

CDIB::~CDIB() {
    Release();
}

void CDIB::Release() {
    std::free(m_info);
    FreePixels(m_bits);
    m_info = nullptr;
    m_bits = nullptr;
    m_width = m_height = 0;
}

int32_t CDIB::Height() const {
    if (!m_info) return 0;
    int32_t h = m_info->header.biHeight;
    return h < 0 ? -h : h;
}

int32_t CDIB::RowBytes() const {
    return m_info ? StrideFor(m_info->header.biWidth, m_info->header.biBitCount) : 0;
}

bool CDIB::Create(int width, int height, int bitCount) {
    if (m_info && m_info->header.biWidth == width && Height() == height &&
        m_info->header.biBitCount == bitCount)
        return true;
    if (width <= 0 || height <= 0 || width > MaxImageSide || height > MaxImageSide) return false;
    Release();

    const int entries = ColorTableEntries(bitCount);
    const size_t stride = static_cast<size_t>(StrideFor(width, bitCount));
    const size_t pixelBytes = stride * static_cast<size_t>(height);
    auto* info = static_cast<BitmapInfo*>(std::calloc(1, sizeof(BitmapInfoHeader) + 4 * entries));
    size_t alloc = (pixelBytes + 4 + PixelAlignment - 1) / PixelAlignment * PixelAlignment;
    if (const PixelAllocationHook hook = g_allocationHook.load()) hook(alloc);
    uint8_t* bits = AllocatePixels(alloc);
    if (!info || !bits) {
        std::free(info);
        FreePixels(bits);
        return false;
    }
    m_info = info;
    m_bits = bits;

    BitmapInfoHeader& h = m_info->header;
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(bitCount);
    h.biCompression = 0;
    h.biSizeImage = 0;
    h.biXPelsPerMeter = 1600;
    h.biYPelsPerMeter = 1600;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    m_width = static_cast<uint16_t>(width);
    m_height = static_cast<uint16_t>(height);
    for (int i = 0; i < entries; ++i) {
        const auto v = static_cast<uint8_t>(i);
        m_info->colors[i] = RgbQuad{v, v, v, 0};
    }
    return true;
}

void CDIB::SwapPixels(CDIB& other) {
    std::swap(m_info, other.m_info);
    std::swap(m_bits, other.m_bits);
    std::swap(m_width, other.m_width);
    std::swap(m_height, other.m_height);
}

uint8_t* CDIB::Row(int y) {
    if (!m_info) return nullptr;
    return m_bits + static_cast<size_t>(RowBytes()) * static_cast<size_t>(y);
}

const uint8_t* CDIB::Row(int y) const {
    return const_cast<CDIB*>(this)->Row(y);
}

void CDIB::CopyRowOut(int y, void* dest, int maxBytes) const {
    if (!m_info || !dest || y < 0 || y >= Height()) return;
    int n = RowBytes() < maxBytes ? RowBytes() : maxBytes;
    if (n > 0) std::memcpy(dest, Row(y), static_cast<size_t>(n));
}

void CDIB::CopyRowIn(int y, const void* src) {
    if (!m_info || !src || y < 0 || y >= Height()) return;
    std::memcpy(Row(y), src, static_cast<size_t>(RowBytes()));
}

bool CDIB::CopyTo(CDIB* dest, bool recreate) const {
    if (!dest || !m_info) return false;
    if (recreate && !dest->Create(Width(), Height(), BitCount())) return false;
    // Never copy more than the destination holds, whatever its size.
    size_t n = static_cast<size_t>(RowBytes()) * static_cast<size_t>(Height());
    size_t room = static_cast<size_t>(dest->RowBytes()) * static_cast<size_t>(dest->Height());
    if (!dest->m_bits) return false;
    std::memcpy(dest->m_bits, m_bits, n < room ? n : room);
    return true;
}

bool CDIB::Save(const FileSpec& fileSpec, int32_t format) {
    if (!m_info) return false;
    if (std::strstr(fileSpec.path, ".TGA") || std::strstr(fileSpec.path, ".tga"))
        format = FormatTarga;
    DiskFile file;
    if (!file.Open(fileSpec, DiskFile::OpenWrite)) {
        Alert("Error opening graphics file", NoAlertCode);
        return false;
    }
    // Every write is checked and the file only replaces the old one once it is complete.
    // A file left open after a failed write is discarded when it goes out of scope.
    return WriteTo(file, format) && file.Close();
}

namespace {
void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}
}  // namespace

bool CDIB::WriteTo(DiskFile& file, int32_t format) {
    if (!m_info) return false;
    const int w = Width(), h = Height(), bpp = BitCount();
    const int stride = RowBytes();
    auto put = [&file](const void* data, int32_t n) { return file.Write(data, n) == n; };
    if (format == FormatTarga) {
        uint8_t hdr[18] = {};
        hdr[2] = 2;
        Put16(hdr + 12, static_cast<uint32_t>(w));
        Put16(hdr + 14, static_cast<uint32_t>(h));
        hdr[16] = static_cast<uint8_t>(bpp);
        hdr[17] = static_cast<uint8_t>(bpp % 8 + (bpp > 24 ? bpp - 24 : 0));
        if (!put(hdr, sizeof hdr)) return false;
        const int rowLen = w * (bpp / 8);
        for (int y = 0; y < h; ++y)
            if (!put(Row(y), rowLen)) return false;
        return true;
    }
    if (format == FormatNone) return true;

    const int entries = ColorTableEntries(bpp);
    const uint32_t offBits = 54 + 4 * static_cast<uint32_t>(entries);
    // The file size field has 32 bits: a bigger picture has no BMP form, and a file with a
    // wrapped size would be read back short.
    const uint64_t fileSize = static_cast<uint64_t>(h) * static_cast<uint64_t>(stride) + offBits;
    if (fileSize > UINT32_MAX) return false;
    uint8_t fh[14] = {'B', 'M'};
    Put32(fh + 2, static_cast<uint32_t>(fileSize));
    Put32(fh + 10, offBits);
    if (!put(fh, sizeof fh) || !put(&m_info->header, 40)) return false;
    if (entries && !put(m_info->colors, 4 * entries)) return false;
    // Row by row: the whole block of a big picture is more than one write's count can say.
    for (int y = 0; y < h; ++y)
        if (!put(Row(y), stride)) return false;
    return true;
}

void CDIB::DrawPart(const Rect& dst, const Rect& src, HDC hdc) {
    const StretchDIBitsFn hook = g_stretchHook.load();
    if (!m_info || !hook) return;
    auto absv = [](int v) { return v < 0 ? -v : v; };
    hook(hdc, dst.left, dst.top, dst.right - dst.left, absv(dst.bottom - dst.top), src.left,
         src.top, src.right - src.left, absv(src.bottom - src.top), m_bits, m_info);
}

void CDIB::Draw(const Rect& dst, HDC hdc) {
    DrawPart(dst, Rect{0, 0, Width(), Height()}, hdc);
}

}  // namespace kv
