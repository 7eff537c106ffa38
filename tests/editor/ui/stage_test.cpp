// The stage driven by mouse and keys as a user would: the frame's geometry and zones, rotating,
// tilting and resizing by dragging, the key added at the release, the zoom commands and the
// KeyFrame Options dialog; pixel checks of a rotated, tilted frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "core/document/show_editing.h"
#include "editor/ui/main_window.h"
#include "tests/editor/ui/views_test_support.h"

using namespace kv;

namespace {

class Stage : public kvtest::Views {
protected:
    // A frame of width 200 at the picture point (400, 300): centre (200, 150) at scale 0.5.
    void SmallFrame() {
        stage->camera.x = 400.0f;
        stage->camera.y = 300.0f;
        stage->camera.width = 200.0f;
        stage->camera.rotation = stage->camera.tiltA = stage->camera.tiltB = 0.0f;
        stage->Redraw();
    }
    HWND W() const { return stage->hwnd; }
};

}  // namespace

TEST_F(Stage, FrameGeometryAndZonesAtHalfScale) {
    SmallFrame();
    const FrameShape s = stage->Shape();
    EXPECT_EQ(s.hw, 50);
    EXPECT_EQ(s.hh, 37);  // 0.75 x 50, truncated
    EXPECT_EQ(s.cx, 200);
    EXPECT_EQ(s.cy, 150);
    EXPECT_EQ(s.crossHalf, 6);
    // The move zone is the square of +-37 around the centre, on both axes.
    EXPECT_EQ(HitTestFrame(s, 237, 150, false), DragMove);
    EXPECT_EQ(HitTestFrame(s, 200, 113, false), DragMove);
    EXPECT_EQ(HitTestFrame(s, 238, 150, false), DragNone);
    EXPECT_EQ(HitTestFrame(s, 163 - 1, 150, false), DragNone);
    // Corners are rounded by adding 0.5 and truncating, so the ones left of or above the centre
    // land one pixel inward: top-left (151, 114), bottom-right (250, 187).
    EXPECT_EQ(s.corners[0].x, 151);
    EXPECT_EQ(s.corners[0].y, 114);
    EXPECT_EQ(s.corners[2].x, 250);
    EXPECT_EQ(s.corners[2].y, 187);
    // Corners within max(4, 50 / 6) = 8 pixels: rotate or tilt at the top-left, resize elsewhere.
    EXPECT_EQ(HitTestFrame(s, 151 + 8, 114 - 8, false), DragRotate);
    EXPECT_EQ(HitTestFrame(s, 151 + 8, 114 - 9, false), DragNone);
    EXPECT_EQ(HitTestFrame(s, 150, 113, true), DragTilt);
    EXPECT_EQ(HitTestFrame(s, 250, 113, false), DragResize);
    EXPECT_EQ(HitTestFrame(s, 250, 187, true), DragResize);
    EXPECT_EQ(HitTestFrame(s, 150, 187, false), DragResize);
    EXPECT_EQ(HitTestFrame(s, 150 - 9, 113, false), DragNone);
}

TEST_F(Stage, RotatedTiltedFrameCornersAndHandle) {
    // Rotation 90 and tiltB 18 at scale 0.5, width 200: hw 50, hh 37, dx = 18/180 x 50 = 5.
    // Unrotated corners (155,113) (245,113) (255,187) (145,187) turn about (200,150):
    // x' = -(y - 150), y' = x - 200, rounded by adding 0.5 and truncating toward zero, so
    // -37 + 0.5 becomes -36 and the frame comes out one pixel narrower on its left.
    KeyFrame cam{};
    cam.x = 400.0f;
    cam.y = 300.0f;
    cam.width = 200.0f;
    cam.rotation = 90.0f;
    cam.tiltB = 18.0f;
    const FrameShape s = ComputeFrameShape(cam, 0.5f, 0.75f, 0, 0);
    EXPECT_EQ(s.corners[0].x, 237);
    EXPECT_EQ(s.corners[0].y, 106);  // -45 -> -44.5 -> truncated to -44
    EXPECT_EQ(s.corners[1].x, 237);
    EXPECT_EQ(s.corners[1].y, 195);
    EXPECT_EQ(s.corners[2].x, 164);
    EXPECT_EQ(s.corners[2].y, 205);
    EXPECT_EQ(s.corners[3].x, 164);
    EXPECT_EQ(s.corners[3].y, 96);
    // The handle: 7 right and 7 below the unrotated top-left (162, 120), turned: (230, 113).
    EXPECT_EQ(s.handle.x, 230);
    EXPECT_EQ(s.handle.y, 113);

    // Painted: the outline is black over a yellow edge at every corner, the centre cross is
    // black and the picture shows beside the frame.
    stage->camera = cam;
    stage->Redraw();
    for (const POINT& c : s.corners)
        EXPECT_EQ(headless::Pixel(W(), c.x, c.y), RGB(0, 0, 0)) << c.x << "," << c.y;
    // The middle of the right edge (237, 150) with yellow on both sides of the black line.
    EXPECT_EQ(headless::Pixel(W(), 237, 150), RGB(0, 0, 0));
    EXPECT_EQ(headless::Pixel(W(), 236, 150), RGB(255, 255, 0));
    EXPECT_EQ(headless::Pixel(W(), 238, 150), RGB(255, 255, 0));
    EXPECT_EQ(headless::Pixel(W(), 200, 150), RGB(0, 0, 0));
    EXPECT_EQ(headless::Pixel(W(), 200 + 5, 150), RGB(0, 0, 0));
    EXPECT_EQ(headless::Pixel(W(), 200, 150 - 6), RGB(0, 0, 0));
    // The handle square's edge, 4 pixels from its centre.
    EXPECT_EQ(headless::Pixel(W(), 230 - 4, 113), RGB(0, 0, 0));
    // Outside the picture (400 x 300 on screen) the grey background with its grid.
    EXPECT_EQ(headless::Pixel(W(), 410, 5), RGB(192, 192, 192));
    EXPECT_EQ(headless::Pixel(W(), 432, 5), RGB(160, 160, 160));
    // Inside the picture, its left half is red.
    EXPECT_EQ(GetRValue(headless::Pixel(W(), 50, 250)), 160);
    headless::Screenshot(W(), Shot("stage_rotated_frame.png"));
}

TEST_F(Stage, RotateByDraggingTheHandleCorner) {
    SmallFrame();
    // From the top-left corner 90 pixels to the right: 45 degrees.
    Drag(W(), 150, 113, 240, 113);
    EXPECT_FLOAT_EQ(stage->camera.rotation, 45.0f);
    EXPECT_TRUE(show->rotationInUse);
    // A second drag continues from the angle it finds; Shift during the drag sets 0.
    const FrameShape s = stage->Shape();
    headless::KeyDown(VK_SHIFT);
    Drag(W(), s.corners[0].x, s.corners[0].y, s.corners[0].x + 30, s.corners[0].y);
    headless::KeyUp(VK_SHIFT);
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(stage->camera.rotation, 0.0f);
}

TEST_F(Stage, TiltStopsAtNinetyDegrees) {
    SmallFrame();
    stage->camera.x = 1200.0f;  // centre at screen x 600, top-left corner at (550, 113)
    stage->Redraw();
    show->AutoAddKey = false;
    headless::KeyDown(VK_CONTROL);
    Drag(W(), 550, 113, 150, 113, 8);  // -400 pixels would be -200 degrees
    EXPECT_FLOAT_EQ(stage->camera.tiltB, -90.0f);
    EXPECT_FLOAT_EQ(stage->camera.tiltA, 0.0f);
    EXPECT_TRUE(show->rotationInUse);
    stage->camera.tiltB = 0.0f;
    stage->Redraw();
    headless::KeyDown(VK_SHIFT);
    Drag(W(), 550, 113, 950, 113, 8);
    headless::KeyUp(VK_SHIFT);
    headless::KeyUp(VK_CONTROL);
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(stage->camera.tiltA, 90.0f);  // Shift tilts the other axis
    EXPECT_FLOAT_EQ(stage->camera.tiltB, 0.0f);
    // Without Ctrl the same corner rotates.
    stage->camera.tiltA = 0.0f;
    stage->Redraw();
    Drag(W(), 550, 113, 560, 113);
    EXPECT_FLOAT_EQ(stage->camera.rotation, 5.0f);
}

TEST_F(Stage, ResizeOnARotatedFrameFollowsItsOwnAxis) {
    SmallFrame();
    stage->camera.rotation = 90.0f;
    stage->Redraw();
    const FrameShape s = stage->Shape();
    // Bottom-right corner of the turned frame; the frame's own horizontal axis points down the
    // screen, so a point 60 pixels below the centre gives a half width of 60 (width 240).
    Drag(W(), s.corners[2].x, s.corners[2].y, 200, 150 + 60);
    EXPECT_FLOAT_EQ(stage->camera.width, 240.0f);
    // Unturned, the same drag measures across the screen.
    stage->camera.rotation = 0.0f;
    stage->camera.width = 200.0f;
    stage->Redraw();
    Drag(W(), 250, 187, 200 + 70, 150 + 60);
    EXPECT_FLOAT_EQ(stage->camera.width, 280.0f);
}

TEST_F(Stage, MoveWithShiftKeepsOneAxis) {
    SmallFrame();
    show->AutoAddKey = false;
    Drag(W(), 200, 150, 230, 170);
    EXPECT_FLOAT_EQ(stage->camera.x, 460.0f);
    EXPECT_FLOAT_EQ(stage->camera.y, 340.0f);
    headless::KeyDown(VK_SHIFT);
    Drag(W(), 230, 170, 240, 200);  // mostly down: x stays
    EXPECT_FLOAT_EQ(stage->camera.x, 460.0f);
    EXPECT_FLOAT_EQ(stage->camera.y, 400.0f);
    Drag(W(), 230, 200, 280, 190);  // mostly right: y stays
    headless::KeyUp(VK_SHIFT);
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(stage->camera.x, 560.0f);
    EXPECT_FLOAT_EQ(stage->camera.y, 400.0f);
}

TEST_F(Stage, ReleaseAddsAKeyOnlyWithAutoAddKey) {
    Session().GoToFrame(90, true);
    SmallFrame();
    show->AutoAddKey = false;
    Drag(W(), 200, 150, 260, 150);
    EXPECT_FLOAT_EQ(stage->camera.x, 520.0f);
    EXPECT_EQ(show->pictures[0].keyCount, 1);
    EXPECT_EQ(Session().UndoSteps(), 0u);

    show->AutoAddKey = true;
    Drag(W(), 260, 150, 270, 160);
    ASSERT_EQ(show->pictures[0].keyCount, 2);
    EXPECT_EQ(show->pictures[0].keys[1].time, 90);
    EXPECT_FLOAT_EQ(show->pictures[0].keys[1].x, 540.0f);
    EXPECT_FLOAT_EQ(show->pictures[0].keys[1].y, 320.0f);
    EXPECT_EQ(Session().UndoSteps(), 1u);
    EXPECT_EQ(show->currentFrame, 90);
    // A second drag at the same frame replaces that key.
    Drag(W(), 270, 160, 280, 160);
    EXPECT_EQ(show->pictures[0].keyCount, 2);
    EXPECT_FLOAT_EQ(show->pictures[0].keys[1].x, 560.0f);
    // A press outside every zone starts nothing.
    Drag(W(), 390, 290, 395, 295);
    EXPECT_EQ(Session().UndoSteps(), 2u);
}

TEST_F(Stage, ZoomSequencesAndTheStoredScale) {
    stage->SetScale(0.1f);
    const float in[] = {0.25f, 0.5f, 1.0f, 1.0f};
    for (float want : in) {
        stage->ZoomIn();
        EXPECT_FLOAT_EQ(stage->scale, want);
    }
    EXPECT_EQ(TheSettings().ReadInt("StageScale", 0), 100);
    const float out[] = {0.5f, 0.25f, 0.1f, 0.1f};
    for (float want : out) {
        stage->ZoomOut();
        EXPECT_FLOAT_EQ(stage->scale, want);
    }
    EXPECT_EQ(TheSettings().ReadInt("StageScale", 0), 10);
    // The frame follows the zoom: width 800 at 0.1 is 80 pixels across.
    EXPECT_EQ(stage->Shape().hw, 40);
}

TEST_F(Stage, ArrowAndPageKeysMoveAndSizeTheCamera) {
    SmallFrame();
    SetFocus(W());
    headless::Key(VK_LEFT);
    headless::Key(VK_LEFT);
    headless::Key(VK_DOWN);
    headless::Key(VK_PRIOR);
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(stage->camera.x, 398.0f);
    EXPECT_FLOAT_EQ(stage->camera.y, 301.0f);
    EXPECT_FLOAT_EQ(stage->camera.width, 201.0f);
    headless::KeyDown(VK_CONTROL);
    headless::Key(VK_LEFT);
    headless::Key(VK_NEXT);
    kvtest::DrainQueue();
    headless::KeyUp(VK_CONTROL);
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(stage->camera.width, 800.0f);  // the picture's width
    EXPECT_FLOAT_EQ(stage->camera.x, 100.5f);      // 201 / 2, before the width changed
    stage->camera.width = 5.0f;
    for (int i = 0; i < 3; ++i) headless::Key(VK_NEXT);
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(stage->camera.width, 4.0f);
    EXPECT_EQ(show->pictures[0].keyCount, 1);  // keys change the camera only
}

TEST_F(Stage, RightClickOpensTheFirstFourOptions) {
    SmallFrame();
    stage->camera.x = 400.7f;
    stage->camera.rotation = 12.9f;
    ASSERT_TRUE(viewer->image);
    const size_t bytes = static_cast<size_t>(viewer->image->RowBytes()) *
                         static_cast<size_t>(viewer->image->Height());
    const std::vector<uint8_t> before(viewer->image->Bits(), viewer->image->Bits() + bytes);
    const int64_t drawn = viewer->picturesDrawn;
    // Enter takes the dialog's values: each field is the camera value as a whole number.
    headless::Script([] { headless::Key(VK_RETURN); });
    SendMessage(W(), WM_RBUTTONDOWN, 0, MAKELPARAM(200, 150));
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(stage->camera.x, 400.0f);
    EXPECT_FLOAT_EQ(stage->camera.rotation, 12.0f);
    // The viewer shows the camera the dialog left: drawn again, and turned now.
    EXPECT_GT(viewer->picturesDrawn, drawn);
    ASSERT_EQ(static_cast<size_t>(viewer->image->RowBytes()) * viewer->image->Height(), bytes);
    EXPECT_NE(std::memcmp(before.data(), viewer->image->Bits(), bytes), 0);
    EXPECT_EQ(show->pictures[0].keyCount, 1);  // the dialog adds no key
    // Escape leaves the camera alone.
    stage->camera.x = 333.3f;
    headless::Script([] { headless::Key(VK_ESCAPE); });
    SendMessage(W(), WM_RBUTTONDOWN, 0, MAKELPARAM(200, 150));
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(stage->camera.x, 333.3f);
}

TEST_F(Stage, ClickOnACameraPathMarkGoesToItsKey) {
    SetKeys({0, 60, 120});
    stage->ToggleCameraPath();
    ASSERT_TRUE(stage->showCameraPath);
    // Key 2 sits at picture x 420: screen x 210, y 150, drawn as a red mark.
    EXPECT_EQ(headless::Pixel(W(), 210 + 2, 150 + 2), RGB(255, 0, 0));
    headless::ClientClick(W(), 215, 145);
    kvtest::DrainQueue();
    EXPECT_EQ(show->currentFrame, 120);
    EXPECT_EQ(stage->KeyMarkAt(300, 300), -1);
}

TEST_F(Stage, NoFrameOrScaleOfZero) {
    SmallFrame();
    show->AutoAddKey = false;
    // Resized onto its own centre the frame keeps the smallest width the keys allow.
    Drag(W(), 250, 187, 200, 150);
    EXPECT_FLOAT_EQ(stage->camera.width, 4.0f);
    // A stored zoom of 0 would divide every drag by zero: the default zoom is used instead.
    TheSettings().WriteInt("StageScale", 0);
    CStage other(Session());
    ASSERT_TRUE(other.Create(main.hwnd));
    EXPECT_FLOAT_EQ(other.scale, 0.5f);
}

TEST_F(Stage, CamerasFromAnyShowFileStayDrawable) {
    // Keys come from files: not-a-number and huge values must neither overflow the geometry nor
    // stop the stage, the timeline or the viewer from drawing.
    KeyFrame cam{};
    cam.x = std::nanf("");
    cam.y = 1e30f;
    cam.width = 3e9f;
    cam.rotation = 1e20f;
    cam.tiltA = -std::numeric_limits<float>::infinity();
    const FrameShape s = ComputeFrameShape(cam, 0.5f, 0.75f, 0, 0);
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(s.cy, 1000000);
    EXPECT_EQ(s.hw, 1000000);
    EXPECT_EQ(s.hh, 750000);
    for (const POINT& c : s.corners) {
        EXPECT_LE(std::abs(c.x), 4000000);
        EXPECT_LE(std::abs(c.y), 4000000);
    }
    EXPECT_EQ(HitTestFrame(s, 0, 0, false), DragNone);
    cam.width = std::nanf("");
    stage->camera = cam;
    show->pictures[0].keys[0].easeCode = std::nanf("");
    Session().GoToFrame(0, false);
    stage->camera = cam;
    stage->Redraw();
    timeline->Redraw();
    // The stage still paints its background and the timeline its band.
    EXPECT_EQ(headless::Pixel(W(), 410, 5), RGB(192, 192, 192));
    EXPECT_EQ(headless::Pixel(timeline->hwnd, 200, 22), RGB(0, 255, 255));
}

// --- Pictures larger than the stage ----------------------------------------------------------
namespace {

class LargePictures : public Stage {
protected:
    // A picture of the given size loaded behind the stage's back, as start-up and recovery load
    // one, under a file name of its own.
    void Load(int w, int h, const char* path) {
        show->image.Create(w, h, 24);
        ASSERT_EQ(show->image.Width(), w);
        FileSpec file;
        file.SetPath(path);
        show->PictureLoaded(0, file, true, w, h);
    }
    // Whether the whole picture is on the stage at the current scale (and not at the next
    // larger level).
    bool Fits(float s) const {
        const Rect c = stage->GetClientRect();
        return static_cast<float>(show->image.Width()) * s <= static_cast<float>(c.right) &&
               static_cast<float>(show->image.Height()) * s <= static_cast<float>(c.bottom);
    }
    int StoredScale() { return TheSettings().ReadInt("StageScale", -1); }
    // The picture point under a client point of the stage.
    float PictureX(int x) const {
        return static_cast<float>(x - stage->originX + stage->GetHScrollPos()) / stage->scale;
    }
    float PictureY(int y) const {
        return static_cast<float>(y - stage->originY + stage->GetVScrollPos()) / stage->scale;
    }
};

}  // namespace

TEST(StageLevelArithmetic, FitTakesTheLargestLevelAndSmallLevelsNeedAHugePicture) {
    EXPECT_FLOAT_EQ(FitStageScale(640, 480, 1000, 600, false), 1.0f);
    EXPECT_FLOAT_EQ(FitStageScale(4000, 3000, 1000, 600, false), 0.1f);
    EXPECT_FLOAT_EQ(FitStageScale(4000, 3000, 2100, 1600, false), 0.5f);
    EXPECT_FLOAT_EQ(FitStageScale(30000, 6000, 1000, 600, true), 0.02f);
    EXPECT_FLOAT_EQ(FitStageScale(65535, 65535, 500, 500, true), 0.01f);  // none fits: smallest
    EXPECT_FLOAT_EQ(FitStageScale(30000, 6000, 1000, 600, false), 0.1f);
    EXPECT_FALSE(IsHugePicture(8192, 8192));
    EXPECT_TRUE(IsHugePicture(8193, 10));
    EXPECT_TRUE(IsHugePicture(10, 8193));
    // The zoom steps: the small levels only with a huge picture, both ways.
    EXPECT_FLOAT_EQ(ZoomedOutScale(0.1f, false), 0.1f);
    EXPECT_FLOAT_EQ(ZoomedOutScale(0.1f, true), 0.05f);
    EXPECT_FLOAT_EQ(ZoomedOutScale(0.05f, true), 0.02f);
    EXPECT_FLOAT_EQ(ZoomedOutScale(0.02f, true), 0.01f);
    EXPECT_FLOAT_EQ(ZoomedOutScale(0.01f, true), 0.01f);
    EXPECT_FLOAT_EQ(ZoomedOutScale(0.25f, true), 0.1f);
    EXPECT_FLOAT_EQ(ZoomedInScale(0.01f, true), 0.02f);
    EXPECT_FLOAT_EQ(ZoomedInScale(0.02f, true), 0.05f);
    EXPECT_FLOAT_EQ(ZoomedInScale(0.05f, true), 0.1f);
    EXPECT_FLOAT_EQ(ZoomedInScale(0.1f, true), 0.25f);
    EXPECT_FLOAT_EQ(ZoomedInScale(0.02f, false), 0.1f);
}

TEST_F(LargePictures, ALoadedPictureThatDoesNotFitTakesTheLargestFittingLevel) {
    ASSERT_FLOAT_EQ(stage->scale, 0.5f);
    // A picture that fits changes nothing.
    Load(640, 480, "/pictures/small.jpg");
    stage->Redraw();
    EXPECT_FLOAT_EQ(stage->scale, 0.5f);
    // A 4000 x 3000 photo: the whole picture on the stage, at the largest such level.
    Load(4000, 3000, "/pictures/photo.jpg");
    stage->Redraw();
    EXPECT_TRUE(Fits(stage->scale));
    EXPECT_FALSE(Fits(ZoomedInScale(stage->scale)));
    EXPECT_EQ(StoredScale(), static_cast<int>(std::lround(stage->scale * 100.0f)));
    // Zooming in afterwards is the user's choice: the same picture is not fitted again.
    stage->ZoomIn();
    stage->ZoomIn();
    stage->Redraw();
    EXPECT_FALSE(Fits(stage->scale));
    // "Fit Picture on Stage" applies the rule on demand, also zooming in to a fitting level.
    stage->FitPicture(true);
    EXPECT_TRUE(Fits(stage->scale));
    EXPECT_FALSE(Fits(ZoomedInScale(stage->scale)));
    Load(640, 480, "/pictures/small2.jpg");
    stage->SetScale(0.1f);
    stage->FitPicture(true);
    EXPECT_TRUE(Fits(stage->scale));
    EXPECT_GT(stage->scale, 0.1f);
}

TEST_F(LargePictures, SmallLevelsOnlyWithAPictureOverEightThousandPixels) {
    Load(30000, 600, "/pictures/panorama.jpg");
    stage->Redraw();
    EXPECT_TRUE(stage->HugePicture());
    EXPECT_FLOAT_EQ(stage->scale, 0.02f);  // 600 pixels across at 2 %, 1500 at 5 %
    EXPECT_EQ(StoredScale(), 2);
    stage->ZoomOut();
    EXPECT_FLOAT_EQ(stage->scale, 0.01f);
    EXPECT_EQ(StoredScale(), 1);
    stage->ZoomOut();
    EXPECT_FLOAT_EQ(stage->scale, 0.01f);
    const float in[] = {0.02f, 0.05f, 0.1f, 0.25f};
    for (float want : in) {
        stage->ZoomIn();
        EXPECT_FLOAT_EQ(stage->scale, want);
    }
    stage->SetScale(0.1f);
    stage->ZoomOut();
    EXPECT_EQ(StoredScale(), 5);
    // A picture within 8192 pixels closes the small levels: the stage goes back to 10 %.
    Load(800, 600, "/pictures/back.jpg");
    stage->Redraw();
    EXPECT_FLOAT_EQ(stage->scale, 0.1f);
    stage->ZoomOut();
    EXPECT_FLOAT_EQ(stage->scale, 0.1f);
    // A stored 5 % read with no huge picture is taken as 10 %.
    TheSettings().WriteInt("StageScale", 5);
    stage.reset();
    stage = std::make_unique<CStage>(Session());
    ASSERT_TRUE(stage->Create(main.hwnd));
    EXPECT_FLOAT_EQ(stage->scale, 0.1f);
}

TEST_F(LargePictures, TheWheelStepsTheZoomKeepingThePointUnderThePointer) {
    Load(4000, 3000, "/pictures/photo.jpg");
    stage->Redraw();
    const float start = stage->scale;
    const Rect c = stage->GetClientRect();
    for (bool centred : {false, true}) {
        if (stage->centrePicture != centred) stage->ToggleCentrePicture();
        stage->SetHScrollPos(0, false);
        stage->SetVScrollPos(0, false);
        stage->SetScale(start);
        // A point on the picture far enough right that the stage can scroll to keep it (the
        // scroll position is never negative).
        const int x = centred ? 2 * c.right / 3 : c.right / 3, y = c.bottom / 2;
        const float px = PictureX(x), py = PictureY(y);
        const POINT at = ClientToScreen(W(), POINT{x, y});
        float seen = start;
        for (int clicks : {1, 1, -1, 1}) {
            headless::Wheel(at.x, at.y, clicks);
            kvtest::DrainQueue();
            EXPECT_FLOAT_EQ(stage->scale, clicks > 0 ? ZoomedInScale(seen) : ZoomedOutScale(seen));
            seen = stage->scale;
            // Within a screen pixel of where it was.
            EXPECT_NEAR(PictureX(x), px, 1.0f / stage->scale) << centred;
            EXPECT_NEAR(PictureY(y), py, 1.0f / stage->scale) << centred;
        }
        EXPECT_EQ(StoredScale(), static_cast<int>(std::lround(seen * 100.0f)));
    }
}
