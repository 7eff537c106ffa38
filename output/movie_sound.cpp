// The movie's sound plan; see movie_sound.h.
#include "output/movie_sound.h"

#include "core/picture/alert.h"
#include "core/show/show.h"
#include "output/movie_job.h"
#include "output/movie_writers.h"
#include "platform/video/movie_writer.h"

namespace kv {

namespace {

// The open movie's writer when it carries sound.
MovieWriter* SoundWriter(MovieWriters& w) {
    MovieWriter* writer = w.open ? w.open->Movie() : nullptr;
    return writer && writer->IsOpen() && writer->HasSound() ? writer : nullptr;
}

}  // namespace

std::string MissingSoundMessage(const std::string& reason) {
    return "The movie is made without sound: " + reason;
}

std::string MovieSoundFor(const Show& show, const MovieContainerRow& row, bool movieAudio) {
    if (show.audio.Empty() || !movieAudio || !row.carriesSound) return {};
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
