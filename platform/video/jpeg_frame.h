// JpegFrameEncoder: one movie frame of 24- or 32-bit blue-green-red rows made into a baseline
// JPEG by libjpeg-turbo, for the Motion JPEG streams of AVI ("MJPG"), .mov ("jpeg") and Matroska.
//
// The frame is coded as baseline Y'CbCr 4:2:2 at full range (JFIF, ITU-R BT.601 weights), with
// the accurate integer DCT and Huffman tables made for the frame, straight from the rows as the
// renderer leaves them: bottom-up rows are handed to libjpeg in reverse order, so the flip costs
// no copy. libjpeg-turbo's SIMD colour conversion, downsampling, DCT and
// quantisation compute the same integers as its plain C code, so a frame's bytes are the same
// on every x86-64 machine and with the SIMD turned off (JSIMD_FORCENONE=1).
//
// One encoder codes one frame at a time; frames coded side by side need one encoder each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kv {

// How a frame is coded: libjpeg's quality (1..100), and whether the Huffman tables are made for
// the frame (smaller at low qualities, but an extra pass that doubles the coding time) rather
// than the standard ones.
struct JpegQuality {
    JpegQuality(int q = 89, bool ownTables = false) : quality(q), frameHuffman(ownTables) {}
    int quality;
    bool frameHuffman;
};

// The coding for the movie job's quality (0..100), chosen so that a frame is no larger than the
// one the FFmpeg Motion JPEG encoder made at the same job quality (qscale
// 2 + (100 - q) * 29 / 100), measured over rendered frames of a detailed picture. Qualities 90 and
// up keep the standard Huffman tables; below them the frame's own tables buy back what the fine
// DC terms cost.
JpegQuality JpegQualityForMovie(int movieQuality);

class JpegFrameEncoder {
public:
    JpegFrameEncoder();
    ~JpegFrameEncoder();
    JpegFrameEncoder(const JpegFrameEncoder&) = delete;
    JpegFrameEncoder& operator=(const JpegFrameEncoder&) = delete;

    // Codes one frame. `firstRow` is the row at the lowest address, `rowBytes` the step between
    // rows (at least width x bitCount / 8); bottomUp says that this first row is the picture's
    // bottom row (the image buffer's order). The result stays
    // valid until the next call. False with Error() set when the frame cannot be coded.
    bool Encode(const uint8_t* firstRow, int32_t rowBytes, bool bottomUp, int32_t width,
                int32_t height, int32_t bitCount, JpegQuality quality);

    const uint8_t* Data() const;
    size_t Size() const;
    const std::string& Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace kv
