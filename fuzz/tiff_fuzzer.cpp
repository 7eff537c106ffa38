// Fuzz target for the tiff reader: TIFF files: the choice between the own reader and libtiff,
// libtiff's strips, tiles, planes, 16-bit and RGBA paths, and the file's orientation and profile.
// Each input is written to a scratch file and read into an image that asks for upright
// pictures, so the orientation step runs too. Any crash, hang, leak or out-of-bounds access is a
// finding; the result codes themselves are not checked here.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"

namespace {

// The scratch file, made once per process and removed at exit.
char g_scratch[] = "/tmp/kv-tiff-fuzz-XXXXXX";

const char* ScratchPath() {
    static const bool made = [] {
        const int fd = mkstemp(g_scratch);
        if (fd < 0) return false;
        close(fd);
        std::atexit([] { unlink(g_scratch); });
        return true;
    }();
    return made ? g_scratch : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = ScratchPath();
    if (!path) return 0;
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    kv::FileSpec fileSpec;
    fileSpec.SetPath(path);
    kv::DiskFile file;
    if (!file.Open(fileSpec, kv::DiskFile::OpenRead)) return 0;
    kv::CDIB image(16, 16, 8);
    image.uprightOrientation = true;
    kv::ReadTiffPicture(image, file);
    return 0;
}
