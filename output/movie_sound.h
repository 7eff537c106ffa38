// The movie's sound plan: which stretches of a movie carry the show's sound and which are
// silent.
//
// The show's sound file starts with show frame 0: a movie frame that shows show frame f plays
// the file from f frames' worth of time in, at the movie's frame rate. The forward pass plays
// the sound under its frames; the head and tail holds and the reverse pass are silent; the
// sound ends with the movie (cut, or padded with silence). AVI, .mov, .mp4, .mkv and .webm
// movies carry sound; DPS and Video Toaster files do not.
//
// The frame loop tells the plan where a pass starts and ends (SoundFollowsShow, SoundStops),
// each time before the frame it concerns is handed over. A cue names its movie frame by
// MovieWriters::framesHandedOver, so it may be given on the thread that hands frames over while
// another thread writes them (MovieWriter::CueSound may be called from any thread); the writer
// interleaves the sound with the frames it is given.
#pragma once

#include <cstdint>
#include <string>

#include "output/writer_state.h"

namespace kv {

class Show;
struct MovieContainerRow;

// The warning shown when the show's sound file cannot be read; the movie is made without sound.
// "The movie is made without sound: <reason, which names the file>".
std::string MissingSoundMessage(const std::string& reason);

// The sound file for a movie of the show in a container: the show's audio file when it has
// one, `movieAudio` (the "MovieAudio" setting) is on and the container carries sound; ""
// otherwise. A file that cannot be read is left out after a warning (Alert).
std::string MovieSoundFor(const Show& show, const MovieContainerRow& row, bool movieAudio);

// The next frame handed to the open movie shows show frame `showFrame`: the sound plays from
// there on.
void SoundFollowsShow(MovieWriters& w, int32_t showFrame);
// From the next frame handed to the open movie on, the sound is silent.
void SoundStops(MovieWriters& w);

}  // namespace kv
