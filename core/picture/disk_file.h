// DiskFile: a binary file stream opened from a FileSpec.
//
// It never raises: failures are false or -1 results. It keeps a copy of the FileSpec it was
// last opened with, from which the picture readers take the path.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/show/records.h"

namespace kv {

class DiskFile {
public:
    enum Flags : int32_t { OpenRead = 1, OpenWrite = 2, OpenAppend = 8 };
    enum Origin : int32_t { FromStart = 0, FromEnd = 1, FromCurrent = 2 };

    DiskFile() = default;
    ~DiskFile() { Close(); }
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    bool Open(const FileSpec& fileSpec, int32_t flags);
    void Close();
    int32_t Read(void* buffer, int32_t count);
    int32_t Write(const void* buffer, int32_t count);
    bool Seek(int64_t offset, int32_t origin);
    // Current position and total size; -1 when closed. Readers use them to bound their reads.
    int64_t Tell();
    int64_t Size();
    bool IsOpen() const { return m_stream != nullptr; }
    const FileSpec& OpenedFileSpec() const { return m_fileSpec; }

private:
    std::FILE* m_stream = nullptr;
    FileSpec m_fileSpec;
};

}  // namespace kv
