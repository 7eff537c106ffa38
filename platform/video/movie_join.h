// JoinMovies: segments of one movie, rendered apart (on the machines of a cluster, say), put
// end to end into one file without decoding or encoding a frame.
//
// Every part must hold the same streams with the same codec, size and clock; each part's
// timestamps are moved on by the length of the parts before it, so the joined movie plays as
// the movie rendered in one piece. Codecs with inter-frame prediction need each part to start
// with a key frame, which a part written by a fresh encoder always does; a part that does not
// is refused rather than joined into a movie whose frames would decode wrongly.
//
// A part is joined only when it holds every frame its own index promises: an AVI part's stream
// header and index, a .mov/.mp4 part's sample table, a Matroska or WebM part's duration against
// its last packet. A part cut short (a copy that stopped, a full disk) is refused, naming the
// part and the first frame missing, rather than joined into a movie that silently lacks frames.
//
// The joined bytes go to the file the caller names (the temporary of its atomic write), so that
// the caller decides when it takes OUT's place; after a failure that file holds a partial movie
// for the caller to discard.
#pragma once

#include <string>
#include <vector>

namespace kv {

struct JoinResult {
    bool ok = false;
    std::string error;      // why not, naming the part at fault
    long long packets = 0;  // packets written, all streams
};

// Writes the joined movie to `writeTo`. The container is chosen from the extension of `out`
// (.avi, .mov ...) as the writers choose it; messages name `out`.
JoinResult JoinMovies(const std::string& out, const std::string& writeTo,
                      const std::vector<std::string>& parts);

}  // namespace kv
