// The editing session: its notices (order, origin, windows that come and go while one is
// told), the frame moves, and, with the whole editor running, that each user action is one step
// of the history which Undo takes back and Redo does again, with the Edit menu's greying
// following it: Paste, an ease choice, Prep Picture's dialog, Delete Picture, a stage drag and
// Load Picture with matched moves, Suggest Move.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/document/show_edits.h"
#include "core/picture/cdib.h"
#include "core/show/show.h"
#include "editor/ui/main_window.h"
#include "editor/ui/session/edit_session.h"
#include "tests/editor/app/editor_session.h"

using namespace kv;

namespace {

class SessionNotices : public ::testing::Test {
protected:
    void SetUp() override {
        show.pictureCount = 1;
        show.pictures[0].keyCount = 2;
        show.pictures[0].keys[0].x = 100;
        show.pictures[0].keys[0].width = 200;
        show.pictures[0].keys[1] = show.pictures[0].keys[0];
        show.pictures[0].keys[1].time = 100;
        show.pictures[0].keys[1].x = 300;
        session.Attach(&show, &store);
    }
    Show show;
    Settings store;
    EditSession session;
};

}  // namespace

TEST_F(SessionNotices, ListenersAreToldInOrderWithTheOrigin) {
    std::vector<std::string> told;
    int first = 0;
    const int a = 1, b = 2;
    first = session.Subscribe([&](uint32_t c, const void* o) {
        told.push_back("a" + std::to_string(c) + (o == &a ? "A" : o == &b ? "B" : "-"));
    });
    session.Subscribe([&](uint32_t c, const void*) { told.push_back("b" + std::to_string(c)); });
    session.Notify(ChangedKeys, &a);
    session.Notify(0, &b);  // nothing changed: nobody is told
    session.Unsubscribe(first);
    session.Notify(ChangedEditState, &b);
    EXPECT_EQ(told, (std::vector<std::string>{"a4A", "b4", "b32"}));
}

TEST_F(SessionNotices, AListenerThatLeavesWhileOthersAreToldIsNotToldAgain) {
    int second = 0, secondTold = 0, thirdTold = 0;
    session.Subscribe([&](uint32_t, const void*) { session.Unsubscribe(second); });
    second = session.Subscribe([&](uint32_t, const void*) { ++secondTold; });
    session.Subscribe([&](uint32_t, const void*) {
        ++thirdTold;
        // One that comes during a notice hears the next one.
        if (thirdTold == 1) session.Subscribe([&](uint32_t, const void*) { thirdTold += 10; });
    });
    session.Notify(ChangedFrame);
    session.Notify(ChangedFrame);
    EXPECT_EQ(secondTold, 0);
    EXPECT_EQ(thirdTold, 12);
}

TEST_F(SessionNotices, FrameMovesReachEveryListenerWithTheCamera) {
    std::vector<uint32_t> told;
    session.Subscribe([&](uint32_t c, const void*) { told.push_back(c); });
    session.GoToFrame(50, false);
    EXPECT_EQ(show.currentFrame, 50);
    EXPECT_GT(session.camera.x, 100.0f);
    EXPECT_LT(session.camera.x, 300.0f);
    session.GoToFrame(100, true);
    EXPECT_FLOAT_EQ(session.camera.x, 300.0f);
    // Without render only the frame; with it the camera and a repaint as well.
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], static_cast<uint32_t>(ChangedFrame));
    EXPECT_EQ(told[1], static_cast<uint32_t>(ChangedFrame | ChangedCamera | RepaintViews));
    // A drag's camera is shown in draft while it lasts, and full quality after.
    bool draft = false;
    session.Subscribe([&](uint32_t c, const void*) {
        if (c & ChangedCamera) draft = !session.fullQuality;
    });
    session.CameraEdited(false, nullptr);
    EXPECT_TRUE(draft);
    EXPECT_TRUE(session.fullQuality);
}

TEST_F(SessionNotices, TheFrameIsTheSessionsAndFollowsEditsUndoAndRedo) {
    session.GoToFrame(40, false);
    EXPECT_EQ(session.Frame(), 40);
    // Something else writing the show's field does not move the editor's frame.
    show.currentFrame = 70;
    EXPECT_EQ(session.Frame(), 40);
    // An edit acts at the session's frame; one that moves the show's frame moves the
    // session's. Undo puts back the frame the step was taken at and Redo the one it left.
    int32_t actedAt = -1;
    ASSERT_NE(session.Edit([&actedAt](Show& s) {
        actedAt = s.currentFrame;
        s.pictures[0].keys[1].x = 250;
        s.currentFrame = 90;
    }),
              0u);
    EXPECT_EQ(actedAt, 40);
    EXPECT_EQ(session.Frame(), 90);
    session.GoToFrame(10, false);
    show.currentFrame = 33;
    ASSERT_NE(session.Undo(), 0u);
    EXPECT_EQ(session.Frame(), 40);
    EXPECT_EQ(show.currentFrame, 40);
    ASSERT_NE(session.Redo(), 0u);
    EXPECT_EQ(session.Frame(), 10);
    // Playback is not clamped; a move is clamped to the show.
    session.PlayFrame(5000);
    EXPECT_EQ(session.Frame(), 5000);
    session.GoToFrame(-20, false);
    EXPECT_EQ(session.Frame(), 0);
}

TEST_F(SessionNotices, ANewShowStartsAfreshAndATurnIsNoChange) {
    std::vector<uint32_t> told;
    session.Subscribe([&](uint32_t c, const void*) { told.push_back(c); });
    session.CameraTurned();
    EXPECT_TRUE(show.rotationInUse);
    EXPECT_FALSE(show.dirty);
    EXPECT_FALSE(session.CanUndo());
    ASSERT_NE(session.Edit([](Show& s) { s.pictures[0].keys[1].x = 250; }), 0u);
    session.GoToFrame(60, false);
    ASSERT_TRUE(show.dirty);
    told.clear();
    session.ReplaceShow([](Show& s) { s.Reset(); });
    EXPECT_FALSE(show.dirty);
    EXPECT_FALSE(session.CanUndo());
    EXPECT_EQ(show.pictureCount, 0);
    EXPECT_EQ(session.Frame(), 0);
    EXPECT_EQ(show.currentFrame, 0);
    uint32_t all = 0;
    for (uint32_t c : told) all |= c;
    EXPECT_EQ(
        all & (ChangedFrame | ChangedKeys | ChangedPicture | ChangedEditState),
        static_cast<uint32_t>(ChangedFrame | ChangedKeys | ChangedPicture | ChangedEditState));
}

TEST_F(SessionNotices, TheKeyToleranceIsTheTimelinesWhenThereIsOne) {
    EXPECT_EQ(session.AddKeyTolerance(), 4);
    session.keyTolerance = [] { return 2; };
    EXPECT_EQ(session.AddKeyTolerance(), 2);
    // A new show in the session drops what the windows of the old one offered.
    session.Attach(&show, &store);
    EXPECT_EQ(session.AddKeyTolerance(), 4);
    EXPECT_FALSE(session.CanUndo());
}

TEST_F(SessionNotices, UndoOfAnOptionChangeWritesTheOptionBack) {
    store.WriteInt("EaseType", 0);
    ASSERT_NE(session.Edit([](Show& s) { s.EaseType = 2; }), 0u);
    store.WriteInt("EaseType", 2);
    EXPECT_TRUE(show.dirty);
    EXPECT_EQ(session.Undo(), static_cast<uint32_t>(ChangeOptions));
    EXPECT_EQ(show.EaseType, 0);
    EXPECT_EQ(store.ReadInt("EaseType", -1), 0);
    EXPECT_EQ(session.Redo(), static_cast<uint32_t>(ChangeOptions));
    EXPECT_EQ(store.ReadInt("EaseType", -1), 2);
    // An action that changes nothing is no step.
    EXPECT_EQ(session.Edit([](Show&) {}), 0u);
    EXPECT_EQ(session.UndoSteps(), 1u);
}

// --- With the whole editor -----------------------------------------------------------------------
namespace {

const std::string Example = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";

bool Greyed(int id) {
    return (GetMenuState(GetMenu(kv::MainWindow()->hwnd), id) & MF_GRAYED) != 0;
}

class EditSteps : public kvtest::EditorSession {
protected:
    // Runs one user action (queued as script steps by `act`), then checks in later steps that
    // it made exactly one step, that Undo gives back the records from before and Redo the ones
    // after, and that the Edit menu's greying follows.
    void OneStep(const char* what, const std::function<void()>& act,
                 const std::function<void()>& afterUndo = nullptr) {
        auto before = std::make_shared<ShowRecords>();
        auto after = std::make_shared<ShowRecords>();
        auto steps = std::make_shared<size_t>();
        Step([before, steps] {
            *before = RecordsOf(Session().TheShow());
            *steps = Session().UndoSteps();
        });
        act();
        Step([what, before, after, steps] {
            EXPECT_EQ(Session().UndoSteps(), *steps + 1) << what;
            EXPECT_NE(ChangesBetween(*before, RecordsOf(Session().TheShow())), 0u) << what;
            EXPECT_FALSE(Greyed(CmdUndo)) << what;
            EXPECT_TRUE(Greyed(CmdRedo)) << what;
            *after = RecordsOf(Session().TheShow());
        });
        Char(26);  // Ctrl+Z
        Step([what, before, afterUndo] {
            EXPECT_EQ(ChangesBetween(*before, RecordsOf(Session().TheShow())), 0u) << what;
            EXPECT_FALSE(Greyed(CmdRedo)) << what;
            if (afterUndo) afterUndo();
        });
        Char(25);  // Ctrl+Y
        Step([what, after] {
            EXPECT_EQ(ChangesBetween(*after, RecordsOf(Session().TheShow())), 0u) << what;
            EXPECT_TRUE(Greyed(CmdRedo)) << what;
        });
    }
};

}  // namespace

TEST_F(EditSteps, EachUserActionIsOneStep) {
    const std::string path = WriteShow("steps.kvx", Example, {0, 30, 90});
    ASSERT_TRUE(Start({path}));
    Step([] {
        EXPECT_FALSE(Session().CanUndo());  // a loaded show starts without history
        EXPECT_TRUE(Greyed(CmdUndo));
    });

    // Paste onto the key at 30 (selected by the timeline when the frame is on it).
    Step([] {
        Session().GoToFrame(90, true);
        Session().TheShow().selectedKey = 2;
    });
    Char(3);  // Ctrl+C copies the key at 90
    Step([] {
        Session().GoToFrame(60, true);
        Session().TheShow().selectedKey = -1;  // nothing selected: Paste adds a key here
    });
    OneStep("paste", [this] { Char(22); });

    // An ease choice clears the keys' own eases and writes the setting; Undo writes it back.
    OneStep(
        "ease", [this] { Command(CmdEaseInOut + 1); },
        [this] {
            EXPECT_EQ(TheShow().EaseType & 15, 0);
            EXPECT_EQ(Session().Store().ReadInt("EaseType", -1) & 15, 0);
        });

    // Prep Picture's dialog answered with Video Safe Color switched over; Undo prepares the
    // picture again with the old treatment.
    Step([] {
        kv::MainWindow()->dialogRunner = [](int, OptionText*, OptionText* values, const char*) {
            std::strcpy(values[0], values[0][0] ? "" : "1");
            return static_cast<int>(OptionOk);
        };
    });
    OneStep("prep picture", [this] { Command(CmdPrepPicture); });

    // Delete Picture with one picture leaves a new show; Undo brings the picture back.
    auto width = std::make_shared<int32_t>();
    Step([width] {
        *width = Session().TheShow().image.Width();
        kv::headless::QueueMessageBoxAnswer(IDYES);
    });
    OneStep(
        "delete picture", [this] { Command(CmdDeletePicture); },
        [this, width] {
            EXPECT_EQ(TheShow().pictureCount, 1);
            EXPECT_EQ(TheShow().image.Width(), *width);  // prepared again
        });

    Step([this] { TheShow().dirty = false; });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(EditSteps, AStageDragThatAddsAKeyIsOneStep) {
    const std::string path = WriteShow("drag.kvx", Example, {0, 90});
    ASSERT_TRUE(Start({path}));
    Step([] { Session().GoToFrame(45, true); });
    OneStep("stage drag", [this] {
        Step([] {
            CStage& st = *kv::MainWindow()->stage;
            const FrameShape s = st.Shape();
            kv::headless::ClientMove(st.hwnd, s.cx, s.cy);
            kv::headless::ClientDown(st.hwnd, s.cx, s.cy);
            kv::headless::ClientMove(st.hwnd, s.cx + 20, s.cy + 10);
            kv::headless::ClientUp(st.hwnd, s.cx + 20, s.cy + 10);
        });
    });
    Step([this] { TheShow().dirty = false; });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(EditSteps, LoadingAPictureWithMatchedMovesIsOneStep) {
    // A picture of half the example's size: the moves are matched to it in the same step.
    CDIB half(320, 240, 24);
    FileSpec halfSpec;
    halfSpec.SetPath((dir + "/half.bmp").c_str());
    ASSERT_TRUE(half.Save(halfSpec, FormatBmp));
    const std::string path = WriteShow("load.kvx", Example, {0, 30, 90});
    ASSERT_TRUE(Start({path}));
    OneStep(
        "load picture",
        [this] {
            Step([this] {
                kv::headless::QueueFileAnswer({dir + "/half.bmp"});
                kv::headless::QueueMessageBoxAnswer(IDYES);
            });
            Char(5);  // Ctrl+E
        },
        [this] {
            // The example is prepared again and the keys are the unmatched ones.
            EXPECT_EQ(TheShow().image.Width(), 640);
            EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 110.0f);
        });
    Step([this] {
        EXPECT_EQ(TheShow().image.Width(), 320);
        EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 55.0f);
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(EditSteps, LoadingAPictureAnsweredNoIsOneStepAndTheSamePictureAgainIsNone) {
    CDIB half(320, 240, 24);
    FileSpec halfSpec;
    halfSpec.SetPath((dir + "/half.bmp").c_str());
    ASSERT_TRUE(half.Save(halfSpec, FormatBmp));
    const std::string path = WriteShow("load-no.kvx", Example, {0, 30, 90});
    ASSERT_TRUE(Start({path}));
    // No to matching: the picture changes in one step, the keys stay as they were.
    OneStep(
        "load picture, no match",
        [this] {
            Step([this] {
                kv::headless::ClearMessageBoxTexts();
                kv::headless::QueueFileAnswer({dir + "/half.bmp"});
                kv::headless::QueueMessageBoxAnswer(IDNO);
            });
            Char(5);  // Ctrl+E
        },
        [this] { EXPECT_EQ(TheShow().image.Width(), 640); });
    Step([this] {
        EXPECT_EQ(TheShow().image.Width(), 320);
        EXPECT_FLOAT_EQ(TheShow().pictures[0].keys[1].x, 110.0f);
        EXPECT_EQ(kv::headless::MessageBoxTexts().size(), 1u);
        kv::headless::ClearMessageBoxTexts();
        TheShow().dirty = false;
    });
    // The same picture again changes nothing: no step and the show stays saved.
    auto steps = std::make_shared<size_t>();
    Step([this, steps] {
        *steps = Session().UndoSteps();
        kv::headless::QueueFileAnswer({dir + "/half.bmp"});
    });
    Char(5);
    Step([this, steps] {
        EXPECT_EQ(Session().UndoSteps(), *steps);
        EXPECT_FALSE(TheShow().dirty);
        EXPECT_EQ(TheShow().image.Width(), 320);
        EXPECT_TRUE(kv::headless::MessageBoxTexts().empty());
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(EditSteps, SuggestMoveOnAPortraitPansDownItsLengthAsOneStep) {
    // A portrait picture in a 4:3 frame: the suggestion fills the frame's width and pans
    // vertically, replacing the three keys with two; Undo brings the three back.
    CDIB tall(300, 600, 24);
    for (int y = 0; y < 600; ++y)
        for (int i = 0; i < tall.RowBytes(); ++i)
            tall.Row(y)[i] = static_cast<uint8_t>((y / 40 + i / 90) % 2 ? 200 : 40);
    FileSpec tallSpec;
    tallSpec.SetPath((dir + "/tall.bmp").c_str());
    ASSERT_TRUE(tall.Save(tallSpec, FormatBmp));
    const std::string path = WriteShow("suggest.kvx", dir + "/tall.bmp", {0, 30, 90});
    ASSERT_TRUE(Start({path}));
    Step([] { EXPECT_FALSE(Greyed(CmdSuggestMove)); });
    OneStep(
        "suggest move", [this] { Command(CmdSuggestMove); },
        [this] { EXPECT_EQ(TheShow().KeyCount(0), 3); });
    Step([this] {
        const Picture& p = TheShow().pictures[0];
        ASSERT_EQ(p.keyCount, 2);
        EXPECT_EQ(p.keys[0].time, 0);
        EXPECT_GT(p.keys[1].time, 0);
        // A vertical pan: the same width, near the picture's, at two heights; never beyond it.
        EXPECT_EQ(p.keys[0].width, p.keys[1].width);
        EXPECT_GT(p.keys[0].width, 280.0f);
        EXPECT_LE(p.keys[0].width, 300.0f);
        EXPECT_NE(p.keys[0].y, p.keys[1].y);
        EXPECT_FLOAT_EQ(p.keys[0].x, p.keys[1].x);
    });
    Step([this] { TheShow().dirty = false; });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}
