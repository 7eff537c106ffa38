// The decoders' files, opened by UTF-8 name on every system.
#include "platform/codecs/codec_file.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#endif

namespace kv {

std::FILE* OpenCodecFile(const char* path) {
    if (!path || !*path) return nullptr;
#ifdef _WIN32
    const int n = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    if (n <= 0) return nullptr;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), n);
    return _wfopen(wide.c_str(), L"rb");
#else
    return std::fopen(path, "rb");
#endif
}

}  // namespace kv
