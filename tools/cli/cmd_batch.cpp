// kinevista-cli batch: renders several shows with one set of movie options, each into the
// output's folder as <show name>B.<extension>.
#ifdef KV_HAVE_OUTPUT

#include <cstdio>
#include <string>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_job.h"
#include "tools/cli/cli.h"
#include "tools/cli/cli_movie_host.h"

namespace kvcli {

namespace {

int RunBatch(Context& ctx) {
    CliMovieHost host;
    if (!host.TakeMovieFlags(ctx)) return ExitUsage;
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.empty()) return ctx.Usage("wants one or more SHOW.kvx");
    if (host.output.empty()) return ctx.Usage("wants --out FILE.ext (its folder and type)");
    if (!ctx.PathFits(host.output, "--out")) return ExitUsage;
    if (!kv::MovieExtensionWritable(host.output))
        return ctx.Fail(kv::UnwritableMovieMessage(host.output));
    for (const std::string& p : pos)
        if (!ctx.PathFits(p, "SHOW")) return ExitUsage;
    if (!host.CheckCodec(ctx)) return ExitUsage;
    // A show whose picture cannot be loaded fails the batch before any movie is made; shows
    // that are missing or are not shows are skipped by the job as before.
    if (!ctx.allowPlaceholder) {
        for (const std::string& p : pos) {
            kv::Show check(ctx.Store());
            ctx.PrepareShow(check);
            if (kv::LoadShow(check, p, false) && ctx.PictureMissingFails(check, p))
                return ExitFailure;
        }
    }
    host.showFiles = pos;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    return host.Finish(ctx, host.Make(ctx, show, true));
}

const CommandRegistrar reg({"batch", "batch --out FILE.ext SHOW1.kvx SHOW2.kvx ... [movie options]",
                            "render several shows to movies named <show>B.ext beside FILE",
                            RunBatch});

}  // namespace

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
