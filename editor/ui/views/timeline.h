// CTime: the editor's timeline — the ruler, the picture band with its file name and the keys;
// scrubbing, dragging keys, the KeyFrame Options dialog and the time zoom.
#pragma once

#include <cstdint>

#include "core/base/records.h"
#include "editor/ui/toolkit/toolkit.h"

namespace kv {

class EditSession;

class Painter;
class Show;

class CTime : public CPWnd {
public:
    // The timeline shows and edits the run's session, which outlives it.
    explicit CTime(EditSession& runSession) : session(runSession) {}
    ~CTime() override;

    // Reads "TimeScale", creates the window as an owned popup of `parent`, sets the scale for the
    // show length, subscribes to the session and offers it the key tolerance and the frame under
    // a click.
    bool Create(HWND parent);

    bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;
    void Redraw() override;
    void SessionChanged(uint32_t changes, const void* origin);

    // Strip coordinates: x = frame * 60 / scale + 4; the frame under a strip x.
    int32_t StripX(int32_t frame) const;
    int32_t FrameAtStripX(int32_t x) const;
    // The frame under a client x (the scroll position added).
    int32_t FrameAtClientX(int32_t x) const;
    // Frames within which a key counts as at the current frame, for the selection mark and for
    // Add Key alike: half the scale, at most the key-near tolerance.
    int32_t KeyTolerance() const;

    // In host mode picks the scale from the length; sets the strip width (at most 32700),
    // re-lays itself out and repaints.
    void SetScaleForLength(int32_t length);
    void KeepCurrentFrameVisible();
    // "Enlarge Timeline" and "Contract Timeline": the scale rules, then the current frame is
    // kept visible.
    void Enlarge();
    void Contract();

    // The key under a client point (only for 14 <= y <= 30), or -1.
    int KeyAt(int x, int y) const;
    // Places the timeline against its parent (see the placement rules in timeline.cpp).
    void Place();
    // The strip width for the show length at the current scale, then the placement.
    void UpdateStripWidth();
    void PaintKeys(Painter& p, kv::Show& show, int scroll, const Rect& client);
    void PaintHold(Painter& p, int from, int to);
    // Mouse steps (client coordinates) and the end of any drag.
    void MouseMove(int x, int y);
    void MouseDown(int x, int y);
    void MouseUp(int x, bool shift);
    void RightClick(int x, int y);
    void EndDrag();
    void XorMark(int x);  // the inverted 12 x 12 outline of a dragged key

    int32_t scale = 30;  // frames per 60 pixels
    int32_t draggedKey = -1;
    int32_t draggedBoundary = -1;
    int32_t pressX = 0;
    int32_t draggedPicture = -1;
    int32_t stripWidth = 0;
    bool scrubbing = false;
    HWND parent = nullptr;
    bool placing = false;  // a placement is moving the window (its own move messages are ignored)
    static constexpr int NoMark = -100000;
    int xorX = NoMark;  // client x of the drawn drag outline
    int listener = 0;   // the session subscription

    EditSession& session;
};

}  // namespace kv
