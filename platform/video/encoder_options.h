// The settings of the encoders that the .mp4, Matroska and WebM movies add (H.265, VP9, AV1 and
// H.264 there), internal to platform/video.
//
// Quality 0..100 becomes each encoder's own constant-quality number so that one quality gives
// comparable pictures: 100 is the best the encoder offers (0), 0 its coarsest, and the middle
// of the scale (H.264's 23, at quality 55) lands on each encoder's usual default-looking level
// (H.265 28, VP9 33, AV1 30), linearly on either side. Every encoder runs on one thread with
// no parallel tiles or rows, so the bytes never depend on the machine.
#pragma once

#include "platform/video/ffmpeg.h"

namespace kv {

// The constant-quality number for an encoder at quality q (0..100).
int ConstantQualityFor(const char* encoder, int q);
// Sets quality, speed, threads and colour tags on a context that is not yet open.
void SetEncoderOptions(AVCodecContext* e, const char* encoder, int q);

}  // namespace kv
