// The DPS and Video Toaster writers: frames handed to outside run-time libraries.
//
// DPS: MjpgOut compresses each frame, DpsOut5 writes the compressed frames into the file. Video
// Toaster: RtvBridge takes the raw frames. The libraries are loaded at open and unloaded at
// close.
#include <cstring>
#include <memory>
#include <new>

#include "core/picture/alert.h"
#include "output/movie_job.h"
#include "output/movie_writers.h"
#include "output/outside_libraries.h"
#include "platform/video/runtime_library.h"

namespace kv {

const char* const RtvMissingMessage = "RtvBridge.dll is not installed!";

// --- DPS --------------------------------------------------------------------------------------

bool OpenDpsMovie(MovieWriters& w, const std::string& path, const CDIB& image, float frameRate,
                  int32_t quality, int32_t totalFrames) {
    w.type = WriterDps;
    w.frameCounter = 0;
    DpsWriter& dps = w.dps;
    const int32_t wantHeight = frameRate == 25.0f ? 576 : 486;
    if (image.Empty() || image.Width() != 720 || image.Height() != wantHeight) return false;
    const int32_t tvLines = static_cast<int32_t>(frameRate * 1000.0f) == 25000 ? 625 : 525;

    dps.input.reset(new (std::nothrow) uint8_t[DpsInputBufferSize]);
    dps.output.reset(new (std::nothrow) uint8_t[DpsOutputBufferSize]);
    if (!dps.input || !dps.output) return false;
    dps.height = wantHeight;

    if (!dps.mjpg.Load("MjpgOut.dll")) return false;
    auto create = reinterpret_cast<CreateMjpgOutFn>(dps.mjpg.Find("CreateMjpgOut"));
    if (!create) {
        dps.mjpg.Unload();
        return false;
    }
    const int32_t pixelFormat = image.BitCount() == 24 ? 0x3234 : 0x3332;
    MjpgOutObject* encoder = nullptr;
    if (create(tvLines, pixelFormat, &encoder) != 0 || !encoder) return false;
    dps.encoder = encoder;

    if (!dps.dps.Load("DpsOut5.dll")) return false;
    auto createDps = reinterpret_cast<CreateDpsOut5Fn>(dps.dps.Find("CreateDpsOut5"));
    if (!createDps) {
        dps.dps.Unload();
        return false;
    }
    if (dps.encoder->ops->SetQuality(dps.encoder, quality * 100) != 0) return false;
    DpsOut5Object* maker = nullptr;
    if (createDps(path.c_str(), tvLines, totalFrames, 4, &maker) != 0 || !maker) return false;
    dps.maker = maker;
    return true;
}

bool WriteDpsFrame(MovieWriters& w, const CDIB& image) {
    DpsWriter& dps = w.dps;
    if (!dps.encoder || !dps.maker || !dps.input || !dps.output) return false;
    // The frame size was checked at open; the byte count follows the image's own lines, so a
    // 486-line frame is never read as 576 lines.
    if (image.Empty() || image.Width() != 720 || image.Height() != dps.height) return false;
    const int32_t bytes = (image.BitCount() / 8) * 720 * dps.height;
    if (bytes > DpsInputBufferSize) return false;
    std::memcpy(dps.input.get(), image.Bits(), static_cast<size_t>(bytes));
    int32_t count = bytes;
    if (dps.encoder->ops->Compress(dps.encoder, dps.input.get(), dps.output.get(), &count) != 0)
        return false;
    // A count beyond the output buffer would send memory that was never written.
    if (count < 0 || count > DpsOutputBufferSize) return false;
    return dps.maker->ops->Write(dps.maker, dps.output.get(), count) == 0;
}

bool CloseDpsMovie(MovieWriters& w) {
    DpsWriter& dps = w.dps;
    dps.input.reset();
    dps.output.reset();
    if (dps.encoder) dps.encoder->ops->Release(dps.encoder);
    dps.encoder = nullptr;
    dps.mjpg.Unload();
    if (dps.maker) dps.maker->ops->Finish(dps.maker);
    dps.maker = nullptr;
    dps.dps.Unload();
    return true;
}

// --- Video Toaster ----------------------------------------------------------------------------

bool OpenRtvMovie(MovieWriters& w, const std::string& path, const CDIB& image) {
    w.type = WriterToaster;
    w.frameCounter = 0;
    RtvWriter& rtv = w.rtv;
    if (!rtv.lib.Load("RtvBridge.dll")) {
        Alert(RtvMissingMessage);
        return false;
    }
    std::memset(rtv.context, 0, sizeof rtv.context);
    std::strncpy(rtv.context, path.c_str(), RtvPathSize - 1);
    auto open = reinterpret_cast<VTOpenFn>(rtv.lib.Find("VTOpen"));
    if (!open) {
        rtv.lib.Unload();
        return false;
    }
    return open(path.c_str(), image.Width(), image.Height(), image.BitCount()) != 0;
}

bool WriteRtvFrame(MovieWriters& w, const CDIB& image) {
    const int32_t frame = w.frameCounter++;
    RtvWriter& rtv = w.rtv;
    if (!rtv.lib.Loaded() || image.Empty()) return false;
    auto write = reinterpret_cast<VTWriteFn>(rtv.lib.Find("VTWrite"));
    if (!write) {
        rtv.lib.Unload();
        return false;
    }
    return write(rtv.context, frame, image.Width(), image.Height(), image.Bits()) > 0;
}

bool CloseRtvMovie(MovieWriters& w) {
    RtvWriter& rtv = w.rtv;
    bool ok = true;
    if (rtv.lib.Loaded()) {
        if (auto close = reinterpret_cast<VTCloseFn>(rtv.lib.Find("VTClose")))
            ok = close(rtv.context) > 0;
        rtv.lib.Unload();
    }
    return ok;
}

}  // namespace kv
