// The machinery the layer's modal dialogs (dialogs.cpp, file_dialog.cpp) share. Private to the
// window layer; the UI thread's alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win/internal.h"

namespace kv {

using DialogHandler = std::function<void(HWND, uint32_t, uint64_t, int64_t)>;

// Gives the keyboard back to the window that had it when a dialog closes.
class FocusKeeper {
public:
    FocusKeeper() : m_focus(GetFocus()) {}
    ~FocusKeeper() {
        if (IsWindow(m_focus)) SetFocus(m_focus);
    }

private:
    HWND m_focus;
};

// A topmost dialog of the given client size, centred on its owner (or the work area), its
// messages handed to `handler`; shown, or null when it could not be made.
HWND MakeDialog(HWND owner, const std::string& title, int clientW, int clientH,
                DialogHandler* handler);
bool IsInput(uint32_t m);
// Whether `w` is the dialog or one of its children.
bool BelongsTo(HWND w, HWND dialog);
// Runs the modal loop until done() is true; false when a quit message arrived.
bool ModalLoop(HWND dialog, const std::function<bool()>& done,
               const std::function<bool(const MSG&)>& filter = nullptr);

struct Button {
    Rect r;
    std::string label;
    int result;
};

// The dialog's device context with its client area cleared to the dialog grey.
HDC BeginDialogPaint(HWND d);
void DrawButton(HDC dc, const Button& b, bool isDefault);
// The keyboard's mark on the focused button: a dotted rectangle just inside its border.
void DrawFocusMark(HDC dc, const Rect& r);
// The next control for Tab (forward) or Shift+Tab, wrapping round.
int NextFocus(int focus, int count, bool forward);
bool HitButton(const Button& b, int64_t lParam);
// The text's lines, split at line feeds, a carriage return before one dropped.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace kv
