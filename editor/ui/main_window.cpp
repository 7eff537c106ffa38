// CMain: the main window — construction with the menus of the command table, the messages, the
// OK button and the status panel's clicks, the Edit-menu greying, the command dispatch and the
// window's part in the editing session. The commands are in commands_*.cpp, the keyboard in
// main_keyboard.cpp and the status panel's drawing in status_panel.cpp.
#include "editor/ui/main_window.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/base/settings.h"
#include "core/picture/alert.h"
#include "core/show/show.h"
#include "editor/resources/resources.h"
#include "editor/ui/option_commands.h"
#include "editor/ui/recovery.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/painter.h"

namespace kv {

namespace {

constexpr const char* BaseTitle = "Fernquill Kinevista";
constexpr uint32_t RecoveryTimerId = 77;
constexpr uint32_t RecoveryIntervalMs = 30000;

bool HostMode(const EditSession& session) {
    return session.HasShow() && session.TheShow().hostMode;
}

// Frames per second as the timeline counts them.
int32_t FramesPerSecond(int32_t frameRate) {
    const int32_t f = (frameRate + 50) / 100;
    return f < 1 ? 1 : f;
}

}  // namespace

CMain* MainWindow() {
    // The window the toolkit knows as the main one, through the object its window holds.
    const HWND h = MainWindowHandle();
    auto* main = dynamic_cast<CMain*>(static_cast<CPWnd*>(GetWindowUserData(h)));
    return main && main->hwnd == h ? main : nullptr;
}

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

// --- Construction ------------------------------------------------------------------------------
CMain::~CMain() {
    session.Store().Save();
    session.Unsubscribe(listener);
    session.commandKeys = nullptr;
    stage.reset();
    timeline.reset();
    viewer.reset();
    if (hwnd) KillTimer(hwnd, RecoveryTimerId);
    DestroyWin();
}

bool CMain::Create() {
    if (!session.HasShow()) return false;
    kv::Show& show = session.TheShow();
    if (!CreateWin(nullptr, show.hostMode ? WinNoMinimize : WinOverlapped, &CPWnd::ObjectProc))
        return false;
    MoveTo(0, 0, 640, 480, false);
    SetShowTitle(nullptr);

    // The menus, item for item from the command table, with their states for the session.
    ForgetAspectMarks(session);
    menu.Attach(hwnd);
    std::string popup;
    for (const MenuLine& line : MenuLines(show.hostMode, session)) {
        if (line.popup != popup) {
            popup = line.popup;
            menu.AddPopup(popup.c_str(), 0);
        }
        const uint32_t flags = (line.checked ? static_cast<uint32_t>(MenuChecked) : 0u) |
                               (line.greyed ? static_cast<uint32_t>(MenuGreyed) : 0u);
        menu.AddItem(line.id, line.text.c_str(), flags);
        if (line.id != MenuSeparator) menuStates[line.id] = flags;
    }
    DrawMenuBar(hwnd);

    okButton.Init(BmpOk, BmpOkPressed, 0, 0, 0);
    Show(2);
    SetMainWindowHandle(hwnd);
    listener = session.Subscribe(
        [this](uint32_t changes, const void* origin) { SessionChanged(changes, origin); });
    session.commandKeys = [this](uint32_t message, uint64_t wParam, int64_t lParam) {
        OnMessage(message, wParam, lParam);
    };

    // The three views, owned popups of this window.
    stage = std::make_unique<CStage>(session);
    if (!stage->Create(hwnd)) stage.reset();
    timeline = std::make_unique<CTime>(session);
    if (!timeline->Create(hwnd)) timeline.reset();
    viewer = std::make_unique<CView>(session);
    if (!viewer->Create(hwnd)) viewer.reset();
    SetTimer(hwnd, RecoveryTimerId, RecoveryIntervalMs);
    // The keyboard starts on the stage: its arrow and page keys move the camera, and it hands
    // every other key on to this window.
    SetFocus(stage && stage->hwnd ? stage->hwnd : hwnd);
    return true;
}

void CMain::SetShowTitle(const char* showPath) {
    // The plug-in recognises the editor it started by the exact bare title, so a host run keeps
    // it whatever file the show is saved to.
    SetTitle(MainTitle(HostMode(session) ? nullptr : showPath).c_str());
    SetDialogShowFolder(showPath);
}

void CMain::WriteSetting(const char* key, int32_t value) {
    Settings& s = session.Store();
    s.WriteInt(key, value);
    s.Save();
}

void CMain::SessionChanged(uint32_t changes, const void* origin) {
    if (origin == this || !hwnd) return;
    if (changes & ChangedCamera) DrawStatusPanel(session.camera);
    if (changes & (ChangedKeys | ChangedEditState)) UpdateEditMenu();
    if (changes & ChangedSettings) Redraw();
}

// --- Messages ------------------------------------------------------------------------------------
bool CMain::OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    switch (message) {
        case WM_MOVE:
        case WM_SIZE:
            if (stage && stage->hwnd) PostWindowMessage(stage->hwnd, message, wParam, lParam);
            if (timeline && timeline->hwnd)
                PostWindowMessage(timeline->hwnd, message, wParam, lParam);
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
            if (stage && stage->hwnd) {
                const Rect r = stage->GetWindowRect();
                const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
                if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                    SendMessage(stage->hwnd, message, wParam, lParam);
            }
            break;
        case WM_TIMER:
            if (wParam == RecoveryTimerId) recovery.Tick();
            break;
        case WM_MOUSEMOVE:
            SetCursorShape(1);
            break;
        case WM_LBUTTONDOWN:
            if (HostMode(session)) {
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
    if (HostMode(session)) {
        session.Notify(EndDrags, this);
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
        if (stage) stage->SetScale(s);
        session.Store().Save();
        Redraw();
        return;
    }
    if (!HostMode(session) && y > b - 30 && x < l + 120) TimelineArrow(x > l + 100);
}

// --- Commands ------------------------------------------------------------------------------------
void CMain::UpdateEditMenu() {
    if (!session.HasShow()) return;
    // The timeline asks for this on every paint (playback included): only items whose state
    // changed are touched.
    for (const MenuLine& line : MenuLines(HostMode(session), session)) {
        if (line.id == MenuSeparator) continue;
        const uint32_t state = (line.checked ? static_cast<uint32_t>(MenuChecked) : 0u) |
                               (line.greyed ? static_cast<uint32_t>(MenuGreyed) : 0u);
        auto known = menuStates.find(line.id);
        if (known != menuStates.end() && known->second == state) continue;
        menu.SetItemState(line.id, state);
        menuStates[line.id] = state;
    }
}

void CMain::RunCommand(int id) {
    if (!session.HasShow()) return;
    const CommandRow* row = FindCommand(id, HostMode(session));
    if (!row || !row->run) return;
    row->run(*this, id);
    // Check marks and greying follow whatever the command changed.
    UpdateEditMenu();
}

void CMain::AfterEdit(bool beep) {
    if (beep) Beep(0);
    session.GoToFrame(session.Frame(), true);
    session.Notify(ChangedKeys | ChangedEditState);
    recovery.KeysEdited();
}

void CMain::RefitViewer() {
    if (viewer) viewer->FitToAspect();
}

void CMain::ShowViewer(bool visible) {
    if (viewer && viewer->hwnd) viewer->Show(visible ? 1 : 0);
}

OptionHooks CMain::OptionDialogHooks() {
    OptionHooks h;
    h.owner = stage && stage->hwnd ? stage->hwnd : hwnd;
    h.mainWindow = hwnd;
    h.run = dialogRunner;
    h.hideViewer = [this] { ShowViewer(false); };
    h.showViewer = [this] { ShowViewer(true); };
    h.refitViewer = [this] { RefitViewer(); };
    h.redrawStage = [this] { session.RepaintAll(); };
    h.redrawMain = [this] { Redraw(); };
    h.goToFrame = [this](int32_t frame) { session.GoToFrame(frame, true); };
    h.edit = [this](const std::function<void(kv::Show&)>& change) { session.Edit(change); };
    h.viewerDualScreen = [this] { return viewer ? viewer->dualScreen : false; };
    h.setViewerDualScreen = [this](bool on) {
        if (viewer) viewer->dualScreen = on;
    };
    h.pictureAspect = [this] {
        const kv::Show& show = session.TheShow();
        const CDIB& im = show.image;
        return show.pictureCount > 0 && im.Width() > 0
                   ? static_cast<double>(im.Height()) / im.Width()
                   : 0.0;
    };
    return h;
}

}  // namespace kv
