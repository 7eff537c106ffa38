// The stand-alone editor worked from the keyboard alone, without a window manager and under
// openbox: Alt+F and the arrows run Load Show, F10 and a lone Alt reach the menu bar, Delete All
// Keys answered No by Tab and Enter keeps the keys, and ] then Enter makes a key turned by one
// degree; the saved show says what happened. Under openbox the test leaves a screenshot of the
// question with the focus on No in the build folder.
#include <string>

#include "tests/editor/app/x11/x_editor.h"

namespace {

class KeyboardSession : public kvx::XEditor {
protected:
    void SetUp() override {
        kvx::XEditor::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        env += "KINEVISTA_NO_PORTAL=1 ";  // the layer's own file dialog, whatever the desktop
    }
    // The editor's windows that are none of its four, by name ("" for any).
    const kvx::XWin* Popup(const std::string& name = "") const {
        for (const kvx::XWin& w : ws.all)
            if (&w != ws.main && &w != ws.stage && &w != ws.timeline && &w != ws.viewer &&
                (name.empty() || w.name == name))
                return &w;
        return nullptr;
    }
    // Waits until a window of that name is on screen (true) or gone (false asked).
    bool WaitForWindow(const std::string& name, bool shown = true) {
        return kvx::WaitFor(
            [&] { return kvx::ReadEditorWindows(x, &ws) && (Popup(name) != nullptr) == shown; },
            30);
    }
};

TEST_P(KeyboardSession, MenusQuestionsAndTurnsByKeysAlone) {
    ASSERT_NO_FATAL_FAILURE(StartEditor());

    // Alt+F opens File under its title; Down, Down from Load Picture (past the separator and
    // New Show) is Load Show, Enter runs it: its dialog is "Open", Escape closes it.
    ASSERT_EQ(X("key alt+f"), 0);
    ASSERT_TRUE(WaitForPopups(1)) << "Alt+F opened no menu";
    const kvx::XWin* menu = Popup();
    ASSERT_NE(menu, nullptr);
    EXPECT_LT(menu->r.x, ws.main->r.x + 40) << "the open menu is not File's";
    ASSERT_EQ(X("key --delay 30 Down Down Return"), 0);
    ASSERT_TRUE(WaitForWindow("Open")) << "Load Show's dialog did not open";
    ASSERT_EQ(X("key Escape"), 0);
    ASSERT_TRUE(WaitForPopups(0)) << "Escape did not close the Open dialog";
    ExpectViews("Load Show's dialog from the keyboard");

    // F10 opens a menu and Escape closes it; a lone Alt selects the bar, Enter opens its menu.
    ASSERT_EQ(X("key F10"), 0);
    ASSERT_TRUE(WaitForPopups(1)) << "F10 opened no menu";
    ASSERT_EQ(X("key Escape"), 0);
    ASSERT_TRUE(WaitForPopups(0)) << "Escape did not close the menu";
    ASSERT_EQ(X("key --delay 30 alt Return"), 0);
    ASSERT_TRUE(WaitForPopups(1)) << "Alt, Enter opened no menu";
    ASSERT_EQ(X("key Escape"), 0);
    ASSERT_TRUE(WaitForPopups(0)) << "Escape did not close the menu";

    // Edit's Delete All Keys by its letter: the question, Tab to No, Enter keeps the keys.
    ASSERT_EQ(X("key --delay 30 alt+e e"), 0);
    ASSERT_TRUE(WaitForWindow("Delete All Keys")) << "Delete All Keys asked nothing";
    kvx::Screen before;
    ASSERT_TRUE(kvx::GrabScreen(x, &before));
    const kvx::XRect box = Popup("Delete All Keys")->r;
    ASSERT_EQ(X("key Tab"), 0);
    // The focus mark moving from Yes to No changes the box on the screen.
    kvx::Screen after;
    EXPECT_TRUE(kvx::WaitFor(
        [&] {
            if (!kvx::GrabScreen(x, &after)) return false;
            for (int py = box.y; py < box.Bottom() && py < after.h; ++py)
                for (int px = box.x; px < box.Right() && px < after.w; ++px)
                    if (after.At(px, py) != before.At(px, py)) return true;
            return false;
        },
        30))
        << "Tab changed nothing in the question";
    if (GetParam()) after.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_question_focus_no.png");
    ASSERT_EQ(X("key Return"), 0);
    ASSERT_TRUE(WaitForWindow("Delete All Keys", false)) << "the question stayed";
    ExpectViews("Delete All Keys answered No");

    // Ten frames on with +, ] turns the camera a degree, Enter makes the key, Ctrl+S saves.
    ASSERT_EQ(X("key --delay 20 plus plus plus plus plus plus plus plus plus plus"), 0);
    ASSERT_EQ(X("key --delay 30 bracketright Return ctrl+s"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return Saved().keyCount == 3; }, 30))
        << "the save with three keys did not arrive; keys on disk: " << Saved().keyCount;
    ASSERT_EQ(X("key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
    EXPECT_EQ(editor.XError(), "");

    const kv::Picture p = Saved();
    ASSERT_EQ(p.keyCount, 3);  // both old keys kept, and the new one
    EXPECT_EQ(p.keys[0].time, 0);
    EXPECT_EQ(p.keys[1].time, 10);
    EXPECT_EQ(p.keys[2].time, 60);
    EXPECT_NEAR(p.keys[1].rotation, 1.0, 0.001);
    EXPECT_NEAR(p.keys[0].rotation, 0.0, 0.001);
    EXPECT_NEAR(p.keys[2].rotation, 0.0, 0.001);
}

INSTANTIATE_TEST_SUITE_P(X11, KeyboardSession, ::testing::Bool(), kvx::Wm);

}  // namespace
