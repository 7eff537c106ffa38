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

}  // namespace kv
