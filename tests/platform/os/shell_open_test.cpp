// ShellOpen on Linux: nothing is started for a missing document or without a display.
#include "platform/os/shell_open.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/test_support.h"

TEST(ShellOpen, NeedsADocumentAndADisplay) {
    EXPECT_FALSE(kv::ShellOpen(""));
    const std::string dir = kvtest::TempDir("shell");
    EXPECT_FALSE(kv::ShellOpen(dir + "/Kinevista.chm"));  // missing
    kvtest::WriteFileBytes(dir + "/manual.html", "<html></html>");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string savedDisplay = display ? display : "";
    const std::string savedWayland = wayland ? wayland : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(kv::ShellOpen(dir + "/manual.html"));  // no desktop to ask
    if (display) setenv("DISPLAY", savedDisplay.c_str(), 1);
    if (wayland) setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1);
}
