// Face detection behind a small interface: a grey picture in, the faces' boxes out.
//
// The detector is an outside library chosen at build time (KV_FACE_DETECTOR); a build without
// it (the Windows build, or one configured without the option) has a detector that finds
// nothing, and callers fall back to their own idea of the subject. Only the programs that offer
// suggested moves link this library; the plug-ins never do.
#pragma once

#include <cstdint>
#include <vector>

namespace kv::faces {

// A face in pixels of the grey picture it was found on, top row first.
struct FaceBox {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Whether this build has a detector (false: DetectFaces always finds nothing).
bool DetectorBuiltIn();

// Frontal faces on a grey picture of width x height bytes, rows `stride` bytes apart, top row
// first. Faces smaller than about 40 pixels across (80 on a picture over 800 pixels long) are not
// found: callers scale large pictures down to about 800 pixels. The order is the detector's, the
// same for the same pixels.
std::vector<FaceBox> DetectFaces(const uint8_t* grey, int32_t width, int32_t height,
                                 int32_t stride);

}  // namespace kv::faces
