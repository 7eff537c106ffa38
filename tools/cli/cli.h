// kinevista-cli: the command table and the options every subcommand shares.
//
// Each subcommand lives in its own cmd_<name>.cpp and registers itself with a static
// CommandRegistrar. Common options (accepted before or after a subcommand's own arguments):
//   --settings FILE   settings file to load instead of the public folder's Kinevista.ini
//   --set KEY=VALUE   a setting for this run only (repeatable)
//   --length N        show length in frames (default: five minutes at the frame rate)
//   --frame-rate R    frames per second x 100 (2997, 2500, 2397)
//   --answer yes|no|cancel   the answer to every question (also whether to replace a movie or
//                            still that exists; without it the file is replaced)
//   --allow-placeholder      render, still, movie and batch go on with the placeholder when a
//                            show's picture cannot be loaded
//
// Exit status, the same for every command (ExitStatus below is the one place it is decided):
//   0 success; 2 a command-line problem found before any work (unknown command or option, bad
//   number, unknown codec or extension, a path that does not fit), printed with the usage;
//   1 a failure once work has begun; 130 stopped by the user.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {
class CDIB;
class Settings;
struct CompressorChoices;
class Show;
}  // namespace kv

namespace kvcli {

enum ExitStatus : int {
    ExitSuccess = 0,
    ExitFailure = 1,
    ExitUsage = 2,
    ExitStopped = 130,
};

// The longest path the program's path records hold (a 256-byte record with its NUL).
constexpr size_t MaxPathBytes = 255;

class Context {
public:
    // What remains of the command line after the common options: positional arguments and
    // the subcommand's own flags, in order.
    std::vector<std::string> args;
    // The arguments after "--": positional whatever they look like, after those in args.
    std::vector<std::string> literals;

    // Takes "--name VALUE" out of args; nullopt when absent. A missing value is a usage error.
    std::optional<std::string> TakeValue(const char* name);
    // Takes a "--name" switch out of args.
    bool TakeFlag(const char* name);
    // The positional arguments left once the flags are taken; an unknown "--x" is reported.
    bool Positionals(std::vector<std::string>& out);
    // Prints "kinevista-cli <command>: <message>" and the command's usage line to standard
    // error; returns ExitUsage.
    int Usage(const std::string& message) const;
    // False (after a usage message) when a path does not fit the path records; it is never cut.
    bool PathFits(const std::string& path, const char* what) const;
    // Prints "kinevista-cli <command>: <message>" to standard error; returns ExitFailure.
    int Fail(const std::string& message) const;
    // Fails with "could not write PATH: <the operating system's reason>" from the message of a
    // failed atomic write ("cannot write PATH: reason").
    int FailWrite(const std::string& path, const std::string& writeError) const;

    // Loads a show as the tools do (LoadShowLocatingPicture). False after a message that tells
    // a missing file, one that cannot be opened and one that is not a show apart; with
    // `needPicture`, also when the show's picture could not be loaded (unless
    // --allow-placeholder was given).
    bool LoadShow(kv::Show& show, const std::string& path, bool needPicture) const;
    // Whether a picture that failed to load ends a rendering command.
    bool PictureMissingFails(const kv::Show& show, const std::string& path) const;

    // Applies the common options to a show: settings, frame rate and length, and the shape
    // of --aspect once TakeAspect has read it.
    void PrepareShow(kv::Show& show) const;
    // Takes "--aspect 16:9|9:16|1:1|4:5|4:3|W:H" out of args into aspectMode; false after a
    // usage message when the value is not a shape.
    bool TakeAspect();
    int32_t aspectMode = 0;  // --aspect as an AspectMode; 0 when not given

    // The program's settings store: the file loaded at start with the --set values over it. The
    // program owns it (main); the commands read it and write their choices into it for this run.
    kv::Settings& Store() const { return *settings; }
    kv::Settings* settings = nullptr;
    // The movie compressors chosen in this run (main owns them; output keeps them between movies).
    kv::CompressorChoices* compressors = nullptr;

    std::string command;
    const char* usage = "";    // the command's usage line
    bool answerGiven = false;  // --answer was on the command line
    bool allowPlaceholder = false;
    int32_t frameRate = -1;  // -1: from the settings
    int32_t length = -1;     // -1: five minutes at the frame rate
    // The --length value as given ("" when absent). `new --move` reads it as seconds or "auto";
    // a value that is not a whole number is refused for every other use.
    std::string lengthText;
    bool usageError = false;
};

using CommandFn = int (*)(Context& ctx);

struct Command {
    const char* name;
    const char* usage;    // e.g. "info SHOW.kvx"
    const char* summary;  // one line for --help
    CommandFn run;
};

struct CommandRegistrar {
    explicit CommandRegistrar(const Command& c);
};

// Number parsing for flags: false (and a usage message) on anything but a whole number.
bool ParseInt(const std::string& text, int32_t& out);
// "WxH" into width and height.
bool ParseSize(const std::string& text, int32_t& w, int32_t& h);

// Writes a picture as CDIB::Save does (a name with ".tga" is always Targa), and on failure
// gives the operating system's reason in `error` (the message of the failed atomic write).
bool SavePicture(kv::CDIB& image, const std::string& path, int32_t format, std::string& error);

}  // namespace kvcli
