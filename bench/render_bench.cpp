// Frame renderer benchmark over the move of the peer comparison (bench/compare_zoompan.sh):
// a 4000 x 3000 24-bit picture, zoom 1 -> 2 (the camera's width from the whole picture to
// half of it, width = 4000 / zoom) with a pan to the right-centre quarter, 300 frames at
// 29.97. The move is laid down as keys every 5 frames joined by straight lines, which follows
// the peer's 1 / zoom width to within a pixel.
//
// The picture is the BMP made by ../shared/bench/make_picture.sh when it is found
// ($KV_BENCH_PICTURE, else /tmp/kbbench/pic4000.bmp), otherwise a seeded synthetic picture of
// the same size. Each benchmark renders frames 0..299 round robin through RenderFrame and
// reports frames per second ("fps"). Arguments: bands (1 or 2) and, for the 720 x 480 full
// quality case, whether the AVX2 kernels are used.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/render/render_picture.h"
#include "core/show/show.h"

namespace {

constexpr int PictureWidth = 4000;
constexpr int PictureHeight = 3000;
constexpr int MoveFrames = 300;

const kv::CDIB& Picture() {
    static std::unique_ptr<kv::CDIB> picture = [] {
        auto image = std::make_unique<kv::CDIB>(16, 16, 8);
        const char* env = std::getenv("KV_BENCH_PICTURE");
        const std::string path = env ? env : "/tmp/kbbench/pic4000.bmp";
        struct stat st;
        if (stat(path.c_str(), &st) == 0) {
            kv::FileSpec fileSpec, folder;
            fileSpec.SetPath(path.c_str());
            if (image->Load(fileSpec, folder, false) == 1 && image->BitCount() == 24) {
                std::fprintf(stderr, "render_bench: picture %s (%dx%d)\n", path.c_str(),
                             image->Width(), image->Height());
                return image;
            }
        }
        std::fprintf(stderr, "render_bench: synthetic %dx%d picture\n", PictureWidth,
                     PictureHeight);
        image->Create(PictureWidth, PictureHeight, 24);
        std::mt19937 rng(4000);
        for (int y = 0; y < PictureHeight; ++y) {
            uint8_t* row = image->Row(y);
            for (int i = 0; i < image->RowBytes(); ++i)
                row[i] = static_cast<uint8_t>(((i / 3 + y) >> 3) * 37 + (rng() >> 29));
        }
        return image;
    }();
    return *picture;
}

// A show holding the picture and the move; aspect 0.75 (4:3) or 0.5625 (16:9).
std::unique_ptr<kv::Show> MakeShow(int32_t aspectMode, bool rotate) {
    auto show = std::make_unique<kv::Show>();
    const kv::CDIB& pic = Picture();
    pic.CopyTo(&show->image, true);
    show->pictureCount = 1;
    show->EaseType = kv::EaseNoSlows | kv::EaseNoCurves;
    show->AspectMode = aspectMode;
    show->aspect = kv::AspectOf(aspectMode);
    show->FrameRate = 2997;
    show->DraftRender = false;
    show->BlurFrames = 0;
    show->lastLoadResult = 1;
    kv::Picture& p = show->pictures[0];
    const float iw = static_cast<float>(pic.Width()), ih = static_cast<float>(pic.Height());
    int n = 0;
    for (int f = 0; f < MoveFrames; f += 5) {
        const int on = f;
        const float z = 1.0f + static_cast<float>(on) / (MoveFrames - 1);
        kv::KeyFrame& k = p.keys[n++];
        k = kv::KeyFrame{};
        k.time = on;
        k.width = iw / z;
        const float x = (iw - iw / z) * static_cast<float>(on) / (MoveFrames - 1);
        const float y = (ih - ih / z) * 0.5f * static_cast<float>(on) / (MoveFrames - 1);
        k.x = x + k.width / 2;
        k.y = y + ih / z / 2;
        if (rotate) {
            k.rotation = 4.0f + static_cast<float>(on) * 0.05f;
            k.tiltA = 3.0f;
        }
    }
    p.keys[n] = p.keys[n - 1];
    p.keys[n].time = MoveFrames - 1;
    p.keys[n].width = iw / 2;
    p.keys[n].x = iw * 0.75f;
    p.keys[n].y = ih * 0.5f;
    p.keyCount = n + 1;
    show->length = MoveFrames;
    return show;
}

struct Case {
    int width, height;
    int32_t aspectMode;
    int fieldMode;
    bool rotate;
    bool blur;
};

void RunCase(benchmark::State& state, const Case& c) {
    const bool twoBands = state.range(0) == 2;
    const bool simd = state.range(1) != 0;
    kv::SetRenderSimdEnabled(simd);
    auto show = MakeShow(c.aspectMode, c.rotate);
    show->MultiProcess = twoBands;
    show->MultiProcOffset = c.height / 2 % 2;  // an even upper start for interlaced frames
    show->BlurFrames = c.blur ? 1 : 0;
    kv::CDIB out(c.width, c.height, 32);
    int frame = 0;
    for (auto _ : state) {
        if (!kv::RenderFrame(*show, frame, c.fieldMode, true, c.width, c.height, &out, false)) {
            state.SkipWithError("RenderFrame failed");
            break;
        }
        benchmark::DoNotOptimize(out.Bits());
        frame = (frame + 1) % MoveFrames;
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    kv::SetRenderSimdEnabled(true);
}

void Full720(benchmark::State& s) {
    RunCase(s, {720, 480, 7500, 0, false, false});
}
void Full1080(benchmark::State& s) {
    RunCase(s, {1920, 1080, 5625, 0, false, false});
}
void Rotated720(benchmark::State& s) {
    RunCase(s, {720, 480, 7500, 0, true, false});
}
void Interlaced720(benchmark::State& s) {
    RunCase(s, {720, 480, 7500, 3, false, false});
}
void Blur720(benchmark::State& s) {
    RunCase(s, {720, 480, 7500, 0, false, true});
}
void Draft720(benchmark::State& s) {
    kv::SetRenderSimdEnabled(true);
    auto show = MakeShow(7500, false);
    show->DraftRender = true;
    show->MultiProcess = s.range(0) == 2;
    kv::CDIB out(720, 480, 32);
    int frame = 0;
    for (auto _ : s) {
        kv::RenderFrame(*show, frame, 0, true, 720, 480, &out, false);
        benchmark::DoNotOptimize(out.Bits());
        frame = (frame + 1) % MoveFrames;
    }
    s.counters["fps"] =
        benchmark::Counter(static_cast<double>(s.iterations()), benchmark::Counter::kIsRate);
}

// Arguments: {bands, simd}. Minimum times cover the whole move at least once.
BENCHMARK(Full720)
    ->ArgNames({"bands", "simd"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({1, 0})
    ->Args({2, 0})
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Full1080)
    ->ArgNames({"bands", "simd"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Rotated720)
    ->ArgNames({"bands", "simd"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({2, 0})
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Interlaced720)
    ->ArgNames({"bands", "simd"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Blur720)
    ->ArgNames({"bands", "simd"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Draft720)->ArgName("bands")->Arg(1)->Arg(2)->MinTime(1.0)->UseRealTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
