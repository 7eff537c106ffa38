#include "platform/os/public_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace kv {

namespace {
// Creates each missing folder of path with mode 0700.
void MakeFolders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
        }
    }
}
}  // namespace

std::string PublicFolder() {
    std::string folder;
    if (const char* env = std::getenv("KINEVISTA_PUBLIC"); env && *env) {
        folder = env;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home && *home ? home : "/tmp") + "/.local/share/Kinevista";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    MakeFolders(folder);
    return folder;
}

std::string PublicPath(const char* name) {
    return PublicFolder() + "/" + name;
}

}  // namespace kv
