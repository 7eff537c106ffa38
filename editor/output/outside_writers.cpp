// The DPS and Video Toaster writers: frames handed to outside run-time libraries.
//
// DPS: MjpgOut compresses each frame, DpsOut5 writes the compressed frames into the file. Video
// Toaster: RtvBridge takes the raw frames. The libraries are loaded at open and unloaded at
// close.
#include <cstring>
#include <memory>
#include <new>

#include "core/picture/alert.h"
#include "editor/output/movie_job.h"
#include "editor/output/movie_writers.h"
#include "editor/output/outside_libraries.h"
#include "editor/output/writer_state.h"
#include "platform/video/runtime_library.h"

namespace kv {

namespace {

struct DpsState {
    std::unique_ptr<uint8_t[]> input;
    std::unique_ptr<uint8_t[]> output;
    RuntimeLibrary mjpg;
    RuntimeLibrary dps;
    MjpgOutObject* encoder = nullptr;
    DpsOut5Object* maker = nullptr;
    int32_t height = 0;  // 486 or 576, checked at open
};
DpsState g_dps;

struct RtvState {
    RuntimeLibrary lib;
    char context[RtvContextSize] = {};
};
RtvState g_rtv;

}  // namespace

const char* const RtvMissingMessage = "RtvBridge.dll is not installed!";

// --- DPS --------------------------------------------------------------------------------------

bool OpenDpsMovie(const std::string& path, const CDIB& image, float frameRate, int32_t quality,
                  int32_t totalFrames) {
    WriterState& st = TheWriterState();
    st.type = WriterDps;
    st.frameCounter = 0;
    const int32_t wantHeight = frameRate == 25.0f ? 576 : 486;
    if (image.Empty() || image.Width() != 720 || image.Height() != wantHeight) return false;
    const int32_t tvLines = static_cast<int32_t>(frameRate * 1000.0f) == 25000 ? 625 : 525;

    g_dps.input.reset(new (std::nothrow) uint8_t[DpsInputBufferSize]);
    g_dps.output.reset(new (std::nothrow) uint8_t[DpsOutputBufferSize]);
    if (!g_dps.input || !g_dps.output) return false;
    g_dps.height = wantHeight;

    if (!g_dps.mjpg.Load("MjpgOut.dll")) return false;
    auto create = reinterpret_cast<CreateMjpgOutFn>(g_dps.mjpg.Find("CreateMjpgOut"));
    if (!create) {
        g_dps.mjpg.Unload();
        return false;
    }
    const int32_t pixelFormat = image.BitCount() == 24 ? 0x3234 : 0x3332;
    MjpgOutObject* encoder = nullptr;
    if (create(tvLines, pixelFormat, &encoder) != 0 || !encoder) return false;
    g_dps.encoder = encoder;

    if (!g_dps.dps.Load("DpsOut5.dll")) return false;
    auto createDps = reinterpret_cast<CreateDpsOut5Fn>(g_dps.dps.Find("CreateDpsOut5"));
    if (!createDps) {
        g_dps.dps.Unload();
        return false;
    }
    if (g_dps.encoder->ops->SetQuality(g_dps.encoder, quality * 100) != 0) return false;
    DpsOut5Object* maker = nullptr;
    if (createDps(path.c_str(), tvLines, totalFrames, 4, &maker) != 0 || !maker) return false;
    g_dps.maker = maker;
    return true;
}

bool WriteDpsFrame(const CDIB& image) {
    if (!g_dps.encoder || !g_dps.maker || !g_dps.input || !g_dps.output) return false;
    // The frame size was checked at open; the byte count follows the image's own lines, so a
    // 486-line frame is never read as 576 lines.
    if (image.Empty() || image.Width() != 720 || image.Height() != g_dps.height) return false;
    const int32_t bytes = (image.BitCount() / 8) * 720 * g_dps.height;
    if (bytes > DpsInputBufferSize) return false;
    std::memcpy(g_dps.input.get(), image.Bits(), static_cast<size_t>(bytes));
    int32_t count = bytes;
    if (g_dps.encoder->ops->Compress(g_dps.encoder, g_dps.input.get(), g_dps.output.get(),
                                     &count) != 0)
        return false;
    // A count beyond the output buffer would send memory that was never written.
    if (count < 0 || count > DpsOutputBufferSize) return false;
    return g_dps.maker->ops->Write(g_dps.maker, g_dps.output.get(), count) == 0;
}

bool CloseDpsMovie() {
    g_dps.input.reset();
    g_dps.output.reset();
    if (g_dps.encoder) g_dps.encoder->ops->Release(g_dps.encoder);
    g_dps.encoder = nullptr;
    g_dps.mjpg.Unload();
    if (g_dps.maker) g_dps.maker->ops->Finish(g_dps.maker);
    g_dps.maker = nullptr;
    g_dps.dps.Unload();
    return true;
}

// --- Video Toaster ----------------------------------------------------------------------------

bool OpenRtvMovie(const std::string& path, const CDIB& image) {
    WriterState& st = TheWriterState();
    st.type = WriterToaster;
    st.frameCounter = 0;
    if (!g_rtv.lib.Load("RtvBridge.dll")) {
        Alert(RtvMissingMessage);
        return false;
    }
    std::memset(g_rtv.context, 0, sizeof g_rtv.context);
    std::strncpy(g_rtv.context, path.c_str(), RtvPathSize - 1);
    auto open = reinterpret_cast<VTOpenFn>(g_rtv.lib.Find("VTOpen"));
    if (!open) {
        g_rtv.lib.Unload();
        return false;
    }
    return open(path.c_str(), image.Width(), image.Height(), image.BitCount()) != 0;
}

bool WriteRtvFrame(const CDIB& image) {
    WriterState& st = TheWriterState();
    const int32_t frame = st.frameCounter++;
    if (!g_rtv.lib.Loaded() || image.Empty()) return false;
    auto write = reinterpret_cast<VTWriteFn>(g_rtv.lib.Find("VTWrite"));
    if (!write) {
        g_rtv.lib.Unload();
        return false;
    }
    return write(g_rtv.context, frame, image.Width(), image.Height(), image.Bits()) > 0;
}

bool CloseRtvMovie() {
    bool ok = true;
    if (g_rtv.lib.Loaded()) {
        if (auto close = reinterpret_cast<VTCloseFn>(g_rtv.lib.Find("VTClose")))
            ok = close(g_rtv.context) > 0;
        g_rtv.lib.Unload();
    }
    return ok;
}

}  // namespace kv
