// The real round trip on an X display: kinevista-host (the simulated host) loads the plug-in,
// which starts build/bin/kinevista on the sdl backend; the test works the editor with real X
// input through xdotool (keys moving the camera, Enter adding a key, Ctrl+Q, the File menu, the
// close box) and reads the show the host got back. Each case runs without a window manager and
// under openbox. Skipped, with the missing tool named, when Xvfb, xdotool or openbox is absent.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tests/editor/app/x11/x_display.h"
#include "tests/test_support.h"

namespace {

const std::string Bin = KV_BIN_DIR;
const std::string Example = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";

class HostRoundTrip : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        const std::string missing = kvx::MissingTools(GetParam());
        if (!missing.empty()) GTEST_SKIP() << missing << " not installed (make test installs it)";
        ASSERT_TRUE(x.Start(GetParam())) << "the X display did not start";
        dir = kvtest::TempDir("xhost");
        env = x.Env() + "KINEVISTA_PUBLIC='" + dir +
              "' KINEVISTA_BACKEND=sdl KINEVISTA_WINDOW_LIST='" + dir + "/windows' ";
        ASSERT_EQ(kvtest::Run(env + Bin + "/kinevista-host install " + Bin + " >/dev/null"), 0);
        // The show the host hands over: keys at 0 and 60 over the example picture.
        kv::Show show;
        show.Reset();
        show.pictures[0].fileSpec.SetPath(Example.c_str());
        show.pictureCount = 1;
        show.pictures[0].keyCount = 2;
        show.pictures[0].keys[0] = kv::KeyFrame{};
        show.pictures[0].keys[0].x = 320;
        show.pictures[0].keys[0].y = 240;
        show.pictures[0].keys[0].width = 400;
        show.pictures[0].keys[1] = show.pictures[0].keys[0];
        show.pictures[0].keys[1].time = 60;
        ASSERT_TRUE(kv::SaveShow(show, dir + "/effect.kvx"));
    }

    // Starts the host's edit in the background; the editor's windows are waited for.
    void StartEdit() {
        ASSERT_TRUE(host.Start(env + Bin + "/kinevista-host edit " + std::string(KV_PLUGIN_PATH) +
                                   " --data '" + dir + "/effect.kvx' --rate 29.97 --length 300 " +
                                   "--out '" + dir + "/back.kvx' >'" + dir + "/host.log'",
                               dir + "/host.err"));
        std::string why;
        if (kvx::WaitForViews(x, &why, 60)) return;
        // What the host and the editor said, for the person reading the failure.
        std::string entries;
        kvtest::Run("ls -l '" + dir + "/windows' 2>&1", &entries);
        FAIL() << why << "; the host is " << (host.Running() ? "running" : "gone")
               << "; its standard error (the editor's too):\n"
               << host.Stderr() << "\nits log:\n"
               << kvtest::ReadFileBytes(dir + "/host.log") << "\nthe window list:\n"
               << entries;
    }
    // Waits until the editor has written its recovery copy, which it does after a key edit.
    bool WaitForRecoveryCopy() {
        const std::string copy = dir + "/kvdata-recovery.kvx";
        return kvx::WaitFor([&] { return access(copy.c_str(), F_OK) == 0; }, 60);
    }
    int X(const std::string& args) { return kvtest::Run(env + "timeout 60 xdotool " + args); }
    kv::KeyFrame KeyOf(const std::string& path, int k) {
        kv::Show show;
        EXPECT_TRUE(kv::LoadShow(show, path, false)) << path;
        return show.pictures[0].keys[k];
    }
    // The host's exit status; the editor's standard error has no X error.
    int WaitHost() {
        const int status = host.Wait(120);
        EXPECT_EQ(host.XError(), "");
        return status;
    }

    kvx::XDisplay x;
    kvx::EditorProcess host;
    std::string dir, env;
};

std::string Wm(const ::testing::TestParamInfo<bool>& p) {
    return p.param ? "UnderOpenbox" : "WithoutWindowManager";
}

}  // namespace

TEST_P(HostRoundTrip, KeysMoveTheCameraEnterAddsAKeyAndCtrlQApplies) {
    ASSERT_NO_FATAL_FAILURE(StartEdit());
    // A click on the bare stage, far from the camera's frame, gives the stage the keyboard.
    ASSERT_EQ(X("mousemove 700 500 click 1"), 0);
    ASSERT_EQ(X("key --delay 20 Right Right Right Right Right Down Down Return"), 0);
    ASSERT_TRUE(WaitForRecoveryCopy());
    ASSERT_EQ(X("key ctrl+q"), 0);
    ASSERT_EQ(WaitHost(), 0);
    const kv::KeyFrame k = KeyOf(dir + "/back.kvx", 0);
    EXPECT_FLOAT_EQ(k.x, 325);
    EXPECT_FLOAT_EQ(k.y, 242);
    EXPECT_FLOAT_EQ(KeyOf(dir + "/back.kvx", 1).x, 320);
}

TEST_P(HostRoundTrip, QuitWithoutApplyingFromTheFileMenuLeavesTheShowAsItWas) {
    ASSERT_NO_FATAL_FAILURE(StartEdit());
    ASSERT_EQ(X("mousemove 700 500 click 1"), 0);
    ASSERT_EQ(X("key --delay 20 Left Left Return"), 0);
    ASSERT_TRUE(WaitForRecoveryCopy());
    // File, then "Quit - DON'T Apply changes", the eighth row of the menu.
    ASSERT_EQ(X("mousemove 23 34 click 1"), 0);
    kvx::EditorWindows ws;
    ASSERT_TRUE(kvx::WaitFor([&] { return kvx::ReadEditorWindows(x, &ws) && ws.popups > 0; }, 30))
        << "the File menu did not open";
    ASSERT_EQ(X("mousemove 60 172 click 1"), 0);
    ASSERT_EQ(WaitHost(), 0);
    for (int k = 0; k < 2; ++k)
        EXPECT_TRUE(KeyOf(dir + "/back.kvx", k) == KeyOf(dir + "/effect.kvx", k)) << k;
    EXPECT_FLOAT_EQ(KeyOf(dir + "/back.kvx", 0).x, 320);
}

TEST_P(HostRoundTrip, ApplyFromTheFileMenuHandsTheEditBack) {
    ASSERT_NO_FATAL_FAILURE(StartEdit());
    ASSERT_EQ(X("mousemove 700 500 click 1"), 0);
    ASSERT_EQ(X("key --delay 20 Down Down Down Down Return"), 0);
    ASSERT_TRUE(WaitForRecoveryCopy());
    // File, then "Apply Moves and Close", the seventh row.
    ASSERT_EQ(X("mousemove 23 34 click 1"), 0);
    kvx::EditorWindows ws;
    ASSERT_TRUE(kvx::WaitFor([&] { return kvx::ReadEditorWindows(x, &ws) && ws.popups > 0; }, 30))
        << "the File menu did not open";
    ASSERT_EQ(X("mousemove 60 152 click 1"), 0);
    ASSERT_EQ(WaitHost(), 0);
    EXPECT_FLOAT_EQ(KeyOf(dir + "/back.kvx", 0).y, 244);
}

TEST_P(HostRoundTrip, TheWindowsCloseBoxApplies) {
    ASSERT_NO_FATAL_FAILURE(StartEdit());
    ASSERT_EQ(X("mousemove 700 500 click 1"), 0);
    ASSERT_EQ(X("key --delay 20 Up Up Up Return"), 0);
    ASSERT_TRUE(WaitForRecoveryCopy());
    ASSERT_EQ(X("mousemove 1264 13 click 1"), 0);
    ASSERT_EQ(WaitHost(), 0);
    EXPECT_FLOAT_EQ(KeyOf(dir + "/back.kvx", 0).y, 237);
}

INSTANTIATE_TEST_SUITE_P(X11, HostRoundTrip, ::testing::Bool(), Wm);
