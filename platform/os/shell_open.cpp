// ShellOpen over xdg-open, when a display is there to show the document on.
#include "platform/os/shell_open.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/os/process.h"

namespace kv {

bool ShellOpen(const std::string& document, uintptr_t ownerWindow) {
    if (document.empty() || ::access(document.c_str(), R_OK) != 0) return false;
    if (ShellOpenHookFn hook = ShellOpenHook()) return hook(document, ownerWindow);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
    for (const char* opener : {"/usr/bin/xdg-open", "/usr/local/bin/xdg-open"}) {
        if (::access(opener, X_OK) == 0 && StartProcess(opener, {document}) > 0) return true;
    }
    return false;
}

}  // namespace kv
