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

}  // namespace kv
