// The "Set KeyFrame Options" dialog on one key, in the option-dialog language: position, width
// and rotation, and with all eleven items the ease kind, ease speed and "No Curves".
#pragma once

#include "core/base/records.h"
#include "platform/win/win.h"

namespace kv {

// The ease kind of a key's code: 0 the default, 1 In & Out, 2 In, 3 Out, 4 None.
int EaseKind(float code);

// The dialog on one key: all eleven items, or the first four only (from the stage). It is drawn
// on `owner` with its top-left at (x, y) in screen coordinates, kept inside the owner. True on
// OK, when `key` holds the edited values.
bool RunKeyFrameOptions(HWND owner, KeyFrame& key, bool firstFourOnly, int x, int y);

}  // namespace kv
