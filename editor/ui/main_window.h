// CMain: the editor's main window — menu bar, keyboard shortcuts, the command dispatcher, the
// frame around the stage, timeline and viewer, and the status panel at its bottom left.
#pragma once

#include <cstdint>

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
};

}  // namespace kv
