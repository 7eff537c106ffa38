// kinevista-cli resave: Load Show, then write exactly what Save Show writes.
#include <cstdio>
#include <string>

#include "core/show/show.h"
#include "core/show/show_file.h"
#include "tools/cli/cli.h"

namespace {

int RunResave(kvcli::Context& ctx) {
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return 2;
    if (pos.size() != 2) return ctx.Usage("wants IN.kvx OUT.kvx");
    kv::Show show;
    ctx.PrepareShow(show);
    if (!kv::LoadShowLocatingPicture(show, pos[0], false)) {
        std::fprintf(stderr, "kinevista-cli resave: %s is not a show\n", pos[0].c_str());
        return 1;
    }
    if (!kv::SaveShow(show, pos[1])) {
        std::fprintf(stderr, "kinevista-cli resave: cannot write %s\n", pos[1].c_str());
        return 1;
    }
    return 0;
}

const kvcli::CommandRegistrar reg({"resave", "resave IN.kvx OUT.kvx",
                                   "load a show and save it again", RunResave});

}  // namespace
