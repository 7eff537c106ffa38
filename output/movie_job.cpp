// The movie job's values, names and small conversions.
#include "output/movie_job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/base/settings.h"  // TextToInt
#include "core/show/show.h"
#include "output/movie_writers.h"
#include "output/timecode.h"

namespace kv {

namespace {

int32_t Limit(int32_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

}  // namespace

const char* const MovieOptionsTitle = "Make Movie Options";
const char* const MovieOptionItems[MovieOptionCount] = {
    "Width",     "Height",    "Start Timecode",   "End Timecode",  "Head/Tail Holds",
    "FrameRate", "@SQuality", "@CRender Fields?", "@CReverse too?"};

std::string& MovieOptionText(MovieOptionTexts& t, int i) {
    switch (i) {
        case 0:
            return t.width;
        case 1:
            return t.height;
        case 2:
            return t.start;
        case 3:
            return t.end;
        case 4:
            return t.hold;
        case 5:
            return t.fps;
        case 6:
            return t.quality;
        case 7:
            return t.fields;
        default:
            return t.reverse;
    }
}

float MovieFrameRate(const char* text) {
    if (!text) return 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || std::isnan(v) || v <= 0) return 0;
    if (v > 60) return 60;
    return static_cast<float>(v);
}

MovieJob MakeMovieJob(const MovieOptionTexts& t, int32_t frameRate) {
    MovieJob j;
    j.width = Limit(TextToInt(t.width.c_str()), 0, MaxMovieSide);
    j.height = Limit(TextToInt(t.height.c_str()), 0, MaxMovieSide);
    TimecodeToFrames(t.start.c_str(), j.startFrame, frameRate);
    TimecodeToFrames(t.end.c_str(), j.endFrame, frameRate);
    TimecodeToFrames(t.hold.c_str(), j.holdFrames, frameRate);
    j.frameRate = MovieFrameRate(t.fps.c_str());
    j.quality = TextToInt(t.quality.c_str());
    j.fieldMode = t.fields.empty() ? 0 : 3;
    j.reverse = !t.reverse.empty();
    int64_t total = static_cast<int64_t>(j.endFrame) - j.startFrame + 2LL * j.holdFrames;
    if (j.reverse) total *= 2;
    j.totalFrames = static_cast<int32_t>(std::clamp<int64_t>(total, INT32_MIN, INT32_MAX));
    return j;
}

int32_t WriterTypeFor(const std::string& path) {
    return MovieRowFor(path).writerType;
}

std::string MovieExtension(const std::string& path) {
    const std::string name = path.substr(FolderOf(path).size());
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return ext;
}

bool MovieExtensionWritable(const std::string& path) {
    const std::string ext = MovieExtension(path);
    if (ext.empty()) return true;
    for (const MovieContainerRow& row : MovieContainerRows())
        if (ext == row.extension) return true;
    return false;
}

std::string UnwritableMovieMessage(const std::string& path) {
    return "Cannot make a movie named " + path.substr(FolderOf(path).size()) + ": \"" +
           MovieExtension(path) +
           "\" is not a movie type Kinevista writes (.avi, .mov, .mp4, .mkv, .webm, .dps or .rtv)";
}

MovieContainer PublishContainerFor(const std::string& path) {
    const MovieContainerRow& row = MovieRowFor(path);
    return row.writerType == WriterPublish ? row.container : MovieContainer::Mp4;
}

int32_t MovieTypeSettingFor(const std::string& path) {
    return MovieRowFor(path).movieType;
}

int32_t MovieTypeSetting(int32_t writerType) {
    for (const MovieContainerRow& row : MovieContainerRows())
        if (row.writerType == writerType) return row.movieType;
    return 0;
}

const char* WriterExtension(int32_t writerType) {
    for (const MovieContainerRow& row : MovieContainerRows())
        if (row.writerType == writerType) return row.extension;
    return MovieContainerRows().front().extension;
}

MovieFileFilter MovieFilterFor(int32_t movieType) {
    // The chosen type's entry first, then the others in "MovieType" order.
    const std::vector<MovieContainerRow>& rows = MovieContainerRows();
    static const std::vector<std::string> filters = [&rows] {
        std::vector<std::string> f(rows.size());
        for (size_t first = 0; first < rows.size(); ++first) {
            f[first] = rows[first].filter;
            for (size_t i = 0; i < rows.size(); ++i)
                if (i != first) f[first] += rows[i].filter;
            f[first] += "All Files *.*|*.*||";
        }
        return f;
    }();
    const MovieContainerRow& row = MovieRowForType(movieType);
    return {filters[static_cast<size_t>(row.movieType)].c_str(), row.extension};
}

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string BatchOutputName(const std::string& chosen, const std::string& showFile,
                            int32_t writerType) {
    std::string name = showFile.substr(FolderOf(showFile).size());
    size_t dot = name.find('.');
    if (dot != std::string::npos) name.resize(dot);
    const std::string ext =
        writerType == WriterPublish ? MovieExtension(chosen) : WriterExtension(writerType);
    return FolderOf(chosen) + name + "B" + ext;
}

int32_t ShowEndFrame(const Show& show) {
    return show.EndFrame();
}

std::string TimeToGoText(uint64_t startTick, uint64_t now, double fraction) {
    if (startTick == 0 || !(fraction > 0)) return {};
    const int64_t elapsed = static_cast<int64_t>(now - startTick);
    const int64_t total = static_cast<int64_t>(static_cast<double>(elapsed) / fraction);
    const int64_t remaining = static_cast<int64_t>(startTick) + total - static_cast<int64_t>(now);
    const int64_t r = remaining / 1000 + 1;
    char buf[48];
    std::snprintf(buf, sizeof buf, "Time to go: %02ld:%02ld", static_cast<long>(r / 60),
                  static_cast<long>(r % 60));
    return buf;
}

std::string PercentText(double fraction) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d%c", static_cast<int>(fraction * 100), '%');
    return buf;
}

ProgressPanelLayout LayoutProgressPanel(const Rect& panel, double fraction, uint64_t startTick,
                                        uint64_t now) {
    ProgressPanelLayout l;
    l.panel = panel;
    l.bar = Rect{panel.left + 8, panel.top + 34, panel.right - 48, panel.bottom - 8};
    l.splitX = l.bar.left + static_cast<int32_t>((l.bar.right - l.bar.left) * fraction);
    l.estimate = TimeToGoText(startTick, now, fraction);
    l.estimateX = l.bar.left;
    l.estimateY = l.bar.top - 18;
    l.textX = l.bar.left;
    l.textY = l.bar.top - 30;
    l.percent = PercentText(fraction);
    l.percentX = l.bar.right + 4;
    l.percentY = panel.bottom - 22;
    return l;
}

int32_t SpatialQualityFor(int32_t q) {
    if (q < 20) return 0;
    if (q < 40) return 0x100;
    if (q < 60) return 0x200;
    if (q < 80) return 0x300;
    return 0x3FF;
}

// The products below are taken in single precision, as the job's rate is a float: 29.97 x 100
// is then exactly 2997.
int32_t TemporalRateFixed(float frameRate) {
    return static_cast<int32_t>(static_cast<int64_t>(AviRate(frameRate)) * 65536 / 100);
}

int32_t AviRate(float frameRate) {
    const float v = frameRate * 100.0f + 0.5f;
    return v > 0 && v < 2.0e9f ? static_cast<int32_t>(v) : 0;
}

int32_t QtTimeScale(float frameRate) {
    const float v = frameRate * 100.0f;
    return v > 0 && v < 2.0e9f ? static_cast<int32_t>(v) : 0;
}

uint32_t FourccLowFirst(const std::string& text) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < text.size(); ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(text[i])) << (8 * i);
    return v;
}

uint32_t FourccHighFirst(const std::string& text) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < text.size(); ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(text[i])) << (8 * (3 - i));
    return v;
}

std::string FourccTextLowFirst(uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        if (!c) break;
        s += c;
    }
    return s;
}

std::string FourccTextHighFirst(uint32_t code) {
    std::string s;
    for (int i = 3; i >= 0; --i) {
        char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        if (!c) break;
        s += c;
    }
    return s;
}

}  // namespace kv
