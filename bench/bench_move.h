// The benchmark move shared by the movie benchmarks: ffmpeg zoompan's zoom 1 -> 2 with a pan over
// the 4000 x 3000 picture of make_picture.sh, as a show file of 300 frames at 29.97, and frames of
// it rendered once into memory.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/render/show_loading.h"
#include "core/render/treatments.h"
#include "core/show/show.h"

namespace kv_bench {

constexpr int MoveFrames = 300;

inline std::string BenchDir() {
    const char* d = std::getenv("KV_BENCH_DIR");
    return d ? d : "/tmp/kbbench";
}

inline bool Exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && st.st_size > 0;
}

// The show file of the move, made once beside the picture: keys every 5 frames on zoompan's
// path (width = picture width / zoom, window's corner moving linearly). Empty without the picture.
inline std::string ShowFile() {
    static std::string path = [] {
        kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
        const std::string jpg = BenchDir() + "/pic4000.jpg";
        if (!Exists(jpg)) return std::string();
        kv::Show show;
        show.FrameRate = 2997;
        kv::FileSpec fileSpec;
        fileSpec.SetPath(jpg.c_str());
        kv::PrepPicture(show, fileSpec, 0, 0);
        if (show.lastLoadResult != 1) return std::string();
        const float iw = 4000, ih = 3000;
        kv::Picture& p = show.pictures[0];
        int n = 0;
        for (int f = 0; f < MoveFrames; f += 5) {
            const float s = static_cast<float>(f) / (MoveFrames - 1), z = 1.0f + s;
            kv::KeyFrame& k = p.keys[n++];
            k = p.keys[0];
            k.time = f;
            k.width = iw / z;
            k.x = (iw - iw / z) * s + k.width / 2;
            k.y = (ih - ih / z) * 0.5f * s + ih / z / 2;
        }
        p.keys[n] = p.keys[n - 1];
        p.keys[n].time = MoveFrames - 1;
        p.keys[n].width = iw / 2;
        p.keys[n].x = iw * 0.75f;
        p.keys[n].y = ih * 0.5f;
        p.keyCount = n + 1;
        const std::string out = BenchDir() + "/movie_bench.kvx";
        return kv::SaveShow(show, out) ? out : std::string();
    }();
    return path;
}

// `count` frames spread over the move at w x h, 32 bits, rendered once per size; empty without
// the picture.
inline const std::vector<std::unique_ptr<kv::CDIB>>& PreRendered(int w, int h, int count) {
    static std::map<long, std::vector<std::unique_ptr<kv::CDIB>>> cache;
    auto& frames = cache[(static_cast<long>(w) * 10000 + h) * 1000 + count];
    if (!frames.empty() || ShowFile().empty()) return frames;
    kv::Show show;
    show.FrameRate = 2997;
    if (!kv::LoadShow(show, ShowFile(), false)) return frames;
    for (int i = 0; i < count; ++i) {
        auto f = std::make_unique<kv::CDIB>(w, h, 32);
        if (!kv::RenderFrame(show, i * MoveFrames / count, 0, true, w, h, f.get(), true)) {
            frames.clear();
            return frames;
        }
        frames.push_back(std::move(f));
    }
    return frames;
}

}  // namespace kv_bench
