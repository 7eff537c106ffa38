// AtomicFile: the one way the programs write a file. The bytes go into a temporary file in the
// target's folder; every write is checked, the file is flushed and synced, and only then renamed
// over the target. On any failure the temporary file is removed and the target is left as it was,
// so a reader always finds either the old or the new complete file.
//
// A symbolic link as target is followed: the file it points to is replaced, the link stays.
// A target that exists and is not a regular file (a device such as /dev/full, a pipe) is
// written in place, with every write still checked.
// Temporary names follow one pattern, "." + (part of) the target's name + "~kv" + a hash of the
// full name + "-" + six random characters + the target's extension, so that writers that choose
// a container by extension still do, no valid name is pushed over the name limit, and files left
// by a killed process are recognised: at the next write to the same target, and at any write
// into the same folder once they are an hour old. A writer holds an advisory lock on its
// temporary file (on Windows: it is open without delete sharing); only unlocked ones are taken
// for leftovers. The hour covers folders shared by several machines, where a lock taken on one
// may not be seen on another: a file still being written is never an hour old.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::os {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // discards whatever was not committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file for `target`; false (Error() says why) when it cannot.
    bool Open(const std::string& target);
    // Appends bytes; every failure (short write, full disk, file-size limit) is kept, so a
    // caller may check once at Commit.
    bool Write(const void* data, size_t n);
    // Syncs, closes and renames over the target; false (temporary removed) on any failure,
    // including an earlier failed Write.
    bool Commit();
    // Commit under another name in the target's folder (the temporary is renamed, so the
    // folder must be the same); the target given at Open stays as it was.
    bool CommitAs(const std::string& target);
    // Removes the temporary file; the target stays as it was.
    void Discard();

    bool IsOpen() const { return m_fd >= 0; }
    bool Failed() const { return m_failed; }
    // The file the bytes go to until Commit, for writers that open a path themselves (the
    // target itself when it is a device or pipe).
    const std::string& TempPath() const { return m_direct ? m_target : m_temp; }
    // The file that Commit replaces (a symbolic link's target, resolved).
    const std::string& Target() const { return m_target; }
    const std::string& Error() const { return m_error; }

private:
    void Fail(const char* what, int err);

    int m_fd = -1;
    bool m_failed = false;
    bool m_direct = false;  // a device or pipe, written in place
    std::string m_target;
    std::string m_temp;
    std::string m_error;
};

// Writes the bytes through an AtomicFile; false (message in *error when given) on any failure.
bool WriteFileAtomically(const std::string& target, const void* data, size_t n,
                         std::string* error = nullptr);

// The temporary name pattern for a file name (no folder): prefix and suffix around the six
// random characters. Exposed for tests that look for leftovers.
struct TempNameParts {
    std::string prefix;
    std::string suffix;
};
TempNameParts TempNameFor(const std::string& fileName);

// Removes the temporary files killed writers left in the folder of `target`: those for `target`
// itself, and those for any other name once unchanged for LeftoverTempSeconds. Locked ones are
// in use and stay. Returns how many were removed.
int RemoveLeftoverTemps(const std::string& target);
constexpr int64_t LeftoverTempSeconds = 3600;

// Whether a file name (no folder) is a temporary name of this pattern for some target: its hash
// must be that of the name it was made for, so a user's file that merely looks alike is not.
bool IsTempName(const std::string& fileName);

// Where a write to `path` really goes: symbolic links followed (up to 40) to the final file.
std::string ResolveWriteTarget(const std::string& path);

// Whether both paths name one existing file (links and "." followed): the same device and inode,
// or on Windows the same volume and file index. False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// A file-size limit then arrives as a write error (EFBIG) rather than a signal that ends the
// process with the old file already truncated.
void IgnoreFileSizeSignal();

// The longest file name the file system takes in the folder of `path`.
size_t NameLimitFor(const std::string& path);

}  // namespace kv::os
