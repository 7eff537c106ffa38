// Physical memory through sysconf.
#include "platform/os/memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace kv {

uint64_t PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

void AdviseLargePages(void* block, size_t bytes) {
    const long page = sysconf(_SC_PAGESIZE);
    if (!block || page <= 0) return;
    const uintptr_t p = static_cast<uintptr_t>(page);
    const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + p - 1) / p * p;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) / p * p;
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace kv
