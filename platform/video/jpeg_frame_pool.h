// JpegFramePool: Motion JPEG frames coded side by side on worker threads and handed back in
// frame order, with at most `depth` frames in flight.
//
// The thread that submits frames also receives them: Submit and Finish hand each finished frame,
// in order, to the sink on the calling thread, so the file is only ever written from one thread.
// A submitted frame's pixels are read in place (no copy) until the pool says they are free: the
// release callback runs, on the calling thread, once the frame has been coded and handed on.
// Every frame is coded on its own, so the bytes do not depend on the number of workers; with no
// workers each frame is coded within Submit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/video/jpeg_frame.h"

namespace kv {

class JpegFramePool {
public:
    // Receives frame n's JPEG bytes; false stops the movie (the pool then fails).
    using Sink = std::function<bool(int64_t n, const uint8_t* data, size_t size)>;
    // Frame n's pixels are no longer read.
    using Release = std::function<void(int64_t n)>;

    struct Frame {
        int32_t width = 0, height = 0, bitCount = 32;
        JpegQuality quality;
    };

    // workers: threads that code frames (0: each frame is coded within Submit); depth: frames
    // submitted and not yet handed on (at least 1).
    JpegFramePool(const Frame& frame, int workers, int depth, Sink sink, Release release = {});
    ~JpegFramePool();
    JpegFramePool(const JpegFramePool&) = delete;
    JpegFramePool& operator=(const JpegFramePool&) = delete;

    // Queues frame n (numbers rise by one from the first); waits while `depth` frames are in
    // flight, handing on the oldest. firstRow/rowBytes/bottomUp as JpegFrameEncoder::Encode.
    // False once any frame failed or the sink refused one (Error says why).
    bool Submit(int64_t n, const uint8_t* firstRow, int32_t rowBytes, bool bottomUp);
    // Waits for every frame in flight and hands them on. False as Submit.
    bool Finish();
    const std::string& Error() const;
    // Whether a frame failed or the sink refused one: Submit then takes no more frames.
    bool Failed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace kv
