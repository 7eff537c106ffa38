// The public folder: where the settings file and the exchange file live.
//
// $KINEVISTA_PUBLIC when set, else $HOME/.local/share/Kinevista (created with mode 0700).
#pragma once

#include <string>

namespace kv {

std::string PublicFolder();
// PublicFolder() + "/" + name.
std::string PublicPath(const char* name);

}  // namespace kv
