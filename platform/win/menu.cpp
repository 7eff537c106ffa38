// Menus: menu handles and items, the menu bar drawn into a window's frame, and the popup that
// opens under a bar title and sends WM_COMMAND to the owner when an item is chosen.
#include <algorithm>
#include <cctype>
#include <set>

#include "platform/win/menu_internal.h"

namespace kv {

namespace {

// Menus alive in the process, so a stale handle is refused; the UI thread's alone.
std::set<HMENU>& LiveMenus() {
    static std::set<HMENU> s;
    return s;
}

bool LiveMenu(HMENU m) {
    return m && LiveMenus().count(m);
}

constexpr int ItemHeight = 20;
constexpr int SeparatorHeight = 8;

HFONT MenuFont() {
    return CreateFont(-12, FW_NORMAL, false, false, FF_SWISS, "Arial");
}

int TextWidth(HDC dc, const std::string& s) {
    SIZE sz;
    GetTextExtentPoint32(dc, s, &sz);
    return sz.cx;
}

void SplitShortcut(const std::string& text, std::string* label, std::string* keys) {
    size_t tab = text.find('\t');
    *label = tab == std::string::npos ? text : text.substr(0, tab);
    *keys = tab == std::string::npos ? std::string() : text.substr(tab + 1);
}

// The open popup, or the bar title the keyboard selected with no popup open. There is at most
// one on the desktop at a time; the UI thread's alone.
struct Tracking {
    HWND owner = nullptr;
    int barIndex = -1;
    HWND popup = nullptr;
    HMENU menu = nullptr;
    int hot = -1;
    // The letter of the Alt+letter that opened the menu: its character, when it arrives after the
    // menu is open, is not a pick in the menu. Cleared by the next key pressed.
    uint32_t swallowChar = 0;
} g_track;

// Each item's letter: the first letter of its label not taken by an item above it.
std::vector<char> Mnemonics(HMENU m) {
    std::vector<char> letters;
    if (!LiveMenu(m)) return letters;
    std::string taken;
    for (const MenuItem& it : m->items) {
        char letter = 0;
        if (!(it.flags & MF_SEPARATOR)) {
            const std::string label = it.text.substr(0, it.text.find('\t'));
            for (char c : label) {
                const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (l >= 'a' && l <= 'z' && taken.find(l) == std::string::npos) {
                    letter = l;
                    taken += l;
                    break;
                }
            }
        }
        letters.push_back(letter);
    }
    return letters;
}

int ItemOfLetter(HMENU m, uint32_t codepoint) {
    if (codepoint >= 128) return -1;
    const char l = static_cast<char>(std::tolower(static_cast<int>(codepoint)));
    std::vector<char> letters = Mnemonics(m);
    for (size_t i = 0; i < letters.size(); ++i)
        if (letters[i] && letters[i] == l) return static_cast<int>(i);
    return -1;
}

// Underlines the letter that picks an item, drawn in `label` at (x, y) in the current font.
void UnderlineLetter(HDC dc, const std::string& label, char letter, int x, int y, COLORREF ink) {
    if (!letter) return;
    size_t at = 0;
    while (at < label.size() && std::tolower(static_cast<unsigned char>(label[at])) !=
                                    static_cast<unsigned char>(letter))
        ++at;
    if (at == label.size()) return;
    const int left = x + TextWidth(dc, label.substr(0, at));
    const int right = x + TextWidth(dc, label.substr(0, at + 1)) - 1;
    HBRUSH line = CreateSolidBrush(ink);
    const Rect r{left, y + 13, std::max(right, left + 1), y + 14};
    FillRect(dc, &r, line);
    DeleteObject(line);
}

bool Selectable(const MenuItem& it) {
    return !(it.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
}

// The next item the arrows may highlight from `from` (-1: before the first) going `step`; -1
// when the menu has none.
int NextSelectable(HMENU m, int from, int step) {
    if (!LiveMenu(m)) return -1;
    const int count = static_cast<int>(m->items.size());
    int i = from < 0 ? (step > 0 ? -1 : count) : from;
    for (int n = 0; n < count; ++n) {
        i = (i + step + count) % count;
        if (Selectable(m->items[i])) return i;
    }
    return -1;
}

MenuItem* FindItem(HMENU m, uint32_t id) {
    if (!LiveMenu(m)) return nullptr;
    for (MenuItem& it : m->items) {
        if (it.popup) {
            if (MenuItem* f = FindItem(it.popup, id)) return f;
        } else if (!(it.flags & MF_SEPARATOR) && it.id == id) {
            return &it;
        }
    }
    return nullptr;
}

// Bar title boxes in surface coordinates.
std::vector<Rect> BarBoxes(HWND w, const Rect& bar) {
    std::vector<Rect> boxes;
    if (!w->menu) return boxes;
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT f = MenuFont();
    SelectObject(dc, f);
    int x = bar.left + 2;
    for (const MenuItem& it : w->menu->items) {
        int wdt = TextWidth(dc, it.text) + 16;
        boxes.push_back(Rect{x, bar.top, x + wdt, bar.bottom});
        x += wdt;
    }
    DeleteDC(dc);
    DeleteObject(f);
    return boxes;
}

Rect BarRectOf(HWND w) {
    FrameMetrics m = MetricsOf(w);
    return Rect{m.border, m.border + m.caption, w->surfW - m.border, m.border + m.caption + m.menu};
}

int ItemTop(HMENU m, int index) {
    int y = 2;
    for (int i = 0; i < index; ++i)
        y += (m->items[i].flags & MF_SEPARATOR) ? SeparatorHeight : ItemHeight;
    return y;
}

int ItemAt(HMENU m, int y) {
    for (size_t i = 0; i < m->items.size(); ++i) {
        int top = ItemTop(m, static_cast<int>(i));
        int h = (m->items[i].flags & MF_SEPARATOR) ? SeparatorHeight : ItemHeight;
        if (y >= top && y < top + h) return static_cast<int>(i);
    }
    return -1;
}

void PaintPopup(HWND popup) {
    HMENU m = g_track.menu;
    if (!LiveMenu(m)) return;
    RECT c;
    HDC dc = GetClearedDC(popup, RGB(240, 240, 240), &c);
    const std::vector<char> letters = Mnemonics(m);
    HFONT f = MenuFont();
    HGDIOBJ oldFont = SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    for (size_t i = 0; i < m->items.size(); ++i) {
        const MenuItem& it = m->items[i];
        int top = ItemTop(m, static_cast<int>(i));
        if (it.flags & MF_SEPARATOR) {
            HBRUSH line = CreateSolidBrush(RGB(160, 160, 160));
            Rect r{4, top + 3, c.right - 4, top + 4};
            FillRect(dc, &r, line);
            DeleteObject(line);
            continue;
        }
        bool grey = (it.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        bool hot = static_cast<int>(i) == g_track.hot && !grey;
        if (hot) {
            HBRUSH hi = CreateSolidBrush(RGB(0, 84, 166));
            Rect r{2, top, c.right - 2, top + ItemHeight};
            FillRect(dc, &r, hi);
            DeleteObject(hi);
        }
        COLORREF ink = grey ? RGB(128, 128, 128) : hot ? RGB(255, 255, 255) : RGB(0, 0, 0);
        SetTextColor(dc, ink);
        if (it.flags & MF_CHECKED) {
            HPEN pen = CreatePen(PS_SOLID, 2, ink);
            HGDIOBJ old = SelectObject(dc, pen);
            POINT tick[3] = {{6, top + 10}, {9, top + 14}, {15, top + 6}};
            Polyline(dc, tick, 3);
            SelectObject(dc, old);
            DeleteObject(pen);
        }
        std::string label, keys;
        SplitShortcut(it.text, &label, &keys);
        TextOut(dc, 22, top + 3, label);
        UnderlineLetter(dc, label, letters[i], 22, top + 3, ink);
        if (!keys.empty()) {
            SetTextAlign(dc, TA_RIGHT);
            TextOut(dc, c.right - 12, top + 3, keys);
            SetTextAlign(dc, TA_LEFT);
        }
    }
    SelectObject(dc, oldFont);
    DeleteObject(f);
    ReleaseDC(popup, dc);
}

int64_t MenuPopupProc(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    if (msg == WM_PAINT) {
        PaintPopup(hwnd);
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

void ClosePopup() {
    HWND owner = g_track.owner;
    if (IsWindow(g_track.popup)) DestroyWindow(g_track.popup);
    g_track = Tracking{};
    if (IsWindow(owner)) DrawNonClient(owner);
}

// Opens the popup under bar title `index`; from the keyboard its first item is highlighted.
void OpenPopup(HWND owner, int index, bool byKeyboard = false) {
    if (IsWindow(g_track.popup)) DestroyWindow(g_track.popup);
    g_track.popup = nullptr;
    if (!IsWindow(owner) || !owner->menu || index < 0 ||
        index >= static_cast<int>(owner->menu->items.size()))
        return;
    const MenuItem& title = owner->menu->items[index];
    g_track.owner = owner;
    g_track.barIndex = index;
    g_track.menu = title.popup;
    g_track.hot = -1;
    DrawNonClient(owner);
    if (!title.popup || (title.flags & (MF_GRAYED | MF_DISABLED))) return;
    SendMessage(owner, WM_INITMENU, reinterpret_cast<uint64_t>(owner->menu), 0);
    HMENU m = title.popup;
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT f = MenuFont();
    SelectObject(dc, f);
    int labelW = 0, keysW = 0;
    for (const MenuItem& it : m->items) {
        std::string label, keys;
        SplitShortcut(it.text, &label, &keys);
        labelW = std::max(labelW, TextWidth(dc, label));
        keysW = std::max(keysW, TextWidth(dc, keys));
    }
    DeleteDC(dc);
    DeleteObject(f);
    int width = 22 + labelW + (keysW ? 24 + keysW : 0) + 16;
    int height = ItemTop(m, static_cast<int>(m->items.size())) + 4;
    static bool registered = false;
    if (!registered) registered = RegisterClass("#menu", MenuPopupProc, 0, 0, 0);
    std::vector<Rect> boxes = BarBoxes(owner, BarRectOf(owner));
    int x = owner->rect.left + boxes[index].left;
    int y = owner->rect.top + boxes[index].bottom;
    g_track.popup = CreateWindowEx(WS_EX_TOPMOST, "#menu", "", WS_POPUP | WS_BORDER, x, y, width,
                                   height, owner, 0);
    if (byKeyboard) g_track.hot = NextSelectable(m, -1, 1);
    if (g_track.popup) {
        ShowWindow(g_track.popup, SW_SHOW);
        UpdateWindow(g_track.popup);
    }
}

// The keyboard selects bar title `index` without opening it (a lone Alt).
void SelectBar(HWND owner, int index) {
    if (IsWindow(g_track.popup)) DestroyWindow(g_track.popup);
    g_track = Tracking{};
    g_track.owner = owner;
    g_track.barIndex = index;
    DrawNonClient(owner);
}

void Choose(int index) {
    HMENU m = g_track.menu;
    HWND owner = g_track.owner;
    if (!LiveMenu(m) || index < 0 || index >= static_cast<int>(m->items.size())) return;
    MenuItem it = m->items[index];
    if (it.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)) return;
    ClosePopup();
    PostMessage(owner, WM_COMMAND, it.id & 0xFFFF, 0);
}

}  // namespace

HMENU CreateMenu() {
    HMENU m = new Menu{};
    LiveMenus().insert(m);
    return m;
}

HMENU CreatePopupMenu() {
    HMENU m = CreateMenu();
    m->isPopup = true;
    return m;
}

bool DestroyMenu(HMENU menu) {
    if (!LiveMenu(menu)) return false;
    for (MenuItem& it : menu->items)
        if (it.popup) DestroyMenu(it.popup);
    LiveMenus().erase(menu);
    if (g_track.menu == menu) g_track.menu = nullptr;
    delete menu;
    return true;
}

bool AppendMenu(HMENU menu, uint32_t flags, uintptr_t idOrPopup, const std::string& text) {
    if (!LiveMenu(menu)) return false;
    MenuItem it;
    it.flags = flags;
    it.text = text;
    if (flags & MF_POPUP) {
        it.popup = reinterpret_cast<HMENU>(idOrPopup);
        if (!LiveMenu(it.popup)) return false;
    } else {
        it.id = static_cast<uint32_t>(idOrPopup);
    }
    menu->items.push_back(it);
    return true;
}

bool ModifyMenu(HMENU menu, uint32_t id, uint32_t flags, const std::string& text) {
    MenuItem* it = FindItem(menu, id);
    if (!it) return false;
    it->flags = flags & ~MF_POPUP;
    it->text = text;
    return true;
}

std::string GetMenuString(HMENU menu, uint32_t id) {
    MenuItem* it = FindItem(menu, id);
    return it ? it->text : std::string();
}

int GetMenuState(HMENU menu, uint32_t id) {
    MenuItem* it = FindItem(menu, id);
    return it ? static_cast<int>(it->flags) : -1;
}

int GetMenuItemCount(HMENU menu) {
    return LiveMenu(menu) ? static_cast<int>(menu->items.size()) : -1;
}

bool SetMenu(HWND hwnd, HMENU menu) {
    if (!IsWindow(hwnd)) return false;
    hwnd->menu = LiveMenu(menu) ? menu : nullptr;
    ResizeSurface(hwnd);
    RECT c;
    GetClientRect(hwnd, &c);
    SendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
    InvalidateRect(hwnd, nullptr, true);
    return true;
}

HMENU GetMenu(HWND hwnd) {
    return IsWindow(hwnd) ? hwnd->menu : nullptr;
}

bool DrawMenuBar(HWND hwnd) {
    if (!IsWindow(hwnd)) return false;
    DrawNonClient(hwnd);
    return true;
}

void DrawMenuBarInto(Window* w, HDC dc, const Rect& bar) {
    HBRUSH face = CreateSolidBrush(RGB(240, 240, 240));
    FillRect(dc, &bar, face);
    DeleteObject(face);
    if (!LiveMenu(w->menu)) return;
    HFONT f = MenuFont();
    HGDIOBJ old = SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    std::vector<Rect> boxes = BarBoxes(w, bar);
    const std::vector<char> titleLetters = Mnemonics(w->menu);
    for (size_t i = 0; i < boxes.size(); ++i) {
        const MenuItem& it = w->menu->items[i];
        bool open = g_track.owner == w && g_track.barIndex == static_cast<int>(i);
        if (open) {
            HBRUSH hi = CreateSolidBrush(RGB(0, 84, 166));
            FillRect(dc, &boxes[i], hi);
            DeleteObject(hi);
        }
        bool grey = (it.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        const COLORREF ink = grey ? RGB(128, 128, 128) : open ? RGB(255, 255, 255) : RGB(0, 0, 0);
        SetTextColor(dc, ink);
        TextOut(dc, boxes[i].left + 8, boxes[i].top + 3, it.text);
        UnderlineLetter(dc, it.text, titleLetters[i], boxes[i].left + 8, boxes[i].top + 3, ink);
    }
    SelectObject(dc, old);
    DeleteObject(f);
}

void OpenMenuBarAt(HWND w, int surfaceX) {
    std::vector<Rect> boxes = BarBoxes(w, BarRectOf(w));
    for (size_t i = 0; i < boxes.size(); ++i)
        if (surfaceX >= boxes[i].left && surfaceX < boxes[i].right) {
            if (g_track.owner == w && g_track.barIndex == static_cast<int>(i)) {
                ClosePopup();
                return;
            }
            OpenPopup(w, static_cast<int>(i));
            return;
        }
}

void CloseMenusOf(HWND w) {
    if (g_track.owner == w || g_track.popup == w) {
        HWND popup = g_track.popup;
        g_track = Tracking{};
        if (IsWindow(popup) && popup != w) DestroyWindow(popup);
    }
}

bool MenuTrackMouse(int x, int y, MouseAction action, int button) {
    if (!g_track.owner) return false;
    HWND owner = g_track.owner;
    if (!IsWindow(owner)) {
        g_track = Tracking{};
        return false;
    }
    HWND popup = g_track.popup;
    if (IsWindow(popup) && x >= popup->rect.left && x < popup->rect.right && y >= popup->rect.top &&
        y < popup->rect.bottom) {
        POINT p = ScreenToClient(popup, POINT{x, y});
        int index = ItemAt(g_track.menu, p.y);
        if (action == MouseAction::Move && index != g_track.hot) {
            g_track.hot = index;
            PaintPopup(popup);
        } else if (action == MouseAction::Up && button == 1) {
            Choose(index);
        }
        return true;
    }
    // Over the owner's menu bar: moving switches the open popup, a press toggles it.
    Rect bar = BarRectOf(owner);
    int sx = x - owner->rect.left, sy = y - owner->rect.top;
    if (sx >= bar.left && sx < bar.right && sy >= bar.top && sy < bar.bottom) {
        std::vector<Rect> boxes = BarBoxes(owner, bar);
        for (size_t i = 0; i < boxes.size(); ++i)
            if (sx >= boxes[i].left && sx < boxes[i].right) {
                if (action == MouseAction::Move && static_cast<int>(i) != g_track.barIndex)
                    OpenPopup(owner, static_cast<int>(i));
                else if (action == MouseAction::Down)
                    ClosePopup();
            }
        return true;
    }
    if (action == MouseAction::Down) {
        ClosePopup();
        return true;  // the press that closes a menu goes nowhere else
    }
    return action != MouseAction::Move ? true : false;
}

namespace {

// A letter in an open menu runs the item whose letter it is; on the selected bar it opens the
// title whose letter it is.
void PickByLetter(uint32_t codepoint) {
    if (IsWindow(g_track.popup)) {
        const int index = ItemOfLetter(g_track.menu, codepoint);
        if (index >= 0 && Selectable(g_track.menu->items[index])) Choose(index);
    } else {
        const int title = ItemOfLetter(g_track.owner->menu, codepoint);
        if (title >= 0) OpenPopup(g_track.owner, title, true);
    }
}

}  // namespace

// While a menu is open or the bar is selected, every key is the menu's. Alt does nothing there:
// the keyboard passing between the program's windows as a menu opens may repeat a held Alt's
// press and release (SDL on X without a window manager does), which must not close the menu.
bool MenuTrackKey(int vk, bool down) {
    if (!g_track.owner) return false;
    if (!down) return true;
    if (!IsWindow(g_track.owner) || !LiveMenu(g_track.owner->menu)) {
        ClosePopup();
        return true;
    }
    g_track.swallowChar = 0;
    HWND owner = g_track.owner;
    const bool open = IsWindow(g_track.popup);
    HMENU m = g_track.menu;
    switch (vk) {
        case VK_ESCAPE:
        case VK_F10:
            ClosePopup();
            break;
        case VK_DOWN:
        case VK_UP:
            if (!open) {
                OpenPopup(owner, g_track.barIndex, true);
                break;
            }
            if (int next = NextSelectable(m, g_track.hot, vk == VK_DOWN ? 1 : -1); next >= 0)
                g_track.hot = next;
            PaintPopup(g_track.popup);
            break;
        case VK_LEFT:
        case VK_RIGHT: {
            const int n = static_cast<int>(owner->menu->items.size());
            const int next = (g_track.barIndex + (vk == VK_RIGHT ? 1 : n - 1)) % n;
            if (open)
                OpenPopup(owner, next, true);
            else
                SelectBar(owner, next);
            break;
        }
        case VK_RETURN:
        case VK_SPACE:
            if (open)
                Choose(g_track.hot);
            else
                OpenPopup(owner, g_track.barIndex, true);
            break;
        default:
            // A letter with Alt still held picks by its key: a system may send no character
            // for it (the character that may follow comes as the system's, never as text).
            if (vk >= 'A' && vk <= 'Z' && GetKeyState(VK_MENU) < 0 && GetKeyState(VK_CONTROL) >= 0)
                PickByLetter(static_cast<uint32_t>(vk));
            break;
    }
    return true;
}

// A character while a menu is open picks the item whose letter it is; on the selected bar, the
// title whose letter it is.
bool MenuTrackChar(uint32_t codepoint) {
    if (!g_track.owner) return false;
    if (!IsWindow(g_track.owner) || !LiveMenu(g_track.owner->menu)) {
        ClosePopup();
        return true;
    }
    const uint32_t swallow = g_track.swallowChar;
    g_track.swallowChar = 0;
    if (codepoint < 128 && swallow &&
        std::tolower(static_cast<int>(codepoint)) == static_cast<int>(swallow))
        return true;
    PickByLetter(codepoint);
    return true;
}

bool MenuKeyMessage(HWND menuWindow, uint32_t msg, uint64_t vk, int64_t lParam) {
    if (!IsWindow(menuWindow) || !LiveMenu(menuWindow->menu) || menuWindow->menu->items.empty())
        return false;
    if (msg == WM_SYSKEYUP) {
        if (vk != static_cast<uint64_t>(VK_MENU) || !(lParam & KeyUpAltAlone) || g_track.owner)
            return false;
        SelectBar(menuWindow, 0);
        return true;
    }
    if (msg != WM_SYSKEYDOWN || g_track.owner) return false;
    if (vk == static_cast<uint64_t>(VK_F10)) {
        OpenPopup(menuWindow, 0, true);
        return true;
    }
    if (!(lParam & KeyDownWithAlt) || vk < 'A' || vk > 'Z') return false;
    const int title = ItemOfLetter(menuWindow->menu, static_cast<uint32_t>(vk));
    if (title < 0) return false;
    OpenPopup(menuWindow, title, true);
    g_track.swallowChar = static_cast<uint32_t>(std::tolower(static_cast<int>(vk)));
    return true;
}

std::string GetMenuItemText(HMENU menu, int position) {
    if (!LiveMenu(menu) || position < 0 || position >= static_cast<int>(menu->items.size()))
        return std::string();
    return menu->items[position].text;
}

HMENU GetSubMenu(HMENU menu, int position) {
    if (!LiveMenu(menu) || position < 0 || position >= static_cast<int>(menu->items.size()))
        return nullptr;
    return menu->items[position].popup;
}

char GetMenuMnemonic(HMENU menu, int position) {
    std::vector<char> letters = Mnemonics(menu);
    return position >= 0 && position < static_cast<int>(letters.size()) ? letters[position] : 0;
}

MenuTrackingState GetMenuTrackingState() {
    MenuTrackingState s;
    if (!IsWindow(g_track.owner)) return s;
    s.owner = g_track.owner;
    s.barIndex = g_track.barIndex;
    s.open = IsWindow(g_track.popup);
    s.hot = g_track.hot;
    return s;
}

}  // namespace kv
