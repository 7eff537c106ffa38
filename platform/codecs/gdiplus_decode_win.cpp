// JPEG and PNG decoding on Windows through GDI+, which the system carries: the file's bytes go
// into a memory stream, GDI+ reads the size from the header, and the pixels are decoded only
// when the caller has accepted that size, straight into 24-bit rows (blue, green, red).
// GDI+'s decoders are not libjpeg-turbo's and libpng's: pixels may differ by a level or two.
#include <windows.h>
// windows.h first: the GDI+ and shell headers need its types, and the COM ones it leaves out.
#include <objidl.h>
//
#include <gdiplus.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/codecs/picture_codecs.h"

namespace kv {

namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

bool StartGdiplus() {
    static const bool started = [] {
        GdiplusStartupInput input;
        ULONG_PTR token = 0;
        // Started once for the process and never shut down: images may be decoded until exit.
        return GdiplusStartup(&token, &input, nullptr) == Ok;
    }();
    return started;
}

// The rest of the stream from its current position.
bool ReadRest(std::FILE* stream, std::vector<BYTE>& bytes) {
    BYTE buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, stream)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    return !std::ferror(stream);
}

// The size a JPEG's frame header or a PNG's IHDR claims, read before GDI+ sees the file: some
// GDI+ implementations decode the whole picture as soon as it is opened, so a claimed size is
// checked against the target's limits first. False when the header is not found.
bool ClaimedSize(const std::vector<BYTE>& b, UINT& width, UINT& height) {
    const auto be16 = [&](size_t at) { return static_cast<UINT>(b[at] << 8 | b[at + 1]); };
    if (b.size() >= 24 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G' &&
        std::memcmp(&b[12], "IHDR", 4) == 0) {
        width = be16(16) << 16 | be16(18);
        height = be16(20) << 16 | be16(22);
        return true;
    }
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return false;
    size_t at = 2;
    while (at + 4 <= b.size()) {
        if (b[at] != 0xFF) return false;
        const BYTE marker = b[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const UINT length = be16(at + 2);
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (at + 9 > b.size()) return false;
            height = be16(at + 5);
            width = be16(at + 7);
            return true;
        }
        if (length < 2) return false;
        at += 2 + length;
    }
    return false;
}

DecodeStatus Decode(std::FILE* stream, DecodeTarget& target) {
    if (!stream || !StartGdiplus()) return DecodeStatus::NotDecodable;
    std::vector<BYTE> bytes;
    if (!ReadRest(stream, bytes) || bytes.empty() || bytes.size() > 0xFFFFFFFFu)
        return DecodeStatus::NotDecodable;
    UINT claimedWidth = 0, claimedHeight = 0;
    const bool claimed = ClaimedSize(bytes, claimedWidth, claimedHeight) && claimedWidth > 0 &&
                         claimedHeight > 0 && claimedWidth <= 0x7FFFFFFF / 3 &&
                         claimedHeight <= 0x7FFFFFFF;
    if (claimed && !target.Begin(static_cast<int>(claimedWidth), static_cast<int>(claimedHeight)))
        return DecodeStatus::Stopped;
    IStream* memory = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    if (!memory) return DecodeStatus::NotDecodable;
    GpBitmap* bitmap = nullptr;
    const Status created = GdipCreateBitmapFromStream(memory, &bitmap);
    memory->Release();
    if (created != Ok || !bitmap) return DecodeStatus::NotDecodable;

    DecodeStatus status = DecodeStatus::Failed;
    UINT width = 0, height = 0;
    GpImage* image = bitmap;
    if (GdipGetImageWidth(image, &width) != Ok || GdipGetImageHeight(image, &height) != Ok ||
        width == 0 || height == 0 || width > 0x7FFFFFFF / 3 || height > 0x7FFFFFFF) {
        status = DecodeStatus::NotDecodable;
    } else if (claimed && (width != claimedWidth || height != claimedHeight)) {
        status = DecodeStatus::Failed;  // the header said otherwise: not the picture begun
    } else if (!claimed && !target.Begin(static_cast<int>(width), static_cast<int>(height))) {
        status = DecodeStatus::Stopped;
    } else {
        // The whole picture is decoded by one lock, one band of rows at a time so that the
        // copy GDI+ makes stays small.
        constexpr UINT BandRows = 256;
        status = DecodeStatus::Ok;
        for (UINT top = 0; top < height && status == DecodeStatus::Ok; top += BandRows) {
            const UINT rows = height - top < BandRows ? height - top : BandRows;
            GpRect band(0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(rows));
            BitmapData data{};
            if (GdipBitmapLockBits(bitmap, &band, ImageLockModeRead, PixelFormat24bppRGB, &data) !=
                Ok) {
                status = DecodeStatus::Failed;
                break;
            }
            for (UINT y = 0; y < rows; ++y) {
                const BYTE* src =
                    static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
                uint8_t* dst = target.Row(static_cast<int>(top + y));
                if (dst) std::memcpy(dst, src, static_cast<size_t>(width) * 3);
            }
            GdipBitmapUnlockBits(bitmap, &data);
        }
    }
    GdipDisposeImage(image);
    return status;
}

}  // namespace

DecodeStatus DecodeJpeg(std::FILE* stream, DecodeTarget& target) {
    return Decode(stream, target);
}

DecodeStatus DecodePng(std::FILE* stream, DecodeTarget& target) {
    return Decode(stream, target);
}

}  // namespace kv
