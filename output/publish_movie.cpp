// The .mp4, .mkv and .webm writer: platform/video's MovieWriter in the container the name asks
// for.
#include <memory>

#include "core/base/settings.h"
#include "output/movie_host.h"
#include "output/movie_job.h"
#include "output/movie_writers.h"
#include "platform/video/movie_writer.h"

namespace kv {

namespace {

// The stored choice when the container offers it, else "" (the container's default).
std::string StoredPublishCodec(MovieContainer c) {
    std::string code = TheSettings().ReadString("MovieCodec", "");
    if (code.size() > 4) code.resize(4);
    return HaveMovieCodec(c, code) ? code : std::string();
}

}  // namespace

bool OpenPublishMovie(MovieWriters& w, const std::string& path, const CDIB& image, float frameRate,
                      int32_t quality) {
    w.type = WriterPublish;
    w.frameCounter = 0;
    if (image.Empty()) return false;
    const MovieContainer c = PublishContainerFor(path);
    if (!w.publishChosen) {
        std::string codec = StoredPublishCodec(c);
        int32_t q = quality;
        if (w.host && !w.host->ChooseCompressor(c, codec, q)) return false;
        if (!HaveMovieCodec(c, codec)) return false;
        w.publishCodec = codec;
        w.publishQuality = q;
        w.publishChosen = true;
        TheSettings().WriteString("MovieCodec", codec.c_str());
    }
    MovieFormat f;
    f.container = c;
    f.width = image.Width();
    f.height = image.Height();
    f.bitCount = image.BitCount();
    f.rate = AviRate(frameRate);
    f.scale = 100;
    f.timeScale = f.rate;
    f.frameDuration = 100;
    // A later movie of a batch in another container keeps the quality and takes the codec
    // only when that container offers it.
    f.codec = HaveMovieCodec(c, w.publishCodec) ? w.publishCodec : std::string();
    f.quality = w.publishQuality;
    f.soundPath = w.soundPath;
    w.publish = std::make_unique<MovieWriter>();
    w.publishFormat = f;
    return w.publish->Open(path, f);
}

bool WritePublishFrame(MovieWriters& w, const CDIB& image) {
    const MovieFormat& f = w.publishFormat;
    if (!w.publish || !w.publish->IsOpen() || image.Empty() || image.Width() != f.width ||
        image.Height() != f.height || image.BitCount() != f.bitCount)
        return false;
    return w.publish->WriteFrame(w.frameCounter++, image.Bits(), image.RowBytes());
}

bool ClosePublishMovie(MovieWriters& w) {
    bool ok = true;
    if (w.publish) {
        ok = w.publish->Close();
        w.publish.reset();
    }
    return ok;
}

}  // namespace kv
