// CMain: the editor's main window — menu bar, keyboard shortcuts, the command dispatcher, the
// frame around the stage, timeline and viewer, and the status panel at its bottom left.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/base/records.h"
#include "editor/ui/command_table.h"
#include "editor/ui/option_commands.h"
#include "editor/ui/toolkit/toolkit.h"
#include "editor/ui/views/stage.h"
#include "editor/ui/views/timeline.h"
#include "editor/ui/views/viewer.h"
#include "output/writer_state.h"

namespace kv {

class EditSession;
class Painter;
class RecoveryCopy;
struct ProgressPanelLayout;

class CMain : public CPWnd {
public:
    // The window works on the run's session and keeps its recovery copy up to date; both
    // outlive it.
    CMain(EditSession& runSession, RecoveryCopy& runRecovery)
        : session(runSession), recovery(runRecovery) {}
    ~CMain() override;

    // Creates the window, the menus from the command table and the OK button, shows it
    // maximized, publishes itself as the main window, then creates the stage, the timeline and
    // the viewer and subscribes to the session.
    bool Create();

    bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;
    // The background tiles and the status panel with the session's camera.
    void Redraw() override;

    // The status panel with a given camera.
    void DrawStatusPanel(const KeyFrame& camera);
    // The movie job's progress panel, painted over the stage at once.
    void DrawMovieProgress(const ProgressPanelLayout& lay, const char* text);
    // Every item's greying and check mark from the command table's functions of the session.
    void UpdateEditMenu();
    // Runs a menu command by id (the command table's row of this mode; unknown ids do nothing).
    void RunCommand(int id);
    // "Fernquill Kinevista", with " - NAME" when a show file is given (nullptr: the bare title).
    void SetShowTitle(const char* showPath);

    MenuBar menu;
    BitmapButton okButton;
    bool busy = false;  // a movie, a still or a batch is being made
    // The movie compressors chosen while the editor runs, handed to every movie command.
    CompressorChoices compressors;

    // The views this window owns; they know only the session.
    std::unique_ptr<CStage> stage;
    std::unique_ptr<CTime> timeline;
    std::unique_ptr<CView> viewer;
    EditSession& session;
    RecoveryCopy& recovery;

    // --- What the command rows call (commands_*.cpp) ----------------------------------------
    // The quick save "s": writes to the show's file without a dialog when it has one.
    void QuickSave();
    // The close sequence: the save question (stand-alone, dirty), then the quit message 0.
    void CloseSequence();
    // Save Show (2003); true when the show was written.
    bool SaveShowCommand();
    // Remembers the show's file as it is on disk now (after a load or a save), so that a save
    // can tell when another program changed it in between.
    void RememberShowFile();
    // Before writing over `path`: true when it may be written. When the file changed on disk
    // since it was remembered, the person chooses: write over it, save under another name
    // (*another set), or cancel.
    bool MayWriteOver(const std::string& path, bool* another);
    // Tab: the next key after the current frame, else frame 0.
    void JumpToNextKey();
    // End: the last key (stand-alone) or the last frame (host).
    void JumpToEnd();
    // Enter: the camera under edit becomes a key at the current frame.
    void AddKeyHere();
    // "d": renders frames 0..299 at 720 x 484 and reports the time; returns the value shown.
    long RenderTimingTest();
    // Writes a settings value and saves the settings file at once, so that a crash keeps it.
    void WriteSetting(const char* key, int32_t value);
    void LoadPicture();
    void NewShow();
    void LoadShowCommand();
    // False when Cancel abandons the command; `title` is the question's, the command's name.
    bool AskToSaveFirst(const char* title = "New Show");
    void SetFrameRate(int id);
    void SetAspect(int id);
    // Reshapes the viewer to the show's aspect and draws the camera at its new size; what every
    // command that changes the aspect calls after the change.
    void RefitViewer();
    void TimelineArrow(bool enlarge);
    void OpenManual();
    void ShowViewer(bool visible);
    // What the option dialogs need from the windows around them.
    OptionHooks OptionDialogHooks();
    // Runs the option dialogs in place of RunOptionDialog when set (a test's stand-in answer).
    std::function<int(int count, OptionText* items, OptionText* values, const char* title)>
        dialogRunner;
    // After a command changed the keys: one beep when asked, every view repaints, the Edit
    // menu follows and the recovery copy is written.
    void AfterEdit(bool beep);

private:
    void HandleKey(uint32_t message, uint64_t code);
    // The keys that are no shortcut of the command table: playback, stepping, jumps, Enter.
    void PlainKey(uint64_t code, bool keyDown, bool character);
    // The [ or ] key went down (in a view other than the stage, which turns the camera with it):
    // the character it types, [ ] or with Shift { }, is not a key of the table.
    bool turnKeyPressed = false;
    void ReleaseClick(int x, int y);
    void SessionChanged(uint32_t changes, const void* origin);
    int listener = 0;
    std::map<int, uint32_t> menuStates;  // each item's check and grey flags as last set
    std::string fileSeen;                // the show's file and its stamp when last loaded or saved
    std::string stampSeen;
};

// The one main window of this process (null before Create and after it is destroyed).
CMain* MainWindow();

// --- Pure pieces of the main window, for the tests -------------------------------------------
// "Fernquill Kinevista", with " - " and the file's name without folder (up to the last "\", "/"
// or ":") and extension (from the first ".") when a path is given.
std::string MainTitle(const char* showPath);
// The status panel's info line for the show.
std::string InfoLineText(const class Show& show);
// The timeline's frame scale after a click on the status panel's zoom arrows (enlarge: the right
// arrow) at a frame rate (x 100).
int32_t ArrowTimeScale(int32_t scale, bool enlarge, int32_t frameRate);
// The status panel's scale buttons: the scale for a click at client y with bottom b (0: none).
float ScaleButtonAt(int x, int y, int bottom);
// The user manual's index page: next to the program, else in the source tree ("" when none).
std::string ManualPath();
// What Help says when nothing can show the manual: where it is and a command that opens it.
std::string ManualMessage(const std::string& manual);

}  // namespace kv
