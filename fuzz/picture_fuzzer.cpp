// Fuzz target for the picture readers: each input is written to a scratch file and read by
// ReadFrom (which picks a reader by the first bytes) and then by every reader on its own, so
// each reader sees every input whatever its first bytes say. Any crash, hang, leak or
// out-of-bounds access is a finding; the result codes themselves are not checked here.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/base/settings.h"
#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"

namespace {

// The scratch file, made once per process and removed at exit.
char g_scratch[] = "/tmp/kv-picture-fuzz-XXXXXX";

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

using Reader = kv::ImageReadResult (*)(kv::CDIB&, kv::DiskFile&);

void ReadWith(const kv::FileSpec& fileSpec, Reader reader) {
    kv::DiskFile file;
    if (!file.Open(fileSpec, kv::DiskFile::OpenRead)) return;
    kv::CDIB image(16, 16, 8);
    if (reader) {
        reader(image, file);
    } else {
        image.ReadFrom(file);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A compressed file of a few bytes may claim any picture up to the memory limit and have
    // it filled in; 256 MB (8192 x 8192 at 32 bits) keeps each input within the fuzzer's
    // memory and time limits while every reader's path stays reachable.
    static const bool limited = [] {
        kv::SetPictureMemoryLimit(256);
        return true;
    }();
    (void)limited;
    const char* path = ScratchPath();
    if (!path) return 0;
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    kv::FileSpec fileSpec;
    fileSpec.SetPath(path);
    ReadWith(fileSpec, nullptr);
    ReadWith(fileSpec, kv::ReadBmp);
    ReadWith(fileSpec, kv::ReadTarga);
    ReadWith(fileSpec, kv::ReadTiff);
    ReadWith(fileSpec, kv::ReadPhotoshop);
    ReadWith(fileSpec, kv::ReadGdiplus);
    return 0;
}
