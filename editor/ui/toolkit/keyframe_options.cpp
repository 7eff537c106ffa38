// The "Set KeyFrame Options" dialog, shared by the stage (first four items) and the timeline.
#include "editor/ui/toolkit/keyframe_options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/base/settings.h"
#include "editor/ui/toolkit/option_dialog.h"
#include "editor/ui/toolkit/painter.h"

namespace kv {

int EaseKind(float code) {
    return std::clamp(ScreenInt(code / 1000.0f + 0.5f), 0, 4);
}

bool RunKeyFrameOptions(HWND owner, KeyFrame& key, bool firstFourOnly, int x, int y) {
    if (!owner) return false;
    OptionText items[11] = {};
    OptionText values[11] = {};
    const char* labels[11] = {"Horizontal Position",
                              "Vertical Position",
                              "Width",
                              "Rotation",
                              "@REases|Use Default",
                              "@RIn & Out",
                              "@RIn",
                              "@ROut",
                              "@RNone",
                              "@SEase Speed",
                              "@CNo Curves"};
    for (int i = 0; i < 11; ++i) std::snprintf(items[i], OptionSlot, "%s", labels[i]);
    const float fields[4] = {key.x, key.y, key.width, key.rotation};
    for (int i = 0; i < 4; ++i) std::snprintf(values[i], OptionSlot, "%d", ScreenInt(fields[i]));
    const int code = ScreenInt(key.easeCode);
    const int kind = EaseKind(key.easeCode);
    for (int r = 0; r < 5; ++r)
        std::snprintf(values[4 + r], OptionSlot, "%s", kind == r ? "1" : "");
    std::snprintf(values[9], OptionSlot, "%d", (code % 1000) & 254);
    std::snprintf(values[10], OptionSlot, "%s", (code & 1) ? "1" : "");
    const int count = firstFourOnly ? 4 : 11;

    // The dialog is drawn on its owner: the point becomes owner coordinates, kept inside it.
    Rect c{0, 0, 0, 0};
    GetClientRect(owner, &c);
    POINT at = ScreenToClient(owner, POINT{x, y});
    const int w = 16 + 2 * OptionDialogLabelWidth(count, items);
    const int h = 36 + 20 * (count + 2);
    at.x = std::max(0, std::min(at.x, c.right - w));
    at.y = std::max(0, std::min(at.y, c.bottom - h));
    if (RunOptionDialog(owner, at.x, at.y, count, items, values, "Set KeyFrame Options") !=
        OptionOk)
        return false;
    key.x = static_cast<float>(TextToInt(values[0]));
    key.y = static_cast<float>(TextToInt(values[1]));
    key.width = static_cast<float>(TextToInt(values[2]));
    key.rotation = static_cast<float>(TextToInt(values[3]));
    if (!firstFourOnly) {
        int sum = 0;
        for (int r = 0; r < 5; ++r)
            if (std::strcmp(values[4 + r], "1") == 0) sum = 1000 * r;
        if (std::strcmp(values[10], "1") == 0) sum += 1;
        sum += TextToInt(values[9]) & 254;
        key.easeCode = static_cast<float>(sum);
    }
    return true;
}

}  // namespace kv
