// UTF-8 names where the system's names are bytes: they are passed on as they are.
#include "platform/os/utf8_names.h"

#include <unistd.h>

namespace kv::os {

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool PathExists(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), F_OK) == 0;
}

std::filesystem::path FsPath(const std::string& path) {
    return std::filesystem::path(path);
}

std::string Utf8Name(const std::filesystem::path& path) {
    return path.string();
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace kv::os
