// Test helpers for the window layer: the headless backend, a plain recording window class and
// queue draining, shared by the window-layer and toolkit tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win/headless/headless.h"
#include "platform/win/win.h"

namespace kvtest {

struct Recorded {
    kv::HWND hwnd;
    uint32_t msg;
    uint64_t wParam;
    int64_t lParam;
};

inline std::vector<Recorded>& Log() {
    static std::vector<Recorded> log;
    return log;
}

inline int64_t RecordingProc(kv::HWND h, uint32_t m, uint64_t w, int64_t l) {
    if (m != kv::WM_PAINT) Log().push_back({h, m, w, l});
    if (m == kv::WM_PAINT) {
        kv::PAINTSTRUCT ps;
        kv::HDC dc = kv::BeginPaint(h, &ps);
        kv::EndPaint(h, &ps);
        (void)dc;
        return 0;
    }
    return kv::DefWindowProc(h, m, w, l);
}

// Text through a window DC on a white background (OPAQUE) or over what is there
// (TRANSPARENT), and a box filled with one colour.
inline void WriteText(kv::HWND w, int x, int y, const std::string& text,
                      kv::COLORREF ink = kv::RGB(0, 0, 0), int mode = kv::OPAQUE) {
    kv::HDC dc = kv::GetDC(w);
    kv::SetBkMode(dc, mode);
    kv::SetBkColor(dc, kv::RGB(255, 255, 255));
    kv::SetTextColor(dc, ink);
    kv::TextOut(dc, x, y, text);
    kv::ReleaseDC(w, dc);
}
inline void FillBox(kv::HWND w, kv::Rect r, kv::COLORREF c) {
    kv::HDC dc = kv::GetDC(w);
    kv::HBRUSH b = kv::CreateSolidBrush(c);
    kv::FillRect(dc, &r, b);
    kv::DeleteObject(b);
    kv::ReleaseDC(w, dc);
}

// Picks the headless backend and registers the recording class once.
inline void UseHeadless() {
    ASSERT_TRUE(kv::headless::Use()) << "another backend is already running";
    static bool registered = kv::RegisterClass("KvTestRecording", RecordingProc, 0, 0, 0);
    (void)registered;
    kv::SetDoubleClickTime(0);
}

// Empties the queue (including a quit message a finished modal loop left behind).
inline void DrainQueue() {
    kv::MSG m;
    int guard = 0;
    while (kv::PeekMessage(&m, kv::PM_REMOVE) && ++guard < 100000) {
        if (m.message == kv::WM_QUIT) continue;
        kv::TranslateMessage(&m);
        kv::DispatchMessage(&m);
    }
    kv::headless::ClearScript();
}

// A visible popup of the recording class with a white client area.
inline kv::HWND MakeWindow(int x, int y, int w, int h, uint32_t style = kv::WS_POPUP) {
    kv::HWND hwnd = kv::CreateWindowEx(0, "KvTestRecording", "test", style, x, y, w, h, nullptr, 0);
    if (!hwnd) return nullptr;
    kv::ShowWindow(hwnd, kv::SW_SHOW);
    kv::HDC dc = kv::GetDC(hwnd);
    kv::RECT c;
    kv::GetClientRect(hwnd, &c);
    kv::HBRUSH white = kv::CreateSolidBrush(kv::RGB(255, 255, 255));
    kv::FillRect(dc, &c, white);
    kv::DeleteObject(white);
    kv::ReleaseDC(hwnd, dc);
    return hwnd;
}

// Client pixels of a window as COLORREF values.
inline std::vector<kv::COLORREF> ClientPixels(kv::HWND hwnd, int* w, int* h) {
    std::vector<uint32_t> px = kv::headless::CaptureClient(hwnd, w, h);
    std::vector<kv::COLORREF> out(px.size());
    for (size_t i = 0; i < px.size(); ++i)
        out[i] = kv::RGB((px[i] >> 16) & 255, (px[i] >> 8) & 255, px[i] & 255);
    return out;
}

}  // namespace kvtest
