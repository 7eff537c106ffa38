// The writer dispatch and the two writers that go through platform/video: AVI and .mov.
//
// Sections: [dispatch] [AVI] [.mov].
#include "output/movie_writers.h"

#include <memory>

#include "core/base/settings.h"
#include "core/picture/alert.h"
#include "output/movie_host.h"
#include "output/movie_job.h"
#include "platform/video/movie_writer.h"

namespace kv {

// --- [dispatch] ------------------------------------------------------------------------------

bool OpenMovie(MovieWriters& w, int32_t writerType, bool first, const std::string& path,
               CDIB& image, float frameRate, int32_t quality, int32_t totalFrames) {
    w.framesHandedOver = 0;
    switch (writerType) {
        case WriterDps:
            return OpenDpsMovie(w, path, image, frameRate, quality, totalFrames);
        case WriterQuickTime:
            return OpenQtMovie(w, path, image, frameRate);
        case WriterToaster:
            return OpenRtvMovie(w, path, image);
        case WriterPublish:
            return OpenPublishMovie(w, path, image, frameRate, quality);
        default:
            return OpenAviMovie(w, first, path, image, frameRate, quality);
    }
}

bool WriteMovieFrame(MovieWriters& w, int32_t n, const CDIB& image) {
    switch (w.type) {
        case WriterDps:
            return WriteDpsFrame(w, image);
        case WriterQuickTime:
            return WriteQtFrame(w, n, image);
        case WriterToaster:
            return WriteRtvFrame(w, image);
        case WriterPublish:
            return WritePublishFrame(w, image);
        default:
            return WriteAviFrame(w, n, image);
    }
}

bool CloseMovie(MovieWriters& w) {
    switch (w.type) {
        case WriterDps:
            return CloseDpsMovie(w);
        case WriterQuickTime:
            return CloseQtMovie(w);
        case WriterToaster:
            return CloseRtvMovie(w);
        case WriterPublish:
            return ClosePublishMovie(w);
        default:
            return CloseAviMovie(w);
    }
}

namespace {

std::string StoredCodecType() {
    std::string c = TheSettings().ReadString("CodecType", "");
    if (c.size() > 4) c.resize(4);
    return c;
}

bool FrameFits(const CDIB& image, const MovieFormat& f) {
    return !image.Empty() && image.Width() == f.width && image.Height() == f.height &&
           image.BitCount() == f.bitCount;
}

// --- [AVI] ------------------------------------------------------------------------------------

// The compressor options kept for the life of the process: chosen with the first movie of a job
// and reused by the later movies of the same job. Global because they outlive the job; only the
// thread of the movie command touches them.
struct AviOptions {
    bool valid = false;
    std::string codec;
    int32_t quality = 100;
};
AviOptions g_aviOptions;

}  // namespace

std::string KeptAviCompressor() {
    return g_aviOptions.valid ? g_aviOptions.codec : std::string();
}

void ForgetAviCompressor() {
    g_aviOptions = AviOptions{};
}

bool OpenAviMovie(MovieWriters& w, bool first, const std::string& path, const CDIB& image,
                  float frameRate, int32_t quality) {
    w.type = WriterAvi;
    w.frameCounter = 0;
    if (image.Empty()) return false;
    if (first) {
        AviOptions chosen;
        chosen.codec = StoredCodecType();
        chosen.quality = quality;
        chosen.valid = true;
        if (w.host && !w.host->ChooseAviCompressor(chosen.codec, chosen.quality)) return false;
        if (!HaveMovieCodec(MovieContainer::Avi, chosen.codec)) return false;
        g_aviOptions = chosen;
        TheSettings().WriteString("CodecType", chosen.codec.c_str());
    } else if (!g_aviOptions.valid) {
        g_aviOptions.codec = StoredCodecType();
        g_aviOptions.quality = quality;
        g_aviOptions.valid = true;
    }
    MovieFormat f;
    f.container = MovieContainer::Avi;
    f.width = image.Width();
    f.height = image.Height();
    f.bitCount = image.BitCount();
    f.rate = AviRate(frameRate);
    f.scale = 100;
    f.codec = g_aviOptions.codec;
    f.quality = g_aviOptions.quality;
    f.soundPath = w.soundPath;
    w.avi = std::make_unique<MovieWriter>();
    w.aviFormat = f;
    return w.avi->Open(path, f);
}

bool WriteAviFrame(MovieWriters& w, int32_t n, const CDIB& image) {
    if (!w.avi || !w.avi->IsOpen() || !FrameFits(image, w.aviFormat)) return false;
    int32_t number = n;
    if (n == -1) number = w.frameCounter++;
    return w.avi->WriteFrame(number, image.Bits(), image.RowBytes());
}

bool CloseAviMovie(MovieWriters& w) {
    bool ok = true;
    if (w.avi) {
        ok = w.avi->Close();
        w.avi.reset();
    }
    return ok;
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

// The .mov settings kept for the life of the process (until EndQuickTime). Global because they
// outlive the job; only the thread of the movie command and the editor's end touch them.
bool g_qtInitialised = false;
bool g_qtSettingsMade = false;
QtSettings g_qtSettings;

bool MakeSureQuickTimeRuns() {
    if (g_qtInitialised) return true;
    if (!HaveMovieContainer(MovieContainer::QuickTime)) {
        Alert(QuickTimeMissingMessage);
        return false;
    }
    g_qtInitialised = true;
    return true;
}

// Codes of the AVI compressors that have a .mov counterpart.
std::string QtCodecFrom(const std::string& stored) {
    if (stored == "MJPG") return "jpeg";
    if (stored == "H264") return "avc1";
    if (stored == "DIB ") return "";
    return stored;
}

}  // namespace

QtSettings CurrentQtSettings() {
    return g_qtSettings;
}

bool QtCompressionSettings(MovieHost* host, float frameRate, int32_t quality) {
    if (!MakeSureQuickTimeRuns()) return false;
    QtSettings s = g_qtSettingsMade ? g_qtSettings : QtSettings{};
    s.codec = QtCodecFrom(StoredCodecType());
    if (!HaveMovieCodec(MovieContainer::QuickTime, s.codec)) s.codec.clear();
    s.temporalRate = TemporalRateFixed(frameRate);
    s.spatialQuality = SpatialQualityFor(quality);
    if (host && !host->ChooseQtCompressor(s.codec, s.spatialQuality, s.temporalRate)) return false;
    if (!HaveMovieCodec(MovieContainer::QuickTime, s.codec)) return false;
    g_qtSettings = s;
    g_qtSettingsMade = true;
    // The settings text holds the compressor type's characters in reading order, which is
    // the type's first character in its high byte (FourccHighFirst).
    TheSettings().WriteString("CodecType", s.codec.c_str());
    return true;
}

bool OpenQtMovie(MovieWriters& w, const std::string& path, const CDIB& image, float frameRate) {
    w.type = WriterQuickTime;
    w.frameCounter = 0;
    if (!MakeSureQuickTimeRuns() || image.Empty()) return false;
    if (!g_qtSettingsMade) {
        // A movie opened without the settings step takes the stored compressor.
        g_qtSettings.codec = QtCodecFrom(StoredCodecType());
        if (!HaveMovieCodec(MovieContainer::QuickTime, g_qtSettings.codec))
            g_qtSettings.codec.clear();
        g_qtSettings.spatialQuality = 0x200;
        g_qtSettings.temporalRate = TemporalRateFixed(frameRate);
    }
    MovieFormat f;
    f.container = MovieContainer::QuickTime;
    f.width = image.Width();
    f.height = image.Height();
    f.bitCount = image.BitCount();
    f.timeScale = QtTimeScale(frameRate);
    f.frameDuration = 100;
    f.rate = f.timeScale;
    f.scale = 100;
    f.codec = g_qtSettings.codec;
    f.spatialQuality = g_qtSettings.spatialQuality;
    f.soundPath = w.soundPath;
    w.qt = std::make_unique<MovieWriter>();
    w.qtFormat = f;
    if (!w.qt->Open(path, f)) return false;
    // The priming frame: the (not yet rendered) image goes through the compressor once and adds
    // no sample.
    return WriteQtFrame(w, QtPrimingFrame, image);
}

bool WriteQtFrame(MovieWriters& w, int32_t n, const CDIB& image) {
    if (!w.qt || !w.qt->IsOpen() || !FrameFits(image, w.qtFormat)) return false;
    if (n == QtPrimingFrame) return w.qt->PrimeFrame(image.Bits(), image.RowBytes());
    // Every sample is appended and lasts one frame (100 units).
    return w.qt->WriteFrame(w.qt->NextFrame(), image.Bits(), image.RowBytes());
}

bool CloseQtMovie(MovieWriters& w) {
    bool ok = true;
    if (w.qt) {
        ok = w.qt->Close();
        w.qt.reset();
    }
    return ok;
}

void EndQuickTime() {
    g_qtSettingsMade = false;
    g_qtSettings = QtSettings{};
    g_qtInitialised = false;
}

}  // namespace kv
