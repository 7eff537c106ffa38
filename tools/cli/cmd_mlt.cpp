// kinevista-cli mlt: an MLT XML document that plays shows through MLT's "kinevista" producer,
// for editors that open such documents as clips (Shotcut, Flowblade) and for melt. The
// document stands alone: absolute show paths, each show's length, and the profile written out.
#ifdef KV_HAVE_OUTPUT

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "core/picture/cdib.h"
#include "core/show/show.h"
#include "output/output_frame.h"
#include "platform/os/atomic_file.h"
#include "platform/os/utf8_names.h"
#include "tools/cli/cli.h"

#ifndef KV_MLT_PROFILES_DIR
#define KV_MLT_PROFILES_DIR "/usr/share/mlt-7/profiles"
#endif

namespace {

struct Profile {
    std::string description;
    int32_t width = 0, height = 0;
    bool progressive = true;
    int32_t sarNum = 1, sarDen = 1, darNum = 0, darDen = 1;
    int32_t rateNum = 0, rateDen = 1;
    int32_t colorspace = 709;
};

// Where MLT keeps its profiles: MLT_PROFILES_PATH, else the profiles of MLT_DATA, else the
// system's.
std::string ProfilesFolder() {
    if (const char* p = std::getenv("MLT_PROFILES_PATH"); p && *p) return p;
    if (const char* d = std::getenv("MLT_DATA"); d && *d) return std::string(d) + "/profiles";
    return KV_MLT_PROFILES_DIR;
}

bool ReadProfile(const std::string& name, Profile& out, std::string& error) {
    if (name.empty() || name.find('/') != std::string::npos || name[0] == '.') {
        error = "no MLT profile is named \"" + name + "\"";
        return false;
    }
    const std::string path = ProfilesFolder() + "/" + name;
    std::ifstream in(path);
    if (!in) {
        error = "no MLT profile " + name + " in " + ProfilesFolder();
        return false;
    }
    std::map<std::string, std::string> values;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    auto number = [&](const char* key, int32_t& v) {
        const auto it = values.find(key);
        return it != values.end() && kvcli::ParseInt(it->second, v);
    };
    out.description = values["description"];
    int32_t progressive = 1;
    number("progressive", progressive);
    out.progressive = progressive != 0;
    number("colorspace", out.colorspace);
    if (!number("width", out.width) || !number("height", out.height) ||
        !number("frame_rate_num", out.rateNum) || !number("frame_rate_den", out.rateDen) ||
        !number("sample_aspect_num", out.sarNum) || !number("sample_aspect_den", out.sarDen) ||
        !number("display_aspect_num", out.darNum) || !number("display_aspect_den", out.darDen) ||
        out.width < 1 || out.height < 1 || out.rateNum < 1 || out.rateDen < 1 || out.darNum < 1 ||
        out.darDen < 1) {
        error = "the MLT profile " + path + " lacks a size, shape or frame rate";
        return false;
    }
    return true;
}

std::string XmlText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(kv::os::FsPath(path), error);
    return error ? path : kv::os::Utf8Name(resolved);
}

struct Clip {
    std::string path;
    int64_t length = 1;
};

std::string Document(const Profile& p, const std::vector<Clip>& clips, bool fill) {
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      << "<mlt LC_NUMERIC=\"C\" version=\"7.0.0\" producer=\"main\">\n"
      << "  <profile description=\"" << XmlText(p.description) << "\" width=\"" << p.width
      << "\" height=\"" << p.height << "\" progressive=\"" << (p.progressive ? 1 : 0)
      << "\" sample_aspect_num=\"" << p.sarNum << "\" sample_aspect_den=\"" << p.sarDen
      << "\" display_aspect_num=\"" << p.darNum << "\" display_aspect_den=\"" << p.darDen
      << "\" frame_rate_num=\"" << p.rateNum << "\" frame_rate_den=\"" << p.rateDen
      << "\" colorspace=\"" << p.colorspace << "\"/>\n";
    for (size_t i = 0; i < clips.size(); ++i) {
        const Clip& c = clips[i];
        x << "  <producer id=\"show" << i << "\" in=\"0\" out=\"" << c.length - 1 << "\">\n"
          << "    <property name=\"length\">" << c.length << "</property>\n"
          << "    <property name=\"mlt_service\">kinevista</property>\n"
          << "    <property name=\"resource\">" << XmlText(c.path) << "</property>\n";
        if (fill) x << "    <property name=\"fill\">1</property>\n";
        x << "  </producer>\n";
    }
    x << "  <playlist id=\"main\">\n";
    for (size_t i = 0; i < clips.size(); ++i)
        x << "    <entry producer=\"show" << i << "\" in=\"0\" out=\"" << clips[i].length - 1
          << "\"/>\n";
    x << "  </playlist>\n</mlt>\n";
    return x.str();
}

int RunMlt(kvcli::Context& ctx) {
    const std::optional<std::string> out = ctx.TakeValue("--out");
    const std::optional<std::string> profileName = ctx.TakeValue("--profile");
    const std::optional<std::string> sizeText = ctx.TakeValue("--size");
    const std::optional<std::string> rateText = ctx.TakeValue("--rate");
    const bool fields = ctx.TakeFlag("--fields");
    const bool fill = ctx.TakeFlag("--fill");
    std::vector<std::string> shows;
    if (ctx.usageError || !ctx.Positionals(shows)) return kvcli::ExitUsage;
    if (shows.empty()) return ctx.Usage("wants at least one show file");
    if (!out) return ctx.Usage("wants --out FILE.mlt");
    if (profileName && (sizeText || rateText || fields))
        return ctx.Usage("--profile names the size, rate and scan; give it or --size and --rate");
    if (!profileName && !sizeText) return ctx.Usage("wants --profile NAME or --size WxH");

    Profile profile;
    if (profileName) {
        std::string error;
        if (!ReadProfile(*profileName, profile, error)) return ctx.Usage(error);
    } else {
        if (!kvcli::ParseSize(*sizeText, profile.width, profile.height) || profile.width < 1 ||
            profile.height < 1 || profile.width > kv::MaxOutputSide ||
            profile.height > kv::MaxOutputSide)
            return ctx.Usage("--size wants WxH, each from 1 to " +
                             std::to_string(kv::MaxOutputSide) + ", not " + *sizeText);
        if (rateText) {
            char* end = nullptr;
            const double fps = std::strtod(rateText->c_str(), &end);
            const kv::ExactRate rate =
                end != rateText->c_str() && *end == 0 && fps > 0 && fps <= 120
                    ? kv::ExactRateFor(static_cast<float>(fps))
                    : kv::ExactRate{0, 1};
            if (rate.num <= 0) return ctx.Usage("--rate wants frames per second, not " + *rateText);
            profile.rateNum = rate.num;
            profile.rateDen = rate.den;
        }
        // Square pixels; the display shape is the size's.
        const int32_t g = std::gcd(profile.width, profile.height);
        profile.darNum = profile.width / g;
        profile.darDen = profile.height / g;
        profile.progressive = !fields;
        profile.colorspace = profile.height >= 720 ? 709 : 601;
    }

    std::vector<Clip> clips;
    for (const std::string& path : shows) {
        if (!ctx.PathFits(path, "SHOW")) return kvcli::ExitUsage;
        kv::Show show(ctx.Store());
        ctx.PrepareShow(show);
        if (!ctx.LoadShow(show, path, false)) return kvcli::ExitFailure;
        if (profile.rateNum <= 0) {
            // Without --rate the document plays at the first show's rate.
            const kv::ExactRate rate = kv::ExactRateFor(static_cast<float>(show.FrameRate) / 100);
            profile.rateNum = rate.num;
            profile.rateDen = rate.den;
        }
        const double fps = static_cast<double>(profile.rateNum) / profile.rateDen;
        clips.push_back(
            {AbsolutePath(path), kv::FramesAtRate(show.EndFrame(), show.FrameRate, fps)});
    }
    if (profile.description.empty()) {
        char text[96];
        std::snprintf(text, sizeof text, "%dx%d %.2f fps", profile.width, profile.height,
                      static_cast<double>(profile.rateNum) / profile.rateDen);
        profile.description = text;
    }
    const std::string xml = Document(profile, clips, fill);
    std::string error;
    if (!kv::os::WriteFileAtomically(*out, xml.data(), xml.size(), &error))
        return ctx.FailWrite(*out, error);
    return kvcli::ExitSuccess;
}

const kvcli::CommandRegistrar reg(
    {"mlt",
     "mlt SHOW.kvx... (--profile NAME | --size WxH [--rate R] [--fields]) [--fill] --out "
     "FILE.mlt",
     "write an MLT XML document that plays the shows in order (melt, Shotcut, Flowblade)", RunMlt});

}  // namespace

#endif  // KV_HAVE_OUTPUT
