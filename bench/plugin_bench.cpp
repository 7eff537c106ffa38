// Per-frame cost of the effect inside the host while "PrivateData" stays the same, against the
// render itself.
//
//   BM_HostFrame/W/H     one slot-8 call through the plug-in's exports: output frame, parameter
//                        read (4096 bytes), stamp check, RenderFrame, row flip and copy
//   BM_DirectRender/W/H  RenderFrame alone on the same show in this process
//   BM_HostFrame/8/8     the same call for an 8 x 8 frame: close to the fixed overhead alone
//
// The show is a 1920 x 1080 synthetic picture with a zoom and pan over 300 frames; frames are
// taken round robin. The public folder is a private temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/render/show_loading.h"
#include "core/show/show.h"
#include "platform/host/acf_ids.h"
#include "tools/host/sim_host.h"

using namespace acf;
using namespace kvhost;

namespace {

struct Setup {
    std::vector<uint8_t> block;
    PluginModule plugin;
    HostState state;

    Setup() {
        static char folder[] = "/tmp/kvbench-plugin-XXXXXX";
        if (mkdtemp(folder)) setenv("KINEVISTA_PUBLIC", folder, 1);
        const std::string picturePath = std::string(folder) + "/picture.bmp";
        kv::CDIB picture(1920, 1080, 24);
        for (int y = 0; y < 1080; ++y) {
            uint8_t* row = picture.Row(y);
            for (int x = 0; x < 1920; ++x) {
                row[3 * x] = static_cast<uint8_t>(x);
                row[3 * x + 1] = static_cast<uint8_t>(y);
                row[3 * x + 2] = static_cast<uint8_t>(x * y >> 6);
            }
        }
        kv::FileSpec fileSpec;
        fileSpec.SetPath(picturePath.c_str());
        picture.Save(fileSpec, kv::FormatBmp);

        kv::Show show;
        show.Reset();
        show.pictures[0].fileSpec = fileSpec;
        show.pictureCount = 1;
        show.pictures[0].keyCount = 2;
        kv::KeyFrame k{};
        k.x = 960;
        k.y = 540;
        k.width = 1900;
        show.pictures[0].keys[0] = k;
        k.x = 1300;
        k.width = 900;
        k.time = 299;
        show.pictures[0].keys[1] = k;
        block.assign(4096, 0);
        kv::Serialise(show, block.data());
        std::string error;
        if (!plugin.Load(KV_PLUGIN_PATH, &error)) std::fprintf(stderr, "%s\n", error.c_str());
    }
};

Setup& TheSetup() {
    static Setup setup;
    return setup;
}

void BM_HostFrame(benchmark::State& st) {
    Setup& s = TheSetup();
    const int32_t w = static_cast<int32_t>(st.range(0));
    const int32_t h = static_cast<int32_t>(st.range(1));
    IACFUnknown* host = NewHostObject(s.state);
    void* object = nullptr;
    if (!s.plugin.Loaded() || CreateComponent(s.plugin, host, CLSID_CAVX2ModalUI_Effect,
                                              IID_IAVXEffect, &object) != ACF_OK) {
        st.SkipWithError("plug-in not available");
        host->Release();
        return;
    }
    auto* effect = static_cast<IAVXEffect*>(object);
    void* context = nullptr;
    effect->CreateRenderContext(0, &context);
    EffectSetup setup;
    setup.privateData = s.block;
    EffectAccess access = NewEffectAccess(s.state, setup, w, h);
    FrameSpec frame;
    frame.width = w;
    frame.height = h;
    OutputSetup output = NewOutputAccess(s.state, frame);
    IAVXFieldType* field = NewFieldType(s.state, 0);
    IAVXTime* times[300];
    for (int f = 0; f < 300; ++f) times[f] = NewTime(s.state, f);

    // The first frame loads the show; the measured ones find the stamp unchanged.
    effect->RenderFrame(access.access, context, 0, times[0], 0, field, output.output);
    int f = 0;
    for (auto _ : st) {
        effect->RenderFrame(access.access, context, 0, times[f], 0, field, output.output);
        benchmark::DoNotOptimize(output.pixels->data());
        f = (f + 1) % 300;
    }
    st.counters["fps"] =
        benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
    for (IAVXTime* t : times) t->Release();
    field->Release();
    output.output->Release();
    access.Release();
    effect->DestroyRenderContext(0, context);
    effect->Release();
    host->Release();
}

void BM_DirectRender(benchmark::State& st) {
    Setup& s = TheSetup();
    const int32_t w = static_cast<int32_t>(st.range(0));
    const int32_t h = static_cast<int32_t>(st.range(1));
    kv::Settings settings;  // as a render context reads it
    settings.Load();
    auto show = std::make_unique<kv::Show>(settings);
    kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
    show->Reset();
    kv::Parse(*show, s.block.data(), 4096, false);
    kv::CDIB frame(w, h, 32);
    int f = 0;
    for (auto _ : st) {
        kv::RenderFrame(*show, f, 0, true, w, h, &frame, false);
        benchmark::DoNotOptimize(frame.Bits());
        f = (f + 1) % 300;
    }
    st.counters["fps"] =
        benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_HostFrame)
    ->Args({720, 480})
    ->Args({1920, 1080})
    ->Args({8, 8})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DirectRender)
    ->Args({720, 480})
    ->Args({1920, 1080})
    ->Args({8, 8})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
