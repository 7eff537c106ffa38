// Process start over CreateProcess. The process handle is kept until the process is seen to
// have ended, so a later process that gets the same id is never taken for it.
#include <windows.h>

#include <map>
#include <mutex>

#include "platform/os/process.h"
#include "platform/os/win_text.h"

namespace kv {

namespace {

std::mutex g_lock;
std::map<int32_t, HANDLE>& Started() {
    static std::map<int32_t, HANDLE> started;  // the handles of processes not yet seen to end
    return started;
}

// One argument quoted so that the C run-time's command-line reading gives it back unchanged.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

}  // namespace

int32_t StartProcess(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty()) return -1;
    const std::wstring path = os::Widen(program);
    std::wstring line = Quote(path);
    for (const std::string& a : args) line += L" " + Quote(os::Widen(a));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return -1;
    CloseHandle(pi.hThread);
    const int32_t pid = static_cast<int32_t>(pi.dwProcessId);
    std::lock_guard<std::mutex> hold(g_lock);
    if (auto old = Started().find(pid); old != Started().end()) CloseHandle(old->second);
    Started()[pid] = pi.hProcess;
    return pid;
}

bool ProcessRunning(int32_t pid) {
    if (pid <= 0) return false;
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = Started().find(pid);
    if (it == Started().end()) {
        // Not started here: ask the system.
        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
        if (!h) return false;
        const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
        CloseHandle(h);
        return running;
    }
    if (WaitForSingleObject(it->second, 0) == WAIT_TIMEOUT) return true;
    CloseHandle(it->second);
    Started().erase(it);
    return false;
}

void SleepMilliseconds(int32_t ms) {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

}  // namespace kv
