// The movie writers: one row per container, and the open / write / close of one movie at a
// time through the row the output name chooses.
//
// A row says everything the commands need to know of a container: its extension, its entry in
// the save dialog's filter and its "MovieType" number, its writer type, the codecs it offers,
// whether it is written under a temporary name and put in place when complete, whether it
// carries sound, and the function that opens a movie of it. The open function makes the
// movie's ContainerWriter (writer_state.h), which writes the frames and closes the file. A new
// container is one row in MovieContainerRows (movie_writers.cpp) and one open function with
// its ContainerWriter.
//
//   .avi   AVI            platform/video, compressor chosen with the job's first movie
//   .mov   QuickTime      platform/video .mov, compressor chosen before the job
//   .dps   DPS            MjpgOut + DpsOut5 (outside_writers.cpp)
//   .rtv   Video Toaster  RtvBridge (outside_writers.cpp)
//   .mp4 .mkv .webm       platform/video, codec chosen with the job's first such movie
//                         (publish_movie.cpp)
//
// Opening resets the frame counter. A failed open is followed by the matching close, which
// copes with whatever was not made. Everything runs on the thread of the movie command.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/picture/cdib.h"
#include "output/writer_state.h"
#include "platform/video/movie_writer.h"

namespace kv {

class MovieHost;

// What an open function is handed.
struct MovieOpenRequest {
    std::string path;
    CDIB* image = nullptr;  // the job's image: its size and depth are the movie's
    float frameRate = 0;
    int32_t quality = 0;
    int32_t totalFrames = 0;  // frames the movie will hold (DPS writes it into its header)
    bool first = false;       // the job's first movie (AVI asks for its compressor then)
};

using MovieOpenFn = bool (*)(MovieWriters& w, const MovieOpenRequest& request);

struct MovieContainerRow {
    const char* extension;  // with its dot, lower case
    const char* filter;     // the save dialog's entry, "Name (*.x)|*.x|"
    int32_t movieType;      // the "MovieType" setting of this row (its place in the table)
    int32_t writerType;     // WriterType (movie_job.h)
    // The platform container whose codecs the row offers (MovieCodecs); only when hasCodecs.
    MovieContainer container;
    bool hasCodecs;
    // Written under a temporary name beside the target and put in place once complete; the
    // outside libraries own their files and are handed the chosen name itself.
    bool replacedWhole;
    bool carriesSound;
    MovieOpenFn open;
};

// The rows, in "MovieType" order.
const std::vector<MovieContainerRow>& MovieContainerRows();
// The row of an output name (see WriterTypeFor in movie_job.h for the rule).
const MovieContainerRow& MovieRowFor(const std::string& path);
// The row of a "MovieType" value; out of range is the AVI row.
const MovieContainerRow& MovieRowForType(int32_t movieType);
// The codecs a row offers (empty for the outside libraries' containers).
std::vector<std::string> MovieRowCodecs(const MovieContainerRow& row);

// The dispatch. The row is the one of `path` when it has `writerType`, else the first row of
// that writer type. `first` marks the first movie of a job (AVI asks for its compressor then).
bool OpenMovie(MovieWriters& w, int32_t writerType, bool first, const std::string& path,
               CDIB& image, float frameRate, int32_t quality, int32_t totalFrames);
// n: frame number, or -1 for the next one. False when no movie is open.
bool WriteMovieFrame(MovieWriters& w, int32_t n, const CDIB& image);
// The same, with the image held until `released` runs (ContainerWriter::WriteHeld); without an
// open movie it is given back at once.
bool WriteMovieFrameHeld(MovieWriters& w, int32_t n, const CDIB& image,
                         std::function<void()> released);
// Writes and gives back every held frame of the open movie. True when none is open.
bool FlushMovieFrames(MovieWriters& w);
// Closes the open movie; false when finishing the file failed. True when none is open.
bool CloseMovie(MovieWriters& w);

// --- AVI --------------------------------------------------------------------------------------
bool OpenAviMovie(MovieWriters& w, const MovieOpenRequest& request);
// The AVI compressor kept in `kept` ("" uncompressed or none chosen yet).
std::string KeptAviCompressor(const CompressorChoices& kept);

// --- QuickTime-style .mov ---------------------------------------------------------------------
// The message shown when the .mov muxer is missing.
extern const char* const QuickTimeMissingMessage;
// Asks the host (or, without one, takes the kept compressor of `settings`); false when refused
// or unavailable. The choice is kept in `kept`, and its compressor in `settings` when given.
bool QtCompressionSettings(MovieHost* host, MovieSettings* settings, CompressorChoices& kept,
                           float frameRate, int32_t quality);
bool OpenQtMovie(MovieWriters& w, const MovieOpenRequest& request);
constexpr int32_t QtPrimingFrame = -999;

// --- .mp4, .mkv, .webm --------------------------------------------------------------------------
// The container follows the name's extension; the codec is the kept "MovieCodec" when the
// container offers it (else the container's default), chosen through the host with the job's
// first such movie and kept for the rest of the job.
bool OpenPublishMovie(MovieWriters& w, const MovieOpenRequest& request);

// --- DPS and Video Toaster --------------------------------------------------------------------
bool OpenDpsMovie(MovieWriters& w, const MovieOpenRequest& request);
extern const char* const RtvMissingMessage;
bool OpenRtvMovie(MovieWriters& w, const MovieOpenRequest& request);

// The kept compressor code of the settings record, cut to four characters ("" without one).
std::string KeptCodecType(const MovieWriters& w);

// The open movie of the containers platform/video writes (AVI, .mov, .mp4, .mkv, .webm): the
// writer and the stream it was opened with. Each container's subclass numbers the frames its
// own way.
class PlatformMovie : public ContainerWriter {
public:
    bool Close(MovieWriters& w) override;
    bool FlushHeld(MovieWriters& w) override;
    MovieWriter* Movie() override { return &m_movie; }
    std::string Problem() const override;

protected:
    // Hands frame n to the writer, held until `released` runs; a frame the movie does not take
    // is given back at once.
    bool WriteHeldAt(int64_t n, const CDIB& image, std::function<void()> released);

    bool Open(const std::string& path, const MovieFormat& format);
    // The movie is open and the image has its size and depth.
    bool Takes(const CDIB& image) const;

    MovieWriter m_movie;
    MovieFormat m_format;
};

}  // namespace kv
