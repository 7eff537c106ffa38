// The Options, Render, View and Help menus' commands: the default ease and curves, the aspect,
// draft, motion blur and processors, the option dialogs, the stage and timeline zoom, the safe
// area, the manual and About. Every setting a command changes is written at once.
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/base/settings.h"
#include "core/picture/alert.h"
#include "core/show/show.h"
#include "editor/ui/commands.h"
#include "editor/ui/main_window.h"
#include "editor/ui/option_commands.h"
#include "editor/ui/session/edit_session.h"
#include "platform/os/shell_open.h"

namespace kv {

// --- Options -------------------------------------------------------------------------------------
void RunCameraPath(CMain& m, int) {
    if (!m.stage) return;
    m.stage->ToggleCameraPath();
    m.session.Store().Save();
}

void RunAutoRescale(CMain& m, int) {
    m.session.Edit([](kv::Show& show) { show.RescaleShow = !show.RescaleShow; });
    m.WriteSetting("RescaleShow", m.session.TheShow().RescaleShow ? 1 : 0);
}

void RunDefaultEase(CMain& m, int id) {
    m.session.Edit([id](kv::Show& show) {
        show.EaseType = (show.EaseType & 16) | (id - CmdEaseInOut);
        show.ClearEaseCodes();
    });
    m.WriteSetting("EaseType", m.session.TheShow().EaseType);
    m.session.Notify(ChangedKeys);
}

void RunNoCurves(CMain& m, int) {
    m.session.Edit([](kv::Show& show) {
        show.EaseType ^= 16;
        show.ClearEaseCodes();
    });
    m.WriteSetting("EaseType", m.session.TheShow().EaseType);
    m.session.RepaintAll();
}

// --- Render --------------------------------------------------------------------------------------
void RunAspect(CMain& m, int id) {
    m.SetAspect(id);
}

void RunDraft(CMain& m, int) {
    m.session.Edit([](kv::Show& show) { show.DraftRender = !show.DraftRender; });
    m.WriteSetting("DraftRender", m.session.TheShow().DraftRender ? 1 : 0);
    m.Redraw();
}

void RunMotionBlur(CMain& m, int) {
    m.session.Edit([](kv::Show& show) { show.BlurFrames = show.BlurFrames == 0 ? 1 : 0; });
    m.WriteSetting("BlurFrames", m.session.TheShow().BlurFrames);
    m.Redraw();
}

void RunMultiProcess(CMain& m, int) {
    m.session.Edit([](kv::Show& show) { show.MultiProcess = !show.MultiProcess; });
    m.WriteSetting("MultiProcess", m.session.TheShow().MultiProcess ? 1 : 0);
}

void RunAdvancedOptions(CMain& m, int) {
    AdvancedOptionsCommand(m.session.TheShow(), m.OptionDialogHooks());
    m.session.Notify(ChangedSettings);
}

void RunViewerAspect(CMain& m, int) {
    ViewerAspectCommand(m.session.TheShow(), m.OptionDialogHooks());
    m.session.Notify(ChangedSettings);
}

namespace {

// The AspectMode of an aspect command.
int32_t AspectModeOf(int id) {
    switch (id) {
        case CmdAspect43:
            return 7500;
        case CmdAspect169:
            return 5625;
        case CmdAspectVertical:
            return 17775;
        case CmdAspectSquare:
            return 10000;
        case CmdAspectPortrait:
            return 12500;
        default:
            return 5626;
    }
}

}  // namespace

void CMain::SetAspect(int id) {
    // One undoable edit; outside host mode the shape becomes the show's own, kept in its file.
    session.Edit([id](kv::Show& show) {
        const int32_t mode = AspectModeOf(id);
        show.AspectMode = mode;
        show.aspect = mode == 5626 ? 0.5625f : kv::AspectOf(mode);
        if (!show.hostMode) show.ownShape = true;
    });
    WriteSetting("AspectMode", session.TheShow().AspectMode);
    RefitViewer();
    session.RepaintAll();
}

// --- View ----------------------------------------------------------------------------------------
void RunCentrePicture(CMain& m, int) {
    if (!m.stage) return;
    m.stage->ToggleCentrePicture();
    m.session.Store().Save();
}

void RunTvSafe(CMain& m, int) {
    if (!m.viewer) return;
    m.viewer->ToggleSafeArea();
    m.session.Store().Save();
}

void RunStageZoom(CMain& m, int id) {
    if (!m.stage) return;
    const bool huge = m.stage->HugePicture();
    const float scale = id == CmdStageZoomIn ? ZoomedInScale(m.stage->scale, huge)
                                             : ZoomedOutScale(m.stage->scale, huge);
    m.stage->SetScale(scale);
    m.session.Store().Save();
    m.Redraw();
}

void RunFitPicture(CMain& m, int) {
    if (!m.stage) return;
    m.stage->FitPicture(true);
    m.session.Store().Save();
    m.Redraw();
}

void RunTimelineZoom(CMain& m, int id) {
    if (!m.timeline) return;
    if (id == CmdEnlargeTimeline)
        m.timeline->Enlarge();
    else
        m.timeline->Contract();
}

void CMain::TimelineArrow(bool enlarge) {
    if (!timeline) return;
    timeline->scale = ArrowTimeScale(timeline->scale, enlarge, session.TheShow().FrameRate);
    WriteSetting("TimeScale", timeline->scale);
    if (timeline->hwnd) {
        timeline->SetScaleForLength(session.TheShow().length);
        timeline->KeepCurrentFrameVisible();
    }
}

// --- Help ----------------------------------------------------------------------------------------
std::string ManualPath() {
    const std::string self = GetModuleFileName();
    if (!self.empty()) {
        std::string folder = self;
        const size_t cut = folder.find_last_of("\\/:");
        folder = cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
        for (const char* rel : {"../manual/index.html", "../share/kinevista/manual/index.html"}) {
            const std::string p = folder + rel;
            if (::access(p.c_str(), R_OK) == 0) return p;
        }
    }
#ifdef KV_MANUAL_SOURCE
    if (::access(KV_MANUAL_SOURCE, R_OK) == 0) return KV_MANUAL_SOURCE;
#endif
    return "";
}

std::string ManualMessage(const std::string& manual) {
    if (manual.empty()) return "The user manual is not installed with this program.";
#ifdef _WIN32
    const std::string command = "start \"\" \"" + manual + "\"";
#else
    // Quoted for a shell: a quote inside the path closes, escapes and reopens the quotes.
    std::string quoted = "'";
    for (char c : manual) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    const std::string command =
        "xdg-open " +
        (manual.find_first_of(" '\"\\$`&;|<>()*?[]#~") == std::string::npos ? manual : quoted);
#endif
    return "The user manual is at\n" + manual +
           "\n\nOpen it in a web browser, or with the command\n" + command;
}

void CMain::OpenManual() {
    const std::string manual = ManualPath();
    // The shell's open verb on Windows, the desktop's opener on Linux (which needs a display).
    // A headless run has no desktop unless a stand-in for it is set.
    const bool desktop = ShellOpenHook() || std::strcmp(BackendName(), "headless") != 0;
    if (!manual.empty() && desktop && ShellOpen(manual)) return;
    Alert(ManualMessage(manual).c_str());
}

void RunContents(CMain& m, int) {
    m.OpenManual();
}

void RunAbout(CMain&, int) {
    Alert(" Kinevista  6.0\nCamera moves on still pictures.");
}

}  // namespace kv
