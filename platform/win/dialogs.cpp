// The layer's own modal windows: message boxes and the text-entry dialog; the open/save file
// dialog is in file_dialog.cpp, what they share in dialog_kit.cpp.
//
// Each dialog is a topmost popup with a local message loop: paint and timer messages of every
// window are dispatched, input to other windows is dropped while the dialog is open, and a quit
// message ends the dialog as a cancel and is posted again for the outer loop. The headless
// backend may answer message boxes and file dialogs from a script before any window is made.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "platform/win/dialog_kit.h"
#include "platform/win/internal.h"

namespace kv {

// --- Message boxes -------------------------------------------------------------------------------
namespace {
// Beeps so far, counted for tests that check a refusal was heard; the UI thread's alone.
int g_beeps = 0;
}  // namespace

// Without a display the terminal bell stands for the system sound, when there is a terminal.
void Backend::Bell() {
    if (::isatty(2)) {
        const char bell = '\a';
        if (::write(2, &bell, 1) < 0) return;
    }
}

void MessageBeep(uint32_t) {
    ++g_beeps;
    TheBackend().Bell();
}

int MessageBeepCount() {
    return g_beeps;
}

namespace {

// The answer of a box closed without a button: No, Cancel or OK, whichever it offers last.
int ClosedAnswer(uint32_t kind) {
    return kind == MB_YESNO ? IDNO : kind == MB_YESNOCANCEL ? IDCANCEL : IDOK;
}

// An open message box: its lines, its buttons, the focused button and the answer (0: none yet).
// The focused button is the first at the start; Tab, Shift+Tab and the arrows move it, Enter and
// Space press it. It carries the default's heavy border and the focus mark.
struct MessageBoxState {
    uint32_t kind = 0;
    std::vector<std::string> lines;
    std::vector<Button> buttons;
    HFONT font = nullptr;
    int focus = 0;
    int result = 0;
};

std::vector<Button> MessageBoxButtons(uint32_t kind) {
    std::vector<Button> buttons;
    if (kind == MB_YESNO || kind == MB_YESNOCANCEL) {
        buttons.push_back({{}, "Yes", IDYES});
        buttons.push_back({{}, "No", IDNO});
        if (kind == MB_YESNOCANCEL) buttons.push_back({{}, "Cancel", IDCANCEL});
    } else {
        buttons.push_back({{}, "OK", IDOK});
    }
    return buttons;
}

// Sizes the box's client area to its text and buttons and puts the buttons in a row at the
// bottom, centred.
void LayOutMessageBox(MessageBoxState& box, int* width, int* height) {
    HDC probe = CreateCompatibleDC(nullptr);
    SelectObject(probe, box.font);
    int textW = 0;
    for (const auto& l : box.lines) {
        SIZE sz;
        GetTextExtentPoint32(probe, l, &sz);
        textW = std::max(textW, sz.cx);
    }
    DeleteDC(probe);
    int buttonsW = static_cast<int>(box.buttons.size()) * 85;
    int w = std::max({textW + 40, buttonsW + 20, 200});
    int h = 20 + static_cast<int>(box.lines.size()) * 17 + 20 + 26 + 12;
    int bx = (w - buttonsW) / 2 + 5;
    for (auto& b : box.buttons) {
        b.r = Rect{bx, h - 38, bx + 75, h - 14};
        bx += 85;
    }
    *width = w;
    *height = h;
}

void PaintMessageBox(const MessageBoxState& box, HWND d) {
    HDC dc = BeginDialogPaint(d);
    HGDIOBJ of = SelectObject(dc, box.font);
    SetBkMode(dc, TRANSPARENT);
    for (size_t i = 0; i < box.lines.size(); ++i)
        TextOut(dc, 20, 20 + static_cast<int>(i) * 17, box.lines[i]);
    const int count = static_cast<int>(box.buttons.size());
    for (int i = 0; i < count; ++i) DrawButton(dc, box.buttons[i], i == box.focus);
    DrawFocusMark(dc, box.buttons[box.focus].r);
    SelectObject(dc, of);
    ReleaseDC(d, dc);
}

void MessageBoxKeyDown(MessageBoxState& box, HWND d, uint64_t wParam, int64_t lParam) {
    const int count = static_cast<int>(box.buttons.size());
    const bool shift = (lParam & KeyDownWithShift) != 0;
    if (wParam == VK_RETURN || wParam == VK_SPACE) box.result = box.buttons[box.focus].result;
    // Escape answers Cancel or OK; a Yes/No box has no way out but an answer (No may throw work
    // away), so there it does nothing, as the system's boxes do.
    if (wParam == VK_ESCAPE)
        box.result = box.kind == MB_YESNOCANCEL ? IDCANCEL : box.kind == MB_OK ? IDOK : 0;
    const int before = box.focus;
    if (wParam == VK_TAB) box.focus = NextFocus(box.focus, count, !shift);
    if (wParam == VK_RIGHT || wParam == VK_DOWN) box.focus = NextFocus(box.focus, count, true);
    if (wParam == VK_LEFT || wParam == VK_UP) box.focus = NextFocus(box.focus, count, false);
    if (box.focus != before && !box.result) {
        InvalidateRect(d, nullptr, true);
        UpdateWindow(d);
    }
}

void HandleMessageBox(MessageBoxState& box, HWND d, uint32_t msg, uint64_t wParam, int64_t lParam) {
    if (msg == WM_PAINT) {
        PaintMessageBox(box, d);
    } else if (msg == WM_LBUTTONUP) {
        for (const auto& b : box.buttons)
            if (HitButton(b, lParam)) box.result = b.result;
    } else if (msg == WM_KEYDOWN) {
        MessageBoxKeyDown(box, d, wParam, lParam);
    } else if (msg == WM_CHAR) {
        int ch = std::tolower(static_cast<int>(wParam));
        if (ch == 'y' && box.buttons.size() > 1) box.result = IDYES;
        if (ch == 'n' && box.buttons.size() > 1) box.result = IDNO;
    } else if (msg == WM_CLOSE) {
        box.result = ClosedAnswer(box.kind);
    }
}

}  // namespace

int MessageBox(HWND owner, const std::string& text, const std::string& caption, uint32_t type) {
    int answer = 0;
    if (TheBackend().AnswerMessageBox(text, caption, type, &answer)) return answer;
    MessageBoxState box;
    box.kind = type & 0xF;
    box.buttons = MessageBoxButtons(box.kind);
    box.lines = SplitLines(text);
    box.font = CreateFont(-13, FW_NORMAL, false, false, FF_SWISS, "Arial");
    int w = 0, h = 0;
    LayOutMessageBox(box, &w, &h);
    DialogHandler handler = [&box](HWND d, uint32_t msg, uint64_t wParam, int64_t lParam) {
        HandleMessageBox(box, d, msg, wParam, lParam);
    };
    FocusKeeper keep;
    HWND d = MakeDialog(owner, caption, w, h, &handler);
    if (!d) {
        DeleteObject(box.font);
        return box.kind == MB_OK ? IDOK : IDCANCEL;
    }
    SetFocus(d);
    UpdateWindow(d);
    if (!ModalLoop(d, [&] { return box.result != 0; })) box.result = ClosedAnswer(box.kind);
    SetWindowUserData(d, nullptr);
    DestroyWindow(d);
    DeleteObject(box.font);
    return box.result;
}

// --- Text entry ---------------------------------------------------------------------------------
void RunTextEntryDialog(HWND owner, const std::string& title, const std::string& line1,
                        const std::string& line2, std::string& text, int maxChars) {
    // 186 x 95 dialog units of an 8-point dialog font.
    const int W = 279, H = 154;
    Button ok{{238, 120, 274, 143}, "OK", 1};
    HFONT font = CreateFont(-11, FW_NORMAL, false, false, FF_SWISS, "Arial");
    int done = 0;
    HWND edit = nullptr;
    bool okFocused = false;  // Tab moves the keyboard between the field and OK
    DialogHandler handler = [&](HWND d, uint32_t msg, uint64_t wParam, int64_t lParam) {
        if (msg == WM_PAINT) {
            HDC dc = BeginDialogPaint(d);
            HGDIOBJ of = SelectObject(dc, font);
            SetBkMode(dc, TRANSPARENT);
            TextOut(dc, 10, 11, line1);
            TextOut(dc, 10, 28, line2);
            DrawButton(dc, ok, true);
            if (okFocused) DrawFocusMark(dc, ok.r);
            SelectObject(dc, of);
            ReleaseDC(d, dc);
        } else if (msg == WM_LBUTTONUP && HitButton(ok, lParam)) {
            done = 1;
        } else if (msg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
            done = wParam == VK_RETURN ? 1 : 2;
        } else if (msg == WM_CLOSE) {
            done = 2;
        }
    };
    FocusKeeper keep;
    HWND d = MakeDialog(owner, title, W, H, &handler);
    if (!d) {
        DeleteObject(font);
        return;
    }
    edit = CreateWindowEx(0, "edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 67,
                          258, 23, d, 1003);
    if (edit) {
        SendMessage(edit, WM_SETFONT, reinterpret_cast<uint64_t>(font), 0);
        if (!text.empty())
            SendMessage(edit, WM_SETTEXT, 0, reinterpret_cast<int64_t>(text.c_str()));
        SendMessage(edit, EM_SETSEL, 0, -1);
        SetFocus(edit);
    }
    ModalLoop(
        d, [&] { return done != 0; },
        [&](const MSG& m) {
            if (m.message != WM_KEYDOWN || !BelongsTo(m.hwnd, d)) return false;
            if (m.wParam == VK_RETURN || m.wParam == VK_ESCAPE ||
                (okFocused && m.wParam == VK_SPACE)) {
                handler(d, WM_KEYDOWN, m.wParam == VK_ESCAPE ? VK_ESCAPE : VK_RETURN, m.lParam);
                return true;
            }
            if (m.wParam == VK_TAB && edit) {
                okFocused = !okFocused;
                SetFocus(okFocused ? d : edit);
                InvalidateRect(d, nullptr, true);
                UpdateWindow(d);
                return true;
            }
            return false;
        });
    // OK and Cancel both hand back the field's text.
    if (edit) {
        std::vector<char> buf(static_cast<size_t>(std::max(1, maxChars + 1)));
        SendMessage(edit, WM_GETTEXT, buf.size(), reinterpret_cast<int64_t>(buf.data()));
        text = buf.data();
    }
    SetWindowUserData(d, nullptr);
    DestroyWindow(d);
    DeleteObject(font);
}

}  // namespace kv
