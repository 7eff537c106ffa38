// CDIB::Load: opening (and the alternative folder), the result messages and the placeholder.
#include <gtest/gtest.h>

#include <string>

#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "core/picture/placeholder.h"
#include "tests/core/picture/picture_reader_fixtures.h"
#include "tests/test_support.h"

namespace {

using namespace kvtest;

// A BMP header (54 bytes) with the given size, depth and compression, then `pixels` bytes.
std::string BmpBytes(int32_t width, int32_t height, int bits, uint32_t compression = 0,
                     size_t pixels = 0) {
    std::string b(54 + pixels, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<char>(bits);
    put32(30, compression);
    return b;
}

struct Outcome {
    int32_t result;
    std::vector<std::string> alerts;
};

Outcome Load(kv::CDIB& image, const std::string& path, bool showErrors,
             const std::string& alt = "") {
    AlertRecorder rec;
    Outcome o;
    o.result = image.Load(SpecOf(path), alt.empty() ? kv::FileSpec{} : SpecOf(alt), showErrors);
    o.alerts = rec.texts;
    return o;
}

TEST(PictureLoad, MissingFileIsReportedOrReplacedByThePlaceholder) {
    const std::string path = TempDir("missing") + "/gone.bmp";
    kv::CDIB image(16, 16, 8);
    Outcome shown = Load(image, path, true);
    EXPECT_EQ(shown.result, 0);
    ASSERT_EQ(shown.alerts.size(), 1u);
    EXPECT_EQ(shown.alerts[0], "Can't open graphics file: " + path);
    EXPECT_EQ(image.Width(), 16);  // untouched

    Outcome quiet = Load(image, path, false);
    EXPECT_EQ(quiet.result, 2);
    EXPECT_TRUE(quiet.alerts.empty());
    EXPECT_EQ(image.Width(), 160);
    EXPECT_EQ(image.Height(), 120);
    EXPECT_EQ(image.BitCount(), 24);
}

TEST(PictureLoad, UnreadableFileWithErrorsOffGivesThePlaceholder) {
    const std::string path = TempDir("quiet") + "/low.bmp";
    WriteFileBytes(path, BmpBytes(4, 4, 4));
    kv::CDIB image(16, 16, 8);
    Outcome o = Load(image, path, false);
    EXPECT_EQ(o.result, 2);
    EXPECT_TRUE(o.alerts.empty());
    kv::CDIB placeholder(16, 16, 8);
    ASSERT_TRUE(kv::LoadPlaceholder(placeholder));
    ASSERT_EQ(image.Width(), 160);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.Bits()), 160 * 3 * 120),
              std::string(reinterpret_cast<const char*>(placeholder.Bits()), 160 * 3 * 120));
}

TEST(PictureLoad, MovedFileIsFoundInTheAlternativeFolderByName) {
    const std::string alt = TempDir("alt-folder");
    WriteFileBytes(alt + "/holiday.bmp", ReadFileBytes(FixturePath("bmp24.bmp")));
    for (const std::string& original :
         {std::string("/no/such/folder/holiday.bmp"), std::string("C:\\Pictures\\holiday.bmp"),
          std::string("Disk:Pictures:holiday.bmp")}) {
        SCOPED_TRACE(original);
        kv::CDIB image(16, 16, 8);
        Outcome withSlash = Load(image, original, true, alt + "/");
        EXPECT_EQ(withSlash.result, 1);
        EXPECT_TRUE(withSlash.alerts.empty());
        ExpectFormulaPixels(image, false);
        // A folder written without its closing separator is still a folder.
        kv::CDIB again(16, 16, 8);
        EXPECT_EQ(Load(again, original, true, alt).result, 1);
    }
    // A reference without a file name does not open the folder itself.
    kv::CDIB folder(16, 16, 8);
    Outcome none = Load(folder, "/no/such/folder/", true, alt + "/");
    EXPECT_EQ(none.result, 0);
    ASSERT_EQ(none.alerts.size(), 1u);
    EXPECT_EQ(none.alerts[0], "Can't open graphics file: /no/such/folder/");
    // The alternative folder does not hide a missing file from the message.
    kv::CDIB image(16, 16, 8);
    Outcome o = Load(image, "/no/such/folder/other.bmp", true, alt + "/");
    EXPECT_EQ(o.result, 0);
    ASSERT_EQ(o.alerts.size(), 1u);
    EXPECT_EQ(o.alerts[0], "Can't open graphics file: /no/such/folder/other.bmp");
}

TEST(PictureLoad, ResultCodesShowTheirFixedMessages) {
    const std::string dir = TempDir("messages");
    struct Case {
        std::string bytes;
        int32_t code;
        const char* message;
    } cases[] = {
        {BmpBytes(65536, 1, 24), kv::ReadTooLarge, "Images must be smaller than 65536 pixels"},
        {BmpBytes(1, 65536, 24), kv::ReadTooLarge, "Images must be smaller than 65536 pixels"},
        {BmpBytes(10, 10, 8, 1), kv::ReadCompressed, "Can't read compressed images"},
        {BmpBytes(10, 10, 1), kv::ReadTooFewColours, "Images must have 256 colors or more"},
        // A top-down bitmap (negative height) cannot be created.
        {BmpBytes(10, -10, 24), kv::ReadNoMemory, "Not enough memory to load image"},
        {BmpBytes(0, 10, 24), kv::ReadNoMemory, "Not enough memory to load image"},
        {std::string("BM\x01\x02", 4), kv::ReadUnreadable, "Can't read image file  [ 3 ]"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const std::string path = dir + "/case" + std::to_string(n++) + ".bmp";
        WriteFileBytes(path, c.bytes);
        kv::CDIB image(16, 16, 8);
        Outcome o = Load(image, path, true);
        EXPECT_EQ(o.result, 0);
        ASSERT_EQ(o.alerts.size(), 1u);
        EXPECT_EQ(o.alerts[0], c.message);
        kv::DiskFile file;
        ASSERT_TRUE(file.Open(SpecOf(path), kv::DiskFile::OpenRead));
        kv::CDIB again(16, 16, 8);
        EXPECT_EQ(again.ReadFrom(file), c.code);
    }
    bool append = true;
    EXPECT_EQ(kv::ImageReadMessage(kv::ReadOk, &append), nullptr);
    EXPECT_STREQ(kv::ImageReadMessage(kv::ReadNoImage, &append), "Can't read image file");
    EXPECT_TRUE(append);
    EXPECT_STREQ(kv::ImageReadMessage(kv::ReadNoMemory, &append),
                 "Not enough memory to load image");
    EXPECT_FALSE(append);
}

TEST(PictureLoad, EmptyImageLoadsNothing) {
    kv::CDIB image(0, 0, 8);
    Outcome o = Load(image, FixturePath("bmp24.bmp"), true);
    EXPECT_EQ(o.result, 0);
    EXPECT_TRUE(o.alerts.empty());
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(Load(image, "/no/such/file.bmp", false).result, 0);
    EXPECT_TRUE(image.Empty());
}

TEST(Placeholder, IsTwoColoursWithSomethingDrawn) {
    kv::CDIB image(16, 16, 8);
    ASSERT_TRUE(kv::LoadPlaceholder(image));
    ASSERT_EQ(image.Width(), 160);
    ASSERT_EQ(image.Height(), 120);
    ASSERT_EQ(image.BitCount(), 24);
    int white = 0, black = 0;
    for (int y = 0; y < 120; ++y) {
        const uint8_t* p = image.Row(y);
        for (int x = 0; x < 160 * 3; x += 3) {
            ASSERT_TRUE(p[x] == p[x + 1] && p[x] == p[x + 2]) << x / 3 << "," << y;
            ASSERT_TRUE(p[x] == 0 || p[x] == 255) << x / 3 << "," << y;
            (p[x] ? white : black)++;
        }
    }
    // A drawing, not a blank: both colours take a fair share.
    EXPECT_GT(white, 160 * 120 / 10);
    EXPECT_GT(black, 160 * 120 / 3);
    // The corners are background, the frame's lower edge is drawn (row 9 from the bottom).
    EXPECT_EQ(*PixelAt(image, 0, 0), 0);
    EXPECT_EQ(*PixelAt(image, 159, 119), 0);
    EXPECT_EQ(*PixelAt(image, 80, 110), 255);
}

}  // namespace
