// kinevista-cli resave: Load Show, then write exactly what Save Show writes.
#include <cstdio>
#include <string>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tools/cli/cli.h"

namespace {

int RunResave(kvcli::Context& ctx) {
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return kvcli::ExitUsage;
    if (pos.size() != 2) return ctx.Usage("wants IN.kvx OUT.kvx");
    if (!ctx.PathFits(pos[0], "IN.kvx") || !ctx.PathFits(pos[1], "OUT.kvx"))
        return kvcli::ExitUsage;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], false)) return kvcli::ExitFailure;
    std::string error;
    if (!kv::SaveShow(show, pos[1], &error)) return ctx.FailWrite(pos[1], error);
    return kvcli::ExitSuccess;
}

const kvcli::CommandRegistrar reg({"resave", "resave IN.kvx OUT.kvx",
                                   "load a show and save it again", RunResave});

}  // namespace
