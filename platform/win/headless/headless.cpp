// The headless backend: surfaces without a screen, input from the caller, answers from queues.
#include "platform/win/headless/headless.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/win/internal.h"

namespace kv {

bool SelectBackend(const std::string& name);

namespace {

struct HeadlessState {
    std::deque<std::function<void()>> script;
    std::deque<int> boxAnswers;
    std::vector<std::string> boxTexts;
    std::deque<std::pair<bool, std::vector<std::string>>> fileAnswers;
    FileDialogRequest lastFile;
    bool layerDialogs = false;
    HWND systemFocus = nullptr;
    bool focusOnNothing = false;  // the focus left the program for no window at all
    std::vector<MonitorInfo> monitors{MonitorInfo{Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1040}}};
    double scale = 1.0;  // the factor the backend reports; its pictures stay logical
};

// One headless desktop per process, like the backend that owns it; the UI thread's alone.
HeadlessState& S() {
    static HeadlessState s;
    return s;
}

class HeadlessBackend : public Backend {
public:
    const char* Name() const override { return "headless"; }
    double Scale() const override { return S().scale; }

    void Poll(bool wait, int timeoutMs) override {
        using Clock = std::chrono::steady_clock;
        if (!S().script.empty()) {
            auto step = std::move(S().script.front());
            S().script.pop_front();
            step();
            m_idleSince = Clock::time_point{};
            return;
        }
        if (!wait) return;
        // Timers may keep a loop busy; without input for long, the loop is ended all the same.
        if (m_idleSince == Clock::time_point{}) m_idleSince = Clock::now();
        if (timeoutMs >= 0 && Clock::now() - m_idleSince < std::chrono::seconds(10)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 50)));
            return;
        }
        m_idleSince = Clock::time_point{};
        std::fprintf(stderr,
                     "headless: a loop waits for input and none is scripted; quitting it\n");
        PostQuitMessage(0);
    }

private:
    std::chrono::steady_clock::time_point m_idleSince{};

public:
    std::vector<MonitorInfo> Monitors() override { return S().monitors; }

    bool FocusHeldByAnotherProgram() override { return !S().focusOnNothing; }

    // The headless system obeys at once: the focus moves in one step, nothing to settle.
    void GiveSystemFocus(Window* w) override {
        if (!S().systemFocus) return;
        S().systemFocus = w;
        SystemFocusIn(w);
    }

    void WindowDestroyed(Window* w) override {
        if (S().systemFocus == w) {
            S().systemFocus = nullptr;
            SystemFocusOut(w);
        }
    }

    void WindowPlaced(Window* w) override {
        if (!w->visible && S().systemFocus == w) {
            S().systemFocus = nullptr;
            SystemFocusOut(w);
        }
    }

    bool AnswerMessageBox(const std::string& text, const std::string& caption, uint32_t type,
                          int* answer) override {
        if (S().layerDialogs) return false;
        S().boxTexts.push_back(caption.empty() ? text : caption + ": " + text);
        uint32_t kind = type & 0xF;
        if (!S().boxAnswers.empty()) {
            *answer = S().boxAnswers.front();
            S().boxAnswers.pop_front();
        } else {
            *answer = kind == MB_YESNO ? IDNO : kind == MB_YESNOCANCEL ? IDCANCEL : IDOK;
        }
        return true;
    }

    bool AnswerFileDialog(const FileDialogRequest& rq, std::vector<std::string>* paths,
                          bool* ok) override {
        S().lastFile = rq;
        if (S().layerDialogs) return false;
        if (S().fileAnswers.empty()) {
            *ok = false;
            return true;
        }
        auto a = S().fileAnswers.front();
        S().fileAnswers.pop_front();
        *ok = a.first;
        *paths = a.second;
        return true;
    }
};

}  // namespace

std::unique_ptr<Backend> MakeHeadlessBackend() {
    return std::make_unique<HeadlessBackend>();
}

namespace headless {

void SetSystemFocus(HWND w) {
    S().focusOnNothing = false;
    S().systemFocus = IsWindow(w) ? w : nullptr;
    if (S().systemFocus)
        SystemFocusIn(w);
    else
        SystemFocusOut(nullptr);
}

void SetSystemFocusToNothing() {
    S().systemFocus = nullptr;
    S().focusOnNothing = true;
    SystemFocusOut(nullptr);
}

void ResetSystemFocus() {
    S().focusOnNothing = false;
    S().systemFocus = nullptr;
    ForgetSystemFocus();
}

HWND SystemFocus() {
    return IsWindow(S().systemFocus) ? S().systemFocus : nullptr;
}

bool Use() {
    return SelectBackend("headless");
}

void SetScale(double factor) {
    S().scale = factor > 0 ? factor : 1.0;
}

void Script(std::function<void()> step) {
    S().script.push_back(std::move(step));
}
void ClearScript() {
    S().script.clear();
}
size_t PendingSteps() {
    return S().script.size();
}

void MouseMove(int x, int y) {
    InjectMouse(x, y, MouseAction::Move, 0);
}
void MouseDown(int x, int y, int button) {
    InjectMouse(x, y, MouseAction::Down, button);
}
void MouseUp(int x, int y, int button) {
    InjectMouse(x, y, MouseAction::Up, button);
}
void Wheel(int x, int y, int clicks) {
    InjectMouse(x, y, MouseAction::Wheel, 0, clicks);
}

void ClientMove(HWND w, int x, int y) {
    POINT p = ClientToScreen(w, POINT{x, y});
    MouseMove(p.x, p.y);
}
void ClientDown(HWND w, int x, int y, int button) {
    POINT p = ClientToScreen(w, POINT{x, y});
    MouseDown(p.x, p.y, button);
}
void ClientUp(HWND w, int x, int y, int button) {
    POINT p = ClientToScreen(w, POINT{x, y});
    MouseUp(p.x, p.y, button);
}
void ClientClick(HWND w, int x, int y, int button) {
    ClientDown(w, x, y, button);
    ClientUp(w, x, y, button);
}

void KeyDown(int vk) {
    InjectKey(vk, true);
}
void KeyUp(int vk) {
    InjectKey(vk, false);
}
void Key(int vk) {
    KeyDown(vk);
    KeyUp(vk);
}
void Type(const std::string& text) {
    for (unsigned char c : text) InjectChar(c);
}

std::vector<uint32_t> Capture(HWND w, int* width, int* height) {
    return ComposeWindow(w, width, height);
}

std::vector<uint32_t> CaptureClient(HWND w, int* width, int* height) {
    int fw = 0, fh = 0;
    std::vector<uint32_t> all = ComposeWindow(w, &fw, &fh);
    if (all.empty()) {
        *width = *height = 0;
        return {};
    }
    Rect c = ClientAreaInSurface(w);
    *width = c.right - c.left;
    *height = c.bottom - c.top;
    std::vector<uint32_t> out(static_cast<size_t>(*width) * *height);
    for (int y = 0; y < *height; ++y)
        for (int x = 0; x < *width; ++x)
            out[static_cast<size_t>(y) * *width + x] =
                all[static_cast<size_t>(y + c.top) * fw + x + c.left];
    return out;
}

COLORREF Pixel(HWND w, int x, int y) {
    int cw = 0, ch = 0;
    std::vector<uint32_t> px = CaptureClient(w, &cw, &ch);
    if (x < 0 || y < 0 || x >= cw || y >= ch) return 0xFFFFFFFF;
    uint32_t p = px[static_cast<size_t>(y) * cw + x];
    return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255);
}

bool Screenshot(HWND w, const std::string& pngPath) {
    int fw = 0, fh = 0;
    std::vector<uint32_t> all = ComposeWindow(w, &fw, &fh);
    return !all.empty() && WritePng(pngPath, all.data(), fw, fh);
}

bool ScreenshotDesktop(const std::string& pngPath, int width, int height) {
    if (width <= 0 || height <= 0) return false;
    std::vector<uint32_t> desk(static_cast<size_t>(width) * height, 0xFF404040u);
    std::vector<HWND> all = AllWindows();
    // Back to front, so the front-most ends on top; children are composed into their parents.
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        HWND w = *it;
        if (!w->visible || (w->style & WS_CHILD)) continue;
        int fw = 0, fh = 0;
        std::vector<uint32_t> px = ComposeWindow(w, &fw, &fh);
        for (int y = 0; y < fh; ++y) {
            const int ty = w->rect.top + y;
            if (ty < 0 || ty >= height) continue;
            for (int x = 0; x < fw; ++x) {
                const int tx = w->rect.left + x;
                if (tx < 0 || tx >= width) continue;
                desk[static_cast<size_t>(ty) * width + tx] = px[static_cast<size_t>(y) * fw + x];
            }
        }
    }
    return WritePng(pngPath, desk.data(), width, height);
}

void QueueMessageBoxAnswer(int id) {
    S().boxAnswers.push_back(id);
}
std::vector<std::string> MessageBoxTexts() {
    return S().boxTexts;
}
void ClearMessageBoxTexts() {
    S().boxTexts.clear();
}
void QueueFileAnswer(const std::vector<std::string>& paths) {
    S().fileAnswers.emplace_back(true, paths);
}
void QueueFileCancel() {
    S().fileAnswers.emplace_back(false, std::vector<std::string>{});
}
FileDialogRequest LastFileRequest() {
    return S().lastFile;
}
void UseLayerDialogs(bool on) {
    S().layerDialogs = on;
}

void SetMonitors(const std::vector<MonitorInfo>& monitors) {
    if (!monitors.empty()) S().monitors = monitors;
}

}  // namespace headless

}  // namespace kv
