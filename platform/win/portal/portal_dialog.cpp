// While the desktop's dialog is up the program's own windows keep painting and take no input,
// as under any modal dialog; a quit request withdraws the desktop's dialog.
#include "platform/win/portal/portal_dialog.h"

#include <cstdlib>
#include <cstring>

#include "platform/win/portal/file_chooser_portal.h"

namespace kv {

namespace {

// The portal is found within this time or not used: an absent one answers at once, a portal that
// has to be started first takes a second or so.
constexpr int kProbeMs = 3000;
// How often the bus is looked at while the program's own messages are handled.
constexpr uint32_t kPollMs = 20;
constexpr uintptr_t kPollTimer = 0x706f7274;

bool IsInput(uint32_t m) {
    return (m >= WM_KEYDOWN && m <= WM_SYSKEYUP) || (m >= WM_MOUSEMOVE && m <= WM_XBUTTONUP);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool AskThroughPortal(const FileDialogRequest& rq, const std::string& parent,
                      std::vector<std::string>* paths, bool* ok) {
    const char* off = std::getenv("KINEVISTA_NO_PORTAL");
    if (off && *off && std::strcmp(off, "0") != 0) return false;
    auto chooser = portal::FileChooserPortal::Connect(kProbeMs);
    if (!chooser) return false;

    portal::ChooserRequest q;
    q.save = rq.save;
    q.multiple = rq.multiple;
    q.parentWindow = parent;
    q.title = rq.title.empty() ? (rq.save ? "Save As" : "Open") : rq.title;
    q.folder = rq.initialFolder;
    q.name = rq.initialName;
    q.types = ParseFilter(rq.filter);
    if (!q.types.empty()) q.current = 0;
    // The proposed name's type is the one the dialog starts on.
    for (size_t i = 0; rq.save && i < q.types.size(); ++i)
        if (!rq.initialName.empty() && MatchesPattern(rq.initialName, q.types[i].second)) {
            q.current = static_cast<int>(i);
            break;
        }
    if (!chooser->Start(q)) return false;

    HWND focus = GetFocus();
    HWND owner = rq.owner;
    while (owner && (GetWindowStyle(owner) & WS_CHILD)) owner = GetParent(owner);
    if (owner) EnableWindow(owner, false);
    SetTimer(nullptr, kPollTimer, kPollMs);
    portal::ChooserAnswer answer;
    MSG m;
    while (!chooser->Poll(&answer)) {
        if (!GetMessage(&m)) {
            chooser->Close();
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (IsInput(m.message)) continue;
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    KillTimer(nullptr, kPollTimer);
    if (owner && IsWindow(owner)) EnableWindow(owner, true);
    if (IsWindow(focus)) SetFocus(focus);

    *ok = answer.chosen;
    *paths = answer.paths;
    if (*ok && rq.save && answer.type >= 0 && NameOf((*paths)[0]).find('.') == std::string::npos) {
        std::string ext = PatternExtension(q.types[answer.type].second);
        if (!ext.empty()) (*paths)[0] += ext;
    }
    return true;
}

}  // namespace kv
