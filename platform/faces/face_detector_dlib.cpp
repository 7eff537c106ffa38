// Faces by dlib's built-in frontal face detector (a HOG feature pyramid and linear classifiers
// whose model is compiled into the library, so nothing is read from disk at run time).
#include <dlib/image_processing/frontal_face_detector.h>

#include <algorithm>

#include "platform/faces/face_detector.h"

namespace kv::faces {

namespace {

// The detector's window finds faces of about 80 pixels and more. A picture whose longer side is
// at most this is doubled in size first, to find faces down to 40 pixels; larger ones are
// scanned as they are, which keeps the time within about a second.
constexpr int32_t DoubleUpTo = 800;
// Detections the classifier scores below this are dropped: on photos they are mostly textures
// (a sleeve, foliage) rather than faces, and a move drawn to a false face is worse than one drawn
// to the salient region.
constexpr double MinConfidence = 0.25;

}  // namespace

bool DetectorBuiltIn() {
    return true;
}

std::vector<FaceBox> DetectFaces(const uint8_t* grey, int32_t width, int32_t height,
                                 int32_t stride) {
    std::vector<FaceBox> out;
    if (grey == nullptr || width <= 0 || height <= 0 || stride < width) return out;
    dlib::array2d<unsigned char> image(height, width);
    for (long y = 0; y < height; ++y)
        std::copy(grey + y * stride, grey + y * stride + width, &image[y][0]);
    // Built for each call: the detector keeps scratch state while it scans, so one shared
    // instance could not serve two threads.
    dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
    long factor = 1;
    if (std::max(width, height) <= DoubleUpTo) {
        dlib::pyramid_up(image);
        factor = 2;
    }
    std::vector<dlib::rect_detection> found;
    detector(image, found, 0.0);
    for (const dlib::rect_detection& d : found) {
        if (d.detection_confidence < MinConfidence) continue;
        const dlib::rectangle& r = d.rect;
        FaceBox box;
        box.left = static_cast<int32_t>(std::max(0L, r.left()) / factor);
        box.top = static_cast<int32_t>(std::max(0L, r.top()) / factor);
        box.width = static_cast<int32_t>(
            (std::min<long>(r.right() + 1, width * factor) - std::max(0L, r.left())) / factor);
        box.height = static_cast<int32_t>(
            (std::min<long>(r.bottom() + 1, height * factor) - std::max(0L, r.top())) / factor);
        if (box.width > 0 && box.height > 0) out.push_back(box);
    }
    return out;
}

}  // namespace kv::faces
