// Text through FreeType: faces found by fontconfig, laid out on whole-pixel advances.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv {

struct FontSpec {
    int height = 13;  // character (em) height in pixels
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool serif = false;
    std::string face = "Arial";
};

struct PlacedGlyph {
    int x = 0;          // pen position relative to the run's left edge
    uint32_t code = 0;  // code point
};

struct TextRun {
    const FontSpec* font = nullptr;
    int width = 0;
    int ascent = 0;
    int descent = 0;
    std::vector<PlacedGlyph> glyphs;
};

// Measures a UTF-8 text in the font (an empty text gives width 0 and the font's metrics).
TextRun LayoutText(const FontSpec& font, const std::string& text);
// Rasterises a laid-out run with its left edge at x and baseline at y; plot receives each
// covered pixel with its coverage 1..255.
void DrawTextRun(const TextRun& run, int x, int y, const std::function<void(int, int, int)>& plot);
// The font file fontconfig picks for the font request (empty when none).
std::string FontFileFor(const FontSpec& font);

}  // namespace kv
