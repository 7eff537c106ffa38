// One instance of the frei0r source: a show file rendered frame by frame at the host's size.
//
// The host's size is an output frame (output/output_frame.h) as `kinevista-cli render` draws
// it: at 720 x 480, 720 x 486 and 720 x 576 the show keeps the non-square pixels those frames
// were always drawn with; at any other size the pixels are square and a show of another shape
// is drawn whole in a centred inner frame with matte bars, or, with "fill", the camera takes
// the frame's shape.
//
// An instance holds its own show, loaded when the "show" value changes (hosts such as MLT set
// every value before every frame, so an unchanged path never reloads), the settings the public
// settings file held when the instance was made, and a frame image of the host's size. A show
// that cannot be shown (missing, not a show, no picture, a picture that cannot be read) renders
// the placeholder frame and is reported once on standard error. Instances share nothing that
// they write, so hosts may render several at once on their own threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/picture/cdib.h"
#include "core/show/show.h"
#include "output/output_frame.h"

namespace kvfrei0r {

// Host time units: frei0r's interface says seconds and MLT passes seconds; FFmpeg's wrapper
// passes whole milliseconds.
constexpr double Seconds = 1.0;
constexpr double Milliseconds = 0.001;

// The unit of the process that loaded the plug-in: milliseconds inside a program that carries
// FFmpeg's filter library and not MLT, seconds everywhere else.
double DetectedHostTimeUnit();

// The show frame at `seconds`: the nearest frame at the show's rate (frames per second x 100,
// 2997 and 2397 taken as the NTSC rates 30000/1001 and 24000/1001), held within 0..length-1.
int32_t ShowFrameAt(double seconds, int32_t frameRate, int32_t length);

class ShowSource {
public:
    // Reads the settings file; Valid() is false when the frame image cannot be made.
    ShowSource(int32_t width, int32_t height);
    bool Valid() const { return m_valid; }

    void SetShowPath(const char* path) { m_path = path ? path : ""; }
    const std::string& ShowPath() const { return m_path; }
    void SetFields(bool on) { m_fields = on; }
    bool Fields() const { return m_fields; }
    void SetQuality(double quality) { m_quality = quality; }
    double Quality() const { return m_quality; }
    // Seconds per host time unit; 0 takes the detected unit.
    void SetTimeUnit(double unit) { m_timeUnit = unit; }
    double TimeUnit() const { return m_timeUnit; }
    // Whether the camera takes the frame's shape instead of the show being matted in it.
    void SetFill(bool on) { m_fill = on; }
    bool Fill() const { return m_fill; }

    // Renders the frame at host time `time` into `out`: width x height pixels of four bytes
    // (blue, green, red, alpha), top row first.
    void Render(double time, uint32_t* out);

    // Hosts that count frames themselves (MLT's own producer) use these. A new size keeps the
    // show; Valid() tells whether the frame image of that size could be made.
    void Resize(int32_t width, int32_t height);
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    // Loads the show when its path changed; false when it cannot be shown (reported once, the
    // placeholder is rendered instead).
    bool Load();
    // The show as loaded (its frame rate and end frame), or the settings' new show.
    const kv::Show& LoadedShow() const { return *m_show; }
    // Renders show frame `frame` as Render does; `scan`, when given, receives how the frame was
    // drawn (progressive, or the order of its two fields).
    void RenderShowFrame(int32_t frame, uint32_t* out, kv::FrameScan* scan = nullptr);

private:
    bool LoadIfChanged();
    bool LoadShowFile(std::string& reason);
    void UsePlaceholder();

    int32_t m_width;
    int32_t m_height;
    bool m_valid = false;
    std::string m_path;
    bool m_fields = false;
    double m_quality = 1.0;
    double m_timeUnit = 0.0;
    bool m_fill = false;

    std::unique_ptr<kv::Show> m_show;
    bool m_loaded = false;  // m_loadedPath has been tried
    bool m_loadedOk = false;
    std::string m_loadedPath;
    bool m_settingsDraft = false;
    kv::CDIB m_frame{8, 8, 32};
    kv::CDIB m_inner{0, 0, 32};  // the matted frame's inner part between frames
};

// Writes "kinevista: cannot show PATH: REASON" on standard error, once for a run of the same
// line from any instance (MLT makes one instance per thread, each of which meets the failure).
void ReportOnce(const std::string& path, const std::string& reason);

}  // namespace kvfrei0r
