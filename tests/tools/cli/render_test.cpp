// kinevista-cli render: a show on disk rendered by the program equals the same frame rendered
// in process, written as a bottom-up 32-bit Targa or a BMP; refused sizes exit 1.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/show/show.h"
#include "tests/test_support.h"

namespace {

class CliRender : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir("cli_render");
        kv::CDIB picture(200, 150, 24);
        for (int y = 0; y < 150; ++y)
            for (int i = 0; i < picture.RowBytes(); ++i)
                picture.Row(y)[i] = static_cast<uint8_t>((y * 7 + i * 13) ^ (i >> 3));
        kv::FileSpec fileSpec;
        fileSpec.SetPath((dir + "/pic.bmp").c_str());
        ASSERT_TRUE(picture.Save(fileSpec, kv::FormatBmp));

        kv::Show show;
        show.pictureCount = 1;
        kv::Picture& p = show.pictures[0];
        p.fileSpec = fileSpec;
        p.keyCount = 2;
        p.keys[0] = kv::KeyFrame{};
        p.keys[0].x = 90;
        p.keys[0].y = 70;
        p.keys[0].width = 150;
        p.keys[1] = p.keys[0];
        p.keys[1].time = 40;
        p.keys[1].x = 120;
        p.keys[1].width = 90;
        showPath = dir + "/move.kvx";
        ASSERT_TRUE(kv::SaveShow(show, showPath));
    }

    int Cli(const std::string& args) {
        return kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli render " + args +
                           " >/dev/null 2>&1");
    }

    std::string dir, showPath;
};

TEST_F(CliRender, WritesTheFrameAsRenderFrameMakesIt) {
    ASSERT_EQ(Cli(showPath + " --frame 12 --size 64x48 --field-mode 3 --out " + dir + "/f.tga"), 0);
    kv::Show show;
    ASSERT_TRUE(kv::LoadShowLocatingPicture(show, showPath, false));
    kv::CDIB want(64, 48, 32);
    ASSERT_TRUE(kv::RenderFrame(show, 12, 3, true, 64, 48, &want, false));

    const std::string tga = kvtest::ReadFileBytes(dir + "/f.tga");
    ASSERT_EQ(tga.size(), 18u + 64 * 48 * 4);
    EXPECT_EQ(tga[2], 2);  // uncompressed true colour
    EXPECT_EQ(static_cast<uint8_t>(tga[12]), 64);
    EXPECT_EQ(static_cast<uint8_t>(tga[14]), 48);
    EXPECT_EQ(tga[16], 32);
    EXPECT_EQ(tga[17], 8);  // 8 alpha bits, bottom-up
    for (int y = 0; y < 48; ++y)
        ASSERT_EQ(std::memcmp(tga.data() + 18 + y * 256, want.Row(y), 256), 0) << "row " << y;

    ASSERT_EQ(Cli(showPath + " --frame 12 --size 64x48 --field-mode 3 --out " + dir + "/f.bmp"), 0);
    const std::string bmp = kvtest::ReadFileBytes(dir + "/f.bmp");
    ASSERT_EQ(bmp.size(), 54u + 64 * 48 * 4);
    EXPECT_EQ(std::memcmp(bmp.data() + 54, tga.data() + 18, 64 * 48 * 4), 0);
}

TEST_F(CliRender, RefusedSizesExitOneAndBadArgumentsAreUsageErrors) {
    EXPECT_EQ(Cli(showPath + " --frame 0 --size 0x48 --out " + dir + "/a.tga"), 1);
    EXPECT_EQ(Cli(showPath + " --frame 0 --size 8193x48 --out " + dir + "/a.tga"), 1);
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/a.tga"), "");
    EXPECT_EQ(Cli(showPath + " --frame 0 --size 64x48 --out " + dir + "/a.png"), 2);
    EXPECT_EQ(Cli(showPath + " --size 64x48 --out " + dir + "/a.tga"), 2);
    EXPECT_EQ(Cli(showPath + " --frame 0 --size 64x48 --field-mode 4 --out " + dir + "/a.tga"), 2);
    EXPECT_EQ(Cli(dir + "/none.kvx --frame 0 --size 64x48 --out " + dir + "/a.tga"), 1);
}

}  // namespace
