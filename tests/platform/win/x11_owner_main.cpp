// The owner rule on a real X display, through the SDL2 backend: a main window with a menu bar and
// three owned views (one topmost). The views must be transient for the main window and stay in
// front of it on the display after the layer raises it, after the display raises it behind the
// layer's back (as a window manager does on a click) and after menus open and close quickly; no X
// error may occur. Run by x11_owner_check.sh on an Xvfb display of its own, with and without a
// window manager. Exit code 0 when every check held, 1 when one failed, 2 without the backend.
//
// With "--lost READY MARK" it instead shows a window, writes READY and runs until the display
// goes away; the program's display-lost handler writes MARK before the process ends.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/sdl/sdl_testing.h"
#include "platform/win/win.h"

using namespace kv;

namespace {

int64_t Proc(HWND h, uint32_t msg, uint64_t w, int64_t l) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        HBRUSH fill = CreateSolidBrush(RGB(90, 140, 200));
        FillRect(dc, &ps.rcPaint, fill);
        DeleteObject(fill);
        EndPaint(h, &ps);
        return 0;
    }
    return DefWindowProc(h, msg, w, l);
}

// Runs the program's loop until the condition holds or the display has had `ms` to get there.
bool PumpUntil(const std::function<bool()>& done, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG m;
    for (;;) {
        while (PeekMessage(&m, PM_REMOVE)) DispatchMessage(&m);
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        PumpEvents(Pump::Wait);
    }
}

int g_failures = 0;
const char* g_lostMark = nullptr;

void WriteFile(const char* path, const char* text) {
    if (FILE* f = std::fopen(path, "w")) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

void OnDisplayLost() {
    WriteFile(g_lostMark, "display lost\n");
}

int RunUntilTheDisplayIsLost(const char* ready, const char* mark) {
    g_lostMark = mark;
    SetDisplayLostHandler(OnDisplayLost);
    HWND w = CreateWindowEx(0, "Owner", "Lost", WS_POPUP | WS_CAPTION, 0, 0, 200, 100, nullptr, 0);
    if (!w) return 2;
    ShowWindow(w, SW_SHOW);
    PumpUntil([] { return !sdltest::DisplayOrder().empty(); }, 5000);
    WriteFile(ready, "ready\n");
    // Only the end of the display ends this loop: Xlib ends the process after the handler.
    PumpUntil([] { return false; }, 60000);
    return 3;
}

void Check(bool ok, const std::string& what) {
    if (ok) return;
    ++g_failures;
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
}

size_t Position(const std::vector<HWND>& order, HWND w) {
    return static_cast<size_t>(std::find(order.begin(), order.end(), w) - order.begin());
}

std::string Describe(const std::vector<HWND>& order, const std::vector<HWND>& named,
                     const char* const* names) {
    std::string s;
    for (HWND w : order) {
        size_t i = static_cast<size_t>(std::find(named.begin(), named.end(), w) - named.begin());
        s += i < named.size() ? names[i] : "other";
        s += " ";
    }
    return s;
}

HWND OpenPopup(HWND owner, const std::vector<HWND>& views) {
    for (HWND h : AllWindows())
        if (GetParent(h) == owner && std::find(views.begin(), views.end(), h) == views.end())
            return h;
    return nullptr;
}

// The windows of the check: a main window with a File menu, its three views (the viewer
// topmost) and another program's window that stands in for what covers the main window.
struct Scene {
    HWND main = nullptr, stage = nullptr, timeline = nullptr, viewer = nullptr, other = nullptr;
    std::vector<HWND> named, views;
    const char* names[5] = {"main", "stage", "timeline", "viewer", "other"};
};

bool MakeScene(Scene& s) {
    s.main = CreateWindowEx(0, "Owner", "Main", WS_POPUP | WS_CAPTION | WS_BORDER, 0, 0, 800, 600,
                            nullptr, 0);
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenu(file, MF_STRING, 101, "Open");
    AppendMenu(bar, MF_POPUP, reinterpret_cast<uintptr_t>(file), "File");
    SetMenu(s.main, bar);
    ShowWindow(s.main, SW_SHOW);
    s.stage = CreateWindowEx(0, "Owner", "", WS_POPUP | WS_BORDER, 20, 80, 400, 300, s.main, 0);
    s.timeline = CreateWindowEx(0, "Owner", "", WS_POPUP | WS_BORDER, 20, 420, 600, 100, s.main, 0);
    s.viewer = CreateWindowEx(WS_EX_TOPMOST, "Owner", "Viewer", WS_POPUP | WS_CAPTION, 600, 80, 180,
                              200, s.main, 0);
    s.other =
        CreateWindowEx(0, "Owner", "Other", WS_POPUP | WS_CAPTION, 100, 100, 300, 200, nullptr, 0);
    if (!s.main || !s.stage || !s.timeline || !s.viewer || !s.other) return false;
    for (HWND w : {s.stage, s.timeline, s.viewer, s.other}) ShowWindow(w, SW_SHOW);
    s.named = {s.main, s.stage, s.timeline, s.viewer, s.other};
    s.views = {s.stage, s.timeline, s.viewer};
    return true;
}

// Checks that the views come to lie in front of the main window on the display.
void ReportViewsInFront(const Scene& s, const std::string& after) {
    auto inFront = [&] {
        std::vector<HWND> order = sdltest::DisplayOrder();
        size_t m = Position(order, s.main);
        if (m >= order.size()) return false;
        for (HWND v : s.views)
            if (Position(order, v) > m) return false;
        return true;
    };
    Check(PumpUntil(inFront, 3000),
          "views in front of the main window after " + after +
              "; display order: " + Describe(sdltest::DisplayOrder(), s.named, s.names));
}

void CheckStart(const Scene& s) {
    Check(PumpUntil([] { return sdltest::DisplayOrder().size() >= 5; }, 5000),
          "the five windows are shown");
    for (HWND v : s.views)
        Check(sdltest::TransientOwner(v) == s.main, "a view is transient for the main window");
    Check(sdltest::TransientOwner(s.main) == nullptr, "the main window is transient for nothing");
    ReportViewsInFront(s, "start");
}

// The layer's own raises, then the display's and clicks; the other window goes on the way.
void CheckRaises(const Scene& s) {
    SetWindowOrder(s.other, nullptr, false);
    Check(PumpUntil(
              [&] {
                  std::vector<HWND> order = sdltest::DisplayOrder();
                  return Position(order, s.other) < Position(order, s.main);
              },
              3000),
          "the other window comes in front of the main window");
    SetWindowOrder(s.main, nullptr, false);
    ReportViewsInFront(s, "the layer raised the main window");
    Check(PumpUntil(
              [&] {
                  std::vector<HWND> order = sdltest::DisplayOrder();
                  return Position(order, s.main) < Position(order, s.other);
              },
              3000),
          "the raised main window comes in front of the other window");
    DestroyWindow(s.other);

    // A press on the main window's caption: the layer does not reorder for it, but a window
    // manager raises the window, as the display raise here does.
    sdltest::RaiseOnDisplay(s.main);
    sdltest::PushClick(400, 8);
    ReportViewsInFront(s, "a click on the caption of a main window raised by the display");

    sdltest::PushClick(700, 560);
    ReportViewsInFront(s, "a click on the main window");
}

// Menus opened and closed quickly, as a hurried user does.
void CheckMenus(const Scene& s) {
    for (int round = 0; round < 20; ++round) {
        sdltest::PushClick(12, 30);
        bool opened = PumpUntil([&] { return OpenPopup(s.main, s.views) != nullptr; }, 3000);
        Check(opened, "the File menu opens");
        if (!opened) break;
        if (round == 0) {
            std::vector<HWND> order = sdltest::DisplayOrder();
            Check(!order.empty() && order.front() == OpenPopup(s.main, s.views),
                  "the open menu is the front-most window");
        }
        sdltest::PushClick(300, 500);  // on the timeline: closes the menu, goes nowhere else
        Check(PumpUntil([&] { return OpenPopup(s.main, s.views) == nullptr; }, 3000),
              "the menu closes");
    }
    ReportViewsInFront(s, "menus opened and closed");
    PumpUntil([] { return false; }, 200);  // errors of late requests arrive by now
    Check(sdltest::XErrorCount() == 0, "no X error");
}

void CheckHideAndShow(const Scene& s) {
    ShowWindow(s.main, SW_HIDE);
    Check(PumpUntil([] { return sdltest::DisplayOrder().empty(); }, 3000),
          "hiding the main window hides the views");
    ShowWindow(s.main, SW_SHOW);
    Check(PumpUntil([] { return sdltest::DisplayOrder().size() == 4; }, 3000),
          "showing it again brings them back");
    ReportViewsInFront(s, "the main window was shown again");
}

}  // namespace

// The X libraries keep caches they never free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\nleak:libX11\nleak:libSDL2\n";
}

int main(int argc, char** argv) {
    if (!SelectBackend("sdl")) return 2;
    RegisterClass("Owner", Proc, 0, 0, LoadSystemCursor(IDC_ARROW));
    if (argc == 4 && std::string(argv[1]) == "--lost")
        return RunUntilTheDisplayIsLost(argv[2], argv[3]);
    Scene scene;
    if (!MakeScene(scene)) return 2;
    CheckStart(scene);
    CheckRaises(scene);
    CheckMenus(scene);
    CheckHideAndShow(scene);
    DestroyWindow(scene.main);
    std::printf("%s\n", g_failures ? "owner check failed" : "owner check passed");
    return g_failures ? 1 : 0;
}
