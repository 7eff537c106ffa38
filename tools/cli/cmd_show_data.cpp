// kinevista-cli new and set: shows made and changed from data. `new` frames each picture as
// loading it in the editor does (one key over the whole picture), takes the keys of a JSON
// document, or with --move suggests a camera move that suits the picture and the faces in it
// (one show per picture, named after it, with --out-dir). `set` replaces a show's keys and show
// values with a document in the form `info` prints, so that info -> edit -> set is the scripted
// way to make moves. Nothing is written unless the whole document is sound.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/base/records.h"
#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/document/suggest_move.h"
#include "core/render/show_loading.h"
#include "core/show/show.h"
#include "core/show/show_load_steps.h"
#include "platform/faces/face_detector.h"
#include "platform/os/utf8_names.h"
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

// The largest side a picture is scaled to before faces are looked for: faces down to about 5%
// of it are found in under a second.
constexpr int32_t FaceSearchSide = 800;

// What `new` makes of its options.
struct NewRequest {
    std::vector<std::string> pictures;  // as given
    std::vector<std::string> shows;     // the show file of each picture
    std::optional<std::string> keys;
    bool suggest = false;  // --move given
    kv::SuggestOptions options;
    bool autoLength = true;
    double seconds = 0;
};

bool ParseMove(const std::string& text, kv::MoveKind& out) {
    static const std::pair<const char*, kv::MoveKind> moves[] = {
        {"auto", kv::MoveKind::Auto},
        {"push-in", kv::MoveKind::PushIn},
        {"pull-out", kv::MoveKind::PullOut},
        {"pan", kv::MoveKind::Pan}};
    for (const auto& [name, kind] : moves) {
        if (text == name) {
            out = kind;
            return true;
        }
    }
    return false;
}

const char* MoveName(kv::MoveKind kind) {
    switch (kind) {
        case kv::MoveKind::PushIn:
            return "push-in";
        case kv::MoveKind::PullOut:
            return "pull-out";
        case kv::MoveKind::Pan:
            return "pan";
        default:
            return "auto";
    }
}

// A cap from the settings store in percent, never below `least`; a value below it is reported
// and replaced by the default.
double CapSetting(const kv::Settings& store, const char* key, int32_t fallback, int32_t least) {
    const int32_t value = store.ReadInt(key, fallback);
    if (value >= least) return value / 100.0;
    std::fprintf(stderr, "Warning: %s=%d is below %d; %d is used\n", key, value, least, fallback);
    return fallback / 100.0;
}

// Reads new's options into `req`; ExitSuccess, or the usage status after the message.
int ReadNewRequest(Context& ctx, NewRequest& req) {
    const std::optional<std::string> out = ctx.TakeValue("--out");
    const std::optional<std::string> outDir = ctx.TakeValue("--out-dir");
    const std::optional<std::string> move = ctx.TakeValue("--move");
    req.keys = ctx.TakeValue("--keys");
    if (!ctx.TakeAspect()) return ExitUsage;
    if (!ctx.Positionals(req.pictures)) return ExitUsage;
    if (req.pictures.empty()) return ctx.Usage("wants a PICTURE");
    if (out && outDir) return ctx.Usage("takes --out or --out-dir, not both");
    if (!out && !outDir) return ctx.Usage("wants --out SHOW.kvx or --out-dir DIR");
    if (out && req.pictures.size() > 1) return ctx.Usage("several pictures want --out-dir DIR");
    if (req.keys && req.pictures.size() > 1) return ctx.Usage("--keys takes one PICTURE");
    if (req.keys && move) return ctx.Usage("--keys and --move cannot go together");
    if (move) {
        req.suggest = true;
        if (!ParseMove(*move, req.options.move))
            return ctx.Usage("--move wants auto, push-in, pull-out or pan, not " + *move);
        if (!ctx.lengthText.empty() && ctx.lengthText != "auto") {
            char* end = nullptr;
            req.seconds = std::strtod(ctx.lengthText.c_str(), &end);
            if (*end != 0 || !(req.seconds > 0) || req.seconds > 3600)
                return ctx.Usage("--length wants seconds (above 0, at most 3600) or auto, not " +
                                 ctx.lengthText);
            req.autoLength = false;
        }
    } else if (ctx.length < 0 && !ctx.lengthText.empty()) {
        return ctx.Usage(
            "--length wants a whole number of frames (seconds or auto with --move), "
            "not " +
            ctx.lengthText);
    }
    for (const std::string& p : req.pictures) {
        if (!ctx.PathFits(p, "PICTURE")) return ExitUsage;
        if (out) {
            req.shows.push_back(*out);
            continue;
        }
        // Named after the picture, in the folder given; two pictures may not share a name.
        const std::string show =
            kv::os::Utf8Name(kv::os::FsPath(*outDir) / kv::os::FsPath(p).stem()) + ".kvx";
        if (std::find(req.shows.begin(), req.shows.end(), show) != req.shows.end())
            return ctx.Usage("two pictures would both make " + show);
        req.shows.push_back(show);
    }
    for (const std::string& show : req.shows)
        if (!ctx.PathFits(show, out ? "--out" : "--out-dir")) return ExitUsage;
    if (outDir) {
        std::error_code error;
        std::filesystem::create_directories(kv::os::FsPath(*outDir), error);
        if (error) {
            ctx.Fail("cannot make the folder " + *outDir + ": " + error.message());
            return ExitFailure;
        }
    }
    return ExitSuccess;
}

// The faces on the show's prepared picture, in its pixels.
std::vector<kv::PictureBox> FindFaces(const kv::Show& show) {
    const kv::LumaImage luma = kv::PictureLuma(show.image, FaceSearchSide);
    std::vector<kv::PictureBox> out;
    for (const kv::faces::FaceBox& f :
         kv::faces::DetectFaces(luma.pixels.data(), luma.width, luma.height, luma.width))
        out.push_back(luma.ToPicture(f.left, f.top, f.width, f.height));
    return out;
}

// Makes and writes the show of one picture. `zoomMoves` counts the pushes and pulls made so far,
// which `--move auto` alternates.
int MakeShow(Context& ctx, NewRequest& req, size_t index, int& zoomMoves) {
    const std::string& given = req.pictures[index];
    const std::string& target = req.shows[index];
    // The show keeps the picture's full path, so it renders from any working folder.
    std::error_code error;
    const std::filesystem::path full = std::filesystem::canonical(kv::os::FsPath(given), error);
    const std::string picture = error ? given : kv::os::Utf8Name(full);
    if (!ctx.PathFits(picture, "PICTURE")) return ExitUsage;

    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    show.ShowPicError = false;
    kv::FileSpec fileSpec;
    fileSpec.SetPath(picture.c_str());
    kv::RenderingShowLoadSteps().preparePicture(show, fileSpec, 0, 0);
    const bool loaded = show.lastLoadResult == 1;
    if (!loaded && !ctx.allowPlaceholder)
        return ctx.Fail("cannot load the picture " + given +
                        "; --allow-placeholder makes the show all the same");
    show.PictureLoaded(0, fileSpec, false, 0, 0);  // recorded even when it did not load
    if (req.keys && !ApplyKeysFile(ctx, *req.keys, show, false)) return ExitFailure;
    if (ctx.aspectMode) kv::SetOwnShape(show, ctx.aspectMode);
    if (req.suggest && loaded) {
        kv::SuggestOptions options = req.options;
        options.pullOutWhenAuto = zoomMoves % 2 == 1;
        options.length =
            req.autoLength
                ? 0
                : std::max<int32_t>(
                      1, static_cast<int32_t>(std::lround(req.seconds * show.OneSecond())));
        const std::vector<kv::PictureBox> faces = FindFaces(show);
        const kv::SuggestedMove move = kv::SuggestMove(show, 0, options, faces);
        kv::ApplySuggestedMove(show, 0, move);
        if (move.move != kv::MoveKind::Pan) ++zoomMoves;
        std::printf("%s: %s, %d frames, %zu face%s\n", target.c_str(), MoveName(move.move),
                    move.length, faces.size(), faces.size() == 1 ? "" : "s");
    } else if (req.suggest) {
        std::fprintf(stderr, "Warning: %s could not be loaded; its show frames the placeholder\n",
                     given.c_str());
    }
    std::string writeError;
    if (!kv::SaveShow(show, target, &writeError)) return ctx.FailWrite(target, writeError);
    return ExitSuccess;
}

int RunNew(Context& ctx) {
    NewRequest req;
    req.options.maxZoom =
        CapSetting(ctx.Store(), "SuggestMaxZoom", kv::DefaultSuggestMaxZoomPercent, 100);
    req.options.maxPan =
        CapSetting(ctx.Store(), "SuggestMaxPan", kv::DefaultSuggestMaxPanPercent, 1);
    if (const int status = ReadNewRequest(ctx, req); status != ExitSuccess) return status;
    // Every picture is tried; the status is the first failure's.
    int status = ExitSuccess;
    int zoomMoves = 0;
    for (size_t i = 0; i < req.pictures.size(); ++i) {
        const int one = MakeShow(ctx, req, i, zoomMoves);
        if (status == ExitSuccess) status = one;
    }
    std::fflush(stdout);
    return status;
}

int RunSet(Context& ctx) {
    const std::optional<std::string> out = ctx.TakeValue("--out");
    const std::optional<std::string> keys = ctx.TakeValue("--keys");
    if (!ctx.TakeAspect()) return ExitUsage;
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.size() != 1) return ctx.Usage("wants one SHOW.kvx");
    if (!keys && !ctx.aspectMode) return ctx.Usage("wants --keys KEYS.json or --aspect W:H");
    const std::string target = out ? *out : pos[0];
    if (!ctx.PathFits(pos[0], "SHOW") || !ctx.PathFits(target, "--out")) return ExitUsage;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], false)) return ExitFailure;
    if (keys && !ApplyKeysFile(ctx, *keys, show, true)) return ExitFailure;
    // --aspect wins over a shape in the keys file: the show keeps it as its own.
    if (ctx.aspectMode) kv::SetOwnShape(show, ctx.aspectMode);
    std::string error;
    if (!kv::SaveShow(show, target, &error)) return ctx.FailWrite(target, error);
    return ExitSuccess;
}

const CommandRegistrar regNew(
    {"new",
     "new PICTURE... (--out SHOW.kvx | --out-dir DIR) [--aspect W:H] [--keys KEYS.json | "
     "--move auto|push-in|pull-out|pan [--length SECONDS|auto]]",
     "make a show per picture: framed whole, with the keys given, or with a suggested move",
     RunNew});
const CommandRegistrar regSet({"set",
                               "set SHOW.kvx (--keys KEYS.json | --aspect W:H) [--out NEW.kvx]",
                               "replace a show's keys and values with info's JSON, or give "
                               "it a shape of its own",
                               RunSet});

}  // namespace

}  // namespace kvcli
