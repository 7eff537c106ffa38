// RunOptionDialog: lays out and draws a data-described dialog on the owner's surface and runs its
// modal loop.
//
// The loop reads every message itself. Input is interpreted here and not dispatched, except for
// the open text field, whose messages are dispatched normally; paint messages are dispatched so
// other windows stay drawn, and when the owner repaints, the dialog is drawn again over it.
// Nothing else reaches other windows while the dialog runs.
#include "editor/ui/toolkit/option_dialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/base/settings.h"
#include "editor/ui/toolkit/painter.h"
#include "editor/ui/toolkit/toolkit.h"

namespace kv {

namespace {

const COLORREF Black = RGB(0, 0, 0), White = RGB(255, 255, 255), LightGrey = RGB(192, 192, 192);

char KindOf(const char* item) {
    if (item[0] == '@' && std::strchr("CRSLF", item[1]) && item[1]) return item[1];
    return 0;
}

struct Dialog {
    HWND owner;
    int x, y, n;
    bool apply;
    OptionText* items;
    OptionText* values;
    const char* title;
    int W;
    Rect P;
    Rect Row(int i) const {
        return Rect{x + W + 16, y + 36 + 20 * i, P.right - 8, y + 52 + 20 * i};
    }
};

std::string Shorten(Painter& p, const std::string& text, int width) {
    if (p.StringWidth(text.c_str()) <= width) return text;
    std::string s = text;
    while (!s.empty() && p.StringWidth((s + "...").c_str()) > width) s.pop_back();
    return s + "...";
}

int CountRadios(const Dialog& d) {
    int k = 0;
    for (int i = 0; i < d.n; ++i)
        if (KindOf(d.items[i]) == 'R') ++k;
    return k;
}

void DrawButton(Painter& p, const Rect& r, const char* label) {
    p.FrameRoundBox(Black, r, 10, 1, PS_SOLID);
    p.DrawString(Black, label, r.left + 30, r.top + 2, TA_CENTER);
}

void PaintDialog(Painter& p, const Dialog& d) {
    const int labelRight = d.x + d.W + 12;
    p.FillBox(LightGrey, d.P);
    p.FillRoundBox(Black, Rect{d.x + 8, d.y + 8, d.P.right - 8, d.y + 24}, 4);
    p.DrawString(White, d.title ? d.title : "", d.x + d.W + 8, d.y + 9, TA_CENTER);
    p.DrawBevel(White, RGB(64, 64, 64), d.P, 1);
    int radios = CountRadios(d);
    for (int i = 0; i < d.n; ++i) {
        Rect R = d.Row(i);
        const char* item = d.items[i];
        const char* value = d.values[i];
        char kind = KindOf(item);
        std::string label = kind ? std::string(item + 2) : std::string(item);
        if (kind == 'S' || kind == 'L' || kind == 'F') label += ":";
        switch (kind) {
            case 0:
                p.DrawString(Black, label.c_str(), labelRight, R.top + 2, TA_RIGHT);
                p.FillBox(White, R);
                p.FrameBox(Black, R, 1, PS_SOLID);
                p.DrawString(Black, value, R.left + 4, R.top + 2, TA_LEFT);
                break;
            case 'C':
                p.DrawString(Black, label.c_str(), labelRight, R.top + 2, TA_RIGHT);
                p.DrawCheckMark(White, Rect{R.left, R.top + 2, R.left + 12, R.top + 14},
                                value[0] != 0);
                break;
            case 'R': {
                std::string caption;
                size_t bar = label.find('|');
                if (bar != std::string::npos) {
                    caption = label.substr(0, bar);
                    label = label.substr(bar + 1);
                }
                p.DrawRadioMark(Black, Rect{R.left, R.top + 4, R.left + 9, R.top + 13},
                                value[0] != 0);
                p.DrawString(Black, label.c_str(), d.x + d.W + 30, R.top + 2, TA_LEFT);
                if (!caption.empty()) {
                    int k = radios - 1;
                    int cw = p.StringWidth(caption.c_str());
                    int bx = R.left - cw;
                    p.DrawLine(Black, bx, R.top + 8, R.left - 8, R.top + 8, 1, PS_SOLID);
                    p.DrawLine(Black, bx, R.top + 8, bx, R.top + 10 * k, 1, PS_SOLID);
                    p.DrawLine(Black, bx, R.top + 16 + 10 * k, bx, R.top + 8 + 20 * k, 1, PS_SOLID);
                    p.DrawLine(Black, bx, R.top + 8 + 20 * k, R.left - 8, R.top + 8 + 20 * k, 1,
                               PS_SOLID);
                    p.DrawString(Black, caption.c_str(), bx, R.top + 2 + 10 * k, TA_CENTER);
                }
                break;
            }
            case 'S': {
                p.DrawString(Black, label.c_str(), labelRight, R.top + 2, TA_RIGHT);
                int percent = std::clamp(TextToInt(value), 0, 100);
                p.DrawSliderBar(LightGrey, RGB(96, 96, 96),
                                Rect{R.left, R.top + 5, R.right - 19, R.bottom}, percent, 100,
                                false);
                break;
            }
            case 'L':
                p.DrawString(Black, label.c_str(), labelRight, R.top + 2, TA_RIGHT);
                p.FillBox(static_cast<COLORREF>(TextToInt(value)) & 0xFFFFFF, R);
                p.FrameBox(Black, R, 1, PS_SOLID);
                break;
            case 'F':
                p.DrawString(Black, label.c_str(), labelRight, R.top + 2, TA_RIGHT);
                p.FillBox(RGB(224, 224, 224), R);
                p.FrameBox(Black, R, 1, PS_SOLID);
                p.DrawString(Black, Shorten(p, value, R.right - R.left - 9).c_str(), R.left + 4,
                             R.top + 2, TA_LEFT);
                break;
            default:
                break;
        }
    }
    int rowN = d.y + 36 + 20 * d.n, rowN1 = rowN + 20;
    DrawButton(p, Rect{d.P.right - 68, rowN, d.P.right - 8, rowN + 16}, "OK");
    DrawButton(p, Rect{d.P.right - 68, rowN1, d.P.right - 8, rowN1 + 16}, "Cancel");
    if (d.apply) DrawButton(p, Rect{d.x + 8, rowN, d.x + 68, rowN + 16}, "Apply");
}

// Draws the dialog over its owner, its text in the 10-pixel font on a transparent background.
void DrawDialog(const Dialog& d) {
    OwnerPainter p(d.owner);
    if (!p) return;
    p.UseFont(Fonts().f10, -1, TRANSPARENT);
    PaintDialog(p, d);
}

void SetSliderValue(const Dialog& d, int row, int mx) {
    // Narrow labels would make the span zero or negative; one pixel keeps the ends meaningful.
    int span = std::max(1, d.W - 34);
    double t = static_cast<double>(mx - d.x - d.W - 16) / span;
    t = std::clamp(t, 0.0, 1.0);
    std::snprintf(d.values[row], OptionSlot, "%d", static_cast<int>(t * 100));
}

// The folder of a path: cut after its last separator.
std::string FolderPart(const char* path) {
    std::string p = path;
    size_t cut = p.find_last_of("\\:/");
    return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

void CopySlot(char* slot, const std::string& text) {
    std::strncpy(slot, text.c_str(), OptionSlot - 1);
    slot[OptionSlot - 1] = 0;
}

// The dialog's modal state: the open text field, the slider being dragged, and the answer once
// there is one (-1 until then).
class DialogLoop {
public:
    explicit DialogLoop(Dialog& d) : d_(d) {}

    // Reads and handles messages until the dialog has its answer.
    int Run();
    // Copies the open text field's text into its value and closes it; false when none is open.
    bool CloseField();

private:
    void Handle(const MessageRecord& m);
    void Press(const MessageRecord& m, int mx, int my);
    void ChangeRow(int r, int mx);
    void Drag(const MessageRecord& m, int mx, int my);

    Dialog& d_;
    EditField field_;
    int fieldRow_ = -1;
    bool dragging_ = false;
    int result_ = -1;
};

bool DialogLoop::CloseField() {
    if (fieldRow_ < 0) return false;
    field_.GetText(d_.values[fieldRow_], OptionSlot);
    field_.Destroy();
    fieldRow_ = -1;
    return true;
}

int DialogLoop::Run() {
    MessageRecord m;
    while (result_ < 0) {
        if (!GetMessageRecord(&m)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            result_ = OptionCancel;
            break;
        }
        if (fieldRow_ >= 0 && m.window == field_.hwnd) {
            DispatchMessageRecord(m);
            continue;
        }
        Handle(m);
    }
    return result_;
}

void DialogLoop::Handle(const MessageRecord& m) {
    int mx = GET_X_LPARAM(m.lParam), my = GET_Y_LPARAM(m.lParam);
    switch (m.message) {
        case WM_PAINT:
            DispatchMessageRecord(m);
            if (m.window == d_.owner) DrawDialog(d_);
            break;
        case WM_KEYDOWN:
        case WM_CHAR:
            if (m.wParam == 27)
                result_ = OptionCancel;
            else if (m.wParam == 13)
                result_ = OptionOk;
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:  // a quick second press is a press too
            Press(m, mx, my);
            break;
        case WM_MOUSEMOVE:
            Drag(m, mx, my);
            break;
        case WM_LBUTTONUP:
            dragging_ = false;
            break;
        default:
            break;
    }
}

// A press: outside the owner or the dialog cancels, the button row answers, a value row
// changes its value.
void DialogLoop::Press(const MessageRecord& m, int mx, int my) {
    if (m.window != d_.owner) {
        result_ = OptionCancel;
        return;
    }
    bool closed = CloseField();
    int r = (my - d_.y - 36) / 20;
    if (r < 0) {
        if (closed) DrawDialog(d_);
        return;
    }
    if (mx < d_.P.left || mx > d_.P.right || my < d_.P.top || my > d_.P.bottom) {
        result_ = OptionCancel;
        return;
    }
    if (r == d_.n) {
        result_ = d_.apply && mx < d_.x + 80 ? OptionApply : OptionOk;
        return;
    }
    if (r > d_.n) {
        result_ = OptionCancel;
        return;
    }
    if (mx > d_.x + d_.W + 12) ChangeRow(r, mx);
    if (fieldRow_ < 0) DrawDialog(d_);
}

// A press on row r's value: each kind of row changes its value in its own way; a text row
// opens the text field over it.
void DialogLoop::ChangeRow(int r, int mx) {
    OptionText* items = d_.items;
    OptionText* values = d_.values;
    switch (KindOf(items[r])) {
        case 'R':
            for (int i = 0; i < d_.n; ++i)
                if (KindOf(items[i]) == 'R') values[i][0] = 0;
            CopySlot(values[r], "1");
            break;
        case 'C':
            CopySlot(values[r], values[r][0] ? "" : "1");
            break;
        case 'S':
            SetSliderValue(d_, r, mx);
            dragging_ = true;
            break;
        case 'L': {
            COLORREF c = static_cast<COLORREF>(TextToInt(values[r])) & 0xFFFFFF;
            ChooseColour(d_.owner, d_.x, d_.y, &c, nullptr, "Choose Color");
            char text[OptionSlot];
            std::snprintf(text, sizeof text, "%ld", static_cast<long>(c));
            CopySlot(values[r], text);
            break;
        }
        case 'F':
            if (ChooseFileToOpen(d_.owner, &OptionFolderSpec(), "All Files (*.*)|*.*|", ".bmp",
                                 nullptr, false))
                CopySlot(values[r], FolderPart(OptionFolderSpec().path));
            break;
        default:
            DrawDialog(d_);
            if (field_.Create(d_.owner, d_.x + d_.W + 15, d_.y + 36 + 20 * r,
                              d_.P.right - d_.x - d_.W - 24, 20, 123456, Fonts().f10)) {
                fieldRow_ = r;
                field_.SetText(values[r], true);
            }
            break;
    }
}

// Dragging a slider: the row under the pointer, when it is a slider, follows it.
void DialogLoop::Drag(const MessageRecord& m, int mx, int my) {
    if (!dragging_ || m.window != d_.owner) return;
    int r = (my - d_.y - 36) / 20;
    if (r >= 0 && r < d_.n && KindOf(d_.items[r]) == 'S') {
        SetSliderValue(d_, r, mx);
        DrawDialog(d_);
    }
}

}  // namespace

FileSpec& OptionFolderSpec() {
    static FileSpec fileSpec;
    return fileSpec;
}

int OptionDialogLabelWidth(int count, const OptionText* items) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Fonts().f10 ? Fonts().f10 : GetStockObject(-1));
    int w = 0;
    {
        Painter p(dc);
        for (int i = 0; i < count; ++i) w = std::max(w, p.StringWidth(items[i]));
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return w;
}

int RunOptionDialog(HWND owner, int x, int y, int count, OptionText* items, OptionText* values,
                    const char* title) {
    if (!IsWindow(owner) || !items || !values || count == 0) return OptionCancel;
    Dialog d{owner, x, y, count < 0 ? -count : count, count < 0, items, values, title, 0, {}};
    for (int i = 0; i < d.n; ++i) {
        items[i][OptionSlot - 1] = 0;
        values[i][OptionSlot - 1] = 0;
    }
    d.W = OptionDialogLabelWidth(d.n, items);
    d.P = Rect{x, y, x + 16 + 2 * d.W, y + 78 + 20 * d.n};
    DrawDialog(d);

    DialogLoop loop(d);
    const int result = loop.Run();
    loop.CloseField();
    return result;
}

}  // namespace kv
