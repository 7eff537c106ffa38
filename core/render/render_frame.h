// The frame renderer: the one rendering entry of the editor, the movie output and the plug-in.
#pragma once

#include <cstdint>

#include "core/picture/cdib.h"

namespace kv {

class Show;

// Renders frame `frame` of the show into `out`, a 32-bit image of width x height owned by the
// caller. fieldMode: 0 progressive, 1 and 2 single fields, 3 interlaced. Returns false, leaving
// `out` untouched, when the size is outside 1..8192 or `out` is missing, not 32 bits or not of
// that size; false also when the picture cannot be rendered or the motion-blur companion
// fails. The current frame becomes `frame` (clamped to 0..length), never the companion's.
// With a missing picture and picture errors off, the placeholder picture is drawn over the
// whole frame (or, should it not be available, a plain opaque matte frame).
bool RenderFrame(Show& show, int32_t frame, int32_t fieldMode, bool fieldOrderFlag, int32_t width,
                 int32_t height, CDIB* out, bool preferPrevious);

// The render itself, the same pixels and results as RenderFrame: reads the show and changes
// nothing in it (neither the current frame nor the picture's rotation mark). The editor renders
// with this; RenderFrame is it plus the changes a program keeping its frame in the show expects.
bool RenderShowFrame(const Show& show, int32_t frame, int32_t fieldMode, bool fieldOrderFlag,
                     int32_t width, int32_t height, CDIB* out);

// Makes sure the prepared picture belongs to picture `pictureIndex` (always so with one picture)
// and sets its rotation flag from the keys.
bool EnsurePicture(Show& show, int pictureIndex);

}  // namespace kv
