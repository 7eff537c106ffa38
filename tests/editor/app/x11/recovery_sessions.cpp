// Unsaved work survives every way out of the real editor on an X display, without a window
// manager and under openbox: Yes then Escape in the save dialog on closing, kill -9, Alt+F4 on the
// viewer (openbox), and a second editor on the same show. After each, a start without a file (or
// Load Show of the show) offers the work, and it comes back with its picture, which the show
// stores by a relative name beside itself. Under openbox the test leaves screenshots of the
// questions in the build folder.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/editor/app/x11/x_editor.h"

namespace {

// A process's state, threads and caught signals (from /proc): a failure to end on SIGTERM then
// says whether the program still held its handler when the signal came.
std::string ProcessState(pid_t pid) {
    std::istringstream in(kvtest::ReadFileBytes("/proc/" + std::to_string(pid) + "/status"));
    std::string out;
    for (std::string line; std::getline(in, line);)
        for (const char* key : {"State:", "Threads:", "SigCgt:"})
            if (line.rfind(key, 0) == 0) out += line + "; ";
    return out;
}

using kvx::XEditor;

class RecoverySession : public XEditor {
protected:
    void SetUp() override {
        XEditor::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // The picture stored as "example.jpg", kept beside the show: found only through the
        // show's own folder, as the program runs in another one.
        kvtest::WriteFileBytes(
            dir + "/example.jpg",
            kvtest::ReadFileBytes(std::string(KV_SOURCE_DIR) + "/examples/example.jpg"));
        rel = dir + "/rel.kvx";
        kv::Show s;
        ASSERT_TRUE(kv::LoadShow(s, show, false));
        s.pictures[0].fileSpec.SetPath("example.jpg");
        ASSERT_TRUE(kv::SaveShow(s, rel));
        copy = dir + "/Kinevista-recovery.kvx";
    }
    // The id of a visible window whose name matches, "" when none.
    std::string Window(const std::string& pattern) {
        std::string out;
        kvtest::Run(
            env + "timeout 10 xdotool search --onlyvisible --name '" + pattern + "' 2>/dev/null",
            &out);
        return out.substr(0, out.find('\n'));
    }
    bool WaitForWindow(const std::string& pattern, std::string* id = nullptr) {
        std::string found;
        const bool ok = kvx::WaitFor([&] { return !(found = Window(pattern)).empty(); }, 60);
        if (id) *id = found;
        return ok;
    }
    // Under openbox: the screen once the window `id` shows its text (dark pixels on its face, a
    // question's grey or a message's white).
    void Shot(const std::string& name, const std::string& id) {
        if (!GetParam()) return;
        // The place is read each time: a window manager may still move the window.
        const unsigned long window = std::stoul(id, nullptr, 0);
        kvx::Screen s;
        EXPECT_TRUE(kvx::WaitFor(
            [&] {
                kvx::XRect w;
                if (!kvx::WindowOnScreen(x, window, &w) || !kvx::GrabScreen(x, &s)) return false;
                const kvx::XRect body{w.x, w.y + 24, w.w, w.h - 24};
                return s.Count(body, 0x000000) > 50 &&
                       s.Count(body, 0xF0F0F0) + s.Count(body, 0xFFFFFF) > body.w * body.h / 2;
            },
            10))
            << "the window " << id << " showed no text on its face (" << name << ")";
        s.WritePng(std::string(KV_APP_BUILD_DIR) + "/" + name);
    }
    // The editor started with `args` (a quoted path or nothing), its views not waited for.
    void Launch(const std::string& args) {
        ASSERT_TRUE(editor.Start(env + std::string(KV_BIN_DIR) + "/kinevista " + args,
                                 dir + "/editor.err"));
    }
    // Answers the recovery question with Yes and waits for the views with the show's name.
    void RecoverWithYes(const std::string& shot) {
        std::string q;
        ASSERT_TRUE(WaitForWindow("^Kinevista$", &q)) << "the recovery question was not asked";
        Shot(shot, q);
        ASSERT_EQ(X("mousemove --window " + q + " 40 40 key --delay 50 y"), 0);
        std::string why;
        ASSERT_TRUE(kvx::WaitForViews(x, &why, 60)) << why;
        ASSERT_TRUE(WaitForWindow("^Fernquill Kinevista - rel$"));
        ASSERT_TRUE(kvx::ReadEditorWindows(x, &ws));
    }
    // The picture is on the viewer: its picture area is not all black.
    int PictureInViewer() {
        kvx::Screen s;
        if (!kvx::GrabScreen(x, &s) || !ws.viewer) return 0;
        const kvx::XRect v = ws.viewer->r;
        const kvx::XRect area{v.x + 8, v.y + 30, v.w - 16, v.h - 70};
        return area.w * area.h - s.Count(area, 0x000000);
    }
    // Edits with the keyboard on the stage and waits until the copy holds the moved key.
    void EditAndWaitForCopy(float fromX) {
        ASSERT_EQ(X("mousemove " + StagePoint(700, 500) +
                    " click 1 key --delay 20 Right Right "
                    "Return"),
                  0);
        ASSERT_TRUE(kvx::WaitFor(
            [&] {
                kv::Show c;
                return kv::LoadShow(c, copy, false) && c.pictures[0].keys[0].x != fromX;
            },
            30))
            << "no recovery copy of the edit";
    }
    float SavedX(const std::string& path) {
        kv::Show s;
        return kv::LoadShow(s, path, false) ? s.pictures[0].keys[0].x : -1;
    }
    std::string rel, copy;
};

TEST_P(RecoverySession, YesThenEscapeAndKillKeepTheWorkForTheNextStartAndLoadShow) {
    show = rel;
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_NO_FATAL_FAILURE(EditAndWaitForCopy(320));
    // Ctrl+Q asks; Yes opens the save dialog; Escape cancels it and the editor ends.
    ASSERT_EQ(X("key ctrl+q"), 0);
    ASSERT_TRUE(WaitForWindow("^Exit Application$")) << "no save question";
    ASSERT_EQ(X("key y"), 0);
    ASSERT_TRUE(WaitForWindow("^Save As$")) << "no save dialog after Yes";
    ASSERT_EQ(X("key Escape"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
    EXPECT_FLOAT_EQ(SavedX(rel), 320);
    ASSERT_EQ(access(copy.c_str(), F_OK), 0) << "the copy went with the cancelled save";

    // A start without a file offers it; it comes back with its picture.
    Launch("");
    ASSERT_NO_FATAL_FAILURE(RecoverWithYes("x11_recover_at_start.png"));
    EXPECT_GT(PictureInViewer(), 1000) << "the recovered show has no picture";
    const float recovered = SavedX(copy);
    EXPECT_NE(recovered, 320);

    // More work, then kill -9.
    ASSERT_NO_FATAL_FAILURE(EditAndWaitForCopy(recovered));
    const float killedAt = SavedX(copy);
    editor.Signal(SIGKILL);
    editor.Wait(30);

    // Another show's start asks nothing; Load Show of this one offers the work.
    Launch("'" + dir + "/s.kvx'");
    std::string why;
    ASSERT_TRUE(kvx::WaitForViews(x, &why, 60)) << why;
    ASSERT_TRUE(kvx::ReadEditorWindows(x, &ws));
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " click 1 key ctrl+o"), 0);
    ASSERT_TRUE(WaitForWindow("^Open$")) << "no file dialog";
    ASSERT_EQ(X("type --delay 20 '" + rel + "'"), 0);
    ASSERT_EQ(X("key Return"), 0);
    ASSERT_NO_FATAL_FAILURE(RecoverWithYes("x11_recover_on_load_show.png"));
    EXPECT_GT(PictureInViewer(), 1000);
    // Saved where it belongs, nothing is left over.
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+s"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return SavedX(rel) == killedAt; }, 30));
    ASSERT_EQ(X("key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
    EXPECT_NE(access(copy.c_str(), F_OK), 0);
}

TEST_P(RecoverySession, ASecondEditorIsNotOfferedTheFirstOnesLiveWork) {
    show = rel;
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_NO_FATAL_FAILURE(EditAndWaitForCopy(320));
    const float work = SavedX(copy);
    // The second editor on the same show runs its loop at once: a click on its File menu opens
    // the menu, which a question waiting for an answer would not let happen.
    kvx::EditorProcess second;
    ASSERT_TRUE(second.Start(env + std::string(KV_BIN_DIR) + "/kinevista '" + rel + "'",
                             dir + "/second.err"));
    // The ids of its visible windows. (A search by --pid alone: with a name pattern beside it,
    // xdotool takes either condition, and every window matches the empty name.)
    auto windowsOf = [&](pid_t pid) {
        std::string out;
        kvtest::Run(
            env + "xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null",
            &out);
        std::vector<unsigned long> ids;
        std::istringstream in(out);
        for (unsigned long id; in >> id;) ids.push_back(id);
        return ids;
    };
    // Its main window and three views, lying over the first one's.
    ASSERT_TRUE(kvx::WaitFor([&] { return windowsOf(second.Pid()).size() >= 4; }, 60))
        << "the second editor showed no windows";
    std::string why;
    ASSERT_TRUE(kvx::WaitForViews(x, &why, 60)) << why;
    // Where the main windows lie now: an editor opens maximised, after its first placement.
    // The second one lies on top, so the click reaches its File menu.
    ASSERT_TRUE(kvx::WaitFor([&] { return kvx::ReadEditorWindows(x, &ws); }, 30));
    std::vector<std::string> shown;
    for (const kvx::XWin& w : ws.all) shown.push_back(w.id);
    const int titleX = ws.main->r.x + 23, titleY = ws.main->r.y + 34;
    ASSERT_EQ(X("mousemove " + MenuTitle() + " click 1"), 0);
    // A new window of the second editor drops from the File title: the menu. (Other windows of
    // the two editors may come and go meanwhile, so they are not counted.)
    auto menuOpen = [&] {
        if (!kvx::ReadEditorWindows(x, &ws)) return false;
        const std::vector<unsigned long> its = windowsOf(second.Pid());
        for (const kvx::XWin& w : ws.all)
            if (std::find(shown.begin(), shown.end(), w.id) == shown.end() && w.r.x <= titleX &&
                titleX < w.r.Right() && w.r.y >= titleY && w.r.y <= titleY + 20 &&
                std::find(its.begin(), its.end(), std::stoul(w.id, nullptr, 0)) != its.end())
                return true;
        return false;
    };
    EXPECT_TRUE(kvx::WaitFor(menuOpen, 30))
        << "the second editor's File menu did not open: was it asked?";
    EXPECT_TRUE(Window("^Kinevista$").empty());
    const std::string before = ProcessState(second.Pid());
    second.Signal(SIGTERM);
    EXPECT_EQ(second.Wait(60), 0) << "before SIGTERM: " << before
                                  << "standard error: " << second.Stderr();
    EXPECT_FLOAT_EQ(SavedX(copy), work) << "the first one's copy was touched";

    // The first dies; a third start offers its work.
    editor.Signal(SIGKILL);
    editor.Wait(30);
    Launch("'" + rel + "'");
    ASSERT_NO_FATAL_FAILURE(RecoverWithYes("x11_recover_after_second_editor.png"));
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+s"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return SavedX(rel) == work; }, 30));
    ASSERT_EQ(X("key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

TEST_P(RecoverySession, AltF4OnTheViewerKeepsTheWork) {
    if (!GetParam()) GTEST_SKIP() << "Alt+F4 is the window manager's";
    show = rel;
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_NO_FATAL_FAILURE(EditAndWaitForCopy(320));
    const float work = SavedX(copy);
    ASSERT_EQ(X("windowactivate --sync " + ws.viewer->id + " key alt+F4"), 0);
    EXPECT_EQ(editor.Wait(60), 0) << "Alt+F4 on the viewer did not end the editor";
    ASSERT_EQ(access(copy.c_str(), F_OK), 0) << "the copy went with the viewer";
    Launch("");
    ASSERT_NO_FATAL_FAILURE(RecoverWithYes("x11_recover_after_viewer_close.png"));
    EXPECT_GT(PictureInViewer(), 1000);
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+s"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return SavedX(rel) == work; }, 30));
    ASSERT_EQ(X("key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

TEST_P(RecoverySession, AReadOnlySettingsFolderIsSaidOnceAndTheEditorWorksOn) {
    // A read-only mount of the public folder (root ignores file modes).
    if (kvtest::Run("mount --bind '" + dir + "' '" + dir + "' 2>/dev/null && mount -o " +
                    "remount,ro,bind '" + dir + "' 2>/dev/null") != 0) {
        kvtest::Run("umount '" + dir + "' 2>/dev/null");
        GTEST_SKIP() << "a read-only bind mount needs the right to mount";
    }
    struct Unmount {
        std::string dir;
        ~Unmount() { kvtest::Run("umount '" + dir + "'"); }
    } unmount{dir};
    // Its standard error goes elsewhere: the folder takes no file.
    const std::string errors = kvtest::TempDir("xeditor_ro");
    ASSERT_TRUE(editor.Start(env + std::string(KV_BIN_DIR) + "/kinevista '" + rel + "'",
                             errors + "/editor.err"));
    // The message, the only window besides the main window and its views (all four known, so
    // that a view still coming is not taken for it).
    ASSERT_TRUE(kvx::WaitFor(
        [&] {
            return kvx::ReadEditorWindows(x, &ws) && ws.main && ws.stage && ws.timeline &&
                   ws.viewer && ws.popups == 1;
        },
        60))
        << "no message about the folder";
    std::string box;
    for (const kvx::XWin& w : ws.all)
        if (&w != ws.main && &w != ws.stage && &w != ws.timeline && &w != ws.viewer) box = w.id;
    Shot("x11_read_only_folder.png", box);
    ASSERT_EQ(X("mousemove --window " + box + " 40 40 key Return"), 0);
    std::string why;
    ASSERT_TRUE(kvx::WaitForViews(x, &why, 60)) << why;
    ASSERT_TRUE(kvx::ReadEditorWindows(x, &ws));
    EXPECT_EQ(ws.popups, 0);
    // The editor works on: an edit, then the close asks about it.
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " click 1 key --delay 20 Right Return"), 0);
    ASSERT_EQ(X("key ctrl+q"), 0);
    ASSERT_TRUE(WaitForWindow("^Exit Application$")) << "the edit did not reach the show";
    ASSERT_EQ(X("key n"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
    EXPECT_EQ(editor.XError(), "");
}

TEST_P(RecoverySession, CtrlSAsksWhenTheCommandLineToolRewroteTheShow) {
    const std::string cli = std::string(KV_BIN_DIR) + "/kinevista-cli";
    if (access(cli.c_str(), X_OK) != 0) GTEST_SKIP() << "kinevista-cli is not built";
    show = rel;
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_NO_FATAL_FAILURE(EditAndWaitForCopy(320));
    const float work = SavedX(copy);
    // The tool rewrites the show the editor has open.
    ASSERT_EQ(kvtest::Run("'" + cli + "' info '" + rel + "' > '" + dir + "/info.json' && '" + cli +
                          "' set '" + rel + "' --keys '" + dir + "/info.json' >/dev/null"),
              0);
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+s"), 0);
    std::string q;
    ASSERT_TRUE(WaitForWindow("^Save Show$", &q)) << "Ctrl+S did not ask";
    Shot("x11_show_changed_on_disk.png", q);
    // No: save under another name; both versions are kept.
    ASSERT_EQ(X("key n"), 0);
    ASSERT_TRUE(WaitForWindow("^Save As$")) << "no save dialog after No";
    const std::string mine = dir + "/mine.kvx";
    // The name field holds the show's name: cleared, then the new one typed.
    ASSERT_EQ(X("key End key --repeat 120 --delay 2 BackSpace type --delay 20 '" + mine + "'"), 0);
    ASSERT_EQ(X("key Return"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return SavedX(mine) == work; }, 30)) << "not saved";
    EXPECT_FLOAT_EQ(SavedX(rel), 320);
    ASSERT_TRUE(WaitForWindow("^Fernquill Kinevista - mine$"));
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

INSTANTIATE_TEST_SUITE_P(X11, RecoverySession, ::testing::Bool(), kvx::Wm);

}  // namespace
