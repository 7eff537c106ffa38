// CStage: the editor's work area — the picture at a chosen zoom with the camera frame of the
// current frame over it, moved, resized, rotated and tilted with the mouse or the keyboard.
#pragma once

#include <cstdint>

#include "core/base/records.h"
#include "editor/ui/toolkit.h"

namespace kv {

class Painter;

// Drag modes, also the hit-test results.
enum : int32_t { DragNone = 0, DragMove = 8, DragRotate = 9, DragResize = 10, DragTilt = 11 };

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

    float scale = 0.5f;
    int32_t grabX = 0, grabY = 0;
    int32_t pressCentreX = 0, pressCentreY = 0;
    int32_t originX = 0, originY = 0;
    int32_t dragMode = DragNone;
    bool showCameraPath = false;
    bool centrePicture = false;
    KeyFrame camera{};  // the camera being edited (the camera state of the current frame)
};

}  // namespace kv
