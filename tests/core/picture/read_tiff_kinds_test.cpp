// The TIFF kinds the reader converts to RGB itself (CMYK, grey and palette of 1, 2 and 4 bits,
// CIE Lab, YCbCr), each in one strip, in strips, compressed and in tiles: every pixel must equal
// what libtiff's RGBA conversion makes of the same file (tiff2rgba, run at test time).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/picture/cdib.h"
#include "platform/codecs/more_codecs.h"
#include "tests/core/picture/more_fixtures.h"
#include "tests/test_support.h"

namespace {

class TiffKinds : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kv::MoreCodecsPresent()) GTEST_SKIP() << "built without the further decoders";
        dir_ = kvtest::TempDir("tiffkinds");
    }
    bool Make(int w, int h) {
        return kvtest::Run("python3 '" + std::string(KV_SOURCE_DIR) +
                           "/tests/core/picture/tiff_kinds.py' " + dir_ + " " + std::to_string(w) +
                           " " + std::to_string(h)) == 0;
    }
    // Loads `file` and libtiff's RGBA conversion of it; both must load and agree on every pixel.
    void ExpectAsRgba(const std::string& file) {
        SCOPED_TRACE(file);
        const std::string ref = dir_ + "/ref.tif";
        ASSERT_EQ(kvtest::Run("tiff2rgba -n -c none " + file + " " + ref), 0);
        kv::CDIB got(16, 16, 8), want(16, 16, 8);
        std::vector<std::string> alerts;
        ASSERT_EQ(kvtest::LoadPicture(got, file, false, &alerts), 1)
            << (alerts.empty() ? "" : alerts[0]);
        ASSERT_EQ(kvtest::LoadPicture(want, ref, false), 1);
        ASSERT_EQ(got.Width(), want.Width());
        ASSERT_EQ(got.Height(), want.Height());
        EXPECT_EQ(got.BitCount(), 24);
        int differing = 0;
        for (int y = 0; y < got.Height(); ++y) {
            for (int x = 0; x < got.Width(); ++x) {
                int a[4], b[4];
                kvtest::PixelOf(got, x, y, a);
                kvtest::PixelOf(want, x, y, b);
                if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]) {
                    if (differing++ == 0)
                        ADD_FAILURE() << "first difference at " << x << "," << y << ": " << a[0]
                                      << " " << a[1] << " " << a[2] << " against " << b[0] << " "
                                      << b[1] << " " << b[2];
                }
            }
        }
        EXPECT_EQ(differing, 0);
    }
    // The file as written, and rewritten by tiffcp with each of `options`.
    void ExpectVariantsAsRgba(const std::string& kind, const std::vector<std::string>& options) {
        const std::string src = dir_ + "/" + kind + ".tif";
        ExpectAsRgba(src);
        int n = 0;
        for (const std::string& o : options) {
            const std::string out = dir_ + "/" + kind + "-" + std::to_string(n++) + ".tif";
            ASSERT_EQ(kvtest::Run("tiffcp " + o + " " + src + " " + out), 0) << o;
            ExpectAsRgba(out);
        }
    }
    std::string dir_;
};

const std::vector<std::string> Layouts = {"-c lzw -r 8", "-c zip -r 1000", "-c lzw -t -w 16 -l 16",
                                          "-r 5"};

TEST_F(TiffKinds, CmykLabAndYCbCrMatchLibtiffsRgba) {
    ASSERT_TRUE(Make(37, 29));
    for (const char* kind : {"cmyk", "lab", "ycbcr"}) ExpectVariantsAsRgba(kind, Layouts);
}

TEST_F(TiffKinds, LowBitGreyAndPaletteMatchLibtiffsRgba) {
    ASSERT_TRUE(Make(37, 29));
    for (const char* kind : {"grey1", "grey2", "grey4", "white1", "white2", "white4", "palette1",
                             "palette2", "palette4", "palette8bitmap4"})
        ExpectVariantsAsRgba(kind, Layouts);
    // Fax compressions hold bilevel pictures only.
    ExpectVariantsAsRgba("white1", {"-c g4", "-c g3 -r 7", "-c g4 -t -w 32 -l 16"});
    ExpectVariantsAsRgba("grey1", {"-c g4"});
}

TEST_F(TiffKinds, JpegCompressedYCbCrMatchesLibtiffsRgba) {
    ASSERT_EQ(kvtest::Run("convert -size 37x29 gradient:red-blue -compress none -depth 8 " + dir_ +
                          "/rgb.tif"),
              0);
    ExpectVariantsAsRgba("rgb", {"-c jpeg -r 16", "-c jpeg -t -w 16 -l 16", "-c jpeg:50 -r 32"});
}

TEST_F(TiffKinds, SubsampledYCbCrLoadsWhenItsStripsFitABandElseIsRefused) {
    ASSERT_TRUE(Make(38, 30));
    ExpectAsRgba(dir_ + "/ycbcr22.tif");
    ExpectAsRgba(dir_ + "/ycbcr22zip.tif");
    // 4096 pixels wide, libtiff's conversion takes bands of 256 rows: one deflated strip of 512
    // rows would be decoded again for each band. (libtiff cuts an uncompressed strip into small
    // ones itself, so that one loads.)
    ASSERT_TRUE(Make(4096, 512));
    kv::CDIB image(16, 16, 8);
    EXPECT_EQ(kvtest::LoadPicture(image, dir_ + "/ycbcr22.tif", false), 1);
    std::vector<std::string> alerts;
    EXPECT_EQ(kvtest::LoadPicture(image, dir_ + "/ycbcr22zip.tif", false, &alerts), 0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("Can't read image file", 0), 0u) << alerts[0];
}

}  // namespace
