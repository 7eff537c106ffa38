// Every command that writes a picture or a show names the operating system's reason when the
// write fails: a full disk (/dev/full, reached directly or through a link whose name carries
// the extension the command wants) and a file-size limit, which also leaves the old file whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/tools/cli/cli_show_fixture.h"

namespace {

using kvclitest::Cli;
using kvclitest::CliShow;
using kvclitest::Q;

TEST_F(CliShow, WriteFailuresNameTheReason) {
    const std::string bmp = dir + "/full.bmp", tga = dir + "/full.tga";
    const std::string avi = dir + "/full.avi", mp4 = dir + "/full.mp4";
    for (const std::string& link : {bmp, tga, avi, mp4})
        ASSERT_EQ(::symlink("/dev/full", link.c_str()), 0);
    std::string json;
    ASSERT_EQ(Cli("info " + Q(path), &json), 0);
    kvtest::WriteFileBytes(dir + "/keys.json", json);
    struct Case {
        std::string args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"picture " + Q(picture) + " --out " + Q(bmp), bmp},
        {"render " + Q(path) + " --frame 0 --size 64x48 --out " + Q(tga), tga},
        {"still " + Q(path) + " --out " + Q(tga), tga},
        {"prep " + Q(picture) + " --out " + Q(bmp), bmp},
        {"new " + Q(picture) + " --out /dev/full", "/dev/full"},
        {"set " + Q(path) + " --keys " + Q(dir + "/keys.json") + " --out /dev/full", "/dev/full"},
        {"resave " + Q(path) + " /dev/full", "/dev/full"},
        {"movie " + Q(path) + " --size 64x48 --out " + Q(avi), avi},
        {"movie " + Q(path) + " --size 64x48 --out " + Q(mp4), mp4},
    };
    for (const Case& c : cases) {
        std::string err;
        EXPECT_EQ(Cli(c.args, &err, "2>&1 >/dev/null"), 1) << c.args;
        EXPECT_NE(err.find("could not write " + c.out + ": No space left on device"),
                  std::string::npos)
            << c.args << "\n"
            << err;
    }
}

// Under a file-size limit the write fails part way: the reason is given and the file that was
// there stays as it was, with no temporary beside it.
TEST_F(CliShow, AFileSizeLimitIsNamedAndKeepsTheOldFile) {
    const std::string out = dir + "/frame.tga";
    kvtest::WriteFileBytes(out, "the old frame");
    std::string err;
    // ulimit -f counts blocks of 1024 bytes; a 640 x 480 frame is far above 8 of them.
    EXPECT_EQ(kvtest::Run("ulimit -f 8; " + std::string(KV_BIN_DIR) + "/kinevista-cli render " +
                              Q(path) + " --frame 0 --size 640x480 --out " + Q(out) + " 2>&1",
                          &err),
              1)
        << err;
    EXPECT_NE(err.find("could not write " + out + ": File too large"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(out), "the old frame");
    // A movie too: the writer's failure names the system's reason.
    const std::string movie = dir + "/movie.avi";
    kvtest::WriteFileBytes(movie, "the old movie");
    EXPECT_EQ(kvtest::Run("ulimit -f 8; " + std::string(KV_BIN_DIR) + "/kinevista-cli movie " +
                              Q(path) + " --size 320x240 --out " + Q(movie) + " 2>&1",
                          &err),
              1)
        << err;
    EXPECT_NE(err.find("could not write " + movie + ": File too large"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(movie), "the old movie");
    for (const std::string& name : kvtest::ListFolder(dir))
        EXPECT_EQ(name.find("~kv"), std::string::npos) << name;
}

}  // namespace
