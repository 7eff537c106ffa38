#include "platform/win/scale.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kv {

double RoundScale(double factor) {
    if (!(factor == factor)) return kMinScale;  // NaN
    const double q = std::round(factor * 4.0) / 4.0;
    return q < kMinScale ? kMinScale : q > kMaxScale ? kMaxScale : q;
}

std::optional<double> ParseScale(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    if (b == e) return std::nullopt;
    const std::string t = text.substr(b, e - b);
    // Plain decimal numbers only: no hexadecimal, no "inf" or "nan".
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '+')
            return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v) || v <= 0) return std::nullopt;
    return v;
}

std::optional<double> XftDpiOf(const std::string& resources) {
    // One resource a line: "name:<space or tab>value". The last Xft.dpi line counts, as xrdb
    // merges do.
    std::optional<double> found;
    size_t pos = 0;
    while (pos < resources.size()) {
        size_t end = resources.find('\n', pos);
        if (end == std::string::npos) end = resources.size();
        const std::string line = resources.substr(pos, end - pos);
        pos = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
            name.pop_back();
        size_t nb = 0;
        while (nb < name.size() && std::isspace(static_cast<unsigned char>(name[nb]))) ++nb;
        if (name.compare(nb, std::string::npos, "Xft.dpi") != 0) continue;
        if (auto v = ParseScale(line.substr(colon + 1)))
            found = v;
        else
            found.reset();
    }
    return found;
}

double ChooseScale(const char* kinevistaScale, const char* gdkScale, const char* resources) {
    for (const char* s : {kinevistaScale, gdkScale})
        if (s)
            if (auto v = ParseScale(s)) return RoundScale(*v);
    if (resources)
        if (auto dpi = XftDpiOf(resources)) return RoundScale(*dpi / 96.0);
    return 1.0;
}

// Logical pixel x covers the device pixels from ToDevice(x) up to ToDevice(x + 1); a device
// pixel d therefore belongs to the largest x with floor(x * factor + 1/2) <= d, which is the
// largest x below (d + 1/2) / factor.
int ToDevice(int logical, double factor) {
    return static_cast<int>(std::floor(logical * factor + 0.5));
}

int ToLogical(int device, double factor) {
    return static_cast<int>(std::ceil((device + 0.5) / factor)) - 1;
}

namespace {

// ToLogical in whole numbers for the factor dn / sn: the largest i below (d + 1/2) * sn / dn.
int64_t SourceIndex(int d, int sn, int dn) {
    const int64_t num = (int64_t{d} * 2 + 1) * sn, den = int64_t{dn} * 2;
    return (num + den - 1) / den - 1;
}

}  // namespace

int DeviceStart(int l, int n, int dn) {
    if (l <= 0 || n <= 0 || dn <= 0) return 0;
    if (l >= n) return std::max(dn, 0);
    // The smallest d with SourceIndex(d) >= l: the index grows with d by whole steps, so a guess
    // from the ratio is at most a step or two off.
    int d = static_cast<int>(std::min<int64_t>(dn, int64_t{l} * dn / n));
    while (d > 0 && SourceIndex(d - 1, n, dn) >= l) --d;
    while (d < dn && SourceIndex(d, n, dn) < l) ++d;
    return d;
}

void ScaleNearestInto(const uint32_t* src, int sw, int sh, uint32_t* dst, int dw, int dh, int x0,
                      int y0, int x1, int y1) {
    if (!src || !dst || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    x1 = std::min(sw, x1);
    y1 = std::min(sh, y1);
    if (x1 <= x0 || y1 <= y0) return;
    const int dx0 = DeviceStart(x0, sw, dw), dx1 = DeviceStart(x1, sw, dw);
    const int dy0 = DeviceStart(y0, sh, dh), dy1 = DeviceStart(y1, sh, dh);
    const int n = dx1 - dx0;
    if (n <= 0) return;
    std::vector<int> column(static_cast<size_t>(n));
    for (int x = dx0; x < dx1; ++x)
        column[static_cast<size_t>(x - dx0)] =
            static_cast<int>(std::min<int64_t>(sw - 1, SourceIndex(x, sw, dw)));
    // Twice as large across (the common factor 2): each logical pixel fills two device pixels.
    bool doubled = dw == 2 * sw;
    for (int i = 0; doubled && i < n; ++i)
        doubled = column[static_cast<size_t>(i)] == (dx0 + i) / 2;
    int lastRow = -1;
    const uint32_t* lastOut = nullptr;
    for (int y = dy0; y < dy1; ++y) {
        const int sy = static_cast<int>(std::min<int64_t>(sh - 1, SourceIndex(y, sh, dh)));
        uint32_t* row = dst + static_cast<size_t>(y) * dw + dx0;
        if (sy == lastRow) {
            // The same logical row again: a copy of the device row above.
            std::memcpy(row, lastOut, static_cast<size_t>(n) * 4);
            continue;
        }
        const uint32_t* s = src + static_cast<size_t>(sy) * sw;
        if (doubled) {
            int i = 0;
            if (dx0 & 1) row[i++] = s[dx0 / 2];
            const uint32_t* from = s + (dx0 + i) / 2;
            for (; i + 1 < n; i += 2, ++from) row[i] = row[i + 1] = *from;
            if (i < n) row[i] = *from;
        } else {
            for (int i = 0; i < n; ++i) row[i] = s[column[static_cast<size_t>(i)]];
        }
        lastRow = sy;
        lastOut = row;
    }
}

std::vector<uint32_t> ScaleNearest(const uint32_t* src, int sw, int sh, int dw, int dh) {
    std::vector<uint32_t> out;
    if (!src || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return out;
    out.resize(static_cast<size_t>(dw) * dh);
    ScaleNearestInto(src, sw, sh, out.data(), dw, dh, 0, 0, sw, sh);
    return out;
}

}  // namespace kv
