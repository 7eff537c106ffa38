// Option dialogs described by data, and the colour chooser.
//
// A dialog is a list of item strings and a parallel list of value strings (fixed 64-byte slots).
// The first two characters of an item select its kind: "@C" check box, "@R" radio button (all
// radio items form one group; "Caption|Label" on the first one gives the group a caption), "@S"
// slider 0..100, "@L" colour swatch, "@F" folder; no prefix makes a text field. RunOptionDialog
// draws the dialog on an existing window, runs its own modal loop and edits the values in place.
#pragma once

#include <cstdint>

#include "core/base/records.h"
#include "platform/win/win.h"

namespace kv {

constexpr int OptionSlot = 64;
using OptionText = char[OptionSlot];

enum : int { OptionCancel = 0, OptionOk = 1, OptionApply = 2 };

// count < 0 means -count rows and an "Apply" button. x, y: the panel's top-left corner in the
// owner's client coordinates. Returns 0 (cancelled), 1 (OK) or 2 (Apply).
int RunOptionDialog(HWND owner, int x, int y, int count, OptionText* items, OptionText* values,
                    const char* title);

// The width W that lays out a dialog: the widest item string (prefix included) in the 10-pixel
// font.
int OptionDialogLabelWidth(int count, const OptionText* items);

// The folder item's program-wide file record (keeps the last chosen path).
FileSpec& OptionFolderSpec();

// The colour chooser: a 230 x 230 panel drawn on the owner at (x, y). True for OK. Cancel gives
// back the starting colour; Escape keeps the colour chosen so far.
bool ChooseColour(HWND owner, int x, int y, COLORREF* colour, FileSpec* texture, const char* title);
// The chooser's mode survives between uses: 0 RGB, 1 HLS (the start), 2 texture.
int ColourChooserMode();
void SetColourChooserMode(int mode);

// The integer RGB <-> HLS conversions (0..255 and 0..240) the tint treatment uses.
struct HlsColour {
    int h = 0, l = 0, s = 0;
};
HlsColour ColourToHls(COLORREF colour);
COLORREF HlsToColour(int h, int l, int s);

}  // namespace kv
