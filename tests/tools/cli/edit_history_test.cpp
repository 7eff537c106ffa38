// The edit history over seeded random edit sequences of every kind: undoing every step gives back
// the saved show, redoing every step gives back the edited one, both compared through
// `kinevista-cli info` (the show id aside). Also the history's own rules: one step per action,
// nothing kept for an action that changed nothing, Begin/Commit spanning events, the cap.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/document/show_editing.h"
#include "core/document/show_edits.h"
#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tests/tools/cli/cli_show_fixture.h"

namespace {

using kvclitest::Cli;
using kvclitest::CliShow;
using kvclitest::Q;
using kvclitest::WithoutId;

class EditHistory : public CliShow {
protected:
    // The show's records saved from a scratch show (saving changes the show it saves), then
    // read back by the command-line tool.
    std::string InfoOf(const kv::Show& show, const std::string& name) {
        kv::Show scratch;
        kv::RestoreRecords(scratch, kv::RecordsOf(show));
        const std::string file = dir + "/" + name + ".kvx";
        EXPECT_TRUE(kv::SaveShow(scratch, file));
        std::string json;
        EXPECT_EQ(Cli("info " + Q(file), &json), 0);
        return WithoutId(json);
    }
};

kv::KeyFrame RandomCamera(std::mt19937& rng) {
    std::uniform_real_distribution<float> pos(0.0f, 64.0f), size(8.0f, 64.0f), deg(-30, 30);
    kv::KeyFrame k{};
    k.x = pos(rng);
    k.y = pos(rng) * 0.75f;
    k.width = size(rng);
    k.rotation = deg(rng);
    k.tiltA = deg(rng) / 3;
    return k;
}

// One random user action of one of the kinds the editor offers, as the editor runs it.
void RandomEdit(kv::ShowEdits& edits, std::mt19937& rng, const std::string& otherPicture) {
    const int kind = std::uniform_int_distribution<int>(0, 11)(rng);
    const int32_t frame = std::uniform_int_distribution<int32_t>(0, 299)(rng);
    const kv::KeyFrame camera = RandomCamera(rng);
    edits.Apply([&](kv::Show& s) {
        s.currentFrame = frame;
        switch (kind) {
            case 0:  // Add Key
                kv::AddKeyAtCurrentFrame(s, camera);
                break;
            case 1:  // Delete Key on the selected key
                s.selectedKey = s.KeyCount(0) > 1 ? s.KeyCount(0) - 1 : 0;
                kv::DeleteSelectedKey(s);
                break;
            case 2:  // ripple: keys after the frame move
                kv::ShiftKeysAfter(s, frame, frame % 2 ? 7 : -5);
                break;
            case 3:  // Copy, then Paste on another key
                s.selectedKey = 0;
                kv::CopyKey(s);
                s.selectedKey = s.KeyCount(0) - 1;
                kv::PasteKey(s, camera);
                break;
            case 4:  // a key's own ease
                s.pictures[0].keys[s.KeyCount(0) - 1].easeCode = 1000.0f * (frame % 4);
                break;
            case 5:  // the show's ease and No Curves
                s.EaseType = frame % 4;
                kv::ToggleNoCurves(s);
                break;
            case 6:  // picture treatments
                s.BlurFrames = frame % 3;
                s.PreBlur = frame % 5;
                s.ContrastBrightness = ((frame % 100) << 8) | 50;
                break;
            case 7:  // border and aspect
                s.BorderSize = frame % 9;
                s.MatteColor = static_cast<uint32_t>(frame) * 0x010203u;
                s.AspectMode = frame % 2 ? 5625 : 7500;
                s.aspect = kv::AspectOf(s.AspectMode);
                break;
            case 8: {  // load another picture
                kv::FileSpec f;
                f.SetPath(otherPicture.c_str());
                s.PictureLoaded(0, f, true, 80, 60);
                break;
            }
            case 9:  // delete the picture
                s.DeletePicture(0);
                break;
            case 10:  // Uniform Speed
                kv::UniformSpeed(s, 0);
                break;
            default:  // the show's length
                s.ClipToLength(150 + frame);
                s.length = 150 + frame;
                break;
        }
    });
}

TEST_F(EditHistory, UndoAllGivesTheSavedShowAndRedoAllTheEditedOne) {
    const std::string other = dir + "/other.bmp";
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        kv::Show show;
        ASSERT_TRUE(kv::LoadShow(show, path, false));
        kv::ShowEdits edits(show);
        const std::string saved = InfoOf(show, "saved");
        std::mt19937 rng(seed);
        const int actions = 10 + static_cast<int>(seed) * 4;
        for (int i = 0; i < actions; ++i) RandomEdit(edits, rng, other);
        ASSERT_GT(edits.UndoSteps(), 0u) << "seed " << seed;
        ASSERT_TRUE(show.dirty);
        const std::string edited = InfoOf(show, "edited");
        ASSERT_NE(edited, saved) << "seed " << seed;

        const size_t steps = edits.UndoSteps();
        size_t undone = 0;
        while (edits.Undo() != 0) ++undone;
        EXPECT_EQ(undone, steps);
        EXPECT_FALSE(edits.CanUndo());
        EXPECT_EQ(InfoOf(show, "undone"), saved) << "seed " << seed;

        size_t redone = 0;
        while (edits.Redo() != 0) ++redone;
        EXPECT_EQ(redone, undone);
        EXPECT_EQ(InfoOf(show, "redone"), edited) << "seed " << seed;
    }
}

TEST_F(EditHistory, EachActionIsOneStepAndAnUnchangedOneIsNone) {
    kv::Show show;
    ASSERT_TRUE(kv::LoadShow(show, path, false));
    show.dirty = false;
    kv::ShowEdits edits(show);

    // Deleting every key but the first changes two keys: one step takes both back.
    const int keys = show.KeyCount(0);
    ASSERT_EQ(keys, 3);
    const uint32_t changed = edits.Apply([](kv::Show& s) {
        for (int k = s.KeyCount(0) - 1; k > 0; --k) kv::DeleteKey(s, k, 0);
    });
    EXPECT_EQ(changed, kv::ChangeKeys);
    EXPECT_EQ(show.KeyCount(0), 1);
    EXPECT_TRUE(show.dirty);
    EXPECT_EQ(edits.UndoSteps(), 1u);

    // Nothing changed: no step, the redo steps survive.
    EXPECT_EQ(edits.Undo(), kv::ChangeKeys);
    EXPECT_EQ(show.KeyCount(0), keys);
    EXPECT_EQ(edits.Apply([](kv::Show& s) { s.currentFrame = 12; }), 0u);
    EXPECT_TRUE(edits.CanRedo());

    // An option change reports options; a new action ends the redo steps.
    EXPECT_EQ(edits.Apply([](kv::Show& s) { s.BorderSize = 9; }), kv::ChangeOptions);
    EXPECT_FALSE(edits.CanRedo());
    kv::FileSpec f;
    f.SetPath("/elsewhere/p.png");
    EXPECT_EQ(
        edits.Apply([&](kv::Show& s) { s.PictureLoaded(0, f, false, 0, 0); }) & kv::ChangePicture,
        kv::ChangePicture);
}

TEST_F(EditHistory, BeginCommitSpansEventsAndTheFrameComesBackWithTheStep) {
    kv::Show show;
    ASSERT_TRUE(kv::LoadShow(show, path, false));
    kv::ShowEdits edits(show);
    show.currentFrame = 30;
    edits.Begin();
    show.pictures[0].keys[1].time = 40;  // a drag, event by event
    edits.Begin();                       // a second press keeps the first before-state
    show.pictures[0].keys[1].time = 50;
    show.currentFrame = 50;
    EXPECT_TRUE(edits.Open());
    EXPECT_EQ(edits.Commit(), kv::ChangeKeys);
    EXPECT_FALSE(edits.Open());
    EXPECT_EQ(edits.Commit(), 0u);
    EXPECT_EQ(edits.UndoSteps(), 1u);
    edits.Undo();
    EXPECT_EQ(show.pictures[0].keys[1].time, 30);
    EXPECT_EQ(show.currentFrame, 30);
    edits.Redo();
    EXPECT_EQ(show.pictures[0].keys[1].time, 50);
    EXPECT_EQ(show.currentFrame, 50);
}

TEST_F(EditHistory, KeepsTheNewestStepsUpToItsCap) {
    kv::Show show;
    ASSERT_TRUE(kv::LoadShow(show, path, false));
    kv::ShowEdits edits(show);
    const size_t total = kv::ShowEdits::MaxSteps + 10;
    for (size_t i = 0; i < total; ++i)
        edits.Apply([i](kv::Show& s) { s.BorderSize = static_cast<int32_t>(i % 7) + 1; });
    EXPECT_EQ(edits.UndoSteps(), kv::ShowEdits::MaxSteps);
    while (edits.Undo() != 0) {
    }
    // The ten oldest steps are gone: the border is what the eleventh action left.
    EXPECT_EQ(show.BorderSize, static_cast<int32_t>(9 % 7) + 1);
    edits.Forget();
    EXPECT_FALSE(edits.CanRedo());
}

}  // namespace
