// The message queue and timers: posting, peeking and getting messages, paint messages made on
// demand, timers fired from the pump, and the layer's clock.
#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>

#include "platform/os/window_list.h"
#include "platform/win/internal.h"
#include "platform/win/window_state.h"

namespace kv {

namespace {

// One queue per process, as the UI thread has one: posted messages may come from any thread, so
// the queue is only touched under its lock; everything else is the UI thread's.
std::mutex g_queueLock;
std::deque<MSG> g_queue;

struct Timer {
    HWND hwnd;
    uintptr_t id;
    uint32_t interval;
    int64_t due;  // ms
};
// Timers of all windows, fired from the pump; the UI thread's alone.
std::vector<Timer> g_timers;

// The layer's clock counts from its first reading, once for the process.
int64_t NowMs() {
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

}  // namespace

void ForgetMessagesOf(HWND hwnd) {
    g_timers.erase(std::remove_if(g_timers.begin(), g_timers.end(),
                                  [&](const Timer& t) { return t.hwnd == hwnd; }),
                   g_timers.end());
    std::lock_guard<std::mutex> g(g_queueLock);
    g_queue.erase(std::remove_if(g_queue.begin(), g_queue.end(),
                                 [&](const MSG& m) { return m.hwnd == hwnd; }),
                  g_queue.end());
}

void QueueMessage(const MSG& m) {
    std::lock_guard<std::mutex> g(g_queueLock);
    g_queue.push_back(m);
}

std::vector<MSG> TakeKeyboardMessages() {
    auto keyboard = [](const MSG& m) {
        return m.message >= WM_KEYDOWN && m.message <= WM_SYSCHAR && m.message != 0x0103;
    };
    std::lock_guard<std::mutex> g(g_queueLock);
    std::vector<MSG> taken;
    for (const MSG& m : g_queue)
        if (keyboard(m)) taken.push_back(m);
    g_queue.erase(std::remove_if(g_queue.begin(), g_queue.end(), keyboard), g_queue.end());
    return taken;
}

void PutBackFirst(const std::vector<MSG>& messages) {
    std::lock_guard<std::mutex> g(g_queueLock);
    g_queue.insert(g_queue.begin(), messages.begin(), messages.end());
}

bool PostMessage(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    MSG m;
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    m.pt = GetCursorPos();
    {
        std::lock_guard<std::mutex> g(g_queueLock);
        if (hwnd && !Live(hwnd)) return false;
        g_queue.push_back(m);
    }
    return true;
}

void PostQuitMessage(int code) {
    PostMessage(nullptr, WM_QUIT, static_cast<uint64_t>(code), 0);
}

bool AnyWindowNeedsPaint() {
    for (HWND w : WindowList())
        if (w->invalid && IsWindowVisible(w)) return true;
    return false;
}

namespace {

bool TakeQueued(MSG* msg, bool remove) {
    std::lock_guard<std::mutex> g(g_queueLock);
    if (g_queue.empty()) return false;
    *msg = g_queue.front();
    if (remove) g_queue.pop_front();
    return true;
}

bool TakePaint(MSG* msg) {
    // Back to front, so owners paint before the popups over them.
    for (auto it = WindowList().rbegin(); it != WindowList().rend(); ++it) {
        HWND w = *it;
        if (w->invalid && IsWindowVisible(w)) {
            *msg = MSG{};
            msg->hwnd = w;
            msg->message = WM_PAINT;
            msg->time = GetTickCount();
            msg->pt = GetCursorPos();
            return true;
        }
    }
    return false;
}

void FireTimers() {
    int64_t now = NowMs();
    for (Timer& t : g_timers) {
        if (now < t.due) continue;
        t.due = now + std::max<uint32_t>(t.interval, 1);
        bool pending = false;
        {
            std::lock_guard<std::mutex> g(g_queueLock);
            for (const MSG& m : g_queue)
                if (m.hwnd == t.hwnd && m.message == WM_TIMER && m.wParam == t.id) pending = true;
        }
        if (!pending) PostMessage(t.hwnd, WM_TIMER, t.id, 0);
    }
}

int MsUntilNextTimer() {
    if (g_timers.empty()) return -1;
    int64_t now = NowMs(), best = 1 << 30;
    for (const Timer& t : g_timers) best = std::min(best, t.due - now);
    return static_cast<int>(std::max<int64_t>(0, best));
}

bool QueueEmpty() {
    std::lock_guard<std::mutex> g(g_queueLock);
    return g_queue.empty();
}

}  // namespace

namespace {

// Another process (the plug-in waiting for the editor) may ask a titled window to come forward
// through the desktop window list; the requests are looked at a few times a second.
void TakeForwardRequests() {
    // When the list was last looked at; only the pump on the UI thread reads it.
    static int64_t last = -1000;
    int64_t now = NowMs();
    if (now - last < 250) return;
    last = now;
    std::vector<HWND> titled;
    for (HWND w : WindowList())
        if (!IsChild(w) && w->visible && !w->title.empty() && w->className.rfind("#", 0) != 0)
            titled.push_back(w);
    for (HWND w : titled)
        if (TakeBringForwardRequest(w->serial) && IsWindow(w)) SetWindowOrder(w, nullptr, false);
}

}  // namespace

void PumpEvents(Pump mode) {
    Backend& b = TheBackend();
    TakeForwardRequests();
    b.Present();
    FireTimers();
    bool wait = mode == Pump::Wait && QueueEmpty() && !AnyWindowNeedsPaint();
    b.Poll(wait, wait ? MsUntilNextTimer() : 0);
    SettleActivation();
    FireTimers();
}

bool PeekMessage(MSG* msg, uint32_t remove) {
    if (!msg) return false;
    if (TakeQueued(msg, remove & PM_REMOVE)) return true;
    PumpEvents(Pump::NoWait);
    if (TakeQueued(msg, remove & PM_REMOVE)) return true;
    return TakePaint(msg);
}

bool GetMessage(MSG* msg) {
    if (!msg) return false;
    for (;;) {
        if (TakeQueued(msg, true)) return msg->message != WM_QUIT;
        PumpEvents(Pump::NoWait);
        if (TakeQueued(msg, true)) return msg->message != WM_QUIT;
        if (TakePaint(msg)) return true;
        PumpEvents(Pump::Wait);
    }
}

// Keys that make control characters get their WM_CHAR here, as the next message to come, so a
// loop that reads key-downs without translating them never sees stray characters later.
// Printable characters arrive from the backends' text input as WM_CHAR of their own.
bool TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return false;
    uint32_t ch = 0;
    switch (msg->wParam) {
        case VK_BACK:
            ch = 8;
            break;
        case VK_TAB:
            ch = 9;
            break;
        case VK_RETURN:
            ch = 13;
            break;
        case VK_ESCAPE:
            ch = 27;
            break;
        default:
            // Ctrl with a letter makes its control character (Ctrl+A is 1 ... Ctrl+Z is 26).
            if (msg->wParam >= 'A' && msg->wParam <= 'Z' && (msg->lParam & KeyDownWithCtrl) &&
                !(msg->lParam & KeyDownWithAlt)) {
                ch = static_cast<uint32_t>(msg->wParam - 'A' + 1);
                break;
            }
            return false;
    }
    MSG m = *msg;
    m.message = WM_CHAR;
    m.wParam = ch;
    std::lock_guard<std::mutex> g(g_queueLock);
    g_queue.push_front(m);
    return true;
}

int64_t DispatchMessage(const MSG* msg) {
    if (!msg || !msg->hwnd || !IsWindow(msg->hwnd)) return 0;
    if (msg->message == WM_PAINT) {
        int64_t r = SendMessage(msg->hwnd, WM_PAINT, 0, 0);
        if (IsWindow(msg->hwnd)) msg->hwnd->invalid = false;
        return r;
    }
    return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int DrainMessages() {
    int n = 0;
    MSG m;
    for (int guard = 0; guard < 100000 && PeekMessage(&m, PM_REMOVE); ++guard) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        TranslateMessage(&m);
        DispatchMessage(&m);
        ++n;
    }
    return n;
}

uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t ms) {
    for (Timer& t : g_timers)
        if (t.hwnd == hwnd && t.id == id) {
            t.interval = ms;
            t.due = NowMs() + ms;
            return id;
        }
    g_timers.push_back(Timer{hwnd, id, ms, NowMs() + ms});
    return id;
}

bool KillTimer(HWND hwnd, uintptr_t id) {
    auto it = std::remove_if(g_timers.begin(), g_timers.end(),
                             [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    bool found = it != g_timers.end();
    g_timers.erase(it, g_timers.end());
    return found;
}

int64_t QueryPerformanceCounter() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}
int64_t QueryPerformanceFrequency() {
    return 1000000000LL;
}
uint32_t GetTickCount() {
    return static_cast<uint32_t>(NowMs());
}

}  // namespace kv
