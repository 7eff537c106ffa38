// FFmpeg's libraries opened on first use.
#include "platform/video/ffmpeg.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace kv::video {
namespace {

constexpr int kLibraries = 5;

struct Opened {
    std::once_flag once;
    void* handle = nullptr;
    std::string error;
};

Opened& Slot(FfmpegLibrary library) {
    static Opened opened[kLibraries];
    return opened[static_cast<int>(library)];
}

void* Open(FfmpegLibrary library, std::string* why) {
    Opened& o = Slot(library);
    std::call_once(o.once, [&] {
        // Bound now: a missing entry shows when the library opens, not in the middle of a movie.
        o.handle = dlopen(FfmpegLibraryName(library), RTLD_NOW | RTLD_LOCAL);
        if (!o.handle) {
            const char* e = dlerror();
            o.error = e ? e : std::string(FfmpegLibraryName(library)) + " does not open";
        }
    });
    if (!o.handle && why) *why = o.error;
    return o.handle;
}

}  // namespace

const char* FfmpegLibraryName(FfmpegLibrary library) {
    switch (library) {
        case FfmpegLibrary::avutil:
            return "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR);
        case FfmpegLibrary::swresample:
            return "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR);
        case FfmpegLibrary::swscale:
            return "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR);
        case FfmpegLibrary::avcodec:
            return "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR);
        case FfmpegLibrary::avformat:
            return "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR);
    }
    return "";
}

bool FfmpegAvailable(std::string* why) {
    for (int i = 0; i < kLibraries; ++i)
        if (!Open(static_cast<FfmpegLibrary>(i), why)) return false;
    return true;
}

std::string FfmpegMissing(const std::string& why) {
    return "FFmpeg's libraries do not open (" + why + ")";
}

void* FfmpegEntry(FfmpegLibrary library, const char* name) {
    std::string why;
    void* handle = Open(library, &why);
    void* entry = handle ? dlsym(handle, name) : nullptr;
    if (!entry) {
        std::fprintf(
            stderr, "Kinevista cannot use FFmpeg: %s\n",
            handle ? (std::string(name) + " is missing from " + FfmpegLibraryName(library)).c_str()
                   : why.c_str());
        std::abort();
    }
    return entry;
}

}  // namespace kv::video
