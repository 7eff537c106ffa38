// A scripted MovieHost and a frame painter for the movie command tests.
#pragma once

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/picture/cdib.h"
#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_host.h"
#include "output/movie_settings.h"
#include "output/movie_writers.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/test_support.h"

namespace kvtest {

// Paints the whole frame with its number: blue the low byte, green the high byte, red the field
// mode, alpha 255. A frame is then recognised in a decoded movie by its first pixel.
inline bool PaintFrameNumber(kv::Show&, int32_t frame, int32_t fieldMode, bool, int32_t w,
                             int32_t h, kv::CDIB* out, bool) {
    if (!out || out->Width() != w || out->Height() != h || out->BitCount() != 32) return false;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = out->Row(y);
        for (int x = 0; x < w; ++x) {
            row[4 * x] = static_cast<uint8_t>(frame & 0xFF);
            row[4 * x + 1] = static_cast<uint8_t>((frame >> 8) & 0xFF);
            row[4 * x + 2] = static_cast<uint8_t>(fieldMode * 10);
            row[4 * x + 3] = 255;
        }
    }
    return true;
}

inline bool FailingRenderer(kv::Show&, int32_t, int32_t, bool, int32_t, int32_t, kv::CDIB*, bool) {
    return false;
}

class ScriptedHost : public kv::MovieHost {
public:
    bool MovieOptions(kv::MovieOptionTexts& t) override {
        if (edit) edit(t);
        seenOptions = t;
        return acceptOptions;
    }
    bool ChooseOutputFile(const kv::FileRequest& r, std::string& path) override {
        lastRequest = r;
        path = output;
        return !output.empty();
    }
    bool ChooseShowFiles(const kv::FileRequest&, std::vector<std::string>& f) override {
        f = files;
        return !files.empty();
    }
    bool ChooseAviCompressor(std::string& codec, int32_t&) override {
        ++aviAsked;
        if (!aviCodec.empty()) codec = aviCodec;
        return acceptCompressor;
    }
    bool ChooseQtCompressor(std::string& codec, int32_t& spatial, int32_t& temporal) override {
        ++qtAsked;
        qtSpatial = spatial;
        qtTemporal = temporal;
        qtCodecOffered = codec;
        if (!qtCodec.empty()) codec = qtCodec;
        return acceptCompressor;
    }
    void ShowProgress(double, const char* text, uint64_t) override { progress.push_back(text); }
    bool TakeKeyDown(bool anyKey) override {
        ++polls;
        if (!anyKey && escAtFramePoll >= 0 && framePolls++ == escAtFramePoll) return true;
        if (anyKey && keyAtHoldPoll >= 0 && holdPolls++ == keyAtHoldPoll) return true;
        return false;
    }
    void FrameShown(int32_t frame) override { shown.push_back(frame); }
    void ShowViewer(bool visible) override { (visible ? viewerShown : viewerHidden)++; }
    void Beep() override { ++beeps; }
    kv::FrameRenderFn Renderer() override { return renderer ? renderer : MovieHost::Renderer(); }

    std::function<void(kv::MovieOptionTexts&)> edit;
    kv::MovieOptionTexts seenOptions;
    bool acceptOptions = true;
    bool acceptCompressor = true;
    std::string output;
    std::vector<std::string> files;
    kv::FileRequest lastRequest;
    std::string aviCodec, qtCodec, qtCodecOffered;
    int32_t qtSpatial = -1, qtTemporal = -1;
    int aviAsked = 0, qtAsked = 0, polls = 0, beeps = 0, viewerShown = 0, viewerHidden = 0;
    int escAtFramePoll = -1, framePolls = 0, keyAtHoldPoll = -1, holdPolls = 0;
    std::vector<std::string> progress;
    std::vector<int32_t> shown;
    kv::FrameRenderFn renderer = PaintFrameNumber;
};

// Options for a small movie: width x height, fps text, start/end/hold timecodes, no fields.
inline std::function<void(kv::MovieOptionTexts&)> Options(int w, int h, const char* fps,
                                                          const char* start, const char* end,
                                                          const char* hold = "00:00:00",
                                                          bool reverse = false) {
    return [=](kv::MovieOptionTexts& t) {
        t.width = std::to_string(w);
        t.height = std::to_string(h);
        t.fps = fps;
        t.start = start;
        t.end = end;
        t.hold = hold;
        t.quality = "100";
        t.fields = "";
        t.reverse = reverse ? "1" : "";
    };
}

// The byte offset of a frame's centre pixel in a decoded movie: a frame of another shape than
// the show's holds the show in its middle, matte around it.
inline size_t CentrePixel(int w, int h) {
    return (size_t(h / 2) * w + w / 2) * 4;
}

// The frame numbers of a decoded movie of PaintFrameNumber frames.
inline std::vector<int> FrameNumbers(const std::string& path, int w, int h) {
    std::string bytes = DecodeBgra(path);
    std::vector<int> out;
    const size_t frame = size_t(w) * h * 4;
    const size_t centre = CentrePixel(w, h);
    for (size_t at = 0; at + frame <= bytes.size(); at += frame)
        out.push_back(uint8_t(bytes[at + centre]) | uint8_t(bytes[at + centre + 1]) << 8);
    return out;
}

inline std::vector<int> Range(int from, int to) {  // inclusive, either direction
    std::vector<int> v;
    for (int i = from;; i += from <= to ? 1 : -1) {
        v.push_back(i);
        if (i == to) break;
    }
    return v;
}

inline std::vector<int> Concat(std::vector<std::vector<int>> parts) {
    std::vector<int> v;
    for (auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

// The movie command as the editor runs it: the kept values from the test program's store (the
// process's), and what the job decided written back there.
// The compressors a test program keeps between its movies, as a program does.
inline kv::CompressorChoices& KeptCompressors() {
    static kv::CompressorChoices kept;
    return kept;
}

inline bool MakeMovieWithStore(kv::Show& show, kv::MovieHost& host, bool batch) {
    kv::MovieSettings kept = kv::MovieSettingsFrom(kv::TheSettings());
    kept.compressors = &KeptCompressors();
    const bool made = kv::MakeMovie(show, host, batch, kept);
    kv::StoreMovieSettings(kept, kv::TheSettings());
    return made;
}

inline bool MakeStillWithStore(kv::Show& show, kv::MovieHost& host) {
    return kv::MakeStill(show, host, kv::MovieSettingsFrom(kv::TheSettings()));
}

// Puts the process-wide movie state back to a known start.
inline void FreshMovieState() {
    kv::TheSettings().WriteString("CodecType", "");
    kv::TheSettings().WriteString("MovieWid", "720");
    kv::TheSettings().WriteInt("MovieType", 0);
    KeptCompressors() = kv::CompressorChoices{};
    unsetenv("KINEVISTA_DISABLE_MOV");
}

}  // namespace kvtest
