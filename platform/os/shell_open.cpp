// ShellOpen over xdg-open, when a display is there to show the document on and something on it
// can show a document.
#include "platform/os/shell_open.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/os/process.h"

namespace kv {

namespace {

// True when `program` is an executable in one of the PATH folders.
bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t colon = folders.find(':', start);
        if (colon == std::string::npos) colon = folders.size();
        std::string folder = folders.substr(start, colon - start);
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
        start = colon + 1;
    }
    return false;
}

}  // namespace

bool DesktopCanOpen() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    const char* browser = std::getenv("BROWSER");
    if ((desktop && *desktop) || (browser && *browser)) return true;
    for (const char* name :
         {"x-www-browser", "firefox", "firefox-esr", "chromium", "chromium-browser",
          "google-chrome", "epiphany", "konqueror", "seamonkey", "falkon", "qutebrowser"})
        if (OnPath(name)) return true;
    return false;
}

bool ShellOpen(const std::string& document, uintptr_t ownerWindow) {
    if (document.empty() || ::access(document.c_str(), R_OK) != 0) return false;
    if (ShellOpenHookFn hook = ShellOpenHook()) return hook(document, ownerWindow);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
    if (!DesktopCanOpen()) return false;
    for (const char* opener : {"/usr/bin/xdg-open", "/usr/local/bin/xdg-open"}) {
        if (::access(opener, X_OK) == 0 && StartProcess(opener, {document}) > 0) return true;
    }
    return false;
}

}  // namespace kv
