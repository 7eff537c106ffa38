// kinevista-cli still: a Targa of one frame at video size, equal to the frame rendered in
// process.
#include <gtest/gtest.h>

#include <string>

#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/show/show.h"
#include "tests/output/show_files.h"
#include "tests/test_support.h"

namespace {

int Cli(const std::string& args) {
    return kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli " + args + " 2>/dev/null");
}

int Le16(const std::string& b, size_t at) {
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8;
}

TEST(CliStill, VideoSizeByFrameRateAndTheRenderedPixels) {
    const std::string dir = kvtest::TempDir("cli-still");
    const std::string show = kvtest::MakeShowFile(dir, "s", 20);
    ASSERT_FALSE(show.empty());
    const std::string ntsc = dir + "/ntsc.tga";
    ASSERT_EQ(Cli("still '" + show + "' --out '" + ntsc + "' --frame 7 --frame-rate 2997"), 0);
    std::string tga = kvtest::ReadFileBytes(ntsc);
    ASSERT_EQ(tga.size(), 18u + 720 * 486 * 4);
    EXPECT_EQ(Le16(tga, 12), 720);
    EXPECT_EQ(Le16(tga, 14), 486);
    EXPECT_EQ(uint8_t(tga[16]), 32);

    kv::Show s;
    s.FrameRate = 2997;
    ASSERT_TRUE(kv::LoadShow(s, show, false));
    kv::CDIB image(720, 486, 32);
    ASSERT_TRUE(kv::RenderFrame(s, 7, 0, true, 720, 486, &image, false));
    EXPECT_TRUE(tga.compare(18, std::string::npos, reinterpret_cast<const char*>(image.Bits()),
                            720 * 486 * 4) == 0);

    const std::string pal = dir + "/pal.tga";
    ASSERT_EQ(Cli("still '" + show + "' --out '" + pal + "' --frame-rate 2500"), 0);
    tga = kvtest::ReadFileBytes(pal);
    EXPECT_EQ(Le16(tga, 14), 576);

    EXPECT_EQ(Cli("still '" + show + "' --out '" + dir + "/no/x.tga'"), 1);
    EXPECT_EQ(Cli("still '" + show + "'"), 2);
    EXPECT_EQ(Cli("still '" + show + "' --out x.tga --frame seven"), 2);
}

}  // namespace
