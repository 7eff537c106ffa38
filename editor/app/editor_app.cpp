// The editor program; see editor_app.h.
#include "editor/app/editor_app.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/picture/picture_reader.h"
#include "core/show/show.h"
#include "editor/resources/resources.h"
#include "editor/ui/main_window.h"
#include "editor/ui/recovery.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/toolkit.h"
#include "output/movie_writers.h"
#include "platform/os/public_folder.h"
#include "platform/os/stop_signals.h"
#include "platform/win/win.h"

namespace kv {

namespace {

constexpr int32_t MaxHostRate = 24000;  // 240 frames per second

// Digits after an optional sign, up to the first non-digit; `any` tells whether there were any.
int32_t ReadDecimal(const std::string& text, bool* any) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t v = 0;
    *any = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        *any = true;
        if (v < 1000000000) v = v * 10 + (text[i] - '0');
    }
    return static_cast<int32_t>(negative ? -v : v);
}

// On the signal watcher's thread: posting is the one thing the layer lets another thread do.
void PostEndRequest(int) {
    PostQuitMessage(QuitRequestedFromOutside);
}

// Loading a show renders frame 0 through the editor's views.
void RenderThroughViews(Show&, int32_t frame) {
    Session().GoToFrame(frame, true);
}

}  // namespace

EditorCommandLine ReadCommandLine(const std::vector<std::string>& args) {
    EditorCommandLine cmd;
    if (args.empty() || args[0].empty()) return cmd;
    const std::string& a = args[0];
    if (args.size() == 1 && a[0] == '?') {
        cmd.hostMode = true;
        const size_t comma = a.find(',');
        if (comma == std::string::npos) return cmd;
        bool haveRate = false, haveLength = false;
        const int32_t rate = ReadDecimal(a.substr(1, comma - 1), &haveRate);
        const int32_t length = ReadDecimal(a.substr(comma + 1), &haveLength);
        if (!haveRate || !haveLength || rate <= 0 || rate > MaxHostRate || length <= 0) return cmd;
        cmd.markerValid = true;
        cmd.frameRate = rate;
        cmd.length = length;
        return cmd;
    }
    // The shell hands a path without quotation marks; a wrapped one loses exactly those two.
    std::string path = a;
    for (size_t i = 1; i < args.size(); ++i) path += " " + args[i];
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
    cmd.showPath = path;
    return cmd;
}

int32_t FiveMinutesOfFrames(int32_t frameRate) {
    return (frameRate * 60 / 100) * 5;
}

EditorApp::EditorApp(EditorCommandLine cmd) : m_cmd(std::move(cmd)) {
    UseSession(&m_session);
    UseRecovery(&m_recovery);
}

EditorApp::~EditorApp() {
    if (m_started && !m_finished) {
        m_main.reset();
        SetParseRenderHook(nullptr);
        m_session.Detach();
    }
    m_show.reset();
    UseRecovery(nullptr);
    UseSession(nullptr);
}

bool EditorApp::Start() {
    const EditorCommandLine& cmd = m_cmd;
    m_started = true;
    // 1. The toolkit, which reads the settings file.
    StartToolkit(nullptr, AppName, IconApp);
    m_settings = &TheSettings();
    // 2. The show applies the settings (the frame rate among them).
    m_show = std::make_unique<Show>(*m_settings);
    Show& show = *m_show;
    m_session.Attach(&show, m_settings);
    SetPictureMemoryLimit(m_settings->ReadInt("PictureMemoryLimit", 0));
    // 3. Five minutes of frames.
    show.length = FiveMinutesOfFrames(show.FrameRate);
    // 4. The mode.
    if (cmd.hostMode) {
        show.hostMode = true;
        if (cmd.markerValid) {
            show.FrameRate = cmd.frameRate;
            show.length = cmd.length;
        }
    }
    SetParseRenderHook(&RenderThroughViews);
    m_recovery.Configure(show.hostMode);
    // 5. The main window with its views.
    m_main = std::make_unique<CMain>(m_session, m_recovery);
    if (!m_main->Create()) {
        m_main.reset();
        return false;
    }
    CMain* main = m_main.get();
    // The folder of the settings and the recovery copies cannot be written (a read-only
    // mount): said once, and the editor goes on.
    if (!m_recovery.CanKeepCopies()) Alert(UnwritableFolderMessage(PublicFolder()).c_str());
    // 6. The first show.
    if (show.hostMode) {
        const int32_t length = show.length;
        if (LoadExchangeFile(show, true) && cmd.markerValid) show.length = length;
    } else if (!cmd.showPath.empty()) {
        if (LoadShow(show, cmd.showPath, true)) main->SetShowTitle(cmd.showPath.c_str());
    }
    // Copies left by runs that ended with unsaved changes: those of this show (of this
    // exchange file for the host); a stand-alone start without a file offers every one.
    const std::string owner = show.hostMode          ? m_recovery.Owner()
                              : cmd.showPath.empty() ? std::string()
                                                     : StandAloneOwner(cmd.showPath);
    {
        const int32_t length = show.length;
        if (OfferLeftCopies(m_recovery, show, owner)) {
            if (show.hostMode && cmd.markerValid) show.length = length;
            main->SetShowTitle(show.showFile.Empty() ? nullptr : show.showFile.path);
        }
    }
    main->RememberShowFile();
    if (main->timeline && main->timeline->hwnd) main->timeline->SetScaleForLength(show.length);
    // Whatever was loaded is where the history starts.
    m_session.ForgetHistory();
    m_session.GoToFrame(show.currentFrame, true);
    main->UpdateEditMenu();
    main->Redraw();
    return true;
}

int EditorApp::Run(bool filter) {
    MessageRecord rec;
    while (GetMessageRecord(&rec)) {
        if (filter ? DispatchIfRegistered(rec) : (DispatchMessageRecord(rec), true)) {
            // Changes made by any window reach the recovery copy between messages.
            if (rec.message != WM_PAINT && rec.message != WM_MOUSEMOVE) m_recovery.AfterMessage();
        }
    }
    return static_cast<int>(rec.wParam);
}

void WatchForEndRequests(int graceMs) {
    os::WatchStopSignals(&PostEndRequest, graceMs);
}

void KeepShowOnLostDisplay() {
    Recovery().Rescue();
}

void EditorApp::Finish(int quitCode) {
    if (!m_started || m_finished) return;
    m_finished = true;
    Show* show = m_session.GetShow();
    // A request that came while another quit was on its way still decides: the person (or the
    // host) who sent it did not see the show applied or saved.
    const bool fromOutside = quitCode == QuitRequestedFromOutside || os::StopSignal() != 0;
    // 8. The host's edit is handed back before the window the plug-in watches goes away. The
    // file is replaced whole (temporary file and rename), so the plug-in never reads half a show.
    // Not handed back, the show keeps its unsaved changes (a failed write leaves it as it was),
    // and they stay in the recovery copy.
    if (show && show->hostMode && quitCode == 0 && !fromOutside) SaveExchangeFile(*show);
    // A show saved, applied or declined leaves no copy; any other end (the viewer closed, a save
    // dialog cancelled after Yes, a request from outside) keeps its unsaved changes for the next
    // start.
    m_recovery.Finish();
    // 9. The main window (which writes the settings), the show, the toolkit.
    m_main.reset();
    SetParseRenderHook(nullptr);
    m_session.Detach();
    m_show.reset();
    StopToolkit();
}

int RunEditorProgram(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const EditorCommandLine cmd = ReadCommandLine(args);
    // Taken before the toolkit starts, so that the window system's library leaves them to us;
    // the shutdown that follows a request is short, and a stuck one is cut off after 1.7 s.
    WatchForEndRequests(1700);
    SetDisplayLostHandler(&KeepShowOnLostDisplay);
    {
        EditorApp app(cmd);
        if (!app.Start()) {
            std::fprintf(stderr, "kinevista: the main window cannot be made\n");
            os::StopWatchingSignals();
            return 0;
        }
        app.Finish(app.Run(true));
    }
    os::StopWatchingSignals();
    return 0;
}

}  // namespace kv
