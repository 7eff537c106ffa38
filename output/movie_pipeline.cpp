// MoviePipeline: the bounded hand-off between the render and the movie's writer.
#include "output/movie_pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "output/movie_writers.h"

namespace kv {

MoviePipeline::MoviePipeline(MovieWriters& writers, CDIB& image, int32_t depth)
    : m_writers(writers), m_image(image), m_depth(std::clamp<int32_t>(depth, 0, 8)) {
    m_slots.resize(1);
    m_slots[0].image = &image;
    if (m_depth == 0) return;
    // One image per frame rendered ahead, one per frame the writer may hold and one for the
    // latest frame, which holds repeat. Images are made when first needed.
    m_slots.resize(static_cast<size_t>(m_depth + WriterHeldFrames) + 2);
    try {
        m_thread = std::thread([this] { WriterLoop(); });
    } catch (const std::system_error&) {
        // No thread to be had: every frame is written at once, as at depth 0.
        m_depth = 0;
        m_slots.resize(1);
    }
}

MoviePipeline::~MoviePipeline() {
    Finish();
}

CDIB* MoviePipeline::Canvas() {
    if (m_depth == 0) return &m_image;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_failed) {
            m_canvasWanted = false;
            return nullptr;
        }
        for (size_t i = 1; i < m_slots.size(); ++i) {
            Slot& s = m_slots[i];
            if (i == m_latest || s.queued > 0) continue;
            if (!s.owned) {
                s.owned.reset(new (std::nothrow)
                                  CDIB(m_image.Width(), m_image.Height(), m_image.BitCount()));
                if (!s.owned || s.owned->Empty()) {
                    s.owned.reset();
                    return nullptr;
                }
                s.image = s.owned.get();
            }
            m_canvasWanted = false;
            return s.image;
        }
        // Every image is queued or held: the writer is told, so that it gives back the frames
        // it holds when nothing else is left for it to write.
        m_canvasWanted = true;
        m_changed.notify_all();
        m_changed.wait(lock);
    }
}

void MoviePipeline::Keep(CDIB* canvas) {
    for (size_t i = 0; i < m_slots.size(); ++i)
        if (m_slots[i].image == canvas) m_latest = i;
}

bool MoviePipeline::Write() {
    // Counted here, on the job's thread and in frame order, since the sound plan's cues are
    // given on this thread too.
    ++m_writers.framesHandedOver;
    if (m_depth == 0) {
        if (m_failed) return false;
        m_failed = !WriteMovieFrame(m_writers, -1, m_image);
        return !m_failed;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] {
        return m_failed || m_queue.size() < static_cast<size_t>(PipelineQueueLength);
    });
    if (m_failed) return false;
    m_queue.push_back(m_latest);
    ++m_slots[m_latest].queued;
    m_changed.notify_all();
    return true;
}

void MoviePipeline::WriterLoop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] {
            return m_stopping || !m_queue.empty() || (m_held > 0 && m_canvasWanted);
        });
        if (m_queue.empty()) {
            // Stopping, or the render waits for an image the writer still holds: every held
            // frame is written and given back, here, before this thread may end.
            m_canvasWanted = false;
            lock.unlock();
            const bool ok = FlushMovieFrames(m_writers);
            lock.lock();
            if (!ok) m_failed = true;
            m_changed.notify_all();
            if (m_stopping && m_queue.empty()) return;
            continue;
        }
        const size_t slot = m_queue.front();
        m_queue.pop_front();
        // The slot stays counted as queued until the writer gives it back, so it is not
        // rendered over while a frame is still being coded from it.
        const CDIB& frame = *m_slots[slot].image;
        const bool skip = m_failed;
        ++m_held;
        lock.unlock();
        auto released = [this, slot] {
            std::lock_guard<std::mutex> guard(m_mutex);
            --m_slots[slot].queued;
            --m_held;
            m_changed.notify_all();
        };
        bool ok = true;
        if (skip)
            released();
        else
            ok = WriteMovieFrameHeld(m_writers, -1, frame, released);
        lock.lock();
        if (!ok) m_failed = true;
        m_changed.notify_all();
    }
}

bool MoviePipeline::Finish() {
    if (m_finished) return !m_failed;
    m_finished = true;
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    if (m_latest != 0) {
        const CDIB& latest = *m_slots[m_latest].image;
        std::memcpy(m_image.Bits(), latest.Bits(),
                    static_cast<size_t>(latest.RowBytes()) * static_cast<size_t>(latest.Height()));
        m_latest = 0;
    }
    return !m_failed;
}

}  // namespace kv
