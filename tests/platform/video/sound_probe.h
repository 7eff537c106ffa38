// Sound fixtures and read-back for the movie sound tests: a WAV sweep written here, a movie's
// sound stream probed and decoded by ffprobe/ffmpeg, and the comparisons the tests make.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace kvtest {

// Interleaved 16-bit samples.
struct Sound {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
    int16_t At(size_t frame, int channel) const { return samples[frame * channels + channel]; }
};

// A rising sine sweep (100 Hz to 3 kHz) of `seconds`; the second channel sweeps down, so a
// swap of the channels shows. Written as a 16-bit PCM WAV file.
inline Sound WriteSweepWav(const std::string& path, int rate, int channels, double seconds) {
    Sound s;
    s.rate = rate;
    s.channels = channels;
    const size_t n = static_cast<size_t>(rate * seconds);
    s.samples.resize(n * channels);
    const double pi = 3.14159265358979323846;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double up = 100 * t + (2900 / (2 * seconds)) * t * t;
        const double down = 3000 * t - (2900 / (2 * seconds)) * t * t;
        s.samples[i * channels] = static_cast<int16_t>(std::lround(12000 * std::sin(2 * pi * up)));
        if (channels > 1)
            s.samples[i * channels + 1] =
                static_cast<int16_t>(std::lround(9000 * std::sin(2 * pi * down)));
    }
    std::string b;
    auto u32 = [&b](uint32_t v) {
        for (int k = 0; k < 4; ++k) b += static_cast<char>(v >> (8 * k));
    };
    auto u16 = [&b](uint16_t v) {
        b += static_cast<char>(v);
        b += static_cast<char>(v >> 8);
    };
    const uint32_t bytes = static_cast<uint32_t>(s.samples.size() * 2);
    b += "RIFF";
    u32(36 + bytes);
    b += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * channels * 2));
    u16(static_cast<uint16_t>(channels * 2));
    u16(16);
    b += "data";
    u32(bytes);
    b.append(reinterpret_cast<const char*>(s.samples.data()), bytes);
    WriteFileBytes(path, b);
    return s;
}

// ffprobe's view of the first sound stream (codec_name, sample_rate, channels), empty when the
// movie has none.
inline std::map<std::string, std::string> ProbeSound(const std::string& path) {
    std::string out;
    Run("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels "
        "-of default=nw=1 '" +
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

// The movie's first sound stream decoded by ffmpeg at its own rate and channel count.
inline Sound DecodeSound(const std::string& path, int rate, int channels) {
    Sound s;
    s.rate = rate;
    s.channels = channels;
    const std::string raw = path + ".s16";
    if (Run("ffmpeg -v error -y -i '" + path + "' -map 0:a:0 -f s16le -acodec pcm_s16le -ar " +
            std::to_string(rate) + " -ac " + std::to_string(channels) + " '" + raw + "'") != 0)
        return s;
    const std::string bytes = ReadFileBytes(raw);
    std::remove(raw.c_str());
    s.samples.resize(bytes.size() / 2);
    std::memcpy(s.samples.data(), bytes.data(), s.samples.size() * 2);
    return s;
}

// Pearson correlation of one channel of a (from frame aFrom) and b (from frame bFrom) over n
// frames.
inline double Correlation(const Sound& a, size_t aFrom, const Sound& b, size_t bFrom, size_t n,
                          int channel) {
    if (aFrom + n > a.Frames() || bFrom + n > b.Frames() || n == 0) return 0;
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = 0; i < n; ++i) {
        const double x = a.At(aFrom + i, channel), y = b.At(bFrom + i, channel);
        sa += x;
        sb += y;
        saa += x * x;
        sbb += y * y;
        sab += x * y;
    }
    const double cov = sab - sa * sb / n, va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return va > 0 && vb > 0 ? cov / std::sqrt(va * vb) : 0;
}

// The largest magnitude of any sample of frames [from, to).
inline int Peak(const Sound& s, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from * s.channels; i < to * s.channels && i < s.samples.size(); ++i)
        peak = std::max(peak, std::abs(static_cast<int>(s.samples[i])));
    return peak;
}

// Whether frames [from, from + n) of a equal frames [bFrom, bFrom + n) of b exactly.
inline bool SameSamples(const Sound& a, size_t from, const Sound& b, size_t bFrom, size_t n) {
    if (a.channels != b.channels || from + n > a.Frames() || bFrom + n > b.Frames()) return false;
    return std::memcmp(a.samples.data() + from * a.channels, b.samples.data() + bFrom * b.channels,
                       n * a.channels * 2) == 0;
}

}  // namespace kvtest
