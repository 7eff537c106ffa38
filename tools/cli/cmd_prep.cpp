// kinevista-cli prep: picture preparation with the settings in force, written as BMP.
//
// The treatments that a show file carries (BorderSize, ContrastBrightness) are taken from the
// settings too, so `--set BorderSize=10` or `--set ContrastBrightness=12850` try them out.
#include <cstdio>
#include <string>

#include "core/base/settings.h"
#include "core/render/treatments.h"
#include "core/show/show.h"
#include "tools/cli/cli.h"

namespace {

int RunPrep(kvcli::Context& ctx) {
    const auto out = ctx.TakeValue("--out");
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return kvcli::ExitUsage;
    if (pos.size() != 1 || !out) return ctx.Usage("wants FILE --out OUT.bmp");
    if (!ctx.PathFits(pos[0], "FILE") || !ctx.PathFits(*out, "--out")) return kvcli::ExitUsage;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    const kv::Settings& s = ctx.Store();
    show.BorderSize = s.ReadInt("BorderSize", 0);
    if (show.BorderSize > 100) show.BorderSize = 100;
    if (show.BorderSize < -1) show.BorderSize = -1;
    show.ContrastBrightness = s.ReadInt("ContrastBrightness", 0x3232);

    kv::FileSpec fileSpec;
    fileSpec.SetPath(pos[0].c_str());
    show.lastLoadResult = 0;
    kv::PrepPicture(show, fileSpec, 0, 0);
    if (show.lastLoadResult == 0 || show.pictureCount == 0) {
        return ctx.Fail(pos[0] + " could not be loaded");
    }
    std::string error;
    if (!kvcli::SavePicture(show.image, *out, kv::FormatBmp, error))
        return ctx.FailWrite(*out, error);
    return kvcli::ExitSuccess;
}

const kvcli::CommandRegistrar reg({"prep", "prep FILE --out OUT.bmp",
                                   "prepare a picture with the settings in force and write it "
                                   "as BMP",
                                   RunPrep});

}  // namespace
