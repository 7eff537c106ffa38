// CTime: the ruler, the picture band and its keys; scrubbing, key drags with the Shift ripple,
// the KeyFrame Options dialog and the time zoom.
//
// Sections: coordinates and placement; painting; mouse; the KeyFrame Options dialog; zoom.
#include "editor/ui/views/timeline.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/base/settings.h"
#include "core/document/show_editing.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "editor/resources/resources.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/keyframe_options.h"
#include "editor/ui/toolkit/painter.h"
#include "output/timecode.h"

namespace kv {

namespace {

constexpr int MaxStripWidth = 32700;
constexpr int LineStep = 60;
constexpr int BandTop = 14, BandBottom = 30;
constexpr COLORREF Grey = RGB(192, 192, 192);
constexpr COLORREF DarkGrey = RGB(128, 128, 128);
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Red = RGB(255, 0, 0);

// The file name without folder and extension.
std::string BareName(const char* path) {
    std::string s = path ? path : "";
    const size_t cut = s.find_last_of("\\/:");
    if (cut != std::string::npos) s = s.substr(cut + 1);
    const size_t dot = s.find('.');
    if (dot != std::string::npos) s = s.substr(0, dot);
    return s;
}

bool SameCamera(const KeyFrame& a, const KeyFrame& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.rotation == b.rotation &&
           a.tiltA == b.tiltA && a.tiltB == b.tiltB && a.spareB == b.spareB;
}

int FindWholeKey(const Picture& p, const KeyFrame& k) {
    for (int i = 0; i < std::min(p.keyCount, MaxKeysPerPicture); ++i)
        if (p.keys[i] == k) return i;
    return -1;
}

}  // namespace

// --- Coordinates and placement
// --------------------------------------------------------------------
CTime::~CTime() {
    session.Unsubscribe(listener);
    // The hooks are this timeline's once its window is made.
    if (hwnd) {
        session.keyTolerance = nullptr;
        session.frameAtPointer = nullptr;
    }
    DestroyWin();
}

bool CTime::Create(HWND parentWindow) {
    kv::Show* show = session.GetShow();
    const int second = show ? show->OneSecond() : 30;
    scale = session.Store().ReadInt("TimeScale", second);
    if (scale < 1) scale = second;
    draggedKey = draggedBoundary = draggedPicture = -1;
    scrubbing = false;
    parent = parentWindow;
    if (!CreateWin(parentWindow, WinPopup | WinHScroll, &CPWnd::ObjectProc)) return false;
    Show(1);
    listener = session.Subscribe(
        [this](uint32_t changes, const void* origin) { SessionChanged(changes, origin); });
    session.keyTolerance = [this] { return KeyTolerance(); };
    session.frameAtPointer = [this](HWND window, int clientX, int32_t* frame) {
        if (!hwnd || window != hwnd) return false;
        *frame = FrameAtClientX(clientX);
        return true;
    };
    SetScaleForLength(show ? show->length : 0);
    return true;
}

int32_t CTime::StripX(int32_t frame) const {
    return static_cast<int32_t>(static_cast<int64_t>(frame) * 60 / std::max(1, scale) + 4);
}

int32_t CTime::FrameAtStripX(int32_t x) const {
    return std::max<int32_t>(0, static_cast<int32_t>(static_cast<int64_t>(x - 4) * scale / 60));
}

int32_t CTime::FrameAtClientX(int32_t x) const {
    return FrameAtStripX(x + GetHScrollPos());
}

int CTime::KeyAt(int x, int y) const {
    kv::Show* show = session.GetShow();
    if (!show || y < BandTop || y > BandBottom) return -1;
    const int32_t frame = FrameAtClientX(x);
    const int pi = show->PictureAt(frame);
    if (pi < 0 || pi >= MaxPictures) return -1;
    const int32_t t = frame - show->PictureStart(pi);
    const int tolerance = KeyTolerance();
    const Picture& p = show->pictures[pi];
    for (int k = 0; k < std::min(p.keyCount, MaxKeysPerPicture); ++k)
        if (std::abs(p.keys[k].time - t) < tolerance) return k;
    return -1;
}

void CTime::Place() {
    if (!hwnd) return;
    kv::Show* show = session.GetShow();
    Rect r{0, 0, 640, 480};
    if (parent) kv::GetWindowRect(parent, &r);
    const int s = HScrollBarHeight();
    const Rect in{r.left + s, r.top + s, r.right - s, r.bottom - s};
    Rect p{0, in.bottom - 84 - s, in.right, in.bottom};
    const int limit = std::max(1, stripWidth - 1);
    if (show && !show->hostMode) {
        p.left = r.left + 120;
        p.right = std::min(in.right, p.left + limit);
    } else {
        const int w = in.right - in.left;
        p.left = in.right - std::min(w - w / 8, limit);
    }
    p.right = std::max(p.right, p.left + 1);
    placing = true;
    Rect now = GetWindowRect();
    if (now.left != p.left || now.top != p.top || now.right != p.right || now.bottom != p.bottom)
        MoveTo(p, true);
    const Rect c = GetClientRect();
    SetScrollRanges(stripWidth, 0, c.right - c.left, 0, true);
    placing = false;
}

void CTime::UpdateStripWidth() {
    kv::Show* show = session.GetShow();
    stripWidth = std::min(StripX(show ? show->length : 0), MaxStripWidth);
    Place();
}

void CTime::SetScaleForLength(int32_t length) {
    kv::Show* show = session.GetShow();
    if (show && show->hostMode) {
        const int32_t second = show->OneSecond();
        if (length < 3 * second)
            scale = 5;
        else if (length >= 8 * second)
            scale = second;
        else
            scale = 10;
    }
    stripWidth = std::min(StripX(length), MaxStripWidth);
    Place();
    Redraw();
}

void CTime::KeepCurrentFrameVisible() {
    kv::Show* show = session.GetShow();
    if (!hwnd || !show) return;
    const int x = StripX(session.Frame());
    const int pos = GetHScrollPos();
    const Rect c = GetClientRect();
    if (x < pos || x >= pos + c.right) SetHScrollPos(std::max(0, x - c.right / 2), true);
    Redraw();
}

// --- Painting
// -------------------------------------------------------------------------------------
void CTime::Redraw() {
    if (!hwnd) return;
    kv::Show* show = session.GetShow();
    Painter p(*this);
    if (!p) return;
    const Rect c = GetClientRect();
    const int scroll = GetHScrollPos();
    p.FillBox(Grey, c);

    // Ruler: 60-pixel stripes, the dark ones with the short timecode of their first frame.
    p.UseFont(Fonts().f10, -1, TRANSPARENT);
    const int rate = show ? show->FrameRate : 2997;
    const int first = std::max(0, (scroll - 64) / 120);
    for (int k = first;; ++k) {
        const int sx = 64 + 120 * k - scroll;
        if (sx >= c.right || 64 + 120 * k >= std::max(stripWidth, 64)) break;
        p.FillBox(DarkGrey, Rect{sx, 0, sx + 60, 15});
        p.FillBox(DarkGrey, Rect{sx, 29, sx + 60, c.bottom});
        const std::string tc = FramesToTimecode((2 * k + 1) * scale, rate, false);
        p.DrawString(White, tc.c_str(), sx + 30, c.bottom - 12, TA_CENTER);
    }
    if (show) PaintKeys(p, *show, scroll, c);
    p.UseFont(nullptr);
    // The selection follows the current frame the keys were painted against.
    session.Notify(ChangedEditState, this);
}

void CTime::SessionChanged(uint32_t changes, const void* origin) {
    if (origin == this || !hwnd) return;
    if (changes & EndDrags) EndDrag();
    if (changes & ChangedFrame)
        KeepCurrentFrameVisible();  // which paints
    else if (changes & (ChangedKeys | ChangedPicture | RepaintViews))
        Redraw();
}

int32_t CTime::KeyTolerance() const {
    return std::min(scale / 2, KeyNearTolerance);
}

void CTime::PaintKeys(Painter& p, kv::Show& show, int scroll, const Rect& c) {
    show.selectedKey = -1;
    const int count = std::max(1, std::min(show.pictureCount, MaxPictures));
    const int tolerance = std::min(scale / 2, 4);
    for (int pi = 0; pi < count; ++pi) {
        const Picture& pic = show.pictures[pi];
        const int32_t start = show.PictureStart(pi);
        const int bandStart = StripX(start);
        const int bandEnd = pi + 1 < count ? StripX(show.PictureStart(pi + 1)) : stripWidth;
        const Rect band{bandStart - scroll, BandTop, bandEnd - scroll, BandBottom};
        p.FillBox(pi % 2 == 0 ? RGB(0, 255, 255) : RGB(255, 255, 0), band);
        p.FrameBox(Black, band);
        if (show.PictureAt(session.Frame()) == pi) {
            const int mx = std::max(3, StripX(session.Frame())) - scroll;
            p.DrawLine(Red, mx, 5, mx, c.bottom - 5, 2);
        }
        const int n = std::min(pic.keyCount, MaxKeysPerPicture);
        // The file name after the first key (further right when that key shows an ease glyph).
        int nameEnd = bandStart + 14;
        p.UseFont(Fonts().f10, -1, TRANSPARENT);
        if (n > 0) {
            const std::string name = BareName(pic.fileSpec.path);
            const int nx = bandStart + (pic.keys[0].easeCode != 0.0f ? 20 : 14);
            if (!name.empty()) p.DrawString(Black, name.c_str(), nx - scroll, BandBottom - 12);
            nameEnd = nx + p.StringWidth(name.c_str());
        }
        int previousCell = -1000;
        for (int k = 0; k < n; ++k) {
            const KeyFrame& key = pic.keys[k];
            const int kx = StripX(start + key.time);
            if (k > 0 && SameCamera(key, pic.keys[k - 1])) {
                const int from = k == 1 ? nameEnd + 8 : StripX(start + pic.keys[k - 1].time) + 8;
                PaintHold(p, from - scroll, kx - 8 - scroll);
            }
            int cell = k == 0 ? bandStart : kx - 6;
            cell = std::min(cell, bandEnd - 14);
            const bool current = std::abs(start + key.time - session.Frame()) < tolerance;
            int bitmap;
            if (k == 0 && pi > 0)
                bitmap = current ? BmpFirstKeyCurrent : BmpFirstKey;
            else if (pi % 2 == 0)
                bitmap = current ? BmpKeyCurrent : BmpKey;
            else
                bitmap = current ? BmpKeyCurrentOdd : BmpKeyOdd;
            if (current) show.selectedKey = k;
            p.BlitResourceBitmap(cell - scroll, BandTop, bitmap);
            if (k > 0 && cell - previousCell < 4)
                p.FrameBox(
                    Red, Rect{cell - 3 - scroll, BandTop - 3, cell + 19 - scroll, BandBottom + 3});
            previousCell = cell;
            if (key.easeCode != 0.0f) {
                static const char* glyphs[5] = {"", "<>", "<", ">", "="};
                const char* g = glyphs[EaseKind(key.easeCode)];
                p.UseFont(Fonts().f8, -1, TRANSPARENT);
                if (*g) p.DrawString(Black, g, cell + 14 - scroll, BandTop);
                p.UseFont(Fonts().f10, -1, TRANSPARENT);
            }
        }
    }
}

void CTime::PaintHold(Painter& p, int from, int to) {
    if (to <= from) return;
    const int mid = (BandTop + BandBottom) / 2;
    const int w = p.StringWidth(" HOLD ");
    if (to - from < w) {
        p.DrawLine(Black, from, mid, to, mid);
        return;
    }
    const int tx = (from + to - w) / 2;
    p.DrawLine(Black, from, mid, tx, mid);
    p.DrawLine(Black, tx + w, mid, to, mid);
    p.DrawString(Black, " HOLD ", tx, BandTop + 2);
}

// --- Mouse
// ----------------------------------------------------------------------------------------
void CTime::XorMark(int x) {
    Painter p(*this);
    p.XorBox(Rect{x - 6, 16, x + 6, 28});
}

void CTime::EndDrag() {
    if (draggedKey >= 0 && xorX != NoMark) XorMark(xorX);
    xorX = NoMark;
    draggedKey = draggedBoundary = draggedPicture = -1;
    scrubbing = false;
    if (GetCapture() == hwnd) ReleaseCapture();
}

void CTime::MouseMove(int x, int y) {
    kv::Show* show = session.GetShow();
    if (scrubbing && show) {
        session.GoToFrame(FrameAtClientX(x), false);
        session.CameraEdited(false, this);
        return;
    }
    if (draggedKey >= 0) {
        if (xorX != NoMark) XorMark(xorX);
        xorX = x;
        XorMark(xorX);
        session.PointAtFrame(FrameAtClientX(x), this);
        return;
    }
    const int key = KeyAt(x, y);
    if (key > 0)
        SetCursorShape(9);  // west-east
    else if (key < 0)
        SetCursorShape(1);
}

void CTime::MouseDown(int x, int y) {
    pressX = x + GetHScrollPos();
    const int key = KeyAt(x, y);
    xorX = NoMark;
    if (key > 0)
        draggedKey = key;
    else if (key < 0)
        scrubbing = true;
    SetCapture(hwnd);
}

void CTime::MouseUp(int x, bool shift) {
    kv::Show* show = session.GetShow();
    const bool wasDragging = draggedKey >= 0;
    const int key = draggedKey;
    EndDrag();
    session.Notify(EndDrags, this);
    if (!show) return;
    const int32_t s = FrameAtStripX(pressX);
    const int32_t e = std::min(FrameAtClientX(x), show->length);
    if (wasDragging && e != s) {
        // The move, the ripple and a drop onto the picture's start are one step.
        const int32_t dropBelow = std::min(scale / 2, 5);
        session.Edit([&](kv::Show& sh) {
            if (shift) ShiftKeysAfter(sh, s, e - s);
            const int ps = sh.PictureAt(s), pe = sh.PictureAt(e);
            if (ps != pe || ps < 0 || ps >= MaxPictures || key >= sh.pictures[ps].keyCount) return;
            Picture& pic = sh.pictures[ps];
            KeyFrame moved = pic.keys[key];
            moved.time = e - sh.PictureStart(ps);
            moved = SetEditedKey(sh, key, ps, moved);
            sh.SortKeys(ps);
            // Sorting can move the key: the delete below follows it.
            const int at = FindWholeKey(pic, moved);
            if (moved.time < dropBelow && at > 0) DeleteKey(sh, at, ps);
        });
    }
    session.GoToFrame(e, true);
    if (wasDragging) session.Notify(ChangedKeys | ChangedEditState);
}

void CTime::RightClick(int x, int y) {
    kv::Show* show = session.GetShow();
    if (!show) return;
    const int key = KeyAt(x, y);
    if (key < 0) return;
    const int32_t frame = FrameAtClientX(x);
    const int pi = show->PictureAt(frame);
    KeyFrame k = show->pictures[pi].keys[key];
    const POINT at = ClientToScreen(hwnd, POINT{x, y});
    if (RunKeyFrameOptions(session.dialogWindow, k, false, at.x, at.y)) {
        // The step is made at the key's frame, where the editor goes, so that Undo stays there.
        session.GoToFrame(frame, false);
        session.Edit([&](kv::Show& sh) { SetEditedKey(sh, key, pi, k); });
        session.Notify(ChangedKeys | ChangedEditState, this);
    }
    session.GoToFrame(frame, true);
}

bool CTime::OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    switch (message) {
        case WM_MOVE:
        case WM_SIZE:
            if (!placing) Place();
            return true;
        case WM_PAINT:
            Redraw();
            return true;
        case WM_CLOSE:
            PostQuitMessage(0);
            return true;
        case WM_HSCROLL:
            HandleScroll(message, LOWORD(wParam), LineStep);
            return true;
        case WM_MOUSEMOVE:
            MouseMove(x, y);
            return true;
        case WM_LBUTTONDOWN:
            MouseDown(x, y);
            return true;
        case WM_LBUTTONUP:
            MouseUp(x, (wParam & MK_SHIFT) != 0 || IsKeyDown(VK_SHIFT));
            return true;
        case WM_RBUTTONDOWN:
            RightClick(x, y);
            return true;
        case MsgEndDrag:
            EndDrag();
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

// --- Zoom
// -----------------------------------------------------------------------------------------
void CTime::Enlarge() {
    kv::Show* show = session.GetShow();
    const int fps = show ? show->OneSecond() : 30;
    scale = std::min(2 * scale, 64 * fps);
    if (scale > fps) scale = scale / fps * fps;
    UpdateStripWidth();
    KeepCurrentFrameVisible();
}

void CTime::Contract() {
    kv::Show* show = session.GetShow();
    const int fps = show ? show->OneSecond() : 30;
    scale = std::max(scale / 2, fps / 4);
    scale = std::max(5, scale / 5 * 5);
    UpdateStripWidth();
    KeepCurrentFrameVisible();
}

}  // namespace kv
