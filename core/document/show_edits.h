// ShowEdits: the one way a person's edits reach a show. Every user action runs through Apply
// (or Begin … Commit when it spans several events, such as a drag) and becomes one undo step:
// the show's document records before and after are kept, `dirty` is set here and nowhere else,
// and the caller learns what changed so that it can repaint or prepare the picture again.
//
// The history keeps whole records rather than per-key differences: a show holds one picture of
// at most 64 keys, so a step is a few kilobytes, and an action that changes many keys (ripple,
// Delete All Keys, Match Moves, an option dialog) is taken back by one Undo. The older per-key
// ring of show_editing.h is still filled by the operations that always did; it is not what this
// history undoes.
//
// Thread rule: the editor's UI thread only, like the show it edits.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "core/base/records.h"
#include "core/show/show_options.h"

namespace kv {

class Show;

// What an edit, Undo or Redo changed (bits).
enum EditChange : uint32_t {
    ChangeKeys = 1,     // keys, their times or the show's length
    ChangePicture = 2,  // the picture reference (prepare the picture again)
    ChangeOptions = 4,  // the show-wide options (ShowOptions) or the sound
};

// The parts of a show an edit can change, plus where the person was (frame and selected key,
// restored with the step but not counted as a change).
struct ShowRecords {
    Picture pictures[MaxPictures] = {};
    int32_t pictureCount = 0;
    int32_t length = 0;
    ShowOptions options;
    FileSpec audio;

    int32_t currentFrame = 0;
    int32_t selectedKey = 0;
};

ShowRecords RecordsOf(const Show& show);
// Puts records back into a show (every field above, the frame and the selection included).
void RestoreRecords(Show& show, const ShowRecords& records);
// What differs between two records (0 when the document is the same).
uint32_t ChangesBetween(const ShowRecords& a, const ShowRecords& b);

class ShowEdits {
public:
    // Steps kept; the oldest is forgotten beyond it.
    static constexpr size_t MaxSteps = 256;

    explicit ShowEdits(Show& show) : m_show(&show) {}

    // Edits another show object from now on (the history is forgotten).
    void Attach(Show& show);

    // One user action: runs change on the show and, when the records differ afterwards, keeps
    // the step, clears the redo steps and sets dirty. Returns what changed (0: nothing kept).
    uint32_t Apply(const std::function<void(Show&)>& change);

    // The same in two calls, for an action that spans several events. A Begin while a step is
    // open keeps the first before-state; Commit without Begin does nothing.
    void Begin();
    uint32_t Commit();
    bool Open() const { return m_open.has_value(); }

    // Take back / do again the last step. Returns what changed, 0 when there is nothing to do.
    uint32_t Undo();
    uint32_t Redo();
    bool CanUndo() const { return !m_undo.empty(); }
    bool CanRedo() const { return !m_redo.empty(); }
    size_t UndoSteps() const { return m_undo.size(); }

    // A new, opened or recovered show starts without history.
    void Forget();

private:
    struct Step {
        ShowRecords before;
        ShowRecords after;
    };

    void MarkChanged();

    Show* m_show;
    std::optional<ShowRecords> m_open;
    std::deque<Step> m_undo;
    std::deque<Step> m_redo;
};

}  // namespace kv
