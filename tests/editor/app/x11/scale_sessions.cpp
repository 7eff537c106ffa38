// The editor on a dense screen (Xvfb at 3840 x 2160), without a window manager and under openbox:
// the scale factor read from the X resources (Xft.dpi 96, 144, 192) and from KINEVISTA_SCALE,
// which beats them, makes the menu bar and its text taller by that factor on what the X server
// shows; at 2 the editor's dialogs open whole on the screen. Under openbox the tests leave
// screenshots in the build folder (x11_scale_*.png).
#include <algorithm>
#include <cmath>
#include <csignal>
#include <string>

#include "tests/editor/app/x11/x_editor.h"

namespace {

// The frame's colours: the caption, the menu bar's face, the menu titles' ink.
constexpr uint32_t kCaption = 0x1C3A6A, kBarFace = 0xF0F0F0, kInk = 0x000000;

class ScaleSession : public kvx::XEditor {
protected:
    std::string ScreenSize() const override { return "3840x2160x24"; }

    void SetUp() override {
        kvx::XEditor::SetUp();
        // The factor's sources are the test's alone, whatever the environment running it.
        launch = "-u KINEVISTA_SCALE -u GDK_SCALE ";
    }

    // The display's resources replaced by one Xft.dpi line, then the editor started with
    // `scaleEnv` in front; returns when its main window, stage and timeline are on screen.
    void StartAt(int dpi, const std::string& scaleEnv) {
        // Each start from the same settings: no window placed where a run at another factor,
        // on a logical screen of another size, left it.
        kvtest::WriteFileBytes(dir + "/Kinevista.ini",
                               "[Kinevista]\r\nStageScale=50\r\nTimeScale=30\r\n");
        ASSERT_EQ(kvtest::Run("echo 'Xft.dpi: " + std::to_string(dpi) + "' | " + x.Env() +
                              "xrdb -nocpp -load"),
                  0)
            << "xrdb failed";
        ASSERT_TRUE(editor.Start(
            launch + env + scaleEnv + " " + std::string(KV_BIN_DIR) + "/kinevista '" + show + "'",
            dir + "/editor.err"));
        ASSERT_TRUE(kvx::WaitFor(
            [&] {
                return kvx::ReadEditorWindows(x, &ws) && ws.main && ws.stage && ws.timeline &&
                       ws.viewer;
            },
            60))
            << "the editor's windows did not appear; its standard error: " << editor.Stderr();
    }

    void Quit() {
        // Real keys, as a person types them: the pointer on the stage gives it the keyboard
        // where no window manager hands it over.
        const kvx::XRect& st = ws.stage->r;
        ASSERT_EQ(X("mousemove " + std::to_string(st.x + st.w / 2) + " " +
                    std::to_string(st.y + st.h / 2) + " key ctrl+q"),
                  0)
            << "the editor's standard error: " << editor.Stderr();
        if (editor.Wait(30) == -1) {
            const std::string where = kvx::WhereItWaits(x, editor.Pid());
            kvx::Screen s;
            if (kvx::GrabScreen(x, &s))
                s.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_scale_quit.png");
            editor.Signal(SIGKILL);
            editor.Wait(30);
            FAIL() << "the editor did not end on Ctrl+Q" << where;
        }
    }

    struct Bar {
        int height = 0;  // the menu bar's face below the caption
        int text = 0;    // from the titles' highest ink to their lowest
    };
    // The main window's menu bar measured on the screen: a column three quarters across the
    // window (clear of the titles and the caption's boxes) for the face, the titles' span for
    // the ink.
    Bar Measure(const kvx::Screen& s) const {
        Bar b;
        const kvx::XRect& m = ws.main->r;
        const int cx = m.x + m.w * 3 / 4;
        int y = m.y;
        while (y < m.Bottom() && s.At(cx, y) != kCaption) ++y;
        while (y < m.Bottom() && s.At(cx, y) == kCaption) ++y;
        const int top = y;
        while (y < m.Bottom() && s.At(cx, y) == kBarFace) ++y;
        b.height = y - top;
        int first = -1, last = -1;
        for (int ty = top; ty < top + b.height; ++ty)
            for (int tx = m.x; tx < m.x + m.w / 2; ++tx)
                if (s.At(tx, ty) == kInk) {
                    if (first < 0) first = ty;
                    last = ty;
                    break;
                }
        b.text = first < 0 ? 0 : last - first + 1;
        return b;
    }
    // Waits until the bar measures the same twice running (drawn and settled).
    Bar MeasureSettled(kvx::Screen* shot) {
        Bar last{-1, -1}, now;
        kvx::WaitFor(
            [&] {
                if (!kvx::ReadEditorWindows(x, &ws) || !ws.main || !kvx::GrabScreen(x, shot))
                    return false;
                now = Measure(*shot);
                const bool same = now.height > 0 && now.text > 0 && now.height == last.height &&
                                  now.text == last.text;
                last = now;
                return same;
            },
            30);
        return now;
    }
    std::string ViewerAt() const {
        if (!ws.viewer) return "not listed";
        const kvx::XRect& r = ws.viewer->r;
        return "at (" + std::to_string(r.x) + ", " + std::to_string(r.y) + ") " +
               std::to_string(r.w) + " x " + std::to_string(r.h);
    }
    void Shot(const kvx::Screen& s, const std::string& name) const {
        if (GetParam()) s.WritePng(std::string(KV_APP_BUILD_DIR) + "/" + name);
    }
};

TEST_P(ScaleSession, MenuBarAndItsTextGrowWithTheFactor) {
    struct Case {
        int dpi;
        const char* env;
        double factor;
        const char* shot;
    };
    // KINEVISTA_SCALE=2 over Xft.dpi 144: the program's own setting wins.
    const Case cases[] = {{96, "", 1.0, "x11_scale_1.png"},
                          {144, "", 1.5, "x11_scale_1.5.png"},
                          {192, "", 2.0, "x11_scale_2.png"},
                          {144, "KINEVISTA_SCALE=2", 2.0, nullptr}};
    Bar one;
    for (const Case& c : cases) {
        SCOPED_TRACE("Xft.dpi " + std::to_string(c.dpi) + " " + c.env);
        ASSERT_NO_FATAL_FAILURE(StartAt(c.dpi, c.env));
        kvx::Screen s;
        const Bar b = MeasureSettled(&s);
        if (c.shot) Shot(s, c.shot);
        if (c.factor == 1.0) {
            one = b;
            EXPECT_EQ(b.height, 20) << "the menu bar at 1";
            EXPECT_GE(b.text, 8) << "the menu titles at 1";
        } else {
            ASSERT_GT(one.height, 0);
            // Each logical pixel is a block of device pixels: the spans grow by the factor,
            // give or take the one device pixel of rounding at each end.
            EXPECT_NEAR(b.height, one.height * c.factor, 1.0);
            EXPECT_NEAR(b.text, one.text * c.factor, 1.0);
        }
        EXPECT_EQ(editor.XError(), "");
        ASSERT_NO_FATAL_FAILURE(Quit());
    }
}

// The editor's dialogs at 2, each opened by keys (or the stage's right button, the camera's),
// shown, photographed under openbox and closed with Escape (the question answered No). The layer's
// own windows (file dialogs, questions) lie wholly on the screen; the option dialogs are drawn on
// the stage.
TEST_P(ScaleSession, DialogsOpenWholeAtTwo) {
    ASSERT_NO_FATAL_FAILURE(StartAt(96, "KINEVISTA_SCALE=2"));
    kvx::Screen first;
    ASSERT_GT(MeasureSettled(&first).height, 0);
    ASSERT_NO_FATAL_FAILURE(
        [&] { ASSERT_EQ(X("mousemove " + StagePoint(1400, 1000) + " click 1"), 0); }());
    struct Dialog {
        const char* name;
        std::string open;  // xdotool's arguments
        const char* close = "key Escape";
    };
    // At 2 the camera's centre, (160, 120) on the stage at half scale, is (320, 240) there.
    const Dialog dialogs[] = {
        {"open", "key ctrl+e"},
        {"about", "key --delay 60 alt+h Down Return"},
        {"question", "key --delay 60 alt+e e", "key --delay 60 Tab Return"},  // No
        {"advanced", "key --delay 60 alt+r Down Down Down Down Down Down Down Down Down Return"},
        {"movie", "key ctrl+k"},
        {"still", "key ctrl+t"},
        {"camera", "mousemove " + StagePoint(320, 240) + " click 3"},
    };
    for (const Dialog& d : dialogs) {
        SCOPED_TRACE(d.name);
        kvx::Screen before, open;
        // The screen before: once it holds still, so that the click above and the views' first
        // pictures are on it (under load they come late).
        std::vector<uint32_t> last;
        ASSERT_TRUE(kvx::WaitFor(
            [&] {
                if (!kvx::GrabScreen(x, &before)) return false;
                const bool still = before.px == last;
                last = before.px;
                return still;
            },
            30))
            << "the screen did not settle";
        last.clear();
        ASSERT_TRUE(kvx::ReadEditorWindows(x, &ws));
        const std::string viewerBefore = ViewerAt();
        ASSERT_EQ(X(d.open), 0);
        // Open once the screen has changed and holds still.
        ASSERT_TRUE(kvx::WaitFor(
            [&] {
                if (!kvx::GrabScreen(x, &open) || open.px == before.px) return false;
                const bool still = open.px == last;
                last = open.px;
                return still;
            },
            30))
            << "nothing opened";
        ASSERT_TRUE(kvx::ReadEditorWindows(x, &ws));
        for (const kvx::XWin& w : ws.all) {
            EXPECT_GE(w.r.x, 0) << w.name;
            EXPECT_GE(w.r.y, 0) << w.name;
            if (&w == ws.viewer || &w == ws.main || &w == ws.stage || &w == ws.timeline) continue;
            EXPECT_LE(w.r.Right(), open.w) << w.name;
            EXPECT_LE(w.r.Bottom(), open.h) << w.name;
        }
        Shot(open, std::string("x11_scale2_") + d.name + ".png");
        ASSERT_EQ(X(d.close), 0);
        ASSERT_TRUE(kvx::WaitFor(
            [&] { return kvx::ReadEditorWindows(x, &ws) && ws.main && ws.popups == 0; }, 30))
            << "still open after " << d.close;
        // The option dialogs on the stage go too: the stage as it was.
        kvx::Screen after;
        const bool back = kvx::WaitFor(
            [&] {
                return kvx::GrabScreen(x, &after) &&
                       after.Count(ws.stage->r, 0xC0C0C0) == before.Count(ws.stage->r, 0xC0C0C0);
            },
            30);
        EXPECT_TRUE(back) << "the stage did not come back after " << d.close;
        if (!back && after.w == before.w && after.h == before.h && kvx::ReadEditorWindows(x, &ws) &&
            ws.stage) {
            // Where the stage differs, where the viewer is now, and both screens.
            const kvx::XRect& st = ws.stage->r;
            int left = st.Right(), top = st.Bottom(), right = -1, bottom = -1;
            for (int py = st.y; py < st.Bottom(); ++py)
                for (int px = st.x; px < st.Right(); ++px)
                    if (before.At(px, py) != after.At(px, py)) {
                        left = std::min(left, px), right = std::max(right, px);
                        top = std::min(top, py), bottom = std::max(bottom, py);
                    }
            ADD_FAILURE() << "the stage differs from (" << left << ", " << top << ") to (" << right
                          << ", " << bottom << "); the viewer is " << ViewerAt()
                          << ", before it was " << viewerBefore;
            before.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_scale2_" + d.name +
                            "_before.png");
            after.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_scale2_" + d.name + "_after.png");
            return;
        }
    }
    EXPECT_EQ(editor.XError(), "");
    ASSERT_NO_FATAL_FAILURE(Quit());
}

INSTANTIATE_TEST_SUITE_P(X11, ScaleSession, ::testing::Bool(), kvx::Wm);

}  // namespace
