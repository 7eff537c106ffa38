// The editor's commands as a person reaches them with the mouse and keys on a desktop, without a
// window manager and under openbox, checked on what the X server shows and on the files they
// write: a movie made as MPEG-4 through the save dialog's type, the viewer following the camera
// dialog (compared with the command-line tool's frame of the saved show), the viewer's shape
// after an aspect command and its Undo, and F1 without a browser. Under openbox the tests leave
// screenshots in the build folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tests/editor/app/x11/x_editor.h"

namespace {

using kvx::XEditor;

std::string At(int px, int py) {
    return std::to_string(px) + " " + std::to_string(py);
}

class ViewsSession : public XEditor {
protected:
    // The window that is none of the four views (null when none).
    const kvx::XWin* Popup() const {
        for (const kvx::XWin& w : ws.all)
            if (&w != ws.main && &w != ws.stage && &w != ws.timeline && &w != ws.viewer) return &w;
        return nullptr;
    }
    // Waits for a window named `name`; its rectangle in `r`.
    bool WaitForWindow(const std::string& name, kvx::XRect* r, double seconds = 30) {
        return kvx::WaitFor(
            [&] {
                if (!kvx::ReadEditorWindows(x, &ws)) return false;
                for (const kvx::XWin& w : ws.all)
                    if (w.name == name) {
                        *r = w.r;
                        return true;
                    }
                return false;
            },
            seconds);
    }
    bool WindowGone(const std::string& name) {
        if (!kvx::ReadEditorWindows(x, &ws)) return false;
        for (const kvx::XWin& w : ws.all)
            if (w.name == name) return false;
        return true;
    }
    // The option dialogs are drawn on the stage: a light grey panel whose title is a black bar
    // from 8 pixels in. True when one is drawn with its corner at stage point (dx, dy).
    static bool OptionDialogAt(const kvx::Screen& s, const kvx::XRect& stage, int dx, int dy) {
        const int x0 = stage.x + dx, y0 = stage.y + dy;
        if (x0 + 40 >= s.w || y0 + 40 >= s.h) return false;
        return s.Count(kvx::XRect{x0 + 10, y0 + 11, 8, 10}, 0x000000) == 80 &&
               s.At(x0 + 3, y0 + 30) == 0xC0C0C0 && s.At(x0 + 3, y0 + 4) == 0xC0C0C0;
    }
    bool WaitForOptionDialog(int dx, int dy, double seconds = 30) {
        return kvx::WaitFor(
            [&] {
                kvx::Screen s;
                return kvx::ReadEditorWindows(x, &ws) && ws.stage && kvx::GrabScreen(x, &s) &&
                       OptionDialogAt(s, ws.stage->r, dx, dy);
            },
            seconds);
    }
    void Shot(const std::string& name) {
        if (!GetParam()) return;
        kvx::Screen s;
        if (kvx::GrabScreen(x, &s)) s.WritePng(std::string(KV_APP_BUILD_DIR) + "/" + name);
    }
    // The show's picture as a copy in the test's folder: the movie proposed after it is written
    // there, never beside the example in the source tree.
    void PictureInTestFolder() {
        const std::string copy = dir + "/trip.jpg";
        std::filesystem::copy_file(std::string(KV_SOURCE_DIR) + "/examples/example.jpg", copy);
        kv::Show s;
        ASSERT_TRUE(kv::LoadShow(s, show, false));
        s.pictures[0].fileSpec.SetPath(copy.c_str());
        ASSERT_TRUE(kv::SaveShow(s, show));
    }
    // The viewer's picture: its client inside the layer's 4-pixel sizing frame and below the
    // 20-pixel caption, above the 25 pixels of the control strip.
    kvx::XRect ViewerPicture() const {
        const kvx::XRect v = ws.viewer->r;
        return kvx::XRect{v.x + 4, v.y + 4 + 20, v.w - 8, v.h - 8 - 20 - 25};
    }
};

// A picture of the screen's rectangle, row by row, 0xRRGGBB.
std::vector<uint32_t> Cut(const kvx::Screen& s, const kvx::XRect& r) {
    std::vector<uint32_t> px;
    for (int y = r.y; y < r.Bottom(); ++y)
        for (int xx = r.x; xx < r.Right(); ++xx) px.push_back(s.At(xx, y));
    return px;
}

// A 32- or 24-bit BMP file as 0xRRGGBB rows from the top; empty when it is not one.
std::vector<uint32_t> ReadBmp(const std::string& path, int* w, int* h) {
    const std::string b = kvtest::ReadFileBytes(path);
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) |
                                     static_cast<uint8_t>(b[at + 1]) << 8 |
                                     static_cast<uint8_t>(b[at + 2]) << 16 |
                                     static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
    };
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return {};
    const uint32_t offset = u32(10);
    *w = static_cast<int>(u32(18));
    const int rawH = static_cast<int>(u32(22));
    *h = std::abs(rawH);
    const int bpp = static_cast<uint8_t>(b[28]) | static_cast<uint8_t>(b[29]) << 8;
    if (bpp != 32 && bpp != 24) return {};
    const size_t step = static_cast<size_t>(bpp / 8);
    const size_t stride = (static_cast<size_t>(*w) * step + 3) / 4 * 4;
    if (b.size() < offset + stride * static_cast<size_t>(*h)) return {};
    std::vector<uint32_t> px;
    for (int y = 0; y < *h; ++y) {
        const int row = rawH > 0 ? *h - 1 - y : y;
        for (int xx = 0; xx < *w; ++xx) {
            const size_t at = offset + stride * static_cast<size_t>(row) + step * xx;
            px.push_back(static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2]) << 16 |
                                               static_cast<uint8_t>(b[at + 1]) << 8 |
                                               static_cast<uint8_t>(b[at])));
        }
    }
    return px;
}

// The share of pixels whose channels all lie within `levels` of the other picture's.
double ShareWithin(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int levels) {
    if (a.empty() || a.size() != b.size()) return 0;
    size_t close = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        bool ok = true;
        for (int shift : {0, 8, 16})
            ok = ok && std::abs(static_cast<int>((a[i] >> shift) & 255) -
                                static_cast<int>((b[i] >> shift) & 255)) <= levels;
        close += ok;
    }
    return static_cast<double>(close) / static_cast<double>(a.size());
}

// File, Make Movie File: the options as they are, the save dialog's type moved by clicks from
// AVI to MPEG-4 (the bare proposed name takes its extension), Save, the compressor as it is;
// the movie on disk is an MPEG-4 file, and no AVI was written.
TEST_P(ViewsSession, MovieIsMadeAsMpeg4ThroughTheSaveDialogsType) {
    if (!kvx::OnPath("ffprobe")) GTEST_SKIP() << "ffprobe not installed (make test installs it)";
    ASSERT_NO_FATAL_FAILURE(PictureInTestFolder());
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_EQ(X("mousemove " + MenuTitle() + " click 1"), 0);
    ASSERT_TRUE(WaitForPopups(1)) << "the File menu did not open";
    const kvx::XWin* menu = Popup();
    ASSERT_NE(menu, nullptr);
    // Rows of 20 pixels (separators 8) from y 2 inside a 1-pixel border: Make Movie File is
    // below Load Picture, a separator, New Show, Load Show and Save Show.
    ASSERT_EQ(X("mousemove " + At(menu->r.x + 30, menu->r.y + 1 + 90 + 10) + " click 1"), 0);
    // The movie's options, drawn on the stage at (50, 50): Enter takes them as they are.
    ASSERT_TRUE(WaitForOptionDialog(50, 50)) << "the movie options did not show on the stage";
    Shot("x11_movie_options.png");
    ASSERT_EQ(X("key Return"), 0);
    kvx::XRect d;
    ASSERT_TRUE(WaitForWindow("Save As", &d)) << "no save dialog after the movie options";
    // The client below a 1-pixel border and a 20-pixel caption; the type box from (140, 316)
    // to (420, 336), the Save button from (430, 346) to (505, 370).
    const kvx::XRect typeBox{d.x + 1 + 140, d.y + 21 + 316, 280, 20};
    Shot("x11_movie_save_dialog.png");
    // The types in the table's order after the chosen one: AVI, QuickTime, DPS, VideoToaster,
    // MPEG-4. Each click shows the next one's name in the box.
    for (int click = 0; click < 4; ++click) {
        kvx::Screen before;
        ASSERT_TRUE(kvx::GrabScreen(x, &before));
        ASSERT_EQ(X("mousemove " + At(typeBox.x + 60, typeBox.y + 10) + " click 1"), 0);
        EXPECT_TRUE(kvx::WaitFor(
            [&] {
                kvx::Screen s;
                return kvx::GrabScreen(x, &s) && Cut(s, typeBox) != Cut(before, typeBox);
            },
            15))
            << "click " << click << " on the type did not change it";
    }
    Shot("x11_movie_save_dialog_mp4.png");
    ASSERT_EQ(X("mousemove " + At(d.x + 1 + 467, d.y + 21 + 358) + " click 1"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return WindowGone("Save As"); }, 30))
        << "the save dialog did not close on Save";
    // The compressor's dialog on the stage, where the options were: Enter keeps its choice.
    // The job ends with a message (success or the failure's).
    const std::string movie = dir + "/trip.mp4";
    bool compressorAnswered = false;
    const kvx::XWin* message = nullptr;
    ASSERT_TRUE(kvx::WaitFor(
        [&] {
            kvx::Screen s;
            if (!kvx::ReadEditorWindows(x, &ws) || !kvx::GrabScreen(x, &s)) return false;
            message = Popup();
            if (message) return true;
            if (!compressorAnswered && ws.stage && OptionDialogAt(s, ws.stage->r, 50, 50)) {
                Shot("x11_movie_compressor.png");
                compressorAnswered = X("key Return") == 0;
            }
            return false;
        },
        120))
        << "the movie job did not end with a message; compressor dialog "
        << (compressorAnswered ? "answered" : "not seen");
    EXPECT_TRUE(compressorAnswered) << "no compressor dialog for the MPEG-4 movie";
    const std::string messageName = message->name;
    Shot("x11_movie_done.png");
    ASSERT_EQ(access(movie.c_str(), F_OK), 0)
        << "no " << movie << " after the job; its message window is \"" << messageName << "\"";
    EXPECT_NE(access((dir + "/trip.avi").c_str(), F_OK), 0) << "an AVI was written as well";
    ASSERT_EQ(X("key Return"), 0);
    ASSERT_TRUE(WaitForPopups(0)) << "the job's message did not close on Enter";
    ExpectViews("the movie was made");

    std::string format;
    ASSERT_EQ(kvtest::Run("ffprobe -v error -show_entries format=format_name -of "
                          "default=noprint_wrappers=1:nokey=1 '" +
                              movie + "'",
                          &format),
              0)
        << "ffprobe cannot read the movie";
    EXPECT_NE(format.find("mp4"), std::string::npos) << "ffprobe says: " << format;
    EXPECT_EQ(format.find("avi"), std::string::npos) << "ffprobe says: " << format;
    const std::string head = kvtest::ReadFileBytes(movie).substr(0, 12);
    ASSERT_EQ(head.size(), 12u);
    EXPECT_EQ(head.substr(4, 4), "ftyp") << "not an MPEG-4 file's first box";
    EXPECT_NE(head.substr(0, 4), "RIFF") << "an AVI under the .mp4 name";

    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

// A right-click on the camera opens its dialog on the stage; Rotation 15 and OK turn the viewer's
// picture, which is then the command-line tool's frame of the saved show at the viewer's size.
TEST_P(ViewsSession, ViewerFollowsTheCameraDialog) {
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    std::string why;
    kvx::Screen before;
    ASSERT_TRUE(kvx::WaitForViews(x, &why, 30)) << why;
    ASSERT_TRUE(kvx::ReadEditorWindows(x, &ws));
    const kvx::XRect pic = ViewerPicture();
    ASSERT_GT(pic.w, 50);
    ASSERT_GT(pic.h, 50);
    ASSERT_TRUE(kvx::GrabScreen(x, &before));
    const std::vector<uint32_t> was = Cut(before, pic);

    // The camera's centre at half scale is (160, 120) on the stage; its dialog opens 100 and 30
    // pixels right of and below the click.
    ASSERT_EQ(X("mousemove " + StagePoint(160, 120) + " click 3"), 0);
    ASSERT_TRUE(WaitForOptionDialog(260, 150)) << "no camera dialog on the stage";
    kvx::Screen s;
    ASSERT_TRUE(kvx::GrabScreen(x, &s));
    Shot("x11_camera_dialog.png");
    // The panel's right edge: its grey, between the title and the first row, ends at the
    // bevel's last column.
    const int top = ws.stage->r.y + 150, left = ws.stage->r.x + 260;
    int right = left + 3;
    while (right < s.w && s.At(right, top + 30) == 0xC0C0C0) ++right;
    ++right;
    ASSERT_GT(right - left, 100) << "the camera dialog's panel was not found";
    // Rows of 20 pixels from 36 below its top: Rotation is the fourth; OK below the last row.
    ASSERT_EQ(X("mousemove " + At(right - 30, top + 36 + 60 + 8) + " click 1"), 0);
    ASSERT_EQ(X("type --delay 50 15"), 0);
    ASSERT_EQ(X("mousemove " + At(right - 38, top + 36 + 80 + 8) + " click 1"), 0);
    std::vector<uint32_t> now;
    EXPECT_TRUE(kvx::WaitFor(
        [&] {
            kvx::Screen g;
            if (!kvx::GrabScreen(x, &g)) return false;
            now = Cut(g, pic);
            return ShareWithin(now, was, 2) < 0.9;
        },
        30))
        << "the viewer did not change after the camera dialog";
    // Enter keeps the camera as the current frame's key; Ctrl+S saves the show with it.
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key --delay 50 Return ctrl+s"), 0);
    ASSERT_TRUE(kvx::WaitFor([&] { return std::abs(Saved().keys[0].rotation - 15) < 0.01; }, 30))
        << "the saved show's first key is turned by " << Saved().keys[0].rotation
        << " degrees, not 15";
    Shot("x11_camera_dialog_after.png");

    // The tool's frame of the saved show at the viewer's picture size: frame 0, whole frames.
    const std::string frame = dir + "/frame.bmp";
    ASSERT_EQ(kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli render '" + show +
                          "' --frame 0 --size " + std::to_string(pic.w) + "x" +
                          std::to_string(pic.h) + " --field-mode 0 --settings '" + dir +
                          "/Kinevista.ini' --out '" + frame + "' >/dev/null 2>&1"),
              0);
    int fw = 0, fh = 0;
    const std::vector<uint32_t> want = ReadBmp(frame, &fw, &fh);
    ASSERT_EQ(fw, pic.w);
    ASSERT_EQ(fh, pic.h);
    // The viewer draws a draft first and the full picture once idle: the full one matches.
    double share = 0;
    std::vector<uint32_t> shown;
    const bool same = kvx::WaitFor(
        [&] {
            kvx::Screen g;
            if (!kvx::GrabScreen(x, &g)) return false;
            shown = Cut(g, pic);
            share = ShareWithin(shown, want, 2);
            return share >= 0.99;
        },
        30);
    if (!same) {
        // Both pictures for the person reading the failure.
        const std::string base = std::string(KV_APP_BUILD_DIR) + "/x11_camera_";
        kvx::Screen a{pic.w, pic.h, shown}, b{pic.w, pic.h, want};
        a.WritePng(base + "viewer.png");
        b.WritePng(base + "tool.png");
    }
    EXPECT_TRUE(same) << "only " << share * 100 << " % of the viewer's pixels are within 2 levels "
                      << "of the tool's frame (both in " << KV_APP_BUILD_DIR
                      << "/x11_camera_viewer.png and x11_camera_tool.png)";
    EXPECT_LT(ShareWithin(want, was, 2), 0.9) << "the tool's frame is the unturned camera's";
    ASSERT_EQ(X("key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

// Render, 16:9 by the mouse: the viewer's picture takes that shape; Ctrl+Z gives it 4:3 back.
TEST_P(ViewsSession, ViewerShapeFollowsAnAspectAndItsUndo) {
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    auto shape = [&] {
        const kvx::XRect p = ViewerPicture();
        return static_cast<double>(p.h) / p.w;
    };
    auto size = [&] {
        if (!ws.viewer) return std::string("gone");
        const kvx::XRect p = ViewerPicture();
        return std::to_string(p.w) + "x" + std::to_string(p.h);
    };
    auto waitShape = [&](double want) {
        return kvx::WaitFor(
            [&] {
                return kvx::ReadEditorWindows(x, &ws) && ws.viewer &&
                       std::abs(shape() / want - 1) <= 0.02;
            },
            30);
    };
    ASSERT_TRUE(waitShape(0.75)) << "the viewer's picture does not start at 4:3: " << size();
    ASSERT_EQ(X("mousemove " + MenuTitle() + " click 1"), 0);
    ASSERT_TRUE(WaitForPopups(1)) << "the File menu did not open";
    // File, Edit, Options, Render: each Right opens the next menu further right.
    for (int m = 0; m < 3; ++m) {
        const int was = Popup() ? Popup()->r.x : 0;
        ASSERT_EQ(X("key Right"), 0);
        ASSERT_TRUE(
            kvx::WaitFor([&] { return WaitForPopups(1, 5) && Popup() && Popup()->r.x > was; }, 30))
            << "menu " << m + 1 << " did not open";
    }
    const kvx::XRect menu = Popup()->r;
    Shot("x11_render_menu.png");
    // 16:9 is the second row, below 4:3.
    ASSERT_EQ(X("mousemove " + At(menu.x + 30, menu.y + 1 + 22 + 10) + " click 1"), 0);
    EXPECT_TRUE(waitShape(0.5625)) << "the viewer's picture is " << size() << " after 16:9";
    ExpectViews("16:9");
    Shot("x11_viewer_16_9.png");
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+z"), 0);
    EXPECT_TRUE(waitShape(0.75)) << "the viewer's picture is " << size() << " after Undo";
    ExpectViews("Undo of 16:9");
    // The changed show is asked about at the end: No leaves it as it was.
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+q"), 0);
    ASSERT_TRUE(kvx::WaitFor(
        [&] {
            if (!editor.Running()) return true;
            if (!kvx::ReadEditorWindows(x, &ws)) return false;
            for (const kvx::XWin& w : ws.all)
                if (w.name == "Exit Application") return true;
            return false;
        },
        30))
        << "Ctrl+Q neither ended the editor nor asked about the show";
    if (editor.Running()) {
        ASSERT_EQ(X("key n"), 0);
    }
    EXPECT_EQ(editor.Wait(60), 0);
}

// F1 where nothing can show a web page (no BROWSER, no desktop, an opener that fails): a message
// box names the manual's file and the command to open it; Enter closes it and the editor goes on.
TEST_P(ViewsSession, HelpWithoutABrowserSaysWhereTheManualIs) {
    const std::string bin = dir + "/bin";
    std::filesystem::create_directories(bin);
    kvtest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\nexit 3\n");
    ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
    // The search path holds nothing but that opener: no browser is found on it.
    launch = "-u BROWSER -u XDG_CURRENT_DESKTOP PATH='" + bin + "' ";
    ASSERT_NO_FATAL_FAILURE(StartEditor());
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key F1"), 0);
    ASSERT_TRUE(WaitForPopups(1)) << "no window after F1";
    const kvx::XWin* box = Popup();
    ASSERT_NE(box, nullptr);
    Shot("x11_help_message.png");
    // Alerts are the system-modal kind, owned by no window, always on top.
    EXPECT_EQ(kvx::TransientFor(x, box->id), "") << "the message belongs to a window";
    // The layer's message box: 17-pixel lines from 20 pixels down, 58 pixels for the button
    // below, in a 1-pixel border with a 20-pixel caption. The manual's message has five lines
    // (where it is, its path, a blank, how to open it, the command); the one for a missing manual
    // has one.
    const int lines = (box->r.h - 22 - 20 - 58) / 17;
    EXPECT_EQ(lines, 5) << "the message is " << box->r.w << "x" << box->r.h << " (" << box->name
                        << ")";
    // Its widest line, the command with the manual's path, is wider than the path alone.
    // The manual beside the program, else the source tree's (as the editor looks for it).
    std::string manual = std::string(KV_BIN_DIR) + "/../manual/index.html";
    if (access(manual.c_str(), R_OK) != 0)
        manual = std::string(KV_SOURCE_DIR) + "/docs/manual/index.html";
    EXPECT_GT(box->r.w, static_cast<int>(manual.size()) * 4) << "too narrow for the path";
    ASSERT_EQ(X("key Return"), 0);
    ASSERT_TRUE(WaitForPopups(0)) << "Enter did not close the message";
    ExpectViews("the help message closed");
    EXPECT_TRUE(editor.Running());
    ASSERT_EQ(X("mousemove " + StagePoint(700, 500) + " key ctrl+q"), 0);
    EXPECT_EQ(editor.Wait(60), 0);
}

INSTANTIATE_TEST_SUITE_P(X11, ViewsSession, ::testing::Bool(), kvx::Wm);

}  // namespace
