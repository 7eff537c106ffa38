// kinevista-cli picture and prep: load results, the alternative folder, the placeholder, and the
// prepared picture written as BMP.
#include <gtest/gtest.h>

#include "core/render/treatments.h"
#include "tests/tools/cli/cli_show_fixture.h"

namespace {

using kvclitest::Cli;
using kvclitest::CliShow;
using kvclitest::Q;

kv::FileSpec FileSpecOf(const std::string& p) {
    kv::FileSpec s;
    s.SetPath(p.c_str());
    return s;
}

TEST_F(CliShow, PictureWritesTheLoadedImage) {
    std::string out;
    ASSERT_EQ(Cli("picture " + Q(picture) + " --out " + Q(dir + "/o.bmp"), &out), 0);
    EXPECT_EQ(out, "load result 1\n");
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/o.bmp"), kvtest::ReadFileBytes(picture));

    // Through the alternative folder: only the file name of the given path counts.
    ASSERT_EQ(
        Cli("picture /gone/pic.bmp --alt-folder " + Q(dir + "/") + " --out " + Q(dir + "/alt.bmp"),
            &out),
        0);
    EXPECT_EQ(out, "load result 1\n");
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/alt.bmp"), kvtest::ReadFileBytes(picture));

    // Missing: an alert and result 0, or the placeholder (result 2) with errors off.
    std::string both;
    EXPECT_EQ(
        Cli("picture /gone/x.bmp --out " + Q(dir + "/x.bmp") + " --show-errors 1", &both, "2>&1"),
        1);
    EXPECT_EQ(both, "Alert: Can't open graphics file: /gone/x.bmp\nload result 0\n");
    ASSERT_EQ(Cli("picture /gone/x.bmp --out " + Q(dir + "/ph.bmp") + " --show-errors 0", &out), 0);
    EXPECT_EQ(out, "load result 2\n");
    kv::CDIB ph(16, 16, 8);
    ASSERT_EQ(ph.Load(FileSpecOf(dir + "/ph.bmp"), kv::FileSpec{}, true), 1);
    EXPECT_EQ(ph.Width(), 160);
    EXPECT_EQ(ph.Height(), 120);
    EXPECT_EQ(Cli("picture " + Q(picture)), 2);  // --out is required
    EXPECT_EQ(Cli("picture " + Q(picture) + " --out x --show-errors 5"), 2);
}

TEST_F(CliShow, PrepAppliesTheSettingsInForce) {
    // In process: the same preparation by hand.
    kv::CDIB src(16, 16, 8);
    ASSERT_EQ(src.Load(FileSpecOf(picture), kv::FileSpec{}, true), 1);
    kv::CDIB want(64 + 2 * 3, 48 + 2 * 3, 24);
    ASSERT_TRUE(kv::ConvertInto(src, &want, 0x0000FF, 3));
    kv::Blur3x3(want);
    kv::BrightnessContrast(want, 70, 40);
    kv::VideoSafe(want);
    const std::string expected = dir + "/want.bmp";
    ASSERT_TRUE(want.Save(FileSpecOf(expected), kv::FormatBmp));

    const std::string out = dir + "/prep.bmp";
    ASSERT_EQ(Cli("prep " + Q(picture) + " --out " + Q(out) +
                  " --set BorderSize=10 --set MatteColor=255 --set PreBlur=1"
                  " --set ContrastBrightness=10310 --set VideoColors=1"),
              0);
    EXPECT_EQ(kvtest::ReadFileBytes(out), kvtest::ReadFileBytes(expected));
    EXPECT_EQ(Cli("prep /gone/x.bmp --out " + Q(out)), 1);
}

}  // namespace
