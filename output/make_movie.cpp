// MakeMovie, RenderSequence and MakeStill.
#include "output/make_movie.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/base/settings.h"  // MaxSettingPathBytes
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/picture/disk_file.h"
#include "core/render/render_frame.h"
#include "core/show/picture_lookup.h"
#include "core/show/show.h"
#include "output/movie_host.h"
#include "output/movie_job.h"
#include "output/movie_pipeline.h"
#include "output/movie_settings.h"
#include "output/movie_sound.h"
#include "output/movie_writers.h"
#include "output/timecode.h"
#include "platform/os/atomic_file.h"
#include "platform/os/utf8_names.h"

namespace kv {

const char* const MovieSuccessMessage = "Movie file(s) successfully made";
const char* const MovieOpenErrorMessage = "Error Opening Movie File";
const char* const MovieMemoryMessage = "Not Enough Memory to Make Movie";
const char* const MovieWriteErrorMessage = "Error Writing Movie File";
const char* const RenderingText = "Rendering... (Hit Esc key to cancel)";
const char* const RenderingHoldText = "Rendering Hold... (Hit any key to cancel)";
const char* const WebmProgressiveNotice =
    "A WebM movie holds whole frames: rendered without fields";

namespace {

constexpr int MaxBatchFiles = 64;
constexpr int32_t ShowFileBufferSize = 32766;

// Hides the viewer for the life of the command, on every way out.
class ViewerHidden {
public:
    explicit ViewerHidden(MovieHost& host) : m_host(host) { m_host.ShowViewer(false); }
    ~ViewerHidden() { m_host.ShowViewer(true); }

private:
    MovieHost& m_host;
};

// Reads at most ShowFileBufferSize bytes of a show file and parses them into the show.
bool LoadBatchShow(Show& show, const std::string& path) {
    std::FILE* f = os::OpenFile(path, "rb");
    if (!f) return false;
    std::vector<uint8_t> block(ShowFileBufferSize);
    size_t n = std::fread(block.data(), 1, block.size(), f);
    std::fclose(f);
    if (n == 0) return false;
    // Check the magic (in either byte order) before the show is reset, so that a file that is
    // not a show leaves the show of the previous movie loaded.
    const uint16_t magic = static_cast<uint16_t>(block[0] | block[1] << 8);
    if (n < 2 || (magic != 0x1234 && magic != 0x3412)) return false;
    show.Reset();
    // As every show is loaded: a picture that its stored path does not lead to is looked for in
    // the show's own folder.
    show.showFolder = FolderOfShowFile(path);
    if (!Parse(show, block.data(), static_cast<uint32_t>(n), false)) {
        show.showFolder.clear();
        return false;
    }
    show.showFile.SetPath(path.c_str());
    return true;
}

// The first picture's path cut at the first "." of its file name: the proposed movie name.
std::string ProposedName(const Show& show) {
    std::string p = show.pictures[0].fileSpec.path;
    size_t nameStart = FolderOf(p).size();
    size_t dot = p.find('.', nameStart);
    if (dot != std::string::npos) p.resize(dot);
    return p;
}

// Writes the latest frame as the movie's next frame when the frame window wants it; false on a
// write failure.
bool WriteWindowed(FrameWindow& window, MoviePipeline& frames) {
    const bool wanted = window.Wants(window.next, 1);
    ++window.next;
    return !wanted || frames.Write();
}

// Writes `holds` copies of the latest frame; false on a write failure. Any key ends the hold
// early.
bool WriteHold(MovieHost& host, FrameWindow& window, MoviePipeline& frames, int32_t holds) {
    for (int32_t j = 0; j < holds; ++j) {
        if (host.TakeKeyDown(true)) break;
        host.ShowProgress(static_cast<double>(j) / holds, RenderingHoldText, 0);
        if (!WriteWindowed(window, frames)) return false;
    }
    return true;
}

// Whether frame i of a pass of `steps` frames must be rendered: its own movie frame or a hold
// made from it lies in the frame window.
bool FrameWanted(const FrameWindow& window, int64_t i, int64_t steps, int32_t holds) {
    if (window.Whole()) return true;
    const int64_t head = i == 0 ? holds : 0;
    if (i == 0 && window.Wants(window.next, holds)) return true;
    if (window.Wants(window.next + head, 1)) return true;
    return i == steps - 1 && window.Wants(window.next + head + 1, holds);
}

// Renders the show's current frame into the canvas: through the movie's frame description
// when it has one for this size, else over the whole canvas.
bool RenderCanvas(Show& show, FrameRenderFn render, const OutputFrame& frame, int32_t fieldMode,
                  CDIB* canvas, CDIB& inner) {
    if (frame.width == canvas->Width() && frame.height == canvas->Height())
        return RenderOutputFrame(show, render, frame, show.currentFrame, fieldMode, true, canvas,
                                 inner, true);
    return render(show, show.currentFrame, fieldMode, true, canvas->Width(), canvas->Height(),
                  canvas, true);
}

// Describes the frames of the job's next movie from its show, and tells the host once per job
// when the show does not fill them.
void DescribeFrames(Show& show, MovieHost& host, const MovieJob& job, bool& told) {
    MovieWriters& w = *job.writers;
    w.frame = DescribeOutputFrame(show, job.width, job.height, job.fieldMode, job.frameRate,
                                  host.FillFrame());
    if (told || !w.frame.Matted()) return;
    told = true;
    host.FrameNotice(MattedFrameNotice(w.frame));
}

}  // namespace

uint64_t MovieHost::Ticks() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint64_t>(ms) + 1;
}

FrameRenderFn MovieHost::Renderer() {
    return &RenderFrame;
}

bool RenderSequence(Show& show, MovieHost& host, MovieWriters& writers, CDIB& image,
                    int32_t fieldMode, int32_t from, int32_t to, int32_t holds,
                    int32_t /*quality*/) {
    bool result = true;
    host.RedrawStage(from);
    const uint64_t startTick = host.Ticks();
    const int64_t steps =
        to > from ? static_cast<int64_t>(to) - from : static_cast<int64_t>(from) - to;
    show.currentFrame = from;
    FrameRenderFn render = host.Renderer();
    // Every decision (the next frame, Esc, a key in a hold) is taken here, on this thread, in
    // the order of the frames; the pipeline only writes what it is handed, in that order.
    MoviePipeline frames(writers, image, writers.pipelineDepth);
    CDIB inner(0, 0, 32);
    bool soundCued = false;
    for (int64_t i = 0; i < steps; ++i) {
        host.ShowProgress(static_cast<double>(i) / static_cast<double>(steps), RenderingText,
                          startTick);
        host.FrameShown(show.currentFrame);
        if (host.TakeKeyDown(false)) break;
        if (!FrameWanted(writers.window, i, steps, holds)) {
            // Outside the segment: counted, not rendered.
            writers.window.next += 1 + (i == 0 ? holds : 0);
            show.currentFrame += to < from ? -1 : 1;
            continue;
        }
        // A frame that cannot be rendered would leave the previous one in the image; the pass
        // stops instead of writing it again under a new number.
        CDIB* canvas = frames.Canvas();
        if (!canvas || !RenderCanvas(show, render, writers.frame, fieldMode, canvas, inner)) {
            result = false;
            break;
        }
        frames.Keep(canvas);
        if (i == 0 && !WriteHold(host, writers.window, frames, holds)) {
            result = false;
            break;
        }
        // The sound follows the show from the first frame of a forward pass this movie holds.
        if (to > from && !soundCued && writers.window.Wants(writers.window.next, 1)) {
            SoundFollowsShow(writers, show.currentFrame);
            soundCued = true;
        }
        if (!WriteWindowed(writers.window, frames)) {
            result = false;
            break;
        }
        show.currentFrame += to < from ? -1 : 1;
    }
    SoundStops(writers);
    if (result && !WriteHold(host, writers.window, frames, holds)) result = false;
    // The pass ends when its last frame is in the file: a write that failed late fails the pass.
    if (!frames.Finish()) result = false;
    host.RedrawStage(show.currentFrame);
    host.ArrowCursor();
    return result;
}

namespace {

// The batch's show files as chosen (at most MaxBatchFiles, up to the first empty name); false
// when the choice was cancelled.
bool ChooseBatchFiles(MovieHost& host, const std::string& initialFolder,
                      std::vector<std::string>& files) {
    FileRequest open;
    open.filter = "Kinevista Files (*.kvx)|*.kvx|All Files (*.*)|*.*|";
    open.extension = ".kvx";
    open.initialFolder = initialFolder;
    std::vector<std::string> chosen;
    if (!host.ChooseShowFiles(open, chosen)) return false;
    for (const std::string& f : chosen) {
        if (f.empty() || static_cast<int>(files.size()) >= MaxBatchFiles) break;
        files.push_back(f);
    }
    return true;
}

// The output name chosen through the host with the filter of the kept movie type.
bool ChooseMovieName(Show& show, MovieHost& host, const MovieSettings& settings,
                     std::string& path) {
    const std::string& initialFolder = settings.initialFolder;
    MovieFileFilter filter = MovieFilterFor(settings.movieType);
    FileRequest save;
    save.filter = filter.filter;
    save.extension = filter.extension;
    save.initialFolder = initialFolder;
    save.proposedName = ProposedName(show);
    return host.ChooseOutputFile(save, path);
}

// The result of one movie of the job.
enum class MovieResult { Written, NotWritten, NotOpened, Stopped };

// Where a stopped job keeps its partial movie: NAME.stopped.EXT beside NAME.EXT.
std::string StoppedName(const std::string& out) {
    const size_t slash = out.find_last_of("/\\");
    const size_t dot = out.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return out + ".stopped";
    return out.substr(0, dot) + ".stopped" + out.substr(dot);
}

// What a stopped job reports.
struct StopReport {
    int64_t written = 0;
    int64_t total = 0;
    std::string keptAs;
};

// Opens, writes and closes one movie of the job at `out`. `first`: no movie of the job was
// opened before (the compressor is chosen then).
MovieResult WriteOneMovie(Show& show, MovieHost& host, MovieJob& job, CDIB& image,
                          const std::string& out, int32_t endFrame, bool first, StopReport& stop) {
    MovieWriters& writers = *job.writers;
    // AVI and .mov movies are written under a temporary name beside the target (same
    // extension, so the writer picks the same container) and replace it only once they are
    // complete: a failed write leaves the previous movie as it was. The DPS and Toaster
    // libraries own their files and are handed the chosen name itself.
    os::AtomicFile target;
    const MovieContainerRow& row = MovieRowFor(out);
    const bool atomic = row.replacedWhole;
    if (atomic && !target.Open(out)) {
        host.MovieWriteFailed(out, target.Error());
        return MovieResult::NotOpened;
    }
    writers.soundPath =
        MovieSoundFor(show, row, writers.settings ? writers.settings->movieAudio : true);
    writers.window.next = 0;
    writers.problem.clear();
    const int64_t segmentFrames =
        std::min<int64_t>(writers.window.last, job.totalFrames - 1) - writers.window.first + 1;
    if (!OpenMovie(writers, job.writerType, first, atomic ? target.TempPath() : out, image,
                   job.frameRate, job.quality, static_cast<int32_t>(segmentFrames))) {
        CloseMovie(writers);
        host.MovieWriteFailed(out, writers.problem);
        return MovieResult::NotOpened;
    }
    bool ok = RenderSequence(show, host, writers, image, job.fieldMode, job.startFrame, endFrame,
                             job.holdFrames, job.quality);
    if (job.reverse && !host.StopRequested())
        ok = RenderSequence(show, host, writers, image, job.fieldMode, endFrame, job.startFrame,
                            job.holdFrames, job.quality) &&
             ok;
    if (!CloseMovie(writers)) ok = false;
    if (host.StopRequested()) {
        // A stopped job never replaces the file it was asked for: the partial movie, closed and
        // playable, is kept beside it under its own name (replacing an older one of that name).
        stop.written = writers.framesHandedOver;
        stop.total = segmentFrames;
        if (ok && atomic && target.CommitAs(StoppedName(out))) stop.keptAs = StoppedName(out);
        return MovieResult::Stopped;
    }
    // A movie ended by Esc is closed and playable: it is kept like a finished one.
    if (ok && atomic && !target.Commit()) {
        ok = false;
        writers.problem = target.Error();
    }
    if (!ok) host.MovieWriteFailed(out, writers.problem);
    return ok ? MovieResult::Written : MovieResult::NotWritten;
}

// The compressors of one command: the program's when it keeps them, else the command's own.
class CommandCompressors {
public:
    explicit CommandCompressors(MovieSettings& settings)
        : m_settings(settings), m_given(settings.compressors) {
        if (!m_given) m_settings.compressors = &m_own;
    }
    ~CommandCompressors() { m_settings.compressors = m_given; }
    CommandCompressors(const CommandCompressors&) = delete;
    CommandCompressors& operator=(const CommandCompressors&) = delete;

private:
    MovieSettings& m_settings;
    CompressorChoices* m_given;
    CompressorChoices m_own;
};

// The output name, the .mov compressor, the job's image and its writers; false (after any
// message) when the command ends here. `settings` holds the command's compressors.
bool PrepareWriters(Show& show, MovieHost& host, MovieSettings& settings, MovieJob& job,
                    CDIB& image, std::string& path) {
    if (!ChooseMovieName(show, host, settings, path)) return false;
    if (!MovieExtensionWritable(path)) {
        Alert(UnwritableMovieMessage(path).c_str());
        return false;
    }
    if (WriterTypeFor(path) == WriterQuickTime) {
        if (!QtCompressionSettings(&host, &settings, *settings.compressors, job.frameRate,
                                   job.quality))
            return false;
        host.RedrawStage(show.currentFrame);
    }
    if (!image.Create(job.width, job.height, 32)) {
        Alert(MovieMemoryMessage);
        return false;
    }
    job.writerType = WriterTypeFor(path);
    settings.movieType = MovieTypeSettingFor(path);
    settings.decided |= MovieSettings::DecidedType;
    job.writers = std::make_unique<MovieWriters>();
    job.writers->host = &host;
    job.writers->settings = &settings;
    job.writers->pipelineDepth = host.PipelineDepth();
    if (MovieRowFor(path).container == MovieContainer::WebM && job.fieldMode != 0) {
        // Fields have no place in a WebM file: its frames are made whole.
        job.fieldMode = 0;
        host.FrameNotice(WebmProgressiveNotice);
    }
    return host.MovieFrameWindow(job.totalFrames, job.writers->window.first,
                                 job.writers->window.last);
}

}  // namespace

bool MakeMovie(Show& show, MovieHost& host, bool batch, MovieSettings& settings) {
    CommandCompressors compressors(settings);
    ViewerHidden viewer(host);
    CDIB image(0, 0, 32);
    int32_t endFrame = ShowEndFrame(show);
    const int32_t rate = show.FrameRate;

    std::vector<std::string> files;
    if (batch && !ChooseBatchFiles(host, settings.initialFolder, files)) return false;

    MovieOptionTexts texts = MovieOptionsFor(settings, FramesToTimecode(endFrame, rate));
    const bool accepted = host.MovieOptions(texts);
    host.RedrawStage(show.currentFrame);
    if (!accepted) return false;
    MovieJob job = MakeMovieJob(texts, rate);
    texts.start = FramesToTimecode(job.startFrame, rate);
    texts.end = FramesToTimecode(job.endFrame, rate);
    texts.hold = FramesToTimecode(job.holdFrames, rate);
    endFrame = job.endFrame;

    std::string path;
    if (!PrepareWriters(show, host, settings, job, image, path)) return false;

    if (!batch) files.assign(1, std::string());
    bool anyOpened = false;
    bool allWritten = true;
    bool stopped = false;
    StopReport stop;
    stop.total = job.totalFrames;
    bool toldMatte = false;
    for (const std::string& showPath : files) {
        std::string out = path;
        if (batch) {
            if (!LoadBatchShow(show, showPath)) {  // unreadable or not a show: skipped
                host.BatchShowSkipped(showPath);
                continue;
            }
            out = BatchOutputName(path, showPath, job.writerType);
            endFrame = ShowEndFrame(show);
        }
        if (host.StopRequested()) break;
        DescribeFrames(show, host, job, toldMatte);
        // The compressor is chosen with the first movie that is actually opened, even when
        // files before it were skipped.
        const MovieResult result =
            WriteOneMovie(show, host, job, image, out, endFrame, !anyOpened, stop);
        if (result == MovieResult::NotOpened) {
            Alert(MovieOpenErrorMessage);
            return false;
        }
        anyOpened = true;
        if (result == MovieResult::Stopped) {
            stopped = true;
            break;
        }
        allWritten = allWritten && result == MovieResult::Written;
    }
    // A stop between two batch movies ends the job as well.
    if (host.StopRequested()) stopped = true;

    settings.initialFolder = FolderOf(path);
    settings.options = texts;
    settings.decided |= MovieSettings::DecidedFolder | MovieSettings::DecidedOptions;
    if (stopped) {
        // Not made: whatever the frames written so far, the job did not finish.
        host.JobStopped(stop.written, stop.total, stop.keptAs);
        return false;
    }
    if (!allWritten) {
        // A movie that lost frames is not reported as made.
        Alert(MovieWriteErrorMessage);
        return false;
    }
    Alert(MovieSuccessMessage);
    return true;
}

bool MakeStill(Show& show, MovieHost& host, const MovieSettings& settings, std::string* saveError) {
    FileRequest save;
    save.filter = "Targa Image (*.tga)|*.tga|";
    save.extension = ".tga";
    // A folder longer than a path record (from a hand-edited file) is not cut to another
    // folder's name: the dialog opens where it would without one.
    if (settings.initialFolder.size() <= MaxSettingPathBytes)
        save.initialFolder = settings.initialFolder;
    std::string path;
    if (!host.ChooseOutputFile(save, path)) return false;
    const int32_t width = 720, height = show.FrameRate == 2500 ? 576 : 486;
    CDIB image(width, height, 32);
    if (image.Empty()) return false;
    const OutputFrame frame =
        DescribeOutputFrame(show, width, height, 0, show.FrameRate / 100.0f, host.FillFrame());
    if (frame.Matted()) host.FrameNotice(MattedFrameNotice(frame));
    CDIB inner(0, 0, 32);
    if (!RenderOutputFrame(show, host.Renderer(), frame, show.currentFrame, 0, true, &image, inner,
                           false))
        return false;
    FileSpec fileSpec;
    fileSpec.SetPath(path.c_str());
    // As CDIB::Save writes it, with the reason of a failure kept for hosts that show it.
    DiskFile file;
    if (!file.Open(fileSpec, DiskFile::OpenWrite)) {
        Alert("Error opening graphics file", NoAlertCode);
        if (saveError) *saveError = file.WriteError();
        return false;
    }
    if (!image.WriteTo(file, FormatTarga) || !file.Close()) {
        if (saveError) *saveError = file.WriteError();
        return false;
    }
    host.Beep();
    return true;
}

}  // namespace kv
