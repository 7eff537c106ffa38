// Picture treatments: preparing the show's picture and the per-frame blend.
#pragma once

#include <cstdint>

#include "core/base/records.h"
#include "core/picture/cdib.h"

namespace kv {

class Show;

// Loads a picture file into the show and prepares it (border or tint, pre-blur, brightness and
// contrast, video-safe levels). The show holds one picture: the index is always 0.
void PrepPicture(Show& show, const FileSpec& fileSpec, int pictureIndex, int32_t startFrame);

// Nearest-neighbour rescale of src into dest with a border of `border` pixels in `colour`.
bool ConvertInto(const CDIB& src, CDIB* dest, uint32_t colour, int32_t border);
void Blur3x3(CDIB& image);
void Tint(CDIB& image, uint32_t colour);
void BrightnessContrast(CDIB& image, int32_t contrast, int32_t brightness);
void VideoSafe(CDIB& image);
// Mixes `other` into image with the cosine weight of t (motion blur uses t = 0.5).
void Blend(CDIB& image, const CDIB& other, float t);

}  // namespace kv
