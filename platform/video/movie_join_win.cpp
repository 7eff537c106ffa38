// Joining segments needs FFmpeg's muxers, which the Windows build does not have.
#include "platform/video/movie_join.h"

namespace kv {

JoinResult JoinMovies(const std::string&, const std::string&, const std::vector<std::string>&) {
    JoinResult r;
    r.error = "joining movies is not available in the Windows build";
    return r;
}

}  // namespace kv
