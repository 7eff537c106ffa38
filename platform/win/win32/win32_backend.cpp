// The win32 backend: the layer's windows shown as the system's own top-level windows, the system's
// input fed back to the layer, the system's cursors, beep, message boxes and open/save dialogs.
// The layer still draws every window (frame, menus, controls), so the editor looks and behaves the
// same as on the other backends; only the showing and the input are the system's.
//
// The layer works in logical pixels. Each system window is made at device size, the factor of the
// monitor it is on times its logical size (scale.h), and shows the layer's picture enlarged by
// pixel replication; the system's pointer positions are divided by that factor.
#include <cmath>
#include <map>

#include "platform/win/internal.h"
#include "platform/win/scale.h"
#include "platform/win/shown_picture.h"
#include "platform/win/win32/native.h"

namespace kv {

namespace {

native::Handle HandleOf(const Window* w) {
    return w ? w->backendData : nullptr;
}

// The window's factor: that of the monitor its system window is on.
double FactorOf(const Window* w) {
    return w && w->backendData ? native::Factor(w->backendData) : TheBackend().Scale();
}

struct DeviceRect {
    int x, y, width, height;
};
DeviceRect DeviceOf(const Rect& r, double f) {
    const int x = ToDevice(r.left, f), y = ToDevice(r.top, f);
    return DeviceRect{x, y, std::max(1, ToDevice(r.right, f) - x),
                      std::max(1, ToDevice(r.bottom, f) - y)};
}

void OnMouse(void* user, int x, int y, int action, int button, int wheel) {
    // A screen point in device pixels: the logical pixel it lies in at the window's factor.
    const double f = FactorOf(static_cast<Window*>(user));
    x = ToLogical(x, f);
    y = ToLogical(y, f);
    MouseAction a = action == native::kMouseDown    ? MouseAction::Down
                    : action == native::kMouseUp    ? MouseAction::Up
                    : action == native::kMouseWheel ? MouseAction::Wheel
                                                    : MouseAction::Move;
    InjectMouse(x, y, a, button, wheel);
}

void OnKey(int vk, bool down) {
    InjectKey(vk, down);
}

void OnChar(uint32_t cp) {
    InjectChar(cp);
}

// The system's close request (Alt+F4, the task bar, another program) reaches the window as the
// layer's WM_CLOSE, as a click on the layer's close box would.
void OnClose(void* user) {
    auto* w = static_cast<Window*>(user);
    if (IsWindow(w)) PostMessage(w, WM_CLOSE, 0, 0);
}

// The system's own word on the program's activation; the layer tells the program's windows.
void OnActivate(void* user, bool active) {
    auto* w = static_cast<Window*>(user);
    if (active)
        SystemFocusIn(w);
    else
        SystemFocusOut(nullptr);
}

// The window is on a monitor of another density now: laid out again at the logical size the
// system's suggested rectangle has at the new factor (the system keeps a window's logical size
// as it moves between monitors, so the layer's layout stays as it was).
void OnRescale(void* user, double factor, int x, int y, int width, int height) {
    auto* w = static_cast<Window*>(user);
    if (!IsWindow(w) || factor <= 0) return;
    auto logical = [factor](int v) { return static_cast<int>(std::lround(v / factor)); };
    MoveWindow(w, logical(x), logical(y), std::max(1, logical(width)), std::max(1, logical(height)),
               true);
    // Placed at the new factor even when the logical rectangle stayed the same.
    TheBackend().WindowPlaced(w);
}

// The front-most visible window that is not a menu: the owner of the system's dialogs.
native::Handle DialogOwner() {
    for (HWND w : AllWindows())
        if (w->visible && !(w->style & WS_CHILD) && w->className.rfind("#", 0) != 0 &&
            w->backendData)
            return w->backendData;
    return nullptr;
}

class Win32Backend : public Backend {
public:
    ~Win32Backend() override {
        for (HWND w : AllWindows())
            if (w->backendData) WindowDestroyed(w);
    }

    const char* Name() const override { return "win32"; }

    // The main window's factor (the first unowned window that is no menu), or the system's
    // before there is one: what the program's logical screen is measured in.
    double Scale() const override {
        return m_main && m_main->backendData ? native::Factor(m_main->backendData)
                                             : native::SystemFactor();
    }

    void WindowCreated(Window* w) override {
        HWND owner = w->parent;
        while (owner && (owner->style & WS_CHILD)) owner = owner->parent;
        const bool menu = w->className.rfind("#", 0) == 0;
        // Made at the program's factor; a window that lands on a monitor of another density is
        // placed again at that monitor's.
        const double f = Scale();
        const DeviceRect d = DeviceOf(w->rect, f);
        w->backendData = native::CreateTop(w, w->title, d.x, d.y, d.width, d.height, menu,
                                           (w->exStyle & WS_EX_TOPMOST) != 0, HandleOf(owner));
        if (!w->backendData) return;
        if (!m_main && !owner && !menu) m_main = w;
        if (native::Factor(w->backendData) != f) WindowPlaced(w);
    }

    void WindowDestroyed(Window* w) override {
        m_shown.erase(w);
        if (w == m_main) m_main = nullptr;
        if (!w->backendData) return;
        native::Destroy(w->backendData);
        w->backendData = nullptr;
    }

    void WindowPlaced(Window* w) override {
        if (!w->backendData) return;
        const DeviceRect d = DeviceOf(w->rect, FactorOf(w));
        native::Place(w->backendData, d.x, d.y, d.width, d.height, w->visible,
                      (w->exStyle & WS_EX_TOPMOST) != 0);
        w->changed = true;
        // A hidden window keeps no pictures; shown again, it is painted whole.
        if (w->visible)
            m_shown[w].whole = true;
        else
            m_shown.erase(w);
    }

    void WindowTitle(Window* w) override {
        if (w->backendData) native::SetTitle(w->backendData, w->title);
    }

    // The layer places a maximized window itself; minimizing is the system's.
    void WindowState(Window* w) override {
        if (w->backendData) native::Minimize(w->backendData, w->minimized);
    }

    // The layer's order from `from` forwards, raised back to front.
    void Restack(Window* from) override {
        const std::vector<HWND> order = AllWindows();  // front to back
        size_t end = order.size();
        if (from)
            for (size_t i = 0; i < order.size(); ++i)
                if (order[i] == from) end = i + 1;
        for (size_t i = end; i-- > 0;)
            if (order[i]->backendData && order[i]->visible && !(order[i]->style & WS_CHILD))
                native::Raise(order[i]->backendData);
    }

    void GiveSystemFocus(Window* w) override {
        if (w->backendData && w->visible) native::TakeKeyboard(w->backendData);
    }

    // Each top-level window whose surface or a child's changed since: its picture is composed,
    // and only the parts that differ from what the system window shows are enlarged (each
    // logical pixel a block of device pixels, edges kept hard) and painted.
    void Present() override {
        const std::vector<HWND> all = AllWindows();
        for (HWND w : all) {
            if (!w->backendData || !w->visible) continue;
            bool childChanged = false;
            for (HWND c : all)
                if (c != w && (c->style & WS_CHILD) && c->changed && TopOf(c) == w) {
                    childChanged = true;
                    c->changed = false;
                }
            if (!w->changed && !childChanged) continue;
            w->changed = false;
            Shown& shown = m_shown[w];
            const bool whole = shown.whole;
            shown.whole = false;
            const std::vector<Rect> boxes = shown.picture.Update(w, FactorOf(w), whole);
            if (boxes.empty()) continue;
            std::vector<native::Box> sent;
            for (const Rect& b : boxes)
                sent.push_back(native::Box{b.left, b.top, b.right, b.bottom});
            native::ShowParts(w->backendData, shown.picture.Device(), shown.picture.DeviceWidth(),
                              shown.picture.DeviceHeight(), sent);
        }
    }

    void Poll(bool wait, int timeoutMs) override {
        // Other threads post to the layer's queue without waking the system's, so a wait is
        // never longer than a twentieth of a second.
        native::Pump(wait ? (timeoutMs < 0 ? 50 : std::min(timeoutMs, 50)) : -1);
        Present();
    }

    std::vector<MonitorInfo> Monitors() override {
        std::vector<MonitorInfo> out;
        const double f = Scale();
        // In logical pixels: those whose every device pixel is on the monitor.
        auto logical = [f](int left, int top, int right, int bottom) {
            return Rect{static_cast<int>(std::ceil(left / f)), static_cast<int>(std::ceil(top / f)),
                        static_cast<int>(std::floor(right / f)),
                        static_cast<int>(std::floor(bottom / f))};
        };
        for (const native::Screen& s : native::Screens())
            out.push_back(MonitorInfo{logical(s.left, s.top, s.right, s.bottom),
                                      logical(s.workLeft, s.workTop, s.workRight, s.workBottom)});
        return out;
    }

    void SetCursorShape(HCURSOR c) override {
        if (const CursorImage* img = CursorImageOf(c)) {
            if (img->width > 0 && img->height > 0 &&
                img->pixels.size() >= static_cast<size_t>(img->width) * img->height) {
                // Enlarged by replicating pixels, the hot spot with it, at the factor of the
                // monitor the pointer is on (that of the window under it): a cursor made at one
                // factor is another cursor at the next.
                HWND under = WindowFromPoint(GetCursorPos());
                const double f =
                    under && TopOf(under)->backendData ? FactorOf(TopOf(under)) : Scale();
                const int cw = ToDevice(img->width, f), ch = ToDevice(img->height, f);
                auto key = std::make_pair(c, f);
                auto made = m_cursorKeys.find(key);
                if (made == m_cursorKeys.end())
                    made = m_cursorKeys.emplace(key, m_cursorKeys.size() + 1).first;
                std::vector<uint32_t> px =
                    f == 1.0 ? img->pixels
                             : ScaleNearest(img->pixels.data(), img->width, img->height, cw, ch);
                native::UseImageCursor(made->second, cw, ch,
                                       std::min(cw - 1, ToDevice(img->hotX, f)),
                                       std::min(ch - 1, ToDevice(img->hotY, f)), px.data());
            }
            return;
        }
        int idc = SystemCursorOf(c);
        native::UseSystemCursor(idc ? idc : IDC_ARROW);
    }

    void Bell() override { native::Beep(); }

    bool AnswerMessageBox(const std::string& text, const std::string& caption, uint32_t type,
                          int* answer) override {
        *answer = native::AskMessageBox(DialogOwner(), text, caption, type);
        // The system's box failing to open is answered as a cancel, never as a yes.
        if (*answer == 0) *answer = (type & 0xF) == MB_OK ? IDOK : IDCANCEL;
        if (*answer == IDCANCEL && (type & 0xF) == MB_YESNO) *answer = IDNO;
        return true;
    }

    bool AnswerFileDialog(const FileDialogRequest& rq, std::vector<std::string>* paths,
                          bool* ok) override {
        native::FileQuestion q;
        q.owner = rq.owner ? HandleOf(TopOf(rq.owner)) : DialogOwner();
        q.save = rq.save;
        q.multiple = rq.multiple;
        q.mustExist = rq.mustExist;
        q.filter = ParseFilter(rq.filter);
        q.folder = rq.initialFolder;
        q.name = rq.initialName;
        q.title = rq.title;
        *ok = native::AskFile(q, paths);
        return true;
    }

private:
    Window* m_main = nullptr;
    // What each top-level window shows, and whether all of it is to be painted again (shown,
    // moved, resized, laid out at another factor).
    struct Shown {
        ShownPicture picture;
        bool whole = true;
    };
    std::map<Window*, Shown> m_shown;
    // The system cursor's key for each image cursor at each factor it was made at.
    std::map<std::pair<HCURSOR, double>, uintptr_t> m_cursorKeys;

    static HWND TopOf(HWND w) {
        while (w && (w->style & WS_CHILD) && w->parent) w = w->parent;
        return w;
    }
};

}  // namespace

std::string GetModuleFileName() {
    return native::ProgramFile();
}

const char* NativeBackendName() {
    return "win32";
}

bool NativeDisplayPresent() {
    return true;
}

std::unique_ptr<Backend> MakeNativeBackend() {
    native::Sink sink;
    sink.mouse = OnMouse;
    sink.key = OnKey;
    sink.character = OnChar;
    sink.close = OnClose;
    sink.activate = OnActivate;
    sink.rescale = OnRescale;
    if (!native::Start(sink)) return nullptr;
    return std::make_unique<Win32Backend>();
}

}  // namespace kv
