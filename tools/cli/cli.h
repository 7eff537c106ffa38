// kinevista-cli: the command table and the options every subcommand shares.
//
// Each subcommand lives in its own cmd_<name>.cpp and registers itself with a static
// CommandRegistrar. Common options (accepted before or after a subcommand's own arguments):
//   --settings FILE   settings file to load instead of the public folder's Kinevista.ini
//   --set KEY=VALUE   a setting for this run only (repeatable)
//   --length N        show length in frames (default: five minutes at the frame rate)
//   --frame-rate R    frames per second x 100 (2997, 2500, 2397)
//   --answer yes|no|cancel   the answer to every question
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {
class Show;
}

namespace kvcli {

class Context {
public:
    // What remains of the command line after the common options: positional arguments and
    // the subcommand's own flags, in order.
    std::vector<std::string> args;

    // Takes "--name VALUE" out of args; nullopt when absent. A missing value is a usage error.
    std::optional<std::string> TakeValue(const char* name);
    // Takes a "--name" switch out of args.
    bool TakeFlag(const char* name);
    // The positional arguments left once the flags are taken; an unknown "--x" is reported.
    bool Positionals(std::vector<std::string>& out);
    // Prints "kinevista-cli <command>: <message>" to standard error; returns 2 (usage error).
    int Usage(const std::string& message) const;

    // Applies the common options to a show: settings, frame rate and length.
    void PrepareShow(kv::Show& show) const;

    std::string command;
    int32_t frameRate = -1;  // -1: from the settings
    int32_t length = -1;     // -1: five minutes at the frame rate
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

}  // namespace kvcli
