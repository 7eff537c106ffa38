// Settings of the encoders of the .mp4, Matroska and WebM movies.
#include "platform/video/encoder_options.h"

#include <cstdio>
#include <cstring>

#include "platform/video/ffmpeg.h"

namespace kv {

namespace {

struct Scale {
    const char* encoder;
    int middle;  // the number at H.264's 23
    int worst;   // the number at quality 0
};

const Scale kScales[] = {
    {"libx264", 23, 51},    {"libx265", 28, 51},   {"libvpx-vp9", 33, 63},
    {"libaom-av1", 30, 63}, {"libsvtav1", 30, 63},
};

}  // namespace

int ConstantQualityFor(const char* encoder, int q) {
    if (q < 0) q = 0;
    if (q > 100) q = 100;
    // H.264's number, as the AVI and .mov movies use it.
    const int h264 = (100 - q) * 51 / 100;
    for (const Scale& s : kScales) {
        if (std::strcmp(s.encoder, encoder) != 0) continue;
        if (h264 <= 23) return (h264 * s.middle + 11) / 23;
        return s.middle + ((h264 - 23) * (s.worst - s.middle) + 14) / 28;
    }
    return h264;
}

void SetEncoderOptions(AVCodecContext* e, const char* encoder, int q) {
    void* p = e->priv_data;
    const int crf = ConstantQualityFor(encoder, q);
    e->thread_count = 1;
    // A key frame every two seconds, as players seek.
    if (e->framerate.num > 0 && e->framerate.den > 0)
        e->gop_size = e->framerate.num * 2 / e->framerate.den > 1
                          ? e->framerate.num * 2 / e->framerate.den
                          : 1;
    if (std::strcmp(encoder, "mjpeg") == 0) {
        e->flags |= AV_CODEC_FLAG_QSCALE;
        e->global_quality = FF_QP2LAMBDA * (2 + (100 - q) * 29 / 100);
        return;
    }
    if (std::strcmp(encoder, "ffv1") == 0) return;
    // Rendered frames are full-range RGB converted with the BT.601 matrix to studio range.
    e->color_range = AVCOL_RANGE_MPEG;
    e->colorspace = AVCOL_SPC_SMPTE170M;
    e->color_primaries = AVCOL_PRI_SMPTE170M;
    e->color_trc = AVCOL_TRC_SMPTE170M;
    if (std::strcmp(encoder, "libx264") == 0) {
        av_opt_set_int(p, "crf", crf, 0);
        av_opt_set(p, "preset", "veryfast", 0);
    } else if (std::strcmp(encoder, "libx265") == 0) {
        av_opt_set_int(p, "crf", crf, 0);
        av_opt_set(p, "preset", "veryfast", 0);
        av_opt_set(p, "x265-params", "log-level=error:pools=none:frame-threads=1:wpp=0", 0);
    } else if (std::strcmp(encoder, "libvpx-vp9") == 0) {
        e->bit_rate = 0;
        av_opt_set_int(p, "crf", crf, 0);
        av_opt_set(p, "deadline", "good", 0);
        av_opt_set_int(p, "cpu-used", 5, 0);
        av_opt_set_int(p, "row-mt", 0, 0);
        av_opt_set_int(p, "tile-columns", 0, 0);
    } else if (std::strcmp(encoder, "libaom-av1") == 0) {
        e->bit_rate = 0;
        av_opt_set_int(p, "crf", crf, 0);
        av_opt_set(p, "usage", "realtime", 0);
        av_opt_set_int(p, "cpu-used", 8, 0);
        av_opt_set_int(p, "row-mt", 0, 0);
        av_opt_set_int(p, "tile-columns", 0, 0);
        av_opt_set_int(p, "tile-rows", 0, 0);
    } else if (std::strcmp(encoder, "libsvtav1") == 0) {
        av_opt_set_int(p, "crf", crf, 0);
        av_opt_set_int(p, "preset", 10, 0);
    }
}

}  // namespace kv
