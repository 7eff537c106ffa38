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
    // A name that is not UTF-8 was kept by an older program in the system's ANSI code page (the
    // locale's: this process's own may be UTF-8).
    UINT codePage = CP_UTF8;
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0) <= 0) {
        DWORD value = 0;
        codePage = GetLocaleInfoW(
                       LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&value), sizeof value / sizeof(wchar_t)) > 0 &&
                           value != 0 && value != CP_UTF8
                       ? static_cast<UINT>(value)
                       : 1252u;
    }
    const int n = MultiByteToWideChar(codePage, 0, path, -1, nullptr, 0);
    if (n <= 0) return nullptr;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, path, -1, wide.data(), n);
    return _wfopen(wide.c_str(), L"rb");
#else
    return std::fopen(path, "rb");
#endif
}

}  // namespace kv
