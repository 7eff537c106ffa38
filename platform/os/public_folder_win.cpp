// The public folder on Windows: the system's known Public folder (C:\Users\Public), or
// $KINEVISTA_PUBLIC when set.
#include <windows.h>
// windows.h first: the shell headers need its types.
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdlib>

#include "platform/os/public_folder.h"
#include "platform/os/win_text.h"

namespace kv {

namespace {

// Creates each missing folder of path.
void MakeFolders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/' || path[i] == '\\') {
            const std::string part = path.substr(0, i);
            if (part.size() == 2 && part[1] == ':') continue;  // a drive
            CreateDirectoryW(os::Widen(part).c_str(), nullptr);
        }
    }
}

std::string KnownPublicFolder() {
    PWSTR path = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(FOLDERID_Public, 0, nullptr, &path) == S_OK && path)
        folder = os::Narrow(path);
    if (path) CoTaskMemFree(path);
    return folder.empty() ? std::string("C:\\Users\\Public") : folder;
}

}  // namespace

std::string PublicFolder() {
    std::string folder;
    // The variable's wide text: its narrow form is in the ANSI code page.
    if (const wchar_t* env = _wgetenv(L"KINEVISTA_PUBLIC"); env && *env) {
        folder = os::Narrow(env);
    } else {
        folder = KnownPublicFolder();
    }
    while (folder.size() > 3 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    MakeFolders(folder);
    return folder;
}

std::string PublicPath(const char* name) {
    std::string folder = PublicFolder();
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder + name;
}

}  // namespace kv
