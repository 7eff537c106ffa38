// The viewer: its placement on one and two monitors, the height fitted to the show's aspect, the
// settings written on moves, timecode entry, the picture with its safe areas, the key button,
// the play loop on a stepped clock and closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/document/show_editing.h"
#include "core/render/render_picture.h"
#include "tests/editor/ui/views_test_support.h"

using namespace kv;

namespace {

// A clock that advances exactly one frame (100 ticks at 29.97 with frequency 2997) per reading,
// so the play loop shows every frame, whatever the machine's speed.
int64_t g_now = 0;
int64_t OneFramePerReading() {
    return g_now += 100;
}
// A machine three times too slow: three frames pass between two readings.
int64_t ThreeFramesPerReading() {
    return g_now += 300;
}

class Viewer : public kvtest::Views {
protected:
    HWND W() const { return viewer->hwnd; }
    void SteppedClock() { viewer->SetPlayCounter(&OneFramePerReading, 2997); }
    int64_t PlayFrom(int frame, int direction) {
        Session().PlayFrame(frame);
        const int64_t before = viewer->framesShown;
        viewer->Play(direction);
        return viewer->framesShown - before;
    }
    void Store(int left, int top, int width, int dual) {
        TheSettings().WriteInt("ViewerLeft", left);
        TheSettings().WriteInt("ViewerTop", top);
        TheSettings().WriteInt("ViewerWidth", width);
        TheSettings().WriteInt("DualScreenViewer", dual);
    }
    void Type(const std::string& text) {
        headless::Script([text] {
            headless::Type(text);
            headless::Key(VK_RETURN);
        });
    }
    void DoubleClickTimecode() {
        const Rect b = viewer->timecodeBox;
        SendMessage(W(), WM_LBUTTONDBLCLK, 0,
                    MAKELPARAM((b.left + b.right) / 2, (b.top + b.bottom) / 2));
        kvtest::DrainQueue();
    }
};

}  // namespace

TEST_F(Viewer, PlacementOnOneAndTwoMonitors) {
    const Rect mainRect{0, 0, 1024, 768};
    // Defaults: width max(1024 / 8, 220) placed 40 from the right, pulled in to R - 64.
    Rect r = ViewerPlacement(Session().Store(), mainRect, false);
    EXPECT_EQ(r.left, 764);
    EXPECT_EQ(r.top, 80);
    EXPECT_EQ(r.right, 960);
    // A place on a second monitor is pulled back without the dual-screen setting.
    Store(2000, 100, 300, 0);
    r = ViewerPlacement(Session().Store(), mainRect, false);
    EXPECT_EQ(r.left, 960);
    EXPECT_EQ(r.right, 1040);  // at least 80 wide
    EXPECT_EQ(r.top, 100);
    // With it, but no monitor there any more, the window stays reachable.
    r = ViewerPlacement(Session().Store(), mainRect, true);
    EXPECT_EQ(r.left, 960);
    // With the second monitor present the stored place is kept.
    headless::SetMonitors({{Rect{0, 0, 1280, 1024}, Rect{0, 0, 1280, 1024}},
                           {Rect{1280, 0, 2560, 1024}, Rect{1280, 0, 2560, 1024}}});
    r = ViewerPlacement(Session().Store(), mainRect, true);
    EXPECT_EQ(r.left, 2000);
    EXPECT_EQ(r.right, 2300);
    EXPECT_EQ(r.top, 100);
    // The edges: top at most B - 64, both at least 32, and at least 80 wide.
    Store(0, 900, 10, 0);
    r = ViewerPlacement(Session().Store(), mainRect, false);
    EXPECT_EQ(r.top, 704);
    EXPECT_EQ(r.left, 32);
    EXPECT_EQ(r.right, 112);
    Store(0, 0, 500, 0);
    r = ViewerPlacement(Session().Store(), mainRect, false);
    EXPECT_EQ(r.top, 32);
    EXPECT_EQ(r.right, 532);

    // The created window uses the rules: a viewer made with the setting on opens there.
    Store(2000, 100, 300, 1);
    viewer.reset();
    viewer = std::make_unique<CView>(Session());
    ASSERT_TRUE(viewer->Create(main.hwnd));
    EXPECT_TRUE(viewer->dualScreen);
    EXPECT_EQ(viewer->GetWindowRect().left, 2000);
    EXPECT_EQ(GetWindowText(viewer->hwnd), "Viewer");
    EXPECT_NE(GetWindowExStyle(viewer->hwnd) & WS_EX_TOPMOST, 0u);
}

TEST_F(Viewer, HeightFollowsTheAspectAndMovesAreStored) {
    Rect r = viewer->GetWindowRect();
    const int width = r.right - r.left;
    // The picture has the show's shape: as wide as the client, above the control strip.
    auto picture = [&] { return viewer->PictureArea(); };
    EXPECT_EQ(picture().right, viewer->GetClientRect().right);
    EXPECT_EQ(picture().bottom, (picture().right * 3 + 2) / 4);
    show->aspect = 0.5625f;  // 16:9: lower at the same width
    SendMessage(W(), WM_MOVE, 0, 0);
    r = viewer->GetWindowRect();
    EXPECT_EQ(r.right - r.left, width);
    EXPECT_EQ(picture().bottom, static_cast<int>(picture().right * 0.5625f + 0.5f));
    // A move or resize keeps left, top and width, fits the height and stores the place.
    viewer->MoveTo(100, 200, 500, 260, true);
    kvtest::DrainQueue();
    r = viewer->GetWindowRect();
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 200);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(picture().bottom, static_cast<int>(picture().right * 0.5625f + 0.5f));
    EXPECT_EQ(TheSettings().ReadInt("ViewerLeft", 0), 100);
    EXPECT_EQ(TheSettings().ReadInt("ViewerTop", 0), 200);
    EXPECT_EQ(TheSettings().ReadInt("ViewerWidth", 0), 400);
}

TEST_F(Viewer, TimecodeEntryIsAbsoluteOrRelative) {
    Session().GoToFrame(40, true);
    Type("+00:01:00");  // one second forward
    DoubleClickTimecode();
    EXPECT_EQ(show->currentFrame, 70);
    Type("-00:00:10");
    DoubleClickTimecode();
    EXPECT_EQ(show->currentFrame, 60);
    Type("00:00:05:00");
    DoubleClickTimecode();
    EXPECT_EQ(show->currentFrame, 150);
    // An empty answer leaves the frame.
    headless::Script([] {
        headless::Key(VK_BACK);
        headless::Key(VK_RETURN);
    });
    DoubleClickTimecode();
    EXPECT_EQ(show->currentFrame, 150);
    // Outside the box a double click asks nothing.
    SendMessage(W(), WM_LBUTTONDBLCLK, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(headless::PendingSteps(), 0u);
    EXPECT_EQ(show->currentFrame, 150);
}

// The timecode box names the current frame after every move, whichever window or command made
// it: the box on screen must look as it does when drawn afresh for the current frame.
TEST_F(Viewer, TimecodeBoxFollowsEveryMoveOfTheCurrentFrame) {
    SetKeys({0, 60});
    auto boxPixels = [this] {
        int w = 0, h = 0;
        const std::vector<uint32_t> all = headless::CaptureClient(W(), &w, &h);
        const Rect b = viewer->timecodeBox;
        std::vector<uint32_t> box;
        for (int y = std::max(0, b.top); y < std::min(h, b.bottom); ++y)
            for (int x = std::max(0, b.left); x < std::min(w, b.right); ++x)
                box.push_back(all[static_cast<size_t>(y) * w + x]);
        return box;
    };
    auto expectBoxShowsCurrentFrame = [&](const char* after) {
        const std::vector<uint32_t> shown = boxPixels();
        viewer->DrawTimecode(show->currentFrame);
        EXPECT_TRUE(shown == boxPixels()) << "stale timecode after " << after;
    };
    ASSERT_FALSE(boxPixels().empty());
    const auto x = [this](int frame) {
        return timeline->StripX(frame) - timeline->GetHScrollPos();
    };

    // A click on the timeline at another frame.
    headless::ClientClick(timeline->hwnd, x(150), 40);
    kvtest::DrainQueue();
    ASSERT_EQ(show->currentFrame, 150);
    expectBoxShowsCurrentFrame("a timeline click");

    // Cancel in the key dialog opened from the timeline.
    headless::Script([] { headless::Key(VK_ESCAPE); });
    SendMessage(timeline->hwnd, WM_RBUTTONDOWN, 0, MAKELPARAM(x(60), 22));
    kvtest::DrainQueue();
    ASSERT_EQ(show->currentFrame, 60);
    expectBoxShowsCurrentFrame("Cancel in the key dialog");

    // A typed timecode, one second on.
    Type("+00:01:00");
    DoubleClickTimecode();
    ASSERT_EQ(show->currentFrame, 90);
    expectBoxShowsCurrentFrame("a typed timecode");

    // A move made by a command, with and without rendering.
    Session().GoToFrame(200, true);
    expectBoxShowsCurrentFrame("a move with render");
    Session().GoToFrame(10, false);
    expectBoxShowsCurrentFrame("a move without render");
}

TEST_F(Viewer, PictureSafeAreasAndTimecodePixels) {
    viewer->MoveTo(600, 100, 1000, 200, true);
    kvtest::DrainQueue();
    viewer->Redraw();
    const Rect a = viewer->PictureArea();
    const int w = a.right, h = a.bottom;
    // The whole picture: red on the left, blue on the right.
    COLORREF left = headless::Pixel(W(), w / 4, h / 3),
             right = headless::Pixel(W(), 3 * w / 4, h / 3);
    EXPECT_GT(GetRValue(left), 120);
    EXPECT_LT(GetBValue(left), 40);
    EXPECT_GT(GetBValue(right), 120);
    EXPECT_LT(GetRValue(right), 40);
    EXPECT_NE(headless::Pixel(W(), static_cast<int>(0.048 * w), h / 2), RGB(255, 255, 255));
    viewer->ToggleSafeArea();
    EXPECT_TRUE(viewer->safeArea);
    EXPECT_EQ(TheSettings().ReadInt("ShowTVSafe", 0), 1);
    // Inset 4.8 % (a plain rectangle) and 9.6 % (rounded, straight along the middle).
    const int ix = static_cast<int>(0.048 * w), iy = static_cast<int>(0.048 * h);
    const int jx = static_cast<int>(0.096 * w);
    EXPECT_EQ(headless::Pixel(W(), ix, h / 2), RGB(255, 255, 255));
    EXPECT_EQ(headless::Pixel(W(), w / 4, iy), RGB(255, 255, 255));
    EXPECT_EQ(headless::Pixel(W(), jx, h / 2), RGB(255, 255, 255));
    EXPECT_NE(headless::Pixel(W(), ix + 1, h / 2), RGB(255, 255, 255));
    EXPECT_NE(headless::Pixel(W(), (ix + jx) / 2, h / 2), RGB(255, 255, 255));
    // The timecode box: white inside, black frame; the strip grey.
    const Rect b = viewer->timecodeBox;
    EXPECT_EQ(b.left, 76);
    EXPECT_EQ(b.right, 156);
    EXPECT_EQ(headless::Pixel(W(), b.left + 4, b.bottom - 3), RGB(255, 255, 255));
    EXPECT_EQ(headless::Pixel(W(), (b.left + b.right) / 2, b.top), RGB(0, 0, 0));
    EXPECT_EQ(headless::Pixel(W(), 60 + 100, h + 2), RGB(128, 128, 128));
    headless::Screenshot(W(), Shot("viewer_safe_area.png"));
}

TEST_F(Viewer, KeyButtonAddsAKeyAtTheCurrentFrame) {
    Session().GoToFrame(90, true);
    stage->camera.x = 300.0f;
    const Rect k = viewer->GetClientRect();
    headless::ClientClick(W(), 161 + 9, k.bottom - 21 + 9);
    kvtest::DrainQueue();
    ASSERT_EQ(show->pictures[0].keyCount, 2);
    EXPECT_EQ(show->pictures[0].keys[1].time, 90);
    EXPECT_FLOAT_EQ(show->pictures[0].keys[1].x, 300.0f);
}

TEST_F(Viewer, PlayRestartsFromZeroAfterTheLastKey) {
    SetKeys({0, 60});
    SteppedClock();
    const int64_t shown = PlayFrom(60, 1);
    EXPECT_EQ(viewer->playStartFrame, 0);
    EXPECT_EQ(viewer->playEndFrame, 60);
    EXPECT_EQ(shown, 61);  // frames 0 to 60, each once
    EXPECT_EQ(viewer->playDirection, 0);
    // Started by the host it plays to the show's length.
    show->hostMode = true;
    show->length = 80;
    EXPECT_EQ(PlayFrom(70, 1), 11);
    EXPECT_EQ(viewer->playEndFrame, 80);
}

TEST_F(Viewer, ReversePlayStopsBelowZero) {
    SetKeys({0, 60});
    SteppedClock();
    EXPECT_EQ(PlayFrom(10, -1), 11);  // 10 down to 0
    EXPECT_EQ(show->currentFrame, 0);
    EXPECT_EQ(viewer->playDirection, 0);
}

TEST_F(Viewer, PlaybackFollowsClicksAndKeys) {
    SetKeys({0, 200});
    SteppedClock();
    // A release over the timeline moves playback there; it then runs on to the end.
    PostWindowMessage(timeline->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(timeline->StripX(90), 40));
    EXPECT_EQ(PlayFrom(0, 1), 1 + 111);  // frame 0, then 90 to 200
    // A key stops it after the frame it was pressed at.
    PostWindowMessage(W(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(PlayFrom(0, 1), 1);
    // So does a release anywhere else (the viewer's stop button).
    PostWindowMessage(W(), WM_LBUTTONUP, 0, MAKELPARAM(30, 10));
    EXPECT_EQ(PlayFrom(5, 1), 1);
    EXPECT_EQ(show->currentFrame, 6);
    // Paint requests of other windows are served while playing, not lost.
    InvalidateRect(timeline->hwnd, nullptr, true);
    PlayFrom(150, 1);
    MSG m;
    int paints = 0;
    while (PeekMessage(&m, PM_REMOVE)) paints += m.message == WM_PAINT;
    EXPECT_EQ(paints, 0);
}

TEST_F(Viewer, EachPlayTakesTheFrameRateItFinds) {
    SetKeys({0, 10});
    SteppedClock();
    PlayFrom(0, 1);
    EXPECT_EQ(viewer->ticksPerFrame, 100);
    show->FrameRate = 2500;
    PlayFrom(0, 1);
    EXPECT_EQ(viewer->ticksPerFrame, 2997 * 100 / 2500);
}

TEST_F(Viewer, ClosingTheViewerEndsTheEditor) {
    PostWindowMessage(W(), WM_CLOSE, 0, 0);
    MSG m;
    bool quit = false;
    for (int i = 0; i < 100 && !quit; ++i) {
        if (!PeekMessage(&m, PM_REMOVE)) continue;
        if (m.message == WM_QUIT)
            quit = m.wParam == 0;
        else
            DispatchMessage(&m);
    }
    EXPECT_TRUE(quit);
}

TEST_F(Viewer, DraftWhileDraggingUnlessTurned) {
    stage->camera.width = 517.0f;  // a reduction where draft and full quality differ
    stage->camera.x = 401.0f;
    auto same = [&](int quality, bool bands) {
        CDIB want(viewer->image->Width(), viewer->image->Height(), 32);
        const CameraRect cam = ViewerCameraRect(stage->camera, 600, show->aspect);
        show->image.rotationInUse = stage->camera.rotation != 0.0f;
        EXPECT_TRUE(bands ? RenderBands(want, show->image, cam, quality, LineAll, false, 0)
                          : RenderPicture(want, show->image, cam, quality, 0, LineAll));
        const size_t n = static_cast<size_t>(want.RowBytes()) * want.Height();
        return std::memcmp(want.Bits(), viewer->image->Bits(), n) == 0;
    };
    viewer->DrawPicture(false);
    EXPECT_TRUE(same(QualityDraft, false));
    EXPECT_FALSE(same(QualityFull, true));
    viewer->DrawPicture(true);
    EXPECT_TRUE(same(QualityFull, true));
    show->DraftRender = true;  // "Draft quality" also rules the full renders
    viewer->DrawPicture(true);
    EXPECT_TRUE(same(QualityDraft, true));
    show->DraftRender = false;
    stage->camera.rotation = 10.0f;  // turned: full quality even while dragging
    viewer->DrawPicture(false);
    EXPECT_TRUE(same(QualityFull, true));
}

TEST_F(Viewer, FramesAreSkippedWhenRenderingFallsBehind) {
    SetKeys({0, 60});
    viewer->SetPlayCounter(&ThreeFramesPerReading, 2997);
    EXPECT_EQ(PlayFrom(0, 1), 21);  // frames 0, 3, 6 ... 60
    EXPECT_EQ(show->currentFrame, 63);
}

// On a dense display a play that falls behind at device pixels goes on at logical pixels (a
// quarter of the pixels at 2x), and the frame it stops on is drawn at device pixels again; a
// play that keeps up, and any play at factor 1, stays at the display's own pixels throughout.
TEST_F(Viewer, ADensePlayThatFallsBehindGoesOnAtLogicalPixelsAndStopsSharp) {
    struct Factor {
        explicit Factor(double f) { headless::SetScale(f); }
        ~Factor() { headless::SetScale(1.0); }
    };
    SetKeys({0, 60});
    const Rect a = viewer->PictureArea();
    auto logicalFrames = [&](int64_t (*clock)()) {
        viewer->SetPlayCounter(clock, 2997);
        const int64_t before = viewer->framesAtLogicalPixels;
        PlayFrom(0, 1);
        return viewer->framesAtLogicalPixels - before;
    };
    EXPECT_EQ(logicalFrames(&ThreeFramesPerReading), 0);  // factor 1: nothing to give up
    {
        Factor two(2.0);
        // Frames 0, 3 ... 60: the first two late ones at device pixels, the other 19 not.
        EXPECT_EQ(logicalFrames(&ThreeFramesPerReading), 19);
        ASSERT_TRUE(viewer->image);
        EXPECT_EQ(viewer->image->Width(), 2 * a.right);
        EXPECT_EQ(viewer->image->Height(), 2 * a.bottom);
        EXPECT_FALSE(viewer->playAtLogicalPixels);
        // Every frame on time: device pixels all along.
        EXPECT_EQ(logicalFrames(&OneFramePerReading), 0);
        EXPECT_EQ(viewer->image->Width(), 2 * a.right);
    }
}
