// FreeType text: one face per (file, pixel height), looked up through fontconfig once per font
// request.
//
// Glyph advances are rounded to whole pixels (hinted metrics), so measured widths and drawn text
// agree exactly; coverage is 8-bit grey.
#include "platform/win/text_render.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <map>
#include <mutex>
#include <tuple>

namespace kv {

namespace {

// The font library and its caches are made once for the process and shared by every caller that
// draws text, from whatever thread, so they are only touched under g_lock.
std::mutex g_lock;
FT_Library g_ft = nullptr;

struct FaceKey {
    std::string file;
    int height;
    bool operator<(const FaceKey& o) const {
        return std::tie(file, height) < std::tie(o.file, o.height);
    }
};

std::map<FaceKey, FT_Face>& Faces() {
    static std::map<FaceKey, FT_Face> faces;
    return faces;
}

std::map<std::tuple<std::string, bool, bool, bool>, std::string>& Files() {
    static std::map<std::tuple<std::string, bool, bool, bool>, std::string> files;
    return files;
}

std::string Lookup(const FontSpec& f) {
    auto key = std::make_tuple(f.face, f.bold, f.italic, f.serif);
    auto it = Files().find(key);
    if (it != Files().end()) return it->second;
    std::string file;
    if (FcInit()) {
        FcPattern* pat = FcPatternCreate();
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(f.face.c_str()));
        FcPatternAddString(pat, FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(f.serif ? "serif" : "sans-serif"));
        FcPatternAddInteger(pat, FC_WEIGHT, f.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pat, FC_SLANT, f.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(nullptr, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult res;
        FcPattern* match = FcFontMatch(nullptr, pat, &res);
        if (match) {
            FcChar8* path = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                file = reinterpret_cast<const char*>(path);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pat);
    }
    Files()[key] = file;
    return file;
}

FT_Face FaceFor(const FontSpec& f) {
    if (!g_ft && FT_Init_FreeType(&g_ft) != 0) return nullptr;
    std::string file = Lookup(f);
    if (file.empty()) return nullptr;
    int h = f.height < 1 ? 1 : (f.height > 400 ? 400 : f.height);
    FaceKey key{file, h};
    auto it = Faces().find(key);
    if (it != Faces().end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(g_ft, file.c_str(), 0, &face) != 0) face = nullptr;
    if (face) FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(h));
    Faces()[key] = face;
    return face;
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

bool SynthBold(FT_Face face, const FontSpec& f) {
    return f.bold && !(face->style_flags & FT_STYLE_FLAG_BOLD);
}

}  // namespace

std::string FontFileFor(const FontSpec& font) {
    std::lock_guard<std::mutex> g(g_lock);
    return Lookup(font);
}

TextRun LayoutText(const FontSpec& font, const std::string& text) {
    std::lock_guard<std::mutex> g(g_lock);
    TextRun run;
    run.font = &font;
    FT_Face face = FaceFor(font);
    if (!face) {
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
    run.ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
    run.descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
    for (uint32_t cp : Decode(text)) {
        run.glyphs.push_back({run.width, cp});
        if (FT_Load_Char(face, cp, FT_LOAD_DEFAULT) != 0) continue;
        int adv = static_cast<int>((face->glyph->advance.x + 32) >> 6);
        if (SynthBold(face, font)) adv += 1;
        run.width += adv;
    }
    return run;
}

void DrawTextRun(const TextRun& run, int x, int y, const std::function<void(int, int, int)>& plot) {
    if (!run.font) return;
    std::lock_guard<std::mutex> g(g_lock);
    FT_Face face = FaceFor(*run.font);
    if (!face) return;
    FT_Matrix shear{0x10000, 0x366A, 0, 0x10000};  // about 12 degrees for synthetic italics
    bool synthItalic = run.font->italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
    for (const PlacedGlyph& pg : run.glyphs) {
        FT_Set_Transform(face, synthItalic ? &shear : nullptr, nullptr);
        if (FT_Load_Char(face, pg.code, FT_LOAD_DEFAULT) != 0) continue;
        if (SynthBold(face, *run.font)) FT_GlyphSlot_Embolden(face->glyph);
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) continue;
        const FT_Bitmap& bm = face->glyph->bitmap;
        int gx = x + pg.x + face->glyph->bitmap_left;
        int gy = y - face->glyph->bitmap_top;
        for (unsigned r = 0; r < bm.rows; ++r)
            for (unsigned c = 0; c < bm.width; ++c) {
                int cov = bm.buffer[r * bm.pitch + c];
                if (cov) plot(gx + static_cast<int>(c), gy + static_cast<int>(r), cov);
            }
    }
    FT_Set_Transform(face, nullptr, nullptr);
}

}  // namespace kv
