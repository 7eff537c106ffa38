// The frei0r source's instances: settings, show loading with its one-line report, the time to
// frame mapping and the hand-over of rows to the host.
#include "plugin/frei0r/show_source.h"

#include <dlfcn.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/picture/picture_reader.h"
#include "core/render/render_frame.h"
#include "core/render/show_loading.h"
#include "output/output_frame.h"

namespace kvfrei0r {

namespace {

// Messages of the core arrive here while a show is loaded on this thread; at any other time
// (and on other threads) they are dropped: inside a host nothing may wait for an answer.
thread_local std::string* t_messages = nullptr;

class CollectingAlerts final : public kv::AlertSink {
public:
    kv::Answer Show(kv::AlertKind, const std::string& text, const std::string&) override {
        if (t_messages && t_messages->empty()) *t_messages = text;
        return kv::Answer::No;
    }
};

// Global: the plug-in's own copy of the core has one alert sink, installed once when the
// plug-in is loaded and never changed.
CollectingAlerts g_alerts;
struct InstallAlerts {
    InstallAlerts() { kv::SetAlertSink(&g_alerts); }
} g_installAlerts;

constexpr uint8_t MatteLevel = 17;

}  // namespace

double DetectedHostTimeUnit() {
    static const double unit = [] {
        // MLT links FFmpeg's libraries in its own modules, so it is asked about first.
        if (dlsym(RTLD_DEFAULT, "mlt_factory_init")) return Seconds;
        if (dlsym(RTLD_DEFAULT, "avfilter_version")) return Milliseconds;
        return Seconds;
    }();
    return unit;
}

int32_t ShowFrameAt(double seconds, int32_t frameRate, int32_t length) {
    const int32_t last = length > 1 ? length - 1 : 0;
    if (!(seconds > 0.0)) return 0;  // negative, zero or not a number
    const double fps = frameRate == 2997   ? 30000.0 / 1001.0
                       : frameRate == 2397 ? 24000.0 / 1001.0
                                           : frameRate / 100.0;
    const double frame = std::floor(seconds * fps + 0.5);
    return frame >= static_cast<double>(last) ? last : static_cast<int32_t>(frame);
}

void ReportOnce(const std::string& path, const std::string& reason) {
    static std::mutex lock;
    static std::string last;
    std::string line =
        "kinevista: cannot show " + (path.empty() ? "(no show given)" : path) + ": " + reason;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::lock_guard<std::mutex> hold(lock);
    if (line == last) return;
    last = line;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

ShowSource::ShowSource(int32_t width, int32_t height) : m_width(width), m_height(height) {
    // The plug-in has no start-up of its own: the first instance installs the loading steps.
    static const bool stepsInstalled = (kv::SetShowLoadSteps(kv::RenderingShowLoadSteps()), true);
    (void)stepsInstalled;
    {
        // Each instance reads the settings file into a store of its own; nothing of it is
        // shared with other instances but the picture memory limit, the same for them all.
        kv::Settings settings;
        settings.Load();
        kv::SetPictureMemoryLimit(settings.ReadInt("PictureMemoryLimit", 0));
        m_show = std::make_unique<kv::Show>(settings);
    }
    // The length the command-line tools give a show: five minutes of frames.
    m_show->length = 5 * (m_show->FrameRate * 60 / 100);
    m_settingsDraft = m_show->DraftRender;
    m_valid = width >= 1 && width <= kv::MaxOutputSide && height >= 1 &&
              height <= kv::MaxOutputSide && m_frame.Create(width, height, 32);
}

bool ShowSource::LoadShowFile(std::string& reason) {
    kv::Show& show = *m_show;
    if (m_path.empty()) {
        reason = "no show file was given";
        return false;
    }
    std::string message;
    t_messages = &message;
    // Errors are shown (to the collector above) so that the reason can be told.
    show.ShowPicError = true;
    kv::ShowLoadError why = kv::ShowLoadError::None;
    const bool loaded = kv::LoadShow(show, m_path, false, &why);
    const int err = errno;
    t_messages = nullptr;
    if (!loaded) {
        switch (why) {
            case kv::ShowLoadError::Missing:
                reason = "no such file";
                break;
            case kv::ShowLoadError::CannotOpen:
                reason = std::strerror(err);
                break;
            default:
                reason = "not a show file";
        }
        return false;
    }
    if (show.pictureCount < 1) {
        reason = "the show holds no picture";
        return false;
    }
    if (show.lastLoadResult != 1) {
        reason = message.empty() ? std::string("its picture could not be loaded") : message;
        return false;
    }
    return true;
}

void ShowSource::UsePlaceholder() {
    kv::Show& show = *m_show;
    show.lastLoadResult = 2;  // the renderer draws the placeholder for this pair
    show.ShowPicError = false;
}

bool ShowSource::LoadIfChanged() {
    if (m_loaded && m_path == m_loadedPath) return m_loadedOk;
    m_loaded = true;
    m_loadedPath = m_path;
    std::string reason;
    m_loadedOk = LoadShowFile(reason);
    if (!m_loadedOk) {
        ReportOnce(m_path, reason);
        UsePlaceholder();
    }
    return m_loadedOk;
}

bool ShowSource::Load() {
    return LoadIfChanged();
}

void ShowSource::Resize(int32_t width, int32_t height) {
    if (width == m_width && height == m_height) return;
    m_width = width;
    m_height = height;
    m_valid = width >= 1 && width <= kv::MaxOutputSide && height >= 1 &&
              height <= kv::MaxOutputSide && m_frame.Create(width, height, 32);
}

void ShowSource::Render(double time, uint32_t* out) {
    if (!out || !m_valid) return;
    LoadIfChanged();
    const double unit = m_timeUnit > 0.0 ? m_timeUnit : DetectedHostTimeUnit();
    RenderShowFrame(ShowFrameAt(time * unit, m_show->FrameRate, m_show->length), out);
}

void ShowSource::RenderShowFrame(int32_t frame, uint32_t* out, kv::FrameScan* scan) {
    if (!out || !m_valid) return;
    LoadIfChanged();
    kv::Show& show = *m_show;
    show.DraftRender = m_settingsDraft || m_quality < 1.0;

    auto* bytes = reinterpret_cast<uint8_t*>(out);
    const size_t rowBytes = static_cast<size_t>(m_width) * 4;
    // The frame as `kinevista-cli render` describes it at this size: the show is never
    // stretched to a frame of another shape.
    const int32_t fieldMode = m_fields ? 3 : 0;
    const kv::OutputFrame described = kv::DescribeOutputFrame(
        show, m_width, m_height, fieldMode, static_cast<float>(show.FrameRate) / 100.0f, m_fill);
    if (scan) *scan = described.scan;
    if (!kv::RenderOutputFrame(show, &kv::RenderFrame, described, frame, fieldMode, true, &m_frame,
                               m_inner, false)) {
        // Nothing rendered: the host still gets a defined frame, the matte.
        for (size_t i = 0; i < rowBytes * static_cast<size_t>(m_height); i += 4) {
            bytes[i] = bytes[i + 1] = bytes[i + 2] = MatteLevel;
            bytes[i + 3] = 255;
        }
        return;
    }
    // The frame image stores its bottom row first, the host its top row first.
    for (int32_t r = 0; r < m_height; ++r)
        std::memcpy(bytes + rowBytes * r, m_frame.Row(m_height - 1 - r), rowBytes);
}

}  // namespace kvfrei0r
