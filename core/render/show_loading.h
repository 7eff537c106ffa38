// The renderer's part in loading a show: the steps every program installs at start-up with
// SetShowLoadSteps (core/document/show_file.h).
#pragma once

#include "core/show/show_load_steps.h"

namespace kv {

// PrepPicture for each picture, and frame 0 rendered once into a small scratch image.
const ShowLoadSteps& RenderingShowLoadSteps();

}  // namespace kv
