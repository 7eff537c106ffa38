// The rasteriser: tiny pixel grids drawn by hand, XOR restoring, DIB orientation, text placement
// and PNG output.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win/win.h"
#include "tests/platform/win/canvas.h"
#include "tests/test_support.h"

using namespace kv;
using kvtest::Canvas;

TEST(Gdi, FillsAndOutlinesExcludeRightAndBottomEdges) {
    Canvas c(6, 5);
    Rect r{1, 1, 4, 3};
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(c.dc, &r, black);
    DeleteObject(black);
    EXPECT_EQ(c.Grid(), "......|.###..|.###..|......|......");

    Canvas o(6, 5);
    SelectObject(o.dc, GetStockObject(NULL_BRUSH));
    Rectangle(o.dc, 1, 0, 5, 4);
    EXPECT_EQ(o.Grid(), ".####.|.#..#.|.#..#.|.####.|......");
}

TEST(Gdi, LinesLeaveOutTheirLastPointAndFollowDashPatterns) {
    Canvas c(6, 4);
    MoveToEx(c.dc, 1, 1, nullptr);
    LineTo(c.dc, 5, 1);
    MoveToEx(c.dc, 0, 0, nullptr);
    LineTo(c.dc, 3, 3);
    EXPECT_EQ(c.Grid(), "#.....|.####.|..#...|......");

    Canvas d(14, 1);
    d.Pen(PS_DOT, 1, RGB(0, 0, 0));
    MoveToEx(d.dc, 0, 0, nullptr);
    LineTo(d.dc, 14, 0);
    EXPECT_EQ(d.Grid(), "###...###...##");
}

TEST(Gdi, EllipseFillMatchesTheHandComputedDisc) {
    Canvas c(5, 5);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(c.dc, black);
    Ellipse(c.dc, 0, 0, 5, 5);
    SelectObject(c.dc, old);
    DeleteObject(black);
    EXPECT_EQ(c.Grid(), ".###.|#####|#####|#####|.###.");
}

TEST(Gdi, InvertingTwiceRestoresEveryShapeAndOverlapsInvertOnce) {
    Canvas c(40, 30);
    // A background where every pixel differs from its inverse.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) SetPixel(c.dc, x, y, RGB(x * 5, y * 7, 60));
    std::vector<COLORREF> before;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) before.push_back(GetPixel(c.dc, x, y));
    SetROP2(c.dc, R2_NOT);
    SelectObject(c.dc, GetStockObject(NULL_BRUSH));
    c.Pen(PS_SOLID, 3, 0);
    POINT cross[4] = {{2, 10}, {30, 10}, {16, 2}, {16, 25}};
    auto drawAll = [&] {
        Polyline(c.dc, cross, 4);
        Rectangle(c.dc, 5, 5, 35, 25);
        Ellipse(c.dc, 8, 8, 30, 22);
        RoundRect(c.dc, 3, 3, 20, 20, 8, 8);
    };
    Polyline(c.dc, cross, 4);
    // (16, 10) lies under both crossing strokes: it must be inverted once, not twice.
    COLORREF orig = before[10 * 40 + 16];
    EXPECT_EQ(GetPixel(c.dc, 16, 10), (~orig) & 0xFFFFFF);
    Polyline(c.dc, cross, 4);
    drawAll();
    drawAll();
    int i = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(GetPixel(c.dc, x, y), before[i++]) << x << "," << y;
}

TEST(Gdi, StretchDIBitsReadsBottomUpRowsFromTheLowerLeftOrigin) {
    // 2 x 2, 24 bits: bottom row red, green; top row blue, white.
    BitmapInfo info{};
    info.header.biSize = 40;
    info.header.biWidth = 2;
    info.header.biHeight = 2;
    info.header.biPlanes = 1;
    info.header.biBitCount = 24;
    uint8_t bits[16] = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
    Canvas c(4, 4);
    SetStretchBltMode(c.dc, COLORONCOLOR);
    StretchDIBits(c.dc, 0, 0, 4, 4, 0, 0, 2, 2, bits, &info);
    EXPECT_EQ(GetPixel(c.dc, 0, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(c.dc, 1, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(c.dc, 3, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(c.dc, 0, 3), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(c.dc, 2, 2), RGB(0, 255, 0));
    // Source (0, 0, 1, 1) is the lower-left pixel.
    Canvas one(1, 1);
    StretchDIBits(one.dc, 0, 0, 1, 1, 0, 0, 1, 1, bits, &info);
    EXPECT_EQ(GetPixel(one.dc, 0, 0), RGB(255, 0, 0));
    // A negative destination width mirrors.
    Canvas m(2, 2);
    StretchDIBits(m.dc, 1, 0, -2, 2, 0, 0, 2, 2, bits, &info);
    EXPECT_EQ(GetPixel(m.dc, 0, 1), RGB(0, 255, 0));
}

TEST(Gdi, StretchDIBitsUsesTheColourTableOfEightBitImages) {
    struct {
        BitmapInfoHeader h;
        RgbQuad colors[256];
    } info{};
    info.h.biSize = 40;
    info.h.biWidth = 3;
    info.h.biHeight = -1;  // top-down
    info.h.biPlanes = 1;
    info.h.biBitCount = 8;
    info.colors[7] = RgbQuad{10, 20, 30, 0};
    uint8_t bits[4] = {7, 0, 7, 0};
    Canvas c(3, 1);
    StretchDIBits(c.dc, 0, 0, 3, 1, 0, 0, 3, 1, bits, reinterpret_cast<const BitmapInfo*>(&info));
    EXPECT_EQ(GetPixel(c.dc, 0, 0), RGB(30, 20, 10));
    EXPECT_EQ(GetPixel(c.dc, 1, 0), RGB(0, 0, 0));
}

TEST(Gdi, TextIsMeasuredAndPlacedByItsAlignment) {
    Canvas c(200, 40);
    HFONT f = CreateFont(-20, FW_NORMAL, false, false, FF_SWISS, "Arial");
    SelectObject(c.dc, f);
    SIZE empty, narrow, wide;
    GetTextExtentPoint32(c.dc, "", &empty);
    GetTextExtentPoint32(c.dc, "iii", &narrow);
    GetTextExtentPoint32(c.dc, "WWW", &wide);
    EXPECT_EQ(empty.cx, 0);
    EXPECT_GT(narrow.cx, 0);
    EXPECT_GT(wide.cx, 2 * narrow.cx);
    SetBkMode(c.dc, TRANSPARENT);
    SetTextAlign(c.dc, TA_RIGHT);
    TextOut(c.dc, 100, 5, "WWW");
    int minX = 1000, maxX = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (GetPixel(c.dc, x, y) != RGB(255, 255, 255)) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
    EXPECT_LT(maxX, 100);
    EXPECT_GE(maxX, 96);
    EXPECT_NEAR(minX, 100 - wide.cx, 2);
    // Opaque text fills its whole cell with the background colour.
    Canvas o(100, 40);
    SelectObject(o.dc, f);
    SetBkMode(o.dc, OPAQUE);
    SetBkColor(o.dc, RGB(0, 0, 255));
    TextOut(o.dc, 10, 10, "iii");
    EXPECT_EQ(GetPixel(o.dc, 10, 10), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(o.dc, 10 + narrow.cx - 1, 10 + narrow.cy - 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(o.dc, 10 + narrow.cx, 10), RGB(255, 255, 255));
    DeleteDC(c.dc);
    c.dc = CreateCompatibleDC(nullptr);
    DeleteObject(f);
}

TEST(Gdi, PngOutputHasTheImageSize) {
    std::string dir = kvtest::TempDir("png");
    std::vector<uint32_t> px(7 * 3, 0xFF112233u);
    ASSERT_TRUE(WritePng(dir + "/a.png", px.data(), 7, 3));
    std::string bytes = kvtest::ReadFileBytes(dir + "/a.png");
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_EQ(static_cast<uint8_t>(bytes[19]), 7);  // IHDR width, big-endian
    EXPECT_EQ(static_cast<uint8_t>(bytes[23]), 3);
    EXPECT_FALSE(WritePng(dir + "/missing/b.png", px.data(), 7, 3));
}

TEST(Gdi, StretchDIBitsCopiesThirtyTwoBitRowsOneToOneWithinTheClip) {
    // 5 x 3 pixels, bottom-up, each value distinct; alpha 0 in the source comes out opaque.
    uint32_t bits[15];
    for (int i = 0; i < 15; ++i) bits[i] = 0x00010203u * static_cast<uint32_t>(i + 1);
    BitmapInfo info{};
    info.header.biSize = 40;
    info.header.biWidth = 5;
    info.header.biHeight = 3;
    info.header.biPlanes = 1;
    info.header.biBitCount = 32;
    Canvas c(4, 4);
    // Two columns hang off the left edge; the source window starts at column 1.
    StretchDIBits(c.dc, -2, 1, 4, 3, 1, 0, 4, 3, bits, &info);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int i = x + 2;  // target column -> source window column
            COLORREF want = RGB(255, 255, 255);
            if (y >= 1 && i < 4) {
                const uint32_t v = bits[(2 - (y - 1)) * 5 + 1 + i];  // top row is the last
                want = RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
            }
            EXPECT_EQ(GetPixel(c.dc, x, y), want) << x << "," << y;
        }
}

TEST(Gdi, StretchDIBitsShrinksThirtyTwoBitRowsByNearestColumnsWithinTheClip) {
    // 9 x 4 pixels, top-down, each value distinct, drawn into 4 x 2 and 5 x 3 targets that hang
    // off the canvas's edges, with a source window that begins left of the picture.
    uint32_t bits[36];
    for (int i = 0; i < 36; ++i) bits[i] = 0x00030507u * static_cast<uint32_t>(i + 1);
    BitmapInfo info{};
    info.header.biSize = 40;
    info.header.biWidth = 9;
    info.header.biHeight = -4;
    info.header.biPlanes = 1;
    info.header.biBitCount = 32;
    struct Case {
        int dx, dy, dw, dh, sx, sy, sw, sh;
    };
    for (const Case& k : {Case{0, 0, 4, 2, 0, 0, 9, 4}, Case{-2, 1, 5, 3, -1, 0, 9, 4},
                          Case{3, 0, 4, 4, 2, 1, 7, 3}, Case{0, 1, 4, 2, -2, 0, 9, 4}}) {
        Canvas c(5, 4);
        StretchDIBits(c.dc, k.dx, k.dy, k.dw, k.dh, k.sx, k.sy, k.sw, k.sh, bits, &info);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                COLORREF want = RGB(255, 255, 255);
                const int i = x - k.dx, j = y - k.dy;
                if (i >= 0 && i < k.dw && j >= 0 && j < k.dh) {
                    const int col = k.sx + i * k.sw / k.dw, row = k.sy + j * k.sh / k.dh;
                    if (col >= 0 && col < 9) {
                        const uint32_t v = bits[row * 9 + col];
                        want = RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
                    }
                }
                EXPECT_EQ(GetPixel(c.dc, x, y), want)
                    << "case at " << k.dx << "," << k.dy << ": " << x << "," << y;
            }
    }
}
