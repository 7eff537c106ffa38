// AtomicFile over POSIX calls: mkstemps in the target's folder, flock to mark it in use, write,
// fsync, fchmod to the old file's mode, rename, then a sync of the folder.
#include "platform/os/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kv::os {

namespace {

constexpr size_t RandomChars = 6;
constexpr size_t MaxKeptExtension = 32;
constexpr int MaxLinkDepth = 40;

std::string FolderPart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a new file gets: 0666 less the process's umask (read once; umask cannot be read
// without setting it).
mode_t NewFileMode() {
    static mode_t mode = [] {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

constexpr int CreateAttempts = 16;

// Whether `path` still names the file open as `fd` (not removed or replaced meanwhile).
bool NameStillLeadsTo(const std::string& path, int fd) {
    struct stat byName {
    }, byFd{};
    return ::stat(path.c_str(), &byName) == 0 && ::fstat(fd, &byFd) == 0 &&
           byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

uint32_t NameHash(const std::string& name) {
    uint32_t h = 2166136261u;
    for (unsigned char c : name) h = (h ^ c) * 16777619u;
    return h;
}

}  // namespace

size_t NameLimitFor(const std::string& path) {
    const std::string folder = FolderPart(path);
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<size_t>(limit) : 255;
}

TempNameParts TempNameFor(const std::string& fileName) {
    std::string ext;
    const size_t dot = fileName.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && fileName.size() - dot <= MaxKeptExtension)
        ext = fileName.substr(dot);
    const std::string stem = fileName.substr(0, fileName.size() - ext.size());
    char hash[16];
    std::snprintf(hash, sizeof hash, "~kv%08x-", NameHash(fileName));
    // "." + stem + hash + random + ext stays within the usual 255-byte name limit.
    const size_t fixed = 1 + std::strlen(hash) + RandomChars + ext.size();
    const size_t room = fixed < 255 ? 255 - fixed : 0;
    return {"." + stem.substr(0, room) + hash, ext};
}

std::string ResolveWriteTarget(const std::string& path) {
    std::string p = path;
    for (int depth = 0; depth < MaxLinkDepth; ++depth) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return p;
        link.resize(static_cast<size_t>(n));
        p = link[0] == '/' ? link : FolderPart(p) + link;
    }
    return p;
}

int RemoveLeftoverTemps(const std::string& target) {
    const std::string folder = FolderPart(target);
    const TempNameParts parts = TempNameFor(NamePart(target));
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const bool ours =
            name.size() == parts.prefix.size() + RandomChars + parts.suffix.size() &&
            name.compare(0, parts.prefix.size(), parts.prefix) == 0 &&
            name.compare(name.size() - parts.suffix.size(), parts.suffix.size(), parts.suffix) == 0;
        if (!ours && !IsTempName(name)) continue;
        const std::string path = folder + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        // A writer that is still running holds its lock; a killed one released it. Another
        // target's file must also have lain untouched for the hour, since a writer on another
        // machine sharing the folder may hold a lock this one cannot see.
        struct stat st {};
        const bool stale = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                           (ours || now - st.st_mtime >= LeftoverTempSeconds);
        if (stale && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void IgnoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Fail(const char* what, int err) {
    if (!m_failed) m_error = std::string(what) + " " + m_target + ": " + std::strerror(err);
    m_failed = true;
}

bool AtomicFile::Open(const std::string& target) {
    Discard();
    m_failed = false;
    m_error.clear();
    m_target = ResolveWriteTarget(target);
    const std::string name = NamePart(m_target);
    if (name.empty()) {
        Fail("cannot write", EISDIR);
        return false;
    }
    // Devices and pipes (/dev/null, /dev/full, a terminal) are written as they are: there is
    // nothing to replace, and renaming over them would remove the device.
    struct stat st {};
    if (::stat(m_target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        const int fd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            Fail("cannot write", errno);
            return false;
        }
        m_fd = fd;
        m_direct = true;
        return true;
    }
    RemoveLeftoverTemps(m_target);
    const TempNameParts parts = TempNameFor(name);
    for (int attempt = 0; attempt < CreateAttempts; ++attempt) {
        std::string temp =
            FolderPart(m_target) + parts.prefix + std::string(RandomChars, 'X') + parts.suffix;
        const int fd = ::mkostemps(temp.data(), static_cast<int>(parts.suffix.size()), O_CLOEXEC);
        if (fd < 0) {
            Fail("cannot create a file beside", errno);
            return false;
        }
        ::flock(fd, LOCK_EX);
        // Another writer's sweep may have taken the new file for a leftover in the moment
        // before it was locked; once locked and still in place under its name, it is ours.
        if (!NameStillLeadsTo(temp, fd)) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_temp = temp;
        return true;
    }
    Fail("cannot create a file beside", EEXIST);
    return false;
}

bool AtomicFile::Write(const void* data, size_t n) {
    if (m_fd < 0) {
        Fail("cannot write", EBADF);
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t w = ::write(m_fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write", errno);
            return false;
        }
        if (w == 0) {
            Fail("cannot write", ENOSPC);
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return !m_failed;
}

bool AtomicFile::Commit() {
    if (m_fd < 0) {
        if (!m_failed) Fail("cannot write", EBADF);
        return false;
    }
    if (m_direct) {
        if (::close(m_fd) != 0 && !m_failed) Fail("cannot write", errno);
        m_fd = -1;
        m_direct = false;
        return !m_failed;
    }
    if (!m_failed && ::fsync(m_fd) != 0) Fail("cannot write", errno);
    struct stat st {};
    const mode_t mode = ::stat(m_target.c_str(), &st) == 0 ? (st.st_mode & 07777) : NewFileMode();
    if (!m_failed && ::fchmod(m_fd, mode) != 0) Fail("cannot write", errno);
    // The lock is held until the rename is done: a sweep by another writer never takes a
    // finished temporary for a leftover in the moment between closing and renaming it.
    if (!m_failed && ::rename(m_temp.c_str(), m_target.c_str()) != 0) Fail("cannot replace", errno);
    // The bytes were synced before the rename, so a late close error changes nothing on disk.
    if (m_failed) ::unlink(m_temp.c_str());
    ::close(m_fd);
    m_fd = -1;
    if (m_failed) {
        m_temp.clear();
        return false;
    }
    m_temp.clear();
    // The rename itself reaches the disk with the folder.
    const std::string folder = FolderPart(m_target);
    const int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool AtomicFile::CommitAs(const std::string& target) {
    if (!m_direct && m_fd >= 0) m_target = ResolveWriteTarget(target);
    return Commit();
}

void AtomicFile::Discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_direct = false;
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    m_temp.clear();
}

bool WriteFileAtomically(const std::string& target, const void* data, size_t n,
                         std::string* error) {
    AtomicFile file;
    const bool ok = file.Open(target) && file.Write(data, n) && file.Commit();
    if (!ok && error) *error = file.Error();
    return ok;
}

}  // namespace kv::os
