// kinevista-cli join: segments of one movie (movie --frames) put end to end without
// re-encoding.
#ifdef KV_HAVE_OUTPUT

#include <cstdio>
#include <string>
#include <vector>

#include "platform/os/atomic_file.h"
#include "platform/video/movie_join.h"
#include "tools/cli/cli.h"

namespace kvcli {

namespace {

int RunJoin(Context& ctx) {
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.size() < 2) return ctx.Usage("wants OUT and at least one PART");
    for (const std::string& p : pos)
        if (!ctx.PathFits(p, "a movie name")) return ExitUsage;
    const std::vector<std::string> parts(pos.begin() + 1, pos.end());
    // The same file may be named in many ways (d/./p.avi, a link, a second mount): only the
    // file's identity tells whether OUT would overwrite a part.
    for (const std::string& p : parts)
        if (p == pos[0] || kv::os::SameFile(p, pos[0]))
            return ctx.Usage("OUT is also one of the parts: " + p);
    kv::os::AtomicFile target;
    if (!target.Open(pos[0])) return ctx.Fail(target.Error());
    const kv::JoinResult r = kv::JoinMovies(pos[0], target.TempPath(), parts);
    if (!r.ok) return ctx.Fail(r.error);  // the temporary goes with `target`
    if (!target.Commit()) return ctx.Fail(target.Error());
    std::fprintf(stderr, "kinevista-cli join: %zu parts, %lld packets into %s\n", parts.size(),
                 r.packets, pos[0].c_str());
    return ExitSuccess;
}

const CommandRegistrar reg(
    {"join", "join OUT PART1 PART2 ...",
     "join movie segments into one movie (pictures copied, sound kept in step)", RunJoin});

}  // namespace

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
