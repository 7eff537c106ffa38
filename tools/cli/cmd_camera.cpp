// kinevista-cli camera: the camera of each frame of a range, one line per frame.
#include <cstdio>
#include <string>

#include "core/document/show_file.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "tools/cli/cli.h"

namespace {

int RunCamera(kvcli::Context& ctx) {
    const bool half = ctx.TakeFlag("--half");
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return kvcli::ExitUsage;
    if (pos.size() != 3) return ctx.Usage("wants SHOW.kvx FROM TO");
    int32_t from = 0, to = 0;
    if (!kvcli::ParseInt(pos[1], from) || !kvcli::ParseInt(pos[2], to))
        return ctx.Usage("FROM and TO are frame numbers");
    if (!ctx.PathFits(pos[0], "SHOW")) return kvcli::ExitUsage;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], false)) return kvcli::ExitFailure;
    for (int64_t f = from; f <= to; ++f) {
        const kv::CameraState c = kv::CameraAtFrame(show, static_cast<int32_t>(f), half);
        std::printf("%lld %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", static_cast<long long>(f),
                    static_cast<double>(c.x), static_cast<double>(c.y),
                    static_cast<double>(c.width), static_cast<double>(c.rotation),
                    static_cast<double>(c.tiltA), static_cast<double>(c.tiltB),
                    static_cast<double>(c.easeCode));
    }
    return kvcli::ExitSuccess;
}

const kvcli::CommandRegistrar reg({"camera", "camera SHOW.kvx FROM TO [--half]",
                                   "print the camera of each frame (x y width rotation tiltA "
                                   "tiltB easeCode)",
                                   RunCamera});

}  // namespace
