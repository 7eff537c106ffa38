// SoundTrack: the sound stream of a movie, taken from a sound file FFmpeg can read and written
// beside the video by the same muxer. Internal to platform/video (the movie writer owns one).
//
// Timing is in movie frames: the track starts silent, and a cue (movie frame m, source frame s)
// says that from movie frame m on, the sound plays the file from s frames' worth of time in,
// without stretching; a cue with a negative source frame makes it silent again. Cues are given
// in movie-frame order before the frames they refer to are written. Sound past the file's end
// is silence; the track always ends exactly with the movie (cut or padded).
//
// The stream is PCM (16-bit, the file's own rate) in AVI and .mov, AAC in .mp4 and Opus
// (48 kHz) in Matroska and WebM. Mono stays mono; anything else becomes stereo.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/video/movie_writer.h"

struct AVFormatContext;

namespace kv {

class SoundTrack {
public:
    SoundTrack();
    ~SoundTrack();
    SoundTrack(const SoundTrack&) = delete;
    SoundTrack& operator=(const SoundTrack&) = delete;

    // Opens the file and the encoder, and adds the stream to `mux` (before its header is
    // written). A movie frame lasts frameNum / frameDen seconds. False with Error() set.
    bool Open(AVFormatContext* mux, MovieContainer container, const std::string& path,
              int64_t frameNum, int64_t frameDen);
    // May be called from any thread.
    void Cue(int64_t movieFrame, int64_t sourceFrame);
    // Encodes and writes the sound that lies before movie frame `frames`, in whole encoder
    // frames.
    bool WriteUntil(int64_t frames);
    // Writes the rest up to the end of movie frame frames - 1 exactly and flushes the encoder.
    bool Finish(int64_t frames);
    const std::string& Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace kv
