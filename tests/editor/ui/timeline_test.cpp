// The timeline driven as a user would: strip coordinates and the strip limit, scrubbing, key
// drags that move, ripple or delete keys, the KeyFrame Options dialog and its ease codes, the
// zoom rules and the placement; pixel checks of a ruler stripe and of key cells.
#include <gtest/gtest.h>

#include <cstring>

#include "core/document/show_editing.h"
#include "core/show/camera_motion.h"
#include "editor/resources/resources.h"
#include "editor/ui/toolkit/keyframe_options.h"
#include "editor/ui/toolkit/option_dialog.h"
#include "output/timecode.h"
#include "tests/editor/ui/views_test_support.h"

using namespace kv;

namespace {

class Timeline : public kvtest::Views {
protected:
    HWND W() const { return timeline->hwnd; }
    // Client x of a frame (the strip is not scrolled in these tests).
    int X(int frame) const { return timeline->StripX(frame) - timeline->GetHScrollPos(); }
    static constexpr int KeyRow = 22;
    int Times(int i) const { return show->pictures[0].keys[i].time; }
    float KeyX(int i) const { return show->pictures[0].keys[i].x; }
};

// Bitmap resource `id` drawn at (x, y) of a window, compared pixel by pixel.
void ExpectBitmapAt(HWND w, int id, int x, int y) {
    const ResourceBitmap* bm = FindBitmapResource(id);
    ASSERT_NE(bm, nullptr);
    int wrong = 0;
    for (int j = 0; j < bm->height; ++j)
        for (int i = 0; i < bm->width; ++i) {
            const uint32_t p = bm->pixels[j * bm->width + i];
            const COLORREF want = RGB((p >> 16) & 255, (p >> 8) & 255, p & 255);
            if (headless::Pixel(w, x + i, y + j) != want) ++wrong;
        }
    EXPECT_EQ(wrong, 0) << "bitmap " << id << " at " << x << "," << y;
}

}  // namespace

TEST_F(Timeline, StripCoordinatesAtTheDefaultNtscScale) {
    EXPECT_EQ(timeline->scale, 30);
    EXPECT_EQ(timeline->StripX(0), 4);
    EXPECT_EQ(timeline->StripX(30), 64);
    EXPECT_EQ(timeline->StripX(45), 94);
    EXPECT_EQ(timeline->FrameAtStripX(64), 30);
    EXPECT_EQ(timeline->FrameAtStripX(65), 30);
    EXPECT_EQ(timeline->FrameAtStripX(0), 0);  // left of frame 0 is still frame 0
    EXPECT_EQ(timeline->stripWidth, timeline->StripX(300));
    // Only the key row finds keys.
    SetKeys({0, 60});
    EXPECT_EQ(timeline->KeyAt(X(60), 14), 1);
    EXPECT_EQ(timeline->KeyAt(X(60) + 7, 30), 1);  // frame 63: within 4 frames
    EXPECT_EQ(timeline->KeyAt(X(60) + 8, 30), -1);
    EXPECT_EQ(timeline->KeyAt(X(60), 13), -1);
    EXPECT_EQ(timeline->KeyAt(X(60), 31), -1);
}

TEST_F(Timeline, TheStripStopsAt32700Pixels) {
    show->length = 8990;
    timeline->scale = 5;
    timeline->SetScaleForLength(show->length);
    EXPECT_EQ(timeline->stripWidth, 32700);
    // Scrolled to its very end, the strip still ends before the show does.
    timeline->SetHScrollPos(1000000, true);
    const Rect c = timeline->GetClientRect();
    EXPECT_LE(timeline->GetHScrollPos() + c.right, 32700 + 1);
    EXPECT_LT(timeline->FrameAtClientX(c.right), 8990);
    // Keep Current Frame Visible centres a far frame when it can.
    timeline->scale = 30;
    timeline->SetScaleForLength(show->length);
    Session().GoToFrame(5000, false);
    timeline->KeepCurrentFrameVisible();
    EXPECT_EQ(timeline->GetHScrollPos(), timeline->StripX(5000) - c.right / 2);
}

TEST_F(Timeline, ScrubbingMovesTheCurrentFrame) {
    SetKeys({0, 200});
    Drag(W(), X(10), 40, X(90), 40);
    EXPECT_EQ(show->currentFrame, 90);
    EXPECT_FALSE(timeline->scrubbing);
    const KeyFrame want = CameraStateAt(*show, 0, 90, false);
    EXPECT_FLOAT_EQ(stage->camera.x, want.x);
    // A click on a key's cell without moving makes that key's frame current as well.
    headless::ClientClick(W(), X(200), KeyRow);
    kvtest::DrainQueue();
    EXPECT_EQ(show->currentFrame, 200);
    EXPECT_EQ(Times(1), 200);
}

TEST_F(Timeline, DroppingAKeyOnThePictureStartDeletesThatKey) {
    SetKeys({0, 60, 120});
    Drag(W(), X(60), KeyRow, X(2), KeyRow);
    ASSERT_EQ(show->pictures[0].keyCount, 2);
    EXPECT_EQ(Times(1), 120);
    EXPECT_FLOAT_EQ(KeyX(1), 420.0f);

    SetKeys({0, 60, 120});
    Drag(W(), X(120), KeyRow, X(3), KeyRow);
    ASSERT_EQ(show->pictures[0].keyCount, 2);
    EXPECT_EQ(Times(1), 60);
    EXPECT_FLOAT_EQ(KeyX(1), 410.0f);  // the second key stays; the dragged third one is gone
    EXPECT_EQ(show->currentFrame, 3);

    // Dropped beyond the start's zone the key only moves (and is sorted into place).
    SetKeys({0, 60, 120});
    Drag(W(), X(120), KeyRow, X(30), KeyRow);
    ASSERT_EQ(show->pictures[0].keyCount, 3);
    EXPECT_EQ(Times(1), 30);
    EXPECT_FLOAT_EQ(KeyX(1), 420.0f);
    // One Undo puts the moved key back where it was.
    EXPECT_NE(Session().Undo(), 0u);
    EXPECT_EQ(Times(1), 60);
    EXPECT_EQ(Times(2), 120);
    EXPECT_FLOAT_EQ(KeyX(2), 420.0f);
}

TEST_F(Timeline, ShiftDragRipplesLaterKeysWithinTheShow) {
    show->length = 125;
    timeline->SetScaleForLength(show->length);
    SetKeys({0, 60, 100, 120});
    headless::KeyDown(VK_SHIFT);
    Drag(W(), X(60), KeyRow, X(70), KeyRow);
    headless::KeyUp(VK_SHIFT);
    kvtest::DrainQueue();
    ASSERT_EQ(show->pictures[0].keyCount, 4);
    EXPECT_EQ(Times(1), 70);
    EXPECT_EQ(Times(2), 110);
    EXPECT_EQ(Times(3), 125);  // 130 would pass the show's end
    for (int i = 0; i < 4; ++i) EXPECT_LE(Times(i), show->length);
    // The ripple is one step: one Undo puts every key back, Redo moves them again.
    EXPECT_EQ(Session().UndoSteps(), 1u);
    ASSERT_NE(Session().Undo(), 0u);
    EXPECT_EQ(Times(1), 60);
    EXPECT_EQ(Times(2), 100);
    EXPECT_EQ(Times(3), 120);
    ASSERT_NE(Session().Redo(), 0u);
    EXPECT_EQ(Times(2), 110);
    EXPECT_EQ(Times(3), 125);
    // Without Shift only the dragged key moves.
    Drag(W(), X(70), KeyRow, X(80), KeyRow);
    EXPECT_EQ(Times(1), 80);
    EXPECT_EQ(Times(2), 110);
}

TEST_F(Timeline, RightClickAndCancelLeavesTheKeyAndNoStep) {
    SetKeys({0, 60});
    Session().GoToFrame(20, false);
    const KeyFrame before = show->pictures[0].keys[1];
    headless::Script([] { headless::Key(VK_ESCAPE); });
    SendMessage(W(), WM_RBUTTONDOWN, 0, MAKELPARAM(X(60), KeyRow));
    kvtest::DrainQueue();
    // A cancelled dialog changed nothing, so there is nothing to take back.
    EXPECT_FALSE(Session().CanUndo());
    EXPECT_EQ(show->currentFrame, 60);
    EXPECT_TRUE(show->pictures[0].keys[1] == before);
    // Enter keeps the key's values (whole numbers) and writes it back, as one step.
    show->pictures[0].keys[1].x = 410.6f;
    Session().GoToFrame(0, false);
    headless::Script([] { headless::Key(VK_RETURN); });
    SendMessage(W(), WM_RBUTTONDOWN, 0, MAKELPARAM(X(60), KeyRow));
    kvtest::DrainQueue();
    EXPECT_FLOAT_EQ(show->pictures[0].keys[1].x, 410.0f);
    EXPECT_TRUE(show->dirty);
    ASSERT_NE(Session().Undo(), 0u);
    EXPECT_FLOAT_EQ(show->pictures[0].keys[1].x, 410.6f);
    EXPECT_EQ(show->currentFrame, 60);  // Undo stays at the key's frame
    EXPECT_FALSE(Session().CanUndo());
    // Outside the key row a right click does nothing.
    SendMessage(W(), WM_RBUTTONDOWN, 0, MAKELPARAM(X(60), 40));
    EXPECT_FALSE(Session().CanUndo());
}

TEST_F(Timeline, KeyFrameOptionsEaseCodes) {
    // The dialog at the stage's top-left corner; rows as the option dialogs lay them out.
    const POINT at = ClientToScreen(stage->hwnd, POINT{0, 0});
    OptionText items[11] = {};
    const char* labels[11] = {"Horizontal Position",
                              "Vertical Position",
                              "Width",
                              "Rotation",
                              "@REases|Use Default",
                              "@RIn & Out",
                              "@RIn",
                              "@ROut",
                              "@RNone",
                              "@SEase Speed",
                              "@CNo Curves"};
    for (int i = 0; i < 11; ++i) std::strcpy(items[i], labels[i]);
    const int w = OptionDialogLabelWidth(11, items);
    auto rowY = [](int r) { return 36 + 20 * r + 8; };
    auto click = [&](int x, int y) {
        HWND h = stage->hwnd;
        headless::Script([h, x, y] { headless::ClientClick(h, x, y); });
    };

    // "Out" with speed 5 and "No Curves": the code survives the dialog with the speed made even.
    KeyFrame k{};
    k.easeCode = 3005.0f;
    const std::string shot = Shot("keyframe_options.png");
    HWND st = stage->hwnd;
    headless::Script([st, shot] {
        headless::Screenshot(st, shot);
        headless::Key(VK_RETURN);
    });
    ASSERT_TRUE(RunKeyFrameOptions(stage->hwnd, k, false, at.x, at.y));
    EXPECT_FLOAT_EQ(k.easeCode, 3005.0f);  // 3000 + (5 AND 254 = 4) + 1

    // "In" chosen and "No Curves" cleared: 2000 + 4.
    click(w + 24, rowY(6));
    click(w + 24, rowY(10));
    click(16 + 2 * w - 30, rowY(11));  // OK
    ASSERT_TRUE(RunKeyFrameOptions(stage->hwnd, k, false, at.x, at.y));
    EXPECT_FLOAT_EQ(k.easeCode, 2004.0f);

    // "Use Default" keeps a non-zero code when a speed is left.
    click(w + 24, rowY(4));
    click(16 + 2 * w - 30, rowY(11));
    ASSERT_TRUE(RunKeyFrameOptions(stage->hwnd, k, false, at.x, at.y));
    EXPECT_FLOAT_EQ(k.easeCode, 4.0f);

    // A code above the last kind still opens on "None".
    k.easeCode = 7000.0f;
    headless::Script([] { headless::Key(VK_RETURN); });
    ASSERT_TRUE(RunKeyFrameOptions(stage->hwnd, k, false, at.x, at.y));
    EXPECT_FLOAT_EQ(k.easeCode, 4000.0f);
    // The four-item form from the stage leaves the code alone.
    headless::Script([] { headless::Key(VK_RETURN); });
    ASSERT_TRUE(RunKeyFrameOptions(stage->hwnd, k, true, at.x, at.y));
    EXPECT_FLOAT_EQ(k.easeCode, 4000.0f);
}

TEST_F(Timeline, ZoomRulesAndTheScaleForTheLength) {
    timeline->scale = 20;
    timeline->Enlarge();
    EXPECT_EQ(timeline->scale, 30);  // 40 lowered to a multiple of one second
    timeline->scale = 20;
    timeline->Contract();
    EXPECT_EQ(timeline->scale, 10);
    timeline->scale = 30;
    const int contract[] = {15, 5, 5};
    for (int want : contract) {
        timeline->Contract();
        EXPECT_EQ(timeline->scale, want);
    }
    for (int i = 0; i < 12; ++i) timeline->Enlarge();
    EXPECT_EQ(timeline->scale, 64 * 30);
    EXPECT_EQ(timeline->stripWidth, timeline->StripX(show->length));

    // Stand-alone the scale stays; started by the host it follows the length.
    timeline->scale = 20;
    timeline->SetScaleForLength(60);
    EXPECT_EQ(timeline->scale, 20);
    show->hostMode = true;
    timeline->SetScaleForLength(89);
    EXPECT_EQ(timeline->scale, 5);
    timeline->SetScaleForLength(90);
    EXPECT_EQ(timeline->scale, 10);
    timeline->SetScaleForLength(239);
    EXPECT_EQ(timeline->scale, 10);
    timeline->SetScaleForLength(240);
    EXPECT_EQ(timeline->scale, 30);
}

TEST_F(Timeline, PlacementInBothModes) {
    const int s = CPWnd::HScrollBarHeight();
    Rect r = timeline->GetWindowRect();
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.right, 120 + timeline->stripWidth - 1);
    EXPECT_EQ(r.bottom, 768 - s);
    EXPECT_EQ(r.top, 768 - s - 84 - s);
    show->hostMode = true;
    show->length = 8990;
    timeline->SetScaleForLength(show->length);
    r = timeline->GetWindowRect();
    const int w = 1024 - 2 * s;
    EXPECT_EQ(r.right, 1024 - s);
    EXPECT_EQ(r.right - r.left, w - w / 8);
    // The main window moved: the timeline follows.
    main.MoveTo(0, 0, 800, 600, true);
    PostWindowMessage(W(), WM_SIZE, 0, 0);
    kvtest::DrainQueue();
    r = timeline->GetWindowRect();
    EXPECT_EQ(r.right, 800 - s);
    EXPECT_EQ(r.bottom, 600 - s);
}

TEST_F(Timeline, RulerStripeAndKeyCellPixels) {
    SetKeys({0, 60, 150, 151});
    Session().GoToFrame(0, true);
    const Rect c = timeline->GetClientRect();
    // Light stripe from x 4, dark from 64 to 123, on both ruler bands.
    EXPECT_EQ(headless::Pixel(W(), 40, 5), RGB(192, 192, 192));
    EXPECT_EQ(headless::Pixel(W(), 64, 5), RGB(128, 128, 128));
    EXPECT_EQ(headless::Pixel(W(), 123, 5), RGB(128, 128, 128));
    EXPECT_EQ(headless::Pixel(W(), 70, c.bottom - 1), RGB(128, 128, 128));
    // The dark stripe's timecode ("00:01:00", frame 30) is white in its lower part, centred at
    // the stripe's middle; the light stripe has none.
    auto bright = [](COLORREF p) {
        return GetRValue(p) > 220 && GetGValue(p) > 220 && GetBValue(p) > 220;
    };
    int whiteDark = 0, whiteLight = 0, leftHalf = 0;
    for (int y = c.bottom - 12; y < c.bottom; ++y)
        for (int x = 0; x < 60; ++x) {
            whiteDark += bright(headless::Pixel(W(), 64 + x, y));
            leftHalf += x < 30 && bright(headless::Pixel(W(), 64 + x, y));
            whiteLight += bright(headless::Pixel(W(), 124 + x, y));
        }
    EXPECT_GT(whiteDark, 25);
    EXPECT_GT(leftHalf, whiteDark / 3);
    EXPECT_LT(leftHalf, 2 * whiteDark / 3);
    EXPECT_EQ(whiteLight, 0);
    EXPECT_EQ(FramesToTimecode(30, 2997, false), "00:01:00");
    // The current key (frame 0, the picture's start) and a normal key, 6 pixels left of its x.
    ExpectBitmapAt(W(), BmpKeyCurrent, 4, 14);
    ExpectBitmapAt(W(), BmpKey, 124 - 6, 14);
    EXPECT_EQ(show->selectedKey, 0);
    // Keys 150 and 151 start their cells 2 pixels apart: the red overlap mark.
    EXPECT_EQ(headless::Pixel(W(), 305, 11), RGB(255, 0, 0));
    EXPECT_NE(headless::Pixel(W(), 125, 11), RGB(255, 0, 0));
    // Current at 60: that key is drawn as the current one and becomes the selected key.
    Session().GoToFrame(60, true);
    ExpectBitmapAt(W(), BmpKey, 4, 14);
    ExpectBitmapAt(W(), BmpKeyCurrent, 124 - 6, 14);
    EXPECT_EQ(show->selectedKey, 1);
    headless::Screenshot(W(), Shot("timeline_keys.png"));
}

TEST_F(Timeline, HoldBetweenEqualKeys) {
    SetKeys({0, 150});
    show->pictures[0].keys[1].x = show->pictures[0].keys[0].x;  // the same camera: a hold
    timeline->Redraw();
    const int mid = (14 + 30) / 2;
    EXPECT_EQ(headless::Pixel(W(), X(150) - 9, mid), RGB(0, 0, 0));
    show->pictures[0].keys[1].x += 1.0f;
    timeline->Redraw();
    EXPECT_EQ(headless::Pixel(W(), X(150) - 9, mid), RGB(0, 255, 255));
}

TEST_F(Timeline, AStoredScaleOfZeroFallsBackToOneSecond) {
    TheSettings().WriteInt("TimeScale", 0);
    CTime other(Session());
    ASSERT_TRUE(other.Create(main.hwnd));
    EXPECT_EQ(other.scale, 30);
    EXPECT_EQ(other.StripX(30), 64);
}
