// The Edit menu's commands: Undo and Redo, the one-key clipboard, Delete All Keys, Uniform Speed,
// Prep Picture, Delete Picture and Suggest Move. Each change to the show is one step of the
// session's history.
#include <algorithm>
#include <vector>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/document/suggest_move.h"
#include "core/picture/alert.h"
#include "core/show/show.h"
#include "editor/ui/commands.h"
#include "editor/ui/main_window.h"
#include "editor/ui/option_commands.h"
#include "editor/ui/session/edit_session.h"
#include "platform/faces/face_detector.h"

namespace kv {

bool CanUndoNow(const EditSession& s) {
    return s.CanUndo();
}

bool CanRedoNow(const EditSession& s) {
    return s.CanRedo();
}

bool CanCutOrDelete(const EditSession& s) {
    return s.HasShow() && s.TheShow().selectedKey > 0;
}

bool CanCopy(const EditSession& s) {
    return s.HasShow() && s.TheShow().selectedKey != -1;
}

bool CanPaste(const EditSession& s) {
    return s.HasShow() && s.TheShow().clipboard.time != -9999;
}

void RunUndoRedo(CMain& m, int id) {
    EditSession& session = m.session;
    // The session prepares the picture again when the step changed it or its treatments.
    if (id == CmdUndo)
        session.Undo();
    else
        session.Redo();
    m.AfterEdit(false);
}

void RunCutOrDelete(CMain& m, int id) {
    EditSession& session = m.session;
    if (!CanCutOrDelete(session)) return;
    session.Edit([id](kv::Show& show) {
        EditFeedback fb;
        if (id == CmdCut)
            CutKey(show, &fb);
        else
            DeleteSelectedKey(show, &fb);
    });
    m.AfterEdit(true);
}

void RunCopy(CMain& m, int) {
    EditSession& session = m.session;
    if (CanCopy(session)) CopyKey(session.TheShow());
    m.UpdateEditMenu();
}

void RunPaste(CMain& m, int) {
    EditSession& session = m.session;
    bool beep = false, full = false;
    const KeyFrame camera = session.camera;
    const int32_t tolerance = session.AddKeyTolerance();
    session.Edit([&](kv::Show& show) {
        EditFeedback fb;
        PasteKey(show, camera, tolerance, &fb);
        beep = fb.beep;
        full = fb.full;
    });
    if (full) {
        Alert(KeyLimitMessage);
        return;
    }
    m.AfterEdit(beep);
}

void RunDeleteAllKeys(CMain& m, int) {
    if (AskYesNo("Are you sure?", "Delete All Keys")) m.session.Edit(&DeleteAllKeys);
    m.AfterEdit(false);
}

void RunUniformSpeed(CMain& m, int) {
    EditSession& session = m.session;
    if (AskYesNo("Space keys at a uniform speed?", "Uniform Speed")) {
        session.Edit([&session](kv::Show& show) {
            const int p = show.PictureAt(session.Frame());
            UniformSpeed(show, p < 0 ? 0 : p);
        });
    }
    session.GoToFrame(0, false);
    m.AfterEdit(false);
}

void RunDeletePicture(CMain& m, int) {
    if (AskYesNo("Are you sure?", "Delete Picture")) {
        EditSession& session = m.session;
        session.Edit([&session](kv::Show& show) {
            const int p = show.PictureAt(session.Frame());
            show.DeletePicture(p < 0 ? 0 : p);
        });
        session.Notify(ChangedPicture);
    }
    m.AfterEdit(false);
}

void RunPrepPicture(CMain& m, int) {
    // The dialog's rounds (Apply) and its cancel all land in one step: what the show holds when
    // the dialog is done is what Undo takes back.
    PrepPicturesCommand(m.session.TheShow(), m.OptionDialogHooks());
    m.AfterEdit(false);
}

namespace {

// The longer side of the grey copy the face detector searches: big enough for faces a tenth of
// the picture high, small enough to answer in a fraction of a second.
constexpr int32_t FaceSearchSide = 800;

// A cap from the settings store in percent; a value below `least` gives the default.
double SuggestCap(const Settings& store, const char* key, int32_t fallback, int32_t least) {
    const int32_t value = store.ReadInt(key, fallback);
    return (value >= least ? value : fallback) / 100.0;
}

}  // namespace

void RunSuggestMove(CMain& m, int) {
    EditSession& session = m.session;
    const kv::Show& shown = session.TheShow();
    const int picture = std::max(0, shown.PictureAt(session.Frame()));
    const LumaImage luma = PictureLuma(shown.image, FaceSearchSide);
    std::vector<PictureBox> found;
    for (const faces::FaceBox& f :
         faces::DetectFaces(luma.pixels.data(), luma.width, luma.height, luma.width))
        found.push_back(luma.ToPicture(f.left, f.top, f.width, f.height));
    SuggestOptions options;
    options.maxZoom =
        SuggestCap(session.Store(), "SuggestMaxZoom", DefaultSuggestMaxZoomPercent, 100);
    options.maxPan = SuggestCap(session.Store(), "SuggestMaxPan", DefaultSuggestMaxPanPercent, 1);
    const SuggestedMove move = SuggestMove(shown, picture, options, found);
    session.Edit([&](kv::Show& show) {
        ReplaceKeysWithMove(show, picture, move);
        if (move.length > show.length) show.length = move.length;
    });
    m.AfterEdit(false);
}

}  // namespace kv
