// kinevista-cli picture: loads a picture file as the editor does and writes it unchanged as BMP.
#include <cstdio>
#include <string>

#include "core/base/settings.h"
#include "core/picture/cdib.h"
#include "tools/cli/cli.h"

namespace {

int RunPicture(kvcli::Context& ctx) {
    const auto out = ctx.TakeValue("--out");
    const auto alt = ctx.TakeValue("--alt-folder");
    const auto errors = ctx.TakeValue("--show-errors");
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return kvcli::ExitUsage;
    if (pos.size() != 1 || !out) return ctx.Usage("wants FILE --out OUT.bmp");
    int32_t showErrors = ctx.Store().ReadInt("ShowPicError", 1) != 0 ? 1 : 0;
    if (errors && (!kvcli::ParseInt(*errors, showErrors) || showErrors < 0 || showErrors > 1))
        return ctx.Usage("--show-errors wants 0 or 1");
    if (!ctx.PathFits(pos[0], "FILE") || !ctx.PathFits(*out, "--out")) return kvcli::ExitUsage;
    if (alt && !ctx.PathFits(*alt, "--alt-folder")) return kvcli::ExitUsage;

    kv::FileSpec fileSpec, folder;
    fileSpec.SetPath(pos[0].c_str());
    folder.SetPath(alt ? alt->c_str() : ctx.Store().ReadString("AltImageFolder", "").c_str());
    kv::CDIB image(16, 16, 8);
    // As a picture newly loaded into a show: upright by its orientation unless set otherwise.
    image.uprightOrientation = ctx.Store().ReadInt("UsePictureOrientation", 1) != 0;
    const int32_t result = image.Load(fileSpec, folder, showErrors != 0);
    std::printf("load result %d\n", result);
    if (result == 0) return kvcli::ExitFailure;
    std::string error;
    if (!kvcli::SavePicture(image, *out, kv::FormatBmp, error)) return ctx.FailWrite(*out, error);
    return kvcli::ExitSuccess;
}

const kvcli::CommandRegistrar reg({"picture",
                                   "picture FILE --out OUT.bmp [--alt-folder DIR] "
                                   "[--show-errors 0|1]",
                                   "load a picture file and write it as BMP", RunPicture});

}  // namespace
