// The system side of the win32 backend's tests.
#include "tests/platform/win/win32/native_probe.h"

#include <windows.h>

#include <vector>

namespace kvtest::probe {

namespace {
std::wstring Wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}
}  // namespace

Handle FindTop(const std::string& title) {
    return FindWindowW(L"KinevistaWindow", Wide(title).c_str());
}

bool Visible(Handle h) {
    return IsWindowVisible(static_cast<HWND>(h)) != FALSE;
}

std::string Title(Handle h) {
    wchar_t buf[256] = {};
    int n = GetWindowTextW(static_cast<HWND>(h), buf, 256);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, buf, n, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buf, n, out.data(), bytes, nullptr, nullptr);
    return out;
}

void Place(Handle h, int* l, int* t, int* r, int* b) {
    RECT rc{};
    GetWindowRect(static_cast<HWND>(h), &rc);
    *l = rc.left;
    *t = rc.top;
    *r = rc.right;
    *b = rc.bottom;
}

int64_t Send(Handle h, uint32_t msg, uint64_t wParam, int64_t lParam) {
    return SendMessageW(static_cast<HWND>(h), msg, wParam, lParam);
}

uint32_t ShownPixel(Handle h, int x, int y) {
    HDC dc = GetDC(static_cast<HWND>(h));
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(static_cast<HWND>(h), dc);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

bool CursorIs(int idc) {
    return GetCursor() == LoadCursorW(nullptr, MAKEINTRESOURCEW(idc));
}

}  // namespace kvtest::probe
