// What a top-level window last showed on the display, kept by the backend so that the next time
// only what changed is enlarged, sharpened and sent. The kept device picture is always exactly
// what enlarging the whole composed window and sharpening its noted texts and pictures
// (ScaleNearest, then SharpenText) gives; the work is done only where that can differ from last
// time: where the composed picture changed, where a note came, went or moved, and over the
// whole box of each text whose pixels changed.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win/internal.h"
#include "platform/win/sharp_text.h"

namespace kv {

// Memory of the caller's (the display's own window surface, rows one after another) that holds a
// shown window's device picture in place of memory of its own, when it has the picture's size.
struct ShownTarget {
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
};

class ShownPicture {
public:
    using Target = ShownTarget;

    // Composes `top` with its children as it is now and brings the kept pictures up to date at
    // `scale` device pixels per logical pixel. Returns the boxes of the device picture that
    // changed (device pixels, possibly overlapping); all of it when `whole`, the first time, and
    // after a change of size, factor or target. Empty when nothing changed or the window has no
    // surface. A target is used at factors other than 1; it must keep what the last update left
    // in it.
    std::vector<Rect> Update(HWND top, double scale, bool whole, Target target = {});

    // The device picture: DeviceWidth() x DeviceHeight(), top-down (null before the first
    // Update).
    const uint32_t* Device() const;
    int DeviceWidth() const { return m_dw; }
    int DeviceHeight() const { return m_dh; }
    // The composed (logical) picture it shows.
    const std::vector<uint32_t>& Composed() const { return m_composed; }
    int Width() const { return m_fw; }
    int Height() const { return m_fh; }

    // The boxes of logical pixels that differ between two pictures of the same size: bands of
    // rows that differ, each as wide as the differences in it.
    static std::vector<Rect> Differences(const uint32_t* before, const uint32_t* after, int width,
                                         int height);

private:
    std::vector<uint32_t> m_composed, m_next, m_device;
    uint32_t* m_target = nullptr;  // the caller's memory the device picture is in, if any
    std::vector<NoteMark> m_marks;
    int m_fw = 0, m_fh = 0, m_dw = 0, m_dh = 0;
    double m_scale = 0;
    bool m_valid = false;
};

}  // namespace kv
