// Suggested moves: two camera keys that suit a picture, its shape and the people in it.
//
// The suggester is pure computation on a show's prepared picture, its output aspect and a
// length: a picture much taller than the frame fills the frame's width and pans vertically, one
// much wider fills the height and pans across, and the rest push in or pull out with a drift
// towards the subject. The subject is the faces a detector found (the caller runs it: the core
// links no detector) or, without faces, the picture's most salient region. The caps on zoom and
// pan speed come in as parameters; nothing here reads the settings store.
//
// What a suggestion guarantees, frame by frame through the show's own camera motion: the camera
// stays on the part of the picture the renderer draws cleanly (all but its last two columns and
// its top row, where the matte blends in), so no matte shows, the subject is whole inside the frame
// at the end of a push-in and pan and at the start of a pull-out, and no face is ever cut by the
// frame's edge: each is either whole inside the frame or wholly outside it at every frame. Two keys
// are used because then every field of the camera follows the same eased curve, so each edge of the
// camera rectangle moves monotonically from its start to its end and the checks at the two ends
// hold at every frame between them. The result depends only on the inputs (plain scalar
// arithmetic, no vector kernels), so it is the same every time and on every build.
#pragma once

#include <cstdint>
#include <vector>

#include "core/base/records.h"

namespace kv {

class CDIB;
class Show;

enum class MoveKind : int32_t { Auto = 0, PushIn = 1, PullOut = 2, Pan = 3 };

// A box on the picture in its pixels, x from the left edge and y down from the top row, like a
// key's centre.
struct PictureBox {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;

    bool Empty() const { return width <= 0 || height <= 0; }
    double Right() const { return left + width; }
    double Bottom() const { return top + height; }
    double CentreX() const { return left + width * 0.5; }
    double CentreY() const { return top + height * 0.5; }
};

// The defaults of the caps, as the settings store keeps them ("SuggestMaxZoom" in percent of
// the starting width, "SuggestMaxPan" in percent of a frame's extent per 5 seconds).
constexpr int32_t DefaultSuggestMaxZoomPercent = 150;
constexpr int32_t DefaultSuggestMaxPanPercent = 100;
// The longest length an automatic length takes, in seconds.
constexpr int32_t MaxAutoSuggestSeconds = 30;

struct SuggestOptions {
    MoveKind move = MoveKind::Auto;
    // With Auto on a picture that gets a zoom: pull out rather than push in. A caller making
    // shows for several pictures alternates it.
    bool pullOutWhenAuto = false;
    // Length of the move in frames; 0 or less picks it: a pan covers the long side at the pan
    // cap, at most MaxAutoSuggestSeconds.
    int32_t length = 0;
    // The largest zoom, as the ratio of the wider camera width to the narrower (at least 1).
    double maxZoom = DefaultSuggestMaxZoomPercent / 100.0;
    // The fastest pan, in frame extents (width across, height for vertical pans) per 5 seconds.
    double maxPan = DefaultSuggestMaxPanPercent / 100.0;
};

struct SuggestedMove {
    MoveKind move = MoveKind::PushIn;  // the move made, never Auto
    int32_t length = 0;                // frames; the last key's time
    int keyCount = 0;
    KeyFrame keys[2] = {};
    // What the move ends on (starts on, for a pull-out): the faces with their margin, or the
    // salient region; empty when the picture gave neither.
    PictureBox subject;
    bool subjectIsFaces = false;
};

// The camera's output aspect (height / width) as the renderer uses it: the letterboxed mode is
// framed as 4:3.
double CameraAspect(const Show& show);

// The camera rectangle of a camera state on the picture (y down), as the renderer frames it.
PictureBox CameraBox(const KeyFrame& camera, double aspect);

// Proposes the keys for `picture` of `show` (its prepared picture, aspect and frame rate). Face
// boxes are in picture pixels as the detector found them; the suggester adds the margins.
SuggestedMove SuggestMove(const Show& show, int picture, const SuggestOptions& options,
                          const std::vector<PictureBox>& faces);

// Replaces the keys of `picture` with the move's and makes the show as long as the move; the
// first key keeps the show-wide values it carries. For callers without an editing session (the
// command-line tool); the editor records the change as one undo step of its own.
void ApplySuggestedMove(Show& show, int picture, const SuggestedMove& move);
// Only the keys of the same: the show keeps its length. What the editor's Suggest Move records.
void ReplaceKeysWithMove(Show& show, int picture, const SuggestedMove& move);

// A grey copy of a picture for a detector: top row first, one byte a pixel, scaled down by a
// whole-pixel box average so that its longer side is at most maxSide.
struct LumaImage {
    int32_t width = 0;
    int32_t height = 0;
    double scale = 1.0;  // luma pixels per picture pixel
    std::vector<uint8_t> pixels;

    // A box found on the luma image, in picture pixels.
    PictureBox ToPicture(double left, double top, double width, double height) const;
};
LumaImage PictureLuma(const CDIB& picture, int32_t maxSide);

// The picture's most salient region (where its detail and contrast gather, weighted gently
// towards the middle), of the frame's shape (height / width = frameAspect): the subject when no
// face is known. Empty for a flat picture.
PictureBox SalientRegion(const CDIB& picture, double frameAspect);

}  // namespace kv
