// JoinMovies: segments of one movie, rendered apart (on the machines of a cluster, say), put
// end to end into one file without decoding or encoding a frame.
//
// Every part must hold the same streams with the same codec, size and clock; each part's
// timestamps are moved on by the length of the parts before it, so the joined movie plays as
// the movie rendered in one piece. Codecs with inter-frame prediction need each part to start
// with a key frame, which a part written by a fresh encoder always does; a part that does not
// is refused rather than joined into a movie whose frames would decode wrongly.
//
// The joined file is written beside OUT under a temporary name and takes OUT's name only once it
// is complete, so a failed join leaves no half movie behind.
#pragma once

#include <string>
#include <vector>

namespace kv {

struct JoinResult {
    bool ok = false;
    std::string error;      // why not, naming the part at fault
    long long packets = 0;  // packets written, all streams
};

// The container is chosen from OUT's extension (.avi, .mov ...) as the writers choose it.
JoinResult JoinMovies(const std::string& out, const std::vector<std::string>& parts);

}  // namespace kv
