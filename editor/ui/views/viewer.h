// CView: the output preview — a topmost captioned popup showing the current camera rendered at
// the window's size, with reverse, stop and play buttons, a timecode box and an add-key button;
// real-time playback.
#pragma once

#include <cstdint>
#include <memory>

#include "core/picture/cdib.h"
#include "core/render/render_picture.h"
#include "editor/ui/toolkit/toolkit.h"

namespace kv {

class EditSession;
class Settings;

class Show;

// A clock for the play loop in place of the high-resolution counter.
using PlayCounterFn = int64_t (*)();

// Where the viewer opens against the main window's rectangle (screen coordinates), from the
// settings "ViewerTop", "ViewerLeft" and "ViewerWidth" of the store; the height is fitted
// afterwards. With dualScreen a stored place on a present monitor is kept outside the main window.
Rect ViewerPlacement(const Settings& settings, const Rect& mainWindow, bool dualScreen);
// The camera rectangle handed to the renderer: picture coordinates counted from the bottom.
CameraRect ViewerCameraRect(const KeyFrame& camera, int32_t pictureHeight, float aspect);

class CView : public CPWnd {
public:
    // The viewer shows and edits the run's session, which outlives it.
    explicit CView(EditSession& runSession) : session(runSession) {}
    ~CView() override;

    // Creates the popup owned by the main window, the buttons, the flags from the settings, the
    // ticks per frame and the placement; then shows it and subscribes to the session.
    bool Create(HWND mainWindow);

    bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;
    void Redraw() override;
    // The timecode box follows the frame, the picture the camera under edit.
    void SessionChanged(uint32_t changes, const void* origin);

    // Renders the session's camera into the picture area: draft in one band when not full quality
    // and unrotated, otherwise full (or draft with "DraftRender") in bands.
    void DrawPicture(bool fullQuality);
    void DrawTimecode(int32_t frame);
    // Renders one frame of the show (for "+" and "-" stepping) and draws it.
    void ShowFrame(int32_t frame);
    // 1 forward, -1 backwards, 0 stop; returns when playback ends.
    void Play(int32_t direction);
    void ToggleSafeArea();  // writes "ShowTVSafe" and repaints

    // Height from the width and the show's aspect; writes the position settings.
    void FitHeight();
    // After the show's aspect changed: the height fitted to it and the camera drawn at the new
    // size. Every change of the aspect ends here (the session's changes call it as well).
    void FitToAspect();
    Rect PictureArea() const;  // the client area above the 25-pixel control strip
    bool PrepareImage();       // the 32-bit image at the picture area's size
    void ShowImage();          // the image and the safe areas into the picture area
    void SetPlayButtons();
    void PlayLoop(kv::Show& show);
    void EditTimecode();  // the timecode box's double click

    BitmapButton reverseButton, stopButton, playButton, keyButton;
    Rect timecodeBox{0, 0, 0, 0};
    int32_t playDirection = 0;
    int64_t playStartCounter = 0;
    int64_t ticksPerFrame = 1;
    int32_t playStartFrame = 0;
    int32_t playEndFrame = 0;
    bool safeArea = false;
    bool dualScreen = false;
    std::unique_ptr<CDIB> image;
    bool placing = false;
    int64_t framesShown = 0;    // distinct frames drawn by play loops since the viewer was made
    int64_t picturesDrawn = 0;  // DrawPicture calls since the last Play
    // On a dense display a play that falls behind at device pixels goes on at logical pixels
    // (the backend enlarges them) so that every due frame is still shown; a still picture is
    // always at device pixels.
    bool playAtLogicalPixels = false;
    int32_t lateFrames = 0;             // frames of this play drawn after the next was due
    int64_t framesAtLogicalPixels = 0;  // of framesShown, those drawn at logical pixels
    int listener = 0;                   // the session subscription
    float fittedAspect = 0.0f;          // the aspect the height was last fitted to

    // The play loop's clock: the high-resolution counter unless a test or benchmark hands in
    // its own (null restores the counter).
    void SetPlayCounter(PlayCounterFn now, int64_t frequency);

private:
    int64_t Now() const;
    int64_t Frequency() const;

    PlayCounterFn m_counter = nullptr;
    int64_t m_frequency = 0;

    EditSession& session;
};

}  // namespace kv
