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

namespace {

// MjpgOut compresses each frame into `output`, DpsOut5 writes it to the file.
class DpsMovie : public ContainerWriter {
public:
    bool Open(const MovieOpenRequest& r);
    bool Write(MovieWriters& w, int32_t n, const CDIB& image) override;
    bool Close(MovieWriters& w) override;

private:
    std::unique_ptr<uint8_t[]> m_input;
    std::unique_ptr<uint8_t[]> m_output;
    RuntimeLibrary m_mjpg;
    RuntimeLibrary m_dps;
    MjpgOutObject* m_encoder = nullptr;  // released by Close through its own table
    DpsOut5Object* m_maker = nullptr;    // finished by Close through its own table
    int32_t m_height = 0;                // 486 or 576, checked at open
};

bool DpsMovie::Open(const MovieOpenRequest& r) {
    const CDIB& image = *r.image;
    const int32_t wantHeight = r.frameRate == 25.0f ? 576 : 486;
    if (image.Empty() || image.Width() != 720 || image.Height() != wantHeight) return false;
    const int32_t tvLines = static_cast<int32_t>(r.frameRate * 1000.0f) == 25000 ? 625 : 525;

    m_input.reset(new (std::nothrow) uint8_t[DpsInputBufferSize]);
    m_output.reset(new (std::nothrow) uint8_t[DpsOutputBufferSize]);
    if (!m_input || !m_output) return false;
    m_height = wantHeight;

    if (!m_mjpg.Load("MjpgOut.dll")) return false;
    auto create = reinterpret_cast<CreateMjpgOutFn>(m_mjpg.Find("CreateMjpgOut"));
    if (!create) {
        m_mjpg.Unload();
        return false;
    }
    const int32_t pixelFormat = image.BitCount() == 24 ? 0x3234 : 0x3332;
    MjpgOutObject* encoder = nullptr;
    if (create(tvLines, pixelFormat, &encoder) != 0 || !encoder) return false;
    m_encoder = encoder;

    if (!m_dps.Load("DpsOut5.dll")) return false;
    auto createDps = reinterpret_cast<CreateDpsOut5Fn>(m_dps.Find("CreateDpsOut5"));
    if (!createDps) {
        m_dps.Unload();
        return false;
    }
    if (m_encoder->ops->SetQuality(m_encoder, r.quality * 100) != 0) return false;
    DpsOut5Object* maker = nullptr;
    if (createDps(r.path.c_str(), tvLines, r.totalFrames, 4, &maker) != 0 || !maker) return false;
    m_maker = maker;
    return true;
}

bool DpsMovie::Write(MovieWriters&, int32_t, const CDIB& image) {
    if (!m_encoder || !m_maker || !m_input || !m_output) return false;
    // The frame size was checked at open; the byte count follows the image's own lines, so a
    // 486-line frame is never read as 576 lines.
    if (image.Empty() || image.Width() != 720 || image.Height() != m_height) return false;
    const int32_t bytes = (image.BitCount() / 8) * 720 * m_height;
    if (bytes > DpsInputBufferSize) return false;
    std::memcpy(m_input.get(), image.Bits(), static_cast<size_t>(bytes));
    int32_t count = bytes;
    if (m_encoder->ops->Compress(m_encoder, m_input.get(), m_output.get(), &count) != 0)
        return false;
    // A count beyond the output buffer would send memory that was never written.
    if (count < 0 || count > DpsOutputBufferSize) return false;
    return m_maker->ops->Write(m_maker, m_output.get(), count) == 0;
}

bool DpsMovie::Close(MovieWriters&) {
    m_input.reset();
    m_output.reset();
    if (m_encoder) m_encoder->ops->Release(m_encoder);
    m_encoder = nullptr;
    m_mjpg.Unload();
    if (m_maker) m_maker->ops->Finish(m_maker);
    m_maker = nullptr;
    m_dps.Unload();
    return true;
}

// --- Video Toaster ----------------------------------------------------------------------------

// RtvBridge and the context it is handed with every call.
class RtvMovie : public ContainerWriter {
public:
    bool Open(const MovieOpenRequest& r);
    bool Write(MovieWriters& w, int32_t n, const CDIB& image) override;
    bool Close(MovieWriters& w) override;

private:
    RuntimeLibrary m_lib;
    char m_context[RtvContextSize] = {};
};

bool RtvMovie::Open(const MovieOpenRequest& r) {
    const CDIB& image = *r.image;
    if (!m_lib.Load("RtvBridge.dll")) {
        Alert(RtvMissingMessage);
        return false;
    }
    std::memset(m_context, 0, sizeof m_context);
    std::strncpy(m_context, r.path.c_str(), RtvPathSize - 1);
    auto open = reinterpret_cast<VTOpenFn>(m_lib.Find("VTOpen"));
    if (!open) {
        m_lib.Unload();
        return false;
    }
    return open(r.path.c_str(), image.Width(), image.Height(), image.BitCount()) != 0;
}

bool RtvMovie::Write(MovieWriters& w, int32_t, const CDIB& image) {
    const int32_t frame = w.frameCounter++;
    if (!m_lib.Loaded() || image.Empty()) return false;
    auto write = reinterpret_cast<VTWriteFn>(m_lib.Find("VTWrite"));
    if (!write) {
        m_lib.Unload();
        return false;
    }
    return write(m_context, frame, image.Width(), image.Height(), image.Bits()) > 0;
}

bool RtvMovie::Close(MovieWriters&) {
    bool ok = true;
    if (m_lib.Loaded()) {
        if (auto close = reinterpret_cast<VTCloseFn>(m_lib.Find("VTClose")))
            ok = close(m_context) > 0;
        m_lib.Unload();
    }
    return ok;
}

}  // namespace

bool OpenDpsMovie(MovieWriters& w, const MovieOpenRequest& r) {
    auto movie = std::make_unique<DpsMovie>();
    DpsMovie& dps = *movie;
    w.open = std::move(movie);
    return dps.Open(r);
}

bool OpenRtvMovie(MovieWriters& w, const MovieOpenRequest& r) {
    auto movie = std::make_unique<RtvMovie>();
    RtvMovie& rtv = *movie;
    w.open = std::move(movie);
    return rtv.Open(r);
}

}  // namespace kv
