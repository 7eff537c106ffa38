// Text drawn again at device pixels over the enlarged picture of a window: sharp where it is
// still shown as drawn, never where something has been drawn over it since.
#include "platform/win/sharp_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/win/internal.h"
#include "platform/win/scale.h"
#include "tests/platform/win/test_window.h"

using namespace kv;

namespace {

class SharpText : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::UseHeadless();
        kvtest::DrainQueue();
        SetSharpTextScale(2.0);
    }
    void TearDown() override {
        SetSharpTextScale(1.0);
        for (HWND w : made) DestroyWindow(w);
        kvtest::DrainQueue();
    }
    HWND Make(int w, int h) {
        HWND hwnd = kvtest::MakeWindow(0, 0, w, h);
        made.push_back(hwnd);
        return hwnd;
    }
    // Black text on white at a client point.
    static void Write(HWND w, int x, int y, const std::string& text, int mode = OPAQUE) {
        kvtest::WriteText(w, x, y, text, RGB(0, 0, 0), mode);
    }
    static void Fill(HWND w, Rect r, COLORREF c) { kvtest::FillBox(w, r, c); }
    // The window at twice its size: plainly enlarged, and with its text drawn again.
    struct Shown {
        int fw = 0, fh = 0, dw = 0, dh = 0, sharp = 0;
        std::vector<uint32_t> plain, drawn;
    };
    static Shown Show(HWND w) {
        Shown s;
        std::vector<uint32_t> px = ComposeWindow(w, &s.fw, &s.fh);
        s.dw = s.fw * 2;
        s.dh = s.fh * 2;
        s.plain = ScaleNearest(px.data(), s.fw, s.fh, s.dw, s.dh);
        s.drawn = s.plain;
        s.sharp = SharpenText(w, px.data(), s.fw, s.fh, s.drawn.data(), s.dw, s.dh);
        return s;
    }
    // Device 2x2 blocks (each one logical pixel) whose four pixels differ: none in a plain
    // enlargement, many where text was drawn at device pixels.
    static int MixedBlocks(const Shown& s) {
        int n = 0;
        for (int y = 0; y + 1 < s.dh; y += 2)
            for (int x = 0; x + 1 < s.dw; x += 2) {
                const uint32_t* p = &s.drawn[static_cast<size_t>(y) * s.dw + x];
                if (p[0] != p[1] || p[0] != p[s.dw] || p[0] != p[s.dw + 1]) ++n;
            }
        return n;
    }
    // Device pixels that differ from the plain enlargement, and their bounds.
    static int Changed(const Shown& s, Rect* bounds = nullptr) {
        int n = 0;
        Rect b{1 << 30, 1 << 30, -1, -1};
        for (int y = 0; y < s.dh; ++y)
            for (int x = 0; x < s.dw; ++x)
                if (s.drawn[static_cast<size_t>(y) * s.dw + x] !=
                    s.plain[static_cast<size_t>(y) * s.dw + x]) {
                    ++n;
                    b = Rect{std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1),
                             std::max(b.bottom, y + 1)};
                }
        if (bounds) *bounds = b;
        return n;
    }
    std::vector<HWND> made;
};

TEST_F(SharpText, TextStillShownIsDrawnAtDevicePixelsInsideItsBox) {
    HWND w = Make(200, 60);
    Write(w, 10, 10, "Sharp Words");
    ASSERT_EQ(TextNoteCount(w), 1u);
    const Shown s = Show(w);
    EXPECT_EQ(s.sharp, 1);
    EXPECT_GT(MixedBlocks(s), 20);
    // Everything changed lies within the text's box (its run plus a small margin), doubled.
    SIZE size{};
    HDC dc = GetDC(w);
    GetTextExtentPoint32(dc, "Sharp Words", &size);
    ReleaseDC(w, dc);
    Rect b;
    ASSERT_GT(Changed(s, &b), 0);
    EXPECT_GE(b.left, (10 - 2) * 2);
    EXPECT_GE(b.top, (10 - 2) * 2);
    EXPECT_LE(b.right, (10 + size.cx + 2) * 2);
    EXPECT_LE(b.bottom, (10 + size.cy + 2) * 2);
    // About as much ink as the enlarged small text: the same words, not a blank or a smear.
    auto ink = [&](const std::vector<uint32_t>& px) {
        int n = 0;
        for (uint32_t p : px) n += (p & 0xFF) < 128;
        return n;
    };
    EXPECT_GT(ink(s.drawn), ink(s.plain) / 2);
    EXPECT_LT(ink(s.drawn), ink(s.plain) * 2);
}

TEST_F(SharpText, TextDrawnOverOrChangedStaysAsTheWindowShowsIt) {
    HWND w = Make(200, 80);
    Write(w, 10, 10, "Gone");
    Write(w, 10, 40, "Half");
    ASSERT_EQ(TextNoteCount(w), 2u);
    Fill(w, Rect{0, 0, 200, 30}, RGB(255, 255, 255));  // the first cleared away
    Fill(w, Rect{12, 45, 14, 47}, RGB(255, 0, 0));     // a dot on the second
    const Shown s = Show(w);
    EXPECT_EQ(s.sharp, 0);
    EXPECT_EQ(Changed(s), 0);  // nothing comes back, nothing covers the dot
    EXPECT_EQ(TextNoteCount(w), 0u);
}

TEST_F(SharpText, TextRedrawnInPlaceKeepsOneNoteAndNoGhost) {
    HWND w = Make(200, 60);
    for (int i = 0; i < 5; ++i) Write(w, 10, 10, "Again", TRANSPARENT);  // painted over itself
    EXPECT_EQ(TextNoteCount(w), 1u);
    Shown s = Show(w);
    EXPECT_EQ(s.sharp, 1);
    const int mixedOnce = MixedBlocks(s);
    EXPECT_GT(mixedOnce, 5);
    // A new text over the old one replaces it: the old one's box is not drawn from its notes.
    Fill(w, Rect{0, 0, 200, 60}, RGB(255, 255, 255));
    Write(w, 10, 10, "Other");
    EXPECT_EQ(TextNoteCount(w), 1u);
    s = Show(w);
    EXPECT_EQ(s.sharp, 1);
    // A neighbour whose margin only touches this one's keeps both notes.
    SIZE size{};
    HDC dc = GetDC(w);
    GetTextExtentPoint32(dc, "Other", &size);
    ReleaseDC(w, dc);
    Write(w, 10 + size.cx + 3, 10, "Next");
    EXPECT_EQ(TextNoteCount(w), 2u);
    EXPECT_EQ(Show(w).sharp, 2);
}

TEST_F(SharpText, ChildTextLandsAtTheChildsPlaceAndIsLeftWhenCovered) {
    HWND top = Make(300, 120);
    HWND child =
        CreateWindowEx(0, "KvTestRecording", "c", WS_CHILD | WS_VISIBLE, 100, 50, 150, 40, top, 1);
    made.insert(made.begin(), child);
    Fill(child, Rect{0, 0, 150, 40}, RGB(255, 255, 255));
    Write(child, 5, 5, "Child");
    ASSERT_EQ(TextNoteCount(child), 1u);
    Shown s = Show(top);
    EXPECT_EQ(s.sharp, 1);
    Rect b;
    ASSERT_GT(Changed(s, &b), 0);
    POINT origin = ClientToScreen(child, POINT{0, 0});
    RECT tc;
    GetWindowRect(top, &tc);
    // The child's client origin in the top window's surface, doubled.
    const int ox = (origin.x - tc.left) * 2, oy = (origin.y - tc.top) * 2;
    EXPECT_GE(b.left, ox);
    EXPECT_GE(b.top, oy);
    EXPECT_LE(b.right, ox + 150 * 2);
    EXPECT_LE(b.bottom, oy + 40 * 2);
    // A sibling in front over the text: the plain enlargement shows, the note is kept for later.
    HWND cover =
        CreateWindowEx(0, "KvTestRecording", "d", WS_CHILD | WS_VISIBLE, 100, 50, 40, 20, top, 2);
    made.insert(made.begin(), cover);
    Fill(cover, Rect{0, 0, 40, 20}, RGB(0, 0, 255));
    s = Show(top);
    EXPECT_EQ(s.sharp, 0);
    EXPECT_EQ(Changed(s), 0);
    EXPECT_EQ(TextNoteCount(child), 1u);
}

// A picture rendered at twice its place's size shows one source pixel per device pixel, except
// where something was drawn over it since; pictures of other sizes are left to the enlargement.
TEST_F(SharpText, PictureOfDeviceSizeShowsItsOwnPixels) {
    HWND w = Make(100, 80);
    const int pw = 40, ph = 30, sw = pw * 2, sh = ph * 2;
    std::vector<uint32_t> src(static_cast<size_t>(sw) * sh);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x)  // a pattern finer than a logical pixel
            src[static_cast<size_t>(y) * sw + x] = ((x + y) % 2) ? 0xFF2040E0u : 0xFFE0C020u;
    BitmapInfo info{};
    info.header.biSize = 40;
    info.header.biWidth = sw;
    info.header.biHeight = -sh;  // top-down
    info.header.biPlanes = 1;
    info.header.biBitCount = 32;
    HDC dc = GetDC(w);
    StretchDIBits(dc, 10, 20, pw, ph, 0, 0, sw, sh, src.data(), &info);
    ReleaseDC(w, dc);
    ASSERT_EQ(PictureNoteCount(w), 1u);
    Shown s = Show(w);
    EXPECT_EQ(s.sharp, 1);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x)
            ASSERT_EQ(s.drawn[static_cast<size_t>(40 + y) * s.dw + 20 + x],
                      src[static_cast<size_t>(y) * sw + x])
                << x << "," << y;
    // A frame drawn over the picture stays; the rest keeps the source's pixels.
    Fill(w, Rect{10, 20, 50, 21}, RGB(255, 255, 255));
    s = Show(w);
    EXPECT_EQ(s.drawn[static_cast<size_t>(40) * s.dw + 21], 0xFFFFFFFFu);
    EXPECT_EQ(s.drawn[static_cast<size_t>(41) * s.dw + 20], 0xFFFFFFFFu);
    EXPECT_EQ(s.drawn[static_cast<size_t>(42) * s.dw + 21], src[2 * sw + 1]);
    // One to one, or far larger than the factor: nothing to add at device pixels.
    HWND other = Make(100, 80);
    dc = GetDC(other);
    StretchDIBits(dc, 0, 0, sw, sh, 0, 0, sw, sh, src.data(), &info);
    StretchDIBits(dc, 0, 0, pw / 2, ph / 2, 0, 0, sw, sh, src.data(), &info);
    ReleaseDC(other, dc);
    EXPECT_EQ(PictureNoteCount(other), 0u);
    EXPECT_EQ(Show(other).sharp, 0);
    // The first window's picture drawn again at its place's own size (a view that gave up
    // device pixels): the noted one is gone, and the enlargement shows the new drawing.
    std::vector<uint32_t> small(static_cast<size_t>(pw) * ph, 0xFF10A010u);
    info.header.biWidth = pw;
    info.header.biHeight = -ph;
    dc = GetDC(w);
    StretchDIBits(dc, 10, 20, pw, ph, 0, 0, pw, ph, small.data(), &info);
    ReleaseDC(w, dc);
    EXPECT_EQ(PictureNoteCount(w), 0u);
    s = Show(w);
    EXPECT_EQ(s.sharp, 0);
    EXPECT_EQ(s.drawn[static_cast<size_t>(42) * s.dw + 21], 0xFF10A010u);
}

TEST_F(SharpText, AtOneNothingIsNoted) {
    SetSharpTextScale(1.0);
    HWND w = Make(200, 60);
    Write(w, 10, 10, "Plain");
    EXPECT_EQ(TextNoteCount(w), 0u);
    int fw = 0, fh = 0;
    std::vector<uint32_t> px = ComposeWindow(w, &fw, &fh);
    std::vector<uint32_t> copy = px;
    EXPECT_EQ(SharpenText(w, px.data(), fw, fh, copy.data(), fw, fh), 0);
    EXPECT_EQ(copy, px);
}

}  // namespace
