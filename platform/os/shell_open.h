// Opening a document with the program the desktop has for it: the shell's "open" verb on
// Windows, xdg-open on a Linux desktop.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

// Asks the desktop to open `document` without waiting for it; `ownerWindow` (a native window
// handle, 0 for none) owns any message the shell shows. False when there is no desktop to ask,
// the document is missing, or no program takes it.
bool ShellOpen(const std::string& document, uintptr_t ownerWindow = 0);

// Whether a Linux display has something xdg-open can hand a document to: a desktop session
// (which has its own opener), the user's BROWSER, or one of the graphical browsers it tries by
// name. Without any of them xdg-open only fails after ShellOpen has returned, where nobody sees it.
bool DesktopCanOpen();

// A stand-in for the desktop, for tests and scripted runs: while a hook is set, ShellOpen hands
// an existing document to it instead of the shell and returns its answer. Null restores the
// shell.
using ShellOpenHookFn = bool (*)(const std::string& document, uintptr_t ownerWindow);
void SetShellOpenHook(ShellOpenHookFn hook);
ShellOpenHookFn ShellOpenHook();

}  // namespace kv
