// The movie writers and the process-wide writer state they share: one movie at a time, chosen
// by writer type (movie_job.h) and reached through OpenMovie / WriteMovieFrame / CloseMovie.
//
//   type 0 AVI            OpenAviMovie  WriteAviFrame  CloseAviMovie   (platform/video)
//   type 100 DPS          OpenDpsMovie  WriteDpsFrame  CloseDpsMovie   (MjpgOut + DpsOut5)
//   type 200 QuickTime    OpenQtMovie   WriteQtFrame   CloseQtMovie    (platform/video .mov)
//   type 300 Video Toaster OpenRtvMovie WriteRtvFrame  CloseRtvMovie   (RtvBridge)
//
// Opening resets the frame counter. A failed open is followed by the matching close, which
// copes with whatever was not made. Everything runs on the thread of the movie command.
#pragma once

#include <cstdint>
#include <string>

#include "core/picture/cdib.h"

namespace kv {

class MovieHost;

// The host that answers the compressor questions of the writers (set by the movie command;
// without one the stored "CodecType" is used as it is).
void SetWriterHost(MovieHost* host);

// The dispatch. `first` marks the first movie of a job (AVI asks for its compressor then).
bool OpenMovie(int32_t writerType, bool first, const std::string& path, CDIB& image,
               float frameRate, int32_t quality, int32_t totalFrames);
// n: frame number, or -1 for the next one.
bool WriteMovieFrame(int32_t n, const CDIB& image);
// Closes the open movie; false when finishing the file failed.
bool CloseMovie();
int32_t CurrentWriterType();
int32_t WriterFrameCounter();

// --- AVI --------------------------------------------------------------------------------------
bool OpenAviMovie(bool first, const std::string& path, const CDIB& image, float frameRate,
                  int32_t quality);
bool WriteAviFrame(int32_t n, const CDIB& image);
bool CloseAviMovie();
// The compressor kept for the process ("" uncompressed) and whether it is marked valid.
std::string KeptAviCompressor();
void ForgetAviCompressor();

// --- QuickTime-style .mov ---------------------------------------------------------------------
// The message shown when the .mov muxer is missing.
extern const char* const QuickTimeMissingMessage;
// Asks for (or, without a window, takes) the compressor; false when refused or unavailable.
bool QtCompressionSettings(float frameRate, int32_t quality);
bool OpenQtMovie(const std::string& path, const CDIB& image, float frameRate);
bool WriteQtFrame(int32_t n, const CDIB& image);
bool CloseQtMovie();
void EndQuickTime();
// The settings QtCompressionSettings chose (for tests and the editor's display).
struct QtSettings {
    std::string codec;
    int32_t spatialQuality = 0;
    int32_t temporalRate = 0;  // 16.16
};
QtSettings CurrentQtSettings();
constexpr int32_t QtPrimingFrame = -999;

// --- DPS --------------------------------------------------------------------------------------
bool OpenDpsMovie(const std::string& path, const CDIB& image, float frameRate, int32_t quality,
                  int32_t totalFrames);
bool WriteDpsFrame(const CDIB& image);
bool CloseDpsMovie();

// --- Video Toaster ----------------------------------------------------------------------------
extern const char* const RtvMissingMessage;
bool OpenRtvMovie(const std::string& path, const CDIB& image);
bool WriteRtvFrame(const CDIB& image);
bool CloseRtvMovie();

}  // namespace kv
