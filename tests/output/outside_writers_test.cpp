// The DPS and Video Toaster writers against fake outside libraries that log their calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_writers.h"
#include "output/outside_libraries.h"
#include "tests/output/movie_test_support.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

// The words of a log line.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

class OutsideWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::FreshMovieState();
        dir = kvtest::TempDir("outside");
        log = dir + "/calls.log";
        setenv("KV_FAKE_LOG", log.c_str(), 1);
        setenv("KINEVISTA_LIB_PATH", (dir + "/empty:" KV_FAKE_LIB_DIR).c_str(), 1);
        unsetenv("KV_FAKE_FAIL");
        show.FrameRate = 2997;
    }
    void TearDown() override {
        unsetenv("KV_FAKE_LOG");
        unsetenv("KV_FAKE_FAIL");
        unsetenv("KINEVISTA_LIB_PATH");
    }
    std::vector<std::string> Calls() { return Lines(kvtest::ReadFileBytes(log)); }
    // The sequence of operation names in the log.
    std::vector<std::string> Ops() {
        std::vector<std::string> ops;
        for (const std::string& l : Calls()) ops.push_back(Words(l).at(0));
        return ops;
    }

    std::string dir, log;
    kv::Show show;
    kvtest::ScriptedHost host;
    kvtest::AlertRecorder alerts;
};

std::vector<std::string> Repeat(std::vector<std::string> unit, int n) {
    std::vector<std::string> v;
    for (int i = 0; i < n; ++i) v.insert(v.end(), unit.begin(), unit.end());
    return v;
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> v;
    for (auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

TEST_F(OutsideWriterTest, DpsNtscCallsInOrder) {
    host.edit = kvtest::Options(720, 486, "29.97", "00:00:00", "00:00:03", "00:00:01");
    host.output = dir + "/clip.dps";
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_EQ(Ops(), Join({{"CreateMjpgOut", "SetQuality", "CreateDpsOut5"},
                           Repeat({"Compress", "Write"}, 1 + 3 + 1),
                           {"Release", "Finish"}}));
    auto calls = Calls();
    EXPECT_EQ(calls[0], "CreateMjpgOut 525 0x3332");
    EXPECT_EQ(calls[1], "SetQuality 10000");
    // Path, TV lines, total frames (3 + 2 holds), 4.
    EXPECT_EQ(calls[2], "CreateDpsOut5 " + host.output + " 525 5 4");
    // Each frame: 720 x 486 x 4 bytes in, the compressed count out.
    auto compress = Words(calls[3]);
    EXPECT_EQ(compress[1], "1399680");
    EXPECT_EQ(Words(calls[4])[1], "139968");
    // The bytes are the frame's pixel block from its bottom row: frame 0 painted.
    kv::CDIB frame(720, 486, 32);
    kvtest::PaintFrameNumber(show, 0, 0, true, 720, 486, &frame, true);
    unsigned long sum = 0;
    for (long i = 0; i < 1399680; ++i) sum = sum * 31 + frame.Bits()[i];
    EXPECT_EQ(compress[2], std::to_string(sum));
    EXPECT_EQ(kv::TheSettings().ReadInt("MovieType", -1), 2);
    // The fake file maker wrote every compressed frame.
    EXPECT_EQ(kvtest::ReadFileBytes(host.output).size(), 5u * 139968);
}

TEST_F(OutsideWriterTest, DpsPalUsesSixHundredTwentyFiveLines) {
    show.FrameRate = 2500;
    host.edit = kvtest::Options(720, 576, "25", "00:00:00", "00:00:02");
    host.edit = [](kv::MovieOptionTexts& t) {
        kvtest::Options(720, 576, "25", "00:00:00", "00:00:02")(t);
        t.quality = "40";
    };
    host.output = dir + "/pal.dps";
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, false));
    auto calls = Calls();
    EXPECT_EQ(calls[0], "CreateMjpgOut 625 0x3332");
    EXPECT_EQ(calls[1], "SetQuality 4000");
    EXPECT_EQ(calls[2], "CreateDpsOut5 " + host.output + " 625 2 4");
    EXPECT_EQ(Words(calls[3])[1], "1658880");
}

TEST_F(OutsideWriterTest, DpsFrameSizeIsChecked) {
    // 486 lines are required at 29.97: 480 fails before any library is loaded.
    host.edit = kvtest::Options(720, 480, "29.97", "00:00:00", "00:00:02");
    host.output = dir + "/wrong.dps";
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_TRUE(Calls().empty());
    // 576 lines only at exactly 25.
    host.edit = kvtest::Options(720, 576, "29.97", "00:00:00", "00:00:02");
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_EQ(alerts.texts,
              (std::vector<std::string>{"Error Opening Movie File", "Error Opening Movie File"}));
}

TEST_F(OutsideWriterTest, DpsFrameBytesFollowTheImageNotTheEditorRate) {
    // The editor at 25 fps but an NTSC job: each frame is still 720 x 486 x 4 bytes, never
    // 576 lines read from a 486-line image.
    show.FrameRate = 2500;
    host.edit = kvtest::Options(720, 486, "29.97", "00:00:00", "00:00:01");
    host.output = dir + "/mixed.dps";
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, false));
    auto calls = Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(Words(calls[3])[0], "Compress");
    EXPECT_EQ(Words(calls[3])[1], "1399680");
}

TEST_F(OutsideWriterTest, DpsFailures) {
    host.edit = kvtest::Options(720, 486, "29.97", "00:00:00", "00:00:03");
    host.output = dir + "/f.dps";
    for (const char* op : {"CreateMjpgOut", "SetQuality", "CreateDpsOut5"}) {
        setenv("KV_FAKE_FAIL", op, 1);
        std::remove(log.c_str());
        alerts.texts.clear();
        EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false)) << op;
        EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Opening Movie File"}) << op;
        // Whatever was made is released again.
        auto ops = Ops();
        const bool madeEncoder = std::string(op) != "CreateMjpgOut";
        EXPECT_EQ(std::count(ops.begin(), ops.end(), "Release"), madeEncoder ? 1 : 0) << op;
        EXPECT_EQ(std::count(ops.begin(), ops.end(), "Finish"), 0) << op;
    }
    // A failed write stops the pass; the movie is finished and the job is not called a success.
    setenv("KV_FAKE_FAIL", "Write", 1);
    std::remove(log.c_str());
    alerts.texts.clear();
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_EQ(Ops(), (std::vector<std::string>{"CreateMjpgOut", "SetQuality", "CreateDpsOut5",
                                               "Compress", "Write", "Release", "Finish"}));
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Writing Movie File"});
    // An encoder that claims more bytes than its output buffer holds is not believed.
    setenv("KV_FAKE_FAIL", "Oversize", 1);
    std::remove(log.c_str());
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false));
    auto ops = Ops();
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "Write"), 0);
}

TEST_F(OutsideWriterTest, DpsLibrariesMissing) {
    setenv("KINEVISTA_LIB_PATH", (dir + "/nothing").c_str(), 1);
    host.edit = kvtest::Options(720, 486, "29.97", "00:00:00", "00:00:02");
    host.output = dir + "/missing.dps";
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Opening Movie File"});
    EXPECT_TRUE(Calls().empty());
}

TEST_F(OutsideWriterTest, ToasterCallsWithFrameNumbersAndContext) {
    host.edit = kvtest::Options(64, 48, "29.97", "00:00:00", "00:00:03", "00:00:01");
    host.output = dir + "/clip.rtv";
    ASSERT_TRUE(kvtest::MakeMovieWithStore(show, host, false));
    auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u + 5 + 1);
    EXPECT_EQ(calls[0], "VTOpen " + host.output + " 64 48 32");
    // The context record starts with the path; frames are numbered by the writer's counter.
    for (int i = 0; i < 5; ++i) {
        auto w = Words(calls[1 + i]);
        EXPECT_EQ(w[0], "VTWrite");
        EXPECT_EQ(w[1], host.output);
        EXPECT_EQ(w[2], std::to_string(i));
        EXPECT_EQ(w[3], "64");
        EXPECT_EQ(w[4], "48");
    }
    // Head hold and frame 0 carry the same pixels; frame 1 differs.
    EXPECT_EQ(Words(calls[1])[5], Words(calls[2])[5]);
    EXPECT_NE(Words(calls[2])[5], Words(calls[3])[5]);
    EXPECT_EQ(calls[6], "VTClose " + host.output);
    EXPECT_EQ(kv::TheSettings().ReadInt("MovieType", -1), 3);
    EXPECT_EQ(kvtest::ReadFileBytes(host.output).size(), 5u * 64 * 48 * 4);
}

TEST_F(OutsideWriterTest, ToasterFailures) {
    host.edit = kvtest::Options(64, 48, "29.97", "00:00:00", "00:00:03");
    host.output = dir + "/f.rtv";
    setenv("KV_FAKE_FAIL", "VTOpen", 1);
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Opening Movie File"});
    // A failed open still closes through the library.
    EXPECT_EQ(Ops(), (std::vector<std::string>{"VTOpen", "VTClose"}));

    setenv("KV_FAKE_FAIL", "VTWrite", 1);
    std::remove(log.c_str());
    alerts.texts.clear();
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_EQ(Ops(), (std::vector<std::string>{"VTOpen", "VTWrite", "VTClose"}));
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"Error Writing Movie File"});
}

TEST_F(OutsideWriterTest, ToasterLibraryMissing) {
    unsetenv("KINEVISTA_LIB_PATH");
    host.edit = kvtest::Options(64, 48, "29.97", "00:00:00", "00:00:02");
    host.output = dir + "/missing.rtv";
    EXPECT_FALSE(kvtest::MakeMovieWithStore(show, host, false));
    EXPECT_EQ(alerts.texts, (std::vector<std::string>{"RtvBridge.dll is not installed!",
                                                      "Error Opening Movie File"}));
    // The writer entry points alone report the same results.
    kv::CDIB image(64, 48, 32);
    alerts.texts.clear();
    kv::MovieWriters writers;
    EXPECT_FALSE(
        kv::OpenMovie(writers, kv::WriterToaster, true, dir + "/x.rtv", image, 29.97f, 100, 0));
    EXPECT_FALSE(kv::WriteMovieFrame(writers, -1, image));
    EXPECT_TRUE(kv::CloseMovie(writers));
    EXPECT_EQ(alerts.texts, std::vector<std::string>{"RtvBridge.dll is not installed!"});
}

}  // namespace
