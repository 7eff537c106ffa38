// CStage: the editor's work area — the picture at a chosen zoom with the camera frame of the
// current frame over it, moved, resized, rotated and tilted with the mouse or the keyboard.
#pragma once

#include <cstdint>
#include <string>

#include "core/base/records.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/toolkit.h"

namespace kv {

class EditSession;

class Painter;
class Show;

// Drag modes, also the hit-test results.
enum : int32_t { DragNone = 0, DragMove = 8, DragRotate = 9, DragResize = 10, DragTilt = 11 };

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

// Pictures wider or taller than this many pixels open the stage's levels below 10 %.
constexpr int32_t HugePictureSide = 8192;
bool IsHugePicture(int32_t width, int32_t height);
// The stage's zoom levels, largest first: 100, 50, 25 and 10 %, then with a huge picture 5, 2
// and 1 %. Returns the count written to `levels` (room for 7).
int StageLevels(bool huge, float* levels);
// The largest level at which a picture of the given size fits a stage of the given client size,
// or the smallest level when none does.
// The stage scale after Stage Zoom In / Zoom Out; with a huge picture Zoom Out goes on from 10 %
// to 5, 2 and 1 % and Zoom In comes back the same way.
float ZoomedInScale(float scale, bool huge = false);
float ZoomedOutScale(float scale, bool huge = false);
float FitStageScale(int32_t pictureWidth, int32_t pictureHeight, int stageWidth, int stageHeight,
                    bool huge);

class CStage : public CPWnd {
public:
    // The stage shows and edits the run's session, which outlives it.
    explicit CStage(EditSession& runSession) : camera(runSession.camera), session(runSession) {}
    ~CStage() override;

    // Reads "StageScale", "ShowCameraPath" and "CenterPic", creates the window as an owned popup
    // of `parent`, places itself against the main window, takes the first key of picture 0 as its
    // camera, offers itself as the window dialogs are drawn on and subscribes to the session.
    bool Create(HWND parent);

    bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;
    // Paints the stage, then tells the session its camera was drawn (the status panel and the
    // viewer follow).
    void Redraw() override;
    // The stage alone.
    void Paint();
    void SessionChanged(uint32_t changes, const void* origin);

    // Zoom and view commands of the main window; each writes its setting and repaints.
    float Scale() const { return scale; }
    void SetScale(float s);  // writes "StageScale" and repaints
    void ZoomIn();
    void ZoomOut();
    // Whether the show's picture opens the levels below 10 %.
    bool HugePicture() const;
    // A picture was loaded: when it does not fit the visible stage at the current scale the
    // stage takes the largest level at which it does (a picture that fits changes nothing); with
    // `always` (the "Fit Picture on Stage" command) the fitting level is taken in any case.
    void FitPicture(bool always);
    // One wheel step over the client point (x, y): up zooms in, down out, keeping the picture
    // point under the pointer where it is.
    void WheelZoom(int x, int y, int clicks);
    // The scrollable area: at least the fixed stage, else the picture at the current scale.
    void UpdateScrollRanges();
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
    // False when the key is not the stage's; `keyFlags` is the key-down's lParam (the
    // modifiers as they were when the key went down).
    bool KeyDown(int virtualKey, int64_t keyFlags = 0);
    // Whether a character is the one typed by the turning key just pressed ([ ] and, with Shift,
    // { }): the key has done its work and its character goes no further.
    bool SwallowsChar(uint64_t character);

    float scale = 0.5f;
    int32_t grabX = 0, grabY = 0;
    int32_t pressCentreX = 0, pressCentreY = 0;
    int32_t originX = 0, originY = 0;
    int32_t dragMode = DragNone;
    // The character the last turning key types, until it arrives or another key goes down.
    bool turnKeyPressed = false;
    bool showCameraPath = false;
    bool centrePicture = false;
    // The camera being edited is the session's: the stage changes it in place during drags.
    KeyFrame& camera;
    KeyFrame pressCamera{};  // the camera at the last button press (the Shift axis lock)
    HWND parent = nullptr;
    bool placing = false;  // a placement is moving the window (its own move messages are ignored)
    // The picture the stage last fitted (size and file), to notice one loaded behind its back.
    int32_t seenWidth = -1, seenHeight = -1;
    std::string seenPath;
    // The zoom a picture too large for it made the stage leave (0: none), and the zoom it got
    // instead: while the user keeps that one, a later picture that fits goes back to the first.
    float zoomBeforeFit = 0.0f, zoomOfFit = 0.0f;
    int listener = 0;  // the session subscription

    EditSession& session;
};

}  // namespace kv
