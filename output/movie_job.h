// The movie job: the values of the "Make Movie Options" dialog turned into numbers, the choice
// of writer by file name, batch output names and the progress panel's time estimate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/picture/cdib.h"
#include "output/writer_state.h"
#include "platform/video/movie_writer.h"

namespace kv {

class Show;

// Writer types, chosen from the output name.
enum WriterType : int32_t {
    WriterAvi = 0,
    WriterDps = 100,
    WriterQuickTime = 200,
    WriterToaster = 300,
    // .mp4, .mkv and .webm through platform/video, the container following the extension.
    WriterPublish = 400,
};

// The dialog's nine values as texts (each at most 63 characters), with the settings they are
// kept in.
struct MovieOptionTexts {
    std::string width;    // "Width"            "MovieWid"
    std::string height;   // "Height"           "MovieHgt"
    std::string start;    // "Start Timecode"   "MovieStart"
    std::string end;      // "End Timecode"     (the show's end)
    std::string hold;     // "Head/Tail Holds"  "MovieHold"
    std::string fps;      // "FrameRate"        "MovieFPS"
    std::string quality;  // "@SQuality"        "MovieQuality"
    std::string fields;   // "@CRender Fields?" "MovieFields"
    std::string reverse;  // "@CReverse too?"   "MovieReverse"
};

constexpr int MaxOptionText = 63;

// The option dialog: its title, where it opens over the stage, and its nine items in order.
extern const char* const MovieOptionsTitle;  // "Make Movie Options"
constexpr int32_t MovieOptionsX = 50;
constexpr int32_t MovieOptionsY = 50;
constexpr int MovieOptionCount = 9;
extern const char* const MovieOptionItems[MovieOptionCount];
// The text of item i (0..8, in MovieOptionItems order).
std::string& MovieOptionText(MovieOptionTexts& texts, int i);
constexpr int32_t MaxMovieSide = 4096;

struct MovieJob {
    int32_t width = 0;
    int32_t height = 0;
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    int32_t holdFrames = 0;
    float frameRate = 0;
    int32_t quality = 0;
    int32_t fieldMode = 0;  // 3 (interlaced) or 0
    bool reverse = false;
    int32_t totalFrames = 0;
    int32_t writerType = WriterAvi;
    // The job's writers, made when its movies are written and handed down to the writer
    // functions.
    std::unique_ptr<MovieWriters> writers;
};

// Turns the texts into a job; `frameRate` (x 100) is the editor's, used to read timecodes.
// The writer type is left at AVI; WriterTypeFor sets it from the output name.
MovieJob MakeMovieJob(const MovieOptionTexts& texts, int32_t frameRate);
// Dialog frame rate text -> frames per second: above 60 is 60; zero, negative or not a number
// is 0.
float MovieFrameRate(const char* text);

// By the file name's extension (any case): ".dps" DPS, ".mov" QuickTime, ".rtv" Video Toaster,
// ".avi" AVI, ".mp4" ".mkv" ".webm" WriterPublish. A name with another extension or none: ".dps"
// anywhere in the path -> DPS, else ".mov" -> QuickTime, else ".rtv" -> Video Toaster, else AVI.
int32_t WriterTypeFor(const std::string& path);
// The extension of the path's file name, lower case with its dot ("" when it has none).
std::string MovieExtension(const std::string& path);
// Whether a movie can be written under this name: no extension, or one of .avi .mov .dps .rtv
// .mp4 .mkv .webm (any case). Anything else is refused rather than written as an AVI.
bool MovieExtensionWritable(const std::string& path);
// The message for a name whose extension cannot be written.
std::string UnwritableMovieMessage(const std::string& path);
// The container of a WriterPublish name (.mp4, .mkv or .webm).
MovieContainer PublishContainerFor(const std::string& path);
// The "MovieType" setting of a writer type: its first row's (0 AVI, 1 QuickTime, 2 DPS, 3 Video
// Toaster, 4 for .mp4, .mkv and .webm).
int32_t MovieTypeSetting(int32_t writerType);
// The "MovieType" setting for an output name (its container row's place): 0 AVI, 1 QuickTime,
// 2 DPS, 3 Video Toaster, 4 .mp4, 5 .mkv, 6 .webm.
int32_t MovieTypeSettingFor(const std::string& path);
// ".avi", ".dps", ".mov" or ".rtv" (".mp4" for WriterPublish; batch names keep the chosen
// name's own extension).
const char* WriterExtension(int32_t writerType);

// Save-dialog filter and default extension for a "MovieType" value.
struct MovieFileFilter {
    const char* filter;
    const char* extension;
};
MovieFileFilter MovieFilterFor(int32_t movieType);

// Folder of `chosen` + the show file's name (no folder, cut at its first ".") + "B" + the
// writer type's extension (for WriterPublish, the extension of `chosen`).
std::string BatchOutputName(const std::string& chosen, const std::string& showFile,
                            int32_t writerType);
// The folder part of a path including its last separator ("" when there is none).
std::string FolderOf(const std::string& path);

// The start frame of the show's last picture plus the time of that picture's last key.
int32_t ShowEndFrame(const Show& show);

// "Time to go: mm:ss" for a pass started at startTick (ms) that is `fraction` done at `now`;
// empty when there is no start tick or nothing is done yet.
std::string TimeToGoText(uint64_t startTick, uint64_t now, double fraction);
// "42%" for a fraction.
std::string PercentText(double fraction);

// The progress panel's layout for the editor to draw: the panel (light grey, raised bevel), the
// bar (green up to splitX, red after it, framed) and the three texts with their positions.
struct ProgressPanelLayout {
    Rect panel;
    Rect bar;
    int32_t splitX;
    std::string estimate;  // "Time to go: mm:ss" at (bar.left, bar.top - 18), may be empty
    int32_t estimateX, estimateY;
    int32_t textX, textY;  // the caller's text at (bar.left, bar.top - 30)
    std::string percent;   // at (bar.right + 4, panel.bottom - 22)
    int32_t percentX, percentY;
};
// The panel of the movie passes is the rectangle (24, 24, 264, 80) of the stage.
constexpr Rect MovieProgressRect{24, 24, 264, 80};
ProgressPanelLayout LayoutProgressPanel(const Rect& panel, double fraction, uint64_t startTick,
                                        uint64_t now);

// Spatial quality of the .mov compressor for a job quality 0..100.
int32_t SpatialQualityFor(int32_t quality);
// 16.16 fixed-point temporal frame rate of the .mov compressor.
int32_t TemporalRateFixed(float frameRate);
// AVI dwRate: trunc(rate x 100 + 0.5) (dwScale is 100).
int32_t AviRate(float frameRate);
// .mov media time scale: trunc(rate x 100); a frame lasts 100 units.
int32_t QtTimeScale(float frameRate);

// Four-character codes as numbers: AVI keeps the first character in the low byte, the .mov
// compressor type in the high byte. Texts are cut to four characters; missing characters are
// zero bytes, and zero bytes end the text again.
uint32_t FourccLowFirst(const std::string& text);
uint32_t FourccHighFirst(const std::string& text);
std::string FourccTextLowFirst(uint32_t code);
std::string FourccTextHighFirst(uint32_t code);

}  // namespace kv
