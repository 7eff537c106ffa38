// Writes the JPEG frames of the test frames (kJpegSizes, seeds 1..) at libjpeg quality 89 to
// standard output, one after another, so that a test can compare the bytes of runs made with
// different environments (libjpeg-turbo's SIMD off with JSIMD_FORCENONE=1).
#include <cstdio>

#include "platform/video/jpeg_frame.h"
#include "tests/platform/video/test_frames.h"

int main() {
    kv::JpegFrameEncoder enc;
    uint32_t seed = 1;
    for (const auto& size : kvtest::kJpegSizes) {
        const kvtest::TestFrame f(size[0], size[1], seed++, 4);
        if (!enc.Encode(f.bits.data(), f.rowBytes, true, f.w, f.h, 32, 89)) {
            std::fprintf(stderr, "%s\n", enc.Error().c_str());
            return 1;
        }
        if (std::fwrite(enc.Data(), 1, enc.Size(), stdout) != enc.Size()) return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
