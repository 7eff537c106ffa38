// Camera motion: the camera of any frame from the keys of a picture.
//
// Position and width glide on cubic curves through the keys with eased timing; the angles move
// on straight lines with the same timing; the ease code steps from key to key. Values are
// computed in double precision from float32 key values and returned as float32. Nothing here
// allocates; every call walks the keys from the first (at most 64).
#pragma once

#include <cstdint>

#include "core/base/records.h"

namespace kv {

class Show;

// The quarter-wave constants are the decimal values the stored shows were made with,
// deliberately not pi/2 and pi.
constexpr double RampAngle = 1.5707;
constexpr double HalfTurn = 3.1414;

using KeyField = float KeyFrame::*;

// Eased fraction of s in [0, 1]: a velocity that ramps up over [0, a] as a quarter sine, stays
// constant over [a, b] and ramps down over [b, 1].
float EaseProfile(double s, double a, double b);

// One field of keys K[0..n-1] at picture-relative frame t (plus half a frame when half).
// flags: low four bits the default ease mode (4 = hold), bit 4 straight paths.
float Interpolate(const KeyFrame* K, int n, KeyField field, int32_t t, bool half, int32_t flags);

// The camera of picture p at show frame F: a cleared record with x, y, width, the three angles
// and the ease code in force filled in.
CameraState CameraStateAt(const Show& show, int picture, int32_t frame, bool half);

// A frame clamped to the show: 0..length.
int32_t ClampFrame(const Show& show, int32_t frame);

// The camera at a frame (clamped to 0..length) of the picture playing there. Reads the show only.
CameraState CameraAt(const Show& show, int32_t frame, bool half);

// CameraAt, and the clamped frame becomes currentFrame: for the programs that keep their frame in
// the show. The editor keeps its frame in the editing session and uses CameraAt.
CameraState CameraAtFrame(Show& show, int32_t frame, bool half);

}  // namespace kv
