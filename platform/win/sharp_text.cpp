// Noted texts and their second drawing at device pixels (see sharp_text.h).
#include "platform/win/sharp_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

namespace kv {

namespace {

// Pixels around a text's run box that belong to it too: overhanging glyphs (italics, accents).
constexpr int kMargin = 2;
// Notes a window keeps at most; the oldest go first.
constexpr size_t kMaxNotes = 1024;

struct Box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // surface coordinates, end exclusive
    int Width() const { return x1 - x0; }
    int Height() const { return y1 - y0; }
    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    bool Meets(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
    bool Holds(const Box& o) const { return o.x0 >= x0 && o.x1 <= x1 && o.y0 >= y0 && o.y1 <= y1; }
};

// Each note's own number, never used again, so that a note can be told from one drawn later in
// the same place.
uint64_t g_nextId = 1;

struct Note {
    uint64_t id = 0;
    Box box;
    std::vector<uint32_t> before, after;  // the box's pixels without and with the text
    FontSpec font;
    std::string text;
    std::vector<int> glyphX;  // pen positions of the logical run
    int width = 0;            // the logical run's advance
    int left = 0, baseline = 0;
    uint32_t colour = 0;
    // The device picture of the box as last drawn, and where (composed coordinates and sizes).
    std::vector<uint32_t> patch;
    int patchX = -1, patchY = -1, patchFw = 0, patchFh = 0, patchDw = 0, patchDh = 0;
};

// A picture drawn from a larger source: its place (surface coordinates, the box the part not
// clipped away), what the window showed there after drawing, and the source, top-down.
struct PictureNote {
    uint64_t id = 0;
    Box box;
    int x = 0, y = 0, w = 0, h = 0;  // the whole destination
    std::vector<uint32_t> after;
    std::vector<uint32_t> source;
    int sw = 0, sh = 0;
};

struct WindowNotes {
    uint64_t serial = 0;
    std::vector<Note> notes;
    std::vector<PictureNote> pictures;
};

// The UI thread's notes, by window.
double g_scale = 1.0;
std::map<const Window*, WindowNotes> g_notes;

// A picture is noted only when it has at most this many more pixels a side than its place
// (the factor, and rounding).
bool SourceFits(int logical, int source) {
    return source > logical && source <= static_cast<int>(std::ceil(logical * g_scale)) + 1;
}

// The box's pixels of a picture (stride in pixels).
std::vector<uint32_t> Cut(const uint32_t* px, int stride, const Box& b, int dx = 0, int dy = 0) {
    std::vector<uint32_t> out(static_cast<size_t>(b.Width()) * b.Height());
    for (int y = b.y0; y < b.y1; ++y)
        std::copy_n(px + static_cast<size_t>(y + dy) * stride + b.x0 + dx, b.Width(),
                    out.begin() + static_cast<ptrdiff_t>(y - b.y0) * b.Width());
    return out;
}

bool Matches(const uint32_t* px, int stride, const Box& b, const std::vector<uint32_t>& want,
             int dx = 0, int dy = 0) {
    for (int y = b.y0; y < b.y1; ++y)
        if (!std::equal(want.begin() + static_cast<ptrdiff_t>(y - b.y0) * b.Width(),
                        want.begin() + static_cast<ptrdiff_t>(y - b.y0 + 1) * b.Width(),
                        px + static_cast<size_t>(y + dy) * stride + b.x0 + dx))
            return false;
    return true;
}

uint32_t ToBgra(COLORREF c) {
    return 0xFF000000u | (static_cast<uint32_t>(GetRValue(c)) << 16) |
           (static_cast<uint32_t>(GetGValue(c)) << 8) | static_cast<uint32_t>(GetBValue(c));
}

uint32_t Blend(uint32_t under, uint32_t ink, int cov) {
    if (cov >= 255) return ink;
    uint32_t out = 0xFF000000u;
    for (int sh = 0; sh < 24; sh += 8) {
        int d = (under >> sh) & 255, s = (ink >> sh) & 255;
        out |= static_cast<uint32_t>(d + ((s - d) * cov + 127) / 255) << sh;
    }
    return out;
}

// The enlargement's mapping (as ScaleNearest has it): the logical index each device index shows,
// and the first device index showing a logical one.
struct Axis {
    int logical = 0, device = 0;
    std::vector<int> source;  // per device index
    Axis(int n, int dn) : logical(n), device(dn), source(static_cast<size_t>(std::max(dn, 0))) {
        for (int d = 0; d < dn; ++d) {
            const int64_t num = (int64_t{d} * 2 + 1) * n, den = int64_t{dn} * 2;
            source[static_cast<size_t>(d)] =
                static_cast<int>(std::min<int64_t>(n - 1, (num + den - 1) / den - 1));
        }
    }
    int Start(int l) const {
        if (l <= 0 || l > logical)
            return static_cast<int>(std::lround(static_cast<double>(l) * device / logical));
        if (l == logical) return device;
        return static_cast<int>(std::lower_bound(source.begin(), source.end(), l) - source.begin());
    }
};

// Draws a note at composed position (cx, cy) of its box into its patch: the enlarged background,
// then the text at device pixels.
void Render(Note& n, int cx, int cy, const Axis& ax, const Axis& ay) {
    const int dx0 = ax.Start(cx), dx1 = ax.Start(cx + n.box.Width());
    const int dy0 = ay.Start(cy), dy1 = ay.Start(cy + n.box.Height());
    const int pw = dx1 - dx0, ph = dy1 - dy0;
    n.patch.assign(static_cast<size_t>(std::max(0, pw)) * std::max(0, ph), 0);
    for (int y = 0; y < ph; ++y) {
        const int sy = ay.source[static_cast<size_t>(dy0 + y)] - cy;
        for (int x = 0; x < pw; ++x) {
            const int sx = ax.source[static_cast<size_t>(dx0 + x)] - cx;
            n.patch[static_cast<size_t>(y) * pw + x] =
                n.before[static_cast<size_t>(sy) * n.box.Width() + sx];
        }
    }
    FontSpec big = n.font;
    big.height = std::max(1, static_cast<int>(std::lround(n.font.height * g_scale)));
    TextRun run = LayoutText(big, n.text);
    // The glyphs stand where the logical ones do, so the text keeps its logical width.
    const int left = cx - n.box.x0 + n.left, base = cy - n.box.y0 + n.baseline;
    const int penX = ax.Start(left);
    if (run.glyphs.size() == n.glyphX.size())
        for (size_t i = 0; i < run.glyphs.size(); ++i)
            run.glyphs[i].x = ax.Start(left + n.glyphX[i]) - penX;
    DrawTextRun(run, penX, ay.Start(base), [&](int px, int py, int cov) {
        const int x = px - dx0, y = py - dy0;
        if (cov <= 0 || x < 0 || y < 0 || x >= pw || y >= ph) return;
        uint32_t& p = n.patch[static_cast<size_t>(y) * pw + x];
        p = Blend(p, n.colour, cov);
    });
    if (n.font.underline) {
        const int y0 = ay.Start(base + 1) - dy0, y1 = ay.Start(base + 2) - dy0;
        const int x0 = std::max(0, penX - dx0), x1 = std::min(pw, ax.Start(left + n.width) - dx0);
        for (int y = std::max(0, y0); y < std::min(ph, y1); ++y)
            std::fill(n.patch.begin() + static_cast<ptrdiff_t>(y) * pw + x0,
                      n.patch.begin() + static_cast<ptrdiff_t>(y) * pw + std::max(x0, x1),
                      n.colour);
    }
    n.patchX = cx;
    n.patchY = cy;
    n.patchFw = ax.logical;
    n.patchFh = ay.logical;
    n.patchDw = ax.device;
    n.patchDh = ay.device;
}

struct Walk {
    const uint32_t* composed;
    int fw, fh;
    uint32_t* device;  // null: only marks are gathered
    const Axis* ax_;
    const Axis* ay_;
    // Composed coordinates: device pixels showing logical pixels outside these are left alone.
    std::vector<Box> clips;
    std::vector<NoteMark>* marks = nullptr;
    const std::vector<uint64_t>* filled = nullptr;  // pictures that lay the enlargement too
    int drawn = 0;

    // Each device pixel of the picture whose logical pixel still shows what the drawing left
    // takes its source pixel; the rest keep the enlargement.
    void Picture(const PictureNote& p, int ox, int oy, const Box& vis) {
        const Box shown{std::max(p.box.x0 + ox, vis.x0), std::max(p.box.y0 + oy, vis.y0),
                        std::min(p.box.x1 + ox, vis.x1), std::min(p.box.y1 + oy, vis.y1)};
        if (shown.Empty()) return;
        if (marks)
            marks->push_back(NoteMark{p.id,
                                      Rect{p.x + ox, p.y + oy, p.x + ox + p.w, p.y + oy + p.h},
                                      Rect{shown.x0, shown.y0, shown.x1, shown.y1}, false});
        if (!device) return;
        const bool fill =
            filled && std::find(filled->begin(), filled->end(), p.id) != filled->end();
        bool any = false;
        for (const Box& clip : clips) {
            const Box at{std::max(shown.x0, clip.x0), std::max(shown.y0, clip.y0),
                         std::min(shown.x1, clip.x1), std::min(shown.y1, clip.y1)};
            if (!at.Empty()) any |= PicturePart(p, ox, oy, at, fill);
        }
        drawn += any;
    }

    // With `fill` the enlargement under the part was left out: the device pixels whose logical
    // pixel no longer shows the picture take the enlargement here.
    bool PicturePart(const PictureNote& p, int ox, int oy, const Box& at, bool fill) {
        const Axis& ax = *ax_;
        const Axis& ay = *ay_;
        const int d0x = ax.Start(p.x + ox), d0y = ay.Start(p.y + oy);
        const int dw = std::max(1, ax.Start(p.x + ox + p.w) - d0x);
        const int dh = std::max(1, ay.Start(p.y + oy + p.h) - d0y);
        const int bw = p.box.Width();
        const int x0 = ax.Start(at.x0), x1 = ax.Start(at.x1);
        // One source pixel per device pixel across (a picture rendered at the display's size):
        // the runs are plain copies.
        const bool straight = p.sw == dw;
        std::vector<int> col(straight ? 0 : static_cast<size_t>(std::max(0, x1 - x0)));
        for (size_t i = 0; i < col.size(); ++i)
            col[i] = static_cast<int>(
                std::min<int64_t>(p.sw - 1, int64_t{x0 + static_cast<int>(i) - d0x} * p.sw / dw));
        // The device columns whose logical pixel of the current logical row still shows what the
        // drawing left (and, to fill, those whose does not), as runs; the device rows of one
        // logical row share them.
        struct Run {
            int a, b;
            bool shows;
        };
        std::vector<Run> runs;
        int runsOf = -1;
        bool any = false;
        for (int y = ay.Start(at.y0); y < ay.Start(at.y1); ++y) {
            const int ly = ay.source[static_cast<size_t>(y)];
            const uint32_t* shown = composed + static_cast<size_t>(ly) * fw;
            if (ly != runsOf) {
                runs.clear();
                runsOf = ly;
                const uint32_t* left = &p.after[static_cast<size_t>(ly - oy - p.box.y0) * bw];
                const int lo = ox + p.box.x0;  // composed x of left[0]
                for (int lx = at.x0; lx < at.x1;) {
                    const int from = lx;
                    const bool shows = shown[lx] == left[lx - lo];
                    while (lx < at.x1 && (shown[lx] == left[lx - lo]) == shows) ++lx;
                    if (shows || fill)
                        runs.push_back(Run{from == at.x0 ? x0 : ax.Start(from),
                                           lx == at.x1 ? x1 : ax.Start(lx), shows});
                }
            }
            if (runs.empty()) continue;
            const int row =
                static_cast<int>(std::min<int64_t>(p.sh - 1, int64_t{y - d0y} * p.sh / dh));
            const uint32_t* src = &p.source[static_cast<size_t>(row) * p.sw];
            uint32_t* out = device + static_cast<size_t>(y) * ax.device;
            for (const auto& [a, b, shows] : runs) {
                if (!shows)
                    for (int x = a; x < b; ++x) out[x] = shown[ax.source[static_cast<size_t>(x)]];
                else if (straight)
                    std::memcpy(out + a, src + (a - d0x), static_cast<size_t>(b - a) * 4);
                else
                    for (int x = a; x < b; ++x) out[x] = src[col[static_cast<size_t>(x - x0)]];
                any |= shows && b > a;
            }
        }
        return any;
    }

    // A window whose surface origin lies at (ox, oy) of the composed picture and shows there
    // only inside `vis`.
    void Visit(const Window* w, int ox, int oy, const Box& vis) {
        auto it = g_notes.find(w);
        if (it != g_notes.end() && it->second.serial == w->serial) {
            const Box own{0, 0, w->surfW, w->surfH};
            std::vector<PictureNote>& pictures = it->second.pictures;
            pictures.erase(std::remove_if(pictures.begin(), pictures.end(),
                                          [&](const PictureNote& p) { return !own.Holds(p.box); }),
                           pictures.end());
            for (const PictureNote& p : pictures) Picture(p, ox, oy, vis);
            std::vector<Note>& notes = it->second.notes;
            for (size_t i = 0; i < notes.size();) {
                Note& n = notes[i];
                if (!own.Holds(n.box) || !Matches(w->surface.data(), w->surfW, n.box, n.after)) {
                    // Drawn over since: the window itself no longer shows it.
                    notes.erase(notes.begin() + static_cast<ptrdiff_t>(i));
                    continue;
                }
                ++i;
                const Box at{n.box.x0 + ox, n.box.y0 + oy, n.box.x1 + ox, n.box.y1 + oy};
                if (!vis.Holds(at)) continue;
                if (marks)
                    marks->push_back(NoteMark{n.id, Rect{at.x0, at.y0, at.x1, at.y1},
                                              Rect{at.x0, at.y0, at.x1, at.y1}, true});
                if (!device ||
                    std::none_of(clips.begin(), clips.end(),
                                 [&](const Box& clip) { return at.Meets(clip); }) ||
                    !Matches(composed, fw, at, n.after))
                    continue;
                const Axis& ax = *ax_;
                const Axis& ay = *ay_;
                if (n.patchX != at.x0 || n.patchY != at.y0 || n.patchFw != fw || n.patchFh != fh ||
                    n.patchDw != ax.device || n.patchDh != ay.device)
                    Render(n, at.x0, at.y0, ax, ay);
                const int dx0 = ax.Start(at.x0), dy0 = ay.Start(at.y0);
                const int pw = ax.Start(at.x1) - dx0;
                // Only the patch's parts that show logical pixels inside the clips.
                for (const Box& clip : clips) {
                    if (!at.Meets(clip)) continue;
                    const int cx0 = ax.Start(std::max(at.x0, clip.x0));
                    const int cx1 = ax.Start(std::min(at.x1, clip.x1));
                    const int cy0 = ay.Start(std::max(at.y0, clip.y0));
                    const int cy1 = ay.Start(std::min(at.y1, clip.y1));
                    for (int y = cy0; y < cy1; ++y)
                        std::copy_n(
                            n.patch.begin() + static_cast<ptrdiff_t>(y - dy0) * pw + (cx0 - dx0),
                            cx1 - cx0, device + static_cast<size_t>(y) * ax.device + cx0);
                }
                ++drawn;
            }
        }
        const Rect c = ClientAreaInSurface(w);
        for (HWND ch : AllWindows()) {
            if (ch->parent != w || !(ch->style & WS_CHILD) || !ch->visible) continue;
            const int cx = ox + c.left + ch->rect.left, cy = oy + c.top + ch->rect.top;
            Box v{std::max({vis.x0, ox + c.left, cx}), std::max({vis.y0, oy + c.top, cy}),
                  std::min({vis.x1, ox + c.right, cx + ch->surfW}),
                  std::min({vis.y1, oy + c.bottom, cy + ch->surfH})};
            if (!v.Empty()) Visit(ch, cx, cy, v);
        }
    }
};

}  // namespace

struct PendingText {
    const Window* window = nullptr;
    HDC dc = nullptr;
    Note note;
};

void SetSharpTextScale(double factor) {
    g_scale = factor;
    if (factor == 1.0) g_notes.clear();
}

double SharpTextScale() {
    return g_scale;
}

void PendingTextDeleter::operator()(PendingText* p) const {
    delete p;
}

PendingTextPtr BeginTextNote(HDC hdc, const FontSpec& font, const std::string& text,
                             const TextRun& run, int left, int baseline) {
    if (g_scale == 1.0 || !hdc || !hdc->window || text.empty()) return nullptr;
    const Window* w = hdc->window;
    const int sl = left + hdc->originX, sb = baseline + hdc->originY;
    Box b{std::max({sl - kMargin, hdc->clip.left, 0}),
          std::max({sb - run.ascent - kMargin, hdc->clip.top, 0}),
          std::min({sl + run.width + kMargin, hdc->clip.right, hdc->surfaceWidth}),
          std::min({sb + run.descent + kMargin, hdc->clip.bottom, hdc->surfaceHeight})};
    if (b.Empty()) return nullptr;
    PendingTextPtr p(new PendingText);
    p->window = w;
    p->dc = hdc;
    Note& n = p->note;
    n.id = g_nextId++;
    n.box = b;
    n.before = Cut(hdc->pixels, hdc->stride, b);
    // Text drawn again over its own still-shown self: the background is what lay under that.
    auto it = g_notes.find(w);
    if (it != g_notes.end() && it->second.serial == w->serial)
        for (const Note& old : it->second.notes) {
            if (!b.Holds(old.box) || !Matches(hdc->pixels, hdc->stride, old.box, old.after))
                continue;
            for (int y = old.box.y0; y < old.box.y1; ++y)
                std::copy_n(
                    old.before.begin() + static_cast<ptrdiff_t>(y - old.box.y0) * old.box.Width(),
                    old.box.Width(),
                    n.before.begin() + static_cast<ptrdiff_t>(y - b.y0) * b.Width() +
                        (old.box.x0 - b.x0));
        }
    n.font = font;
    n.text = text;
    for (const PlacedGlyph& g : run.glyphs) n.glyphX.push_back(g.x);
    n.width = run.width;
    n.left = sl;
    n.baseline = sb;
    n.colour = ToBgra(hdc->textColor);
    return p;
}

void EndTextNote(PendingTextPtr pending) {
    if (!pending) return;
    Note& n = pending->note;
    HDC hdc = pending->dc;
    n.after = Cut(hdc->pixels, hdc->stride, n.box);
    const Window* w = pending->window;
    if (g_notes.size() > 256)
        for (auto it = g_notes.begin(); it != g_notes.end();)
            it = IsWindow(const_cast<Window*>(it->first)) ? std::next(it) : g_notes.erase(it);
    WindowNotes& wn = g_notes[w];
    if (wn.serial != w->serial) {
        wn.serial = w->serial;
        wn.notes.clear();
        wn.pictures.clear();
    }
    // Texts the new one covers or changed are gone; a neighbour whose box only touches this
    // one's margin stays.
    wn.notes.erase(std::remove_if(wn.notes.begin(), wn.notes.end(),
                                  [&](const Note& o) {
                                      return o.box.Meets(n.box) &&
                                             (n.box.Holds(o.box) ||
                                              !Matches(hdc->pixels, hdc->stride, o.box, o.after));
                                  }),
                   wn.notes.end());
    if (n.after == n.before) return;  // nothing shows (blanks, or clipped away)
    if (wn.notes.size() >= kMaxNotes) wn.notes.erase(wn.notes.begin());
    wn.notes.push_back(std::move(n));
}

void NotePicture(HDC hdc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                 const void* bits, const BitmapInfo* info) {
    if (g_scale == 1.0 || !hdc || !hdc->window || !bits || !info) return;
    const BitmapInfoHeader& hd = info->header;
    const int w = hd.biWidth, h = hd.biHeight < 0 ? -hd.biHeight : hd.biHeight;
    if (hd.biBitCount != 32 || w <= 0 || h <= 0 || dw <= 0 || dh <= 0 || sx < 0 || sy < 0 ||
        sx + sw > w || sy + sh > h)
        return;
    const Window* win = hdc->window;
    const int px = dx + hdc->originX, py = dy + hdc->originY;
    const Box box{std::max({px, hdc->clip.left, 0}), std::max({py, hdc->clip.top, 0}),
                  std::min({px + dw, hdc->clip.right, hdc->surfaceWidth}),
                  std::min({py + dh, hdc->clip.bottom, hdc->surfaceHeight})};
    if (box.Empty()) return;
    if (!SourceFits(dw, sw) || !SourceFits(dh, sh)) {
        // A picture of another size over a noted one's whole place ends that note: it can no
        // longer be shown, and checking it pixel by pixel each frame would be wasted.
        auto it = g_notes.find(win);
        if (it != g_notes.end() && it->second.serial == win->serial) {
            std::vector<PictureNote>& pictures = it->second.pictures;
            pictures.erase(std::remove_if(pictures.begin(), pictures.end(),
                                          [&](const PictureNote& o) { return box.Holds(o.box); }),
                           pictures.end());
        }
        return;
    }
    WindowNotes& wn = g_notes[win];
    if (wn.serial != win->serial) {
        wn.serial = win->serial;
        wn.notes.clear();
        wn.pictures.clear();
    }
    // One picture over another's place replaces it. The buffers of the one replaced are used
    // again: a picture drawn each frame of a playback would otherwise take fresh memory (which
    // the system hands out zeroed, page by page) for its whole source every frame.
    PictureNote p;
    for (auto it = wn.pictures.begin(); it != wn.pictures.end();) {
        if (!box.Holds(it->box)) {
            ++it;
            continue;
        }
        if (it->source.capacity() > p.source.capacity()) {
            p.source.swap(it->source);
            p.after.swap(it->after);
        }
        it = wn.pictures.erase(it);
    }
    p.id = g_nextId++;
    p.x = px;
    p.y = py;
    p.w = dw;
    p.h = dh;
    p.box = box;
    p.after.resize(static_cast<size_t>(box.Width()) * box.Height());
    for (int y = box.y0; y < box.y1; ++y)
        std::memcpy(&p.after[static_cast<size_t>(y - box.y0) * box.Width()],
                    hdc->pixels + static_cast<size_t>(y) * hdc->stride + box.x0,
                    static_cast<size_t>(box.Width()) * 4);
    p.sw = sw;
    p.sh = sh;
    p.source.resize(static_cast<size_t>(sw) * sh);
    const bool bottomUp = hd.biHeight > 0;
    const auto* src = static_cast<const uint8_t*>(bits);
    for (int r = 0; r < sh; ++r) {
        const int memRow = bottomUp ? sy + sh - 1 - r : sy + r;
        const uint8_t* from =
            src + static_cast<size_t>(memRow) * w * 4 + static_cast<size_t>(sx) * 4;
        uint32_t* to = &p.source[static_cast<size_t>(r) * sw];
        // One pass: each pixel read (in any alignment) and made opaque.
        for (int i = 0; i < sw; ++i) {
            uint32_t v;
            std::memcpy(&v, from + size_t{4} * static_cast<size_t>(i), 4);
            to[i] = v | 0xFF000000u;
        }
    }
    if (wn.pictures.size() >= 16) wn.pictures.erase(wn.pictures.begin());
    wn.pictures.push_back(std::move(p));
}

size_t PictureNoteCount(const Window* w) {
    auto it = g_notes.find(w);
    return it == g_notes.end() || it->second.serial != w->serial ? 0 : it->second.pictures.size();
}

size_t TextNoteCount(const Window* w) {
    auto it = g_notes.find(w);
    return it == g_notes.end() || it->second.serial != w->serial ? 0 : it->second.notes.size();
}

void ForgetTextNotes(const Window* w) {
    g_notes.erase(w);
}

int SharpenText(const Window* top, const uint32_t* composed, int fw, int fh, uint32_t* device,
                int dw, int dh, const std::vector<Rect>* clips,
                const std::vector<uint64_t>* filled) {
    if (g_scale == 1.0 || !top || !composed || !device || fw <= 0 || fh <= 0 || dw <= 0 ||
        dh <= 0 || g_notes.empty())
        return 0;
    const Axis ax(fw, dw), ay(fh, dh);
    Walk walk{composed, fw, fh, device, &ax, &ay, {}};
    if (!clips) walk.clips.push_back(Box{0, 0, fw, fh});
    for (const Rect& c : clips ? *clips : std::vector<Rect>{}) {
        const Box b{std::max(0, c.left), std::max(0, c.top), std::min(fw, c.right),
                    std::min(fh, c.bottom)};
        if (!b.Empty()) walk.clips.push_back(b);
    }
    if (walk.clips.empty()) return 0;
    walk.filled = filled;
    walk.Visit(top, 0, 0, Box{0, 0, fw, fh});
    return walk.drawn;
}

std::vector<NoteMark> NoteMarks(const Window* top, int fw, int fh) {
    std::vector<NoteMark> out;
    if (g_scale == 1.0 || !top || fw <= 0 || fh <= 0 || g_notes.empty()) return out;
    Walk walk{nullptr, fw, fh, nullptr, nullptr, nullptr, {}, &out};
    walk.Visit(top, 0, 0, Box{0, 0, fw, fh});
    return out;
}

}  // namespace kv
