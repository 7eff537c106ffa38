// Camera motion against worked examples: eased cubic segments, tension, ease codes.
#include "core/show/camera_motion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/show/show.h"

namespace kv {
namespace {

KeyFrame Key(int time, float x) {
    KeyFrame k{};
    k.time = time;
    k.x = x;
    return k;
}

TEST(Interpolate, OneKeyHoldsItsValueEverywhere) {
    KeyFrame k = Key(0, 42.5f);
    for (int t : {-5, 0, 7, 1000}) EXPECT_EQ(Interpolate(&k, 1, &KeyFrame::x, t, false, 0), 42.5f);
}

TEST(Interpolate, TwoKeysNoSlowsFollowHermiteCurveAndStraightLine) {
    KeyFrame k[2] = {Key(0, 0), Key(30, 300)};
    for (int t = 0; t < 30; ++t) {
        double s = t / 30.0;
        EXPECT_NEAR(Interpolate(k, 2, &KeyFrame::x, t, false, EaseNoSlows),
                    300.0 * (2 * s * s - s * s * s), 1e-3)
            << t;
        EXPECT_NEAR(Interpolate(k, 2, &KeyFrame::x, t, false, EaseNoSlows | EaseNoCurves),
                    300.0 * s, 1e-3)
            << t;
    }
    // At and past the last key: exactly the last key's value.
    EXPECT_EQ(Interpolate(k, 2, &KeyFrame::x, 30, false, EaseNoSlows), 300.0f);
    EXPECT_EQ(Interpolate(k, 2, &KeyFrame::x, 99, true, EaseNoSlows), 300.0f);
}

TEST(Interpolate, SlowInSlowOutUsesTheTruncatedConstants) {
    KeyFrame k[2] = {Key(0, 0), Key(30, 300)};
    for (int t = 1; t < 30; ++t) {
        double s = t / 30.0;
        double se = static_cast<float>((1 + std::sin(1.5707 * (2 * s - 1))) / 2);
        // With speed 0 the normaliser is 4 / 3.1414 · 0.5 … the profile differs from the
        // closed form only through the 1.5707/3.1414 normalisation; compare to the profile.
        float prof = EaseProfile(s, 0.5, 0.5);
        EXPECT_NEAR(prof, se, 2e-4) << t;
        EXPECT_NEAR(Interpolate(k, 2, &KeyFrame::x, t, false, EaseSlowInSlowOut),
                    300.0 * (2 * prof * prof - prof * prof * prof), 1e-3);
    }
}

TEST(Interpolate, TensionDampsTheTangentAtUnevenKeys) {
    KeyFrame k[3] = {Key(0, 0), Key(30, 100), Key(60, 110)};
    // First segment: M0 = 0, M1 = 0.5 * 110 * 0.3 = 16.5.
    for (int t = 0; t < 30; ++t) {
        double s = t / 30.0, m1 = 16.5;
        double q3 = 2 * (0 - 100.0) + m1, q2 = 3 * 100.0 - m1;
        EXPECT_NEAR(Interpolate(k, 3, &KeyFrame::x, t, false, EaseNoSlows), (q3 * s + q2) * s * s,
                    1e-3);
    }
    // Second segment starts with 16.5 and ends with the chord 10.
    for (int t = 30; t < 60; ++t) {
        double s = (t - 30) / 30.0, m0 = 16.5, m1 = 10;
        double q3 = m0 + 2 * (100.0 - 110) + m1, q2 = 3 * 10.0 - 2 * m0 - m1;
        EXPECT_NEAR(Interpolate(k, 3, &KeyFrame::x, t, false, EaseNoSlows),
                    ((q3 * s + q2) * s + m0) * s + 100, 1e-3);
    }
}

TEST(Interpolate, ZeroLengthSegmentIsSkipped) {
    KeyFrame k[4] = {Key(0, 0), Key(20, 100), Key(20, 500), Key(40, 600)};
    float before = Interpolate(k, 4, &KeyFrame::x, 19, false, EaseNoSlows | EaseNoCurves);
    EXPECT_NEAR(before, 95.0f, 1e-4);
    EXPECT_EQ(Interpolate(k, 4, &KeyFrame::x, 20, false, EaseNoSlows | EaseNoCurves), 500.0f);
    EXPECT_NEAR(Interpolate(k, 4, &KeyFrame::x, 30, false, EaseNoSlows | EaseNoCurves), 550.0f,
                1e-4);
}

TEST(Interpolate, EaseCodeOverridesModeSpeedAndCurve) {
    KeyFrame k[3] = {Key(0, 0), Key(30, 300), Key(60, 310)};
    k[0].easeCode = 2051;  // "In", speed 51 %, straight
    for (int t = 0; t < 30; ++t) {
        double s = t / 30.0;
        float se = EaseProfile(s, 1 - 0.51, 1.0);
        EXPECT_NEAR(Interpolate(k, 3, &KeyFrame::x, t, false, EaseSlowInSlowOut), 300.0 * se, 1e-3);
    }
    // Code 4000: no ease, curved.
    k[0].easeCode = 4000;
    const double m1 = 0.5 * 310 * 0.1, s = 0.5;
    const double curved = ((m1 - 600) * s + (900 - m1)) * s * s;
    EXPECT_NEAR(Interpolate(k, 3, &KeyFrame::x, 15, false, EaseSlowInSlowOut), curved, 1e-3);
}

TEST(Interpolate, HalfFrameIsTheValueHalfwayToTheNextFrame) {
    KeyFrame k[2] = {Key(0, 0), Key(30, 300)};
    for (int t = 0; t < 29; ++t) {
        double s = (t + 0.5) / 30.0;
        EXPECT_NEAR(Interpolate(k, 2, &KeyFrame::x, t, true, EaseNoSlows | EaseNoCurves), 300 * s,
                    1e-3);
    }
}

TEST(Interpolate, HoldStepsEaseCodesFromKeyToKey) {
    KeyFrame k[3] = {Key(0, 0), Key(10, 0), Key(20, 0)};
    k[0].easeCode = 1000;
    k[1].easeCode = 3002;
    EXPECT_EQ(Interpolate(k, 3, &KeyFrame::easeCode, 9, true, EaseHold), 1000.0f);
    EXPECT_EQ(Interpolate(k, 3, &KeyFrame::easeCode, 10, false, EaseHold), 3002.0f);
    EXPECT_EQ(Interpolate(k, 3, &KeyFrame::easeCode, 25, false, EaseHold), 0.0f);
}

TEST(CameraStateAt, AnglesAreStraightAndFieldsBeyondAreClear) {
    Show show;
    show.EaseType = EaseNoSlows;  // curves on for position
    KeyFrame a{}, b{};
    a.x = 0;
    a.rotation = 0;
    a.width = 100;
    b = a;
    b.time = 30;
    b.x = 300;
    b.rotation = 90;
    b.stamp = 5;
    b.sizeReserve = 7;
    show.pictures[0].keys[0] = a;
    show.pictures[0].keys[1] = b;
    show.pictures[0].keyCount = 2;
    CameraState c = CameraStateAt(show, 0, 15, false);
    EXPECT_NEAR(c.rotation, 45.0f, 1e-4);  // straight: no overshoot
    EXPECT_NEAR(c.x, 300 * (2 * 0.25 - 0.125), 1e-3);
    EXPECT_EQ(c.stamp, 0.0f);
    EXPECT_EQ(c.sizeReserve, 0.0f);
    EXPECT_EQ(c.time, 0);
    // Camera at a frame clamps to the show length and sets the current frame.
    show.length = 20;
    CameraState d = CameraAtFrame(show, 500, false);
    EXPECT_EQ(show.currentFrame, 20);
    EXPECT_EQ(d.x, CameraStateAt(show, 0, 20, false).x);
    CameraAtFrame(show, -3, false);
    EXPECT_EQ(show.currentFrame, 0);
}

}  // namespace
}  // namespace kv
