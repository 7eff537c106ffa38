// The main window's keyboard: the Ctrl shortcuts come from the command table, the other keys
// (playback, stepping, jumps, Enter, the timing test) are the table below; and the jumps and the
// add-key that those keys run.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/document/show_editing.h"
#include "core/picture/alert.h"
#include "core/render/render_frame.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "editor/ui/main_window.h"
#include "editor/ui/session/edit_session.h"

namespace kv {

namespace {

void PlayViewer(CView* viewer, int32_t direction) {
    if (viewer && viewer->hwnd) viewer->Play(direction);
}

}  // namespace

void CMain::HandleKey(uint32_t message, uint64_t code) {
    if (!session.HasShow()) return;
    kv::Show& show = session.TheShow();
    const bool character = message == WM_CHAR;
    const bool keyDown = message == WM_KEYDOWN;
    const bool turnChar =
        turnKeyPressed && character && (code == '[' || code == ']' || code == '{' || code == '}');
    if (keyDown || character) turnKeyPressed = keyDown && (code == VK_OEM_4 || code == VK_OEM_6);
    if (turnChar) return;
    if (const int mapped = MapShortcut(code)) {
        // A shortcut of the table; "~" (the reserved 1011) has a row that does nothing.
        if (const CommandRow* row = CommandForShortcut(mapped, show.hostMode)) {
            if (row->key)
                row->key(*this, character);
            else
                RunCommand(row->id);
        }
        return;
    }
    PlainKey(code, keyDown, character);
}

void CMain::PlainKey(uint64_t code, bool keyDown, bool character) {
    kv::Show& show = session.TheShow();
    switch (code) {
        case 16:
            break;  // Shift alone
        case 112:
            if (keyDown)
                RunCommand(CmdContents);
            else
                PlayViewer(viewer.get(), 1);
            break;
        case 46:
            RunCommand(CmdDelete);
            break;
        case 8:
            // Backspace comes as a key-down and then as its character; one press deletes one key.
            if (keyDown) RunCommand(CmdDelete);
            break;
        case 80:
        case 76:
        case 32:
        case 108:
            PlayViewer(viewer.get(), 1);
            break;
        case 82:
        case 74:
        case 114:
        case 106:
            PlayViewer(viewer.get(), -1);
            break;
        case 75:
        case 107:
            PlayViewer(viewer.get(), 0);
            break;
        case 48:
            session.GoToFrame(0, false);
            PlayViewer(viewer.get(), 1);
            break;
        case 43:
        case 45: {
            int32_t f = session.Frame() + (code == 43 ? 1 : -1);
            if (f < 0) f = 0;
            if (f > show.length - 1) f = show.length - 1;
            // The frame is rendered straight into the viewer; the camera, the timeline and the
            // timecode box follow without a render of their own.
            session.GoToFrame(f, false);
            if (viewer && viewer->hwnd) viewer->ShowFrame(f);
            break;
        }
        case 36:
            session.GoToFrame(0, true);
            break;
        case 35:
            JumpToEnd();
            break;
        case 13:
            if (keyDown) AddKeyHere();
            break;
        case 100:
            RenderTimingTest();
            break;
        case 123:
            Alert(show.pictures[0].fileSpec.path);
            break;
        case 9:
            if (character) JumpToNextKey();
            break;
        default:
            break;
    }
}

void CMain::JumpToNextKey() {
    kv::Show& show = session.TheShow();
    const int first = show.PictureAt(session.Frame());
    for (int p = first < 0 ? 0 : first; p < show.pictureCount && p < MaxPictures; ++p) {
        const Picture& pic = show.pictures[p];
        for (int k = 0; k < pic.keyCount; ++k) {
            const int32_t at = show.PictureStart(p) + pic.keys[k].time;
            if (at > session.Frame()) {
                session.GoToFrame(at, true);
                return;
            }
        }
    }
    session.GoToFrame(0, true);
}

void CMain::JumpToEnd() {
    kv::Show& show = session.TheShow();
    if (show.hostMode) {
        session.GoToFrame(show.length - 1, true);
        return;
    }
    const int last = show.pictureCount > 0 ? std::min(show.pictureCount, MaxPictures) - 1 : 0;
    const Picture& pic = show.pictures[last];
    const int32_t time = pic.keyCount > 0 ? pic.keys[pic.keyCount - 1].time : 0;
    session.GoToFrame(show.PictureStart(last) + time, true);
}

void CMain::AddKeyHere() {
    const KeyFrame camera = session.camera;
    const int32_t tolerance = session.AddKeyTolerance();
    bool beep = false, full = false;
    session.Edit([&](kv::Show& show) {
        EditFeedback fb;
        AddKeyAtCurrentFrame(show, camera, tolerance, &fb);
        beep = fb.beep;
        full = fb.full;
    });
    // No room: said, and the camera stays where the person put it.
    if (full) {
        Alert(KeyLimitMessage);
        return;
    }
    AfterEdit(beep);
}

long CMain::RenderTimingTest() {
    kv::Show& show = session.TheShow();
    Beep(0);
    CDIB image(720, 484, 32);
    const int64_t start = Counter();
    for (int32_t f = 0; f < 300; ++f) {
        RenderShowFrame(show, f, 0, false, 720, 484, &image);
    }
    const int64_t elapsed = Counter() - start;
    const long value = std::lround(static_cast<double>(elapsed) / 100000.0);
    const double ms =
        static_cast<double>(elapsed) * 1000.0 / static_cast<double>(CounterFrequency());
    std::fprintf(stderr, "Time  [ %ld ]  (300 frames of 720 x 484 in %.1f ms, %.1f frames/s)\n",
                 value, ms, ms > 0 ? 300000.0 / ms : 0.0);
    Alert("Time", static_cast<int32_t>(value));
    return value;
}

}  // namespace kv
