// CMain: the editor's main window — menu bar, keyboard shortcuts, the command dispatcher, the
// frame around the stage, timeline and viewer, and the status panel at its bottom left.
#pragma once

#include <cstdint>
#include <string>

#include "core/base/records.h"
#include "editor/ui/toolkit.h"

namespace kv {

class Painter;

// Menu command ids.
enum : int {
    CmdShowCameraPath = 1000,
    CmdAutoRescale = 1002,
    CmdEaseInOut = 1003,  // 1003..1006 the default ease modes
    CmdNoCurves = 1007,
    CmdViewerAspect = 1008,
    CmdLoadPicture = 1010,
    CmdReserved = 1011,
    CmdMakeMovie = 1013,
    CmdBatchRender = 1014,
    CmdNtsc = 1015,
    CmdPal = 1016,
    CmdFilm = 1017,
    CmdContents = 1020,
    CmdUniformSpeed = 1022,
    CmdDeletePicture = 1023,
    CmdDeleteAllKeys = 1024,
    CmdPrepPicture = 1025,
    CmdAbout = 1026,
    CmdAspect43 = 1030,
    CmdAspect169 = 1031,
    CmdLetterBox = 1032,
    CmdDraft = 1033,
    CmdMultiProcess = 1034,
    CmdMotionBlur = 1035,
    CmdAdvancedOptions = 1036,
    CmdMakeStill = 1037,
    CmdShowTvSafe = 1040,
    CmdCentrePicture = 1041,
    CmdStageZoomIn = 1042,
    CmdStageZoomOut = 1043,
    CmdEnlargeTimeline = 1044,
    CmdContractTimeline = 1045,
    CmdFitPicture = 1046,
    CmdExit = 2001,
    CmdQuitDiscard = 2002,
    CmdSaveShow = 2003,
    CmdLoadShow = 2004,
    CmdNewShow = 2005,
    CmdCopy = 9000,
    CmdCut = 9001,
    CmdPaste = 9002,
    CmdDelete = 9003,
    CmdUndo = 9004,
    CmdRedo = 9005,
};

class CMain : public CPWnd {
public:
    CMain() = default;
    ~CMain() override;

    // Creates the window, menus and OK button, shows it maximized, publishes itself as the main
    // window, then creates the stage, the timeline and the viewer.
    bool Create();

    bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;
    // The background tiles and the status panel with the stage's camera.
    void Redraw() override;

    // The status panel with a given camera (the stage and the timeline call it during drags).
    void DrawStatusPanel(const KeyFrame& camera);
    // Cut/Copy/Paste/Delete/Undo/Redo greying from the selected key, clipboard and undo ring.
    void UpdateEditMenu();
    // Runs a menu command by id.
    void RunCommand(int id);
    // "Fernquill Kinevista", with " - NAME" when a show file is given (nullptr: the bare title).
    void SetShowTitle(const char* showPath);

    MenuBar menu;
    BitmapButton okButton;
    bool busy = false;  // a movie, a still or a batch is being made

    // The quick save "s": writes to the show's file without a dialog when it has one.
    void QuickSave();
    // The close sequence: the save question (stand-alone, dirty), then the quit message 0.
    void CloseSequence();
    // Save Show (2003); true when the show was written.
    bool SaveShowCommand();
    // Tab: the next key after the current frame, else frame 0.
    void JumpToNextKey();
    // End: the last key (stand-alone) or the last frame (host).
    void JumpToEnd();
    // Enter: the stage's camera becomes a key at the current frame.
    void AddKeyHere();
    // "d": renders frames 0..299 at 720 x 484 and reports the time; returns the value shown.
    long RenderTimingTest();
    // Writes a settings value and saves the settings file at once, so that a crash keeps it.
    static void WriteSetting(const char* key, int32_t value);

private:
    void HandleKey(uint32_t message, uint64_t code);
    void ReleaseClick(int x, int y);
    void LoadPicture();
    void NewShow();
    void LoadShowCommand();
    bool AskToSaveFirst();  // false when Cancel abandons the command
    void SetFrameRate(int id);
    void SetAspect(int id);
    void TimelineArrow(bool enlarge);
    void OpenManual();
};

// --- Pure pieces of the main window, for the tests -------------------------------------------
// "Fernquill Kinevista", with " - " and the file's name without folder (up to the last "\", "/"
// or ":") and extension (from the first ".") when a path is given.
std::string MainTitle(const char* showPath);
// The shortcut mapping of key and character codes: the mapped character, or 0 when unmapped.
int MapShortcut(uint64_t code);
// The status panel's info line for the show.
std::string InfoLineText(const class Show& show);
// The stage scale after Stage Zoom In / Zoom Out; with a huge picture Zoom Out goes on from 10 %
// to 5, 2 and 1 % and Zoom In comes back the same way.
float ZoomedInScale(float scale, bool huge = false);
float ZoomedOutScale(float scale, bool huge = false);
// The timeline's frame scale after a click on the status panel's zoom arrows (enlarge: the right
// arrow) at a frame rate (x 100).
int32_t ArrowTimeScale(int32_t scale, bool enlarge, int32_t frameRate);
// The status panel's scale buttons: the scale for a click at client y with bottom b (0: none).
float ScaleButtonAt(int x, int y, int bottom);
// The user manual's index page: next to the program, else in the source tree ("" when none).
std::string ManualPath();

}  // namespace kv
