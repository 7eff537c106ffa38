// Starting another program without waiting for it, and asking later whether it still runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// Starts `program` with the given arguments (argv[0] is the program path) and returns at once.
// Returns the process id, or -1 when the program cannot be started (missing, not executable).
int32_t StartProcess(const std::string& program, const std::vector<std::string>& args);

// True while a process started by StartProcess runs. Once it has ended its exit status is
// collected (so no defunct entry stays behind) and false is returned from then on. Works as
// well in a process that ignores SIGCHLD (its children are collected by the system).
bool ProcessRunning(int32_t pid);

// Suspends the calling thread for `ms` milliseconds.
void SleepMilliseconds(int32_t ms);

}  // namespace kv
