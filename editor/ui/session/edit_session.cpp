// The editing session; see edit_session.h.
#include "editor/ui/session/edit_session.h"

#include <algorithm>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"

namespace kv {

EditSession& Session() {
    // The one session of this process; see the thread rule in the header.
    static EditSession session;
    return session;
}

void EditSession::Attach(Show* show, Settings* settings) {
    show_ = show;
    settings_ = settings;
    listeners_.clear();
    commandKeys = nullptr;
    frameAtPointer = nullptr;
    keyTolerance = nullptr;
    dialogWindow = nullptr;
    fullQuality = true;
    camera = KeyFrame{};
    if (show_) show_->GetKey(0, 0, camera);
}

void EditSession::Detach() {
    Attach(nullptr, nullptr);
}

Settings& EditSession::Store() const {
    return settings_ ? *settings_ : TheSettings();
}

int EditSession::Subscribe(Listener listener) {
    const int id = nextId_++;
    listeners_.push_back(Entry{id, std::move(listener)});
    return id;
}

void EditSession::Unsubscribe(int id) {
    listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                    [id](const Entry& e) { return e.id == id; }),
                     listeners_.end());
}

void EditSession::Notify(uint32_t changes, const void* origin) {
    if (changes == 0) return;
    // A listener may subscribe or leave while it is told (a window made or destroyed by a
    // command); the ones present when the notice started are told, unless they left.
    const std::vector<Entry> now = listeners_;
    for (const Entry& e : now) {
        const bool present = std::any_of(listeners_.begin(), listeners_.end(),
                                         [&](const Entry& l) { return l.id == e.id; });
        if (present) e.listener(changes, origin);
    }
}

void EditSession::GoToFrame(int32_t frame, bool render) {
    if (!show_) return;
    camera = CameraAtFrame(*show_, frame, false);
    fullQuality = true;
    Notify(render ? ChangedFrame | ChangedCamera | RepaintViews : ChangedFrame);
}

void EditSession::CameraEdited(bool quality, const void* origin) {
    fullQuality = quality;
    Notify(ChangedCamera, origin);
    fullQuality = true;
}

uint32_t EditSession::Edit(const std::function<void(Show&)>& change) {
    if (!show_) return 0;
    change(*show_);
    show_->dirty = true;
    return 1;
}

void EditSession::BeginEdit() {}

uint32_t EditSession::CommitEdit() {
    return 0;
}

uint32_t EditSession::Undo() {
    return show_ && kv::Undo(*show_) ? 1 : 0;
}

uint32_t EditSession::Redo() {
    return show_ && kv::Redo(*show_) ? 1 : 0;
}

bool EditSession::CanUndo() const {
    return show_ && show_->undoCount > 0;
}

bool EditSession::CanRedo() const {
    return show_ && show_->redoCount > 0;
}

void EditSession::ForgetHistory() {}

int32_t EditSession::AddKeyTolerance() const {
    return keyTolerance ? keyTolerance() : KeyNearTolerance;
}

void EditSession::HandOnKey(uint32_t message, uint64_t wParam, int64_t lParam) const {
    if (commandKeys) commandKeys(message, wParam, lParam);
}

}  // namespace kv
