// The desktop window list on Windows: the system's own. A registered window is a hidden
// top-level window of this process bearing the title, so FindWindow in any process finds it;
// a window made by the window layer is found the same way.
#include <windows.h>

#include <map>
#include <mutex>
#include <set>

#include "platform/os/win_text.h"
#include "platform/os/window_list.h"

namespace kv {

namespace {

constexpr wchar_t EntryClass[] = L"KinevistaWindowListEntry";

std::mutex g_lock;
std::map<uint64_t, HWND>& Entries() {
    static std::map<uint64_t, HWND> entries;  // this process's registered windows by id
    return entries;
}
std::set<uint64_t>& Requests() {
    static std::set<uint64_t> requests;  // bring-forward requests not yet taken
    return requests;
}

bool RegisterEntryClass() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = EntryClass;
        return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

std::string TitleOf(HWND h) {
    const int n = GetWindowTextLengthW(h);
    std::wstring text(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
    const int got = GetWindowTextW(h, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return os::Narrow(text);
}

TopWindow Describe(HWND h) {
    TopWindow w;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    w.pid = static_cast<int32_t>(pid);
    w.windowId = reinterpret_cast<uintptr_t>(h);
    std::lock_guard<std::mutex> hold(g_lock);
    for (const auto& [id, entry] : Entries()) {
        if (entry == h) w.windowId = id;
    }
    w.title = TitleOf(h);
    return w;
}

BOOL CALLBACK CollectTop(HWND h, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
    return TRUE;
}

}  // namespace

std::string WindowListFolder() {
    return "";  // the system keeps the list
}

bool RegisterTopWindow(const std::string& title, uint64_t windowId) {
    if (!RegisterEntryClass()) return false;
    const std::wstring text = os::Widen(title);
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (auto it = Entries().find(windowId); it != Entries().end())
            return SetWindowTextW(it->second, text.c_str()) != 0;
    }
    HWND h = CreateWindowExW(WS_EX_TOOLWINDOW, EntryClass, text.c_str(), WS_POPUP, 0, 0, 1, 1,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!h) return false;
    std::lock_guard<std::mutex> hold(g_lock);
    Entries()[windowId] = h;
    return true;
}

void UnregisterTopWindow(uint64_t windowId) {
    HWND h = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        auto it = Entries().find(windowId);
        if (it != Entries().end()) {
            h = it->second;
            Entries().erase(it);
        }
        Requests().erase(windowId);
    }
    if (h) DestroyWindow(h);
}

bool FindTopWindow(const std::string& title, TopWindow* out) {
    HWND h = FindWindowW(nullptr, os::Widen(title).c_str());
    if (!h) return false;
    if (out) *out = Describe(h);
    return true;
}

std::vector<TopWindow> ListTopWindows() {
    std::vector<HWND> handles;
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&handles));
    std::vector<TopWindow> list;
    for (HWND h : handles) {
        if (GetWindowTextLengthW(h) > 0) list.push_back(Describe(h));
    }
    return list;
}

bool BringTopWindowForward(const TopWindow& window) {
    HWND h = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (auto it = Entries().find(window.windowId); it != Entries().end()) {
            h = it->second;
            Requests().insert(window.windowId);
        }
    }
    if (!h) h = reinterpret_cast<HWND>(static_cast<uintptr_t>(window.windowId));
    if (!IsWindow(h)) return false;
    BringWindowToTop(h);
    return true;
}

bool TakeBringForwardRequest(uint64_t windowId) {
    std::lock_guard<std::mutex> hold(g_lock);
    return Requests().erase(windowId) > 0;
}

int32_t DispatchThreadMessages() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return 0;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return 1;
}

}  // namespace kv
