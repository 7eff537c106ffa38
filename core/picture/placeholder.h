// The placeholder picture shown in place of a picture file that cannot be found.
#pragma once

#include "core/picture/cdib.h"

namespace kv {

// Fills `out` with the 160 x 120 placeholder; false when the image cannot be created.
bool LoadPlaceholder(CDIB& out);

}  // namespace kv
