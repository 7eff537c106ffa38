// A fake DpsOut5 library: appends each compressed frame to the output file.
#include <cstdint>
#include <cstdio>

#include "fake_log.h"
#include "output/outside_libraries.h"

namespace {

struct Maker : DpsOut5Object {
    std::FILE* file;
};

int32_t Write(DpsOut5Object* self, const void* data, int32_t count) {
    FakeLog("Write %d %lu", count, FakeSum(data, count));
    if (FakeFails("Write")) return 7;
    Maker* m = static_cast<Maker*>(self);
    return std::fwrite(data, 1, static_cast<size_t>(count), m->file) == size_t(count) ? 0 : 8;
}

int32_t Finish(DpsOut5Object* self) {
    FakeLog("Finish");
    Maker* m = static_cast<Maker*>(self);
    std::fclose(m->file);
    delete m;
    return 0;
}

const DpsOut5Ops kOps = {Write, Finish};

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t CreateDpsOut5(
    const char* path, int32_t tvLines, int32_t totalFrames, int32_t four, DpsOut5Object** out) {
    FakeLog("CreateDpsOut5 %s %d %d %d", path, tvLines, totalFrames, four);
    if (FakeFails("CreateDpsOut5")) return 4;
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 9;
    Maker* m = new Maker;
    m->ops = &kOps;
    m->file = f;
    *out = m;
    return 0;
}
