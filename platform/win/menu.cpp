// Menus: menu handles and items, the menu bar drawn into a window's frame, and the popup that
// opens under a bar title and sends WM_COMMAND to the owner when an item is chosen.
#include <algorithm>
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

// The open popup. There is at most one on the desktop at a time; the UI thread's alone.
struct Tracking {
    HWND owner = nullptr;
    int barIndex = -1;
    HWND popup = nullptr;
    HMENU menu = nullptr;
    int hot = -1;
    bool pressedOnBar = false;
} g_track;

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

void OpenPopup(HWND owner, int index) {
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
    if (g_track.popup) {
        ShowWindow(g_track.popup, SW_SHOW);
        UpdateWindow(g_track.popup);
    }
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
    for (size_t i = 0; i < boxes.size(); ++i) {
        const MenuItem& it = w->menu->items[i];
        bool open = g_track.owner == w && g_track.barIndex == static_cast<int>(i);
        if (open) {
            HBRUSH hi = CreateSolidBrush(RGB(0, 84, 166));
            FillRect(dc, &boxes[i], hi);
            DeleteObject(hi);
        }
        bool grey = (it.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        SetTextColor(dc, grey ? RGB(128, 128, 128) : open ? RGB(255, 255, 255) : RGB(0, 0, 0));
        TextOut(dc, boxes[i].left + 8, boxes[i].top + 3, it.text);
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

bool MenuTrackKey(int vk, bool down) {
    if (!g_track.owner) return false;
    if (!down) return true;
    HMENU m = g_track.menu;
    int count = LiveMenu(m) ? static_cast<int>(m->items.size()) : 0;
    switch (vk) {
        case VK_ESCAPE:
            ClosePopup();
            break;
        case VK_DOWN:
        case VK_UP:
            for (int step = 0; step < count; ++step) {
                g_track.hot = (g_track.hot + (vk == VK_DOWN ? 1 : count - 1) +
                               (g_track.hot < 0 && vk == VK_UP ? 1 : 0)) %
                              count;
                if (!(m->items[g_track.hot].flags & MF_SEPARATOR)) break;
            }
            if (IsWindow(g_track.popup)) PaintPopup(g_track.popup);
            break;
        case VK_LEFT:
        case VK_RIGHT: {
            int n = static_cast<int>(g_track.owner->menu->items.size());
            OpenPopup(g_track.owner, (g_track.barIndex + (vk == VK_RIGHT ? 1 : n - 1)) % n);
            break;
        }
        case VK_RETURN:
            Choose(g_track.hot);
            break;
        default:
            break;
    }
    return true;
}

bool MenuTrackChar(uint32_t) {
    return g_track.owner != nullptr;
}

}  // namespace kv
