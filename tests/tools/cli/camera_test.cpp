// kinevista-cli camera: one line per frame with the camera fields, exactly as camera motion
// computes them.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "core/show/camera_motion.h"
#include "tests/tools/cli/cli_show_fixture.h"

namespace {

using kvclitest::Cli;
using kvclitest::CliShow;
using kvclitest::Q;

std::string Line(int f, const kv::CameraState& c) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%d %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", f,
                  static_cast<double>(c.x), static_cast<double>(c.y), static_cast<double>(c.width),
                  static_cast<double>(c.rotation), static_cast<double>(c.tiltA),
                  static_cast<double>(c.tiltB), static_cast<double>(c.easeCode));
    return buf;
}

TEST_F(CliShow, CameraLinesMatchCameraMotion) {
    kvtest::AlertRecorder alerts;
    kv::Show show;
    show.length = 300;
    ASSERT_TRUE(kv::LoadShow(show, path, false));
    for (bool half : {false, true}) {
        std::string want;
        for (int f = 0; f <= 70; ++f) want += Line(f, kv::CameraAtFrame(show, f, half));
        std::string got;
        ASSERT_EQ(Cli("camera " + Q(path) + " 0 70 --length 300" + (half ? " --half" : ""), &got),
                  0);
        EXPECT_EQ(got, want) << "half " << half;
    }
    std::string got;
    ASSERT_EQ(Cli("camera " + Q(path) + " 30 30 --length 300", &got), 0);
    EXPECT_EQ(got.substr(0, got.find(' ', 3)), "30 20");  // on the key: its own x
    EXPECT_EQ(Cli("camera " + Q(path) + " 0"), 2);
    EXPECT_EQ(Cli("camera " + Q(path) + " a b"), 2);
}

}  // namespace
