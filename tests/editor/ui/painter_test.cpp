// Painter: its saver puts back pen, brush, font and clip; its clip narrows drawing; a painter with
// no context draws nothing; window and owner painters give their contexts back.
#include <gtest/gtest.h>

#include "editor/ui/toolkit/painter.h"
#include "tests/editor/ui/ui_test_support.h"
#include "tests/test_support.h"

using namespace kv;
using kvtest::Pane;

namespace {

const COLORREF White = RGB(255, 255, 255), Black = RGB(0, 0, 0), Red = RGB(255, 0, 0);

class PainterTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartUi();
        kvtest::DrainQueue();
        ASSERT_TRUE(pane.Open(0, 0, 200, 100));
    }
    void TearDown() override {
        pane.DestroyWin();
        kvtest::DrainQueue();
    }
    Pane pane;
};

}  // namespace

TEST_F(PainterTest, SavedPutsBackPenBrushFontAndClip) {
    Painter p(pane);
    ASSERT_TRUE(p);
    HDC dc = p.Dc();
    HPEN pen = CreatePen(PS_SOLID, 1, Red);
    HBRUSH brush = CreateSolidBrush(Red);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Rect before{};
    ASSERT_TRUE(GetClipBox(dc, &before));
    {
        Painter::Saved outer(p);
        p.UseFont(Fonts().f20);
        SelectObject(dc, GetStockObject(NULL_PEN));
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        p.ClipTo(Rect{10, 10, 50, 50});
        {
            Painter::Saved inner(p);
            p.ClipTo(Rect{20, 20, 100, 100});
            Rect clip{};
            GetClipBox(dc, &clip);
            EXPECT_EQ(clip.left, 20);
            EXPECT_EQ(clip.right, 50);  // narrowed, never widened
            EXPECT_EQ(clip.bottom, 50);
        }
        Rect clip{};
        GetClipBox(dc, &clip);
        EXPECT_EQ(clip.left, 10);
        EXPECT_EQ(clip.top, 10);
        EXPECT_EQ(dc->font, Fonts().f20);
    }
    Rect after{};
    GetClipBox(dc, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
    EXPECT_EQ(dc->pen, pen);
    EXPECT_EQ(dc->brush, brush);
    EXPECT_NE(dc->font, Fonts().f20);
    // UseFont(nullptr) after the saver goes back to the font the saver found, not to one replaced
    // inside its scope.
    p.UseFont(nullptr);
    EXPECT_NE(dc->font, Fonts().f20);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST_F(PainterTest, ClipToKeepsDrawingInsideTheBox) {
    Painter p(pane);
    {
        Painter::Saved saved(p);
        p.ClipTo(Rect{20, 20, 40, 40});
        p.FillBox(Black, Rect{0, 0, 200, 100});
    }
    EXPECT_EQ(GetPixel(p.Dc(), 19, 30), White);
    EXPECT_EQ(GetPixel(p.Dc(), 20, 20), Black);
    EXPECT_EQ(GetPixel(p.Dc(), 39, 39), Black);
    EXPECT_EQ(GetPixel(p.Dc(), 40, 39), White);
    // The clip is back: the whole client area takes ink again.
    p.FillBox(Red, Rect{0, 0, 200, 100});
    EXPECT_EQ(GetPixel(p.Dc(), 5, 5), Red);
    EXPECT_EQ(GetPixel(p.Dc(), 199, 99), Red);
}

TEST_F(PainterTest, WithoutAContextNothingIsDrawnAndNothingLeaks) {
    int objects = GdiObjectCount();
    Painter none(static_cast<HDC>(nullptr));
    EXPECT_FALSE(none);
    none.FillBox(Black, Rect{0, 0, 10, 10});
    none.FrameBox(Black, Rect{0, 0, 10, 10});
    none.DrawSliderBar(White, Black, Rect{0, 0, 50, 10}, 50, 100, false);
    none.UseFont(Fonts().f10);
    EXPECT_EQ(none.StringWidth("text"), 0);
    EXPECT_FALSE(none.BlitResourceBitmap(0, 0, 1));
    { Painter::Saved saved(none); }
    EXPECT_EQ(GdiObjectCount(), objects);

    Pane closed;
    Painter onClosed(closed);  // a window that was never created
    EXPECT_FALSE(onClosed);
}

TEST_F(PainterTest, OwnerPainterDrawsOnTheWindowByItsHandle) {
    {
        OwnerPainter p(pane.hwnd);
        ASSERT_TRUE(p);
        p.FillBox(Red, Rect{0, 0, 10, 10});
    }
    Painter check(pane);
    EXPECT_EQ(GetPixel(check.Dc(), 5, 5), Red);
    EXPECT_EQ(GetPixel(check.Dc(), 15, 5), White);
}
