// Test helpers for the editor program run in process on the headless backend: a private public
// folder per test, the settings file written before the start, the start-up with a command line,
// the main loop driven by script steps (each runs when the loop waits for input) and the end.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/show/show.h"
#include "editor/app/editor_app.h"
#include "editor/ui/main_window.h"
#include "editor/ui/recovery.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/views/stage.h"
#include "editor/ui/views/timeline.h"
#include "editor/ui/views/viewer.h"
#include "platform/win/headless/headless.h"
#include "tests/platform/win/test_window.h"
#include "tests/test_support.h"

namespace kvtest {

class EditorSession : public ::testing::Test {
protected:
    void SetUp() override {
        UseHeadless();
        DrainQueue();
        kv::headless::SetMonitors({{kv::Rect{0, 0, 1280, 1024}, kv::Rect{0, 0, 1280, 1024}}});
        kv::headless::ClearMessageBoxTexts();
        const char* old = getenv("KINEVISTA_PUBLIC");
        m_oldPublic = old ? old : "";
        dir = TempDir("editor");
        setenv("KINEVISTA_PUBLIC", dir.c_str(), 1);
        settings =
            "[Kinevista]\r\nStageScale=50\r\nTimeScale=30\r\nViewerTop=80\r\n"
            "ViewerLeft=1000\r\nViewerWidth=220\r\n";
    }
    void TearDown() override {
        if (kv::MainWindow()) Finish(1);
        app.reset();
        kv::headless::ClearScript();
        DrainQueue();
        setenv("KINEVISTA_PUBLIC", m_oldPublic.c_str(), 1);
    }

    // Adds "key=value" to the settings file written at Start.
    void Setting(const std::string& key, const std::string& value) {
        const size_t at = settings.find("\n" + key + "=");
        if (at != std::string::npos) settings.erase(at + 1, settings.find('\n', at + 1) - at);
        settings += key + "=" + value + "\r\n";
    }
    std::string SettingsFile() const { return ReadFileBytes(dir + "/Kinevista.ini"); }
    bool SettingsFileHas(const std::string& line) const {
        return SettingsFile().find(line + "\r\n") != std::string::npos;
    }

    bool Start(const std::vector<std::string>& args) {
        WriteFileBytes(dir + "/Kinevista.ini", settings);
        return StartWith(args);
    }
    // Starts an editor on the settings file as it is.
    bool StartWith(const std::vector<std::string>& args) {
        app.reset();
        app.emplace(kv::ReadCommandLine(args));
        return app->Start();
    }
    // Runs the main loop through the scripted steps; returns the quit code.
    int Loop() { return app->Run(true); }
    void Finish(int quitCode) { app->Finish(quitCode); }
    // Loop and Finish together.
    int RunToEnd() {
        const int code = Loop();
        Finish(code);
        return code;
    }

    void Step(std::function<void()> step) { kv::headless::Script(std::move(step)); }
    void Command(int id) {
        Step([id] { kv::PostMessage(kv::MainWindow()->hwnd, kv::WM_COMMAND, id, 0); });
    }
    void KeyDown(int vk) {
        Step([vk] { kv::headless::Key(vk); });
    }
    void Char(char c) {
        Step([c] { kv::headless::Type(std::string(1, c)); });
    }
    void Close() {
        Step([] { kv::PostMessage(kv::MainWindow()->hwnd, kv::WM_CLOSE, 0, 0); });
    }

    kv::CMain& Main() { return *kv::MainWindow(); }
    kv::Show& TheShow() { return kv::Session().TheShow(); }
    kv::HWND MainHwnd() { return kv::MainWindow()->hwnd; }

    // A show file with `keys` keys at the given frames over a picture, written to dir/name.
    std::string WriteShow(const std::string& name, const std::string& picture,
                          const std::vector<int>& times, float x0 = 100) {
        kv::Show show;
        show.Reset();
        if (!picture.empty()) {
            show.pictures[0].fileSpec.SetPath(picture.c_str());
            show.pictureCount = 1;
        }
        show.pictures[0].keyCount = 0;
        for (size_t i = 0; i < times.size(); ++i) {
            kv::KeyFrame k{};
            k.x = x0 + 10.0f * static_cast<float>(i);
            k.y = 80;
            k.width = 120;
            k.time = times[i];
            show.pictures[0].keys[i] = k;
            show.pictures[0].keyCount++;
        }
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(kv::SaveShow(show, path));
        return path;
    }

    std::string dir;
    std::string settings;
    // The editor run by Start; it stays until the next start or the end of the test, so that
    // what a run left (its recovery copy) can be read after Finish.
    std::optional<kv::EditorApp> app;

private:
    std::string m_oldPublic;
};

// The message boxes shown so far, as "Caption: text".
inline bool Asked(const std::string& captionAndText) {
    for (const std::string& t : kv::headless::MessageBoxTexts())
        if (t == captionAndText) return true;
    return false;
}

}  // namespace kvtest
