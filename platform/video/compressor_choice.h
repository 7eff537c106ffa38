// The system's compressor-choice dialog for AVI movies: the list of installed video
// compressors with their quality and configuration, as the system shows it. Only Windows has
// one; elsewhere the caller offers MovieCodecs() in its own dialog.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

struct CompressorChoice {
    std::string code;       // four characters; "" for uncompressed frames
    int32_t quality = 100;  // 0..100
};

// Whether this system has the dialog.
bool HaveCompressorDialog();

// Shows the dialog owned by `ownerWindow` (a native window handle, may be null), starting from
// `choice`; true with `choice` updated when the user confirms, false when cancelled or when
// there is no such dialog.
bool ChooseCompressor(void* ownerWindow, const std::string& title, CompressorChoice& choice);

}  // namespace kv
