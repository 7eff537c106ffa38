// Runs the SDL2 smoke program against a private Xvfb display (:97); skipped without Xvfb.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/test_support.h"

TEST(SdlBackend, WindowOpensTakesAClickDrawsAndIsSaved) {
    if (kvtest::Run("command -v Xvfb >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb is not installed; the SDL backend smoke run is skipped";
    bool started = false;
    std::string pid;
    if (access("/tmp/.X11-unix/X97", F_OK) != 0) {
        kvtest::Run("Xvfb :97 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & echo $!", &pid);
        started = true;
        for (int i = 0; i < 100 && access("/tmp/.X11-unix/X97", F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string png = std::string(KV_WIN_BUILD_DIR) + "/sdl_smoke.png";
    std::remove(png.c_str());
    std::string out;
    // The X and GL client libraries keep allocations past exit; the child's leak check is off
    // (our own code is leak-checked by the headless tests).
    int rc = kvtest::Run("ASAN_OPTIONS=detect_leaks=0 DISPLAY=:97 KINEVISTA_BACKEND=sdl '" +
                             std::string(KV_SDL_SMOKE) + "' '" + png + "' 2>&1",
                         &out);
    if (started && !pid.empty()) kvtest::Run("kill " + pid + " 2>/dev/null");
    EXPECT_EQ(rc, 0) << out;
    EXPECT_FALSE(kvtest::ReadFileBytes(png).empty());
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
