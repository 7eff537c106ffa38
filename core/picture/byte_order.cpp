#include "core/picture/byte_order.h"

#include <algorithm>

namespace kv {

uint32_t ReadPackedInt(const uint8_t* bytes, int count, bool bigEndian) {
    if (!bytes || count <= 0) return 0;
    if (count > 4) count = 4;
    uint32_t v = 0;
    for (int i = 0; i < count; ++i) {
        const int k = bigEndian ? i : count - 1 - i;
        v = (v << 8) | bytes[k];
    }
    return v;
}

void ReverseBytes(void* bytes, int count) {
    if (!bytes || count <= 1) return;
    auto* p = static_cast<uint8_t*>(bytes);
    std::reverse(p, p + count);
}

}  // namespace kv
