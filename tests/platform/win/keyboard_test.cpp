// The keyboard alone: the menu bar worked by Alt, letters, F10 and the arrows, and the focus of the
// layer's message boxes and text-entry dialog moved by Tab and the arrows, driven through the
// headless backend.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/win/test_window.h"
#include "tests/test_support.h"

using namespace kv;
using kvtest::Log;

namespace {

// Where the screenshots to look at go: the build folder (a temporary one where the build names
// none).
std::string ShotPath(const std::string& name) {
#ifdef KV_WIN_BUILD_DIR
    return std::string(KV_WIN_BUILD_DIR) + "/" + name;
#else
    static const std::string dir = kvtest::TempDir("keyboard");
    return dir + "/" + name;
#endif
}

enum : uint32_t { IdOpen = 101, IdGreyed, IdSave, IdCut = 201, IdCopy, IdClose, IdUndo = 301 };

class MenuKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::UseHeadless();
        kvtest::DrainQueue();
        main = kvtest::MakeWindow(10, 10, 400, 300, WS_POPUP | WS_CAPTION);
        HMENU bar = CreateMenu();
        HMENU file = CreatePopupMenu();
        AppendMenu(file, MF_STRING, IdOpen, "Open\tCtrl+O");
        AppendMenu(file, MF_SEPARATOR, 0, "");
        AppendMenu(file, MF_GRAYED, IdGreyed, "Greyed");
        AppendMenu(file, MF_STRING, IdSave, "Save");
        AppendMenu(bar, MF_POPUP, reinterpret_cast<uintptr_t>(file), "File");
        HMENU edit = CreatePopupMenu();
        AppendMenu(edit, MF_STRING, IdCut, "Cut");
        AppendMenu(edit, MF_STRING, IdCopy, "Copy");
        AppendMenu(edit, MF_STRING, IdClose, "Close");
        AppendMenu(bar, MF_POPUP, reinterpret_cast<uintptr_t>(edit), "Edit");
        HMENU options = CreatePopupMenu();
        AppendMenu(options, MF_STRING, IdUndo, "Undo");
        AppendMenu(bar, MF_POPUP, reinterpret_cast<uintptr_t>(options), "Options");
        SetMenu(main, bar);
        SetFocus(main);
        Log().clear();
    }
    void TearDown() override {
        // Nothing stays open for the next test.
        headless::Key(VK_ESCAPE);
        if (IsWindow(owned)) DestroyWindow(owned);
        HMENU bar = GetMenu(main);
        DestroyWindow(main);
        DestroyMenu(bar);
        kvtest::DrainQueue();
    }
    // Alt held around a key, as a person presses Alt+letter (the backends send the letter's
    // character too, with Alt still down).
    void AltKey(int vk, char ch) {
        headless::KeyDown(VK_MENU);
        headless::KeyDown(vk);
        headless::Type(std::string(1, ch));
        headless::KeyUp(vk);
        headless::KeyUp(VK_MENU);
        kvtest::DrainQueue();
    }
    void Press(int vk) {
        headless::Key(vk);
        kvtest::DrainQueue();
    }
    std::vector<uint64_t> Commands() {
        std::vector<uint64_t> out;
        for (const auto& r : Log())
            if (r.msg == WM_COMMAND) out.push_back(r.wParam);
        return out;
    }
    int KeyMessages(uint32_t msg) {
        int n = 0;
        for (const auto& r : Log())
            if (r.msg == msg) ++n;
        return n;
    }
    HWND main = nullptr;
    HWND owned = nullptr;
};

}  // namespace

TEST_F(MenuKeysTest, LettersAreTheFirstOneNotTakenAbove) {
    HMENU bar = GetMenu(main);
    EXPECT_EQ(GetMenuMnemonic(bar, 0), 'f');
    EXPECT_EQ(GetMenuMnemonic(bar, 1), 'e');
    EXPECT_EQ(GetMenuMnemonic(bar, 2), 'o');
    HMENU file = GetSubMenu(bar, 0);
    EXPECT_EQ(GetMenuMnemonic(file, 0), 'o');  // the shortcut after the tab is no part of it
    EXPECT_EQ(GetMenuMnemonic(file, 1), 0);    // the separator
    EXPECT_EQ(GetMenuMnemonic(file, 2), 'g');
    EXPECT_EQ(GetMenuMnemonic(file, 3), 's');
    HMENU edit = GetSubMenu(bar, 1);
    EXPECT_EQ(GetMenuItemText(edit, 2), "Close");
    EXPECT_EQ(GetMenuMnemonic(edit, 0), 'c');
    EXPECT_EQ(GetMenuMnemonic(edit, 1), 'o');  // c is Cut's
    EXPECT_EQ(GetMenuMnemonic(edit, 2), 'l');  // c and o are taken
    EXPECT_EQ(GetMenuMnemonic(edit, 3), 0);    // no such item
    EXPECT_EQ(GetSubMenu(edit, 0), nullptr);
}

TEST_F(MenuKeysTest, AltLetterOpensItsMenuAndTheArrowsAndEnterRunAnItem) {
    AltKey('F', 'f');
    MenuTrackingState s = GetMenuTrackingState();
    EXPECT_EQ(s.owner, main);
    EXPECT_EQ(s.barIndex, 0);
    EXPECT_TRUE(s.open);
    EXPECT_EQ(s.hot, 0);  // the first item, and the letter typed with Alt picked nothing
    EXPECT_TRUE(Commands().empty());
    // Each item's letter is underlined: under the O of the highlighted "Open" the line is the
    // highlight's white ink, under its "pen" the highlight's blue.
    HWND popup = nullptr;
    for (HWND h : AllWindows())
        if (GetParent(h) == main && !(GetWindowStyle(h) & WS_CHILD)) popup = h;
    ASSERT_NE(popup, nullptr);
    headless::ScreenshotDesktop(ShotPath("menu_by_keys.png"), 420, 330);
    int pw = 0, ph = 0;
    std::vector<COLORREF> px = kvtest::ClientPixels(popup, &pw, &ph);
    const int underline = 2 + 3 + 13;
    EXPECT_EQ(px[underline * pw + 24], RGB(255, 255, 255));
    EXPECT_EQ(px[underline * pw + 40], RGB(0, 84, 166));
    // Down skips the separator and the greyed item; Up wraps round to the last.
    Press(VK_DOWN);
    EXPECT_EQ(GetMenuTrackingState().hot, 3);
    Press(VK_DOWN);
    EXPECT_EQ(GetMenuTrackingState().hot, 0);
    Press(VK_UP);
    EXPECT_EQ(GetMenuTrackingState().hot, 3);
    // Right and Left go to the neighbouring titles, round the ends.
    Press(VK_RIGHT);
    EXPECT_EQ(GetMenuTrackingState().barIndex, 1);
    EXPECT_EQ(GetMenuTrackingState().hot, 0);
    Press(VK_LEFT);
    Press(VK_LEFT);
    EXPECT_EQ(GetMenuTrackingState().barIndex, 2);
    EXPECT_TRUE(GetMenuTrackingState().open);
    Press(VK_RIGHT);
    Press(VK_DOWN);
    Press(VK_RETURN);
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    EXPECT_EQ(Commands(), std::vector<uint64_t>{IdSave});
    // No key of the menu reached the window as a key of its own.
    EXPECT_EQ(KeyMessages(WM_KEYDOWN), 0);
    EXPECT_EQ(KeyMessages(WM_CHAR), 0);
}

TEST_F(MenuKeysTest, KeysReadInOneBurstWithTheOpeningKeyAreTheMenus) {
    // Alt+F, Up, Enter and a letter after it, all waiting in the queue before the first is
    // handled: the menu takes the keys up to its close, the window the rest.
    headless::KeyDown(VK_MENU);
    headless::KeyDown('F');
    headless::Type("f");
    headless::KeyUp('F');
    headless::KeyUp(VK_MENU);
    headless::Key(VK_UP);
    headless::Key(VK_RETURN);
    headless::Key('K');
    headless::Type("k");
    kvtest::DrainQueue();
    EXPECT_EQ(Commands(), std::vector<uint64_t>{IdSave});
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    int afterK = 0, afterEnter = 0;
    for (const auto& r : Log()) {
        afterK += (r.msg == WM_KEYDOWN && r.wParam == 'K') || (r.msg == WM_CHAR && r.wParam == 'k');
        afterEnter += r.msg == WM_KEYDOWN && (r.wParam == VK_UP || r.wParam == VK_RETURN);
    }
    EXPECT_EQ(afterK, 2);
    EXPECT_EQ(afterEnter, 0);
}

TEST_F(MenuKeysTest, LettersInAnOpenMenuRunTheirItemAndEscapeCloses) {
    AltKey('E', 'e');
    ASSERT_EQ(GetMenuTrackingState().barIndex, 1);
    Press(VK_MENU);  // a repeated Alt keeps the menu open
    ASSERT_TRUE(GetMenuTrackingState().open);
    headless::Type("l");
    kvtest::DrainQueue();
    EXPECT_EQ(Commands(), std::vector<uint64_t>{IdClose});
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    // A greyed item's letter does nothing; a letter of none does nothing; Escape closes.
    Log().clear();
    AltKey('F', 'f');
    headless::Type("gx");
    kvtest::DrainQueue();
    EXPECT_TRUE(GetMenuTrackingState().open);
    Press(VK_ESCAPE);
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(KeyMessages(WM_KEYDOWN) + KeyMessages(WM_CHAR), 0);
    // Alt held through the letter of the menu and the letter of the item, with no characters
    // (a system may send none with Alt): the item's key picks it.
    headless::KeyDown(VK_MENU);
    headless::Key('F');
    kvtest::DrainQueue();
    ASSERT_TRUE(GetMenuTrackingState().open);
    headless::Key('S');
    headless::KeyUp(VK_MENU);
    kvtest::DrainQueue();
    EXPECT_EQ(Commands(), std::vector<uint64_t>{IdSave});
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    Log().clear();
    // The menu closed, keys are the window's again; a letter typed with Alt is no text.
    Press(VK_DOWN);
    EXPECT_EQ(KeyMessages(WM_KEYDOWN), 1);
    Log().clear();
    AltKey('Q', 'q');  // no title's letter
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    EXPECT_EQ(KeyMessages(WM_CHAR), 0);
    EXPECT_EQ(KeyMessages(WM_SYSCHAR), 1);
}

TEST_F(MenuKeysTest, F10OpensTheFirstMenuAndALoneAltSelectsTheBar) {
    Press(VK_F10);
    EXPECT_EQ(GetMenuTrackingState().barIndex, 0);
    EXPECT_TRUE(GetMenuTrackingState().open);
    Press(VK_F10);  // again: out
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    // Alt alone: the bar, nothing open; Right moves along it, Enter opens, Escape leaves.
    Press(VK_MENU);
    MenuTrackingState s = GetMenuTrackingState();
    EXPECT_EQ(s.owner, main);
    EXPECT_EQ(s.barIndex, 0);
    EXPECT_FALSE(s.open);
    Press(VK_RIGHT);
    EXPECT_EQ(GetMenuTrackingState().barIndex, 1);
    EXPECT_FALSE(GetMenuTrackingState().open);
    Press(VK_RETURN);
    EXPECT_TRUE(GetMenuTrackingState().open);
    EXPECT_EQ(GetMenuTrackingState().hot, 0);
    Press(VK_ESCAPE);
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    // Down opens too, and a title's letter on the selected bar opens that title.
    Press(VK_MENU);
    Press(VK_DOWN);
    EXPECT_TRUE(GetMenuTrackingState().open);
    EXPECT_EQ(GetMenuTrackingState().barIndex, 0);
    Press(VK_ESCAPE);
    Press(VK_MENU);
    headless::Type("o");
    kvtest::DrainQueue();
    EXPECT_EQ(GetMenuTrackingState().barIndex, 2);
    EXPECT_TRUE(GetMenuTrackingState().open);
    Press(VK_ESCAPE);
    // Alt pressed and released again, as the keyboard passing between windows may repeat it,
    // leaves the bar as it is; Alt with another key between, or with a click between, is no
    // lone Alt.
    Press(VK_MENU);
    Press(VK_MENU);
    EXPECT_EQ(GetMenuTrackingState().owner, main);
    EXPECT_FALSE(GetMenuTrackingState().open);
    Press(VK_ESCAPE);
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    headless::KeyDown(VK_MENU);
    headless::Key(VK_SHIFT);
    headless::KeyUp(VK_MENU);
    kvtest::DrainQueue();
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    headless::KeyDown(VK_MENU);
    headless::MouseDown(100, 200);
    headless::MouseUp(100, 200);
    headless::KeyUp(VK_MENU);
    kvtest::DrainQueue();
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(MenuKeysTest, AnOwnedWindowWorksItsOwnersBarButADialogDoesNot) {
    owned = CreateWindowEx(0, "KvTestRecording", "view", WS_POPUP, 50, 50, 100, 100, main, 0);
    ShowWindow(owned, SW_SHOW);
    SetFocus(owned);
    AltKey('E', 'e');
    EXPECT_EQ(GetMenuTrackingState().owner, main);
    EXPECT_EQ(GetMenuTrackingState().barIndex, 1);
    Press(VK_RETURN);
    EXPECT_EQ(Commands(), std::vector<uint64_t>{IdCut});
    // While a disabled owner waits for a dialog, its bar is not reached from the owned window.
    EnableWindow(main, false);
    Press(VK_F10);
    AltKey('F', 'f');
    EXPECT_EQ(GetMenuTrackingState().owner, nullptr);
    EnableWindow(main, true);
    // The layer's message box keeps its keys: Alt+F and F10 there open nothing.
    headless::UseLayerDialogs(true);
    bool sawMenu = true;
    headless::Script([&] {
        headless::KeyDown(VK_MENU);
        headless::Key('F');
        headless::KeyUp(VK_MENU);
        headless::Key(VK_F10);
    });
    headless::Script([&] {
        sawMenu = GetMenuTrackingState().owner != nullptr;
        headless::Key(VK_RETURN);
    });
    EXPECT_EQ(MessageBox(owned, "Go on?", "Question", MB_YESNO), IDYES);
    headless::UseLayerDialogs(false);
    EXPECT_FALSE(sawMenu);
}

// --- Dialog focus -------------------------------------------------------------------------------
namespace {

class DialogFocusTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::UseHeadless();
        kvtest::DrainQueue();
        headless::UseLayerDialogs(true);
    }
    void TearDown() override {
        headless::UseLayerDialogs(false);
        kvtest::DrainQueue();
    }
};

HWND FindTopLevel(const std::string& title) {
    for (HWND h : AllWindows())
        if (GetWindowText(h) == title && !(GetWindowStyle(h) & WS_CHILD)) return h;
    return nullptr;
}

// Whether the dotted focus mark is inside a button's box (client coordinates): its corner dots
// and the gaps between them, on the button's face.
bool FocusMarked(HWND box, const Rect& button) {
    int w = 0, h = 0;
    std::vector<COLORREF> px = kvtest::ClientPixels(box, &w, &h);
    auto at = [&](int x, int y) { return px[static_cast<size_t>(y * w + x)]; };
    const COLORREF black = RGB(0, 0, 0), face = RGB(225, 225, 225);
    const int l = button.left + 3, t = button.top + 3, b = button.bottom - 4;
    return at(l, t) == black && at(l + 2, t) == black && at(l + 1, t) == face &&
           at(l, t + 2) == black && at(l, t + 1) == face && at(l, b - (b - t) % 2) == black;
}

// The buttons of a message box of `count` buttons, as the box lays them out.
std::vector<Rect> BoxButtons(HWND box, int count) {
    RECT c;
    GetClientRect(box, &c);
    const int buttonsW = count * 85;
    int bx = (c.right - buttonsW) / 2 + 5;
    std::vector<Rect> out;
    for (int i = 0; i < count; ++i, bx += 85)
        out.push_back(Rect{bx, c.bottom - 38, bx + 75, c.bottom - 14});
    return out;
}

}  // namespace

TEST_F(DialogFocusTest, TabAndArrowsMoveTheFocusMarkAndEnterPressesTheFocusedButton) {
    // Yes, Tab, Enter: No (the keys stay).
    std::vector<bool> marks;
    headless::Script([&] {
        HWND box = FindTopLevel("Delete");
        ASSERT_NE(box, nullptr);
        std::vector<Rect> b = BoxButtons(box, 2);
        marks.push_back(FocusMarked(box, b[0]));
        marks.push_back(FocusMarked(box, b[1]));
        headless::Key(VK_TAB);
    });
    headless::Script([&] {
        HWND box = FindTopLevel("Delete");
        std::vector<Rect> b = BoxButtons(box, 2);
        marks.push_back(FocusMarked(box, b[0]));
        marks.push_back(FocusMarked(box, b[1]));
        headless::Screenshot(box, ShotPath("message_box_focus_no.png"));
        headless::Key(VK_RETURN);
    });
    EXPECT_EQ(MessageBox(nullptr, "Are you sure?", "Delete", MB_YESNO), IDNO);
    EXPECT_EQ(marks, (std::vector<bool>{true, false, false, true}));

    // Shift+Tab from Yes wraps to the last button; Right and Down go on, Left and Up come back.
    headless::Script([] {
        headless::KeyDown(VK_SHIFT);
        headless::Key(VK_TAB);
        headless::KeyUp(VK_SHIFT);
    });
    headless::Script([] { headless::Key(VK_RETURN); });
    EXPECT_EQ(MessageBox(nullptr, "Save first?", "Delete", MB_YESNOCANCEL), IDCANCEL);
    headless::Script([] {
        headless::Key(VK_RIGHT);
        headless::Key(VK_DOWN);
        headless::Key(VK_LEFT);
    });
    headless::Script([] { headless::Key(VK_SPACE); });
    EXPECT_EQ(MessageBox(nullptr, "Save first?", "Delete", MB_YESNOCANCEL), IDNO);
    headless::Script([] {
        headless::Key(VK_UP);
        headless::Key(VK_RETURN);
    });
    EXPECT_EQ(MessageBox(nullptr, "Save first?", "Delete", MB_YESNOCANCEL), IDCANCEL);
    // A one-button box keeps its only button.
    headless::Script([] {
        headless::Key(VK_TAB);
        headless::Key(VK_RETURN);
    });
    EXPECT_EQ(MessageBox(nullptr, "Done.", "Delete", MB_OK), IDOK);
}

TEST_F(DialogFocusTest, EscapeCancelsButNeverAnswersAYesNoBox) {
    // Escape leaves a Yes/No box up, unanswered: the Enter after it still presses the focused Yes.
    headless::Script([] {
        headless::Key(VK_ESCAPE);
        headless::Key(VK_RETURN);
    });
    EXPECT_EQ(MessageBox(nullptr, "Recover the unsaved show?", "Kinevista", MB_YESNO), IDYES);
    headless::Script([] { headless::Key(VK_ESCAPE); });
    EXPECT_EQ(MessageBox(nullptr, "Save first?", "Delete", MB_YESNOCANCEL), IDCANCEL);
    headless::Script([] { headless::Key(VK_ESCAPE); });
    EXPECT_EQ(MessageBox(nullptr, "Done.", "Delete", MB_OK), IDOK);
}

TEST_F(DialogFocusTest, TabMovesTheTextEntryBetweenItsFieldAndOk) {
    // The field has the keyboard at first; Tab gives it to OK (typing goes nowhere, the mark
    // is on OK), Tab again back to the field.
    std::string text;
    bool markedOnField = true, markedOnOk = false;
    const Rect ok{238, 120, 274, 143};
    headless::Script([&] {
        headless::Type("ab");
        HWND d = FindTopLevel("Name");
        ASSERT_NE(d, nullptr);
        markedOnField = FocusMarked(d, ok);
        headless::Key(VK_TAB);
    });
    headless::Script([&] {
        headless::Type("c");
        HWND d = FindTopLevel("Name");
        markedOnOk = FocusMarked(d, ok);
        headless::Screenshot(d, ShotPath("text_entry_focus_ok.png"));
        headless::Key(VK_TAB);
    });
    headless::Script([] { headless::Type("d"); });
    headless::Script([] {
        headless::Key(VK_TAB);
        headless::Key(VK_SPACE);  // presses the focused OK
    });
    RunTextEntryDialog(nullptr, "Name", "one", "two", text, 79);
    EXPECT_EQ(text, "abd");
    EXPECT_FALSE(markedOnField);
    EXPECT_TRUE(markedOnOk);
    EXPECT_EQ(FindTopLevel("Name"), nullptr);
}
