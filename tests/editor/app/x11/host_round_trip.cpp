// The real round trip under Xvfb: kinevista-host (the simulated host) loads the plug-in, which
// starts build/bin/kinevista on the sdl backend; the test works the editor with real X input
// through xdotool (keys moving the camera, Enter adding a key, Ctrl+Q, the File menu, the close
// box) and reads the show the host got back. Skipped, with the missing tool named, when Xvfb or
// xdotool is not installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tests/test_support.h"

namespace {

const std::string Bin = KV_BIN_DIR;
const std::string Example = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";

bool OnPath(const char* tool) {
    return kvtest::Run(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0;
}

// An Xvfb server of its own; the display number comes back through -displayfd once it serves.
class XServer {
public:
    bool Start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], 3);
            if (fds[0] != 3) close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten",
                   "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        display = ":" + number;
        return true;
    }
    ~XServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    std::string display;

private:
    pid_t m_pid = -1;
};

class XvfbRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool"})
            if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed (make test installs it)";
        ASSERT_TRUE(x.Start()) << "Xvfb did not start";
        dir = kvtest::TempDir("xvfb");
        env = "DISPLAY=" + x.display + " KINEVISTA_PUBLIC='" + dir +
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

    // Starts the host's edit in the background; the editor's window is waited for.
    void StartEdit() {
        const std::string cmd = env + "exec " + Bin + "/kinevista-host edit " +
                                std::string(KV_PLUGIN_PATH) + " --data '" + dir +
                                "/effect.kvx' --rate 29.97 --length 300 --out '" + dir +
                                "/back.kvx' >'" + dir + "/host.log' 2>&1";
        m_host = fork();
        if (m_host == 0) {
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(m_host, 0);
        // xdotool waits for the mapped window by its exact title.
        ASSERT_EQ(Search("^Fernquill Kinevista$", &window), 0);
        while (!window.empty() && window.back() == '\n') window.pop_back();
        ASSERT_FALSE(window.empty());
        // The viewer comes last of the editor's windows.
        ASSERT_EQ(Search("^Viewer$"), 0);
    }
    // Waits until the editor has written its recovery copy, which it does after a key edit.
    bool WaitForRecoveryCopy() {
        const std::string copy = dir + "/kvdata-recovery.kvx";
        for (int i = 0; i < 6000; ++i) {
            if (access(copy.c_str(), F_OK) == 0) return true;
            usleep(10000);
        }
        return false;
    }
    // A search walks the window tree, and a window that goes while it walks ends it with an X
    // error: it is asked again until it finds the window (at most a minute in all).
    int Search(const std::string& title, std::string* out = nullptr) {
        return kvtest::Run(env +
                               "timeout 60 sh -c \"until xdotool search --sync --onlyvisible "
                               "--name '" +
                               title + "' 2>/dev/null; do :; done\"",
                           out);
    }
    int X(const std::string& args, std::string* out = nullptr) {
        return kvtest::Run(env + "timeout 60 xdotool " + args, out);
    }
    // Waits for the host to end and returns its exit status.
    // An editor that never closes fails the test after two minutes instead of hanging it.
    int WaitHost() {
        int status = 0;
        for (int i = 0; i < 12000; ++i) {
            const pid_t r = waitpid(m_host, &status, WNOHANG);
            if (r == m_host) {
                m_host = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (r < 0) return -1;
            usleep(10000);
        }
        ADD_FAILURE() << "the editor did not close";
        return -1;
    }
    void TearDown() override {
        if (m_host > 0) {
            kill(m_host, SIGKILL);
            waitpid(m_host, nullptr, 0);
        }
    }
    kv::KeyFrame KeyOf(const std::string& path, int k) {
        kv::Show show;
        EXPECT_TRUE(kv::LoadShow(show, path, false)) << path;
        return show.pictures[0].keys[k];
    }
    // The screen as the user sees it, into the build folder.
    void Shoot(const std::string& name) {
        kvtest::Run(env + "import -window root '" + std::string(KV_APP_BUILD_DIR) + "/" + name +
                    ".png' 2>/dev/null");
    }

    XServer x;
    std::string dir, env, window;
    pid_t m_host = -1;
};

}  // namespace

TEST_F(XvfbRoundTrip, KeysMoveTheCameraEnterAddsAKeyAndCtrlQApplies) {
    StartEdit();
    // The pointer over the stage gives the editor the keyboard; the stage has its focus.
    ASSERT_EQ(X("mousemove 700 500"), 0);
    ASSERT_EQ(X("key --delay 20 Right Right Right Right Right Down Down Return"), 0);
    ASSERT_TRUE(WaitForRecoveryCopy());
    Shoot("xvfb_host_edit");
    ASSERT_EQ(X("key ctrl+q"), 0);
    ASSERT_EQ(WaitHost(), 0);
    const kv::KeyFrame k = KeyOf(dir + "/back.kvx", 0);
    EXPECT_FLOAT_EQ(k.x, 325);
    EXPECT_FLOAT_EQ(k.y, 242);
    EXPECT_FLOAT_EQ(KeyOf(dir + "/back.kvx", 1).x, 320);
}

TEST_F(XvfbRoundTrip, QuitWithoutApplyingFromTheFileMenuLeavesTheShowAsItWas) {
    StartEdit();
    ASSERT_EQ(X("mousemove 700 500"), 0);
    ASSERT_EQ(X("key --delay 20 Left Left Return"), 0);
    ASSERT_TRUE(WaitForRecoveryCopy());
    // File, then "Quit - DON'T Apply changes", the eighth row of the menu.
    ASSERT_EQ(X("mousemove 23 34 click 1"), 0);
    ASSERT_EQ(X("mousemove 60 172 click 1"), 0);
    ASSERT_EQ(WaitHost(), 0);
    for (int k = 0; k < 2; ++k)
        EXPECT_TRUE(KeyOf(dir + "/back.kvx", k) == KeyOf(dir + "/effect.kvx", k)) << k;
    EXPECT_FLOAT_EQ(KeyOf(dir + "/back.kvx", 0).x, 320);
}

TEST_F(XvfbRoundTrip, TheWindowsCloseBoxApplies) {
    StartEdit();
    ASSERT_EQ(X("mousemove 700 500"), 0);
    ASSERT_EQ(X("key --delay 20 Up Up Up Return"), 0);
    ASSERT_TRUE(WaitForRecoveryCopy());
    ASSERT_EQ(X("mousemove 1264 13 click 1"), 0);
    ASSERT_EQ(WaitHost(), 0);
    EXPECT_FLOAT_EQ(KeyOf(dir + "/back.kvx", 0).y, 237);
}
