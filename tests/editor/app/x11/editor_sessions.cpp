// The stand-alone editor worked as a person works it on a desktop, without a window manager and
// under openbox: a whole editing session (open, drag, rotate, scrub, add keys, play, save), and
// the screen after the clicks that used to bury the views behind the main window (the scale
// marks, each menu, a dialog, the caption), checked on the grabbed screen; the window tree keeps
// the views transient for the main window. Under openbox the test also leaves screenshots in the
// build folder: the File menu open, and the editor after it closed.
#include <signal.h>

#include <cmath>

#include <filesystem>

#include "tests/editor/app/x11/x_editor.h"

namespace {

using kvx::XEditor;

TEST_P(XEditor, OpenDragRotateScrubAddKeysPlayAndSave) {
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    // The camera of key 0 (320, 240, 400 wide) at half scale: its centre at (160, 120) of the
    // stage, its first corner 100 and 75 pixels up and left of it.
    ASSERT_EQ(X("mousemove " + StagePoint(160, 120) + " mousedown 1"), 0);
    ASSERT_EQ(X("mousemove " + StagePoint(170, 125) + " mousemove " + StagePoint(180, 130) +
                " mouseup 1"),
              0);
    // The first corner (now 100 and 75 pixels up and left of the moved centre) turns the frame:
    // half a degree a pixel.
    ASSERT_EQ(X("mousemove " + StagePoint(80, 55) + " mousedown 1"), 0);
    ASSERT_EQ(
        X("mousemove " + StagePoint(90, 55) + " mousemove " + StagePoint(100, 55) + " mouseup 1"),
        0);
    ASSERT_EQ(X("key Return"), 0);
    ExpectViews("the drags");
    // Scrub: a click on the timeline two thirds along.
    ASSERT_EQ(X("mousemove " + std::to_string(ws.timeline->r.x + ws.timeline->r.w * 2 / 3) + " " +
                std::to_string(ws.timeline->r.y + 30) + " click 1"),
              0);
    ASSERT_EQ(X("mousemove " + StagePoint(400, 300) + " key --delay 20 Left Left Return"), 0);
    // Play from the viewer's button; a key stops it a little later.
    const kvx::XRect v = ws.viewer->r;
    ASSERT_EQ(X("mousemove " + std::to_string(v.x + 61) + " " + std::to_string(v.Bottom() - 11) +
                " click 1"),
              0);
    ExpectViews("play");
    ASSERT_EQ(X("mousemove " + StagePoint(400, 300) + " key Escape"), 0);
    ASSERT_EQ(X("key --delay 20 Up Return ctrl+s"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return Saved().keyCount >= 4; }, 30))
        << "the save did not arrive";
    ASSERT_EQ(X("key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
    EXPECT_EQ(editor.XError(), "");

    const kv::Picture p = Saved();
    ASSERT_EQ(p.keyCount, 4);
    // The drag moved the centre by 20 and 10 stage pixels, 40 and 20 picture pixels.
    EXPECT_FLOAT_EQ(p.keys[0].x, 360);
    EXPECT_FLOAT_EQ(p.keys[0].y, 260);
    EXPECT_NEAR(p.keys[0].rotation, 10, 0.01);
    // The scrubbed key and the one where playing stopped, in time order with the old two.
    for (int k = 1; k < 4; ++k) EXPECT_GT(p.keys[k].time, p.keys[k - 1].time) << k;
}

TEST_P(XEditor, ViewsStayOnScreenAfterScaleMarksMenusADialogAndTheCaption) {
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    const std::string mainId = ws.main->id;
    for (const kvx::XWin* w : {ws.stage, ws.timeline, ws.viewer})
        EXPECT_EQ(kvx::TransientFor(x, w->id), mainId)
            << w->name << " at " << w->r.x << "," << w->r.y << " is not transient for the main";

    const char* marks[4] = {"100 %", "50 %", "25 %", "10 %"};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(X("mousemove " + ScaleMark(i) + " click 1"), 0);
        ExpectViews(std::string("a click on the scale mark ") + marks[i]);
    }
    // Each menu: File, then Right to the next title, Escape closes it.
    for (int m = 0; m < 6; ++m) {
        ASSERT_EQ(X("mousemove " + MenuTitle() + " click 1"), 0);
        ASSERT_TRUE(WaitForPopups(1)) << "menu " << m << " did not open";
        for (int r = 0; r < m; ++r) ASSERT_EQ(X("key Right"), 0);
        if (GetParam() && m == 0) {
            kvx::Screen s;
            ASSERT_TRUE(kvx::GrabScreen(x, &s));
            s.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_file_menu_open.png");
        }
        ASSERT_EQ(X("key Escape"), 0);
        ASSERT_TRUE(WaitForPopups(0)) << "menu " << m << " did not close";
        ExpectViews("menu " + std::to_string(m) + " opened and closed");
        if (GetParam() && m == 0) {
            kvx::Screen s;
            ASSERT_TRUE(kvx::GrabScreen(x, &s));
            s.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_file_menu_closed.png");
        }
    }
    // A dialog: Load Show's file dialog, opened with Ctrl+O and closed with Escape.
    ASSERT_EQ(X("mousemove " + StagePoint(400, 300) + " key ctrl+o"), 0);
    ASSERT_TRUE(WaitForPopups(1)) << "the file dialog did not open";
    ASSERT_EQ(X("key Escape"), 0);
    ASSERT_TRUE(WaitForPopups(0)) << "the file dialog did not close";
    ExpectViews("a dialog opened and closed");
    ASSERT_EQ(X("mousemove " + Caption() + " click 1"), 0);
    ExpectViews("a click on the caption");
    for (const kvx::XWin* w : {ws.stage, ws.timeline, ws.viewer})
        EXPECT_EQ(kvx::TransientFor(x, w->id), mainId) << w->name;

    ASSERT_EQ(X("mousemove " + StagePoint(400, 300) + " key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

// The mouse alone: File, Load Show (its dialog is "Open"), a double-click into a folder and one on
// a show in it, which the editor then shows (its name in the title).
TEST_P(XEditor, FileDialogIsWalkedByMouseToAShowInASubfolder) {
    // "0shows" sorts first among the folder's folders: row 1, below "..".
    std::filesystem::create_directories(dir + "/0shows");
    std::filesystem::copy_file(show, dir + "/0shows/trip.kvx");
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_EQ(X("mousemove " + MenuTitle() + " click 1"), 0);
    ASSERT_TRUE(WaitForPopups(1)) << "the File menu did not open";
    const kvx::XWin* menu = nullptr;
    for (const kvx::XWin& w : ws.all)
        if (&w != ws.main && &w != ws.stage && &w != ws.timeline && &w != ws.viewer) menu = &w;
    ASSERT_NE(menu, nullptr);
    // Rows of 20 pixels (separators 8) from y 2 inside a 1-pixel border: Load Show is the fourth
    // row, below Load Picture, a separator and New Show.
    auto at = [](int px, int py) { return std::to_string(px) + " " + std::to_string(py); };
    ASSERT_EQ(X("mousemove " + at(menu->r.x + 30, menu->r.y + 1 + 50 + 10) + " click 1"), 0);
    const kvx::XWin* dialog = nullptr;
    ASSERT_TRUE(kvx::WaitFor(
        [&] {
            dialog = nullptr;
            if (!kvx::ReadEditorWindows(x, &ws)) return false;
            for (const kvx::XWin& w : ws.all)
                if (w.name == "Open") dialog = &w;
            return dialog != nullptr;
        },
        30))
        << "the Open dialog did not open";
    const kvx::XRect d = dialog->r;
    if (GetParam()) {
        kvx::Screen s;
        ASSERT_TRUE(kvx::GrabScreen(x, &s));
        s.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_file_dialog.png");
    }
    // The client below a 1-pixel border and a 20-pixel caption; the list's rows of 18 pixels
    // from y 31, at x 140 and on.
    auto row = [&](int r) { return at(d.x + 1 + 220, d.y + 21 + 31 + r * 18 + 9); };
    // The dialog starts in the last folder shows came from (the home folder the first time):
    // the second place on the left, 22 pixels a place, is the show's folder.
    ASSERT_EQ(X("mousemove " + at(d.x + 1 + 50, d.y + 21 + 31 + 22 + 11) + " click 1"), 0);
    ASSERT_EQ(X("mousemove " + row(1) + " sleep 0.6 click --repeat 2 --delay 80 1"), 0);
    if (GetParam()) {
        kvx::Screen s;
        ASSERT_TRUE(kvx::GrabScreen(x, &s));
        s.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_file_dialog_subfolder.png");
    }
    ASSERT_EQ(X("mousemove " + row(1) + " sleep 0.6 click --repeat 2 --delay 80 1"), 0);
    EXPECT_TRUE(kvx::WaitFor(
        [&] {
            return kvx::ReadEditorWindows(x, &ws) && ws.main && ws.popups == 0 &&
                   ws.main->name == "Fernquill Kinevista - trip";
        },
        30))
        << "the show in the subfolder was not loaded; the title is "
        << (ws.main ? ws.main->name : std::string("gone"));
    ExpectViews("a show loaded from the file dialog");
    ASSERT_EQ(X("mousemove " + StagePoint(400, 300) + " key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

// SIGTERM and SIGHUP to the real program: it ends at once with status 0, a dirty show is offered
// back at the next start, an unchanged one leaves no copy.
TEST_P(XEditor, SignalsEndTheEditorAndKeepUnsavedChanges) {
    const std::string copy = dir + "/Kinevista-recovery.kvx";
    for (int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        ASSERT_NO_FATAL_FAILURE(StartEditor());
        ASSERT_EQ(X("key --delay 20 Right Right Return"), 0);
        ASSERT_TRUE(kvx::WaitFor([&] { return access(copy.c_str(), F_OK) == 0; }, 30));
        editor.Signal(sig);
        EXPECT_EQ(editor.Wait(2), 0) << "not ended within two seconds with status 0";
        editor.Wait(30);
        EXPECT_EQ(access(copy.c_str(), F_OK), 0);
        EXPECT_FLOAT_EQ(Saved().keys[0].x, 320);  // never saved by itself

        // The next start asks; "n" with the pointer on the question declines, which removes
        // the copy.
        ASSERT_TRUE(editor.Start(env + std::string(KV_BIN_DIR) + "/kinevista '" + show + "'",
                                 dir + "/editor.err"));
        std::string question;
        ASSERT_EQ(kvtest::Run(env + "timeout 60 sh -c \"until xdotool search --sync --onlyvisible "
                                    "--name '^Kinevista$' 2>/dev/null; do :; done\"",
                              &question),
                  0)
            << "the recovery question was not asked";
        question = question.substr(0, question.find('\n'));
        ASSERT_EQ(X("mousemove --window " + question + " 40 40 key --delay 50 n"), 0);
        std::string why;
        ASSERT_TRUE(kvx::WaitForViews(x, &why, 60)) << why;
        EXPECT_NE(access(copy.c_str(), F_OK), 0);
        // Unchanged: the signal leaves no copy.
        editor.Signal(sig);
        EXPECT_EQ(editor.Wait(2), 0);
        editor.Wait(30);
        EXPECT_NE(access(copy.c_str(), F_OK), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(X11, XEditor, ::testing::Bool(), kvx::Wm);

}  // namespace
