// DiskFile over stdio, always in binary mode.
#include "core/picture/disk_file.h"

namespace kv {

bool DiskFile::Open(const FileSpec& fileSpec, int32_t flags) {
    Close();
    m_fileSpec = fileSpec;
    const char* mode = nullptr;
    if (flags & OpenRead) {
        mode = "rb";
    } else if (flags & OpenWrite) {
        mode = "wb";
    } else if (flags & OpenAppend) {
        mode = "ab";
    }
    if (!mode || fileSpec.Empty()) return false;
    m_stream = std::fopen(fileSpec.path, mode);
    return m_stream != nullptr;
}

void DiskFile::Close() {
    if (m_stream) std::fclose(m_stream);
    m_stream = nullptr;
}

int32_t DiskFile::Read(void* buffer, int32_t count) {
    if (!m_stream) return -1;
    if (count <= 0 || !buffer) return 0;
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), m_stream));
}

int32_t DiskFile::Write(const void* buffer, int32_t count) {
    if (!m_stream) return -1;
    if (count <= 0 || !buffer) return 0;
    return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), m_stream));
}

bool DiskFile::Seek(int64_t offset, int32_t origin) {
    if (!m_stream) return false;
    int whence;
    switch (origin) {
        case FromStart:
            whence = SEEK_SET;
            break;
        case FromEnd:
            whence = SEEK_END;
            break;
        case FromCurrent:
            whence = SEEK_CUR;
            break;
        default:
            return false;
    }
    return fseeko(m_stream, static_cast<off_t>(offset), whence) == 0;
}

int64_t DiskFile::Tell() {
    return m_stream ? static_cast<int64_t>(ftello(m_stream)) : -1;
}

int64_t DiskFile::Size() {
    if (!m_stream) return -1;
    off_t here = ftello(m_stream);
    if (fseeko(m_stream, 0, SEEK_END) != 0) return -1;
    off_t end = ftello(m_stream);
    fseeko(m_stream, here, SEEK_SET);
    return static_cast<int64_t>(end);
}

}  // namespace kv
