// UTF-8 names on Windows: converted to UTF-16 for the wide-character calls, so that no name
// passes through the ANSI code page.
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>
#include <stdio.h>

#include "platform/os/utf8_names.h"
#include "platform/os/win_text.h"

namespace kv::os {

std::FILE* OpenFile(const std::string& path, const char* mode) {
    if (path.empty() || !mode) return nullptr;
    // Handles opened here are not passed to the programs we start (CreateProcessW without
    // inheritance), so "e" has nothing to ask for; _wfopen would refuse it.
    std::wstring wideMode;
    for (const char* m = mode; *m; ++m)
        if (*m != 'e') wideMode += static_cast<wchar_t>(*m);
    return _wfopen(Widen(path).c_str(), wideMode.c_str());
}

bool PathExists(const std::string& path) {
    return !path.empty() && GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::filesystem::path FsPath(const std::string& path) {
    return std::filesystem::path(Widen(path));
}

std::string Utf8Name(const std::filesystem::path& path) {
    return Narrow(path.wstring());
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    // The wide command line is split by the same rules as the C library's: when the two
    // disagree on the count (or the call fails) the C library's arguments are kept.
    if (!wide || count != argc) {
        if (wide) LocalFree(wide);
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return out;
}

}  // namespace kv::os
