// Works a window of another program through window messages, as the system would deliver them:
//
//   post_input.exe TITLE STEP...
//
// with steps "move:X,Y" (the pointer to a client point), "key:VK" (pressed and released),
// "down:VK", "up:VK" (virtual keys in decimal) and "close". Each message is sent and waited for,
// so the steps reach the window in order. Exit status 0, or 1 when the window is not found or a
// step is not understood or not delivered.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool Deliver(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(w, msg, wp, lp, SMTO_NORMAL, 10000, &result) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: post_input TITLE STEP...\n");
        return 1;
    }
    HWND w = FindWindowW(nullptr, argv[1]);
    if (!w) {
        std::fprintf(stderr, "post_input: no window with that title\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        std::wstring step = argv[i];
        bool ok = false;
        int a = 0, b = 0;
        if (swscanf(step.c_str(), L"move:%d,%d", &a, &b) == 2)
            ok = Deliver(w, WM_MOUSEMOVE, 0, MAKELPARAM(a, b));
        else if (swscanf(step.c_str(), L"key:%d", &a) == 1)
            ok = Deliver(w, WM_KEYDOWN, a, 1) && Deliver(w, WM_KEYUP, a, 0xC0000001);
        else if (swscanf(step.c_str(), L"down:%d", &a) == 1)
            ok = Deliver(w, WM_KEYDOWN, a, 1);
        else if (swscanf(step.c_str(), L"up:%d", &a) == 1)
            ok = Deliver(w, WM_KEYUP, a, 0xC0000001);
        else if (step == L"close")
            ok = PostMessageW(w, WM_CLOSE, 0, 0) != 0;
        if (!ok) {
            std::fprintf(stderr, "post_input: step %d not delivered\n", i - 1);
            return 1;
        }
    }
    return 0;
}
