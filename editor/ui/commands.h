// The functions the command table's rows run, by menu: the File menu and the close sequence
// (commands_file.cpp), the Edit menu (commands_edit.cpp), and the Options, Render, View and Help
// menus (commands_view.cpp). Each takes the main window and the id it was chosen by.
#pragma once

namespace kv {

class CMain;
class EditSession;

// File.
void RunLoadPicture(CMain& m, int id);
void RunNewShow(CMain& m, int id);
void RunLoadShow(CMain& m, int id);
void RunSaveShow(CMain& m, int id);
void RunExit(CMain& m, int id);
void RunQuitDiscard(CMain& m, int id);
void RunMakeMovie(CMain& m, int id);  // Make Movie File and Batch Render Movies
void RunMakeStill(CMain& m, int id);
void RunFrameRate(CMain& m, int id);
void KeyQuickSave(CMain& m, bool character);
void KeyClose(CMain& m, bool character);
void KeyMakeStill(CMain& m, bool character);

// Edit.
bool CanUndoNow(const EditSession& s);
bool CanRedoNow(const EditSession& s);
bool CanCutOrDelete(const EditSession& s);
bool CanCopy(const EditSession& s);
bool CanPaste(const EditSession& s);
void RunUndoRedo(CMain& m, int id);
void RunCutOrDelete(CMain& m, int id);
void RunCopy(CMain& m, int id);
void RunPaste(CMain& m, int id);
void RunDeleteAllKeys(CMain& m, int id);
void RunUniformSpeed(CMain& m, int id);
void RunPrepPicture(CMain& m, int id);
void RunDeletePicture(CMain& m, int id);
void RunSuggestMove(CMain& m, int id);

// Options, Render, View, Help.
void RunCameraPath(CMain& m, int id);
void RunAutoRescale(CMain& m, int id);
void RunDefaultEase(CMain& m, int id);
void RunNoCurves(CMain& m, int id);
void RunAspect(CMain& m, int id);
void RunDraft(CMain& m, int id);
void RunMotionBlur(CMain& m, int id);
void RunMultiProcess(CMain& m, int id);
void RunAdvancedOptions(CMain& m, int id);
void RunViewerAspect(CMain& m, int id);
void RunCentrePicture(CMain& m, int id);
void RunTvSafe(CMain& m, int id);
void RunStageZoom(CMain& m, int id);
void RunFitPicture(CMain& m, int id);
void RunTimelineZoom(CMain& m, int id);
void RunContents(CMain& m, int id);
void RunAbout(CMain& m, int id);

}  // namespace kv
