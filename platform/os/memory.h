// How much memory the machine has, for sizing what a program may take for one picture.
#pragma once

#include <cstdint>

namespace kv {

// The machine's physical memory in bytes; 0 when the system does not say.
uint64_t PhysicalMemoryBytes();

}  // namespace kv
