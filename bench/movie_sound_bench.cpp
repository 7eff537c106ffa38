// The movie writer alone on 300 pre-rendered 720 x 480 frames at 29.97 (a moving gradient, as
// a camera move over a picture gives): each container and codec without sound, and with a
// 10-second stereo 48 kHz sound file (PCM in AVI and .mov, AAC in .mp4, Opus in .mkv/.webm),
// so that the cost of the sound shows beside the encoder's own. Frames per second are the
// "fps" counter, per second of the process's CPU time (every thread counted, so the figure
// holds on a busy machine); "MB" is the size of the movie.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/video/movie_writer.h"

namespace {

constexpr int W = 720, H = 480, Frames = 300;

std::string Dir() {
    static const std::string d = [] {
        std::string p = "/tmp/kv_sound_bench";
        ::mkdir(p.c_str(), 0755);
        return p;
    }();
    return d;
}

// A 10-second stereo sweep as a 16-bit WAV, written once.
const std::string& SoundFile() {
    static const std::string path = [] {
        const std::string p = Dir() + "/sweep.wav";
        const int rate = 48000, n = rate * 10;
        std::vector<int16_t> s(static_cast<size_t>(n) * 2);
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / rate;
            s[size_t(i) * 2] = int16_t(12000 * std::sin(2 * M_PI * (100 * t + 100 * t * t)));
            s[size_t(i) * 2 + 1] = int16_t(9000 * std::sin(2 * M_PI * 440 * t));
        }
        std::FILE* f = std::fopen(p.c_str(), "wb");
        auto u32 = [f](uint32_t v) { std::fwrite(&v, 4, 1, f); };
        auto u16 = [f](uint16_t v) { std::fwrite(&v, 2, 1, f); };
        const uint32_t bytes = uint32_t(s.size() * 2);
        std::fwrite("RIFF", 1, 4, f);
        u32(36 + bytes);
        std::fwrite("WAVEfmt ", 1, 8, f);
        u32(16);
        u16(1);
        u16(2);
        u32(rate);
        u32(rate * 4);
        u16(4);
        u16(16);
        std::fwrite("data", 1, 4, f);
        u32(bytes);
        std::fwrite(s.data(), 2, s.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

// Ten distinct bottom-up BGRA frames, used in turn.
const std::vector<std::vector<uint8_t>>& Pictures() {
    static const std::vector<std::vector<uint8_t>> pics = [] {
        std::vector<std::vector<uint8_t>> v(10, std::vector<uint8_t>(size_t(W) * H * 4));
        for (int k = 0; k < 10; ++k)
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    uint8_t* p = &v[size_t(k)][(size_t(y) * W + x) * 4];
                    p[0] = uint8_t((x + 3 * k) * 255 / (W + 30));
                    p[1] = uint8_t((y + 2 * k) * 255 / (H + 20));
                    p[2] = uint8_t(((x / 16) ^ (y / 16)) * 8 + k);
                    p[3] = 255;
                }
        return v;
    }();
    return pics;
}

void Movie(benchmark::State& state, kv::MovieContainer c, const char* code, const char* ext,
           bool sound) {
    kv::MovieFormat f;
    f.container = c;
    f.width = W;
    f.height = H;
    f.rate = 2997;
    f.scale = 100;
    f.timeScale = 2997;
    f.frameDuration = 100;
    f.codec = code;
    f.quality = 80;
    f.spatialQuality = 80 * 0x3FF / 100;
    if (sound) f.soundPath = SoundFile();
    const auto& pics = Pictures();
    const std::string path = Dir() + "/m." + ext;
    for (auto _ : state) {
        kv::MovieWriter w;
        if (!w.Open(path, f)) {
            state.SkipWithError(w.LastError().c_str());
            return;
        }
        w.CueSound(0, 0);
        for (int i = 0; i < Frames; ++i)
            if (!w.WriteFrame(i, pics[size_t(i % 10)].data(), W * 4)) {
                state.SkipWithError(w.LastError().c_str());
                return;
            }
        w.Close();
    }
    struct stat st {};
    ::stat(path.c_str(), &st);
    state.counters["fps"] =
        benchmark::Counter(double(Frames) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["MB"] = double(st.st_size) / 1e6;
}

using C = kv::MovieContainer;
BENCHMARK_CAPTURE(Movie, avi_mjpg, C::Avi, "MJPG", "avi", false)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(Movie, avi_mjpg_pcm, C::Avi, "MJPG", "avi", true)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(Movie, mp4_h264, C::Mp4, "H264", "mp4", false)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(Movie, mp4_h264_aac, C::Mp4, "H264", "mp4", true)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(Movie, mp4_hevc, C::Mp4, "HEVC", "mp4", false)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(Movie, webm_vp9, C::WebM, "VP90", "webm", false)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(Movie, webm_vp9_opus, C::WebM, "VP90", "webm", true)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(Movie, webm_av1, C::WebM, "AV01", "webm", false)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
