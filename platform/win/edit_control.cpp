// The single-line edit control (class "edit"): a text with a caret and a selection, typed into
// through WM_CHAR and moved through with the arrow, Home, End, Delete and Backspace keys. The
// text scrolls horizontally to keep the caret in view. Enter, Escape and Tab are not consumed:
// they go on to the parent as WM_KEYDOWN so that a dialog can react to them.
#include <algorithm>
#include <cstring>

#include "platform/win/internal.h"

namespace kv {

namespace {

struct EditState {
    int caret = 0;
    int anchor = 0;  // the other end of the selection
    int scroll = 0;  // pixels scrolled off the left
};

EditState* StateOf(HWND w) {
    return static_cast<EditState*>(w->controlData);
}

int WidthOf(HDC dc, const std::string& s) {
    SIZE sz;
    GetTextExtentPoint32(dc, s, &sz);
    return sz.cx;
}

void Paint(HWND w) {
    EditState* st = StateOf(w);
    if (!st) return;
    RECT c;
    HDC dc = GetClearedDC(w, RGB(255, 255, 255), &c);
    if (w->font) SelectObject(dc, w->font);
    int ascent = 0, height = 0;
    GetTextMetrics(dc, &ascent, &height);
    int top = std::max(0, (c.bottom - height) / 2);
    const std::string& t = w->title;
    int caretX = WidthOf(dc, t.substr(0, st->caret));
    int room = std::max(4, c.right - 6);
    if (caretX - st->scroll > room) st->scroll = caretX - room;
    if (caretX - st->scroll < 0) st->scroll = caretX;
    int x0 = 2 - st->scroll;
    int s0 = std::min(st->caret, st->anchor), s1 = std::max(st->caret, st->anchor);
    bool focused = GetFocus() == w;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOut(dc, x0, top, t);
    if (s1 > s0 && focused) {
        int a = x0 + WidthOf(dc, t.substr(0, s0)), b = x0 + WidthOf(dc, t.substr(0, s1));
        HBRUSH sel = CreateSolidBrush(RGB(0, 84, 166));
        Rect r{a, top, b, top + height};
        FillRect(dc, &r, sel);
        DeleteObject(sel);
        SetTextColor(dc, RGB(255, 255, 255));
        TextOut(dc, a, top, t.substr(s0, s1 - s0));
    }
    if (focused) {
        HBRUSH ink = CreateSolidBrush(RGB(0, 0, 0));
        Rect r{x0 + caretX, top, x0 + caretX + 1, top + height};
        FillRect(dc, &r, ink);
        DeleteObject(ink);
    }
    ReleaseDC(w, dc);
}

void DeleteSelection(HWND w, EditState* st) {
    int s0 = std::min(st->caret, st->anchor), s1 = std::max(st->caret, st->anchor);
    if (s1 > s0) w->title.erase(s0, s1 - s0);
    st->caret = st->anchor = s0;
}

int CaretAt(HWND w, int x) {
    HDC dc = GetDC(w);
    if (w->font) SelectObject(dc, w->font);
    EditState* st = StateOf(w);
    int best = 0, bestD = 1 << 30;
    for (size_t i = 0; i <= w->title.size(); ++i) {
        int d = std::abs(2 - st->scroll + WidthOf(dc, w->title.substr(0, i)) - x);
        if (d < bestD) {
            bestD = d;
            best = static_cast<int>(i);
        }
    }
    ReleaseDC(w, dc);
    return best;
}

// Copies the text into a caller's buffer of wParam bytes, cut to fit with its terminator.
int64_t CopyTextOut(HWND w, uint64_t wParam, int64_t lParam) {
    if (!lParam || wParam == 0) return 0;
    auto* buf = reinterpret_cast<char*>(lParam);
    size_t n = std::min<size_t>(w->title.size(), wParam - 1);
    std::memcpy(buf, w->title.data(), n);
    buf[n] = 0;
    return static_cast<int64_t>(n);
}

// Selects from a to b; a negative start selects nothing, at the end; a negative end, up to it.
void Select(HWND w, EditState* st, int a, int b) {
    int len = static_cast<int>(w->title.size());
    if (a < 0) {
        st->anchor = st->caret = len;
    } else {
        st->anchor = std::clamp(a, 0, len);
        st->caret = b < 0 ? len : std::clamp(b, 0, len);
    }
    Paint(w);
}

// A code point as UTF-8 (up to three bytes: the keyboard gives no more).
std::string Utf8Of(uint32_t ch) {
    std::string s;
    if (ch < 0x80) {
        s = static_cast<char>(ch);
    } else if (ch < 0x800) {
        s += static_cast<char>(0xC0 | (ch >> 6));
        s += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | ((ch >> 12) & 0x0F));
        s += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (ch & 0x3F));
    }
    return s;
}

// A typed character: backspace deletes, printable characters replace the selection.
void TypeChar(HWND w, EditState* st, uint32_t ch) {
    if (ch == 8) {
        if (st->caret == st->anchor && st->caret > 0) st->anchor = st->caret - 1;
        DeleteSelection(w, st);
    } else if (ch >= 32 && ch != 127) {
        DeleteSelection(w, st);
        std::string s = Utf8Of(ch);
        w->title.insert(st->caret, s);
        st->caret += static_cast<int>(s.size());
        st->anchor = st->caret;
    }
    Paint(w);
}

// Caret movement and Delete; Shift extends the selection. Other keys are left alone.
void PressKey(HWND w, EditState* st, int vk) {
    int len = static_cast<int>(w->title.size());
    bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (vk) {
        case VK_LEFT:
            st->caret = std::max(0, st->caret - 1);
            break;
        case VK_RIGHT:
            st->caret = std::min(len, st->caret + 1);
            break;
        case VK_HOME:
            st->caret = 0;
            break;
        case VK_END:
            st->caret = len;
            break;
        case VK_DELETE:
            if (st->caret == st->anchor && st->caret < len) st->anchor = st->caret + 1;
            DeleteSelection(w, st);
            shift = true;
            break;
        default:
            return;
    }
    if (!shift) st->anchor = st->caret;
    Paint(w);
}

}  // namespace

int64_t EditControlProc(HWND w, uint32_t msg, uint64_t wParam, int64_t lParam) {
    EditState* st = StateOf(w);
    if (st) {
        // The text may have been replaced from outside; keep the caret inside it.
        int len = static_cast<int>(w->title.size());
        st->caret = std::clamp(st->caret, 0, len);
        st->anchor = std::clamp(st->anchor, 0, len);
    }
    switch (msg) {
        case WM_CREATE:
            w->controlData = new EditState{};
            StateOf(w)->caret = StateOf(w)->anchor = static_cast<int>(w->title.size());
            InvalidateRect(w, nullptr, true);
            return 0;
        case WM_DESTROY:
            delete st;
            w->controlData = nullptr;
            return 0;
        case WM_PAINT:
            Paint(w);
            ValidateRect(w, nullptr);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            Paint(w);
            return 0;
        case WM_SETFONT:
            w->font = reinterpret_cast<HFONT>(wParam);
            Paint(w);
            return 0;
        case WM_SETTEXT:
            w->title = lParam ? reinterpret_cast<const char*>(lParam) : "";
            if (st) st->caret = st->anchor = static_cast<int>(w->title.size());
            Paint(w);
            return 1;
        case WM_GETTEXT:
            return CopyTextOut(w, wParam, lParam);
        case EM_SETSEL:
            if (st)
                Select(w, st, static_cast<int>(static_cast<int64_t>(wParam)),
                       static_cast<int>(lParam));
            return 0;
        case EM_GETSEL:
            return st ? MAKELPARAM(std::min(st->caret, st->anchor), std::max(st->caret, st->anchor))
                      : 0;
        case WM_LBUTTONDOWN:
            if (!st) return 0;
            SetFocus(w);
            st->caret = st->anchor = CaretAt(w, GET_X_LPARAM(lParam));
            Paint(w);
            return 0;
        case WM_CHAR:
            if (st) TypeChar(w, st, static_cast<uint32_t>(wParam));
            return 0;
        case WM_KEYDOWN:
            if (st) PressKey(w, st, static_cast<int>(wParam));
            return 0;
        default:
            return DefWindowProc(w, msg, wParam, lParam);
    }
}

}  // namespace kv
