// Opening a picture file for the decoders by its UTF-8 name.
#pragma once

#include <cstdio>

namespace kv {

// fopen(path, "rb") of a UTF-8 name. On Windows the name goes to the wide-character call, so
// it never passes through the ANSI code page (where "Straße" or "中文" may not exist).
std::FILE* OpenCodecFile(const char* path);

}  // namespace kv
