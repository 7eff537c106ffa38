// Picture preparation: loads the show's picture file and builds the prepared picture the
// renderer reads (border or tint, pre-blur, brightness and contrast, video-safe levels).
//
// Memory: a picture that needs no conversion (no border, already 24 or 32 bits as prepared)
// becomes the prepared picture without a copy; otherwise the loaded image is converted and
// released at once. Every treatment then works in place, so preparing costs at most the loaded
// and the prepared picture together, and rendering only the prepared one.
#include <cstring>
#include <memory>

#include "core/picture/alert.h"
#include "core/picture/picture_reader.h"
#include "core/render/treatments.h"
#include "core/show/picture_lookup.h"
#include "core/show/show.h"

namespace kv {

void PrepPicture(Show& show, const FileSpec& fileSpec, int pictureIndex, int32_t startFrame) {
    // One picture per show: it always goes into slot 0 and starts at frame 0.
    (void)pictureIndex;
    (void)startFrame;
    if (strnlen(fileSpec.path, sizeof fileSpec.path) < 3) return;

    // A picture newly loaded into the show is turned upright as the setting says; the show's own
    // picture keeps the choice it was saved with, so its keys still frame what they framed.
    Picture& current = show.pictures[0];
    const bool samePicture =
        show.pictureCount > 0 &&
        std::strncmp(current.fileSpec.path, fileSpec.path, sizeof fileSpec.path) == 0;
    const bool upright = samePicture ? current.uprightOrientation : show.UsePictureOrientation;

    // Held by pointer so that it can go as soon as the prepared picture no longer needs it:
    // the treatments below then work in place on the prepared picture alone.
    auto loaded = std::make_unique<CDIB>(16, 16, 8);
    loaded->uprightOrientation = upright;
    // The file is read where the look-up finds it; the show keeps the name it stores.
    const FileSpec source = LocatePicture(fileSpec, show.showFolder);
    const int32_t result = loaded->Load(source, show.AltImageFolder, show.ShowPicError);
    show.lastLoadResult = result;
    if (result == 0) return;  // the prepared picture stays as it was

    // Record the file first with no reframing: the reframe below uses the prepared size.
    show.PictureLoaded(0, fileSpec, false, 0, 0);
    current.uprightOrientation = upright;
    show.preparedPicture = 0;

    const int32_t width = loaded->Width();
    const int32_t height = loaded->Height();
    int32_t border = 0;
    if (show.BorderSize > 0)
        border = static_cast<int32_t>(static_cast<double>(width) * show.BorderSize / 200.0);

    constexpr int MaxDepth = 32;
    int depth = loaded->BitCount() > 24 ? loaded->BitCount() : 24;
    if (depth > MaxDepth) depth = MaxDepth;
    if (show.IgnoreAlpha) depth = 24;

    if (border == 0 && loaded->BitCount() == depth) {
        // Nothing to convert: the prepared picture takes the loaded pixels as they are (the
        // copy would be byte for byte the same) and the old prepared picture goes with the
        // loaded image.
        show.image.SwapPixels(*loaded);
    } else {
        const int64_t preparedSide = static_cast<int64_t>(width) + 2 * static_cast<int64_t>(border);
        if (preparedSide > MaxImageSide ||
            height + 2 * static_cast<int64_t>(border) > MaxImageSide ||
            !PictureFitsInMemory(width + 2 * border, height + 2 * border, depth) ||
            !show.image.Create(width + 2 * border, height + 2 * border, depth)) {
            Alert("Not Enough Memory to load Image");
            return;
        }
        ConvertInto(*loaded, &show.image, show.MatteColor, border);
    }
    loaded.reset();
    if (show.PreBlur > 0) Blur3x3(show.image);
    if (show.BorderSize < 0) Tint(show.image, show.MatteColor);

    const int32_t contrast = show.ContrastBrightness & 0xFF;
    const int32_t brightness = (show.ContrastBrightness >> 8) & 0xFF;
    const auto neutral = [](int32_t v) { return v >= 49 && v <= 51; };
    if (!neutral(contrast) || !neutral(brightness))
        BrightnessContrast(show.image, contrast, brightness);
    if (show.VideoColors) VideoSafe(show.image);

    Picture& pic = show.pictures[0];
    if (pic.keyCount <= 1) {
        KeyFrame& k = pic.keys[0];
        k.x = static_cast<float>(show.image.Width()) / 2.0f;
        k.y = static_cast<float>(show.image.Height()) / 2.0f;
        k.width = static_cast<float>(show.image.Width());
        k.rotation = k.tiltA = k.tiltB = 0.0f;
    }
    show.MarkChanged();
}

}  // namespace kv
