// Two-band rendering: the lower band on a worker thread started for the render, the upper band
// on the calling thread, then a join. The bands write disjoint rows (BandRows), each renderer
// call has its own working buffer, and the picture is only read, so nothing is locked.
#include <exception>
#include <thread>

#include "core/render/render_picture.h"

namespace kv {

namespace {

// The work handed to the worker: owned by the calling thread, released after the join.
struct BandWork {
    CDIB* out;
    const CDIB* picture;
    bool rotated;
    CameraRect cam;
    int16_t band;
    int16_t quality;
    int32_t line;
    bool result;
};

void RenderBandWork(BandWork* work) {
    work->result = RenderPictureAs(*work->out, *work->picture, work->rotated, work->cam,
                                   work->quality, work->band, work->line, 0);
}

}  // namespace

bool RenderBands(CDIB& out, const CDIB& picture, const CameraRect& cam, int quality, int line,
                 bool multiProcess, int multiProcOffset) {
    return RenderBandsAs(out, picture, picture.rotationInUse, cam, quality, line, multiProcess,
                         multiProcOffset);
}

bool RenderBandsAs(CDIB& out, const CDIB& picture, bool rotated, const CameraRect& cam, int quality,
                   int line, bool multiProcess, int multiProcOffset) {
    if (!multiProcess) return RenderPictureAs(out, picture, rotated, cam, quality, 0, line, 0);

    BandWork work{&out, &picture, rotated, cam, 1, static_cast<int16_t>(quality), line, false};
    std::thread worker;
    try {
        worker = std::thread(RenderBandWork, &work);
    } catch (const std::exception&) {
        // No thread to be had: render band 1 here instead.
        RenderBandWork(&work);
    }
    const bool upper =
        RenderPictureAs(out, picture, rotated, cam, quality, 2, line, multiProcOffset);
    if (worker.joinable()) worker.join();
    // A band that failed leaves rows unrendered: the render as a whole failed.
    return upper && work.result;
}

}  // namespace kv
