// The editor's program-wide state: the one show, the four windows and the values every window
// reads (current frame and frame rate live in the show; see core/show/show.h).
//
// Thread rule: UI thread only. Every window procedure, command, dialog and the play loop run on
// the one user-interface thread; the band renderer's worker thread never touches this. The
// pointers are set by the windows' Create and cleared when they are destroyed; the show is set
// by start-up before the main window exists and lives until after it is gone.
#pragma once

#include <cstdint>

namespace kv {

class Show;
class CMain;
class CStage;
class CTime;
class CView;

// Private message sent to the stage and the timeline to end any drag they are performing
// (both parameters 0).
constexpr uint32_t MsgEndDrag = 1234532;

struct EditorContext {
    Show* show = nullptr;
    CMain* main = nullptr;
    CStage* stage = nullptr;
    CTime* timeline = nullptr;
    CView* viewer = nullptr;
};

// The one context of this process.
EditorContext& Editor();

// Moves the editor to a frame: the camera at that frame (clamped to the show, it becomes the
// current frame) becomes the stage's camera; with render the viewer renders it at full quality,
// the stage repaints, the timeline keeps the frame visible, the status panel follows and the
// viewer's timecode box names the frame (with or without render).
void GoToFrame(int32_t frame, bool render);

// The tolerance of Add Key and Paste: the timeline's, so that the key it marks as selected is
// the key that adding replaces; the key-near tolerance when there is no timeline.
int32_t AddKeyTolerance();

}  // namespace kv
