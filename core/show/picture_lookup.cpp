// The picture look-up for shows that were moved together with their picture.
#include "core/show/picture_lookup.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/os/utf8_names.h"

namespace kv {

namespace {

// A path that names its own root: "/x", "\x", "\\server\x" or a drive "C:...". Only the others
// are taken relative to the show's folder.
bool IsRooted(const char* path) {
    if (path[0] == '/' || path[0] == '\\') return true;
    const char c = path[0];
    return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':';
}

bool IsFile(const std::string& path) {
    std::error_code ignored;
    const auto status = std::filesystem::status(os::FsPath(path), ignored);
    return std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// The folder and a relative path joined; a folder that already ends in a separator gets none.
std::string Join(const std::string& folder, const std::string& relative) {
    if (folder.empty()) return relative;
    const char last = folder.back();
#ifdef _WIN32
    const bool separated = last == '/' || last == '\\' || last == ':';
#else
    const bool separated = last == '/';
#endif
    return separated ? folder + relative : folder + "/" + relative;
}

// A candidate is tried only when it fits a file reference whole: a path cut short would name
// some other file.
bool Fits(const std::string& path) {
    return !path.empty() && path.size() < sizeof(FileSpec{}.path);
}

}  // namespace

std::string StoredFileName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == ':' || *p == '/') name = p + 1;
    return name;
}

std::string FolderOfShowFile(const std::string& showPath) {
#ifdef _WIN32
    const size_t slash = showPath.find_last_of("/\\:");
#else
    const size_t slash = showPath.find_last_of('/');
#endif
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return showPath.substr(0, slash);
}

FileSpec LocatePicture(const FileSpec& stored, const std::string& showFolder) {
    const char* path = stored.path;
    if (!*path || showFolder.empty() || IsFile(path)) return stored;

    std::string relative;
    if (!IsRooted(path)) {
        relative = path;
#ifndef _WIN32
        // A relative path saved on Windows names its folders with "\".
        for (char& c : relative)
            if (c == '\\') c = '/';
#endif
        relative = Join(showFolder, relative);
    }
    const std::string name = StoredFileName(path);
    const std::string beside = name.empty() ? std::string() : Join(showFolder, name);
    for (const std::string* candidate : {static_cast<const std::string*>(&relative), &beside}) {
        if (Fits(*candidate) && IsFile(*candidate)) {
            FileSpec found = stored;
            found.SetPath(candidate->c_str());
            return found;
        }
    }
    return stored;
}

}  // namespace kv
