// The frei0r source through its C interface, loaded as hosts load it: its description, frames
// equal to the core's own renders at the same frames, time units, sizes (the video sizes as the
// renderer draws them, other shapes fitted or filled as `kinevista-cli render` draws them),
// reloading only on a new
// "show" value, several instances on several threads, and hostile shows (placeholder frame and
// one line on standard error, no crash).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/show/show.h"
#include "output/output_frame.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string ExampleShow = std::string(KV_SOURCE_DIR) + "/examples/example.kvx";
const std::string ExamplePicture = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";
const std::string FuzzShows = std::string(KV_SOURCE_DIR) + "/fuzz/corpus/show_parse_fuzzer";

// The plug-in's entries, resolved once from the built module.
struct Plugin {
    void* handle = nullptr;
    int (*init)() = nullptr;
    void (*info)(f0r_plugin_info_t*) = nullptr;
    void (*paramInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
    void (*destruct)(f0r_instance_t) = nullptr;
    void (*set)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*get)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;
};

template <typename F>
void Resolve(void* handle, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(handle, name));
}

const Plugin& Loaded() {
    static const Plugin plugin = [] {
        Plugin p;
        p.handle = dlopen(KV_FREI0R_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!p.handle) return p;
        Resolve(p.handle, "f0r_init", p.init);
        Resolve(p.handle, "f0r_get_plugin_info", p.info);
        Resolve(p.handle, "f0r_get_param_info", p.paramInfo);
        Resolve(p.handle, "f0r_construct", p.construct);
        Resolve(p.handle, "f0r_destruct", p.destruct);
        Resolve(p.handle, "f0r_set_param_value", p.set);
        Resolve(p.handle, "f0r_get_param_value", p.get);
        Resolve(p.handle, "f0r_update", p.update);
        if (p.init) p.init();
        return p;
    }();
    return plugin;
}

// One instance, as a host drives it.
class Instance {
public:
    Instance(unsigned width, unsigned height) : m_width(width), m_height(height) {
        m_instance = Loaded().construct(width, height);
    }
    ~Instance() {
        if (m_instance) Loaded().destruct(m_instance);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    bool Made() const { return m_instance != nullptr; }

    void Show(const std::string& path) {
        const char* value = path.c_str();
        Loaded().set(m_instance, &value, 0);
    }
    void Double(int index, double value) { Loaded().set(m_instance, &value, index); }
    std::vector<uint8_t> Frame(double time) {
        std::vector<uint32_t> out(static_cast<size_t>(m_width) * m_height, 0xDEADBEEF);
        Loaded().update(m_instance, time, nullptr, out.data());
        std::vector<uint8_t> bytes(out.size() * 4);
        std::memcpy(bytes.data(), out.data(), bytes.size());
        return bytes;
    }
    f0r_instance_t Raw() const { return m_instance; }

private:
    unsigned m_width, m_height;
    f0r_instance_t m_instance = nullptr;
};

std::vector<uint8_t> TopRowFirst(const kv::CDIB& image) {
    const int width = image.Width(), height = image.Height();
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
    for (int r = 0; r < height; ++r)
        std::memcpy(out.data() + static_cast<size_t>(r) * width * 4, image.Row(height - 1 - r),
                    static_cast<size_t>(width) * 4);
    return out;
}

// The renderer's frame of a show drawn over the whole size, top row first: what the source
// gave at every size before it placed the show in an output frame, and still gives at the
// video sizes.
std::vector<uint8_t> CoreFrame(const std::string& showPath, int32_t frame, int width, int height,
                               int fieldMode = 0, bool draft = false) {
    kv::Settings settings;
    settings.Load();
    kv::Show show(settings);
    show.length = 5 * (show.FrameRate * 60 / 100);
    EXPECT_TRUE(kv::LoadShow(show, showPath, false));
    if (draft) show.DraftRender = true;
    kv::CDIB image(width, height, 32);
    EXPECT_TRUE(kv::RenderFrame(show, frame, fieldMode, true, width, height, &image, false));
    return TopRowFirst(image);
}

// The frame as `kinevista-cli render` places the show in a size: fitted, or filled.
std::vector<uint8_t> FramedCoreFrame(const std::string& showPath, int32_t frame, int width,
                                     int height, bool fill = false) {
    kv::Settings settings;
    settings.Load();
    kv::Show show(settings);
    show.length = 5 * (show.FrameRate * 60 / 100);
    EXPECT_TRUE(kv::LoadShow(show, showPath, false));
    const kv::OutputFrame described = kv::DescribeOutputFrame(
        show, width, height, 0, static_cast<float>(show.FrameRate) / 100.0f, fill);
    kv::CDIB image(width, height, 32), inner(0, 0, 32);
    EXPECT_TRUE(kv::RenderOutputFrame(show, &kv::RenderFrame, described, frame, 0, true, &image,
                                      inner, false));
    return TopRowFirst(image);
}

// Frame N of a show as `kinevista-cli render` writes it, top row first (empty on failure).
std::vector<uint8_t> CliFrame(const std::string& showPath, int32_t frame, int width, int height,
                              bool fill, const std::string& dir) {
    const std::string out = dir + "/cli.tga";
    std::filesystem::remove(out);
    const std::string command = std::string(KV_BIN_DIR) + "/kinevista-cli render '" + showPath +
                                "' --frame " + std::to_string(frame) + " --size " +
                                std::to_string(width) + "x" + std::to_string(height) +
                                (fill ? " --fill" : "") + " --out '" + out + "' 2>/dev/null";
    if (kvtest::Run(command) != 0) return {};
    kv::CDIB image(8, 8, 32);
    kv::FileSpec fileSpec;
    fileSpec.SetPath(out.c_str());
    if (image.Load(fileSpec, kv::FileSpec{}, true) != 1 || image.BitCount() != 32) return {};
    return TopRowFirst(image);
}

// Whether column x of a top-first frame is the matte (17, 17, 17) from top to bottom.
bool MatteColumn(const std::vector<uint8_t>& frame, int width, int height, int x) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = frame.data() + (static_cast<size_t>(y) * width + x) * 4;
        if (p[0] != 17 || p[1] != 17 || p[2] != 17) return false;
    }
    return true;
}

// The placeholder frame the renderer draws for a picture that cannot be shown.
std::vector<uint8_t> PlaceholderFrame(int width, int height) {
    kv::Show show;
    show.lastLoadResult = 2;
    show.ShowPicError = false;
    kv::CDIB image(width, height, 32);
    EXPECT_TRUE(kv::RenderFrame(show, 0, 0, true, width, height, &image, false));
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
    for (int r = 0; r < height; ++r)
        std::memcpy(out.data() + static_cast<size_t>(r) * width * 4, image.Row(height - 1 - r),
                    static_cast<size_t>(width) * 4);
    return out;
}

// Standard error, taken into a file while alive.
class StderrCapture {
public:
    StderrCapture() : m_path(kvtest::TempDir("stderr") + "/err.txt") {
        std::fflush(stderr);
        m_saved = dup(2);
        std::FILE* f = std::fopen(m_path.c_str(), "w");
        dup2(fileno(f), 2);
        std::fclose(f);
    }
    ~StderrCapture() { Restore(); }
    std::vector<std::string> Lines() {
        Restore();
        std::vector<std::string> lines;
        std::string text = kvtest::ReadFileBytes(m_path), line;
        for (char c : text) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty()) lines.push_back(line);
        return lines;
    }

private:
    void Restore() {
        if (m_saved < 0) return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
    }
    std::string m_path;
    int m_saved = -1;
};

constexpr double NtscRate = 30000.0 / 1001.0;

TEST(Frei0rSource, DescribesASourceWithItsParameters) {
    const Plugin& p = Loaded();
    ASSERT_NE(p.handle, nullptr) << dlerror();
    ASSERT_TRUE(p.info && p.paramInfo && p.construct && p.destruct && p.set && p.get && p.update);
    f0r_plugin_info_t info{};
    p.info(&info);
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_SOURCE);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);
    // FFmpeg passes values by position: the first four keep their places, "fill" comes last.
    ASSERT_EQ(info.num_params, 5);
    const char* names[] = {"show", "fields", "quality", "time_unit", "fill"};
    const int types[] = {F0R_PARAM_STRING, F0R_PARAM_BOOL, F0R_PARAM_DOUBLE, F0R_PARAM_DOUBLE,
                         F0R_PARAM_BOOL};
    for (int i = 0; i < 5; ++i) {
        f0r_param_info_t param{};
        p.paramInfo(&param, i);
        EXPECT_STREQ(param.name, names[i]);
        EXPECT_EQ(param.type, types[i]);
    }

    // Defaults, and values read back as set (the string is the instance's own copy).
    Instance instance(64, 48);
    ASSERT_TRUE(instance.Made());
    double value = -1.0;
    p.get(instance.Raw(), &value, 1);
    EXPECT_EQ(value, 0.0);
    p.get(instance.Raw(), &value, 2);
    EXPECT_EQ(value, 1.0);
    p.get(instance.Raw(), &value, 3);
    EXPECT_EQ(value, 0.0);
    p.get(instance.Raw(), &value, 4);
    EXPECT_EQ(value, 0.0);
    instance.Double(4, 1.0);
    p.get(instance.Raw(), &value, 4);
    EXPECT_EQ(value, 1.0);
    instance.Double(4, 0.0);
    p.get(instance.Raw(), &value, 4);
    EXPECT_EQ(value, 0.0);
    std::string path = ExampleShow;
    instance.Show(path);
    path.assign(path.size(), 'x');
    char* got = nullptr;
    p.get(instance.Raw(), &got, 0);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(got), ExampleShow);
    instance.Double(2, 7.0);  // held to 0..1
    p.get(instance.Raw(), &value, 2);
    EXPECT_EQ(value, 1.0);
}

TEST(Frei0rSource, FramesEqualTheCoresAtTheShowFrameOfTheHostTime) {
    ASSERT_NE(Loaded().handle, nullptr);
    Instance instance(720, 480);
    instance.Show(ExampleShow);
    instance.Double(3, 1.0);  // seconds
    for (int n : {0, 1, 37, 120, 299}) {
        EXPECT_EQ(instance.Frame(n / NtscRate), CoreFrame(ExampleShow, n, 720, 480)) << n;
    }
    // Milliseconds rounded as FFmpeg rounds them give the same frames.
    instance.Double(3, 0.001);
    for (int n : {1, 2, 299, 5000}) {
        const double ms = std::round(n * 1001.0 / 30.0);
        EXPECT_EQ(instance.Frame(ms), CoreFrame(ExampleShow, n, 720, 480)) << n;
    }
    // A host at 25 frames a second samples the same moves in time.
    instance.Double(3, 1.0);
    for (int n : {3, 11, 200}) {
        const auto frame = static_cast<int32_t>(std::llround(n / 25.0 * NtscRate));
        EXPECT_EQ(instance.Frame(n / 25.0), CoreFrame(ExampleShow, frame, 720, 480)) << n;
    }
    // Before the start and far beyond the end the show holds its first and last frames.
    EXPECT_EQ(instance.Frame(-3.0), CoreFrame(ExampleShow, 0, 720, 480));
    EXPECT_EQ(instance.Frame(NAN), CoreFrame(ExampleShow, 0, 720, 480));
    const int32_t last = 5 * (2997 * 60 / 100) - 1;
    EXPECT_EQ(instance.Frame(1e9), CoreFrame(ExampleShow, last, 720, 480));

    // Fields and draft quality are the renderer's own.
    instance.Double(1, 1.0);
    EXPECT_EQ(instance.Frame(100 / NtscRate), CoreFrame(ExampleShow, 100, 720, 480, 3));
    instance.Double(1, 0.0);
    instance.Double(2, 0.5);
    EXPECT_EQ(instance.Frame(100 / NtscRate), CoreFrame(ExampleShow, 100, 720, 480, 0, true));
}

TEST(Frei0rSource, TheProcessTellsTheTimeUnit) {
    // This program carries neither MLT nor FFmpeg's filters: frei0r's seconds.
    Instance instance(160, 120);
    instance.Show(ExampleShow);
    EXPECT_EQ(instance.Frame(90 / NtscRate), CoreFrame(ExampleShow, 90, 160, 120));
}

TEST(Frei0rSource, TakesAnySizeTheRendererTakes) {
    EXPECT_FALSE(Instance(0, 480).Made());
    EXPECT_FALSE(Instance(720, 0).Made());
    EXPECT_FALSE(Instance(8193, 8).Made());
    EXPECT_FALSE(Instance(8, 8193).Made());
    // Sizes of other shapes than the show's hold it whole in a matted inner frame.
    for (auto [w, h] : {std::pair{8192u, 6u}, {7u, 8192u}, {1u, 1u}, {725u, 333u}}) {
        Instance instance(w, h);
        ASSERT_TRUE(instance.Made()) << w << "x" << h;
        instance.Show(ExampleShow);
        EXPECT_EQ(instance.Frame(60 / NtscRate),
                  FramedCoreFrame(ExampleShow, 60, static_cast<int>(w), static_cast<int>(h)))
            << w << "x" << h;
    }
}

TEST(Frei0rSource, FitsAndFillsOtherShapesAsRenderDoes) {
    ASSERT_NE(Loaded().handle, nullptr);
    const std::string dir = kvtest::TempDir("frei0r_fit");
    constexpr int W = 1280, H = 720;
    Instance fit(W, H), fill(W, H);
    ASSERT_TRUE(fit.Made() && fill.Made());
    fit.Show(ExampleShow);
    fill.Show(ExampleShow);
    fit.Double(3, 1.0);
    fill.Double(3, 1.0);
    fill.Double(4, 1.0);
    for (int n : {0, 75, 240}) {
        const std::vector<uint8_t> fitted = fit.Frame(n / NtscRate);
        const std::vector<uint8_t> cliFit = CliFrame(ExampleShow, n, W, H, false, dir);
        ASSERT_EQ(cliFit.size(), fitted.size()) << "kinevista-cli render failed at frame " << n;
        EXPECT_EQ(fitted, cliFit) << n;
        const std::vector<uint8_t> filled = fill.Frame(n / NtscRate);
        const std::vector<uint8_t> cliFill = CliFrame(ExampleShow, n, W, H, true, dir);
        ASSERT_EQ(cliFill.size(), filled.size()) << "kinevista-cli render --fill failed at " << n;
        EXPECT_EQ(filled, cliFill) << n;

        // The 4:3 show stands whole, as the renderer draws it at 960 x 720, between bars 160
        // columns wide.
        const std::vector<uint8_t> inner = CoreFrame(ExampleShow, n, 960, 720);
        for (int y = 0; y < H; y += 7) {
            const auto row = fitted.begin() + static_cast<ptrdiff_t>(y) * W * 4;
            ASSERT_TRUE(std::equal(row + 160 * 4, row + 1120 * 4,
                                   inner.begin() + static_cast<ptrdiff_t>(y) * 960 * 4))
                << "frame " << n << " row " << y;
        }
        for (int x : {0, 80, 159, W - 160, W - 1}) EXPECT_TRUE(MatteColumn(fitted, W, H, x)) << n;
        EXPECT_NE(filled, fitted) << n;
        // From frame 75 on the camera lies inside the picture: filled, it reaches both sides.
        if (n >= 75) {
            EXPECT_FALSE(MatteColumn(filled, W, H, 0)) << n;
            EXPECT_FALSE(MatteColumn(filled, W, H, W - 1)) << n;
        }
        // Never the old stretch of the show over the whole frame.
        EXPECT_NE(fitted, CoreFrame(ExampleShow, n, W, H)) << n;
    }
    // Turned off again, the same instance matts again.
    fill.Double(4, 0.0);
    EXPECT_EQ(fill.Frame(75 / NtscRate), fit.Frame(75 / NtscRate));
}

TEST(Frei0rSource, VideoSizesKeepTheirPixelsAsBefore) {
    ASSERT_NE(Loaded().handle, nullptr);
    // The example (4:3) and the same show with a 16:9 shape of its own: at the three video sizes
    // both are the renderer's frame of the whole size, fill or not.
    const std::string dir = kvtest::TempDir("frei0r_video_sizes");
    fs::copy_file(ExamplePicture, dir + "/example.jpg");
    kv::Show wide;
    ASSERT_TRUE(kv::LoadShow(wide, ExampleShow, false));
    kv::SetOwnShape(wide, 5625);
    ASSERT_TRUE(kv::SaveShow(wide, dir + "/wide.kvx"));
    for (const std::string& show : {ExampleShow, dir + "/wide.kvx"}) {
        for (auto [w, h] : {std::pair{720, 480}, {720, 486}, {720, 576}}) {
            for (double fill : {0.0, 1.0}) {
                Instance instance(w, h);
                ASSERT_TRUE(instance.Made());
                instance.Show(show);
                instance.Double(3, 1.0);
                instance.Double(4, fill);
                EXPECT_EQ(instance.Frame(100 / NtscRate), CoreFrame(show, 100, w, h))
                    << show << " " << w << "x" << h << " fill " << fill;
            }
        }
    }
    // The 16:9 show at a square-pixel 4:3 size has bars above and below.
    Instance square(640, 480);
    square.Show(dir + "/wide.kvx");
    const std::vector<uint8_t> frame = square.Frame(0.0);
    EXPECT_EQ(frame, FramedCoreFrame(dir + "/wide.kvx", 0, 640, 480));
    EXPECT_NE(frame, CoreFrame(dir + "/wide.kvx", 0, 640, 480));
}

TEST(Frei0rSource, ReloadsOnlyWhenTheShowValueChanges) {
    const std::string dir = kvtest::TempDir("frei0r_reload");
    fs::copy_file(ExamplePicture, dir + "/example.jpg");
    fs::copy_file(ExampleShow, dir + "/a.kvx");
    // b.kvx: the same picture, another framing.
    kv::Show other;
    ASSERT_TRUE(kv::LoadShow(other, dir + "/a.kvx", false));
    other.pictures[0].keys[0].width = 200.0f;
    other.pictures[0].keys[0].rotation = 30.0f;
    ASSERT_TRUE(kv::SaveShow(other, dir + "/b.kvx"));

    Instance instance(320, 240);
    instance.Show(dir + "/a.kvx");
    const std::vector<uint8_t> first = instance.Frame(0.0);
    EXPECT_EQ(first, CoreFrame(dir + "/a.kvx", 0, 320, 240));
    // The file changes under the same value (set again before every frame, as MLT does): the
    // instance keeps the show it has.
    fs::copy_file(dir + "/b.kvx", dir + "/a.kvx", fs::copy_options::overwrite_existing);
    instance.Show(dir + "/a.kvx");
    EXPECT_EQ(instance.Frame(0.0), first);
    // A new value loads.
    instance.Show(dir + "/b.kvx");
    const std::vector<uint8_t> second = instance.Frame(0.0);
    EXPECT_EQ(second, CoreFrame(dir + "/b.kvx", 0, 320, 240));
    EXPECT_NE(second, first);
}

TEST(Frei0rSource, InstancesOnSeveralThreadsGiveTheBytesOfOne) {
    const std::string dir = kvtest::TempDir("frei0r_threads");
    fs::copy_file(ExamplePicture, dir + "/example.jpg");
    fs::copy_file(ExampleShow, dir + "/a.kvx");
    kv::Show turned;
    ASSERT_TRUE(kv::LoadShow(turned, dir + "/a.kvx", false));
    for (int k = 0; k < turned.pictures[0].keyCount; ++k) {
        turned.pictures[0].keys[k].rotation = 10.0f * k;
        turned.pictures[0].keys[k].tiltA = 5.0f;
    }
    ASSERT_TRUE(kv::SaveShow(turned, dir + "/b.kvx"));
    const std::string shows[] = {dir + "/a.kvx", dir + "/b.kvx"};
    const std::vector<int> frames = {0, 45, 90, 135, 180, 225, 270, 315};

    // One instance, one thread: the reference.
    std::vector<std::vector<uint8_t>> alone[2];
    for (int s = 0; s < 2; ++s) {
        Instance instance(352, 240);
        instance.Show(shows[s]);
        for (int f : frames) alone[s].push_back(instance.Frame(f / NtscRate));
    }
    // Four threads, each with its own instance made on that thread, two on each show.
    constexpr int Threads = 4;
    std::vector<std::vector<std::vector<uint8_t>>> got(Threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            Instance instance(352, 240);
            instance.Show(shows[t % 2]);
            // Each thread walks the frames in its own order.
            for (size_t i = 0; i < frames.size(); ++i) {
                const size_t at = (i + static_cast<size_t>(t) * 3) % frames.size();
                got[t].resize(frames.size());
                got[t][at] = instance.Frame(frames[at] / NtscRate);
            }
        });
    }
    for (std::thread& w : workers) w.join();
    for (int t = 0; t < Threads; ++t)
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(got[t][i], alone[t % 2][i]) << "thread " << t << " frame " << frames[i];
    EXPECT_NE(alone[0][3], alone[1][3]);  // the two shows do differ
}

TEST(Frei0rSource, HostileShowsGiveThePlaceholderAndOneLine) {
    const std::string dir = kvtest::TempDir("frei0r_hostile");
    // Relative picture paths in the corpus must not reach the repository's pictures.
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    kvtest::WriteFileBytes(dir + "/text.kvx", "not a show at all");
    kv::Show gone;
    gone.pictureCount = 1;
    gone.pictures[0].fileSpec.SetPath("/no/such/folder/picture.jpg");
    gone.pictures[0].keyCount = 2;
    gone.pictures[0].keys[0].width = 100.0f;
    gone.pictures[0].keys[1] = gone.pictures[0].keys[0];
    gone.pictures[0].keys[1].time = 30;
    ASSERT_TRUE(kv::SaveShow(gone, dir + "/gone.kvx"));

    std::vector<std::string> shows = {dir + "/absent.kvx", dir + "/text.kvx", dir + "/gone.kvx",
                                      dir, ""};
    for (const auto& entry : fs::directory_iterator(FuzzShows))
        shows.push_back(entry.path().string());
    const std::vector<uint8_t> placeholder = PlaceholderFrame(200, 150);
    for (const std::string& show : shows) {
        StderrCapture capture;
        {
            Instance instance(200, 150);
            instance.Show(show);
            EXPECT_EQ(instance.Frame(0.0), placeholder) << show;
            EXPECT_EQ(instance.Frame(2.0), placeholder) << show;
            instance.Show(show);  // set again: no second load, no second line
            EXPECT_EQ(instance.Frame(4.0), placeholder) << show;
        }
        const std::vector<std::string> lines = capture.Lines();
        ASSERT_EQ(lines.size(), 1u) << show;
        EXPECT_EQ(lines[0].rfind("kinevista: cannot show ", 0), 0u) << lines[0];
        if (!show.empty()) {
            EXPECT_NE(lines[0].find(show), std::string::npos) << lines[0];
        }
    }
    // The reasons say what is wrong.
    const auto lineFor = [](const std::string& show) {
        StderrCapture capture;
        {
            Instance instance(16, 16);
            instance.Show(show);
            instance.Frame(0.0);
        }
        const std::vector<std::string> lines = capture.Lines();
        return lines.empty() ? std::string() : lines[0];
    };
    EXPECT_NE(lineFor(dir + "/absent2.kvx").find("no such file"), std::string::npos);
    EXPECT_NE(lineFor(dir + "/text.kvx").find("not a show file"), std::string::npos);
    EXPECT_NE(lineFor(dir + "/gone.kvx").find("Can't open graphics file: /no/such/folder/"),
              std::string::npos);
    // Once mended, the same instance shows the picture when it is given the show again.
    Instance instance(64, 48);
    instance.Show(dir + "/absent.kvx");
    StderrCapture quiet;
    EXPECT_EQ(instance.Frame(0.0), PlaceholderFrame(64, 48));
    instance.Show(ExampleShow);  // found beside the show, whatever the current folder
    EXPECT_EQ(instance.Frame(0.0), CoreFrame(ExampleShow, 0, 64, 48));
    fs::current_path(previous);
}

}  // namespace
