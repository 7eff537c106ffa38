// CStage: the editor's work area — the picture at a chosen zoom with the camera frame of the
// current frame over it, moved, resized, rotated and tilted with the mouse or the keyboard.
#pragma once

#include <cstdint>

#include "core/base/records.h"
#include "editor/ui/toolkit.h"

namespace kv {

class Painter;
class Show;

// Drag modes, also the hit-test results.
enum : int32_t { DragNone = 0, DragMove = 8, DragRotate = 9, DragResize = 10, DragTilt = 11 };

// A picture or screen value as a whole pixel, truncated toward zero. Keys come from show files,
// so a value can be anything a float holds: not-a-number counts as 0 and the rest is held within
// +-1,000,000 pixels, which keeps every sum of the frame's geometry inside an int.
int32_t ScreenInt(float v);

// The camera frame on screen: centre, half sizes, the four corners (top-left, top-right,
// bottom-right, bottom-left; tilted, then rotated about the centre), the handle's centre and the
// half length of the centre cross.
struct FrameShape {
    int cx = 0, cy = 0, hw = 0, hh = 0, crossHalf = 4;
    POINT corners[4] = {};
    POINT handle{0, 0};
};
// The frame of `camera` at a stage scale; offsetX/Y is the picture's top-left corner on screen
// (the origin less the scroll position).
FrameShape ComputeFrameShape(const KeyFrame& camera, float scale, float aspect, int offsetX,
                             int offsetY);
// The drag mode a press at (x, y) starts: move inside the square of half size hh around the
// centre, then the corners within max(4, hw / 6): tilt or rotate at the top-left (tilt with
// tiltKey), resize at the others; 0 elsewhere.
int32_t HitTestFrame(const FrameShape& shape, int x, int y, bool tiltKey);

class CStage : public CPWnd {
public:
    CStage() = default;
    ~CStage() override;

    // Reads "StageScale", "ShowCameraPath" and "CenterPic", creates the window as an owned popup
    // of `parent`, places itself against the main window, takes the first key of picture 0 as its
    // camera and registers itself as the editor's stage.
    bool Create(HWND parent);

    bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;
    // Paints the stage, then the status panel with the camera, then lets the viewer re-render.
    void Redraw() override;

    // Zoom and view commands of the main window; each writes its setting and repaints.
    float Scale() const { return scale; }
    void SetScale(float s);  // writes "StageScale" and repaints
    void ZoomIn();
    void ZoomOut();
    void ToggleCentrePicture();
    void ToggleCameraPath();

    // Picture-to-screen mapping of the stage (scroll position and origin included) and back.
    int ToScreenX(float pictureX) const;
    int ToScreenY(float pictureY) const;
    FrameShape Shape() const;
    // Places the stage against its parent: the parent's rectangle inset by the scroll-arrow
    // width, below the caption and the menu bar, ending 84 pixels higher (room for the timeline).
    void Place();
    // The frame drawn in normal mode (yellow under black) or inverted (drawing twice erases it).
    void DrawFrame(Painter& p, bool xorMode);
    void DrawCameraPath(Painter& p, kv::Show& show);
    // The key whose mark on the camera path lies within 8 pixels of (x, y), or -1 (also when the
    // path is hidden).
    int KeyMarkAt(int x, int y) const;

    // Mouse and keyboard steps (client coordinates; keys are the mouse-key flags).
    void MouseDown(int x, int y, uint64_t keys);
    void DragTo(int x, int y, uint64_t keys);
    void MouseUp(int x, int y);
    void RightClick(int x, int y);
    void SetHoverCursor(int x, int y, uint64_t keys);
    bool KeyDown(int virtualKey);  // false when the key is not the stage's

    float scale = 0.5f;
    int32_t grabX = 0, grabY = 0;
    int32_t pressCentreX = 0, pressCentreY = 0;
    int32_t originX = 0, originY = 0;
    int32_t dragMode = DragNone;
    bool showCameraPath = false;
    bool centrePicture = false;
    KeyFrame camera{};       // the camera being edited (the camera state of the current frame)
    KeyFrame pressCamera{};  // the camera at the last button press (the Shift axis lock)
    HWND parent = nullptr;
    bool placing = false;  // a placement is moving the window (its own move messages are ignored)
};

}  // namespace kv
