// The editor's option commands built on RunOptionDialog: Prep Pictures (with Apply rounds),
// Advanced Options and Set Viewer Aspect ratio.
//
// Each command fills the value strings from the show and the settings, runs the dialog on the
// stage window at (50, 50), and converts the values back. The conversions are separate functions
// so that they can be checked without a window; the editor's windows are reached through hooks.
#pragma once

#include <cstdint>
#include <functional>

#include "core/show/show.h"
#include "editor/ui/toolkit/option_dialog.h"

namespace kv {

constexpr int MaxOptionRows = 16;

struct OptionRows {
    int count = 0;
    OptionText items[MaxOptionRows] = {};
    OptionText values[MaxOptionRows] = {};
    void Set(int row, const char* item, const char* value);
    bool On(int row) const { return values[row][0] != 0; }
};

// What the commands need from the editor around the dialog.
struct OptionHooks {
    HWND owner = nullptr;       // the stage window, the dialog's surface
    HWND mainWindow = nullptr;  // receives command 1008 from Advanced Options
    int x = 50, y = 50;
    std::function<void()> hideViewer, showViewer, refitViewer;
    std::function<void()> redrawStage, redrawMain;
    // Prepares every picture again with the show's values; PrepPicture on each when empty.
    std::function<void()> preparePictures;
    // Moves to a frame and renders it (the editing session's GoToFrame); without it the show's
    // own frame is set.
    std::function<void(int32_t frame)> goToFrame;
    // Makes the dialog's result one edit of the show (the session's Edit); without it the
    // result is applied to the show directly. The dialog has run and closed by then.
    std::function<void(const std::function<void(Show&)>& change)> edit;
    std::function<bool()> viewerDualScreen;
    std::function<void(bool)> setViewerDualScreen;
    std::function<double()> pictureAspect;  // the picture's height / width, 0 when none
    // The dialog runner; RunOptionDialog on the owner when empty.
    std::function<int(int count, OptionText* items, OptionText* values, const char* title)> run;
};

constexpr int CommandViewerAspect = 1008;
constexpr int CommandPrepPictures = 1025;
constexpr int CommandAdvancedOptions = 1036;

// --- Prep Pictures -------------------------------------------------------------------------------
// The values Prep Pictures edits are the show's treatments, kept and put back as the whole
// options record.
using PrepValues = ShowOptions;
PrepValues SavePrepValues(const Show& show);
void RestorePrepValues(Show& show, const PrepValues& values);
void FillPrepRows(const Show& show, OptionRows& rows);
// Rows 7 and 8 from the border mode (true: "Normal / Border", false: "Image Tint").
void SetPrepBorderMode(OptionRows& rows, bool normalBorder);
void StorePrepRows(const OptionRows& rows, Show& show);
// Runs the command; returns the last dialog result.
int PrepPicturesCommand(Show& show, const OptionHooks& hooks);

// --- Advanced Options ----------------------------------------------------------------------------
void FillAdvancedRows(const Show& show, bool dualScreen, OptionRows& rows);
// Applies an OK; returns true when the special aspect box was ticked (command 1008 wanted).
bool StoreAdvancedRows(const OptionRows& rows, const FileSpec& startFolder, Show& show,
                       bool* dualScreen);
int AdvancedOptionsCommand(Show& show, const OptionHooks& hooks);

// --- Set Viewer Aspect ratio
// ----------------------------------------------------------------------
void FillAspectRows(const Show& show, double pictureAspect, OptionRows& rows);
// The aspect the rows ask for, or 0 when they give none that can be used.
double AspectFromRows(const OptionRows& rows, double pictureAspect);
// Sets aspect and AspectMode from a value; false (nothing changed) unless 0 < value <= 100.
bool ApplyAspect(Show& show, double value);
int ViewerAspectCommand(Show& show, const OptionHooks& hooks);

}  // namespace kv
