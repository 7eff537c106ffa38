// The CLI's MovieHost: movie options from flags, output and show names from the command line,
// a progress line on the terminal and Ctrl-C as Esc. Shared by the movie, still and batch
// commands.
//
// Ctrl-C ends the current pass as Esc does (the movie is closed and kept, and the job goes on
// to its success message); a second Ctrl-C, or SIGTERM, stops the whole job at once: no further
// passes, holds or batch shows, the file asked for is left as it was, the partial movie is kept
// as NAME.stopped.EXT, and the command says "stopped after N of M frames" and exits 130.
#pragma once

#ifdef KV_HAVE_OUTPUT

#include <optional>
#include <string>
#include <vector>

#include "output/movie_host.h"

namespace kv {
class Settings;
class Show;
}  // namespace kv

namespace kvcli {

class Context;

class CliMovieHost : public kv::MovieHost {
public:
    CliMovieHost();
    ~CliMovieHost() override;

    // Takes --size --start --end --hold --fps --quality --fields --no-fields --reverse --codec
    // --no-audio out of the context; false on a usage error (already reported).
    bool TakeMovieFlags(Context& ctx);
    // Checks --codec against the container of the output name, and that the name has an
    // extension; false after a usage message. (An extension no writer takes is refused before,
    // with exit status 1.)
    bool CheckCodec(Context& ctx) const;
    // Takes --frames FIRST-LAST (movie frames counted from 0, holds and the reverse pass
    // included); false on a usage error (already reported).
    bool TakeFrameRange(Context& ctx);
    // The number of frames of the movie these options make of the show with the kept options
    // of `store`, as MakeMovie counts them.
    int64_t MovieFrameCount(const kv::Show& show, const kv::Settings& store);
    // MakeMovie with the program's store: the kept values are handed in and what the job
    // decided is written back for the rest of the run.
    bool Make(Context& ctx, kv::Show& show, bool batch);
    // The exit status of a movie or batch job that MakeMovie ended with `made`.
    int Finish(Context& ctx, bool made) const;

    bool MovieOptions(kv::MovieOptionTexts& texts) override;
    bool ChooseOutputFile(const kv::FileRequest& request, std::string& path) override;
    bool ChooseShowFiles(const kv::FileRequest& request, std::vector<std::string>& files) override;
    bool ChooseAviCompressor(std::string& codec, int32_t& quality) override;
    bool ChooseQtCompressor(std::string& codec, int32_t& spatialQuality,
                            int32_t& temporalRate) override;
    void ShowProgress(double fraction, const char* text, uint64_t startTick) override;
    bool TakeKeyDown(bool anyKey) override;
    bool StopRequested() override;
    bool MovieFrameWindow(int64_t totalFrames, int64_t& first, int64_t& last) override;
    bool FillFrame() override { return fill; }
    void FrameNotice(const std::string& text) override;
    void JobStopped(int64_t written, int64_t total, const std::string& keptAs) override;
    void BatchShowSkipped(const std::string& path) override;
    void MovieWriteFailed(const std::string& path, const std::string& problem) override;
    // Batch entries the job could not load (named on standard error as they were met).
    int SkippedShows() const { return m_skippedShows; }

    std::string output;
    std::vector<std::string> showFiles;
    // With --answer given, an existing output is replaced only when the answer is yes.
    bool askReplace = false;
    bool refusedReplace = false;  // the answer kept an existing output
    bool refusedWindow = false;   // --frames lies beyond the movie
    bool fill = false;            // --fill: the camera takes the frame's shape
    // The shape (height / width) the .mp4, .mkv and .webm default size follows; 0 before the
    // show is known.
    double shape = 0;

private:
    std::optional<std::string> m_width, m_height, m_start, m_end, m_hold, m_fps, m_quality;
    std::optional<bool> m_fields, m_reverse;
    std::optional<std::string> m_codec;
    std::optional<std::pair<int64_t, int64_t>> m_frames;
    bool m_tty = false;
    mutable bool m_lineOpen = false;  // a progress line waits for its end
    uint64_t m_lastDraw = 0;
    std::optional<std::string> m_stopReport;  // set when the job was stopped
    std::vector<std::string> m_notices;       // said once each
    int m_skippedShows = 0;
    int32_t m_showRate = -1;  // --frame-rate, -1 when not given
    bool m_rateWarned = false;
    void WarnOfMovieRate(const std::string& fps);
};

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
