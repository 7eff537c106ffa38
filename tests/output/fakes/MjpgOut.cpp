// A fake MjpgOut library: "compresses" a frame by keeping every tenth byte.
#include <cstdint>
#include <cstring>

#include "fake_log.h"
#include "output/outside_libraries.h"

namespace {

int32_t Compress(MjpgOutObject*, const void* in, void* out, int32_t* count) {
    FakeLog("Compress %d %lu", *count, FakeSum(in, *count));
    if (FakeFails("Compress")) return 5;
    const uint8_t* src = static_cast<const uint8_t*>(in);
    uint8_t* dst = static_cast<uint8_t*>(out);
    int32_t n = *count / 10;
    for (int32_t i = 0; i < n; ++i) dst[i] = src[i * 10];
    // A broken encoder that claims more bytes than the output buffer holds.
    *count = FakeFails("Oversize") ? 0x200000 : n;
    return 0;
}

int32_t SetQuality(MjpgOutObject*, int32_t quality) {
    FakeLog("SetQuality %d", quality);
    return FakeFails("SetQuality") ? 1 : 0;
}

int32_t Release(MjpgOutObject* self);

const MjpgOutOps kOps = {Compress, SetQuality, Release};

int32_t Release(MjpgOutObject* self) {
    FakeLog("Release");
    delete self;
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t CreateMjpgOut(int32_t tvLines,
                                                                        int32_t pixelFormat,
                                                                        MjpgOutObject** out) {
    FakeLog("CreateMjpgOut %d 0x%X", tvLines, pixelFormat);
    if (FakeFails("CreateMjpgOut")) return 3;
    *out = new MjpgOutObject{&kOps};
    return 0;
}
