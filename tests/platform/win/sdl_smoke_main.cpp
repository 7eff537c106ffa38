// A smoke run of the SDL2 backend: a window opens, gets a click pushed through SDL's event queue,
// draws where it was clicked, presents, and its presented picture is saved as a PNG. At a scale
// factor (KINEVISTA_SCALE) the click still lands on its logical pixel and the presented window is
// that many times larger, each logical pixel a block of device pixels.
// Exit codes: 0 fine, 2 no SDL backend, 3 window, 4 no click arrived, 5 wrong pixels, 6 no PNG.
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/win/scale.h"
#include "platform/win/sdl/sdl_testing.h"
#include "platform/win/win.h"

using namespace kv;

namespace {

POINT g_click{-1, -1};

int64_t Proc(HWND h, uint32_t msg, uint64_t w, int64_t l) {
    if (msg == WM_LBUTTONDOWN) {
        g_click = POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        InvalidateRect(h, nullptr, true);
    }
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 200));
        FillRect(dc, &ps.rcPaint, blue);
        DeleteObject(blue);
        if (g_click.x >= 0) {
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            Rect r{g_click.x - 10, g_click.y - 10, g_click.x + 10, g_click.y + 10};
            FillRect(dc, &r, red);
            DeleteObject(red);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(255, 255, 255));
            TextOut(dc, 10, 10, "clicked");
        }
        EndPaint(h, &ps);
        return 0;
    }
    return DefWindowProc(h, msg, w, l);
}

void PumpFor(int ms, bool (*until)()) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG m;
    while (std::chrono::steady_clock::now() < end) {
        while (PeekMessage(&m, PM_REMOVE)) DispatchMessage(&m);
        PumpEvents(Pump::NoWait);
        if (until && until()) return;
    }
}

}  // namespace

// fontconfig, D-Bus and the X libraries keep caches they never free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\nleak:libX11\nleak:libSDL2\n";
}

int main(int argc, char** argv) {
    std::string png = argc > 1 ? argv[1] : "sdl_smoke.png";
    if (!SelectBackend("sdl")) return 2;
    RegisterClass("Smoke", Proc, 0, 0, LoadSystemCursor(IDC_ARROW));
    HWND w = CreateWindowEx(0, "Smoke", "Smoke", WS_POPUP | WS_CAPTION | WS_BORDER, 40, 40, 320,
                            200, nullptr, 0);
    if (!w) return 3;
    ShowWindow(w, SW_SHOW);
    PumpFor(500, nullptr);
    POINT target = ClientToScreen(w, POINT{100, 80});
    if (!sdltest::PushClick(target.x, target.y)) return 3;
    PumpFor(5000, [] { return g_click.x >= 0; });
    if (g_click.x != 100 || g_click.y != 80) {
        std::fprintf(stderr, "click arrived at %d,%d\n", g_click.x, g_click.y);
        return 4;
    }
    PumpFor(300, nullptr);
    // Frame coordinates: one-pixel border and a 20-pixel caption above the client; on the
    // display each is the factor times larger.
    const double f = GetScaleFactor();
    auto dev = [f](int v) { return ToDevice(v, f); };
    COLORREF at = sdltest::PresentedPixel(w, dev(1 + 100), dev(21 + 80));
    COLORREF away = sdltest::PresentedPixel(w, dev(1 + 200), dev(21 + 150));
    // The red square's last device pixels, and the blue just past them.
    COLORREF redEnd = sdltest::PresentedPixel(w, dev(1 + 110) - 1, dev(21 + 90) - 1);
    COLORREF bluePast = sdltest::PresentedPixel(w, dev(1 + 110), dev(21 + 90));
    // The border's last device pixel, and nothing beyond the window.
    COLORREF corner = sdltest::PresentedPixel(w, dev(320) - 1, dev(200) - 1);
    COLORREF beyond = sdltest::PresentedPixel(w, dev(320), dev(200) - 1);
    if (at != RGB(255, 0, 0) || away != RGB(0, 0, 200) || redEnd != RGB(255, 0, 0) ||
        bluePast != RGB(0, 0, 200) || corner != RGB(64, 64, 64) || beyond != 0xFFFFFFFF) {
        std::fprintf(stderr, "at %.2f presented %06x %06x %06x %06x %06x %08x\n", f, at, away,
                     redEnd, bluePast, corner, beyond);
        return 5;
    }
    if (!sdltest::CaptureWindow(w, png)) return 6;
    DestroyWindow(w);
    std::printf("sdl smoke: click at 100,80 drawn at %.2f and saved to %s\n", f, png.c_str());
    return 0;
}
