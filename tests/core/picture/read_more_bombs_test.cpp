// Hostile files for the further readers: headers claiming pictures far beyond the size limit,
// and cut bitstreams behind plausible headers. Each must end with a clear message and without
// an allocation anywhere near the size claimed: every allocation of this test program is
// watched (through the sanitizer's hooks in sanitizer builds, by replacing malloc otherwise).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/picture/alert.h"
#include "core/picture/cdib.h"
#include "core/picture/picture_reader.h"
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

// Sets the picture memory limit for one case and puts the default back.
class MemoryLimit {
public:
    explicit MemoryLimit(int megabytes) { kv::SetPictureMemoryLimit(megabytes); }
    ~MemoryLimit() { kv::SetPictureMemoryLimit(0); }
};

// Replaces `count` bytes at `at` by the big-endian 16-bit values given.
void PatchBig16(std::string& bytes, size_t at, std::initializer_list<uint32_t> values) {
    for (const uint32_t v : values) {
        bytes[at++] = static_cast<char>((v >> 8) & 0xFF);
        bytes[at++] = static_cast<char>(v & 0xFF);
    }
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

TEST_F(HostileFiles, TiffWithinTheMemoryLimitIsMadeOnlyOnceItsDataShows) {
    // 40000 x 40000 RGB (4.8 GB) is allowed here; a few stored bytes must not make it.
    MemoryLimit limit(6000);
    for (const bool tiled : {false, true}) {
        for (const uint32_t compression : {8u, 1u}) {
            SCOPED_TRACE(std::string(tiled ? "tiled, " : "strips, ") +
                         (compression == 1 ? "uncompressed" : "deflate"));
            // Uncompressed strips go to the own reader, which checks the file size itself.
            if (!tiled && compression == 1) continue;
            const Outcome o =
                LoadWatched(Write("claim.tif", HostileTiff(40000, 40000, tiled, compression)));
            EXPECT_EQ(o.result, 0);
            ASSERT_EQ(o.alerts.size(), 1u);
            EXPECT_EQ(o.alerts[0].rfind("Can't read image file", 0), 0u) << o.alerts[0];
            EXPECT_LT(o.largest, size_t{64} << 20);
        }
    }
}

TEST_F(HostileFiles, UncompressedStripsMustLieInTheFileAndNotShareTheirBytes) {
    // 16-bit samples go through libtiff; 8 rows a strip.
    ASSERT_EQ(kvtest::Run("convert -size 40x32 gradient:red-blue -depth 16 -define "
                          "tiff:rows-per-strip=8 -compress none " +
                          dir_ + "/s.tif"),
              0);
    const std::string good = kvtest::ReadFileBytes(dir_ + "/s.tif");
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(kvtest::LoadPicture(image, Write("good.tif", good), false), 1);
    std::string out;
    ASSERT_EQ(kvtest::Run("tiffdump " + dir_ + "/good.tif", &out), 0);
    // The strip offsets: 4 longs in an array the entry points at.
    const size_t tag = out.find("StripOffsets (273) LONG (4) 4<");
    ASSERT_NE(tag, std::string::npos) << out;
    const uint32_t first = static_cast<uint32_t>(std::stoul(out.substr(tag + 30)));
    const size_t entry = good.find(std::string("\x11\x01\x04\x00\x04\x00\x00\x00", 8));
    ASSERT_NE(entry, std::string::npos);
    uint32_t array = 0;
    std::memcpy(&array, good.data() + entry + 8, 4);

    // Every strip pointing at the first one's bytes: the picture's data is not all there.
    std::string shared = good;
    for (int i = 0; i < 4; ++i) std::memcpy(&shared[array + 4 * i], &first, 4);
    std::vector<std::string> alerts;
    EXPECT_EQ(kvtest::LoadPicture(image, Write("shared.tif", shared), false, &alerts), 0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("Can't read image file", 0), 0u) << alerts[0];
    // The last strip running past the end of the file.
    std::string past = good;
    const uint32_t late = static_cast<uint32_t>(good.size() - 100);
    std::memcpy(&past[array + 12], &late, 4);
    EXPECT_EQ(kvtest::LoadPicture(image, Write("past.tif", past), false, &alerts), 0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("Can't read image file", 0), 0u) << alerts[0];
}

// A blank bilevel page of `side` x `side` in one Group 4 strip: each all-white row, coded against
// the all-white row above it, is a single bit.
std::string BlankFaxPage(uint32_t side) {
    std::string data(side / 8 + 1, '\xFF');
    data.back() = static_cast<char>(0xFF << (8 - side % 8));
    data += std::string("\x00\x10\x01", 3);  // the end of the page: two end-of-line codes
    std::string t("II*\0", 4);
    const uint32_t entries = 9, ifd = 8, dataAt = ifd + 2 + 12 * entries + 4;
    Put32(t, ifd);
    Put16(t, entries);
    const auto entry = [&t](uint32_t tag, uint32_t type, uint32_t value) {
        Put16(t, tag);
        Put16(t, type);
        Put32(t, 1);
        Put32(t, value);
    };
    entry(256, 4, side);
    entry(257, 4, side);
    entry(258, 3, 1);
    entry(259, 3, 4);
    entry(262, 3, 0);
    entry(273, 4, dataAt);
    entry(277, 3, 1);
    entry(278, 4, side);
    entry(279, 4, static_cast<uint32_t>(data.size()));
    Put32(t, 0);
    return t + data;
}

TEST_F(HostileFiles, AValidBlankFaxPageOfAFewBytesStillLoads) {
    // 9000 x 9000 (243 MB of picture) from about 1 KB: what the file holds decoded, it loads.
    const std::string page = BlankFaxPage(9000);
    ASSERT_LT(page.size(), 1300u);
    kv::CDIB image(16, 16, 8);
    std::vector<std::string> alerts;
    ASSERT_EQ(kvtest::LoadPicture(image, Write("page.tif", page), false, &alerts), 1)
        << (alerts.empty() ? "" : alerts[0]);
    ASSERT_EQ(image.Width(), 9000);
    ASSERT_EQ(image.Height(), 9000);
    for (const int at : {0, 4500, 8999}) {
        int rgba[4];
        kvtest::PixelOf(image, at, 8999 - at, rgba);
        EXPECT_EQ(rgba[0] + rgba[1] + rgba[2], 3 * 255) << at;
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

TEST_F(HostileFiles, WebpReadsOnlyItsRiffChunk) {
    ASSERT_EQ(kvtest::Run("convert -size 32x24 gradient:red-blue " + dir_ +
                          "/w.png && cwebp -quiet " + dir_ + "/w.png -o " + dir_ + "/w.webp"),
              0);
    // 1000 MB of padding after the chunk (a sparse file: nothing is written to the disk).
    ASSERT_EQ(kvtest::Run("cp " + dir_ + "/w.webp " + dir_ + "/padded.webp && truncate -s 1000M " +
                          dir_ + "/padded.webp"),
              0);
    const Outcome padded = LoadWatched(dir_ + "/padded.webp");
    EXPECT_EQ(padded.result, 1);
    EXPECT_LT(padded.largest, size_t{1} << 20);
    // A chunk declaring more than the largest allocation is refused without reading it.
    std::string big = kvtest::ReadFileBytes(dir_ + "/w.webp");
    big.replace(4, 4, std::string("\xF0\xFF\xFF\x7F", 4));
    const Outcome claimed = LoadWatched(Write("claimed.webp", big));
    EXPECT_EQ(claimed.result, 0);
    EXPECT_LT(claimed.largest, size_t{1} << 20);
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

// A picture smaller than one coded tile is stored as a grid of one tile cut to the picture's
// size (the grid's own record, in the item data box, gives the size).
std::string MakeGridHeic(const std::string& dir) {
    if (kvtest::Run("convert -size 14x10 gradient:red-blue " + dir + "/s.png && heif-enc " + dir +
                    "/s.png -o " + dir + "/s.heic >/dev/null") != 0)
        return {};
    return kvtest::ReadFileBytes(dir + "/s.heic");
}

TEST_F(HostileFiles, HeifGridFarLargerThanItsSizeBoxIsRefusedCheaply) {
    // The fuzzer's finding: the grid record rewritten to 14606 x 47370 while the size box still
    // says 14 x 10. libheif assembled the whole grid (gigabytes) before its tile failed.
    MemoryLimit limit(256);
    std::string heic = MakeGridHeic(dir_);
    const size_t idat = heic.find("idat");
    ASSERT_NE(idat, std::string::npos) << "heif-enc no longer stores small pictures as a grid";
    // Version, flags, rows - 1, columns - 1, then the 16-bit width and height.
    ASSERT_EQ(heic.substr(idat + 8, 4), std::string("\x00\x0e\x00\x0a", 4));
    PatchBig16(heic, idat + 8, {14606, 47370});
    const Outcome o = LoadWatched(Write("grid.heic", heic));
    EXPECT_EQ(o.result, 0);
    ASSERT_EQ(o.alerts.size(), 1u);
    EXPECT_EQ(o.alerts[0].rfind("Can't read image file", 0), 0u) << o.alerts[0];
    EXPECT_LT(o.largest, size_t{64} << 20);
}

TEST_F(HostileFiles, HeifSizeBoxClaimingMoreThanTheCodedPictureLoadsTheCodedPicture) {
    // Within every limit, the size box claims 30000 x 30000 of a 14 x 10 picture: the picture
    // is sized from what libheif decodes, without first taking the 2.7 GB claimed.
    MemoryLimit limit(4096);
    std::string heic = MakeGridHeic(dir_);
    size_t ispe = 0;
    for (size_t at = 0; (at = heic.find("ispe", at)) != std::string::npos; at += 4)
        if (heic.compare(at + 8, 8, std::string("\0\0\0\x0e\0\0\0\x0a", 8)) == 0) ispe = at;
    ASSERT_NE(ispe, 0u);
    PatchBig16(heic, ispe + 8, {0, 30000, 0, 30000});
    const Outcome o = LoadWatched(Write("claim.heic", heic));
    EXPECT_EQ(o.result, 1);
    EXPECT_TRUE(o.alerts.empty());
    EXPECT_LT(o.largest, size_t{64} << 20);
}

TEST(HeifSideLimit, AMarginOverTheClaimWithinTheLargestSide) {
    EXPECT_EQ(kv::HeifSideLimit(14, 65535), 4224);
    EXPECT_EQ(kv::HeifSideLimit(10000, 65535), 10128);
    EXPECT_EQ(kv::HeifSideLimit(65500, 65535), 65535);
    EXPECT_EQ(kv::HeifSideLimit(10000, 8192), 8192);
}

// ---- Colour profiles ---------------------------------------------------------------------------

void PutBig(std::string& s, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// An RGB display profile of a few hundred bytes whose one tag, a 16-bit lookup table, claims a
// colour table of `gridPoints` cubed entries (255 points: about 100 MB) that the file does not
// hold.
std::string HugeTableProfile(int gridPoints) {
    std::string table = "mft2";
    PutBig(table, 0, 4);
    table += '\x03';
    table += '\x03';
    table += static_cast<char>(gridPoints);
    table += '\0';
    for (int i = 0; i < 9; ++i) PutBig(table, i % 4 == 0 ? 0x10000 : 0, 4);
    PutBig(table, 2, 2);                                              // input table entries
    PutBig(table, 2, 2);                                              // output table entries
    for (int i = 0; i < 3; ++i) PutBig(table, 0xFFFF0000u, 4);        // identity input curves
    table += std::string(304 - 128 - 4 - 12 - table.size(), '\x7F');  // a few table entries
    std::string header;
    PutBig(header, static_cast<uint32_t>(128 + 4 + 12 + table.size()), 4);
    header += "lcms";
    PutBig(header, 0x02100000, 4);
    header += "mntrRGB XYZ ";
    header += std::string(12, '\0');
    header += "acsp";
    header += std::string(128 - header.size(), '\0');
    header.replace(68, 12, std::string("\x00\x00\xf6\xd6\x00\x01\x00\x00\x00\x00\xd3\x2d", 12));
    PutBig(header, 1, 4);
    header += "A2B0";
    PutBig(header, 128 + 4 + 12, 4);
    PutBig(header, static_cast<uint32_t>(table.size()), 4);
    return header + table;
}

void RecordWarning(const std::string& text);
std::vector<std::string> g_warnings;
void RecordWarning(const std::string& text) {
    g_warnings.push_back(text);
}

TEST(ProfileMemory, AProfileClaimingAHugeTableIsBrokenAndSaysSo) {
    const std::string profile = HugeTableProfile(255);
    ASSERT_EQ(profile.size(), 304u);
    kv::SrgbConverter converter;
    g_largest = 0;
    g_watching = true;
    const bool opened =
        converter.Open(reinterpret_cast<const uint8_t*>(profile.data()), profile.size(), 3);
    g_watching = false;
    EXPECT_FALSE(opened);
    EXPECT_TRUE(converter.ProfileTooLarge());
    EXPECT_LT(g_largest.load(), kv::ProfileMemoryCap);
    // A small table of the same kind is no trouble for the cap; it is broken only because the
    // file does not hold its entries.
    EXPECT_FALSE(converter.Open(reinterpret_cast<const uint8_t*>(HugeTableProfile(5).data()),
                                profile.size(), 3));
    EXPECT_FALSE(converter.ProfileTooLarge());
}

#ifdef KV_TEST_HAVE_LCMS
TEST(ProfileMemory, AnOrdinaryProfileConvertsWithinTheCap) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    ASSERT_TRUE(cmsSaveProfileToMem(srgb, nullptr, &size));
    std::vector<uint8_t> bytes(size);
    ASSERT_TRUE(cmsSaveProfileToMem(srgb, bytes.data(), &size));
    cmsCloseProfile(srgb);
    kv::SrgbConverter converter;
    ASSERT_TRUE(converter.Open(bytes.data(), bytes.size(), 4));
    EXPECT_FALSE(converter.ProfileTooLarge());
    uint8_t pixels[8] = {10, 20, 30, 40, 200, 150, 100, 7};
    converter.Convert(pixels, 2);
    // sRGB into sRGB: the colours stay within rounding, alpha exactly.
    EXPECT_NEAR(pixels[0], 10, 1);
    EXPECT_NEAR(pixels[5], 150, 1);
    EXPECT_EQ(pixels[3], 40);
    EXPECT_EQ(pixels[7], 7);
}
#endif

TEST_F(HostileFiles, PngWithAHugeTableProfileLoadsUnconvertedWithOneWarning) {
    MemoryLimit limit(256);
    kvtest::WriteFileBytes(dir_ + "/huge.icc", HugeTableProfile(255));
    const std::string script =
        "import sys,zlib,struct\n"
        "png=open(sys.argv[1],'rb').read()\n"
        "icc=open(sys.argv[2],'rb').read()\n"
        "body=b'iCCP'+b'icc\\0\\0'+zlib.compress(icc)\n"
        "chunk=struct.pack('>I',len(body)-4)+body+struct.pack('>I',zlib.crc32(body))\n"
        "open(sys.argv[3],'wb').write(png[:33]+chunk+png[33:])\n";
    kvtest::WriteFileBytes(dir_ + "/embed.py", script);
    ASSERT_EQ(kvtest::Run("convert -size 8x8 xc:'rgb(200,100,50)' " + dir_ +
                          "/plain.png && python3 " + dir_ + "/embed.py " + dir_ + "/plain.png " +
                          dir_ + "/huge.icc " + dir_ + "/huge.png"),
              0);
    g_warnings.clear();
    const kv::WarningSink previous = kv::SetWarningSink(RecordWarning);
    const Outcome o = LoadWatched(dir_ + "/huge.png");
    kv::SetWarningSink(previous);
    EXPECT_EQ(o.result, 1);
    EXPECT_TRUE(o.alerts.empty());
    ASSERT_EQ(g_warnings.size(), 1u);
    EXPECT_NE(g_warnings[0].find("huge.png"), std::string::npos) << g_warnings[0];
    EXPECT_LT(o.largest, kv::ProfileMemoryCap);
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(kvtest::LoadPicture(image, dir_ + "/huge.png", true), 1);
    int rgba[4];
    kvtest::PixelOf(image, 3, 3, rgba);
    EXPECT_EQ(rgba[0], 200);
    EXPECT_EQ(rgba[1], 100);
    EXPECT_EQ(rgba[2], 50);
    // Loaded again (a show using it twice), the file is not named a second time.
    kv::SetWarningSink(RecordWarning);
    ASSERT_EQ(kvtest::LoadPicture(image, dir_ + "/huge.png", true), 1);
    kv::SetWarningSink(previous);
    EXPECT_EQ(g_warnings.size(), 1u);
}

// ---- Peak memory of a whole load ----------------------------------------------------------------

struct ChildLoad {
    int result = -1;  // CDIB::Load's result in the child
    long peakKb = 0;  // the child's peak resident memory
};

// Loads the picture in a child process at a "PictureMemoryLimit" of `limitMb` and reports its
// peak resident memory, every allocation and copy included.
ChildLoad LoadInChild(const std::string& path, bool upright, int limitMb) {
    ChildLoad out;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        kv::SetPictureMemoryLimit(limitMb);
        kv::CDIB image(16, 16, 8);
        image.uprightOrientation = upright;
        kv::FileSpec file;
        file.SetPath(path.c_str());
        _exit(image.Load(file, kv::FileSpec{}, false));
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return out;
    out.result = WEXITSTATUS(status);
    out.peakKb = usage.ru_maxrss;
    return out;
}

TEST_F(HostileFiles, EachHostileFileIsRefusedWithinThreeHundredMegabytesAtTheLimit) {
    // At a limit of 256 MB, whatever each file claims.
    std::vector<std::string> files = {
        Write("strips.tif", HostileTiff(40000, 40000, false)),
        Write("tiles.tif", HostileTiff(40000, 40000, true)),
        Write("plain-tiles.tif", HostileTiff(40000, 40000, true, 1)),
        Write("small.tif", HostileTiff(9000, 9000, false)),
        Write("big.webp", HostileWebp(16383, 16383)),
    };
    std::string heic = MakeGridHeic(dir_);
    const size_t idat = heic.find("idat");
    ASSERT_NE(idat, std::string::npos);
    PatchBig16(heic, idat + 8, {14606, 47370});
    files.push_back(Write("grid.heic", heic));
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const ChildLoad load = LoadInChild(file, true, 256);
        EXPECT_EQ(load.result, 2);  // the placeholder: refused
        EXPECT_LT(load.peakKb, 300 * 1024);
        std::printf("  peak %ld KB\n", load.peakKb);
    }
}

TEST_F(HostileFiles, QuarterTurnedPicturesAreHeldOnce) {
    // 6000 x 4000 at 24 bits is 72 MB: turning it afterwards took as much again.
    ASSERT_EQ(kvtest::Run("convert -size 4000x6000 gradient:red-blue -quality 80 " + dir_ +
                          "/big.jpg && convert " + dir_ + "/big.jpg -compress lzw " + dir_ +
                          "/big.tif && convert " + dir_ + "/big.jpg -compress none " + dir_ +
                          "/plain.tif"),
              0);
    ASSERT_TRUE(kvtest::AddExifOrientation(dir_ + "/big.jpg", 6));
    for (const char* name : {"big.tif", "plain.tif"})
        ASSERT_EQ(kvtest::Run("tiffset -s 274 6 " + dir_ + "/" + name), 0);
    for (const char* name : {"big.jpg", "big.tif", "plain.tif"}) {
        SCOPED_TRACE(name);
        const ChildLoad stored = LoadInChild(dir_ + "/" + name, false, 256);
        const ChildLoad turned = LoadInChild(dir_ + "/" + name, true, 256);
        ASSERT_EQ(stored.result, 1);
        ASSERT_EQ(turned.result, 1);
        // Within 24 MB of loading the picture as stored; a second copy is 72 MB.
        EXPECT_LT(turned.peakKb, stored.peakKb + 24 * 1024);
        std::printf("  peak %ld KB turned, %ld KB as stored\n", turned.peakKb, stored.peakKb);
    }
}

}  // namespace
