// kinevista-cli join with sound: a show with a click track rendered in 20 segments and joined
// plays every click within a millisecond of where the movie of one piece plays it, in every
// container that carries sound. The parts' own sound begins with the encoder's delay and ends
// padded to a whole sound frame; copied end to end, those samples pushed the sound later at
// every joint.
#include <gtest/gtest.h>

#include <algorithm>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tests/output/show_files.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/platform/video/sound_probe.h"
#include "tests/test_support.h"

namespace {

int Cli(const std::string& args, std::string* err = nullptr) {
    const std::string errFile = kvtest::TempDir("cli-join-err") + "/err.txt";
    const int rc = kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli " + args + " 2>'" +
                               errFile + "' >/dev/null");
    if (err) *err = kvtest::ReadFileBytes(errFile);
    return rc;
}

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

constexpr int SampleRate = 48000;
constexpr int FrameSamples = SampleRate / 25;  // one frame at 25 frames a second
constexpr int Parts = 20;
// How far a click of the joined movie may lie from the same click of the movie of one piece: a
// millisecond (the lossy coders may move a click's first loud sample by a few samples; a part's
// coder delay or padding copied at a joint is 312 to 1024 samples).
constexpr int64_t MaxDrift = SampleRate / 1000;

// A 16-bit stereo WAV of silence with a 3 ms click every 0.29 s from 0.13 s: irregular against
// the frame, so a click never sits on a joint by chance in every part.
void WriteClickTrack(const std::string& path, double seconds) {
    kvtest::Sound s;
    s.rate = SampleRate;
    s.channels = 2;
    const size_t n = static_cast<size_t>(SampleRate * seconds);
    s.samples.assign(n * 2, 0);
    for (double t = 0.13; t + 0.01 < seconds; t += 0.29) {
        const size_t at = static_cast<size_t>(t * SampleRate);
        for (size_t i = 0; i < 144; ++i) {
            const int16_t v = (i / 6) % 2 ? -20000 : 20000;
            s.samples[(at + i) * 2] = v;
            s.samples[(at + i) * 2 + 1] = v;
        }
    }
    // The sweep fixture writes the header; its samples are replaced by the clicks.
    kvtest::WriteSweepWav(path, SampleRate, 2, seconds);
    std::string bytes = kvtest::ReadFileBytes(path);
    bytes.replace(44, s.samples.size() * 2, reinterpret_cast<const char*>(s.samples.data()),
                  s.samples.size() * 2);
    kvtest::WriteFileBytes(path, bytes);
}

// Where each click of the decoded sound begins: the first loud sample 50 ms or more after the
// last loud one (the lossy coders smear a click over a few milliseconds, never 50).
std::vector<int64_t> ClickOnsets(const kvtest::Sound& s) {
    std::vector<int64_t> onsets;
    int64_t lastLoud = -SampleRate;
    for (size_t i = 0; i < s.Frames(); ++i) {
        if (std::abs(static_cast<int>(s.At(i, 0))) <= 8000) continue;
        if (static_cast<int64_t>(i) - lastLoud > SampleRate / 20)
            onsets.push_back(static_cast<int64_t>(i));
        lastLoud = static_cast<int64_t>(i);
    }
    return onsets;
}

class JoinSound : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir("cli-join-sound");
        const std::string wav = dir + "/clicks.wav";
        WriteClickTrack(wav, 12.0);
        show = kvtest::MakeShowFile(dir, "clicks", 250);
        kv::Show s;
        s.FrameRate = 2500;
        ASSERT_TRUE(kv::LoadShow(s, show, false));
        s.audio.SetPath(wav.c_str());
        ASSERT_TRUE(kv::SaveShow(s, show));
    }

    // The movie of one piece and the movie joined from Parts segments; the click onsets of
    // each, compared one by one.
    void ExpectClicksInStep(const std::string& ext) {
        const std::string options =
            "--size 64x48 --fps 25 --frame-rate 2500 --no-fields --hold 0:00:00:00";
        const std::string one = dir + "/one." + ext;
        std::string err;
        ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(one) + " " + options, &err), 0) << err;
        const int total = std::stoi(kvtest::ProbeVideo(one)["nb_read_frames"]);
        ASSERT_GT(total, 200);
        std::string parts;
        for (int i = 0; i < Parts; ++i) {
            const int first = total * i / Parts;
            const int last = total * (i + 1) / Parts - 1;
            const std::string part = dir + "/part" + std::to_string(i) + "." + ext;
            ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(part) + " " + options + " --frames " +
                              std::to_string(first) + "-" + std::to_string(last),
                          &err),
                      0)
                << err;
            parts += " " + Q(part);
        }
        const std::string joined = dir + "/joined." + ext;
        ASSERT_EQ(Cli("join " + Q(joined) + parts, &err), 0) << err;
        EXPECT_EQ(kvtest::ProbeVideo(joined)["nb_read_frames"], std::to_string(total));

        const std::vector<int64_t> want = ClickOnsets(kvtest::DecodeSound(one, SampleRate, 2));
        const std::vector<int64_t> got = ClickOnsets(kvtest::DecodeSound(joined, SampleRate, 2));
        // The show lasts 10 s: a click every 0.29 s.
        ASSERT_GE(want.size(), 30u) << ext;
        // Each click is sought in the joined sound near where the movie of one piece plays it.
        // A click that falls on a joint is left out: a lossy coder starting a part afresh
        // softens the part's first milliseconds, in each part alone as much as joined.
        std::vector<int> checkedPerPart(Parts, 0);
        int64_t worst = 0;
        for (int64_t w : want) {
            const int part = static_cast<int>(w / FrameSamples * Parts / total);
            const int64_t joint = static_cast<int64_t>(total) * part / Parts * FrameSamples;
            const int64_t nextJoint =
                static_cast<int64_t>(total) * (part + 1) / Parts * FrameSamples;
            if (w - joint < FrameSamples / 2 || nextJoint - w < FrameSamples / 2) continue;
            int64_t nearest = INT64_MAX;
            for (int64_t g : got)
                if (std::abs(g - w) < std::abs(nearest - w)) nearest = g;
            const int64_t drift = nearest == INT64_MAX ? INT64_MAX : std::abs(nearest - w);
            worst = std::max(worst, drift);
            EXPECT_LE(drift, MaxDrift)
                << ext << ": the click at " << w << " (part " << part << ") plays at " << nearest;
            if (part >= 0 && part < Parts) ++checkedPerPart[static_cast<size_t>(part)];
        }
        // Every part after a joint was measured.
        for (int part = 0; part < Parts; ++part)
            EXPECT_GT(checkedPerPart[static_cast<size_t>(part)], 0) << ext << " part " << part;
        // The joined sound lasts as long as the picture, as the movie of one piece does.
        const kvtest::Sound whole = kvtest::DecodeSound(joined, SampleRate, 2);
        EXPECT_NEAR(static_cast<double>(whole.Frames()), static_cast<double>(total) * FrameSamples,
                    2.0 * FrameSamples)
            << ext;
        RecordProperty(ext + "_worst_drift_samples", std::to_string(worst));
    }

    std::string dir, show;
};

TEST_F(JoinSound, Mp4ClicksStayInStepAtEveryJoint) {
    ExpectClicksInStep("mp4");
}

TEST_F(JoinSound, MatroskaAndWebmClicksStayInStepAtEveryJoint) {
    ExpectClicksInStep("mkv");
    ExpectClicksInStep("webm");
}

TEST_F(JoinSound, AviAndMovClicksStayInStepAtEveryJoint) {
    ExpectClicksInStep("avi");
    ExpectClicksInStep("mov");
}

}  // namespace
