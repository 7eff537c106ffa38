// A fake RtvBridge library: logs the calls and writes the raw frames to the path.
#include <cstdint>
#include <cstdio>

#include "fake_log.h"

extern "C" {

__attribute__((visibility("default"))) int32_t VTOpen(const char* path, int32_t width,
                                                      int32_t height, int32_t bitsPerPixel) {
    FakeLog("VTOpen %s %d %d %d", path, width, height, bitsPerPixel);
    if (FakeFails("VTOpen")) return 0;
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    std::fclose(f);
    return 1;
}

__attribute__((visibility("default"))) int32_t VTWrite(void* context, int32_t frame, int32_t width,
                                                       int32_t height, const void* pixels) {
    const char* path = static_cast<const char*>(context);
    FakeLog("VTWrite %s %d %d %d %lu", path, frame, width, height,
            FakeSum(pixels, long(width) * height * 4));
    if (FakeFails("VTWrite")) return 0;
    std::FILE* f = std::fopen(path, "ab");
    if (!f) return 0;
    std::fwrite(pixels, 4, size_t(width) * height, f);
    std::fclose(f);
    return 1;
}

__attribute__((visibility("default"))) int32_t VTClose(void* context) {
    FakeLog("VTClose %s", static_cast<const char*>(context));
    return 1;
}

}  // extern "C"
