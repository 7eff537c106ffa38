// PNG output of the layer's pictures without libpng: RGB rows in zlib's stored (uncompressed)
// blocks, which every PNG reader accepts. Screenshots are the only users, so size is no concern.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/os/utf8_names.h"
#include "platform/win/gdi.h"

namespace kv {

namespace {

uint32_t Crc(const uint8_t* p, size_t n, uint32_t crc = 0) {
    static uint32_t table[256];
    static bool made = [] {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        return true;
    }();
    (void)made;
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 255] ^ (crc >> 8);
    return ~crc;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(std::vector<uint8_t>& file, const char* type, const std::vector<uint8_t>& data) {
    Put32(file, static_cast<uint32_t>(data.size()));
    size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    Put32(file, Crc(file.data() + start, file.size() - start));
}

}  // namespace

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height) {
    if (!pixels || width <= 0 || height <= 0) return false;
    // The raw image: each row a filter byte (none) and RGB triples.
    const size_t rowBytes = static_cast<size_t>(width) * 3 + 1;
    std::vector<uint8_t> raw;
    raw.reserve(rowBytes * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const uint32_t* s = pixels + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            raw.push_back(static_cast<uint8_t>(s[x] >> 16));
            raw.push_back(static_cast<uint8_t>(s[x] >> 8));
            raw.push_back(static_cast<uint8_t>(s[x]));
        }
    }
    // zlib stream: header, stored blocks of at most 65535 bytes, Adler-32 of the raw bytes.
    std::vector<uint8_t> z{0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                 raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        if (last) break;
    }
    Put32(z, (b << 16) | a);
    std::vector<uint8_t> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    Put32(header, static_cast<uint32_t>(width));
    Put32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
    Chunk(file, "IHDR", header);
    Chunk(file, "IDAT", z);
    Chunk(file, "IEND", {});
    FILE* f = os::OpenFile(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace kv
