// Packed integers in either byte order.
#pragma once

#include <cstdint>

namespace kv {

// The unsigned value of 1 to 4 bytes; the first byte is most significant when bigEndian.
uint32_t ReadPackedInt(const uint8_t* bytes, int count, bool bigEndian);

// Reverses count bytes in place (fields written in the other byte order).
void ReverseBytes(void* bytes, int count);

}  // namespace kv
