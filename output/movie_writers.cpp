// The container table, the writer dispatch and the two writers of platform/video's AVI and .mov.
//
// Sections: [table] [dispatch] [platform movies] [AVI] [.mov].
#include "output/movie_writers.h"

#include <memory>

#include "core/picture/alert.h"
#include "output/movie_host.h"
#include "output/movie_job.h"
#include "output/movie_settings.h"
#include "platform/video/movie_writer.h"

namespace kv {

// --- [table] ---------------------------------------------------------------------------------

const std::vector<MovieContainerRow>& MovieContainerRows() {
    // The place of a row is its "MovieType" number, which settings files keep: new rows go at
    // the end.
    static const std::vector<MovieContainerRow> rows = {
        {".avi", "AVI Files (*.avi)|*.avi|", 0, WriterAvi, MovieContainer::Avi, true, true, true,
         &OpenAviMovie},
        {".mov", "QuickTime Movies (*.mov)|*.mov|", 1, WriterQuickTime, MovieContainer::QuickTime,
         true, true, true, &OpenQtMovie},
        {".dps", "DPS Files (*.dps)|*.dps|", 2, WriterDps, MovieContainer::Avi, false, false, false,
         &OpenDpsMovie},
        {".rtv", "VideoToaster Files (*.rtv)|*.rtv|", 3, WriterToaster, MovieContainer::Avi, false,
         false, false, &OpenRtvMovie},
        {".mp4", "MPEG-4 Movies (*.mp4)|*.mp4|", 4, WriterPublish, MovieContainer::Mp4, true, true,
         true, &OpenPublishMovie},
        {".mkv", "Matroska Movies (*.mkv)|*.mkv|", 5, WriterPublish, MovieContainer::Matroska, true,
         true, true, &OpenPublishMovie},
        {".webm", "WebM Movies (*.webm)|*.webm|", 6, WriterPublish, MovieContainer::WebM, true,
         true, true, &OpenPublishMovie},
    };
    return rows;
}

namespace {

// The kept "CodecType" of a settings record, cut to four characters.
std::string KeptCode(const MovieSettings* settings) {
    std::string c = settings ? settings->codecType : std::string();
    if (c.size() > 4) c.resize(4);
    return c;
}

const MovieContainerRow* RowWithExtension(const std::string& ext) {
    for (const MovieContainerRow& row : MovieContainerRows())
        if (ext == row.extension) return &row;
    return nullptr;
}

}  // namespace

const MovieContainerRow& MovieRowFor(const std::string& path) {
    // The file name's own extension decides when it names a movie type, so that a folder such
    // as "/clips.mov/" never turns a trip.mp4 or trip.avi into another type.
    if (const MovieContainerRow* row = RowWithExtension(MovieExtension(path))) return *row;
    // Names without one keep the older rule: the type named anywhere in the path.
    for (const char* ext : {".dps", ".mov", ".rtv"})
        if (path.find(ext) != std::string::npos) return *RowWithExtension(ext);
    return MovieContainerRows().front();
}

const MovieContainerRow& MovieRowForType(int32_t movieType) {
    const auto& rows = MovieContainerRows();
    if (movieType < 0 || movieType >= static_cast<int32_t>(rows.size())) return rows.front();
    return rows[static_cast<size_t>(movieType)];
}

std::vector<std::string> MovieRowCodecs(const MovieContainerRow& row) {
    return row.hasCodecs ? MovieCodecs(row.container) : std::vector<std::string>();
}

std::string KeptCodecType(const MovieWriters& w) {
    return KeptCode(w.settings);
}

// --- [dispatch] ------------------------------------------------------------------------------

bool OpenMovie(MovieWriters& w, int32_t writerType, bool first, const std::string& path,
               CDIB& image, float frameRate, int32_t quality, int32_t totalFrames) {
    w.framesHandedOver = 0;
    const MovieContainerRow* row = &MovieRowFor(path);
    if (row->writerType != writerType) {
        for (const MovieContainerRow& r : MovieContainerRows())
            if (r.writerType == writerType) {
                row = &r;
                break;
            }
    }
    if (row->writerType != writerType) row = &MovieContainerRows().front();
    MovieOpenRequest request;
    request.path = path;
    request.image = &image;
    request.frameRate = frameRate;
    request.quality = quality;
    request.totalFrames = totalFrames;
    request.first = first;
    w.type = row->writerType;
    w.frameCounter = 0;
    return row->open(w, request);
}

bool WriteMovieFrame(MovieWriters& w, int32_t n, const CDIB& image) {
    return w.open && w.open->Write(w, n, image);
}

bool WriteMovieFrameHeld(MovieWriters& w, int32_t n, const CDIB& image,
                         std::function<void()> released) {
    if (w.open) return w.open->WriteHeld(w, n, image, std::move(released));
    if (released) released();
    return false;
}

bool FlushMovieFrames(MovieWriters& w) {
    return !w.open || w.open->FlushHeld(w);
}

CompressorChoices& MovieWriters::Choices() {
    return settings && settings->compressors ? *settings->compressors : ownChoices;
}

bool CloseMovie(MovieWriters& w) {
    if (!w.open) return true;
    const bool ok = w.open->Close(w);
    const std::string problem = w.open->Problem();
    if (!problem.empty()) w.problem = problem;
    w.open.reset();
    return ok;
}

// --- [platform movies] -----------------------------------------------------------------------

bool PlatformMovie::Open(const std::string& path, const MovieFormat& format) {
    m_format = format;
    return m_movie.Open(path, format);
}

bool PlatformMovie::Takes(const CDIB& image) const {
    return m_movie.IsOpen() && !image.Empty() && image.Width() == m_format.width &&
           image.Height() == m_format.height && image.BitCount() == m_format.bitCount;
}

bool PlatformMovie::Close(MovieWriters&) {
    return m_movie.Close();
}

std::string PlatformMovie::Problem() const {
    return m_movie.LastError();
}

bool PlatformMovie::FlushHeld(MovieWriters&) {
    return m_movie.FlushHeld();
}

bool PlatformMovie::WriteHeldAt(int64_t n, const CDIB& image, std::function<void()> released) {
    if (!Takes(image)) {
        if (released) released();
        return false;
    }
    return m_movie.WriteFrameHeld(n, image.Bits(), image.RowBytes(), std::move(released));
}

// --- [AVI] ------------------------------------------------------------------------------------

namespace {

// AVI frames are numbered by the caller, or counted from 0 at open.
class AviMovie : public PlatformMovie {
public:
    bool OpenAvi(const std::string& path, const MovieFormat& f) { return Open(path, f); }
    bool Write(MovieWriters& w, int32_t n, const CDIB& image) override {
        if (!Takes(image)) return false;
        const int32_t number = n == -1 ? w.frameCounter++ : n;
        return m_movie.WriteFrame(number, image.Bits(), image.RowBytes());
    }
    bool WriteHeld(MovieWriters& w, int32_t n, const CDIB& image,
                   std::function<void()> released) override {
        if (!Takes(image)) return WriteHeldAt(-1, image, std::move(released));
        const int32_t number = n == -1 ? w.frameCounter++ : n;
        return WriteHeldAt(number, image, std::move(released));
    }
};

// Chooses the compressor with the job's first movie (through the host when there is one) and
// keeps it; later movies take the kept one. False when refused or not available.
bool ChooseAviOptions(MovieWriters& w, bool first, int32_t quality) {
    CompressorChoices& kept = w.Choices();
    if (first) {
        std::string codec = KeptCodecType(w);
        int32_t chosenQuality = quality;
        if (w.host && !w.host->ChooseAviCompressor(codec, chosenQuality)) return false;
        if (!HaveMovieCodec(MovieContainer::Avi, codec)) return false;
        kept.aviChosen = true;
        kept.aviCodec = codec;
        kept.aviQuality = chosenQuality;
        if (w.settings) {
            w.settings->codecType = codec;
            w.settings->decided |= MovieSettings::DecidedCodecType;
        }
    } else if (!kept.aviChosen) {
        kept.aviCodec = KeptCodecType(w);
        kept.aviQuality = quality;
        kept.aviChosen = true;
    }
    return true;
}

}  // namespace

std::string KeptAviCompressor(const CompressorChoices& kept) {
    return kept.aviChosen ? kept.aviCodec : std::string();
}

bool OpenAviMovie(MovieWriters& w, const MovieOpenRequest& r) {
    const CDIB& image = *r.image;
    if (image.Empty() || !ChooseAviOptions(w, r.first, r.quality)) return false;
    MovieFormat f;
    f.container = MovieContainer::Avi;
    f.width = image.Width();
    f.height = image.Height();
    f.bitCount = image.BitCount();
    f.rate = AviRate(r.frameRate);
    f.scale = 100;
    f.codec = w.Choices().aviCodec;
    f.quality = w.Choices().aviQuality;
    f.soundPath = w.soundPath;
    auto movie = std::make_unique<AviMovie>();
    AviMovie& avi = *movie;
    w.open = std::move(movie);
    return avi.OpenAvi(r.path, f);
}

// --- [.mov] -----------------------------------------------------------------------------------

const char* const QuickTimeMissingMessage =
#ifdef _WIN32
    "QuickTime is not installed on this computer! The Windows build writes AVI, DPS and Video "
    "Toaster movies; .mov movies need the Linux build.";
#else
    "QuickTime is not installed on this computer! Movies (.mov) need a build with FFmpeg's "
    "QuickTime muxer: install the libavformat package of your distribution.";
#endif

namespace {

bool MakeSureQuickTimeRuns(CompressorChoices& kept) {
    if (kept.qtRuns) return true;
    if (!HaveMovieContainer(MovieContainer::QuickTime)) {
        Alert(QuickTimeMissingMessage);
        return false;
    }
    kept.qtRuns = true;
    return true;
}

// Codes of the AVI compressors that have a .mov counterpart.
std::string QtCodecFrom(const std::string& stored) {
    if (stored == "MJPG") return "jpeg";
    if (stored == "H264") return "avc1";
    if (stored == "DIB ") return "";
    return stored;
}

// .mov samples are appended, each lasting one frame (100 units); the priming frame goes through
// the compressor once and adds no sample.
class QtMovie : public PlatformMovie {
public:
    bool OpenQt(const std::string& path, const MovieFormat& f) { return Open(path, f); }
    bool Write(MovieWriters&, int32_t n, const CDIB& image) override {
        if (!Takes(image)) return false;
        if (n == QtPrimingFrame) return m_movie.PrimeFrame(image.Bits(), image.RowBytes());
        return m_movie.WriteFrame(m_movie.NextFrame(), image.Bits(), image.RowBytes());
    }
    bool WriteHeld(MovieWriters& w, int32_t n, const CDIB& image,
                   std::function<void()> released) override {
        // The priming frame adds no sample: it is converted at once, as by Write.
        if (n == QtPrimingFrame) return ContainerWriter::WriteHeld(w, n, image, released);
        return WriteHeldAt(m_movie.NextFrame(), image, std::move(released));
    }
};

}  // namespace

bool QtCompressionSettings(MovieHost* host, MovieSettings* settings, CompressorChoices& kept,
                           float frameRate, int32_t quality) {
    if (!MakeSureQuickTimeRuns(kept)) return false;
    QtSettings s = kept.qtChosen ? kept.qt : QtSettings{};
    s.codec = QtCodecFrom(KeptCode(settings));
    if (!HaveMovieCodec(MovieContainer::QuickTime, s.codec)) s.codec.clear();
    s.temporalRate = TemporalRateFixed(frameRate);
    s.spatialQuality = SpatialQualityFor(quality);
    if (host && !host->ChooseQtCompressor(s.codec, s.spatialQuality, s.temporalRate)) return false;
    if (!HaveMovieCodec(MovieContainer::QuickTime, s.codec)) return false;
    kept.qt = s;
    kept.qtChosen = true;
    // The settings text holds the compressor type's characters in reading order, which is
    // the type's first character in its high byte (FourccHighFirst).
    if (settings) {
        settings->codecType = s.codec;
        settings->decided |= MovieSettings::DecidedCodecType;
    }
    return true;
}

bool OpenQtMovie(MovieWriters& w, const MovieOpenRequest& r) {
    CDIB& image = *r.image;
    CompressorChoices& kept = w.Choices();
    if (!MakeSureQuickTimeRuns(kept) || image.Empty()) return false;
    if (!kept.qtChosen) {
        // A movie opened without the settings step takes the kept compressor.
        kept.qt.codec = QtCodecFrom(KeptCodecType(w));
        if (!HaveMovieCodec(MovieContainer::QuickTime, kept.qt.codec)) kept.qt.codec.clear();
        kept.qt.spatialQuality = 0x200;
        kept.qt.temporalRate = TemporalRateFixed(r.frameRate);
    }
    MovieFormat f;
    f.container = MovieContainer::QuickTime;
    f.width = image.Width();
    f.height = image.Height();
    f.bitCount = image.BitCount();
    f.timeScale = QtTimeScale(r.frameRate);
    f.frameDuration = 100;
    f.rate = f.timeScale;
    f.scale = 100;
    f.codec = kept.qt.codec;
    f.spatialQuality = kept.qt.spatialQuality;
    f.soundPath = w.soundPath;
    auto movie = std::make_unique<QtMovie>();
    QtMovie& qt = *movie;
    w.open = std::move(movie);
    if (!qt.OpenQt(r.path, f)) return false;
    // The priming frame: the (not yet rendered) image goes through the compressor once.
    return qt.Write(w, QtPrimingFrame, image);
}

}  // namespace kv
