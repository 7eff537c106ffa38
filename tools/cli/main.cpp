// kinevista-cli entry: common options, then the subcommand.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "core/render/show_loading.h"
#include "core/show/show.h"
#include "kv_version.h"
#include "output/writer_state.h"
#include "platform/os/atomic_file.h"
#include "platform/os/utf8_names.h"
#include "tools/cli/cli.h"

namespace kvcli {

namespace {

std::map<std::string, Command>& Table() {
    static std::map<std::string, Command> table;
    return table;
}

void PrintHelp() {
    std::printf(
        "usage: kinevista-cli COMMAND [ARGS] [COMMON OPTIONS]\n\n"
        "commands:\n");
    for (const auto& [name, c] : Table()) std::printf("  %-60s %s\n", c.usage, c.summary);
    std::printf(
        "\ncommon options:\n"
        "  --settings FILE          settings file (default: Kinevista.ini in the public folder)\n"
        "  --set KEY=VALUE          a setting for this run only (repeatable)\n"
        "  --length N               show length in frames (default: five minutes); for\n"
        "                           new --move, seconds or auto (the default)\n"
        "  --frame-rate R           frames per second x 100: 2997, 2500 or 2397\n"
        "  --answer yes|no|cancel   the answer to every question (no or cancel: an existing\n"
        "                           movie or still is left alone)\n"
        "  --allow-placeholder      go on with the placeholder when a picture cannot be loaded\n"
        "\nexit status: 0 success, 1 failure once work has begun, 2 command-line problem,\n"
        "130 stopped by the user\n");
}

}  // namespace

CommandRegistrar::CommandRegistrar(const Command& c) {
    Table()[c.name] = c;
}

bool ParseInt(const std::string& text, int32_t& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != 0 || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool ParseSize(const std::string& text, int32_t& w, int32_t& h) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return ParseInt(text.substr(0, x), w) && ParseInt(text.substr(x + 1), h);
}

std::optional<std::string> Context::TakeValue(const char* name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        if (i + 1 >= args.size()) {
            Usage(std::string(name) + " needs a value");
            args.erase(args.begin() + static_cast<long>(i));
            return std::nullopt;
        }
        std::string v = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return v;
    }
    return std::nullopt;
}

bool Context::TakeFlag(const char* name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

bool Context::Positionals(std::vector<std::string>& out) {
    out.clear();
    for (const std::string& a : args) {
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            Usage("unknown option " + a);
            return false;
        }
        out.push_back(a);
    }
    out.insert(out.end(), literals.begin(), literals.end());
    return !usageError;
}

int Context::Usage(const std::string& message) const {
    std::fprintf(stderr, "kinevista-cli %s: %s\n", command.c_str(), message.c_str());
    if (!usageError && usage && *usage) std::fprintf(stderr, "usage: kinevista-cli %s\n", usage);
    const_cast<Context*>(this)->usageError = true;
    return ExitUsage;
}

int Context::Fail(const std::string& message) const {
    std::fprintf(stderr, "kinevista-cli %s: %s\n", command.c_str(), message.c_str());
    return ExitFailure;
}

int Context::FailWrite(const std::string& path, const std::string& writeError) const {
    // The atomic write names the file it really wrote (a link's target); the user's name is
    // kept and only the reason after the last ": " is taken.
    const size_t colon = writeError.rfind(": ");
    const std::string reason = colon == std::string::npos ? "" : writeError.substr(colon + 2);
    return Fail("could not write " + path + (reason.empty() ? "" : ": " + reason));
}

bool SavePicture(kv::CDIB& image, const std::string& path, int32_t format, std::string& error) {
    if (path.find(".tga") != std::string::npos || path.find(".TGA") != std::string::npos)
        format = kv::FormatTarga;
    kv::FileSpec target;
    target.SetPath(path.c_str());
    kv::DiskFile file;
    if (!file.Open(target, kv::DiskFile::OpenWrite)) {
        kv::Alert("Error opening graphics file", kv::NoAlertCode);
        error = file.WriteError();
        return false;
    }
    // A file left open after a failed write is discarded with `file`.
    if (image.WriteTo(file, format) && file.Close()) return true;
    error = file.WriteError();
    return false;
}

bool Context::PathFits(const std::string& path, const char* what) const {
    if (path.size() <= MaxPathBytes) return true;
    Usage(std::string(what) + " is " + std::to_string(path.size()) +
          " bytes long; paths of at most " + std::to_string(MaxPathBytes) + " bytes are accepted");
    return false;
}

bool Context::PictureMissingFails(const kv::Show& show, const std::string& path) const {
    if (allowPlaceholder || show.pictureCount < 1 || show.lastLoadResult == 1) return false;
    Fail("the picture of " + path + " (" + show.pictures[0].fileSpec.path +
         ") could not be loaded; --allow-placeholder goes on without it");
    return true;
}

bool Context::LoadShow(kv::Show& show, const std::string& path, bool needPicture) const {
    kv::ShowLoadError why = kv::ShowLoadError::None;
    if (!kv::LoadShowLocatingPicture(show, path, false, &why)) {
        const int err = errno;
        switch (why) {
            case kv::ShowLoadError::Missing:
                Fail(path + " is missing");
                break;
            case kv::ShowLoadError::CannotOpen:
                Fail("cannot open " + path + ": " + std::strerror(err));
                break;
            default:
                Fail(path + " is not a show");
        }
        return false;
    }
    return !(needPicture && PictureMissingFails(show, path));
}

void Context::PrepareShow(kv::Show& show) const {
    show.ApplySettings(Store());
    if (frameRate > 0) show.FrameRate = frameRate;
    show.length = length >= 0 ? length : 5 * (show.FrameRate * 60 / 100);
    if (aspectMode > 0) {
        show.requiredShape = aspectMode;
        kv::SetOwnShape(show, aspectMode);
    }
}

namespace {

// The program's own options, read before the command.
struct CommandLine {
    std::string settingsFile;
    std::vector<std::pair<std::string, std::string>> sets;
    std::string answer;
    std::vector<std::string> rest;      // the command and its arguments
    std::vector<std::string> literals;  // the arguments after "--", never read as options
    bool help = false;
};

// Whether a --length value that is not a whole number may still be one for `new --move`
// ("auto" or a number of seconds with a fraction).
bool LengthForNewMove(const std::string& v) {
    if (v == "auto") return true;
    char* end = nullptr;
    const double seconds = std::strtod(v.c_str(), &end);
    return !v.empty() && *end == 0 && seconds > 0;
}

// "--length" and "--frame-rate": a whole number, and for the rate one the editor knows; false
// (with the message) when it is not.
bool ReadNumberOption(Context& ctx, const std::string& a, const std::string& v) {
    int32_t n = 0;
    if (a == "--length") ctx.lengthText = v;
    // Seconds or "auto" for `new --move`: decided once the command is known.
    if (a == "--length" && !ParseInt(v, n) && LengthForNewMove(v)) return true;
    if (!ParseInt(v, n) || n < 0) {
        std::fprintf(stderr, "kinevista-cli: %s wants a whole number, not %s\n", a.c_str(),
                     v.c_str());
        return false;
    }
    if (a == "--frame-rate" && !kv::ValidFrameRate(n)) {
        std::fprintf(stderr, "kinevista-cli: --frame-rate wants 2997, 2500 or 2397, not %s\n",
                     v.c_str());
        return false;
    }
    (a == "--length" ? ctx.length : ctx.frameRate) = n;
    return true;
}

// Reads the options into ctx and cl; false (with the message) when one is wrong.
bool ReadOptions(int argc, char** argv, Context& ctx, CommandLine& cl) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            // Everything after it is a name, even when it starts with "-" (the command itself
            // when none came before).
            int at = i + 1;
            if (cl.rest.empty() && at < argc) cl.rest.push_back(argv[at++]);
            cl.literals.assign(argv + at, argv + argc);
            break;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kinevista-cli: %s needs a value\n", a.c_str());
                std::exit(ExitUsage);
            }
            out = argv[++i];
        };
        if (a == "--settings") {
            value(cl.settingsFile);
        } else if (a == "--set") {
            std::string kvp;
            value(kvp);
            size_t eq = kvp.find('=');
            if (eq == std::string::npos || eq == 0) {
                std::fprintf(stderr, "kinevista-cli: --set wants KEY=VALUE, not %s\n", kvp.c_str());
                return false;
            }
            cl.sets.emplace_back(kvp.substr(0, eq), kvp.substr(eq + 1));
        } else if (a == "--length" || a == "--frame-rate") {
            std::string v;
            value(v);
            if (!ReadNumberOption(ctx, a, v)) return false;
        } else if (a == "--answer") {
            value(cl.answer);
            if (cl.answer != "yes" && cl.answer != "no" && cl.answer != "cancel") {
                std::fprintf(stderr, "kinevista-cli: --answer wants yes, no or cancel\n");
                return false;
            }
        } else if (a == "--allow-placeholder") {
            ctx.allowPlaceholder = true;
        } else if (a == "--help" || a == "-h") {
            cl.help = true;
        } else {
            cl.rest.push_back(a);
        }
    }
    return true;
}

// The program with its arguments as UTF-8.
int Main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kinevista-cli %s\n", KV_VERSION_TEXT);
        return ExitSuccess;
    }
    kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
    Context ctx;
    CommandLine cl;
    if (!ReadOptions(argc, argv, ctx, cl)) return ExitUsage;
    const std::vector<std::string>& rest = cl.rest;
    if (cl.help || rest.empty()) {
        PrintHelp();
        return cl.help ? ExitSuccess : ExitUsage;
    }
    auto it = Table().find(rest[0]);
    if (it == Table().end()) {
        std::fprintf(stderr, "kinevista-cli: unknown command %s (see --help)\n", rest[0].c_str());
        return ExitUsage;
    }
    int32_t frames = 0;
    if (!ctx.lengthText.empty() && !ParseInt(ctx.lengthText, frames) && rest[0] != "new") {
        std::fprintf(stderr, "kinevista-cli: --length wants a whole number, not %s\n",
                     ctx.lengthText.c_str());
        return ExitUsage;
    }
    // A file-size limit then shows as a write error, which the writers report.
    kv::os::IgnoreFileSizeSignal();
    // The program's own store: a write that does not fit (a --set, or a choice a command keeps
    // for the rest of the run) is told on standard error, never dropped without a word.
    kv::Settings store;
    store.SetWriteRefusedHandler([](const std::string& key) {
        std::fprintf(stderr, "kinevista-cli: %s\n", kv::WriteRefusedMessage(key).c_str());
    });
    // A line the store cannot read is named once: it may be a setting written by hand.
    const std::vector<int32_t> malformed = store.Load(cl.settingsFile);
    const std::string settingsName = kv::os::Utf8Name(kv::os::FsPath(store.Path()).filename());
    for (const int32_t line : malformed)
        std::fprintf(stderr,
                     "kinevista-cli: %s line %d is neither a [section] nor a key=value line\n",
                     settingsName.c_str(), static_cast<int>(line));
    for (const auto& [k, v] : cl.sets) store.WriteString(k.c_str(), v.c_str());
    for (const std::string& line : store.CheckValues())
        std::fprintf(stderr, "Warning: --set: %s\n", line.c_str());
    kv::SetPictureMemoryLimit(store.ReadInt("PictureMemoryLimit", 0));
    ctx.settings = &store;
    kv::CompressorChoices compressors;
    ctx.compressors = &compressors;
    const std::string& answer = cl.answer;
    if (!answer.empty())
        kv::SetDefaultAnswer(answer == "yes"  ? kv::Answer::Yes
                             : answer == "no" ? kv::Answer::No
                                              : kv::Answer::Cancel);
    ctx.answerGiven = !answer.empty();
    ctx.command = rest[0];
    ctx.usage = it->second.usage;
    ctx.args.assign(rest.begin() + 1, rest.end());
    ctx.literals = cl.literals;
    return it->second.run(ctx);
}

}  // namespace

}  // namespace kvcli

int main(int argc, char** argv) {
    // No exception ends the program unexplained: a file the system refused is named, exit 1.
    return kv::os::RunProgram("kinevista-cli", argc, argv, kvcli::Main);
}
