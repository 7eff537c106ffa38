// The detector of a build without one: it finds no face, and callers use their own idea of
// the subject (the suggested moves fall back to the picture's salient region).
#include "platform/faces/face_detector.h"

namespace kv::faces {

bool DetectorBuiltIn() {
    return false;
}

std::vector<FaceBox> DetectFaces(const uint8_t*, int32_t, int32_t, int32_t) {
    return {};
}

}  // namespace kv::faces
