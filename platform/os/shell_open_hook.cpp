// The stand-in for the desktop that ShellOpen consults before the shell, on every system: tests
// set it to see what would have been opened without starting a browser.
#include "platform/os/shell_open.h"

namespace kv {

namespace {
ShellOpenHookFn g_hook = nullptr;  // set and read on the user-interface thread
}

void SetShellOpenHook(ShellOpenHookFn hook) {
    g_hook = hook;
}

ShellOpenHookFn ShellOpenHook() {
    return g_hook;
}

}  // namespace kv
