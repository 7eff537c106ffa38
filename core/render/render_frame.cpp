// RenderFrame: from the show's camera at a frame to one 32-bit output frame — field times,
// line codes, the camera rectangle, the two-band split, motion blur, the 16:9 letterbox and
// the placeholder frame for a missing picture.
#include "core/render/render_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/picture/placeholder.h"
#include "core/render/render_picture.h"
#include "core/render/treatments.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"

namespace kv {

namespace {

constexpr int32_t LetterboxMode = 5626;

// The camera rectangle over the prepared picture (y counted upwards from its bottom row).
CameraRect RectOf(const Show& show, const CameraState& c) {
    CameraRect r;
    const float a = show.AspectMode == LetterboxMode ? 0.75f : show.aspect;
    r.width = c.width;
    r.height = c.width * a;
    r.left = c.x - r.width / 2.0f;
    r.bottom = (static_cast<float>(show.image.Height()) - c.y) - r.height / 2.0f;
    r.rotation = c.rotation;
    r.tiltA = c.tiltA;
    r.tiltB = c.tiltB;
    return r;
}

// Draws the frame shown for a picture that could not be found: the placeholder picture
// rescaled onto the frame, or, where no placeholder is to be had (the plug-in carries none of
// the editor's resources), a plain frame of the matte colour.
bool RenderPlaceholder(CDIB& out) {
    CDIB placeholder(16, 16, 8);
    if (LoadPlaceholder(placeholder) && ConvertInto(placeholder, &out, 0, 0)) return true;
    const uint8_t pixel[4] = {MatteLevel, MatteLevel, MatteLevel, 255};
    for (int y = 0; y < out.Height(); ++y) {
        uint8_t* row = out.Row(y);
        for (int x = 0; x < out.Width(); ++x) std::memcpy(row + 4 * x, pixel, 4);
    }
    return true;
}

// Sets `bars` rows at the top and at the bottom to opaque matte.
void Letterbox(CDIB& out) {
    const int width = out.Width(), height = out.Height();
    const float k = static_cast<float>(height) / (0.75f * static_cast<float>(width));
    const float exact = (static_cast<float>(height) - k * static_cast<float>(width) * 0.5625f);
    int bars = static_cast<int>(std::floor(exact * 0.5f + 0.5f));
    bars = std::clamp(bars, 0, (height + 1) / 2);
    const uint8_t pixel[4] = {MatteLevel, MatteLevel, MatteLevel, 255};
    for (int i = 0; i < bars; ++i) {
        uint8_t* lower = out.Row(i);
        uint8_t* upper = out.Row(height - 1 - i);
        for (int x = 0; x < width; ++x) {
            std::memcpy(lower + 4 * x, pixel, 4);
            std::memcpy(upper + 4 * x, pixel, 4);
        }
    }
}

}  // namespace

bool EnsurePicture(Show& show, int pictureIndex) {
    // One picture per show, prepared when it was loaded: only the rotation flag can be stale.
    const bool rotation = show.RotationInUse(pictureIndex);
    show.rotationInUse = rotation;
    show.image.rotationInUse = rotation;
    return true;
}

namespace {

// Whether `out` is a frame RenderShowFrame will draw into.
bool FrameAccepted(int32_t width, int32_t height, const CDIB* out) {
    if (width < 1 || width > MaxOutputSide || height < 1 || height > MaxOutputSide || !out)
        return false;
    return !out->Empty() && out->BitCount() == 32 && out->Width() == width &&
           out->Height() == height;
}

bool RenderWithBlur(const Show& show, int32_t frame, int32_t fieldMode, bool fieldOrderFlag,
                    int32_t width, int32_t height, CDIB* out, int32_t blurFrames) {
    // The frame must be the caller's 32-bit image of exactly the requested size: anything else
    // is refused before a byte is written.
    if (!FrameAccepted(width, height, out)) return false;

    if (show.lastLoadResult == 2 && !show.ShowPicError) return RenderPlaceholder(*out);

    const int quality = show.DraftRender ? QualityDraft : QualityFull;
    if (frame < 0) frame = 0;
    // The picture's rotation mark as EnsurePicture would set it, without setting it.
    const bool rotated = show.RotationInUse(show.PictureAt(frame));

    int f = fieldMode == 2 ? 1 : 0;
    if (show.FieldSwap) f = 1 - f;
    // Film rates and below, 50 fps and above: both fields take the frame's own time.
    if (show.FrameRate <= 2400 || show.FrameRate > 4000) f = 0;

    auto renderAt = [&](bool half, int line) {
        const CameraState cam = CameraAt(show, frame, half);
        return RenderBandsAs(*out, show.image, rotated, RectOf(show, cam), quality, line,
                             show.MultiProcess, show.MultiProcOffset);
    };
    bool ok;
    if (fieldMode == 3) {
        ok = renderAt(f == 1, LineEven);
        ok = renderAt(f == 0, LineOdd) && ok;
    } else {
        const bool halfRow = fieldMode != 0 && fieldOrderFlag == show.FlopTopField;
        ok = renderAt(f == 1, halfRow ? LineAllHalf : LineAll);
    }
    if (!ok) return false;

    if (blurFrames != 0) {
        // The companion frame has no blur of its own.
        CDIB companion(width, height, 32);
        bool made = !companion.Empty();
        if (made) {
            int32_t companionFrame = frame, companionMode = fieldMode;
            if (fieldMode == 0 || fieldMode == 1) {
                companionFrame = frame - 1;
                companionMode = 2;
            } else if (fieldMode == 2) {
                companionMode = 1;
            }
            made = RenderWithBlur(show, companionFrame, companionMode, fieldOrderFlag, width,
                                  height, &companion, 0);
        }
        if (!made) return false;
        Blend(*out, companion, 0.5f);
    }

    if (show.AspectMode == LetterboxMode) Letterbox(*out);
    return true;
}

}  // namespace

bool RenderShowFrame(const Show& show, int32_t frame, int32_t fieldMode, bool fieldOrderFlag,
                     int32_t width, int32_t height, CDIB* out) {
    return RenderWithBlur(show, frame, fieldMode, fieldOrderFlag, width, height, out,
                          show.BlurFrames);
}

bool RenderFrame(Show& show, int32_t frame, int32_t fieldMode, bool fieldOrderFlag, int32_t width,
                 int32_t height, CDIB* out, bool /*preferPrevious*/) {
    const bool ok = RenderShowFrame(show, frame, fieldMode, fieldOrderFlag, width, height, out);
    // What a render that reached the picture leaves behind in a show that keeps its own frame:
    // the frame becomes the current one and the picture's rotation mark is brought up to date.
    if (FrameAccepted(width, height, out) && !(show.lastLoadResult == 2 && !show.ShowPicError)) {
        if (frame < 0) frame = 0;
        EnsurePicture(show, show.PictureAt(frame));
        show.currentFrame = ClampFrame(show, frame);
    }
    return ok;
}

}  // namespace kv
