// The output frame: what one frame of a movie or still is, described once and used by every
// output path (the movie and still commands of the editor and the command-line tool, batch and
// farm jobs).
//
// A frame has a size in pixels, a pixel shape, a display shape (width x pixel aspect / height),
// a scan (progressive, or two fields with the order the renderer draws them in) and, for the
// containers that state one, an exact rate. The show is never stretched: when the frame's
// display shape is not the show's, the show is drawn at its own shape in a centred inner frame
// and the rest is matte, unless the job asks to fill the frame, in which case the camera takes
// the frame's shape (its width and centre kept).
//
// At the three video sizes 720 x 480, 720 x 486 and 720 x 576 a 4:3 or 16:9 show keeps the
// non-square pixels those frames were always drawn with, so such frames are exactly as before.
#pragma once

#include <cstdint>
#include <string>

#include "core/picture/cdib.h"

namespace kv {

class Show;

// The frame renderer's signature (RenderFrame); hosts may hand in another for tests.
using FrameRenderFn = bool (*)(Show& show, int32_t frame, int32_t fieldMode, bool fieldOrderFlag,
                               int32_t width, int32_t height, CDIB* out, bool preferPrevious);

// The show's letterboxed 16:9 mode: a 4:3 camera with bars at the video sizes.
constexpr int32_t LetterboxAspectMode = 5626;

// A frame rate as a fraction of whole numbers.
struct ExactRate {
    int32_t num = 0;
    int32_t den = 1;
};

// The rate a container that states fractions writes for a job rate: n = trunc(fps x 100 + 0.5);
// 2997 -> 30000/1001, 2397 and 2398 -> 24000/1001, 5994 -> 60000/1001, otherwise n/100 reduced.
ExactRate ExactRateFor(float framesPerSecond);

// The frames a clip of `showFrames` frames of a show at `showRate` (frames per second x 100)
// takes at `framesPerSecond`, to the nearest frame and at least one: the same count when the
// rates agree (29.97 is 30000/1001 for both).
int64_t FramesAtRate(int32_t showFrames, int32_t showRate, double framesPerSecond);

enum class FrameScan { Progressive, TopFieldFirst, BottomFieldFirst };

struct OutputFrame {
    int32_t width = 0;
    int32_t height = 0;
    // Pixel aspect (width / height of one pixel).
    int32_t pixelNum = 1;
    int32_t pixelDen = 1;
    // The show's own shape (height / width) as drawn.
    double showShape = 0.75;
    // Where the show is drawn, counted from the top-left corner; the whole frame unless matted.
    int32_t innerX = 0;
    int32_t innerY = 0;
    int32_t innerWidth = 0;
    int32_t innerHeight = 0;
    // The camera's height / width in output pixels while drawing (the show's shape in the
    // frame's pixels, or the frame's display shape when filling).
    float cameraAspect = 0.75f;
    // Whether the renderer draws the show's letterbox bars itself (a 5626 show at a video size).
    bool letterboxBars = false;
    bool fill = false;
    FrameScan scan = FrameScan::Progressive;
    ExactRate rate;

    bool Matted() const {
        return innerX != 0 || innerY != 0 || innerWidth != width || innerHeight != height;
    }
    // Display height / width of the whole frame.
    double DisplayShape() const;
};

// The shape of the show (height / width): its AspectMode's, with the letterbox mode counted as
// 4:3 at the video sizes and as 16:9 elsewhere.
double ShowShape(const Show& show, int32_t width, int32_t height);
// Whether width x height is one of the three video sizes.
bool VideoFrameSize(int32_t width, int32_t height);

// Describes the frame of a show at a size. fieldMode 3 renders fields (their order follows the
// show's field swap), 0 progressive frames; `fill` draws the camera at the frame's shape instead
// of matting.
OutputFrame DescribeOutputFrame(const Show& show, int32_t width, int32_t height, int32_t fieldMode,
                                float framesPerSecond, bool fill);

// The size .mp4, .mkv and .webm movies take when none is asked for: square pixels, the shorter
// side 1080 and the longer one from the shape, rounded to even (16:9 -> 1920 x 1080, 4:5 ->
// 1080 x 1350). The longer side stays within the largest frame side.
void PublishDefaultSize(double shape, int32_t& width, int32_t& height);

// A shape (height / width) as a person names it: "16:9", "9:16", "1:1", "4:5", "4:3", "3:4",
// else width:height with the height 1 ("2.39:1").
std::string ShapeName(double shape);
// What the job says once when the show is matted in its frames.
std::string MattedFrameNotice(const OutputFrame& frame);

// Renders one frame into `out` (32 bits, frame.width x frame.height) through `render`: the show
// at its shape in the inner frame, opaque matte (17, 17, 17) around it. `scratch` holds the inner
// frame between calls. The show's own shape values are put back before returning.
bool RenderOutputFrame(Show& show, FrameRenderFn render, const OutputFrame& frame, int32_t index,
                       int32_t fieldMode, bool fieldOrderFlag, CDIB* out, CDIB& scratch,
                       bool preferPrevious);

}  // namespace kv
