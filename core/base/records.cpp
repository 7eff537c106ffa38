// File references.
#include "core/base/records.h"

namespace kv {

void FileSpec::SetPath(const char* p) {
    vRefNum = 9991;
    parID = 9991;
    std::memset(path, 0, sizeof path);
    if (p) std::strncpy(path, p, sizeof path - 1);
}

}  // namespace kv
