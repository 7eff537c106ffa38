// Owned popups and activation on the headless backend: a program's main window with views owned
// by it, raised, clicked, hidden and shown, and the system's focus moved in and out of the program
// as another program or the user would move it.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/platform/win/test_window.h"

using namespace kv;
using kvtest::Log;

namespace {

class OwnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::UseHeadless();
        kvtest::DrainQueue();
        headless::ResetSystemFocus();
        main = Top(0, 0, 800, 600, WS_POPUP | WS_CAPTION, nullptr);
        stage = Top(20, 80, 400, 300, WS_POPUP | WS_BORDER, main);
        timeline = Top(20, 400, 600, 100, WS_POPUP | WS_BORDER, main);
        viewer = Top(600, 80, 180, 200, WS_POPUP | WS_CAPTION, main, WS_EX_TOPMOST);
        other = Top(100, 100, 300, 300, WS_POPUP, nullptr);
        kvtest::DrainQueue();
        Log().clear();
    }
    void TearDown() override {
        for (auto it = made.rbegin(); it != made.rend(); ++it) DestroyWindow(*it);
        kvtest::DrainQueue();
        headless::ResetSystemFocus();
        headless::UseLayerDialogs(false);
    }
    HWND Top(int x, int y, int w, int h, uint32_t style, HWND owner, uint32_t ex = 0) {
        HWND hwnd = CreateWindowEx(ex, "KvTestRecording", "t", style, x, y, w, h, owner, 0);
        EXPECT_NE(hwnd, nullptr);
        ShowWindow(hwnd, SW_SHOW);
        made.push_back(hwnd);
        return hwnd;
    }
    static size_t Z(HWND h) {
        std::vector<HWND> all = AllWindows();
        return static_cast<size_t>(std::find(all.begin(), all.end(), h) - all.begin());
    }
    void ExpectViewsInFrontOfMain() {
        EXPECT_LT(Z(stage), Z(main));
        EXPECT_LT(Z(timeline), Z(main));
        EXPECT_LT(Z(viewer), Z(main));
    }
    // WM_ACTIVATEAPP messages received since the log was cleared, as (window, wParam).
    std::vector<std::pair<HWND, uint64_t>> Activations() {
        std::vector<std::pair<HWND, uint64_t>> out;
        for (auto& r : Log())
            if (r.msg == WM_ACTIVATEAPP) out.push_back({r.hwnd, r.wParam});
        return out;
    }
    static void Pump() { PumpEvents(Pump::NoWait); }
    HWND OpenMenu() {
        HMENU bar = CreateMenu();
        HMENU file = CreatePopupMenu();
        AppendMenu(file, MF_STRING, 101, "Open");
        AppendMenu(bar, MF_POPUP, reinterpret_cast<uintptr_t>(file), "File");
        SetMenu(main, bar);
        // The bar lies under the caption; "File" starts a few pixels in.
        headless::MouseDown(12, 30);
        headless::MouseUp(12, 30);
        for (HWND h : AllWindows())
            if (GetParent(h) == main && h != stage && h != timeline && h != viewer) return h;
        return nullptr;
    }
    HWND main = nullptr, stage = nullptr, timeline = nullptr, viewer = nullptr, other = nullptr;
    std::vector<HWND> made;
};

}  // namespace

TEST_F(OwnerTest, RaisingTheOwnerByCallClickOrCaptionKeepsItsPopupsInFront) {
    ExpectViewsInFrontOfMain();
    // The stage was in front of the timeline; raising their owner keeps that between them.
    ASSERT_LT(Z(timeline), Z(stage)) << "the timeline was made after the stage";
    SetWindowOrder(main, nullptr, false);
    ExpectViewsInFrontOfMain();
    EXPECT_LT(Z(timeline), Z(stage));
    EXPECT_LT(Z(main), Z(other));
    // Another window in front, then a click on the main window's client area and one on its
    // caption: the views come forward with it.
    SetWindowOrder(other, nullptr, false);
    EXPECT_LT(Z(other), Z(stage));
    headless::MouseDown(700, 550);
    headless::MouseUp(700, 550);
    ExpectViewsInFrontOfMain();
    EXPECT_LT(Z(stage), Z(other));
    SetWindowOrder(other, nullptr, false);
    headless::MouseDown(200, 8);
    headless::MouseUp(200, 8);
    SetWindowOrder(main, nullptr, false);
    ExpectViewsInFrontOfMain();
    // A popup put behind its owner is brought back in front of it.
    SetWindowOrder(stage, other, false);
    EXPECT_LT(Z(stage), Z(main));
    // What the point hit-tests to follows: the stage covers the main window where they overlap.
    EXPECT_EQ(WindowFromPoint(POINT{200, 200}), stage);
}

TEST_F(OwnerTest, PopupsOfPopupsAndOfTopmostOwnersStayInFront) {
    HWND dialog = Top(100, 100, 100, 60, WS_POPUP | WS_CAPTION, stage);
    HWND onViewer = Top(620, 100, 80, 40, WS_POPUP, viewer);
    SetWindowOrder(main, nullptr, false);
    EXPECT_LT(Z(dialog), Z(stage));
    EXPECT_LT(Z(stage), Z(main));
    // A popup of a topmost window lies in front of it, so it is topmost as well.
    EXPECT_LT(Z(onViewer), Z(viewer));
    EXPECT_TRUE(GetWindowExStyle(onViewer) & WS_EX_TOPMOST);
    // A popup named with a child as its owner belongs to that child's top-level window.
    HWND child =
        CreateWindowEx(0, "KvTestRecording", "c", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, stage, 1);
    HWND ofChild = Top(150, 150, 40, 40, WS_POPUP, child);
    SetWindowOrder(stage, nullptr, false);
    EXPECT_LT(Z(ofChild), Z(stage));
}

TEST_F(OwnerTest, HidingTheOwnerHidesItsPopupsAndShowingBringsBackOnlyThose) {
    ShowWindow(viewer, SW_HIDE);  // hidden by the program: stays hidden
    ShowWindow(main, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(stage));
    EXPECT_FALSE(IsWindowVisible(timeline));
    EXPECT_EQ(WindowFromPoint(POINT{200, 200}), other);
    ShowWindow(main, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(stage));
    EXPECT_TRUE(IsWindowVisible(timeline));
    EXPECT_FALSE(IsWindowVisible(viewer));
    // A popup the program hides while its owner is hidden stays hidden when the owner returns.
    ShowWindow(main, SW_HIDE);
    ShowWindow(timeline, SW_HIDE);
    ShowWindow(main, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(stage));
    EXPECT_FALSE(IsWindowVisible(timeline));
    ExpectViewsInFrontOfMain();
}

TEST_F(OwnerTest, ActivateAppIsSentOnceWhenTheWholeProgramLosesOrGainsTheFocus) {
    headless::SetSystemFocus(main);
    Pump();
    EXPECT_TRUE(Activations().empty()) << "the program counts as active from the start";
    // Focus moving between the program's own windows is no change.
    headless::SetSystemFocus(stage);
    Pump();
    headless::SetSystemFocus(viewer);
    Pump();
    EXPECT_TRUE(Activations().empty());
    EXPECT_TRUE(IsProgramActive());
    // Another program takes it: every top-level window hears it once.
    headless::SetSystemFocus(nullptr);
    Pump();
    Pump();
    auto off = Activations();
    EXPECT_FALSE(IsProgramActive());
    ASSERT_EQ(off.size(), 5u);
    for (HWND w : {main, stage, timeline, viewer, other})
        EXPECT_EQ(std::count(off.begin(), off.end(), std::make_pair(w, uint64_t{0})), 1) << w;
    Log().clear();
    headless::SetSystemFocus(timeline);
    Pump();
    auto on = Activations();
    EXPECT_TRUE(IsProgramActive());
    ASSERT_EQ(on.size(), 5u);
    for (auto& a : on) EXPECT_EQ(a.second, 1u);
    // Passing through "none" within one round of input is settled as no change.
    Log().clear();
    headless::SetSystemFocus(nullptr);
    headless::SetSystemFocus(main);
    Pump();
    EXPECT_TRUE(Activations().empty());
}

// A display without a window manager puts the focus on no window when the focused one is hidden:
// no other program is in front, so the program stays active and its topmost viewer stays up,
// however long it lasts. Another program taking the focus afterwards still deactivates it.
TEST_F(OwnerTest, FocusLeftOnNoWindowKeepsTheProgramActive) {
    headless::SetSystemFocus(main);
    Pump();
    headless::SetSystemFocusToNothing();
    for (int i = 0; i < 4; ++i) Pump();
    EXPECT_TRUE(IsProgramActive());
    EXPECT_TRUE(Activations().empty());
    headless::SetSystemFocus(nullptr);
    Pump();
    Pump();
    EXPECT_FALSE(IsProgramActive());
    EXPECT_EQ(Activations().size(), 5u);
}

TEST_F(OwnerTest, OwnMenusAndDialogsAreNotLeavingAndHandTheKeyboardBack) {
    headless::SetSystemFocus(main);
    SetFocus(stage);
    Pump();
    HWND popup = OpenMenu();
    ASSERT_NE(popup, nullptr);
    headless::SetSystemFocus(popup);
    Pump();
    headless::Key(VK_ESCAPE);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(headless::SystemFocus(), main);
    Pump();
    EXPECT_EQ(GetFocus(), stage);
    // A message box of the layer's own takes the focus and gives it back when it closes.
    headless::UseLayerDialogs(true);
    HWND box = nullptr;
    headless::Script([&] {
        for (HWND h : AllWindows())
            if (GetWindowText(h) == "Question") box = h;
        headless::SetSystemFocus(box);
        headless::Key(VK_RETURN);
    });
    EXPECT_EQ(MessageBox(stage, "Go on?", "Question", MB_YESNO), IDYES);
    EXPECT_NE(box, nullptr);
    EXPECT_EQ(headless::SystemFocus(), main);
    EXPECT_EQ(GetFocus(), stage);
    Pump();
    EXPECT_TRUE(Activations().empty());
    EXPECT_TRUE(IsProgramActive());
}

TEST_F(OwnerTest, TheKeyboardGoesToTheLeadingWindowButIsNeverTakenFromAnotherProgram) {
    headless::SetSystemFocus(viewer);
    SetFocus(stage);
    EXPECT_EQ(headless::SystemFocus(), main);
    headless::SetSystemFocus(nullptr);
    Pump();
    SetFocus(timeline);
    EXPECT_EQ(headless::SystemFocus(), nullptr);
    EXPECT_FALSE(IsProgramActive());
    // Hiding the window with the system's focus hands it to the leading window.
    headless::SetSystemFocus(viewer);
    ShowWindow(viewer, SW_HIDE);
    EXPECT_EQ(headless::SystemFocus(), main);
}

TEST_F(OwnerTest, AQuestionWithoutAnOwnerHandsTheKeyboardToTheProgramWhenItCloses) {
    // Asked at start-up before any window leads: the box belongs to nobody, yet closing it must
    // not leave the program without the keyboard (nothing would give it back on a bare display).
    headless::SetSystemFocus(main);
    Pump();
    Log().clear();
    headless::UseLayerDialogs(true);
    HWND box = nullptr;
    headless::Script([&] {
        for (HWND h : AllWindows())
            if (GetWindowText(h) == "Question") box = h;
        headless::SetSystemFocus(box);
        headless::Key(VK_RETURN);
    });
    EXPECT_EQ(MessageBox(nullptr, "Recover?", "Question", MB_YESNO), IDYES);
    ASSERT_NE(box, nullptr);
    HWND now = headless::SystemFocus();
    EXPECT_TRUE(now == main || now == other) << "the keyboard left the program";
    Pump();
    EXPECT_TRUE(Activations().empty());
    EXPECT_TRUE(IsProgramActive());
}
