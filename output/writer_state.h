// The writers of one movie job: the open movie's writer (AVI or .mov) and the DPS and Video
// Toaster libraries with their buffers. The movie job owns them (MovieJob::writers) and hands
// them down to the writer functions (movie_writers.h). They are opened and closed on the thread
// of the movie command; while a pass runs, frames are written on its writer thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "output/outside_libraries.h"
#include "platform/video/movie_writer.h"
#include "platform/video/runtime_library.h"

namespace kv {

class MovieHost;

// The DPS writer: MjpgOut compresses each frame into `output`, DpsOut5 writes it to the file.
struct DpsWriter {
    std::unique_ptr<uint8_t[]> input;
    std::unique_ptr<uint8_t[]> output;
    RuntimeLibrary mjpg;
    RuntimeLibrary dps;
    MjpgOutObject* encoder = nullptr;  // released by CloseDpsMovie through its own table
    DpsOut5Object* maker = nullptr;    // finished by CloseDpsMovie through its own table
    int32_t height = 0;                // 486 or 576, checked at open
};

// The Video Toaster writer: RtvBridge and the context it is handed with every call.
struct RtvWriter {
    RuntimeLibrary lib;
    char context[RtvContextSize] = {};
};

// A segment of the movie: only the movie frames first..last are written, counted as the movie
// counts them (head hold, frames, tail hold, then the reverse pass). The frame loop consults it
// and renders only frames that land in it, so segments rendered apart and joined give the movie
// of one piece.
struct FrameWindow {
    int64_t first = 0;
    int64_t last = INT64_MAX;
    int64_t next = 0;  // the movie frame the next write would be; 0 at each movie's start

    // Whether any of the `count` movie frames from `from` on lie in the window.
    bool Wants(int64_t from, int64_t count) const {
        return count > 0 && from <= last && from + count - 1 >= first;
    }
    bool Whole() const { return first == 0 && last == INT64_MAX; }
};

// Frames a movie pass renders ahead of its writer thread unless its host says otherwise
// (movie_pipeline.h); 0 writes each frame on the job's thread.
constexpr int32_t DefaultPipelineDepth = 3;

struct MovieWriters {
    int32_t type = 0;          // writer type of the open (or last opened) movie
    int32_t frameCounter = 0;  // number of the next frame; 0 at open
    FrameWindow window;        // the whole movie unless a segment was asked for
    // Frames rendered ahead of the writer thread (MovieHost::PipelineDepth).
    int32_t pipelineDepth = DefaultPipelineDepth;
    // Answers the compressor questions; without one the stored "CodecType" is used as it is.
    MovieHost* host = nullptr;
    std::unique_ptr<MovieWriter> avi;  // the open AVI movie
    MovieFormat aviFormat;
    std::unique_ptr<MovieWriter> qt;  // the open .mov movie
    MovieFormat qtFormat;
    std::unique_ptr<MovieWriter> publish;  // the open .mp4, .mkv or .webm movie
    MovieFormat publishFormat;
    // The .mp4/.mkv/.webm codec and quality chosen with the job's first such movie.
    bool publishChosen = false;
    std::string publishCodec;
    int32_t publishQuality = 100;
    // The sound file of the next movie opened ("" for none; movie_sound.h).
    std::string soundPath;
    // Frames handed to the open movie so far: the clock of the sound plan's cues. Counted where
    // frames are handed over, in the order they are written.
    int64_t framesHandedOver = 0;
    DpsWriter dps;
    RtvWriter rtv;
};

}  // namespace kv
