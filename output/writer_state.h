// The writers of one movie job: the open movie's container writer, the compressor choices the
// job made and the sound and frame-window state of the movie. The movie job owns them
// (MovieJob::writers) and hands them down to the writer functions (movie_writers.h). They are
// opened and closed on the thread of the movie command; while a pass runs, frames are written
// on its writer thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/picture/cdib.h"
#include "output/output_frame.h"

namespace kv {

class MovieHost;
class MovieWriter;
struct MovieSettings;
struct MovieWriters;

// The open movie of one container row (movie_writers.h): made by the row's open function,
// which may fail half-way; Close copes with whatever was made.
class ContainerWriter {
public:
    virtual ~ContainerWriter() = default;
    // n: frame number, or -1 for the next one.
    virtual bool Write(MovieWriters& w, int32_t n, const CDIB& image) = 0;
    // The same, but the image stays the caller's, unchanged, until `released` runs: once, on
    // this thread, during this or a later WriteHeld or FlushHeld. Containers that code frames
    // side by side keep a few; the others write the frame and give it back before returning,
    // and so does a refused frame.
    virtual bool WriteHeld(MovieWriters& w, int32_t n, const CDIB& image,
                           std::function<void()> released) {
        const bool ok = Write(w, n, image);
        if (released) released();
        return ok;
    }
    // Writes every held frame and gives each back; the thread that hands over held frames
    // calls it before it stops. False when one of them could not be written.
    virtual bool FlushHeld(MovieWriters&) { return true; }
    // Finishes the file and lets go of what the open made; false when finishing failed.
    virtual bool Close(MovieWriters& w) = 0;
    // The platform movie writer when the container has one (for the sound cues), else null.
    virtual MovieWriter* Movie() { return nullptr; }
    // Why a write or the close failed, when the writer knows ("" otherwise).
    virtual std::string Problem() const { return {}; }
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

// The .mov settings QtCompressionSettings chose.
struct QtSettings {
    std::string codec;
    int32_t spatialQuality = 0;
    int32_t temporalRate = 0;  // 16.16
};

// The compressors the movie commands chose, kept for as long as the program runs: the AVI
// compressor chosen with a job's first movie serves the job's later movies, and the .mov
// settings serve every later .mov movie. The program owns one (the editor's main window, the
// command-line tool's context) and hands it in with every command (MovieSettings::compressors).
struct CompressorChoices {
    bool aviChosen = false;
    std::string aviCodec;  // "" uncompressed
    int32_t aviQuality = 100;
    bool qtRuns = false;  // the .mov writer has been found available
    bool qtChosen = false;
    QtSettings qt;
};

struct MovieWriters {
    int32_t type = 0;          // writer type of the open (or last opened) movie
    int32_t frameCounter = 0;  // number of the next frame; 0 at open
    FrameWindow window;        // the whole movie unless a segment was asked for
    // Frames rendered ahead of the writer thread (MovieHost::PipelineDepth).
    int32_t pipelineDepth = DefaultPipelineDepth;
    // Answers the compressor questions; without one the kept compressor is used as it is.
    MovieHost* host = nullptr;
    // The command's settings record: the kept compressors are read from it and the choices
    // made written into it. Without one the containers' defaults are used and nothing is kept.
    MovieSettings* settings = nullptr;
    // The compressors the program keeps (those of `settings`), else the writers' own.
    CompressorChoices& Choices();
    CompressorChoices ownChoices;
    // The open movie (null before the first open and after a close).
    std::unique_ptr<ContainerWriter> open;
    // What the movie's frames are: size, pixel shape, scan, rate and where the show is drawn
    // in them. A width of 0 (writers set up without it) renders the show over the whole image.
    OutputFrame frame;
    // The .mp4/.mkv/.webm codec and quality chosen with the job's first such movie.
    bool publishChosen = false;
    std::string publishCodec;
    int32_t publishQuality = 100;
    // The sound file of the next movie opened ("" for none; movie_sound.h).
    std::string soundPath;
    // Frames handed to the open movie so far: the clock of the sound plan's cues. Counted where
    // frames are handed over, in the order they are written.
    int64_t framesHandedOver = 0;
    // Why the last movie could not be written whole, in the system's words ("" when it was).
    std::string problem;
};

}  // namespace kv
