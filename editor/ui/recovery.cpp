// The recovery copy of the show; see recovery.h.
#include "editor/ui/recovery.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "editor/ui/session/edit_session.h"
#include "platform/os/atomic_file.h"
#include "platform/os/public_folder.h"
#include "platform/os/utf8_names.h"

namespace kv {

namespace {

// A line after the show block remembers the show's own file: "KVRECOVER" and the path; the next
// line the show the copy belongs to: "KVOWNER" and its identity.
constexpr const char* PathTag = "KVRECOVER";
constexpr const char* OwnerTag = "\nKVOWNER";
// Numbered names tried after the first when the first holds another show's copy.
constexpr int MaxCopies = 16;

uint64_t Fnv1a(const uint8_t* data, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

bool ReadBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    std::FILE* f = os::OpenFile(path, "rb");
    if (!f) return false;
    bytes.clear();
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return true;
}

// The identity of a stand-alone show.
std::string ShowOwner(const std::string& showPath) {
    return showPath.empty() ? std::string("untitled") : showPath;
}

// What follows the show block: the show's path and the owner. A copy written before copies named
// their owner belongs to its show's path (or "untitled").
struct CopyTail {
    size_t blockSize = 0;
    std::string showPath;
    std::string owner;
};

CopyTail ReadTail(const std::vector<uint8_t>& bytes) {
    CopyTail t;
    const std::string text(bytes.begin(), bytes.end());
    t.blockSize = bytes.size();
    const size_t tag = text.rfind(PathTag);
    if (tag == std::string::npos) {
        t.owner = ShowOwner("");
        return t;
    }
    t.blockSize = tag;
    std::string rest = text.substr(tag + std::strlen(PathTag));
    const size_t owner = rest.find(OwnerTag);
    if (owner != std::string::npos) {
        t.owner = rest.substr(owner + std::strlen(OwnerTag));
        rest.erase(owner);
        if (!t.owner.empty() && t.owner.back() == '\n') t.owner.pop_back();
    }
    if (!rest.empty() && rest.back() == '\n') rest.pop_back();
    t.showPath = rest;
    if (owner == std::string::npos) t.owner = ShowOwner(t.showPath);
    return t;
}

}  // namespace

RecoveryCopy& Recovery() {
    static RecoveryCopy copy;
    return copy;
}

// Through the one file writer of the programs: the old copy stays whole until the new one is
// complete, on every system (a plain rename does not replace an existing file on Windows).
bool WriteFileReplacing(const std::string& path, const void* data, size_t size) {
    os::AtomicFile file;
    return file.Open(path) && file.Write(data, size) && file.Commit();
}

void RecoveryCopy::Configure(bool hostMode) {
    m_path = hostMode ? PublicPath("kvdata-recovery.kvx") : PublicPath("Kinevista-recovery.kvx");
    m_host = hostMode;
    m_hostOwner.clear();
    if (hostMode) {
        std::vector<uint8_t> bytes;
        ReadBytes(ExchangePath(), bytes);
        char hex[24];
        std::snprintf(hex, sizeof hex, "%016llx",
                      static_cast<unsigned long long>(Fnv1a(bytes.data(), bytes.size())));
        m_hostOwner = std::string("exchange:") + hex;
    }
    m_lastWritten = 0;
    m_written.clear();
}

std::string RecoveryCopy::Owner() const {
    if (m_host) return m_hostOwner;
    const Show* show = Session().GetShow();
    return ShowOwner(show ? show->showFile.path : "");
}

const std::string& RecoveryCopy::Path() const {
    return PathFor(Owner());
}

const std::string& RecoveryCopy::PathFor(const std::string& owner) const {
    m_found = m_path;
    if (m_path.empty()) return m_found;
    const size_t dot = m_path.rfind('.');
    std::string firstFree;
    for (int i = 1; i <= MaxCopies; ++i) {
        const std::string p =
            i == 1 ? m_path : m_path.substr(0, dot) + "-" + std::to_string(i) + m_path.substr(dot);
        std::vector<uint8_t> bytes;
        if (!ReadBytes(p, bytes)) {
            if (firstFree.empty()) firstFree = p;
            continue;
        }
        if (ReadTail(bytes).owner == owner) {
            m_found = p;
            return m_found;
        }
    }
    // With every name taken by other shows the last one is reused.
    m_found = firstFree.empty()
                  ? m_path.substr(0, dot) + "-" + std::to_string(MaxCopies) + m_path.substr(dot)
                  : firstFree;
    return m_found;
}

bool RecoveryCopy::Exists() const {
    if (m_path.empty()) return false;
    const std::string& p = Path();
    return ::access(p.c_str(), F_OK) == 0;
}

uint64_t RecoveryCopy::Fingerprint(const Show& show) const {
    // FNV-1a over what a copy holds: the keys, the picture's path and the treatments.
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* data, size_t n) {
        const auto* b = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    };
    const Picture& pic = show.pictures[0];
    const int n = pic.keyCount < 0                   ? 0
                  : pic.keyCount > MaxKeysPerPicture ? MaxKeysPerPicture
                                                     : pic.keyCount;
    mix(&n, sizeof n);
    for (int k = 0; k < n; ++k) mix(&pic.keys[k], offsetof(KeyFrame, undoPicture));
    mix(pic.fileSpec.path, std::strlen(pic.fileSpec.path));
    mix(&show.pictureCount, sizeof show.pictureCount);
    mix(&show.EaseType, sizeof show.EaseType);
    mix(&show.MatteColor, sizeof show.MatteColor);
    mix(&show.BorderSize, sizeof show.BorderSize);
    mix(&show.PreBlur, sizeof show.PreBlur);
    mix(&show.ContrastBrightness, sizeof show.ContrastBrightness);
    return h | 1;  // never 0, which stands for "nothing written"
}

bool RecoveryCopy::Write(Show& show) {
    if (m_path.empty()) return false;
    // Serialising changes the show (lone keys doubled, a new show id, dirty cleared): the copy
    // is taken from a snapshot that is put back afterwards.
    const Picture saved = show.pictures[0];
    const uint16_t id = show.showId;
    const bool dirty = show.dirty;
    const uint32_t size = Serialise(show, nullptr);
    std::vector<uint8_t> block(size);
    Serialise(show, block.data());
    show.pictures[0] = saved;
    show.showId = id;
    show.dirty = dirty;
    const std::string owner = m_host ? m_hostOwner : ShowOwner(show.showFile.path);
    std::string tail = std::string(PathTag) + show.showFile.path + OwnerTag + owner + "\n";
    block.insert(block.end(), tail.begin(), tail.end());
    const std::string path = PathFor(owner);
    if (!WriteFileReplacing(path, block.data(), block.size())) return false;
    // The show took a new name (the owner changed): the copy under the old name is this run's
    // too and goes.
    if (!m_written.empty() && m_written != path) ::unlink(m_written.c_str());
    m_written = path;
    m_lastWritten = Fingerprint(show);
    ++m_writes;
    return true;
}

bool RecoveryCopy::Write() {
    Show* show = Session().GetShow();
    return show && Write(*show);
}

void RecoveryCopy::KeysEdited() {
    Show* show = Session().GetShow();
    if (show && show->dirty) Write(*show);
}

void RecoveryCopy::Tick() {
    Show* show = Session().GetShow();
    if (show && show->dirty && Fingerprint(*show) != m_lastWritten) Write(*show);
}

void RecoveryCopy::AfterMessage() {
    Tick();
}

void RecoveryCopy::Rescue() {
    Show* show = Session().GetShow();
    if (show && show->dirty) Write(*show);
}

void RecoveryCopy::Remove() {
    // Only this show's copy (and the one this run wrote, whatever the show is called now):
    // another show's stays for its own run.
    if (!m_written.empty()) ::unlink(m_written.c_str());
    m_written.clear();
    if (Exists()) ::unlink(m_found.c_str());
    m_lastWritten = 0;
}

bool RecoveryCopy::LoadInto(Show& show) {
    std::vector<uint8_t> bytes;
    if (!Exists() || !ReadBytes(m_found, bytes)) return false;
    // The show's own file, remembered after the block.
    const CopyTail tail = ReadTail(bytes);
    const std::string showFile = tail.showPath;
    const uint32_t blockSize = static_cast<uint32_t>(tail.blockSize);
    show.Reset();
    if (!Parse(show, bytes.data(), blockSize, true)) return false;
    show.showFile.SetPath(showFile.c_str());
    show.dirty = true;
    m_lastWritten = Fingerprint(show);
    return true;
}

}  // namespace kv
