// kinevista-cli movie: renders a show to an AVI, .mov, DPS or Video Toaster file. Also the
// CLI's MovieHost that the still and batch commands share.
#ifdef KV_HAVE_OUTPUT

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdio>
#include <string>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/show/show.h"
#include "editor/output/make_movie.h"
#include "editor/output/movie_job.h"
#include "platform/video/movie_writer.h"
#include "tools/cli/cli.h"
#include "tools/cli/cli_movie_host.h"

namespace kvcli {

namespace {

// Written by the signal handler, read by the job's thread.
volatile std::sig_atomic_t g_interrupted = 0;  // a Ctrl-C not yet taken as Esc
volatile std::sig_atomic_t g_interrupts = 0;   // Ctrl-C presses during the job
volatile std::sig_atomic_t g_stop = 0;         // second Ctrl-C or SIGTERM: stop the job

void Interrupted(bool stop) {
    if (stop || g_interrupts > 0) g_stop = 1;
    if (!stop) g_interrupts = g_interrupts + 1;
    g_interrupted = 1;
}

#ifdef _WIN32
// The console's Ctrl-C is the interrupt; Ctrl-Break, closing the console or ending the session
// stop the job as SIGTERM does.
BOOL WINAPI OnConsoleControl(DWORD event) {
    Interrupted(event != CTRL_C_EVENT);
    return TRUE;
}
#else
struct sigaction g_previousInt;
struct sigaction g_previousTerm;

extern "C" void OnInterrupt(int sig) {
    Interrupted(sig == SIGTERM);
}
#endif

}  // namespace

CliMovieHost::CliMovieHost() {
    g_interrupted = 0;
    g_interrupts = 0;
    g_stop = 0;
#ifdef _WIN32
    m_tty = _isatty(2) != 0;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    m_tty = isatty(2) != 0;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &g_previousInt);
    sigaction(SIGTERM, &sa, &g_previousTerm);
#endif
}

CliMovieHost::~CliMovieHost() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#else
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
#endif
    if (m_lineOpen) std::fputc('\n', stderr);
}

bool CliMovieHost::TakeMovieFlags(Context& ctx) {
    if (auto size = ctx.TakeValue("--size")) {
        int32_t w = 0, h = 0;
        if (!ParseSize(*size, w, h)) {
            ctx.Usage("--size wants WxH, not " + *size);
            return false;
        }
        m_width = std::to_string(w);
        m_height = std::to_string(h);
    }
    m_start = ctx.TakeValue("--start");
    m_end = ctx.TakeValue("--end");
    m_hold = ctx.TakeValue("--hold");
    m_fps = ctx.TakeValue("--fps");
    m_quality = ctx.TakeValue("--quality");
    if (m_quality) {
        int32_t q = 0;
        if (!ParseInt(*m_quality, q) || q < 0 || q > 100) {
            ctx.Usage("--quality wants 0..100, not " + *m_quality);
            return false;
        }
    }
    if (ctx.TakeFlag("--fields")) m_fields = true;
    if (ctx.TakeFlag("--no-fields")) m_fields = false;
    if (ctx.TakeFlag("--reverse")) m_reverse = true;
    m_codec = ctx.TakeValue("--codec");
    if (m_codec && m_codec->size() > 4) {
        ctx.Usage("--codec wants a code of at most four characters");
        return false;
    }
    if (auto out = ctx.TakeValue("--out")) output = *out;
    return !ctx.usageError;
}

bool CliMovieHost::CheckCodec(Context& ctx) const {
    const size_t dot = output.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : output.substr(dot);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (ext != ".avi" && ext != ".mov" && ext != ".dps" && ext != ".rtv") {
        ctx.Usage("--out wants a .avi, .mov, .dps or .rtv file, not " + output);
        return false;
    }
    if (!m_codec) return true;
    const int32_t type = kv::WriterTypeFor(output);
    if (type != kv::WriterAvi && type != kv::WriterQuickTime) {
        ctx.Usage("--codec applies to .avi and .mov movies only");
        return false;
    }
    const kv::MovieContainer c =
        type == kv::WriterAvi ? kv::MovieContainer::Avi : kv::MovieContainer::QuickTime;
    if (!kv::HaveMovieContainer(c)) return true;  // the writer reports the missing container
    if (kv::HaveMovieCodec(c, *m_codec)) {
        kv::TheSettings().WriteString("CodecType", m_codec->c_str());
        return true;
    }
    std::string known;
    for (const std::string& code : kv::MovieCodecs(c))
        known += " \"" + code + "\" (" + kv::MovieCodecName(c, code) + ")";
    ctx.Usage("unknown codec \"" + *m_codec + "\"; this build offers" + known);
    return false;
}

bool CliMovieHost::MovieOptions(kv::MovieOptionTexts& t) {
    if (m_width) t.width = *m_width;
    if (m_height) t.height = *m_height;
    if (m_start) t.start = *m_start;
    if (m_end) t.end = *m_end;
    if (m_hold) t.hold = *m_hold;
    if (m_fps) t.fps = *m_fps;
    if (m_quality) t.quality = *m_quality;
    if (m_fields) t.fields = *m_fields ? "1" : "";
    if (m_reverse) t.reverse = *m_reverse ? "1" : "";
    return true;
}

bool CliMovieHost::ChooseOutputFile(const kv::FileRequest&, std::string& path) {
    path = output;
    if (path.empty()) return false;
    if (askReplace && ::access(path.c_str(), F_OK) == 0 &&
        !kv::AskYesNo((path + " already exists. Replace it?").c_str(), "Kinevista")) {
        refusedReplace = true;
        return false;
    }
    return true;
}

bool CliMovieHost::ChooseShowFiles(const kv::FileRequest&, std::vector<std::string>& files) {
    files = showFiles;
    return !files.empty();
}

// The compressor comes from --codec (already stored as "CodecType") or the stored setting.
bool CliMovieHost::ChooseAviCompressor(std::string&, int32_t&) {
    return true;
}

bool CliMovieHost::ChooseQtCompressor(std::string&, int32_t&, int32_t&) {
    return true;
}

void CliMovieHost::ShowProgress(double fraction, const char* text, uint64_t startTick) {
    if (!m_tty) return;
    const uint64_t now = Ticks();
    if (m_lineOpen && now - m_lastDraw < 100) return;
    m_lastDraw = now;
    std::string estimate = kv::TimeToGoText(startTick, now, fraction);
    std::fprintf(stderr, "\r%s %4s  %-20s", text, kv::PercentText(fraction).c_str(),
                 estimate.c_str());
    std::fflush(stderr);
    m_lineOpen = true;
}

int CliMovieHost::Finish(Context& ctx, bool made) const {
    if (refusedReplace) return ctx.Fail(output + " exists and is left as it was");
    if (g_stop) return ExitStopped;
    return made ? ExitSuccess : ExitFailure;
}

bool CliMovieHost::StopRequested() {
    return g_stop != 0;
}

bool CliMovieHost::TakeKeyDown(bool) {
    if (g_stop) return true;  // every pass and hold ends at once
    if (!g_interrupted) return false;
    g_interrupted = 0;
    return true;
}

namespace {

int RunMovie(Context& ctx) {
    CliMovieHost host;
    if (!host.TakeMovieFlags(ctx)) return ExitUsage;
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.size() != 1) return ctx.Usage("wants one SHOW.kvx");
    if (host.output.empty()) return ctx.Usage("wants --out FILE.(avi|mov|dps|rtv)");
    if (!ctx.PathFits(pos[0], "SHOW") || !ctx.PathFits(host.output, "--out")) return ExitUsage;
    if (!host.CheckCodec(ctx)) return ExitUsage;
    host.askReplace = ctx.answerGiven;
    kv::Show show;
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], true)) return ExitFailure;
    return host.Finish(ctx, kv::MakeMovie(show, host, false));
}

const CommandRegistrar reg({"movie",
                            "movie SHOW.kvx --out FILE.(avi|mov|dps|rtv) [--size WxH] [--start TC] "
                            "[--end TC] [--hold TC] [--fps F] [--quality Q] [--fields] "
                            "[--reverse] [--codec FOURCC]",
                            "render the show to a movie file", RunMovie});

}  // namespace

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
