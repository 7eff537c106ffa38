// The writer dispatch and the two writers that go through platform/video: AVI and .mov.
//
// Sections: [state and dispatch] [AVI] [.mov].
#include "editor/output/movie_writers.h"

#include <memory>

#include "core/base/settings.h"
#include "core/picture/alert.h"
#include "editor/output/movie_host.h"
#include "editor/output/movie_job.h"
#include "editor/output/writer_state.h"
#include "platform/video/movie_writer.h"

namespace kv {

// --- [state and dispatch] ---------------------------------------------------------------------

WriterState& TheWriterState() {
    static WriterState state;
    return state;
}

void SetWriterHost(MovieHost* host) {
    TheWriterState().host = host;
}

int32_t CurrentWriterType() {
    return TheWriterState().type;
}

int32_t WriterFrameCounter() {
    return TheWriterState().frameCounter;
}

bool OpenMovie(int32_t writerType, bool first, const std::string& path, CDIB& image,
               float frameRate, int32_t quality, int32_t totalFrames) {
    switch (writerType) {
        case WriterDps:
            return OpenDpsMovie(path, image, frameRate, quality, totalFrames);
        case WriterQuickTime:
            return OpenQtMovie(path, image, frameRate);
        case WriterToaster:
            return OpenRtvMovie(path, image);
        default:
            return OpenAviMovie(first, path, image, frameRate, quality);
    }
}

bool WriteMovieFrame(int32_t n, const CDIB& image) {
    switch (TheWriterState().type) {
        case WriterDps:
            return WriteDpsFrame(image);
        case WriterQuickTime:
            return WriteQtFrame(n, image);
        case WriterToaster:
            return WriteRtvFrame(image);
        default:
            return WriteAviFrame(n, image);
    }
}

bool CloseMovie() {
    switch (TheWriterState().type) {
        case WriterDps:
            return CloseDpsMovie();
        case WriterQuickTime:
            return CloseQtMovie();
        case WriterToaster:
            return CloseRtvMovie();
        default:
            return CloseAviMovie();
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
// and reused by the later movies of the same job.
struct AviOptions {
    bool valid = false;
    std::string codec;
    int32_t quality = 100;
};
AviOptions g_aviOptions;
std::unique_ptr<MovieWriter> g_avi;  // the open AVI movie, owned here
MovieFormat g_aviFormat;

}  // namespace

std::string KeptAviCompressor() {
    return g_aviOptions.valid ? g_aviOptions.codec : std::string();
}

void ForgetAviCompressor() {
    g_aviOptions = AviOptions{};
}

bool OpenAviMovie(bool first, const std::string& path, const CDIB& image, float frameRate,
                  int32_t quality) {
    WriterState& st = TheWriterState();
    st.type = WriterAvi;
    st.frameCounter = 0;
    if (image.Empty()) return false;
    if (first) {
        AviOptions chosen;
        chosen.codec = StoredCodecType();
        chosen.quality = quality;
        chosen.valid = true;
        if (st.host && !st.host->ChooseAviCompressor(chosen.codec, chosen.quality)) return false;
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
    g_avi = std::make_unique<MovieWriter>();
    g_aviFormat = f;
    return g_avi->Open(path, f);
}

bool WriteAviFrame(int32_t n, const CDIB& image) {
    WriterState& st = TheWriterState();
    if (!g_avi || !g_avi->IsOpen() || !FrameFits(image, g_aviFormat)) return false;
    int32_t number = n;
    if (n == -1) number = st.frameCounter++;
    return g_avi->WriteFrame(number, image.Bits(), image.RowBytes());
}

bool CloseAviMovie() {
    bool ok = true;
    if (g_avi) {
        ok = g_avi->Close();
        g_avi.reset();
    }
    return ok;
}

// --- [.mov] -----------------------------------------------------------------------------------

const char* const QuickTimeMissingMessage =
    "QuickTime is not installed on this computer! Movies (.mov) need a build with FFmpeg's "
    "QuickTime muxer: install the libavformat package of your distribution.";

namespace {

bool g_qtInitialised = false;
bool g_qtSettingsMade = false;
QtSettings g_qtSettings;
std::unique_ptr<MovieWriter> g_qt;  // the open .mov movie, owned here
MovieFormat g_qtFormat;

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

bool QtCompressionSettings(float frameRate, int32_t quality) {
    if (!MakeSureQuickTimeRuns()) return false;
    QtSettings s = g_qtSettingsMade ? g_qtSettings : QtSettings{};
    s.codec = QtCodecFrom(StoredCodecType());
    if (!HaveMovieCodec(MovieContainer::QuickTime, s.codec)) s.codec.clear();
    s.temporalRate = TemporalRateFixed(frameRate);
    s.spatialQuality = SpatialQualityFor(quality);
    MovieHost* host = TheWriterState().host;
    if (host && !host->ChooseQtCompressor(s.codec, s.spatialQuality, s.temporalRate)) return false;
    if (!HaveMovieCodec(MovieContainer::QuickTime, s.codec)) return false;
    g_qtSettings = s;
    g_qtSettingsMade = true;
    // The settings text holds the compressor type's characters in reading order, which is
    // the type's first character in its high byte (FourccHighFirst).
    TheSettings().WriteString("CodecType", s.codec.c_str());
    return true;
}

bool OpenQtMovie(const std::string& path, const CDIB& image, float frameRate) {
    WriterState& st = TheWriterState();
    st.type = WriterQuickTime;
    st.frameCounter = 0;
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
    g_qt = std::make_unique<MovieWriter>();
    g_qtFormat = f;
    if (!g_qt->Open(path, f)) return false;
    // The priming frame: the (not yet rendered) image goes through the compressor once and adds
    // no sample.
    return WriteQtFrame(QtPrimingFrame, image);
}

bool WriteQtFrame(int32_t n, const CDIB& image) {
    if (!g_qt || !g_qt->IsOpen() || !FrameFits(image, g_qtFormat)) return false;
    if (n == QtPrimingFrame) return g_qt->PrimeFrame(image.Bits(), image.RowBytes());
    // Every sample is appended and lasts one frame (100 units).
    return g_qt->WriteFrame(g_qt->NextFrame(), image.Bits(), image.RowBytes());
}

bool CloseQtMovie() {
    bool ok = true;
    if (g_qt) {
        ok = g_qt->Close();
        g_qt.reset();
    }
    return ok;
}

void EndQuickTime() {
    CloseQtMovie();
    g_qtSettingsMade = false;
    g_qtSettings = QtSettings{};
    g_qtInitialised = false;
}

}  // namespace kv
