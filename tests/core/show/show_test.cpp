// The show model: new-show state, key ordering, picture lookup, rescaling and clipping.
#include "core/show/show.h"

#include <gtest/gtest.h>

#include "core/base/settings.h"
#include "core/show/camera_motion.h"

namespace kv {
namespace {

KeyFrame Key(int time, float x, float tag = 0) {
    KeyFrame k{};
    k.time = time;
    k.x = x;
    k.width = 100;
    k.spareB = tag;
    return k;
}

void SetKeys(Show& show, std::initializer_list<KeyFrame> keys) {
    int i = 0;
    for (const KeyFrame& k : keys) show.pictures[0].keys[i++] = k;
    show.pictures[0].keyCount = i;
    show.pictureCount = 1;
}

TEST(Show, NewShowStateAfterEditsAndReset) {
    Show show;
    EXPECT_EQ(show.pictureCount, 0);
    EXPECT_EQ(show.KeyCount(0), 1);
    EXPECT_EQ(show.clipboard.time, -9999);
    SetKeys(show, {Key(0, 1), Key(10, 2), Key(20, 3)});
    show.pictures[0].fileSpec.SetPath("/tmp/pic.bmp");
    show.dirty = true;
    show.undoIndex = 5;
    show.undoCount = 3;
    show.BorderSize = 7;
    show.MatteColor = 0x123456;
    show.audio.SetPath("/tmp/a.wav");
    show.Reset();

    KeyFrame first{};
    show.GetKey(0, 0, first);
    KeyFrame expected{};
    expected.x = 200;
    expected.y = 200;
    expected.width = 100;
    EXPECT_EQ(first, expected);
    KeyFrame second;
    show.GetKey(1, 0, second);
    EXPECT_EQ(second, KeyFrame{});  // every slot is cleared, not just the count
    EXPECT_EQ(show.KeyCount(0), 1);
    EXPECT_EQ(show.pictureCount, 0);
    EXPECT_TRUE(show.pictures[0].fileSpec.Empty());
    EXPECT_TRUE(show.audio.Empty());
    EXPECT_FALSE(show.dirty);
    EXPECT_EQ(show.undoIndex, -1);
    EXPECT_EQ(show.undoCount, 0);
    EXPECT_EQ(show.BorderSize, 0);
    EXPECT_EQ(show.MatteColor, 0x123456u);  // other show-wide settings keep their values
    EXPECT_EQ(show.preparedPicture, 0);
    EXPECT_EQ(show.preparedPicture2, -1);
    EXPECT_EQ(show.image.Width(), 8);
    EXPECT_EQ(show.image.BitCount(), 24);
}

TEST(Show, ShowWideSettingsComeFromTheOwnersStoreOnly) {
    Settings owner;
    owner.WriteInt("FrameRate", 2500);
    owner.WriteInt("AspectMode", 5626);
    owner.WriteInt("MultiProcOffset", 7);
    owner.WriteInt("VideoColors", 0);
    owner.WriteString("AltImageFolder", "/pictures/");
    const Show fromOwner(owner);
    EXPECT_EQ(fromOwner.FrameRate, 2500);
    EXPECT_EQ(fromOwner.AspectMode, 5626);
    EXPECT_FLOAT_EQ(fromOwner.aspect, 0.5625f);
    EXPECT_EQ(fromOwner.MultiProcOffset, 1);
    EXPECT_FALSE(fromOwner.VideoColors);
    EXPECT_STREQ(fromOwner.AltImageFolder.path, "/pictures/");
    EXPECT_EQ(fromOwner.clipboard.time, -9999);

    // A show made without a store has the new-show defaults, whatever the process's store says.
    const std::string saved = TheSettings().Text();
    TheSettings().WriteInt("FrameRate", 2397);
    TheSettings().WriteInt("IgnoreAlpha", 0);
    const Show plain;
    TheSettings().LoadText(saved.data(), saved.size());
    EXPECT_EQ(plain.FrameRate, DefaultFrameRate);
    EXPECT_EQ(plain.AspectMode, 7500);
    EXPECT_TRUE(plain.IgnoreAlpha);
    EXPECT_TRUE(plain.VideoColors);
    EXPECT_TRUE(plain.AutoAddKey);
    EXPECT_EQ(plain.EaseType, 0);
    EXPECT_EQ(plain.clipboard.time, -9999);
}

TEST(Show, OutOfRangeIndicesDoNothing) {
    Show show;
    KeyFrame k = Key(3, 9), out = Key(1, 1);
    show.SetKey(64, 0, k);
    show.SetKey(0, 1, k);
    show.SetKey(-1, 0, k);
    EXPECT_EQ(show.KeyCount(0), 1);
    EXPECT_FALSE(show.dirty);
    show.GetKey(0, 1, out);
    show.GetKey(99, 0, out);
    EXPECT_EQ(out, Key(1, 1));
    EXPECT_EQ(show.PictureStart(1), 0);
    show.SetKey(1, 0, k);  // appending grows the count by one
    EXPECT_EQ(show.KeyCount(0), 2);
    EXPECT_TRUE(show.dirty);
}

TEST(Show, SortKeysIsASelectionSortThatTakesTheFirstOfEqualTimes) {
    Show show;
    SetKeys(show, {Key(5, 0, 1), Key(3, 0, 2), Key(3, 0, 3), Key(1, 0, 4)});
    show.SortKeys(0);
    float order[4];
    for (int i = 0; i < 4; ++i) order[i] = show.pictures[0].keys[i].spareB;
    EXPECT_EQ(order[0], 4);
    EXPECT_EQ(order[1], 2);
    EXPECT_EQ(order[2], 3);
    EXPECT_EQ(order[3], 1);
    // An exchange can move an equal-time key behind its twin: [3a, 3b, 1c] -> [1c, 3b, 3a].
    SetKeys(show, {Key(3, 0, 1), Key(3, 0, 2), Key(1, 0, 3)});
    show.SortKeys(0);
    EXPECT_EQ(show.pictures[0].keys[0].spareB, 3);
    EXPECT_EQ(show.pictures[0].keys[1].spareB, 2);
    EXPECT_EQ(show.pictures[0].keys[2].spareB, 1);
}

TEST(Show, PictureAtAndKeyNear) {
    Show show;
    SetKeys(show, {Key(0, 0), Key(30, 0), Key(60, 0)});
    EXPECT_EQ(show.PictureAt(-5), 0);
    EXPECT_EQ(show.PictureAt(100000), 0);
    EXPECT_EQ(show.KeyNear(0), 0);
    EXPECT_EQ(show.KeyNear(3), 0);
    EXPECT_EQ(show.KeyNear(4), -1);  // the distance must be below 4
    EXPECT_EQ(show.KeyNear(26), -1);
    EXPECT_EQ(show.KeyNear(27), 1);
    EXPECT_EQ(show.KeyNear(33), 1);
    EXPECT_EQ(show.KeyNear(45), -1);
}

TEST(Show, RescaleTimesScalesAllButTheFirstKey) {
    Show show;
    show.length = 600;
    SetKeys(show, {Key(0, 0), Key(100, 0), Key(299, 0)});
    EXPECT_FALSE(show.RescaleTimes(300, 301));  // lengths one frame apart: unchanged
    EXPECT_FALSE(show.RescaleTimes(0, 600));
    EXPECT_EQ(show.pictures[0].keys[1].time, 100);
    EXPECT_TRUE(show.RescaleTimes(300, 600));
    EXPECT_EQ(show.pictures[0].keys[0].time, 0);
    EXPECT_EQ(show.pictures[0].keys[1].time, 200);
    EXPECT_EQ(show.pictures[0].keys[2].time, 598);
    EXPECT_EQ(show.pictures[0].keys[0].showLength, 600.0f);
    // Shrinking truncates: 200 * (100 / 600) = 33.33 -> 33.
    EXPECT_TRUE(show.RescaleTimes(600, 100));
    EXPECT_EQ(show.pictures[0].keys[1].time, 33);
    // Lengths from a damaged file: the scaled times stay defined and saturate.
    SetKeys(show, {Key(0, 0), Key(2000000000, 0)});
    EXPECT_TRUE(show.RescaleTimes(1, 100000));
    EXPECT_EQ(show.pictures[0].keys[1].time, INT32_MAX);
}

TEST(Show, ClipToLengthReplacesTheFirstKeyBeyondTheEnd) {
    Show show;
    show.EaseType = EaseNoSlows | EaseNoCurves;
    show.length = 40;
    SetKeys(show, {Key(0, 0), Key(30, 300), Key(60, 600), Key(90, 900)});
    EXPECT_FALSE(show.ClipToLength(-1));
    CameraState at40 = CameraStateAt(show, 0, 40, false);
    EXPECT_TRUE(show.ClipToLength(40));
    EXPECT_EQ(show.KeyCount(0), 3);
    EXPECT_EQ(show.pictures[0].keys[2].time, 40);
    EXPECT_EQ(show.pictures[0].keys[2].x, at40.x);
    EXPECT_NEAR(at40.x, 400.0f, 1e-3);
    EXPECT_EQ(show.pictures[0].keys[0].showLength, 40.0f);
    // Keys inside the length are untouched.
    EXPECT_TRUE(show.ClipToLength(1000));
    EXPECT_EQ(show.KeyCount(0), 3);
}

TEST(Show, DeletePictureAndRotationInUse) {
    Show show;
    SetKeys(show, {Key(0, 5), Key(10, 6)});
    EXPECT_FALSE(show.RotationInUse(0));
    show.pictures[0].keys[1].tiltB = 0.5f;
    EXPECT_TRUE(show.RotationInUse(0));
    show.pictures[0].keys[1].tiltB = 0;
    show.AlwaysUseRotation = true;
    EXPECT_TRUE(show.RotationInUse(0));
    show.DeletePicture(0);  // the only picture: a new show
    EXPECT_EQ(show.pictureCount, 0);
    EXPECT_EQ(show.KeyCount(0), 1);
    EXPECT_EQ(show.pictures[0].keys[0].x, 200.0f);
}

TEST(Show, PictureLoadedReframesALoneKeyOnly) {
    Show show;
    FileSpec fileSpec;
    fileSpec.SetPath("/pics/a.bmp");
    show.PictureLoaded(-3, fileSpec, true, 640, 480);
    EXPECT_EQ(show.pictureCount, 1);
    EXPECT_STREQ(show.pictures[0].fileSpec.path, "/pics/a.bmp");
    EXPECT_EQ(show.pictures[0].keys[0].width, 640.0f);
    EXPECT_EQ(show.pictures[0].keys[0].x, 320.0f);
    EXPECT_EQ(show.pictures[0].keys[0].y, 240.0f);
    EXPECT_TRUE(show.dirty);
    SetKeys(show, {Key(0, 5), Key(10, 6)});
    show.PictureLoaded(0, fileSpec, true, 100, 100);
    EXPECT_EQ(show.pictures[0].keys[0].x, 5.0f);
}

TEST(Show, AspectDropsTheModeDigit) {
    EXPECT_FLOAT_EQ(AspectOf(7500), 0.75f);
    EXPECT_FLOAT_EQ(AspectOf(5626), 0.5625f);
    EXPECT_FLOAT_EQ(AspectOf(5625), 0.5625f);
}

}  // namespace
}  // namespace kv
