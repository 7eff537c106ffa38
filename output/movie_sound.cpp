// The movie's sound plan; see movie_sound.h.
#include "output/movie_sound.h"

#include "core/base/settings.h"
#include "core/picture/alert.h"
#include "core/show/show.h"
#include "output/movie_job.h"
#include "platform/video/movie_writer.h"

namespace kv {

namespace {

// The open movie's writer when it carries sound.
MovieWriter* SoundWriter(MovieWriters& w) {
    MovieWriter* writer = nullptr;
    switch (w.type) {
        case WriterAvi:
            writer = w.avi.get();
            break;
        case WriterQuickTime:
            writer = w.qt.get();
            break;
        case WriterPublish:
            writer = w.publish.get();
            break;
        default:
            break;
    }
    return writer && writer->IsOpen() && writer->HasSound() ? writer : nullptr;
}

}  // namespace

std::string MissingSoundMessage(const std::string& reason) {
    return "The movie is made without sound: " + reason;
}

std::string MovieSoundFor(const Show& show, int32_t writerType) {
    if (show.audio.Empty()) return {};
    if (TheSettings().ReadInt("MovieAudio", 1) == 0) return {};
    if (writerType != WriterAvi && writerType != WriterQuickTime && writerType != WriterPublish)
        return {};
    const std::string path = show.audio.path;
    const std::string problem = SoundFileProblem(path);
    if (!problem.empty()) {
        Alert(MissingSoundMessage(problem).c_str());
        return {};
    }
    return path;
}

void SoundFollowsShow(MovieWriters& w, int32_t showFrame) {
    if (MovieWriter* writer = SoundWriter(w)) writer->CueSound(w.framesHandedOver, showFrame);
}

void SoundStops(MovieWriters& w) {
    if (MovieWriter* writer = SoundWriter(w)) writer->CueSound(w.framesHandedOver, -1);
}

}  // namespace kv
