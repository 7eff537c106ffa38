// Reading movies back with FFmpeg's command-line tools, for the movie writer tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "tests/test_support.h"

namespace kvtest {

// ffprobe's view of the first video stream: key=value fields (codec_name, codec_tag_string,
// width, height, r_frame_rate, time_base, nb_read_frames, pix_fmt).
inline std::map<std::string, std::string> ProbeVideo(const std::string& path) {
    std::string out;
    Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,codec_tag_string,width,height,r_frame_rate,time_base,nb_read_frames,"
        "pix_fmt -of default=nw=1 '" +
            path + "'",
        &out);
    std::map<std::string, std::string> fields;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

// Every frame decoded by ffmpeg as top-down BGRA rows, one after the other.
inline std::string DecodeBgra(const std::string& path) {
    const std::string raw = path + ".bgra";
    if (Run("ffmpeg -v error -y -i '" + path + "' -f rawvideo -pix_fmt bgra '" + raw + "'") != 0)
        return {};
    std::string bytes = ReadFileBytes(raw);
    std::remove(raw.c_str());
    return bytes;
}

// A rational "a/b" as a number.
inline double Ratio(const std::string& text) {
    size_t slash = text.find('/');
    if (slash == std::string::npos) return std::atof(text.c_str());
    double den = std::atof(text.c_str() + slash + 1);
    return den == 0 ? 0 : std::atof(text.substr(0, slash).c_str()) / den;
}

inline uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

}  // namespace kvtest
