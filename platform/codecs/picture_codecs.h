// JPEG and PNG decoding for the picture readers, over libjpeg-turbo and libpng.
//
// These stand in for the platform's picture decoders: a file is decoded into 24-bit rows (blue,
// green, red) handed out top row first. The caller learns the size before any pixel is decoded
// and may stop there (too large, no memory), so a huge picture never costs a huge buffer here.
// Alpha is dropped (not composited): the colour channels are kept as stored, without colour
// management or gamma correction.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kv {

// Where decoded pixels go.
class DecodeTarget {
public:
    virtual ~DecodeTarget() = default;
    // Called once with the picture's size; false stops the decoding (nothing further is called).
    virtual bool Begin(int width, int height) = 0;
    // Destination of row y counted from the top: 3 x width bytes, blue, green, red.
    virtual uint8_t* Row(int y) = 0;
    // The most the decoder may allocate for its own work after Begin (a progressive JPEG keeps
    // all its coefficients); beyond it the decoding fails.
    virtual uint64_t DecoderMemoryLimit() const { return 1100ull * 1024 * 1024; }
};

enum class DecodeStatus {
    Ok,            // every row was delivered
    Stopped,       // Begin returned false
    NotDecodable,  // not a JPEG or PNG, or broken before its size was known
    Failed,        // broken after Begin: the rows delivered so far are partial
};

// Whether a JPEG decoder is present; always true in this build.
bool GdiplusHasJpegDecoder();

// Decodes the JPEG or PNG file at `path`, recognised by its content.
DecodeStatus DecodePictureFile(const char* path, DecodeTarget& target);

// The two decoders on their own, reading from an open stream at its current position.
DecodeStatus DecodeJpeg(std::FILE* stream, DecodeTarget& target);
DecodeStatus DecodePng(std::FILE* stream, DecodeTarget& target);

}  // namespace kv
