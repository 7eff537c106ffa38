// Text through the system's GDI: the font request becomes a GDI font ("Arial" unless another face
// is asked for, "Times New Roman" for serif faces without a name), advances come from the font's
// whole-pixel character widths and glyphs are rasterised as 65-level grey bitmaps by
// GetGlyphOutline, so measured widths and drawn text agree exactly.
#include <windows.h>

#include <map>
#include <mutex>
#include <tuple>

#include "platform/win/text_render.h"
#include "platform/win/win32/native.h"

namespace kv {

namespace {

// One memory device context and the fonts and glyphs made so far, shared by every caller that
// draws text from whatever thread, so they are only touched under g_lock.
std::mutex g_lock;
HDC g_dc = nullptr;

using FontKey = std::tuple<std::string, int, bool, bool, bool>;

struct Glyph {
    int advance = 0;
    int left = 0, top = 0, width = 0, height = 0, pitch = 0;
    std::vector<uint8_t> coverage;  // 0..64, rows of `pitch` bytes
};

struct Font {
    HFONT handle = nullptr;
    int ascent = 0, descent = 0;
    std::map<uint32_t, Glyph> glyphs;
};

std::map<FontKey, Font>& Fonts() {
    static std::map<FontKey, Font> fonts;
    return fonts;
}

int Clamp(int h) {
    return h < 1 ? 1 : (h > 400 ? 400 : h);
}

Font* FontFor(const FontSpec& f) {
    if (!g_dc) g_dc = CreateCompatibleDC(nullptr);
    if (!g_dc) return nullptr;
    std::string face = f.face.empty() ? (f.serif ? "Times New Roman" : "Arial") : f.face;
    FontKey key{face, Clamp(f.height), f.bold, f.italic, f.underline};
    auto it = Fonts().find(key);
    if (it != Fonts().end()) return it->second.handle ? &it->second : nullptr;
    Font& font = Fonts()[key];
    LOGFONTW lf{};
    lf.lfHeight = -Clamp(f.height);  // negative: the character (em) height
    lf.lfWeight = f.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = f.italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    lf.lfPitchAndFamily = static_cast<BYTE>(f.serif ? FF_ROMAN : FF_SWISS);
    std::wstring wface = native::Wide(face).substr(0, LF_FACESIZE - 1);
    std::copy(wface.begin(), wface.end(), lf.lfFaceName);
    font.handle = CreateFontIndirectW(&lf);
    if (!font.handle) return nullptr;
    SelectObject(g_dc, font.handle);
    TEXTMETRICW tm{};
    GetTextMetricsW(g_dc, &tm);
    font.ascent = tm.tmAscent;
    font.descent = tm.tmDescent;
    return &font;
}

const Glyph& GlyphOf(Font& font, uint32_t cp) {
    auto it = font.glyphs.find(cp);
    if (it != font.glyphs.end()) return it->second;
    Glyph& g = font.glyphs[cp];
    SelectObject(g_dc, font.handle);
    // Characters outside the basic plane are not in the system's glyph index by code point.
    UINT code = cp > 0xFFFF ? 0xFFFD : cp;
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS gm{};
    DWORD size = GetGlyphOutlineW(g_dc, code, GGO_GRAY8_BITMAP, &gm, 0, nullptr, &identity);
    if (size == GDI_ERROR) {
        // Space and other blank characters have no outline but an advance.
        INT width = 0;
        if (GetCharWidth32W(g_dc, code, code, &width)) g.advance = width;
        return g;
    }
    g.advance = gm.gmCellIncX;
    g.left = gm.gmptGlyphOrigin.x;
    g.top = gm.gmptGlyphOrigin.y;
    g.width = static_cast<int>(gm.gmBlackBoxX);
    g.height = static_cast<int>(gm.gmBlackBoxY);
    g.pitch = (g.width + 3) & ~3;  // rows are DWORD-aligned
    if (size > 0) {
        g.coverage.resize(size);
        if (GetGlyphOutlineW(g_dc, code, GGO_GRAY8_BITMAP, &gm, size, g.coverage.data(),
                             &identity) == GDI_ERROR)
            g.coverage.clear();
    }
    return g;
}

// Decodes UTF-8; invalid bytes become themselves (Latin-1), as the program's texts are ASCII.
std::vector<uint32_t> Decode(const std::string& s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n <= 0 || i + static_cast<size_t>(n) >= s.size()) {
            out.push_back(c);
            ++i;
            continue;
        }
        uint32_t cp = c & (0x3F >> n);
        bool ok = true;
        for (int k = 1; k <= n; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out.push_back(c);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += n + 1;
    }
    return out;
}

}  // namespace

std::string FontFileFor(const FontSpec& font) {
    std::lock_guard<std::mutex> g(g_lock);
    Font* f = FontFor(font);
    if (!f) return std::string();
    // The face the system chose for the request: fonts are named, not found by file, here.
    SelectObject(g_dc, f->handle);
    wchar_t name[LF_FACESIZE] = {};
    int n = GetTextFaceW(g_dc, LF_FACESIZE, name);
    return n > 0 ? native::Narrow(std::wstring(name, static_cast<size_t>(n - 1))) : std::string();
}

TextRun LayoutText(const FontSpec& font, const std::string& text) {
    std::lock_guard<std::mutex> g(g_lock);
    TextRun run;
    run.font = &font;
    Font* f = FontFor(font);
    if (!f) {
        // No font at all: a fixed 60% advance keeps layouts usable.
        run.ascent = font.height * 8 / 10;
        run.descent = font.height - run.ascent;
        int adv = font.height * 6 / 10;
        for (uint32_t cp : Decode(text)) {
            run.glyphs.push_back({run.width, cp});
            run.width += adv;
        }
        return run;
    }
    run.ascent = f->ascent;
    run.descent = f->descent;
    for (uint32_t cp : Decode(text)) {
        run.glyphs.push_back({run.width, cp});
        run.width += GlyphOf(*f, cp).advance;
    }
    return run;
}

void DrawTextRun(const TextRun& run, int x, int y, const std::function<void(int, int, int)>& plot) {
    if (!run.font) return;
    std::lock_guard<std::mutex> g(g_lock);
    Font* f = FontFor(*run.font);
    if (!f) return;
    for (const PlacedGlyph& pg : run.glyphs) {
        const Glyph& gl = GlyphOf(*f, pg.code);
        if (gl.coverage.empty()) continue;
        int gx = x + pg.x + gl.left;
        int gy = y - gl.top;
        for (int r = 0; r < gl.height; ++r)
            for (int c = 0; c < gl.width; ++c) {
                size_t at = static_cast<size_t>(r) * gl.pitch + c;
                if (at >= gl.coverage.size()) continue;
                int cov = gl.coverage[at] * 255 / 64;
                if (cov) plot(gx + c, gy + r, cov);
            }
    }
}

}  // namespace kv
