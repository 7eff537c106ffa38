// Camera motion: eased cubic interpolation between keys.
#include "core/show/camera_motion.h"

#include <algorithm>
#include <cmath>

#include "core/show/show.h"

namespace kv {

float EaseProfile(double s, double a, double b) {
    const double n = (b - a) + 2.0 * a / HalfTurn + 2.0 * (1.0 - b) / HalfTurn;
    double v;
    if (s < a) {
        v = (2.0 * a / HalfTurn) * (1.0 + std::sin(RampAngle * (s / a - 1.0))) / n;
    } else if (s <= b) {
        v = (2.0 * a / HalfTurn + s - a) / n;
    } else {
        v = (2.0 * a / HalfTurn + (b - a) +
             (2.0 * (1.0 - b) / HalfTurn) * std::sin(RampAngle * (s - b) / (1.0 - b))) /
            n;
    }
    return static_cast<float>(v);
}

namespace {

// |truncate(d)|, kept in double so that absurd values from damaged files cannot overflow.
double AbsTrunc(double d) {
    return std::fabs(std::trunc(d));
}

// Integer part of a value, bounded so that damaged values from files stay defined.
int64_t TruncInt(double v) {
    double t = std::trunc(v);
    if (!(t > -1e15 && t < 1e15)) return 0;
    return static_cast<int64_t>(t);
}

// The key segment that holds a time and its cubic's coefficients (value = ((q3 s + q2) s + q1)
// s + q0 at s from 0 to 1 over the segment); seg is -1 when the time is past every segment.
struct Segment {
    int seg = -1;
    double q0 = 0, q1 = 0, q2 = 0, q3 = 0;
};

// Walks the segments with their slopes (each key's slope limited by the steps on either side)
// up to the one that holds t.
Segment FindSegment(const KeyFrame* K, int n, KeyField field, int32_t t) {
    Segment out;
    double m1 = 0.0, prevM1 = 0.0, prevOut = 0.0;
    for (int i = 0; i + 1 < n; ++i) {
        const float pi = K[i].*field;
        const float pi1 = K[i + 1].*field;
        const bool last = i == n - 2;
        if (!last) {
            const float pi2 = K[i + 2].*field;
            const double dIn = i == 0 ? AbsTrunc(static_cast<double>(pi1) - pi) : prevOut;
            double dOut = AbsTrunc(static_cast<double>(pi2) - pi1);
            if (dOut == 0.0) dOut = 1.0;
            const double tau = std::min(1.0, 3.0 * std::min(dIn, dOut) / std::max(dIn, dOut));
            m1 = 0.5 * (static_cast<double>(pi2) - pi) * tau;
            prevOut = dOut;
        } else {
            m1 = static_cast<double>(pi1) - pi;
        }
        const double m0t = i == 0 ? 0.0 : prevM1;
        prevM1 = m1;
        const int64_t duration = static_cast<int64_t>(K[i + 1].time) - K[i].time;
        if (K[i].time <= t && t < K[i].time + duration) {
            out.q3 = m0t + 2.0 * (static_cast<double>(pi) - pi1) + m1;
            out.q2 = 3.0 * (static_cast<double>(pi1) - pi) - 2.0 * m0t - m1;
            out.q1 = m0t;
            out.q0 = pi;
            out.seg = i;
            break;
        }
    }
    return out;
}

// The easing of a segment: which slow (0 both ends, 1 in, 2 out, else none), its speed and
// whether the segment is straight.
struct Easing {
    int64_t e = EaseNoSlows;
    double speed = 0.0;
    bool straight = false;
};

// The show's ease mode picks the slows of the first and last segments; a key's own ease code
// overrides them.
Easing EasingOf(const KeyFrame& k, int seg, int n, int32_t m0, bool defaultStraight) {
    Easing out;
    const bool first = seg == 0, lastSeg = seg == n - 2;
    if (m0 == EaseSlowInSlowOut) {
        if (n == 2) {
            out.e = 0;
        } else if (first) {
            out.e = 1;
        } else if (lastSeg) {
            out.e = 2;
        }
    } else if (m0 == EaseSlowIn) {
        if (first) out.e = 1;
    } else if (m0 == EaseSlowOut) {
        if (lastSeg) out.e = 2;
    }
    out.straight = defaultStraight;
    if (k.easeCode > 0.0f) {
        const int64_t code = TruncInt(k.easeCode);
        out.e = TruncInt((static_cast<double>(k.easeCode) - 900.0) / 1000.0);
        out.speed = static_cast<double>(code % 1000);
        out.straight = (code % 2) != 0;
    }
    return out;
}

// The eased position within the segment for the plain position s.
double EasedPosition(const Easing& ease, double s) {
    const double sigma = ease.speed / 100.0;
    switch (ease.e) {
        case 0:
            return EaseProfile(s, 0.5 - 0.5 * sigma, 0.5 + 0.5 * sigma);
        case 1:
            return EaseProfile(s, 1.0 - sigma, 1.0);
        case 2:
            return EaseProfile(s, 0.0, sigma);
        default:
            return s;
    }
}

}  // namespace

float Interpolate(const KeyFrame* K, int n, KeyField field, int32_t t, bool half, int32_t flags) {
    if (n <= 0 || !K) return 0.0f;
    if (n > MaxKeysPerPicture) n = MaxKeysPerPicture;
    if (n == 1) return K[0].*field;

    const double h = half ? 0.5 : 0.0;
    const int32_t m0 = flags & 15;
    const bool defaultStraight = (flags & EaseNoCurves) != 0;

    const Segment q = FindSegment(K, n, field, t);
    if (q.seg < 0) return K[n - 1].*field;

    const KeyFrame& k = K[q.seg];
    const float pi = k.*field;
    const float pi1 = K[q.seg + 1].*field;
    if (m0 == EaseHold) return pi;

    const double s =
        (static_cast<double>(t) - k.time + h) / (static_cast<double>(K[q.seg + 1].time) - k.time);
    const Easing ease = EasingOf(k, q.seg, n, m0, defaultStraight);
    const double se = EasedPosition(ease, s);

    if (ease.straight) return static_cast<float>(pi + se * (static_cast<double>(pi1) - pi));
    return static_cast<float>(((q.q3 * se + q.q2) * se + q.q1) * se + q.q0);
}

CameraState CameraStateAt(const Show& show, int picture, int32_t frame, bool half) {
    CameraState c{};
    if (picture < 0 || picture >= MaxPictures) return c;
    const Picture& p = show.pictures[picture];
    const int n = std::clamp(p.keyCount, 0, MaxKeysPerPicture);
    const int32_t t = frame - show.PictureStart(picture);
    const int32_t ease = show.EaseType;
    c.x = Interpolate(p.keys, n, &KeyFrame::x, t, half, ease);
    c.y = Interpolate(p.keys, n, &KeyFrame::y, t, half, ease);
    c.width = Interpolate(p.keys, n, &KeyFrame::width, t, half, ease);
    c.rotation = Interpolate(p.keys, n, &KeyFrame::rotation, t, half, ease | EaseNoCurves);
    c.tiltA = Interpolate(p.keys, n, &KeyFrame::tiltA, t, half, ease | EaseNoCurves);
    c.tiltB = Interpolate(p.keys, n, &KeyFrame::tiltB, t, half, ease | EaseNoCurves);
    c.easeCode = Interpolate(p.keys, n, &KeyFrame::easeCode, t, half, EaseHold);
    return c;
}

int32_t ClampFrame(const Show& show, int32_t frame) {
    if (frame < 0) frame = 0;
    if (frame >= show.length) frame = show.length;
    return frame;
}

CameraState CameraAt(const Show& show, int32_t frame, bool half) {
    frame = ClampFrame(show, frame);
    return CameraStateAt(show, show.PictureAt(frame), frame, half);
}

CameraState CameraAtFrame(Show& show, int32_t frame, bool half) {
    show.currentFrame = ClampFrame(show, frame);
    return CameraAt(show, frame, half);
}

}  // namespace kv
