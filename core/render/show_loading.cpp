// The renderer's steps for loading a show.
#include "core/render/show_loading.h"

#include "core/render/render_frame.h"
#include "core/render/treatments.h"

namespace kv {

namespace {

constexpr int ScratchWidth = 160;  // frame 0 of a loaded show without a viewer
constexpr int ScratchHeight = 120;

void RenderIntoScratch(Show& show) {
    // No viewer to draw into: frame 0 still goes through the renderer once.
    CDIB scratch(ScratchWidth, ScratchHeight, 32);
    RenderFrame(show, 0, 0, false, ScratchWidth, ScratchHeight, &scratch, false);
}

}  // namespace

const ShowLoadSteps& RenderingShowLoadSteps() {
    static const ShowLoadSteps steps{&PrepPicture, &RenderIntoScratch};
    return steps;
}

}  // namespace kv
