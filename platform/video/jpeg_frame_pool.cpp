// JpegFramePool: a ring of `depth` slots, each with its own encoder, whose output stays in the
// slot's encoder until it is handed on (no copy of the coded bytes either). Sequence numbers
// count submitted frames: slots [head, tail) are in flight, workers take them in order from
// `taken`, and the submitting thread hands on from `head` as they finish.
#include "platform/video/jpeg_frame_pool.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/video/jpeg_frame.h"

namespace kv {

namespace {

enum class SlotState { Free, Pending, Working, Done, Failed };

struct Slot {
    SlotState state = SlotState::Free;
    int64_t n = 0;
    const uint8_t* firstRow = nullptr;
    int32_t rowBytes = 0;
    bool bottomUp = true;
    JpegFrameEncoder encoder;
};

}  // namespace

struct JpegFramePool::Impl {
    Frame frame;
    Sink sink;
    Release release;
    std::vector<Slot> slots;
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable work;      // a slot became pending, or stop
    std::condition_variable finished;  // a slot was coded
    uint64_t head = 0, tail = 0, taken = 0;
    bool stop = false;
    bool failed = false;
    std::string error;

    Slot& At(uint64_t seq) { return slots[seq % slots.size()]; }

    bool Code(Slot& s) {
        return s.encoder.Encode(s.firstRow, s.rowBytes, s.bottomUp, frame.width, frame.height,
                                frame.bitCount, frame.quality);
    }

    void WorkerLoop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            work.wait(lock, [&] { return stop || taken < tail; });
            if (stop) return;
            Slot& s = At(taken++);
            s.state = SlotState::Working;
            lock.unlock();
            const bool ok = Code(s);
            lock.lock();
            s.state = ok ? SlotState::Done : SlotState::Failed;
            finished.notify_all();
        }
    }

    // Hands on the oldest frame, waiting for it when `wait`; false when there is none to hand
    // on yet (or none at all).
    bool HandOnOldest(bool wait, bool& ok) {
        std::unique_lock<std::mutex> lock(mutex);
        if (head == tail) return false;
        Slot& s = At(head);
        auto ready = [&] { return s.state == SlotState::Done || s.state == SlotState::Failed; };
        if (!ready()) {
            if (!wait) return false;
            finished.wait(lock, ready);
        }
        const bool coded = s.state == SlotState::Done;
        lock.unlock();
        // The slot is ours alone until head moves past it: workers only take slots below tail
        // that are pending, and Submit does not reuse it before then.
        if (!coded && !failed) {
            failed = true;
            error = s.encoder.Error();
        }
        if (!failed && !sink(s.n, s.encoder.Data(), s.encoder.Size())) {
            failed = true;
            if (error.empty()) error = "cannot write the frame";
        }
        if (release) release(s.n);
        lock.lock();
        s.state = SlotState::Free;
        ++head;
        ok = ok && !failed;
        return true;
    }
};

JpegFramePool::JpegFramePool(const Frame& frame, int workers, int depth, Sink sink, Release release)
    : m(std::make_unique<Impl>()) {
    m->frame = frame;
    m->sink = std::move(sink);
    m->release = std::move(release);
    m->slots = std::vector<Slot>(static_cast<size_t>(depth < 1 ? 1 : depth));
    for (int i = 0; i < workers; ++i) m->workers.emplace_back([this] { m->WorkerLoop(); });
}

JpegFramePool::~JpegFramePool() {
    {
        std::lock_guard<std::mutex> lock(m->mutex);
        m->stop = true;
    }
    m->work.notify_all();
    for (std::thread& t : m->workers) t.join();
    // Frames still in flight are dropped, but their pixels are given back.
    for (; m->head < m->tail; ++m->head)
        if (m->release) m->release(m->At(m->head).n);
}

bool JpegFramePool::Submit(int64_t n, const uint8_t* firstRow, int32_t rowBytes, bool bottomUp) {
    Impl& s = *m;
    bool ok = !s.failed;
    if (!ok) return false;
    // Room for one more: hand on the oldest while the ring is full.
    while (s.tail - s.head == s.slots.size()) s.HandOnOldest(true, ok);
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        Slot& slot = s.At(s.tail);
        slot.n = n;
        slot.firstRow = firstRow;
        slot.rowBytes = rowBytes;
        slot.bottomUp = bottomUp;
        slot.state = SlotState::Pending;
        ++s.tail;
        if (s.workers.empty()) {
            // No workers: the frame is coded here, as the one-thread reference.
            ++s.taken;
            slot.state = s.Code(slot) ? SlotState::Done : SlotState::Failed;
        }
    }
    if (!s.workers.empty()) s.work.notify_one();
    // Whatever has finished in order goes on now, so the file keeps up with the coding.
    while (s.HandOnOldest(s.workers.empty(), ok)) {
    }
    return ok && !s.failed;
}

bool JpegFramePool::Finish() {
    bool ok = !m->failed;
    while (m->HandOnOldest(true, ok)) {
    }
    return ok && !m->failed;
}

bool JpegFramePool::Failed() const {
    return m->failed;
}

const std::string& JpegFramePool::Error() const {
    return m->error;
}

}  // namespace kv
