// Requests from outside to end the editor (SIGTERM, SIGHUP, SIGINT), driven in process on the
// headless backend: the signal is raised from inside the main loop and from inside local loops
// (a question, playback, a movie being written); each must end the loop with the outside quit
// code, keep a dirty show in the recovery copy and leave the exchange file alone.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "platform/os/stop_signals.h"
#include "tests/editor/app/editor_session.h"

using namespace kv;
using kvtest::Asked;
using kvtest::EditorSession;
using kvtest::ReadFileBytes;
using kvtest::WriteFileBytes;

namespace {

const std::string PictureFile = std::string(KV_FIXTURES) + "/pictures/bmp24.bmp";

float FirstKeyX(const std::string& path) {
    Show show;
    return LoadShow(show, path, false) ? show.pictures[0].keys[0].x : -1;
}

class EndRequest : public EditorSession {
protected:
    void SetUp() override {
        EditorSession::SetUp();
        // No forced end: the test process must outlive a failing case.
        WatchForEndRequests(0);
    }
    void TearDown() override {
        EditorSession::TearDown();
        os::StopWatchingSignals();
        kv::headless::UseLayerDialogs(false);
    }
    // A key edit that makes the show dirty: the stage's camera moved and Enter.
    void EditKey(float x) {
        Step([x] { kv::Session().camera.x = x; });
        KeyDown(VK_RETURN);
        Step([this] { ASSERT_TRUE(TheShow().dirty); });
    }
    // A process takes one request; the next case in the same test starts afresh, without the
    // close sequence's own quit message that followed the request.
    void Rearm() {
        os::StopWatchingSignals();
        kvtest::DrainQueue();
        WatchForEndRequests(0);
    }
    std::string Copy() const { return dir + "/Kinevista-recovery.kvx"; }
    bool CopyExists() const { return access(Copy().c_str(), F_OK) == 0; }
};

}  // namespace

TEST_F(EndRequest, EachSignalEndsTheLoopAndADirtyShowIsOfferedBackAtTheNextStart) {
    const std::string show = WriteShow("s.kvx", PictureFile, {0, 60});
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(sig);
        ASSERT_TRUE(Start({show}));
        EditKey(137);
        Step([sig] { raise(sig); });
        EXPECT_EQ(RunToEnd(), QuitRequestedFromOutside);
        // Never the save question: nobody is there to answer it.
        EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
        EXPECT_FLOAT_EQ(FirstKeyX(show), 100);  // the show file itself is not saved
        ASSERT_TRUE(CopyExists());
        EXPECT_FLOAT_EQ(FirstKeyX(Copy()), 137);

        kv::headless::QueueMessageBoxAnswer(IDYES);
        ASSERT_TRUE(Start({show}));
        EXPECT_TRUE(Asked("Kinevista: Recover the unsaved show?"));
        EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[0].x, 137);
        EXPECT_TRUE(TheShow().dirty);
        Char(19);  // Ctrl+S saves it where it belongs
        Close();
        EXPECT_EQ(RunToEnd(), 0);
        EXPECT_FLOAT_EQ(FirstKeyX(show), 137);
        EXPECT_FALSE(CopyExists());
        WriteShow("s.kvx", PictureFile, {0, 60});
        kv::headless::ClearMessageBoxTexts();
        Rearm();
    }
}

TEST_F(EndRequest, AnUnchangedShowLeavesNoCopy) {
    const std::string show = WriteShow("s.kvx", PictureFile, {0, 60});
    const std::string before = ReadFileBytes(show);
    ASSERT_TRUE(Start({show}));
    Step([] { raise(SIGTERM); });
    EXPECT_EQ(RunToEnd(), QuitRequestedFromOutside);
    EXPECT_FALSE(CopyExists());
    EXPECT_EQ(ReadFileBytes(show), before);
    // The next start has nothing to offer.
    ASSERT_TRUE(Start({show}));
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(EndRequest, HostRunKeepsItsCopyAndNeverWritesTheExchangeFile) {
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    const std::string before = ReadFileBytes(dir + "/kvdata.kvx");
    ASSERT_TRUE(Start({"?2997,300"}));
    EditKey(61);
    Step([] { raise(SIGHUP); });
    EXPECT_EQ(RunToEnd(), QuitRequestedFromOutside);
    EXPECT_EQ(ReadFileBytes(dir + "/kvdata.kvx"), before);
    EXPECT_FLOAT_EQ(FirstKeyX(dir + "/kvdata-recovery.kvx"), 61);
}

TEST_F(EndRequest, ARequestDuringAnApplyStillLeavesTheExchangeFileToTheHost) {
    // Ctrl+Q has posted its quit, and the signal comes before the loop has read it: the host
    // that asked for the end decides, so nothing is handed back.
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    const std::string before = ReadFileBytes(dir + "/kvdata.kvx");
    ASSERT_TRUE(Start({"?2997,300"}));
    EditKey(62);
    Step([] {
        raise(SIGTERM);
        // The watcher has reported once the request is known.
        while (os::StopSignal() == 0) usleep(1000);
        kv::PostQuitMessage(0);
    });
    RunToEnd();
    EXPECT_EQ(ReadFileBytes(dir + "/kvdata.kvx"), before);
    EXPECT_FLOAT_EQ(FirstKeyX(dir + "/kvdata-recovery.kvx"), 62);
}

TEST_F(EndRequest, LocalLoopsEndToo) {
    const std::string show = WriteShow("s.kvx", PictureFile, {0, 60});
    // The layer's own question on closing a dirty show: its modal loop is running.
    kv::headless::UseLayerDialogs(true);
    ASSERT_TRUE(Start({show}));
    EditKey(140);
    Close();
    Step([] { raise(SIGTERM); });
    EXPECT_EQ(RunToEnd(), QuitRequestedFromOutside);
    EXPECT_FLOAT_EQ(FirstKeyX(show), 100);
    EXPECT_FLOAT_EQ(FirstKeyX(Copy()), 140);
    kv::headless::UseLayerDialogs(false);
    Rearm();

    // Playback: the viewer's loop runs until it is stopped.
    ASSERT_TRUE(Start({show}));
    EditKey(141);
    Step([] { kv::MainWindow()->viewer->Play(1); });
    // This step runs from inside the playback loop's own pump.
    Step([] {
        EXPECT_EQ(kv::MainWindow()->viewer->playDirection, 1);
        raise(SIGTERM);
    });
    EXPECT_EQ(RunToEnd(), QuitRequestedFromOutside);
    EXPECT_FLOAT_EQ(FirstKeyX(Copy()), 141);
}

TEST_F(EndRequest, ALostDisplayKeepsOnlyADirtyShow) {
    // What the window layer calls from its I/O error handler: a copy for a dirty show, and
    // nothing else (the process ends right after).
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    const std::string before = ReadFileBytes(dir + "/kvdata.kvx");
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([this, before] {
        KeepShowOnLostDisplay();
        EXPECT_NE(access((dir + "/kvdata-recovery.kvx").c_str(), F_OK), 0);
        // A change the copy has not seen yet: it is written there and then.
        TheShow().pictures[0].keys[0].x = 77;
        TheShow().dirty = true;
        KeepShowOnLostDisplay();
        EXPECT_FLOAT_EQ(FirstKeyX(dir + "/kvdata-recovery.kvx"), 77);
        EXPECT_EQ(ReadFileBytes(dir + "/kvdata.kvx"), before);
    });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
}

TEST_F(EndRequest, AMovieBeingWrittenStopsAsEscStopsItAndStaysPlayable) {
    const std::string example = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"MovieWid", "160"},
                                     {"MovieHgt", "120"},
                                     {"MovieStart", "00:00:00:00"},
                                     {"MovieHold", "00:00:00:00"},
                                     {"MovieFPS", "25"},
                                     {"MovieFields", ""},
                                     {"MovieReverse", ""},
                                     {"CodecType", ""}})
        Setting(key, value);
    const std::string show = WriteShow("m.kvx", example, {0, 600, 1200});
    ASSERT_TRUE(Start({show}));
    EditKey(150);
    Step([this] { kv::headless::QueueFileAnswer({dir + "/cut.avi"}); });
    Command(CmdMakeMovie);
    KeyDown(VK_RETURN);  // the movie options
    KeyDown(VK_RETURN);  // the compressor
    // Each frame looks at its queue once: a few frames go by, then the request.
    for (int i = 0; i < 6; ++i) Step([] {});
    Step([this] {
        EXPECT_TRUE(Main().busy);
        raise(SIGTERM);
    });
    EXPECT_EQ(RunToEnd(), QuitRequestedFromOutside);
    EXPECT_FLOAT_EQ(FirstKeyX(Copy()), 150);
    // The frames written so far, closed as a movie a player reads to its end.
    std::string probe;
    ASSERT_EQ(kvtest::Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                          "stream=width,height,nb_read_frames -of csv=p=0 '" +
                              dir + "/cut.avi'",
                          &probe),
              0);
    ASSERT_EQ(probe.rfind("160,120,", 0), 0u) << probe;
    const int frames = std::atoi(probe.substr(8).c_str());
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 1201);
}
