// A run's lock: a small file in a folder that a running program holds locked for as long as it
// lives. The system drops the lock when the process ends in any way (a crash, kill -9), so
// another program can tell a live run from one that has ended by trying the lock, and files
// that name the lock belong to a run that still works on them exactly while it is held.
//
// The file is created under a temporary name, locked, and only then renamed to its final name
// "<prefix><pid>-<random>.lock": a lock file under its final name is held from its first moment
// until its run ends, so one that nobody holds is a dead run's and may be removed by anyone.
#pragma once

#include <string>

namespace kv::os {

class RunLock {
public:
    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Creates and locks a new lock file in `folder`; false when the folder cannot be written.
    bool Take(const std::string& folder, const std::string& prefix);
    // Unlocks and removes the file (also done by the destructor).
    void Release();
    bool Held() const;
    // The lock file's name without its folder ("" when none is held).
    const std::string& Name() const { return m_name; }

private:
    std::string m_path;
    std::string m_name;
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

// Whether some process holds the lock file at `path`: false when the file is missing or no one
// holds it (its run has ended).
bool RunLockHeld(const std::string& path);

// Removes the lock files with `prefix` in `folder` that no one holds; returns how many.
int RemoveDeadRunLocks(const std::string& folder, const std::string& prefix);

}  // namespace kv::os
