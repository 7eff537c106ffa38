// The layer's file dialog answered by the desktop's own dialog through the file chooser portal.
#pragma once

#include <string>
#include <vector>

#include "platform/win/win.h"

namespace kv {

// Shows the desktop's dialog for `request`, over the owner whose system handle is `parent`
// ("x11:<hex>", or empty), keeping the program's windows painted while it is up. False when no
// portal answers (the caller shows its own dialog then, as it does when KINEVISTA_NO_PORTAL is
// set); otherwise true with `ok` and `paths` set: a save name typed without an extension takes
// the chosen type's.
bool AskThroughPortal(const FileDialogRequest& request, const std::string& parent,
                      std::vector<std::string>* paths, bool* ok);

}  // namespace kv
