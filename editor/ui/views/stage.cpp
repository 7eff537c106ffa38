// CStage: the picture at its zoom with the camera frame over it; mouse and keyboard editing of
// the stage's camera, the camera path and the zoom commands.
//
// Sections: frame geometry and hit test; creation and placement; painting; mouse; keyboard;
// zoom commands.
#include "editor/ui/views/stage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/picture/alert.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/keyframe_options.h"
#include "editor/ui/toolkit/painter.h"

namespace kv {

namespace {

constexpr int ScrollArea = 4096;  // the scrollable stage, both directions
constexpr int LineStep = 60;
constexpr int GridStep = 24;
constexpr COLORREF Yellow = RGB(255, 255, 0);
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Red = RGB(255, 0, 0);

POINT RotateAbout(int x, int y, int cx, int cy, float cosA, float sinA) {
    const float dx = static_cast<float>(x - cx), dy = static_cast<float>(y - cy);
    const float rx = dx * cosA - dy * sinA, ry = dx * sinA + dy * cosA;
    return POINT{ScreenInt(rx + 0.5f) + cx, ScreenInt(ry + 0.5f) + cy};
}

bool Near(const POINT& p, int x, int y, int h) {
    return std::abs(x - p.x) <= h && std::abs(y - p.y) <= h;
}

}  // namespace

// --- Frame geometry and hit test --------------------------------------------------------------
FrameShape ComputeFrameShape(const KeyFrame& camera, float scale, float aspect, int offsetX,
                             int offsetY) {
    FrameShape s;
    s.hw = ScreenInt(camera.width * scale * 0.5f);
    s.hh = ScreenInt(aspect * static_cast<float>(s.hw));
    s.cx = ScreenInt(camera.x * scale) + offsetX;
    s.cy = ScreenInt(camera.y * scale) + offsetY;
    const int dx = ScreenInt(camera.tiltB / 180.0f * static_cast<float>(s.hw));
    const int dy = ScreenInt(camera.tiltA / 180.0f * static_cast<float>(s.hh));
    const int cx = s.cx, cy = s.cy, hw = s.hw, hh = s.hh;
    const POINT raw[4] = {{cx - hw + dx, cy - hh + dy},
                          {cx + hw - dx, cy - hh - dy},
                          {cx + hw + dx, cy + hh + dy},
                          {cx - hw - dx, cy + hh - dy}};
    const float a = camera.rotation * 0.0174532f;
    const float c = std::cos(a), sn = std::sin(a);
    for (int i = 0; i < 4; ++i) s.corners[i] = RotateAbout(raw[i].x, raw[i].y, cx, cy, c, sn);
    s.handle = RotateAbout(raw[0].x + 7, raw[0].y + 7, cx, cy, c, sn);
    s.crossHalf = std::max(hw / 8, 4);
    return s;
}

int32_t HitTestFrame(const FrameShape& s, int x, int y, bool tiltKey) {
    const int h = std::max(4, s.hw / 6);
    if (std::abs(x - s.cx) <= s.hh && std::abs(y - s.cy) <= s.hh) return DragMove;
    for (int i = 0; i < 4; ++i) {
        if (!Near(s.corners[i], x, y, h)) continue;
        if (i != 0) return DragResize;
        return tiltKey ? DragTilt : DragRotate;
    }
    return DragNone;
}

// --- Creation and placement ---------------------------------------------------------------------
CStage::~CStage() {
    session.Unsubscribe(listener);
    if (hwnd && session.dialogWindow == hwnd) session.dialogWindow = nullptr;
    DestroyWin();
}

bool CStage::Create(HWND parentWindow) {
    Settings& st = session.Store();
    scale = static_cast<float>(st.ReadInt("StageScale", 50)) / 100.0f;
    if (!(scale > 0.0f)) scale = 0.5f;
    // The levels below 10 % exist only with a huge picture; without one a stored 5, 2 or 1 %
    // is taken as 10 %.
    if (scale < 0.1f && !HugePicture()) scale = 0.1f;
    showCameraPath = st.ReadInt("ShowCameraPath", 0) != 0;
    centrePicture = st.ReadInt("CenterPic", 0) != 0;
    parent = parentWindow;
    if (!CreateWin(parentWindow, WinPopup | WinHScroll | WinVScroll, &CPWnd::ObjectProc))
        return false;
    Place();
    Show(1);
    if (kv::Show* show = session.GetShow()) show->GetKey(0, 0, camera);
    session.dialogWindow = hwnd;
    listener = session.Subscribe(
        [this](uint32_t changes, const void* origin) { SessionChanged(changes, origin); });
    return true;
}

void CStage::Place() {
    if (!hwnd) return;
    Rect r{0, 0, 640, 480};
    if (parent) kv::GetWindowRect(parent, &r);
    const int s = HScrollBarHeight();
    Rect p{r.left + s, r.top + s + CaptionHeight() + MenuBarHeight(), r.right - s,
           r.bottom - s - 84};
    p.right = std::max(p.right, p.left + 1);
    p.bottom = std::max(p.bottom, p.top + 1);
    placing = true;
    Rect now = GetWindowRect();
    if (now.left != p.left || now.top != p.top || now.right != p.right || now.bottom != p.bottom)
        MoveTo(p, true);
    UpdateScrollRanges();
    placing = false;
}

void CStage::UpdateScrollRanges() {
    if (!hwnd) return;
    const kv::Show* show = session.GetShow();
    const Rect c = GetClientRect();
    const int sw = show ? static_cast<int>(static_cast<float>(show->image.Width()) * scale) : 0;
    const int sh = show ? static_cast<int>(static_cast<float>(show->image.Height()) * scale) : 0;
    SetScrollRanges(std::max(ScrollArea, sw), std::max(ScrollArea, sh), c.right - c.left,
                    c.bottom - c.top, true);
}

int CStage::ToScreenX(float pictureX) const {
    return ScreenInt(pictureX * scale) - GetHScrollPos() + originX;
}

int CStage::ToScreenY(float pictureY) const {
    return ScreenInt(pictureY * scale) - GetVScrollPos() + originY;
}

FrameShape CStage::Shape() const {
    const float aspect = session.GetShow() ? session.GetShow()->aspect : 0.75f;
    return ComputeFrameShape(camera, scale, aspect, originX - GetHScrollPos(),
                             originY - GetVScrollPos());
}

// --- Painting -----------------------------------------------------------------------------------
void CStage::DrawFrame(Painter& p, bool xorMode) {
    const FrameShape s = Shape();
    const Rect handle{s.handle.x - 4, s.handle.y - 4, s.handle.x + 4, s.handle.y + 4};
    const POINT outline[5] = {s.corners[0], s.corners[1], s.corners[2], s.corners[3], s.corners[0]};
    const int k = s.crossHalf;
    if (xorMode) {
        p.XorBox(handle);
        p.XorPolyline(1, 5, outline);
        p.XorLine(s.cx, s.cy - k, s.cx, s.cy + k);
        p.XorLine(s.cx - k, s.cy, s.cx + k, s.cy);
        return;
    }
    for (int pass = 0; pass < 2; ++pass) {
        const COLORREF colour = pass == 0 ? Yellow : Black;
        const int width = pass == 0 ? 3 : 1;
        p.FrameBox(colour, handle, width);
        p.DrawPolyline(colour, width, 5, outline);
        p.DrawLine(colour, s.cx, s.cy - k, s.cx, s.cy + k, width);
        p.DrawLine(colour, s.cx - k, s.cy, s.cx + k, s.cy, width);
    }
}

void CStage::SessionChanged(uint32_t changes, const void* origin) {
    if (origin == this || !hwnd) return;
    if (changes & EndDrags) {
        if (dragMode != DragNone && GetCapture() == hwnd) ReleaseCapture();
        dragMode = DragNone;
    }
    // The camera path follows the keys; everything else repaints on the general notice.
    if ((changes & RepaintViews) || ((changes & ChangedKeys) && showCameraPath)) Paint();
}

void CStage::Redraw() {
    Paint();
    // The status panel and the viewer show the camera this paint drew.
    if (hwnd) session.CameraEdited(true, this);
}

void CStage::Paint() {
    if (!hwnd) return;
    kv::Show* show = session.GetShow();
    // A picture loaded by start-up, a show or a recovery copy is fitted on its first paint.
    if (show && (show->image.Width() != seenWidth || show->image.Height() != seenHeight ||
                 seenPath != show->pictures[0].fileSpec.path))
        FitPicture(false);
    const Rect c = GetClientRect();
    const int pw = show ? show->image.Width() : 0, ph = show ? show->image.Height() : 0;
    const int sw = static_cast<int>(static_cast<float>(pw) * scale);
    const int sh = static_cast<int>(static_cast<float>(ph) * scale);
    if (centrePicture) {
        originX = std::max(0, (c.right - sw) / 2);
        originY = std::max(0, (c.bottom - sh) / 2);
    } else {
        originX = originY = 0;
    }
    const int left = originX - GetHScrollPos(), top = originY - GetVScrollPos();
    {
        Painter p(*this);
        if (!p) return;
        p.FillBox(RGB(192, 192, 192), c);
        for (int x = 0; x < c.right; x += GridStep)
            p.DrawLine(RGB(160, 160, 160), x, 0, x, c.bottom);
        for (int y = 0; y < c.bottom; y += GridStep)
            p.DrawLine(RGB(160, 160, 160), 0, y, c.right, y);
        if (show && sw > 0 && sh > 0)
            show->image.Draw(Rect{left, top, left + sw, top + sh}, p.Dc());
        if (show && showCameraPath) DrawCameraPath(p, *show);
        DrawFrame(p, false);
    }
}

void CStage::DrawCameraPath(Painter& p, kv::Show& show) {
    const int pi = std::max(0, show.PictureAt(session.Frame()));
    const Picture& pic = show.pictures[pi];
    const int n = std::min(pic.keyCount, MaxKeysPerPicture);
    for (int i = 0; i + 1 < n; ++i) {
        const KeyFrame& a = pic.keys[i];
        const float step = static_cast<float>(pic.keys[i + 1].time - a.time) * 0.0625f;
        int px = ToScreenX(a.x), py = ToScreenY(a.y);
        for (int j = 1; j <= 16; ++j) {
            const int32_t t = a.time + static_cast<int32_t>(static_cast<float>(j) * step);
            const float x = Interpolate(pic.keys, n, &KeyFrame::x, t, false, show.EaseType);
            const float y = Interpolate(pic.keys, n, &KeyFrame::y, t, false, show.EaseType);
            const int qx = ToScreenX(x), qy = ToScreenY(y);
            p.DrawLine(Yellow, px, py, qx, qy);
            px = qx;
            py = qy;
        }
    }
    for (int i = 0; i < n; ++i) {
        const int x = ToScreenX(pic.keys[i].x), y = ToScreenY(pic.keys[i].y);
        p.FillBox(Red, Rect{x - 3, y - 3, x + 3, y + 3});
    }
}

int CStage::KeyMarkAt(int x, int y) const {
    kv::Show* show = session.GetShow();
    if (!show || !showCameraPath) return -1;
    const int pi = std::max(0, show->PictureAt(session.Frame()));
    const Picture& pic = show->pictures[pi];
    for (int i = 0; i < std::min(pic.keyCount, MaxKeysPerPicture); ++i)
        if (std::abs(ToScreenX(pic.keys[i].x) - x) <= 8 &&
            std::abs(ToScreenY(pic.keys[i].y) - y) <= 8)
            return i;
    return -1;
}

// --- Mouse --------------------------------------------------------------------------------------
void CStage::MouseDown(int x, int y, uint64_t keys) {
    const FrameShape s = Shape();
    const int32_t mode =
        HitTestFrame(s, x, y, (keys & MK_CONTROL) != 0 || (keys & MK_XBUTTON2) != 0);
    if (mode == DragNone) return;
    {
        // The inverted frame marks the press; the next drag step inverts it back.
        Painter p(*this);
        DrawFrame(p, true);
    }
    dragMode = mode;
    pressCamera = camera;
    pressCentreX = ScreenInt(camera.x * scale);
    pressCentreY = ScreenInt(camera.y * scale);
    grabX = x - s.cx;
    grabY = y - s.cy;
    if (mode == DragRotate) grabX = x - ScreenInt(2.0f * camera.rotation);
    if (mode == DragTilt)
        grabX = x - ScreenInt(2.0f * ((keys & MK_SHIFT) ? camera.tiltA : camera.tiltB));
    SetCapture(hwnd);
}

void CStage::DragTo(int x, int y, uint64_t keys) {
    const bool shift = (keys & MK_SHIFT) != 0;
    Painter p(*this);
    DrawFrame(p, true);
    const int dx = x - grabX;
    switch (dragMode) {
        case DragMove: {
            // The centre follows the grabbed point; the stage's origin and scroll are taken out
            // so the frame stays under the pointer however the stage is scrolled.
            const int offX = originX - GetHScrollPos(), offY = originY - GetVScrollPos();
            camera.x = static_cast<float>(dx - offX) / scale;
            camera.y = static_cast<float>(y - grabY - offY) / scale;
            if (shift) {
                const int hx = std::abs(ScreenInt(camera.x * scale) - pressCentreX);
                const int hy = std::abs(ScreenInt(camera.y * scale) - pressCentreY);
                if (hx <= hy)
                    camera.x = pressCamera.x;
                else
                    camera.y = pressCamera.y;
            }
            break;
        }
        case DragRotate:
            camera.rotation = shift ? 0.0f : static_cast<float>(dx) * 0.5f;
            break;
        case DragTilt:
            if (shift)
                camera.tiltA = static_cast<float>(dx) * 0.5f;
            else
                camera.tiltB = static_cast<float>(dx) * 0.5f;
            camera.tiltA = std::clamp(camera.tiltA, -90.0f, 90.0f);
            camera.tiltB = std::clamp(camera.tiltB, -90.0f, 90.0f);
            break;
        case DragResize: {
            const FrameShape s = Shape();
            const float a = (360.0f - camera.rotation) * 0.0174532f;
            const POINT r = RotateAbout(x, y, s.cx, s.cy, std::cos(a), std::sin(a));
            // Not below the keyboard's smallest width: a frame of no width has no zones left
            // to grab it by again.
            camera.width = std::max(2.0f * static_cast<float>(std::abs(r.x - s.cx)) / scale, 4.0f);
            break;
        }
        default:
            break;
    }
    DrawFrame(p, true);
    session.CameraEdited(false, this);
}

void CStage::MouseUp(int x, int y) {
    kv::Show* show = session.GetShow();
    session.Notify(EndDrags, this);
    if (GetCapture() == hwnd) ReleaseCapture();
    const bool dragged = dragMode != DragNone;
    // A turn or a tilt marks the picture for the turning renderer once, when the drag ends (the
    // viewer turns the dragged camera itself meanwhile).
    if (dragMode == DragRotate || dragMode == DragTilt) session.CameraTurned();
    dragMode = DragNone;
    if (dragged) {
        if (show && show->AutoAddKey) {
            bool added = false, full = false;
            const KeyFrame edited = camera;
            const int32_t tolerance = session.AddKeyTolerance();
            session.Edit([&](kv::Show& sh) {
                EditFeedback fb;
                AddKeyAtCurrentFrame(sh, edited, tolerance, &fb);
                added = fb.beep;
                full = fb.full;
            });
            if (full) {
                // No room for the key: said, and the camera stays where the drag left it.
                Alert(KeyLimitMessage);
                Redraw();
                return;
            }
            if (added) Beep(0);  // a new key
            // The new key is the camera of this frame now: stage, viewer, timeline and the
            // status panel show it.
            session.GoToFrame(session.Frame(), true);
            session.Notify(ChangedKeys | ChangedEditState, this);
        } else {
            Redraw();
        }
    }
    const int key = KeyMarkAt(x, y);
    if (key >= 0 && show) {
        const int pi = std::max(0, show->PictureAt(session.Frame()));
        session.GoToFrame(show->PictureStart(pi) + show->pictures[pi].keys[key].time, true);
    }
}

void CStage::RightClick(int x, int y) {
    if (HitTestFrame(Shape(), x, y, false) == DragNone) return;
    const Rect c = GetClientRect();
    POINT at = ClientToScreen(hwnd, POINT{x + 100, std::min(y + 30, c.bottom - 160)});
    KeyFrame edited = camera;
    if (RunKeyFrameOptions(session.dialogWindow, edited, true, at.x, at.y)) {
        camera = edited;
        // The viewer and the status panel show the camera as the dialog left it.
        session.CameraEdited(true, this);
    }
    Redraw();
}

void CStage::SetHoverCursor(int x, int y, uint64_t keys) {
    const int32_t mode =
        HitTestFrame(Shape(), x, y, (keys & MK_CONTROL) != 0 || (keys & MK_XBUTTON2) != 0);
    int code = 1;  // arrow
    switch (mode) {
        case DragMove:
            code = 13;
            break;
        case DragResize:
            code = 8;  // north-west / south-east
            break;
        case DragRotate:
            code = 12;
            break;
        case DragTilt:
            code = 14;
            break;
        default:
            code = KeyMarkAt(x, y) >= 0 ? 2 : 1;  // cross-hair over a key mark
    }
    SetCursorShape(code);
}

// --- Keyboard -----------------------------------------------------------------------------------
bool CStage::KeyDown(int vk, int64_t keyFlags) {
    kv::Show* show = session.GetShow();
    if (!show) return false;
    const bool ctrl = IsKeyDown(VK_CONTROL);
    const float pw = static_cast<float>(show->image.Width());
    const float ph = static_cast<float>(show->image.Height());
    const float aspect = show->aspect;
    switch (vk) {
        case VK_LEFT:
            camera.x = ctrl ? camera.width * 0.5f : camera.x - 1.0f;
            break;
        case VK_RIGHT:
            camera.x = ctrl ? pw - camera.width * 0.5f : camera.x + 1.0f;
            break;
        case VK_UP:
            camera.y = ctrl ? camera.width * 0.5f * aspect : camera.y - 1.0f;
            break;
        case VK_DOWN:
            camera.y = ctrl ? ph - camera.width * 0.5f * aspect : camera.y + 1.0f;
            break;
        case VK_NEXT:
            camera.width = ctrl ? pw : std::max(camera.width - 1.0f, 4.0f);
            break;
        case VK_PRIOR:
            camera.width = ctrl ? ph / aspect : camera.width + 1.0f;
            break;
        case VK_HOME:
            if (!ctrl) return false;
            camera.x = pw * 0.5f;
            camera.y = ph * 0.5f;
            break;
        case VK_OEM_4:
        case VK_OEM_6: {
            // [ and ] turn the camera a degree, ten with Shift, ] the way a drag to the right
            // does.
            const bool shift = keyFlags ? (keyFlags & KeyDownWithShift) != 0 : IsKeyDown(VK_SHIFT);
            const float step = shift ? 10.0f : 1.0f;
            camera.rotation += vk == VK_OEM_6 ? step : -step;
            session.CameraTurned();
            turnKeyPressed = true;
            break;
        }
        default:
            return false;
    }
    Redraw();
    return true;
}

bool CStage::SwallowsChar(uint64_t character) {
    const bool turned = turnKeyPressed;
    turnKeyPressed = false;
    return turned && (character == '[' || character == ']' || character == '{' || character == '}');
}

// --- Messages -----------------------------------------------------------------------------------
bool CStage::OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    switch (message) {
        case WM_MOVE:
        case WM_SIZE:
            if (!placing) Place();
            return true;
        case WM_PAINT:
            Redraw();
            return true;
        case WM_HSCROLL:
        case WM_VSCROLL:
            HandleScroll(message, LOWORD(wParam), LineStep);
            return true;
        case WM_MOUSEMOVE:
            if (dragMode != DragNone)
                DragTo(x, y, wParam);
            else
                SetHoverCursor(x, y, wParam);
            return true;
        case WM_LBUTTONDOWN:
            MouseDown(x, y, wParam);
            return true;
        case WM_LBUTTONUP:
            MouseUp(x, y);
            return true;
        case WM_RBUTTONDOWN:
            RightClick(x, y);
            return true;
        case WM_MOUSEWHEEL: {
            // The wheel's point is on the screen.
            const POINT at = ScreenToClient(hwnd, POINT{x, y});
            const int delta = static_cast<int16_t>(HIWORD(wParam));
            if (delta != 0) WheelZoom(at.x, at.y, delta > 0 ? 1 : -1);
            return true;
        }
        case MsgEndDrag:
            if (dragMode != DragNone && GetCapture() == hwnd) ReleaseCapture();
            dragMode = DragNone;
            return true;
        case WM_KEYDOWN:
            if (wParam == VK_SHIFT) return true;
            turnKeyPressed = false;
            if (KeyDown(static_cast<int>(wParam), lParam)) return true;
            session.HandOnKey(message, wParam, lParam);
            return true;
        case WM_CHAR:
            if (SwallowsChar(wParam)) return true;
            session.HandOnKey(message, wParam, lParam);
            return true;
        default:
            return CPWnd::OnMessage(message, wParam, lParam);
    }
}

// --- Zoom commands ------------------------------------------------------------------------------
bool IsHugePicture(int32_t width, int32_t height) {
    return width > HugePictureSide || height > HugePictureSide;
}

int StageLevels(bool huge, float* levels) {
    static constexpr float all[7] = {1.0f, 0.5f, 0.25f, 0.1f, 0.05f, 0.02f, 0.01f};
    const int n = huge ? 7 : 4;
    std::copy(all, all + n, levels);
    return n;
}

float ZoomedInScale(float scale, bool huge) {
    if (scale < 0.1f) {
        // Back up through the small levels (any stored value between them goes to the next).
        if (!huge) return 0.1f;
        for (float level : {0.01f, 0.02f, 0.05f})
            if (scale < level) return level;
        return 0.1f;
    }
    float s = scale == 0.1f ? 0.125f : scale;
    s = 2.0f * s;
    return s > 1.0f ? 1.0f : s;
}

float ZoomedOutScale(float scale, bool huge) {
    if (huge && scale <= 0.1f) {
        for (float level : {0.05f, 0.02f, 0.01f})
            if (scale > level) return level;
        return 0.01f;
    }
    float s = scale * 0.5f;
    return s < 0.25f ? 0.1f : s;
}

float FitStageScale(int32_t pictureWidth, int32_t pictureHeight, int stageWidth, int stageHeight,
                    bool huge) {
    float levels[7];
    const int n = StageLevels(huge, levels);
    for (int i = 0; i < n; ++i)
        if (static_cast<float>(pictureWidth) * levels[i] <= static_cast<float>(stageWidth) &&
            static_cast<float>(pictureHeight) * levels[i] <= static_cast<float>(stageHeight))
            return levels[i];
    return levels[n - 1];
}

bool CStage::HugePicture() const {
    const kv::Show* show = session.GetShow();
    return show && IsHugePicture(show->image.Width(), show->image.Height());
}

void CStage::SetScale(float s) {
    scale = s;
    // Rounded, so that 5, 2 and 1 % are stored as such.
    session.Store().WriteInt("StageScale", static_cast<int32_t>(std::lround(scale * 100.0f)));
    UpdateScrollRanges();
    Redraw();
}

void CStage::ZoomIn() {
    SetScale(ZoomedInScale(scale, HugePicture()));
}

void CStage::ZoomOut() {
    SetScale(ZoomedOutScale(scale, HugePicture()));
}

void CStage::FitPicture(bool always) {
    kv::Show* show = session.GetShow();
    if (!show || !hwnd) return;
    const int32_t pw = show->image.Width(), ph = show->image.Height();
    const bool newSize = seenWidth > 0 && seenHeight > 0 && (pw != seenWidth || ph != seenHeight);
    if (scale != zoomOfFit) zoomBeforeFit = 0.0f;  // zoomed by the user since
    seenWidth = pw;
    seenHeight = ph;
    seenPath = show->pictures[0].fileSpec.path;
    const bool huge = IsHugePicture(pw, ph);
    const Rect c = GetClientRect();
    const bool fits = static_cast<float>(pw) * scale <= static_cast<float>(c.right) &&
                      static_cast<float>(ph) * scale <= static_cast<float>(c.bottom);
    float s = scale;
    if (always || !fits) {
        if (!always && zoomBeforeFit == 0.0f) zoomBeforeFit = scale;
        if (always) zoomBeforeFit = 0.0f;
        s = FitStageScale(pw, ph, c.right, c.bottom, huge);
    } else if (newSize && zoomBeforeFit > scale) {
        // A smaller picture after one that needed a smaller zoom: back towards the user's own
        // zoom, as far as the new picture fits.
        s = std::max(scale,
                     std::min(zoomBeforeFit, FitStageScale(pw, ph, c.right, c.bottom, huge)));
        if (s >= zoomBeforeFit) zoomBeforeFit = 0.0f;
    }
    if (s < 0.1f && !huge) s = 0.1f;  // the small levels leave with the huge picture
    zoomOfFit = s;
    if (s == scale) return;
    SetHScrollPos(0, false);
    SetVScrollPos(0, false);
    SetScale(s);
}

void CStage::WheelZoom(int x, int y, int clicks) {
    kv::Show* show = session.GetShow();
    if (!show || !hwnd || clicks == 0) return;
    const bool huge = HugePicture();
    const float s = clicks > 0 ? ZoomedInScale(scale, huge) : ZoomedOutScale(scale, huge);
    if (s == scale) return;
    // The picture point under the pointer before the step.
    const float px = static_cast<float>(x - originX + GetHScrollPos()) / scale;
    const float py = static_cast<float>(y - originY + GetVScrollPos()) / scale;
    // The origin the next paint will use at the new scale.
    const Rect c = GetClientRect();
    const int sw = static_cast<int>(static_cast<float>(show->image.Width()) * s);
    const int sh = static_cast<int>(static_cast<float>(show->image.Height()) * s);
    const int ox = centrePicture ? std::max(0, (c.right - sw) / 2) : 0;
    const int oy = centrePicture ? std::max(0, (c.bottom - sh) / 2) : 0;
    scale = s;
    UpdateScrollRanges();
    const int maxH = std::max(0, std::max(ScrollArea, sw) - c.right);
    const int maxV = std::max(0, std::max(ScrollArea, sh) - c.bottom);
    SetHScrollPos(std::clamp(ScreenInt(px * s) + ox - x, 0, maxH), false);
    SetVScrollPos(std::clamp(ScreenInt(py * s) + oy - y, 0, maxV), false);
    SetScale(s);
    session.Store().Save();
}

void CStage::ToggleCentrePicture() {
    centrePicture = !centrePicture;
    session.Store().WriteInt("CenterPic", centrePicture ? 1 : 0);
    Redraw();
}

void CStage::ToggleCameraPath() {
    showCameraPath = !showCameraPath;
    session.Store().WriteInt("ShowCameraPath", showCameraPath ? 1 : 0);
    Redraw();
}

}  // namespace kv
