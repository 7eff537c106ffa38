// Loading speed of the further picture formats: a 4000 x 3000 photograph-like picture (smooth
// gradients with a little seeded noise) as LZW TIFF, 16-bit ZIP TIFF, tiled TIFF, lossy WebP,
// HEIC, a JPEG turned by its EXIF orientation, an LZW TIFF carrying a Display P3 profile, and
// CMYK and bilevel TIFFs in one strip and in strips.
// The files are made once with ImageMagick, cwebp and heif-enc in /tmp/kv-formats-bench; each
// benchmark loads its file through CDIB::Load and reports megapixels per second ("MP/s").
#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/picture/cdib.h"

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;
const std::string Dir = "/tmp/kv-formats-bench";

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool Sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The source picture as PPM, and a Display P3 profile made with LittleCMS.
bool MakeSources() {
    if (Exists(Dir + "/src.ppm") && Exists(Dir + "/p3.icc")) return true;
    Sh("mkdir -p " + Dir);
    std::FILE* f = std::fopen((Dir + "/src.ppm").c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6 %d %d 255\n", Width, Height);
    std::mt19937 noise(5);
    std::vector<unsigned char> row(Width * 3);
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const int n = static_cast<int>(noise() % 9) - 4;
            row[3 * x] = static_cast<unsigned char>(std::clamp(40 + 170 * x / Width + n, 0, 255));
            row[3 * x + 1] =
                static_cast<unsigned char>(std::clamp(200 - 150 * y / Height + n, 0, 255));
            row[3 * x + 2] = static_cast<unsigned char>(std::clamp(90 + (x + y) % 97 + n, 0, 255));
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p3 = cmsCreateRGBProfile(&white, &primaries, curves);
    const bool saved = cmsSaveProfileToFile(p3, (Dir + "/p3.icc").c_str());
    cmsCloseProfile(p3);
    cmsFreeToneCurve(curve);
    return saved;
}

// The file for a benchmark, made on first use; empty when it cannot be made.
std::string Fixture(const std::string& name, const std::string& command) {
    const std::string path = Dir + "/" + name;
    if (Exists(path)) return path;
    if (!MakeSources()) return "";
    std::string c = command;
    for (size_t at; (at = c.find("{dir}")) != std::string::npos;) c.replace(at, 5, Dir);
    return Sh(c + " >/dev/null 2>&1") ? path : "";
}

void LoadBench(benchmark::State& state, const std::string& path) {
    if (path.empty()) {
        state.SkipWithError("fixture could not be made");
        return;
    }
    kv::FileSpec picture, none;
    picture.SetPath(path.c_str());
    for (auto _ : state) {
        kv::CDIB image(16, 16, 8);
        image.uprightOrientation = true;
        if (image.Load(picture, none, false) != 1) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(image.Bits());
    }
    state.counters["MP/s"] =
        benchmark::Counter(Width * 1e-6 * Height * state.iterations(), benchmark::Counter::kIsRate);
}

void TiffLzw(benchmark::State& s) {
    LoadBench(s, Fixture("lzw.tif", "convert {dir}/src.ppm -compress lzw {dir}/lzw.tif"));
}
void Tiff16Zip(benchmark::State& s) {
    LoadBench(
        s, Fixture("zip16.tif", "convert {dir}/src.ppm -depth 16 -compress zip {dir}/zip16.tif"));
}
void TiffTiled(benchmark::State& s) {
    LoadBench(s, Fixture("tiled.tif", "tiffcp -t -w 256 -l 256 -c lzw " + Dir + "/lzw.tif " + Dir +
                                          "/tiled.tif"));
}
void TiffPlain(benchmark::State& s) {
    LoadBench(s, Fixture("plain.tif", "convert {dir}/src.ppm -compress none {dir}/plain.tif"));
}
// CMYK and bilevel pictures in one strip against the same pixels in strips of 64 rows: the
// reader converts them row by row, so the two should take about the same time.
void TiffCmykOneStrip(benchmark::State& s) {
    LoadBench(s, Fixture("cmyk1.tif",
                         "convert {dir}/src.ppm -colorspace CMYK -compress lzw -define "
                         "tiff:rows-per-strip=3000 {dir}/cmyk1.tif"));
}
void TiffCmykStrips(benchmark::State& s) {
    LoadBench(s, Fixture("cmyk64.tif",
                         "convert {dir}/src.ppm -colorspace CMYK -compress lzw -define "
                         "tiff:rows-per-strip=64 {dir}/cmyk64.tif"));
}
void TiffG4OneStrip(benchmark::State& s) {
    LoadBench(s, Fixture("g4one.tif",
                         "convert {dir}/src.ppm -monochrome -compress group4 -define "
                         "tiff:rows-per-strip=3000 {dir}/g4one.tif"));
}
void TiffG4Strips(benchmark::State& s) {
    LoadBench(s, Fixture("g4strips.tif",
                         "convert {dir}/src.ppm -monochrome -compress group4 -define "
                         "tiff:rows-per-strip=64 {dir}/g4strips.tif"));
}
// A blank 30000 x 30000 bilevel page in one Group 4 strip, about 3.8 KB: each all-white row,
// coded against the row above, is one bit. Loads as 2.7 GB of 24-bit picture.
void TiffBlankFaxPage(benchmark::State& state) {
    constexpr uint32_t Side = 30000;
    const std::string path = Dir + "/blank-page.tif";
    if (!Exists(path)) {
        Sh("mkdir -p " + Dir);
        std::string data(Side / 8, '\xFF');
        data += std::string("\x00\x10\x01", 3);  // the end of the page
        std::string t("II*\0", 4);
        const auto put = [&t](uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i) t += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        put(8, 4);
        put(9, 2);
        const uint32_t dataAt = 8 + 2 + 12 * 9 + 4;
        const uint32_t fields[9][3] = {
            {256, 4, Side}, {257, 4, Side}, {258, 3, 1},
            {259, 3, 4},    {262, 3, 0},    {273, 4, dataAt},
            {277, 3, 1},    {278, 4, Side}, {279, 4, static_cast<uint32_t>(data.size())}};
        for (const auto& f : fields) {
            put(f[0], 2);
            put(f[1], 2);
            put(1, 4);
            put(f[2], 4);
        }
        put(0, 4);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) {
            state.SkipWithError("fixture could not be made");
            return;
        }
        std::fwrite(t.data(), 1, t.size(), out);
        std::fwrite(data.data(), 1, data.size(), out);
        std::fclose(out);
    }
    kv::FileSpec picture, none;
    picture.SetPath(path.c_str());
    for (auto _ : state) {
        kv::CDIB image(16, 16, 8);
        if (image.Load(picture, none, false) != 1) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(image.Bits());
    }
    state.counters["MP/s"] =
        benchmark::Counter(Side * 1e-6 * Side * state.iterations(), benchmark::Counter::kIsRate);
}
void WebpLossy(benchmark::State& s) {
    LoadBench(s,
              Fixture("lossy.webp",
                      "convert {dir}/src.ppm {dir}/src.png && cwebp -quiet -q 85 {dir}/src.png -o "
                      "{dir}/lossy.webp"));
}
void Heic(benchmark::State& s) {
    LoadBench(s, Fixture("pic.heic",
                         "convert {dir}/src.ppm {dir}/src.png && heif-enc -q 85 "
                         "{dir}/src.png -o {dir}/pic.heic"));
}
void JpegTurned(benchmark::State& s) {
    LoadBench(s, Fixture("turned.jpg",
                         "convert {dir}/src.ppm -quality 90 {dir}/turned.jpg && "
                         "exiftool -q -n -Orientation=6 -overwrite_original "
                         "{dir}/turned.jpg"));
}
void JpegUpright(benchmark::State& s) {
    LoadBench(s, Fixture("upright.jpg", "convert {dir}/src.ppm -quality 90 {dir}/upright.jpg"));
}
void TiffP3(benchmark::State& s) {
    LoadBench(s, Fixture("p3.tif",
                         "convert {dir}/src.ppm -profile {dir}/p3.icc -compress lzw "
                         "{dir}/p3.tif"));
}

}  // namespace

BENCHMARK(TiffPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(TiffLzw)->Unit(benchmark::kMillisecond);
BENCHMARK(Tiff16Zip)->Unit(benchmark::kMillisecond);
BENCHMARK(TiffTiled)->Unit(benchmark::kMillisecond);
BENCHMARK(TiffP3)->Unit(benchmark::kMillisecond);
BENCHMARK(TiffCmykOneStrip)->Unit(benchmark::kMillisecond);
BENCHMARK(TiffCmykStrips)->Unit(benchmark::kMillisecond);
BENCHMARK(TiffG4OneStrip)->Unit(benchmark::kMillisecond);
BENCHMARK(TiffG4Strips)->Unit(benchmark::kMillisecond);
BENCHMARK(TiffBlankFaxPage)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(WebpLossy)->Unit(benchmark::kMillisecond);
BENCHMARK(Heic)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegUpright)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegTurned)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
