// Timecode text: minutes, seconds and frames ("00:00:00"), or with hours in front for the
// viewer's timecode box. Shared by the movie options, the viewer and the timeline.
//
// Both conversions take the frame rate R as frames per second x 100 (2997, 2500, 2397). Whole
// frames per second are (R + 50) / 100; a minute is R x 60 / 100 frames when frames are shown
// but F x 60 when text is read, so at 29.97 and 23.976 a text read and shown again may change.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

// "mm:ss:ff" (short) or "hh:mm:ss:ff" (long); the separator before the frames is "." when n is
// negative.
std::string FramesToTimecode(int32_t frames, int32_t frameRate, bool longForm = false);

// Reads groups of one or two digits from the end of the text (frames, seconds, minutes, hours).
// A text without digits leaves `frames` unchanged. A leading "+" adds the previous value of
// `frames`; a leading "-" subtracts the result from it.
void TimecodeToFrames(const char* text, int32_t& frames, int32_t frameRate);

}  // namespace kv
