// RunOptionDialog and ChooseColour driven by clicks and keys on a stage-like pane, as a user
// would; screenshots of the Prep Pictures dialog and the colour chooser go to the build folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/show/show.h"
#include "editor/ui/option_commands.h"
#include "editor/ui/toolkit/option_dialog.h"
#include "tests/editor/ui/ui_test_support.h"
#include "tests/test_support.h"

using namespace kv;
using kvtest::Pane;

namespace {

constexpr int X = 50, Y = 50;

class OptionDialog : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartUi();
        kvtest::DrainQueue();
        ASSERT_TRUE(stage.Open(0, 0, 800, 600));
    }
    void TearDown() override {
        stage.DestroyWin();
        kvtest::DrainQueue();
    }
    void Load(std::initializer_list<std::pair<const char*, const char*>> rows) {
        n = 0;
        for (auto& r : rows) {
            std::strcpy(items[n], r.first);
            std::strcpy(values[n], r.second);
            ++n;
        }
        W = OptionDialogLabelWidth(n, items);
    }
    int RowY(int r) const { return Y + 36 + 20 * r + 8; }
    int FieldX() const { return X + W + 24; }
    int PanelRight() const { return X + 16 + 2 * W; }
    void Click(int x, int y) {
        HWND h = stage.hwnd;
        headless::Script([h, x, y] { headless::ClientClick(h, x, y); });
    }
    void Press(int vk) {
        headless::Script([vk] { headless::Key(vk); });
    }
    int Run(int count, const char* title = "Options") {
        int r = RunOptionDialog(stage.hwnd, X, Y, count, items, values, title);
        EXPECT_EQ(headless::PendingSteps(), 0u) << "the dialog ended before its script did";
        return r;
    }

    Pane stage;
    OptionText items[16] = {};
    OptionText values[16] = {};
    int n = 0;
    int W = 0;
};

}  // namespace

TEST_F(OptionDialog, RadiosFormOneGroupAndChecksToggle) {
    Load({{"@RGroup Caption|First choice", "1"},
          {"@RSecond", ""},
          {"@RThird", ""},
          {"@CCheck me", ""},
          {"@CAnother", "1"}});
    Click(FieldX(), RowY(1));
    Click(FieldX(), RowY(3));
    Click(FieldX(), RowY(3));
    Click(FieldX(), RowY(4));
    Click(PanelRight() - 30, RowY(n));  // OK
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[0], "");
    EXPECT_STREQ(values[1], "1");
    EXPECT_STREQ(values[2], "");
    EXPECT_STREQ(values[3], "");
    EXPECT_STREQ(values[4], "");
    // Labels are not hot: a click left of the fields changes nothing.
    Click(X + 10, RowY(1));
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[1], "1");
}

TEST_F(OptionDialog, SlidersStoreZeroAtTheLeftEndAndHundredAtTheRightAndFollowDrags) {
    Load({{"@SBorder Size %", "37"}, {"@SContrast", "50"}, {"@CA longer label for width", ""}});
    Click(X + W + 16, RowY(0));
    Click(PanelRight() - 1, RowY(1));
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[0], "0");
    EXPECT_STREQ(values[1], "100");
    // A drag: press at the left end, move halfway over the other slider's row, release.
    HWND h = stage.hwnd;
    int half = X + W + 16 + (W - 34) / 2;
    int w = W;
    headless::Script([h, w] { headless::ClientDown(h, X + w + 16, Y + 36 + 8); });
    headless::Script([h, half] { headless::ClientMove(h, half, Y + 36 + 20 + 8); });
    headless::Script([h, half] { headless::ClientUp(h, half, Y + 36 + 20 + 8); });
    headless::Script([h] { headless::ClientMove(h, X + 20, Y + 36 + 20 + 8); });  // no drag now
    Press(VK_ESCAPE);
    EXPECT_EQ(Run(n), OptionCancel);
    EXPECT_STREQ(values[0], "0");
    int v = std::atoi(values[1]);
    EXPECT_GE(v, 48);
    EXPECT_LE(v, 51);
}

TEST_F(OptionDialog, EscapeEnterOutsideClicksAndOtherWindowsEndTheDialog) {
    Load({{"@CVideo Safe Color", ""}, {"@CPre-Blur", ""}});
    Press(VK_ESCAPE);
    EXPECT_EQ(Run(n), OptionCancel);
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    Click(PanelRight() + 3, RowY(0));
    EXPECT_EQ(Run(n), OptionCancel);
    Click(PanelRight() - 30, RowY(n + 1));  // Cancel
    EXPECT_EQ(Run(n), OptionCancel);
    HWND other = kvtest::MakeWindow(900, 0, 50, 50);
    headless::Script([other] { headless::ClientClick(other, 5, 5); });
    EXPECT_EQ(Run(n), OptionCancel);
    DestroyWindow(other);
    // A right-button click is ignored.
    HWND h = stage.hwnd;
    int fx = FieldX(), ry = RowY(0);
    headless::Script([h, fx, ry] { headless::ClientClick(h, fx, ry, 2); });
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[0], "");
}

TEST_F(OptionDialog, TextFieldKeepsTheKeyboardAndItsTextOnAClickElsewhere) {
    Load({{"Specify aspect ratio here", "0.7500"}, {"@CSpecial", ""}});
    Click(FieldX(), RowY(0));
    headless::Script([this] {
        // The field is open over the row, a child of the stage holding the value, all selected.
        HWND field = GetFocus();
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(GetParent(field), stage.hwnd);
        EXPECT_EQ(GetDlgCtrlID(field), 123456);
        EXPECT_EQ(GetWindowText(field), "0.7500");
        headless::Type("1.25");
    });
    Press(VK_ESCAPE);  // the field has the keyboard: the dialog stays
    Press(VK_RETURN);  // likewise
    Click(FieldX(), RowY(1));
    headless::Script([this] { EXPECT_EQ(GetFocus(), stage.hwnd); });
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[0], "1.25");
    EXPECT_STREQ(values[1], "1");
    // Leaving while the field is open also stores its text; it is cut to 63 characters.
    Click(FieldX(), RowY(0));
    headless::Script([] { headless::Type(std::string(80, '7')); });
    HWND other = kvtest::MakeWindow(900, 0, 50, 50);
    headless::Script([other] { headless::ClientClick(other, 5, 5); });
    EXPECT_EQ(Run(n), OptionCancel);
    EXPECT_EQ(std::string(values[0]), std::string(63, '7'));
    DestroyWindow(other);
}

TEST_F(OptionDialog, QuickSecondClicksStillCountAndNarrowSlidersStayInRange) {
    // The stage's class takes double clicks; a quick second press must still toggle.
    Load({{"@CVideo Safe Color", ""}, {"@SZ", "5"}});
    SetDoubleClickTime(500);
    Click(FieldX(), RowY(0));
    Click(FieldX(), RowY(0));
    Click(FieldX(), RowY(0));
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    SetDoubleClickTime(0);
    EXPECT_STREQ(values[0], "1");
    // "@SZ" alone is narrower than the 34 pixels the slider formula takes off.
    Load({{"@SZ", "5"}});
    ASSERT_LT(W, 34);
    Click(X + W + 16, RowY(0));
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[0], "0");
    Click(PanelRight(), RowY(0));
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[0], "100");
}

TEST_F(OptionDialog, ApplyButtonGivesTwo) {
    Load({{"@CIgnore Alpha Channel", ""}, {"@CVideo Safe Color", ""}});
    Click(X + 20, RowY(n));
    EXPECT_EQ(Run(-n), OptionApply);
    Click(PanelRight() - 20, RowY(n));
    EXPECT_EQ(Run(-n), OptionOk);
    // Without Apply the same place is OK.
    Click(X + 20, RowY(n));
    EXPECT_EQ(Run(n), OptionOk);
}

TEST_F(OptionDialog, ColourAndFolderItemsOpenTheirSubDialogs) {
    Load({{"@LBorder/Tint Color", "255"}, {"@FAlternative Image Folder", "/old/"}});
    const int cx = X + 115;
    Click(FieldX(), RowY(0));
    Click(cx, Y + 22 + 18 * 7 + 5);  // grey bar: (0 + 100) * 128 / 100 = 128
    Click(cx + 75, Y + 210);         // the chooser's OK
    headless::QueueFileAnswer({"/pics/holiday/a.bmp"});
    Click(FieldX(), RowY(1));
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[0], "8421504");
    EXPECT_STREQ(values[1], "/pics/holiday/");
    EXPECT_STREQ(OptionFolderSpec().path, "/pics/holiday/a.bmp");
    // A cancelled folder dialog leaves the value.
    headless::QueueFileCancel();
    Click(FieldX(), RowY(1));
    Press(VK_RETURN);
    EXPECT_EQ(Run(n), OptionOk);
    EXPECT_STREQ(values[1], "/pics/holiday/");
}

TEST_F(OptionDialog, PrepPicturesScreenshotShowsTheLaidOutDialog) {
    Show show;
    OptionRows rows;
    FillPrepRows(show, rows);
    std::memcpy(items, rows.items, sizeof rows.items);
    std::memcpy(values, rows.values, sizeof rows.values);
    W = OptionDialogLabelWidth(9, items);
    std::string png = std::string(KV_UI_BUILD_DIR) + "/prep_pictures_dialog.png";
    HWND h = stage.hwnd;
    COLORREF panel = 0, title = 0, okFrame = 0;
    int pr = PanelRight(), w = W;
    headless::Script([&, h, pr, w] {
        EXPECT_TRUE(headless::Screenshot(h, png));
        panel = headless::Pixel(h, X + 4, Y + 40);
        title = headless::Pixel(h, X + w, Y + 20);
        okFrame = headless::Pixel(h, pr - 38, Y + 36 + 20 * 9);
    });
    Press(VK_ESCAPE);
    EXPECT_EQ(RunOptionDialog(stage.hwnd, X, Y, -9, items, values, "Prep Pictures"), OptionCancel);
    EXPECT_EQ(panel, RGB(192, 192, 192));
    EXPECT_EQ(title, RGB(0, 0, 0));
    EXPECT_EQ(okFrame, RGB(0, 0, 0));
    EXPECT_GT(kvtest::ReadFileBytes(png).size(), 100u);
}

// --- Colour chooser ------------------------------------------------------------------------------
namespace {

class Chooser : public OptionDialog {
protected:
    const int cx = X + 115;
    int RowMid(int row) const { return Y + 22 + 18 * row + 5; }
};

}  // namespace

TEST_F(Chooser, CancelRestoresEscapeKeepsAndOkTakesTheChosenColour) {
    COLORREF c = RGB(10, 20, 30);
    Click(cx, RowMid(7));
    Click(cx, Y + 210);  // Cancel
    EXPECT_FALSE(ChooseColour(stage.hwnd, X, Y, &c, nullptr, "Choose Color"));
    EXPECT_EQ(c, RGB(10, 20, 30));
    Click(cx, RowMid(7));
    Press(VK_ESCAPE);
    EXPECT_FALSE(ChooseColour(stage.hwnd, X, Y, &c, nullptr, "Choose Color"));
    EXPECT_EQ(c, RGB(128, 128, 128));
    Click(cx, RowMid(8));  // hue bar: hue (100 * 12 / 10) = 120 at full saturation
    Click(cx + 75, Y + 210);
    EXPECT_TRUE(ChooseColour(stage.hwnd, X, Y, &c, nullptr, "Choose Color"));
    EXPECT_EQ(c, RGB(0, 255, 255));
    Click(X + 240, Y + 100);  // a release outside the panel
    EXPECT_FALSE(ChooseColour(stage.hwnd, X, Y, &c, nullptr, "Choose Color"));
    EXPECT_EQ(c, RGB(0, 255, 255));
    // The panel area is cleared to light grey at the end.
    EXPECT_EQ(headless::Pixel(stage.hwnd, X + 100, Y + 100), RGB(192, 192, 192));
}

TEST_F(Chooser, RgbModeDragsSetChannelsAndTheModeIsRemembered) {
    SetColourChooserMode(1);
    COLORREF c = RGB(0, 0, 0);
    HWND h = stage.hwnd;
    int x0 = cx;
    Click(cx + 10, RowMid(4));  // the RGB radio
    headless::Script([h, x0, this] { headless::ClientDown(h, x0, RowMid(1)); });
    headless::Script([h, x0, this] { headless::ClientMove(h, x0 + 70, RowMid(1)); });  // 200
    headless::Script([h, x0, this] { headless::ClientUp(h, x0 + 70, RowMid(1)); });
    headless::Script([h, x0, this] { headless::ClientDown(h, x0, RowMid(3)); });
    headless::Script(
        [h, x0, this] { headless::ClientMove(h, x0 + 100, RowMid(3)); });  // 285 -> 255
    headless::Script([h, x0, this] { headless::ClientUp(h, x0 + 100, RowMid(3)); });
    Click(cx + 75, Y + 210);
    EXPECT_TRUE(ChooseColour(stage.hwnd, X, Y, &c, nullptr, "Choose Color"));
    EXPECT_EQ(c, RGB(200, 0, 255));
    EXPECT_EQ(ColourChooserMode(), 0);
    // The texture radio without a texture falls back to HLS.
    Click(cx + 10, RowMid(6));
    Press(VK_ESCAPE);
    ChooseColour(stage.hwnd, X, Y, &c, nullptr, "Choose Color");
    EXPECT_EQ(ColourChooserMode(), 1);
}

TEST_F(Chooser, ScreenshotOfTheChooser) {
    SetColourChooserMode(1);
    COLORREF c = RGB(200, 60, 40);
    std::string png = std::string(KV_UI_BUILD_DIR) + "/colour_chooser.png";
    HWND h = stage.hwnd;
    COLORREF swatch = 0;
    headless::Script([&, h] {
        EXPECT_TRUE(headless::Screenshot(h, png));
        swatch = headless::Pixel(h, cx - 24, Y + 40 + 70);
    });
    Press(VK_ESCAPE);
    ChooseColour(stage.hwnd, X, Y, &c, nullptr, "Choose Color");
    EXPECT_EQ(swatch, RGB(200, 60, 40));
    EXPECT_GT(kvtest::ReadFileBytes(png).size(), 100u);
}

TEST(ColourConversions, HlsMatchesTheTintTreatmentsIntegerArithmetic) {
    HlsColour red = ColourToHls(RGB(255, 0, 0));
    EXPECT_EQ(red.h, 0);
    EXPECT_EQ(red.l, 120);
    EXPECT_EQ(red.s, 240);
    EXPECT_EQ(HlsToColour(0, 120, 240), RGB(255, 0, 0));
    EXPECT_EQ(HlsToColour(80, 120, 240), RGB(0, 255, 0));
    EXPECT_EQ(HlsToColour(160, 120, 240), RGB(0, 0, 255));
    HlsColour grey = ColourToHls(RGB(128, 128, 128));
    EXPECT_EQ(grey.s, 0);
    EXPECT_EQ(grey.l, 120);  // (256 * 240 + 255) / 510
    EXPECT_EQ(HlsToColour(0, 240, 0), RGB(255, 255, 255));
    int worst = 0;
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 15)
            for (int b = 0; b < 256; b += 15) {
                HlsColour h = ColourToHls(RGB(r, g, b));
                COLORREF back = HlsToColour(h.h, h.l, h.s);
                worst = std::max({worst, std::abs(GetRValue(back) - r),
                                  std::abs(GetGValue(back) - g), std::abs(GetBValue(back) - b)});
            }
    EXPECT_LE(worst, 8);
}
