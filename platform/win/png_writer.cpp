// PNG output of the layer's pictures through libpng.
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win/gdi.h"

namespace kv {

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height) {
    if (!pixels || width <= 0 || height <= 0) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        if (png) png_destroy_write_struct(&png, nullptr);
        std::fclose(f);
        return false;
    }
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    bool ok = true;
    if (setjmp(png_jmpbuf(png))) {
        ok = false;
    } else {
        png_init_io(png, f);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y) {
            const uint32_t* s = pixels + static_cast<size_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                row[x * 3] = (s[x] >> 16) & 255;
                row[x * 3 + 1] = (s[x] >> 8) & 255;
                row[x * 3 + 2] = s[x] & 255;
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 && ok;
}

}  // namespace kv
