// The stand-alone editor on an X display of the test's own, for the X session tests: a private
// public folder with a settings file, a show with two keys over the example picture, the program
// started on that show, and the places on screen a person would click (menu titles, the status
// panel's scale marks, the caption), computed from the window tree.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tests/editor/app/x11/x_display.h"
#include "tests/test_support.h"

namespace kvx {

class XEditor : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        const std::string missing = MissingTools(GetParam());
        if (!missing.empty()) GTEST_SKIP() << missing << " not installed (make test installs it)";
        ASSERT_TRUE(x.Start(GetParam(), ScreenSize())) << "the X display did not start";
        dir = kvtest::TempDir("xeditor");
        // The editor's own file dialog, never the desktop's chooser a session bus may offer.
        env =
            x.Env() + "KINEVISTA_PUBLIC='" + dir + "' KINEVISTA_BACKEND=sdl KINEVISTA_NO_PORTAL=1 ";
        kvtest::WriteFileBytes(dir + "/Kinevista.ini",
                               "[Kinevista]\r\nStageScale=50\r\nTimeScale=30\r\n");
        show = dir + "/s.kvx";
        kv::Show s;
        s.Reset();
        const std::string example = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";
        s.pictures[0].fileSpec.SetPath(example.c_str());
        s.pictureCount = 1;
        s.pictures[0].keyCount = 2;
        s.pictures[0].keys[0] = kv::KeyFrame{};
        s.pictures[0].keys[0].x = 320;
        s.pictures[0].keys[0].y = 240;
        s.pictures[0].keys[0].width = 400;
        s.pictures[0].keys[1] = s.pictures[0].keys[0];
        s.pictures[0].keys[1].time = 60;
        ASSERT_TRUE(kv::SaveShow(s, show));
    }

    // The display's screen for Xvfb (width x height x depth).
    virtual std::string ScreenSize() const { return "1280x1024x24"; }
    // Starts the editor on the show and waits until its three views are on screen.
    void StartEditor() {
        ASSERT_TRUE(
            editor.Start(launch + env + std::string(KV_BIN_DIR) + "/kinevista '" + show + "'",
                         dir + "/editor.err"));
        std::string why;
        ASSERT_TRUE(WaitForViews(x, &why, 60))
            << why << "; the editor " << (editor.Running() ? "runs" : "has ended")
            << ", its standard error: " << kvtest::ReadFileBytes(dir + "/editor.err")
            << (editor.Running() ? kvx::WhereItWaits(x, editor.Pid()) : std::string());
        ASSERT_TRUE(ReadEditorWindows(x, &ws));
        // A click on the bare stage, far from the camera's frame, gives the stage the keyboard.
        ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " click 1"), 0);
    }
    int X(const std::string& args) { return kvtest::Run(env + "timeout 60 xdotool " + args); }
    // "x y" on the screen for a point of the stage's window.
    std::string StagePoint(int sx, int sy) const {
        return std::to_string(ws.stage->r.x + sx) + " " + std::to_string(ws.stage->r.y + sy);
    }
    // The main window's frame: a 4-pixel border, a 20-pixel caption, a 20-pixel menu bar.
    std::string MenuTitle() const {
        return std::to_string(ws.main->r.x + 23) + " " + std::to_string(ws.main->r.y + 34);
    }
    std::string Caption() const {
        return std::to_string(ws.main->r.x + ws.main->r.w / 2) + " " +
               std::to_string(ws.main->r.y + 12);
    }
    // The status panel's scale marks (100 %, 50 %, 25 %, 10 %) at the client's bottom left.
    std::string ScaleMark(int i) const {
        const int bottom = ws.main->r.Bottom() - 4;
        return std::to_string(ws.main->r.x + 4 + 14) + " " + std::to_string(bottom - 78 + 10 * i);
    }
    // Waits until the editor shows `n` windows besides its four (a menu or dialog open: 1).
    bool WaitForPopups(int n, double seconds = 30) {
        return WaitFor([&] { return ReadEditorWindows(x, &ws) && ws.popups == n; }, seconds);
    }
    // The views on screen within a generous bound; the reason in the failure otherwise.
    void ExpectViews(const std::string& after) {
        std::string why;
        EXPECT_TRUE(WaitForViews(x, &why, 15)) << "after " << after << ": " << why;
        EXPECT_EQ(editor.XError(), "") << "after " << after;
        ASSERT_TRUE(editor.Running()) << "the editor ended after " << after;
        ReadEditorWindows(x, &ws);
    }
    // The first picture of the show file as it is on disk now.
    kv::Picture Saved() {
        kv::Show s;
        EXPECT_TRUE(kv::LoadShow(s, show, false));
        return s.pictures[0];
    }

    XDisplay x;
    EditorProcess editor;
    EditorWindows ws;
    std::string dir, env, show;
    // env's options in front of the editor's environment (unset variables), for its start alone.
    std::string launch;
};

inline std::string Wm(const ::testing::TestParamInfo<bool>& p) {
    return p.param ? "UnderOpenbox" : "WithoutWindowManager";
}

}  // namespace kvx
