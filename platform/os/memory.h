// How much memory the machine has, for sizing what a program may take for one picture, and how
// large blocks are backed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

// The machine's physical memory in bytes; 0 when the system does not say.
uint64_t PhysicalMemoryBytes();

// Asks the system to back the whole pages of a large, not yet touched block with large pages.
// A picture of tens of megabytes is otherwise faulted in 4 KiB at a time as it is first written,
// which costs as much as decoding it. Only a hint: nothing changes where it is not honoured.
void AdviseLargePages(void* block, size_t bytes);

}  // namespace kv
