// RunLock on Windows: the file is open with an exclusive byte-range lock (LockFileEx), which the
// system drops when the process ends; the handle shares deletion, so the file can be renamed and
// removed while held.
#include <windows.h>

#include <cstdio>
#include <random>

#include "platform/os/run_lock.h"
#include "platform/os/win_text.h"

namespace kv::os {

namespace {

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "\\" + name;
}

HANDLE OpenShared(const std::string& path, DWORD creation) {
    return CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, creation,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool TryLock(HANDLE h) {
    OVERLAPPED o{};
    return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o) != 0;
}

}  // namespace

RunLock::~RunLock() {
    Release();
}

bool RunLock::Take(const std::string& folder, const std::string& prefix) {
    Release();
    std::random_device rd;
    char tail[48];
    std::snprintf(tail, sizeof tail, "%lu-%08x", static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned>(rd()));
    const std::string name = prefix + tail + ".lock";
    const std::string temp = Join(folder, "." + name + ".new");
    HANDLE h = OpenShared(temp, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) return false;
    if (!TryLock(h) || !MoveFileExW(Widen(temp).c_str(), Widen(Join(folder, name)).c_str(), 0)) {
        CloseHandle(h);
        DeleteFileW(Widen(temp).c_str());
        return false;
    }
    m_handle = h;
    m_name = name;
    m_path = Join(folder, name);
    return true;
}

void RunLock::Release() {
    if (!m_handle) return;
    DeleteFileW(Widen(m_path).c_str());
    CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
    m_name.clear();
    m_path.clear();
}

bool RunLock::Held() const {
    return m_handle != nullptr;
}

bool RunLockHeld(const std::string& path) {
    HANDLE h = OpenShared(path, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool held = !TryLock(h);
    CloseHandle(h);
    return held;
}

int RemoveDeadRunLocks(const std::string& folder, const std::string& prefix) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Widen(Join(folder, prefix + "*.lock")).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int removed = 0;
    do {
        const std::string path = Join(folder, Narrow(found.cFileName));
        HANDLE h = OpenShared(path, OPEN_EXISTING);
        if (h == INVALID_HANDLE_VALUE) continue;
        if (TryLock(h) && DeleteFileW(Widen(path).c_str())) ++removed;
        CloseHandle(h);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return removed;
}

}  // namespace kv::os
