// The recovery copy of the show; see recovery.h.
#include "editor/ui/recovery.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "editor/ui/editor_context.h"
#include "platform/os/atomic_file.h"
#include "platform/os/public_folder.h"

namespace kv {

namespace {

// A line after the show block remembers the show's own file: "KVRECOVER" and the path.
constexpr const char* PathTag = "KVRECOVER";

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
    m_lastWritten = 0;
}

bool RecoveryCopy::Exists() const {
    return !m_path.empty() && ::access(m_path.c_str(), F_OK) == 0;
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
    std::string tail = std::string(PathTag) + show.showFile.path + "\n";
    block.insert(block.end(), tail.begin(), tail.end());
    if (!WriteFileReplacing(m_path, block.data(), block.size())) return false;
    m_lastWritten = Fingerprint(show);
    ++m_writes;
    return true;
}

bool RecoveryCopy::Write() {
    Show* show = Editor().show;
    return show && Write(*show);
}

void RecoveryCopy::KeysEdited() {
    Show* show = Editor().show;
    if (show && show->dirty) Write(*show);
}

void RecoveryCopy::Tick() {
    Show* show = Editor().show;
    if (show && show->dirty && Fingerprint(*show) != m_lastWritten) Write(*show);
}

void RecoveryCopy::AfterMessage() {
    Tick();
}

void RecoveryCopy::Rescue() {
    Show* show = Editor().show;
    if (show && show->dirty) Write(*show);
}

void RecoveryCopy::Remove() {
    if (!m_path.empty()) ::unlink(m_path.c_str());
    m_lastWritten = 0;
}

bool RecoveryCopy::LoadInto(Show& show) {
    std::FILE* f = std::fopen(m_path.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    // The show's own file, remembered after the block.
    std::string showFile;
    const std::string text(bytes.begin(), bytes.end());
    const size_t tag = text.rfind(PathTag);
    uint32_t blockSize = static_cast<uint32_t>(bytes.size());
    if (tag != std::string::npos) {
        showFile = text.substr(tag + std::strlen(PathTag));
        if (!showFile.empty() && showFile.back() == '\n') showFile.pop_back();
        blockSize = static_cast<uint32_t>(tag);
    }
    show.Reset();
    if (!Parse(show, bytes.data(), blockSize, true)) return false;
    show.showFile.SetPath(showFile.c_str());
    show.dirty = true;
    m_lastWritten = Fingerprint(show);
    return true;
}

}  // namespace kv
