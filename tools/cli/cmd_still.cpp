// kinevista-cli still: the frame at a show's current frame as a video-size Targa picture.
#ifdef KV_HAVE_OUTPUT

#include <cstdio>
#include <string>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_settings.h"
#include "tools/cli/cli.h"
#include "tools/cli/cli_movie_host.h"

namespace kvcli {

namespace {

int RunStill(Context& ctx) {
    CliMovieHost host;
    std::optional<std::string> out = ctx.TakeValue("--out");
    std::optional<std::string> frameText = ctx.TakeValue("--frame");
    host.fill = ctx.TakeFlag("--fill");
    if (!ctx.TakeAspect()) return ExitUsage;
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.size() != 1) return ctx.Usage("wants one SHOW.kvx");
    if (!out || out->empty()) return ctx.Usage("wants --out FILE.tga");
    int32_t frame = 0;
    if (frameText && !ParseInt(*frameText, frame)) return ctx.Usage("--frame wants a frame number");
    if (!ctx.PathFits(pos[0], "SHOW") || !ctx.PathFits(*out, "--out")) return ExitUsage;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], true)) return ExitFailure;
    show.currentFrame = frame;
    host.output = *out;
    host.askReplace = ctx.answerGiven;
    std::string saveError;
    if (!kv::MakeStill(show, host, kv::MovieSettingsFrom(ctx.Store()), &saveError)) {
        if (host.refusedReplace) return ctx.Fail(*out + " exists and is left as it was");
        if (!saveError.empty()) return ctx.FailWrite(*out, saveError);
        return ctx.Fail("could not render or save " + *out);
    }
    return ExitSuccess;
}

const CommandRegistrar reg({"still",
                            "still SHOW.kvx --out FILE.tga [--frame N] [--fill] [--aspect W:H]",
                            "save one frame as a 720x486 (720x576 at 2500) Targa picture",
                            RunStill});

}  // namespace

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
