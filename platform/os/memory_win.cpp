// Physical memory through the system's memory status.
#include "platform/os/memory.h"

#include <windows.h>

namespace kv {

uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return status.ullTotalPhys;
}

// Large pages need a privilege on Windows; blocks keep the normal ones.
void AdviseLargePages(void*, size_t) {}

}  // namespace kv
