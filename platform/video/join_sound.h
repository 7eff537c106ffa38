// JoinedSound: the sound stream of a joined movie, decoded part by part and coded again as one
// stream. Internal to the movie join (movie_join.cpp).
//
// A compressed sound stream cannot be cut between its packets: each part of a segmented movie
// begins with its encoder's delay (priming) and ends padded to a whole sound frame, and copying
// the packets end to end would play those extra samples at every joint, so the sound would run
// later and later behind the picture. Instead each part's sound is decoded, laid on the part's
// own clock (samples before its picture starts dropped, a gap filled with silence) and cut or
// padded to exactly the length of the part's picture, counted from the start of the joined
// movie so that rounding never adds up; the whole is coded once by an encoder of the same kind.
// The joined sound therefore lies as the movie of one piece has it, at every joint.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVPacket;
struct AVStream;
struct AVRational;

namespace kv::video {

class JoinedSound {
public:
    JoinedSound();
    ~JoinedSound();
    JoinedSound(const JoinedSound&) = delete;
    JoinedSound& operator=(const JoinedSound&) = delete;

    // Adds the stream to `mux` (before its header is written) coded like `like`, the first
    // part's sound stream. False with Error() set when no encoder of that kind is at hand.
    bool Open(AVFormatContext* mux, const AVStream* like);
    // A part begins: its sound stream, and where the part's picture starts: at `partZero` of
    // the stream's own clock (its time base), which lies `joinedNum / joinedDen` seconds into
    // the joined movie.
    bool StartPart(const AVStream* stream, int64_t partZero, int64_t joinedNum, int64_t joinedDen);
    // One packet of the part's sound stream.
    bool AddPacket(const AVPacket* packet);
    // The joined picture now reaches num/den seconds from the movie's start; the sound before
    // it may be coded and written.
    bool PictureReaches(int64_t num, int64_t den);
    // The part ends with the joined picture at num/den seconds: its sound is cut or padded to
    // end there too.
    bool FinishPart(int64_t num, int64_t den);
    // Codes what is left and flushes the encoder.
    bool Finish();
    const std::string& Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace kv::video
