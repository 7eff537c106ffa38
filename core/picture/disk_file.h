// DiskFile: a binary file stream opened from a FileSpec.
//
// It never raises: failures are false or -1 results. It keeps a copy of the FileSpec it was
// last opened with, from which the picture readers take the path.
//
// OpenWrite goes through os::AtomicFile: the bytes land in a temporary file beside the target
// and Close puts them in place only when every write succeeded; otherwise the old file stays.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/base/records.h"

namespace kv::os {
class AtomicFile;
}

namespace kv {

class DiskFile {
public:
    enum Flags : int32_t { OpenRead = 1, OpenWrite = 2, OpenAppend = 8 };
    enum Origin : int32_t { FromStart = 0, FromEnd = 1, FromCurrent = 2 };

    DiskFile();
    ~DiskFile();
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    bool Open(const FileSpec& fileSpec, int32_t flags);
    // Closes the file; false when a file opened for writing could not be completed (a write
    // failed, or syncing or renaming it into place did), in which case the target is unchanged.
    bool Close();
    int32_t Read(void* buffer, int32_t count);
    int32_t Write(const void* buffer, int32_t count);
    bool Seek(int64_t offset, int32_t origin);
    // Current position and total size; -1 when closed. Readers use them to bound their reads.
    int64_t Tell();
    int64_t Size();
    bool IsOpen() const { return m_stream != nullptr || m_out != nullptr; }
    // The reason of the last failed write or Close ("" when none).
    const char* WriteError() const;
    const FileSpec& OpenedFileSpec() const { return m_fileSpec; }

private:
    std::FILE* m_stream = nullptr;
    std::unique_ptr<os::AtomicFile> m_out;  // OpenWrite only
    std::string m_writeError;
    FileSpec m_fileSpec;
};

}  // namespace kv
