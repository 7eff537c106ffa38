// Show editing as the user drives it: adding keys on the stage, cut/copy/paste, shifting keys,
// undo and redo through the ring, Match Moves, Uniform Speed and the default ease commands.
#include <gtest/gtest.h>

#include <vector>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/show/show.h"
#include "tests/test_support.h"

namespace {

using kv::KeyFrame;
using kv::Picture;
using kv::Show;

KeyFrame Camera(float x, float y, float width) {
    KeyFrame k{};
    k.x = x;
    k.y = y;
    k.width = width;
    return k;
}

std::vector<int32_t> Times(const Show& s) {
    std::vector<int32_t> t;
    for (int k = 0; k < s.pictures[0].keyCount; ++k) t.push_back(s.pictures[0].keys[k].time);
    return t;
}

class Editing : public ::testing::Test {
protected:
    void SetUp() override {
        show.Reset();
        show.length = 1000;
        show.FrameRate = 2997;
        show.AutoAddKey = true;
    }
    // The stage drops the camera at a frame.
    bool AddAt(int32_t frame, float x, kv::EditFeedback* fb = nullptr) {
        show.currentFrame = frame;
        return kv::AddKeyAtCurrentFrame(show, Camera(x, 50, 200), kv::KeyNearTolerance, fb);
    }
    Show show;
};

TEST_F(Editing, AddKeyInsertsReplacesAndStopsAtSixtyThree) {
    kv::EditFeedback fb;
    EXPECT_TRUE(AddAt(100, 1, &fb));
    EXPECT_TRUE(fb.beep);  // a new key beeps
    EXPECT_TRUE(fb.render);
    EXPECT_EQ(fb.frame, 100);
    EXPECT_TRUE(AddAt(50, 2));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 50, 100}));
    EXPECT_EQ(show.pictures[0].keys[1].x, 2.0f);

    // Within 3 frames of a key: that key is replaced, not added.
    kv::EditFeedback quiet;
    EXPECT_FALSE(AddAt(103, 3, &quiet));
    EXPECT_FALSE(quiet.beep);
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 50, 103}));
    EXPECT_EQ(show.pictures[0].keys[2].x, 3.0f);
    EXPECT_FALSE(AddAt(2, 4));  // near frame 0: the first key, which stays at 0
    EXPECT_EQ(show.pictures[0].keys[0].time, 0);
    EXPECT_EQ(show.pictures[0].keys[0].x, 4.0f);
    EXPECT_TRUE(AddAt(1000, 5));  // at the length: placed at length - 1
    EXPECT_EQ(show.pictures[0].keys[3].time, 999);
    EXPECT_TRUE(show.dirty);

    show.Reset();
    show.length = 1000;
    for (int k = 1; k < 63; ++k) ASSERT_TRUE(AddAt(10 * k, static_cast<float>(k)));
    EXPECT_EQ(show.pictures[0].keyCount, 63);
    EXPECT_FALSE(AddAt(900, 1));
    EXPECT_EQ(show.pictures[0].keyCount, 63);
}

TEST_F(Editing, AddKeyWithoutAutoAddMovesOnASecond) {
    show.AutoAddKey = false;
    kv::EditFeedback fb;
    AddAt(200, 1, &fb);
    EXPECT_TRUE(fb.beep);
    EXPECT_EQ(show.currentFrame, 230);
    EXPECT_EQ(fb.frame, 230);
}

TEST_F(Editing, UndoRedoThroughTheRing) {
    AddAt(100, 1);
    AddAt(200, 2);
    AddAt(201, 3);  // replaces the key at 200
    kv::DeleteKey(show, 1, 0);
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 201}));

    ASSERT_TRUE(kv::Undo(show));  // the delete
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 100, 201}));
    ASSERT_TRUE(kv::Undo(show));  // the replacement
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 100, 200}));
    EXPECT_EQ(show.pictures[0].keys[2].x, 2.0f);
    EXPECT_EQ(show.pictures[0].keys[2].undoOp, 0);
    const Picture before = show.pictures[0];
    ASSERT_TRUE(kv::Redo(show));
    EXPECT_EQ(show.pictures[0].keys[2].x, 3.0f);
    ASSERT_TRUE(kv::Undo(show));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(show.pictures[0].keys[k] == before.keys[k]);
    ASSERT_TRUE(kv::Undo(show));
    ASSERT_TRUE(kv::Undo(show));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0}));
    EXPECT_FALSE(kv::Undo(show));
    EXPECT_EQ(show.redoCount, 4);

    // A new edit ends the redo chain.
    AddAt(500, 9);
    EXPECT_FALSE(kv::Redo(show));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 500}));
}

TEST_F(Editing, ReplacedKeyThatMovesPastANeighbourUndoesExactly) {
    auto add = [&](int32_t frame, float x, int32_t tolerance) {
        show.currentFrame = frame;
        kv::AddKeyAtCurrentFrame(show, Camera(x, 50, 200), tolerance);
    };
    add(50, 1, 1);
    add(112, 2, 1);
    add(113, 3, 1);  // a tolerance of 1 frame lets keys sit next to each other
    const Picture before = show.pictures[0];
    add(114, 4, 4);  // 112 is the first key within 4 frames: it becomes 114, sorted past 113
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 50, 113, 114}));
    const Picture after = show.pictures[0];

    ASSERT_TRUE(kv::Undo(show));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(show.pictures[0].keys[k] == before.keys[k]) << k;
    ASSERT_TRUE(kv::Redo(show));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(show.pictures[0].keys[k] == after.keys[k]) << k;
    // The earlier records still fit the keys they were made for.
    ASSERT_TRUE(kv::Undo(show));
    ASSERT_TRUE(kv::Undo(show));
    ASSERT_TRUE(kv::Undo(show));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 50}));
    EXPECT_EQ(show.pictures[0].keys[1].x, 1.0f);
}

TEST_F(Editing, RingKeepsTheLastThirtyTwo) {
    for (int i = 1; i <= 33; ++i) AddAt(10 * i, static_cast<float>(i));
    EXPECT_EQ(show.undoCount, 32);
    for (int i = 0; i < 32; ++i) ASSERT_TRUE(kv::Undo(show));
    EXPECT_FALSE(kv::Undo(show));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 10}));  // the first insert is out of reach
    for (int i = 0; i < 32; ++i) ASSERT_TRUE(kv::Redo(show));
    EXPECT_EQ(show.pictures[0].keyCount, 34);
    EXPECT_FALSE(kv::Redo(show));
}

TEST_F(Editing, ClipboardCommands) {
    AddAt(100, 11);
    AddAt(200, 22);
    show.selectedKey = 0;
    EXPECT_FALSE(kv::CutKey(show));
    EXPECT_FALSE(kv::DeleteSelectedKey(show));
    EXPECT_EQ(show.pictures[0].keyCount, 3);

    // Nothing copied yet: Paste does nothing.
    show.selectedKey = -1;
    show.currentFrame = 500;
    EXPECT_FALSE(kv::PasteKey(show, Camera(1, 1, 1)));
    EXPECT_EQ(show.pictures[0].keyCount, 3);

    show.selectedKey = 1;
    kv::EditFeedback fb;
    ASSERT_TRUE(kv::CutKey(show, &fb));
    EXPECT_TRUE(fb.beep);
    EXPECT_EQ(show.clipboard.x, 11.0f);
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 200}));

    // Paste with no selection makes a key at the current frame with the clipboard's camera.
    show.selectedKey = -1;
    show.currentFrame = 400;
    ASSERT_TRUE(kv::PasteKey(show, Camera(99, 99, 99)));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 200, 400}));
    EXPECT_EQ(show.pictures[0].keys[2].x, 11.0f);
    EXPECT_EQ(show.pictures[0].keys[2].width, 200.0f);

    // With AutoAddKey off the frame moves on, but the paste still lands on the new key.
    show.AutoAddKey = false;
    show.currentFrame = 600;
    ASSERT_TRUE(kv::PasteKey(show, Camera(99, 99, 99)));
    EXPECT_EQ(show.pictures[0].keys[3].time, 600);
    EXPECT_EQ(show.pictures[0].keys[3].x, 11.0f);

    // Paste onto a selected key keeps its time.
    show.selectedKey = 1;
    show.clipboard = Camera(7, 8, 9);
    show.clipboard.time = 5;
    ASSERT_TRUE(kv::PasteKey(show, Camera(0, 0, 0)));
    EXPECT_EQ(show.pictures[0].keys[1].x, 7.0f);
    EXPECT_EQ(show.pictures[0].keys[1].time, 200);

    show.currentFrame = 0;
    show.selectedKey = 1;
    kv::CopyKey(show);
    EXPECT_EQ(show.clipboard.width, 9.0f);
}

TEST_F(Editing, ShiftKeysAfterStaysInsideTheShow) {
    AddAt(100, 1);
    AddAt(200, 2);
    AddAt(300, 3);
    ASSERT_TRUE(kv::ShiftKeysAfter(show, 150, 800));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 100, 1000, 1000}));
    ASSERT_TRUE(kv::Undo(show));
    ASSERT_TRUE(kv::Undo(show));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 100, 200, 300}));
    ASSERT_TRUE(kv::ShiftKeysAfter(show, -5, -500));  // the first key never moves
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 0, 0, 0}));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(kv::Undo(show));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 100, 200, 300}));
}

TEST_F(Editing, MatchMovesScalesKeys) {
    AddAt(100, 40);
    show.pictures[0].keys[1].sizeReserve = 10;
    EXPECT_TRUE(kv::MatchMovesOffered(2, 400, 300, 800, 300));
    EXPECT_TRUE(kv::MatchMovesOffered(2, 400, 300, 400, 600));
    EXPECT_FALSE(kv::MatchMovesOffered(2, 10, 300, 10, 600));
    EXPECT_FALSE(kv::MatchMovesOffered(1, 400, 300, 800, 300));
    kv::MatchMoves(show, 0, 400, 100, 800, 50);
    EXPECT_EQ(show.pictures[0].keys[1].x, 80.0f);
    EXPECT_EQ(show.pictures[0].keys[1].y, 25.0f);
    EXPECT_EQ(show.pictures[0].keys[1].width, 400.0f);
    EXPECT_EQ(show.pictures[0].keys[1].sizeReserve, 5.0f);
    kv::MatchMoves(show, 0, 0, 100, 800, 50);
    EXPECT_EQ(show.pictures[0].keys[1].x, 80.0f);
}

TEST_F(Editing, UniformSpeed) {
    // Zoom only: no path length, the times stay.
    show.pictures[0].keys[0] = Camera(100, 100, 300);
    show.currentFrame = 100;
    kv::AddKeyAtCurrentFrame(show, Camera(100, 100, 100));
    EXPECT_FALSE(kv::UniformSpeed(show, 0));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 100}));

    // A straight pan of 100 then 300 pixels in equal times becomes 1 : 3 in time.
    show.Reset();
    show.length = 1000;
    show.EaseType = 3 | kv::EaseNoCurves;  // no slows, straight
    show.pictures[0].keys[0] = Camera(0, 0, 100);
    show.currentFrame = 100;
    kv::AddKeyAtCurrentFrame(show, Camera(100, 0, 100));
    show.currentFrame = 200;
    kv::AddKeyAtCurrentFrame(show, Camera(400, 0, 100));
    ASSERT_TRUE(kv::UniformSpeed(show, 0));
    const std::vector<int32_t> t = Times(show);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_NEAR(t[1], 50, 2);
    EXPECT_NEAR(t[2], 200, 3);
    ASSERT_TRUE(kv::Undo(show));
    ASSERT_TRUE(kv::Undo(show));
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 100, 200}));
}

TEST_F(Editing, DefaultEaseCommands) {
    // The commands write the owner's store at once; the process's store is not touched.
    kv::Settings store;
    const std::string processStore = kv::TheSettings().Text();
    AddAt(100, 1);
    show.pictures[0].keys[1].easeCode = 3041;
    show.EaseType = kv::EaseNoCurves | 1;
    kv::SetDefaultEase(show, 2, store);
    EXPECT_EQ(show.EaseType, kv::EaseNoCurves | 2);
    EXPECT_EQ(show.pictures[0].keys[1].easeCode, 0.0f);
    EXPECT_EQ(store.ReadInt("EaseType", -1), kv::EaseNoCurves | 2);
    show.pictures[0].keys[1].easeCode = 3041;
    kv::ToggleNoCurves(show, store);
    EXPECT_EQ(show.EaseType, 2);
    EXPECT_EQ(show.pictures[0].keys[1].easeCode, 0.0f);
    EXPECT_EQ(store.ReadInt("EaseType", -1), 2);
    EXPECT_EQ(kv::TheSettings().Text(), processStore);
    // A show made from that store starts with the ease the command chose.
    kv::Show next(store);
    EXPECT_EQ(next.EaseType, 2);
}

TEST_F(Editing, AnEditedKeyIsStoredWithoutTheRingsFields) {
    AddAt(100, 1);
    // A key read from an old file may carry ring fields; the edit leaves none in the show, and
    // what it hands back is the key as stored, found again whole after a sort.
    KeyFrame k = show.pictures[0].keys[1];
    k.undoPicture = 3;
    k.undoOp = kv::OpDeleted;
    k.x = 42;
    show.dirty = false;
    const KeyFrame stored = kv::SetEditedKey(show, 1, 0, k);
    EXPECT_EQ(stored.undoPicture, 0);
    EXPECT_EQ(stored.undoOp, 0);
    EXPECT_TRUE(show.pictures[0].keys[1] == stored);
    EXPECT_EQ(show.pictures[0].keys[1].x, 42.0f);
    EXPECT_EQ(show.pictures[0].keys[1].time, 100);
    EXPECT_EQ(show.pictures[0].keyCount, 2);
    EXPECT_TRUE(show.dirty);
}

TEST_F(Editing, DeleteAllKeysKeepsTheFirst) {
    AddAt(100, 1);
    AddAt(200, 2);
    AddAt(300, 3);
    kv::DeleteAllKeys(show);
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0}));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(kv::Undo(show));  // one record per key
    EXPECT_EQ(Times(show), (std::vector<int32_t>{0, 100, 200, 300}));
}

}  // namespace

namespace {

// A picture holding the most keys a show takes: 63, ten frames apart.
void FillKeys(Show& show) {
    show.Reset();
    show.length = 1000;
    show.AutoAddKey = true;
    show.pictureCount = 1;
    show.pictures[0].keyCount = 63;
    for (int k = 0; k < 63; ++k) {
        show.pictures[0].keys[k] = Camera(static_cast<float>(k), 50, 200);
        show.pictures[0].keys[k].time = 10 * k;
    }
}

}  // namespace

TEST(EditingAtTheKeyLimit, ANewKeyIsRefusedAndSaidSoButAnExistingOneIsStillReplaced) {
    Show show;
    FillKeys(show);
    kv::EditFeedback fb;
    show.currentFrame = 635;
    EXPECT_FALSE(kv::AddKeyAtCurrentFrame(show, Camera(500, 50, 200), kv::KeyNearTolerance, &fb));
    EXPECT_TRUE(fb.full);
    EXPECT_EQ(show.pictures[0].keyCount, 63);
    // On a key's own frame the key is replaced: nothing is added, nothing refused.
    kv::EditFeedback on;
    show.currentFrame = 620;
    kv::AddKeyAtCurrentFrame(show, Camera(501, 50, 200), kv::KeyNearTolerance, &on);
    EXPECT_FALSE(on.full);
    EXPECT_EQ(show.pictures[0].keys[62].x, 501.0f);
}

TEST(EditingAtTheKeyLimit, PasteWithoutRoomLeavesEveryKeyAsItWas) {
    Show show;
    FillKeys(show);
    show.clipboard = Camera(777, 1, 2);
    show.clipboard.time = 0;
    show.selectedKey = -1;
    show.currentFrame = 635;  // between the keys at 630 and 640: no room for a new one
    float before[63];
    for (int k = 0; k < 63; ++k) before[k] = show.pictures[0].keys[k].x;
    kv::EditFeedback fb;
    EXPECT_FALSE(kv::PasteKey(show, Camera(9, 9, 9), kv::KeyNearTolerance, &fb));
    EXPECT_TRUE(fb.full);
    for (int k = 0; k < 63; ++k) EXPECT_EQ(show.pictures[0].keys[k].x, before[k]) << k;
    // Without feedback the same holds.
    EXPECT_FALSE(kv::PasteKey(show, Camera(9, 9, 9)));
    for (int k = 0; k < 63; ++k) EXPECT_NE(show.pictures[0].keys[k].x, 777.0f) << k;
}
