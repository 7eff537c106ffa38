// Seeded random sessions with the real editor on an X display: menus opened and closed, clicks
// and drags on the stage, wheel steps over it, clicks on the timeline, the viewer's buttons,
// navigation keys, Enter and Ctrl+Z, double-clicks in the file dialog, the main window's maximize
// box and caption, in random order. The seed also picks the timeline scale (5
// to 100 frames) and whether the show's picture is the example or a 4000 x 3000 photo. After every
// action the editor still runs, its standard error has no X error, and the stage and the timeline
// are on screen; at the end the server holds as many windows, colormaps and other resources for
// the editor as after its start, and Ctrl+S and Ctrl+Q end it with status 0. A failure prints the
// seed: KV_SEED=<seed> replays it. KV_SESSIONS and KV_ACTIONS change the run's size;
// KV_SOAK_SECONDS runs sessions until that time has passed (scripts/soak_editor.sh), and the run's
// totals are printed at the end.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "tests/editor/app/x11/x_editor.h"

namespace {

using kvx::XEditor;

int64_t EnvInt(const char* name, int64_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoll(v, nullptr, 10) : fallback;
}

class RandomSession : public XEditor {
protected:
    // One action chosen by the generator; its name goes into the failure message.
    std::string Act(std::mt19937& rng) {
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        // The stage and the timeline are on screen after every action (the checks say so);
        // the main window or the viewer may not be listed at a given moment (the viewer leaves
        // while the program is not the active one), and the actions on them wait for that.
        if (!ws.main || !ws.viewer) {
            kvx::WaitFor([&] { return kvx::ReadEditorWindows(x, &ws) && ws.main && ws.viewer; },
                         10);
            if (!ws.stage || !ws.timeline) return "no action (the stage or timeline is gone)";
        }
        const kvx::XRect st = ws.stage->r, tl = ws.timeline->r;
        auto at = [](int px, int py) { return std::to_string(px) + " " + std::to_string(py); };
        const int sx = st.x + 10 + pick(std::max(1, st.w - 40));
        const int sy = st.y + 10 + pick(std::max(1, st.h - 40));
        switch (pick(12)) {
            case 0: {
                const int m = pick(6);
                if (!ws.main) return "menu (no main window listed)";
                X("mousemove " + at(ws.main->r.x + K(23), ws.main->r.y + K(34)) + " click 1");
                if (!WaitForPopups(1, 10)) return "menu " + std::to_string(m) + " (did not open)";
                for (int r = 0; r < m; ++r) X("key Right");
                X("key Escape");
                return "menu " + std::to_string(m);
            }
            case 1:
                X("mousemove " + at(sx, sy) + " click 1");
                return "stage click at " + at(sx, sy);
            case 2: {
                const int dx = pick(81) - 40, dy = pick(81) - 40;
                X("mousemove " + at(sx, sy) + " mousedown 1 mousemove " +
                  at(sx + dx / 2, sy + dy / 2) + " mousemove " + at(sx + dx, sy + dy) +
                  " mouseup 1");
                return "stage drag from " + at(sx, sy) + " by " + at(dx, dy);
            }
            case 3: {
                const int tx = tl.x + 5 + pick(std::max(1, tl.w - 10));
                X("mousemove " + at(tx, tl.y + K(30)) + " click 1");
                return "timeline click at " + at(tx, tl.y + K(30));
            }
            case 4: {
                // Reverse, stop, play and key, along the viewer's control strip.
                const int buttons[4] = {14, 38, 62, 171};
                const int b = pick(4);
                if (!ws.viewer) return "viewer button " + std::to_string(b) + " (no viewer shown)";
                const kvx::XRect vw = ws.viewer->r;
                X("mousemove " + at(vw.x + K(1 + buttons[b]), vw.Bottom() - K(12)) + " click 1");
                return "viewer button " + std::to_string(b);
            }
            case 5: {
                const char* keys[] = {"Left", "Right", "Up", "Down", "Prior", "Next", "Home"};
                const std::string k = keys[pick(7)];
                X("mousemove " + at(sx, sy) + " key " + k);
                return "key " + k;
            }
            case 6:
                X("mousemove " + at(sx, sy) + " key Return");
                return "Enter";
            case 7:
                X("mousemove " + at(sx, sy) + " key ctrl+z");
                return "Ctrl+Z";
            case 8: {
                // Button 4 turns the wheel up (zoom in), 5 down.
                const int button = 4 + pick(2);
                X("mousemove " + at(sx, sy) + " click " + std::to_string(button));
                return "wheel " + std::to_string(button) + " at " + at(sx, sy);
            }
            case 10: {
                // Load Picture's dialog: a double-click on one of its first rows (the parent
                // folder, a folder or a picture, whatever is there), maybe Backspace, then Escape.
                X("mousemove " + at(sx, sy) + " key ctrl+e");
                if (!WaitForPopups(1, 10)) return "file dialog (did not open)";
                const kvx::XWin* d = nullptr;
                for (const kvx::XWin& w : ws.all)
                    if (w.name == "Open") d = &w;
                if (!d) return "file dialog (not found)";
                const int row = pick(3);
                // The client starts below a 1-pixel border and a 20-pixel caption; the list at
                // x 140, its rows 18 pixels from y 31.
                X("mousemove " + at(d->r.x + K(1 + 220), d->r.y + K(21 + 31 + row * 18 + 9)) +
                  " click --repeat 2 --delay 60 1");
                const bool back = pick(2) != 0;
                if (back) X("key BackSpace");
                X("key Escape");
                // A double-click opened a folder (Escape closes the dialog) or chose a picture
                // (the dialog closed by itself): either way the dialog goes.
                if (!kvx::WaitFor([&] { return kvx::ReadEditorWindows(x, &ws) && !Named("Open"); },
                                  10))
                    problem = "the file dialog stayed open after Escape";
                return "file dialog: double-click on row " + std::to_string(row) +
                       (back ? ", Backspace" : "");
            }
            case 11: {
                // The maximize box restores the main window; a caption double-click maximizes it.
                // Both must work: the window's width tells.
                if (!ws.main) return "window boxes (no main window listed)";
                const kvx::XRect m = ws.main->r;
                X("mousemove " + at(m.Right() - K(33), m.y + K(14)) + " click 1");
                if (!kvx::WaitFor(
                        [&] {
                            return kvx::ReadEditorWindows(x, &ws) && ws.main && ws.main->r.w != m.w;
                        },
                        10))
                    problem =
                        "the maximize box left the main window " + std::to_string(m.w) + " wide";
                if (!ws.main) return "window boxes (no main window)";
                const kvx::XRect r = ws.main->r;
                X("mousemove " + at(r.x + r.w / 2, r.y + K(12)) + " click --repeat 2 --delay 80 1");
                if (!kvx::WaitFor(
                        [&] {
                            return kvx::ReadEditorWindows(x, &ws) && ws.main && ws.main->r.w == m.w;
                        },
                        10) &&
                    problem.empty())
                    problem = "the caption double-click left the main window " +
                              std::to_string(ws.main ? ws.main->r.w : 0) + " wide, not " +
                              std::to_string(m.w);
                return "maximize box, then caption double-click";
            }
            default: {
                const std::string k = pick(2) ? "ctrl+Left" : "ctrl+Prior";
                X("mousemove " + at(sx, sy) + " key " + k);
                return "key " + k;
            }
        }
    }

    // The display's pixels for a logical distance inside a window (the editor's scale factor).
    int K(int logical) const { return logical * factor; }
    int factor = 1;

    bool Named(const std::string& name) const {
        for (const kvx::XWin& w : ws.all)
            if (w.name == name) return true;
        return false;
    }
    // What an action saw go wrong itself ("" when nothing); the session fails on it.
    std::string problem;

    // A dialog that a random double click opened is closed before the checks.
    void CloseStrayWindows() {
        for (int i = 0; i < 5 && kvx::ReadEditorWindows(x, &ws) && ws.popups > 0; ++i) {
            X("key Escape");
            WaitForPopups(0, 5);
        }
    }

    // The session's timeline scale and picture, from the seed: the show keeps its keys.
    void Vary(uint32_t seed) {
        static const int scales[] = {5, 10, 15, 30, 60, 100};
        kvtest::WriteFileBytes(dir + "/Kinevista.ini",
                               "[Kinevista]\r\nStageScale=50\r\nTimeScale=" +
                                   std::to_string(scales[seed % 6]) + "\r\n");
        const std::string photo = dir + "/photo.bmp";
        if (access(photo.c_str(), F_OK) != 0) {
            kv::CDIB big(4000, 3000, 24);
            for (int y = 0; y < 3000; ++y)
                for (int i = 0; i < 4000 * 3; ++i)
                    big.Row(y)[i] = static_cast<uint8_t>((i / 3 + y) / 24 * 37);
            kv::FileSpec file;
            file.SetPath(photo.c_str());
            ASSERT_TRUE(big.Save(file, kv::FormatBmp));
        }
        kv::Show s;
        ASSERT_TRUE(kv::LoadShow(s, show, false));
        const std::string example = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";
        s.pictures[0].fileSpec.SetPath((seed / 6 % 2 ? photo : example).c_str());
        ASSERT_TRUE(kv::SaveShow(s, show));
    }

    // One session; false with the reason when a check failed.
    bool Session(uint32_t seed, int actions, int* done, std::string* why) {
        std::mt19937 rng(seed);
        Vary(seed);
        if (::testing::Test::HasFatalFailure()) {
            *why = "the session's show could not be prepared";
            return false;
        }
        StartEditor();
        if (::testing::Test::HasFatalFailure()) {
            *why = "the editor did not start";
            return false;
        }
        // The stage below the main window's border, caption, menu bar and the rest (over 40
        // logical pixels): the editor runs at the session's factor.
        if (!ws.main || ws.stage->r.y - ws.main->r.y < K(40)) {
            *why = "the stage lies " + std::to_string(ws.main ? ws.stage->r.y - ws.main->r.y : 0) +
                   " pixels below the main window's top, not the factor's " + std::to_string(K(44));
            return false;
        }
        // The server's resources for the editor with its four windows, before the actions and
        // after them: every window an action made is gone with all it made.
        std::map<std::string, long> before, after;
        if (!kvx::ClientResources(x, editor.Pid(), &before)) {
            *why = "xrestop does not list the editor";
            return false;
        }
        for (int a = 0; a < actions; ++a) {
            problem.clear();
            const std::string action = Act(rng);
            if (!problem.empty()) {
                *why = "action " + std::to_string(a) + " (" + action + "): " + problem;
                return false;
            }
            CloseStrayWindows();
            std::string miss;
            kvx::Screen last;
            const bool ok = kvx::WaitFor(
                [&] {
                    kvx::Screen& s = last;
                    if (!kvx::ReadEditorWindows(x, &ws) || !ws.stage || !ws.timeline ||
                        !kvx::GrabScreen(x, &s)) {
                        miss = "the editor's windows are not all there";
                        return false;
                    }
                    return kvx::StageOnScreen(s, ws.stage->r, &miss) &&
                           kvx::TimelineOnScreen(s, ws.timeline->r, &miss);
                },
                15);
            if (!editor.Running()) {
                *why = "the editor ended after action " + std::to_string(a) + " (" + action +
                       "): " + editor.XError();
                return false;
            }
            if (!editor.XError().empty()) {
                *why = "X error after action " + std::to_string(a) + " (" + action +
                       "): " + editor.XError();
                return false;
            }
            if (!ok) {
                *why = "after action " + std::to_string(a) + " (" + action + "): " + miss;
                // The screen that failed, for the person replaying the seed.
                const std::string png = std::string(KV_APP_BUILD_DIR) + "/x11_random_failure_" +
                                        std::to_string(seed) + ".png";
                if (last.w > 0 && last.WritePng(png)) *why += " (screen in " + png + ")";
                return false;
            }
            ++*done;
        }
        CloseStrayWindows();
        WaitForPopups(0, 10);
        if (!kvx::ClientResources(x, editor.Pid(), &after)) {
            *why = "xrestop does not list the editor at the end";
            return false;
        }
        for (const char* kind : {"windows", "colormaps", "pixmaps", "unknowns"}) {
            if (after[kind] == before[kind]) continue;
            *why = std::string("the editor's ") + kind + " went from " +
                   std::to_string(before[kind]) + " to " + std::to_string(after[kind]) + " in " +
                   std::to_string(actions) + " actions";
            return false;
        }
        // Every third session quits without saving: Yes to the save question, then Escape in
        // the save dialog. The editor ends and keeps the unsaved work in its recovery copy.
        if (seed % 3 == 0) return QuitWithYesThenEscape(why);
        X("mousemove " + StagePoint(200, 200) + " key ctrl+s");
        X("key ctrl+q");
        const int status = editor.Wait(60);
        if (status != 0) {
            *why = "Ctrl+S and Ctrl+Q ended the editor with status " + std::to_string(status) +
                   " " + editor.XError();
            return false;
        }
        return true;
    }

    bool Visible(const std::string& name) {
        std::string out;
        kvtest::Run(
            env + "timeout 10 xdotool search --onlyvisible --name '^" + name + "$' 2>/dev/null",
            &out);
        return !out.empty();
    }

    bool QuitWithYesThenEscape(std::string* why) {
        X("mousemove " + StagePoint(200, 200) + " key ctrl+q");
        // A clean show ends at once; a changed one is asked about.
        kvx::WaitFor([&] { return !editor.Running() || Visible("Exit Application"); }, 30);
        const bool asked = editor.Running();
        if (asked) {
            X("key y");
            if (!kvx::WaitFor([&] { return Visible("Save As"); }, 30)) {
                *why = "no save dialog after Yes to the save question";
                return false;
            }
            X("key Escape");
        }
        const int status = editor.Wait(60);
        if (status != 0) {
            *why = "Yes then Escape ended the editor with status " + std::to_string(status) + " " +
                   editor.XError();
            return false;
        }
        const std::string copy = dir + "/Kinevista-recovery.kvx";
        if (asked) {
            kv::Show kept;
            if (!kv::LoadShow(kept, copy, false)) {
                *why = "Yes then Escape left no recovery copy of the unsaved work";
                return false;
            }
            // The next session starts on the saved show, as a No at its start would have it.
            std::remove(copy.c_str());
        }
        return true;
    }

    void Run(int defaultSessions, int defaultActions) {
        const int64_t soak = EnvInt("KV_SOAK_SECONDS", 0);
        const int sessions = static_cast<int>(EnvInt("KV_SESSIONS", defaultSessions));
        const int actions = static_cast<int>(EnvInt("KV_ACTIONS", defaultActions));
        const auto now = std::chrono::steady_clock::now();
        uint32_t seed = static_cast<uint32_t>(
            EnvInt("KV_SEED", static_cast<int64_t>(now.time_since_epoch().count() & 0x7FFFFFFF)));
        const auto end = now + std::chrono::seconds(soak);
        int cleanSessions = 0, cleanActions = 0;
        for (int i = 0; soak > 0 ? std::chrono::steady_clock::now() < end : i < sessions;
             ++i, ++seed) {
            int done = 0;
            std::string why;
            const bool ok = Session(seed, actions, &done, &why);
            if (!ok) {
                editor.Signal(SIGKILL);
                editor.Wait(30);
                ADD_FAILURE() << "session " << i << " failed (replay with KV_SEED=" << seed
                              << " KV_SESSIONS=1): " << why;
                break;
            }
            ++cleanSessions;
            cleanActions += done;
            // The next session starts on the show this one saved.
            ws = kvx::EditorWindows{};
        }
        std::printf("random sessions (%s): %d sessions, %d actions ran clean\n",
                    GetParam() ? "under openbox" : "without a window manager", cleanSessions,
                    cleanActions);
    }
};

TEST_P(RandomSession, RandomActionsKeepTheEditorAliveAndItsViewsOnScreen) {
    // Under openbox the normal run's size; without a window manager a shorter one (the soak runs
    // both at length).
    if (GetParam())
        Run(5, 80);
    else
        Run(2, 40);
}

INSTANTIATE_TEST_SUITE_P(X11, RandomSession, ::testing::Bool(), kvx::Wm);

// The same at KINEVISTA_SCALE=2 on a screen of twice the size: the editor lays out the same
// logical screen, each of its pixels four on the display, text drawn again at device pixels.
class ScaledRandomSession : public RandomSession {
protected:
    std::string ScreenSize() const override { return "2560x2048x24"; }
    void SetUp() override {
        RandomSession::SetUp();
        launch = "-u GDK_SCALE ";
        env += "KINEVISTA_SCALE=2 ";
        factor = 2;
    }
};

TEST_P(ScaledRandomSession, AtTwoRandomActionsKeepTheEditorAliveAndItsViewsOnScreen) {
    if (GetParam())
        Run(2, 40);
    else
        Run(1, 30);
}

INSTANTIATE_TEST_SUITE_P(X11, ScaledRandomSession, ::testing::Bool(), kvx::Wm);

}  // namespace
