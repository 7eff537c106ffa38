// The .mp4, .mkv and .webm writer: platform/video's MovieWriter in the container the name asks
// for.
#include <memory>

#include "output/movie_host.h"
#include "output/movie_job.h"
#include "output/movie_settings.h"
#include "output/movie_writers.h"
#include "platform/video/movie_writer.h"

namespace kv {

namespace {

// The kept choice when the container offers it, else "" (the container's default).
std::string KeptPublishCodec(const MovieWriters& w, MovieContainer c) {
    std::string code = w.settings ? w.settings->movieCodec : std::string();
    if (code.size() > 4) code.resize(4);
    return HaveMovieCodec(c, code) ? code : std::string();
}

// Frames are counted from 0 at open.
class PublishMovie : public PlatformMovie {
public:
    bool OpenPublish(const std::string& path, const MovieFormat& f) { return Open(path, f); }
    bool Write(MovieWriters& w, int32_t, const CDIB& image) override {
        if (!Takes(image)) return false;
        return m_movie.WriteFrame(w.frameCounter++, image.Bits(), image.RowBytes());
    }
    bool WriteHeld(MovieWriters& w, int32_t, const CDIB& image,
                   std::function<void()> released) override {
        if (!Takes(image)) return WriteHeldAt(-1, image, std::move(released));
        return WriteHeldAt(w.frameCounter++, image, std::move(released));
    }
};

// The job's codec and quality, chosen with its first such movie; false when refused.
bool ChoosePublishCodec(MovieWriters& w, MovieContainer c, int32_t quality) {
    if (w.publishChosen) return true;
    std::string codec = KeptPublishCodec(w, c);
    int32_t q = quality;
    if (w.host && !w.host->ChooseCompressor(c, codec, q)) return false;
    if (!HaveMovieCodec(c, codec)) return false;
    w.publishCodec = codec;
    w.publishQuality = q;
    w.publishChosen = true;
    if (w.settings) {
        w.settings->movieCodec = codec;
        w.settings->decided |= MovieSettings::DecidedMovieCodec;
    }
    return true;
}

}  // namespace

bool OpenPublishMovie(MovieWriters& w, const MovieOpenRequest& r) {
    const CDIB& image = *r.image;
    if (image.Empty()) return false;
    const MovieContainer c = PublishContainerFor(r.path);
    if (!ChoosePublishCodec(w, c, r.quality)) return false;
    MovieFormat f;
    f.container = c;
    f.width = image.Width();
    f.height = image.Height();
    f.bitCount = image.BitCount();
    // These containers state the rate as a fraction: 29.97 is written as 30000/1001.
    const ExactRate rate = ExactRateFor(r.frameRate);
    f.rate = rate.num;
    f.scale = rate.den;
    f.timeScale = rate.num;
    f.frameDuration = rate.den;
    // The frames as described for the job; a writer set up without a description writes square
    // progressive frames.
    if (w.frame.width == f.width && w.frame.height == f.height) {
        f.pixelNum = w.frame.pixelNum;
        f.pixelDen = w.frame.pixelDen;
        f.scan = w.frame.scan == FrameScan::TopFieldFirst      ? MovieScan::TopFieldFirst
                 : w.frame.scan == FrameScan::BottomFieldFirst ? MovieScan::BottomFieldFirst
                                                               : MovieScan::Progressive;
    }
    // A later movie of a batch in another container keeps the quality and takes the codec
    // only when that container offers it.
    f.codec = HaveMovieCodec(c, w.publishCodec) ? w.publishCodec : std::string();
    f.quality = w.publishQuality;
    f.soundPath = w.soundPath;
    auto movie = std::make_unique<PublishMovie>();
    PublishMovie& publish = *movie;
    w.open = std::move(movie);
    return publish.OpenPublish(r.path, f);
}

}  // namespace kv
