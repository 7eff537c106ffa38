// The fuzz targets of the readers that take a file by name (libtiff, libheif, libwebp): each input
// is written to a scratch file, made once per process and removed at exit, and read into an image
// that asks for upright pictures, so the orientation and profile steps run too. Any crash, hang,
// leak or out-of-bounds access is a finding; the result codes themselves are not checked. Pictures
// are held to "PictureMemoryLimit" 256 (8192 x 8192 at 32 bits), as in the picture target, so that
// each input stays within the fuzzer's memory and time limits.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/base/settings.h"
#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"

namespace kvfuzz {

using FileReader = kv::ImageReadResult (*)(kv::CDIB&, kv::DiskFile&);

inline const char* ScratchPath(const char* name) {
    static std::string path;
    static const bool made = [name] {
        std::string pattern = std::string("/tmp/kv-") + name + "-fuzz-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) return false;
        close(fd);
        path = pattern;
        std::atexit([] { unlink(path.c_str()); });
        return true;
    }();
    return made ? path.c_str() : nullptr;
}

inline int ReadThroughScratchFile(const char* name, const uint8_t* data, size_t size,
                                  FileReader read) {
    static const bool limited = [] {
        kv::SetPictureMemoryLimit(256);
        return true;
    }();
    (void)limited;
    const char* path = ScratchPath(name);
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
    read(image, file);
    return 0;
}

}  // namespace kvfuzz
