// kinevista-cli farm on Windows: Slurm clusters run on Linux, so the command is there only to say
// where to run it.
#include "tools/cli/cli.h"

namespace kvcli {

namespace {

int RunFarm(Context& ctx) {
    return ctx.Fail(
        "rendering on a Slurm cluster is not available in the Windows build; run farm from "
        "the Linux build on a machine that can submit to the cluster");
}

const CommandRegistrar reg({"farm", "farm SHOWS... --out DIR --shared DIR [movie options]",
                            "not available in the Windows build", RunFarm});

}  // namespace

}  // namespace kvcli
