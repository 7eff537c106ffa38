// The kept picture of a shown window: after any sequence of drawing, covering, moving, hiding and
// resizing, updating it by changed regions gives exactly the picture that composing, enlarging
// and sharpening the whole window gives, and the boxes it returns hold every device pixel that
// changed.
#include "platform/win/shown_picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "platform/win/internal.h"
#include "platform/win/scale.h"
#include "platform/win/sharp_text.h"
#include "tests/platform/win/test_window.h"

using namespace kv;

namespace {

class ShownPictureTest : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override {
        kvtest::UseHeadless();
        kvtest::DrainQueue();
        SetSharpTextScale(GetParam());
    }
    void TearDown() override {
        SetSharpTextScale(1.0);
        for (HWND w : made) DestroyWindow(w);
        kvtest::DrainQueue();
    }
    HWND Top(int w, int h) {
        HWND hwnd = kvtest::MakeWindow(30, 20, w, h, WS_POPUP | WS_BORDER);
        made.push_back(hwnd);
        return hwnd;
    }
    HWND Child(HWND parent, int x, int y, int w, int h, COLORREF c) {
        HWND ch = CreateWindowEx(0, "KvTestRecording", "c", WS_CHILD | WS_VISIBLE | WS_BORDER, x, y,
                                 w, h, parent, static_cast<int>(made.size()) + 1);
        made.insert(made.begin(), ch);
        Fill(ch, Rect{0, 0, w, h}, c);
        return ch;
    }
    static void Write(HWND w, int x, int y, const std::string& text, COLORREF ink = RGB(0, 0, 0),
                      int mode = OPAQUE) {
        kvtest::WriteText(w, x, y, text, ink, mode);
    }
    static void Fill(HWND w, Rect r, COLORREF c) { kvtest::FillBox(w, r, c); }
    // A picture about the factor times its place's size (noted for device pixels; one pixel
    // more across for odd seeds), a pattern seeded by `seed`.
    void Picture(HWND w, int x, int y, int pw, int ph, uint32_t seed) const {
        const int sw = static_cast<int>(std::lround(pw * GetParam())) + static_cast<int>(seed % 2);
        const int sh = static_cast<int>(std::lround(ph * GetParam()));
        std::vector<uint32_t> src(static_cast<size_t>(sw) * sh);
        for (int j = 0; j < sh; ++j)
            for (int i = 0; i < sw; ++i)
                src[static_cast<size_t>(j) * sw + i] =
                    0xFF000000u | ((i * 37 + j * 11 + seed * 101) % 251) << 16 |
                    ((i ^ j) + seed) % 256 << 8 | (seed * 7 + i) % 256;
        BitmapInfo info{};
        info.header.biSize = 40;
        info.header.biWidth = sw;
        info.header.biHeight = -sh;
        info.header.biPlanes = 1;
        info.header.biBitCount = 32;
        HDC dc = GetDC(w);
        StretchDIBits(dc, x, y, pw, ph, 0, 0, sw, sh, src.data(), &info);
        ReleaseDC(w, dc);
    }

    // The whole-window path: composed, enlarged and sharpened from nothing.
    std::vector<uint32_t> Whole(HWND top, int* dw, int* dh) const {
        const double f = GetParam();
        int fw = 0, fh = 0;
        std::vector<uint32_t> px = ComposeWindow(top, &fw, &fh);
        *dw = std::max(1, ToDevice(top->rect.left + fw, f) - ToDevice(top->rect.left, f));
        *dh = std::max(1, ToDevice(top->rect.top + fh, f) - ToDevice(top->rect.top, f));
        std::vector<uint32_t> big = ScaleNearest(px.data(), fw, fh, *dw, *dh);
        SharpenText(top, px.data(), fw, fh, big.data(), *dw, *dh);
        return big;
    }

    // One update of the kept picture after a change: it must equal the whole path's picture,
    // and every device pixel that differs from the last one must lie in a returned box. Returns
    // the returned boxes' area over the picture's.
    double Step(ShownPicture& shown, HWND top, const std::string& what, bool whole = false) {
        const std::vector<uint32_t> before = last;
        const int beforeW = lastW, beforeH = lastH;
        int dw = 0, dh = 0;
        ShownPicture::Target into;
        if (useTarget) {
            // Memory of the caller's, kept from one update to the next while the size holds.
            const double f = GetParam();
            const int tw = ToDevice(top->rect.right, f) - ToDevice(top->rect.left, f);
            const int th = ToDevice(top->rect.bottom, f) - ToDevice(top->rect.top, f);
            if (target.size() != static_cast<size_t>(tw) * th)
                target.assign(static_cast<size_t>(tw) * th, 0x12345678u);
            into = ShownPicture::Target{target.data(), tw, th};
        }
        const std::vector<Rect> boxes = shown.Update(top, GetParam(), whole, into);
        const std::vector<uint32_t> want = Whole(top, &dw, &dh);
        if (useTarget && GetParam() != 1.0) {
            EXPECT_EQ(shown.Device(), target.data()) << what << ": drawn into the target";
        }
        EXPECT_EQ(shown.DeviceWidth(), dw) << what;
        EXPECT_EQ(shown.DeviceHeight(), dh) << what;
        if (shown.DeviceWidth() != dw || shown.DeviceHeight() != dh) return 1;
        const uint32_t* got = shown.Device();
        size_t wrong = 0, outside = 0;
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) {
                const size_t i = static_cast<size_t>(y) * dw + x;
                wrong += got[i] != want[i];
                if (beforeW != dw || beforeH != dh || before[i] == got[i]) continue;
                bool in = false;
                for (const Rect& b : boxes)
                    in |= x >= b.left && x < b.right && y >= b.top && y < b.bottom;
                outside += !in;
            }
        EXPECT_EQ(wrong, 0u) << what << ": pixels unlike the whole window's picture";
        EXPECT_EQ(outside, 0u) << what << ": changed pixels outside the boxes sent";
        last.assign(got, got + static_cast<size_t>(dw) * dh);
        lastW = dw;
        lastH = dh;
        double area = 0;
        for (const Rect& b : boxes)
            area += static_cast<double>(b.right - b.left) * (b.bottom - b.top);
        return area / (static_cast<double>(dw) * dh);
    }

    void Sequence();
    void RandomChanges();

    std::vector<HWND> made;
    bool useTarget = false;
    std::vector<uint32_t> target;
    std::vector<uint32_t> last;
    int lastW = 0, lastH = 0;
};

TEST_P(ShownPictureTest, RegionsGiveTheWholeWindowsPictureThroughASequenceOfChanges) {
    Sequence();
}

TEST_P(ShownPictureTest, RegionsGiveTheWholeWindowsPictureInTheCallersMemory) {
    useTarget = true;
    Sequence();
}

void ShownPictureTest::Sequence() {
    HWND top = Top(260, 180);
    HWND child = Child(top, 20, 70, 140, 70, RGB(255, 255, 255));
    HWND inner = Child(child, 60, 30, 100, 50, RGB(200, 230, 255));  // reaches past its parent
    Write(top, 8, 6, "Top words");
    Write(child, 4, 4, "Child");
    Write(inner, 3, 3, "Inner text");
    ShownPicture shown;
    EXPECT_DOUBLE_EQ(Step(shown, top, "first"), 1.0);
    EXPECT_DOUBLE_EQ(Step(shown, top, "unchanged"), 0.0) << "nothing changed, nothing sent";

    Write(top, 150, 6, "More");
    EXPECT_LT(Step(shown, top, "text drawn"), 0.1) << "a short text sends a small box";
    Fill(top, Rect{10, 8, 30, 14}, RGB(255, 255, 255));
    Step(shown, top, "text partly covered");
    Write(top, 8, 6, "Top words", RGB(0, 0, 0), TRANSPARENT);
    Step(shown, top, "text drawn over itself");
    for (const char* tc : {"00:00:01;02", "00:00:01;03", "00:00:01;04"}) {
        Fill(top, Rect{150, 30, 240, 50}, RGB(255, 255, 255));
        Write(top, 152, 32, tc);
        EXPECT_LT(Step(shown, top, std::string("counter ") + tc), 0.15);
    }

    Picture(top, 170, 70, 60, 40, 1);
    EXPECT_EQ(PictureNoteCount(top), GetParam() == 1.0 ? 0u : 1u);
    Step(shown, top, "picture drawn");
    Picture(top, 170, 70, 60, 40, 2);
    Step(shown, top, "picture replaced");
    Picture(top, 170, 70, 60, 40, 2);
    Step(shown, top, "the same picture again");
    Fill(top, Rect{170, 70, 230, 71}, RGB(255, 255, 255));
    Step(shown, top, "line over the picture");

    Write(child, 4, 4, "Other");
    Step(shown, top, "child text replaced");
    MoveWindow(child, 30, 60, 140, 70, false);
    Step(shown, top, "child moved");
    ShowWindow(inner, SW_HIDE);
    Step(shown, top, "inner hidden");
    ShowWindow(inner, SW_SHOW);
    Step(shown, top, "inner shown");
    HWND cover = Child(top, 0, 0, 70, 24, RGB(0, 0, 255));
    Step(shown, top, "sibling over the top text");
    DestroyWindow(cover);
    made.erase(std::find(made.begin(), made.end(), cover));
    Step(shown, top, "sibling gone");
    ShowWindow(child, SW_HIDE);
    Step(shown, top, "child hidden");

    MoveWindow(top, 31, 21, 300, 200, false);
    Fill(top, Rect{0, 0, 300, 200}, RGB(240, 240, 240));
    Write(top, 40, 150, "After the resize");
    EXPECT_DOUBLE_EQ(Step(shown, top, "resized"), 1.0);
    Write(top, 40, 170, "Then more");
    Step(shown, top, "text after the resize");
    EXPECT_DOUBLE_EQ(Step(shown, top, "whole asked for", true), 1.0);
}

// Many random changes in a row, each checked against the whole window's picture, with the device
// picture in memory of its own and in the caller's.
TEST_P(ShownPictureTest, RandomChangesKeepThePictureExact) {
    RandomChanges();
}

TEST_P(ShownPictureTest, RandomChangesKeepThePictureExactInTheCallersMemory) {
    useTarget = true;
    RandomChanges();
}

void ShownPictureTest::RandomChanges() {
    HWND top = Top(220, 160);
    std::vector<HWND> kids{Child(top, 10, 40, 90, 60, RGB(255, 255, 255)),
                           Child(top, 80, 70, 100, 50, RGB(250, 250, 200))};
    kids.push_back(Child(kids[0], 40, 20, 70, 40, RGB(220, 255, 220)));
    std::mt19937 rng(20261209);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    ShownPicture shown;
    Step(shown, top, "first");
    const char* words[] = {"ab", "Words", "00:01", "Play", "x", "Long line of text"};
    for (int step = 0; step < 120 && !HasFailure(); ++step) {
        HWND on = pick(3) == 0 ? top : kids[static_cast<size_t>(pick(3))];
        const std::string what = "step " + std::to_string(step);
        switch (pick(6)) {
            case 0:
            case 1:
                Write(on, pick(120), pick(60), words[pick(6)], RGB(pick(256), 0, 0),
                      pick(2) ? OPAQUE : TRANSPARENT);
                break;
            case 2:
                Fill(on, Rect{pick(100), pick(60), 0, 0}, RGB(pick(256), 255, 255));
                Fill(on, Rect{pick(60), pick(40), pick(60) + pick(60), pick(40) + pick(30)},
                     RGB(255, pick(256), 255));
                break;
            case 3:
                Picture(on, pick(60), pick(40), 10 + pick(40), 10 + pick(30),
                        static_cast<uint32_t>(step));
                break;
            case 4:
                if (on != top)
                    MoveWindow(on, pick(120), pick(100), 60 + pick(60), 30 + pick(40), false);
                break;
            default:
                if (on != top) ShowWindow(on, IsWindowVisible(on) ? SW_HIDE : SW_SHOW);
                break;
        }
        Step(shown, top, what);
    }
}

INSTANTIATE_TEST_SUITE_P(Factors, ShownPictureTest, ::testing::Values(2.0, 1.5, 1.0),
                         [](const ::testing::TestParamInfo<double>& p) {
                             return "x" + std::to_string(static_cast<int>(p.param * 100));
                         });

TEST(ShownPictureDifferences, BandsOfChangedRowsAsWideAsTheirChanges) {
    const int w = 50, h = 40;
    std::vector<uint32_t> a(static_cast<size_t>(w) * h, 7), b = a;
    EXPECT_TRUE(ShownPicture::Differences(a.data(), b.data(), w, h).empty());
    b[5 * w + 10] = 1;
    b[6 * w + 30] = 1;  // the next row: the same band
    b[20 * w + 0] = 1;
    b[20 * w + 49] = 1;
    const std::vector<Rect> d = ShownPicture::Differences(a.data(), b.data(), w, h);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].left, 10);
    EXPECT_EQ(d[0].top, 5);
    EXPECT_EQ(d[0].right, 31);
    EXPECT_EQ(d[0].bottom, 7);
    EXPECT_EQ(d[1].left, 0);
    EXPECT_EQ(d[1].top, 20);
    EXPECT_EQ(d[1].right, 50);
    EXPECT_EQ(d[1].bottom, 21);
}

// A child shows only inside its parent's client area, and a grandchild only inside both.
TEST(ComposeWindow, ChildrenShowOnlyInsideEveryClientAroundThem) {
    kvtest::UseHeadless();
    kvtest::DrainQueue();
    HWND top = kvtest::MakeWindow(0, 0, 60, 40, WS_POPUP | WS_BORDER);  // client 1..59
    HWND child = CreateWindowEx(0, "KvTestRecording", "c", WS_CHILD | WS_VISIBLE | WS_BORDER, 40,
                                10, 30, 20, top, 1);
    HWND inner =
        CreateWindowEx(0, "KvTestRecording", "i", WS_CHILD | WS_VISIBLE, 10, 5, 30, 30, child, 2);
    auto fill = [](HWND w, COLORREF c) {
        HDC dc = GetDC(w);
        HBRUSH b = CreateSolidBrush(c);
        RECT r{0, 0, 100, 100};
        FillRect(dc, &r, b);
        DeleteObject(b);
        ReleaseDC(w, dc);
    };
    fill(top, RGB(255, 255, 255));
    fill(child, RGB(0, 255, 0));
    fill(inner, RGB(255, 0, 0));
    int fw = 0, fh = 0;
    const std::vector<uint32_t> px = ComposeWindow(top, &fw, &fh);
    ASSERT_EQ(fw, 60);
    ASSERT_EQ(fh, 40);
    auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * fw + x] & 0xFFFFFFu; };
    constexpr uint32_t kBorder = 0x404040u;  // a thin frame's colour
    // The child's surface begins at the top's client (1, 1) plus (40, 10); its client one pixel
    // further in; the inner window at (10, 5) of that.
    EXPECT_EQ(at(41, 11), kBorder) << "the child's border";
    EXPECT_EQ(at(45, 14), 0x00FF00u) << "the child's client";
    EXPECT_EQ(at(53, 18), 0xFF0000u) << "the inner window";
    EXPECT_EQ(at(58, 18), 0xFF0000u) << "still inside the top's client";
    EXPECT_EQ(at(59, 18), kBorder) << "the top's border is not drawn over";
    EXPECT_EQ(at(53, 30), kBorder) << "the child's bottom border, not the inner window";
    EXPECT_EQ(at(53, 33), 0xFFFFFFu) << "below the child: the top's client";
    DestroyWindow(top);
    kvtest::DrainQueue();
}

}  // namespace
