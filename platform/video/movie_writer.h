// MovieWriter: one video stream, and optionally the sound of a sound file, written to an AVI, a
// QuickTime-style .mov, an .mp4, a Matroska (.mkv) or a WebM file.
//
// It stands where the AVIFile interface and the QuickTime movie toolbox stood: the movie
// writers of the output layer open a file with a stream description, hand over rendered frames in
// the image buffer's own layout (bottom-up rows of 24 or 32 bits, B,G,R[,A]) and close it.
// Underneath, each frame goes through an FFmpeg encoder (send frame / receive packet, flushed at
// close) into the libavformat muxer.
// Motion JPEG frames are the exception: libjpeg-turbo codes them (jpeg_frame.h), several side by
// side when the caller holds its frames (WriteFrameHeld), and they go to the muxer as they are.
// Encoders fed 4:2:0 or 4:2:2 planes get them from the own converter (yuv_convert.h).
//
// AVI: the stream header carries dwRate/dwScale exactly as given (the muxer would reduce them
// by their common divisor; the header is put back afterwards). With no codec the frames are
// stored uncompressed as 32-bit BI_RGB rows, bottom-up, byte for byte as rendered; every frame is
// a key frame. Files grow past 1 GiB as OpenDML (AVIX) files.
//
// .mov: the media time scale and the duration of a frame are given by the caller; uncompressed
// frames are 32-bit 'raw ' (A,R,G,B), top row first.
//
// Codes ("CodecType" values, four characters, trailing blanks significant):
//   AVI:  ""/"DIB " uncompressed, "MJPG", "FFV1", "HFYU", "H264", "AVdn" (DNxHR)
//   .mov: ""/"raw " uncompressed, "jpeg", "avc1", "rle ", "apco" "apcs" "apcn" "apch" (ProRes)
//   .mp4: "H264" (the default, also ""), "HEVC"
//   .mkv: "H264" (the default, also ""), "HEVC", "VP90", "AV01", "FFV1", "MJPG"
//   .webm: "VP90" (the default, also ""), "AV01"
// A code is offered only when this FFmpeg has its encoder. The .mp4, .mkv and .webm encoders
// take the quality on their own constant-quality scales (encoder_options.h). Every encoder runs
// on one thread: the bytes of a movie do not depend on the machine.
//
// Sound: with a sound file named at open, the movie gets a sound stream (PCM in AVI and .mov,
// AAC in .mp4, Opus in .mkv and .webm) that is silent until CueSound says which part of the
// file plays from which movie frame on; it ends exactly with the movie's last frame.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv {

enum class MovieContainer { Avi, QuickTime, Mp4, Matroska, WebM };

// How the frames were drawn: whole, or as two fields with the one shown first.
enum class MovieScan { Progressive, TopFieldFirst, BottomFieldFirst };

struct MovieFormat {
    MovieContainer container = MovieContainer::Avi;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitCount = 32;  // of the frames handed to WriteFrame: 24 or 32
    // Frames per second = rate / scale (AVI dwRate / dwScale; for .mov the encoder's clock).
    int32_t rate = 0;
    int32_t scale = 100;
    // .mov only: units per second of the media and units per frame.
    int32_t timeScale = 0;
    int32_t frameDuration = 100;
    std::string codec;  // see the file comment; empty = uncompressed
    // 0..100 for AVI compressors; for .mov the spatial quality 0..0x3FF is used instead.
    int32_t quality = 100;
    int32_t spatialQuality = 0x3FF;
    // A sound file FFmpeg can read, or empty for a movie without sound.
    std::string soundPath;
    // .mp4, .mkv and .webm only (AVI and .mov keep their fixed records): the pixel shape and
    // the scan the file states. Fields are coded as fields where the codec can (H.264 at a
    // height that is a multiple of 4), with 4:2:0 colour taken from each field's own rows.
    int32_t pixelNum = 1;
    int32_t pixelDen = 1;
    MovieScan scan = MovieScan::Progressive;
};

class MovieWriter {
public:
    MovieWriter();
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Creates (replacing) the file and writes its header. False with LastError() set when the
    // container, codec, size or rate is refused or the file cannot be made.
    bool Open(const std::string& path, const MovieFormat& format);
    // Writes the frame at position n (n >= the next position; AVI fills a gap with empty
    // frames, .mov starts the sample at n x frameDuration). rows: the bottom row of a bottom-up
    // image with rowBytes per row and the bit count given at Open.
    bool WriteFrame(int64_t n, const uint8_t* bottomRow, int32_t rowBytes);
    // The same, but the pixels stay the caller's to keep unchanged until `released` runs, which
    // lets Motion JPEG frames be coded side by side while the next is rendered. released runs
    // once, on this thread, during this or a later call (Close included); codecs that do not
    // keep frames run it before returning, and so does a refused frame.
    bool WriteFrameHeld(int64_t n, const uint8_t* bottomRow, int32_t rowBytes,
                        std::function<void()> released);
    // Writes every held frame and gives each back; the movie stays open. A thread that hands
    // over held frames calls this before it stops, so that no frame is given back later on
    // another thread. False when one of them could not be written.
    bool FlushHeld();
    // Only converts the frame as a compressor would see it (the priming frame of .mov movies);
    // nothing is added to the movie.
    bool PrimeFrame(const uint8_t* bottomRow, int32_t rowBytes);
    // From movie frame `movieFrame` on, the sound plays the sound file from the time of
    // `sourceFrame` movie frames into it, or is silent when sourceFrame is negative. Cues are
    // given in frame order before the frames they refer to are written; nothing without sound.
    // Safe to call from another thread than the one writing frames.
    void CueSound(int64_t movieFrame, int64_t sourceFrame);
    bool HasSound() const;
    // Flushes the encoder, writes the index and trailer, closes the file. Safe when not open.
    bool Close();

    bool IsOpen() const;
    int64_t NextFrame() const;
    const std::string& LastError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Whether this build can write the container at all (the .mov muxer may be missing).
bool HaveMovieContainer(MovieContainer c);
// Whether the code names a codec this build can write into the container.
bool HaveMovieCodec(MovieContainer c, const std::string& code);
// The codes offered for a container, uncompressed first.
std::vector<std::string> MovieCodecs(MovieContainer c);
// A readable name of a code ("Motion JPEG").
std::string MovieCodecName(MovieContainer c, const std::string& code);
// Why a sound file cannot go into a movie ("" when it can: it opens and has sound FFmpeg
// decodes).
std::string SoundFileProblem(const std::string& path);

}  // namespace kv
