// Show editing: the operations by which the editor changes a show's keys — adding, deleting and
// shifting keys, the one-key clipboard, the undo ring, Match Moves, the default ease and
// Uniform Speed.
//
// Every changed key leaves its own undo record (a KeyFrame whose undoPicture/undoOp say what to
// do), so an operation that changes several keys takes as many Undo commands to take back.
// What the editor has to do afterwards (beep, render a frame) is reported in EditFeedback
// rather than done here, so the model stays free of windows.
#pragma once

#include <cstdint>

#include "core/base/records.h"

namespace kv {

class Settings;
class Show;

struct EditFeedback {
    bool beep = false;    // the standard message beep
    bool render = false;  // render `frame` and refresh the views
    int32_t frame = 0;
    bool full = false;  // a new key was refused: the picture holds its most keys
};

// What the editor says when a new key is refused.
constexpr const char* KeyLimitMessage = "A show holds at most 63 keys.";

// --- Undo ring ----------------------------------------------------------------------------
// Stores a record with its operation (a key index 0..63, OpInserted, OpDeleted, OpSwapped) for
// a picture below MaxPictures. A new record ends any pending redo.
void PushUndo(Show& show, const KeyFrame& record, uint16_t op, int picture);
// Exchanges ring record `index` with the show (the record then holds the way back).
void ApplyUndo(Show& show, int index);
bool Undo(Show& show);  // false when there is nothing to undo
bool Redo(Show& show);  // false when there is nothing to redo

// --- Keys -----------------------------------------------------------------------------------
// Writes `camera` (the stage's camera) as the key at currentFrame: replaces a key within
// `tolerance` frames (at most 4) or inserts a new one (at most 63 keys). True when a key was
// inserted.
bool AddKeyAtCurrentFrame(Show& show, const KeyFrame& camera, int32_t tolerance = KeyNearTolerance,
                          EditFeedback* feedback = nullptr);
// Removes a key with an OpDeleted record; the first key (time 0) is never removed.
void DeleteKey(Show& show, int key, int picture);
// Puts a key someone edited in place of key `key` of `picture` without the undo ring's fields
// (they belong to the ring's records, not to a show's keys); returns the key as stored.
KeyFrame SetEditedKey(Show& show, int key, int picture, const KeyFrame& edited);
// Moves every key after `frame` by delta frames, kept within 0..length (the first key stays).
bool ShiftKeysAfter(Show& show, int32_t frame, int32_t delta);
// Scales the keys of a picture to a new picture size; nothing when an old size is 0.
void MatchMoves(Show& show, int picture, int32_t oldWidth, int32_t oldHeight, int32_t newWidth,
                int32_t newHeight);
// Whether loading a picture of the new size into a slot with keyCount keys offers Match Moves.
bool MatchMovesOffered(int keyCount, int32_t oldWidth, int32_t oldHeight, int32_t newWidth,
                       int32_t newHeight);
// Deletes every key but the first (one undo record each) and prepares the picture again, which
// reframes the first key to the whole picture.
void DeleteAllKeys(Show& show);
// Re-times the keys of a picture so that the camera centre moves at one speed. True when the
// times were changed.
bool UniformSpeed(Show& show, int picture);

// --- Clipboard (on selectedKey of the picture at currentFrame) -----------------------------
void CopyKey(Show& show);
bool CutKey(Show& show, EditFeedback* feedback = nullptr);             // not the first key
bool DeleteSelectedKey(Show& show, EditFeedback* feedback = nullptr);  // not the first key
// Gives the selected key (or, with none selected, a key added at currentFrame) the clipboard's
// camera fields. Nothing when the clipboard has never been filled.
bool PasteKey(Show& show, const KeyFrame& camera, int32_t tolerance = KeyNearTolerance,
              EditFeedback* feedback = nullptr);

// --- Default ease ---------------------------------------------------------------------------
// mode 0..3: "Slow-in & Slow Out", "Slow-in", "Slow-out", "No Slows". Clears every key's own
// ease code and writes "EaseType" at once to the owner's store.
void SetDefaultEase(Show& show, int32_t mode, Settings& settings);
void ToggleNoCurves(Show& show, Settings& settings);

}  // namespace kv
