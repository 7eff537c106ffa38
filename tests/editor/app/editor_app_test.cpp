// The editor program: its command line, the start in both modes, the close sequence and the
// quit codes, the hand-back of the exchange file and the recovery copy, driven in process on the
// headless backend as a user would drive it (keys, menu commands, answered questions).
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/document/show_editing.h"
#include "tests/editor/app/editor_session.h"

using namespace kv;
using kvtest::Asked;
using kvtest::EditorSession;
using kvtest::ReadFileBytes;
using kvtest::WriteFileBytes;

namespace {

const std::string PictureFile = std::string(KV_FIXTURES) + "/pictures/bmp24.bmp";

// The keys of a show file as the editor's show reads them.
struct StoredKeys {
    int count = 0;
    KeyFrame keys[MaxKeysPerPicture] = {};
};
StoredKeys KeysOf(const std::string& path) {
    Show show;
    StoredKeys out;
    if (!LoadShow(show, path, false)) return out;
    out.count = show.pictures[0].keyCount;
    for (int i = 0; i < out.count; ++i) out.keys[i] = show.pictures[0].keys[i];
    return out;
}

}  // namespace

// --- Command line -------------------------------------------------------------------------------
TEST(CommandLine, HostMarkerGivesHostModeWithTheHostsRateAndLength) {
    const EditorCommandLine c = ReadCommandLine({"?2500,250"});
    EXPECT_TRUE(c.hostMode);
    EXPECT_TRUE(c.markerValid);
    EXPECT_EQ(c.frameRate, 2500);
    EXPECT_EQ(c.length, 250);
    EXPECT_TRUE(c.showPath.empty());
    // Numbers end at their first non-digit.
    const EditorCommandLine d = ReadCommandLine({"?2997x,300 frames"});
    EXPECT_TRUE(d.markerValid);
    EXPECT_EQ(d.frameRate, 2997);
    EXPECT_EQ(d.length, 300);
}

TEST(CommandLine, MalformedMarkersKeepHostModeWithTheDefaults) {
    for (const char* m : {"?", "?2500", "?,250", "?2500,", "?abc,250", "?0,250", "?2500,0",
                          "?-2500,250", "?2500,-1", "?99999999,250"}) {
        const EditorCommandLine c = ReadCommandLine({m});
        EXPECT_TRUE(c.hostMode) << m;
        EXPECT_FALSE(c.markerValid) << m;
        EXPECT_TRUE(c.showPath.empty()) << m;
    }
}

TEST(CommandLine, ShowPathsAreTakenAsTheyComeAndLoseOnlyWrappingQuotes) {
    EXPECT_EQ(ReadCommandLine({"/shows/harbour.kvx"}).showPath, "/shows/harbour.kvx");
    EXPECT_FALSE(ReadCommandLine({"/shows/harbour.kvx"}).hostMode);
    EXPECT_EQ(ReadCommandLine({"\"/my shows/harbour.kvx\""}).showPath, "/my shows/harbour.kvx");
    EXPECT_EQ(ReadCommandLine({"\"/shows/a.kvx"}).showPath, "\"/shows/a.kvx");
    EXPECT_EQ(ReadCommandLine({"/shows/what?.kvx"}).showPath, "/shows/what?.kvx");
    EXPECT_FALSE(ReadCommandLine({"/shows/what?.kvx"}).hostMode);
    EXPECT_EQ(ReadCommandLine({}).showPath, "");
    EXPECT_FALSE(ReadCommandLine({}).hostMode);
}

TEST(CommandLine, ShowLengthIsFiveMinutesOfFrames) {
    EXPECT_EQ(FiveMinutesOfFrames(2997), 8990);
    EXPECT_EQ(FiveMinutesOfFrames(2500), 7500);
    EXPECT_EQ(FiveMinutesOfFrames(2397), 7190);
}

// --- Start in both modes
// --------------------------------------------------------------------------
TEST_F(EditorSession, HostStartLoadsTheExchangeFileUnderTheBareTitle) {
    const std::string show = WriteShow("host.kvx", PictureFile, {0, 40, 80});
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(show));
    ASSERT_TRUE(Start({"?2500,250"}));
    EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista");
    EXPECT_TRUE(TheShow().hostMode);
    EXPECT_EQ(TheShow().FrameRate, 2500);
    EXPECT_EQ(TheShow().length, 250);
    EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
    EXPECT_EQ(TheShow().pictures[0].keys[2].time, 80);
    // No minimize box; the host's two File items in place of the movie commands.
    EXPECT_EQ(GetWindowStyle(MainHwnd()) & WS_MINIMIZEBOX, 0u);
    const HMENU bar = GetMenu(MainHwnd());
    EXPECT_EQ(GetMenuString(bar, CmdExit), "Apply Moves and Close\tCtrl+Q");
    EXPECT_EQ(GetMenuString(bar, CmdQuitDiscard), "Quit - DON'T Apply changes");
    for (int id : {CmdMakeMovie, CmdBatchRender, CmdMakeStill, CmdNtsc, CmdPal, CmdFilm})
        EXPECT_EQ(GetMenuState(bar, id), -1) << id;
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
}

TEST_F(EditorSession, StandAloneStartOpensTheNamedShowAndNamesTheWindow) {
    const std::string show = WriteShow("Harbour.Evening.kvx", PictureFile, {0, 60});
    ASSERT_TRUE(Start({show}));
    EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista - Harbour");
    EXPECT_FALSE(TheShow().hostMode);
    EXPECT_EQ(TheShow().length, 8990);
    EXPECT_EQ(TheShow().pictures[0].keyCount, 2);
    EXPECT_NE(GetWindowStyle(MainHwnd()) & WS_MINIMIZEBOX, 0u);
    const HMENU bar = GetMenu(MainHwnd());
    EXPECT_EQ(GetMenuString(bar, CmdMakeMovie), "Make Movie File\tCtrl+K");
    EXPECT_EQ(GetMenuString(bar, CmdBatchRender), "Batch Render Movies");
    EXPECT_EQ(GetMenuString(bar, CmdMakeStill), "Make Still Image\tCtrl+T");
    EXPECT_EQ(GetMenuString(bar, CmdExit), "Exit\tCtrl+Q");
    EXPECT_EQ(GetMenuState(bar, CmdQuitDiscard), -1);
    // A quoted path loads the same show.
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    ASSERT_TRUE(Start({"\"" + show + "\""}));
    EXPECT_EQ(TheShow().pictures[0].keyCount, 2);
}

TEST_F(EditorSession, MissingFilesStartAnEmptyShowWithoutAMessage) {
    ASSERT_TRUE(Start({dir + "/nothing-here.kvx"}));
    EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista");
    EXPECT_EQ(TheShow().pictureCount, 0);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    ASSERT_TRUE(Start({"?2997,300"}));  // no exchange file
    EXPECT_EQ(TheShow().pictureCount, 0);
    EXPECT_EQ(TheShow().length, 300);
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
}

// One application object holds a run: while it lives the code the window layer calls without a
// context reaches its session and copy; its main window and views work on that same session;
// its end hands both back.
TEST_F(EditorSession, TheApplicationObjectOwnsTheRunFromStartToEnd) {
    const std::string show = WriteShow("own.kvx", PictureFile, {0, 60});
    ASSERT_TRUE(Start({show}));
    kv::EditSession* const session = &app->Session();
    EXPECT_EQ(&kv::Session(), session);
    EXPECT_EQ(&kv::Recovery(), &app->Recovery());
    ASSERT_NE(app->Main(), nullptr);
    EXPECT_EQ(kv::MainWindow(), app->Main());
    EXPECT_EQ(&app->Main()->session, session);
    EXPECT_EQ(&app->Main()->recovery, &app->Recovery());
    ASSERT_TRUE(Main().stage && Main().timeline && Main().viewer);
    EXPECT_EQ(&Main().stage->session, session);
    EXPECT_EQ(&Main().timeline->session, session);
    // Each window holds its own object, which its procedure hands the window's messages.
    EXPECT_EQ(kv::GetWindowUserData(Main().stage->hwnd), Main().stage.get());
    EXPECT_EQ(kv::GetWindowUserData(MainHwnd()), app->Main());
    EXPECT_EQ(TheShow().pictures[0].keyCount, 2);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    // Finished: the windows and the show are gone, the session holds nothing.
    EXPECT_EQ(app->Main(), nullptr);
    EXPECT_EQ(kv::MainWindow(), nullptr);
    EXPECT_FALSE(app->Session().HasShow());
    EXPECT_EQ(&kv::Session(), session);  // until the object goes
    app.reset();
    EXPECT_NE(&kv::Session(), session);
    EXPECT_FALSE(kv::Session().HasShow());
    // A second run in the same process starts from nothing of the first.
    ASSERT_TRUE(Start({show}));
    EXPECT_EQ(&kv::Session(), &app->Session());
    EXPECT_EQ(TheShow().pictures[0].keyCount, 2);
    EXPECT_FALSE(TheShow().dirty);
}

TEST_F(EditorSession, SavingInHostModeKeepsTheTitleThePlugInWatches) {
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([this] { kv::headless::QueueFileAnswer({dir + "/copy.kvx"}); });
    Command(CmdSaveShow);
    Step([this] {
        // The plug-in knows its editor by this exact title; a changed one would end its wait.
        EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista");
        EXPECT_EQ(KeysOf(dir + "/copy.kvx").count, 2);
    });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
}

// --- Close sequence and quit codes
// ----------------------------------------------------------------
TEST_F(EditorSession, HostApplyWithCtrlQWritesTheEditedShowBack) {
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    ASSERT_TRUE(Start({"?2997,300"}));
    Char('\t');  // to the key at 60
    Step([this] {
        EXPECT_EQ(TheShow().currentFrame, 60);
        kv::Session().camera.x = 77;
    });
    KeyDown(VK_RETURN);
    Char(17);  // Ctrl+Q
    EXPECT_EQ(RunToEnd(), 0);
    const StoredKeys k = KeysOf(dir + "/kvdata.kvx");
    ASSERT_EQ(k.count, 2);
    EXPECT_EQ(k.keys[1].time, 60);
    EXPECT_FLOAT_EQ(k.keys[1].x, 77);
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());  // never a save question for the host
    EXPECT_FALSE(Recovery().Exists());
}

TEST_F(EditorSession, CtrlQTypedOnTheKeyboardAppliesWhenItsKeysArriveInOneBurst) {
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([] { kv::Session().camera.x = 88; });
    KeyDown(VK_RETURN);
    // Ctrl down, Q down and up, Ctrl up, all read before the first is translated.
    Step([] {
        kv::headless::KeyDown(VK_CONTROL);
        kv::headless::Key('Q');
        kv::headless::KeyUp(VK_CONTROL);
    });
    // Reached only when the editor is still open after the keys.
    Step([] {
        ADD_FAILURE() << "Ctrl+Q did not close the editor";
        kv::PostMessage(kv::MainWindow()->hwnd, WM_COMMAND, CmdQuitDiscard, 0);
    });
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_FLOAT_EQ(KeysOf(dir + "/kvdata.kvx").keys[0].x, 88);
}

TEST_F(EditorSession, HostDiscardLeavesTheExchangeFileUntouched) {
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    const std::string before = ReadFileBytes(dir + "/kvdata.kvx");
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([] { kv::Session().camera.x = 12; });
    KeyDown(VK_RETURN);
    Step([] { EXPECT_TRUE(Recovery().Exists()); });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
    EXPECT_EQ(ReadFileBytes(dir + "/kvdata.kvx"), before);
    EXPECT_FALSE(Recovery().Exists());
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
}

TEST_F(EditorSession, HostCloseBoxAndOkButtonApplyLikeTheMenu) {
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([] { kv::Session().camera.x = 55; });
    KeyDown(VK_RETURN);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_FLOAT_EQ(KeysOf(dir + "/kvdata.kvx").keys[0].x, 55);

    // The OK button in the status panel: press and release on it.
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([this] {
        const Rect c = Main().GetClientRect();
        const Rect ok = Main().okButton.Bounds();
        EXPECT_EQ(ok.left, c.left + 57);
        EXPECT_EQ(ok.top, c.bottom - 70);
        kv::headless::ClientClick(MainHwnd(), ok.left + 8, ok.top + 8);
    });
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(EditorSession, StandAloneCloseAsksOnlyWhenTheShowIsDirty) {
    const std::string show = WriteShow("s.kvx", PictureFile, {0, 60});
    ASSERT_TRUE(Start({show}));
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());

    ASSERT_TRUE(Start({show}));
    Step([] { kv::Session().camera.x = 31; });
    KeyDown(VK_RETURN);
    Step([this] {
        EXPECT_TRUE(TheShow().dirty);
        kv::headless::QueueMessageBoxAnswer(IDYES);
        kv::headless::QueueFileAnswer({dir + "/saved.kvx"});
    });
    Command(CmdExit);
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(Asked("Exit Application: Do you want to save this show?"));
    EXPECT_FLOAT_EQ(KeysOf(dir + "/saved.kvx").keys[0].x, 31);
}

TEST_F(EditorSession, MessagesWithoutARegisteredWindowAreDropped) {
    ASSERT_TRUE(Start({"?2997,300"}));
    // A thread message asking to discard is not for a window of the editor: dropped.
    Step([] { kv::PostMessage(nullptr, WM_COMMAND, CmdQuitDiscard, 0); });
    Step([] { EXPECT_NE(kv::MainWindow(), nullptr); });
    Command(CmdExit);
    EXPECT_EQ(RunToEnd(), 0);
}

// --- Recovery copy
// --------------------------------------------------------------------------------
TEST_F(EditorSession, RecoveryCopyFollowsKeyEditsAndGoesWithASave) {
    const std::string show = WriteShow("r.kvx", PictureFile, {0, 60});
    ASSERT_TRUE(Start({show}));
    const std::string copy = dir + "/Kinevista-recovery.kvx";
    EXPECT_EQ(Recovery().Path(), copy);
    Step([&] { EXPECT_FALSE(Recovery().Exists()); });
    Step([] { kv::Session().camera.x = 150; });
    KeyDown(VK_RETURN);
    Step([&] {
        ASSERT_TRUE(Recovery().Exists());
        EXPECT_FLOAT_EQ(KeysOf(copy).keys[0].x, 150);
        EXPECT_TRUE(TheShow().dirty);  // writing the copy does not count as a save
    });
    Char(19);  // Ctrl+S: the show has a file, so it is written without a dialog
    Step([&] {
        EXPECT_FALSE(Recovery().Exists());
        EXPECT_FALSE(TheShow().dirty);
        EXPECT_FLOAT_EQ(KeysOf(show).keys[0].x, 150);
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
}

TEST_F(EditorSession, HostRecoveryCopyIsPerExchangeFileAndNeverTouchesIt) {
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    const std::string before = ReadFileBytes(dir + "/kvdata.kvx");
    ASSERT_TRUE(Start({"?2997,300"}));
    EXPECT_EQ(Recovery().Path(), dir + "/kvdata-recovery.kvx");
    Step([] { kv::Session().camera.x = 99; });
    KeyDown(VK_RETURN);
    Step([&] {
        EXPECT_TRUE(Recovery().Exists());
        EXPECT_EQ(ReadFileBytes(dir + "/kvdata.kvx"), before);
    });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
}

namespace {

// Runs an editor in a child process that edits the key at 60 and is then killed with SIGKILL.
// Returns true when the child died of the signal after its recovery copy was written.
bool EditAndKill(const std::vector<std::string>& args, float x) {
    const pid_t pid = fork();
    if (pid == 0) {
        kv::EditorApp app(kv::ReadCommandLine(args));
        if (!app.Start()) _exit(2);
        kv::headless::Script([] { kv::headless::Type("\t"); });
        kv::headless::Script([x] { kv::Session().camera.x = x; });
        kv::headless::Script([] { kv::headless::Key(VK_RETURN); });
        kv::headless::Script([] {
            if (Recovery().Exists()) kill(getpid(), SIGKILL);
            _exit(3);
        });
        app.Run(true);
        _exit(4);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace

TEST_F(EditorSession, KilledEditorOffersTheRecoveredShowOnTheNextStart) {
    const std::string show = WriteShow("crash.kvx", PictureFile, {0, 60});
    WriteFileBytes(dir + "/Kinevista.ini", settings);
    ASSERT_TRUE(EditAndKill({show}, 321));
    EXPECT_FLOAT_EQ(KeysOf(show).keys[1].x, 110);  // the show file itself was never saved

    kv::headless::QueueMessageBoxAnswer(IDYES);
    ASSERT_TRUE(Start({show}));
    EXPECT_TRUE(Asked("Kinevista: Recover the unsaved show?"));
    ASSERT_EQ(TheShow().pictures[0].keyCount, 2);
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 321);
    EXPECT_TRUE(TheShow().dirty);
    // The recovered show still belongs to its file: the quick save writes it there.
    EXPECT_STREQ(TheShow().showFile.path, show.c_str());
    EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista - crash");
    Char(19);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_FLOAT_EQ(KeysOf(show).keys[1].x, 321);
    EXPECT_FALSE(Recovery().Exists());
}

TEST_F(EditorSession, DecliningTheRecoveredShowRemovesTheCopy) {
    const std::string show = WriteShow("crash.kvx", PictureFile, {0, 60});
    WriteFileBytes(dir + "/Kinevista.ini", settings);
    ASSERT_TRUE(EditAndKill({show}, 222));
    ASSERT_EQ(access((dir + "/Kinevista-recovery.kvx").c_str(), F_OK), 0);

    kv::headless::QueueMessageBoxAnswer(IDNO);
    ASSERT_TRUE(Start({show}));
    EXPECT_TRUE(Asked("Kinevista: Recover the unsaved show?"));
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 110);
    EXPECT_FALSE(TheShow().dirty);
    EXPECT_FALSE(Recovery().Exists());
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(EditorSession, KilledHostRunIsRecoveredWithoutTouchingTheExchangeFile) {
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(WriteShow("h.kvx", PictureFile, {0, 60})));
    const std::string before = ReadFileBytes(dir + "/kvdata.kvx");
    WriteFileBytes(dir + "/Kinevista.ini", settings);
    ASSERT_TRUE(EditAndKill({"?2997,300"}, 444));
    EXPECT_EQ(ReadFileBytes(dir + "/kvdata.kvx"), before);

    kv::headless::QueueMessageBoxAnswer(IDYES);
    ASSERT_TRUE(Start({"?2997,300"}));
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 444);
    EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista");
    EXPECT_EQ(ReadFileBytes(dir + "/kvdata.kvx"), before);
    Command(CmdExit);
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_FLOAT_EQ(KeysOf(dir + "/kvdata.kvx").keys[1].x, 444);
}

// --- Every way out keeps unsaved work -----------------------------------------------------------
namespace {

// An editor in a child process that edits the key at 60 and then, its copy written, lives on
// until it is killed: the run is alive and holds its copy. Returns the child's pid (-1 failed).
pid_t EditAndStayAlive(const std::vector<std::string>& args, float x) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        kv::EditorApp app(kv::ReadCommandLine(args));
        if (!app.Start()) _exit(2);
        kv::headless::Script([] { kv::headless::Type("\t"); });
        kv::headless::Script([x] { kv::Session().camera.x = x; });
        kv::headless::Script([] { kv::headless::Key(VK_RETURN); });
        kv::headless::Script([fd = ready[1]] {
            const char ok = Recovery().Exists() ? 1 : 0;
            if (write(fd, &ok, 1) != 1) _exit(5);
            for (;;) pause();
        });
        app.Run(true);
        _exit(4);
    }
    close(ready[1]);
    char ok = 0;
    const bool told = read(ready[0], &ok, 1) == 1;
    close(ready[0]);
    return told && ok == 1 ? pid : -1;
}

void Kill(pid_t pid) {
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

// The copies in the folder, by name.
int CopiesIn(const std::string& dir) {
    int n = 0;
    for (const char* name : {"Kinevista-recovery.kvx", "Kinevista-recovery-2.kvx",
                             "Kinevista-recovery-3.kvx", "Kinevista-recovery-4.kvx"})
        n += access((dir + "/" + name).c_str(), F_OK) == 0;
    return n;
}

}  // namespace

TEST_F(EditorSession, ClosingTheViewerEndsTheEditorAndKeepsTheWorkForTheNextStart) {
    const std::string show = WriteShow("viewer.kvx", PictureFile, {0, 60});
    ASSERT_TRUE(Start({show}));
    Char('\t');
    Step([] { kv::Session().camera.x = 150; });
    KeyDown(VK_RETURN);
    Step([this] { kv::PostMessage(Main().viewer->hwnd, WM_CLOSE, 0, 0); });
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());  // the viewer asks nothing
    EXPECT_FLOAT_EQ(KeysOf(show).keys[1].x, 110);
    ASSERT_EQ(CopiesIn(dir), 1);

    // A start without a file offers it, naming its show.
    kv::headless::QueueMessageBoxAnswer(IDYES);
    ASSERT_TRUE(Start({}));
    EXPECT_TRUE(Asked("Kinevista: Recover the unsaved show?\n\n" + show));
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 150);
    EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista - viewer");
    Char(19);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_FLOAT_EQ(KeysOf(show).keys[1].x, 150);
    EXPECT_EQ(CopiesIn(dir), 0);
}

TEST_F(EditorSession, YesThenCancelInTheSaveDialogKeepsTheWork) {
    const std::string show = WriteShow("esc.kvx", PictureFile, {0, 60});
    ASSERT_TRUE(Start({show}));
    Char('\t');
    Step([] { kv::Session().camera.x = 160; });
    KeyDown(VK_RETURN);
    Step([] {
        kv::headless::QueueMessageBoxAnswer(IDYES);
        kv::headless::QueueFileCancel();
    });
    Char(17);  // Ctrl+Q
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(Asked("Exit Application: Do you want to save this show?"));
    EXPECT_FLOAT_EQ(KeysOf(show).keys[1].x, 110);
    ASSERT_EQ(CopiesIn(dir), 1);

    kv::headless::QueueMessageBoxAnswer(IDYES);
    ASSERT_TRUE(Start({show}));
    EXPECT_TRUE(Asked("Kinevista: Recover the unsaved show?"));
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 160);
    // No to the save question at the end is the one answer that lets the work go.
    Step([] { kv::headless::QueueMessageBoxAnswer(IDNO); });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(CopiesIn(dir), 0);
}

TEST_F(EditorSession, ANewShowAfterACancelledSaveLeavesTheOldShowsCopy) {
    const std::string show = WriteShow("old.kvx", PictureFile, {0, 60});
    ASSERT_TRUE(Start({show}));
    Char('\t');
    Step([] { kv::Session().camera.x = 170; });
    KeyDown(VK_RETURN);
    Step([] {
        kv::headless::QueueMessageBoxAnswer(IDYES);
        kv::headless::QueueFileCancel();
    });
    Command(CmdNewShow);
    Step([this] { EXPECT_EQ(TheShow().pictureCount, 0); });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    ASSERT_EQ(CopiesIn(dir), 1);
    kv::headless::QueueMessageBoxAnswer(IDYES);
    ASSERT_TRUE(Start({show}));
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 170);
}

TEST_F(EditorSession, LoadShowOffersTheWorkAKilledRunLeft) {
    const std::string show = WriteShow("crash.kvx", PictureFile, {0, 60});
    const std::string other = WriteShow("other.kvx", PictureFile, {0, 30});
    WriteFileBytes(dir + "/Kinevista.ini", settings);
    ASSERT_TRUE(EditAndKill({show}, 321));
    // Another show's start is not offered it.
    ASSERT_TRUE(Start({other}));
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
    Step([&] {
        kv::headless::QueueFileAnswer({show});
        kv::headless::QueueMessageBoxAnswer(IDYES);
    });
    Command(CmdLoadShow);
    Step([&] {
        EXPECT_TRUE(Asked("Kinevista: Recover the unsaved show?"));
        EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 321);
        EXPECT_TRUE(TheShow().dirty);
        EXPECT_STREQ(TheShow().showFile.path, show.c_str());
        EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista - crash");
    });
    Char(19);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_FLOAT_EQ(KeysOf(show).keys[1].x, 321);
    EXPECT_EQ(CopiesIn(dir), 0);
}

TEST_F(EditorSession, ALiveRunsCopyIsNeverOfferedNorRemovedByAnotherRun) {
    const std::string show = WriteShow("shared.kvx", PictureFile, {0, 60});
    WriteFileBytes(dir + "/Kinevista.ini", settings);
    const pid_t first = EditAndStayAlive({show}, 333);
    ASSERT_GT(first, 0);
    // The second editor on the same show: nothing offered; its own work in a copy of its own,
    // which its No lets go while the first one's stays.
    ASSERT_TRUE(Start({show}));
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 110);
    Char('\t');
    Step([] { kv::Session().camera.x = 444; });
    KeyDown(VK_RETURN);
    Step([this] { EXPECT_EQ(CopiesIn(dir), 2); });
    Step([] { kv::headless::QueueMessageBoxAnswer(IDNO); });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(CopiesIn(dir), 1);
    // A start without a file while the first still runs: nothing to offer either.
    kv::headless::ClearMessageBoxTexts();
    ASSERT_TRUE(Start({}));
    EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
    Close();
    EXPECT_EQ(RunToEnd(), 0);

    // The first editor dies: the third start offers its work.
    Kill(first);
    kv::headless::QueueMessageBoxAnswer(IDYES);
    ASSERT_TRUE(Start({show}));
    EXPECT_TRUE(Asked("Kinevista: Recover the unsaved show?"));
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 333);
}

TEST_F(EditorSession, AStartWithoutAFileOffersEveryLeftCopyAndNoRemovesOnlyThatOne) {
    const std::string a = WriteShow("a.kvx", PictureFile, {0, 60});
    const std::string b = WriteShow("b.kvx", PictureFile, {0, 60});
    WriteFileBytes(dir + "/Kinevista.ini", settings);
    ASSERT_TRUE(EditAndKill({a}, 201));
    ASSERT_TRUE(EditAndKill({b}, 202));
    ASSERT_EQ(CopiesIn(dir), 2);
    kv::headless::QueueMessageBoxAnswer(IDNO);
    kv::headless::QueueMessageBoxAnswer(IDYES);
    ASSERT_TRUE(Start({}));
    const std::vector<std::string> asked = kv::headless::MessageBoxTexts();
    ASSERT_EQ(asked.size(), 2u);
    const std::string head = "Kinevista: Recover the unsaved show?\n\n";
    const bool bFirst = asked[0] == head + b;
    EXPECT_EQ(asked[bFirst ? 1 : 0], head + a);
    EXPECT_EQ(asked[bFirst ? 0 : 1], head + b);
    // The second one asked came back; the declined one is gone.
    const std::string& loaded = bFirst ? a : b;
    EXPECT_STREQ(TheShow().showFile.path, loaded.c_str());
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, bFirst ? 201 : 202);
    EXPECT_EQ(CopiesIn(dir), 1);
}

TEST_F(EditorSession, ARecoveredShowFindsItsPictureInItsOwnFolder) {
    // The picture stored by a relative name, kept beside the show in a folder that is not the
    // program's working folder.
    ASSERT_EQ(mkdir((dir + "/shows").c_str(), 0700), 0);
    WriteFileBytes(dir + "/shows/beside.bmp", ReadFileBytes(PictureFile));
    const std::string show = WriteShow("shows/rel.kvx", "beside.bmp", {0, 60});
    WriteFileBytes(dir + "/Kinevista.ini", settings);
    ASSERT_TRUE(EditAndKill({show}, 250));
    kv::headless::QueueMessageBoxAnswer(IDYES);
    ASSERT_TRUE(Start({}));
    EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 250);
    EXPECT_GT(TheShow().image.Width(), 0);
    for (const std::string& t : kv::headless::MessageBoxTexts())
        EXPECT_EQ(t.find("graphics file"), std::string::npos) << t;
    EXPECT_STREQ(TheShow().pictures[0].fileSpec.path, "beside.bmp");
}

// --- Settings shared with another editor --------------------------------------------------------
TEST_F(EditorSession, SettingsAnotherEditorSavedSurviveThisOnesChangesAndExit) {
    ASSERT_TRUE(Start({}));
    Command(CmdMultiProcess);
    // Another editor, which loaded the file at its own start, changes a menu setting and saves.
    Step([this] {
        EXPECT_TRUE(SettingsFileHas("MultiProcess=1"));
        kv::Settings other;
        other.Load(dir + "/Kinevista.ini");
        other.WriteInt("DraftRender", 1);
        ASSERT_TRUE(other.Save());
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(SettingsFileHas("MultiProcess=1"));
    EXPECT_TRUE(SettingsFileHas("DraftRender=1"));

    // A key this run never touched keeps what the other program saved last.
    ASSERT_TRUE(Start({}));
    Step([this] {
        kv::Settings other;
        other.Load(dir + "/Kinevista.ini");
        other.WriteInt("CenterPic", 1);
        ASSERT_TRUE(other.Save());
    });
    Command(CmdMultiProcess);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(SettingsFileHas("CenterPic=1")) << SettingsFile();
    EXPECT_TRUE(SettingsFileHas("MultiProcess=1")) << SettingsFile();
}

// --- A settings folder that cannot be written -------------------------------------------------
TEST_F(EditorSession, AReadOnlySettingsFolderIsSaidOnceAndTheEditorWorksOn) {
    const std::string show = WriteShow("ro.kvx", PictureFile, {0, 60});
    WriteFileBytes(dir + "/Kinevista.ini", settings + "MultiProcess=1\r\n");
    // A read-only mount: root ignores file modes, not a read-only file system.
    if (kvtest::Run("mount --bind '" + dir + "' '" + dir + "' 2>/dev/null && mount -o " +
                    "remount,ro,bind '" + dir + "' 2>/dev/null") != 0) {
        kvtest::Run("umount '" + dir + "' 2>/dev/null");
        GTEST_SKIP() << "a read-only bind mount needs the right to mount";
    }
    struct Unmount {
        std::string dir;
        ~Unmount() { kvtest::Run("umount '" + dir + "'"); }
    } unmount{dir};
    ASSERT_TRUE(StartWith({show}));
    const std::vector<std::string> said = kv::headless::MessageBoxTexts();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(UnwritableFolderMessage(dir)), std::string::npos) << said[0];
    // The settings it read are in force; edits, a menu setting and a close work on.
    EXPECT_EQ(kv::Session().Store().ReadInt("MultiProcess", 0), 1);
    Char('\t');
    Step([] { kv::Session().camera.x = 123; });
    KeyDown(VK_RETURN);
    Command(CmdMultiProcess);
    Step([this] {
        EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 123);
        EXPECT_EQ(kv::headless::MessageBoxTexts().size(), 1u);  // nothing more was said
        kv::headless::QueueMessageBoxAnswer(IDNO);
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(kv::headless::MessageBoxTexts().size(), 2u);  // the save question
    EXPECT_TRUE(SettingsFileHas("MultiProcess=1"));         // the file as it was
}

// --- The key limit ------------------------------------------------------------------------------
TEST_F(EditorSession, EnterAndPasteAtTheKeyLimitSaySoAndLeaveTheCamera) {
    std::vector<int> times;
    for (int k = 0; k < 63; ++k) times.push_back(10 * k);
    const std::string show = WriteShow("full.kvx", PictureFile, times);
    ASSERT_TRUE(Start({show}));
    Step([] {
        kv::Session().GoToFrame(635, true);
        kv::Session().camera.x = 321;
    });
    KeyDown(VK_RETURN);
    Step([this] {
        EXPECT_TRUE(Asked(KeyLimitMessage));
        EXPECT_EQ(TheShow().pictures[0].keyCount, 63);
        EXPECT_FLOAT_EQ(kv::Session().camera.x, 321);  // not snapped back
        EXPECT_FALSE(TheShow().dirty);
        kv::headless::ClearMessageBoxTexts();
        // Copy key 5, then paste it where there is no room.
        TheShow().selectedKey = 5;
    });
    Command(CmdCopy);
    Step([] { kv::Session().TheShow().selectedKey = -1; });
    Command(CmdPaste);
    Step([this] {
        EXPECT_TRUE(Asked(KeyLimitMessage));
        for (int k = 0; k < 63; ++k)
            EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[k].x, 100 + 10.0f * k) << k;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

// --- A show file changed on disk by another program ------------------------------------------
TEST_F(EditorSession, SavingOverAShowAnotherProgramChangedAsksFirst) {
    const std::string show = WriteShow("shared.kvx", PictureFile, {0, 60});
    ASSERT_TRUE(Start({show}));
    Char('\t');
    Step([] { kv::Session().camera.x = 150; });
    KeyDown(VK_RETURN);
    // Another program (the command-line tool) rewrites the show meanwhile.
    Step([this] { WriteShow("shared.kvx", PictureFile, {0, 30, 90}, 500); });
    // Ctrl+S asks; Cancel writes nothing and keeps the work.
    Step([] { kv::headless::QueueMessageBoxAnswer(IDCANCEL); });
    Char(19);
    Step([&] {
        ASSERT_EQ(kv::headless::MessageBoxTexts().size(), 1u);
        EXPECT_NE(kv::headless::MessageBoxTexts()[0].find("changed on disk"), std::string::npos);
        EXPECT_EQ(KeysOf(show).count, 3);
        EXPECT_TRUE(TheShow().dirty);
        // No: saved under another name, both versions kept.
        kv::headless::QueueMessageBoxAnswer(IDNO);
        kv::headless::QueueFileAnswer({dir + "/mine.kvx"});
    });
    Char(19);
    Step([&] {
        EXPECT_EQ(KeysOf(show).count, 3);
        EXPECT_FLOAT_EQ(KeysOf(show).keys[0].x, 500);
        EXPECT_EQ(KeysOf(dir + "/mine.kvx").count, 2);
        EXPECT_FLOAT_EQ(KeysOf(dir + "/mine.kvx").keys[1].x, 150);
        EXPECT_FALSE(TheShow().dirty);
        EXPECT_STREQ(TheShow().showFile.path, (dir + "/mine.kvx").c_str());
    });
    // The file this run saved itself is written again without a question.
    Step([] { kv::Session().camera.x = 160; });
    KeyDown(VK_RETURN);
    Step([] { kv::headless::ClearMessageBoxTexts(); });
    Char(19);
    Step([&] {
        EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
        EXPECT_FLOAT_EQ(KeysOf(dir + "/mine.kvx").keys[1].x, 160);
        // Changed again behind its back: Yes writes over it.
        WriteShow("mine.kvx", PictureFile, {0, 40}, 700);
        kv::Session().camera.x = 170;
    });
    KeyDown(VK_RETURN);
    Step([] { kv::headless::QueueMessageBoxAnswer(IDYES); });
    Char(19);
    Step([&] {
        EXPECT_EQ(kv::headless::MessageBoxTexts().size(), 1u);
        EXPECT_FLOAT_EQ(KeysOf(dir + "/mine.kvx").keys[1].x, 170);
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}
