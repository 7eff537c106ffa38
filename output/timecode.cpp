// Timecode text conversions.
#include "output/timecode.h"

#include <cstdio>
#include <cstdlib>

namespace kv {

std::string FramesToTimecode(int32_t frames, int32_t frameRate, bool longForm) {
    const int64_t r = frameRate;
    const int64_t perSecond = (r + 50) / 100;
    const int64_t perMinute = (r * 60) / 100;
    int64_t a = std::llabs(static_cast<long long>(frames));
    int64_t h = 0, m = 0, s = 0, f = 0;
    // A rate of zero or below has no seconds; everything stays in the frames group.
    if (r > 0 && perSecond > 0 && perMinute > 0) {
        h = (a / (r * 36)) % 12;
        a -= h * r * 36;
        m = (a / perMinute) % 60;
        a -= m * perMinute;
        s = (a / perSecond) % 60;
        f = (a % perSecond) % 60;
    } else {
        f = a % 100;
    }
    const char sep = frames < 0 ? '.' : ':';
    char buf[32];
    if (longForm)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d%c%02d", static_cast<int>(h),
                      static_cast<int>(m), static_cast<int>(s), sep, static_cast<int>(f));
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d%c%02d", static_cast<int>(m), static_cast<int>(s),
                      sep, static_cast<int>(f));
    return buf;
}

void TimecodeToFrames(const char* text, int32_t& frames, int32_t frameRate) {
    if (!text) return;
    const int64_t perSecond = (static_cast<int64_t>(frameRate) + 50) / 100;
    static const int64_t kUnits[4] = {0, 1, 60, 3600};  // in seconds, after the frames group
    int len = 0;
    while (text[len]) ++len;
    int64_t result = 0;
    int group = 0;
    bool any = false;
    auto digit = [&](int i) { return text[i] >= '0' && text[i] <= '9'; };
    for (int i = len - 1; i >= 0;) {
        if (!digit(i)) {
            --i;
            continue;
        }
        int64_t v = text[i] - '0';
        if (i > 0 && digit(i - 1)) {
            v += 10 * (text[i - 1] - '0');
            i -= 2;
        } else {
            i -= 1;
        }
        if (group == 0)
            result = v;
        else if (group < 4)
            result += v * perSecond * kUnits[group];
        any = true;
        ++group;
    }
    if (!any) return;
    if (text[0] == '+')
        result = frames + result;
    else if (text[0] == '-')
        result = frames - result;
    if (result > INT32_MAX) result = INT32_MAX;
    if (result < INT32_MIN) result = INT32_MIN;
    frames = static_cast<int32_t>(result);
}

}  // namespace kv
