// The run lock: held while its process lives, free the moment it dies in any way, and the locks
// of dead runs swept without touching live ones.
#include "platform/os/run_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/test_support.h"

namespace {

// A child that takes a lock in `dir`, reports its name through a pipe, and waits to be killed.
pid_t ChildHoldingLock(const std::string& dir, std::string* name) {
    int p[2];
    if (pipe(p) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        kv::os::RunLock lock;
        if (!lock.Take(dir, "Kinevista-run-")) _exit(2);
        const std::string n = lock.Name() + "\n";
        if (write(p[1], n.data(), n.size()) != static_cast<ssize_t>(n.size())) _exit(3);
        for (;;) pause();
    }
    close(p[1]);
    char buf[256];
    std::string got;
    ssize_t n;
    while (got.find('\n') == std::string::npos && (n = read(p[0], buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    close(p[0]);
    *name = got.substr(0, got.find('\n'));
    return name->empty() ? -1 : pid;
}

}  // namespace

TEST(RunLock, HeldWhileItsProcessLivesAndFreeWhenItIsKilled) {
    const std::string dir = kvtest::TempDir("run_lock");
    std::string name;
    const pid_t pid = ChildHoldingLock(dir, &name);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(kv::os::RunLockHeld(dir + "/" + name));
    // A sweep leaves a live run's lock.
    EXPECT_EQ(kv::os::RemoveDeadRunLocks(dir, "Kinevista-run-"), 0);
    EXPECT_TRUE(kv::os::RunLockHeld(dir + "/" + name));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    // The file is still there, but nobody holds it: the run has ended.
    EXPECT_EQ(access((dir + "/" + name).c_str(), F_OK), 0);
    EXPECT_FALSE(kv::os::RunLockHeld(dir + "/" + name));
    EXPECT_EQ(kv::os::RemoveDeadRunLocks(dir, "Kinevista-run-"), 1);
    EXPECT_NE(access((dir + "/" + name).c_str(), F_OK), 0);
    EXPECT_FALSE(kv::os::RunLockHeld(dir + "/nothing.lock"));
}

TEST(RunLock, TwoLocksOfOneProcessAreTwoRunsAndReleaseRemovesTheFile) {
    const std::string dir = kvtest::TempDir("run_lock2");
    kv::os::RunLock a, b;
    ASSERT_TRUE(a.Take(dir, "Kinevista-run-"));
    ASSERT_TRUE(b.Take(dir, "Kinevista-run-"));
    EXPECT_NE(a.Name(), b.Name());
    const std::string pathA = dir + "/" + a.Name();
    EXPECT_TRUE(kv::os::RunLockHeld(pathA));
    a.Release();
    EXPECT_NE(access(pathA.c_str(), F_OK), 0);
    EXPECT_FALSE(kv::os::RunLockHeld(pathA));
    EXPECT_TRUE(kv::os::RunLockHeld(dir + "/" + b.Name()));
    // A folder that cannot be written gives no lock.
    kv::os::RunLock c;
    EXPECT_FALSE(c.Take(dir + "/missing-folder", "Kinevista-run-"));
    EXPECT_EQ(c.Name(), "");
}
