// The system side of the win32 backend's tests.
#include "tests/platform/win/win32/native_probe.h"

#include <windows.h>

#include <deque>
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

Handle Owner(Handle h) {
    return GetWindow(static_cast<HWND>(h), GW_OWNER);
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

namespace {

struct Answer {
    int command;
    std::wstring fileName;
};
// The answers and the hook belong to the test's one UI thread.
std::deque<Answer> g_answers;
HHOOK g_hook = nullptr;
HWND g_lastAnswered = nullptr;

// A dialog of this thread is being activated: it is fully made, so its controls can be filled.
// The press is posted, so it is handled by the dialog's own loop after activation.
LRESULT CALLBACK OnCbt(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && !g_answers.empty()) {
        auto dlg = reinterpret_cast<HWND>(wp);
        wchar_t cls[32] = {};
        GetClassNameW(dlg, cls, 32);
        if (dlg != g_lastAnswered && std::wstring(cls) == L"#32770") {
            g_lastAnswered = dlg;
            Answer a = g_answers.front();
            g_answers.pop_front();
            if (!a.fileName.empty()) {
                // The name field: edt1 in the classic dialog, the combo box cmb13 in the newer one.
                SetDlgItemTextW(dlg, 0x480, a.fileName.c_str());
                SetDlgItemTextW(dlg, 0x47C, a.fileName.c_str());
            }
            PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(a.command, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(g_hook, code, wp, lp);
}

}  // namespace

void AnswerNextDialog(int command, const std::string& fileName) {
    if (!g_hook) g_hook = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    g_answers.push_back(Answer{command, Wide(fileName)});
}

int UnusedAnswers() {
    return static_cast<int>(g_answers.size());
}

}  // namespace kvtest::probe
