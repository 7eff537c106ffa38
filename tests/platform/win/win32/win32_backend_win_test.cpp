// The window layer on the system's own windows (the win32 backend), run under Wine with a
// display: each window of the layer is a system window with its title and place, what the layer
// paints is what the screen shows, and the system's mouse, key, character and close messages reach
// the layer's windows as the layer's own messages at the right client points. Text comes from
// GDI's Arial, and the program finds its own path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/win/text_render.h"
#include "platform/win/win.h"
#include "tests/platform/win/win32/native_probe.h"
#include "tests/test_support.h"

using namespace kv;
namespace probe = kvtest::probe;

namespace {

struct Seen {
    HWND hwnd;
    uint32_t msg;
    uint64_t wParam;
    int64_t lParam;
};
std::vector<Seen> g_seen;
COLORREF g_fill = RGB(255, 255, 255);

int64_t Proc(HWND h, uint32_t m, uint64_t w, int64_t l) {
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT all{0, 0, 0, 0};
        GetClientRect(h, &all);
        HBRUSH b = CreateSolidBrush(g_fill);
        FillRect(dc, &all, b);
        DeleteObject(b);
        EndPaint(h, &ps);
        return 0;
    }
    g_seen.push_back({h, m, w, l});
    if (m == WM_CLOSE) return 0;  // recorded, not obeyed
    return DefWindowProc(h, m, w, l);
}

// Everything the system and the layer have queued is handled: system messages are sent
// synchronously by the tests, so nothing needs waiting for.
void Settle() {
    for (int i = 0; i < 4; ++i) {
        PumpEvents(Pump::NoWait);
        DrainMessages();
    }
}

std::vector<Seen> SeenOf(HWND h, uint32_t msg) {
    std::vector<Seen> out;
    for (const Seen& s : g_seen)
        if (s.hwnd == h && s.msg == msg) out.push_back(s);
    return out;
}

class Win32Backend : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SelectBackend("win32"));
        ASSERT_TRUE(RegisterClass("KvWin32Probe", Proc, 0, 0, LoadSystemCursor(IDC_ARROW)));
    }
    void SetUp() override {
        ASSERT_STREQ(BackendName(), "win32");
        g_seen.clear();
        g_fill = RGB(255, 255, 255);
    }
    void TearDown() override {
        for (HWND w : m_made)
            if (IsWindow(w)) DestroyWindow(w);
        Settle();
    }
    HWND Make(const std::string& title, int x, int y, int w, int h) {
        HWND win = CreateWindowEx(0, "KvWin32Probe", title, WS_POPUP | WS_CAPTION | WS_BORDER, x, y,
                                  w, h, nullptr, 0);
        EXPECT_NE(win, nullptr);
        if (!win) return nullptr;
        m_made.push_back(win);
        ShowWindow(win, SW_SHOW);
        Settle();
        return win;
    }
    // The system-window client point of a layer client point (the system window covers the
    // layer's whole frame).
    static int64_t SystemPoint(HWND w, int cx, int cy) {
        RECT r{0, 0, 0, 0};
        GetWindowRect(w, &r);
        POINT p = ClientToScreen(w, POINT{cx, cy});
        return MAKELPARAM(p.x - r.left, p.y - r.top);
    }
    std::vector<HWND> m_made;
};

}  // namespace

TEST_F(Win32Backend, EachLayerWindowIsASystemWindowWithItsTitlePlaceAndVisibility) {
    HWND w = Make("Kv probe one", 60, 70, 320, 200);
    probe::Handle h = probe::FindTop("Kv probe one");
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(probe::Visible(h));
    int l = 0, t = 0, r = 0, b = 0;
    probe::Place(h, &l, &t, &r, &b);
    EXPECT_EQ(l, 60);
    EXPECT_EQ(t, 70);
    EXPECT_EQ(r, 380);
    EXPECT_EQ(b, 270);

    MoveWindow(w, 100, 90, 250, 150, true);
    Settle();
    probe::Place(h, &l, &t, &r, &b);
    EXPECT_EQ(l, 100);
    EXPECT_EQ(t, 90);
    EXPECT_EQ(r, 350);
    EXPECT_EQ(b, 240);

    SetWindowText(w, "Kv probe renamed \xC3\xA9");
    Settle();
    EXPECT_EQ(probe::Title(h), "Kv probe renamed \xC3\xA9");
    EXPECT_EQ(probe::FindTop("Kv probe one"), nullptr);

    ShowWindow(w, SW_HIDE);
    Settle();
    EXPECT_FALSE(probe::Visible(h));
    DestroyWindow(w);
    Settle();
    EXPECT_EQ(probe::FindTop("Kv probe renamed \xC3\xA9"), nullptr);
}

TEST_F(Win32Backend, TheScreenShowsWhatTheLayerPainted) {
    g_fill = RGB(200, 30, 60);
    HWND w = Make("Kv probe paint", 40, 40, 200, 120);
    probe::Handle h = probe::FindTop("Kv probe paint");
    ASSERT_NE(h, nullptr);
    RECT r{0, 0, 0, 0};
    GetWindowRect(w, &r);
    POINT inside = ClientToScreen(w, POINT{50, 30});
    EXPECT_EQ(probe::ShownPixel(h, inside.x - r.left, inside.y - r.top), 0xC81E3Cu);
    // A repaint with another colour reaches the screen too.
    g_fill = RGB(10, 220, 40);
    InvalidateRect(w, nullptr, true);
    Settle();
    EXPECT_EQ(probe::ShownPixel(h, inside.x - r.left, inside.y - r.top), 0x0ADC28u);
}

TEST_F(Win32Backend, SystemMouseMessagesArriveAtTheLayersClientPoints) {
    HWND w = Make("Kv probe mouse", 80, 60, 300, 200);
    probe::Handle h = probe::FindTop("Kv probe mouse");
    ASSERT_NE(h, nullptr);
    probe::Send(h, probe::kLButtonDown, 1, SystemPoint(w, 30, 40));
    probe::Send(h, probe::kLButtonUp, 0, SystemPoint(w, 31, 42));
    Settle();
    auto downs = SeenOf(w, WM_LBUTTONDOWN);
    auto ups = SeenOf(w, WM_LBUTTONUP);
    ASSERT_EQ(downs.size(), 1u);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(downs[0].lParam), 30);
    EXPECT_EQ(GET_Y_LPARAM(downs[0].lParam), 40);
    EXPECT_EQ(GET_X_LPARAM(ups[0].lParam), 31);
    EXPECT_EQ(GET_Y_LPARAM(ups[0].lParam), 42);
    // The system's cursor follows the layer's.
    SetCursor(LoadSystemCursor(IDC_IBEAM));
    EXPECT_TRUE(probe::CursorIs(IDC_IBEAM));
    SetCursor(LoadSystemCursor(IDC_ARROW));
    EXPECT_TRUE(probe::CursorIs(IDC_ARROW));
}

TEST_F(Win32Backend, KeysCharactersAndCloseRequestsReachTheLayer) {
    HWND w = Make("Kv probe keys", 90, 90, 240, 160);
    probe::Handle h = probe::FindTop("Kv probe keys");
    ASSERT_NE(h, nullptr);
    SetFocus(w);
    probe::Send(h, probe::kKeyDown, VK_LEFT, 1);
    probe::Send(h, probe::kKeyUp, VK_LEFT, 1);
    // Text: a Latin letter, a character outside the basic plane as its surrogate pair, and a
    // control character that must not arrive as text (it comes as a key).
    probe::Send(h, probe::kChar, 0xE9, 1);
    probe::Send(h, probe::kChar, 0xD83D, 1);
    probe::Send(h, probe::kChar, 0xDE00, 1);
    probe::Send(h, probe::kChar, 0x08, 1);
    probe::Send(h, probe::kClose, 0, 0);
    Settle();
    auto downs = SeenOf(w, WM_KEYDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].wParam, static_cast<uint64_t>(VK_LEFT));
    EXPECT_EQ(SeenOf(w, WM_KEYUP).size(), 1u);
    auto chars = SeenOf(w, WM_CHAR);
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0].wParam, 0xE9u);
    EXPECT_EQ(chars[1].wParam, 0x1F600u);
    EXPECT_EQ(SeenOf(w, WM_CLOSE).size(), 1u);
    EXPECT_TRUE(IsWindow(w));
}

TEST_F(Win32Backend, MessageBoxesAreTheSystemsAndAnswerWithTheButtonPressed) {
    HWND w = Make("Kv probe box", 100, 100, 200, 120);
    probe::AnswerNextDialog(IDNO);
    EXPECT_EQ(MessageBox(w, "Replace the show?", "Kv question", MB_YESNO | MB_ICONQUESTION), IDNO);
    probe::AnswerNextDialog(IDCANCEL);
    EXPECT_EQ(MessageBox(w, "Save first?", "Kv question", MB_YESNOCANCEL), IDCANCEL);
    probe::AnswerNextDialog(IDOK);
    EXPECT_EQ(MessageBox(nullptr, "Done.", "Kv note", MB_OK), IDOK);
    EXPECT_EQ(probe::UnusedAnswers(), 0);
    EXPECT_TRUE(IsWindow(w));
}

TEST_F(Win32Backend, FileDialogsAreTheSystemsAndAnswerWithFullPaths) {
    HWND w = Make("Kv probe files", 100, 100, 200, 120);
    const std::string dir = kvtest::TempDir("win32dlg");
    kvtest::WriteFileBytes(dir + "\\a.bmp", "x");
    FileDialogRequest open;
    open.owner = w;
    open.filter = "Bitmaps|*.bmp|All files|*.*|";
    open.initialFolder = dir;
    open.title = "Kv load";
    probe::AnswerNextDialog(IDOK, "a.bmp");
    EXPECT_EQ(RunFileDialog(open), dir + "\\a.bmp");
    probe::AnswerNextDialog(IDCANCEL);
    EXPECT_EQ(RunFileDialog(open), "");

    // Saving: the layer adds the extension and asks (with the system's box) before replacing.
    FileDialogRequest save;
    save.owner = w;
    save.save = true;
    save.overwritePrompt = true;
    save.defaultExtension = ".kvx";
    save.initialFolder = dir;
    probe::AnswerNextDialog(IDOK, "show");
    EXPECT_EQ(RunFileDialog(save), dir + "\\show.kvx");
    kvtest::WriteFileBytes(dir + "\\show.kvx", "x");
    probe::AnswerNextDialog(IDOK, "show");
    probe::AnswerNextDialog(IDNO);
    EXPECT_EQ(RunFileDialog(save), "");
    probe::AnswerNextDialog(IDOK, "show");
    probe::AnswerNextDialog(IDYES);
    EXPECT_EQ(RunFileDialog(save), dir + "\\show.kvx");
    EXPECT_EQ(probe::UnusedAnswers(), 0);
}

TEST(Win32Text, ArialFromGdiMeasuresAndDrawsWithinItsRun) {
    FontSpec f;
    f.height = 13;
    EXPECT_FALSE(FontFileFor(f).empty());
    TextRun narrow = LayoutText(f, "iiii");
    TextRun wide = LayoutText(f, "WWWW");
    EXPECT_GT(narrow.width, 0);
    EXPECT_GT(wide.width, narrow.width);
    EXPECT_GE(wide.ascent + wide.descent, f.height);
    EXPECT_LE(wide.ascent + wide.descent, 2 * f.height);
    ASSERT_EQ(wide.glyphs.size(), 4u);
    EXPECT_EQ(wide.glyphs[0].x, 0);
    EXPECT_EQ(wide.glyphs[3].x * 4, wide.width * 3);  // equal advances, measured = placed
    int covered = 0, outside = 0;
    DrawTextRun(wide, 10, 20, [&](int x, int y, int cov) {
        ++covered;
        if (cov < 1 || cov > 255 || x < 10 - 2 || x > 10 + wide.width + 2 || y < 20 - wide.ascent ||
            y > 20 + wide.descent)
            ++outside;
    });
    EXPECT_GT(covered, 4 * 10);
    EXPECT_EQ(outside, 0);
    FontSpec bold = f;
    bold.bold = true;
    EXPECT_GE(LayoutText(bold, "WWWW").width, wide.width);
}

TEST(Win32Program, KnowsItsOwnPath) {
    std::string self = GetModuleFileName();
    std::transform(self.begin(), self.end(), self.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    ASSERT_GT(self.size(), 4u);
    EXPECT_EQ(self.substr(self.size() - 4), ".exe");
    EXPECT_NE(self.find(":\\"), std::string::npos);
}

TEST_F(Win32Backend, OwnedWindowsAreOwnedOnTheSystemAndActivationReachesEveryWindow) {
    HWND main = Make("Kv probe main", 40, 40, 400, 300);
    HWND view = CreateWindowEx(0, "KvWin32Probe", "Kv probe view", WS_POPUP | WS_BORDER, 80, 80,
                               120, 90, main, 0);
    ASSERT_NE(view, nullptr);
    m_made.push_back(view);
    ShowWindow(view, SW_SHOW);
    Settle();
    probe::Handle mainH = probe::FindTop("Kv probe main");
    probe::Handle viewH = probe::FindTop("Kv probe view");
    ASSERT_NE(mainH, nullptr);
    ASSERT_NE(viewH, nullptr);
    EXPECT_EQ(probe::Owner(viewH), mainH);
    EXPECT_EQ(probe::Owner(mainH), nullptr);
    // Hiding the owner hides the view on the system as well, and showing brings it back.
    ShowWindow(main, SW_HIDE);
    Settle();
    EXPECT_FALSE(probe::Visible(viewH));
    ShowWindow(main, SW_SHOW);
    Settle();
    EXPECT_TRUE(probe::Visible(viewH));
    // The system's word that the program was deactivated, then activated again, reaches each of
    // the layer's windows once, whichever system window heard it.
    probe::Send(mainH, 0x001C /* WM_ACTIVATEAPP */, 1, 0);
    Settle();
    g_seen.clear();
    probe::Send(viewH, 0x001C, 0, 0);
    Settle();
    EXPECT_FALSE(IsProgramActive());
    ASSERT_EQ(SeenOf(main, WM_ACTIVATEAPP).size(), 1u);
    EXPECT_EQ(SeenOf(main, WM_ACTIVATEAPP)[0].wParam, 0u);
    ASSERT_EQ(SeenOf(view, WM_ACTIVATEAPP).size(), 1u);
    probe::Send(mainH, 0x001C, 1, 0);
    Settle();
    EXPECT_TRUE(IsProgramActive());
    ASSERT_EQ(SeenOf(main, WM_ACTIVATEAPP).size(), 2u);
    EXPECT_EQ(SeenOf(main, WM_ACTIVATEAPP)[1].wParam, 1u);
}
