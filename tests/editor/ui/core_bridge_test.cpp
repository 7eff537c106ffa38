// The bridge between the core and the window layer: alerts become message boxes, and the core's
// images draw through the layer's StretchDIBits.
#include "editor/ui/toolkit/core_bridge.h"

#include <gtest/gtest.h>

#include "core/picture/alert.h"
#include "core/picture/cdib.h"
#include "platform/win/headless/headless.h"
#include "platform/win/win.h"
#include "tests/editor/ui/ui_test_support.h"
#include "tests/platform/win/canvas.h"

using namespace kv;

using kvtest::Canvas;

TEST(CoreBridge, AlertsBecomeMessageBoxesAnsweredByTheScript) {
    kvtest::StartUi();
    AlertSink* before = SetAlertSink(nullptr);
    InstallAlertMessageBoxes();
    headless::ClearMessageBoxTexts();
    headless::QueueMessageBoxAnswer(IDYES);
    EXPECT_TRUE(AskYesNo("Save changes?", "Kinevista"));
    EXPECT_FALSE(AskYesNo("Again?", "Kinevista"));  // no answer queued: No
    headless::QueueMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(AskYesNoCancel("Quit?", "Q"), -1);
    headless::QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(AskYesNoCancel("Quit?", "Q"), 0);
    Alert("Disk full", 28);
    auto texts = headless::MessageBoxTexts();
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0], "Kinevista: Save changes?");
    EXPECT_EQ(texts[4], "Disk full  [ 28 ]");
    SetAlertSink(before);
}

TEST(CoreBridge, CoreImagesDrawThroughTheLayer) {
    InstallImageDrawing();
    CDIB image(4, 2, 24);
    // Bottom-up: row 0 is the bottom row.
    for (int x = 0; x < 4; ++x) {
        uint8_t* bottom = image.Row(0) + 3 * x;
        uint8_t* top = image.Row(1) + 3 * x;
        bottom[0] = 0, bottom[1] = 0, bottom[2] = static_cast<uint8_t>(60 * x);  // reds
        top[0] = static_cast<uint8_t>(60 * x), top[1] = 0, top[2] = 0;           // blues
    }
    Canvas c(8, 4);
    image.Draw(Rect{0, 0, 8, 4}, c.dc);
    EXPECT_EQ(GetPixel(c.dc, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 7, 0), RGB(0, 0, 180));
    EXPECT_EQ(GetPixel(c.dc, 7, 3), RGB(180, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 2, 2), RGB(60, 0, 0));
    // A part: the two right columns of the picture, drawn at their own size.
    Canvas p(2, 2);
    image.DrawPart(Rect{0, 0, 2, 2}, Rect{2, 0, 4, 2}, p.dc);
    EXPECT_EQ(GetPixel(p.dc, 1, 0), RGB(0, 0, 180));
    EXPECT_EQ(GetPixel(p.dc, 0, 1), RGB(120, 0, 0));
}
