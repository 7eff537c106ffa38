// The MLT producer "kinevista": a show file as a clip of MLT's own, frame for frame.
//
// The producer counts in the profile's frames from its own position (its in point included,
// never the timeline's), maps them to the show's frames by time as the frei0r source does, and
// is as long as the movie `kinevista-cli movie` writes of the show. Each image is drawn at the
// size MLT asks for (previews ask for less than the profile) with the profile's display shape:
// the show is fitted between matte bars unless "fill" is set, and drawn as two fields when the
// profile is interlaced. Several threads may ask for images at once: each takes a ShowSource of
// its own from the producer's pool.
#pragma once

#include <cstdint>
#include <string>

namespace kvmlt {

// The show frame of producer frame `position` at `profileFps`, for a show at `showRate`
// (frames per second x 100) of `showLength` frames.
int32_t ShowFrameOf(int64_t position, double profileFps, int32_t showRate, int32_t showLength);

// The clip's length in profile frames for a show ending at `endFrame` at `showRate`: the
// frames of `kinevista-cli movie` at the profile's rate, at least one.
int64_t ClipLength(int32_t endFrame, int32_t showRate, double profileFps);

// The show file a "resource" names: an absolute path as it is; a relative one inside `root`
// (the MLT document's folder) when it is there, else as written (the show's own look-up).
std::string ResolveShowPath(const std::string& resource, const std::string& root);

// Converts `width` x `height` pixels of blue, green, red, alpha (top row first) to `outWidth`
// pixels a row of red, green, blue; a wider or narrower `outWidth` resamples each row
// (a frame drawn with square pixels for a profile whose pixels are not).
void ToRgb(const uint32_t* bgra, int32_t width, int32_t height, uint8_t* rgb, int32_t outWidth);

// The square-pixel width of a frame `height` rows high with display shape `displayAspect`
// (width / height) that is `width` wide in the profile's pixels: `width` itself when its pixels
// are square (within a pixel) or when it is one of the video sizes, whose own pixel rules hold.
int32_t DrawingWidth(int32_t width, int32_t height, double displayAspect);

}  // namespace kvmlt
