// Hostile files for the further readers: headers claiming pictures far beyond the size limit,
// and cut bitstreams behind plausible headers. Each must end with a clear message and without
// an allocation anywhere near the size claimed: every allocation of this test program is
// watched (through the sanitizer's hooks in sanitizer builds, by replacing malloc otherwise).
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/picture/cdib.h"
#include "platform/codecs/more_codecs.h"
#include "tests/core/picture/more_fixtures.h"
#include "tests/test_support.h"

namespace {

std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};

void Note(size_t n) {
    if (!g_watching.load(std::memory_order_relaxed)) return;
    size_t seen = g_largest.load(std::memory_order_relaxed);
    while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
    }
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizer runtime calls these on every allocation and release.
extern "C" void __sanitizer_malloc_hook(const volatile void*, size_t n) {
    Note(n);
}
extern "C" void __sanitizer_free_hook(const volatile void*) {}
#else
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t n) {
    Note(n);
    return __libc_malloc(n);
}
void* calloc(size_t count, size_t size) {
    Note(size && count > SIZE_MAX / size ? SIZE_MAX : count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t n) {
    Note(n);
    return __libc_realloc(p, n);
}
void free(void* p) {
    __libc_free(p);
}
void* memalign(size_t alignment, size_t n) {
    Note(n);
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
    Note(n);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    Note(n);
    void* p = __libc_memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace {

struct Outcome {
    int result = -1;
    std::vector<std::string> alerts;
    size_t largest = 0;
};

Outcome LoadWatched(const std::string& path) {
    Outcome o;
    kv::CDIB image(16, 16, 8);
    g_largest = 0;
    g_watching = true;
    o.result = kvtest::LoadPicture(image, path, true, &o.alerts);
    g_watching = false;
    o.largest = g_largest;
    return o;
}

// Refused with the size message (or, where a memory limit refuses first, the memory message),
// having allocated at most 64 MB at once for a claim of `claimedBytes`.
void ExpectRefusedCheaply(const Outcome& o, double claimedBytes, bool sizeMessageOnly) {
    EXPECT_EQ(o.result, 0);
    ASSERT_EQ(o.alerts.size(), 1u);
    const bool size = o.alerts[0].rfind("Images must be smaller than ", 0) == 0;
    const bool memory = o.alerts[0] == "Not enough memory to load image";
    EXPECT_TRUE(size || (!sizeMessageOnly && memory)) << o.alerts[0];
    EXPECT_LT(static_cast<double>(o.largest), claimedBytes / 16);
    EXPECT_LT(o.largest, size_t{64} << 20);
    std::printf("  largest allocation %zu bytes for a claim of %.0f\n", o.largest, claimedBytes);
}

void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A deflate-compressed RGB TIFF claiming width x height in one strip of a few bytes; tiled
// (one 256 x 256 tile repeated for every tile) when `tiled`.
std::string HostileTiff(uint32_t width, uint32_t height, bool tiled, uint32_t compression = 8) {
    const std::string data("\x78\x9C\x63\x60\x18\x05\x00\x00\x00\x00", 10);
    std::string t("II*\0", 4);
    const uint32_t entries = 10;
    const uint32_t ifd = 8, dataAt = ifd + 2 + 12 * entries + 4;
    Put32(t, ifd);
    Put16(t, entries);
    const auto entry = [&t](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
        Put16(t, tag);
        Put16(t, type);
        Put32(t, count);
        if (type == 3 && count == 1) {
            Put16(t, value);
            Put16(t, 0);
        } else {
            Put32(t, value);
        }
    };
    entry(256, 4, 1, width);
    entry(257, 4, 1, height);
    entry(258, 3, 1, 8);
    entry(259, 3, 1, compression);
    entry(262, 3, 1, 2);
    entry(277, 3, 1, 3);
    if (tiled) {
        entry(322, 3, 1, 256);
        entry(323, 3, 1, 256);
        entry(324, 4, 1, dataAt);  // one tile offset (libtiff wants one per tile: hostile too)
        entry(325, 4, 1, static_cast<uint32_t>(data.size()));
    } else {
        entry(273, 4, 1, dataAt);
        entry(278, 4, 1, height);
        entry(279, 4, 1, static_cast<uint32_t>(data.size()));
        entry(284, 3, 1, 1);
    }
    Put32(t, 0);
    return t + data;
}

// A lossless WebP header claiming width x height, followed by a few bytes of noise.
std::string HostileWebp(uint32_t width, uint32_t height) {
    std::string vp8l;
    vp8l += '\x2F';
    Put32(vp8l, (width - 1) | (height - 1) << 14);
    vp8l += std::string("\x12\x34\x56\x78\x9A\xBC\xDE\xF0", 8);
    std::string riff = "WEBPVP8L";
    Put32(riff, static_cast<uint32_t>(vp8l.size()));
    riff += vp8l;
    std::string file = "RIFF";
    Put32(file, static_cast<uint32_t>(riff.size()));
    return file + riff;
}

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kv::MoreCodecsPresent()) GTEST_SKIP() << "built without the further decoders";
        dir_ = kvtest::TempDir("hostile");
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        kvtest::WriteFileBytes(path, bytes);
        return path;
    }
    std::string dir_;
};

TEST_F(HostileFiles, TiffClaimingHugeSizesIsRefusedBeforeAllocating) {
    for (const bool tiled : {false, true}) {
        SCOPED_TRACE(tiled ? "tiled" : "strips");
        // Beyond any side a picture may have: always the size message.
        ExpectRefusedCheaply(LoadWatched(Write("far.tif", HostileTiff(100000, 100000, tiled))),
                             100000.0 * 100000 * 3, true);
        ExpectRefusedCheaply(LoadWatched(Write("max.tif", HostileTiff(65535, 65535, tiled))),
                             65535.0 * 65535 * 3, false);
        ExpectRefusedCheaply(LoadWatched(Write("wide.tif", HostileTiff(4000000, 16, tiled))),
                             4000000.0 * 16 * 3, true);
    }
}

TEST_F(HostileFiles, TiffWithACompressionNoDecoderHasKeepsTheOldMessage) {
    std::vector<std::string> alerts;
    kv::CDIB image(16, 16, 8);
    EXPECT_EQ(kvtest::LoadPicture(image, Write("odd.tif", HostileTiff(16, 16, false, 40000)), true,
                                  &alerts),
              0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "Can't read compressed images");
}

TEST_F(HostileFiles, WebpClaimingTheLargestSizeIsRefusedBeforeAllocating) {
    const Outcome o = LoadWatched(Write("big.webp", HostileWebp(16383, 16383)));
    EXPECT_EQ(o.result, 0);
    ASSERT_EQ(o.alerts.size(), 1u);
    // Too large, or (where that size is allowed) not decodable: the cut bitstream is found by
    // decoding it small before the picture's rows are allocated.
    const bool size = o.alerts[0].rfind("Images must be smaller than ", 0) == 0;
    const bool broken = o.alerts[0].rfind("Can't read image file", 0) == 0;
    const bool memory = o.alerts[0] == "Not enough memory to load image";
    EXPECT_TRUE(size || broken || memory) << o.alerts[0];
    EXPECT_LT(o.largest, size_t{64} << 20);
    std::printf("  largest allocation %zu bytes for a claim of %.0f\n", o.largest,
                16383.0 * 16383 * 4);
}

TEST_F(HostileFiles, CutWebpWithinTheLimitsIsRefusedWithoutItsRows) {
    // 5000 x 4000 is a size a picture may have; the probe finds the noise before the 60 MB of
    // rows are taken.
    const Outcome o = LoadWatched(Write("cut.webp", HostileWebp(5000, 4000)));
    EXPECT_EQ(o.result, 0);
    ASSERT_EQ(o.alerts.size(), 1u);
    EXPECT_EQ(o.alerts[0].rfind("Can't read image file", 0), 0u) << o.alerts[0];
    EXPECT_LT(o.largest, size_t{5000} * 4000 * 3 / 4);
}

TEST_F(HostileFiles, HeifClaimingHugeSizesIsRefusedBeforeAllocating) {
    // A real HEIC whose size box is rewritten to claim 100000 x 100000.
    ASSERT_EQ(kvtest::Run("convert -size 64x48 gradient:red-blue " + dir_ + "/g.png && heif-enc " +
                          dir_ + "/g.png -o " + dir_ + "/g.heic >/dev/null"),
              0);
    std::string heic = kvtest::ReadFileBytes(dir_ + "/g.heic");
    const size_t ispe = heic.find("ispe");
    ASSERT_NE(ispe, std::string::npos);
    std::string size;
    for (int i = 0; i < 2; ++i)
        for (const int shift : {24, 16, 8, 0}) size += static_cast<char>((100000 >> shift) & 0xFF);
    heic.replace(ispe + 8, 8, size);
    ExpectRefusedCheaply(LoadWatched(Write("big.heic", heic)), 100000.0 * 100000 * 3, true);
}

}  // namespace
