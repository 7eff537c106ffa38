// The X sessions' harness; see x_display.h.
#include "tests/editor/app/x11/x_display.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/editor/app/x11/x_server.h"
#include "tests/test_support.h"

namespace kvx {

namespace {

using Clock = std::chrono::steady_clock;

// In a child just forked by `parent`: the child is killed when the test process ends, even by a
// crash, so that no editor or server outlives it holding the test's output open (ctest waits
// for that to close).
void DieWithParent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
}

void EndProcess(pid_t* pid) {
    if (*pid <= 0) return;
    kill(*pid, SIGTERM);
    // A server that does not go on SIGTERM within a while is killed.
    for (int i = 0; i < 500; ++i) {
        if (waitpid(*pid, nullptr, WNOHANG) == *pid) {
            *pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(*pid, SIGKILL);
    waitpid(*pid, nullptr, 0);
    *pid = -1;
}

}  // namespace

bool OnPath(const char* tool) {
    return kvtest::Run(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0;
}

std::string MissingTools(bool windowManager) {
    std::string missing;
    for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "xprop", "xrestop"})
        if (!OnPath(tool)) missing += std::string(missing.empty() ? "" : ", ") + tool;
    if (windowManager && !OnPath("openbox"))
        missing += std::string(missing.empty() ? "" : ", ") + "openbox";
    return missing;
}

bool ClientResources(const XDisplay& x, int pid, std::map<std::string, long>* counts) {
    std::string out;
    if (kvtest::Run(x.Env() + "xrestop -b -m 1 2>/dev/null", &out) != 0) return false;
    // Blocks of "N - name ( PID: p ):" followed by tab-indented "key : value" lines.
    char head[32];
    std::snprintf(head, sizeof head, "PID:%5d ):", pid);
    const size_t at = out.find(head);
    if (at == std::string::npos) return false;
    counts->clear();
    size_t line = out.find('\n', at);
    while (line != std::string::npos && line + 1 < out.size() && out[line + 1] == '\t') {
        const size_t end = out.find('\n', line + 1);
        const std::string text =
            out.substr(line + 2, end == std::string::npos ? end : end - line - 2);
        const size_t colon = text.find(':');
        if (colon != std::string::npos) {
            std::string key = text.substr(0, colon);
            while (!key.empty() && key.back() == ' ') key.pop_back();
            (*counts)[key] = std::strtol(text.c_str() + colon + 1, nullptr, 0);
        }
        line = end;
    }
    return !counts->empty();
}

bool WaitFor(const std::function<bool()>& cond, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (cond()) return true;
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// --- The display --------------------------------------------------------------------------------
XDisplay::~XDisplay() {
    EndProcess(&m_wmPid);
    EndProcess(&m_xPid);
}

bool XDisplay::Start(bool windowManager, const std::string& screen) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const pid_t self = getpid();
    m_xPid = fork();
    if (m_xPid == 0) {
        DieWithParent(self);
        dup2(fds[1], 3);
        if (fds[0] != 3) close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        // A server resets when its last client leaves, unless told not to. Without a window
        // manager that happens whenever a check's connection closes while the editor is not
        // connected; an editor that connects during the reset is refused ("x11 not available")
        // and its windows never come. Nor would what xrdb set stay between two starts.
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    // The server writes its display number once it serves.
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return false;
    m_display = ":" + number;
    if (!windowManager) return true;
    // The window manager keeps its settings and caches in a home of its own: two starting at
    // once (another test, a person's session) must not meet in the same files. One that dies
    // while starting is started again.
    const std::string home = kvtest::TempDir("openbox-home");
    auto startWm = [&] {
        m_wmPid = fork();
        if (m_wmPid == 0) {
            DieWithParent(self);
            setenv("DISPLAY", m_display.c_str(), 1);
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
            setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            _exit(127);
        }
    };
    startWm();
    int starts = 1;
    // A window manager that manages sets its check window on the root.
    return WaitFor(
        [&] {
            int status = 0;
            if (m_wmPid > 0 && waitpid(m_wmPid, &status, WNOHANG) == m_wmPid) {
                m_wmPid = -1;
                if (starts++ < 3) startWm();
                return false;
            }
            std::string out;
            kvtest::Run(Env() + "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null", &out);
            return out.find("window id") != std::string::npos;
        },
        30);
}

// --- The window tree ----------------------------------------------------------------------------
bool ReadEditorWindows(const XDisplay& x, EditorWindows* out) {
    *out = EditorWindows{};
    // The viewable windows of the editor, by their class; the tree gives their names and places.
    std::vector<ListedWindow> listed;
    if (!ListViewableWindows(x.Name(), &listed)) return false;
    for (const ListedWindow& l : listed) {
        if (l.instance != "kinevista") continue;
        char id[24];
        std::snprintf(id, sizeof id, "0x%lx", l.id);
        XWin w;
        w.id = id;
        w.name = l.name;
        w.r = XRect{l.x, l.y, l.w, l.h};
        out->all.push_back(w);
    }
    for (const XWin& w : out->all) {
        if (w.name.rfind("Fernquill Kinevista", 0) == 0)
            out->main = &w;
        else if (w.name == "Viewer")
            out->viewer = &w;
    }
    // The stage and the timeline have no titles: the stage is the largest of the untitled, the
    // timeline the wide one along its bottom.
    for (const XWin& w : out->all)
        if (w.name.empty() && (!out->stage || w.r.w * w.r.h > out->stage->r.w * out->stage->r.h))
            out->stage = &w;
    for (const XWin& w : out->all)
        if (&w != out->stage && w.name.empty() && out->stage && w.r.w > 3 * w.r.h &&
            w.r.y > out->stage->r.y + out->stage->r.h / 2)
            out->timeline = &w;
    for (const XWin& w : out->all)
        if (&w != out->main && &w != out->stage && &w != out->timeline && &w != out->viewer)
            out->popups++;
    return true;
}

std::string TransientFor(const XDisplay& x, const std::string& id) {
    const unsigned long owner = TransientForWindow(x.Name(), std::stoul(id, nullptr, 16));
    if (owner == 0) return "";
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", owner);
    return text;
}

bool WindowOnScreen(const XDisplay& x, unsigned long id, XRect* r) {
    std::vector<ListedWindow> listed;
    if (!ListViewableWindows(x.Name(), &listed)) return false;
    for (const ListedWindow& l : listed)
        if (l.id == id) {
            *r = XRect{l.x, l.y, l.w, l.h};
            return true;
        }
    return false;
}

// --- The screen ---------------------------------------------------------------------------------
int Screen::Count(const XRect& r, uint32_t rgb) const {
    int n = 0;
    for (int y = std::max(0, r.y); y < std::min(h, r.Bottom()); ++y)
        for (int x = std::max(0, r.x); x < std::min(w, r.Right()); ++x) n += At(x, y) == rgb;
    return n;
}

bool Screen::WritePng(const std::string& path) const {
    // Through ImageMagick from a plain PPM; the screenshots are for people, not for the checks.
    const std::string ppm = path + ".ppm";
    {
        std::ofstream f(ppm, std::ios::binary);
        f << "P6\n" << w << " " << h << "\n255\n";
        for (uint32_t p : px) {
            const char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8),
                                 static_cast<char>(p)};
            f.write(rgb, 3);
        }
        if (!f) return false;
    }
    const int r = kvtest::Run("convert '" + ppm + "' '" + path + "' 2>/dev/null");
    unlink(ppm.c_str());
    return r == 0;
}

bool GrabScreen(const XDisplay& x, Screen* out) {
    return GrabRootWindow(x.Name(), &out->w, &out->h, &out->px);
}

// --- The views' signatures ----------------------------------------------------------------------
bool StageOnScreen(const Screen& s, const XRect& r, std::string* why) {
    // The grid: lines of 160 grey every 24 pixels on 192 grey, wherever the picture leaves the
    // stage bare. Column counts tell lines from a flat grey: at least four columns that are
    // mostly line colour.
    int lineColumns = 0;
    for (int x = r.x; x < r.Right() && x < s.w; ++x) {
        int grid = 0, rows = 0;
        for (int y = std::max(0, r.y); y < std::min(s.h, r.Bottom() - 16); y += 2) {
            ++rows;
            grid += s.At(x, y) == 0xA0A0A0;
        }
        if (rows > 0 && grid * 4 > rows) ++lineColumns;
    }
    const int bare = s.Count(r, 0xC0C0C0);
    if (lineColumns >= 4 && bare * 10 > r.w * r.h) return true;
    // A picture that covers the whole stage leaves no grid; the stage's own scroll bars still
    // frame it: a black arrow on the bar's grey in the vertical bar's top corner and the
    // horizontal bar's left one, which no window under the stage draws at those two corners.
    auto arrowBox = [&](int x, int y) {
        const XRect box{x, y, 18, 18};
        return s.Count(box, 0x000000) >= 6 && s.Count(box, 0xC0C0C0) >= 100;
    };
    if (arrowBox(r.Right() - 18, r.y) && arrowBox(r.x, r.Bottom() - 18)) return true;
    if (why)
        *why = "stage grid not on screen at " + std::to_string(r.x) + "," + std::to_string(r.y) +
               " (" + std::to_string(lineColumns) + " grid columns, " + std::to_string(bare) +
               " grey pixels)";
    return false;
}

bool TimelineOnScreen(const Screen& s, const XRect& r, std::string* why) {
    // The first picture's band is cyan, framed in black, as long as the picture's keys reach
    // (a short show's band is short): a few hundred pixels of a colour nothing else draws.
    const int band = s.Count(r, 0x00FFFF);
    if (band >= 500) return true;
    if (why)
        *why = "timeline band not on screen at " + std::to_string(r.x) + "," + std::to_string(r.y) +
               " (" + std::to_string(band) + " band pixels)";
    return false;
}

bool ViewerOnScreen(const Screen& s, const XRect& r, std::string* why) {
    // The control strip along the bottom: 128 grey round the buttons and a white timecode box.
    const XRect strip{r.x, r.Bottom() - 24, r.w, 24};
    const int grey = s.Count(strip, 0x808080);
    const int white = s.Count(strip, 0xFFFFFF);
    if (grey * 5 > strip.w * strip.h && white > 200) return true;
    if (why)
        *why = "viewer strip not on screen at " + std::to_string(r.x) + "," + std::to_string(r.y) +
               " (" + std::to_string(grey) + " grey, " + std::to_string(white) + " white)";
    return false;
}

bool ViewsOnScreen(const XDisplay& x, std::string* why, Screen* grabbed) {
    EditorWindows ws;
    Screen local;
    Screen& s = grabbed ? *grabbed : local;
    if (!ReadEditorWindows(x, &ws)) {
        if (why) *why = "the window tree cannot be read";
        return false;
    }
    if (!ws.main || !ws.stage || !ws.timeline || !ws.viewer) {
        if (why)
            *why = std::string("missing from the tree:") + (ws.main ? "" : " main") +
                   (ws.stage ? "" : " stage") + (ws.timeline ? "" : " timeline") +
                   (ws.viewer ? "" : " viewer");
        return false;
    }
    if (!GrabScreen(x, &s)) {
        if (why) *why = "the screen cannot be grabbed";
        return false;
    }
    return StageOnScreen(s, ws.stage->r, why) && TimelineOnScreen(s, ws.timeline->r, why) &&
           ViewerOnScreen(s, ws.viewer->r, why);
}

bool WaitForViews(const XDisplay& x, std::string* why, double seconds) {
    Screen last;
    if (WaitFor([&] { return ViewsOnScreen(x, why, &last); }, seconds)) return true;
    // The screen that failed, for the person reading the failure.
    static int failures = 0;
    const std::string png =
        std::string(KV_APP_BUILD_DIR) + "/x11_failure_" + std::to_string(++failures) + ".png";
    if (last.w > 0 && last.WritePng(png) && why) *why += " (screen in " + png + ")";
    return false;
}

// --- The editor process -------------------------------------------------------------------------
EditorProcess::~EditorProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool EditorProcess::Start(const std::string& command, const std::string& stderrPath) {
    m_stderr = stderrPath;
    // env takes the assignments in front and becomes the program, so signals reach it.
    const std::string cmd = "exec env " + command + " 2>'" + stderrPath + "'";
    const pid_t self = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        DieWithParent(self);
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return m_pid > 0;
}

bool EditorProcess::Running() {
    if (m_pid <= 0) return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

int EditorProcess::Wait(double seconds) {
    if (!WaitFor([&] { return !Running(); }, seconds)) return -1;
    return m_status;
}

void EditorProcess::Signal(int sig) {
    if (m_pid > 0) kill(m_pid, sig);
}

std::string EditorProcess::Stderr() const {
    return kvtest::ReadFileBytes(m_stderr);
}

std::string EditorProcess::XError() const {
    std::istringstream in(Stderr());
    for (std::string line; std::getline(in, line);)
        if (line.find("X Error") != std::string::npos ||
            line.find("BadWindow") != std::string::npos || line.find("X_") != std::string::npos ||
            line.find("XIO") != std::string::npos)
            return line;
    return "";
}

std::string WhereItWaits(const XDisplay& x, pid_t pid) {
    std::string tree, stacks;
    kvtest::Run(x.Env() + "xwininfo -root -tree 2>&1 | head -n 40", &tree);
    if (OnPath("gdb"))
        kvtest::Run("timeout 60 gdb -p " + std::to_string(pid) +
                        " -batch -ex 'thread apply all bt 30' 2>/dev/null | grep -E '^(Thread|#)'",
                    &stacks);
    return "\nthe display's windows:\n" + tree + "\nthe editor's threads:\n" + stacks;
}

}  // namespace kvx
