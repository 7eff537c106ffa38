// kinevista-cli info: the parsed show as JSON.
#include <cmath>
#include <cstdio>
#include <string>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tools/cli/cli.h"

namespace {

std::string JsonString(const char* text) {
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        switch (*p) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (*p < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", *p);
                    out += buf;
                } else {
                    out += static_cast<char>(*p);
                }
        }
    }
    return out + "\"";
}

// Floats as %.9g, which reads back to the same float; JSON has no NaN or infinity.
std::string JsonFloat(float f) {
    if (!std::isfinite(f)) return "null";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(f));
    return buf;
}

void PrintKey(const kv::KeyFrame& k, bool last) {
    std::printf(
        "    {\"x\": %s, \"stamp\": %s, \"y\": %s, \"width\": %s, \"sizeReserve\": %s, "
        "\"tiltA\": %s, \"tiltB\": %s, \"rotation\": %s, \"easeCode\": %s, "
        "\"pictureStart\": %s, \"spareB\": %s, \"showLength\": %s, \"time\": %d, "
        "\"undoPicture\": %u, \"undoOp\": %u}%s\n",
        JsonFloat(k.x).c_str(), JsonFloat(k.stamp).c_str(), JsonFloat(k.y).c_str(),
        JsonFloat(k.width).c_str(), JsonFloat(k.sizeReserve).c_str(), JsonFloat(k.tiltA).c_str(),
        JsonFloat(k.tiltB).c_str(), JsonFloat(k.rotation).c_str(), JsonFloat(k.easeCode).c_str(),
        JsonFloat(k.pictureStart).c_str(), JsonFloat(k.spareB).c_str(),
        JsonFloat(k.showLength).c_str(), k.time, k.undoPicture, k.undoOp, last ? "" : ",");
}

int RunInfo(kvcli::Context& ctx) {
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return kvcli::ExitUsage;
    if (pos.size() != 1) return ctx.Usage("wants one show file");
    if (!ctx.PathFits(pos[0], "SHOW")) return kvcli::ExitUsage;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], false)) return kvcli::ExitFailure;
    const kv::Picture& pic = show.pictures[0];
    std::printf("{\n");
    std::printf("  \"length\": %d,\n", show.length);
    std::printf("  \"aspect\": %s,\n", JsonFloat(show.aspect).c_str());
    std::printf("  \"AspectMode\": %d,\n", show.AspectMode);
    std::printf("  \"EaseType\": %d,\n", show.EaseType);
    std::printf("  \"showId\": %u,\n", show.showId);
    std::printf("  \"pictureCount\": %d,\n", show.pictureCount);
    std::printf("  \"picture\": %s,\n", JsonString(pic.fileSpec.path).c_str());
    std::printf("  \"loadResult\": %d,\n", show.lastLoadResult);
    std::printf("  \"keyCount\": %d,\n", pic.keyCount);
    std::printf("  \"keys\": [\n");
    for (int k = 0; k < pic.keyCount && k < kv::MaxKeysPerPicture; ++k)
        PrintKey(pic.keys[k], k + 1 == pic.keyCount);
    std::printf("  ],\n");
    std::printf("  \"audio\": %s,\n", JsonString(show.audio.path).c_str());
    std::printf("  \"MatteColor\": %u,\n", show.MatteColor);
    std::printf("  \"BorderSize\": %d,\n", show.BorderSize);
    std::printf("  \"PreBlur\": %d,\n", show.PreBlur);
    std::printf("  \"VideoColors\": %d,\n", show.VideoColors ? 1 : 0);
    std::printf("  \"ContrastBrightness\": %d\n", show.ContrastBrightness);
    std::printf("}\n");
    return kvcli::ExitSuccess;
}

const kvcli::CommandRegistrar reg({"info", "info SHOW.kvx", "print the parsed show as JSON",
                                   RunInfo});

}  // namespace
