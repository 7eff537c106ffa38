// The readers on hostile and broken bytes: truncated headers, huge or negative sizes, tables
// and offsets pointing anywhere, PackBits runs longer than their rows. Each case must end with
// its result code and without touching memory outside the image (the sanitizer build checks
// the latter), and in good time.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// (after windows.h, whose types it uses)
#include <psapi.h>
#undef far  // old pointer keywords the system headers still define
#undef near
#else
#include <sys/resource.h>
#endif

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "tests/core/picture/picture_reader_fixtures.h"
#include "tests/test_support.h"

namespace {

using namespace kvtest;

class Bytes {
public:
    explicit Bytes(size_t size = 0) : m_b(size, '\0') {}
    Bytes& Put(size_t at, const std::string& s) {
        Grow(at + s.size());
        m_b.replace(at, s.size(), s);
        return *this;
    }
    Bytes& Le(size_t at, uint32_t v, int n) {
        Grow(at + n);
        for (int i = 0; i < n; ++i) m_b[at + i] = static_cast<char>(v >> (8 * i));
        return *this;
    }
    Bytes& Be(size_t at, uint32_t v, int n) {
        Grow(at + n);
        for (int i = 0; i < n; ++i) m_b[at + i] = static_cast<char>(v >> (8 * (n - 1 - i)));
        return *this;
    }
    Bytes& Byte(size_t at, uint8_t v) { return Le(at, v, 1); }
    const std::string& str() const { return m_b; }
    size_t size() const { return m_b.size(); }

private:
    void Grow(size_t n) {
        if (m_b.size() < n) m_b.resize(n, '\0');
    }
    std::string m_b;
};

using Reader = kv::ImageReadResult (*)(kv::CDIB&, kv::DiskFile&);

struct Read {
    int32_t code;
    int width, height, bits;
};

// Reads `bytes` (saved under `name`) with `reader` into a fresh 16 x 16 x 8 image, which
// `out` receives when given.
Read ReadBytes(const std::string& bytes, Reader reader, kv::CDIB* out = nullptr,
               const std::string& name = "hostile.bin") {
    static int n = 0;
    const std::string path = TempDir("hostile" + std::to_string(n++)) + "/" + name;
    WriteFileBytes(path, bytes);
    kv::CDIB local(16, 16, 8);
    kv::CDIB& image = out ? *out : local;
    kv::DiskFile file;
    EXPECT_TRUE(file.Open(SpecOf(path), kv::DiskFile::OpenRead));
    const int32_t code = reader ? reader(image, file) : image.ReadFrom(file);
    return Read{code, image.Width(), image.Height(), image.BitCount()};
}

// ---- PackBits -------------------------------------------------------------------------------

TEST(UnpackBits, LiteralsRunsAndTheLongestRun) {
    const uint8_t src[] = {2, 'a', 'b', 'c', 0xFE, 'x', 0x80, 'z'};
    uint8_t dst[140] = {};
    const size_t n = kv::UnpackBitsRow(src, sizeof src, dst, sizeof dst);
    // "abc", then 1 - (-2) = 3 x 'x', then -128: 129 x 'z'.
    ASSERT_EQ(n, 3u + 3u + 129u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dst), 6), "abcxxx");
    for (size_t i = 6; i < n; ++i) ASSERT_EQ(dst[i], 'z');
    EXPECT_EQ(dst[n], 0);
}

TEST(UnpackBits, NeverWritesPastTheRowNorReadsPastTheSource) {
    // A run of 128 into a 5-byte row, a literal of 128 with 2 bytes left in the source.
    const uint8_t run[] = {0x81, 'r'};
    uint8_t row[6] = {0, 0, 0, 0, 0, 0x77};
    EXPECT_EQ(kv::UnpackBitsRow(run, sizeof run, row, 5), 5u);
    EXPECT_EQ(row[4], 'r');
    EXPECT_EQ(row[5], 0x77);

    const uint8_t literal[] = {0x7F, 'p', 'q'};
    uint8_t out[200];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(kv::UnpackBitsRow(literal, sizeof literal, out, sizeof out), 2u);
    EXPECT_EQ(out[2], 0x55);
    // A run whose value byte is missing ends the row.
    const uint8_t cut[] = {'\x01', 'a', 'b', 0xF0};
    EXPECT_EQ(kv::UnpackBitsRow(cut, sizeof cut, out, sizeof out), 2u);
    EXPECT_EQ(kv::UnpackBitsRow(cut, 0, out, sizeof out), 0u);
}

// ---- BMP ------------------------------------------------------------------------------------

Bytes Bmp(int32_t w, int32_t h, int bits, uint32_t fileSize, uint32_t offBits) {
    Bytes b(54);
    b.Put(0, "BM").Le(2, fileSize, 4).Le(10, offBits, 4).Le(14, 40, 4);
    b.Le(18, static_cast<uint32_t>(w), 4).Le(22, static_cast<uint32_t>(h), 4);
    b.Le(26, 1, 2).Le(28, bits, 2);
    return b;
}

TEST(BmpHostile, SizesInTheHeaderNeverReachPastTheImage) {
    // bfSize claims far more than the file and the image hold: the rows that are there load.
    Bytes big = Bmp(2, 2, 24, 0xFFFFFFF0u, 54);
    big.Put(54, std::string("\x01\x02\x03\x04\x05\x06\0\0\x07\x08\x09\x0a", 12));
    kv::CDIB image(16, 16, 8);
    Read r = ReadBytes(big.str(), kv::ReadBmp, &image);
    EXPECT_EQ(r.code, kv::ReadOk);
    EXPECT_EQ(image.Row(0)[0], 1);
    EXPECT_EQ(image.Row(1)[2], 9);
    EXPECT_EQ(image.Row(1)[3], 10);
    EXPECT_EQ(image.Row(1)[4], 0);  // beyond the file: left black

    // bfSize below bfOffBits, and bfOffBits beyond the file: nothing read, still a picture.
    EXPECT_EQ(ReadBytes(Bmp(2, 2, 24, 10, 54).str(), kv::ReadBmp).code, kv::ReadOk);
    EXPECT_EQ(ReadBytes(Bmp(2, 2, 24, 0xFFFFFFFFu, 0xFFFFFF00u).str(), kv::ReadBmp).code,
              kv::ReadOk);
    // Sizes at the limits and beyond.
    EXPECT_EQ(ReadBytes(Bmp(INT32_MIN, 2, 24, 60, 54).str(), kv::ReadBmp).code, kv::ReadNoMemory);
    EXPECT_EQ(ReadBytes(Bmp(2, INT32_MIN, 24, 60, 54).str(), kv::ReadBmp).code, kv::ReadNoMemory);
    EXPECT_EQ(ReadBytes(Bmp(INT32_MAX, 2, 24, 60, 54).str(), kv::ReadBmp).code, kv::ReadTooLarge);
    // Bit counts the image cannot hold are refused instead of given a made-up stride.
    EXPECT_EQ(ReadBytes(Bmp(2, 2, 12, 60, 54).str(), kv::ReadBmp).code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(Bmp(2, 2, 65535, 60, 54).str(), kv::ReadBmp).code, kv::ReadUnreadable);
    // Truncated headers.
    for (size_t n : {0u, 2u, 14u, 53u})
        EXPECT_EQ(ReadBytes(Bmp(2, 2, 24, 60, 54).str().substr(0, n), kv::ReadBmp).code,
                  kv::ReadUnreadable)
            << n;
}

TEST(BmpHostile, ColourTableFollowsTheHeaderAndItsCount) {
    // A 108-byte info header and a two-entry colour table: the table is read where it is, the
    // other entries keep the grey ramp, and the pixels are not taken for colours.
    Bytes b = Bmp(2, 1, 8, 14 + 108 + 8 + 4, 14 + 108 + 8);
    b.Le(14, 108, 4).Le(46, 2, 4);
    b.Put(14 + 108, std::string("\x10\x20\x30\0\x40\x50\x60\0", 8));
    b.Put(14 + 108 + 8, std::string("\x01\x00\0\0", 4));
    kv::CDIB image(16, 16, 24);
    ASSERT_EQ(ReadBytes(b.str(), kv::ReadBmp, &image).code, kv::ReadOk);
    const kv::RgbQuad* t = image.ColorTable();
    EXPECT_EQ(t[0].blue, 0x10);
    EXPECT_EQ(t[0].red, 0x30);
    EXPECT_EQ(t[1].green, 0x50);
    EXPECT_EQ(t[2].green, 2);
    EXPECT_EQ(t[255].red, 255);
    EXPECT_EQ(image.Row(0)[0], 1);

    // A table that runs past the end of a short file keeps what is there.
    Bytes cut = Bmp(2, 1, 8, 2000, 1078);
    cut.Put(54, std::string("\x11\x22\x33\0\x44", 5));
    ASSERT_EQ(ReadBytes(cut.str(), kv::ReadBmp, &image).code, kv::ReadOk);
    EXPECT_EQ(image.ColorTable()[0].green, 0x22);
    EXPECT_EQ(image.ColorTable()[1].green, 1);
}

TEST(BmpHostile, ShortFileIntoASameSizedImageLeavesNoOldPixels) {
    const std::string full = ReadFileBytes(FixturePath("bmp24.bmp"));
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(ReadBytes(full, kv::ReadBmp, &image).code, kv::ReadOk);
    ASSERT_NE(image.Row(4)[0], 0);
    // The same header over two rows of pixels: the top rows are black, not the last picture.
    ASSERT_EQ(ReadBytes(full.substr(0, 54 + 2 * 24), kv::ReadBmp, &image).code, kv::ReadOk);
    EXPECT_EQ(image.Row(1)[2], FixRed(0, 3));
    for (int y = 2; y < 5; ++y)
        for (int i = 0; i < 21; ++i) ASSERT_EQ(image.Row(y)[i], 0) << y;
}

// ---- Targa ----------------------------------------------------------------------------------

Bytes Tga(int type, int w, int h, int depth, int descriptor = 0) {
    Bytes b(18);
    b.Byte(2, static_cast<uint8_t>(type)).Le(12, w, 2).Le(14, h, 2);
    b.Byte(16, static_cast<uint8_t>(depth)).Byte(17, static_cast<uint8_t>(descriptor));
    return b;
}

TEST(TargaHostile, HeaderChecksInTheirOrder) {
    EXPECT_EQ(ReadBytes(Tga(2, 4, 4, 33).str(), kv::ReadTarga).code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(Tga(2, 4, 4, 7).str(), kv::ReadTarga).code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(Tga(2, 0, 4, 24).str(), kv::ReadTarga).code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(Tga(10, 4, 4, 24).str(), kv::ReadTarga).code, kv::ReadCompressed);
    EXPECT_EQ(ReadBytes(Tga(9, 4, 4, 8).str(), kv::ReadTarga).code, kv::ReadCompressed);
    // Beyond 8192 pixels the rows must be in the file: a bare header is unreadable.
    EXPECT_EQ(ReadBytes(Tga(2, 9000, 4, 24).str(), kv::ReadTarga).code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(Tga(2, 4, 65535, 24).str(), kv::ReadTarga).code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(Tga(2, 4, 4, 20).str(), kv::ReadTarga).code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(Tga(2, 4, 4, 24).str().substr(0, 17), kv::ReadTarga).code,
              kv::ReadUnreadable);
}

TEST(TargaHostile, ShortPixelDataLoadsWhatIsThere) {
    Bytes b = Tga(2, 2, 3, 24);
    b.Put(18, "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b");  // one row and a bit
    kv::CDIB image(16, 16, 8);
    Read r = ReadBytes(b.str(), kv::ReadTarga, &image);
    ASSERT_EQ(r.code, kv::ReadOk);
    EXPECT_EQ(image.Row(0)[5], 6);
    EXPECT_EQ(image.Row(1)[4], 0x0b);
    EXPECT_EQ(image.Row(1)[5], 0);
    EXPECT_EQ(image.Row(2)[0], 0);

    // A colour map and identification field that reach past the end: a black picture.
    Bytes far = Tga(1, 2, 2, 8);
    far.Byte(0, 255).Le(5, 65535, 2).Byte(7, 32);
    EXPECT_EQ(ReadBytes(far.str(), kv::ReadTarga).code, kv::ReadOk);
}

TEST(TargaHostile, FifteenBitPixelsAreSixteenBitImages) {
    Bytes b = Tga(2, 2, 1, 15);
    b.Le(18, 0x7C00, 2).Le(20, 0x001F, 2);  // red, blue
    kv::CDIB image(16, 16, 8);
    Read r = ReadBytes(b.str(), kv::ReadTarga, &image);
    ASSERT_EQ(r.code, kv::ReadOk);
    EXPECT_EQ(r.bits, 16);
    EXPECT_EQ(image.Row(0)[1], 0x7C);
    EXPECT_EQ(image.Row(0)[2], 0x1F);
}

// ---- TIFF -----------------------------------------------------------------------------------

struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
};

// A little- or big-endian TIFF with its directory at `dirAt`.
Bytes Tiff(const std::vector<Entry>& entries, uint32_t dirAt = 8, bool big = false) {
    Bytes b(8);
    auto put = [&](size_t at, uint32_t v, int n) { big ? b.Be(at, v, n) : b.Le(at, v, n); };
    b.Put(0, big ? "MM" : "II");
    put(2, 42, 2);
    put(4, dirAt, 4);
    put(dirAt, static_cast<uint32_t>(entries.size()), 2);
    size_t at = dirAt + 2;
    for (const Entry& e : entries) {
        put(at, e.tag, 2);
        put(at + 2, e.type, 2);
        put(at + 4, e.count, 4);
        if (e.type == 3 && e.count == 1) {
            put(at + 8, e.value, 2);
        } else {
            put(at + 8, e.value, 4);
        }
        at += 12;
    }
    put(at, 0, 4);
    return b;
}

// Two pixels a row, two rows: top row (1,2,3)(4,5,6), bottom row (7,8,9)(10,11,12), R,G,B.
const char* const kTopRow = "\x01\x02\x03\x04\x05\x06";
const char* const kBottomRow = "\x07\x08\x09\x0a\x0b\x0c";

void ExpectTwoByTwo(const kv::CDIB& image) {
    ASSERT_EQ(image.Width(), 2);
    ASSERT_EQ(image.Height(), 2);
    ASSERT_EQ(image.BitCount(), 24);
    const uint8_t* top = image.Row(1);
    const uint8_t* bottom = image.Row(0);
    EXPECT_EQ(top[0], 3);  // blue of the first pixel
    EXPECT_EQ(top[2], 1);
    EXPECT_EQ(top[5], 4);
    EXPECT_EQ(bottom[0], 9);
    EXPECT_EQ(bottom[5], 10);
}

TEST(TiffHostile, DirectoryBeyondTheFirstWindowIsRead) {
    Bytes b = Tiff({{256, 3, 1, 2}, {257, 3, 1, 2}, {273, 4, 1, 8}, {277, 3, 1, 3}}, 5000);
    b.Put(8, kTopRow).Put(14, kBottomRow);
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(ReadBytes(b.str(), kv::ReadTiff, &image).code, kv::ReadOk);
    ExpectTwoByTwo(image);
}

TEST(TiffHostile, TwoShortStripOffsetsSitInTheEntry) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        Bytes b =
            Tiff({{256, 3, 1, 2}, {257, 3, 1, 2}, {277, 3, 1, 3}, {278, 3, 1, 1}, {273, 3, 2, 0}},
                 8, big);
        // The two SHORT values as written in the file's order: first 100, then 200.
        const size_t field = 8 + 2 + 4 * 12 + 8;
        big ? b.Be(field, 100, 2).Be(field + 2, 200, 2) : b.Le(field, 100, 2).Le(field + 2, 200, 2);
        b.Put(100, kTopRow).Put(200, kBottomRow);
        kv::CDIB image(16, 16, 8);
        ASSERT_EQ(ReadBytes(b.str(), kv::ReadTiff, &image).code, kv::ReadOk);
        ExpectTwoByTwo(image);
    }
}

TEST(TiffHostile, StripTablesAndOffsetsOutsideTheFileReadNothing) {
    // The strip-offset array lies far beyond the end of the file.
    Bytes far = Tiff({{256, 3, 1, 4}, {257, 3, 1, 4}, {273, 4, 3, 0xFFFFFF00u}, {278, 3, 1, 2}});
    EXPECT_EQ(ReadBytes(far.str(), kv::ReadTiff).code, kv::ReadOk);
    // Four billion strips of no rows each: one pass over the picture's height, not a hang.
    Bytes many = Tiff({{256, 3, 1, 4}, {257, 3, 1, 4}, {273, 4, 0xFFFFFFFFu, 200}, {278, 4, 1, 0}});
    EXPECT_EQ(ReadBytes(many.str(), kv::ReadTiff).code, kv::ReadOk);
    Bytes tall = Tiff({{256, 3, 1, 1},
                       {257, 3, 1, 8192},
                       {273, 4, 0xFFFFFFFFu, 200},
                       {278, 4, 1, 1},
                       {277, 3, 1, 1}});
    EXPECT_EQ(ReadBytes(tall.str(), kv::ReadTiff).code, kv::ReadOk);
    // A single strip starting beyond the end.
    Bytes single = Tiff({{256, 3, 1, 2}, {257, 3, 1, 2}, {273, 4, 1, 0x7FFFFFFFu}});
    kv::CDIB image(16, 16, 8);
    EXPECT_EQ(ReadBytes(single.str(), kv::ReadTiff, &image).code, kv::ReadOk);
    EXPECT_EQ(image.Row(0)[0], 0);
}

TEST(TiffHostile, DirectoriesOutsideOrAcrossTheWindow) {
    // Directory offset beyond the end of the file.
    EXPECT_EQ(ReadBytes(Tiff({}, 8).Le(4, 0x7FFFFFF0u, 4).str(), kv::ReadTiff).code,
              kv::ReadUnreadable);
    // Directory count in the window's last byte.
    Bytes edge = Tiff({}, 8);
    edge.Le(4, 4095, 4).Byte(5000, 0);
    EXPECT_EQ(ReadBytes(edge.str(), kv::ReadTiff).code, kv::ReadUnreadable);
    // 65535 entries claimed near the window's end: only those inside are read (none of them
    // says anything here), so the defaults stand: 32 x 32 at 24 bits.
    Bytes crowded = Tiff({}, 8);
    crowded.Le(4, 4000, 4).Le(4000, 0xFFFF, 2).Byte(9000, 0);
    Read r = ReadBytes(crowded.str(), kv::ReadTiff);
    EXPECT_EQ(r.code, kv::ReadOk);
    EXPECT_EQ(r.width, 32);
    EXPECT_EQ(r.bits, 24);
    // Too short to hold a header, or not a TIFF at all.
    EXPECT_EQ(ReadBytes("II*", kv::ReadTiff).code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(std::string("IIx\0\x08\0\0\0", 8), kv::ReadTiff).code, kv::ReadUnreadable);
}

TEST(TiffHostile, LayoutsTheReaderDoesNotTake) {
    auto code = [](std::vector<Entry> e) { return ReadBytes(Tiff(e).str(), kv::ReadTiff).code; };
    EXPECT_EQ(code({{256, 4, 1, 65536}}), kv::ReadTooLarge);
    EXPECT_EQ(code({{257, 4, 1, 70000}}), kv::ReadTooLarge);
    EXPECT_EQ(code({{257, 3, 1, 8193}}), kv::ReadUnreadable);  // its rows are not in the file
    EXPECT_EQ(code({{259, 3, 1, 5}}), kv::ReadCompressed);
    EXPECT_EQ(code({{259, 3, 1, 32773}}), kv::ReadCompressed);
    EXPECT_EQ(code({{277, 3, 1, 7}}), kv::ReadUnreadable);
    EXPECT_EQ(code({{277, 3, 1, 0}}), kv::ReadUnreadable);
    EXPECT_EQ(code({{277, 3, 1, 2}}), kv::ReadUnreadable);
    EXPECT_EQ(code({{258, 3, 1, 1}, {277, 3, 1, 1}}), kv::ReadTooFewColours);
    EXPECT_EQ(code({{258, 3, 1, 32}}), kv::ReadUnreadable);
    EXPECT_EQ(code({{284, 3, 1, 2}}), kv::ReadUnreadable);
    EXPECT_EQ(code({{256, 3, 1, 0}}), kv::ReadNoMemory);
}

TEST(TiffHostile, SixteenBitSamplesKeepTheirHighByte) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        // Bits per sample as three shorts stored at 300.
        Bytes b = Tiff(
            {{256, 3, 1, 2}, {257, 3, 1, 2}, {258, 3, 3, 300}, {273, 4, 1, 100}, {277, 3, 1, 3}}, 8,
            big);
        for (int i = 0; i < 3; ++i) big ? b.Be(300 + 2 * i, 16, 2) : b.Le(300 + 2 * i, 16, 2);
        const std::string rows = std::string(kTopRow) + kBottomRow;
        for (size_t i = 0; i < rows.size(); ++i) {
            const uint32_t sample = static_cast<uint8_t>(rows[i]) << 8 | 0xEE;
            big ? b.Be(100 + 2 * i, sample, 2) : b.Le(100 + 2 * i, sample, 2);
        }
        kv::CDIB image(16, 16, 8);
        ASSERT_EQ(ReadBytes(b.str(), kv::ReadTiff, &image).code, kv::ReadOk);
        ExpectTwoByTwo(image);
    }
}

// ---- Photoshop ------------------------------------------------------------------------------

// Header, no colour data, empty resource and layer sections, the compression value.
Bytes Psd(uint32_t channels, uint32_t h, uint32_t w, uint32_t depth, uint32_t mode,
          uint32_t compression) {
    Bytes b(26);
    b.Put(0, "8BPS").Be(4, 1, 2).Be(12, channels, 2).Be(14, h, 4).Be(18, w, 4);
    b.Be(22, depth, 2).Be(24, mode, 2).Be(26, 0, 4).Be(30, 0, 4).Be(34, 0, 4);
    b.Be(38, compression, 2);
    return b;
}
constexpr size_t kPsdData = 40;

TEST(PhotoshopHostile, PackBitsRunsStopAtTheRow) {
    // One grey channel, 3 x 2. Row 0: a run of 128; row 1: a literal of 128 with 3 bytes.
    Bytes b = Psd(1, 2, 3, 8, 1, 1);
    b.Be(kPsdData, 2, 2).Be(kPsdData + 2, 4, 2);
    b.Put(kPsdData + 4,
          "\x81\x40"
          "\x7f\x01\x02\x03");
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(ReadBytes(b.str(), kv::ReadPhotoshop, &image).code, kv::ReadOk);
    ASSERT_EQ(image.BitCount(), 24);
    const uint8_t* top = image.Row(1);
    const uint8_t* bottom = image.Row(0);
    EXPECT_EQ(top[0], 0x40);
    EXPECT_EQ(top[8], 0x40);
    EXPECT_EQ(bottom[0], 1);
    EXPECT_EQ(bottom[8], 3);

    // A row that decodes short leaves zeros, not the row before.
    Bytes shortRow = Psd(1, 2, 3, 8, 1, 1);
    shortRow.Be(kPsdData, 2, 2)
        .Be(kPsdData + 2, 2, 2)
        .Put(kPsdData + 4, std::string("\xfe\x50\x00\x09", 4));
    ASSERT_EQ(ReadBytes(shortRow.str(), kv::ReadPhotoshop, &image).code, kv::ReadOk);
    EXPECT_EQ(image.Row(0)[0], 9);
    EXPECT_EQ(image.Row(0)[3], 0);
}

TEST(PhotoshopHostile, GreyWithAnAlphaChannelKeepsItsGrey) {
    // Grey and alpha, 2 x 1, raw: the second channel does not replace the picture.
    Bytes b = Psd(2, 1, 2, 8, 1, 0);
    b.Put(kPsdData, "\x30\x60\xff\x80");
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(ReadBytes(b.str(), kv::ReadPhotoshop, &image).code, kv::ReadOk);
    EXPECT_EQ(image.BitCount(), 24);
    EXPECT_EQ(image.Row(0)[0], 0x30);
    EXPECT_EQ(image.Row(0)[5], 0x60);
    // Indexed the same way.
    Bytes idx = Psd(2, 1, 1, 8, 2, 0);
    idx.Be(26, 768, 4).Byte(30 + 7, 0x11).Byte(30 + 256 + 7, 0x22).Byte(30 + 512 + 7, 0x33);
    idx.Be(30 + 768, 0, 4).Be(34 + 768, 0, 4).Be(38 + 768, 0, 2).Put(40 + 768, "\x07\x01");
    ASSERT_EQ(ReadBytes(idx.str(), kv::ReadPhotoshop, &image).code, kv::ReadOk);
    EXPECT_EQ(image.Row(0)[0], 0x33);
    EXPECT_EQ(image.Row(0)[2], 0x11);
}

TEST(PhotoshopHostile, CountsBeyondTheFileAreUnreadable) {
    // Row lengths larger than the data.
    Bytes longRows = Psd(1, 2, 3, 8, 1, 1);
    longRows.Be(kPsdData, 60000, 2).Be(kPsdData + 2, 60000, 2).Put(kPsdData + 4, "\x00\x01");
    EXPECT_EQ(ReadBytes(longRows.str(), kv::ReadPhotoshop).code, kv::ReadUnreadable);
    // The largest picture, raw, in a file of a few bytes: refused without waiting for data.
    kv::CDIB image(16, 16, 8);
    EXPECT_EQ(ReadBytes(Psd(3, 8192, 8192, 16, 3, 0).str(), kv::ReadPhotoshop, &image).code,
              kv::ReadUnreadable);
    EXPECT_EQ(image.Width(), 16);
    // 65535 channels of PackBits: the row-length table alone is larger than the file.
    EXPECT_EQ(ReadBytes(Psd(65535, 64, 64, 8, 3, 1).str(), kv::ReadPhotoshop).code,
              kv::ReadUnreadable);
    // Section lengths that point past the end.
    Bytes sections = Psd(3, 2, 2, 8, 3, 0);
    sections.Be(30, 0xFFFFFFF0u, 4);
    EXPECT_EQ(ReadBytes(sections.str(), kv::ReadPhotoshop).code, kv::ReadUnreadable);
    Bytes modeData = Psd(3, 2, 2, 8, 3, 0);
    modeData.Be(26, 0xFFFFFFFFu, 4);
    EXPECT_EQ(ReadBytes(modeData.str(), kv::ReadPhotoshop).code, kv::ReadUnreadable);
    // Truncated header.
    EXPECT_EQ(ReadBytes(Psd(3, 2, 2, 8, 3, 0).str().substr(0, 29), kv::ReadPhotoshop).code,
              kv::ReadUnreadable);
}

TEST(PhotoshopHostile, HeaderValuesOutsideTheReader) {
    auto code = [](const Bytes& b) { return ReadBytes(b.str(), kv::ReadPhotoshop).code; };
    EXPECT_EQ(code(Psd(3, 2, 2, 8, 4, 0)), kv::ReadUnreadable);  // CMYK
    EXPECT_EQ(code(Psd(3, 2, 65536, 8, 3, 0)), kv::ReadTooLarge);
    EXPECT_EQ(code(Psd(3, 2, 9000, 8, 3, 0)), kv::ReadUnreadable);  // rows not in the file
    EXPECT_EQ(code(Psd(3, 0x80000000u, 2, 8, 3, 0)), kv::ReadTooLarge);
    EXPECT_EQ(code(Psd(3, 2, 2, 7, 3, 0)), kv::ReadUnreadable);
    EXPECT_EQ(code(Psd(3, 2, 2, 1, 3, 0)), kv::ReadUnreadable);
    EXPECT_EQ(code(Psd(3, 2, 2, 8, 3, 2)), kv::ReadCompressed);  // ZIP
    EXPECT_EQ(code(Psd(3, 0, 2, 8, 3, 0)), kv::ReadNoMemory);
    // Bitmap mode: one bit per pixel, the picture stays black.
    Bytes bitmap = Psd(1, 2, 9, 1, 0, 0);
    bitmap.Put(kPsdData, "\xff\xff\xff\xff");
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(ReadBytes(bitmap.str(), kv::ReadPhotoshop, &image).code, kv::ReadOk);
    EXPECT_EQ(image.Width(), 9);
    EXPECT_EQ(image.Row(0)[0], 0);
}

// ---- JPEG and PNG ---------------------------------------------------------------------------

TEST(GdiplusHostile, BrokenOrHugeFilesAreRefused) {
    const std::string jpeg = ReadFileBytes(FixturePath("photo"));
    // The frame header's size made 65500 x 65500 (libjpeg's largest): more than a picture may
    // take, refused before decoding.
    const size_t sof = jpeg.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    std::string huge = jpeg;
    for (size_t at : {sof + 5, sof + 7}) {
        huge[at] = static_cast<char>(65500 >> 8);
        huge[at + 1] = static_cast<char>(65500 & 255);
    }
    kv::CDIB image(16, 16, 8);
    EXPECT_EQ(ReadBytes(huge, kv::ReadGdiplus, &image).code, kv::ReadNoMemory);
    EXPECT_EQ(image.Width(), 16);
    // Not a picture at all, though named like one: unreadable, not a memory shortage.
    EXPECT_EQ(ReadBytes("plain words", nullptr, nullptr, "words.jpg").code, kv::ReadUnreadable);
    EXPECT_EQ(ReadBytes(jpeg.substr(0, 20), kv::ReadGdiplus).code, kv::ReadUnreadable);
    // Cut short in its pixel data: libjpeg fills in the rest, the picture loads.
    Read cut = ReadBytes(jpeg.substr(0, jpeg.size() - 40), kv::ReadGdiplus);
#ifdef _WIN32
    // GDI+ decides for itself whether a cut JPEG loads: some versions fill in the rest, others
    // refuse the file. Either way nothing half-read is handed on under the wrong size.
    EXPECT_TRUE(cut.code == kv::ReadOk || cut.code == kv::ReadUnreadable) << cut.code;
    if (cut.code == kv::ReadOk) {
        EXPECT_EQ(cut.width, 7);
    }
#else
    EXPECT_EQ(cut.code, kv::ReadOk);
    EXPECT_EQ(cut.width, 7);
#endif

    const std::string png = ReadFileBytes(FixturePath("picture_rgb.PNG"));
    EXPECT_EQ(ReadBytes(png.substr(0, 40), kv::ReadGdiplus).code, kv::ReadUnreadable);
    const size_t idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    EXPECT_EQ(ReadBytes(png.substr(0, idat + 20), kv::ReadGdiplus).code, kv::ReadUnreadable);
}

// ---- Claims of the biggest sizes --------------------------------------------------------------

// The largest pixel block any image asked for while a case ran.
std::atomic<size_t> g_largestPixelBlock{0};

void NotePixelBlock(size_t bytes) {
    size_t seen = g_largestPixelBlock.load();
    while (bytes > seen && !g_largestPixelBlock.compare_exchange_weak(seen, bytes)) {
    }
}

long PeakResidentKilobytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}

TEST(BiggestClaims, HeadersOfTheLargestSizesEndWithAMessageAndAllocateNothingLikeThem) {
    const std::string jpeg = ReadFileBytes(FixturePath("photo"));
    const size_t sof = jpeg.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    std::string bigJpeg = jpeg;
    for (size_t at : {sof + 5, sof + 7}) {
        bigJpeg[at] = static_cast<char>(0xFF);
        bigJpeg[at + 1] = static_cast<char>(0xDC);  // 65500, libjpeg's largest
    }
    // A PNG header (and its checksum) claiming w x h, 8-bit RGB, then a scrap of data.
    auto pngOf = [](uint32_t w, uint32_t h) {
        std::string png("\x89PNG\r\n\x1a\n", 8);
        Bytes ihdr;
        ihdr.Put(0, "IHDR").Be(4, w, 4).Be(8, h, 4).Byte(12, 8).Byte(13, 2).Byte(16, 0);
        uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char c : ihdr.str()) {
            crc ^= c;
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        Bytes chunk;
        chunk.Be(0, 13, 4).Put(4, ihdr.str()).Be(21, ~crc, 4);
        return png + chunk.str() + std::string("\0\0\0\x02IDATxx\0\0\0\0", 14);
    };
    Bytes bmp8(54), bmp32(54), bmpWide(54);
    for (auto* b : {&bmp8, &bmp32, &bmpWide}) b->Put(0, "BM").Le(10, 1078, 4).Le(14, 40, 4);
    bmp8.Le(18, 65535, 4).Le(22, 65535, 4).Le(26, 1, 2).Le(28, 8, 2);
    bmp32.Le(18, 65535, 4).Le(22, 65535, 4).Le(26, 1, 2).Le(28, 32, 2).Le(2, 0xFFFFFFFFu, 4);
    bmpWide.Le(18, 70000, 4).Le(22, 65535, 4).Le(26, 1, 2).Le(28, 24, 2);
    // PackBits Photoshop of one channel: 2 bytes of row length per row are all it needs.
    Bytes psdPacked = Psd(1, 65535, 65535, 8, 1, 1);
    psdPacked.Put(kPsdData + 2 * 65535, std::string(64, '\x80'));
    struct Case {
        const char* what;
        std::string bytes;
        Reader reader;
        int32_t code;
    } cases[] = {
        {"BMP 8 bits", bmp8.str(), kv::ReadBmp, kv::ReadUnreadable},
        {"BMP 32 bits", bmp32.str(), kv::ReadBmp, kv::ReadUnreadable},
        {"BMP 70000 wide", bmpWide.str(), kv::ReadBmp, kv::ReadTooLarge},
        {"Targa", Tga(2, 65535, 65535, 32).str(), kv::ReadTarga, kv::ReadUnreadable},
        {"TIFF", Tiff({{256, 4, 1, 65535}, {257, 4, 1, 65535}, {277, 3, 1, 1}}).str(), kv::ReadTiff,
         kv::ReadUnreadable},
        {"TIFF 4 billion", Tiff({{256, 4, 1, 0xFFFFFFFFu}}).str(), kv::ReadTiff, kv::ReadTooLarge},
        {"Photoshop raw", Psd(3, 65535, 65535, 8, 3, 0).str(), kv::ReadPhotoshop,
         kv::ReadUnreadable},
        {"Photoshop packed", psdPacked.str(), kv::ReadPhotoshop, kv::ReadNoMemory},
        {"JPEG", bigJpeg, kv::ReadGdiplus, kv::ReadNoMemory},
        {"PNG", pngOf(65535, 65535), kv::ReadGdiplus, kv::ReadNoMemory},
        {"PNG 70000 wide", pngOf(70000, 2), kv::ReadGdiplus, kv::ReadTooLarge},
    };
    const long before = PeakResidentKilobytes();
    kv::SetPixelAllocationHook(&NotePixelBlock);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_largestPixelBlock = 0;
        kv::CDIB image(16, 16, 8);
        EXPECT_EQ(ReadBytes(c.bytes, c.reader, &image).code, c.code);
        // No image of the claimed size was asked for, and the old one is left as it was.
        EXPECT_LT(g_largestPixelBlock.load(), size_t{1} << 20);
        EXPECT_EQ(image.Width(), 16);
        bool append = false;
        EXPECT_NE(kv::ImageReadMessage(c.code, &append), nullptr);
    }
    kv::SetPixelAllocationHook(nullptr);
    ::testing::Test::RecordProperty("peak_resident_kb_before", std::to_string(before));
    ::testing::Test::RecordProperty("peak_resident_kb_after",
                                    std::to_string(PeakResidentKilobytes()));
}

TEST(BiggestClaims, PicturesAboveTheMemoryLimitAreRefusedBeforeAllocating) {
    // 300 x 200 x 3 bytes: within a limit of 1 MB; 700 x 600 x 3 is not.
    const std::string small = ReadFileBytes(FixturePath("photo"));
    Bytes bmp(54);
    bmp.Put(0, "BM").Le(10, 54, 4).Le(14, 40, 4).Le(18, 700, 4).Le(22, 600, 4).Le(26, 1, 2);
    bmp.Le(28, 24, 2).Le(2, 54 + 2100 * 600, 4).Put(54 + 2100 * 600 - 1, std::string(1, '\0'));
    kv::SetPictureMemoryLimit(1);
    EXPECT_EQ(kv::PictureMemoryLimit(), uint64_t{1} << 20);
    g_largestPixelBlock = 0;
    kv::SetPixelAllocationHook(&NotePixelBlock);
    const Read refused = ReadBytes(bmp.str(), kv::ReadBmp);
    kv::SetPixelAllocationHook(nullptr);
    EXPECT_EQ(refused.code, kv::ReadNoMemory);
    EXPECT_LT(g_largestPixelBlock.load(), size_t{1} << 20);
    EXPECT_EQ(ReadBytes(small, kv::ReadGdiplus).code, kv::ReadOk);
    kv::SetPictureMemoryLimit(0);
    // The default: half the machine's memory, at most 8 GiB, and never nothing.
    EXPECT_LE(kv::PictureMemoryLimit(), uint64_t{8} << 30);
    EXPECT_GE(kv::PictureMemoryLimit(), uint64_t{256} << 20);
    EXPECT_EQ(ReadBytes(bmp.str(), kv::ReadBmp).code, kv::ReadOk);
}

TEST(BiggestClaims, PicturesBeyondTheOldLimitLoadWhole) {
    // 9000 x 3, 24 bits: each pixel's blue is its column's low byte, rows bottom-up.
    const int w = 9000, h = 3, stride = (w * 3 + 3) & ~3;
    Bytes bmp(54);
    bmp.Put(0, "BM").Le(10, 54, 4).Le(14, 40, 4).Le(18, w, 4).Le(22, h, 4).Le(26, 1, 2);
    bmp.Le(28, 24, 2).Le(2, 54 + stride * h, 4);
    std::string pixels(static_cast<size_t>(stride) * h, '\0');
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels[y * stride + 3 * x] = static_cast<char>(x + y);
    bmp.Put(54, pixels);
    kv::CDIB image(16, 16, 8);
    ASSERT_EQ(ReadBytes(bmp.str(), kv::ReadBmp, &image).code, kv::ReadOk);
    ASSERT_EQ(image.Width(), w);
    EXPECT_EQ(image.Row(2)[3 * 8999], static_cast<uint8_t>(8999 + 2));
    EXPECT_EQ(image.Row(0)[3 * 4000], static_cast<uint8_t>(4000));
    // One row short: a picture beyond 8192 pixels must be whole.
    EXPECT_EQ(ReadBytes(bmp.str().substr(0, 54 + stride * 2), kv::ReadBmp).code,
              kv::ReadUnreadable);
}

}  // namespace
