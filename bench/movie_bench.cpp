// Whole-movie throughput: a 10-second show (300 frames at 29.97, 720 x 480, progressive) made
// into an uncompressed AVI and a Motion JPEG AVI by MakeMovie, from the show file through the
// picture's decoding and preparation to the closed movie; and, in the same run, ffmpeg's
// zoompan filter doing the same zoom 1 -> 2 and pan over the same picture into the same codec
// (the command of ../shared/bench/peer_zoompan.sh, case zp480_avi_bgr24, with the codec
// swapped: 32-bit BGRA raw, or MJPEG at qscale 2 in 4:2:2 as our quality 100).
//
// Needs the 4000 x 3000 picture of make_picture.sh in $KV_BENCH_DIR (default /tmp/kbbench) and
// the peer script ($KV_PEER_SCRIPT, default /work/shared/bench/peer_zoompan.sh). At the end the
// ratio of our frames per second to the peer's is printed for each codec.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/render/show_loading.h"
#include "core/render/treatments.h"
#include "core/show/show.h"
#include "editor/output/make_movie.h"
#include "editor/output/movie_host.h"

namespace {

constexpr int MoveFrames = 300;

std::string BenchDir() {
    const char* d = std::getenv("KV_BENCH_DIR");
    return d ? d : "/tmp/kbbench";
}

std::string PeerScript() {
    const char* s = std::getenv("KV_PEER_SCRIPT");
    return s ? s : "/work/shared/bench/peer_zoompan.sh";
}

bool Exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && st.st_size > 0;
}

class QuietSink : public kv::AlertSink {
public:
    kv::Answer Show(kv::AlertKind, const std::string&, const std::string&) override {
        return kv::Answer::Ok;
    }
};

class BenchHost : public kv::MovieHost {
public:
    bool MovieOptions(kv::MovieOptionTexts& t) override {
        t.width = "720";
        t.height = "480";
        t.start = "00:00:00";
        t.end = "00:10:00";  // 10 seconds at 29.97: 300 frames
        t.hold = "00:00:00";
        t.fps = "29.97";
        t.quality = "100";
        t.fields = "";
        t.reverse = "";
        return true;
    }
    bool ChooseOutputFile(const kv::FileRequest&, std::string& path) override {
        path = output;
        return true;
    }
    bool ChooseShowFiles(const kv::FileRequest&, std::vector<std::string>&) override {
        return false;
    }
    bool ChooseAviCompressor(std::string& codecType, int32_t&) override {
        codecType = codec;
        return true;
    }
    bool ChooseQtCompressor(std::string&, int32_t&, int32_t&) override { return true; }
    void ShowProgress(double, const char*, uint64_t) override {}
    bool TakeKeyDown(bool) override { return false; }
    std::string output, codec;
};

// The show file of the move, made once beside the picture: keys every 5 frames on zoompan's
// path (width = picture width / zoom, window's corner moving linearly).
std::string ShowFile() {
    static std::string path = [] {
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

std::map<std::string, std::vector<double>> g_seconds;

void Record(const std::string& name, double seconds) {
    g_seconds[name].push_back(seconds);
}

void CountFrames(benchmark::State& state) {
    state.counters["fps"] = benchmark::Counter(MoveFrames * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void KinevistaMovie(benchmark::State& state, const std::string& codec) {
    const std::string showPath = ShowFile();
    if (showPath.empty()) {
        state.SkipWithError("no picture: run make_picture.sh first");
        return;
    }
    QuietSink quiet;
    kv::AlertSink* previous = kv::SetAlertSink(&quiet);
    kv::TheSettings().WriteString("CodecType", codec.c_str());
    BenchHost host;
    host.codec = codec;
    host.output = BenchDir() + "/kv_" + (codec.empty() ? std::string("raw") : codec) + ".avi";
    for (auto _ : state) {
        const double t0 = Now();
        kv::Show show;
        show.FrameRate = 2997;
        if (!kv::LoadShow(show, showPath, false) || !kv::MakeMovie(show, host, false)) {
            state.SkipWithError("movie failed");
            break;
        }
        Record("kinevista " + (codec.empty() ? std::string("raw") : codec), Now() - t0);
    }
    CountFrames(state);
    kv::SetAlertSink(previous);
}

void PeerMovie(benchmark::State& state, const std::string& codec) {
    std::string cmd;
    {
        std::FILE* p = popen(("bash '" + PeerScript() + "' show zp480_avi_bgr24").c_str(), "r");
        char buf[4096];
        while (p && std::fgets(buf, sizeof buf, p)) cmd += buf;
        if (p) pclose(p);
    }
    const std::string from = "-c:v rawvideo -pix_fmt bgr24";
    const size_t at = cmd.find(from);
    const size_t out = cmd.find("out480.avi");
    if (cmd.empty() || at == std::string::npos || out == std::string::npos ||
        !Exists(BenchDir() + "/pic4000.jpg")) {
        state.SkipWithError("peer script or picture missing");
        return;
    }
    const std::string tag = codec.empty() ? "raw" : codec;
    cmd.replace(out, 10, "peer_" + tag + ".avi");
    cmd.replace(
        at, from.size(),
        codec.empty() ? "-c:v rawvideo -pix_fmt bgra" : "-c:v mjpeg -q:v 2 -pix_fmt yuvj422p");
    while (!cmd.empty() && cmd.back() == '\n') cmd.pop_back();
    for (auto _ : state) {
        const double t0 = Now();
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("peer command failed");
            break;
        }
        Record("zoompan " + tag, Now() - t0);
    }
    CountFrames(state);
}

void KinevistaRaw(benchmark::State& s) {
    KinevistaMovie(s, "");
}
void ZoompanRaw(benchmark::State& s) {
    PeerMovie(s, "");
}
void KinevistaMjpeg(benchmark::State& s) {
    KinevistaMovie(s, "MJPG");
}
void ZoompanMjpeg(benchmark::State& s) {
    PeerMovie(s, "MJPG");
}

BENCHMARK(KinevistaRaw)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(ZoompanRaw)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(KinevistaMjpeg)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(ZoompanMjpeg)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* tag : {"raw", "MJPG"}) {
        const double ours = Median(g_seconds[std::string("kinevista ") + tag]);
        const double peer = Median(g_seconds[std::string("zoompan ") + tag]);
        if (ours <= 0 || peer <= 0) continue;
        std::printf(
            "movie %-4s: kinevista %.1f fps, zoompan %.1f fps, ratio %.2f (median of %zu)\n", tag,
            MoveFrames / ours, MoveFrames / peer, peer / ours,
            g_seconds[std::string("kinevista ") + tag].size());
    }
    return 0;
}
