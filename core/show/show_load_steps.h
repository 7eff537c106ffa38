// What loading a show asks of the layers above the show model: each picture loaded and prepared,
// and frame 0 rendered once it is the current frame. The show file code takes these from its
// caller, so that it needs no renderer; core/render/show_loading.h gives the renderer's.
#pragma once

#include <cstdint>

#include "core/base/records.h"

namespace kv {

class Show;

struct ShowLoadSteps {
    // Loads picture `pictureIndex` from fileSpec into the show and applies its treatments.
    void (*preparePicture)(Show& show, const FileSpec& fileSpec, int pictureIndex,
                           int32_t startFrame) = nullptr;
    // Renders frame 0, the current frame, where nothing else shows it.
    void (*renderFirstFrame)(Show& show) = nullptr;
};

}  // namespace kv
