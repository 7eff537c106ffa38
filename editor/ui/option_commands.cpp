// Prep Pictures, Advanced Options and Set Viewer Aspect ratio: value strings to and from the show.
#include "editor/ui/option_commands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/base/settings.h"
#include "core/document/show_edits.h"
#include "core/render/treatments.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/toolkit.h"

namespace kv {

namespace {

void Call(const std::function<void()>& f) {
    if (f) f();
}

// Hands a dialog's result to the edit hook, or applies it.
void ApplyResult(const OptionHooks& hooks, Show& show, const std::function<void(Show&)>& change) {
    if (hooks.edit)
        hooks.edit(change);
    else
        change(show);
}

void GoToFrame(const OptionHooks& hooks, Show& show, int32_t frame) {
    if (hooks.goToFrame)
        hooks.goToFrame(frame);
    else
        show.currentFrame = frame;
}

int Run(const OptionHooks& hooks, OptionRows& rows, int count, const char* title) {
    if (hooks.run) return hooks.run(count, rows.items, rows.values, title);
    return RunOptionDialog(hooks.owner, hooks.x, hooks.y, count, rows.items, rows.values, title);
}

std::string Number(long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld", v);
    return buf;
}

std::string FolderPart(const char* path) {
    std::string p = path;
    size_t cut = p.find_last_of("\\:/");
    return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

// Copies a text into a fixed slot, cut to fit and zero-filled after it.
void CopySlot(OptionText& slot, const char* text) {
    const char* t = text ? text : "";
    const size_t n = strnlen(t, OptionSlot - 1);
    std::memset(slot, 0, OptionSlot);
    std::memcpy(slot, t, n);
}

}  // namespace

void OptionRows::Set(int row, const char* item, const char* value) {
    if (row < 0 || row >= MaxOptionRows) return;
    CopySlot(items[row], item);
    CopySlot(values[row], value);
    if (row >= count) count = row + 1;
}

// --- Prep Pictures -------------------------------------------------------------------------------
PrepValues SavePrepValues(const Show& show) {
    return show.Options();
}

void RestorePrepValues(Show& show, const PrepValues& v) {
    show.Options() = v;
}

void FillPrepRows(const Show& show, OptionRows& rows) {
    rows = OptionRows{};
    rows.Set(0, "@CVideo Safe Color", show.VideoColors ? "1" : "");
    rows.Set(1, "@CPre-Blur", show.PreBlur != 0 ? "1" : "");
    rows.Set(2, "@SBorder Size %", Number(show.BorderSize).c_str());
    rows.Set(3, "@LBorder/Tint Color", Number(static_cast<long>(show.MatteColor)).c_str());
    rows.Set(4, "@SContrast", Number(show.ContrastBrightness & 255).c_str());
    rows.Set(5, "@SBrightness", Number((show.ContrastBrightness >> 8) & 255).c_str());
    rows.Set(6, "@RColor Mode|Normal / Border", "");
    rows.Set(7, "@RImage Tint", "");
    rows.Set(8, "@CIgnore Alpha Channel", show.IgnoreAlpha ? "1" : "");
    SetPrepBorderMode(rows, show.BorderSize >= 0);
}

void SetPrepBorderMode(OptionRows& rows, bool normalBorder) {
    std::strcpy(rows.values[6], normalBorder ? "1" : "");
    std::strcpy(rows.values[7], normalBorder ? "" : "1");
}

void StorePrepRows(const OptionRows& rows, Show& show) {
    show.VideoColors = std::strcmp(rows.values[0], "1") == 0;
    show.PreBlur = std::strcmp(rows.values[1], "1") == 0 ? 1 : 0;
    if (!rows.On(6))
        show.BorderSize = -1;
    else
        show.BorderSize = std::strchr(rows.values[2], '-') ? 0 : TextToInt(rows.values[2]);
    show.MatteColor = static_cast<uint32_t>(TextToInt(rows.values[3]));
    show.ContrastBrightness = (TextToInt(rows.values[5]) << 8) | (TextToInt(rows.values[4]) & 255);
    show.IgnoreAlpha = std::strcmp(rows.values[8], "1") == 0;
}

int PrepPicturesCommand(Show& show, const OptionHooks& hooks) {
    // Apply rounds show the treatments on the picture while the dialog is up; once it is done
    // the show goes back to what it was and the result is one edit.
    const ShowRecords before = RecordsOf(show);
    const PrepValues saved = SavePrepValues(show);
    const bool normalBorder = show.BorderSize >= 0;
    OptionRows rows;
    FillPrepRows(show, rows);
    int result = OptionCancel;
    do {
        // Each round shows the colour mode as it was before the command; other rows keep edits.
        SetPrepBorderMode(rows, normalBorder);
        Call(hooks.hideViewer);
        result = Run(hooks, rows, -9, "Prep Pictures");
        Call(hooks.showViewer);
        StorePrepRows(rows, show);
        if (result == OptionCancel) RestorePrepValues(show, saved);
        if (hooks.preparePictures) {
            hooks.preparePictures();
        } else {
            for (int i = 0; i < show.pictureCount && i < MaxPictures; ++i)
                PrepPicture(show, show.pictures[i].fileSpec, i, show.PictureStart(i));
        }
        Call(hooks.redrawStage);
    } while (result == OptionApply);
    // Preparing may have framed a lone first key anew: the whole records go into the edit.
    const ShowRecords chosen = RecordsOf(show);
    RestoreRecords(show, before);
    ApplyResult(hooks, show, [&chosen](Show& s) { RestoreRecords(s, chosen); });
    Call(hooks.redrawMain);
    GoToFrame(hooks, show, 0);
    Settings& s = Session().Store();
    s.WriteInt("VideoColors", show.VideoColors ? 1 : 0);
    s.WriteInt("PreBlur", show.PreBlur);
    s.WriteInt("MatteColor", static_cast<int32_t>(show.MatteColor));
    s.WriteInt("IgnoreAlpha", show.IgnoreAlpha ? 1 : 0);
    return result;
}

// --- Advanced Options ----------------------------------------------------------------------------
void FillAdvancedRows(const Show& show, bool dualScreen, OptionRows& rows) {
    rows = OptionRows{};
    rows.Set(0, "@CFlop Field Order", show.FieldSwap ? "1" : "");
    rows.Set(1, "@CFlop Top Field", show.FlopTopField ? "1" : "");
    rows.Set(2, "@CMulti-Proc Offset", show.MultiProcOffset ? "1" : "");
    rows.Set(3, "@CSpecial Aspect Ratio", "");
    rows.Set(4, "@FAlternative Image Folder", show.AltImageFolder.path);
    rows.Set(5, "@CShow Pic Errors", show.ShowPicError ? "1" : "");
    rows.Set(6, "@CViewer on 2nd Screen", dualScreen ? "1" : "");
}

bool StoreAdvancedRows(const OptionRows& rows, const FileSpec& startFolder, Show& show,
                       bool* dualScreen) {
    show.FieldSwap = rows.On(0);
    show.FlopTopField = rows.On(1);
    show.MultiProcOffset = rows.On(2) ? 1 : 0;
    // A folder chosen in the dialog replaces the alternative folder; when nothing was chosen the
    // full stored path stays (the row holds only its first 63 characters).
    const FileSpec& chosen = OptionFolderSpec();
    if (std::strncmp(chosen.path, startFolder.path, sizeof chosen.path) != 0) {
        std::string folder = FolderPart(chosen.path);
        std::memset(show.AltImageFolder.path, 0, sizeof show.AltImageFolder.path);
        std::strncpy(show.AltImageFolder.path, folder.c_str(), sizeof show.AltImageFolder.path - 1);
    }
    show.ShowPicError = rows.On(5);
    if (dualScreen) *dualScreen = rows.On(6);
    return rows.On(3);
}

int AdvancedOptionsCommand(Show& show, const OptionHooks& hooks) {
    bool dual = hooks.viewerDualScreen ? hooks.viewerDualScreen() : false;
    OptionRows rows;
    FillAdvancedRows(show, dual, rows);
    std::memcpy(OptionFolderSpec().path, show.AltImageFolder.path, sizeof show.AltImageFolder.path);
    const FileSpec startFolder = OptionFolderSpec();
    Call(hooks.hideViewer);
    int result = Run(hooks, rows, 7, "Advanced Options");
    if (result == OptionOk) {
        bool special = false;
        ApplyResult(hooks, show,
                    [&](Show& s) { special = StoreAdvancedRows(rows, startFolder, s, &dual); });
        Settings& s = Session().Store();
        s.WriteInt("FieldSwap", show.FieldSwap ? 1 : 0);
        s.WriteInt("FlopTopField", show.FlopTopField ? 1 : 0);
        s.WriteInt("MultiProcOffset", show.MultiProcOffset);
        s.WriteString("AltImageFolder", show.AltImageFolder.path);
        s.WriteInt("ShowPicError", show.ShowPicError ? 1 : 0);
        s.WriteInt("DualScreenViewer", dual ? 1 : 0);
        if (hooks.setViewerDualScreen) hooks.setViewerDualScreen(dual);
        if (special && hooks.mainWindow)
            PostWindowMessage(hooks.mainWindow, WM_COMMAND, CommandViewerAspect, 0);
    }
    Call(hooks.showViewer);
    Call(hooks.redrawMain);
    GoToFrame(hooks, show, 0);
    return result;
}

// --- Set Viewer Aspect ratio
// ----------------------------------------------------------------------
void FillAspectRows(const Show& show, double pictureAspect, OptionRows& rows) {
    rows = OptionRows{};
    rows.Set(0, "@RViewer Shape|Square", "");
    rows.Set(1, "@RVideo 4:3", "");
    rows.Set(2, "@RVideo 16:9", "");
    rows.Set(3, "@RImage", "");
    rows.Set(4, "@RSpecify", "");
    char text[32];
    std::snprintf(text, sizeof text, "%0.4f", static_cast<double>(show.aspect));
    rows.Set(5, "Specify aspect ratio here", text);
    int pick = 4;
    if (show.aspect == 1.0f)
        pick = 0;
    else if (show.aspect == 0.75f)
        pick = 1;
    else if (show.aspect == 0.5625f)
        pick = 2;
    else if (pictureAspect > 0 && show.aspect == static_cast<float>(pictureAspect))
        pick = 3;
    std::strcpy(rows.values[pick], "1");
}

double AspectFromRows(const OptionRows& rows, double pictureAspect) {
    if (rows.On(0)) return 1.0;
    if (rows.On(1)) return 0.75;
    if (rows.On(2)) return 0.5625;
    if (rows.On(3)) return pictureAspect;
    return std::strtod(rows.values[5], nullptr);
}

bool ApplyAspect(Show& show, double value) {
    // Zero, negative, unreadable or absurd values leave the aspect as it is.
    if (!std::isfinite(value) || value <= 0.0 || value > 100.0) return false;
    show.aspect = static_cast<float>(value);
    show.AspectMode = static_cast<int32_t>(value * 10000 + 0.5);
    // The shape is the show's own now (a host keeps handing its shape in instead).
    if (!show.hostMode) show.ownShape = true;
    Session().Store().WriteInt("AspectMode", show.AspectMode);
    return true;
}

int ViewerAspectCommand(Show& show, const OptionHooks& hooks) {
    double picture = hooks.pictureAspect ? hooks.pictureAspect() : 0.0;
    OptionRows rows;
    FillAspectRows(show, picture, rows);
    Call(hooks.hideViewer);
    int result = Run(hooks, rows, 6, "Set Viewer Aspect ratio");
    if (result != OptionCancel) {
        const double value = AspectFromRows(rows, picture);
        ApplyResult(hooks, show, [value](Show& s) { ApplyAspect(s, value); });
    }
    Call(hooks.showViewer);
    Call(hooks.refitViewer);
    Call(hooks.redrawStage);
    return result;
}

}  // namespace kv
