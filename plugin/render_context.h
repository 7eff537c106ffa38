// The per-instance render context of the effect: its own show, the change stamp of the
// "PrivateData" block it was loaded from, and the settings read when it was made.
#pragma once

#include <cstdint>

#include "core/base/settings.h"
#include "core/show/show.h"

namespace kvplugin {

struct RenderContext {
    // The show-wide values and "IgnoreAlpha" from the store the context was made with.
    explicit RenderContext(const kv::Settings& settings)
        : show(settings), ignoreAlpha(settings.ReadInt("IgnoreAlpha", 1) != 0) {}

    kv::Show show;            // length 1800 for the context's life
    uint16_t lastStamp = 0;   // bytes 2..3 of the block last loaded; 0 before the first load
    bool ignoreAlpha = true;  // "IgnoreAlpha"
    // The frame image, kept between frames so that a run of frames of one size does not
    // allocate (and fault in) a new image every time.
    kv::CDIB frame{8, 8, 32};
};

// Loads the settings file and makes a context (null when it cannot be allocated).
RenderContext* MakeRenderContext();
// Parses the block into the context's show when its stamp or the show's length says it
// changed; true when it did.
bool RefreshShow(RenderContext& context, const uint8_t* block);
// The alpha blend of one row: colour = input * (1 - a) + rendered * a, alpha 128.
void BlendOver(const uint8_t* rendered, const uint8_t* input, uint8_t* out, int32_t pixels);

}  // namespace kvplugin
