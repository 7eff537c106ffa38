// The main window driven as a user drives it: its menus and their check marks from the settings
// file, the commands and what they leave in the show and the settings file, the Edit-menu
// greying, the zoom sequences, the status panel's clicks and info line, the keyboard tables,
// the quick save, Load Picture with Match Moves, and movies and stills made from the editor.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "core/picture/cdib.h"
#include "editor/resources/resources.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/views/stage.h"
#include "output/movie_job.h"
#include "platform/codecs/more_codecs.h"
#include "platform/os/shell_open.h"
#include "tests/editor/app/editor_session.h"

using namespace kv;
using kvtest::Asked;
using kvtest::EditorSession;
using kvtest::ReadFileBytes;
using kvtest::WriteFileBytes;

namespace {

const std::string Example = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";

bool Checked(int id) {
    return (GetMenuState(GetMenu(kv::MainWindow()->hwnd), id) & MF_CHECKED) != 0;
}
bool Greyed(int id) {
    return (GetMenuState(GetMenu(kv::MainWindow()->hwnd), id) & MF_GRAYED) != 0;
}

// What ffprobe reads from the first video stream: "width,height,r_frame_rate,nb_read_frames".
std::string Probe(const std::string& path) {
    std::string out;
    const int rc = kvtest::Run(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=width,height,r_frame_rate,nb_read_frames -of csv=p=0 '" +
            path + "'",
        &out);
    if (rc != 0) return "ffprobe failed";
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

}  // namespace

class MainWindow : public EditorSession {
protected:
    // A stand-alone show over the example picture: keys at 0, 30 and 90.
    std::string StartOnExample(const std::vector<int>& times = {0, 30, 90}) {
        const std::string path = WriteShow("example.kvx", Example, times);
        EXPECT_TRUE(Start({path}));
        return path;
    }
};

// --- Menus
// ----------------------------------------------------------------------------------------
TEST_F(MainWindow, CheckMarksComeFromTheSettingsFile) {
    Setting("FrameRate", "2500");
    Setting("EaseType", "18");  // Slow-out with No Curves
    Setting("AspectMode", "5626");
    Setting("DraftRender", "1");
    Setting("BlurFrames", "3");
    Setting("MultiProcess", "1");
    Setting("CenterPic", "1");
    Setting("ShowTVSafe", "1");
    Setting("ShowCameraPath", "1");
    Setting("RescaleShow", "1");
    StartOnExample();
    EXPECT_FALSE(Checked(CmdNtsc));
    EXPECT_TRUE(Checked(CmdPal));
    EXPECT_FALSE(Checked(CmdFilm));
    EXPECT_FALSE(Checked(CmdEaseInOut));
    EXPECT_TRUE(Checked(CmdEaseInOut + 2));
    EXPECT_TRUE(Checked(CmdNoCurves));
    EXPECT_FALSE(Checked(CmdAspect43));
    EXPECT_TRUE(Checked(CmdLetterBox));
    for (int id : {CmdDraft, CmdMotionBlur, CmdMultiProcess, CmdCentrePicture, CmdShowTvSafe,
                   CmdShowCameraPath, CmdAutoRescale})
        EXPECT_TRUE(Checked(id)) << id;
    EXPECT_EQ(TheShow().FrameRate, 2500);
}

// The viewer's height for the show's aspect at its present width: a picture as wide as the
// client and of the show's shape, the 25-pixel control strip, the frame and the caption.
int FittedViewerHeight() {
    const Rect r = kv::MainWindow()->viewer->GetWindowRect();
    const Rect k = kv::MainWindow()->viewer->GetClientRect();
    return static_cast<int>(static_cast<float>(k.right) * Session().TheShow().aspect + 0.5f) + 25 +
           (r.bottom - r.top) - k.bottom;
}
int ViewerHeight() {
    const Rect r = kv::MainWindow()->viewer->GetWindowRect();
    return r.bottom - r.top;
}

TEST_F(MainWindow, ViewerFollowsEveryAspectChangeAndSetViewerAspectKeepsTheMarks) {
    StartOnExample();
    Step([] { ASSERT_TRUE(kv::MainWindow()->viewer); });
    Command(CmdAspect169);
    Step([this] {
        EXPECT_FLOAT_EQ(TheShow().aspect, 0.5625f);
        EXPECT_EQ(ViewerHeight(), FittedViewerHeight());
    });
    // Undo takes the aspect back: the window has the 4:3 shape again and the marks follow.
    Command(CmdUndo);
    Step([this] {
        EXPECT_FLOAT_EQ(TheShow().aspect, 0.75f);
        EXPECT_EQ(ViewerHeight(), FittedViewerHeight());
        EXPECT_TRUE(Checked(CmdAspect43));
        EXPECT_FALSE(Checked(CmdAspect169));
    });
    Command(CmdRedo);
    Step([this] {
        EXPECT_FLOAT_EQ(TheShow().aspect, 0.5625f);
        EXPECT_EQ(ViewerHeight(), FittedViewerHeight());
        EXPECT_TRUE(Checked(CmdAspect169));
    });
    // Set Viewer Aspect with a number of its own: the window fits it, the marks stay.
    Step([] {
        kv::MainWindow()->dialogRunner = [](int count, OptionText*, OptionText* values,
                                            const char*) {
            for (int i = 0; i + 1 < count; ++i) values[i][0] = '\0';
            std::strcpy(values[count - 1], "0.6000");
            return static_cast<int>(OptionOk);
        };
    });
    Command(CmdViewerAspect);
    Step([this] {
        EXPECT_FLOAT_EQ(TheShow().aspect, 0.6f);
        EXPECT_EQ(TheShow().AspectMode, 6000);
        EXPECT_EQ(ViewerHeight(), FittedViewerHeight());
        EXPECT_TRUE(Checked(CmdAspect169));
        EXPECT_FALSE(Checked(CmdAspect43));
        kv::MainWindow()->dialogRunner = nullptr;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(MainWindow, DefaultsCheckTheFirstChoicesAndGreyTheClipboardItems) {
    StartOnExample();
    const HMENU bar = GetMenu(MainHwnd());
    EXPECT_EQ(GetMenuItemCount(bar), 6);
    EXPECT_EQ(GetMenuString(bar, CmdLoadPicture), "Load Picture\tCtrl+E");
    EXPECT_EQ(GetMenuString(bar, CmdSaveShow), "Save Show\tCtrl+S");
    EXPECT_EQ(GetMenuString(bar, CmdEnlargeTimeline), "Enlarge Timeline\tCtrl+>");
    EXPECT_EQ(GetMenuString(bar, CmdEaseInOut), "Slow-in & Slow Out");
    EXPECT_EQ(GetMenuString(bar, CmdContents), "Contents");
    for (int id : {CmdNtsc, CmdEaseInOut, CmdAspect43}) EXPECT_TRUE(Checked(id)) << id;
    for (int id : {CmdPal, CmdNoCurves, CmdDraft, CmdMotionBlur, CmdShowTvSafe})
        EXPECT_FALSE(Checked(id)) << id;
    // The first key is selected: it can be copied, never cut or deleted.
    for (int id : {CmdUndo, CmdRedo, CmdCut, CmdPaste, CmdDelete}) EXPECT_TRUE(Greyed(id)) << id;
    EXPECT_FALSE(Greyed(CmdCopy));
    EXPECT_FALSE(Greyed(CmdDeleteAllKeys));
}

// --- Commands and the settings file --------------------------------------------------------------
TEST_F(MainWindow, RenderAndFrameRateChoicesReachTheShowAndTheSettingsFileAtOnce) {
    Setting("BlurFrames", "3");
    StartOnExample();
    Command(CmdPal);
    Command(CmdLetterBox);
    Command(CmdDraft);
    Command(CmdMotionBlur);  // 3 switches blur off
    Step([this] {
        EXPECT_EQ(TheShow().FrameRate, 2500);
        EXPECT_TRUE(Checked(CmdPal));
        EXPECT_FALSE(Checked(CmdNtsc));
        EXPECT_FLOAT_EQ(TheShow().aspect, 0.5625f);
        EXPECT_EQ(TheShow().AspectMode, 5626);
        EXPECT_TRUE(Checked(CmdLetterBox));
        EXPECT_FALSE(Checked(CmdAspect43));
        EXPECT_TRUE(TheShow().DraftRender);
        EXPECT_EQ(TheShow().BlurFrames, 0);
        EXPECT_FALSE(Checked(CmdMotionBlur));
        // On disk before the editor ends: a crash keeps the choices.
        EXPECT_TRUE(SettingsFileHas("FrameRate=2500"));
        EXPECT_TRUE(SettingsFileHas("AspectMode=5626"));
        EXPECT_TRUE(SettingsFileHas("DraftRender=1"));
        EXPECT_TRUE(SettingsFileHas("BlurFrames=0"));
    });
    Command(CmdMotionBlur);  // and on again, as 1
    Command(CmdAspect169);
    Command(CmdMultiProcess);
    Command(CmdAutoRescale);
    Step([this] {
        EXPECT_EQ(TheShow().BlurFrames, 1);
        EXPECT_TRUE(SettingsFileHas("BlurFrames=1"));
        EXPECT_FLOAT_EQ(TheShow().aspect, 0.5625f);
        EXPECT_TRUE(SettingsFileHas("AspectMode=5625"));
        EXPECT_TRUE(TheShow().MultiProcess);
        EXPECT_TRUE(SettingsFileHas("MultiProcess=1"));
        EXPECT_TRUE(TheShow().RescaleShow);
        EXPECT_TRUE(SettingsFileHas("RescaleShow=1"));
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(MainWindow, EaseChoicesClearTheKeysOwnEasesAndMarkTheShowChanged) {
    StartOnExample();
    Step([this] {
        TheShow().pictures[0].keys[1].easeCode = 2005;
        TheShow().dirty = false;
    });
    Command(CmdEaseInOut + 1);
    Step([this] {
        EXPECT_EQ(TheShow().EaseType, 1);
        EXPECT_EQ(TheShow().pictures[0].keys[1].easeCode, 0.0f);
        EXPECT_TRUE(TheShow().dirty);
        EXPECT_TRUE(Checked(CmdEaseInOut + 1));
        EXPECT_FALSE(Checked(CmdEaseInOut));
        EXPECT_TRUE(SettingsFileHas("EaseType=1"));
    });
    Command(CmdNoCurves);
    Command(CmdEaseInOut + 3);
    Step([this] {
        EXPECT_EQ(TheShow().EaseType, 16 + 3);
        EXPECT_TRUE(Checked(CmdNoCurves));
        EXPECT_TRUE(Checked(CmdEaseInOut + 3));
        EXPECT_TRUE(SettingsFileHas("EaseType=19"));
    });
    Command(CmdNoCurves);
    Step([this] {
        EXPECT_EQ(TheShow().EaseType, 3);
        EXPECT_FALSE(Checked(CmdNoCurves));
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(MainWindow, ScreenShapesAreOneUndoableEditThatTheShowKeeps) {
    StartOnExample();
    Step([this] { TheShow().dirty = false; });
    Command(CmdAspectVertical);
    Step([this] {
        EXPECT_EQ(TheShow().AspectMode, 17775);
        EXPECT_FLOAT_EQ(TheShow().aspect, 1.7775f);
        EXPECT_TRUE(TheShow().ownShape);
        EXPECT_TRUE(TheShow().dirty);
        EXPECT_TRUE(Checked(CmdAspectVertical));
        EXPECT_FALSE(Checked(CmdAspect43));
        EXPECT_TRUE(SettingsFileHas("AspectMode=17775"));
        EXPECT_FALSE(Greyed(CmdUndo));
    });
    Command(CmdAspectSquare);
    Command(CmdAspectPortrait);
    Step([this] {
        EXPECT_EQ(TheShow().AspectMode, 12500);
        EXPECT_TRUE(Checked(CmdAspectPortrait));
        EXPECT_TRUE(SettingsFileHas("AspectMode=12500"));
    });
    Char(26);  // Ctrl+Z: back to the square shape, one command at a time
    Step([this] {
        EXPECT_EQ(TheShow().AspectMode, 10000);
        EXPECT_FLOAT_EQ(TheShow().aspect, 1.0f);
    });
    Char(26);
    Char(26);
    Step([this] {
        EXPECT_EQ(TheShow().AspectMode, 7500);
        EXPECT_FALSE(TheShow().ownShape);
        kv::headless::QueueMessageBoxAnswer(IDNO);  // the exit question
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(MainWindow, KeyCommandsAskFirstAndOnlyActOnYes) {
    StartOnExample();
    Step([] { kv::headless::QueueMessageBoxAnswer(IDNO); });
    Command(CmdDeleteAllKeys);
    Step([this] {
        EXPECT_TRUE(Asked("Delete All Keys: Are you sure?"));
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
        kv::headless::QueueMessageBoxAnswer(IDYES);
    });
    Command(CmdDeleteAllKeys);
    Step([this] {
        EXPECT_EQ(TheShow().pictures[0].keyCount, 1);
        EXPECT_TRUE(TheShow().dirty);
        EXPECT_FALSE(Greyed(CmdUndo));
    });
    Char(26);  // Ctrl+Z takes the whole command back: it was one action
    Step([this] {
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
        EXPECT_TRUE(Greyed(CmdUndo));
        EXPECT_FALSE(Greyed(CmdRedo));
        kv::headless::QueueMessageBoxAnswer(IDNO);  // the exit question
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(Asked("Exit Application: Do you want to save this show?"));
}

TEST_F(MainWindow, NewShowAsksTheQuestionOfItsMode) {
    StartOnExample();
    Step([this] {
        TheShow().dirty = true;
        kv::headless::QueueMessageBoxAnswer(IDCANCEL);
    });
    Char(14);  // Ctrl+N, cancelled
    Step([this] {
        EXPECT_TRUE(Asked("New Show: Do you want to save current show?"));
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
        kv::headless::QueueMessageBoxAnswer(IDNO);
    });
    Char(14);  // without saving
    Step([this] {
        EXPECT_EQ(TheShow().pictures[0].keyCount, 1);
        EXPECT_EQ(TheShow().pictureCount, 0);
        EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista");
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);

    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(dir + "/example.kvx"));
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([this] {
        TheShow().dirty = true;
        kv::headless::QueueMessageBoxAnswer(IDNO);
    });
    Command(CmdNewShow);
    Step([this] {
        EXPECT_TRUE(Asked("New Show: Are you sure?"));
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
    });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
}

// --- Edit menu
// ------------------------------------------------------------------------------------
TEST_F(MainWindow, EditMenuFollowsSelectionClipboardAndUndo) {
    StartOnExample();
    Step([this] {
        TheShow().selectedKey = 1;
        Main().UpdateEditMenu();
        EXPECT_FALSE(Greyed(CmdCut));
        EXPECT_FALSE(Greyed(CmdDelete));
        EXPECT_FALSE(Greyed(CmdCopy));
        EXPECT_TRUE(Greyed(CmdPaste));
    });
    Char(3);  // Ctrl+C
    Step([this] {
        EXPECT_FALSE(Greyed(CmdPaste));
        EXPECT_EQ(TheShow().clipboard.time, 30);
        TheShow().selectedKey = 0;  // the first key: copy yes, cut and delete no
        Main().UpdateEditMenu();
        EXPECT_TRUE(Greyed(CmdCut));
        EXPECT_TRUE(Greyed(CmdDelete));
        EXPECT_FALSE(Greyed(CmdCopy));
        TheShow().selectedKey = -1;
        Main().UpdateEditMenu();
        EXPECT_TRUE(Greyed(CmdCopy));
    });
    Step([this] { TheShow().selectedKey = 0; });
    Char(24);  // Ctrl+X on the first key does nothing
    Step([this] {
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
        TheShow().selectedKey = 2;
    });
    const int beeps = MessageBeepCount();
    Char(24);  // Ctrl+X on the key at 90: removed, with a beep
    Step([this, beeps] {
        EXPECT_EQ(TheShow().pictures[0].keyCount, 2);
        EXPECT_EQ(MessageBeepCount(), beeps + 1);
        EXPECT_FALSE(Greyed(CmdUndo));
        EXPECT_TRUE(Greyed(CmdRedo));
    });
    Char(26);
    Step([this] {
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
        EXPECT_FALSE(Greyed(CmdRedo));
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

// --- Zoom
// -----------------------------------------------------------------------------------------
TEST_F(MainWindow, StageZoomStepsThroughTheFourScalesAndStopsAtTheEnds) {
    settings = "[Kinevista]\r\nStageScale=10\r\nTimeScale=30\r\n";
    StartOnExample();
    ASSERT_FLOAT_EQ(kv::MainWindow()->stage->scale, 0.1f);
    std::vector<float> seen;
    for (int i = 0; i < 4; ++i) {
        Command(CmdStageZoomIn);
        Step([&seen] { seen.push_back(kv::MainWindow()->stage->scale); });
    }
    Step([this] { EXPECT_TRUE(SettingsFileHas("StageScale=100")); });
    for (int i = 0; i < 4; ++i) {
        Command(CmdStageZoomOut);
        Step([&seen] { seen.push_back(kv::MainWindow()->stage->scale); });
    }
    Step([this] { EXPECT_TRUE(SettingsFileHas("StageScale=10")); });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(seen, (std::vector<float>{0.25f, 0.5f, 1.0f, 1.0f, 0.5f, 0.25f, 0.1f, 0.1f}));
}

// A picture larger than the stage shows whole when loaded, and "Fit Picture on Stage" brings it
// back after zooming in; the stored scale follows.
TEST_F(MainWindow, LoadedLargePictureFitsTheStageAndFitPictureRestoresIt) {
    CDIB photo(4000, 3000, 24);
    FileSpec photoSpec;
    photoSpec.SetPath((dir + "/photo.bmp").c_str());
    ASSERT_TRUE(photo.Save(photoSpec, FormatBmp));
    settings = "[Kinevista]\r\nStageScale=100\r\nTimeScale=30\r\n";
    StartOnExample();
    auto wholePictureShown = [] {
        const Rect c = kv::MainWindow()->stage->GetClientRect();
        const float s = kv::MainWindow()->stage->scale;
        return 4000.0f * s <= static_cast<float>(c.right) &&
               3000.0f * s <= static_cast<float>(c.bottom);
    };
    Step([this] {
        EXPECT_EQ(GetMenuString(GetMenu(MainHwnd()), CmdFitPicture), "Fit Picture on Stage");
        EXPECT_FLOAT_EQ(kv::MainWindow()->stage->scale, 1.0f);  // the example fits: nothing changes
        kv::headless::QueueFileAnswer({dir + "/photo.bmp"});
        kv::headless::QueueMessageBoxAnswer(IDNO);
    });
    Char(5);  // Ctrl+E: Load Picture
    float fitted = 0;
    Step([&] {
        ASSERT_EQ(TheShow().image.Width(), 4000);
        EXPECT_TRUE(wholePictureShown());
        fitted = kv::MainWindow()->stage->scale;
        EXPECT_LT(fitted, 1.0f);
    });
    Command(CmdStageZoomIn);
    Command(CmdStageZoomIn);
    Step([&] { EXPECT_FALSE(wholePictureShown()); });
    Command(CmdFitPicture);
    Step([&] {
        EXPECT_TRUE(wholePictureShown());
        EXPECT_FLOAT_EQ(kv::MainWindow()->stage->scale, fitted);
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(SettingsFileHas("StageScale=" + std::to_string(std::lround(fitted * 100.0f))));
}

// After a large picture a smaller one is fitted again: it is not left small at the large one's
// zoom.
TEST_F(MainWindow, LoadedSmallerPictureIsFittedAgain) {
    CDIB photo(4000, 3000, 24);
    FileSpec photoSpec;
    photoSpec.SetPath((dir + "/photo.bmp").c_str());
    ASSERT_TRUE(photo.Save(photoSpec, FormatBmp));
    settings = "[Kinevista]\r\nStageScale=100\r\nTimeScale=30\r\n";
    StartOnExample();
    Step([this] {
        kv::headless::QueueFileAnswer({dir + "/photo.bmp"});
        kv::headless::QueueMessageBoxAnswer(IDNO);
    });
    Char(5);  // Ctrl+E: Load Picture
    float fitted = 0;
    Step([&] {
        ASSERT_EQ(TheShow().image.Width(), 4000);
        fitted = kv::MainWindow()->stage->scale;
        EXPECT_LT(fitted, 0.5f);
        kv::headless::QueueFileAnswer({Example});
        kv::headless::QueueMessageBoxAnswer(IDNO);
    });
    Char(5);
    Step([&] {
        ASSERT_LT(TheShow().image.Width(), 4000);
        const float s = kv::MainWindow()->stage->scale;
        EXPECT_GT(s, fitted);
        const Rect c = kv::MainWindow()->stage->GetClientRect();
        EXPECT_LE(static_cast<float>(TheShow().image.Width()) * s, static_cast<float>(c.right));
        EXPECT_LE(static_cast<float>(TheShow().image.Height()) * s, static_cast<float>(c.bottom));
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(MainWindow, CommaEnlargesAndPeriodContractsTheTimeline) {
    StartOnExample();
    Step([] { kv::MainWindow()->timeline->scale = 20; });
    KeyDown(VK_OEM_COMMA);
    Step([] {
        EXPECT_EQ(kv::MainWindow()->timeline->scale, 30);  // 40 rounded down to whole seconds
        kv::MainWindow()->timeline->scale = 20;
    });
    Step([] { kv::headless::KeyDown(VK_OEM_PERIOD); });
    Step([] {
        EXPECT_EQ(kv::MainWindow()->timeline->scale, 10);
        kv::MainWindow()->timeline->scale = 1920;
    });
    Command(CmdEnlargeTimeline);
    Step([] { EXPECT_EQ(kv::MainWindow()->timeline->scale, 1920); });  // 64 seconds at most
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST(StatusPanelArithmetic, ArrowScalesRoundToSecondsAboveOneSecondElseToFives) {
    EXPECT_EQ(ArrowTimeScale(20, true, 2997), 30);
    EXPECT_EQ(ArrowTimeScale(20, false, 2997), 10);
    EXPECT_EQ(ArrowTimeScale(1920, true, 2997), 1920);
    EXPECT_EQ(ArrowTimeScale(10, false, 2997), 5);  // 30 / 4 = 7, rounded to 5
    EXPECT_EQ(ArrowTimeScale(100, true, 2500), 200);
    // A host rate of a few frames a second never rounds the scale down to nothing.
    EXPECT_EQ(ArrowTimeScale(2, false, 300), 1);
    EXPECT_FLOAT_EQ(ZoomedInScale(0.1f), 0.25f);
    EXPECT_FLOAT_EQ(ZoomedOutScale(0.25f), 0.1f);
    // Scale marks: rows between the boundaries; a boundary row changes nothing.
    EXPECT_FLOAT_EQ(ScaleButtonAt(15, 400 - 77, 400), 1.0f);
    EXPECT_FLOAT_EQ(ScaleButtonAt(15, 400 - 67, 400), 0.5f);
    EXPECT_FLOAT_EQ(ScaleButtonAt(15, 400 - 57, 400), 0.25f);
    EXPECT_FLOAT_EQ(ScaleButtonAt(15, 400 - 47, 400), 0.1f);
    EXPECT_EQ(ScaleButtonAt(15, 400 - 72, 400), 0.0f);
    EXPECT_EQ(ScaleButtonAt(45, 400 - 77, 400), 0.0f);
}

TEST_F(MainWindow, StatusPanelClicksSetTheStageScaleAndZoomTheTimeline) {
    StartOnExample();
    Step([this] {
        const Rect c = Main().GetClientRect();
        kv::headless::ClientClick(MainHwnd(), 15, c.bottom - 77);
    });
    Step([this] {
        EXPECT_FLOAT_EQ(kv::MainWindow()->stage->scale, 1.0f);
        EXPECT_TRUE(SettingsFileHas("StageScale=100"));
        const Rect c = Main().GetClientRect();
        kv::headless::ClientClick(MainHwnd(), 15, c.bottom - 47);
    });
    Step([this] {
        EXPECT_FLOAT_EQ(kv::MainWindow()->stage->scale, 0.1f);
        kv::MainWindow()->timeline->scale = 30;
        const Rect c = Main().GetClientRect();
        kv::headless::ClientClick(MainHwnd(), c.left + 110, c.bottom - 20);  // the plus arrow
    });
    Step([this] {
        EXPECT_EQ(kv::MainWindow()->timeline->scale, 60);
        EXPECT_TRUE(SettingsFileHas("TimeScale=60"));
        const Rect c = Main().GetClientRect();
        kv::headless::ClientClick(MainHwnd(), c.left + 94, c.bottom - 20);  // the minus arrow
    });
    Step([this] {
        EXPECT_EQ(kv::MainWindow()->timeline->scale, 30);
        EXPECT_TRUE(SettingsFileHas("TimeScale=30"));
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(MainWindow, HostRunHasNoTimelineArrows) {
    WriteShow("h.kvx", Example, {0, 30});
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(dir + "/h.kvx"));
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([this] {
        kv::MainWindow()->timeline->scale = 30;
        const Rect c = Main().GetClientRect();
        kv::headless::ClientClick(MainHwnd(), c.left + 110, c.bottom - 20);
    });
    Step([this] { EXPECT_FALSE(SettingsFileHas("TimeScale=60")); });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
}

TEST(StatusPanelText, InfoLineNamesEveryTreatmentInOrder) {
    Show show;
    show.FrameRate = 2997;
    show.DraftRender = true;
    show.BlurFrames = 1;
    show.VideoColors = false;
    show.ContrastBrightness = 0x3232;
    EXPECT_EQ(InfoLineText(show), "29.97 fps / Draft Mode / Motion Blur");
    show.FrameRate = 2500;
    show.DraftRender = false;
    show.BlurFrames = 0;
    show.FieldSwap = true;
    show.PreBlur = 2;
    show.ContrastBrightness = (52 << 8) | 50;
    show.VideoColors = true;
    show.image.Create(4, 4, 32);
    show.pictures[0].fileSpec.SetPath("/pictures/harbour.evening.jpg");
    EXPECT_EQ(InfoLineText(show),
              "25.00 fps / Field order swapped / Pre-Blur / Con / VS / Alpha / harbour");
    show.ContrastBrightness = (51 << 8) | 48;  // brightness out of 49..51
    show.FieldSwap = false;
    show.PreBlur = 0;
    show.VideoColors = false;
    show.image.Create(4, 4, 24);
    show.FrameRate = 2397;
    EXPECT_EQ(InfoLineText(show), "23.97 fps / Con / harbour");
    EXPECT_EQ(MainTitle("C:\\shows\\night.v2.kvx"), "Fernquill Kinevista - night");
    EXPECT_EQ(MainTitle("/shows/dawn.kvx"), "Fernquill Kinevista - dawn");
    EXPECT_EQ(MainTitle(nullptr), "Fernquill Kinevista");
}

// --- Keys
// -----------------------------------------------------------------------------------------
TEST_F(MainWindow, TabJumpsFromKeyToKeyAndEndGoesToTheLastKey) {
    StartOnExample({0, 30, 90});
    std::vector<int> frames;
    for (int i = 0; i < 4; ++i) {
        Char('\t');
        Step([&frames, this] { frames.push_back(TheShow().currentFrame); });
    }
    KeyDown(VK_END);
    Step([&frames, this] { frames.push_back(TheShow().currentFrame); });
    KeyDown(VK_HOME);
    Step([&frames, this] { frames.push_back(TheShow().currentFrame); });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(frames, (std::vector<int>{30, 90, 0, 30, 90, 0}));

    // Started by the host, End goes to the effect's last frame.
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(dir + "/example.kvx"));
    ASSERT_TRUE(Start({"?2997,300"}));
    KeyDown(VK_END);
    Step([this] { EXPECT_EQ(TheShow().currentFrame, 299); });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
}

TEST_F(MainWindow, PlusStepsAFrameAndEnterAddsAKeyThere) {
    StartOnExample({0, 30, 90});
    for (int i = 0; i < 12; ++i) Char('+');
    Char('-');
    Step([this] {
        EXPECT_EQ(TheShow().currentFrame, 11);
        Session().camera.x = 400;
    });
    KeyDown(VK_RETURN);
    Step([this] {
        ASSERT_EQ(TheShow().pictures[0].keyCount, 4);
        EXPECT_EQ(TheShow().pictures[0].keys[1].time, 11);
        EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 400);
        EXPECT_TRUE(TheShow().dirty);
        EXPECT_FALSE(Greyed(CmdUndo));
        TheShow().selectedKey = 1;
    });
    // One Backspace press (its key-down and its character) deletes one key, not two.
    KeyDown(VK_BACK);
    Step([this] {
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

// Enter near a key replaces it only within the timeline's tolerance, min(scale / 2, 4), and the
// key the timeline marks as selected is the one that Enter replaces.
TEST_F(MainWindow, EnterNearAKeyFollowsTheTimelineScale) {
    Setting("TimeScale", "5");
    StartOnExample({0, 30, 60, 90, 120});
    Step([this] {
        ASSERT_EQ(kv::MainWindow()->timeline->scale, 5);
        Session().GoToFrame(93, true);
        kv::MainWindow()->timeline->Redraw();
        EXPECT_EQ(TheShow().selectedKey, -1);  // three frames from 90: not at it at this scale
        Session().camera.x = 333;
    });
    KeyDown(VK_RETURN);
    Step([this] {
        const Picture& pic = TheShow().pictures[0];
        ASSERT_EQ(pic.keyCount, 6);
        EXPECT_EQ(pic.keys[3].time, 90);
        EXPECT_NE(pic.keys[3].x, 333);
        EXPECT_EQ(pic.keys[4].time, 93);
        EXPECT_FLOAT_EQ(pic.keys[4].x, 333);
        kv::MainWindow()->timeline->Redraw();
        EXPECT_EQ(TheShow().selectedKey, 4);
        // At this scale a key is at the frames less than two from it.
        Session().GoToFrame(95, true);
        kv::MainWindow()->timeline->Redraw();
        EXPECT_EQ(TheShow().selectedKey, -1);
        Session().GoToFrame(61, true);
        kv::MainWindow()->timeline->Redraw();
        EXPECT_EQ(TheShow().selectedKey, 2);
        Session().camera.x = 444;
    });
    KeyDown(VK_RETURN);
    Step([this] {
        const Picture& pic = TheShow().pictures[0];
        ASSERT_EQ(pic.keyCount, 6);
        EXPECT_EQ(pic.keys[2].time, 61);
        EXPECT_FLOAT_EQ(pic.keys[2].x, 444);
        // At the default scale the tolerance is four frames: three off is at the key.
        kv::MainWindow()->timeline->scale = 30;
        Session().GoToFrame(123, true);
        kv::MainWindow()->timeline->Redraw();
        EXPECT_EQ(TheShow().selectedKey, 5);
        Session().camera.x = 555;
    });
    KeyDown(VK_RETURN);
    Step([this] {
        const Picture& pic = TheShow().pictures[0];
        ASSERT_EQ(pic.keyCount, 6);
        EXPECT_EQ(pic.keys[5].time, 123);
        EXPECT_FLOAT_EQ(pic.keys[5].x, 555);
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(MainWindow, RenderTimingTestReportsItsTimeInABoxAndOnStandardError) {
    StartOnExample();
    const int beeps = MessageBeepCount();
    testing::internal::CaptureStderr();
    Char('d');
    Step([] {});
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Time  [ "), std::string::npos) << err;
    EXPECT_NE(err.find("300 frames of 720 x 484"), std::string::npos) << err;
    EXPECT_EQ(MessageBeepCount(), beeps + 1);
    bool boxed = false;
    for (const std::string& t : kv::headless::MessageBoxTexts())
        boxed = boxed || t.rfind("Time  [ ", 0) == 0 || t.find(": Time  [ ") != std::string::npos;
    EXPECT_TRUE(boxed);
}

// --- Saving and loading
// ---------------------------------------------------------------------------
TEST_F(MainWindow, QuickSaveAsksForAFileTheFirstTimeOnly) {
    ASSERT_TRUE(Start({}));
    Step([] { kv::headless::QueueFileAnswer({Example}); });
    Char(5);  // a picture first: a show keeps its keys with its picture
    Step([this] {
        Session().camera.x = 44;
        kv::headless::QueueFileAnswer({dir + "/first.kvx"});
    });
    KeyDown(VK_RETURN);
    Char(19);  // Ctrl+S: no file yet, so the save dialog
    Step([this] {
        EXPECT_TRUE(kv::headless::LastFileRequest().save);
        EXPECT_EQ(kv::headless::LastFileRequest().defaultExtension, ".kvx");
        EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista - first");
        EXPECT_FALSE(TheShow().dirty);
        EXPECT_TRUE(SettingsFileHas("InitialFolder=" + dir + "/"));
        Session().GoToFrame(40, false);
        Session().camera.x = 66;
    });
    KeyDown(VK_RETURN);
    Char(19);  // written at once; no answer is queued, so a dialog would cancel
    Step([this] {
        EXPECT_EQ(TheShow().currentFrame, 40);  // put back after the write
        EXPECT_FALSE(TheShow().dirty);
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    Show saved;
    ASSERT_TRUE(LoadShow(saved, dir + "/first.kvx", false));
    // The lone first key was doubled one second on by the first save; then the key at 40.
    ASSERT_EQ(saved.pictures[0].keyCount, 3);
    EXPECT_FLOAT_EQ(saved.pictures[0].keys[0].x, 44);
    EXPECT_EQ(saved.pictures[0].keys[2].time, 40);
    EXPECT_FLOAT_EQ(saved.pictures[0].keys[2].x, 66);
}

TEST_F(MainWindow, SaveThatFailsKeepsTheChangesAndSaysSo) {
    StartOnExample();
    Step([this] {
        TheShow().dirty = true;
        kv::headless::QueueFileAnswer({dir + "/no-such-folder/show.kvx"});
    });
    Command(CmdSaveShow);
    Step([this] {
        EXPECT_TRUE(TheShow().dirty);
        EXPECT_TRUE(Asked("The show could not be saved to this file."));
        kv::headless::QueueMessageBoxAnswer(IDNO);
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_TRUE(Asked("Exit Application: Do you want to save this show?"));
}

TEST_F(MainWindow, LoadPictureMatchesTheMovesAndTheSavedShowCarriesThem) {
    // A picture of half the example's size.
    CDIB half(320, 240, 24);
    FileSpec halfSpec;
    halfSpec.SetPath((dir + "/half.bmp").c_str());
    ASSERT_TRUE(half.Save(halfSpec, FormatBmp));
    StartOnExample({0, 30, 90});
    Step([this] {
        EXPECT_EQ(TheShow().image.Width(), 640);
        kv::headless::QueueFileAnswer({dir + "/half.bmp"});
        kv::headless::QueueMessageBoxAnswer(IDYES);
    });
    Char(5);  // Ctrl+E: Load Picture
    Step([this] {
        const FileDialogRequest rq = kv::headless::LastFileRequest();
        EXPECT_FALSE(rq.save);
        EXPECT_EQ(rq.defaultExtension, ".bmp");
        if (kv::MoreCodecsPresent()) {
            EXPECT_EQ(rq.filter.rfind("All Graphics Files|*.bmp;*.tga;*.tif;*.psd;*.jpg;*.png;"
                                      "*.tiff;*.heic;*.heif;*.avif;*.webp|",
                                      0),
                      0u);
            EXPECT_NE(rq.filter.find("|HEIF Files (*.heic;*.heif;*.avif)|*.heic;*.heif;*.avif|"),
                      std::string::npos);
            EXPECT_NE(rq.filter.find("|WebP Files (*.webp)|*.webp|"), std::string::npos);
        } else {
            EXPECT_EQ(rq.filter.rfind("All Graphics Files|*.bmp;*.tga;*.tif;*.psd;*.jpg;*.png|", 0),
                      0u);
        }
        EXPECT_TRUE(Asked("Match Moves: Match moves to new Picture size?"));
        EXPECT_EQ(TheShow().image.Width(), 320);
        EXPECT_EQ(TheShow().currentFrame, 0);
        kv::headless::QueueFileAnswer({dir + "/matched.kvx"});
    });
    Command(CmdSaveShow);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    std::string info;
    ASSERT_EQ(kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli info '" + dir + "/matched.kvx'",
                          &info),
              0);
    EXPECT_NE(info.find("\"picture\": \"" + dir + "/half.bmp\""), std::string::npos) << info;
    // Keys written by WriteShow: x 100, 110, 120 at y 80 and width 120, halved.
    EXPECT_NE(info.find("{\"x\": 55, \"stamp\": 0, \"y\": 40, \"width\": 60"), std::string::npos)
        << info;
    EXPECT_NE(info.find("{\"x\": 60, \"stamp\": 0, \"y\": 40, \"width\": 60"), std::string::npos)
        << info;
}

// --- Movies and stills
// ----------------------------------------------------------------------------
class MovieFromEditor : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        Setting("MovieWid", "160");
        Setting("MovieHgt", "120");
        Setting("MovieStart", "00:00:00:00");
        Setting("MovieHold", "00:00:00:00");
        Setting("MovieFPS", "25");
        Setting("MovieFields", "");
        Setting("MovieReverse", "");
        Setting("CodecType", "");
    }
    // Steps that answer the options and the compressor dialogs with Enter.
    void AnswerDialogs() {
        KeyDown(VK_RETURN);
        KeyDown(VK_RETURN);
    }
    // A step that comes back until the movie is made, then runs `then`.
    static void WaitThen(const std::function<void()>& then) {
        if (kv::MainWindow()->busy)
            kv::headless::Script([then] { WaitThen(then); });
        else
            then();
    }
    void WhenDone(std::function<void()> then) {
        Step([then] { WaitThen(then); });
    }
};

TEST_F(MovieFromEditor, MakeMovieWritesTheFramesAtTheChosenSizeAndRate) {
    StartOnExample({0, 30, 49});
    Step([this] { kv::headless::QueueFileAnswer({dir + "/movie.avi"}); });
    Char(11);  // Ctrl+K
    AnswerDialogs();
    WhenDone([this] {
        EXPECT_TRUE(Asked("Movie file(s) successfully made"));
        kv::PostMessage(MainHwnd(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(Probe(dir + "/movie.avi"), "160,120,25/1,49");
    EXPECT_TRUE(SettingsFileHas("MovieWid=160"));
}

TEST_F(MovieFromEditor, EscDuringTheProgressPanelCancelsAndTheEditorGoesOn) {
    Setting("MovieWid", "320");
    Setting("MovieHgt", "240");
    StartOnExample({0, 600, 1200});
    Step([this] { kv::headless::QueueFileAnswer({dir + "/cut.avi"}); });
    Command(CmdMakeMovie);
    AnswerDialogs();
    // Each frame looks for Esc once; a few frames go by, then Esc.
    for (int i = 0; i < 6; ++i) Step([] {});
    Step([this] {
        EXPECT_TRUE(Main().busy);
        kv::headless::ScreenshotDesktop(std::string(KV_UI_BUILD_DIR) + "/progress_panel.png", 1280,
                                        1024);
        kv::headless::Key(VK_ESCAPE);
    });
    WhenDone([this] {
        // The editor is still there and answers commands.
        EXPECT_NE(kv::MainWindow(), nullptr);
        kv::PostMessage(MainHwnd(), WM_COMMAND, CmdPal, 0);
    });
    Step([this] {
        EXPECT_EQ(TheShow().FrameRate, 2500);
        TheShow().dirty = false;
        kv::PostMessage(MainHwnd(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(RunToEnd(), 0);
    const std::string probe = Probe(dir + "/cut.avi");
    ASSERT_EQ(probe.rfind("320,240,25/1,", 0), 0u) << probe;
    const int frames = std::atoi(probe.substr(std::string("320,240,25/1,").size()).c_str());
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 1201);
}

TEST_F(MovieFromEditor, MakeStillWritesATargaAndBeeps) {
    StartOnExample();
    const int beeps = MessageBeepCount();
    Step([this] { kv::headless::QueueFileAnswer({dir + "/still.tga"}); });
    Char(20);  // Ctrl+T
    Step([this, beeps] {
        EXPECT_EQ(kv::headless::LastFileRequest().defaultExtension, ".tga");
        EXPECT_EQ(MessageBeepCount(), beeps + 1);
        CDIB still(8, 8, 24);
        FileSpec stillFile;
        stillFile.SetPath((dir + "/still.tga").c_str());
        FileSpec none;
        ASSERT_EQ(still.Load(stillFile, none, false), 1);
        EXPECT_EQ(still.Width(), 720);
        EXPECT_EQ(still.Height(), 486);
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

// --- Screenshots for the manual
// ---------------------------------------------------------------------
namespace {

// The open menu popup, or null.
HWND OpenMenuPopup() {
    for (HWND w : AllWindows())
        if (IsWindowVisible(w) && GetParent(w) == kv::MainWindow()->hwnd &&
            (GetWindowStyle(w) & WS_BORDER) && GetWindowText(w).empty() &&
            (GetWindowExStyle(w) & WS_EX_TOPMOST) && w != kv::MainWindow()->viewer->hwnd)
            return w;
    return nullptr;
}

// Clicks a title of the menu bar (screen x), shoots the desktop, closes the menu again.
void ShootMenu(EditorSession& s, int titleX, const std::string& name) {
    (void)s;
    kv::headless::Script([titleX] {
        const Rect r = kv::MainWindow()->GetWindowRect();
        kv::headless::MouseDown(r.left + titleX, r.top + 34);
        kv::headless::MouseUp(r.left + titleX, r.top + 34);
    });
    kv::headless::Script([titleX, name] {
        HWND popup = OpenMenuPopup();
        ASSERT_NE(popup, nullptr) << name;
        Rect p{};
        GetWindowRect(popup, &p);
        const Rect m = kv::MainWindow()->GetWindowRect();
        EXPECT_LE(p.left, m.left + titleX);
        EXPECT_GE(p.top, m.top + 40);
        EXPECT_TRUE(kv::headless::ScreenshotDesktop(
            std::string(KV_UI_BUILD_DIR) + "/" + name + ".png", 1280, 1024));
        kv::headless::Key(VK_ESCAPE);
    });
    kv::headless::Script([name] { EXPECT_EQ(OpenMenuPopup(), nullptr) << name; });
}

}  // namespace

TEST_F(MainWindow, ScreenshotsOfTheStandAloneWindowWithItsMenusOpen) {
    StartOnExample({0, 30, 90});
    Char('\t');
    ShootMenu(*this, 23, "main_window_file_menu");
    ShootMenu(*this, 60, "main_window_edit_menu");
    ShootMenu(*this, 107, "main_window_options_menu");
    ShootMenu(*this, 165, "main_window_render_menu");
    ShootMenu(*this, 215, "main_window_view_menu");
    Step([] {
        EXPECT_TRUE(kv::headless::ScreenshotDesktop(
            std::string(KV_UI_BUILD_DIR) + "/main_window.png", 1280, 1024));
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(MainWindow, ScreenshotsOfTheHostWindowWithItsFileMenuOpen) {
    WriteShow("h.kvx", Example, {0, 30, 90});
    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(dir + "/h.kvx"));
    ASSERT_TRUE(Start({"?2500,250"}));
    ShootMenu(*this, 23, "main_window_host_file_menu");
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
}

// --- Help
// -----------------------------------------------------------------------------------------
TEST_F(MainWindow, HelpNamesTheManualWithoutADesktopOpenerAndAboutNamesTheVersion) {
    StartOnExample();
    KeyDown(VK_F1);
    Command(CmdAbout);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    std::string manual, about;
    for (const std::string& t : kv::headless::MessageBoxTexts()) {
        if (t.find("The user manual is at\n") != std::string::npos) manual = t;
        if (t.find(" Kinevista") != std::string::npos && t.find("6.0") != std::string::npos)
            about = t;
    }
    ASSERT_FALSE(manual.empty());
    // The path on a line of its own, and the command that opens it.
    const size_t start = manual.find(" at\n") + 4;
    const std::string path = manual.substr(start, manual.find('\n', start) - start);
    EXPECT_EQ(access(path.c_str(), R_OK), 0) << path;
#ifndef _WIN32
    EXPECT_NE(manual.find("\nxdg-open " + path), std::string::npos) << manual;
#endif
    EXPECT_NE(kvtest::ReadFileBytes(path).find("Kinevista — user manual"), std::string::npos);
    EXPECT_FALSE(about.empty());
}

namespace {
std::vector<std::string> g_shellOpened;
bool RecordShellOpen(const std::string& document, uintptr_t) {
    g_shellOpened.push_back(document);
    return true;
}
}  // namespace

// With a desktop to ask (here the stand-in every system's ShellOpen consults), Help > Contents
// hands the manual to it and shows no message; whatever display variable is set or not.
TEST_F(MainWindow, HelpContentsHandsTheManualToTheDesktopsOpenVerb) {
    g_shellOpened.clear();
    SetShellOpenHook(&RecordShellOpen);
    const char* display = std::getenv("DISPLAY");
    const std::string savedDisplay = display ? display : "";
    unsetenv("DISPLAY");
    StartOnExample();
    KeyDown(VK_F1);
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    SetShellOpenHook(nullptr);
    if (display) setenv("DISPLAY", savedDisplay.c_str(), 1);
    ASSERT_EQ(g_shellOpened.size(), 1u);
    EXPECT_NE(kvtest::ReadFileBytes(g_shellOpened[0]).find("Kinevista — user manual"),
              std::string::npos);
    for (const std::string& t : kv::headless::MessageBoxTexts())
        EXPECT_EQ(t.find("The user manual"), std::string::npos) << t;
}

TEST_F(MovieFromEditor, BatchRendersEachShowAfterOfferingToSaveTheOpenOne) {
    StartOnExample({0, 30, 90});
    const std::string a = WriteShow("first.kvx", Example, {0, 20});
    const std::string b = WriteShow("second.kvx", Example, {0, 35});
    Step([this, a, b] {
        TheShow().dirty = true;
        kv::headless::QueueMessageBoxAnswer(IDCANCEL);
    });
    Command(CmdBatchRender);  // cancelled at the save question: nothing is asked after it
    Step([this, a, b] {
        EXPECT_TRUE(Asked("Batch Render Movies: Do you want to save current show?"));
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
        kv::headless::QueueMessageBoxAnswer(IDNO);
        kv::headless::QueueFileAnswer({a, b});
        kv::headless::QueueFileAnswer({dir + "/batch.avi"});
    });
    Command(CmdBatchRender);
    AnswerDialogs();
    WhenDone([this] {
        EXPECT_TRUE(Asked("Movie file(s) successfully made"));
        // The file dialog hands the names back last first; the last show rendered stays loaded.
        EXPECT_EQ(TheShow().pictures[0].keys[1].time, 20);
        EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista - first");
        kv::PostMessage(MainHwnd(), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(Probe(dir + "/firstB.avi"), "160,120,25/1,20");
    EXPECT_EQ(Probe(dir + "/secondB.avi"), "160,120,25/1,35");
}

TEST_F(MainWindow, LoadShowAsksAboutTheOpenShowAndRemembersTheFile) {
    StartOnExample({0, 30, 90});
    const std::string other = WriteShow("other.kvx", Example, {0, 45});
    Step([this, other] {
        TheShow().dirty = true;
        kv::headless::QueueMessageBoxAnswer(IDCANCEL);
    });
    Char(15);  // Ctrl+O, cancelled at the question
    Step([this, other] {
        EXPECT_TRUE(Asked("New Show: Do you want to save current show?"));
        EXPECT_EQ(TheShow().pictures[0].keyCount, 3);
        kv::headless::QueueMessageBoxAnswer(IDNO);
        kv::headless::QueueFileAnswer({other});
    });
    Char(15);
    Step([this, other] {
        const FileDialogRequest rq = kv::headless::LastFileRequest();
        EXPECT_EQ(rq.filter, "Kinevista Files (*.kvx)|*.kvx|All Files (*.*)|*.*|");
        EXPECT_EQ(rq.defaultExtension, ".kvx");
        EXPECT_EQ(TheShow().pictures[0].keyCount, 2);
        EXPECT_EQ(TheShow().pictures[0].keys[1].time, 45);
        EXPECT_FALSE(TheShow().dirty);
        EXPECT_EQ(GetWindowText(MainHwnd()), "Fernquill Kinevista - other");
        EXPECT_TRUE(SettingsFileHas("InitialFolder=" + other));
        EXPECT_TRUE(IsWindowVisible(kv::MainWindow()->viewer->hwnd));
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

// --- Status panel drawing
// -------------------------------------------------------------------------
TEST_F(MainWindow, StatusPanelDrawnAgainLooksTheSameAsDrawnOnce) {
    // The stage and the timeline draw the panel again at every drag step; the info line must
    // not thicken as its text is written over itself.
    StartOnExample();
    std::vector<uint32_t> once, again;
    // The client area's bottom 14 rows, where the info line is written.
    auto band = [this](std::vector<uint32_t>& out) {
        int w = 0, h = 0;
        const std::vector<uint32_t> all = kv::headless::CaptureClient(MainHwnd(), &w, &h);
        out.assign(all.end() - std::min<size_t>(all.size(), static_cast<size_t>(w) * 14),
                   all.end());
    };
    Step([&] {
        band(once);
        const KeyFrame camera = Session().camera;
        for (int i = 0; i < 5; ++i) Main().DrawStatusPanel(camera);
        band(again);
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    ASSERT_FALSE(once.empty());
    EXPECT_TRUE(once == again);
}

TEST_F(MainWindow, StatusPanelDrawsTheScaleMarksArrowsAndOkButtonOfItsMode) {
    StartOnExample();
    auto pixel = [this](int dx, int dyFromBottom) {
        const Rect c = Main().GetClientRect();
        return kv::headless::Pixel(MainHwnd(), c.left + dx, c.bottom - dyFromBottom);
    };
    Step([&] {
        // Stage at 50%: the second mark is filled, the first is not.
        EXPECT_EQ(pixel(14, 68), RGB(0, 0, 0));
        EXPECT_NE(pixel(14, 78), RGB(0, 0, 0));
        // The grey arrows of the timeline zoom, with the white plus sign on the right one.
        EXPECT_EQ(pixel(105, 17), RGB(128, 128, 128));
        EXPECT_EQ(pixel(106, 22), RGB(255, 255, 255));
        EXPECT_EQ(pixel(97, 17), RGB(128, 128, 128));
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);

    WriteFileBytes(dir + "/kvdata.kvx", ReadFileBytes(dir + "/example.kvx"));
    ASSERT_TRUE(Start({"?2997,300"}));
    Step([&] {
        EXPECT_NE(pixel(105, 17), RGB(128, 128, 128));  // no arrows for the host
        // The OK button's bitmap fills its place.
        const ResourceBitmap* ok = FindBitmapResource(BmpOk);
        ASSERT_NE(ok, nullptr);
        const uint32_t centre =
            ok->pixels[static_cast<size_t>(ok->height / 2) * ok->width + ok->width / 2];
        EXPECT_EQ(pixel(57 + ok->width / 2, 70 - ok->height / 2),
                  RGB((centre >> 16) & 255, (centre >> 8) & 255, centre & 255));
    });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
}
