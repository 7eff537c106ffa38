// kinevista-cli movie: renders a show to an AVI, .mov, .mp4, .mkv, .webm, DPS or Video Toaster
// file. Also the
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
#include "output/make_movie.h"
#include "output/movie_job.h"
#include "output/movie_settings.h"
#include "output/movie_writers.h"
#include "output/output_frame.h"
#include "output/timecode.h"
#include "platform/os/utf8_names.h"
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
        // The job would cut a larger side down to its limit without a word.
        if (w > kv::MaxMovieSide || h > kv::MaxMovieSide) {
            ctx.Usage("--size " + *size + " is too large: movies are at most " +
                      std::to_string(kv::MaxMovieSide) + " x " + std::to_string(kv::MaxMovieSide) +
                      " pixels");
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
    m_showRate = ctx.frameRate;
    if (ctx.TakeFlag("--fields")) m_fields = true;
    if (ctx.TakeFlag("--no-fields")) m_fields = false;
    if (ctx.TakeFlag("--reverse")) m_reverse = true;
    if (ctx.TakeFlag("--fill")) fill = true;
    if (!ctx.TakeAspect()) return false;
    // Settings are not saved by the CLI: this holds for this run only.
    if (ctx.TakeFlag("--no-audio")) ctx.Store().WriteInt("MovieAudio", 0);
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
    if (ext.empty()) {
        ctx.Usage("--out wants a .avi, .mov, .mp4, .mkv, .webm, .dps or .rtv file, not " + output);
        return false;
    }
    if (ext == ".webm" && m_fields && *m_fields) {
        ctx.Usage("--fields cannot be used with .webm: a WebM movie holds whole frames only");
        return false;
    }
    if (!m_codec) return true;
    const kv::MovieContainerRow& row = kv::MovieRowFor(output);
    if (!row.hasCodecs) {
        ctx.Usage("--codec applies to .avi, .mov, .mp4, .mkv and .webm movies only");
        return false;
    }
    const kv::MovieContainer c = row.container;
    if (!kv::HaveMovieContainer(c)) return true;  // the writer reports the missing container
    if (kv::HaveMovieCodec(c, *m_codec)) {
        // The .mp4/.mkv/.webm choice is kept apart, so that it never reaches an AVI or .mov.
        ctx.Store().WriteString(row.writerType == kv::WriterPublish ? "MovieCodec" : "CodecType",
                                m_codec->c_str());
        return true;
    }
    std::string known;
    for (const std::string& code : kv::MovieRowCodecs(row))
        known += " \"" + code + "\" (" + kv::MovieCodecName(c, code) + ")";
    ctx.Usage("unknown codec \"" + *m_codec + "\"; this build offers" + known);
    return false;
}

bool CliMovieHost::MovieOptions(kv::MovieOptionTexts& t) {
    if (kv::WriterTypeFor(output) == kv::WriterPublish) {
        // Made for today's screens: square pixels at the show's shape, whole frames, unless
        // the options below ask otherwise.
        int32_t w = 0, h = 0;
        kv::PublishDefaultSize(shape, w, h);
        t.width = std::to_string(w);
        t.height = std::to_string(h);
        t.fields.clear();
    }
    if (m_width) t.width = *m_width;
    if (m_height) t.height = *m_height;
    if (m_start) t.start = *m_start;
    if (m_end) t.end = *m_end;
    if (m_hold) t.hold = *m_hold;
    if (m_fps) t.fps = *m_fps;
    if (m_quality) t.quality = *m_quality;
    if (m_fields) t.fields = *m_fields ? "1" : "";
    if (m_reverse) t.reverse = *m_reverse ? "1" : "";
    WarnOfMovieRate(t.fps);
    return true;
}

void CliMovieHost::WarnOfMovieRate(const std::string& fps) {
    // --frame-rate sets the show's clock; the movie's own rate is the movie option, kept apart.
    if (m_showRate <= 0 || m_fps || m_rateWarned) return;
    const double movieRate = kv::MovieFrameRate(fps.c_str());
    if (static_cast<int32_t>(movieRate * 100 + 0.5) == m_showRate) return;
    m_rateWarned = true;
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, "%g", m_showRate / 100.0);
    std::fprintf(stderr,
                 "kinevista-cli: warning: --frame-rate %d sets the show's rate; the movie is "
                 "written at %s frames a second (the kept movie rate): add --fps %s to write it "
                 "at the show's rate\n",
                 static_cast<int>(m_showRate), fps.c_str(), wanted);
}

bool CliMovieHost::ChooseOutputFile(const kv::FileRequest&, std::string& path) {
    path = output;
    if (path.empty()) return false;
    if (askReplace && kv::os::PathExists(path) &&
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

bool CliMovieHost::TakeFrameRange(Context& ctx) {
    const std::optional<std::string> text = ctx.TakeValue("--frames");
    if (!text) return !ctx.usageError;
    const size_t dash = text->find('-', 1);
    int32_t first = 0, last = 0;
    if (dash == std::string::npos || !ParseInt(text->substr(0, dash), first) ||
        !ParseInt(text->substr(dash + 1), last) || first < 0 || last < first) {
        ctx.Usage("--frames wants FIRST-LAST, whole numbers from 0 with FIRST <= LAST, not " +
                  *text);
        return false;
    }
    m_frames = std::make_pair(int64_t{first}, int64_t{last});
    return true;
}

int64_t CliMovieHost::MovieFrameCount(const kv::Show& show, const kv::Settings& store) {
    const int32_t rate = show.FrameRate;
    kv::MovieOptionTexts texts = kv::MovieOptionsFor(
        kv::MovieSettingsFrom(store), kv::FramesToTimecode(kv::ShowEndFrame(show), rate));
    MovieOptions(texts);
    return kv::MakeMovieJob(texts, rate).totalFrames;
}

void CliMovieHost::FrameNotice(const std::string& text) {
    for (const std::string& told : m_notices)
        if (told == text) return;
    m_notices.push_back(text);
    if (m_lineOpen) std::fputc('\n', stderr);
    m_lineOpen = false;
    std::fprintf(stderr, "kinevista-cli: note: %s%s\n", text.c_str(),
                 fill ? "" : " (--fill fills the frame instead)");
}

bool CliMovieHost::Make(Context& ctx, kv::Show& show, bool batch) {
    if (shape <= 0 && ctx.aspectMode > 0) shape = kv::AspectOf(ctx.aspectMode);
    if (shape <= 0) {
        // The default size of a batch follows its first show that loads.
        if (!batch) shape = kv::ShowShape(show, 0, 0);
        for (size_t i = 0; batch && i < showFiles.size() && shape <= 0; ++i) {
            kv::Show first(ctx.Store());
            ctx.PrepareShow(first);  // with --aspect, the shape every show takes
            if (kv::LoadShow(first, showFiles[i], false)) shape = kv::ShowShape(first, 0, 0);
        }
    }
    kv::MovieSettings settings = kv::MovieSettingsFrom(ctx.Store());
    settings.compressors = ctx.compressors;
    const bool made = kv::MakeMovie(show, *this, batch, settings);
    kv::StoreMovieSettings(settings, ctx.Store());
    return made;
}

bool CliMovieHost::MovieFrameWindow(int64_t totalFrames, int64_t& first, int64_t& last) {
    if (!m_frames) return true;
    if (m_frames->first >= totalFrames) {
        std::fprintf(
            stderr, "kinevista-cli: --frames %lld-%lld starts past the movie's last frame (%lld)\n",
            static_cast<long long>(m_frames->first), static_cast<long long>(m_frames->second),
            static_cast<long long>(totalFrames - 1));
        refusedWindow = true;
        return false;
    }
    first = m_frames->first;
    last = m_frames->second;
    // A range that runs past the end is cut there; a script that split the movie wrongly
    // hears of it rather than getting fewer frames than it asked for without a word.
    if (last >= totalFrames)
        std::fprintf(stderr,
                     "kinevista-cli: warning: --frames %lld-%lld ends past the movie's last "
                     "frame (%lld); frames %lld-%lld (%lld) are written\n",
                     static_cast<long long>(first), static_cast<long long>(last),
                     static_cast<long long>(totalFrames - 1), static_cast<long long>(first),
                     static_cast<long long>(totalFrames - 1),
                     static_cast<long long>(totalFrames - first));
    return true;
}

int CliMovieHost::Finish(Context& ctx, bool made) const {
    if (refusedWindow) return ExitFailure;
    if (refusedReplace) return ctx.Fail(output + " exists and is left as it was");
    if (g_stop) {
        if (m_lineOpen) std::fputc('\n', stderr);
        m_lineOpen = false;
        std::fprintf(stderr, "kinevista-cli %s: %s\n", ctx.command.c_str(),
                     m_stopReport ? m_stopReport->c_str() : "stopped");
        return ExitStopped;
    }
    return made ? ExitSuccess : ExitFailure;
}

void CliMovieHost::JobStopped(int64_t written, int64_t total, const std::string& keptAs) {
    std::string report =
        "stopped after " + std::to_string(written) + " of " + std::to_string(total) + " frames";
    report +=
        keptAs.empty() ? "; no partial movie was kept" : "; the partial movie is kept as " + keptAs;
    if (kv::os::PathExists(output)) report += "; " + output + " is left as it was";
    m_stopReport = report;
}

void CliMovieHost::MovieWriteFailed(const std::string& path, const std::string& problem) {
    if (m_lineOpen) std::fputc('\n', stderr);
    m_lineOpen = false;
    // The system's reason is what follows the writer's last ": ".
    const size_t colon = problem.rfind(": ");
    const std::string reason = colon == std::string::npos ? problem : problem.substr(colon + 2);
    std::fprintf(stderr, "kinevista-cli: could not write %s%s%s\n", path.c_str(),
                 reason.empty() ? "" : ": ", reason.c_str());
}

void CliMovieHost::BatchShowSkipped(const std::string& path) {
    if (m_lineOpen) std::fputc('\n', stderr);
    m_lineOpen = false;
    std::fprintf(stderr, "kinevista-cli batch: %s could not be loaded as a show; no movie made\n",
                 path.c_str());
    ++m_skippedShows;
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
    if (!host.TakeMovieFlags(ctx) || !host.TakeFrameRange(ctx)) return ExitUsage;
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.size() != 1) return ctx.Usage("wants one SHOW.kvx");
    if (host.output.empty()) return ctx.Usage("wants --out FILE.(avi|mov|mp4|mkv|webm|dps|rtv)");
    if (!ctx.PathFits(pos[0], "SHOW") || !ctx.PathFits(host.output, "--out")) return ExitUsage;
    if (!kv::MovieExtensionWritable(host.output))
        return ctx.Fail(kv::UnwritableMovieMessage(host.output));
    if (!host.CheckCodec(ctx)) return ExitUsage;
    host.askReplace = ctx.answerGiven;
    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], true)) return ExitFailure;
    return host.Finish(ctx, host.Make(ctx, show, false));
}

const CommandRegistrar reg(
    {"movie",
     "movie SHOW.kvx --out FILE.(avi|mov|mp4|mkv|webm|dps|rtv) [--size WxH] "
     "[--start TC] [--end TC] [--hold TC] [--fps F] [--quality Q] "
     "[--fields] [--reverse] [--fill] [--aspect W:H] [--codec FOURCC] [--no-audio] "
     "[--frames FIRST-LAST]",
     "render the show to a movie file", RunMovie});

}  // namespace

}  // namespace kvcli

#if defined(__SANITIZE_ADDRESS__)
// In leak-checked builds: the H.265 encoder library never frees the copies of its own string
// settings, which would fail every .mp4/.mkv H.265 movie at exit; everything of ours is checked.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265\n";
}
#endif

#endif  // KV_HAVE_OUTPUT
