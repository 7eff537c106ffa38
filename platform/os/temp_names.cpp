// Recognising the temporary names of AtomicFile (see atomic_file.h) without knowing the target
// they were made for, so that the leftovers of killed writers can be found by any later write
// into their folder. Shared by the POSIX and Windows builds; TempNameFor is each build's own.
#include <cctype>
#include <string>

#include "platform/os/atomic_file.h"

namespace kv::os {

bool IsTempName(const std::string& fileName) {
    // "." stem "~kv" 8 hex "-" 6 random ext: the stem may itself hold "~kv", so every place is
    // tried, and a candidate counts only when the pattern of the name it implies is this one.
    constexpr size_t HashEnd = 3 + 8 + 1, Random = 6;
    if (fileName.empty() || fileName[0] != '.') return false;
    for (size_t at = fileName.find("~kv", 1); at != std::string::npos;
         at = fileName.find("~kv", at + 1)) {
        if (fileName.size() < at + HashEnd + Random) break;
        bool hex = fileName[at + HashEnd - 1] == '-';
        for (size_t i = at + 3; hex && i < at + 11; ++i)
            hex = std::isxdigit(static_cast<unsigned char>(fileName[i])) != 0;
        if (!hex) continue;
        const std::string ext = fileName.substr(at + HashEnd + Random);
        const std::string original = fileName.substr(1, at - 1) + ext;
        const TempNameParts parts = TempNameFor(original);
        if (parts.suffix == ext && fileName.compare(0, at + HashEnd, parts.prefix) == 0)
            return true;
    }
    return false;
}

}  // namespace kv::os
