// MoviePipeline: the frames of one pass of a movie, rendered on the calling thread and written
// (converted, encoded and muxed) on a writer thread of their own, with a small bounded hand-off
// between the two so that memory stays flat for a movie of any length.
//
// The calling thread decides everything the user can change: which frame comes next, the holds,
// Esc and the whole-job stop are polled there, in the same order as when every frame is written
// at once, and nothing it has handed over is ever dropped. A movie is therefore the same bytes
// whichever way it is made. The writer thread only takes frames off the queue in order and gives
// them to the movie's writer, which may hold a few (Motion JPEG frames are coded side by side)
// until it gives them back: an image is rendered over only once every copy of it is given
// back. The first write that fails ends the pipeline (later frames are dropped, the calling
// thread sees the failure at its next call), and every held frame is given back before the
// writer thread ends.
//
// Depth 0 writes every frame on the calling thread at the moment it is handed over: the
// reference path the pipelined one is tested against.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/picture/cdib.h"
#include "output/writer_state.h"

namespace kv {

// Copies of frames (holds included) waiting for the writer at most.
constexpr int32_t PipelineQueueLength = 8;
// Frames the movie's writer may hold while it codes them (Motion JPEG codes four side by side):
// the images for them are made only when a writer holds frames, so that the render does not
// wait for a frame the writer has not finished with.
constexpr int32_t WriterHeldFrames = 4;

class MoviePipeline {
public:
    // `image` is the pass's image: its content is the latest frame until a frame is rendered, and
    // it receives the latest frame again at Finish. Depth is clamped to 0..8.
    MoviePipeline(MovieWriters& writers, CDIB& image, int32_t depth);
    // Finishes (see Finish) when the caller did not.
    ~MoviePipeline();
    MoviePipeline(const MoviePipeline&) = delete;
    MoviePipeline& operator=(const MoviePipeline&) = delete;

    // An image of the movie's size to render the next frame into; waits while every image is
    // still queued. nullptr when a write has failed or memory ran out.
    CDIB* Canvas();
    // The canvas now holds a rendered frame: it becomes the latest frame (written by Write).
    void Keep(CDIB* canvas);
    // Hands one copy of the latest frame to the writer (waits while the queue is full). False
    // when this or an earlier write failed.
    bool Write();
    // Waits until every frame handed over is written, stops the writer thread and copies the
    // latest frame into the pass's image. False when any write failed. Idempotent.
    bool Finish();

    // Whether frames go to a writer thread (false at depth 0 or when no thread could start).
    bool Threaded() const { return m_thread.joinable(); }

private:
    struct Slot {
        CDIB* image = nullptr;
        std::unique_ptr<CDIB> owned;  // null for the pass's own image (slot 0)
        int32_t queued = 0;           // copies waiting, being written or held by the writer
    };
    void WriterLoop();

    MovieWriters& m_writers;
    CDIB& m_image;
    int32_t m_depth = 0;
    std::vector<Slot> m_slots;  // slot 0 is the pass's image, never handed out as a canvas
    size_t m_latest = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<size_t> m_queue;   // slots to write, in order
    int32_t m_held = 0;           // copies handed to the writer and not yet given back
    bool m_canvasWanted = false;  // Canvas waits for an image
    bool m_failed = false;
    bool m_stopping = false;
    bool m_finished = false;
    std::thread m_thread;
};

}  // namespace kv
