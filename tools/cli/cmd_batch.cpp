// kinevista-cli batch: renders several shows with one set of movie options, each into the
// output's folder as <show name>B.<extension>.
#ifdef KV_HAVE_OUTPUT

#include <algorithm>
#include <cstddef>
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

// The batch's own limit per round (what one open dialog may choose); longer lists are made in
// further rounds with the same options.
constexpr size_t ShowsPerRound = 64;

// Options that name movie frames of one show: each show of a batch runs to its own end, so they
// cannot apply to all of them alike.
bool RefusesPerShowOptions(Context& ctx) {
    for (const char* flag : {"--end", "--frames"}) {
        if (ctx.TakeValue(flag)) {
            ctx.Usage(std::string(flag) +
                      " does not apply to a batch: each show is rendered to its own end (render "
                      "such a show with movie)");
            return true;
        }
    }
    return ctx.usageError;
}

int RunBatch(Context& ctx) {
    CliMovieHost host;
    if (RefusesPerShowOptions(ctx) || !host.TakeMovieFlags(ctx)) return ExitUsage;
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
    // Every entry is loaded as `movie` loads it. One that is missing, unreadable or not a show
    // is named and left out, the others are made, and the batch ends with status 1; a show
    // whose picture cannot be loaded fails the batch before any movie is made.
    std::vector<std::string> shows;
    bool entriesLeftOut = false;
    for (const std::string& p : pos) {
        kv::Show check(ctx.Store());
        ctx.PrepareShow(check);
        if (!ctx.LoadShow(check, p, false)) {
            std::fprintf(stderr, "kinevista-cli batch: %s is left out\n", p.c_str());
            entriesLeftOut = true;
            continue;
        }
        if (ctx.PictureMissingFails(check, p)) return ExitFailure;
        shows.push_back(p);
    }
    if (shows.empty()) return ctx.Fail("no show to render");
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    bool made = true;
    for (size_t first = 0; first < shows.size(); first += ShowsPerRound) {
        const size_t last = std::min(shows.size(), first + ShowsPerRound);
        host.showFiles.assign(shows.begin() + static_cast<std::ptrdiff_t>(first),
                              shows.begin() + static_cast<std::ptrdiff_t>(last));
        made = host.Make(ctx, show, true) && made;
        if (host.StopRequested() || host.refusedReplace) break;
    }
    const int status = host.Finish(ctx, made);
    if (status == ExitSuccess && (entriesLeftOut || host.SkippedShows() > 0)) return ExitFailure;
    return status;
}

const CommandRegistrar reg({"batch", "batch --out FILE.ext SHOW1.kvx SHOW2.kvx ... [movie options]",
                            "render several shows to movies named <show>B.ext beside FILE",
                            RunBatch});

}  // namespace

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
