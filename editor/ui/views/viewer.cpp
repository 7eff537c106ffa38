// CView: the output preview window, its buttons and timecode box, the picture drawing and the
// real-time play loop.
//
// Sections: creation and placement; drawing; playback; messages.
#include "editor/ui/views/viewer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/picture/alert.h"
#include "core/render/render_frame.h"
#include "core/render/render_picture.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "editor/resources/resources.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/painter.h"
#include "output/timecode.h"

namespace kv {

namespace {

constexpr int StripHeight = 25;  // the control strip under the picture

}  // namespace

void CView::SetPlayCounter(PlayCounterFn now, int64_t frequency) {
    m_counter = now;
    m_frequency = frequency;
}

int64_t CView::Now() const {
    return m_counter ? m_counter() : Counter();
}

int64_t CView::Frequency() const {
    return m_counter ? m_frequency : CounterFrequency();
}

// --- Creation and placement ---------------------------------------------------------------------
CView::~CView() {
    session.Unsubscribe(listener);
    DestroyWin();
}

Rect ViewerPlacement(const Settings& st, const Rect& main, bool dualScreen) {
    const int dw = std::max((main.right - main.left) / 8, 220);
    const int storedTop = st.ReadInt("ViewerTop", main.top + 80);
    const int storedLeft = st.ReadInt("ViewerLeft", main.right - dw - 40);
    // A stored place on another monitor is kept only while that monitor is there; otherwise the
    // window would open where nobody can see it.
    bool onMonitor = false;
    for (int i = 0; i < MonitorCount() && dualScreen; ++i) {
        const Rect b = GetMonitor(i).bounds;
        if (storedLeft >= b.left && storedLeft < b.right && storedTop >= b.top &&
            storedTop < b.bottom)
            onMonitor = true;
    }
    const bool keep = dualScreen && onMonitor;
    int top = std::max(storedTop, 32);
    if (!keep) top = std::min(top, main.bottom - 64);
    int left = std::max(storedLeft, 32);
    if (!keep) left = std::min(left, main.right - 64);
    const int width = std::max(st.ReadInt("ViewerWidth", dw), 0);
    int right = left + width;
    if (!keep) right = std::min(right, main.right - 64);
    right = std::max(right, left + 80);
    return Rect{left, top, right, top + 100};
}

bool CView::Create(HWND mainWindow) {
    Settings& st = session.Store();
    safeArea = st.ReadInt("ShowTVSafe", 0) != 0;
    dualScreen = st.ReadInt("DualScreenViewer", 0) != 0;
    if (!CreateWin(mainWindow, WinPopup | WinSizing | WinCaption, &CPWnd::ObjectProc)) return false;
    reverseButton.Init(BmpReverse, BmpReversePressed, 0, BmpReverseActive, 0);
    stopButton.Init(BmpStop, BmpStopPressed, 0, BmpStopActive, 0);
    playButton.Init(BmpPlay, BmpPlayPressed, 0, BmpPlayActive, 0);
    keyButton.Init(BmpKeyButton, BmpKeyButtonPressed, 0, 0, 0);
    kv::Show* show = session.GetShow();
    ticksPerFrame = std::max<int64_t>(1, Frequency() * 100 / (show ? show->FrameRate : 2997));
    Rect main{0, 0, 640, 480};
    if (mainWindow) kv::GetWindowRect(mainWindow, &main);
    SetTitle("Viewer");
    listener = session.Subscribe(
        [this](uint32_t changes, const void* origin) { SessionChanged(changes, origin); });
    placing = true;
    MoveTo(ViewerPlacement(session.Store(), main, dualScreen), false);
    placing = false;
    PlaceOnTop(nullptr, true);
    FitHeight();
    return true;
}

void CView::FitHeight() {
    if (!hwnd) return;
    kv::Show* show = session.GetShow();
    const float aspect = show ? show->aspect : 0.75f;
    fittedAspect = aspect;
    const Rect r = GetWindowRect();
    const int width = r.right - r.left;
    // The picture, as wide as the client, has the show's shape: the frame and the caption (the
    // window's height beyond its client's) and the control strip come on top of it.
    const Rect k = GetClientRect();
    const int frame = (r.bottom - r.top) - (k.bottom - k.top);
    const int height = static_cast<int>(static_cast<float>(k.right - k.left) * aspect + 0.5f) +
                       frame + StripHeight;
    placing = true;
    if (r.bottom - r.top != height) MoveTo(r.left, r.top, r.right, r.top + height, true);
    placing = false;
    Settings& st = session.Store();
    st.WriteInt("ViewerTop", r.top);
    st.WriteInt("ViewerLeft", r.left);
    st.WriteInt("ViewerWidth", width);
}

// --- Drawing ------------------------------------------------------------------------------------
Rect CView::PictureArea() const {
    const Rect k = GetClientRect();
    return Rect{0, 0, k.right, std::max(0, k.bottom - StripHeight)};
}

void CView::Redraw() {
    if (!hwnd) return;
    const Rect k = GetClientRect();
    {
        Painter p(*this);
        if (!p) return;
        p.FillBox(RGB(128, 128, 128), Rect{k.left - 1, k.top - 1, k.right + 1, k.bottom + 1});
        p.FillBox(RGB(0, 0, 0), Rect{k.left - 1, k.top - 1, k.right + 1, k.bottom - 24 + 1});
        const int top = k.bottom - 21;
        reverseButton.Place(p, Rect{4, top, 23, top + 19});
        stopButton.Place(p, Rect{28, top, 47, top + 19});
        playButton.Place(p, Rect{52, top, 71, top + 19});
        keyButton.Place(p, Rect{161, top, 180, top + 19});
        timecodeBox = Rect{76, top, 156, k.bottom - 2};
    }
    DrawTimecode(session.Frame());
    DrawPicture(true);
}

void CView::DrawTimecode(int32_t frame) {
    if (!hwnd) return;
    kv::Show* show = session.GetShow();
    Painter p(*this);
    if (!p) return;
    p.FillRoundBox(RGB(255, 255, 255), timecodeBox, 6);
    p.FrameRoundBox(RGB(0, 0, 0), timecodeBox, 6);
    const std::string tc = FramesToTimecode(frame, show ? show->FrameRate : 2997, true);
    p.UseFont(Fonts().f12, -1, TRANSPARENT);
    p.DrawString(RGB(0, 0, 0), tc.c_str(), (timecodeBox.left + timecodeBox.right) / 2,
                 timecodeBox.bottom - 17, TA_CENTER);
    p.UseFont(nullptr);
}

bool CView::PrepareImage() {
    const Rect a = PictureArea();
    if (a.right < 1 || a.bottom < 1) return false;
    // On a dense display the picture is rendered at the display's own pixels; drawn into its
    // logical place, the backend shows it one rendered pixel per device pixel.
    const double f = playAtLogicalPixels ? 1.0 : kv::GetScaleFactor();
    const int w = f == 1.0 ? a.right : static_cast<int>(std::lround(a.right * f));
    const int h = f == 1.0 ? a.bottom : static_cast<int>(std::lround(a.bottom * f));
    if (!image || image->Width() != w || image->Height() != h || image->BitCount() != 32)
        image = std::make_unique<CDIB>(w, h, 32);
    return !image->Empty();
}

void CView::ShowImage() {
    const Rect a = PictureArea();
    Painter p(*this);
    if (!p) return;
    image->Draw(a, p.Dc());
    if (!safeArea) return;
    const int w = a.right, h = a.bottom;
    const int ix = static_cast<int>(0.048 * w), iy = static_cast<int>(0.048 * h);
    p.FrameBox(RGB(255, 255, 255), Rect{ix, iy, w - ix, h - iy});
    const int jx = static_cast<int>(0.096 * w), jy = static_cast<int>(0.096 * h);
    p.FrameRoundBox(RGB(255, 255, 255), Rect{jx, jy, w - jx, h - jy}, static_cast<int>(0.1 * w));
}

CameraRect ViewerCameraRect(const KeyFrame& camera, int32_t pictureHeight, float aspect) {
    CameraRect r;
    const float w = camera.width;
    r.left = camera.x - w / 2.0f;
    r.bottom = (static_cast<float>(pictureHeight) - camera.y) - aspect * w / 2.0f;
    r.width = w;
    r.height = w * aspect;
    r.rotation = camera.rotation;
    r.tiltA = camera.tiltA;
    r.tiltB = camera.tiltB;
    return r;
}

void CView::DrawPicture(bool fullQuality) {
    kv::Show* show = session.GetShow();
    if (!hwnd || !show || !PrepareImage()) return;
    const KeyFrame camera = session.camera;
    const CameraRect cam = ViewerCameraRect(camera, show->image.Height(), show->aspect);
    // The renderer turns and tilts only a picture marked for it: the stage marks the show when
    // a drag turns the camera, the keys mark it when the show is loaded.
    show->image.rotationInUse = show->rotationInUse || camera.rotation != 0.0f ||
                                camera.tiltA != 0.0f || camera.tiltB != 0.0f;
    bool ok;
    if (!fullQuality && camera.rotation == 0.0f)
        ok = RenderPicture(*image, show->image, cam, QualityDraft, 0, LineAll);
    else
        ok = RenderBands(*image, show->image, cam, show->DraftRender ? QualityDraft : QualityFull,
                         LineAll, show->MultiProcess, show->MultiProcOffset);
    (void)ok;  // a failed render leaves the previous picture
    ++picturesDrawn;
    ShowImage();
}

void CView::ShowFrame(int32_t frame) {
    kv::Show* show = session.GetShow();
    if (!hwnd || !show || !PrepareImage()) return;
    RenderShowFrame(*show, frame, 0, true, image->Width(), image->Height(), image.get());
    ShowImage();
}

void CView::ToggleSafeArea() {
    safeArea = !safeArea;
    session.Store().WriteInt("ShowTVSafe", safeArea ? 1 : 0);
    Redraw();
}

void CView::FitToAspect() {
    if (!hwnd) return;
    FitHeight();
    DrawPicture(session.fullQuality);
}

void CView::SessionChanged(uint32_t changes, const void* origin) {
    if (origin == this || !hwnd) return;
    kv::Show* show = session.GetShow();
    if ((changes & ChangedFrame) && show) DrawTimecode(session.Frame());
    if (changes & PointedFrame) DrawTimecode(session.pointedFrame);
    // An aspect changed by Undo, Redo or a loaded show reshapes the window as a command does.
    if (show && show->aspect != fittedAspect)
        FitToAspect();
    else if (changes & ChangedCamera)
        DrawPicture(session.fullQuality);
}

// --- Playback -----------------------------------------------------------------------------------
void CView::SetPlayButtons() {
    Painter p(*this);
    if (!p) return;
    reverseButton.SetState(p, playDirection == -1 ? 2 : 0);
    stopButton.SetState(p, 0);
    playButton.SetState(p, playDirection == 1 ? 2 : 0);
}

void CView::Play(int32_t direction) {
    kv::Show* show = session.GetShow();
    playDirection = show ? direction : 0;
    SetPlayButtons();
    if (playDirection == 0) return;
    // The counter ticks per frame follow the frame rate of this Play, so a changed rate plays
    // at its own speed.
    ticksPerFrame = std::max<int64_t>(1, Frequency() * 100 / std::max(1, show->FrameRate));
    playEndFrame = show->length;
    if (!show->hostMode) {
        const int last = std::max(0, std::min(show->pictureCount, MaxPictures) - 1);
        const Picture& pic = show->pictures[last];
        if (pic.keyCount > 0) {
            const int32_t lastKey =
                show->PictureStart(last) + pic.keys[std::min(pic.keyCount, 64) - 1].time;
            playEndFrame = std::min(playEndFrame, lastKey);
        }
    }
    if (session.Frame() >= playEndFrame) session.GoToFrame(0, false);
    playStartFrame = session.Frame();
    playStartCounter = Now();
    picturesDrawn = 0;
    lateFrames = 0;
    PlayLoop(*show);
    // The frame it stopped on is drawn again (the session tells the views), sharp.
    playAtLogicalPixels = false;
    session.GoToFrame(session.Frame(), true);
}

void CView::PlayLoop(kv::Show& show) {
    int32_t lastShown = -1;
    while (playDirection != 0) {
        const int32_t frame = session.Frame();
        if (frame < 0 || frame > playEndFrame) {
            Play(0);
            break;
        }
        const bool drawn = frame != lastShown;
        if (drawn) {
            session.camera = CameraAt(show, frame, false);
            DrawPicture(true);
            ++framesShown;
            if (playAtLogicalPixels) ++framesAtLogicalPixels;
            lastShown = frame;
        } else {
            // Ahead of the clock: the frame on screen is still the due one. Rendering it again
            // would only take the processor from the band worker and the other programs.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const int64_t elapsed = (Now() - playStartCounter) / ticksPerFrame;
        const int32_t due = playDirection * static_cast<int32_t>(elapsed) + playStartFrame;
        // A frame drawn and shown at device pixels after the one after it was due, twice: the
        // rest of the play renders a quarter of the pixels (at 2x) rather than skip frames.
        if (drawn && !playAtLogicalPixels && kv::GetScaleFactor() != 1.0 &&
            std::abs(due - frame) > 1 && ++lateFrames >= 2)
            playAtLogicalPixels = true;
        // The timeline keeps the frame in view, this viewer names it.
        session.PlayFrame(due);

        MSG m;
        if (!PeekMessage(&m, PM_REMOVE)) continue;
        switch (m.message) {
            case WM_KEYDOWN:
                Play(0);
                break;
            case WM_LBUTTONUP:
                if (int32_t at = 0; session.frameAtPointer &&
                                    session.frameAtPointer(m.hwnd, GET_X_LPARAM(m.lParam), &at)) {
                    session.PlayFrame(at);
                    playStartFrame = at;
                    playStartCounter = Now();
                } else {
                    Play(0);
                }
                break;
            case WM_PAINT:
                // Other windows keep their pictures while the show plays.
                DispatchMessage(&m);
                break;
            case WM_CLOSE:
                Play(0);
                DispatchMessage(&m);
                break;
            case WM_QUIT:
                Play(0);
                PostQuitMessage(static_cast<int>(m.wParam));
                break;
            default:
                break;  // dropped
        }
    }
    Play(0);
}

// --- Messages -----------------------------------------------------------------------------------
void CView::EditTimecode() {
    kv::Show* show = session.GetShow();
    if (!show) return;
    char text[80] = {};
    std::snprintf(text, sizeof text, "%s",
                  FramesToTimecode(session.Frame(), show->FrameRate, true).c_str());
    AskText(text, "Timecode", "Type Timecode", "");
    int32_t frame = session.Frame();
    TimecodeToFrames(text, frame, show->FrameRate);
    session.GoToFrame(frame, true);
}

bool CView::OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    switch (message) {
        case WM_MOVE:
        case WM_SIZE:
            if (!placing) FitHeight();
            return true;
        case WM_PAINT:
            Redraw();
            return true;
        case WM_CLOSE:
            PostQuitMessage(0);
            return true;
        case WM_ACTIVATEAPP:
            // A topmost window would cover other programs: it leaves with the program.
            Show(wParam ? 1 : 0);
            return true;
        case WM_MOUSEMOVE:
            SetCursorShape(1);
            return true;
        case WM_LBUTTONDOWN: {
            Painter p(*this);
            (void)(reverseButton.HitTest(p, x, y, 1) || stopButton.HitTest(p, x, y, 1) ||
                   playButton.HitTest(p, x, y, 1) || keyButton.HitTest(p, x, y, 1));
            return true;
        }
        case WM_LBUTTONUP: {
            session.Notify(EndDrags, this);
            int hit = 0;
            {
                Painter p(*this);
                if (reverseButton.HitTest(p, x, y, 0))
                    hit = 1;
                else if (stopButton.HitTest(p, x, y, 0))
                    hit = 2;
                else if (playButton.HitTest(p, x, y, 0))
                    hit = 3;
                else if (keyButton.HitTest(p, x, y, 0))
                    hit = 4;
            }
            if (hit == 1) Play(-1);
            if (hit == 2) Play(0);
            if (hit == 3) Play(1);
            if (hit == 4 && session.HasShow()) {
                bool added = false, full = false;
                const KeyFrame camera = session.camera;
                const int32_t tolerance = session.AddKeyTolerance();
                session.Edit([&](kv::Show& sh) {
                    EditFeedback fb;
                    AddKeyAtCurrentFrame(sh, camera, tolerance, &fb);
                    added = fb.beep;
                    full = fb.full;
                });
                if (full) {
                    Alert(KeyLimitMessage);
                    return true;
                }
                if (added) Beep(0);  // a new key
                session.GoToFrame(session.Frame(), true);
                session.Notify(ChangedKeys | ChangedEditState);
            }
            return true;
        }
        case WM_LBUTTONDBLCLK:
            if (x >= timecodeBox.left && x <= timecodeBox.right && y >= timecodeBox.top &&
                y <= timecodeBox.bottom)
                EditTimecode();
            return true;
        case WM_KEYDOWN:
        case WM_CHAR:
            if (message == WM_KEYDOWN && wParam == VK_SHIFT) return true;
            session.HandOnKey(message, wParam, lParam);
            return true;
        default:
            return CPWnd::OnMessage(message, wParam, lParam);
    }
}

}  // namespace kv
