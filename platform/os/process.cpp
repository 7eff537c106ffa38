// Process start over posix_spawn, which reports a program that cannot be executed as an error
// instead of leaving a child that fails later.
#include "platform/os/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace kv {

int32_t StartProcess(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty()) return -1;
    std::vector<std::string> all;
    all.reserve(args.size() + 1);
    all.push_back(program);
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return static_cast<int32_t>(pid);
}

bool ProcessRunning(int32_t pid) {
    if (pid <= 0) return false;
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == 0) return true;     // still running
    if (r == pid) return false;  // ended just now; status collected
    // Not a child we can wait for: collected earlier, or the process ignores SIGCHLD and the
    // system collects its children itself. Ask whether the process still exists.
    if (errno == ECHILD) return kill(pid, 0) == 0 || errno == EPERM;
    return false;
}

void SleepMilliseconds(int32_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace kv
