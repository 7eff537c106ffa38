// AtomicFile over Windows calls: a new file in the target's folder, opened without delete
// sharing so that no one removes it while it is written, FlushFileBuffers, then
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) over the target.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/os/atomic_file.h"
#include "platform/os/win_text.h"

namespace kv::os {

namespace {

constexpr size_t RandomChars = 6;
constexpr size_t MaxKeptExtension = 32;
constexpr int CreateAttempts = 100;

std::string FolderPart(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

uint32_t NameHash(const std::string& name) {
    uint32_t h = 2166136261u;
    for (unsigned char c : name) h = (h ^ c) * 16777619u;
    return h;
}

std::string RandomPart() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 gen{std::random_device{}() ^
                                  static_cast<unsigned>(GetCurrentProcessId())};
    std::string out;
    for (size_t i = 0; i < RandomChars; ++i) out += letters[gen() % (sizeof letters - 1)];
    return out;
}

// errno-style number for a Windows error, for the messages the callers already show.
int ErrnoFor(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return ENOENT;
        default:
            return EIO;
    }
}

// A target that exists and is not a file on a disk (NUL, CON, a pipe) is written in place.
bool IsDevice(const std::string& path) {
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool device = GetFileType(h) != FILE_TYPE_DISK;
    CloseHandle(h);
    return device;
}

}  // namespace

size_t NameLimitFor(const std::string&) {
    return 255;
}

TempNameParts TempNameFor(const std::string& fileName) {
    std::string ext;
    const size_t dot = fileName.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && fileName.size() - dot <= MaxKeptExtension)
        ext = fileName.substr(dot);
    const std::string stem = fileName.substr(0, fileName.size() - ext.size());
    char hash[16];
    std::snprintf(hash, sizeof hash, "~kv%08x-", NameHash(fileName));
    const size_t fixed = 1 + std::strlen(hash) + RandomChars + ext.size();
    const size_t room = fixed < 255 ? 255 - fixed : 0;
    return {"." + stem.substr(0, room) + hash, ext};
}

std::string ResolveWriteTarget(const std::string& path) {
    return path;  // MoveFileEx replaces a link itself; the programs make no links on Windows
}

int RemoveLeftoverTemps(const std::string& target) {
    const std::string folder = FolderPart(target);
    const TempNameParts parts = TempNameFor(NamePart(target));
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Widen(folder + ".*~kv*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const uint64_t now = ticks(nowTime);
    int removed = 0;
    do {
        const std::string name = Narrow(found.cFileName);
        const bool ours =
            name.size() == parts.prefix.size() + RandomChars + parts.suffix.size() &&
            name.compare(0, parts.prefix.size(), parts.prefix) == 0 &&
            name.compare(name.size() - parts.suffix.size(), parts.suffix.size(), parts.suffix) == 0;
        if (!ours && !IsTempName(name)) continue;
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        // Another target's file must have lain untouched for the hour (file times count 100 ns),
        // since a writer on another machine sharing the folder may hold it open unseen.
        const uint64_t written = ticks(found.ftLastWriteTime);
        const uint64_t age = now > written ? (now - written) / 10000000u : 0;
        if (!ours && age < static_cast<uint64_t>(LeftoverTempSeconds)) continue;
        // A writer that still runs holds its file open without delete sharing: the delete
        // fails for it and succeeds for what a killed writer left.
        if (DeleteFileW(Widen(folder + name).c_str())) ++removed;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return removed;
}

bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        // Opening for no access still reads the identity; folders need the backup flag.
        HANDLE h = CreateFileW(Widen(*paths[i]).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const BOOL ok = GetFileInformationByHandle(h, &info[i]);
        CloseHandle(h);
        if (!ok) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

void IgnoreFileSizeSignal() {}  // a full disk or quota arrives as a write error on Windows

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
    if (IsDevice(m_target)) {
        const int fd = _wopen(Widen(m_target).c_str(), _O_WRONLY | _O_BINARY);
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
        const std::string temp = FolderPart(m_target) + parts.prefix + RandomPart() + parts.suffix;
        // Writers that open the temporary file by name (the movie writers) may read and write
        // it beside this handle; no one may delete or rename it while it is open.
        HANDLE h =
            CreateFileW(Widen(temp).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            Fail("cannot create a file beside", ErrnoFor(error));
            return false;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        if (fd < 0) {
            CloseHandle(h);
            DeleteFileW(Widen(temp).c_str());
            Fail("cannot create a file beside", EMFILE);
            return false;
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
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const DWORD chunk = static_cast<DWORD>(n > (1u << 30) ? (1u << 30) : n);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr)) {
            Fail("cannot write", ErrnoFor(GetLastError()));
            return false;
        }
        if (written == 0) {
            Fail("cannot write", ENOSPC);
            return false;
        }
        p += written;
        n -= written;
    }
    return !m_failed;
}

bool AtomicFile::Commit() {
    if (m_fd < 0) {
        if (!m_failed) Fail("cannot write", EBADF);
        return false;
    }
    if (m_direct) {
        if (_close(m_fd) != 0 && !m_failed) Fail("cannot write", errno);
        m_fd = -1;
        m_direct = false;
        return !m_failed;
    }
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (!m_failed && !FlushFileBuffers(h)) Fail("cannot write", ErrnoFor(GetLastError()));
    if (_close(m_fd) != 0 && !m_failed) Fail("cannot write", errno);
    m_fd = -1;
    if (!m_failed && !MoveFileExW(Widen(m_temp).c_str(), Widen(m_target).c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Fail("cannot replace", ErrnoFor(GetLastError()));
    if (m_failed) {
        DeleteFileW(Widen(m_temp).c_str());
        m_temp.clear();
        return false;
    }
    m_temp.clear();
    return true;
}

bool AtomicFile::CommitAs(const std::string& target) {
    if (!m_direct && m_fd >= 0) m_target = ResolveWriteTarget(target);
    return Commit();
}

void AtomicFile::Discard() {
    if (m_fd >= 0) _close(m_fd);
    m_fd = -1;
    m_direct = false;
    if (!m_temp.empty()) DeleteFileW(Widen(m_temp).c_str());
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
