// The editing session; see edit_session.h.
#include "editor/ui/session/edit_session.h"

#include <algorithm>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/document/show_edits.h"
#include "core/picture/alert.h"
#include "core/render/treatments.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"

namespace kv {

namespace {

// The session the running editor's application object lends (null when none runs).
EditSession*& LentSession() {
    static EditSession* lent = nullptr;
    return lent;
}

}  // namespace

EditSession& Session() {
    if (EditSession* lent = LentSession()) return *lent;
    static EditSession standBy;
    return standBy;
}

void UseSession(EditSession* session) {
    LentSession() = session;
}

EditSession::EditSession() = default;
EditSession::~EditSession() = default;

void EditSession::Attach(Show* show, Settings* settings) {
    show_ = show;
    edits_ = show ? std::make_unique<ShowEdits>(*show) : nullptr;
    settings_ = settings;
    // A setting that does not fit in the store is told, naming it, rather than lost unseen.
    if (settings_)
        settings_->SetWriteRefusedHandler(
            [](const std::string& key) { Alert(WriteRefusedMessage(key).c_str()); });
    listeners_.clear();
    commandKeys = nullptr;
    frameAtPointer = nullptr;
    keyTolerance = nullptr;
    dialogWindow = nullptr;
    fullQuality = true;
    camera = KeyFrame{};
    frame_ = show_ ? show_->currentFrame : 0;
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

int32_t EditSession::Frame() const {
    return show_ ? frame_ : 0;
}

void EditSession::SetFrame(int32_t frame) {
    frame_ = frame;
    // The show's editing operations (Add Key, Paste ...) act at the show's own frame, and the
    // history keeps it with each step: it follows the session's.
    show_->currentFrame = frame;
}

void EditSession::AdoptFrame() {
    // An edit may move the frame (Add Key without auto-add steps one second on) and a history
    // step puts back the frame it was taken at.
    if (show_) frame_ = show_->currentFrame;
}

void EditSession::GoToFrame(int32_t frame, bool render) {
    if (!show_) return;
    SetFrame(ClampFrame(*show_, frame));
    camera = CameraAt(*show_, frame, false);
    fullQuality = true;
    Notify(render ? ChangedFrame | ChangedCamera | RepaintViews : ChangedFrame);
}

void EditSession::PlayFrame(int32_t frame) {
    if (!show_ || frame_ == frame) return;
    SetFrame(frame);
    Notify(ChangedFrame);
}

void EditSession::CameraEdited(bool quality, const void* origin) {
    fullQuality = quality;
    Notify(ChangedCamera, origin);
    fullQuality = true;
}

uint32_t EditSession::Edit(const std::function<void(Show&)>& change) {
    if (!show_ || !edits_) return 0;
    // The edit acts at the session's frame, whatever else wrote the show's.
    show_->currentFrame = frame_;
    const uint32_t changes = edits_->Apply(change);
    AdoptFrame();
    return changes;
}

uint32_t EditSession::HistoryStep(bool undo) {
    if (!show_ || !edits_) return 0;
    Show& show = *show_;
    // The step keeps the frame it leaves (for Redo) from the session's.
    show.currentFrame = frame_;
    const ShowOptions before = show.Options();
    const uint32_t changes = undo ? edits_->Undo() : edits_->Redo();
    if ((changes & ChangePicture) || TreatmentsDiffer(before, show.Options())) {
        // Preparing reads the picture file and frames a lone first key anew: the records the
        // step restored are put back over what preparing did to them.
        const ShowRecords restored = RecordsOf(show);
        for (int i = 0; i < show.pictureCount && i < MaxPictures; ++i)
            PrepPicture(show, show.pictures[i].fileSpec, i, show.PictureStart(i));
        RestoreRecords(show, restored);
    }
    // The settings follow the record the step put back, as the commands that change an option
    // write its setting.
    if (changes & ChangeOptions) WriteShowOptions(show.Options(), Store());
    AdoptFrame();
    if (changes) camera = CameraAt(show, frame_, false);
    return changes;
}

uint32_t EditSession::Undo() {
    return HistoryStep(true);
}

uint32_t EditSession::Redo() {
    return HistoryStep(false);
}

bool EditSession::CanUndo() const {
    return edits_ && edits_->CanUndo();
}

bool EditSession::CanRedo() const {
    return edits_ && edits_->CanRedo();
}

size_t EditSession::UndoSteps() const {
    return edits_ ? edits_->UndoSteps() : 0;
}

void EditSession::ForgetHistory() {
    if (edits_) edits_->Forget();
}

void EditSession::ReplaceShow(const std::function<void(Show&)>& replace) {
    if (!show_) return;
    replace(*show_);
    ForgetHistory();
    GoToFrame(0, true);
    Notify(ChangedKeys | ChangedPicture | ChangedEditState);
}

void EditSession::CameraTurned() {
    if (show_) show_->rotationInUse = true;
}

int32_t EditSession::AddKeyTolerance() const {
    return keyTolerance ? keyTolerance() : KeyNearTolerance;
}

void EditSession::HandOnKey(uint32_t message, uint64_t wParam, int64_t lParam) const {
    if (commandKeys) commandKeys(message, wParam, lParam);
}

}  // namespace kv
