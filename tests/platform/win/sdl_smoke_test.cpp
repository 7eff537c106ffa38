// Runs the SDL2 smoke program against a private Xvfb display; skipped without Xvfb.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/test_support.h"

namespace {

// Runs the smoke program on an Xvfb of its own with `env` in front; its output in `out`, its
// exit code returned (-1 when no display started). Each run has its own server, whose number
// the server picks and writes (-displayfd), so runs side by side never share one.
int RunSmoke(const std::string& env, const std::string& png, std::string* out) {
    const std::string numberFile = kvtest::TempDir("sdl_smoke") + "/display";
    std::string pid;
    kvtest::Run("Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>'" + numberFile +
                    "' >/dev/null 2>&1 & echo $!",
                &pid);
    // The server writes its number, then a line end, once it serves.
    std::string number;
    for (int i = 0; i < 400; ++i) {
        const std::string text = kvtest::ReadFileBytes(numberFile);
        if (!text.empty() && text.back() == '\n') {
            number = text.substr(0, text.size() - 1);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (number.empty()) {
        *out = "Xvfb did not start";
        if (!pid.empty()) kvtest::Run("kill " + pid + " 2>/dev/null");
        return -1;
    }
    std::remove(png.c_str());
    // The X and GL client libraries keep allocations past exit; the child's leak check is off
    // (our own code is leak-checked by the headless tests). The factor is the run's own.
    int rc = kvtest::Run("ASAN_OPTIONS=detect_leaks=0 DISPLAY=:" + number +
                             " KINEVISTA_BACKEND=sdl env -u KINEVISTA_SCALE -u GDK_SCALE " + env +
                             " '" + std::string(KV_SDL_SMOKE) + "' '" + png + "' 2>&1",
                         out);
    kvtest::Run("kill " + pid + " 2>/dev/null");
    const std::string socket = "/tmp/.X11-unix/X" + number;
    for (int i = 0; i < 200 && access(socket.c_str(), F_OK) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    return rc;
}

bool HaveXvfb() {
    return kvtest::Run("command -v Xvfb >/dev/null 2>&1") == 0;
}

}  // namespace

TEST(SdlBackend, WindowOpensTakesAClickDrawsAndIsSaved) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb is not installed; the SDL backend smoke run is skipped";
    const std::string png = std::string(KV_WIN_BUILD_DIR) + "/sdl_smoke.png";
    std::string out;
    EXPECT_EQ(RunSmoke("", png, &out), 0) << out;
    EXPECT_FALSE(kvtest::ReadFileBytes(png).empty());
}

// At 2 and 1.5 the window is that much larger on the display, the click lands on the logical
// pixel it was pushed at, and the square drawn there covers its device pixels edge to edge.
TEST(SdlBackend, AtAScaleFactorTheWindowGrowsAndClicksLandOnLogicalPixels) {
    if (!HaveXvfb()) GTEST_SKIP() << "Xvfb is not installed; the SDL backend smoke run is skipped";
    for (const char* factor : {"2", "1.5"}) {
        const std::string png = std::string(KV_WIN_BUILD_DIR) + "/sdl_smoke_" + factor + ".png";
        std::string out;
        EXPECT_EQ(RunSmoke(std::string("KINEVISTA_SCALE=") + factor, png, &out), 0) << out;
        EXPECT_NE(out.find(std::string("drawn at ") + (factor[1] ? "1.50" : "2.00")),
                  std::string::npos)
            << out;
    }
}

// Without a display that answers, the backend does not start: SDL is kept from falling back to a
// driver that shows nothing (the program would run with no window anyone can see), and each
// failed try is said.
TEST(SdlBackend, ADisplayThatDoesNotAnswerIsAFailureNotAnInvisibleWindow) {
    std::string out;
    int rc = kvtest::Run("ASAN_OPTIONS=detect_leaks=0 DISPLAY=:60999 KINEVISTA_BACKEND=sdl '" +
                             std::string(KV_SDL_SMOKE) + "' /dev/null 2>&1",
                         &out);
    EXPECT_EQ(rc, 2) << out;  // the smoke program's "no SDL backend"
    EXPECT_NE(out.find("sdl: "), std::string::npos) << out;
}
