// A movie file written through its own descriptor instead of libavformat's file protocol.
// The protocol copies every write through a buffer and refuses a single write larger than its
// 256 KiB packet size, so an uncompressed frame would go to the file in many small pieces, each
// copied once more. This output runs in libavformat's direct mode: the muxer's small header
// writes are gathered in a buffer as usual, but a frame's rows go to the file in one write call
// straight from the caller's pixels. The path is opened as a plain file name, never as a URL.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/video/ffmpeg.h"

namespace kv::video {

class FileOutput {
public:
    FileOutput() = default;
    ~FileOutput();
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    // Creates (or empties) the file and sets it as mux->pb, marking the context's I/O as the
    // caller's. Returns 0 or a negative AVERROR.
    int Open(AVFormatContext* mux, const std::string& path);
    // Writes out what is buffered, frees the I/O context (clearing mux->pb) and closes the file.
    // Returns 0 or the first error any write, the flush or the close met.
    int Close(AVFormatContext* mux);
    bool IsOpen() const { return m_fd >= 0; }

private:
    static int Write(void* opaque, uint8_t* data, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    void AskForSync();
    void SyncLoop();
    void StopSyncing();

    int m_fd = -1;
    int64_t m_unsynced = 0;  // bytes written since the last sync was asked for
    AVIOContext* m_io = nullptr;
    // The thread that syncs what is written as the movie goes; it only waits on the disk.
    std::thread m_syncer;
    std::mutex m_syncMutex;
    std::condition_variable m_syncWake;
    bool m_syncWanted = false;
    bool m_syncStop = false;
};

}  // namespace kv::video
