// The POSIX watcher of requests to end the program; see stop_signals.h.
#include "platform/os/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace kv::os {

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};
// The byte that wakes the watcher to leave rather than to report a signal.
constexpr char LeaveByte = 0;

// Lock-free atomics are safe to touch from a signal handler; everything else here is not.
std::atomic<int> g_signal{0};
std::atomic<int> g_wakeFd{-1};
int g_readFd = -1;
StopCallback g_onStop = nullptr;
int g_graceMs = 0;
struct sigaction g_previous[3];
std::thread g_watcher;

void OnSignal(int sig) {
    const int saved = errno;
    int expected = 0;
    // Only the first request is reported; later ones are already being handled.
    if (g_signal.compare_exchange_strong(expected, sig)) {
        const char b = static_cast<char>(sig);
        const int fd = g_wakeFd.load();
        if (fd >= 0) (void)!write(fd, &b, 1);
    }
    errno = saved;
}

// Waits for one byte; false on the leave byte or a closed pipe.
bool WaitForRequest() {
    for (;;) {
        char b = LeaveByte;
        const ssize_t n = read(g_readFd, &b, 1);
        if (n == 1) return b != LeaveByte;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

void Watch() {
    if (!WaitForRequest()) return;
    if (g_onStop) g_onStop(g_signal.load());
    if (g_graceMs <= 0) return;
    // The grace period, cut short only by the leave byte (the program ended its watch).
    pollfd p{g_readFd, POLLIN, 0};
    for (;;) {
        const int r = poll(&p, 1, g_graceMs);
        if (r < 0 && errno == EINTR) continue;
        if (r > 0) return;
        break;
    }
    _exit(0);
}

}  // namespace

bool WatchStopSignals(StopCallback onStop, int graceMs) {
    StopWatchingSignals();
    int fds[2];
    if (pipe(fds) != 0) return false;
    for (int fd : fds) fcntl(fd, F_SETFD, FD_CLOEXEC);
    // The handler must never block, whatever the watcher is doing.
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    g_readFd = fds[0];
    g_wakeFd.store(fds[1]);
    g_onStop = onStop;
    g_graceMs = graceMs;
    g_signal.store(0);
    g_watcher = std::thread(Watch);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    // Interrupted system calls of the rest of the program carry on as if nothing happened.
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) sigaction(Signals[i], &sa, &g_previous[i]);
    return true;
}

int StopSignal() {
    return g_signal.load();
}

void StopWatchingSignals() {
    if (g_wakeFd.load() < 0) return;
    for (int i = 0; i < 3; ++i) sigaction(Signals[i], &g_previous[i], nullptr);
    const int fd = g_wakeFd.exchange(-1);
    const char b = LeaveByte;
    (void)!write(fd, &b, 1);
    if (g_watcher.joinable()) g_watcher.join();
    close(fd);
    close(g_readFd);
    g_readFd = -1;
    g_onStop = nullptr;
    g_signal.store(0);
}

}  // namespace kv::os
