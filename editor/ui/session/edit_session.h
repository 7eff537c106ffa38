// The editing session: the one place that holds what the editor is working on — the show, the
// current frame, the camera under edit, the selection and clipboard (kept in
// the show's editing fields), the settings store and the history of edits — and that tells the
// windows what changed. The stage, the timeline, the viewer and the status panel subscribe and
// repaint themselves; none of them reaches another window, so a change made anywhere (a frame
// moved by a command, a drag, playback or a dialog) reaches every view the same way.
//
// Thread rule: user-interface thread only, like every window of the editor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/base/records.h"
#include "platform/win/win.h"

namespace kv {

class Show;
class Settings;
class ShowEdits;

// What a change touched; listeners receive the union of the bits.
enum SessionChange : uint32_t {
    ChangedFrame = 1,       // the current frame moved: timecode box, timeline scroll position
    ChangedCamera = 2,      // the camera under edit changed: status panel, viewer picture
    ChangedKeys = 4,        // the keys or the show-wide options: timeline, stage path
    ChangedPicture = 8,     // the picture was loaded, prepared again or deleted
    ChangedSettings = 16,   // a setting a view shows (scale, safe area, aspect ...)
    ChangedEditState = 32,  // selection, clipboard or history: the Edit menu's greying
    EndDrags = 64,          // every view ends the drag it is performing
    RepaintViews = 128,     // every view paints itself again
    PointedFrame = 256,     // a drag points at a frame (pointedFrame) the timecode box names
};

// Private window message that ends a view's drag (both parameters 0); the views also take it
// from the session's EndDrags notice.
constexpr uint32_t MsgEndDrag = 1234532;

class EditSession {
public:
    EditSession();
    ~EditSession();
    using Listener = std::function<void(uint32_t changes, const void* origin)>;

    // The show and the settings store the session works on (start-up; the tests hand their own).
    // Attaching clears listeners and hooks left by an earlier run.
    void Attach(Show* show, Settings* settings);
    void Detach();
    Show* GetShow() const { return show_; }
    bool HasShow() const { return show_ != nullptr; }
    Show& TheShow() const { return *show_; }
    // The settings store of the editor: every window reads and writes its settings here.
    Settings& Store() const;

    // Listeners, called in the order they subscribed. The id unsubscribes.
    int Subscribe(Listener listener);
    void Unsubscribe(int id);
    // Tells every listener; origin is the window that made the change (it may skip its own).
    void Notify(uint32_t changes, const void* origin = nullptr);

    // The current frame. Only the session moves it (GoToFrame, PlayFrame, and the edits, Undo
    // and Redo that move the show's); the windows read it here. The show's editing operations
    // act at the show's own frame, which the session keeps in step with it.
    int32_t Frame() const;
    // Moves to a frame: the camera at that frame (clamped to the show, it becomes the current
    // frame) becomes the camera under edit; with render every view repaints at full quality,
    // without it only the timecode box and the timeline's scroll position follow.
    void GoToFrame(int32_t frame, bool render);
    // Playback's frame: not clamped (the play loop ends when it leaves the show) and nothing
    // rendered; the timecode box and the timeline follow when it moved.
    void PlayFrame(int32_t frame);
    // The camera under edit was changed by a window (a drag): the status panel and the viewer
    // show it, the viewer in draft while fullQuality is false.
    void CameraEdited(bool fullQuality, const void* origin);
    // A drag points at a frame that is not yet current (a key dragged on the timeline).
    void PointAtFrame(int32_t frame, const void* origin) {
        pointedFrame = frame;
        Notify(PointedFrame, origin);
    }
    // Every view repaints (after a command changed what they show).
    void RepaintAll() { Notify(ChangedCamera | RepaintViews); }

    // --- Edits ---------------------------------------------------------------------------------
    // One user action on the show, one undo step: runs change and, when the show's records
    // differ afterwards, keeps the step and marks the show changed. Returns what changed (the
    // EditChange bits of the show's edit history; 0 nothing). Undo and Redo also prepare the
    // picture again when a step changed it or its treatments, and write the settings of the
    // record they put back (WriteShowOptions), as the commands write them.
    // A drag is one Edit when it ends; a dialog runs before its Edit and hands it its result.
    uint32_t Edit(const std::function<void(Show&)>& change);
    uint32_t Undo();
    uint32_t Redo();
    bool CanUndo() const;
    bool CanRedo() const;
    size_t UndoSteps() const;
    // A new, opened or recovered show starts without history.
    void ForgetHistory();
    // Puts another show in place of the one being edited (New Show): replace makes it (and
    // leaves its unsaved mark as a new show has it); the history goes, the frame is the first
    // and every view hears of it.
    void ReplaceShow(const std::function<void(Show&)>& replace);
    // The camera under edit was turned or tilted: the show's picture is drawn by the renderer
    // that turns it from now on. A drawing hint, not a change to the show.
    void CameraTurned();

    // The tolerance of Add Key and Paste: the timeline's (so that the key it marks as selected
    // is the key adding replaces), the key-near tolerance when there is no timeline.
    int32_t AddKeyTolerance() const;

    // The camera under edit: the camera state of the current frame, changed by drags on the
    // stage and the keyboard before it becomes a key.
    KeyFrame camera{};
    // The quality the viewer renders the camera at (false during drags).
    bool fullQuality = true;
    int32_t pointedFrame = 0;

    // Services a window offers the others without their knowing it. Each is empty until the
    // window that offers it exists, and emptied when it goes.
    // Keys a view does not use go to the command keyboard (the main window's).
    std::function<void(uint32_t message, uint64_t wParam, int64_t lParam)> commandKeys;
    // The timeline's frame under a client x of a window, false when the window is not it (the
    // viewer's play loop moves playback to a click there).
    std::function<bool(HWND window, int clientX, int32_t* frame)> frameAtPointer;
    // The timeline's key tolerance.
    std::function<int32_t()> keyTolerance;
    // The window dialogs over the stage are drawn on (the stage itself).
    HWND dialogWindow = nullptr;
    // The aspect the menu last marked among its own rows (0 none): another aspect, set through
    // a dialog, leaves the mark where it was. The menu's state, kept here for its check marks.
    mutable int32_t aspectMarked = 0;

    // Hands a key message to the command keyboard.
    void HandOnKey(uint32_t message, uint64_t wParam, int64_t lParam) const;

private:
    struct Entry {
        int id;
        Listener listener;
    };
    uint32_t HistoryStep(bool undo);
    void SetFrame(int32_t frame);
    void AdoptFrame();

    Show* show_ = nullptr;
    int32_t frame_ = 0;
    std::unique_ptr<ShowEdits> edits_;
    Settings* settings_ = nullptr;
    std::vector<Entry> listeners_;
    int nextId_ = 1;
};

// The running editor's session: the one its application object owns and lends with UseSession
// while it lives; without one (code driven on its own, as the views' tests do) a stand-by
// session of this process. UI thread only.
EditSession& Session();
// The session Session() answers from now on; null goes back to the stand-by one.
void UseSession(EditSession* session);

}  // namespace kv
