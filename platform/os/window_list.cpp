// The desktop window list as a folder of entry files.
//
// Entry "<pid>-<windowId>.win" holds the owner's process start time on the first line and the
// title after it. The start time (from /proc) tells a live owner from a process that merely got
// the same id after the owner ended. Entries are written to a temporary name and renamed, so a
// reader sees either the old or the new entry, never half of one. A bring-forward request is
// the empty file "<pid>-<windowId>.raise".
#include "platform/os/window_list.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kv {

namespace {

void MakeFolders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
        }
    }
}

// The start time of a process in clock ticks since boot (field 22 of /proc/<pid>/stat), or ""
// when it cannot be read.
std::string StartTimeOf(int32_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return "";
    char buf[1024];
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    // The command name (field 2) may hold spaces and parentheses; fields after it follow the
    // last ')'.
    const char* p = std::strrchr(buf, ')');
    if (!p) return "";
    ++p;
    // Field 3 is the first after ')'; the start time is field 22.
    for (int field = 3; field < 22; ++field) {
        while (*p == ' ') ++p;
        while (*p && *p != ' ') ++p;
        if (!*p) return "";
    }
    while (*p == ' ') ++p;
    const char* end = p;
    while (*end >= '0' && *end <= '9') ++end;
    return std::string(p, end);
}

bool ProcessAlive(int32_t pid) {
    if (pid <= 0) return false;
    return kill(pid, 0) == 0 || errno == EPERM;
}

std::string EntryName(int32_t pid, uint64_t windowId, const char* ext) {
    char name[64];
    std::snprintf(name, sizeof name, "%d-%llu.%s", static_cast<int>(pid),
                  static_cast<unsigned long long>(windowId), ext);
    return name;
}

bool ReadWhole(const std::string& path, std::string& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return true;
}

// Parses "<pid>-<id>.win"; false for any other name.
bool ParseEntryName(const char* name, int32_t& pid, uint64_t& windowId) {
    char* end = nullptr;
    errno = 0;
    long p = std::strtol(name, &end, 10);
    if (end == name || *end != '-' || errno || p <= 0 || p > INT32_MAX) return false;
    const char* idText = end + 1;
    unsigned long long id = std::strtoull(idText, &end, 10);
    if (end == idText || errno || std::strcmp(end, ".win") != 0) return false;
    pid = static_cast<int32_t>(p);
    windowId = id;
    return true;
}

// Reads one entry; false when it is unreadable or its owner is gone (the entry is then
// removed, together with its request file).
bool ReadEntry(const std::string& folder, const char* name, TopWindow& out) {
    int32_t pid;
    uint64_t id;
    if (!ParseEntryName(name, pid, id)) return false;
    const std::string path = folder + "/" + name;
    std::string text;
    if (!ReadWhole(path, text)) return false;
    size_t nl = text.find('\n');
    if (nl == std::string::npos) return false;
    const std::string recorded = text.substr(0, nl);
    bool alive = ProcessAlive(pid);
    if (alive && !recorded.empty()) {
        const std::string now = StartTimeOf(pid);
        if (!now.empty() && now != recorded) alive = false;  // the id was reused
    }
    if (!alive) {
        unlink(path.c_str());
        unlink((folder + "/" + EntryName(pid, id, "raise")).c_str());
        return false;
    }
    out.pid = pid;
    out.windowId = id;
    out.title = text.substr(nl + 1);
    return true;
}

std::atomic<uint32_t> g_tempCounter{0};

}  // namespace

std::string WindowListFolder() {
    std::string folder;
    if (const char* env = std::getenv("KINEVISTA_WINDOW_LIST"); env && *env) {
        folder = env;
    } else if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) {
        folder = std::string(run) + "/kinevista-windows";
    } else {
        folder = "/tmp/kinevista-" + std::to_string(getuid()) + "/windows";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    MakeFolders(folder);
    return folder;
}

bool RegisterTopWindow(const std::string& title, uint64_t windowId) {
    const std::string folder = WindowListFolder();
    const int32_t pid = static_cast<int32_t>(getpid());
    const std::string entry = folder + "/" + EntryName(pid, windowId, "win");
    const std::string temp = entry + ".tmp" + std::to_string(g_tempCounter.fetch_add(1));
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    const std::string text = StartTimeOf(pid) + "\n" + title;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), entry.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

void UnregisterTopWindow(uint64_t windowId) {
    const std::string folder = WindowListFolder();
    const int32_t pid = static_cast<int32_t>(getpid());
    unlink((folder + "/" + EntryName(pid, windowId, "win")).c_str());
    unlink((folder + "/" + EntryName(pid, windowId, "raise")).c_str());
}

std::vector<TopWindow> ListTopWindows() {
    std::vector<TopWindow> list;
    const std::string folder = WindowListFolder();
    DIR* dir = opendir(folder.c_str());
    if (!dir) return list;
    while (dirent* e = readdir(dir)) {
        TopWindow w;
        if (ReadEntry(folder, e->d_name, w)) list.push_back(std::move(w));
    }
    closedir(dir);
    return list;
}

bool FindTopWindow(const std::string& title, TopWindow* out) {
    for (TopWindow& w : ListTopWindows()) {
        if (w.title == title) {
            if (out) *out = std::move(w);
            return true;
        }
    }
    return false;
}

bool BringTopWindowForward(const TopWindow& window) {
    const std::string folder = WindowListFolder();
    TopWindow current;
    if (!ReadEntry(folder, EntryName(window.pid, window.windowId, "win").c_str(), current))
        return false;
    const std::string path = folder + "/" + EntryName(window.pid, window.windowId, "raise");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    return std::fclose(f) == 0;
}

bool TakeBringForwardRequest(uint64_t windowId) {
    const std::string path =
        WindowListFolder() + "/" + EntryName(static_cast<int32_t>(getpid()), windowId, "raise");
    return unlink(path.c_str()) == 0;
}

int32_t DispatchThreadMessages() {
    return 0;  // the X programs keep their queues to themselves
}

}  // namespace kv
