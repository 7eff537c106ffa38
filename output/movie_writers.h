// The movie writers: one movie at a time, chosen by writer type (movie_job.h) and reached
// through OpenMovie / WriteMovieFrame / CloseMovie, each handed the job's writers
// (writer_state.h).
//
//   type 0 AVI            OpenAviMovie  WriteAviFrame  CloseAviMovie   (platform/video)
//   type 100 DPS          OpenDpsMovie  WriteDpsFrame  CloseDpsMovie   (MjpgOut + DpsOut5)
//   type 200 QuickTime    OpenQtMovie   WriteQtFrame   CloseQtMovie    (platform/video .mov)
//   type 300 Video Toaster OpenRtvMovie WriteRtvFrame  CloseRtvMovie   (RtvBridge)
//   type 400 .mp4/.mkv/.webm OpenPublishMovie WritePublishFrame ClosePublishMovie
//                                                                      (platform/video)
//
// Opening resets the frame counter. A failed open is followed by the matching close, which
// copes with whatever was not made. Everything runs on the thread of the movie command.
#pragma once

#include <cstdint>
#include <string>

#include "core/picture/cdib.h"
#include "output/writer_state.h"

namespace kv {

class MovieHost;

// The dispatch. `first` marks the first movie of a job (AVI asks for its compressor then).
bool OpenMovie(MovieWriters& w, int32_t writerType, bool first, const std::string& path,
               CDIB& image, float frameRate, int32_t quality, int32_t totalFrames);
// n: frame number, or -1 for the next one.
bool WriteMovieFrame(MovieWriters& w, int32_t n, const CDIB& image);
// Closes the open movie; false when finishing the file failed.
bool CloseMovie(MovieWriters& w);

// --- AVI --------------------------------------------------------------------------------------
bool OpenAviMovie(MovieWriters& w, bool first, const std::string& path, const CDIB& image,
                  float frameRate, int32_t quality);
bool WriteAviFrame(MovieWriters& w, int32_t n, const CDIB& image);
bool CloseAviMovie(MovieWriters& w);
// The compressor kept for the process ("" uncompressed) and whether it is marked valid.
std::string KeptAviCompressor();
void ForgetAviCompressor();

// --- QuickTime-style .mov ---------------------------------------------------------------------
// The message shown when the .mov muxer is missing.
extern const char* const QuickTimeMissingMessage;
// Asks the host (or, without one, takes the stored compressor); false when refused or
// unavailable.
bool QtCompressionSettings(MovieHost* host, float frameRate, int32_t quality);
bool OpenQtMovie(MovieWriters& w, const std::string& path, const CDIB& image, float frameRate);
bool WriteQtFrame(MovieWriters& w, int32_t n, const CDIB& image);
bool CloseQtMovie(MovieWriters& w);
// Forgets the .mov settings of the process.
void EndQuickTime();
// The settings QtCompressionSettings chose (for tests and the editor's display).
struct QtSettings {
    std::string codec;
    int32_t spatialQuality = 0;
    int32_t temporalRate = 0;  // 16.16
};
QtSettings CurrentQtSettings();
constexpr int32_t QtPrimingFrame = -999;

// --- .mp4, .mkv, .webm --------------------------------------------------------------------------
// The container follows the name's extension; the codec is the "MovieCodec" setting when the
// container offers it (else the container's default), chosen through the host with the job's
// first such movie and kept for the rest of the job.
bool OpenPublishMovie(MovieWriters& w, const std::string& path, const CDIB& image, float frameRate,
                      int32_t quality);
bool WritePublishFrame(MovieWriters& w, const CDIB& image);
bool ClosePublishMovie(MovieWriters& w);

// --- DPS --------------------------------------------------------------------------------------
bool OpenDpsMovie(MovieWriters& w, const std::string& path, const CDIB& image, float frameRate,
                  int32_t quality, int32_t totalFrames);
bool WriteDpsFrame(MovieWriters& w, const CDIB& image);
bool CloseDpsMovie(MovieWriters& w);

// --- Video Toaster ----------------------------------------------------------------------------
extern const char* const RtvMissingMessage;
bool OpenRtvMovie(MovieWriters& w, const std::string& path, const CDIB& image);
bool WriteRtvFrame(MovieWriters& w, const CDIB& image);
bool CloseRtvMovie(MovieWriters& w);

}  // namespace kv
