// ShellOpen on Linux: nothing is started for a missing document or without a display; a
// stand-in for the desktop receives existing documents only.
#include "platform/os/shell_open.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

namespace {
// Sets an environment variable (null: unsets it) and puts the old value back at the end.
class EnvFor {
public:
    EnvFor(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (old) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvFor() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};
}  // namespace

// A display with no desktop session and no browser has nothing to show a document with: the
// caller hears so at once instead of an opener failing unseen later.
TEST(ShellOpen, ADisplayWithoutDesktopOrBrowserOpensNothing) {
    const std::string dir = kvtest::TempDir("shellnobrowser");
    kvtest::WriteFileBytes(dir + "/manual.html", "<html></html>");
    EnvFor display("DISPLAY", ":97");
    EnvFor desktop("XDG_CURRENT_DESKTOP", nullptr);
    EnvFor browser("BROWSER", nullptr);
    EnvFor path("PATH", dir.c_str());
    EXPECT_FALSE(kv::DesktopCanOpen());
    EXPECT_FALSE(kv::ShellOpen(dir + "/manual.html"));
    // A browser on the path, the user's BROWSER or a desktop session is something to open with.
    kvtest::WriteFileBytes(dir + "/firefox", "#!/bin/sh\nexit 0\n");
    EXPECT_FALSE(kv::DesktopCanOpen());  // not executable
    ASSERT_EQ(chmod((dir + "/firefox").c_str(), 0755), 0);
    EXPECT_TRUE(kv::DesktopCanOpen());
    ASSERT_EQ(unlink((dir + "/firefox").c_str()), 0);
    {
        EnvFor mine("BROWSER", "lynx");
        EXPECT_TRUE(kv::DesktopCanOpen());
    }
    EnvFor session("XDG_CURRENT_DESKTOP", "GNOME");
    EXPECT_TRUE(kv::DesktopCanOpen());
}
