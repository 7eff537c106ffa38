// Windows, the queue, input routing, scroll bars, menus, timers and the layer's dialogs, driven
// through the headless backend as a user would.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/os/window_list.h"
#include "tests/platform/win/test_window.h"
#include "tests/test_support.h"

using namespace kv;
using kvtest::Log;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::UseHeadless();
        kvtest::DrainQueue();
        Log().clear();
    }
    void TearDown() override {
        for (HWND w : made) DestroyWindow(w);
        kvtest::DrainQueue();
    }
    HWND Make(int x, int y, int w, int h, uint32_t style = WS_POPUP) {
        HWND hwnd = kvtest::MakeWindow(x, y, w, h, style);
        made.push_back(hwnd);
        return hwnd;
    }
    std::vector<kvtest::Recorded> Of(uint32_t msg) {
        std::vector<kvtest::Recorded> out;
        for (auto& r : Log())
            if (r.msg == msg) out.push_back(r);
        return out;
    }
    std::vector<HWND> made;
};

}  // namespace

TEST_F(WindowTest, PostedMessagesComeBackInOrderAndQuitEndsGetMessage) {
    HWND w = Make(0, 0, 50, 50);
    kvtest::DrainQueue();
    PostMessage(w, WM_USER + 1, 1, 0);
    PostMessage(w, WM_USER + 2, 2, 0);
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_USER + 1u);
    ASSERT_TRUE(GetMessage(&m));
    EXPECT_EQ(m.message, WM_USER + 1u);
    ASSERT_TRUE(GetMessage(&m));
    EXPECT_EQ(m.message, WM_USER + 2u);
    EXPECT_EQ(m.wParam, 2u);
    PostQuitMessage(3);
    EXPECT_FALSE(GetMessage(&m));
    EXPECT_EQ(m.wParam, 3u);
    // With nothing scripted, a waiting loop is ended instead of hanging.
    EXPECT_FALSE(GetMessage(&m));
}

TEST_F(WindowTest, ClicksArriveInClientCoordinatesOfTheWindowOnTop) {
    HWND back = Make(100, 100, 200, 150, WS_POPUP | WS_CAPTION);
    HWND front = Make(150, 150, 50, 50, WS_POPUP);
    RECT c;
    GetClientRect(back, &c);
    EXPECT_EQ(c.right, 198);   // one-pixel border on each side
    EXPECT_EQ(c.bottom, 128);  // 20-pixel caption and the borders
    headless::MouseDown(160, 170);
    headless::MouseUp(160, 170);
    headless::ClientClick(back, 10, 20);
    kvtest::DrainQueue();
    auto downs = Of(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0].hwnd, front);
    EXPECT_EQ(GET_X_LPARAM(downs[0].lParam), 10);
    EXPECT_EQ(GET_Y_LPARAM(downs[0].lParam), 20);
    EXPECT_EQ(downs[1].hwnd, back);
    EXPECT_EQ(GET_X_LPARAM(downs[1].lParam), 10);
    EXPECT_EQ(GET_Y_LPARAM(downs[1].lParam), 20);
    // The press raised the back window: the shared point now belongs to it.
    EXPECT_EQ(WindowFromPoint(POINT{160, 170}), back);
    // A topmost window stays in front of one raised later.
    HWND top = Make(140, 140, 30, 30);
    SetWindowOrder(top, nullptr, true);
    SetWindowOrder(front, nullptr, false);
    EXPECT_EQ(WindowFromPoint(POINT{145, 145}), top);
}

TEST_F(WindowTest, SecondQuickPressIsADoubleClickOnlyForDoubleClickClasses) {
    ASSERT_TRUE(RegisterClass("KvTestDbl", kvtest::RecordingProc, CS_DBLCLKS, 0, 0));
    HWND w = CreateWindowEx(0, "KvTestDbl", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr, 0);
    HWND plain = Make(100, 0, 40, 40);
    SetDoubleClickTime(500);
    headless::ClientClick(w, 5, 5);
    headless::ClientClick(w, 5, 5);
    headless::ClientClick(plain, 5, 5);
    headless::ClientClick(plain, 5, 5);
    kvtest::DrainQueue();
    SetDoubleClickTime(0);
    EXPECT_EQ(Of(WM_LBUTTONDBLCLK).size(), 1u);
    EXPECT_EQ(Of(WM_LBUTTONDOWN).size(), 3u);
    DestroyWindow(w);
    UnregisterClass("KvTestDbl");
}

TEST_F(WindowTest, EditFieldTypesReplacesSelectionAndKeepsToItsParent) {
    HWND parent = Make(0, 0, 200, 60);
    HWND edit = CreateWindowEx(0, "edit", "old", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 150, 20,
                               parent, 7);
    ASSERT_NE(edit, nullptr);
    SendMessage(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
    headless::Type("new");
    headless::Key(VK_LEFT);
    headless::Key(VK_BACK);
    headless::Type("W");
    kvtest::DrainQueue();
    char buf[16];
    SendMessage(edit, WM_GETTEXT, sizeof buf, reinterpret_cast<int64_t>(buf));
    EXPECT_STREQ(buf, "nWw");
    // A click on the field is the field's; the parent does not see it.
    Log().clear();
    headless::ClientClick(parent, 20, 15);
    kvtest::DrainQueue();
    EXPECT_TRUE(Of(WM_LBUTTONDOWN).empty());
    EXPECT_EQ(GetFocus(), edit);
    // The field's pixels are composited over the parent.
    EXPECT_EQ(headless::Pixel(parent, 100, 20), RGB(255, 255, 255));
    EXPECT_EQ(headless::Pixel(parent, 10, 10), RGB(64, 64, 64));  // its border
}

TEST_F(WindowTest, ScrollBarClicksAndThumbDragsSendScrollRequests) {
    HWND w = Make(0, 0, 120, 220, WS_POPUP | WS_VSCROLL);
    SCROLLINFO si;
    si.nMax = 999;
    si.nPage = 100;
    SetScrollInfo(w, SB_VERT, si, true);
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 104);
    // Bar at x 104..120 of the frame: arrows 16 pixels, thumb 18 pixels (track 188 * 100 / 1000).
    headless::MouseDown(110, 215);  // down arrow
    headless::MouseUp(110, 215);
    headless::MouseDown(110, 150);  // track below the thumb
    headless::MouseUp(110, 150);
    headless::MouseDown(110, 20);  // on the thumb
    headless::MouseMove(110, 60);
    headless::MouseUp(110, 60);
    kvtest::DrainQueue();
    auto v = Of(WM_VSCROLL);
    ASSERT_GE(v.size(), 4u);
    EXPECT_EQ(LOWORD(v[0].wParam), SB_LINEDOWN);
    EXPECT_EQ(LOWORD(v[1].wParam), SB_PAGEDOWN);
    EXPECT_EQ(LOWORD(v[2].wParam), SB_THUMBTRACK);
    // 40 pixels of a 170-pixel travel over 900 positions.
    EXPECT_EQ(HIWORD(v[2].wParam), 40 * 900 / 170);
    SCROLLINFO now;
    GetScrollInfo(w, SB_VERT, &now);
    EXPECT_EQ(now.nTrackPos, 40 * 900 / 170);
    SetScrollPos(w, SB_VERT, 5000, true);
    EXPECT_EQ(GetScrollPos(w, SB_VERT), 900);  // limited to max - page + 1
}

TEST_F(WindowTest, MenuBarOpensPopupsAndChosenItemsSendCommands) {
    HWND w = Make(10, 10, 300, 200, WS_POPUP | WS_CAPTION);
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenu(file, MF_STRING, 101, "Open\tCtrl+O");
    AppendMenu(file, MF_GRAYED, 102, "Greyed");
    AppendMenu(bar, MF_POPUP, reinterpret_cast<uintptr_t>(file), "File");
    SetMenu(w, bar);
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.bottom, 200 - 2 - 20 - 20);
    // The bar sits under the caption: frame y 21..41; "File" starts at frame x 3.
    headless::MouseDown(10 + 12, 10 + 30);
    headless::MouseUp(10 + 12, 10 + 30);
    HWND popup = nullptr;
    for (HWND h : AllWindows())
        if (GetParent(h) == w && !(GetWindowStyle(h) & WS_CHILD)) popup = h;
    ASSERT_NE(popup, nullptr);
    RECT pr;
    GetWindowRect(popup, &pr);
    // The shortcut text is drawn right-aligned: ink near the right edge of the first row, and
    // the greyed row's text is grey.
    int pw = 0, ph = 0;
    std::vector<COLORREF> px = kvtest::ClientPixels(popup, &pw, &ph);
    int rightmostInk = -1;
    bool greyInk = false;
    for (int y = 2; y < 22; ++y)
        for (int x = 0; x < pw; ++x)
            if (GetRValue(px[y * pw + x]) < 120) rightmostInk = std::max(rightmostInk, x);
    // The greyed row has ink, all of it grey: never darker than the grey text colour (how much
    // of a glyph covers a whole pixel depends on the installed font).
    const COLORREF background = px[22 * pw + pw - 3];
    int darkestGrey = 255;
    for (int y = 22; y < 42; ++y)
        for (int x = 0; x < pw; ++x) {
            const COLORREF ink = px[y * pw + x];
            if (ink == background) continue;
            greyInk |= GetRValue(ink) == GetGValue(ink) && GetGValue(ink) == GetBValue(ink);
            darkestGrey = std::min<int>(darkestGrey, GetRValue(ink));
        }
    EXPECT_GE(rightmostInk, pw - 16);
    EXPECT_LT(rightmostInk, pw - 10);
    EXPECT_TRUE(greyInk);
    EXPECT_GE(darkestGrey, 128);
    EXPECT_LT(darkestGrey, GetRValue(background));
    // Greyed item (second row) does nothing; the first one sends its command.
    headless::MouseDown(pr.left + 20, pr.top + 1 + 2 + 20 + 5);
    headless::MouseUp(pr.left + 20, pr.top + 1 + 2 + 20 + 5);
    EXPECT_TRUE(IsWindow(popup));
    headless::MouseUp(pr.left + 20, pr.top + 1 + 2 + 5);
    EXPECT_FALSE(IsWindow(popup));
    kvtest::DrainQueue();
    auto cmds = Of(WM_COMMAND);
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].wParam, 101u);
    EXPECT_EQ(GetMenuString(bar, 101), "Open\tCtrl+O");
    EXPECT_EQ(GetMenuState(bar, 102), static_cast<int>(MF_GRAYED));
}

TEST_F(WindowTest, TimersPostTimerMessages) {
    HWND w = Make(0, 0, 20, 20);
    kvtest::DrainQueue();
    SetTimer(w, 9, 5);
    MSG m;
    bool got = false;
    auto start = std::chrono::steady_clock::now();
    while (!got && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        ASSERT_TRUE(GetMessage(&m));
        got = m.message == WM_TIMER && m.hwnd == w && m.wParam == 9;
    }
    EXPECT_TRUE(got);
    EXPECT_TRUE(KillTimer(w, 9));
    EXPECT_FALSE(KillTimer(w, 9));
}

TEST_F(WindowTest, FileDialogAddsTheExtensionAndAsksBeforeOverwriting) {
    std::string dir = kvtest::TempDir("filedlg");
    kvtest::WriteFileBytes(dir + "/taken.kvx", "x");
    FileDialogRequest rq;
    rq.save = true;
    rq.overwritePrompt = true;
    rq.defaultExtension = ".kvx";
    headless::QueueFileAnswer({dir + "/fresh"});
    EXPECT_EQ(RunFileDialog(rq), dir + "/fresh.kvx");
    headless::QueueFileAnswer({dir + "/taken"});
    headless::QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(RunFileDialog(rq), "");
    headless::QueueFileAnswer({dir + "/taken.kvx"});
    headless::QueueMessageBoxAnswer(IDYES);
    EXPECT_EQ(RunFileDialog(rq), dir + "/taken.kvx");
    headless::QueueFileCancel();
    EXPECT_EQ(RunFileDialog(rq), "");

    FileDialogRequest open;
    open.multiple = true;
    open.filter = "Pictures|*.bmp;*.tga|All Files (*.*)|*.*|";
    headless::QueueFileAnswer({"/p/a.bmp", "/p/b.bmp", "/p/c.bmp"});
    EXPECT_EQ(RunFileDialog(open), std::string("/p\0a.bmp\0b.bmp\0c.bmp\0\0", 22));
    EXPECT_EQ(headless::LastFileRequest().filter, open.filter);
    auto filters = ParseFilter(open.filter);
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].second, "*.bmp;*.tga");
    EXPECT_TRUE(MatchesPattern("X.TGA", filters[0].second));
    EXPECT_FALSE(MatchesPattern("x.jpg", filters[0].second));
}

TEST_F(WindowTest, TextEntryDialogReturnsTheFieldOnEscapeAndEnter) {
    std::string text = "12";
    headless::Script([] { headless::Type("34"); });
    headless::Script([] { headless::Key(VK_ESCAPE); });
    RunTextEntryDialog(nullptr, "Title", "one", "two", text, 79);
    EXPECT_EQ(text, "34");  // the incoming text was selected, typing replaced it
    text = "";
    headless::Script([] { headless::Type("abcdef"); });
    headless::Script([] { headless::Key(VK_RETURN); });
    RunTextEntryDialog(nullptr, "Title", "one", "two", text, 4);
    EXPECT_EQ(text, "abcd");
}

TEST_F(WindowTest, MonitorsAndWorkAreaComeFromTheBackend) {
    headless::SetMonitors({MonitorInfo{Rect{0, 0, 1280, 1024}, Rect{0, 0, 1280, 984}},
                           MonitorInfo{Rect{1280, 0, 2560, 1024}, Rect{1280, 0, 2560, 1024}}});
    EXPECT_EQ(MonitorCount(), 2);
    EXPECT_EQ(GetWorkArea().bottom, 984);
    EXPECT_EQ(GetMonitor(1).bounds.left, 1280);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    headless::SetMonitors({MonitorInfo{Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1040}}});
}

// On Windows the desktop list is the system's own window list, which headless windows are not in
// (the win32 backend's tests find its windows there).
#ifndef _WIN32
TEST_F(WindowTest, CaptionedWindowsRegisterTheirTitleInTheDesktopList) {
    std::string dir = kvtest::TempDir("winlist");
    setenv("KINEVISTA_WINDOW_LIST", dir.c_str(), 1);
    HWND w = Make(0, 0, 100, 80, WS_POPUP | WS_CAPTION);
    SetWindowText(w, "Fernquill Kinevista Test");
    TopWindow found;
    EXPECT_TRUE(FindTopWindow("Fernquill Kinevista Test", &found));
    // Another window goes in front; a bring-forward request through the list raises ours.
    HWND other = Make(0, 0, 100, 80);
    ASSERT_EQ(WindowFromPoint(POINT{10, 10}), other);
    ASSERT_TRUE(BringTopWindowForward(found));
    auto start = std::chrono::steady_clock::now();
    while (WindowFromPoint(POINT{10, 10}) != w &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(3))
        PumpEvents(Pump::NoWait);
    EXPECT_EQ(WindowFromPoint(POINT{10, 10}), w);
    DestroyWindow(w);
    DestroyWindow(other);
    made.clear();
    EXPECT_FALSE(FindTopWindow("Fernquill Kinevista Test", &found));
    unsetenv("KINEVISTA_WINDOW_LIST");
}
#endif

namespace {

HWND FindDialog(const std::string& title) {
    for (HWND h : AllWindows())
        if (GetWindowText(h) == title && !(GetWindowStyle(h) & WS_CHILD)) return h;
    return nullptr;
}

// Where the file dialog's parts are, in its client area.
constexpr int ListX = 200;
int RowY(int row) {
    return 30 + 1 + row * 18 + 9;
}
[[maybe_unused]] constexpr int PlaceX = 50;
[[maybe_unused]] int PlaceY(int place) {
    return 30 + 1 + place * 22 + 11;
}
constexpr int TypeX = 150, TypeY = 380 - 56, UpX = 50, UpY = 14;

// A double-click as a user makes it: two quick presses on one spot.
void DoubleClick(HWND w, int x, int y) {
    headless::ClientClick(w, x, y);
    headless::ClientClick(w, x, y);
}

#ifndef _WIN32
// Sets an environment variable for one test and puts the old value back after it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};
#endif

}  // namespace

TEST_F(WindowTest, TheLayersOwnMessageBoxAnswersKeysAndButtons) {
    headless::UseLayerDialogs(true);
    headless::Script([] {
        HWND box = FindDialog("Question");
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(GetWindowExStyle(box) & WS_EX_TOPMOST);
        headless::Type("n");
    });
    EXPECT_EQ(MessageBox(nullptr, "Replace it?", "Question", MB_YESNO), IDNO);
    headless::Script([] { headless::Key(VK_RETURN); });  // the first button
    EXPECT_EQ(MessageBox(nullptr, "Replace it?", "Question", MB_YESNO), IDYES);
    headless::Script([] { headless::Key(VK_ESCAPE); });
    EXPECT_EQ(MessageBox(nullptr, "Save first?", "Question", MB_YESNOCANCEL), IDCANCEL);
    // The OK button is centred on the bottom row of a one-button box.
    headless::Script([] {
        HWND box = FindDialog("Note");
        RECT c;
        GetClientRect(box, &c);
        headless::ClientClick(box, c.right / 2, c.bottom - 26);
    });
    EXPECT_EQ(MessageBox(nullptr, "Done.", "Note", MB_OK), IDOK);
    EXPECT_EQ(FindDialog("Note"), nullptr);
    headless::UseLayerDialogs(false);
}

TEST_F(WindowTest, TheLayersOwnFileDialogOpensSavesAndSelectsSeveral) {
    std::string dir = kvtest::TempDir("owndlg");
    kvtest::WriteFileBytes(dir + "/a.bmp", "x");
    kvtest::WriteFileBytes(dir + "/c.bmp", "x");
    kvtest::WriteFileBytes(dir + "/b.txt", "x");
    std::filesystem::create_directories(dir + "/sub");
    headless::UseLayerDialogs(true);
    FileDialogRequest open;
    open.filter = "Bitmaps|*.bmp|";
    open.initialFolder = dir;
    open.title = "Load Picture";
    headless::Script([] { headless::Type("a.bmp"); });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(open), dir + "/a.bmp");
    // A missing file is refused with a message, then the dialog is cancelled.
    headless::Script([] { headless::Type("zzz.bmp"); });
    headless::Script([] { headless::Key(VK_RETURN); });
    headless::Script([] { headless::Key(VK_RETURN); });  // dismisses "File not found"
    headless::Script([] { headless::Key(VK_ESCAPE); });
    EXPECT_EQ(RunFileDialog(open), "");
    // Several files by Ctrl-clicks on the list: "..", "sub", "a.bmp", "c.bmp" (b.txt filtered).
    open.multiple = true;
    headless::Script([] {
        HWND d = FindDialog("Load Picture");
        ASSERT_NE(d, nullptr);
        headless::KeyDown(VK_CONTROL);
        headless::ClientClick(d, ListX, RowY(2));
        headless::ClientClick(d, ListX, RowY(3));
        headless::KeyUp(VK_CONTROL);
    });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(open), dir + std::string("\0a.bmp\0c.bmp\0\0", 14));
    // Saving: a folder name typed enters the folder; the extension is added.
    FileDialogRequest save;
    save.save = true;
    save.defaultExtension = ".kvx";
    save.initialFolder = dir;
    headless::Script([] { headless::Type("sub"); });
    headless::Script([] { headless::Key(VK_RETURN); });
    headless::Script([] { headless::Type("show"); });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(save), dir + "/sub/show.kvx");
    headless::UseLayerDialogs(false);
}

TEST_F(WindowTest, FileDialogIsWalkedByMouseAlone) {
    std::string dir = kvtest::TempDir("clickdlg");
    std::filesystem::create_directories(dir + "/shows/deeper");
    kvtest::WriteFileBytes(dir + "/shows/trip.kvx", "x");
    kvtest::WriteFileBytes(dir + "/top.kvx", "x");
    headless::UseLayerDialogs(true);
    SetDoubleClickTime(500);
    FileDialogRequest open;
    open.filter = "Shows|*.kvx|";
    open.initialFolder = dir;
    open.title = "Load Show";
    // Rows: "..", "shows", "top.kvx"; inside: "..", "deeper", "trip.kvx".
    headless::Script([] { DoubleClick(FindDialog("Load Show"), ListX, RowY(1)); });
    headless::Script([] { DoubleClick(FindDialog("Load Show"), ListX, RowY(2)); });
    EXPECT_EQ(RunFileDialog(open), dir + "/shows/trip.kvx");
    // Open with a folder picked enters it; the parent-folder button and Backspace go up. Each
    // click is on a spot of its own, so that none makes a double-click with the one before.
    headless::Script([] {
        HWND d = FindDialog("Load Show");
        headless::ClientClick(d, ListX, RowY(1));
        headless::Key(VK_RETURN);
    });
    headless::Script([] {
        HWND d = FindDialog("Load Show");
        headless::ClientClick(d, ListX + 20, RowY(1));  // "deeper", now inside "shows"
        headless::Key(VK_RETURN);
    });
    headless::Script([] { headless::ClientClick(FindDialog("Load Show"), UpX, UpY); });
    headless::Script([] {
        HWND d = FindDialog("Load Show");
        headless::ClientClick(d, ListX + 40, RowY(0));  // the list has the keyboard
        headless::Key(VK_BACK);
    });
    // Back in `dir`: "..", "shows", "top.kvx".
    headless::Script([] { DoubleClick(FindDialog("Load Show"), ListX + 60, RowY(2)); });
    EXPECT_EQ(RunFileDialog(open), dir + "/top.kvx");
    // A click on a folder, then on Open: the folder is entered, not chosen.
    headless::Script([] {
        HWND d = FindDialog("Load Show");
        headless::ClientClick(d, ListX, RowY(1));
        headless::ClientClick(d, 600 - 130, 380 - 20);  // Open
    });
    headless::Script([] { DoubleClick(FindDialog("Load Show"), ListX + 20, RowY(2)); });
    EXPECT_EQ(RunFileDialog(open), dir + "/shows/trip.kvx");
    SetDoubleClickTime(0);
    headless::UseLayerDialogs(false);
}

// The places follow the XDG user folders, a Linux desktop's own.
#ifndef _WIN32
TEST_F(WindowTest, FileDialogOffersHomeUserFoldersAndTheShowsFolder) {
    std::string home = kvtest::TempDir("dlghome");
    std::filesystem::create_directories(home + "/.config");
    std::filesystem::create_directories(home + "/Bilder");
    std::filesystem::create_directories(home + "/work");
    kvtest::WriteFileBytes(home + "/Bilder/p.bmp", "x");
    kvtest::WriteFileBytes(home + "/work/show.kvx", "x");
    // The picture folder has a localised name; the video folder named does not exist.
    kvtest::WriteFileBytes(home + "/.config/user-dirs.dirs",
                           "# written by xdg-user-dirs-update\n"
                           "XDG_DESKTOP_DIR=\"$HOME\"\n"
                           "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
                           "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n");
    ScopedEnv homeEnv("HOME", home);
    ScopedEnv configEnv("XDG_CONFIG_HOME", home + "/.config");
    headless::UseLayerDialogs(true);
    FileDialogRequest open;
    open.filter = "All|*.*|";
    open.initialFolder = "/";
    open.showFolder = home + "/work";
    open.title = "Load Picture";
    // Places: Home, Bilder, Show's Folder. The picture folder lists "..", "p.bmp".
    headless::Script([] { headless::ClientClick(FindDialog("Load Picture"), PlaceX, PlaceY(1)); });
    headless::Script([] { headless::ClientClick(FindDialog("Load Picture"), ListX, RowY(1)); });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(open), home + "/Bilder/p.bmp");
    headless::Script([] { headless::ClientClick(FindDialog("Load Picture"), PlaceX, PlaceY(2)); });
    headless::Script([] { headless::ClientClick(FindDialog("Load Picture"), ListX, RowY(1)); });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(open), home + "/work/show.kvx");
    // Home lists "..", ".config" hidden, "Bilder", "work".
    headless::Script([] { headless::ClientClick(FindDialog("Load Picture"), PlaceX, PlaceY(0)); });
    headless::Script([] { DoubleClick(FindDialog("Load Picture"), ListX, RowY(2)); });
    headless::Script([] { headless::Key(VK_ESCAPE); });
    SetDoubleClickTime(500);
    EXPECT_EQ(RunFileDialog(open), "");
    SetDoubleClickTime(0);
    headless::UseLayerDialogs(false);
}
#endif

TEST_F(WindowTest, SaveDialogTypeFollowsTheNameAndTheNameTheType) {
    std::string dir = kvtest::TempDir("typedlg");
    headless::UseLayerDialogs(true);
    FileDialogRequest save;
    save.save = true;
    save.filter = "AVI Movies (*.avi)|*.avi|MPEG-4 Movies (*.mp4)|*.mp4|All Files *.*|*.*||";
    save.defaultExtension = ".avi";
    save.initialFolder = dir;
    save.initialName = "clip.avi";
    save.title = "Make Movie";
    // The proposed name takes the extension of the type chosen.
    headless::Script([] { headless::ClientClick(FindDialog("Make Movie"), TypeX, TypeY); });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(save), dir + "/clip.mp4");
    // A name with another type's extension keeps it whatever the type.
    save.initialName = "clip.mkv";
    headless::Script([] { headless::ClientClick(FindDialog("Make Movie"), TypeX, TypeY); });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(save), dir + "/clip.mkv");
    // A bare name gets the chosen type's extension, and "All Files" leaves the last one alone.
    save.initialName = "take";
    headless::Script([] { headless::ClientClick(FindDialog("Make Movie"), TypeX, TypeY); });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(save), dir + "/take.mp4");
    save.initialName = "clip.avi";
    headless::Script([] {
        HWND d = FindDialog("Make Movie");
        headless::ClientClick(d, TypeX, TypeY);
        headless::ClientClick(d, TypeX, TypeY);
    });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(RunFileDialog(save), dir + "/clip.mp4");
    headless::UseLayerDialogs(false);
}

TEST(FileTypeNames, ExtensionOfAPatternAndNameAfterATypeChange) {
    EXPECT_EQ(PatternExtension("*.mp4"), ".mp4");
    EXPECT_EQ(PatternExtension(" *.tga;*.tpic"), ".tga");
    EXPECT_EQ(PatternExtension("*.*"), "");
    EXPECT_EQ(PatternExtension("*"), "");
    EXPECT_EQ(PatternExtension("*.jp?"), "");
    EXPECT_EQ(PatternExtension("name.avi"), "");
    EXPECT_EQ(NameForType("a.AVI", "*.avi", "*.mp4"), "a.mp4");
    EXPECT_EQ(NameForType("a.b.avi", "*.avi", "*.mov"), "a.b.mov");
    EXPECT_EQ(NameForType("a.mkv", "*.avi", "*.mp4"), "a.mkv");
    EXPECT_EQ(NameForType(".avi", "*.avi", "*.mp4"), ".avi");
    EXPECT_EQ(NameForType("a.avi", "*.avi", "*.*"), "a.avi");
    EXPECT_EQ(NameForType("a.avi", "*.*", "*.mp4"), "a.avi");
}

TEST(FileTypeNames, UserFoldersAreReadFromTheirListing) {
    auto dirs = ParseUserDirs(
        "# comment\n"
        "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\r\n"
        "  XDG_PICTURES_DIR=\"/data/Bilder/\"\n"
        "XDG_VIDEOS_DIR=\"$HOME/My \\\"Films\\\"\"\n"
        "XDG_MUSIC_DIR=relative\n"
        "XDG_BROKEN_DIR=\"$HOME/x\n"
        "XDG_DOCUMENTS_DIR=\"Documents\"\n"
        "XDG_TEMPLATES_DIR=\"$HOMEWORK\"\n"
        "OTHER=\"/x\"\n",
        "/home/ann");
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(dirs[0], (std::pair<std::string, std::string>{"DESKTOP", "/home/ann/Schreibtisch"}));
    EXPECT_EQ(dirs[1], (std::pair<std::string, std::string>{"PICTURES", "/data/Bilder"}));
    EXPECT_EQ(dirs[2], (std::pair<std::string, std::string>{"VIDEOS", "/home/ann/My \"Films\""}));
}

// The caption of a main window: minimize, maximize/restore and close boxes from the right, and a
// double-click on the caption maximizes and restores, as the window's style allows.
TEST_F(WindowTest, CaptionBoxesAndDoubleClickMaximizeRestoreAndMinimize) {
    const RECT area = GetWorkArea();
    HWND w = Make(100, 100, 400, 300, WS_OVERLAPPEDWINDOW);
    ShowWindow(w, SW_SHOW);
    const int frame = GetSystemMetrics(SM_CXFRAME);
    const int boxY = 100 + frame + 10;
    auto boxX = [&](int box) {  // 0 close, 1 maximize, 2 minimize, counted from the right
        RECT r;
        GetWindowRect(w, &r);
        return static_cast<int>(r.right) - frame - 11 - 18 * box;
    };
    auto press = [](int x, int y) {
        headless::MouseDown(x, y);
        headless::MouseUp(x, y);
        kvtest::DrainQueue();
    };
    RECT r;
    ShowWindow(w, SW_MAXIMIZE);
    EXPECT_TRUE(IsZoomed(w));
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, area.left);
    EXPECT_EQ(r.right, area.right);
    EXPECT_EQ(r.bottom, area.bottom);
    // The maximize box restores the window's own place, and maximizes it again.
    press(boxX(1), area.top + frame + 10);
    EXPECT_FALSE(IsZoomed(w));
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 500);
    EXPECT_EQ(r.bottom, 400);
    press(boxX(1), boxY);
    EXPECT_TRUE(IsZoomed(w));
    // A double-click on the caption restores; another maximizes.
    SetDoubleClickTime(500);
    press(area.left + 150, area.top + frame + 10);
    press(area.left + 150, area.top + frame + 10);
    EXPECT_FALSE(IsZoomed(w));
    press(250, boxY);
    press(250, boxY);
    EXPECT_TRUE(IsZoomed(w));
    // Two presses apart on the caption are no double-click.
    press(area.left + 150, area.top + frame + 10);
    press(area.left + 300, area.top + frame + 10);
    EXPECT_TRUE(IsZoomed(w));
    SetDoubleClickTime(0);
    ShowWindow(w, SW_RESTORE);
    EXPECT_FALSE(IsZoomed(w));
    // The minimize box; restoring brings back the window as it was.
    press(boxX(2), boxY);
    EXPECT_TRUE(IsIconic(w));
    ShowWindow(w, SW_RESTORE);
    EXPECT_FALSE(IsIconic(w));
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right - r.left, 400);
    // Without a minimize box (a window started by the host) the spot is caption: nothing happens.
    HWND host = Make(100, 500, 400, 200, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX);
    ShowWindow(host, SW_SHOW);
    GetWindowRect(host, &r);
    press(static_cast<int>(r.right) - frame - 11 - 36, 500 + frame + 10);
    EXPECT_FALSE(IsIconic(host));
    press(static_cast<int>(r.right) - frame - 11 - 18, 500 + frame + 10);
    EXPECT_TRUE(IsZoomed(host));
}
