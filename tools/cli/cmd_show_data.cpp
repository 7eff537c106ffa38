// kinevista-cli new and set: shows made and changed from data. `new` frames a picture as
// loading it in the editor does (one key over the whole picture) or takes the keys of a JSON
// document; `set` replaces a show's keys and show values with a document in the form `info`
// prints, so that info -> edit -> set is the scripted way to make moves. Nothing is written
// unless the whole document is sound.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/base/records.h"
#include "core/document/show_file.h"
#include "core/render/show_loading.h"
#include "core/show/show.h"
#include "core/show/show_load_steps.h"
#include "tools/cli/cli.h"
#include "tools/cli/json_reader.h"
#include "tools/cli/show_json.h"

namespace kvcli {

namespace {

// Reads and applies --keys FILE ("-" is standard input); false after the message.
bool ApplyKeysFile(Context& ctx, const std::string& file, kv::Show& show, bool takePicture) {
    std::string text, error;
    if (!ReadJsonFile(file, text, error)) {
        ctx.Fail(error);
        return false;
    }
    JsonValue doc;
    if (!ReadJson(text, doc, error)) {
        ctx.Fail(file + ": " + error);
        return false;
    }
    ShowJsonOptions options;
    options.takePicture = takePicture;
    if (!ApplyShowJson(doc, show, options, error)) {
        ctx.Fail(file + ": " + error);
        return false;
    }
    return true;
}

int RunNew(Context& ctx) {
    const std::optional<std::string> out = ctx.TakeValue("--out");
    const std::optional<std::string> keys = ctx.TakeValue("--keys");
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.size() != 1) return ctx.Usage("wants one PICTURE");
    if (!out) return ctx.Usage("wants --out SHOW.kvx");
    // The show keeps the picture's full path, so it renders from any working folder.
    std::error_code error;
    const std::filesystem::path full = std::filesystem::canonical(pos[0], error);
    const std::string picture = error ? pos[0] : full.string();
    if (!ctx.PathFits(picture, "PICTURE") || !ctx.PathFits(*out, "--out")) return ExitUsage;

    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    show.ShowPicError = false;
    kv::FileSpec fileSpec;
    fileSpec.SetPath(picture.c_str());
    kv::RenderingShowLoadSteps().preparePicture(show, fileSpec, 0, 0);
    if (show.lastLoadResult != 1 && !ctx.allowPlaceholder)
        return ctx.Fail("cannot load the picture " + pos[0] +
                        "; --allow-placeholder makes the show all the same");
    show.PictureLoaded(0, fileSpec, false, 0, 0);  // recorded even when it did not load
    if (keys && !ApplyKeysFile(ctx, *keys, show, false)) return ExitFailure;
    std::string writeError;
    if (!kv::SaveShow(show, *out, &writeError)) return ctx.FailWrite(*out, writeError);
    return ExitSuccess;
}

int RunSet(Context& ctx) {
    const std::optional<std::string> out = ctx.TakeValue("--out");
    const std::optional<std::string> keys = ctx.TakeValue("--keys");
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.size() != 1) return ctx.Usage("wants one SHOW.kvx");
    if (!keys) return ctx.Usage("wants --keys KEYS.json");
    const std::string target = out ? *out : pos[0];
    if (!ctx.PathFits(pos[0], "SHOW") || !ctx.PathFits(target, "--out")) return ExitUsage;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], false)) return ExitFailure;
    if (!ApplyKeysFile(ctx, *keys, show, true)) return ExitFailure;
    std::string error;
    if (!kv::SaveShow(show, target, &error)) return ctx.FailWrite(target, error);
    return ExitSuccess;
}

const CommandRegistrar regNew({"new", "new PICTURE --out SHOW.kvx [--keys KEYS.json]",
                               "make a show for a picture, framed whole or with the keys given",
                               RunNew});
const CommandRegistrar regSet({"set", "set SHOW.kvx --keys KEYS.json [--out NEW.kvx]",
                               "replace a show's keys and values with info's JSON", RunSet});

}  // namespace

}  // namespace kvcli
