// Opening a picture file for the decoders by its UTF-8 name.
#pragma once

#include <cstdio>

namespace kv {

// fopen(path, "rb") of a UTF-8 name. On Windows the name goes to the wide-character call, so
// it never passes through the process's ANSI code page (where "Straße" or "中文" may not exist);
// a name whose bytes are not UTF-8 is read in the system's ANSI code page, as the older program
// that kept it in a show meant it.
std::FILE* OpenCodecFile(const char* path);

}  // namespace kv
