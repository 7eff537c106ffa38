// The show file: one block of bytes that is a .kvx file, the exchange file and the plug-in's
// private data.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

class Show;

// Builds the block into buffer (which must hold the returned size); with no buffer only the
// size is returned. Changes the show: lone keys are doubled, the version stamp and show length
// are set in the first key, a new showId is drawn and dirty is cleared.
uint32_t Serialise(Show& show, uint8_t* buffer);

// Fills a freshly reset show from a block of `size` bytes; false when the block is refused.
// With render set, frame 0 is rendered after parsing.
bool Parse(Show& show, const uint8_t* block, uint32_t size, bool render);

// Reads a show file; false (show unchanged) when it cannot be opened.
bool LoadShow(Show& show, const std::string& path, bool render);

// Writes the show to path atomically (temporary file in the same folder, then rename).
bool SaveShow(Show& show, const std::string& path);

}  // namespace kv
