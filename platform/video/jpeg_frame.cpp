// JpegFrameEncoder over the TurboJPEG interface of libjpeg-turbo.
//
// The output buffer is allocated once per frame size at the largest size TurboJPEG can produce
// (tjBufSize) and never reallocated, so a movie costs one allocation however many frames it has.
#include "platform/video/jpeg_frame.h"

#include <turbojpeg.h>

#include <algorithm>

namespace kv {

namespace {

// libjpeg quality by the FFmpeg encoder's qscale 2 .. 31. Measured (bench/mjpeg_quality) as the
// highest libjpeg quality whose frames are on average no larger than FFmpeg's at that qscale, on
// rendered frames of the detailed benchmark picture at 720 x 480 and 1920 x 1080 (the lower of
// the two). FFmpeg codes with Huffman tables made for each frame, libjpeg-turbo here with the
// standard ones (one pass, faster), so at the same size our frames lose about a decibel.
constexpr int kQualityByQscale[30] = {89, 78, 66, 55, 43, 36, 29, 26, 22, 20, 18, 16, 15, 14, 13,
                                      12, 11, 11, 10, 10, 9,  9,  8,  8,  8,  7,  7,  7,  7,  7};

}  // namespace

int JpegQualityForMovie(int movieQuality) {
    const int q = std::clamp(movieQuality, 0, 100);
    // The qscale the FFmpeg encoder was given for this job quality.
    const int qscale = 2 + (100 - q) * 29 / 100;
    return kQualityByQscale[qscale - 2];
}

struct JpegFrameEncoder::Impl {
    tjhandle handle = nullptr;
    unsigned char* buffer = nullptr;
    unsigned long capacity = 0;
    unsigned long size = 0;
    std::string error;

    ~Impl() {
        if (buffer) tjFree(buffer);
        if (handle) tjDestroy(handle);
    }
    bool Fail(const std::string& what) {
        error = what;
        size = 0;
        return false;
    }
};

JpegFrameEncoder::JpegFrameEncoder() : m(std::make_unique<Impl>()) {}

JpegFrameEncoder::~JpegFrameEncoder() = default;

bool JpegFrameEncoder::Encode(const uint8_t* firstRow, int32_t rowBytes, bool bottomUp,
                              int32_t width, int32_t height, int32_t bitCount, int jpegQuality) {
    Impl& s = *m;
    if (!firstRow || width <= 0 || height <= 0 || width > 65500 || height > 65500)
        return s.Fail("frame size out of range");
    if (bitCount != 24 && bitCount != 32) return s.Fail("frames must be 24 or 32 bits");
    if (rowBytes < width * (bitCount / 8)) return s.Fail("rows too short");
    if (!s.handle) {
        s.handle = tjInitCompress();
        if (!s.handle) return s.Fail("cannot start the JPEG encoder");
    }
    const unsigned long need = tjBufSize(width, height, TJSAMP_422);
    if (need == static_cast<unsigned long>(-1)) return s.Fail("frame size out of range");
    if (need > s.capacity) {
        if (s.buffer) tjFree(s.buffer);
        s.buffer = tjAlloc(static_cast<int>(need));
        s.capacity = s.buffer ? need : 0;
        if (!s.buffer) return s.Fail("out of memory");
    }
    s.size = s.capacity;
    int flags = TJFLAG_ACCURATEDCT | TJFLAG_NOREALLOC;
    if (bottomUp) flags |= TJFLAG_BOTTOMUP;
    const int format = bitCount == 32 ? TJPF_BGRX : TJPF_BGR;
    const int quality = std::clamp(jpegQuality, 1, 100);
    if (tjCompress2(s.handle, firstRow, width, rowBytes, height, format, &s.buffer, &s.size,
                    TJSAMP_422, quality, flags) != 0)
        return s.Fail(tjGetErrorStr2(s.handle));
    s.error.clear();
    return true;
}

const uint8_t* JpegFrameEncoder::Data() const {
    return m->buffer;
}

size_t JpegFrameEncoder::Size() const {
    return m->size;
}

const std::string& JpegFrameEncoder::Error() const {
    return m->error;
}

}  // namespace kv
