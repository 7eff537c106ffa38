// Requests to end the program: the watcher reports the first signal once, on its own thread,
// and a process whose main thread never gets round to ending is ended with status 0 after the
// grace period. Each case runs in a child process, so the signals never reach the test runner.
#include "platform/os/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> g_reports{0};
std::atomic<int> g_lastSignal{0};
std::atomic<bool> g_onWatcherThread{false};
std::thread::id g_mainThread;

void Count(int sig) {
    g_lastSignal = sig;
    g_onWatcherThread = std::this_thread::get_id() != g_mainThread;
    ++g_reports;
}

// Runs `body` in a child and returns its exit status (-1 when a signal ended it, -2 when it
// did not end within `seconds`).
int InChild(void (*body)(), double seconds) {
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(99);
    }
    int status = 0;
    for (int i = 0; i < static_cast<int>(seconds * 100); ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -2;
}

}  // namespace

TEST(StopSignals, EachSignalIsReportedOnceOnTheWatchersThread) {
    g_mainThread = std::this_thread::get_id();
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        g_reports = 0;
        ASSERT_TRUE(kv::os::WatchStopSignals(&Count, 0));
        EXPECT_EQ(kv::os::StopSignal(), 0);
        raise(sig);
        raise(sig);  // a second request while the first is handled changes nothing
        for (int i = 0; i < 500 && g_reports == 0; ++i) usleep(2000);
        EXPECT_EQ(g_reports, 1) << sig;
        EXPECT_EQ(g_lastSignal, sig);
        EXPECT_TRUE(g_onWatcherThread);
        EXPECT_EQ(kv::os::StopSignal(), sig);
        kv::os::StopWatchingSignals();
        EXPECT_EQ(kv::os::StopSignal(), 0);
    }
}

TEST(StopSignals, AStuckMainThreadIsEndedWithStatusZeroAfterTheGrace) {
    const int status = InChild(
        [] {
            kv::os::WatchStopSignals([](int) {}, 300);
            raise(SIGTERM);
            for (;;) pause();  // never ends by itself
        },
        10);
    EXPECT_EQ(status, 0);
}

TEST(StopSignals, StoppingTheWatchPutsTheDefaultHandlerBack) {
    const int status = InChild(
        [] {
            kv::os::WatchStopSignals([](int) {}, 0);
            kv::os::StopWatchingSignals();
            raise(SIGTERM);
            _exit(3);
        },
        10);
    EXPECT_EQ(status, -1);  // ended by the signal itself
}
