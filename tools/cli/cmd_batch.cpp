// kinevista-cli batch: renders several shows with one set of movie options, each into the
// output's folder as <show name>B.<extension>.
#ifdef KV_HAVE_OUTPUT

#include <cstdio>
#include <string>

#include "core/show/show.h"
#include "editor/output/make_movie.h"
#include "tools/cli/cli.h"
#include "tools/cli/cli_movie_host.h"

namespace kvcli {

namespace {

int RunBatch(Context& ctx) {
    CliMovieHost host;
    if (!host.TakeMovieFlags(ctx)) return 2;
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return 2;
    if (pos.empty()) return ctx.Usage("wants one or more SHOW.kvx");
    if (host.output.empty()) return ctx.Usage("wants --out FILE.ext (its folder and type)");
    if (!host.CheckCodec(ctx)) return 2;
    host.showFiles = pos;
    kv::Show show;
    ctx.PrepareShow(show);
    return kv::MakeMovie(show, host, true) ? 0 : 1;
}

const CommandRegistrar reg({"batch", "batch --out FILE.ext SHOW1.kvx SHOW2.kvx ... [movie options]",
                            "render several shows to movies named <show>B.ext beside FILE",
                            RunBatch});

}  // namespace

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
