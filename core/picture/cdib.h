// CDIB: the one in-memory image of the system.
//
// Its memory is laid out exactly like a device-independent bitmap: a 40-byte info header with
// its colour table in one block, the pixel rows in another. Rows are stored bottom-up (row 0 is
// the bottom row) and padded to 4 bytes; 8 (indexed), 16 (5-5-5), 24 (B,G,R) and 32 (B,G,R,A)
// bits per pixel. An image without a header is empty: every operation on it does nothing and
// reports failure or a zero size. Sizes are limited to 1..65535 on each side (the 16-bit size
// members hold that); rendered frames stay within 1..8192.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/base/records.h"
#include "platform/os/dib.h"
#include "platform/os/geometry.h"

namespace kv {

class DiskFile;

// The editor installs the window layer's StretchDIBits here so that the core can draw without
// depending on it; without one, Draw and DrawPart do nothing. The DC is the window layer's,
// known here only by name.
struct DeviceContext;
using HDC = DeviceContext*;
using StretchDIBitsFn = void (*)(HDC hdc, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
                                 int sh, const void* bits, const BitmapInfo* info);
void SetStretchDIBitsHook(StretchDIBitsFn fn);

enum ImageFileFormat : int32_t { FormatBmp = 0, FormatTarga = 1, FormatNone = 2 };

// The largest picture side, and the largest side of a rendered frame (the renderer's working
// tables, the movie writers and the host all size themselves by it).
constexpr int MaxImageSide = 65535;
constexpr int MaxOutputSide = 8192;
// The side pictures were limited to before bigger ones were read: what was possible within it
// keeps its exact old behaviour (short files, renderer arithmetic).
constexpr int OldMaxImageSide = 8192;

// Every pixel block a CDIB allocates is first reported here with its size in bytes (tests
// watch that a hostile file never makes the claimed image). Null for none.
using PixelAllocationHook = void (*)(size_t bytes);
void SetPixelAllocationHook(PixelAllocationHook hook);

int ColorTableEntries(int bitCount);
int StrideFor(int width, int bitCount);

class CDIB {
public:
    CDIB(int width, int height, int bitCount);
    virtual ~CDIB();
    CDIB(const CDIB&) = delete;
    CDIB& operator=(const CDIB&) = delete;

    // Slot order of the virtual operations is part of the design: 0 Create ... 6 Draw.
    virtual bool Create(int width, int height, int bitCount);
    virtual int32_t Load(const FileSpec& fileSpec, const FileSpec& altFolder, bool showErrors);
    virtual int32_t ReadFrom(DiskFile& file);
    virtual bool Save(const FileSpec& fileSpec, int32_t format);
    virtual bool WriteTo(DiskFile& file, int32_t format);
    virtual void DrawPart(const Rect& dst, const Rect& src, HDC hdc);
    virtual void Draw(const Rect& dst, HDC hdc);

    bool Empty() const { return m_info == nullptr; }
    uint16_t BitCount() const { return m_info ? m_info->header.biBitCount : 0; }
    int32_t Width() const { return m_info ? m_info->header.biWidth : 0; }
    int32_t Height() const;
    int32_t RowBytes() const;
    uint8_t* Row(int y);
    const uint8_t* Row(int y) const;
    void CopyRowOut(int y, void* dest, int maxBytes) const;
    void CopyRowIn(int y, const void* src);
    bool CopyTo(CDIB* dest, bool recreate) const;
    // Exchanges the pixels, header and size with `other` (rotationInUse stays with each image):
    // a prepared picture that needs no conversion takes the loaded one's pixels this way
    // instead of copying them.
    void SwapPixels(CDIB& other);

    BitmapInfo* Info() { return m_info; }
    const BitmapInfo* Info() const { return m_info; }
    uint8_t* Bits() { return m_bits; }
    const uint8_t* Bits() const { return m_bits; }
    RgbQuad* ColorTable() { return m_info ? m_info->colors : nullptr; }
    const RgbQuad* ColorTable() const { return m_info ? m_info->colors : nullptr; }

    bool rotationInUse = false;
    // Whether Load and ReadFrom turn a picture upright by its EXIF orientation (JPEG, TIFF) or
    // its rotation boxes (HEIC); otherwise the stored pixels are kept.
    bool uprightOrientation = false;

protected:
    void Release();

    BitmapInfo* m_info = nullptr;  // info header + colour table, owned
    uint8_t* m_bits = nullptr;     // pixel rows, owned
    uint16_t m_width = 0;          // copies of the header's size
    uint16_t m_height = 0;
};

}  // namespace kv
