// The process-wide writer state shared by the movie writers (internal to editor/output).
#pragma once

#include <cstdint>

namespace kv {

class MovieHost;

struct WriterState {
    int32_t type = 0;          // writer type of the open (or last opened) movie
    int32_t frameCounter = 0;  // number of the next frame; 0 at open
    MovieHost* host = nullptr;
};

WriterState& TheWriterState();

}  // namespace kv
