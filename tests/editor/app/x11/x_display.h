// The X sessions' harness: an Xvfb display of the test's own, with or without the openbox window
// manager; the editor started on it as a separate process; input through xdotool; the screen as
// the X server shows it (the root window's image, as xwd takes it, never the window layer's own
// buffers) and the window tree, both asked of the server in process (x_server.h). Every wait
// polls a condition with a generous bound; none sleeps for a fixed time.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kvx {

bool OnPath(const char* tool);
// The tools a session needs that are not installed, named for the skip message ("" when none).
std::string MissingTools(bool windowManager);

// Xvfb on a display number it chooses itself, then openbox when asked for; the destructor ends
// both.
class XDisplay {
public:
    ~XDisplay();
    // `screen` is Xvfb's screen: width x height x depth. The server never resets (below).
    bool Start(bool windowManager, const std::string& screen = "1280x1024x24");
    // "DISPLAY=:n " for the front of a shell command.
    std::string Env() const { return "DISPLAY=" + m_display + " "; }
    const std::string& Name() const { return m_display; }
    bool WindowManager() const { return m_wmPid > 0; }

private:
    std::string m_display;
    pid_t m_xPid = -1;
    pid_t m_wmPid = -1;
};

struct XRect {
    int x = 0, y = 0, w = 0, h = 0;
    int Right() const { return x + w; }
    int Bottom() const { return y + h; }
};

// A top-level window of the editor as the X server knows it.
struct XWin {
    std::string id;  // "0x..."
    std::string name;
    XRect r;  // on the screen
};

// The editor's viewable windows and their roles, read from the window tree.
struct EditorWindows {
    std::vector<XWin> all;
    const XWin* main = nullptr;
    const XWin* stage = nullptr;
    const XWin* timeline = nullptr;
    const XWin* viewer = nullptr;
    int popups = 0;  // viewable windows that are none of the four (menus, dialogs)
};
// Reads the tree (false when the tools fail, as they may while windows come and go).
bool ReadEditorWindows(const XDisplay& x, EditorWindows* out);
// The window a window is transient for ("" when none).
std::string TransientFor(const XDisplay& x, const std::string& id);
// Where the viewable window `id` lies on the screen (inside a window manager's frame, where
// xdotool's getwindowgeometry misplaces it by the frame). False when it is not viewable.
bool WindowOnScreen(const XDisplay& x, unsigned long id, XRect* r);

// The server's resource counts for the client of process `pid` ("windows", "GCs", "pixmaps",
// "unknowns" (colormaps among them) ...), as xrestop reads them through the X-Resource
// extension. False when the client is not found.
bool ClientResources(const XDisplay& x, int pid, std::map<std::string, long>* counts);

// The screen as the X server shows it.
struct Screen {
    int w = 0, h = 0;
    std::vector<uint32_t> px;  // 0xRRGGBB
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
    int Count(const XRect& r, uint32_t rgb) const;
    bool WritePng(const std::string& path) const;
};
bool GrabScreen(const XDisplay& x, Screen* out);

// Pixel signatures of the three views, each found inside the window's rectangle on the grabbed
// screen: the stage's grid lines on its grey, the timeline's picture band, the viewer's control
// strip. Each says what it missed in `why`.
bool StageOnScreen(const Screen& s, const XRect& r, std::string* why);
bool TimelineOnScreen(const Screen& s, const XRect& r, std::string* why);
bool ViewerOnScreen(const Screen& s, const XRect& r, std::string* why);
// All three, with the tree read and the screen grabbed; `why` names the first that is missing.
bool ViewsOnScreen(const XDisplay& x, std::string* why, Screen* grabbed = nullptr);
// Polls ViewsOnScreen until it holds (true) or `seconds` pass (false, with the last reason).
bool WaitForViews(const XDisplay& x, std::string* why, double seconds = 20);

// Polls `cond` every few milliseconds until it holds or `seconds` pass.
bool WaitFor(const std::function<bool()>& cond, double seconds);

// For a start that shows nothing: the window tree of the display and the threads' stacks of the
// process `pid` (through gdb, when it is installed), as text for a failure message.
std::string WhereItWaits(const XDisplay& x, pid_t pid);

// The editor as a process of its own on the display, its standard error kept in a file.
class EditorProcess {
public:
    ~EditorProcess();
    // Runs `command` (assignments of the environment, the program, its arguments) in the
    // background as a process of its own.
    bool Start(const std::string& command, const std::string& stderrPath);
    bool Running();
    // Waits for the end; the exit status, 128 + the signal's number when a signal ended it (as
    // the shell gives it), -1 when it does not end in time.
    int Wait(double seconds);
    void Signal(int sig);
    pid_t Pid() const { return m_pid; }
    std::string Stderr() const;
    // The first X error line of its standard error ("" when none).
    std::string XError() const;

private:
    pid_t m_pid = -1;
    int m_status = -1;
    std::string m_stderr;
};

}  // namespace kvx
