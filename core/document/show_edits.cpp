// The edit history: records taken before and after each user action, compared field by field.
#include "core/document/show_edits.h"

#include <cstring>

#include "core/show/show.h"

namespace kv {
namespace {

bool SameFile(const FileSpec& a, const FileSpec& b) {
    return a.vRefNum == b.vRefNum && a.parID == b.parID && std::strcmp(a.path, b.path) == 0;
}

bool SameKeys(const Picture& a, const Picture& b) {
    if (a.keyCount != b.keyCount) return false;
    for (int k = 0; k < a.keyCount && k < MaxKeysPerPicture; ++k)
        if (!(a.keys[k] == b.keys[k])) return false;
    return true;
}

}  // namespace

ShowRecords RecordsOf(const Show& show) {
    ShowRecords r;
    for (int p = 0; p < MaxPictures; ++p) r.pictures[p] = show.pictures[p];
    r.pictureCount = show.pictureCount;
    r.length = show.length;
    r.options = show.Options();
    r.audio = show.audio;
    r.currentFrame = show.currentFrame;
    r.selectedKey = show.selectedKey;
    return r;
}

void RestoreRecords(Show& show, const ShowRecords& r) {
    for (int p = 0; p < MaxPictures; ++p) show.pictures[p] = r.pictures[p];
    show.pictureCount = r.pictureCount;
    show.length = r.length;
    show.Options() = r.options;
    show.audio = r.audio;
    show.currentFrame = r.currentFrame;
    show.selectedKey = r.selectedKey;
}

uint32_t ChangesBetween(const ShowRecords& a, const ShowRecords& b) {
    uint32_t changes = 0;
    if (a.pictureCount != b.pictureCount) changes |= ChangePicture | ChangeKeys;
    for (int p = 0; p < MaxPictures; ++p) {
        const Picture& pa = a.pictures[p];
        const Picture& pb = b.pictures[p];
        if (!SameFile(pa.fileSpec, pb.fileSpec) || pa.uprightOrientation != pb.uprightOrientation)
            changes |= ChangePicture;
        if (!SameKeys(pa, pb)) changes |= ChangeKeys;
    }
    if (a.length != b.length) changes |= ChangeKeys;
    const bool sameOptions = a.options == b.options && SameFile(a.audio, b.audio);
    if (!sameOptions) changes |= ChangeOptions;
    return changes;
}

void ShowEdits::MarkChanged() {
    // The one place a person's change marks the show unsaved: the operations on the show only
    // change it, and the history tells a change from the records.
    m_show->MarkChanged();
}

void ShowEdits::Attach(Show& show) {
    m_show = &show;
    Forget();
}

uint32_t ShowEdits::Apply(const std::function<void(Show&)>& change) {
    Begin();
    change(*m_show);
    return Commit();
}

void ShowEdits::Begin() {
    if (!m_open) m_open = RecordsOf(*m_show);
}

uint32_t ShowEdits::Commit() {
    if (!m_open) return 0;
    Step step{*m_open, RecordsOf(*m_show)};
    m_open.reset();
    const uint32_t changes = ChangesBetween(step.before, step.after);
    if (changes == 0) return 0;
    m_undo.push_back(step);
    if (m_undo.size() > MaxSteps) m_undo.pop_front();
    m_redo.clear();
    MarkChanged();
    return changes;
}

uint32_t ShowEdits::Undo() {
    if (m_undo.empty()) return 0;
    Step step = m_undo.back();
    m_undo.pop_back();
    // The state the step leaves is taken again, so that Redo also gives back what happened to
    // the frame and selection after the step.
    step.after = RecordsOf(*m_show);
    RestoreRecords(*m_show, step.before);
    m_redo.push_back(step);
    MarkChanged();
    return ChangesBetween(step.before, step.after);
}

uint32_t ShowEdits::Redo() {
    if (m_redo.empty()) return 0;
    Step step = m_redo.back();
    m_redo.pop_back();
    step.before = RecordsOf(*m_show);
    RestoreRecords(*m_show, step.after);
    m_undo.push_back(step);
    MarkChanged();
    return ChangesBetween(step.before, step.after);
}

void ShowEdits::Forget() {
    m_open.reset();
    m_undo.clear();
    m_redo.clear();
}

}  // namespace kv
