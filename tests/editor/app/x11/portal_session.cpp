// The desktop's own file dialog: the editor on a display whose session bus runs the desktop's file
// chooser portal (xdg-desktop-portal with its GTK dialogs) shows that dialog for Load Picture, and
// the picture chosen in it becomes the show's; with the portal refused the editor's own dialog
// comes instead.
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/editor/app/x11/x_editor.h"

namespace {

using kvx::XEditor;

class PortalSession : public XEditor {
protected:
    void SetUp() override {
        for (const char* tool : {"dbus-daemon", "/usr/libexec/xdg-desktop-portal",
                                 "/usr/libexec/xdg-desktop-portal-gtk"})
            if (!std::filesystem::exists(tool) && !kvx::OnPath(tool))
                GTEST_SKIP() << tool << " not installed (make test installs it)";
        ASSERT_NO_FATAL_FAILURE(XEditor::SetUp());
        if (IsSkipped()) return;
        // The session bus starts the portal on demand with this environment: the display, and a
        // desktop name the GTK dialogs are meant for.
        const std::string busEnv = x.Env() + "HOME='" + dir + "' XDG_CURRENT_DESKTOP=gnome ";
        std::string out;
        ASSERT_EQ(kvtest::Run(busEnv + "dbus-daemon --session --fork --print-address=1 "
                                       "--print-pid=1 2>/dev/null",
                              &out),
                  0);
        std::istringstream lines(out);
        std::string pid;
        std::getline(lines, m_bus);
        std::getline(lines, pid);
        ASSERT_FALSE(m_bus.empty()) << "dbus-daemon gave no address";
        m_busPid = std::stoi(pid);
        const std::string refuse = "KINEVISTA_NO_PORTAL=1 ";
        for (size_t at; (at = env.find(refuse)) != std::string::npos;) env.erase(at, refuse.size());
        env += "DBUS_SESSION_BUS_ADDRESS='" + m_bus + "' XDG_CURRENT_DESKTOP=gnome ";
    }
    void TearDown() override {
        if (m_busPid > 0) kill(m_busPid, SIGTERM);
    }

    // The visible top-level windows named `title` that are not the editor's.
    std::vector<std::string> ForeignWindows(const std::string& title) {
        std::string named, ours;
        kvtest::Run(x.Env() + "xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null",
                    &named);
        kvtest::Run(x.Env() + "xdotool search --onlyvisible --classname '^kinevista$' 2>/dev/null",
                    &ours);
        std::vector<std::string> out;
        std::istringstream ns(named);
        for (std::string id; std::getline(ns, id);)
            if (!id.empty() && ("\n" + ours).find("\n" + id + "\n") == std::string::npos)
                out.push_back(id);
        return out;
    }

    std::string m_bus;
    int m_busPid = -1;
};

TEST_P(PortalSession, LoadPictureShowsTheDesktopsDialogAndLoadsTheChosenPicture) {
    std::filesystem::create_directories(dir + "/pics");
    const std::string chosen = dir + "/pics/harbour.jpg";
    std::filesystem::copy_file(std::string(KV_SOURCE_DIR) + "/examples/example.jpg", chosen);
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+e"), 0);
    std::vector<std::string> dialog;
    ASSERT_TRUE(kvx::WaitFor(
        [&] {
            dialog = ForeignWindows("Open");
            return !dialog.empty();
        },
        60))
        << "no desktop dialog appeared; the editor's standard error: " << editor.Stderr();
    // The desktop's dialog, not ours: the editor shows no dialog of its own meanwhile.
    ASSERT_TRUE(ReadEditorWindows(x, &ws));
    EXPECT_EQ(ws.popups, 0);
    {
        kvx::Screen s;
        ASSERT_TRUE(kvx::GrabScreen(x, &s));
        s.WritePng(std::string(KV_APP_BUILD_DIR) + "/x11_portal_dialog" +
                   (GetParam() ? "" : "_nowm") + ".png");
    }
    // The dialog is the program's "Open" over its main window.
    // A path typed into the dialog's location field, as a user of it may.
    ASSERT_EQ(X("windowfocus --sync " + dialog[0]), 0);
    ASSERT_EQ(X("key ctrl+l type --delay 20 '" + chosen + "'"), 0);
    // The dialog looks the typed name up before its Select button takes it: Return waits for the
    // button's label to turn from grey to black.
    kvx::XRect d;
    ASSERT_TRUE(kvx::WindowOnScreen(x, std::stoul(dialog[0], nullptr, 0), &d));
    ASSERT_GT(d.w, 120);
    ASSERT_GT(d.h, 60);
    EXPECT_TRUE(kvx::WaitFor(
        [&] {
            kvx::Screen s;
            if (!kvx::GrabScreen(x, &s)) return false;
            // Dark label pixels on the dialog's light face: a window not painted yet is black
            // all over, which is no label.
            int dark = 0, light = 0, all = 0;
            for (int py = std::max(0, d.Bottom() - 45); py < std::min(s.h, d.Bottom()); ++py)
                for (int px = std::max(0, d.Right() - 100); px < std::min(s.w, d.Right()); ++px) {
                    const uint32_t c = s.At(px, py);
                    dark += (c >> 16 & 255) < 0x70 && (c >> 8 & 255) < 0x70 && (c & 255) < 0x70;
                    light += (c >> 16 & 255) > 0xC0 && (c >> 8 & 255) > 0xC0 && (c & 255) > 0xC0;
                    ++all;
                }
            return dark > 10 && light * 2 > all;
        },
        30))
        << "the dialog's Select button did not take the typed name";
    ASSERT_EQ(X("key Return"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return ForeignWindows("Open").empty(); }, 30))
        << "the desktop's dialog stayed open";
    ExpectViews("a picture loaded through the desktop's dialog");
    // The show now holds the chosen picture: saved, it names it.
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " click 1 key ctrl+s"), 0);
    EXPECT_TRUE(kvx::WaitFor([&] { return std::string(Saved().fileSpec.path) == chosen; }, 30))
        << "the saved show names " << Saved().fileSpec.path;
    ASSERT_EQ(X("mousemove " + StagePoint(400, 300) + " key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

TEST_P(PortalSession, WithThePortalRefusedTheEditorsOwnDialogComes) {
    env += "KINEVISTA_NO_PORTAL=1 ";
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+e"), 0);
    EXPECT_TRUE(WaitForPopups(1)) << "the editor's own dialog did not open";
    EXPECT_TRUE(ForeignWindows("Open").empty());
    ASSERT_EQ(X("key Escape"), 0);
    EXPECT_TRUE(WaitForPopups(0));
    ASSERT_EQ(X("mousemove " + StagePoint(400, 300) + " key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

INSTANTIATE_TEST_SUITE_P(X11, PortalSession, ::testing::Bool(), kvx::Wm);

}  // namespace
