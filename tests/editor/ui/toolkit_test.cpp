// The toolkit: window registry and routing, menus, primitives and widgets by their pixels,
// dialogs and file records, cursors, buttons and resources.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/picture/placeholder.h"
#include "editor/resources/resources.h"
#include "platform/win/internal.h"
#include "tests/editor/ui/ui_test_support.h"
#include "tests/test_support.h"

using namespace kv;
using kvtest::Pane;

namespace {

class Toolkit : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartUi();
        kvtest::DrainQueue();
        ASSERT_TRUE(pane.Open(0, 0, 400, 300));
        painter = std::make_unique<Painter>(pane);
        dc = painter->Dc();
    }
    void TearDown() override {
        painter.reset();
        pane.DestroyWin();
        kvtest::DrainQueue();
    }
    COLORREF At(int x, int y) { return GetPixel(dc, x, y); }
    Pane pane;
    std::unique_ptr<Painter> painter;
    HDC dc = nullptr;
};

const COLORREF White = RGB(255, 255, 255), Black = RGB(0, 0, 0);

}  // namespace

TEST_F(Toolkit, TheRegistryHolds256WindowsAndTheMainLoopDropsTheRest) {
    int before = RegisteredWindowCount();  // the fixture's pane
    std::vector<std::unique_ptr<Pane>> panes;
    for (int i = before; i < MaxRegisteredWindows + 1; ++i) {
        panes.push_back(std::make_unique<Pane>());
        Pane::current = panes.back().get();
        ASSERT_TRUE(panes.back()->CreateWin(nullptr, WinPopup, &Pane::Proc)) << i;
    }
    EXPECT_EQ(RegisteredWindowCount(), MaxRegisteredWindows);
    Pane& last = *panes.back();
    EXPECT_FALSE(IsWindowRegistered(last.hwnd));
    EXPECT_TRUE(IsWindowRegistered(panes.front()->hwnd));
    // Each window got a class of its own.
    EXPECT_STRNE(panes[0]->className, panes[1]->className);
    EXPECT_EQ(std::strncmp(panes[0]->className, "Win", 3), 0);
    PostWindowMessage(last.hwnd, WM_USER, 0, 0);
    PostWindowMessage(panes.front()->hwnd, WM_USER, 0, 0);
    Pane::current = nullptr;
    MessageRecord m;
    int dispatched = 0, dropped = 0;
    while (PeekMessageRecord(&m)) {
        bool done = DispatchIfRegistered(m);
        if (m.message == WM_USER) (done ? dispatched : dropped)++;
    }
    EXPECT_EQ(dispatched, 1);
    EXPECT_EQ(dropped, 1);
    // Unregistering closes the gap; the count falls back as windows go.
    HWND second = panes[1]->hwnd;
    panes[0]->DestroyWin();
    EXPECT_TRUE(IsWindowRegistered(second));
    EXPECT_EQ(RegisteredWindowCount(), MaxRegisteredWindows - 1);
    panes.clear();
    EXPECT_EQ(RegisteredWindowCount(), before);
}

TEST_F(Toolkit, Flag0x200WindowsStayOutOfTheRegistry) {
    Pane p;
    Pane::current = &p;
    ASSERT_TRUE(p.CreateWin(nullptr, WinPopup | WinUnregistered, &Pane::Proc));
    EXPECT_FALSE(IsWindowRegistered(p.hwnd));
    EXPECT_EQ(GetWindowStyle(p.hwnd) & 0x22u, 0x22u);
    PostWindowMessage(p.hwnd, WM_USER + 5, 0, 0);
    MessageRecord m;
    while (PeekMessageRecord(&m)) DispatchIfRegistered(m);
    EXPECT_EQ(std::count(p.messages.begin(), p.messages.end(), WM_USER + 5u), 0);
    Pane::current = &pane;
}

TEST_F(Toolkit, RoutingExtendsParametersAndDefaultProcessingAlwaysFollows) {
    SendMessage(pane.hwnd, WM_USER, 0xFFFFFFFFull, 0xFFFFFFFF);
    EXPECT_EQ(pane.lastWParam, 0xFFFFFFFFull);
    EXPECT_EQ(pane.lastLParam, -1);
    // The pane "handles" WM_CLOSE, yet the default processing still destroys the window.
    Pane p;
    Pane::current = &p;
    ASSERT_TRUE(p.CreateWin(nullptr, WinPopup, &Pane::Proc));
    HWND h = p.hwnd;
    SendMessage(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_NE(std::find(p.messages.begin(), p.messages.end(), WM_DESTROY), p.messages.end());
    p.hwnd = nullptr;
    // DestroyWin sends the last messages to the base operations only.
    Pane q;
    Pane::current = &q;
    ASSERT_TRUE(q.CreateWin(nullptr, WinPopup, &Pane::Proc));
    q.DestroyWin();
    EXPECT_EQ(std::find(q.messages.begin(), q.messages.end(), WM_DESTROY), q.messages.end());
    Pane::current = &pane;
}

TEST_F(Toolkit, MenuTextsCarryTheirShortcutsAndStatesKeepTheText) {
    EXPECT_EQ(MenuBar::ItemText("Save Show/S"), "Save Show\tCtrl+S");
    EXPECT_EQ(MenuBar::ItemText("Enlarge Timeline/>"), "Enlarge Timeline\tCtrl+>");
    EXPECT_EQ(MenuBar::ItemText("Quit - DON'T Apply changes"), "Quit - DON'T Apply changes");
    MenuBar bar;
    bar.Attach(pane.hwnd);
    bar.AddPopup("File", 0);
    bar.AddItem(1001, "Load Show/L", 0);
    bar.AddItem(-1, "", 0);
    bar.AddItem(1002, "Draft", MenuChecked);
    bar.AddPopup("Help", 4);
    bar.AddItem(1003, "About", MenuGreyed);
    EXPECT_EQ(GetMenuString(bar.bar, 1001), "Load Show\tCtrl+L");
    EXPECT_EQ(GetMenuState(bar.bar, 1002), static_cast<int>(MF_CHECKED));
    EXPECT_EQ(GetMenuState(bar.bar, 1003), static_cast<int>(MF_GRAYED));
    EXPECT_EQ(GetMenuItemCount(bar.popup), 1);
    bar.SetItemState(1001, MenuChecked | MenuDisabled);
    EXPECT_EQ(GetMenuString(bar.bar, 1001), "Load Show\tCtrl+L");
    EXPECT_EQ(GetMenuState(bar.bar, 1001), static_cast<int>(MF_CHECKED | MF_DISABLED));
    bar.SetItemChecked(1002, false);
    EXPECT_EQ(GetMenuState(bar.bar, 1002), 0);
    EXPECT_EQ(pane.GetClientRect().bottom, 300 - CPWnd::MenuBarHeight());
}

TEST_F(Toolkit, SliderBarsWriteTheirNumbersBesideTheTrack) {
    EXPECT_EQ(SliderBarValue(100, 10), 9);
    EXPECT_EQ(SliderBarValue(100, 255), 255);
    EXPECT_EQ(SliderBarValue(50, 100), 50);
    EXPECT_EQ(SliderBarValue(0, 240), 0);
    painter->UseFont(Fonts().f10, -1, TRANSPARENT);
    struct Case {
        int percent, maximum;
        const char* text;
    } cases[] = {{100, 10, "9"}, {100, 255, "255"}, {50, 100, "50"}};
    int y = 20;
    for (const Case& c : cases) {
        Rect r{20, y, 120, y + 12};
        painter->DrawSliderBar(RGB(192, 192, 192), RGB(96, 96, 96), r, c.percent, c.maximum, false);
        // The same number drawn by hand on the same background, further right.
        int extra = painter->StringWidth("100") + 6;
        painter->FillBox(RGB(192, 192, 192), Rect{220, y, 320 + extra, y + 12});
        painter->DrawString(Black, c.text, 320 - 4 + 6, y - 2, TA_LEFT);
        int inked = 0;
        for (int yy = y; yy < y + 9; ++yy)
            for (int dx = 0; dx < extra; ++dx) {
                ASSERT_EQ(At(120 + dx, yy), At(320 + dx, yy))
                    << c.text << " at " << dx << "," << yy;
                inked += At(120 + dx, yy) != RGB(192, 192, 192);
            }
        EXPECT_GT(inked, 3) << c.text;
        y += 30;
    }
    // The marker sits over the track at the percent.
    painter->FillBox(White, Rect{0, 0, 400, 300});
    painter->DrawSliderBar(White, Black, Rect{10, 200, 110, 212}, 100, 100, true);
    // Track 14..106: the marker's centre is 14 + 1 + (92 - 3) * 100 / 100 = 104, its tip 3 below
    // y = 203.
    EXPECT_EQ(At(104, 206), Black);
    EXPECT_EQ(At(104, 207), White);
    EXPECT_EQ(At(101, 200), Black);
    EXPECT_EQ(At(50, 211), Black);  // the track
    EXPECT_EQ(At(50, 208), White);
    painter->UseFont(nullptr);
}

TEST_F(Toolkit, CheckAndRadioMarksAndTrianglesByTheirPixels) {
    painter->DrawCheckMark(White, Rect{10, 10, 22, 22}, true);
    EXPECT_EQ(At(10, 10), Black);
    EXPECT_EQ(At(21, 21), Black);
    EXPECT_EQ(At(12, 12), Black);  // the cross from the shrunk top-left corner
    EXPECT_EQ(At(19, 12), Black);  // the other stroke starts at (right - 1, top)
    EXPECT_EQ(At(12, 19), Black);
    EXPECT_EQ(At(15, 12), White);
    painter->DrawCheckMark(RGB(0, 255, 0), Rect{30, 10, 42, 22}, false);
    EXPECT_EQ(At(33, 13), RGB(0, 255, 0));

    painter->DrawRadioMark(Black, Rect{50, 10, 59, 19}, true);
    EXPECT_EQ(At(54, 14), Black);
    painter->DrawRadioMark(Black, Rect{70, 10, 79, 19}, false);
    EXPECT_EQ(At(74, 14), White);
    EXPECT_EQ(At(74, 10), Black);

    painter->FillTriangle(Black, 100, 100, 5, 0);  // points up
    EXPECT_EQ(At(100, 95), Black);
    EXPECT_EQ(At(96, 96), White);
    EXPECT_EQ(At(95, 105), Black);
    painter->FillTriangle(Black, 150, 100, 5, 90);  // points right
    EXPECT_EQ(At(155, 100), Black);
    EXPECT_EQ(At(155, 96), White);
    painter->FillTriangle(Black, 200, 100, 5, 270);  // points left
    EXPECT_EQ(At(195, 100), Black);
    EXPECT_EQ(At(195, 96), White);
}

TEST_F(Toolkit, BevelsAndXorShapesByTheirPixels) {
    painter->DrawBevel(RGB(255, 0, 0), RGB(0, 0, 255), Rect{10, 10, 30, 20}, 1);
    EXPECT_EQ(At(10, 15), RGB(255, 0, 0));
    EXPECT_EQ(At(20, 10), RGB(255, 0, 0));
    EXPECT_EQ(At(30, 15), RGB(0, 0, 255));
    EXPECT_EQ(At(20, 20), RGB(0, 0, 255));
    EXPECT_EQ(At(10, 20), RGB(0, 0, 255));  // the bottom edge runs to left - 1
    EXPECT_EQ(At(9, 20), White);

    for (int i = 0; i < 200; ++i) painter->FillBox(RGB(i, 255 - i, i / 2), Rect{i, 30, i + 1, 150});
    std::vector<COLORREF> before;
    for (int y = 30; y < 150; ++y)
        for (int x = 0; x < 200; ++x) before.push_back(At(x, y));
    POINT path[3] = {{5, 40}, {190, 140}, {190, 40}};
    auto shapes = [&] {
        painter->XorBox(Rect{20, 40, 120, 100}, 2, PS_SOLID);
        painter->XorOval(Rect{30, 50, 150, 140}, 1, PS_DOT);
        painter->XorLine(0, 35, 199, 149, 3, PS_SOLID);
        painter->XorPolyline(1, 3, path, PS_DASH);
    };
    shapes();
    EXPECT_EQ(At(20, 70), (~before[(70 - 30) * 200 + 20]) & 0xFFFFFF);
    shapes();
    size_t i = 0;
    for (int y = 30; y < 150; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(At(x, y), before[i++]) << x << "," << y;
    EXPECT_EQ(GetROP2(dc), R2_COPYPEN);
}

TEST_F(Toolkit, FontsAndStringWidths) {
    EXPECT_EQ(painter->StringWidth(""), 0);
    EXPECT_EQ(painter->StringWidth(nullptr), 0);
    painter->UseFont(Fonts().f10);
    int narrow = painter->StringWidth("Border Size %");
    painter->UseFont(nullptr);
    painter->UseFont(Fonts().f20);
    int wide = painter->StringWidth("Border Size %");
    painter->UseFont(nullptr);
    HFONT bold = MakeFont("Sans", 20, FontBold);
    painter->UseFont(bold);
    int heavy = painter->StringWidth("Border Size %");
    painter->UseFont(nullptr);
    DeleteObject(bold);
    EXPECT_GT(narrow, 30);
    EXPECT_GT(wide, narrow * 3 / 2);
    EXPECT_GT(heavy, wide);
    // Opaque background through UseFont.
    painter->UseFont(Fonts().f12, RGB(0, 255, 0), OPAQUE);
    painter->DrawString(Black, "x", 300, 250, TA_LEFT);
    EXPECT_EQ(At(300, 250), RGB(0, 255, 0));
    painter->UseFont(nullptr, -1, TRANSPARENT);
}

TEST_F(Toolkit, AskTextHandsBackTheEditedTextAlsoOnEscape) {
    char text[80] = "old";
    headless::Script([] { headless::Key(VK_END); });
    headless::Script([] { headless::Type("er"); });
    headless::Script([] { headless::Key(VK_ESCAPE); });
    EXPECT_TRUE(AskText(text, "Timecode", "Type Timecode", nullptr));
    EXPECT_STREQ(text, "older");
    std::string longText(100, 'a');
    char buf[80];
    headless::Script([] { headless::Key(VK_RETURN); });
    std::strcpy(buf, "");
    EXPECT_TRUE(AskText(buf, longText.c_str(), longText.c_str(), longText.c_str()));
    EXPECT_STREQ(buf, "");
}

TEST_F(Toolkit, FileRecordsTakeNamesInReverseOrderWithAnEndMark) {
    FileSpec recs[5];
    for (auto& r : recs) std::strcpy(r.path, "junk");
    std::string three("/d\0p1\0p2\0p3\0\0", 14);
    EXPECT_EQ(FillFileRecords(three, recs, 5), 3);
    EXPECT_STREQ(recs[0].path, "/d/p3");
    EXPECT_STREQ(recs[1].path, "/d/p2");
    EXPECT_STREQ(recs[2].path, "/d/p1");
    EXPECT_STREQ(recs[3].path, "");
    EXPECT_STREQ(recs[4].path, "junk");
    // A short list of records is never overrun and still ends with a mark.
    FileSpec two[3];
    EXPECT_EQ(FillFileRecords(three, two, 3), 2);
    EXPECT_STREQ(two[1].path, "/d/p2");
    EXPECT_STREQ(two[2].path, "");

    FileSpec single[2];
    headless::QueueFileAnswer({"/pics/one.bmp"});
    ASSERT_TRUE(
        ChooseFileToOpen(pane.hwnd, single, "All Files (*.*)|*.*|", ".bmp", nullptr, true, 2));
    EXPECT_STREQ(single[0].path, "/pics/one.bmp");
    EXPECT_STREQ(single[1].path, "");

    FileSpec many[8];
    headless::QueueFileAnswer({"/pics/p1", "/pics/p2", "/pics/p3"});
    ASSERT_TRUE(ChooseFileToOpen(pane.hwnd, many, "", "", nullptr, true, 8));
    EXPECT_STREQ(many[0].path, "/pics/p3");
    EXPECT_STREQ(many[2].path, "/pics/p1");
    EXPECT_STREQ(many[3].path, "");

    // Single selection: the old path is the initial name, without a trailing backslash, and
    // cleared when shorter than 4 characters.
    FileSpec fileSpec;
    std::strcpy(fileSpec.path, "/pics/old.bmp\\");
    FileSpec folder;
    std::strcpy(folder.path, "/pics");
    headless::QueueFileCancel();
    EXPECT_FALSE(ChooseFileToOpen(pane.hwnd, &fileSpec, "", "", &folder, false));
    EXPECT_EQ(headless::LastFileRequest().initialName, "/pics/old.bmp");
    EXPECT_EQ(headless::LastFileRequest().initialFolder, "/pics");
    std::strcpy(fileSpec.path, "ab\\");
    headless::QueueFileCancel();
    ChooseFileToOpen(pane.hwnd, &fileSpec, "", "", nullptr, false);
    EXPECT_EQ(headless::LastFileRequest().initialName, "");

    FileSpec save;
    save.vRefNum = 7;
    save.parID = 9;
    std::strcpy(save.path, "/shows/a\\");
    std::string dir = kvtest::TempDir("save");
    headless::QueueFileAnswer({dir + "/b"});
    ASSERT_TRUE(ChooseFileToSave(pane.hwnd, &save, "Shows|*.kvx|", ".kvx", nullptr));
    EXPECT_EQ(std::string(save.path), dir + "/b.kvx");
    int16_t vref = save.vRefNum;
    int32_t parId = save.parID;
    EXPECT_EQ(vref, 0);
    EXPECT_EQ(parId, 0);
    EXPECT_EQ(headless::LastFileRequest().initialName, "/shows/a");
    EXPECT_TRUE(headless::LastFileRequest().overwritePrompt);
}

TEST_F(Toolkit, CursorShapesAndTheReplacedCursor) {
    ASSERT_TRUE(SetCursorShape(1));
    ASSERT_TRUE(SetCursorShape(2));
    EXPECT_EQ(GetCurrentCursor(), LoadSystemCursor(IDC_CROSS));
    EXPECT_EQ(LastReplacedCursor(), LoadSystemCursor(IDC_ARROW));
    ASSERT_TRUE(SetCursorShape(13));
    const CursorImage* img = CursorImageOf(GetCurrentCursor());
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->width, 32);
    EXPECT_FALSE(SetCursorShape(15));
    EXPECT_FALSE(SetCursorShape(0));
    SetCursorShape(1);
}

TEST_F(Toolkit, BitmapButtonsDrawTheirStateAndHitTestInclusively) {
    const ResourceBitmap* normal = FindBitmapResource(BmpOk);
    const ResourceBitmap* pressed = FindBitmapResource(BmpOkPressed);
    ASSERT_TRUE(normal && pressed);
    auto matches = [&](const ResourceBitmap* bm, int x0, int y0) {
        for (int y = 0; y < bm->height; ++y)
            for (int x = 0; x < bm->width; ++x) {
                uint32_t p = bm->pixels[y * bm->width + x];
                if (At(x0 + x, y0 + y) != RGB((p >> 16) & 255, (p >> 8) & 255, p & 255))
                    return false;
            }
        return true;
    };
    BitmapButton b;
    b.Init(BmpOk, BmpOkPressed, 0, 0, 0);
    b.Place(*painter, Rect{57, 100, 75, 118});
    EXPECT_TRUE(matches(normal, 57, 100));
    EXPECT_FALSE(b.HitTest(*painter, 76, 100, 1));
    EXPECT_TRUE(b.HitTest(*painter, 75, 118, 1));
    EXPECT_TRUE(matches(pressed, 57, 100));
    b.MoveTo(200, 10);
    EXPECT_EQ(b.Bounds().right, 218);
    b.SetState(*painter, 0);
    EXPECT_TRUE(matches(normal, 200, 10));
    b.SetState(*painter, 2);  // no active bitmap: nothing drawn
    EXPECT_TRUE(matches(normal, 200, 10));
    b.SetState(*painter, 3);
    EXPECT_FALSE(b.HitTest(*painter, 205, 15, 1));
    EXPECT_EQ(b.State(), 3u);
    EXPECT_FALSE(painter->BlitResourceBitmap(0, 0, 9999));
}

TEST_F(Toolkit, ResourcesCoverEveryNamedIdAndTheMonoPlaceholder) {
    for (int id : BitmapResourceIds()) {
        const ResourceBitmap* bm = FindBitmapResource(id);
        ASSERT_NE(bm, nullptr) << id;
        EXPECT_GT(bm->width, 0) << id;
    }
    EXPECT_EQ(FindBitmapResource(BmpPanelTile)->width, 128);
    EXPECT_EQ(FindBitmapResource(BmpPanelTile)->height, 128);
    for (int id : {106, 135, 136}) EXPECT_NE(FindCursorResource(id), nullptr) << id;
    CDIB mono(1, 1, 24), reference(1, 1, 24);
    ASSERT_TRUE(LoadMonoBitmap(&mono, BmpPlaceholder));
    ASSERT_TRUE(LoadPlaceholder(reference));
    ASSERT_EQ(mono.Width(), 160);
    ASSERT_EQ(mono.Height(), 120);
    for (int y = 0; y < 120; ++y)
        ASSERT_EQ(std::memcmp(mono.Row(y), reference.Row(y), 160 * 3), 0) << y;
    EXPECT_FALSE(LoadMonoBitmap(nullptr, BmpPlaceholder));
    EXPECT_FALSE(LoadMonoBitmap(&mono, BmpStop));  // a colour bitmap
    EXPECT_FALSE(LoadMonoBitmap(&mono, 4242));
}

TEST_F(Toolkit, HandleScrollMovesByLinesPagesAndTheThumb) {
    Pane p;
    Pane::current = &p;
    ASSERT_TRUE(p.Open(0, 0, 300, 216, WinPopup | WinVScroll | WinHScroll));
    p.SetScrollRanges(2000, 1000, 284, 100, true);
    p.HandleScroll(WM_VSCROLL, SB_LINEDOWN, 10);
    EXPECT_EQ(p.GetVScrollPos(), 10);
    p.HandleScroll(WM_VSCROLL, SB_PAGEDOWN, 10);
    EXPECT_EQ(p.GetVScrollPos(), 10 + 200);  // client height 216 - 16
    p.HandleScroll(WM_HSCROLL, SB_PAGEDOWN, 10);
    EXPECT_EQ(p.GetHScrollPos(), 284);
    p.HandleScroll(WM_VSCROLL, SB_THUMBPOSITION, 10);
    EXPECT_EQ(p.GetVScrollPos(), 210);
    EXPECT_EQ(p.redraws, 3);
    p.SetVScrollPos(50, true);
    p.HandleScroll(WM_VSCROLL, SB_LINEUP, 100);
    EXPECT_EQ(p.GetVScrollPos(), 0);
    Pane::current = &pane;
}
