// The pipelined movie job against the one-frame-at-a-time reference: the same bytes for every
// codec, the same frames for Esc, keys and the whole-job stop at random frames, and a failed
// write that stops every stage and keeps the previous file.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <chrono>

#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "core/base/settings.h"
#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_pipeline.h"
#include "output/movie_writers.h"
#include "platform/video/movie_writer.h"
#include "tests/output/movie_test_support.h"

namespace {

// Frames with detail for the encoders to work on: a diagonal ramp moving with the frame number,
// and the frame number in the first pixel (as PaintFrameNumber) so decoded frames can be named.
bool PaintMovingRamp(kv::Show&, int32_t frame, int32_t, bool, int32_t w, int32_t h, kv::CDIB* out,
                     bool) {
    if (!out || out->Width() != w || out->Height() != h) return false;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = out->Row(y);
        for (int x = 0; x < w; ++x) {
            row[4 * x] = static_cast<uint8_t>(x * 3 + frame * 7);
            row[4 * x + 1] = static_cast<uint8_t>(y * 5 - frame * 3);
            row[4 * x + 2] = static_cast<uint8_t>((x ^ y) + frame);
            row[4 * x + 3] = 255;
        }
    }
    out->Row(0)[0] = static_cast<uint8_t>(frame);
    return true;
}

// The scripted host with a chosen pipeline depth and a whole-job stop after a number of
// frame polls.
class PipelineHost : public kvtest::ScriptedHost {
public:
    int32_t PipelineDepth() override { return depth; }
    bool TakeKeyDown(bool anyKey) override {
        if (!anyKey) ++framePollsSeen;
        if (stopAtFramePoll >= 0 && framePollsSeen > stopAtFramePoll) return true;
        return ScriptedHost::TakeKeyDown(anyKey);
    }
    bool StopRequested() override {
        return stopAtFramePoll >= 0 && framePollsSeen > stopAtFramePoll;
    }
    void JobStopped(int64_t written, int64_t total, const std::string& keptAs) override {
        stops.push_back({written, total, keptAs});
    }
    int32_t depth = kv::DefaultPipelineDepth;
    int stopAtFramePoll = -1;
    int framePollsSeen = 0;
    struct Stop {
        int64_t written, total;
        std::string keptAs;
    };
    std::vector<Stop> stops;
};

// Where a stopped job keeps its partial movie.
std::string StoppedPath(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    return path.substr(0, dot) + ".stopped" + path.substr(dot);
}

// Thread ids of this process (the movie job must leave none of its own behind).
std::set<std::string> Threads() {
    std::set<std::string> ids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ids.insert(e->d_name);
        closedir(d);
    }
    return ids;
}

// The threads before a job: a thread is started and joined first, so that a sanitizer's own
// background thread (started with the first thread of the process) is already among them.
std::set<std::string> ThreadsBeforeJob() {
    std::thread([] {}).join();
    return Threads();
}

// How many threads the job left that were not there before it. A joined thread can still be
// listed for a moment (join returns once the thread has cleared its id, which the kernel does
// before the task leaves /proc), so this waits for the listing to settle; a thread left running
// never leaves, and the bound only decides when to give up on it.
size_t ThreadsLeftAfter(const std::set<std::string>& before) {
    auto left = [&before] {
        size_t n = 0;
        for (const std::string& id : Threads()) n += before.count(id) == 0 ? 1 : 0;
        return n;
    };
    size_t n = left();
    for (int tries = 0; n > 0 && tries < 5000; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        n = left();
    }
    return n;
}

// A container writer that holds the frames handed to it, as the Motion JPEG writer does, and
// checks that a held image is not rendered over before it gives the frame back. It gives back
// the oldest frame once more than `keep` are held (never when keep < 0) and every frame at
// FlushHeld, and refuses the frame numbered `refuse` (handed over in order from 1).
class HoldingWriter : public kv::ContainerWriter {
public:
    bool Write(kv::MovieWriters&, int32_t, const kv::CDIB&) override { return false; }
    bool WriteHeld(kv::MovieWriters&, int32_t, const kv::CDIB& image,
                   std::function<void()> released) override {
        CheckThread();
        ++handedOver;
        const int number = image.Row(0)[0];
        if (number == refuse) {
            released();
            ++givenBack;
            return false;
        }
        written.push_back(number);
        held.push_back({&image, Sum(image), std::move(released)});
        while (keep >= 0 && held.size() > static_cast<size_t>(keep)) GiveBackOldest();
        return true;
    }
    bool FlushHeld(kv::MovieWriters&) override {
        CheckThread();
        ++flushes;
        while (!held.empty()) GiveBackOldest();
        return true;
    }
    bool Close(kv::MovieWriters&) override { return held.empty(); }

    int keep = 3;
    int refuse = -1;
    std::vector<int> written;
    int handedOver = 0, givenBack = 0, flushes = 0, renderedOver = 0, otherThread = 0;

private:
    struct Held {
        const kv::CDIB* image;
        uint64_t sum;
        std::function<void()> released;
    };
    static uint64_t Sum(const kv::CDIB& image) {
        uint64_t sum = 0;
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.RowBytes(); ++x) sum = sum * 31 + image.Row(y)[x];
        return sum;
    }
    void GiveBackOldest() {
        Held h = std::move(held.front());
        held.pop_front();
        if (Sum(*h.image) != h.sum) ++renderedOver;
        h.released();
        ++givenBack;
    }
    // Frames are handed over and given back on one thread only.
    void CheckThread() {
        if (thread == std::thread::id()) thread = std::this_thread::get_id();
        if (thread != std::this_thread::get_id()) ++otherThread;
    }
    std::deque<Held> held;
    std::thread::id thread;
};

// Fills a canvas with frame f: every byte differs between frames, so a frame rendered over a
// held one changes its sum.
void FillFrame(kv::CDIB& c, int f) {
    for (int y = 0; y < c.Height(); ++y)
        std::memset(c.Row(y), (f * 13 + y) & 0xFF, static_cast<size_t>(c.RowBytes()));
    c.Row(0)[0] = static_cast<uint8_t>(f);
}

// Renders frames 1..count through the pipeline with 1 to 3 copies of each; the numbers handed
// over in order. Stops at the first refused canvas or write.
std::vector<int> RunFrames(kv::MoviePipeline& p, kv::CDIB& image, int count) {
    std::vector<int> want;
    for (int f = 1; f <= count; ++f) {
        kv::CDIB* c = p.Canvas();
        if (!c) break;
        EXPECT_NE(c, &image);
        FillFrame(*c, f);
        p.Keep(c);
        bool ok = true;
        for (int k = 0; ok && k < 1 + f % 3; ++k) {
            ok = p.Write();
            if (ok) want.push_back(f);
        }
        if (!ok) break;
    }
    return want;
}

class MoviePipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::FreshMovieState();
        dir = kvtest::TempDir("pipeline");
        show.FrameRate = 2500;
    }
    // Makes the movie at `path` with the host as set up, at the given depth.
    bool Make(PipelineHost& h, const std::string& path, int32_t depth) {
        kvtest::FreshMovieState();
        kv::TheSettings().WriteString("CodecType", codec.c_str());
        h.output = path;
        h.depth = depth;
        h.aviCodec = codec;
        h.qtCodec = codec;
        show.currentFrame = 0;
        return kvtest::MakeMovieWithStore(show, h, false);
    }

    std::string dir;
    std::string codec;
    kv::Show show;
    kvtest::AlertRecorder alerts;
};

// Every codec of both containers, with holds and the reverse pass: the pipelined movie is the
// reference movie byte for byte.
TEST_F(MoviePipelineTest, EveryCodecWritesTheReferenceBytes) {
    struct Case {
        kv::MovieContainer container;
        std::string code;
    };
    std::vector<Case> cases;
    for (auto c : {kv::MovieContainer::Avi, kv::MovieContainer::QuickTime}) {
        if (!kv::HaveMovieContainer(c)) continue;
        cases.push_back({c, ""});
        for (const std::string& code : kv::MovieCodecs(c)) cases.push_back({c, code});
    }
    ASSERT_GE(cases.size(), 4u);
    int compared = 0;
    for (const Case& c : cases) {
        codec = c.code;
        const bool avi = c.container == kv::MovieContainer::Avi;
        const std::string ext = avi ? ".avi" : ".mov";
        const std::string tag = (avi ? "avi-" : "mov-") + (c.code.empty() ? "raw" : c.code);
        std::string a, b;
        for (int32_t depth : {0, kv::DefaultPipelineDepth}) {
            PipelineHost h;
            h.renderer = PaintMovingRamp;
            // DNxHR takes nothing smaller than 256 x 120.
            h.edit = kvtest::Options(256, 128, "25", "00:00:00", "00:00:12", "00:00:02", true);
            const std::string path = dir + "/" + tag + "-" + std::to_string(depth) + ext;
            ASSERT_TRUE(Make(h, path, depth)) << tag << " depth " << depth;
            (depth == 0 ? a : b) = kvtest::ReadFileBytes(path);
        }
        ASSERT_GT(a.size(), 256u * 128) << tag;
        EXPECT_TRUE(a == b) << tag << ": pipelined movie differs from the reference (" << a.size()
                            << " against " << b.size() << " bytes)";
        ++compared;
    }
    EXPECT_EQ(compared, static_cast<int>(cases.size()));
}

// Esc, a key in a hold and the whole-job stop at random polls: the pipelined movie has exactly
// the reference movie's frames, the host sees the same frames and polls, and the job's threads
// are gone when MakeMovie returns.
TEST_F(MoviePipelineTest, KeysAtRandomFramesEndPassesAsTheReferenceDoes) {
    std::mt19937 random(1234);
    const std::set<std::string> threadsBefore = ThreadsBeforeJob();
    for (int trial = 0; trial < 12; ++trial) {
        // The first pass has 20 frame polls. Esc at poll 0 or 20 ends a pass before it renders
        // anything: its tail hold repeats the frame the pass before left in the image.
        const int esc = trial == 0 ? 0 : trial == 1 ? 20 : static_cast<int>(random() % 30);
        const int key = trial % 3 == 0 ? static_cast<int>(random() % 6) : -1;
        const int stop = trial % 4 == 2 ? static_cast<int>(random() % 40) : -1;
        std::string bytes[2];
        std::vector<int32_t> shown[2];
        int polls[2] = {0, 0};
        bool made[2] = {false, false};
        for (int run = 0; run < 2; ++run) {
            PipelineHost h;
            h.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:20", "00:00:03", true);
            h.escAtFramePoll = esc;
            h.keyAtHoldPoll = key;
            h.stopAtFramePoll = stop;
            const std::string path =
                dir + "/keys" + std::to_string(trial) + "-" + std::to_string(run) + ".avi";
            made[run] = Make(h, path, run == 0 ? 0 : kv::DefaultPipelineDepth);
            // A stopped job is not made and keeps its movie under the stopped name only.
            EXPECT_EQ(made[run], h.stops.empty());
            EXPECT_EQ(std::filesystem::exists(path), made[run]);
            bytes[run] = kvtest::ReadFileBytes(made[run] ? path : StoppedPath(path));
            shown[run] = h.shown;
            polls[run] = h.polls;
        }
        SCOPED_TRACE("trial " + std::to_string(trial) + ": esc " + std::to_string(esc) + ", key " +
                     std::to_string(key) + ", stop " + std::to_string(stop));
        EXPECT_TRUE(made[0] || stop >= 0);
        EXPECT_EQ(made[0], made[1]);
        ASSERT_GT(bytes[0].size(), 1024u);
        // Uncompressed frames: the same bytes are the same frames in the same order.
        EXPECT_TRUE(bytes[0] == bytes[1]);
        EXPECT_EQ(shown[0], shown[1]);
        EXPECT_EQ(polls[0], polls[1]);
        EXPECT_EQ(ThreadsLeftAfter(threadsBefore), 0u);
    }
}

// The whole-job stop leaves a closed movie that plays to its last frame under the stopped name,
// in place of an older one, and no thread; the movie asked for stays as it was, and the job
// reports how far it came instead of its success.
TEST_F(MoviePipelineTest, WholeJobStopLeavesAPlayableMovie) {
    const std::set<std::string> threadsBefore = ThreadsBeforeJob();
    PipelineHost h;
    h.edit = kvtest::Options(16, 16, "25", "00:00:00", "00:00:20", "00:00:02", true);
    h.stopAtFramePoll = 7;
    codec = "MJPG";
    kvtest::WriteFileBytes(dir + "/stop.avi", "the previous movie");
    kvtest::WriteFileBytes(dir + "/stop.stopped.avi", "an older stopped movie");
    ASSERT_FALSE(Make(h, dir + "/stop.avi", kv::DefaultPipelineDepth));
    EXPECT_EQ(ThreadsLeftAfter(threadsBefore), 0u);
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/stop.avi"), "the previous movie");
    ASSERT_EQ(h.stops.size(), 1u);
    EXPECT_EQ(h.stops[0].written, 9);
    EXPECT_EQ(h.stops[0].keptAs, dir + "/stop.stopped.avi");
    EXPECT_GT(h.stops[0].total, 40);
    for (const std::string& text : alerts.texts)
        EXPECT_EQ(text.find("successfully"), std::string::npos);
    // Two head-hold copies and frames 0..6; the stop ends the tail hold and the reverse pass.
    auto p = kvtest::ProbeVideo(h.stops[0].keptAs);
    EXPECT_EQ(p["codec_name"], "mjpeg");
    EXPECT_EQ(p["nb_read_frames"], "9");
    std::vector<int> frames = kvtest::FrameNumbers(h.stops[0].keptAs, 16, 16);
    ASSERT_EQ(frames.size(), 9u);
    EXPECT_NEAR(frames.back(), 6, 1);
}

// Writes fail part way (the file-size limit): the pipeline stops, the job reports the failure,
// the movie that was there before is kept as it was and no temporary file or thread is left.
TEST_F(MoviePipelineTest, FailedWriteStopsEveryStageAndKeepsThePreviousFile) {
    for (int32_t depth : {0, kv::DefaultPipelineDepth}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        const std::string sub = kvtest::TempDir("pipeline-fail");
        const std::string path = sub + "/kept.avi";
        {
            std::FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fputs("the previous movie", f);
            std::fclose(f);
        }
        const std::set<std::string> threadsBefore = ThreadsBeforeJob();
        PipelineHost h;
        h.edit = kvtest::Options(64, 48, "25", "00:00:00", "00:02:00");  // 3000 frames, 37 MB
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 256 * 1024;  // about twenty frames
        auto previousSignal = signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        alerts.texts.clear();
        const bool made = Make(h, path, depth);
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, previousSignal);
        EXPECT_FALSE(made);
        EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Writing Movie File"});
        EXPECT_EQ(kvtest::ReadFileBytes(path), "the previous movie");
        // The job stopped soon after the failure instead of rendering the rest of the movie.
        EXPECT_LT(h.shown.size(), 200u);
        EXPECT_EQ(ThreadsLeftAfter(threadsBefore), 0u);
        int files = 0;
        if (DIR* d = opendir(sub.c_str())) {
            while (dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") ++files;
            }
            closedir(d);
        }
        EXPECT_EQ(files, 1) << "a temporary movie was left beside the kept one";
    }
}

// The hand-off on its own: frames come out in the order handed over, holds repeat the latest
// frame, a canvas is never one still waiting to be written, and the pass's image receives the
// latest frame at the end.
TEST_F(MoviePipelineTest, HandOffKeepsOrderAndTheLatestFrame) {
    const std::string path = dir + "/handoff.avi";
    kv::CDIB image(8, 8, 32);
    kv::MovieWriters w;
    ASSERT_TRUE(kv::OpenMovie(w, kv::WriterAvi, true, path, image, 25, 100, 0));
    std::vector<int> want;
    {
        kv::MoviePipeline p(w, image, 2);
        ASSERT_TRUE(p.Threaded());
        for (int f = 1; f <= 40; ++f) {
            kv::CDIB* c = p.Canvas();
            ASSERT_NE(c, nullptr);
            ASSERT_NE(c, &image);
            kvtest::PaintFrameNumber(show, f, 0, true, 8, 8, c, true);
            p.Keep(c);
            const int copies = 1 + f % 3;
            for (int k = 0; k < copies; ++k) {
                ASSERT_TRUE(p.Write());
                want.push_back(f);
            }
        }
        ASSERT_TRUE(p.Finish());
        EXPECT_TRUE(p.Finish());  // a second Finish changes nothing
    }
    EXPECT_EQ(image.Row(0)[0], 40);
    ASSERT_TRUE(kv::CloseMovie(w));
    EXPECT_EQ(kvtest::FrameNumbers(path, 8, 8), want);
}

// A writer that holds frames: every frame comes out in order, no held image is rendered over,
// each is given back exactly once on the writer's thread, and the writer's flush runs before
// its thread ends. Holding more frames than the pipeline has images (keep -1: only the flush
// gives them back) must not stall the render.
TEST_F(MoviePipelineTest, FramesHeldByTheWriterAreNotRenderedOver) {
    for (int keep : {0, 3, 12, -1}) {
        for (int32_t depth : {1, kv::DefaultPipelineDepth}) {
            SCOPED_TRACE("keep " + std::to_string(keep) + " depth " + std::to_string(depth));
            kv::CDIB image(16, 8, 32);
            kv::MovieWriters w;
            auto writer = std::make_unique<HoldingWriter>();
            HoldingWriter& h = *writer;
            h.keep = keep;
            w.open = std::move(writer);
            std::vector<int> want;
            {
                kv::MoviePipeline p(w, image, depth);
                ASSERT_TRUE(p.Threaded());
                want = RunFrames(p, image, 60);
                ASSERT_TRUE(p.Finish());
            }
            EXPECT_EQ(want.size(), 120u);
            EXPECT_EQ(h.written, want);
            EXPECT_EQ(h.renderedOver, 0);
            EXPECT_EQ(h.givenBack, h.handedOver);
            EXPECT_EQ(h.otherThread, 0);
            EXPECT_GE(h.flushes, 1);
            EXPECT_EQ(image.Row(0)[0], 60);
            EXPECT_TRUE(kv::CloseMovie(w));  // nothing left held
        }
    }
}

// A refused frame ends the pipeline: the render is told at its next call, the frames queued
// behind the refused one are dropped, and every frame handed over is given back.
TEST_F(MoviePipelineTest, RefusedHeldFrameGivesEveryFrameBack) {
    kv::CDIB image(16, 8, 32);
    kv::MovieWriters w;
    auto writer = std::make_unique<HoldingWriter>();
    HoldingWriter& h = *writer;
    h.refuse = 10;
    w.open = std::move(writer);
    std::vector<int> handed;
    {
        kv::MoviePipeline p(w, image, kv::DefaultPipelineDepth);
        handed = RunFrames(p, image, 200);
        EXPECT_FALSE(p.Finish());
        EXPECT_EQ(p.Canvas(), nullptr);
        EXPECT_FALSE(p.Write());
    }
    ASSERT_FALSE(handed.empty());
    EXPECT_LT(handed.back(), 40);  // stopped soon after the refusal
    ASSERT_GE(h.written.size(), 1u);
    EXPECT_EQ(h.written.back(), 9);  // nothing after the refused frame reached the writer
    EXPECT_EQ(h.givenBack, h.handedOver);
    EXPECT_EQ(h.renderedOver, 0);
    EXPECT_TRUE(kv::CloseMovie(w));
}

// Motion JPEG in .avi and .mov, long enough for the writer to code several frames side by side:
// the threaded movie is the one-at-a-time movie byte for byte, at every depth.
TEST_F(MoviePipelineTest, MotionJpegIsTheSameBytesAtEveryDepth) {
    for (auto container : {kv::MovieContainer::Avi, kv::MovieContainer::QuickTime}) {
        if (!kv::HaveMovieContainer(container)) continue;
        const bool avi = container == kv::MovieContainer::Avi;
        codec = avi ? "MJPG" : "jpeg";
        if (!kv::HaveMovieCodec(container, codec)) continue;
        std::string reference;
        for (int32_t depth : {0, 1, kv::DefaultPipelineDepth, 8}) {
            SCOPED_TRACE(codec + " depth " + std::to_string(depth));
            PipelineHost h;
            h.renderer = PaintMovingRamp;
            h.edit = kvtest::Options(96, 64, "25", "00:00:00", "00:00:40", "00:00:03", true);
            const std::string path =
                dir + "/mjpeg-" + std::to_string(depth) + (avi ? ".avi" : ".mov");
            ASSERT_TRUE(Make(h, path, depth));
            const std::string bytes = kvtest::ReadFileBytes(path);
            if (depth == 0) {
                ASSERT_GT(bytes.size(), 96u * 64);
                reference = bytes;
            } else {
                EXPECT_TRUE(bytes == reference)
                    << bytes.size() << " bytes against " << reference.size();
            }
        }
    }
}

}  // namespace
