// The display's scale factor: how many device pixels one of the program's logical pixels covers.
// The program lays out and draws in logical pixels; the backend that shows real windows makes
// them that many times larger on the display, and divides the display's input by it.
//
// The factor comes from KINEVISTA_SCALE, else GDK_SCALE, else the X resource Xft.dpi over 96;
// each is rounded to a quarter and held between 1 and 3, and a value that is no number (or not
// above zero) is passed over for the next source. Without any, the factor is 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

constexpr double kMinScale = 1.0;
constexpr double kMaxScale = 3.0;

// A factor rounded to the nearest quarter and held to [kMinScale, kMaxScale].
double RoundScale(double factor);
// A factor written as text ("2", "1.5", " 1.25 "); nothing for text that is no positive number.
std::optional<double> ParseScale(const std::string& text);
// The Xft.dpi value of an X resource database as the root window's RESOURCE_MANAGER property
// holds it ("Xft.dpi:\t144\n..."); nothing when it is absent or no positive number.
std::optional<double> XftDpiOf(const std::string& resources);
// The factor from its three sources in order; null pointers stand for absent ones.
double ChooseScale(const char* kinevistaScale, const char* gdkScale, const char* resources);

// Device coordinate of a logical one: rounded to the nearest device pixel. Edges of rectangles
// map one by one, so rectangles that touch in logical pixels touch on the device.
int ToDevice(int logical, double factor);
// The logical pixel a device pixel's centre lies in (ToLogical(ToDevice(x)) == x).
int ToLogical(int device, double factor);

// Enlarges a picture (top-down, 32 bits a pixel) to dw x dh by taking for each device pixel the
// source pixel its centre lies in: edges stay hard, nothing is blended.
std::vector<uint32_t> ScaleNearest(const uint32_t* src, int sw, int sh, int dw, int dh);
// The same into a picture `dst` of dw x dh already there, writing only the device pixels that show
// the logical pixels from (x0, y0) up to (x1, y1): those from DeviceStart(x0) to DeviceStart(x1)
// across and likewise down.
void ScaleNearestInto(const uint32_t* src, int sw, int sh, uint32_t* dst, int dw, int dh, int x0,
                      int y0, int x1, int y1);
// The first device index (of dn) that shows logical index l (of n) in the enlargement, or dn for
// l >= n; the device pixels showing [a, b) are [DeviceStart(a), DeviceStart(b)).
int DeviceStart(int l, int n, int dn);

}  // namespace kv
