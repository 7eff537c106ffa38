// Show editing: keys, clipboard, undo ring, Match Moves, default ease and Uniform Speed.
#include "core/document/show_editing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/base/settings.h"
#include "core/render/treatments.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"

namespace kv {

namespace {

// Ring records whose key moved when the keys were sorted after the edit: applying such a
// record sorts the keys again and follows the key to its new place, so that undo and redo stay
// exact. Kept in the high bit of undoPicture; the ring is never stored.
constexpr uint16_t ResortFlag = 0x8000;

int RecordPicture(const KeyFrame& r) {
    return r.undoPicture & ~ResortFlag;
}

bool SameKey(const KeyFrame& a, const KeyFrame& b) {
    KeyFrame x = a, y = b;
    x.undoPicture = y.undoPicture = 0;
    x.undoOp = y.undoOp = 0;
    return x == y;
}

bool KeysSorted(const Picture& p) {
    for (int k = 1; k < p.keyCount; ++k)
        if (p.keys[k].time < p.keys[k - 1].time) return false;
    return true;
}

int FindKey(const Picture& p, const KeyFrame& key) {
    for (int k = 0; k < p.keyCount; ++k)
        if (SameKey(p.keys[k], key)) return k;
    return -1;
}

void RemoveKey(Picture& p, int key) {
    for (int k = key; k + 1 < p.keyCount; ++k) p.keys[k] = p.keys[k + 1];
    p.keyCount--;
    std::memset(&p.keys[p.keyCount], 0, sizeof(KeyFrame));
}

double Distance(const KeyFrame* keys, int n, int32_t t0, int32_t t1, int32_t flags) {
    const double dx = static_cast<double>(Interpolate(keys, n, &KeyFrame::x, t1, false, flags)) -
                      Interpolate(keys, n, &KeyFrame::x, t0, false, flags);
    const double dy = static_cast<double>(Interpolate(keys, n, &KeyFrame::y, t1, false, flags)) -
                      Interpolate(keys, n, &KeyFrame::y, t0, false, flags);
    return std::sqrt(dx * dx + dy * dy);
}

Picture* CurrentPicture(Show& show, int* index = nullptr) {
    const int p = show.PictureAt(show.currentFrame);
    if (p < 0 || p >= MaxPictures) return nullptr;
    if (index) *index = p;
    return &show.pictures[p];
}

void RenderCurrent(const Show& show, EditFeedback* fb) {
    if (!fb) return;
    fb->render = true;
    fb->frame = show.currentFrame;
}

}  // namespace

// --- Undo ring ------------------------------------------------------------------------------

KeyFrame SetEditedKey(Show& show, int key, int picture, const KeyFrame& edited) {
    KeyFrame k = edited;
    k.undoPicture = k.undoOp = 0;
    show.SetKey(key, picture, k);
    return k;
}

void PushUndo(Show& show, const KeyFrame& record, uint16_t op, int picture) {
    if (picture < 0 || picture >= MaxPictures) return;
    show.undoCount = std::min(show.undoCount + 1, UndoDepth);
    show.undoIndex = (show.undoIndex + 1) % UndoDepth;
    if (show.undoIndex < 0) show.undoIndex = 0;
    UndoRecord& r = show.undo[show.undoIndex];
    r = record;
    r.undoPicture = static_cast<uint16_t>(picture);
    r.undoOp = op;
    // A new edit makes the undone ones unreachable: Redo would otherwise re-apply a record
    // that no longer belongs to the show's history.
    show.redoCount = 0;
}

void ApplyUndo(Show& show, int index) {
    if (index < 0 || index >= UndoDepth) return;
    UndoRecord& r = show.undo[index];
    const int pi = RecordPicture(r);
    if (pi >= MaxPictures && r.undoOp != OpSwapped) return;
    const uint16_t op = r.undoOp;
    if (op < MaxKeysPerPicture) {
        Picture& p = show.pictures[pi];
        if (op >= p.keyCount) return;
        const uint16_t tag = r.undoPicture;
        KeyFrame back = p.keys[op];
        p.keys[op] = r;
        p.keys[op].undoPicture = static_cast<uint16_t>(pi);
        p.keys[op].undoOp = 0;
        r = back;
        r.undoPicture = tag;
        r.undoOp = op;
        if ((tag & ResortFlag) && !KeysSorted(p)) {
            const KeyFrame placed = p.keys[op];
            show.SortKeys(pi);
            const int moved = FindKey(p, placed);
            if (moved >= 0) r.undoOp = static_cast<uint16_t>(moved);
        }
    } else if (op == OpInserted) {
        // Prefer the very key that was inserted; keys sharing its time are left alone.
        for (int q = 0; q < MaxPictures; ++q) {
            Picture& p = show.pictures[q];
            int k = FindKey(p, r);
            for (int j = 0; k < 0 && j < p.keyCount; ++j)
                if (p.keys[j].time == r.time) k = j;
            if (k < 0 || p.keyCount <= 1) continue;
            r = p.keys[k];
            r.undoPicture = static_cast<uint16_t>(q);
            r.undoOp = OpDeleted;
            RemoveKey(p, k);
            break;
        }
    } else if (op == OpDeleted) {
        Picture& p = show.pictures[pi];
        if (p.keyCount >= MaxKeysPerPicture) return;
        p.keys[p.keyCount] = r;
        p.keys[p.keyCount].undoPicture = static_cast<uint16_t>(pi);
        p.keys[p.keyCount].undoOp = 0;
        p.keyCount++;
        show.SortKeys(pi);
        r.undoOp = OpInserted;
    } else if (op == OpSwapped) {
        show.ExchangePictures(pi, r.time);
    }
    show.MarkChanged();
}

bool Undo(Show& show) {
    if (show.undoCount <= 0 || show.undoIndex < 0) return false;
    ApplyUndo(show, show.undoIndex);
    show.undoIndex = show.undoIndex == 0 ? UndoDepth - 1 : show.undoIndex - 1;
    show.redoCount = std::min(show.redoCount + 1, UndoDepth);
    show.undoCount--;
    return true;
}

bool Redo(Show& show) {
    if (show.redoCount <= 0) return false;
    show.undoIndex = show.undoIndex >= UndoDepth - 1 ? 0 : show.undoIndex + 1;
    ApplyUndo(show, show.undoIndex);
    show.undoCount = std::min(show.undoCount + 1, UndoDepth);
    show.redoCount--;
    return true;
}

// --- Keys -----------------------------------------------------------------------------------

bool AddKeyAtCurrentFrame(Show& show, const KeyFrame& camera, int32_t tolerance, EditFeedback* fb) {
    if (show.currentFrame >= show.length) show.currentFrame = show.length - 1;
    if (show.currentFrame < 0) show.currentFrame = 0;
    int pi = 0;
    Picture* pic = CurrentPicture(show, &pi);
    if (!pic) return false;
    Picture& p = *pic;
    const KeyFrame first = p.keys[0];
    const int32_t start = show.PictureStart(pi);
    if (tolerance > KeyNearTolerance) tolerance = KeyNearTolerance;

    int j = p.keyCount;
    for (int k = 0; k < p.keyCount; ++k) {
        if (std::abs(show.currentFrame - p.keys[k].time - start) < tolerance) {
            j = k;
            break;
        }
    }
    const bool isNew = j == p.keyCount;
    if (isNew && p.keyCount >= MaxKeysPerPicture - 1) {
        if (fb) fb->full = true;
        return false;
    }
    if (isNew) p.keyCount++;
    if (fb && (!show.AutoAddKey || isNew)) fb->beep = true;

    const KeyFrame previous = p.keys[j];
    KeyFrame& key = p.keys[j];
    key = camera;
    key.time = j >= 1 ? show.currentFrame - start : 0;
    key.pictureStart = first.pictureStart;
    key.undoOp = 0;
    if (isNew) {
        key.easeCode = 0.0f;
        key.spareB = 0.0f;
    }
    const KeyFrame written = key;
    if (isNew)
        PushUndo(show, written, OpInserted, pi);
    else
        PushUndo(show, previous, static_cast<uint16_t>(j), pi);
    show.SortKeys(pi);
    if (!isNew) {
        // The replaced key may have moved past a neighbour: the record follows it.
        const int at = FindKey(p, written);
        if (at >= 0 && at != j) {
            show.undo[show.undoIndex].undoOp = static_cast<uint16_t>(at);
            show.undo[show.undoIndex].undoPicture |= ResortFlag;
        }
    }

    if ((isNew || j == 0) && !show.AutoAddKey) show.currentFrame += show.OneSecond();
    RenderCurrent(show, fb);
    show.MarkChanged();
    return isNew;
}

void DeleteKey(Show& show, int key, int picture) {
    if (picture < 0 || picture >= MaxPictures) return;
    Picture& p = show.pictures[picture];
    if (key <= 0 || key >= p.keyCount) return;
    PushUndo(show, p.keys[key], OpDeleted, picture);
    RemoveKey(p, key);
    show.MarkChanged();
}

bool ShiftKeysAfter(Show& show, int32_t frame, int32_t delta) {
    const int pi = show.PictureAt(frame);
    if (pi < 0 || pi >= MaxPictures) return false;
    Picture& p = show.pictures[pi];
    const int32_t after = frame - show.PictureStart(pi);
    // Records go in the order that keeps the keys sorted after every single Undo: later keys
    // first when moving right, earlier keys first when moving left.
    const int n = p.keyCount;
    for (int i = 0; i < n; ++i) {
        const int k = delta > 0 ? n - 1 - i : i;
        if (k == 0 || p.keys[k].time <= after) continue;
        PushUndo(show, p.keys[k], static_cast<uint16_t>(k), pi);
        const int64_t t = static_cast<int64_t>(p.keys[k].time) + delta;
        p.keys[k].time = static_cast<int32_t>(std::clamp<int64_t>(t, 0, std::max(show.length, 0)));
    }
    show.MarkChanged();
    return true;
}

void MatchMoves(Show& show, int picture, int32_t oldWidth, int32_t oldHeight, int32_t newWidth,
                int32_t newHeight) {
    if (picture < 0 || picture >= MaxPictures || oldWidth == 0 || oldHeight == 0) return;
    const float rx = static_cast<float>(newWidth) / static_cast<float>(oldWidth);
    const float ry = static_cast<float>(newHeight) / static_cast<float>(oldHeight);
    Picture& p = show.pictures[picture];
    for (int k = 0; k < p.keyCount; ++k) {
        p.keys[k].x *= rx;
        p.keys[k].y *= ry;
        p.keys[k].width *= rx;
        p.keys[k].sizeReserve *= ry;
    }
    show.MarkChanged();
}

bool MatchMovesOffered(int keyCount, int32_t oldWidth, int32_t oldHeight, int32_t newWidth,
                       int32_t newHeight) {
    return keyCount > 1 && (newWidth != oldWidth || (newHeight != oldHeight && newWidth > 16));
}

void DeleteAllKeys(Show& show) {
    int pi = 0;
    Picture* p = CurrentPicture(show, &pi);
    if (!p) return;
    while (p->keyCount > 1) DeleteKey(show, p->keyCount - 1, pi);
    const FileSpec fileSpec = p->fileSpec;
    PrepPicture(show, fileSpec, pi, show.PictureStart(pi));
}

bool UniformSpeed(Show& show, int picture) {
    if (picture < 0 || picture >= MaxPictures) return false;
    Picture& p = show.pictures[picture];
    const int n = p.keyCount;
    if (n < 2) return false;
    const int32_t flags = show.EaseType;
    const int32_t T = p.keys[n - 1].time;
    if (T <= 0) return false;

    // Lengths are measured on the timing from before the command, so that a key re-timed past
    // a later key's old time cannot make that segment count as zero.
    KeyFrame old[MaxKeysPerPicture];
    std::memcpy(old, p.keys, sizeof old);
    double total = 0.0;
    for (int32_t t = 1; t < T; ++t) total += Distance(old, n, t - 1, t, flags);
    const double v = total / T;
    if (v == 0.0) return false;

    for (int j = 1; j < n; ++j) {
        double segment = 0.0;
        for (int32_t t = old[j - 1].time; t + 1 < old[j].time; ++t)
            segment += Distance(old, n, t, t + 1, flags);
        PushUndo(show, p.keys[j], static_cast<uint16_t>(j), picture);
        int32_t time = p.keys[j - 1].time + static_cast<int32_t>(segment / v);
        if (time <= 0) time = 5;
        p.keys[j].time = time;
    }
    show.MarkChanged();
    return true;
}

// --- Clipboard ------------------------------------------------------------------------------

void CopyKey(Show& show) {
    Picture* p = CurrentPicture(show);
    if (!p || show.selectedKey < 0 || show.selectedKey >= p->keyCount) return;
    show.clipboard = p->keys[show.selectedKey];
}

bool CutKey(Show& show, EditFeedback* fb) {
    int pi = 0;
    Picture* p = CurrentPicture(show, &pi);
    if (!p || show.selectedKey <= 0 || show.selectedKey >= p->keyCount) return false;
    show.clipboard = p->keys[show.selectedKey];
    DeleteKey(show, show.selectedKey, pi);
    RenderCurrent(show, fb);
    if (fb) fb->beep = true;
    return true;
}

bool DeleteSelectedKey(Show& show, EditFeedback* fb) {
    int pi = 0;
    Picture* p = CurrentPicture(show, &pi);
    if (!p || show.selectedKey <= 0 || show.selectedKey >= p->keyCount) return false;
    DeleteKey(show, show.selectedKey, pi);
    RenderCurrent(show, fb);
    if (fb) fb->beep = true;
    return true;
}

bool PasteKey(Show& show, const KeyFrame& camera, int32_t tolerance, EditFeedback* fb) {
    if (show.clipboard.time == -9999) return false;  // nothing copied yet
    int key = show.selectedKey;
    int32_t frame = show.currentFrame;
    if (key < 0) {
        if (frame >= show.length) frame = show.length - 1;
        if (frame < 0) frame = 0;
        EditFeedback local;
        EditFeedback* added = fb ? fb : &local;
        AddKeyAtCurrentFrame(show, camera, tolerance, added);
        // No room for the key: the clipboard never lands on a neighbouring key instead.
        if (added->full) return false;
        // Look the key up where it was added: with AutoAddKey off, adding moves on a second.
        const int pi = show.PictureAt(frame);
        const Picture& p = show.pictures[pi];
        const int32_t t = frame - show.PictureStart(pi);
        for (int k = 0; k < p.keyCount && key < 0; ++k)
            if (p.keys[k].time == t) key = k;
        if (key < 0) key = show.KeyNear(frame);
    } else {
        if (fb) fb->beep = true;
    }
    const int pi = show.PictureAt(frame);
    if (key < 0 || key >= show.KeyCount(pi)) return false;
    KeyFrame k = show.pictures[pi].keys[key];
    // The camera fields x .. easeCode; the key keeps its time and bookkeeping.
    std::memcpy(&k.x, &show.clipboard.x, offsetof(KeyFrame, pictureStart));
    show.SetKey(key, pi, k);
    RenderCurrent(show, fb);
    return true;
}

// --- Default ease ---------------------------------------------------------------------------

void SetDefaultEase(Show& show, int32_t mode, Settings& settings) {
    show.EaseType = (show.EaseType & EaseNoCurves) | (mode & 3);
    show.ClearEaseCodes();
    settings.WriteInt("EaseType", show.EaseType);
    show.MarkChanged();
}

void ToggleNoCurves(Show& show, Settings& settings) {
    show.EaseType ^= EaseNoCurves;
    show.ClearEaseCodes();
    settings.WriteInt("EaseType", show.EaseType);
    show.MarkChanged();
}

}  // namespace kv
