// RunLock on POSIX systems: flock() on an open file description, which a second open of the same
// file (in this process or another) cannot take while the first is held.
#include "platform/os/run_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <random>

namespace kv::os {

namespace {

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

RunLock::~RunLock() {
    Release();
}

bool RunLock::Take(const std::string& folder, const std::string& prefix) {
    Release();
    std::random_device rd;
    char tail[48];
    std::snprintf(tail, sizeof tail, "%ld-%08x", static_cast<long>(::getpid()),
                  static_cast<unsigned>(rd()));
    const std::string name = prefix + tail + ".lock";
    const std::string temp = Join(folder, "." + name + ".new");
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::rename(temp.c_str(), Join(folder, name).c_str()) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    m_fd = fd;
    m_name = name;
    m_path = Join(folder, name);
    return true;
}

void RunLock::Release() {
    if (m_fd < 0) return;
    // Removed while still held: no one can take a lock file whose run is just ending for dead.
    ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
    m_name.clear();
    m_path.clear();
}

bool RunLock::Held() const {
    return m_fd >= 0;
}

bool RunLockHeld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);  // also drops the lock just taken
    return held;
}

int RemoveDeadRunLocks(const std::string& folder, const std::string& prefix) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return 0;
    int removed = 0;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() <= prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 5, 5, ".lock") != 0)
            continue;
        const std::string path = Join(folder, name);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        // Removed while this process holds it, so no run can be holding the name at that moment.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

}  // namespace kv::os
