// Whole-movie throughput and its limits, in one run.
//
// 1. In process: a 10-second show (300 frames at 29.97, 720 x 480, progressive) made into an
//    uncompressed AVI and a Motion JPEG AVI by MakeMovie, from the show file through the
//    picture's decoding and preparation to the closed movie, with the pipeline (depth 3) and one
//    frame at a time (depth 0).
// 2. The limits: the encoder alone (conversion, encoder and muxer, no render) on pre-rendered
//    frames of the same move for MJPEG, H.264 (AVI) and ProRes 422 (.mov), and the raw writer
//    alone (uncompressed AVI), at 720 x 480 and 1920 x 1080.
// 3. As a user runs it: whole `kinevista-cli movie` processes (picture load included) against
//    ffmpeg's zoompan filter doing the same zoom 1 -> 2 and pan over the same picture into the
//    same codec (the commands of ../shared/bench/peer_zoompan.sh, cases zp480_null and
//    zp1080_null, with the codec added), at both sizes.
//
// Needs the 4000 x 3000 picture of make_picture.sh in $KV_BENCH_DIR (default /tmp/kbbench), the
// peer script ($KV_PEER_SCRIPT, default /work/shared/bench/peer_zoompan.sh) and kinevista-cli
// beside this program (or $KV_CLI). $KV_BENCH_RUNS sets the runs per case (default 3). At the end
// a table gives frames per second, the ratio to zoompan and the share of the encoder-alone figure.
// The 1920 x 1080 movies use the show's own 4:3 camera; zoompan crops the picture to 16:9 first.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_move.h"
#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/render/render_frame.h"
#include "core/render/show_loading.h"
#include "core/render/treatments.h"
#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_host.h"
#include "output/movie_settings.h"
#include "platform/video/movie_writer.h"

namespace {

using kv_bench::BenchDir;
using kv_bench::Exists;
using kv_bench::MoveFrames;
using kv_bench::ShowFile;

std::string PeerScript() {
    const char* s = std::getenv("KV_PEER_SCRIPT");
    return s ? s : "/work/shared/bench/peer_zoompan.sh";
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
    int32_t PipelineDepth() override { return depth; }
    std::string output, codec;
    int32_t depth = kv::DefaultPipelineDepth;
};

std::map<std::string, std::vector<double>> g_seconds;
// Processor seconds (user + system, every thread) of the same runs: on a shared machine the wall
// time follows the other load, this does much less.
std::map<std::string, std::vector<double>> g_cpu;

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

void Record(const std::string& name, double seconds, double cpu = -1) {
    g_seconds[name].push_back(seconds);
    if (cpu >= 0) g_cpu[name].push_back(cpu);
}

void CountFrames(benchmark::State& state) {
    state.counters["fps"] = benchmark::Counter(MoveFrames * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int Runs() {
    const char* r = std::getenv("KV_BENCH_RUNS");
    const int n = r ? std::atoi(r) : 3;
    return n > 0 ? n : 3;
}

std::string Tag(const std::string& codec) {
    return codec.empty() || codec == "DIB " ? std::string("raw") : codec;
}

// --- 1. MakeMovie in process -------------------------------------------------------------------

void KinevistaMovie(benchmark::State& state, const std::string& codec, int32_t depth) {
    const std::string showPath = ShowFile();
    if (showPath.empty()) {
        state.SkipWithError("no picture: run make_picture.sh first");
        return;
    }
    QuietSink quiet;
    kv::AlertSink* previous = kv::SetAlertSink(&quiet);
    kv::MovieSettings kept;
    kept.codecType = codec;
    BenchHost host;
    host.codec = codec;
    host.depth = depth;
    host.output = BenchDir() + "/kv_" + Tag(codec) + ".avi";
    for (auto _ : state) {
        const double t0 = Now(), c0 = CpuSeconds(RUSAGE_SELF);
        kv::Show show;
        show.FrameRate = 2997;
        if (!kv::LoadShow(show, showPath, false) || !kv::MakeMovie(show, host, false, kept)) {
            state.SkipWithError("movie failed");
            break;
        }
        Record("in process " + Tag(codec) + " depth " + std::to_string(depth), Now() - t0,
               CpuSeconds(RUSAGE_SELF) - c0);
    }
    CountFrames(state);
    kv::SetAlertSink(previous);
}

// --- 2. The limits: encoder alone, raw writer alone ------------------------------------------

// Distinct frames of the move, rendered once per size and written over and over.
constexpr int PreRenderedFrames = 20;

const std::vector<std::unique_ptr<kv::CDIB>>& PreRendered(int w, int h) {
    return kv_bench::PreRendered(w, h, PreRenderedFrames);
}

void EncoderAlone(benchmark::State& state, const std::string& codec, int w, int h) {
    const auto& frames = PreRendered(w, h);
    if (frames.size() != PreRenderedFrames) {
        state.SkipWithError("no picture: run make_picture.sh first");
        return;
    }
    const bool mov = codec == "apcn";
    kv::MovieFormat f;
    f.container = mov ? kv::MovieContainer::QuickTime : kv::MovieContainer::Avi;
    f.width = w;
    f.height = h;
    f.rate = 2997;
    f.scale = 100;
    f.timeScale = 2997;
    f.frameDuration = 100;
    f.codec = codec;
    f.quality = 100;
    const std::string out =
        BenchDir() + "/alone_" + Tag(codec) + "_" + std::to_string(h) + (mov ? ".mov" : ".avi");
    for (auto _ : state) {
        const double t0 = Now(), c0 = CpuSeconds(RUSAGE_SELF);
        kv::MovieWriter writer;
        bool ok = writer.Open(out, f);
        for (int i = 0; ok && i < MoveFrames; ++i) {
            const kv::CDIB& frame = *frames[i % PreRenderedFrames];
            ok = writer.WriteFrame(i, frame.Bits(), frame.RowBytes());
        }
        if (!writer.Close() || !ok) {
            state.SkipWithError(("encoder failed: " + writer.LastError()).c_str());
            break;
        }
        Record("alone " + Tag(codec) + " " + std::to_string(h), Now() - t0,
               CpuSeconds(RUSAGE_SELF) - c0);
    }
    CountFrames(state);
}

// --- 3. Whole command-line runs against zoompan ------------------------------------------------

std::string g_cli;

double g_lastCpu = 0;  // processor seconds of the last RunTimed command

// Runs a command that writes `output`, removed first (and the file system synced) outside the
// timing: freeing the previous run's hundreds of megabytes belongs to neither side's movie.
double RunTimed(const std::string& cmd, const std::string& output = "") {
    if (!output.empty()) {
        std::remove(output.c_str());
        sync();
    }
    const double t0 = Now(), c0 = CpuSeconds(RUSAGE_CHILDREN);
    const bool ok = std::system(cmd.c_str()) == 0;
    g_lastCpu = CpuSeconds(RUSAGE_CHILDREN) - c0;
    return ok ? Now() - t0 : -1;
}

void CliMovie(benchmark::State& state, const std::string& codec, int w, int h) {
    const std::string showPath = ShowFile();
    if (showPath.empty() || !Exists(g_cli)) {
        state.SkipWithError("no picture or no kinevista-cli");
        return;
    }
    const std::string ext = codec == "apcn" ? ".mov" : ".avi";
    const std::string out = BenchDir() + "/cli_" + Tag(codec) + "_" + std::to_string(h) + ext;
    const std::string cmd = "'" + g_cli + "' movie '" + showPath + "' --out '" + out + "' --size " +
                            std::to_string(w) + "x" + std::to_string(h) +
                            " --start 00:00:00 --end 00:10:00 --hold 00:00:00 --fps 29.97"
                            " --quality 100 --no-fields --codec '" +
                            codec + "' >/dev/null 2>&1";
    for (auto _ : state) {
        const double s = RunTimed(cmd, out);
        if (s < 0) {
            state.SkipWithError("kinevista-cli failed");
            break;
        }
        Record("cli " + Tag(codec) + " " + std::to_string(h), s, g_lastCpu);
    }
    CountFrames(state);
}

// The first frame: a one-frame Motion JPEG movie against the picture's decoding by djpeg, and
// the program's start alone (`kinevista-cli --help`: loading its libraries, FFmpeg's among them),
// so that the set-up between the decode and the first frame shows.
void FirstFrame(benchmark::State& state, const std::string& what) {
    const std::string showPath = ShowFile();
    if (showPath.empty() || !Exists(g_cli)) {
        state.SkipWithError("no picture or no kinevista-cli");
        return;
    }
    const std::string output = BenchDir() + "/first_frame.avi";
    std::string cmd;
    if (what == "djpeg")
        cmd = "djpeg -outfile /dev/null '" + BenchDir() + "/pic4000.jpg'";
    else if (what == "start")
        cmd = "'" + g_cli + "' --help";
    else
        cmd = "'" + g_cli + "' movie '" + showPath + "' --out '" + output +
              "' --size 720x480 --start 00:00:00 --end 00:10:00 --hold 00:00:00"
              " --fps 29.97 --quality 100 --no-fields --codec MJPG --frames 0-0";
    for (auto _ : state) {
        const double s = RunTimed(cmd + " >/dev/null 2>&1", what == "movie" ? output : "");
        if (s < 0) {
            state.SkipWithError("command failed");
            break;
        }
        Record("first " + what, s, g_lastCpu);
    }
}

std::string PeerCodec(const std::string& codec);

// x264 on its own: ffmpeg encoding the frames of our uncompressed movie of the same size (made
// by the Cli/raw case before it) with the options of PeerCodec, x264 choosing its threads.
// Reading an uncompressed AVI is no work; the conversion to 4:2:0 is part of both.
void X264FromRaw(benchmark::State& state, int h) {
    const std::string in = BenchDir() + "/cli_raw_" + std::to_string(h) + ".avi";
    if (!Exists(in)) {
        state.SkipWithError("no uncompressed movie: run Cli/raw first");
        return;
    }
    const std::string out = BenchDir() + "/x264_" + std::to_string(h) + ".avi";
    const std::string cmd = "ffmpeg -hide_banner -nostdin -loglevel error -y -i '" + in + "' " +
                            PeerCodec("H264") + " '" + out + "' >/dev/null 2>&1";
    for (auto _ : state) {
        const double s = RunTimed(cmd, out);
        if (s < 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        Record("x264 " + std::to_string(h), s, g_lastCpu);
    }
    CountFrames(state);
}

// The peer's codec options for the same codec and quality as ours at quality 100.
std::string PeerCodec(const std::string& codec) {
    if (codec == "MJPG") return "-c:v mjpeg -q:v 2 -pix_fmt yuvj422p";
    if (codec == "H264") return "-c:v libx264 -preset veryfast -crf 0 -g 1 -bf 0 -pix_fmt yuv420p";
    if (codec == "apcn") return "-c:v prores_ks -profile:v 2 -pix_fmt yuv422p10le";
    return "-c:v rawvideo -pix_fmt bgra";
}

void PeerMovie(benchmark::State& state, const std::string& codec, int h) {
    std::string cmd;
    {
        const std::string which = h == 1080 ? "zp1080_null" : "zp480_null";
        std::FILE* p = popen(("bash '" + PeerScript() + "' show " + which).c_str(), "r");
        char buf[4096];
        while (p && std::fgets(buf, sizeof buf, p)) cmd += buf;
        if (p) pclose(p);
    }
    while (!cmd.empty() && cmd.back() == '\n') cmd.pop_back();
    const std::string nullOut = "-f null -";
    const size_t at = cmd.rfind(nullOut);
    if (cmd.empty() || at == std::string::npos || !Exists(BenchDir() + "/pic4000.jpg")) {
        state.SkipWithError("peer script or picture missing");
        return;
    }
    const std::string ext = codec == "apcn" ? ".mov" : ".avi";
    const std::string out = BenchDir() + "/peer_" + Tag(codec) + "_" + std::to_string(h) + ext;
    cmd.replace(at, nullOut.size(), PeerCodec(codec) + " '" + out + "'");
    for (auto _ : state) {
        const double s = RunTimed(cmd + " >/dev/null 2>&1", out);
        if (s < 0) {
            state.SkipWithError("peer command failed");
            break;
        }
        Record("zoompan " + Tag(codec) + " " + std::to_string(h), s, g_lastCpu);
    }
    CountFrames(state);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Fps(const std::string& name) {
    const double s = Median(g_seconds[name]);
    return s > 0 ? MoveFrames / s : 0;
}

double Cpu(const std::string& name) {
    return Median(g_cpu[name]);
}

const char* const kCodecs[] = {"DIB ", "MJPG", "H264", "apcn"};
const int kHeights[] = {480, 1080};

void Register() {
    const int runs = Runs();
    auto add = [&](const std::string& name, auto fn) {
        benchmark::RegisterBenchmark(name.c_str(), fn)
            ->Iterations(runs)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    };
    for (int depth : {kv::DefaultPipelineDepth, 0})
        for (const char* c : {"", "MJPG"}) {
            const std::string codec = c;
            add("InProcess/" + Tag(codec) + "/depth:" + std::to_string(depth),
                [=](benchmark::State& s) { KinevistaMovie(s, codec, depth); });
        }
    for (const char* what : {"djpeg", "start", "movie"}) {
        const std::string w = what;
        benchmark::RegisterBenchmark(("FirstFrame/" + w).c_str(),
                                     [=](benchmark::State& s) { FirstFrame(s, w); })
            ->Iterations(std::max(runs, 5))
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    for (int h : kHeights) {
        const int w = h == 1080 ? 1920 : 720;
        for (const char* c : kCodecs) {
            const std::string codec = c;
            const std::string suffix = Tag(codec) + "/" + std::to_string(h);
            add("EncoderAlone/" + suffix,
                [=](benchmark::State& s) { EncoderAlone(s, codec, w, h); });
            add("Cli/" + suffix, [=](benchmark::State& s) { CliMovie(s, codec, w, h); });
            add("Zoompan/" + suffix, [=](benchmark::State& s) { PeerMovie(s, codec, h); });
            if (codec == "H264")
                add("X264FromRaw/" + std::to_string(h),
                    [=](benchmark::State& s) { X264FromRaw(s, h); });
        }
    }
}

void PrintTable() {
    std::printf("\nin process, 720 x 480: pipeline against one frame at a time (cpu: seconds)\n");
    for (const char* tag : {"raw", "MJPG"}) {
        const std::string piped = std::string("in process ") + tag + " depth 3";
        const std::string single = std::string("in process ") + tag + " depth 0";
        if (Fps(piped) > 0 && Fps(single) > 0)
            std::printf(
                "  %-4s  pipeline %6.1f fps (cpu %.2f)   one at a time %6.1f fps (cpu %.2f)   "
                "gain %.2fx\n",
                tag, Fps(piped), Cpu(piped), Fps(single), Cpu(single), Fps(piped) / Fps(single));
    }
    const double djpeg = Median(g_seconds["first djpeg"]), start = Median(g_seconds["first start"]),
                 first = Median(g_seconds["first movie"]);
    if (djpeg > 0 && first > 0)
        std::printf(
            "\nfirst frame, 720 x 480 MJPG (ms, median): whole program %.0f; its start alone %.0f;"
            "\n  after the start %.0f, against the picture's decode by djpeg %.0f: %+.0f ms\n",
            first * 1e3, start * 1e3, (first - start) * 1e3, djpeg * 1e3,
            (first - start - djpeg) * 1e3);
    std::printf(
        "\nwhole runs, 300 frames (fps; ratio = ours / zoompan; share = ours / encoder alone;\n"
        "cpu = processor seconds of the run, all threads)\n");
    std::printf("  %-9s %-5s %8s %8s %7s %8s %8s %8s %7s\n", "size", "codec", "ours", "zoompan",
                "ratio", "alone", "share", "our cpu", "zp cpu");
    for (int h : kHeights) {
        for (const char* c : kCodecs) {
            const std::string key = Tag(c) + " " + std::to_string(h);
            const double ours = Fps("cli " + key), peer = Fps("zoompan " + key),
                         alone = Fps("alone " + key);
            if (ours <= 0 && peer <= 0 && alone <= 0) continue;  // not run (filtered or failed)
            std::printf("  %-9s %-5s %8.1f %8.1f %6.2fx %8.1f %7.0f%% %8.2f %8.2f\n",
                        h == 1080 ? "1920x1080" : "720x480", Tag(c).c_str(), ours, peer,
                        peer > 0 ? ours / peer : 0, alone, alone > 0 ? 100 * ours / alone : 0,
                        Cpu("cli " + key), Cpu("zoompan " + key));
        }
    }
    for (int h : kHeights) {
        const double ours = Fps("cli H264 " + std::to_string(h)),
                     x264 = Fps("x264 " + std::to_string(h));
        if (ours > 0 && x264 > 0)
            std::printf(
                "  H.264 %4d lines: ours %.1f fps against x264 from raw %.1f fps (%+.0f%%)\n", h,
                ours, x264, 100 * (ours / x264 - 1));
    }
}

}  // namespace

void PrintMovieStages();  // movie_stages.cpp

int main(int argc, char** argv) {
    kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
    const char* cli = std::getenv("KV_CLI");
    if (cli) {
        g_cli = cli;
    } else {
        std::string self = argv[0];
        const size_t slash = self.find_last_of('/');
        g_cli = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) +
                "/kinevista-cli";
    }
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    // KV_BENCH_STAGES=0 leaves the table of stages out.
    const char* stages = std::getenv("KV_BENCH_STAGES");
    if (!stages || std::string(stages) != "0") PrintMovieStages();
    return 0;
}
