// DiskFile over stdio, always in binary mode.
#include "core/picture/disk_file.h"

#include "platform/os/atomic_file.h"
#include "platform/os/utf8_names.h"

namespace kv {

DiskFile::DiskFile() = default;

DiskFile::~DiskFile() {
    // A file still open for writing was not closed by its writer: it is not complete.
    if (m_out) m_out->Discard();
    Close();
}

const char* DiskFile::WriteError() const {
    return m_writeError.c_str();
}

bool DiskFile::Open(const FileSpec& fileSpec, int32_t flags) {
    Close();
    m_fileSpec = fileSpec;
    m_writeError.clear();
    const char* mode = nullptr;
    if (flags & OpenRead) {
        mode = "rb";
    } else if (flags & OpenWrite) {
        if (fileSpec.Empty()) return false;
        m_out = std::make_unique<os::AtomicFile>();
        if (m_out->Open(fileSpec.path)) return true;
        m_writeError = m_out->Error();
        m_out.reset();
        return false;
    } else if (flags & OpenAppend) {
        mode = "ab";
    }
    if (!mode || fileSpec.Empty()) return false;
    m_stream = os::OpenFile(fileSpec.path, mode);
    return m_stream != nullptr;
}

bool DiskFile::Close() {
    bool ok = true;
    if (m_out) {
        if (m_out->IsOpen()) {
            ok = m_out->Commit();
            if (!ok) m_writeError = m_out->Error();
        }
        m_out.reset();
    }
    if (m_stream) ok = std::fclose(m_stream) == 0 && ok;
    m_stream = nullptr;
    return ok;
}

int32_t DiskFile::Read(void* buffer, int32_t count) {
    if (!m_stream) return -1;
    if (count <= 0 || !buffer) return 0;
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), m_stream));
}

int32_t DiskFile::Write(const void* buffer, int32_t count) {
    if (m_out) {
        if (count <= 0 || !buffer) return 0;
        if (m_out->Write(buffer, static_cast<size_t>(count))) return count;
        m_writeError = m_out->Error();
        return -1;
    }
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
