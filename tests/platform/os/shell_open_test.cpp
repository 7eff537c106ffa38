// ShellOpen on Linux: nothing is started for a missing document or without a display; a
// stand-in for the desktop receives existing documents only.
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

namespace {
std::string g_opened;
uintptr_t g_owner = 0;
bool Accept(const std::string& document, uintptr_t owner) {
    g_opened = document;
    g_owner = owner;
    return true;
}
}  // namespace

TEST(ShellOpen, AHookStandsInForTheDesktopForExistingDocumentsOnly) {
    const std::string dir = kvtest::TempDir("shellhook");
    kvtest::WriteFileBytes(dir + "/manual.html", "<html></html>");
    kv::SetShellOpenHook(&Accept);
    g_opened.clear();
    EXPECT_FALSE(kv::ShellOpen(dir + "/missing.html"));
    EXPECT_EQ(g_opened, "");
    // No display is needed: the hook is the desktop.
    const char* display = std::getenv("DISPLAY");
    const std::string savedDisplay = display ? display : "";
    unsetenv("DISPLAY");
    EXPECT_TRUE(kv::ShellOpen(dir + "/manual.html", 77));
    if (display) setenv("DISPLAY", savedDisplay.c_str(), 1);
    EXPECT_EQ(g_opened, dir + "/manual.html");
    EXPECT_EQ(g_owner, 77u);
    kv::SetShellOpenHook(nullptr);
    EXPECT_EQ(kv::ShellOpenHook(), nullptr);
}
