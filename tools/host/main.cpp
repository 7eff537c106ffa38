// kinevista-host: a simulated host that loads the plug-in by its exports and uses it as a
// video-editing host would.
//
//   kinevista-host install DIR
//   kinevista-host catalogue PLUGIN
//   kinevista-host render PLUGIN --data SHOW.kvx --frame N --size WxH [--field-kind K]
//                  [--field-order V] [--input IN.tga] [--allow-placeholder] --out OUT.tga
//   kinevista-host edit PLUGIN --data SHOW.kvx --rate 29.97 --length 300 --out NEW.kvx
//
// Fault injection (any command that loads the plug-in): --fail-call N makes the N-th host call
// fail, --fail NAME every call of one operation (e.g. "parameter.GetValue"), --refuse-conform
// refuses the conform definition. Exit status: 0 success, 1 the plug-in reported a failure (or
// render drew the placeholder because the show's picture cannot be loaded, which
// --allow-placeholder accepts with the warning alone), 2 usage or file error, 3 host objects
// were left referenced or the plug-in would not unload.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/picture/cdib.h"
#include "core/picture/picture_reader.h"
#include "core/render/show_loading.h"
#include "core/show/show.h"
#include "kv_version.h"
#include "platform/host/acf_ids.h"
#include "platform/os/atomic_file.h"
#include "platform/os/registry.h"
#include "platform/os/utf8_names.h"
#include "tools/host/sim_host.h"

using namespace kvhost;

namespace {

struct Args {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    bool bad = false;

    const std::string* Get(const char* name) const {
        for (const auto& o : options)
            if (o.first == name) return &o.second;
        return nullptr;
    }
};

const char* const Flags[] = {"--refuse-conform", "--allow-placeholder"};

Args ParseArgs(int argc, char** argv, int start) {
    Args a;
    for (int i = start; i < argc; ++i) {
        std::string s = argv[i];
        if (s.rfind("--", 0) == 0) {
            bool flag = false;
            for (const char* f : Flags) flag = flag || s == f;
            if (flag) {
                a.options.emplace_back(s, "1");
            } else if (i + 1 < argc) {
                a.options.emplace_back(s, argv[++i]);
            } else {
                std::fprintf(stderr, "kinevista-host: %s needs a value\n", s.c_str());
                a.bad = true;
            }
        } else {
            a.positional.push_back(s);
        }
    }
    return a;
}

bool ToInt(const std::string& text, int32_t& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool ToDouble(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && !*end;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: kinevista-host install DIR\n"
        "       kinevista-host catalogue PLUGIN\n"
        "       kinevista-host render PLUGIN --data SHOW.kvx --frame N --size WxH "
        "[--field-kind K] [--field-order V] [--input IN.tga] [--allow-placeholder] "
        "--out OUT.tga\n"
        "       kinevista-host edit PLUGIN --data SHOW.kvx --rate 29.97 --length 300 "
        "--out NEW.kvx\n"
        "options: --fail-call N, --fail NAME, --refuse-conform\n"
        "render: when the show's picture cannot be loaded the plug-in draws a placeholder;\n"
        "  the frame is written with a warning and the exit status is 1, or 0 with\n"
        "  --allow-placeholder\n");
    return 2;
}

std::string Hex(ACFRESULT r) {
    char t[16];
    std::snprintf(t, sizeof t, "0x%08X", static_cast<uint32_t>(r));
    return t;
}

// Reads a picture as 32-bit pixels, top row first (a missing alpha becomes 255).
bool ReadPicture(const std::string& path, int32_t width, int32_t height,
                 std::vector<uint8_t>& pixels) {
    kv::CDIB image(8, 8, 24);
    kv::FileSpec fileSpec;
    fileSpec.SetPath(path.c_str());
    if (image.Load(fileSpec, kv::FileSpec{}, true) != 1) return false;
    if (image.Width() != width || image.Height() != height) {
        std::fprintf(stderr, "kinevista-host: %s is %dx%d, the frame %dx%d\n", path.c_str(),
                     image.Width(), image.Height(), width, height);
        return false;
    }
    const int bpp = image.BitCount();
    if (bpp != 24 && bpp != 32) {
        std::fprintf(stderr, "kinevista-host: %s must be a 24- or 32-bit picture\n", path.c_str());
        return false;
    }
    pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* src = image.Row(height - 1 - r);
        uint8_t* dst = pixels.data() + static_cast<size_t>(r) * width * 4;
        for (int32_t x = 0; x < width; ++x) {
            dst[4 * x + 0] = src[x * bpp / 8 + 0];
            dst[4 * x + 1] = src[x * bpp / 8 + 1];
            dst[4 * x + 2] = src[x * bpp / 8 + 2];
            dst[4 * x + 3] = bpp == 32 ? src[x * 4 + 3] : 255;
        }
    }
    return true;
}

// The core's messages while the host reads a show are dropped: the warning below says what
// matters, once, in the host's own words.
class QuietAlerts final : public kv::AlertSink {
public:
    kv::Answer Show(kv::AlertKind, const std::string&, const std::string&) override {
        return kv::Answer::No;
    }
};

// When the plug-in will draw the placeholder for want of the show's picture: the picture's
// path, else empty. The show is read from the data the plug-in is handed, as the plug-in reads
// it (the public folder's settings, the stored path, then the alternative image folder); data
// that is not a show, or a show without pictures, is left for the plug-in to judge.
std::string PictureThatDoesNotLoad(const std::vector<uint8_t>& privateData) {
    static const bool stepsInstalled = (kv::SetShowLoadSteps(kv::RenderingShowLoadSteps()), true);
    (void)stepsInstalled;
    kv::Settings settings;
    settings.Load();
    kv::SetPictureMemoryLimit(settings.ReadInt("PictureMemoryLimit", 0));
    kv::Show show(settings);
    show.hostMode = true;
    show.ShowPicError = false;
    QuietAlerts quiet;
    kv::AlertSink* previous = kv::SetAlertSink(&quiet);
    const bool parsed =
        kv::Parse(show, privateData.data(), static_cast<uint32_t>(privateData.size()), false);
    kv::SetAlertSink(previous);
    if (!parsed || show.pictureCount < 1 || show.lastLoadResult == 1) return "";
    const std::string path = show.pictures[0].fileSpec.path;
    return path.empty() ? "(no path)" : path;
}

// Writes the host's frame (top row first) as an ordinary 32-bit Targa file.
bool WriteTarga(const std::string& path, int32_t width, int32_t height,
                const std::vector<uint8_t>& pixels) {
    kv::CDIB image(width, height, 32);
    if (image.Empty()) return false;
    for (int32_t r = 0; r < height; ++r)
        image.CopyRowIn(height - 1 - r, pixels.data() + static_cast<size_t>(r) * width * 4);
    kv::FileSpec fileSpec;
    fileSpec.SetPath(path.c_str());
    return image.Save(fileSpec, kv::FormatTarga);
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = kv::os::OpenFile(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

int Install(const Args& a) {
    if (a.positional.size() != 1) return Usage();
    std::string dir = a.positional[0];
    std::error_code failed;
    const std::filesystem::path real = std::filesystem::canonical(kv::os::FsPath(dir), failed);
    if (!failed) dir = kv::os::Utf8Name(real);
    if (!kv::WriteRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, dir)) {
        std::fprintf(stderr, "kinevista-host: cannot write %s\n", kv::RegistryFile().c_str());
        return 2;
    }
    std::printf("%s\\%s=%s\n", kv::PluginRegistryKey, kv::EditorFolderValue, dir.c_str());
    return 0;
}

// Loads the plug-in, runs `use`, then checks that every host object was released and that
// the plug-in agrees to be unloaded.
template <class F>
int WithPlugin(const Args& a, F&& use) {
    if (a.positional.empty()) return Usage();
    HostState state;
    if (const std::string* n = a.Get("--fail-call")) {
        int32_t v;
        if (!ToInt(*n, v) || v < 1) return Usage();
        state.FailCall(v);
    }
    if (const std::string* name = a.Get("--fail")) state.FailNamed(*name);
    state.refuseConform = a.Get("--refuse-conform") != nullptr;

    PluginModule plugin;
    std::string error;
    if (!plugin.Load(a.positional[0], &error)) {
        std::fprintf(stderr, "kinevista-host: cannot load %s: %s\n", a.positional[0].c_str(),
                     error.c_str());
        return 2;
    }
    const int status = use(plugin, state);
    if (!state.FailedCall().empty())
        std::fprintf(stderr, "kinevista-host: injected failure in %s\n",
                     state.FailedCall().c_str());
    std::fprintf(stderr, "kinevista-host: %lld host calls\n",
                 static_cast<long long>(state.Calls()));
    int leftovers = state.liveObjects.load();
    IACFUnknown* host = NewHostObject(state);
    const bool unloaded = plugin.Unload(host);
    host->Release();
    if (leftovers || !unloaded) {
        std::fprintf(stderr, "kinevista-host: %d host objects still referenced%s\n", leftovers,
                     unloaded ? "" : "; the plug-in refuses to unload");
        return 3;
    }
    return status;
}

// The editor the plug-in at `pluginFile` starts for an edit: the registry's folder, or (on an
// installed Linux system, which has no registry file) the editor installed beside the plug-in.
std::string PluginEditor(const std::string& pluginFile) {
#ifdef _WIN32
    const char* program = "Kinevista.exe";
#else
    const char* program = "kinevista";
#endif
    std::string folder;
    // A value, even an empty one, stops the plug-in looking further (as it does).
    if (kv::ReadRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, &folder))
        return folder.empty() ? "" : kv::os::Utf8Name(kv::os::FsPath(folder) / program);
#ifdef _WIN32
    (void)pluginFile;  // Windows plug-ins always have the registry value
    return "";
#else
    std::error_code ec;
    const std::filesystem::path own =
        std::filesystem::absolute(kv::os::FsPath(pluginFile), ec).parent_path();
    return kv::os::Utf8Name(
        (own / kv::InstalledEditorFolderFromPlugin / program).lexically_normal());
#endif
}

int Catalogue(const Args& a) {
    if (a.positional.size() != 1) return Usage();
    return WithPlugin(a, [&a](PluginModule& plugin, HostState& state) {
        const ACFRESULT r = kvhost::Catalogue(plugin, state);
        for (const std::string& line : state.Log()) std::printf("%s\n", line.c_str());
        // Which editor an edit would start, on the error stream so that the catalogue itself
        // reads the same on every system.
        const std::string editor = PluginEditor(a.positional[0]);
        std::fprintf(stderr, "kinevista-host: editor %s%s\n",
                     editor.empty() ? "(none named)" : editor.c_str(),
                     editor.empty() || kv::os::PathExists(editor) ? "" : " (missing)");
        return r == ACF_OK ? 0 : 1;
    });
}

int Render(const Args& a) {
    if (a.positional.size() != 1) return Usage();
    const std::string* data = a.Get("--data");
    const std::string* out = a.Get("--out");
    const std::string* size = a.Get("--size");
    const std::string* frame = a.Get("--frame");
    if (!data || !out || !size || !frame) return Usage();
    RenderRequest request;
    int32_t w = 0, h = 0;
    if (std::sscanf(size->c_str(), "%dx%d", &w, &h) != 2 || w < 1 || h < 1 || w > 8192 || h > 8192)
        return Usage();
    request.width = w;
    request.height = h;
    if (!ToInt(*frame, request.frame)) return Usage();
    if (const std::string* k = a.Get("--field-kind"); k && !ToInt(*k, request.fieldKind))
        return Usage();
    if (const std::string* v = a.Get("--field-order"); v && !ToInt(*v, request.fieldOrder))
        return Usage();
    bool ok = false;
    request.privateData = PrivateDataFromFile(*data, &ok);
    if (!ok) {
        std::fprintf(stderr, "kinevista-host: cannot read %s\n", data->c_str());
        return 2;
    }
    if (const std::string* in = a.Get("--input"); in && !ReadPicture(*in, w, h, request.input))
        return 2;
    const bool allowPlaceholder = a.Get("--allow-placeholder") != nullptr;
    const std::string missing = PictureThatDoesNotLoad(request.privateData);
    if (!missing.empty())
        std::fprintf(stderr,
                     "kinevista-host: warning: the picture %s of %s cannot be loaded; the frame "
                     "is the placeholder%s\n",
                     missing.c_str(), data->c_str(),
                     allowPlaceholder ? "" : " (--allow-placeholder accepts it)");
    return WithPlugin(a, [&](PluginModule& plugin, HostState& state) {
        std::vector<uint8_t> pixels;
        const ACFRESULT r = RenderOnce(plugin, state, request, &pixels);
        if (r != ACF_OK) {
            std::fprintf(stderr, "kinevista-host: render returned %s\n", Hex(r).c_str());
            return 1;
        }
        if (!WriteTarga(*out, w, h, pixels)) {
            std::fprintf(stderr, "kinevista-host: cannot write %s\n", out->c_str());
            return 2;
        }
        return missing.empty() || allowPlaceholder ? 0 : 1;
    });
}

int Edit(const Args& a) {
    if (a.positional.size() != 1) return Usage();
    const std::string* data = a.Get("--data");
    const std::string* out = a.Get("--out");
    const std::string* rateText = a.Get("--rate");
    const std::string* lengthText = a.Get("--length");
    if (!data || !out || !rateText || !lengthText) return Usage();
    double rate = 0;
    int32_t length = 0;
    if (!ToDouble(*rateText, rate) || !ToInt(*lengthText, length)) return Usage();
    bool ok = false;
    std::vector<uint8_t> privateData = PrivateDataFromFile(*data, &ok);
    if (!ok) {
        std::fprintf(stderr, "kinevista-host: cannot read %s\n", data->c_str());
        return 2;
    }
    return WithPlugin(a, [&](PluginModule& plugin, HostState& state) {
        const ACFRESULT r = EditOnce(plugin, state, rate, length, &privateData);
        if (r != ACF_OK) {
            std::fprintf(stderr, "kinevista-host: modal UI returned %s\n", Hex(r).c_str());
            return 1;
        }
        if (!WriteBytes(*out, privateData)) {
            std::fprintf(stderr, "kinevista-host: cannot write %s\n", out->c_str());
            return 2;
        }
        return 0;
    });
}

// The program with its arguments as UTF-8.
int Main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "--version" && argc == 2) {
        std::printf("kinevista-host %s\n", KV_VERSION_TEXT);
        return 0;
    }
    const Args a = ParseArgs(argc, argv, 2);
    if (a.bad) return 2;
    // A file-size limit reaches the writers (the plug-in's exchange file) as a write error.
    kv::os::IgnoreFileSizeSignal();
    if (command == "install") return Install(a);
    if (command == "catalogue") return Catalogue(a);
    if (command == "render") return Render(a);
    if (command == "edit") return Edit(a);
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    return kv::os::RunProgram("kinevista-host", argc, argv, Main);
}
