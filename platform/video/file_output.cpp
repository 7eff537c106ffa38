// FileOutput: a plain file behind an AVIOContext in direct mode.
#include "platform/video/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kv::video {

namespace {

// The buffer that gathers the muxer's headers and index; frames bypass it.
constexpr int HeaderBufferSize = 64 * 1024;
// Bytes written between two syncs asked of the syncing thread.
constexpr int64_t SyncStep = int64_t{32} << 20;

}  // namespace

FileOutput::~FileOutput() {
    StopSyncing();
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0) ::close(m_fd);
}

int FileOutput::Open(AVFormatContext* mux, const std::string& path) {
    if (m_fd >= 0) return AVERROR(EBUSY);
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) return AVERROR(errno);
    auto* buffer = static_cast<unsigned char*>(av_malloc(HeaderBufferSize));
    if (buffer) m_io = avio_alloc_context(buffer, HeaderBufferSize, 1, this, nullptr, Write, Seek);
    if (!m_io) {
        av_free(buffer);
        ::close(m_fd);
        m_fd = -1;
        return AVERROR(ENOMEM);
    }
    m_io->direct = 1;
    mux->pb = m_io;
    mux->flags |= AVFMT_FLAG_CUSTOM_IO;
    return 0;
}

int FileOutput::Close(AVFormatContext* mux) {
    int err = 0;
    StopSyncing();
    if (m_io) {
        avio_flush(m_io);
        err = m_io->error;
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
        if (mux && mux->pb) mux->pb = nullptr;
    }
    if (m_fd >= 0) {
        if (::close(m_fd) != 0 && err == 0) err = AVERROR(errno);
        m_fd = -1;
    }
    return err;
}

int FileOutput::Write(void* opaque, uint8_t* data, int size) {
    auto* self = static_cast<FileOutput*>(opaque);
    const int fd = self->m_fd;
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return AVERROR(errno);
        }
        if (n == 0) return AVERROR(EIO);
        done += static_cast<int>(n);
    }
    self->m_unsynced += size;
    if (self->m_unsynced >= SyncStep) {
        self->m_unsynced = 0;
        self->AskForSync();
    }
    return size;
}

int64_t FileOutput::Seek(void* opaque, int64_t offset, int whence) {
    const int fd = static_cast<FileOutput*>(opaque)->m_fd;
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

// The movie is synced before it takes its name; on a disk whose own cache must be written out
// for that, the sync at the end would wait for the whole file. Syncing each stretch as the
// movie goes, on a thread of its own, leaves the last one only the tail.
void FileOutput::AskForSync() {
    {
        std::lock_guard<std::mutex> lock(m_syncMutex);
        m_syncWanted = true;
    }
    if (!m_syncer.joinable()) {
        try {
            m_syncer = std::thread([this] { SyncLoop(); });
        } catch (const std::system_error&) {
            return;  // no thread: the sync at the end does it all
        }
    }
    m_syncWake.notify_one();
}

void FileOutput::SyncLoop() {
    std::unique_lock<std::mutex> lock(m_syncMutex);
    for (;;) {
        m_syncWake.wait(lock, [this] { return m_syncWanted || m_syncStop; });
        if (m_syncStop) return;
        m_syncWanted = false;
        lock.unlock();
        // A failure here is met again by the sync at the end, which reports it.
        (void)::fdatasync(m_fd);
        lock.lock();
    }
}

void FileOutput::StopSyncing() {
    if (!m_syncer.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_syncMutex);
        m_syncStop = true;
    }
    m_syncWake.notify_one();
    m_syncer.join();
    m_syncStop = false;
    m_syncWanted = false;
}

}  // namespace kv::video
