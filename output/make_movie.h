// The movie commands: "Make Movie File" (MakeMovie, batch false), "Batch Render Movies"
// (batch true), the frame loop of one pass (RenderSequence) and "Make Still Image" (MakeStill).
#pragma once

#include <cstdint>
#include <string>

#include "core/picture/cdib.h"
#include "output/writer_state.h"

namespace kv {

class MovieHost;
class Show;
struct MovieSettings;

// Texts of the movie commands' messages.
extern const char* const MovieSuccessMessage;     // "Movie file(s) successfully made"
extern const char* const MovieOpenErrorMessage;   // "Error Opening Movie File"
extern const char* const MovieMemoryMessage;      // "Not Enough Memory to Make Movie"
extern const char* const MovieWriteErrorMessage;  // "Error Writing Movie File"
extern const char* const RenderingText;           // "Rendering... (Hit Esc key to cancel)"
extern const char* const RenderingHoldText;       // "Rendering Hold... (Hit any key to cancel)"
extern const char* const WebmProgressiveNotice;   // a .webm job asked for fields

// The whole command. True after every movie was opened, written and closed; a job whose frames
// could not all be written ends with MovieWriteErrorMessage and false. In batch mode the show
// of the last rendered file stays loaded. `settings` holds the kept options, compressors and
// folder, and receives what the command decided (settings.decided says which); the caller
// writes them to its store.
bool MakeMovie(Show& show, MovieHost& host, bool batch, MovieSettings& settings);

// Renders frames from .. to (exclusive) into `image` and writes them to the movie open in
// `writers`, with
// `holds` copies of the first frame before and of the last frame after. False when a frame
// could not be rendered or written (the pass stops there); Esc ends the frames early and still
// writes the tail hold.
bool RenderSequence(Show& show, MovieHost& host, MovieWriters& writers, CDIB& image,
                    int32_t fieldMode, int32_t from, int32_t to, int32_t holds, int32_t quality);

// Saves the frame at the show's current frame as a 720 x 486 (720 x 576 at 2500) Targa file
// chosen through the host, the dialog opening in the kept folder; beeps on success. False when
// cancelled or when rendering or saving failed (no message; `saveError`, when given, receives
// the reason of a failed save).
bool MakeStill(Show& show, MovieHost& host, const MovieSettings& settings,
               std::string* saveError = nullptr);

}  // namespace kv
