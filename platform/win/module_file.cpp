// The running program's path on Linux, from the process's own link.
#include <unistd.h>

#include "platform/win/win.h"

namespace kv {

std::string GetModuleFileName() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return std::string();
    return std::string(self, static_cast<size_t>(n));
}

}  // namespace kv
