// Forged PNG chunks and headers are refused before anything near their claimed size is
// allocated. An allocation watch in this test program sees every request the decoder (and
// libpng under it) makes: requests above 64 MB while it is armed are counted and refused.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/codecs/picture_codecs.h"
#include "tests/test_support.h"

namespace {

constexpr size_t AllocationCap = 64u * 1024 * 1024;
std::atomic<bool> g_armed{false};
std::atomic<size_t> g_largest{0};

void Note(size_t n) {
    if (!g_armed.load(std::memory_order_relaxed)) return;
    size_t seen = g_largest.load(std::memory_order_relaxed);
    while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
    }
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer owns malloc; its hook sees every allocation that was made.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
namespace {
void OnMalloc(const volatile void*, size_t n) {
    Note(n);
}
const int g_hooked = __sanitizer_install_malloc_and_free_hooks(OnMalloc, nullptr);
}  // namespace
#else
// The C library's allocator under the program's own malloc, calloc and realloc.
namespace {
bool OverCap(size_t n) {
    Note(n);
    return g_armed.load(std::memory_order_relaxed) && n > AllocationCap;
}
}  // namespace

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t n) noexcept {
    return OverCap(n) ? nullptr : __libc_malloc(n);
}
void* calloc(size_t count, size_t size) noexcept {
    const size_t n = size != 0 && count > SIZE_MAX / size ? SIZE_MAX : count * size;
    return OverCap(n) ? nullptr : __libc_calloc(count, size);
}
void* realloc(void* p, size_t n) noexcept {
    return OverCap(n) ? nullptr : __libc_realloc(p, n);
}
}
#endif

namespace {

class Sink final : public kv::DecodeTarget {
public:
    bool Begin(int w, int h) override {
        ++begins;
        if (w > 64 || h > 64) return false;
        width = w;
        pixels.assign(static_cast<size_t>(w) * h * 3, 0);
        return true;
    }
    uint8_t* Row(int y) override { return pixels.data() + static_cast<size_t>(y) * width * 3; }
    int begins = 0, width = 0;
    std::vector<uint8_t> pixels;
};

uint32_t Crc(const std::string& bytes) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return c ^ 0xFFFFFFFFu;
}

std::string Be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// A chunk with a true length and CRC.
std::string Chunk(const std::string& type, const std::string& data) {
    return Be32(static_cast<uint32_t>(data.size())) + type + data + Be32(Crc(type + data));
}

std::string Header(uint32_t w, uint32_t h) {
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           Chunk("IHDR", Be32(w) + Be32(h) + std::string("\x08\x02\x00\x00\x00", 5));
}

// A 4 x 4 header, then a chunk whose length field claims `claimed` bytes (the file ends long
// before): 141 bytes in all.
std::string ChunkBomb(const std::string& type, uint32_t claimed) {
    std::string file = Header(4, 4) + Be32(claimed) + type + "Comment";
    file += std::string(141 - file.size(), 'A');
    return file;
}

kv::DecodeStatus DecodeBytes(const std::string& bytes, Sink& sink, size_t* largest) {
    const std::string path = kvtest::TempDir("pngbomb") + "/bomb.png";
    kvtest::WriteFileBytes(path, bytes);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    if (!f) return kv::DecodeStatus::NotDecodable;
    g_largest = 0;
    g_armed = true;
    const kv::DecodeStatus status = kv::DecodePng(f, sink);
    g_armed = false;
    *largest = g_largest;
    std::fclose(f);
    return status;
}

TEST(PngLimits, TextChunkBombsAreRefusedWithoutTheirClaimedAllocation) {
    for (const char* type : {"tEXt", "zTXt", "iTXt"}) {
        const std::string bomb = ChunkBomb(type, 0x7fffffffu);
        ASSERT_EQ(bomb.size(), 141u);
        Sink sink;
        size_t largest = 0;
        const kv::DecodeStatus status = DecodeBytes(bomb, sink, &largest);
        EXPECT_LE(largest, AllocationCap) << type;
        EXPECT_NE(status, kv::DecodeStatus::Ok) << type;  // the file ends inside the chunk
    }
}

TEST(PngLimits, ForgedSizesStopBeforeTheTargetIsAsked) {
    // A header claiming 100000 x 100000 pixels is refused by the decoder's own limit.
    Sink sink;
    size_t largest = 0;
    EXPECT_EQ(DecodeBytes(Header(100000, 100000) + Chunk("IEND", ""), sink, &largest),
              kv::DecodeStatus::NotDecodable);
    EXPECT_EQ(sink.begins, 0);
    EXPECT_LE(largest, AllocationCap);
}

}  // namespace
