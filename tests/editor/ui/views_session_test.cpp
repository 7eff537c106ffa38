// One editing session with the real program under Xvfb (sdl backend) driven by X input through
// xdotool: open the example show, drag the frame's centre at frame 90, turn it by the handle,
// scrub to frame 200, add a key with the viewer's key button, play two seconds, save with Ctrl+S
// and read the saved show back with kinevista-cli. A screenshot of each step is written into the
// build folder (views_session_<n>_<step>.png). Skipped, naming the missing tool, without Xvfb or
// xdotool.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/document/show_file.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "editor/ui/views/stage.h"
#include "tests/test_support.h"

namespace {

// The display of the session's own Xvfb server (chosen by the server: -displayfd).
std::string Display;

// The layout the program gives itself on a 1280 x 1024 screen (the main window maximized):
// the stage's client area starts below the inset, caption and menu bar; the timeline 120 pixels
// from the left above the bottom inset; the viewer at the stored place with a 4-pixel frame and
// a 20-pixel caption.
constexpr int StageX = 16, StageY = 16 + 20 + 20;
constexpr int TimelineX = 120, TimelineY = 1024 - 16 - 84 - 16;
constexpr int ViewerLeft = 1020, ViewerTop = 80, ViewerWidth = 1216 - 1020;
constexpr int ViewerClientX = ViewerLeft + 4, ViewerClientY = ViewerTop + 4 + 20;
// The client: a 4:3 picture as wide as it, over the 25-pixel control strip.
constexpr int ViewerClientBottom = ((ViewerWidth - 8) * 3 + 2) / 4 + 25;

class Session {
public:
    explicit Session(std::string dir) : m_dir(std::move(dir)) {}
    int X(const std::string& args) const {
        return kvtest::Run(std::string("DISPLAY=") + Display + " xdotool " + args +
                           " >/dev/null 2>&1");
    }
    void Shot(const std::string& name) {
        const std::string path = std::string(KV_UI_BUILD_DIR) + "/views_session_" +
                                 std::to_string(++m_shots) + "_" + name + ".png";
        kvtest::Run(std::string("DISPLAY=") + Display + " import -window root '" + path +
                    "' >/dev/null 2>&1");
        shots.push_back(path);
    }
    // A crop of the screen as raw bytes (for waiting on a drawn state).
    std::string Crop(int x, int y, int w, int h) const {
        std::string out;
        kvtest::Run(std::string("DISPLAY=") + Display + " import -window root -crop " +
                        std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(x) +
                        "+" + std::to_string(y) + " rgb:- 2>/dev/null",
                    &out);
        return out;
    }
    // Runs an action and waits until the area shows its effect (the program works on its own
    // time; a screenshot taken at once could show the state before the input).
    bool Changes(int x, int y, int w, int h, const std::function<void()>& action);
    void Drag(int x0, int y0, int x1, int y1) {
        X("mousemove " + std::to_string(x0) + " " + std::to_string(y0));
        X("mousedown 1");
        for (int i = 1; i <= 5; ++i)
            X("mousemove " + std::to_string(x0 + (x1 - x0) * i / 5) + " " +
              std::to_string(y0 + (y1 - y0) * i / 5));
        X("mouseup 1");
    }
    void Click(int x, int y) {
        X("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    }
    std::vector<std::string> shots;

private:
    std::string m_dir;
    int m_shots = 0;
};

// Polls a condition (each look is an event check: a window, a file, a drawn state), giving up
// after `looks` looks so a broken program fails the test instead of hanging it.
bool WaitUntil(const std::function<bool()>& condition, int looks = 600) {
    for (int i = 0; i < looks; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool ProgramRuns(const std::string& pid) {
    return !pid.empty() && kill(std::stoi(pid), 0) == 0 &&
           kvtest::Run("ps -o stat= -p " + pid + " | grep -qv Z") == 0;
}

struct SavedKey {
    float x = 0, y = 0, width = 0, rotation = 0;
    int time = -1;
};

std::vector<SavedKey> KeysOf(const std::string& info) {
    std::vector<SavedKey> keys;
    size_t at = 0;
    while ((at = info.find("{\"x\": ", at)) != std::string::npos) {
        SavedKey k;
        auto field = [&](const char* name) {
            const size_t f = info.find(std::string("\"") + name + "\": ", at);
            return f == std::string::npos
                       ? 0.0f
                       : std::strtof(info.c_str() + f + std::strlen(name) + 4, nullptr);
        };
        k.x = field("x");
        k.y = field("y");
        k.width = field("width");
        k.rotation = field("rotation");
        k.time = static_cast<int>(field("time"));
        keys.push_back(k);
        ++at;
    }
    return keys;
}

bool Session::Changes(int x, int y, int w, int h, const std::function<void()>& action) {
    const std::string before = Crop(x, y, w, h);
    action();
    return WaitUntil([&] { return Crop(x, y, w, h) != before; }, 200);
}

}  // namespace

TEST(ViewsSession, DragTurnScrubAddKeyPlayAndSave) {
    if (kvtest::Run("command -v Xvfb >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb is not installed; the end-to-end session is skipped";
    if (kvtest::Run("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool is not installed; the end-to-end session is skipped";
    const std::string bin = KV_BIN_DIR;
    const std::string dir = kvtest::TempDir("views_session");
    ASSERT_EQ(
        kvtest::Run("mkdir -p '" + dir + "/examples' '" + dir + "/public' && cp '" +
                    std::string(KV_SOURCE_DIR) + "/examples/example.kvx' '" +
                    std::string(KV_SOURCE_DIR) + "/examples/example.jpg' '" + dir + "/examples/'"),
        0);
    kvtest::WriteFileBytes(dir + "/public/Kinevista.ini",
                           "[Kinevista]\r\nStageScale=50\r\nTimeScale=30\r\nViewerTop=80\r\n"
                           "ViewerLeft=1020\r\nViewerWidth=220\r\nCenterPic=0\r\n");

    std::string xvfb;
    kvtest::Run("Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>'" + dir +
                    "/display' >/dev/null 2>&1 & echo $!",
                &xvfb);
    ASSERT_TRUE(WaitUntil([&] {
        const std::string n = kvtest::ReadFileBytes(dir + "/display");
        return !n.empty() && n.back() == '\n';
    })) << "Xvfb did not start";
    Display = ":" + kvtest::ReadFileBytes(dir + "/display");
    Display.pop_back();
    std::string pid;
    kvtest::Run("cd '" + dir + "' && DISPLAY=" + Display +
                    " KINEVISTA_BACKEND=sdl KINEVISTA_PUBLIC='" + dir +
                    "/public' ASAN_OPTIONS=detect_leaks=0 '" + bin +
                    "/kinevista' examples/example.kvx >'" + dir + "/log.txt' 2>&1 & echo $!",
                &pid);
    auto trim = [](std::string& t) {
        while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
    };
    trim(pid);
    trim(xvfb);
    Session s(dir);
    auto finish = [&] {
        if (ProgramRuns(pid)) kvtest::Run("kill " + pid + " 2>/dev/null");
        if (!xvfb.empty()) kvtest::Run("kill " + xvfb + " 2>/dev/null");
    };
    // A loaded machine can take a while to bring a program up: up to two minutes.
    if (!WaitUntil([&] { return s.X("search --onlyvisible --name 'Fernquill Kinevista'") == 0; },
                   2400) ||
        !WaitUntil([&] { return s.X("search --onlyvisible --name '^Viewer$'") == 0; }, 2400)) {
        const bool running = ProgramRuns(pid);
        finish();
        FAIL() << "the editor's windows did not appear (program "
               << (running ? "still running" : "ended")
               << "): " << kvtest::ReadFileBytes(dir + "/log.txt");
    }
    // The first paint of every window has happened once the viewer's picture area is drawn.
    WaitUntil([&] {
        const std::string c = s.Crop(ViewerClientX + 10, ViewerClientY + 10, 150, 100);
        return !c.empty() && c.find_first_not_of(c[0]) != std::string::npos;
    });
    s.Shot("opened");

    // The expected show: the example's keys with the same edits.
    kv::Show want;
    ASSERT_TRUE(kv::LoadShow(want, dir + "/examples/example.kvx", false));
    // The program runs with the settings file above: the show-wide defaults, whatever other
    // tests of this process left in their settings.
    want.AspectMode = 7500;
    want.aspect = kv::AspectOf(7500);
    want.EaseType = 0;
    const float scale = 0.5f;

    // 1. Scrub to frame 90 (the example has a key there), then drag the frame's centre by
    //    (+40, +20) screen pixels.
    const int x90 = TimelineX + 90 * 60 / 30 + 4, rulerY = TimelineY + 50;
    const int stageW = 700, stageH = 500, timelineW = 900, timelineH = 84;
    EXPECT_TRUE(s.Changes(TimelineX, TimelineY, timelineW, timelineH,
                          [&] { s.Drag(TimelineX + 20, rulerY, x90, rulerY); }));
    kv::KeyFrame k90 = want.pictures[0].keys[1];
    ASSERT_EQ(k90.time, 90);
    const int cx = static_cast<int>(k90.x * scale), cy = static_cast<int>(k90.y * scale);
    EXPECT_TRUE(s.Changes(StageX, StageY, stageW, stageH, [&] {
        s.Drag(StageX + cx, StageY + cy, StageX + cx + 40, StageY + cy + 20);
    }));
    k90.x = static_cast<float>(cx + 40) / scale;
    k90.y = static_cast<float>(cy + 20) / scale;
    s.Shot("moved_at_90");

    // 2. Turn it by dragging the top-left corner 60 pixels to the right: 30 degrees.
    const kv::FrameShape f = kv::ComputeFrameShape(k90, scale, want.aspect, 0, 0);
    EXPECT_TRUE(s.Changes(StageX, StageY, stageW, stageH, [&] {
        s.Drag(StageX + f.corners[0].x, StageY + f.corners[0].y, StageX + f.corners[0].x + 60,
               StageY + f.corners[0].y);
    }));
    k90.rotation = 30.0f;
    want.pictures[0].keys[1] = k90;
    s.Shot("turned");

    // 3. Scrub to frame 200 and add a key there with the viewer's key button.
    const int x200 = TimelineX + 200 * 60 / 30 + 4;
    EXPECT_TRUE(s.Changes(TimelineX, TimelineY, timelineW, timelineH,
                          [&] { s.Drag(x90, rulerY, x200, rulerY); }));
    s.Shot("scrubbed_to_200");
    const kv::KeyFrame at200 = kv::CameraStateAt(want, 0, 200, false);
    EXPECT_TRUE(s.Changes(TimelineX, TimelineY + 14, timelineW, 17, [&] {
        s.Click(ViewerClientX + 161 + 9, ViewerClientY + ViewerClientBottom - 21 + 9);
    }));
    s.Shot("key_added_at_200");

    // 4. Play two seconds: from frame 300 playback runs to the last key (360) and stops there.
    const int x300 = TimelineX + 300 * 60 / 30 + 4;
    EXPECT_TRUE(s.Changes(TimelineX, TimelineY, timelineW, timelineH,
                          [&] { s.Drag(x200, rulerY, x300, rulerY); }));
    const int playX = ViewerClientX + 52, playY = ViewerClientY + ViewerClientBottom - 21;
    const std::string idle = s.Crop(playX, playY, 19, 19);
    s.Click(playX + 9, playY + 9);
    const bool started = WaitUntil([&] { return s.Crop(playX, playY, 19, 19) != idle; }, 100);
    s.Shot("playing");
    const bool stopped = WaitUntil([&] { return s.Crop(playX, playY, 19, 19) == idle; });
    EXPECT_TRUE(started && stopped) << "the play button never showed playback and its end";
    s.Shot("played");

    // 5. Save with Ctrl+S: the show came from a file, so it is written there without a dialog.
    const std::string saved = dir + "/examples/example.kvx";
    const std::string original = kvtest::ReadFileBytes(saved);
    s.X("mousemove 60 1000");
    s.X("key ctrl+s");
    EXPECT_TRUE(WaitUntil([&] { return kvtest::ReadFileBytes(saved) != original; }))
        << "Ctrl+S did not write the show";
    s.Shot("saved");
    s.X("key ctrl+q");
    const bool ended = WaitUntil([&] { return !ProgramRuns(pid); });
    EXPECT_TRUE(ended) << "the editor did not end after Exit";
    finish();

    // The saved show has the changed key at 90 and the new key at 200.
    std::string info;
    ASSERT_EQ(kvtest::Run("'" + bin + "/kinevista-cli' info '" + saved + "'", &info), 0) << info;
    const std::vector<SavedKey> keys = KeysOf(info);
    ASSERT_EQ(keys.size(), 6u) << info;
    EXPECT_EQ(keys[1].time, 90);
    EXPECT_FLOAT_EQ(keys[1].x, k90.x);
    EXPECT_FLOAT_EQ(keys[1].y, k90.y);
    EXPECT_FLOAT_EQ(keys[1].width, 240.0f);
    EXPECT_FLOAT_EQ(keys[1].rotation, 30.0f);
    EXPECT_EQ(keys[3].time, 200);
    EXPECT_NEAR(keys[3].x, at200.x, 0.01);
    EXPECT_NEAR(keys[3].y, at200.y, 0.01);
    EXPECT_NEAR(keys[3].width, at200.width, 0.01);
    EXPECT_NEAR(keys[3].rotation, at200.rotation, 0.01);
    EXPECT_EQ(keys[2].time, 180);
    EXPECT_EQ(keys[5].time, 360);
}
