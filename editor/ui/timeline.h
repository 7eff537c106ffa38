// CTime: the editor's timeline — the ruler, the picture band with its file name and the keys;
// scrubbing, dragging keys, the KeyFrame Options dialog and the time zoom.
#pragma once

#include <cstdint>

#include "core/base/records.h"
#include "editor/ui/toolkit.h"

namespace kv {

class CTime : public CPWnd {
public:
    CTime() = default;
    ~CTime() override;

    // Reads "TimeScale", creates the window as an owned popup of `parent`, sets the scale for the
    // show length and registers itself as the editor's timeline.
    bool Create(HWND parent);

    bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;
    void Redraw() override;

    // Strip coordinates: x = frame * 60 / scale + 4; the frame under a strip x.
    int32_t StripX(int32_t frame) const;
    int32_t FrameAtStripX(int32_t x) const;
    // The frame under a client x (the scroll position added).
    int32_t FrameAtClientX(int32_t x) const;

    // In host mode picks the scale from the length; sets the strip width (at most 32700),
    // re-lays itself out and repaints.
    void SetScaleForLength(int32_t length);
    void KeepCurrentFrameVisible();
    // "Enlarge Timeline" and "Contract Timeline": the scale rules, then the current frame is
    // kept visible.
    void Enlarge();
    void Contract();

    int32_t scale = 30;  // frames per 60 pixels
    int32_t draggedKey = -1;
    int32_t draggedBoundary = -1;
    int32_t pressX = 0;
    int32_t draggedPicture = -1;
    int32_t stripWidth = 0;
    bool scrubbing = false;
};

// The "Set KeyFrame Options" dialog on one key: all eleven items, or the first four only (from
// the stage). Placed with its top-left at (x, y) in screen coordinates. True on OK, when `key`
// holds the edited values.
bool RunKeyFrameOptions(KeyFrame& key, bool firstFourOnly, int x, int y);

}  // namespace kv
