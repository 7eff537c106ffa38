// Editor views benchmark: real-time playback in the viewer and the stage's drag step, on the
// headless window backend (every frame is rendered and drawn into the viewer's surface; nothing
// is presented on a screen), or with KV_BENCH_BACKEND=sdl on the X display, where
// KINEVISTA_SCALE=2 measures playback on a screen of twice the density.
//
// The picture is the 4000 x 3000 BMP made by ../shared/bench/make_picture.sh ($KV_BENCH_PICTURE,
// else /tmp/kbbench/pic4000.bmp), otherwise a seeded synthetic picture of that size. The show
// zooms in from the whole picture to half of it with a pan over 300 frames at 29.97.
//
// Playback/<width>/<bands>: one run plays frames 0..300 (ten seconds) on the real counter in a
// viewer whose picture is <width> pixels wide, at full quality in one or two bands, and reports
// "due_shown" (frames drawn / frames due), the frames drawn per second and the scale factor (the
// viewer renders picture_w x picture_h times the factor squared).
// DragStep/<width>: one iteration is one step of a move drag on the stage (erase, change and
// redraw the frame inverted, draft render and draw in the viewer); reports milliseconds a step.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "core/base/settings.h"
#include "core/show/show.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/toolkit.h"
#include "editor/ui/views/stage.h"
#include "editor/ui/views/timeline.h"
#include "editor/ui/views/viewer.h"
#include "platform/win/headless/headless.h"

namespace {

constexpr int MoveFrames = 300;

void LoadPicture(kv::CDIB& image) {
    const char* env = std::getenv("KV_BENCH_PICTURE");
    const std::string path = env ? env : "/tmp/kbbench/pic4000.bmp";
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        kv::FileSpec fileSpec, folder;
        fileSpec.SetPath(path.c_str());
        if (image.Load(fileSpec, folder, false) == 1 && image.BitCount() == 24) {
            std::fprintf(stderr, "editor_views_bench: picture %s (%dx%d)\n", path.c_str(),
                         image.Width(), image.Height());
            return;
        }
    }
    std::fprintf(stderr, "editor_views_bench: synthetic 4000x3000 picture\n");
    image.Create(4000, 3000, 24);
    std::mt19937 rng(4000);
    for (int y = 0; y < 3000; ++y) {
        uint8_t* row = image.Row(y);
        for (int i = 0; i < image.RowBytes(); ++i)
            row[i] = static_cast<uint8_t>(((i / 3 + y) >> 3) * 37 + (rng() >> 29));
    }
}

// The main window's stand-in: a plain window the views place themselves against.
class Frame : public kv::CPWnd {
public:
    static int64_t Proc(kv::HWND h, uint32_t m, uint64_t w, int64_t l) {
        return kv::CPWnd::Route(current, h, m, w, l);
    }
    static inline Frame* current = nullptr;
};

struct Views {
    kv::Show show;
    Frame main;
    kv::CStage stage{kv::Session()};
    kv::CTime timeline{kv::Session()};
    kv::CView viewer{kv::Session()};

    explicit Views(int pictureWidth) {
        // KV_BENCH_BACKEND=sdl shows the views on the display (with KINEVISTA_SCALE, at that
        // factor), so that playback counts presenting the frames too.
        static const bool onDisplay = [] {
            const char* backend = std::getenv("KV_BENCH_BACKEND");
            const bool display = backend && *backend && kv::SelectBackend(backend);
            if (!display) kv::headless::Use();
            kv::StartToolkit(nullptr, "Kinevista", 101);
            std::fprintf(stderr, "editor_views_bench: %s backend, scale %.2f\n", kv::BackendName(),
                         kv::GetScaleFactor());
            return display;
        }();
        if (!onDisplay)
            kv::headless::SetMonitors({{kv::Rect{0, 0, 2560, 1600}, kv::Rect{0, 0, 2560, 1600}}});
        LoadPicture(show.image);
        show.pictureCount = 1;
        show.FrameRate = 2997;
        show.length = MoveFrames;
        show.DraftRender = false;
        kv::Picture& p = show.pictures[0];
        const float iw = static_cast<float>(show.image.Width());
        const float ih = static_cast<float>(show.image.Height());
        for (int i = 0; i < 4; ++i) {
            kv::KeyFrame& k = p.keys[i];
            k = kv::KeyFrame{};
            k.time = i * MoveFrames / 3;
            const float z = 1.0f + static_cast<float>(i) / 3.0f;
            k.width = iw / z;
            k.x = iw * (0.5f + 0.08f * static_cast<float>(i));
            k.y = ih * 0.5f;
        }
        p.keyCount = 4;
        kv::Session().Detach();
        kv::Session().Attach(&show, &kv::TheSettings());
        kv::Settings& st = kv::TheSettings();
        st.WriteInt("StageScale", 25);
        st.WriteInt("ViewerLeft", 100);
        st.WriteInt("ViewerTop", 100);
        st.WriteInt("ViewerWidth", pictureWidth + 8);
        Frame::current = &main;
        main.CreateWin(nullptr, kv::WinPopup, &Frame::Proc);
        main.MoveTo(0, 0, 2500, 1500, false);
        main.Show(1);
        stage.Create(main.hwnd);
        timeline.Create(main.hwnd);
        viewer.Create(main.hwnd);
        // The picture area exactly pictureWidth wide, whatever the frame's borders.
        const kv::Rect outer = viewer.GetWindowRect();
        const int border = (outer.right - outer.left) - viewer.GetClientRect().right;
        viewer.MoveTo(outer.left, outer.top, outer.left + pictureWidth + border, outer.bottom,
                      true);
        kv::DrainMessages();
        kv::Session().GoToFrame(0, true);
    }
    ~Views() {
        kv::Session().Detach();
        viewer.DestroyWin();
        timeline.DestroyWin();
        stage.DestroyWin();
        main.DestroyWin();
        kv::DrainMessages();
    }
};

void Playback(benchmark::State& state) {
    Views e(static_cast<int>(state.range(0)));
    e.show.MultiProcess = state.range(1) == 2;
    double shown = 0, due = 0, seconds = 0, logical = 0;
    for (auto _ : state) {
        e.show.currentFrame = 0;
        const int64_t before = e.viewer.framesShown;
        const int64_t beforeLogical = e.viewer.framesAtLogicalPixels;
        const int64_t start = kv::Counter();
        e.viewer.Play(1);
        seconds += static_cast<double>(kv::Counter() - start) /
                   static_cast<double>(kv::CounterFrequency());
        shown += static_cast<double>(e.viewer.framesShown - before);
        logical += static_cast<double>(e.viewer.framesAtLogicalPixels - beforeLogical);
        due += e.viewer.playEndFrame + 1;
    }
    state.counters["due_shown"] = due > 0 ? shown / due : 0;
    state.counters["drawn_fps"] = seconds > 0 ? shown / seconds : 0;
    state.counters["picture_w"] = e.viewer.PictureArea().right;
    state.counters["picture_h"] = e.viewer.PictureArea().bottom;
    // At a factor the viewer renders that many times the width and height on the display,
    // unless it fell behind: "logical_share" is the share of the frames shown that it drew at
    // logical pixels instead.
    state.counters["scale"] = kv::GetScaleFactor();
    state.counters["logical_share"] = shown > 0 ? logical / shown : 0;
}

void DragStep(benchmark::State& state) {
    Views e(static_cast<int>(state.range(0)));
    const kv::FrameShape s = e.stage.Shape();
    e.stage.MouseDown(s.cx, s.cy, kv::MK_LBUTTON);
    int step = 0;
    for (auto _ : state) {
        const int d = (step++ % 40) - 20;
        e.stage.DragTo(s.cx + d, s.cy + d / 2, kv::MK_LBUTTON);
    }
    e.stage.OnMessage(kv::MsgEndDrag, 0, 0);
    state.counters["ms_per_step"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / 1000.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["picture_w"] = e.viewer.PictureArea().right;
}

}  // namespace

BENCHMARK(Playback)
    ->Args({720, 1})
    ->Args({720, 2})
    ->Args({1920, 1})
    ->Args({1920, 2})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(DragStep)->Arg(720)->Arg(1920)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
