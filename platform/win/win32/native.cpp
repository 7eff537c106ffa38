// The system's own windows behind the win32 backend: one borderless top-level window per window of
// the layer, painted from the layer's composed picture with SetDIBitsToDevice; the system's mouse,
// key and character messages go back to the layer as screen-coordinate input.
#include "platform/win/win32/native.h"

#include <windows.h>
// The system headers below need windows.h first.
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <map>

#include "platform/win/scale.h"

namespace kv::native {

namespace {

constexpr wchar_t kClassName[] = L"KinevistaWindow";

// What the system's window procedure needs of each window: the layer's pointer and the last
// picture, which answers WM_PAINT while the layer is not looking (moves, modal dialogs).
struct Top {
    void* user = nullptr;
    bool popupMenu = false;
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    double factor = 1.0;  // device pixels per logical pixel on the window's monitor
};

// The backend is one per process and runs on the UI thread, so are these: the input sink, the
// current cursor, the image cursors made so far and whether a system dialog is up (input to the
// layer's windows waits until it closes, as it would for the layer's own modal dialogs).
Sink g_sink;
HCURSOR g_cursor = nullptr;
std::map<uintptr_t, HCURSOR> g_imageCursors;
int g_modal = 0;
int g_buttonsDown = 0;

// The factor of a density in dots per inch; 96 is one device pixel per logical one.
double FactorOfDpi(unsigned dpi) {
    return dpi ? RoundScale(dpi / 96.0) : 1.0;
}

// The density of the monitor the window is on (the system's, without a window). The call that
// asks per window is looked up at run time: systems before it, and some Wine versions, lack it,
// and then the screen's device context answers.
unsigned DpiOf(HWND h) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const DpiForWindow dpiForWindow = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        FARPROC p = user32 ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
        return reinterpret_cast<DpiForWindow>(reinterpret_cast<void (*)()>(p));
    }();
    unsigned dpi = h && dpiForWindow ? dpiForWindow(h) : 0;
    if (dpi == 0) {
        HDC dc = GetDC(h);
        if (dc) {
            dpi = static_cast<unsigned>(std::max(0, GetDeviceCaps(dc, LOGPIXELSX)));
            ReleaseDC(h, dc);
        }
    }
    return dpi;
}

HCURSOR Arrow() {
    return LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
}

void Paint(HWND h, HDC dc) {
    auto* t = reinterpret_cast<Top*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!t || t->pixels.empty()) return;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = t->width;
    bi.bmiHeader.biHeight = -t->height;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, t->width, t->height, 0, 0, 0, t->height, t->pixels.data(), &bi,
                      DIB_RGB_COLORS);
}

int ButtonOf(UINT m, WPARAM wp) {
    switch (m) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return 1;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            return 2;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            return 3;
        default:
            return GET_XBUTTON_WPARAM(wp) == XBUTTON2 ? 5 : 4;
    }
}

void Mouse(HWND h, Top* t, UINT m, WPARAM wp, LPARAM lp) {
    POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    ClientToScreen(h, &p);
    int action = kMouseMove, button = 0;
    if (m != WM_MOUSEMOVE) {
        button = ButtonOf(m, wp);
        bool down = m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN ||
                    m == WM_XBUTTONDOWN;
        action = down ? kMouseDown : kMouseUp;
        // Drags that leave the window keep reporting to it until every button is up.
        if (down && g_buttonsDown++ == 0) SetCapture(h);
        if (!down && g_buttonsDown > 0 && --g_buttonsDown == 0) ReleaseCapture();
    }
    if (g_sink.mouse) g_sink.mouse(t->user, p.x, p.y, action, button, 0);
}

// Text only: control characters come to the layer as keys already. A UTF-16 surrogate pair
// arrives as two messages; a lone low surrogate stands for U+FFFD.
void Character(WPARAM wp) {
    static wchar_t high = 0;
    auto c = static_cast<wchar_t>(wp);
    if (c >= 0xD800 && c < 0xDC00) {
        high = c;
        return;
    }
    uint32_t cp = c;
    if (c >= 0xDC00 && c < 0xE000)
        cp = high ? 0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00) : 0xFFFD;
    high = 0;
    if (cp >= 0x20 && cp != 0x7F && !g_modal && g_sink.character) g_sink.character(cp);
}

// Moved to a monitor of another density (or the monitor's density changed): the layer lays the
// window out again at the new factor in the rectangle suggested.
void DpiChanged(HWND h, Top* t, WPARAM wp, LPARAM lp) {
    t->factor = FactorOfDpi(LOWORD(wp));
    const auto* r = reinterpret_cast<const RECT*>(lp);
    if (g_sink.rescale)
        g_sink.rescale(t->user, t->factor, r->left, r->top, r->right - r->left, r->bottom - r->top);
    else
        SetWindowPos(h, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK Procedure(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    auto* t = reinterpret_cast<Top*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!t) return DefWindowProcW(h, m, wp, lp);
    switch (m) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            Paint(h, dc);
            EndPaint(h, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_XBUTTONDOWN:
        case WM_XBUTTONUP:
            if (!g_modal) Mouse(h, t, m, wp, lp);
            return m == WM_XBUTTONDOWN || m == WM_XBUTTONUP ? TRUE : 0;
        case WM_CAPTURECHANGED:
            g_buttonsDown = 0;
            return 0;
        case WM_MOUSEWHEEL:
            if (!g_modal && g_sink.mouse)
                g_sink.mouse(t->user, GET_X_LPARAM(lp), GET_Y_LPARAM(lp), kMouseWheel, 0,
                             GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA);
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // The layer runs its own menus: Alt and F10 must not start the system's menu mode.
            if (!g_modal && g_sink.key)
                g_sink.key(static_cast<int>(wp), m == WM_KEYDOWN || m == WM_SYSKEYDOWN);
            return 0;
        case WM_CHAR:
            Character(wp);
            return 0;
        case WM_SYSCHAR:
            return 0;
        case WM_CLOSE:
            if (g_sink.close) g_sink.close(t->user);
            return 0;
        case WM_ACTIVATEAPP:
            if (g_sink.activate) g_sink.activate(t->user, wp != FALSE);
            break;
        case WM_DPICHANGED:
            DpiChanged(h, t, wp, lp);
            return 0;
        case WM_MOUSEACTIVATE:
            return t->popupMenu ? MA_NOACTIVATE : MA_ACTIVATE;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT) {
                ::SetCursor(g_cursor ? g_cursor : Arrow());
                return TRUE;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(h, m, wp, lp);
}

}  // namespace

std::wstring Wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& s) {
    if (s.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string ProgramFile() {
    std::vector<wchar_t> path(32768);
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return std::string();
    return Narrow(std::wstring(path.data(), n));
}

bool Start(const Sink& sink) {
    g_sink = sink;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = Arrow();
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

Handle CreateTop(void* user, const std::string& title, int x, int y, int width, int height,
                 bool popupMenu, bool topmost, Handle owner) {
    DWORD ex = 0;
    if (popupMenu) ex |= WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
    if (!popupMenu && !owner) ex |= WS_EX_APPWINDOW;
    if (topmost) ex |= WS_EX_TOPMOST;
    auto* t = new Top;
    t->user = user;
    t->popupMenu = popupMenu;
    HWND h = CreateWindowExW(ex, kClassName, Wide(title).c_str(), WS_POPUP | WS_CLIPCHILDREN, x, y,
                             width, height, static_cast<HWND>(owner), nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (!h) {
        delete t;
        return nullptr;
    }
    t->factor = FactorOfDpi(DpiOf(h));
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(t));
    return h;
}

double Factor(Handle handle) {
    auto h = static_cast<HWND>(handle);
    auto* t = h ? reinterpret_cast<Top*>(GetWindowLongPtrW(h, GWLP_USERDATA)) : nullptr;
    return t ? t->factor : SystemFactor();
}

double SystemFactor() {
    return FactorOfDpi(DpiOf(nullptr));
}

void Destroy(Handle handle) {
    auto h = static_cast<HWND>(handle);
    auto* t = reinterpret_cast<Top*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
    delete t;
}

void Place(Handle handle, int x, int y, int width, int height, bool visible, bool topmost) {
    auto h = static_cast<HWND>(handle);
    auto* t = reinterpret_cast<Top*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    bool menu = t && t->popupMenu;
    bool wasVisible = IsWindowVisible(h) != FALSE;
    UINT flags = SWP_NOACTIVATE;
    if (visible && !wasVisible) flags |= SWP_SHOWWINDOW;
    if (!visible && wasVisible) flags |= SWP_HIDEWINDOW;
    SetWindowPos(h, topmost ? HWND_TOPMOST : (visible ? HWND_TOP : HWND_NOTOPMOST), x, y, width,
                 height, flags);
    // A window of the program that appears takes the keyboard, as a newly opened window does;
    // the views a window owns leave it with their owner.
    if (visible && !wasVisible && !menu && !GetWindow(h, GW_OWNER)) SetForegroundWindow(h);
}

void Minimize(Handle handle, bool minimized) {
    auto h = static_cast<HWND>(handle);
    if ((IsIconic(h) != FALSE) != minimized) ShowWindow(h, minimized ? SW_MINIMIZE : SW_RESTORE);
}

void Raise(Handle handle) {
    SetWindowPos(static_cast<HWND>(handle), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TakeKeyboard(Handle handle) {
    auto h = static_cast<HWND>(handle);
    DWORD pid = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(h)) SetForegroundWindow(h);
}

void SetTitle(Handle h, const std::string& title) {
    SetWindowTextW(static_cast<HWND>(h), Wide(title).c_str());
}

void Show(Handle handle, const uint32_t* pixels, int width, int height) {
    auto h = static_cast<HWND>(handle);
    auto* t = reinterpret_cast<Top*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!t || width <= 0 || height <= 0) return;
    t->pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
    t->width = width;
    t->height = height;
    HDC dc = GetDC(h);
    Paint(h, dc);
    ReleaseDC(h, dc);
}

void ShowParts(Handle handle, const uint32_t* pixels, int width, int height,
               const std::vector<Box>& boxes) {
    auto h = static_cast<HWND>(handle);
    auto* t = reinterpret_cast<Top*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!t || width <= 0 || height <= 0) return;
    if (t->width != width || t->height != height ||
        t->pixels.size() != static_cast<size_t>(width) * height) {
        Show(handle, pixels, width, height);
        return;
    }
    bool any = false;
    for (const Box& b : boxes) {
        const int x0 = std::max(0, b.left), x1 = std::min(width, b.right);
        const int y0 = std::max(0, b.top), y1 = std::min(height, b.bottom);
        if (x0 >= x1 || y0 >= y1) continue;
        for (int y = y0; y < y1; ++y)
            std::copy(pixels + static_cast<size_t>(y) * width + x0,
                      pixels + static_cast<size_t>(y) * width + x1,
                      t->pixels.begin() + static_cast<std::ptrdiff_t>(y) * width + x0);
        const RECT r{x0, y0, x1, y1};
        InvalidateRect(h, &r, FALSE);
        any = true;
    }
    // Painted now, the system clipping the copy of the kept picture to the boxes.
    if (any) UpdateWindow(h);
}

void Pump(int waitMs) {
    if (waitMs >= 0)
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(waitMs), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

namespace {
BOOL CALLBACK AddScreen(HMONITOR mon, HDC, LPRECT, LPARAM data) {
    auto* out = reinterpret_cast<std::vector<Screen>*>(data);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (!GetMonitorInfoW(mon, &mi)) return TRUE;
    Screen s{mi.rcMonitor.left, mi.rcMonitor.top, mi.rcMonitor.right, mi.rcMonitor.bottom,
             mi.rcWork.left,    mi.rcWork.top,    mi.rcWork.right,    mi.rcWork.bottom};
    if (mi.dwFlags & MONITORINFOF_PRIMARY)
        out->insert(out->begin(), s);
    else
        out->push_back(s);
    return TRUE;
}
}  // namespace

std::vector<Screen> Screens() {
    std::vector<Screen> out;
    EnumDisplayMonitors(nullptr, nullptr, AddScreen, reinterpret_cast<LPARAM>(&out));
    if (out.empty()) {
        int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        out.push_back(Screen{0, 0, w, h, 0, 0, w, h});
    }
    return out;
}

void UseSystemCursor(int idc) {
    HCURSOR c = LoadCursorW(nullptr, MAKEINTRESOURCEW(idc));
    g_cursor = c ? c : Arrow();
    ::SetCursor(g_cursor);
}

void UseImageCursor(uintptr_t key, int width, int height, int hotX, int hotY,
                    const uint32_t* pixels) {
    auto it = g_imageCursors.find(key);
    if (it == g_imageCursors.end()) {
        BITMAPV5HEADER bh{};
        bh.bV5Size = sizeof(bh);
        bh.bV5Width = width;
        bh.bV5Height = -height;
        bh.bV5Planes = 1;
        bh.bV5BitCount = 32;
        bh.bV5Compression = BI_BITFIELDS;
        bh.bV5RedMask = 0x00FF0000;
        bh.bV5GreenMask = 0x0000FF00;
        bh.bV5BlueMask = 0x000000FF;
        bh.bV5AlphaMask = 0xFF000000;
        void* bits = nullptr;
        HDC screen = GetDC(nullptr);
        HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bh),
                                          DIB_RGB_COLORS, &bits, nullptr, 0);
        ReleaseDC(nullptr, screen);
        HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
        HCURSOR made = nullptr;
        if (colour && bits && mask) {
            std::copy(pixels, pixels + static_cast<size_t>(width) * height,
                      static_cast<uint32_t*>(bits));
            ICONINFO ii{};
            ii.fIcon = FALSE;
            ii.xHotspot = static_cast<DWORD>(hotX);
            ii.yHotspot = static_cast<DWORD>(hotY);
            ii.hbmMask = mask;
            ii.hbmColor = colour;
            made = CreateIconIndirect(&ii);
        }
        if (colour) DeleteObject(colour);
        if (mask) DeleteObject(mask);
        it = g_imageCursors.emplace(key, made).first;
    }
    g_cursor = it->second ? it->second : Arrow();
    ::SetCursor(g_cursor);
}

void Beep() {
    MessageBeep(MB_OK);
}

int AskMessageBox(Handle owner, const std::string& text, const std::string& caption,
                  uint32_t type) {
    ++g_modal;
    int answer =
        MessageBoxW(static_cast<HWND>(owner), Wide(text).c_str(), Wide(caption).c_str(), type);
    --g_modal;
    return answer;
}

bool AskFile(const FileQuestion& q, std::vector<std::string>* paths) {
    // The filter in the system's form: name, NUL, patterns, NUL ... and a closing NUL.
    std::wstring filter;
    for (const auto& f : q.filter) {
        filter += Wide(f.first);
        filter += L'\0';
        filter += Wide(f.second);
        filter += L'\0';
    }
    filter += L'\0';
    std::vector<wchar_t> buffer(65536, L'\0');
    std::wstring name = Wide(q.name);
    if (name.size() < buffer.size()) std::copy(name.begin(), name.end(), buffer.begin());
    std::wstring folder = Wide(q.folder), title = Wide(q.title);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = static_cast<HWND>(q.owner);
    ofn.lpstrFilter = q.filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    // The layer asks before replacing a file and adds the default extension itself.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!q.save && q.mustExist) ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!q.save && q.multiple) ofn.Flags |= OFN_ALLOWMULTISELECT;
    ++g_modal;
    BOOL ok = q.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    --g_modal;
    if (!ok) return false;
    // One path, or (several files) the folder and then each name, NUL-separated.
    std::vector<std::wstring> parts;
    for (const wchar_t* p = buffer.data(); *p && p < buffer.data() + buffer.size();) {
        parts.emplace_back(p);
        p += parts.back().size() + 1;
    }
    paths->clear();
    if (parts.size() == 1) {
        paths->push_back(Narrow(parts[0]));
    } else if (parts.size() > 1) {
        std::wstring dir = parts[0];
        if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
        for (size_t i = 1; i < parts.size(); ++i) paths->push_back(Narrow(dir + parts[i]));
    }
    return !paths->empty();
}

}  // namespace kv::native
