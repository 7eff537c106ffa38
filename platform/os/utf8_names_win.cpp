// UTF-8 names on Windows: converted to UTF-16 for the wide-character calls, so that no name
// passes through the ANSI code page.
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>
#include <stdio.h>

#include "platform/os/utf8_names.h"
#include "platform/os/win_text.h"

namespace kv::os {

namespace {

// The ANSI code page of the system's locale, which older Windows programs stored names in. The
// process's own may be UTF-8 (the manifest asks for it), so the locale is asked.
UINT LegacyCodePage() {
    static const UINT codePage = [] {
        DWORD value = 0;
        const int got = GetLocaleInfoW(
            LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
            reinterpret_cast<LPWSTR>(&value), sizeof value / sizeof(wchar_t));
        return got > 0 && value != 0 && value != CP_UTF8 ? static_cast<UINT>(value) : 1252u;
    }();
    return codePage;
}

// A name for the wide-character calls: UTF-8, or, when its bytes are not UTF-8 (a path kept in a
// show by an older program), the system's ANSI code page, as that program meant it.
std::wstring WideName(const std::string& path) {
    if (path.empty()) return {};
    const int size = static_cast<int>(path.size());
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0) > 0)
        return Widen(path);
    const UINT codePage = LegacyCodePage();
    const int n = MultiByteToWideChar(codePage, 0, path.data(), size, nullptr, 0);
    if (n <= 0) return Widen(path);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, path.data(), size, out.data(), n);
    return out;
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
    if (path.empty() || !mode) return nullptr;
    // Handles opened here are not passed to the programs we start (CreateProcessW without
    // inheritance), so "e" has nothing to ask for; _wfopen would refuse it.
    std::wstring wideMode;
    for (const char* m = mode; *m; ++m)
        if (*m != 'e') wideMode += static_cast<wchar_t>(*m);
    return _wfopen(WideName(path).c_str(), wideMode.c_str());
}

bool PathExists(const std::string& path) {
    return !path.empty() && GetFileAttributesW(WideName(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::filesystem::path FsPath(const std::string& path) {
    return std::filesystem::path(WideName(path));
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
