// The editor program: its command line, the start-up in its fixed order, the main loop and the
// shutdown that hands the show back to the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/ui/recovery.h"
#include "editor/ui/session/edit_session.h"

namespace kv {

class CMain;
class Settings;
class Show;

struct EditorCommandLine {
    bool hostMode = false;
    bool markerValid = false;  // host mode with a usable "?RATE,LENGTH"
    int32_t frameRate = 0;     // x 100; the host's, when markerValid
    int32_t length = 0;        // frames; the host's, when markerValid
    std::string showPath;      // stand-alone: the show file to open ("" none)
};

// Reads the program's arguments (argv[1] on). One argument starting with "?" is the host's
// marker "?RATE,LENGTH": decimal numbers, each read up to its first non-digit. A marker without
// a ",", or with a rate or length that is not a positive number (rate at most 24000), keeps the
// defaults. Anything else is a show path taken as it is; one wrapped in double quotation marks
// loses them.
EditorCommandLine ReadCommandLine(const std::vector<std::string>& args);

// Five minutes of frames at a rate: (rate x 60 / 100, truncated) x 5.
int32_t FiveMinutesOfFrames(int32_t frameRate);

// One run of the editor: it owns the editing session, the recovery copy of its show, the show
// and the main window (which owns the views), makes them in that order and takes them down in
// reverse. While it lives, Session() and Recovery() answer its session and copy, for the code that
// the window layer calls without a context (window procedures reach their objects through the
// windows' user data). One at a time per process.
class EditorApp {
public:
    explicit EditorApp(EditorCommandLine cmd);
    // A run that was started and not finished is taken down without saving anything: the main
    // window, the show and the session's hold on it.
    ~EditorApp();
    EditorApp(const EditorApp&) = delete;
    EditorApp& operator=(const EditorApp&) = delete;

    // Start-up steps 1 to 6 (toolkit and settings, the show, its length, the mode, the main
    // window, the first show), then the offer of a recovery copy left by a crash. False when the
    // main window cannot be made.
    bool Start();
    // The main loop: messages of registered windows are translated and dispatched, others
    // dropped (with filtering on). Returns the quit code.
    int Run(bool filter);
    // Steps 8 and 9: the exchange file when a host run applies, the recovery copy, then the main
    // window, the show and the toolkit (which writes the settings file). An end asked for from
    // outside keeps a dirty show's recovery copy and leaves the exchange file alone.
    void Finish(int quitCode);

    EditSession& Session() { return m_session; }
    RecoveryCopy& Recovery() { return m_recovery; }
    CMain* Main() { return m_main.get(); }

private:
    const EditorCommandLine m_cmd;
    EditSession m_session;
    RecoveryCopy m_recovery{m_session};
    Settings* m_settings = nullptr;  // the toolkit's store, once started
    std::unique_ptr<Show> m_show;
    std::unique_ptr<CMain> m_main;
    bool m_started = false;
    bool m_finished = false;
};

// The quit code of an end asked for from outside (SIGTERM, SIGHUP, SIGINT): the main loop and
// every local loop end as for any quit message, a movie being written stops as Esc stops it, and
// the shutdown keeps a dirty show in the recovery copy and never writes the exchange file.
constexpr int QuitRequestedFromOutside = 3;

// Takes the requests to end the program: each posts the quit message above. graceMs > 0 ends a
// process still running that long after the request with status 0.
void WatchForEndRequests(int graceMs);
// What the window layer calls when the display connection is gone, just before the process
// ends: a dirty show goes to the recovery copy (never to the exchange file).
void KeepShowOnLostDisplay();

// The whole program; always returns 0.
int RunEditorProgram(int argc, char** argv);

}  // namespace kv
