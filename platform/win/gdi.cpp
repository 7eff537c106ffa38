// The software rasteriser behind the device contexts: objects, shapes and bitmaps.
//
// Every shape is first rasterised into a coverage mask (one byte per surface pixel, cleared over
// its bounding box after use) and then applied once with the DC's raster operation; this keeps
// overlapping parts of wide or joined strokes from being inverted twice under R2_NOT.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/win/internal.h"
#include "platform/win/sharp_text.h"
#include "platform/win/text_render.h"

namespace kv {

namespace {

enum class ObjKind { Pen, Brush, Font, Bitmap };

}  // namespace

struct GdiObject {
    ObjKind kind;
    bool stock = false;
    COLORREF colour = 0;
    int width = 1;
    int style = PS_SOLID;
    bool nullBrush = false;
    FontSpec font;
    int bmW = 0, bmH = 0;
    std::vector<uint32_t> bits;
};

namespace {

// Global: the count of live drawing objects, a leak check for tests; UI thread only, like
// every drawing call.
int g_liveObjects = 0;

GdiObject* NewObject(ObjKind k) {
    ++g_liveObjects;
    auto* o = new GdiObject{};
    o->kind = k;
    return o;
}

// The stock objects live for the whole program and are never deleted, as callers expect.
GdiObject* Stock(int which) {
    static GdiObject nullBrush{ObjKind::Brush, true, 0, 1, PS_SOLID, true, {}, 0, 0, {}};
    static GdiObject nullPen{ObjKind::Pen, true, 0, 1, PS_NULL, false, {}, 0, 0, {}};
    static GdiObject blackPen{ObjKind::Pen, true, 0, 1, PS_SOLID, false, {}, 0, 0, {}};
    static GdiObject whiteBrush{ObjKind::Brush, true, 0xFFFFFF, 1, PS_SOLID, false, {}, 0, 0, {}};
    static GdiObject blackBrush{ObjKind::Brush, true, 0, 1, PS_SOLID, false, {}, 0, 0, {}};
    static GdiObject systemFont = [] {
        GdiObject f{ObjKind::Font, true, 0, 1, PS_SOLID, false, {}, 0, 0, {}};
        f.font.height = 13;
        return f;
    }();
    switch (which) {
        case NULL_BRUSH:
            return &nullBrush;
        case NULL_PEN:
            return &nullPen;
        case BLACK_PEN:
            return &blackPen;
        case WHITE_BRUSH:
            return &whiteBrush;
        case BLACK_BRUSH:
            return &blackBrush;
        default:
            return &systemFont;
    }
}

uint32_t ToBgra(COLORREF c) {
    return 0xFF000000u | (static_cast<uint32_t>(GetRValue(c)) << 16) |
           (static_cast<uint32_t>(GetGValue(c)) << 8) | static_cast<uint32_t>(GetBValue(c));
}
COLORREF FromBgra(uint32_t p) {
    return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255);
}

// --- Coverage mask --------------------------------------------------------------------------
struct Mask {
    HDC dc;
    std::vector<uint8_t>& m;
    int minX, minY, maxX, maxY;
    explicit Mask(HDC d) : dc(d), m(Buffer()) {
        size_t need = static_cast<size_t>(d->surfaceWidth) * d->surfaceHeight;
        if (m.size() < need) m.assign(need, 0);
        minX = minY = 1 << 30;
        maxX = maxY = -(1 << 30);
    }
    static std::vector<uint8_t>& Buffer() {
        thread_local std::vector<uint8_t> buf;
        return buf;
    }
    // Plots a logical point.
    void Plot(int x, int y) {
        int sx = x + dc->originX, sy = y + dc->originY;
        if (sx < dc->clip.left || sx >= dc->clip.right || sy < dc->clip.top ||
            sy >= dc->clip.bottom)
            return;
        m[static_cast<size_t>(sy) * dc->surfaceWidth + sx] = 1;
        minX = std::min(minX, sx);
        maxX = std::max(maxX, sx);
        minY = std::min(minY, sy);
        maxY = std::max(maxY, sy);
    }
    void Stamp(int x, int y, int w) {
        if (w <= 1) {
            Plot(x, y);
            return;
        }
        int lo = -(w - 1) / 2, hi = w / 2;
        double r = w / 2.0;
        for (int dy = lo; dy <= hi; ++dy)
            for (int dx = lo; dx <= hi; ++dx) {
                double cx = dx - (w % 2 == 0 ? 0.5 : 0.0), cy = dy - (w % 2 == 0 ? 0.5 : 0.0);
                if (w < 3 || cx * cx + cy * cy <= r * r + 0.25) Plot(x + dx, y + dy);
            }
    }
    // Applies the mask with a raster operation and clears it.
    void Apply(COLORREF colour, int rop) {
        if (maxX < minX) return;
        uint32_t c = ToBgra(colour);
        for (int y = minY; y <= maxY; ++y) {
            uint8_t* mr = &m[static_cast<size_t>(y) * dc->surfaceWidth];
            uint32_t* pr = dc->pixels + static_cast<size_t>(y) * dc->stride;
            for (int x = minX; x <= maxX; ++x) {
                if (!mr[x]) continue;
                mr[x] = 0;
                uint32_t& p = pr[x];
                switch (rop) {
                    case R2_NOT:
                        p = (p ^ 0x00FFFFFFu) | 0xFF000000u;
                        break;
                    case R2_XORPEN:
                        p = (p ^ (c & 0x00FFFFFFu)) | 0xFF000000u;
                        break;
                    case R2_BLACK:
                        p = 0xFF000000u;
                        break;
                    case R2_WHITE:
                        p = 0xFFFFFFFFu;
                        break;
                    case R2_NOP:
                        break;
                    default:
                        p = c;
                        break;
                }
            }
        }
        if (dc->window) dc->window->changed = true;
    }
};

// Dash patterns of cosmetic (width 1) pens, in pixels on/off.
const std::vector<int>& PatternOf(int style) {
    static const std::vector<int> solid{}, dash{18, 6}, dot{3, 3}, dashdot{9, 6, 3, 6},
        dashdotdot{9, 3, 3, 3, 3, 3};
    switch (style) {
        case PS_DASH:
            return dash;
        case PS_DOT:
            return dot;
        case PS_DASHDOT:
            return dashdot;
        case PS_DASHDOTDOT:
            return dashdotdot;
        default:
            return solid;
    }
}

struct PenState {
    int width = 1;
    int style = PS_SOLID;
    int patPos = 0;
    bool On() {
        const auto& pat = PatternOf(width > 1 ? PS_SOLID : style);
        if (pat.empty()) return true;
        int total = 0;
        for (int v : pat) total += v;
        int p = patPos++ % total;
        for (size_t i = 0; i < pat.size(); ++i) {
            if (p < pat[i]) return i % 2 == 0;
            p -= pat[i];
        }
        return true;
    }
};

// Bresenham line from (x0, y0) to (x1, y1), last point excluded (as GDI draws it).
void Line(Mask& mk, PenState& pen, int x0, int y0, int x1, int y1) {
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (!(x0 == x1 && y0 == y1)) {
        if (pen.On()) mk.Stamp(x0, y0, pen.width);
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

bool PenDraws(HDC dc) {
    return dc->pen && dc->pen->style != PS_NULL;
}
bool BrushFills(HDC dc) {
    return dc->brush && !dc->brush->nullBrush;
}
PenState PenOf(HDC dc) {
    PenState p;
    p.width = std::max(1, dc->pen ? dc->pen->width : 1);
    p.style = dc->pen ? dc->pen->style : PS_SOLID;
    return p;
}

// Outline of a closed polygon through the points.
void ClosedOutline(Mask& mk, PenState& pen, const std::vector<POINT>& pts) {
    if (pts.size() == 1) {
        mk.Stamp(pts[0].x, pts[0].y, pen.width);
        return;
    }
    for (size_t i = 0; i < pts.size(); ++i) {
        const POINT& a = pts[i];
        const POINT& b = pts[(i + 1) % pts.size()];
        Line(mk, pen, a.x, a.y, b.x, b.y);
    }
}

// A region given as a predicate over a box of logical pixels: fill it, or outline it with the
// pixels within `width` steps of its edge (4-neighbour erosion).
template <class Inside>
void RegionFill(Mask& mk, int l, int t, int r, int b, Inside inside) {
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x)
            if (inside(x, y)) mk.Plot(x, y);
}

template <class Inside>
void RegionOutline(Mask& mk, int l, int t, int r, int b, int width, Inside inside) {
    int w = r - l, h = b - t;
    if (w <= 0 || h <= 0) return;
    std::vector<int> depth(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) depth[y * w + x] = inside(x + l, y + t) ? 1 << 20 : 0;
    // Distance (in 4-neighbour steps) to the outside, up to width.
    const int inf = 1 << 20;
    auto at = [&](int xx, int yy) {
        if (xx < 0 || yy < 0 || xx >= w || yy >= h) return 0;
        return depth[yy * w + xx];
    };
    for (int pass = 1; pass <= width; ++pass)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int& d = depth[y * w + x];
                if (d != inf) continue;
                if (at(x - 1, y) == pass - 1 || at(x + 1, y) == pass - 1 ||
                    at(x, y - 1) == pass - 1 || at(x, y + 1) == pass - 1)
                    d = pass;
            }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int d = depth[y * w + x];
            if (d > 0 && d <= width) mk.Plot(x + l, y + t);
        }
}

struct EllipseTest {
    double cx, cy, rx, ry;
    EllipseTest(int l, int t, int r, int b)
        : cx((l + r - 1) / 2.0), cy((t + b - 1) / 2.0), rx((r - l) / 2.0), ry((b - t) / 2.0) {}
    bool operator()(int x, int y) const {
        if (rx <= 0 || ry <= 0) return false;
        double u = (x - cx) / rx, v = (y - cy) / ry;
        return u * u + v * v <= 1.0;
    }
};

struct RoundRectTest {
    int l, t, r, b, cw, ch;
    bool operator()(int x, int y) const {
        if (x < l || x >= r || y < t || y >= b) return false;
        int hw = cw / 2, hh = ch / 2;
        if (cw < 2 || ch < 2) return true;
        if (x < l + hw && y < t + hh) return EllipseTest(l, t, l + cw, t + ch)(x, y);
        if (x >= r - hw && y < t + hh) return EllipseTest(r - cw, t, r, t + ch)(x, y);
        if (x < l + hw && y >= b - hh) return EllipseTest(l, b - ch, l + cw, b)(x, y);
        if (x >= r - hw && y >= b - hh) return EllipseTest(r - cw, b - ch, r, b)(x, y);
        return true;
    }
};

}  // namespace

// --- Objects -----------------------------------------------------------------------------------
HPEN CreatePen(int style, int width, COLORREF colour) {
    GdiObject* o = NewObject(ObjKind::Pen);
    o->style = style;
    o->width = width < 1 ? 1 : width;
    o->colour = colour & 0xFFFFFF;
    return o;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    GdiObject* o = NewObject(ObjKind::Brush);
    o->colour = colour & 0xFFFFFF;
    return o;
}

HGDIOBJ GetStockObject(int which) {
    return Stock(which);
}

HFONT CreateFont(int height, int weight, bool italic, bool underline, int pitchAndFamily,
                 const std::string& face) {
    GdiObject* o = NewObject(ObjKind::Font);
    o->font.height = height < 0 ? -height : (height == 0 ? 13 : height);
    o->font.bold = weight >= 600;
    o->font.italic = italic;
    o->font.underline = underline;
    o->font.serif = (pitchAndFamily & 0xF0) == FF_ROMAN;
    o->font.face = face;
    return o;
}

HBITMAP CreateBitmap32(int width, int height, const uint32_t* bits) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
    GdiObject* o = NewObject(ObjKind::Bitmap);
    o->bmW = width;
    o->bmH = height;
    o->bits.assign(static_cast<size_t>(width) * height, 0xFF000000u);
    if (bits) std::memcpy(o->bits.data(), bits, o->bits.size() * 4);
    return o;
}

bool GetBitmapSize(HBITMAP bitmap, int* width, int* height) {
    if (!bitmap || bitmap->kind != ObjKind::Bitmap) return false;
    *width = bitmap->bmW;
    *height = bitmap->bmH;
    return true;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
    if (!hdc || !obj) return nullptr;
    HGDIOBJ old = nullptr;
    switch (obj->kind) {
        case ObjKind::Pen:
            old = hdc->pen;
            hdc->pen = obj;
            break;
        case ObjKind::Brush:
            old = hdc->brush;
            hdc->brush = obj;
            break;
        case ObjKind::Font:
            old = hdc->font;
            hdc->font = obj;
            break;
        case ObjKind::Bitmap:
            if (hdc->window) return nullptr;
            old = hdc->bitmap;
            hdc->bitmap = obj;
            hdc->pixels = obj->bits.data();
            hdc->stride = hdc->surfaceWidth = obj->bmW;
            hdc->surfaceHeight = obj->bmH;
            hdc->clip = Rect{0, 0, obj->bmW, obj->bmH};
            break;
    }
    return old;
}

bool DeleteObject(HGDIOBJ obj) {
    if (!obj || obj->stock) return false;
    --g_liveObjects;
    delete obj;
    return true;
}

int GdiObjectCount() {
    return g_liveObjects;
}

// --- Device contexts ---------------------------------------------------------------------------
int SaveDC(HDC hdc) {
    if (!hdc) return 0;
    hdc->saved.push_back(SavedDcState{hdc->pen, hdc->brush, hdc->font, hdc->clip});
    return static_cast<int>(hdc->saved.size());
}

bool RestoreDC(HDC hdc, int level) {
    if (!hdc || level < 1 || level > static_cast<int>(hdc->saved.size())) return false;
    const SavedDcState& s = hdc->saved[static_cast<size_t>(level) - 1];
    hdc->pen = s.pen;
    hdc->brush = s.brush;
    hdc->font = s.font;
    hdc->clip = s.clip;
    hdc->saved.resize(static_cast<size_t>(level) - 1);
    return true;
}

bool IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    if (!hdc) return false;
    Rect& c = hdc->clip;
    c.left = std::max(c.left, left + hdc->originX);
    c.top = std::max(c.top, top + hdc->originY);
    c.right = std::max(c.left, std::min(c.right, right + hdc->originX));
    c.bottom = std::max(c.top, std::min(c.bottom, bottom + hdc->originY));
    return true;
}

bool GetClipBox(HDC hdc, Rect* box) {
    if (!hdc || !box) return false;
    *box = Rect{hdc->clip.left - hdc->originX, hdc->clip.top - hdc->originY,
                hdc->clip.right - hdc->originX, hdc->clip.bottom - hdc->originY};
    return true;
}

HDC GetDC(HWND hwnd) {
    if (!IsWindow(hwnd)) return nullptr;
    auto* dc = new DeviceContext{};
    Rect c = ClientAreaInSurface(hwnd);
    dc->pixels = hwnd->surface.data();
    dc->stride = dc->surfaceWidth = hwnd->surfW;
    dc->surfaceHeight = hwnd->surfH;
    dc->originX = c.left;
    dc->originY = c.top;
    dc->clip = c;
    dc->window = hwnd;
    dc->pen = Stock(BLACK_PEN);
    dc->brush = Stock(WHITE_BRUSH);
    dc->font = hwnd->font ? hwnd->font : Stock(-1);
    return dc;
}

int ReleaseDC(HWND, HDC hdc) {
    if (!hdc) return 0;
    delete hdc;
    return 1;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    HDC dc = GetDC(hwnd);
    if (ps) {
        ps->hdc = dc;
        GetClientRect(hwnd, &ps->rcPaint);
    }
    ValidateRect(hwnd, nullptr);
    return dc;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (ps) ReleaseDC(hwnd, ps->hdc);
    return true;
}

HDC CreateCompatibleDC(HDC) {
    auto* dc = new DeviceContext{};
    // A memory DC draws into one shared pixel until a bitmap is selected; nothing reads it back.
    static uint32_t one = 0xFF000000u;
    dc->pixels = &one;
    dc->stride = dc->surfaceWidth = dc->surfaceHeight = 1;
    dc->clip = Rect{0, 0, 1, 1};
    dc->pen = Stock(BLACK_PEN);
    dc->brush = Stock(WHITE_BRUSH);
    dc->font = Stock(-1);
    return dc;
}

bool DeleteDC(HDC hdc) {
    delete hdc;
    return true;
}

int SetROP2(HDC hdc, int rop) {
    int old = hdc->rop2;
    hdc->rop2 = rop;
    return old;
}
int GetROP2(HDC hdc) {
    return hdc->rop2;
}
int SetBkMode(HDC hdc, int mode) {
    int old = hdc->bkMode;
    hdc->bkMode = mode;
    return old;
}
COLORREF SetBkColor(HDC hdc, COLORREF c) {
    COLORREF old = hdc->bkColor;
    hdc->bkColor = c & 0xFFFFFF;
    return old;
}
COLORREF SetTextColor(HDC hdc, COLORREF c) {
    COLORREF old = hdc->textColor;
    hdc->textColor = c & 0xFFFFFF;
    return old;
}
uint32_t SetTextAlign(HDC hdc, uint32_t a) {
    uint32_t old = hdc->textAlign;
    hdc->textAlign = a;
    return old;
}
int SetStretchBltMode(HDC hdc, int mode) {
    int old = hdc->stretchMode;
    hdc->stretchMode = mode;
    return old;
}

// --- Shapes ------------------------------------------------------------------------------------
bool MoveToEx(HDC hdc, int x, int y, POINT* old) {
    if (!hdc) return false;
    if (old) *old = POINT{hdc->curX, hdc->curY};
    hdc->curX = x;
    hdc->curY = y;
    return true;
}

bool LineTo(HDC hdc, int x, int y) {
    if (!hdc) return false;
    if (PenDraws(hdc)) {
        Mask mk(hdc);
        PenState pen = PenOf(hdc);
        Line(mk, pen, hdc->curX, hdc->curY, x, y);
        mk.Apply(hdc->pen->colour, hdc->rop2);
    }
    hdc->curX = x;
    hdc->curY = y;
    return true;
}

bool Polyline(HDC hdc, const POINT* pts, int count) {
    if (!hdc || !pts || count < 2) return false;
    if (!PenDraws(hdc)) return true;
    Mask mk(hdc);
    PenState pen = PenOf(hdc);
    for (int i = 0; i + 1 < count; ++i)
        Line(mk, pen, pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y);
    mk.Apply(hdc->pen->colour, hdc->rop2);
    return true;
}

bool Polygon(HDC hdc, const POINT* pts, int count) {
    if (!hdc || !pts || count < 2) return false;
    std::vector<POINT> v(pts, pts + count);
    if (BrushFills(hdc)) {
        Mask mk(hdc);
        int minY = v[0].y, maxY = v[0].y;
        for (auto& p : v) {
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
        // Even-odd fill sampled at pixel centres.
        for (int y = minY; y <= maxY; ++y) {
            double sy = y + 0.5;
            std::vector<double> xs;
            for (size_t i = 0; i < v.size(); ++i) {
                const POINT& a = v[i];
                const POINT& b = v[(i + 1) % v.size()];
                if ((a.y <= sy && b.y > sy) || (b.y <= sy && a.y > sy))
                    xs.push_back(a.x + (sy - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t i = 0; i + 1 < xs.size(); i += 2) {
                int x0 = static_cast<int>(std::ceil(xs[i] - 0.5));
                int x1 = static_cast<int>(std::ceil(xs[i + 1] - 0.5));
                for (int x = x0; x < x1; ++x) mk.Plot(x, y);
            }
        }
        mk.Apply(hdc->brush->colour, hdc->rop2);
    }
    if (PenDraws(hdc)) {
        Mask mk(hdc);
        PenState pen = PenOf(hdc);
        ClosedOutline(mk, pen, v);
        mk.Apply(hdc->pen->colour, hdc->rop2);
    }
    return true;
}

bool Rectangle(HDC hdc, int l, int t, int r, int b) {
    if (!hdc) return false;
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    bool pen = PenDraws(hdc);
    if (BrushFills(hdc)) {
        Mask mk(hdc);
        int inset = pen ? 1 : 0;
        for (int y = t + inset; y < b - inset; ++y)
            for (int x = l + inset; x < r - inset; ++x) mk.Plot(x, y);
        mk.Apply(hdc->brush->colour, hdc->rop2);
    }
    if (pen && r > l && b > t) {
        Mask mk(hdc);
        PenState ps = PenOf(hdc);
        if (r - l == 1 || b - t == 1) {
            for (int y = t; y < b; ++y)
                for (int x = l; x < r; ++x) mk.Stamp(x, y, ps.width);
        } else {
            ClosedOutline(mk, ps, {{l, t}, {r - 1, t}, {r - 1, b - 1}, {l, b - 1}});
        }
        mk.Apply(hdc->pen->colour, hdc->rop2);
    }
    return true;
}

bool RoundRect(HDC hdc, int l, int t, int r, int b, int cw, int ch) {
    if (!hdc) return false;
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    cw = std::min(std::abs(cw), r - l);
    ch = std::min(std::abs(ch), b - t);
    if (BrushFills(hdc)) {
        Mask mk(hdc);
        RegionFill(mk, l, t, r, b, RoundRectTest{l, t, r, b, cw, ch});
        mk.Apply(hdc->brush->colour, hdc->rop2);
    }
    if (PenDraws(hdc)) {
        Mask mk(hdc);
        int w = std::max(1, hdc->pen->width), g = (w - 1) / 2;
        RegionOutline(mk, l - g, t - g, r + g, b + g, w,
                      RoundRectTest{l - g, t - g, r + g, b + g, cw + 2 * g, ch + 2 * g});
        mk.Apply(hdc->pen->colour, hdc->rop2);
    }
    return true;
}

bool Ellipse(HDC hdc, int l, int t, int r, int b) {
    if (!hdc) return false;
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    if (BrushFills(hdc)) {
        Mask mk(hdc);
        RegionFill(mk, l, t, r, b, EllipseTest(l, t, r, b));
        mk.Apply(hdc->brush->colour, hdc->rop2);
    }
    if (PenDraws(hdc)) {
        Mask mk(hdc);
        int w = std::max(1, hdc->pen->width), g = (w - 1) / 2;
        RegionOutline(mk, l - g, t - g, r + g, b + g, w, EllipseTest(l - g, t - g, r + g, b + g));
        mk.Apply(hdc->pen->colour, hdc->rop2);
    }
    return true;
}

HDC GetClearedDC(HWND w, COLORREF colour, RECT* client) {
    HDC dc = GetDC(w);
    RECT c;
    GetClientRect(w, &c);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &c, brush);
    DeleteObject(brush);
    if (client) *client = c;
    return dc;
}

int FillRect(HDC hdc, const Rect* r, HBRUSH brush) {
    if (!hdc || !r || !brush || brush->kind != ObjKind::Brush || brush->nullBrush) return 0;
    uint32_t c = ToBgra(brush->colour);
    int l = std::max(r->left + hdc->originX, hdc->clip.left);
    int t = std::max(r->top + hdc->originY, hdc->clip.top);
    int rr = std::min(r->right + hdc->originX, hdc->clip.right);
    int bb = std::min(r->bottom + hdc->originY, hdc->clip.bottom);
    for (int y = t; y < bb; ++y)
        std::fill(hdc->pixels + static_cast<size_t>(y) * hdc->stride + l,
                  hdc->pixels + static_cast<size_t>(y) * hdc->stride + std::max(l, rr), c);
    if (hdc->window && rr > l && bb > t) hdc->window->changed = true;
    return 1;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
    int sx = x + hdc->originX, sy = y + hdc->originY;
    if (sx < hdc->clip.left || sx >= hdc->clip.right || sy < hdc->clip.top ||
        sy >= hdc->clip.bottom)
        return 0xFFFFFFFF;
    hdc->pixels[static_cast<size_t>(sy) * hdc->stride + sx] = ToBgra(colour);
    if (hdc->window) hdc->window->changed = true;
    return colour;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    int sx = x + hdc->originX, sy = y + hdc->originY;
    if (sx < hdc->clip.left || sx >= hdc->clip.right || sy < hdc->clip.top ||
        sy >= hdc->clip.bottom)
        return 0xFFFFFFFF;
    return FromBgra(hdc->pixels[static_cast<size_t>(sy) * hdc->stride + sx]);
}

// --- Text --------------------------------------------------------------------------------------
bool TextOut(HDC hdc, int x, int y, const std::string& text) {
    if (!hdc) return false;
    const FontSpec& f = hdc->font ? hdc->font->font : Stock(-1)->font;
    TextRun run = LayoutText(f, text);
    int left = x;
    uint32_t h = hdc->textAlign & 6;
    if (h == TA_CENTER)
        left = x - run.width / 2;
    else if (h == TA_RIGHT)
        left = x - run.width;
    int v = hdc->textAlign & 24;
    int baseline = v == TA_BASELINE ? y : (v == TA_BOTTOM ? y - run.descent : y + run.ascent);
    int top = baseline - run.ascent;
    if (hdc->bkMode == OPAQUE) {
        HBRUSH br = CreateSolidBrush(hdc->bkColor);
        Rect r{left, top, left + run.width, top + run.ascent + run.descent};
        FillRect(hdc, &r, br);
        DeleteObject(br);
    }
    // On a dense display the backend draws the text again at device pixels.
    PendingTextPtr sharp = BeginTextNote(hdc, f, text, run, left, baseline);
    uint32_t tc = ToBgra(hdc->textColor);
    DrawTextRun(run, left, baseline, [&](int px, int py, int cov) {
        int sx = px + hdc->originX, sy = py + hdc->originY;
        if (sx < hdc->clip.left || sx >= hdc->clip.right || sy < hdc->clip.top ||
            sy >= hdc->clip.bottom || cov <= 0)
            return;
        uint32_t& p = hdc->pixels[static_cast<size_t>(sy) * hdc->stride + sx];
        if (cov >= 255) {
            p = tc;
            return;
        }
        uint32_t out = 0xFF000000u;
        for (int sh = 0; sh < 24; sh += 8) {
            int d = (p >> sh) & 255, s = (tc >> sh) & 255;
            out |= static_cast<uint32_t>(d + ((s - d) * cov + 127) / 255) << sh;
        }
        p = out;
    });
    if (f.underline) {
        HPEN pen = CreatePen(PS_SOLID, 1, hdc->textColor);
        HGDIOBJ old = SelectObject(hdc, pen);
        int rop = SetROP2(hdc, R2_COPYPEN);
        MoveToEx(hdc, left, baseline + 1, nullptr);
        LineTo(hdc, left + run.width, baseline + 1);
        SetROP2(hdc, rop);
        SelectObject(hdc, old);
        DeleteObject(pen);
    }
    EndTextNote(std::move(sharp));
    if (hdc->window) hdc->window->changed = true;
    return true;
}

bool GetTextExtentPoint32(HDC hdc, const std::string& text, SIZE* size) {
    if (!hdc || !size) return false;
    const FontSpec& f = hdc->font ? hdc->font->font : Stock(-1)->font;
    TextRun run = LayoutText(f, text);
    size->cx = run.width;
    size->cy = run.ascent + run.descent;
    return true;
}

void GetTextMetrics(HDC hdc, int* ascent, int* height) {
    const FontSpec& f = hdc && hdc->font ? hdc->font->font : Stock(-1)->font;
    TextRun run = LayoutText(f, "");
    if (ascent) *ascent = run.ascent;
    if (height) *height = run.ascent + run.descent;
}

// --- Bitmaps -----------------------------------------------------------------------------------
int StretchDIBits(HDC hdc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                  const void* bits, const BitmapInfo* info) {
    if (!hdc || !bits || !info || dw == 0 || dh == 0 || sw == 0 || sh == 0) return 0;
    const BitmapInfoHeader& hd = info->header;
    int bpp = hd.biBitCount;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
    int w = hd.biWidth, h = hd.biHeight < 0 ? -hd.biHeight : hd.biHeight;
    bool bottomUp = hd.biHeight > 0;
    if (w <= 0 || h <= 0) return 0;
    int stride = ((bpp / 8) * w + 3) & ~3;  // rows padded to 4 bytes
    const auto* src = static_cast<const uint8_t*>(bits);
    bool mirrorX = (dw < 0) != (sw < 0), mirrorY = (dh < 0) != (sh < 0);
    int adw = std::abs(dw), adh = std::abs(dh), asw = std::abs(sw), ash = std::abs(sh);
    if (dw < 0) dx += dw + 1;
    if (dh < 0) dy += dh + 1;
    if (sw < 0) sx += sw + 1;
    if (sh < 0) sy += sh + 1;
    for (int j = 0; j < adh; ++j) {
        int py = dy + j + hdc->originY;
        if (py < hdc->clip.top || py >= hdc->clip.bottom) continue;
        int jj = mirrorY ? adh - 1 - j : j;
        int vs = static_cast<int>((static_cast<int64_t>(jj) * ash) / adh);  // visual row in rect
        // Visual row vs of the source rectangle; a bottom-up DIB counts its origin from below.
        int row = bottomUp ? sy + ash - 1 - vs : sy + vs;
        if (row < 0 || row >= h) continue;
        int memRow = bottomUp ? row : row;  // memory row index (row 0 first in memory)
        const uint8_t* r = src + static_cast<size_t>(memRow) * stride;
        uint32_t* out = hdc->pixels + static_cast<size_t>(py) * hdc->stride;
        if (bpp == 32 && adw == asw && !mirrorX) {
            // One source column per target column (the viewer's frames, every playback step):
            // the visible span is copied straight, alpha made opaque as below.
            const int first = std::max({0, hdc->clip.left - dx - hdc->originX, -sx});
            const int end = std::min({adw, hdc->clip.right - dx - hdc->originX, w - sx});
            const int base = dx + hdc->originX;
            for (int i = first; i < end; ++i) {
                uint32_t v;
                std::memcpy(&v, r + static_cast<size_t>(sx + i) * 4, sizeof v);
                out[base + i] = v | 0xFF000000u;
            }
            continue;
        }
        for (int i = 0; i < adw; ++i) {
            int px = dx + i + hdc->originX;
            if (px < hdc->clip.left || px >= hdc->clip.right) continue;
            int ii = mirrorX ? adw - 1 - i : i;
            int col = sx + static_cast<int>((static_cast<int64_t>(ii) * asw) / adw);
            if (col < 0 || col >= w) continue;
            uint32_t p;
            switch (bpp) {
                case 8: {
                    const RgbQuad& q = info->colors[r[col]];
                    p = 0xFF000000u | (q.red << 16) | (q.green << 8) | q.blue;
                    break;
                }
                case 16: {
                    uint16_t v = static_cast<uint16_t>(r[col * 2] | (r[col * 2 + 1] << 8));
                    int rr = (v >> 10) & 31, gg = (v >> 5) & 31, bb = v & 31;
                    p = 0xFF000000u | (((rr << 3) | (rr >> 2)) << 16) |
                        (((gg << 3) | (gg >> 2)) << 8) | ((bb << 3) | (bb >> 2));
                    break;
                }
                case 24:
                    p = 0xFF000000u | (r[col * 3 + 2] << 16) | (r[col * 3 + 1] << 8) | r[col * 3];
                    break;
                default:
                    p = 0xFF000000u | (r[col * 4 + 2] << 16) | (r[col * 4 + 1] << 8) | r[col * 4];
                    break;
            }
            out[px] = p;
        }
    }
    if (!mirrorX && !mirrorY) NotePicture(hdc, dx, dy, adw, adh, sx, sy, asw, ash, bits, info);
    if (hdc->window) hdc->window->changed = true;
    return adh;
}

bool BitBlt(HDC dst, int dx, int dy, int w, int h, HDC src, int sx, int sy, uint32_t rop) {
    if (!dst || !src) return false;
    for (int j = 0; j < h; ++j) {
        int ty = dy + j + dst->originY, fy = sy + j + src->originY;
        if (ty < dst->clip.top || ty >= dst->clip.bottom || fy < 0 || fy >= src->surfaceHeight)
            continue;
        for (int i = 0; i < w; ++i) {
            int tx = dx + i + dst->originX, fx = sx + i + src->originX;
            if (tx < dst->clip.left || tx >= dst->clip.right || fx < 0 || fx >= src->surfaceWidth)
                continue;
            uint32_t s = src->pixels[static_cast<size_t>(fy) * src->stride + fx];
            uint32_t& d = dst->pixels[static_cast<size_t>(ty) * dst->stride + tx];
            if (rop == SRCINVERT)
                d = (d ^ s) | 0xFF000000u;
            else if (rop == NOTSRCCOPY)
                d = (~s) | 0xFF000000u;
            else
                d = s | 0xFF000000u;
        }
    }
    if (dst->window) dst->window->changed = true;
    return true;
}

}  // namespace kv
