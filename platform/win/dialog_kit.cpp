// The machinery the layer's modal dialogs share: the dialog window and its modal loop, buttons,
// the focus mark and splitting text into lines.
#include "platform/win/dialog_kit.h"

#include <algorithm>

namespace kv {

namespace {

int64_t DialogProc(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    if (auto* h = static_cast<DialogHandler*>(GetWindowUserData(hwnd)))
        (*h)(hwnd, msg, wParam, lParam);
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

HWND MakeDialog(HWND owner, const std::string& title, int clientW, int clientH,
                DialogHandler* handler) {
    // The dialog class is registered once for the process, on the first dialog.
    static bool registered = false;
    if (!registered) registered = RegisterClass("#dialog", DialogProc, CS_DBLCLKS, 0, 0);
    int w = clientW + 2, h = clientH + 22;
    RECT area = GetWorkArea();
    RECT ownerRect;
    int cx = (area.left + area.right) / 2, cy = (area.top + area.bottom) / 2;
    if (owner && GetWindowRect(owner, &ownerRect) && !(GetWindowStyle(owner) & WS_CHILD)) {
        cx = (ownerRect.left + ownerRect.right) / 2;
        cy = (ownerRect.top + ownerRect.bottom) / 2;
    }
    HWND d = CreateWindowEx(WS_EX_TOPMOST, "#dialog", title, WS_POPUP | WS_CAPTION | WS_BORDER,
                            cx - w / 2, cy - h / 2, w, h, owner, 0);
    if (!d) return nullptr;
    SetWindowUserData(d, handler);
    ShowWindow(d, SW_SHOW);
    return d;
}

bool IsInput(uint32_t m) {
    return (m >= WM_KEYDOWN && m <= WM_SYSKEYUP) || (m >= WM_MOUSEMOVE && m <= WM_XBUTTONUP);
}

bool BelongsTo(HWND w, HWND dialog) {
    for (HWND h = w; h; h = (GetWindowStyle(h) & WS_CHILD) ? GetParent(h) : nullptr)
        if (h == dialog) return true;
    return false;
}

bool ModalLoop(HWND dialog, const std::function<bool()>& done,
               const std::function<bool(const MSG&)>& filter) {
    MSG m;
    while (!done()) {
        if (!GetMessage(&m)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return false;
        }
        if (!IsWindow(dialog)) return false;
        if (filter && filter(m)) continue;
        if (IsInput(m.message) && !BelongsTo(m.hwnd, dialog)) continue;
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    return true;
}

HDC BeginDialogPaint(HWND d) {
    return GetClearedDC(d, RGB(240, 240, 240));
}

void DrawButton(HDC dc, const Button& b, bool isDefault) {
    HBRUSH face = CreateSolidBrush(RGB(225, 225, 225));
    FillRect(dc, &b.r, face);
    DeleteObject(face);
    HPEN pen = CreatePen(PS_SOLID, isDefault ? 2 : 1, RGB(0, 0, 0));
    HGDIOBJ op = SelectObject(dc, pen);
    HGDIOBJ ob = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, b.r.left, b.r.top, b.r.right, b.r.bottom);
    SelectObject(dc, op);
    SelectObject(dc, ob);
    DeleteObject(pen);
    SetTextAlign(dc, TA_CENTER);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOut(dc, (b.r.left + b.r.right) / 2, b.r.top + 4, b.label);
    SetTextAlign(dc, TA_LEFT);
}

void DrawFocusMark(HDC dc, const Rect& r) {
    const Rect in{r.left + 3, r.top + 3, r.right - 4, r.bottom - 4};
    const COLORREF ink = RGB(0, 0, 0);
    for (int x = in.left; x <= in.right; x += 2) {
        SetPixel(dc, x, in.top, ink);
        SetPixel(dc, x, in.bottom, ink);
    }
    for (int y = in.top; y <= in.bottom; y += 2) {
        SetPixel(dc, in.left, y, ink);
        SetPixel(dc, in.right, y, ink);
    }
}

int NextFocus(int focus, int count, bool forward) {
    return count > 0 ? (focus + (forward ? 1 : count - 1)) % count : 0;
}

bool HitButton(const Button& b, int64_t lParam) {
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    return x >= b.r.left && x < b.r.right && y >= b.r.top && y < b.r.bottom;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t nl = text.find('\n', start);
        std::string line =
            text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

}  // namespace kv
