// The editor's one context and the move to a frame that every window and command uses.
#include "editor/ui/editor_context.h"

#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "editor/ui/main_window.h"
#include "editor/ui/stage.h"
#include "editor/ui/timeline.h"
#include "editor/ui/viewer.h"

namespace kv {

EditorContext& Editor() {
    // The one editor of this process; see the thread rule in the header.
    static EditorContext context;
    return context;
}

void GoToFrame(int32_t frame, bool render) {
    EditorContext& e = Editor();
    if (!e.show) return;
    KeyFrame camera = CameraAtFrame(*e.show, frame, false);
    if (e.stage) e.stage->camera = camera;
    // The timecode box names the current frame whatever moved it; the viewer's own paint is not
    // reached when the stage repaints, so the box is drawn here.
    if (e.viewer && e.viewer->hwnd) e.viewer->DrawTimecode(e.show->currentFrame);
    if (render) {
        // The stage's paint also draws the status panel and lets the viewer render.
        if (e.stage && e.stage->hwnd)
            e.stage->Redraw();
        else if (e.viewer && e.viewer->hwnd)
            e.viewer->DrawPicture(true);
    }
    if (e.timeline && e.timeline->hwnd) e.timeline->KeepCurrentFrameVisible();
}

int32_t AddKeyTolerance() {
    const EditorContext& e = Editor();
    return e.timeline ? e.timeline->KeyTolerance() : KeyNearTolerance;
}

}  // namespace kv
