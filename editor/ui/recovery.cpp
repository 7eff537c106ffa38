// The recovery copy of the show; see recovery.h.
#include "editor/ui/recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/show/picture_lookup.h"
#include "core/show/show.h"
#include "editor/ui/session/edit_session.h"
#include "platform/os/atomic_file.h"
#include "platform/os/public_folder.h"
#include "platform/os/stop_signals.h"
#include "platform/os/utf8_names.h"

namespace kv {

namespace fs = std::filesystem;

namespace {

// Lines after the show block: "KVRECOVER" and the show's own file, then "KVOWNER" and the show
// the copy belongs to, "KVFOLDER" and the show's folder, "KVRUN" and the lock file of the run
// that wrote it. Copies of older programs stop after the owner, or after the path.
constexpr const char* PathTag = "KVRECOVER";
constexpr const char* OwnerTag = "KVOWNER";
constexpr const char* FolderTag = "KVFOLDER";
constexpr const char* RunTag = "KVRUN";
constexpr const char* LockPrefix = "Kinevista-run-";
// A copy is a show block (at most the editor's save buffer) and a few lines; anything longer is
// not read as one.
constexpr size_t MaxCopyBytes = 64 * 1024;
// Numbered names tried for a new copy.
constexpr int MaxCopies = 999;

uint64_t Fnv1a(const uint8_t* data, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// The whole file when it is at most `limit` bytes.
bool ReadBytes(const std::string& path, std::vector<uint8_t>& bytes, size_t limit) {
    std::FILE* f = os::OpenFile(path, "rb");
    if (!f) return false;
    bytes.clear();
    uint8_t buf[4096];
    size_t n;
    bool fits = true;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes.size() + n > limit) {
            fits = false;
            break;
        }
        bytes.insert(bytes.end(), buf, buf + n);
    }
    std::fclose(f);
    return fits;
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// What follows the show block.
struct CopyTail {
    size_t blockSize = 0;
    std::string showPath;
    std::string owner;
    std::string folder;
    std::string run;
};

CopyTail ReadTail(const std::vector<uint8_t>& bytes) {
    CopyTail t;
    const std::string text(bytes.begin(), bytes.end());
    t.blockSize = bytes.size();
    const size_t tag = text.rfind(PathTag);
    if (tag == std::string::npos) {
        t.owner = StandAloneOwner("");
        return t;
    }
    t.blockSize = tag;
    const std::string rest = text.substr(tag + std::strlen(PathTag));
    bool haveOwner = false;
    size_t at = 0;
    for (int line = 0; at <= rest.size(); ++line) {
        size_t end = rest.find('\n', at);
        if (end == std::string::npos) end = rest.size();
        const std::string l = rest.substr(at, end - at);
        at = end + 1;
        if (line == 0) {
            t.showPath = l;
        } else if (StartsWith(l, OwnerTag)) {
            t.owner = l.substr(std::strlen(OwnerTag));
            haveOwner = true;
        } else if (StartsWith(l, FolderTag)) {
            t.folder = l.substr(std::strlen(FolderTag));
        } else if (StartsWith(l, RunTag)) {
            t.run = l.substr(std::strlen(RunTag));
        }
    }
    // Copies from before owners belong to their show's path (or "untitled").
    if (!haveOwner) t.owner = StandAloneOwner(t.showPath);
    return t;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

bool NonEmptyFile(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return !ec && size > 0;
}

}  // namespace

std::string StandAloneOwner(const std::string& showPath) {
    if (showPath.empty()) return "untitled";
    // The same show opened by another name (relative, with "..") is the same show.
    std::error_code ec;
    const fs::path full = fs::absolute(showPath, ec);
    return ec ? showPath : full.lexically_normal().string();
}

std::string UnwritableFolderMessage(const std::string& folder) {
    return "The folder " + folder +
           " cannot be written.\nSettings changed now will not be kept, nor a recovery copy of "
           "unsaved work.";
}

namespace {

// The copy the running editor's application object lends (null when none runs).
RecoveryCopy*& LentRecovery() {
    static RecoveryCopy* lent = nullptr;
    return lent;
}

}  // namespace

RecoveryCopy& Recovery() {
    if (RecoveryCopy* lent = LentRecovery()) return *lent;
    static RecoveryCopy standBy(Session());
    return standBy;
}

void UseRecovery(RecoveryCopy* copy) {
    LentRecovery() = copy;
}

// Through the one file writer of the programs: the old copy stays whole until the new one is
// complete, on every system (a plain rename does not replace an existing file on Windows).
bool WriteFileReplacing(const std::string& path, const void* data, size_t size) {
    os::AtomicFile file;
    return file.Open(path) && file.Write(data, size) && file.Commit();
}

void RecoveryCopy::Configure(bool hostMode) {
    m_folder = PublicFolder();
    m_stem = hostMode ? "kvdata-recovery" : "Kinevista-recovery";
    m_host = hostMode;
    m_configured = true;
    m_hostOwner.clear();
    if (hostMode) {
        std::vector<uint8_t> bytes;
        ReadBytes(ExchangePath(), bytes, MaxCopyBytes);
        char hex[24];
        std::snprintf(hex, sizeof hex, "%016llx",
                      static_cast<unsigned long long>(Fnv1a(bytes.data(), bytes.size())));
        m_hostOwner = std::string("exchange:") + hex;
    }
    os::RemoveDeadRunLocks(m_folder, LockPrefix);
    m_lock.Take(m_folder, LockPrefix);
    m_lastWritten = 0;
    m_declined = 0;
    m_written.clear();
    m_leftFile.clear();
    m_leftPrint = 0;
}

void RecoveryCopy::EndRun() {
    m_lock.Release();
}

std::string RecoveryCopy::Owner() const {
    if (m_host) return m_hostOwner;
    const Show* show = m_session.GetShow();
    return StandAloneOwner(show ? show->showFile.path : "");
}

std::string RecoveryCopy::NumberedName(int i) const {
    return JoinPath(m_folder, i == 1 ? m_stem + ".kvx" : m_stem + "-" + std::to_string(i) + ".kvx");
}

const std::string& RecoveryCopy::Path() const {
    if (!m_written.empty()) return m_written;
    m_found.clear();
    if (!m_configured) return m_found;
    std::error_code ec;
    for (int i = 1; i <= MaxCopies; ++i) {
        m_found = NumberedName(i);
        if (!fs::exists(m_found, ec)) break;
    }
    return m_found;
}

std::string RecoveryCopy::ClaimName() const {
    if (!m_configured) return "";
    std::error_code ec;
    for (int i = 1; i <= MaxCopies; ++i) {
        const std::string p = NumberedName(i);
        if (fs::exists(p, ec)) continue;
        // Created exclusively: two runs choosing at once cannot both take one name. The empty
        // file is no copy for anyone until the copy replaces it.
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            ::close(fd);
            return p;
        }
    }
    return "";
}

bool RecoveryCopy::Exists() const {
    return !m_written.empty() && NonEmptyFile(m_written);
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
    mix(show.showFile.path, std::strlen(show.showFile.path));
    mix(&show.pictureCount, sizeof show.pictureCount);
    for (size_t i = 0; i < ShowOptionRowCount(); ++i) {
        const double value = ShowOptionRows()[i].get(show.Options());
        mix(&value, sizeof value);
    }
    return h | 1;  // never 0, which stands for "nothing written"
}

bool RecoveryCopy::Unanswered(const Show& show) const {
    return show.dirty && Fingerprint(show) != m_declined;
}

bool RecoveryCopy::Write(const Show& show) {
    if (!m_configured) return false;
    // The block as a save would write it; the show itself stays unsaved.
    std::vector<uint8_t> block(BuildShowBlock(show, 0, nullptr));
    BuildShowBlock(show, NewShowId(show), block.data());
    const uint64_t print = Fingerprint(show);
    std::error_code ec;
    const std::string folder =
        show.showFolder.empty() ? std::string() : fs::absolute(show.showFolder, ec).string();
    const std::string owner = m_host ? m_hostOwner : StandAloneOwner(show.showFile.path);
    const std::string tail = std::string(PathTag) + show.showFile.path + "\n" + OwnerTag + owner +
                             "\n" + FolderTag + folder + "\n" + RunTag + m_lock.Name() + "\n";
    block.insert(block.end(), tail.begin(), tail.end());
    // The show a replaced show's copy holds came back (a batch that loaded nothing): that copy
    // is this run's again.
    if (m_written.empty() && !m_leftFile.empty() && print == m_leftPrint) m_written = m_leftFile;
    bool claimed = false;
    if (m_written.empty()) {
        m_written = ClaimName();
        claimed = true;
        if (m_written.empty()) return false;
    }
    if (!WriteFileReplacing(m_written, block.data(), block.size())) {
        if (claimed) {
            ::remove(m_written.c_str());
            m_written.clear();
        }
        return false;
    }
    m_lastWritten = print;
    ++m_writes;
    return true;
}

bool RecoveryCopy::Write() {
    Show* show = m_session.GetShow();
    return show && Write(*show);
}

void RecoveryCopy::KeysEdited() {
    Show* show = m_session.GetShow();
    if (show && Unanswered(*show)) Write(*show);
}

void RecoveryCopy::Tick() {
    Show* show = m_session.GetShow();
    if (show && Unanswered(*show) && Fingerprint(*show) != m_lastWritten) Write(*show);
}

void RecoveryCopy::AfterMessage() {
    Tick();
}

void RecoveryCopy::Rescue() {
    Show* show = m_session.GetShow();
    if (show && Unanswered(*show)) Write(*show);
}

void RecoveryCopy::Remove() {
    if (!m_written.empty()) ::remove(m_written.c_str());
    m_written.clear();
    m_lastWritten = 0;
}

void RecoveryCopy::Declined() {
    // A question ended by a request from outside (its loop saw the quit message) was answered
    // by no one.
    if (os::StopSignal() != 0) return;
    Show* show = m_session.GetShow();
    m_declined = show ? Fingerprint(*show) : 0;
    Remove();
}

void RecoveryCopy::ShowReplaced() {
    Show* show = m_session.GetShow();
    if (show && Unanswered(*show) && Write(*show)) {
        // Left on disk, still this run's until it ends; the next show gets a file of its own.
        m_leftFile = m_written;
        m_leftPrint = m_lastWritten;
        m_written.clear();
        m_lastWritten = 0;
    } else {
        Remove();
    }
    m_declined = 0;
}

void RecoveryCopy::Finish() {
    Show* show = m_session.GetShow();
    if (show && Unanswered(*show))
        Write(*show);
    else
        Remove();
    EndRun();
}

std::vector<RecoveryCopy::LeftCopy> RecoveryCopy::LeftBehind(const std::string& owner) const {
    struct Found {
        LeftCopy copy;
        fs::file_time_type time;
    };
    std::vector<Found> found;
    std::error_code ec;
    if (!m_configured) return {};
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!StartsWith(name, m_stem.c_str()) || name.size() < 4 ||
            name.compare(name.size() - 4, 4, ".kvx") != 0)
            continue;
        const std::string file = it->path().string();
        if (file == m_written || file == m_leftFile) continue;
        std::vector<uint8_t> bytes;
        // A copy starts with a show block (in either byte order); anything else under the name
        // is no copy.
        if (!ReadBytes(file, bytes, MaxCopyBytes) || bytes.size() < 8 ||
            !((bytes[0] == 0x34 && bytes[1] == 0x12) || (bytes[0] == 0x12 && bytes[1] == 0x34)))
            continue;
        const CopyTail tail = ReadTail(bytes);
        if (!owner.empty() && tail.owner != owner) continue;
        // A live run's copy is its own.
        if (!tail.run.empty() && os::RunLockHeld(JoinPath(m_folder, tail.run))) continue;
        std::error_code tec;
        found.push_back({{file, tail.showPath, tail.owner}, fs::last_write_time(file, tec)});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.time > b.time; });
    std::vector<LeftCopy> out;
    for (const Found& f : found) out.push_back(f.copy);
    return out;
}

bool RecoveryCopy::LoadCopyFile(const std::string& file, Show& show) {
    std::vector<uint8_t> bytes;
    if (!ReadBytes(file, bytes, MaxCopyBytes) || bytes.empty()) return false;
    const CopyTail tail = ReadTail(bytes);
    show.Reset();
    // Before Parse: the picture is looked for where the show itself would look (its folder);
    // copies that did not record it have the folder of their show's file.
    show.showFolder = !tail.folder.empty()     ? tail.folder
                      : !tail.showPath.empty() ? FolderOfShowFile(tail.showPath)
                                               : std::string();
    if (!Parse(show, bytes.data(), static_cast<uint32_t>(tail.blockSize), true)) return false;
    show.showFile.SetPath(tail.showPath.c_str());
    // The recovered changes were never saved.
    show.MarkChanged();
    return true;
}

bool RecoveryCopy::LoadInto(Show& show) {
    if (!Exists() || !LoadCopyFile(m_written, show)) return false;
    m_lastWritten = Fingerprint(show);
    return true;
}

bool RecoveryCopy::Adopt(const LeftCopy& copy, Show& show) {
    if (!LoadCopyFile(copy.file, show)) return false;
    // This run's now: rewritten at once under this run's lock, so no other run offers it.
    Remove();
    m_written = copy.file;
    m_declined = 0;
    Write(show);
    return true;
}

void RecoveryCopy::Drop(const LeftCopy& copy) {
    ::remove(copy.file.c_str());
}

bool OfferLeftCopies(RecoveryCopy& recovery, Show& show, const std::string& owner) {
    for (const RecoveryCopy::LeftCopy& copy : recovery.LeftBehind(owner)) {
        std::string question = "Recover the unsaved show?";
        // Without a show of its own the start offers every show's copy: each says which.
        if (owner.empty())
            question += "\n\n" + (copy.showPath.empty() ? std::string("(a show never saved)")
                                                        : copy.showPath);
        if (AskYesNo(question.c_str(), "Kinevista")) {
            if (recovery.Adopt(copy, show)) return true;
            Alert("The unsaved show could not be read.");
            continue;
        }
        recovery.Drop(copy);
    }
    return false;
}

}  // namespace kv
