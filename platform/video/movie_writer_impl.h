// What MovieWriter's two files share (movie_writer.cpp opens a movie, movie_writer_frames.cpp
// writes its frames and closes it): the codec table's entries and the writer's state. Private
// to platform/video; it includes FFmpeg's headers.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/video/ffmpeg.h"
#include "platform/video/file_output.h"
#include "platform/video/jpeg_frame.h"
#include "platform/video/jpeg_frame_pool.h"
#include "platform/video/movie_writer.h"
#include "platform/video/sound_track.h"

namespace kv {

namespace moviewriter {

// OwnScale: the encoder's settings come from encoder_options.h (the .mp4, .mkv, .webm codecs).
enum QualityStyle { NoQuality, QScale, Crf, DnxProfile, ProresProfile, OwnScale };

struct CodecEntry {
    MovieContainer container;
    const char* code;      // as stored in "CodecType"
    const char* encoder;   // FFmpeg encoder name
    AVPixelFormat pixFmt;  // what the encoder is fed
    uint32_t aviTag;  // fccHandler / biCompression written to the AVI (0 = BI_RGB); the stream's
                      // tag in the other containers (0 = the muxer's own)
    QualityStyle quality;
    int profile;  // ProRes profile of the code
    const char* name;
};

// FFmpeg's text for an error code.
std::string AvError(int err);

}  // namespace moviewriter

struct MovieWriter::Impl {
    MovieFormat format;
    const moviewriter::CodecEntry* codec = nullptr;
    std::string path;
    std::string error;
    AVFormatContext* mux = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;    // converted frame owned here
    AVFrame* wrapper = nullptr;  // points at the caller's pixels when no conversion is needed
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    std::unique_ptr<SoundTrack> sound;    // with a sound file
    std::unique_ptr<JpegFramePool> jpeg;  // Motion JPEG: coded here instead of by enc
    JpegQuality jpegQuality;
    std::deque<std::function<void()>> held;  // release calls of frames the pool still reads
    bool ownYuv = false;                     // the own converter instead of sws
    bool fieldChroma = false;                // 4:2:0 colour from the rows of each field apart
    bool codedAsFields = false;              // the encoder codes each frame as two fields
    AVPixelFormat sourceFmt = AV_PIX_FMT_BGRA;
    bool keepBottomUp = false;  // AVI BI_RGB frames stay bottom-up
    // Uncompressed 32-bit AVI without sound: each frame's rows go from the caller's pixels to
    // the file in one write, with no encoder copy and no copy through the output buffer.
    bool rowsStraight = false;
    video::FileOutput output;  // the file when rows go straight
    bool headerWritten = false;
    int64_t next = 0;

    bool Fail(const std::string& what, int err = 0) {
        error = err ? what + ": " + moviewriter::AvError(err) : what;
        return false;
    }
    void DescribeScan(AVCodecContext* e);
    bool Drain();
    bool WritePacket(AVPacket* p, AVRational timeBase);
    bool WriteRows(int64_t n, const uint8_t* bottomRow);
    AVRational FrameTimeBase() const;
    bool OpenMuxer();
    bool OpenJpegStream();
    bool SetUpJpeg();
    bool CheckFormat(const AVCodec*& encoder);
    bool SetUpEncoder(const AVCodec* encoder);
    void SetThreads(AVCodecContext* e) const;
    void SetQuality();
    bool OpenStream();
    bool OpenSound();
    bool WriteHeader();
    bool SetUpFrames();
    bool Convert(const uint8_t* bottomRow, int32_t rowBytes, AVFrame** out);
    void Free();
};

}  // namespace kv
