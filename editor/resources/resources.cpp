// The editor's bitmaps and cursors, drawn by code on first use.
//
// Looks: the transport buttons are 19 x 19 grey bevelled squares carrying a glyph (a square for
// stop, a triangle for play and reverse, a key mark for the key button); pressed buttons are
// sunken with the glyph shifted by one pixel, active ones show a green glyph. Timeline keys are
// 12 x 16 markers: a pointed tab for a key, a flag with a bar for the first key of a later
// picture, red when current, blue on odd pictures. The OK button is an 18 x 18 green square with
// a white tick. The placeholder is the core's placeholder picture packed into one bit per pixel.
#include "editor/resources/resources.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <numbers>

#include "core/picture/placeholder.h"

namespace kv {

namespace {

constexpr uint32_t Rgb(int r, int g, int b) {
    return 0xFF000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

struct Canvas {
    int w, h;
    std::vector<uint32_t> px;
    Canvas(int width, int height, uint32_t fill) : w(width), h(height), px(width * height, fill) {}
    void Set(int x, int y, uint32_t c) {
        if (x >= 0 && y >= 0 && x < w && y < h) px[y * w + x] = c;
    }
    void Fill(int l, int t, int r, int b, uint32_t c) {
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x) Set(x, y, c);
    }
    // A filled triangle (pixel centres inside or on the edges).
    void Triangle(float x0, float y0, float x1, float y1, float x2, float y2, uint32_t c) {
        auto edge = [](float ax, float ay, float bx, float by, float px_, float py) {
            return (bx - ax) * (py - ay) - (by - ay) * (px_ - ax);
        };
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float cx = x + 0.5f, cy = y + 0.5f;
                float e0 = edge(x0, y0, x1, y1, cx, cy), e1 = edge(x1, y1, x2, y2, cx, cy),
                      e2 = edge(x2, y2, x0, y0, cx, cy);
                if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0))
                    Set(x, y, c);
            }
    }
    void Line(int x0, int y0, int x1, int y1, uint32_t c) {
        int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1, dy = -std::abs(y1 - y0),
            sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            Set(x0, y0, c);
            if (x0 == x1 && y0 == y1) break;
            int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
};

const uint32_t Face = Rgb(192, 192, 192), Light = Rgb(255, 255, 255), Shadow = Rgb(96, 96, 96),
               Dark = Rgb(0, 0, 0), Green = Rgb(0, 160, 0);

enum class Glyph { Stop, Play, Reverse, Key };
enum class Look { Normal, Pressed, Active };

ResourceBitmap Button(int id, Glyph g, Look look) {
    Canvas c(19, 19, Face);
    bool sunk = look == Look::Pressed;
    uint32_t tl = sunk ? Shadow : Light, br = sunk ? Light : Shadow;
    c.Fill(0, 0, 19, 1, tl);
    c.Fill(0, 0, 1, 19, tl);
    c.Fill(0, 18, 19, 19, br);
    c.Fill(18, 0, 19, 19, br);
    c.Fill(1, 17, 18, 18, sunk ? Face : Rgb(128, 128, 128));
    int o = sunk ? 1 : 0;
    uint32_t ink = look == Look::Active ? Green : Dark;
    switch (g) {
        case Glyph::Stop:
            c.Fill(5 + o, 5 + o, 14 + o, 14 + o, ink);
            break;
        case Glyph::Play:
            c.Triangle(6.f + o, 4.f + o, 6.f + o, 15.f + o, 14.f + o, 9.5f + o, ink);
            break;
        case Glyph::Reverse:
            c.Triangle(13.f + o, 4.f + o, 13.f + o, 15.f + o, 5.f + o, 9.5f + o, ink);
            break;
        case Glyph::Key:
            // A key mark with a plus: "add a key here".
            c.Triangle(4.f + o, 4.f + o, 12.f + o, 4.f + o, 8.f + o, 10.f + o, ink);
            c.Fill(7 + o, 10 + o, 9 + o, 15 + o, ink);
            c.Fill(11 + o, 11 + o, 16 + o, 12 + o, ink);
            c.Fill(13 + o, 9 + o, 14 + o, 14 + o, ink);
            break;
    }
    return ResourceBitmap{id, 19, 19, 24, c.px, {}};
}

ResourceBitmap KeyMark(int id, bool current, bool odd, bool first) {
    Canvas c(12, 16, Rgb(odd ? 255 : 0, 255, odd ? 0 : 255));  // the band colour behind
    uint32_t fill = current ? Rgb(230, 0, 0) : odd ? Rgb(0, 0, 170) : Rgb(40, 40, 40);
    if (first) {
        // A flag: a bar on the left with a pennant.
        c.Fill(1, 1, 3, 16, Dark);
        c.Triangle(3.f, 1.f, 3.f, 10.f, 11.f, 5.5f, fill);
    } else {
        // A tab pointing down at the key's frame.
        c.Fill(1, 1, 11, 9, fill);
        c.Triangle(1.f, 9.f, 11.f, 9.f, 6.f, 15.f, fill);
        c.Fill(1, 1, 11, 2, Dark);
    }
    if (current) c.Fill(4, 3, 8, 7, Light);
    return ResourceBitmap{id, 12, 16, 24, c.px, {}};
}

ResourceBitmap OkButton(int id, bool pressed) {
    Canvas c(18, 18, pressed ? Rgb(0, 110, 0) : Rgb(0, 170, 0));
    c.Fill(0, 0, 18, 1, pressed ? Dark : Light);
    c.Fill(0, 0, 1, 18, pressed ? Dark : Light);
    c.Fill(0, 17, 18, 18, pressed ? Light : Dark);
    c.Fill(17, 0, 18, 18, pressed ? Light : Dark);
    int o = pressed ? 1 : 0;
    for (int t = 0; t < 2; ++t) {
        c.Line(4 + o, 9 + o + t, 7 + o, 12 + o + t, Light);
        c.Line(7 + o, 12 + o + t, 13 + o, 5 + o + t, Light);
    }
    return ResourceBitmap{id, 18, 18, 24, c.px, {}};
}

ResourceBitmap PanelTile() {
    // A quiet brushed grey that tiles seamlessly (every term repeats over 128 pixels).
    Canvas c(128, 128, Face);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            double v = 196 + 4 * std::sin((x + 2 * y) * 2 * std::numbers::pi / 64) +
                       3 * std::sin(y * 2 * std::numbers::pi / 16);
            int g = static_cast<int>(std::lround(v));
            c.Set(x, y, Rgb(g, g, g + 2));
        }
    return ResourceBitmap{BmpPanelTile, 128, 128, 24, c.px, {}};
}

ResourceBitmap Placeholder() {
    ResourceBitmap r{BmpPlaceholder, 0, 0, 1, {}, {}};
    CDIB image(1, 1, 24);
    if (!LoadPlaceholder(image)) return r;
    r.width = image.Width();
    r.height = image.Height();
    int rowBytes = (r.width + 7) / 8;
    r.monoBits.assign(static_cast<size_t>(rowBytes) * r.height, 0);
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* row = image.Row(r.height - 1 - y);
        for (int x = 0; x < r.width; ++x)
            if (row[3 * x])
                r.monoBits[y * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    return r;
}

ResourceBitmap AppIcon() {
    Canvas c(32, 32, Rgb(30, 60, 120));
    // A camera frame over a picture: the program's sign.
    c.Fill(4, 20, 28, 28, Rgb(40, 140, 60));
    c.Triangle(4.f, 22.f, 14.f, 10.f, 24.f, 22.f, Rgb(90, 170, 90));
    for (int i = 0; i < 2; ++i) {
        c.Fill(7 + i, 7 + i, 25 - i, 8 + i, Light);
        c.Fill(7 + i, 24 - i, 25 - i, 25 - i, Light);
        c.Fill(7 + i, 7 + i, 8 + i, 25 - i, Light);
        c.Fill(24 - i, 7 + i, 25 - i, 25 - i, Light);
    }
    return ResourceBitmap{IconApp, 32, 32, 24, c.px, {}};
}

// Cursors: black shapes with a white rim so they show on any picture.
ResourceCursor MakeCursor(int id, int hotX, int hotY, const std::function<bool(int, int)>& ink) {
    ResourceCursor cur{id, 32, 32, hotX, hotY, std::vector<uint32_t>(32 * 32, 0)};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (ink(x, y)) {
                cur.pixels[y * 32 + x] = 0xFF000000u;
                continue;
            }
            bool rim = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (x + dx >= 0 && y + dy >= 0 && x + dx < 32 && y + dy < 32 &&
                        ink(x + dx, y + dy))
                        rim = true;
            if (rim) cur.pixels[y * 32 + x] = 0xFFFFFFFFu;
        }
    return cur;
}

bool Arrowhead(int x, int y, int tipX, int tipY, int dirX, int dirY) {
    // A small triangle pointing along (dirX, dirY) with its tip at (tipX, tipY).
    int along = (tipX - x) * dirX + (tipY - y) * dirY;
    int across = std::abs((x - tipX) * dirY - (y - tipY) * dirX);
    return along >= 0 && along <= 4 && across <= along;
}

std::map<int, ResourceCursor> MakeCursors() {
    std::map<int, ResourceCursor> m;
    // Move: a four-way cross.
    m[CursorMove] = MakeCursor(CursorMove, 15, 15, [](int x, int y) {
        bool bar = (std::abs(x - 15) <= 0 && y >= 5 && y <= 25) ||
                   (std::abs(y - 15) <= 0 && x >= 5 && x <= 25);
        return bar || Arrowhead(x, y, 15, 3, 0, -1) || Arrowhead(x, y, 15, 27, 0, 1) ||
               Arrowhead(x, y, 3, 15, -1, 0) || Arrowhead(x, y, 27, 15, 1, 0);
    });
    // Rotate: three quarters of a ring with an arrowhead.
    m[CursorRotate] = MakeCursor(CursorRotate, 15, 15, [](int x, int y) {
        double dx = x - 15, dy = y - 15, r = std::sqrt(dx * dx + dy * dy);
        bool ring = r >= 8.5 && r <= 10 && !(dx > 0 && dy < 0);
        return ring || Arrowhead(x, y, 26, 11, 0, 1) || (x == 15 && y == 15);
    });
    // Tilt: a trapezoid leaning back, with a double arrow below.
    m[CursorTilt] = MakeCursor(CursorTilt, 15, 15, [](int x, int y) {
        bool top = y == 8 && x >= 11 && x <= 19;
        bool bottom = y == 18 && x >= 7 && x <= 23;
        bool left = y >= 8 && y <= 18 && x == 11 - (y - 8) * 4 / 10;
        bool right = y >= 8 && y <= 18 && x == 19 + (y - 8) * 4 / 10;
        bool arrow = y == 24 && x >= 9 && x <= 21;
        return top || bottom || left || right || arrow || Arrowhead(x, y, 6, 24, -1, 0) ||
               Arrowhead(x, y, 24, 24, 1, 0);
    });
    return m;
}

std::map<int, ResourceBitmap> MakeBitmaps() {
    std::map<int, ResourceBitmap> m;
    auto add = [&](ResourceBitmap b) { m[b.id] = std::move(b); };
    add(Button(BmpStop, Glyph::Stop, Look::Normal));
    add(Button(BmpStopPressed, Glyph::Stop, Look::Pressed));
    add(Button(BmpStopActive, Glyph::Stop, Look::Active));
    add(Button(BmpPlay, Glyph::Play, Look::Normal));
    add(Button(BmpPlayPressed, Glyph::Play, Look::Pressed));
    add(Button(BmpPlayActive, Glyph::Play, Look::Active));
    add(Button(BmpReverse, Glyph::Reverse, Look::Normal));
    add(Button(BmpReversePressed, Glyph::Reverse, Look::Pressed));
    add(Button(BmpReverseActive, Glyph::Reverse, Look::Active));
    add(Button(BmpKeyButton, Glyph::Key, Look::Normal));
    add(Button(BmpKeyButtonPressed, Glyph::Key, Look::Pressed));
    add(PanelTile());
    add(KeyMark(BmpKey, false, false, false));
    add(KeyMark(BmpKeyCurrent, true, false, false));
    add(KeyMark(BmpKeyOdd, false, true, false));
    add(KeyMark(BmpKeyCurrentOdd, true, true, false));
    add(KeyMark(BmpFirstKey, false, true, true));
    add(KeyMark(BmpFirstKeyCurrent, true, true, true));
    add(OkButton(BmpOk, false));
    add(OkButton(BmpOkPressed, true));
    add(Placeholder());
    add(AppIcon());
    return m;
}

}  // namespace

// The tables are made once, on first use (a static's start is safe across threads), and only
// read after.
const ResourceBitmap* FindBitmapResource(int id) {
    static const std::map<int, ResourceBitmap> bitmaps = MakeBitmaps();
    auto it = bitmaps.find(id);
    return it == bitmaps.end() ? nullptr : &it->second;
}

const ResourceCursor* FindCursorResource(int id) {
    static const std::map<int, ResourceCursor> cursors = MakeCursors();
    auto it = cursors.find(id);
    return it == cursors.end() ? nullptr : &it->second;
}

std::vector<int> BitmapResourceIds() {
    return {BmpStop,
            BmpPlayPressed,
            BmpPlayActive,
            BmpReverse,
            BmpReversePressed,
            BmpReverseActive,
            BmpPlay,
            BmpStopPressed,
            BmpStopActive,
            BmpKeyButton,
            BmpKeyButtonPressed,
            BmpPanelTile,
            BmpKey,
            BmpOkPressed,
            BmpOk,
            BmpKeyCurrent,
            BmpKeyCurrentOdd,
            BmpKeyOdd,
            BmpFirstKeyCurrent,
            BmpFirstKey,
            BmpPlaceholder,
            IconApp};
}

bool LoadMonoBitmap(CDIB* image, int resourceId) {
    if (!image) return false;
    const ResourceBitmap* bm = FindBitmapResource(resourceId);
    if (!bm || bm->bitCount != 1 || bm->width <= 0 || bm->height <= 0) return false;
    if (!image->Create(bm->width, bm->height, 24)) return false;
    int rowBytes = (bm->width + 7) / 8;
    for (int y = 0; y < bm->height; ++y) {
        // Resource rows are top-down; the image is bottom-up.
        uint8_t* row = image->Row(bm->height - 1 - y);
        const uint8_t* bits = &bm->monoBits[static_cast<size_t>(y) * rowBytes];
        for (int x = 0; x < bm->width; ++x) {
            uint8_t v = (bits[x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
            std::memset(row + 3 * x, v, 3);
        }
    }
    return true;
}

}  // namespace kv
