// CMain: the main window — construction, menus, the command table, both keyboard tables, the
// close sequence, the OK button and the status panel.
#include "editor/ui/main_window.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/render/render_frame.h"
#include "core/render/treatments.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "editor/resources/resources.h"
#include "editor/ui/editor_context.h"
#include "editor/ui/editor_movie_host.h"
#include "editor/ui/option_commands.h"
#include "editor/ui/painter.h"
#include "editor/ui/recovery.h"
#include "editor/ui/stage.h"
#include "editor/ui/timeline.h"
#include "editor/ui/viewer.h"
#include "output/make_movie.h"
#include "output/movie_job.h"
#include "output/movie_settings.h"
#include "platform/codecs/more_codecs.h"
#include "platform/os/shell_open.h"

namespace kv {

namespace {

constexpr const char* BaseTitle = "Fernquill Kinevista";
constexpr const char* ShowFilter = "Kinevista Files (*.kvx)|*.kvx|All Files (*.*)|*.*|";
constexpr uint32_t RecoveryTimerId = 77;
constexpr uint32_t RecoveryIntervalMs = 30000;

// The window being created: its procedure forwards here before the pointer is published.
CMain* g_window = nullptr;

int64_t MainProc(HWND h, uint32_t m, uint64_t w, int64_t l) {
    return CPWnd::Route(g_window, h, m, w, l);
}

Show& TheShow() {
    return *Editor().show;
}

bool HostMode() {
    return Editor().show && Editor().show->hostMode;
}

// Frames per second as the timeline counts them.
int32_t FramesPerSecond(int32_t frameRate) {
    const int32_t f = (frameRate + 50) / 100;
    return f < 1 ? 1 : f;
}

FileSpec InitialFolderSpec() {
    FileSpec folder;
    Settings& s = TheSettings();
    folder.SetPath(s.ReadString("InitialFolder", "").c_str());
    folder.vRefNum = static_cast<int16_t>(s.ReadInt("InitialVrefnum", 0));
    folder.parID = s.ReadInt("InitialParID", 0);
    return folder;
}

void StoreInitialFolder(const std::string& folder, const FileSpec& chosen) {
    Settings& s = TheSettings();
    s.WriteString("InitialFolder", folder.c_str());
    s.WriteInt("InitialVrefnum", chosen.vRefNum);
    s.WriteInt("InitialParID", chosen.parID);
    s.Save();
}

// The folder of a path, cut after its last "\", "/" or ":".
std::string FolderPart(const char* path) {
    std::string p = path ? path : "";
    const size_t cut = p.find_last_of("\\/:");
    return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

void ShowViewer(bool visible) {
    if (CView* v = Editor().viewer; v && v->hwnd) v->Show(visible ? 1 : 0);
}

void RedrawStage() {
    if (CStage* s = Editor().stage; s && s->hwnd) s->Redraw();
}

void Rerender() {
    GoToFrame(TheShow().currentFrame, true);
}

void AfterEdit(const EditFeedback& fb, bool beepAlways) {
    if (fb.beep || beepAlways) Beep(0);
    Rerender();
    if (CTime* t = Editor().timeline; t && t->hwnd) t->Redraw();
    if (CMain* m = Editor().main) m->UpdateEditMenu();
    Recovery().KeysEdited();
}

void Play(int32_t direction) {
    if (CView* v = Editor().viewer; v && v->hwnd) v->Play(direction);
}

OptionHooks MakeOptionHooks() {
    OptionHooks h;
    EditorContext& e = Editor();
    h.owner = e.stage && e.stage->hwnd ? e.stage->hwnd : (e.main ? e.main->hwnd : nullptr);
    h.mainWindow = e.main ? e.main->hwnd : nullptr;
    h.hideViewer = [] { ShowViewer(false); };
    h.showViewer = [] { ShowViewer(true); };
    h.refitViewer = [] {
        if (CView* v = Editor().viewer; v && v->hwnd) SendMessage(v->hwnd, WM_MOVE, 0, 0);
    };
    h.redrawStage = [] { RedrawStage(); };
    h.redrawMain = [] {
        if (CMain* m = Editor().main) m->Redraw();
    };
    h.renderCurrentFrame = [] { Rerender(); };
    h.viewerDualScreen = [] { return Editor().viewer ? Editor().viewer->dualScreen : false; };
    h.setViewerDualScreen = [](bool on) {
        if (Editor().viewer) Editor().viewer->dualScreen = on;
    };
    h.pictureAspect = [] {
        const CDIB& im = TheShow().image;
        return TheShow().pictureCount > 0 && im.Width() > 0
                   ? static_cast<double>(im.Height()) / im.Width()
                   : 0.0;
    };
    return h;
}

}  // namespace

// --- Pure pieces ---------------------------------------------------------------------------------
std::string MainTitle(const char* showPath) {
    std::string title = BaseTitle;
    if (!showPath || !*showPath) return title;
    std::string name = showPath;
    const size_t cut = name.find_last_of("\\/:");
    if (cut != std::string::npos) name = name.substr(cut + 1);
    const size_t dot = name.find('.');
    if (dot != std::string::npos) name = name.substr(0, dot);
    return title + " - " + name;
}

int MapShortcut(uint64_t code) {
    switch (code) {
        case 1:
            return 'a';
        case 3:
            return 'c';
        case 5:
            return 'e';
        case 11:
            return 'k';
        case 14:
            return 'n';
        case 15:
            return 'o';
        case 17:
            return 'q';
        case 19:
            return 's';
        case 20:
            return 't';
        case 22:
            return 'v';
        case 24:
            return 'x';
        case 25:
            return 'y';
        case 26:
            return 'z';
        case 188:
            return '>';
        case 190:
            return '<';
        case 192:
            return '~';
        default:
            return 0;
    }
}

std::string InfoLineText(const Show& show) {
    char text[400];
    std::snprintf(text, sizeof text, "%.2f fps", show.FrameRate / 100.0);
    std::string line = text;
    if (show.DraftRender) line += " / Draft Mode";
    if (show.FieldSwap) line += " / Field order swapped";
    if (show.BlurFrames != 0) line += " / Motion Blur";
    if (show.PreBlur != 0) line += " / Pre-Blur";
    const int contrast = (show.ContrastBrightness >> 8) & 255;
    const int brightness = show.ContrastBrightness & 255;
    auto outside = [](int v) { return v < 49 || v > 51; };
    if (outside(contrast) || outside(brightness)) line += " / Con";
    if (show.VideoColors) line += " / VS";
    if (show.image.BitCount() > 24) line += " / Alpha";
    const FileSpec& f = show.pictures[0].fileSpec;
    if (!f.Empty()) {
        std::string name = f.path;
        const size_t cut = name.find_last_of("\\/:");
        if (cut != std::string::npos) name = name.substr(cut + 1);
        const size_t dot = name.find('.');
        if (dot != std::string::npos) name = name.substr(0, dot);
        line += " / " + name;
    }
    return line;
}

float ZoomedInScale(float scale, bool huge) {
    if (scale < 0.1f) {
        // Back up through the small levels (any stored value between them goes to the next).
        if (!huge) return 0.1f;
        for (float level : {0.01f, 0.02f, 0.05f})
            if (scale < level) return level;
        return 0.1f;
    }
    float s = scale == 0.1f ? 0.125f : scale;
    s = 2.0f * s;
    return s > 1.0f ? 1.0f : s;
}

float ZoomedOutScale(float scale, bool huge) {
    if (huge && scale <= 0.1f) {
        for (float level : {0.05f, 0.02f, 0.01f})
            if (scale > level) return level;
        return 0.01f;
    }
    float s = scale * 0.5f;
    return s < 0.25f ? 0.1f : s;
}

int32_t ArrowTimeScale(int32_t scale, bool enlarge, int32_t frameRate) {
    const int32_t f = FramesPerSecond(frameRate);
    int32_t s = enlarge ? std::min(2 * scale, 64 * f) : std::max(scale / 2, f / 4);
    if (s > f)
        s -= s % f;
    else
        s -= s % 5;
    // Very low host rates would round the scale to nothing; the timeline divides by it.
    return s < 1 ? 1 : s;
}

float ScaleButtonAt(int x, int y, int b) {
    if (!(x < 40 && y > b - 82 && y < b - 42)) return 0;
    if (y < b - 72) return 1.0f;
    if (y > b - 72 && y < b - 62) return 0.5f;
    if (y > b - 62 && y < b - 52) return 0.25f;
    if (y > b - 52) return 0.1f;
    return 0;
}

std::string ManualPath() {
    const std::string self = GetModuleFileName();
    if (!self.empty()) {
        const std::string folder = FolderPart(self.c_str());
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

// --- Construction ------------------------------------------------------------------------------
CMain::~CMain() {
    TheSettings().Save();
    EditorContext& e = Editor();
    delete e.stage;
    e.stage = nullptr;
    delete e.timeline;
    e.timeline = nullptr;
    delete e.viewer;
    e.viewer = nullptr;
    if (hwnd) KillTimer(hwnd, RecoveryTimerId);
    DestroyWin();
    if (e.main == this) e.main = nullptr;
    if (g_window == this) g_window = nullptr;
}

bool CMain::Create() {
    EditorContext& e = Editor();
    if (!e.show) return false;
    kv::Show& show = *e.show;
    g_window = this;
    if (!CreateWin(nullptr, show.hostMode ? WinNoMinimize : WinOverlapped, &MainProc)) return false;
    MoveTo(0, 0, 640, 480, false);
    SetShowTitle(nullptr);

    // Menus, with the check marks from the settings.
    Settings& s = TheSettings();
    auto checked = [](bool on) { return on ? static_cast<uint32_t>(MenuChecked) : 0u; };
    menu.Attach(hwnd);
    menu.AddPopup("File", 0);
    menu.AddItem(CmdLoadPicture, "Load Picture/E", 0);
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdNewShow, "New Show/N", 0);
    menu.AddItem(CmdLoadShow, "Load Show/O", 0);
    menu.AddItem(CmdSaveShow, "Save Show/S", 0);
    menu.AddItem(-1, "", 0);
    if (show.hostMode) {
        menu.AddItem(CmdExit, "Apply Moves and Close/Q", 0);
        menu.AddItem(CmdQuitDiscard, "Quit - DON'T Apply changes", 0);
    } else {
        const int32_t rate = s.ReadInt("FrameRate", 2997);
        menu.AddItem(CmdMakeMovie, "Make Movie File/K", 0);
        menu.AddItem(CmdBatchRender, "Batch Render Movies", 0);
        menu.AddItem(CmdMakeStill, "Make Still Image/T", 0);
        menu.AddItem(-1, "", 0);
        menu.AddItem(CmdNtsc, "NTSC", checked(rate == 2997));
        menu.AddItem(CmdPal, "PAL", checked(rate == 2500));
        menu.AddItem(CmdFilm, "Film", checked(rate == 2397));
        menu.AddItem(-1, "", 0);
        menu.AddItem(CmdExit, "Exit/Q", 0);
    }
    menu.AddPopup("Edit", 0);
    menu.AddItem(CmdUndo, "Undo/Z", MenuGreyed);
    menu.AddItem(CmdRedo, "Redo/Y", MenuGreyed);
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdCut, "Cut/X", MenuGreyed);
    menu.AddItem(CmdCopy, "Copy/C", MenuGreyed);
    menu.AddItem(CmdPaste, "Paste/V", MenuGreyed);
    menu.AddItem(CmdDelete, "Delete", MenuGreyed);
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdDeleteAllKeys, "Delete All Keys", 0);
    menu.AddItem(CmdUniformSpeed, "Uniform Speed", 0);
    menu.AddItem(CmdPrepPicture, "Prep Picture", 0);

    const int32_t ease = s.ReadInt("EaseType", 0);
    menu.AddPopup("Options", 0);
    menu.AddItem(CmdShowCameraPath, "Show Camera Path", checked(s.ReadInt("ShowCameraPath", 0)));
    menu.AddItem(CmdAutoRescale, "Auto-Rescale Show", checked(s.ReadInt("RescaleShow", 0)));
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdEaseInOut, "Slow-in & Slow Out", checked((ease & 15) == 0));
    menu.AddItem(CmdEaseInOut + 1, "Slow-in", checked((ease & 15) == 1));
    menu.AddItem(CmdEaseInOut + 2, "Slow-out", checked((ease & 15) == 2));
    menu.AddItem(CmdEaseInOut + 3, "No Slows", checked((ease & 15) == 3));
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdNoCurves, "No Curves", checked((ease & 240) != 0));

    const int32_t aspect = s.ReadInt("AspectMode", 7500);
    menu.AddPopup("Render", 0);
    menu.AddItem(CmdAspect43, "4:3 Aspect Ratio", checked(aspect == 7500));
    menu.AddItem(CmdAspect169, "16:9 Aspect Ratio", checked(aspect == 5625));
    menu.AddItem(CmdLetterBox, "LetterBox 16:9", checked(aspect == 5626));
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdDraft, "Draft quality", checked(s.ReadInt("DraftRender", 0)));
    menu.AddItem(CmdMotionBlur, "Add Motion Blur", checked(s.ReadInt("BlurFrames", 0) != 0));
    menu.AddItem(CmdMultiProcess, "Multiple Processors", checked(s.ReadInt("MultiProcess", 0)));
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdAdvancedOptions, "Advanced Options", 0);

    menu.AddPopup("View", 0);
    menu.AddItem(CmdCentrePicture, "Center Pic on Stage", checked(s.ReadInt("CenterPic", 0)));
    menu.AddItem(CmdShowTvSafe, "Show TV Safe Area", checked(s.ReadInt("ShowTVSafe", 0)));
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdStageZoomIn, "Stage Zoom In", 0);
    menu.AddItem(CmdStageZoomOut, "Stage Zoom Out", 0);
    menu.AddItem(CmdFitPicture, "Fit Picture on Stage", 0);
    menu.AddItem(-1, "", 0);
    menu.AddItem(CmdEnlargeTimeline, "Enlarge Timeline/>", 0);
    menu.AddItem(CmdContractTimeline, "Contract Timeline/<", 0);

    menu.AddPopup("Help", 0);
    menu.AddItem(CmdContents, "Contents", 0);
    menu.AddItem(CmdAbout, "About", 0);
    DrawMenuBar(hwnd);

    okButton.Init(BmpOk, BmpOkPressed, 0, 0, 0);
    Show(2);
    e.main = this;
    SetMainWindowHandle(hwnd);

    // The three views, owned popups of this window.
    e.stage = new CStage();
    if (!e.stage->Create(hwnd)) {
        delete e.stage;
        e.stage = nullptr;
    }
    e.timeline = new CTime();
    if (!e.timeline->Create(hwnd)) {
        delete e.timeline;
        e.timeline = nullptr;
    }
    e.viewer = new CView();
    if (!e.viewer->Create(hwnd)) {
        delete e.viewer;
        e.viewer = nullptr;
    }
    SetTimer(hwnd, RecoveryTimerId, RecoveryIntervalMs);
    // The keyboard starts on the stage: its arrow and page keys move the camera, and it hands
    // every other key on to this window.
    SetFocus(e.stage && e.stage->hwnd ? e.stage->hwnd : hwnd);
    return true;
}

void CMain::SetShowTitle(const char* showPath) {
    // The plug-in recognises the editor it started by the exact bare title, so a host run keeps
    // it whatever file the show is saved to.
    SetTitle(MainTitle(HostMode() ? nullptr : showPath).c_str());
}

void CMain::WriteSetting(const char* key, int32_t value) {
    TheSettings().WriteInt(key, value);
    TheSettings().Save();
}

// --- Messages ------------------------------------------------------------------------------------
bool CMain::OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    EditorContext& e = Editor();
    switch (message) {
        case WM_MOVE:
        case WM_SIZE:
            if (e.stage && e.stage->hwnd) PostWindowMessage(e.stage->hwnd, message, wParam, lParam);
            if (e.timeline && e.timeline->hwnd)
                PostWindowMessage(e.timeline->hwnd, message, wParam, lParam);
            break;
        case WM_PAINT:
            Redraw();
            break;
        case WM_CLOSE:
            CloseSequence();
            break;
        case WM_KEYDOWN:
        case WM_CHAR:
            HandleKey(message, wParam);
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == 0) RunCommand(LOWORD(wParam));
            break;
        case WM_MOUSEWHEEL:
            // A system that sends the wheel to the window with the focus: the stage takes it
            // when the pointer (screen coordinates) is over it.
            if (e.stage && e.stage->hwnd) {
                const Rect r = e.stage->GetWindowRect();
                const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
                if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                    SendMessage(e.stage->hwnd, message, wParam, lParam);
            }
            break;
        case WM_TIMER:
            if (wParam == RecoveryTimerId) Recovery().Tick();
            break;
        case WM_MOUSEMOVE:
            SetCursorShape(1);
            break;
        case WM_LBUTTONDOWN:
            if (HostMode()) {
                Painter p(*this);
                okButton.HitTest(p, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), 1);
            }
            break;
        case WM_LBUTTONUP:
            ReleaseClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            break;
        default:
            break;
    }
    return true;
}

void CMain::ReleaseClick(int x, int y) {
    EditorContext& e = Editor();
    if (HostMode()) {
        if (e.timeline && e.timeline->hwnd) SendMessage(e.timeline->hwnd, MsgEndDrag, 0, 0);
        if (e.stage && e.stage->hwnd) SendMessage(e.stage->hwnd, MsgEndDrag, 0, 0);
        bool inside = false;
        {
            Painter p(*this);
            inside = okButton.HitTest(p, x, y, 0);
        }
        if (inside) {
            CloseSequence();
            return;
        }
    }
    const Rect c = GetClientRect();
    const int b = c.bottom, l = c.left;
    if (const float s = ScaleButtonAt(x, y, b); s > 0) {
        if (e.stage) e.stage->SetScale(s);
        TheSettings().Save();
        Redraw();
        return;
    }
    if (!HostMode() && y > b - 30 && x < l + 120) TimelineArrow(x > l + 100);
}

void CMain::TimelineArrow(bool enlarge) {
    CTime* t = Editor().timeline;
    if (!t) return;
    t->scale = ArrowTimeScale(t->scale, enlarge, TheShow().FrameRate);
    WriteSetting("TimeScale", t->scale);
    if (t->hwnd) {
        t->SetScaleForLength(TheShow().length);
        t->KeepCurrentFrameVisible();
    }
}

// --- Keyboard ------------------------------------------------------------------------------------
void CMain::HandleKey(uint32_t message, uint64_t code) {
    kv::Show& show = TheShow();
    EditorContext& e = Editor();
    const bool character = message == WM_CHAR;
    const bool keyDown = message == WM_KEYDOWN;
    if (const int mapped = MapShortcut(code)) {
        switch (mapped) {
            case 'z':
                RunCommand(CmdUndo);
                break;
            case 'y':
                RunCommand(CmdRedo);
                break;
            case 'c':
                RunCommand(CmdCopy);
                break;
            case 'x':
                RunCommand(CmdCut);
                break;
            case 'v':
                RunCommand(CmdPaste);
                break;
            case 'e':
                RunCommand(CmdLoadPicture);
                break;
            case 'n':
                RunCommand(CmdNewShow);
                break;
            case 'o':
                RunCommand(CmdLoadShow);
                break;
            case 'k':
                RunCommand(CmdMakeMovie);
                break;
            case '>':
                RunCommand(CmdEnlargeTimeline);
                break;
            case '<':
                RunCommand(CmdContractTimeline);
                break;
            case 't':
                if (character) RunCommand(CmdMakeStill);
                break;
            case 'q':
                if (character) CloseSequence();
                break;
            case 's':
                QuickSave();
                break;
            default:
                break;  // "~" (reserved 1011) and "a" do nothing
        }
        return;
    }
    switch (code) {
        case 16:
            break;  // Shift alone
        case 112:
            if (keyDown)
                RunCommand(CmdContents);
            else
                Play(1);
            break;
        case 46:
            RunCommand(CmdDelete);
            break;
        case 8:
            // Backspace comes as a key-down and then as its character; one press deletes one key.
            if (keyDown) RunCommand(CmdDelete);
            break;
        case 80:
        case 76:
        case 32:
        case 108:
            Play(1);
            break;
        case 82:
        case 74:
        case 114:
        case 106:
            Play(-1);
            break;
        case 75:
        case 107:
            Play(0);
            break;
        case 48:
            show.currentFrame = 0;
            Play(1);
            break;
        case 43:
        case 45: {
            int32_t f = show.currentFrame + (code == 43 ? 1 : -1);
            if (f < 0) f = 0;
            if (f > show.length - 1) f = show.length - 1;
            show.currentFrame = f;
            if (e.stage) e.stage->camera = CameraAtFrame(show, f, false);
            if (e.viewer && e.viewer->hwnd) e.viewer->ShowFrame(f);
            if (e.timeline && e.timeline->hwnd) e.timeline->KeepCurrentFrameVisible();
            if (e.viewer && e.viewer->hwnd) e.viewer->DrawTimecode(f);
            break;
        }
        case 36:
            GoToFrame(0, true);
            break;
        case 35:
            JumpToEnd();
            break;
        case 13:
            if (keyDown) AddKeyHere();
            break;
        case 100:
            RenderTimingTest();
            break;
        case 123:
            Alert(show.pictures[0].fileSpec.path);
            break;
        case 9:
            if (character) JumpToNextKey();
            break;
        default:
            break;
    }
}

void CMain::JumpToNextKey() {
    kv::Show& show = TheShow();
    const int first = show.PictureAt(show.currentFrame);
    for (int p = first < 0 ? 0 : first; p < show.pictureCount && p < MaxPictures; ++p) {
        const Picture& pic = show.pictures[p];
        for (int k = 0; k < pic.keyCount; ++k) {
            const int32_t at = show.PictureStart(p) + pic.keys[k].time;
            if (at > show.currentFrame) {
                GoToFrame(at, true);
                return;
            }
        }
    }
    GoToFrame(0, true);
}

void CMain::JumpToEnd() {
    kv::Show& show = TheShow();
    if (show.hostMode) {
        GoToFrame(show.length - 1, true);
        return;
    }
    const int last = show.pictureCount > 0 ? std::min(show.pictureCount, MaxPictures) - 1 : 0;
    const Picture& pic = show.pictures[last];
    const int32_t time = pic.keyCount > 0 ? pic.keys[pic.keyCount - 1].time : 0;
    GoToFrame(show.PictureStart(last) + time, true);
}

void CMain::AddKeyHere() {
    EditorContext& e = Editor();
    kv::Show& show = TheShow();
    const KeyFrame camera =
        e.stage ? e.stage->camera : CameraAtFrame(show, show.currentFrame, false);
    EditFeedback fb;
    AddKeyAtCurrentFrame(show, camera, AddKeyTolerance(), &fb);
    show.dirty = true;
    AfterEdit(fb, false);
}

long CMain::RenderTimingTest() {
    kv::Show& show = TheShow();
    Beep(0);
    CDIB image(720, 484, 32);
    const int64_t start = Counter();
    for (int32_t f = 0; f < 300; ++f) {
        RenderFrame(show, f, 0, false, 720, 484, &image, false);
    }
    const int64_t elapsed = Counter() - start;
    const long value = std::lround(static_cast<double>(elapsed) / 100000.0);
    const double ms =
        static_cast<double>(elapsed) * 1000.0 / static_cast<double>(CounterFrequency());
    std::fprintf(stderr, "Time  [ %ld ]  (300 frames of 720 x 484 in %.1f ms, %.1f frames/s)\n",
                 value, ms, ms > 0 ? 300000.0 / ms : 0.0);
    Alert("Time", static_cast<int32_t>(value));
    return value;
}

// --- Edit menu
// -------------------------------------------------------------------------------------
void CMain::UpdateEditMenu() {
    const kv::Show& show = TheShow();
    auto grey = [&](int id, bool enabled) {
        menu.SetItemState(id, enabled ? 0u : static_cast<uint32_t>(MenuGreyed));
    };
    grey(CmdDelete, show.selectedKey > 0);
    grey(CmdCut, show.selectedKey > 0);
    grey(CmdCopy, show.selectedKey != -1);
    grey(CmdPaste, show.clipboard.time != -9999);
    grey(CmdUndo, show.undoCount > 0);
    grey(CmdRedo, show.redoCount > 0);
}

// --- Close, save and questions ----------------------------------------------------------------
void CMain::CloseSequence() {
    kv::Show& show = TheShow();
    if (show.dirty && !show.hostMode &&
        AskYesNo("Do you want to save this show?", "Exit Application"))
        SaveShowCommand();
    PostQuitMessage(0);
}

bool CMain::SaveShowCommand() {
    kv::Show& show = TheShow();
    FileSpec io = show.showFile;
    const FileSpec folder = InitialFolderSpec();
    ShowViewer(false);
    const bool chosen = ChooseFileToSave(hwnd, &io, ShowFilter, ".kvx", &folder);
    ShowViewer(true);
    if (!chosen) return false;
    const std::string path = io.path;
    bool written = false;
    // A host run hands the show back in a smaller buffer: a show that does not fit is refused.
    if (!show.hostMode || Serialise(show, nullptr) <= ExchangeBufferBytes)
        written = SaveShow(show, path);
    show.showFile.SetPath(path.c_str());
    if (written) {
        Recovery().Remove();
    } else {
        // Nothing reached the disk: the show keeps its changes and the user hears of it.
        show.dirty = true;
        Alert("The show could not be saved to this file.");
    }
    SetShowTitle(path.c_str());
    StoreInitialFolder(FolderPart(path.c_str()), io);
    return written;
}

void CMain::QuickSave() {
    kv::Show& show = TheShow();
    if (show.showFile.Empty()) {
        SaveShowCommand();
        return;
    }
    const int32_t frame = show.currentFrame;
    show.currentFrame = 0;
    const bool written = SaveShow(show, show.showFile.path);
    show.currentFrame = frame;
    if (written) {
        Recovery().Remove();
    } else {
        show.dirty = true;
        Alert("The show could not be saved to this file.");
    }
}

bool CMain::AskToSaveFirst() {
    kv::Show& show = TheShow();
    if (!show.dirty) return true;
    const int32_t a = AskYesNoCancel("Do you want to save current show?", "New Show");
    if (a < 0) return false;
    if (a > 0) SaveShowCommand();
    return true;
}

void CMain::NewShow() {
    kv::Show& show = TheShow();
    if (show.dirty) {
        if (show.hostMode) {
            if (!AskYesNo("Are you sure?", "New Show")) return;
        } else if (!AskToSaveFirst()) {
            return;
        }
    }
    SetShowTitle(nullptr);
    show.Reset();
    Recovery().Remove();
    GoToFrame(0, true);
    if (CTime* t = Editor().timeline; t && t->hwnd) t->Redraw();
    UpdateEditMenu();
}

void CMain::LoadShowCommand() {
    kv::Show& show = TheShow();
    if (!AskToSaveFirst()) return;
    FileSpec chosen;
    const FileSpec folder = InitialFolderSpec();
    ShowViewer(false);
    if (ChooseFileToOpen(hwnd, &chosen, ShowFilter, ".kvx", &folder, false)) {
        if (LoadShow(show, chosen.path, true)) {
            SetShowTitle(chosen.path);
            Recovery().Remove();
            if (CStage* st = Editor().stage) st->FitPicture(false);
        }
        StoreInitialFolder(chosen.path, chosen);
        GoToFrame(show.currentFrame, true);
        if (CTime* t = Editor().timeline; t && t->hwnd) t->SetScaleForLength(show.length);
        UpdateEditMenu();
    }
    Redraw();
    ShowViewer(true);
}

void CMain::LoadPicture() {
    kv::Show& show = TheShow();
    std::string filter = "All Graphics Files|*.bmp;*.tga;*.tif;*.psd";
    if (show.GdiplusHasJpegDecoder) filter += ";*.jpg;*.png";
    if (MoreCodecsPresent()) filter += ";*.tiff;*.heic;*.heif;*.avif;*.webp";
    filter += "|BMP Files (*.bmp)|*.bmp|Targa Files (*.tga)|*.tga|TIFF Files (*.tif)|*.tif";
    if (MoreCodecsPresent()) filter += ";*.tiff";
    filter += "|Photoshop Files (*.psd)|*.psd";
    if (show.GdiplusHasJpegDecoder) filter += "|Jpeg Files (*.jpg)|*.jpg|PNG Files (*.png)|*.png";
    if (MoreCodecsPresent())
        filter +=
            "|HEIF Files (*.heic;*.heif;*.avif)|*.heic;*.heif;*.avif|WebP Files (*.webp)|*.webp";
    filter += "|All Files (*.*)|*.*|";
    const FileSpec folder = InitialFolderSpec();
    FileSpec chosen;
    ShowViewer(false);
    if (ChooseFileToOpen(hwnd, &chosen, filter.c_str(), ".bmp", &folder, false)) {
        const int32_t oldWidth = show.image.Width(), oldHeight = show.image.Height();
        PrepPicture(show, chosen, 0, 0);
        StoreInitialFolder(FolderPart(chosen.path), chosen);
        const int32_t newWidth = show.image.Width(), newHeight = show.image.Height();
        if (MatchMovesOffered(show.pictures[0].keyCount, oldWidth, oldHeight, newWidth,
                              newHeight) &&
            AskYesNo("Match moves to new Picture size?", "Match Moves"))
            MatchMoves(show, 0, oldWidth, oldHeight, newWidth, newHeight);
        show.dirty = true;
        Recovery().KeysEdited();
        if (CStage* st = Editor().stage) st->FitPicture(false);
    }
    Redraw();
    ShowViewer(true);
    GoToFrame(0, true);
    if (CTime* t = Editor().timeline; t && t->hwnd) t->Redraw();
}

void CMain::SetFrameRate(int id) {
    kv::Show& show = TheShow();
    const int32_t rate = id == CmdNtsc ? 2997 : id == CmdPal ? 2500 : 2397;
    show.FrameRate = rate;
    menu.SetItemChecked(CmdNtsc, id == CmdNtsc);
    menu.SetItemChecked(CmdPal, id == CmdPal);
    menu.SetItemChecked(CmdFilm, id == CmdFilm);
    WriteSetting("FrameRate", rate);
    Redraw();
}

void CMain::SetAspect(int id) {
    kv::Show& show = TheShow();
    show.aspect = id == CmdAspect43 ? 0.75f : 0.5625f;
    show.AspectMode = id == CmdAspect43 ? 7500 : id == CmdAspect169 ? 5625 : 5626;
    menu.SetItemChecked(CmdAspect43, id == CmdAspect43);
    menu.SetItemChecked(CmdAspect169, id == CmdAspect169);
    menu.SetItemChecked(CmdLetterBox, id == CmdLetterBox);
    WriteSetting("AspectMode", show.AspectMode);
    if (CView* v = Editor().viewer; v && v->hwnd) SendMessage(v->hwnd, WM_MOVE, 0, 0);
    RedrawStage();
}

void CMain::OpenManual() {
    const std::string manual = ManualPath();
    // The shell's open verb on Windows, the desktop's opener on Linux (which needs a display).
    // A headless run has no desktop unless a stand-in for it is set.
    const bool desktop = ShellOpenHook() || std::strcmp(BackendName(), "headless") != 0;
    if (!manual.empty() && desktop && ShellOpen(manual)) return;
    const std::string text =
        manual.empty() ? std::string("The user manual is not installed with this program.")
                       : "The user manual is at " + manual;
    Alert(text.c_str());
}

// --- Commands ------------------------------------------------------------------------------------
void CMain::RunCommand(int id) {
    EditorContext& e = Editor();
    kv::Show& show = TheShow();
    (void)show.PictureAt(show.currentFrame);
    Settings& s = TheSettings();
    switch (id) {
        case CmdLoadPicture:
            LoadPicture();
            break;
        case CmdNewShow:
            NewShow();
            break;
        case CmdLoadShow:
            LoadShowCommand();
            break;
        case CmdSaveShow:
            SaveShowCommand();
            break;
        case CmdMakeMovie:
        case CmdBatchRender: {
            if (show.hostMode) break;
            // A batch loads each show it renders: the show being edited is offered for saving
            // first rather than replaced unsaved.
            if (id == CmdBatchRender && !AskToSaveFirst()) break;
            EditorMovieHost host;
            busy = true;
            MovieSettings kept = MovieSettingsFrom(TheSettings());
            MakeMovie(show, host, id == CmdBatchRender, kept);
            StoreMovieSettings(kept, TheSettings());
            busy = false;
            if (id == CmdBatchRender)
                SetShowTitle(show.showFile.Empty() ? nullptr : show.showFile.path);
            Redraw();
            Rerender();
            break;
        }
        case CmdMakeStill: {
            if (show.hostMode) break;
            EditorMovieHost host;
            busy = true;
            MakeStill(show, host, MovieSettingsFrom(TheSettings()));
            busy = false;
            Rerender();
            break;
        }
        case CmdNtsc:
        case CmdPal:
        case CmdFilm:
            if (!show.hostMode) SetFrameRate(id);
            break;
        case CmdExit:
            CloseSequence();
            break;
        case CmdQuitDiscard:
            if (show.hostMode) PostQuitMessage(1);
            break;
        case CmdCopy:
            if (show.selectedKey != -1) CopyKey(show);
            UpdateEditMenu();
            break;
        case CmdCut:
        case CmdDelete:
            if (show.selectedKey > 0) {
                EditFeedback fb;
                if (id == CmdCut)
                    CutKey(show, &fb);
                else
                    DeleteSelectedKey(show, &fb);
                AfterEdit(fb, true);
            }
            break;
        case CmdPaste: {
            EditFeedback fb;
            const KeyFrame camera = e.stage ? e.stage->camera : KeyFrame{};
            PasteKey(show, camera, AddKeyTolerance(), &fb);
            AfterEdit(fb, false);
            break;
        }
        case CmdUndo:
        case CmdRedo: {
            const bool changed = id == CmdUndo ? Undo(show) : Redo(show);
            if (changed) show.dirty = true;
            AfterEdit(EditFeedback{}, false);
            break;
        }
        case CmdDeleteAllKeys:
            if (AskYesNo("Are you sure?", "Delete All Keys")) {
                DeleteAllKeys(show);
                show.dirty = true;
                Recovery().KeysEdited();
            }
            AfterEdit(EditFeedback{}, false);
            break;
        case CmdUniformSpeed:
            if (AskYesNo("Space keys at a uniform speed?", "Uniform Speed")) {
                const int p = show.PictureAt(show.currentFrame);
                if (UniformSpeed(show, p < 0 ? 0 : p)) show.dirty = true;
            }
            show.currentFrame = 0;
            AfterEdit(EditFeedback{}, false);
            break;
        case CmdDeletePicture:
            if (AskYesNo("Are you sure?", "Delete Picture")) {
                show.DeletePicture(
                    show.PictureAt(show.currentFrame) < 0 ? 0 : show.PictureAt(show.currentFrame));
                show.dirty = true;
            }
            AfterEdit(EditFeedback{}, false);
            break;
        case CmdPrepPicture:
            PrepPicturesCommand(show, MakeOptionHooks());
            break;
        case CmdAdvancedOptions:
            AdvancedOptionsCommand(show, MakeOptionHooks());
            break;
        case CmdViewerAspect:
            ViewerAspectCommand(show, MakeOptionHooks());
            break;
        case CmdShowCameraPath:
            if (e.stage) {
                e.stage->ToggleCameraPath();
                menu.SetItemChecked(id, e.stage->showCameraPath);
                s.Save();
            }
            break;
        case CmdAutoRescale:
            show.RescaleShow = !show.RescaleShow;
            menu.SetItemChecked(id, show.RescaleShow);
            WriteSetting("RescaleShow", show.RescaleShow ? 1 : 0);
            break;
        case CmdEaseInOut:
        case CmdEaseInOut + 1:
        case CmdEaseInOut + 2:
        case CmdEaseInOut + 3:
            show.EaseType = (show.EaseType & 16) | (id - CmdEaseInOut);
            show.ClearEaseCodes();
            for (int m = 0; m < 4; ++m)
                menu.SetItemChecked(CmdEaseInOut + m, (show.EaseType & 15) == m);
            WriteSetting("EaseType", show.EaseType);
            show.dirty = true;
            break;
        case CmdNoCurves:
            show.EaseType ^= 16;
            menu.SetItemChecked(id, (show.EaseType & 16) != 0);
            show.ClearEaseCodes();
            WriteSetting("EaseType", show.EaseType);
            RedrawStage();
            show.dirty = true;
            break;
        case CmdAspect43:
        case CmdAspect169:
        case CmdLetterBox:
            SetAspect(id);
            break;
        case CmdDraft:
            show.DraftRender = !show.DraftRender;
            menu.SetItemChecked(id, show.DraftRender);
            WriteSetting("DraftRender", show.DraftRender ? 1 : 0);
            Redraw();
            break;
        case CmdMotionBlur:
            show.BlurFrames = show.BlurFrames == 0 ? 1 : 0;
            menu.SetItemChecked(id, show.BlurFrames != 0);
            WriteSetting("BlurFrames", show.BlurFrames);
            Redraw();
            break;
        case CmdMultiProcess:
            show.MultiProcess = !show.MultiProcess;
            menu.SetItemChecked(id, show.MultiProcess);
            WriteSetting("MultiProcess", show.MultiProcess ? 1 : 0);
            break;
        case CmdCentrePicture:
            if (e.stage) {
                e.stage->ToggleCentrePicture();
                menu.SetItemChecked(id, e.stage->centrePicture);
                s.Save();
            }
            break;
        case CmdShowTvSafe:
            if (e.viewer) {
                e.viewer->ToggleSafeArea();
                menu.SetItemChecked(id, e.viewer->safeArea);
                s.Save();
            }
            break;
        case CmdStageZoomIn:
        case CmdStageZoomOut:
            if (e.stage) {
                const bool huge = e.stage->HugePicture();
                const float scale = id == CmdStageZoomIn ? ZoomedInScale(e.stage->scale, huge)
                                                         : ZoomedOutScale(e.stage->scale, huge);
                e.stage->SetScale(scale);
                s.Save();
                Redraw();
            }
            break;
        case CmdFitPicture:
            if (e.stage) {
                e.stage->FitPicture(true);
                s.Save();
                Redraw();
            }
            break;
        case CmdEnlargeTimeline:
        case CmdContractTimeline:
            if (CTime* t = e.timeline) {
                if (id == CmdEnlargeTimeline)
                    t->Enlarge();
                else
                    t->Contract();
            }
            break;
        case CmdContents:
            OpenManual();
            break;
        case CmdAbout:
            Alert(" Kinevista  6.0\nCamera moves on still pictures.");
            break;
        default:
            break;
    }
}

// --- Drawing ------------------------------------------------------------------------------------
void CMain::Redraw() {
    if (!hwnd) return;
    {
        Painter p(*this);
        if (!p) return;
        const Rect c = GetClientRect();
        for (int y = c.top; y < c.bottom; y += 128)
            for (int x = c.left; x < c.right; x += 128) p.BlitResourceBitmap(x, y, BmpPanelTile);
    }
    const CStage* stage = Editor().stage;
    const KeyFrame camera =
        stage ? stage->camera : CameraAtFrame(TheShow(), TheShow().currentFrame, false);
    DrawStatusPanel(camera);
}

void CMain::DrawStatusPanel(const KeyFrame& camera) {
    if (!hwnd || !Editor().show) return;
    kv::Show& show = TheShow();
    Painter p(*this);
    if (!p) return;
    const Rect c = GetClientRect();
    const int l = c.left, b = c.bottom;
    // The info line is written on the window's tiled background with a transparent font: put
    // the tiles back under it first, or a panel drawn again during a drag writes over itself.
    {
        Painter::Saved saved(p);
        const Rect band{c.left, b - 14, c.right, b};
        p.ClipTo(band);
        const int top = c.top + (band.top - c.top) / 128 * 128;
        for (int y = top; y < band.bottom; y += 128)
            for (int x = c.left; x < c.right; x += 128) p.BlitResourceBitmap(x, y, BmpPanelTile);
    }
    p.BlitResourceBitmap(l, b - 128, BmpPanelTile);
    p.UseFont(Fonts().f10, -1, 1);
    const float scale = Editor().stage ? Editor().stage->scale : 0.5f;
    const float scales[4] = {1.0f, 0.5f, 0.25f, 0.1f};
    const char* labels[4] = {"100%", "50%", "25%", "10%"};
    for (int i = 0; i < 4; ++i) {
        const Rect mark{l + 10, b - 82 + 10 * i, l + 19, b - 73 + 10 * i};
        p.DrawRadioMark(RGB(0, 0, 0), mark, scale == scales[i]);
        p.DrawString(RGB(0, 0, 0), labels[i], mark.left + 13, mark.top - 1);
    }
    char text[128];
    std::snprintf(text, sizeof text, "Pos   %d,%d", static_cast<int>(camera.x),
                  static_cast<int>(camera.y));
    p.DrawString(RGB(0, 0, 0), text, l + 10, b - 39);
    std::snprintf(text, sizeof text, "Wid  %d", static_cast<int>(camera.width));
    p.DrawString(RGB(0, 0, 0), text, l + 10, b - 29);
    std::snprintf(text, sizeof text, "Rot   %d,%d,%d", static_cast<int>(camera.rotation),
                  static_cast<int>(camera.tiltA), static_cast<int>(camera.tiltB));
    p.DrawString(RGB(0, 0, 0), text, l + 10, b - 19);
    if (show.hostMode) okButton.Place(p, Rect{l + 57, b - 70, l + 75, b - 52});
    p.DrawString(RGB(0, 0, 0), InfoLineText(show).c_str(), (c.right - c.left) / 2, b - 13, 6);
    if (!show.hostMode) {
        const COLORREF grey = RGB(128, 128, 128), white = RGB(255, 255, 255);
        p.FillTriangle(grey, l + 108, b - 20, 5, 90);
        p.DrawLine(white, l + 104, b - 20, l + 108, b - 20, 2);
        p.DrawLine(white, l + 106, b - 22, l + 106, b - 18, 2);
        p.FillTriangle(grey, l + 94, b - 20, 5, 270);
        p.DrawLine(white, l + 93, b - 20, l + 97, b - 20, 2);
    }
    p.UseFont(nullptr);
}

}  // namespace kv
