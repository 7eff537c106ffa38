// The editor round trip of the modal user interface, with a stand-in editor program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "core/document/show_file.h"
#include "platform/host/acf_ids.h"
#include "platform/os/process.h"
#include "platform/os/public_folder.h"
#include "platform/os/registry.h"
#include "platform/os/window_list.h"
#include "tests/plugin/plugin_test_support.h"
#include "tests/test_support.h"

using namespace acf;
using namespace kvhost;
using kvptest::Plugin;

namespace {

std::string Text(const std::vector<uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

struct ModalTest : ::testing::Test {
    HostState state;
    std::string dir;
    std::string editorDir;
    std::vector<uint8_t> original;

    void SetUp() override {
        ASSERT_TRUE(Plugin().Loaded());
        kvptest::UsePrivateWindowList();
        dir = kvtest::TempDir("modal");
        editorDir = dir + "/editor";
        ASSERT_EQ(mkdir(editorDir.c_str(), 0700), 0);
        ASSERT_EQ(symlink(KV_FAKE_EDITOR, (editorDir + "/kinevista").c_str()), 0);
        ASSERT_TRUE(
            kv::WriteRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, editorDir));
        std::remove(kv::ExchangePath().c_str());
        setenv("KV_FAKE_EDITOR_LOG", (dir + "/args").c_str(), 1);
        setenv("KV_FAKE_EDITOR_SEEN", (dir + "/seen").c_str(), 1);
        setenv("KV_FAKE_EDITOR_MODE", "quit", 1);
        unsetenv("KINEVISTA_EDITOR_START_MS");
        original.resize(4096);
        for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    void TearDown() override {
        EXPECT_EQ(state.liveObjects.load(), 0) << "host objects left referenced";
        IACFUnknown* host = NewHostObject(state);
        EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK);
        host->Release();
    }
    ACFRESULT Edit(std::vector<uint8_t>& data, int32_t* writes = nullptr, double rate = 29.97,
                   int32_t length = 300) {
        IACFUnknown* host = NewHostObject(state);
        void* object = nullptr;
        ACFRESULT r =
            CreateComponent(Plugin(), host, CLSID_CAVX2ModalUI_ModalUI, IID_IAVXModalUI, &object);
        if (r == ACF_OK) {
            auto* ui = static_cast<IAVXModalUI*>(object);
            EffectSetup setup;
            setup.privateData = data;
            setup.frameRate = rate;
            setup.length = length;
            EffectAccess access = NewEffectAccess(state, setup, 0, 0);
            r = ui->RunModal(access.access);
            data = ParameterValue(access.parameter);
            if (writes) *writes = ParameterWrites(access.parameter);
            access.Release();
            ui->Release();
        }
        host->Release();
        return r;
    }
};

}  // namespace

TEST_F(ModalTest, QuitLeavesPrivateDataUnchangedAndHandsTheArguments) {
    std::vector<uint8_t> data = original;
    ASSERT_EQ(Edit(data), ACF_OK);
    EXPECT_EQ(data, original);
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/args"), "?2997,300\n");
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/seen"), Text(original))
        << "the editor finds exactly the 4096 bytes in the exchange file";

    ASSERT_EQ(Edit(data, nullptr, 25.0, 250), ACF_OK);
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/args"), "?2500,250\n");
    ASSERT_EQ(Edit(data, nullptr, 23.976, 48), ACF_OK);
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/args"), "?2397,48\n");
}

TEST_F(ModalTest, HostThreadKeepsDispatchingWhileTheEditorRuns) {
    // A host message that posts itself again, like a repaint timer of the host's windows.
    int ticks = 0;
    const std::thread::id caller = std::this_thread::get_id();
    bool sameThread = true;
    bool stop = false;
    std::function<void()> tick = [&] {
        ++ticks;
        sameThread = sameThread && std::this_thread::get_id() == caller;
        if (!stop) PostHostMessage(tick);
    };
    PostHostMessage(tick);
    std::vector<uint8_t> data = original;
    ASSERT_EQ(Edit(data), ACF_OK);
    EXPECT_GE(ticks, 2) << "the wait dispatches while the editor runs";
    EXPECT_TRUE(sameThread);
    stop = true;
    while (PendingHostMessages() > 0) DispatchHostMessage();
    EXPECT_EQ(PendingHostMessages(), 0);
}

TEST_F(ModalTest, ApplyStoresTheEditorsBytes) {
    // A short result replaces only its own length; the rest keeps what was handed out.
    std::string edited(500, '\0');
    for (size_t i = 0; i < edited.size(); ++i) edited[i] = static_cast<char>(255 - i % 200);
    kvtest::WriteFileBytes(dir + "/edited", edited);
    setenv("KV_FAKE_EDITOR_MODE", "apply", 1);
    setenv("KV_FAKE_EDITOR_APPLY", (dir + "/edited").c_str(), 1);
    std::vector<uint8_t> data = original;
    ASSERT_EQ(Edit(data), ACF_OK);
    std::vector<uint8_t> expected = original;
    std::copy(edited.begin(), edited.end(), expected.begin());
    EXPECT_EQ(data, expected);

    // A long result is cut to 4096 bytes.
    std::string longer(6000, 'k');
    kvtest::WriteFileBytes(dir + "/edited", longer);
    ASSERT_EQ(Edit(data), ACF_OK);
    EXPECT_EQ(Text(data), longer.substr(0, 4096));
}

TEST_F(ModalTest, RunningEditorIsBroughtForwardWithoutExchange) {
    ASSERT_TRUE(kv::RegisterTopWindow("Fernquill Kinevista", 77));
    std::vector<uint8_t> data = original;
    int32_t writes = -1;
    ASSERT_EQ(Edit(data, &writes), ACF_OK);
    EXPECT_EQ(data, original);
    EXPECT_EQ(writes, 0);
    EXPECT_TRUE(kv::TakeBringForwardRequest(77));
    EXPECT_NE(access((dir + "/args").c_str(), F_OK), 0) << "no editor was started";
    EXPECT_NE(access(kv::ExchangePath().c_str(), F_OK), 0) << "nothing was exchanged";
    kv::UnregisterTopWindow(77);
}

TEST_F(ModalTest, MissingEditorEndsTheRunAndChangesNothing) {
    std::vector<uint8_t> data = original;
    int32_t writes = -1;
    // No program in the registered folder.
    ASSERT_TRUE(kv::WriteRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, dir));
    EXPECT_EQ(Edit(data, &writes), ACF_OK);
    EXPECT_EQ(data, original);
    EXPECT_EQ(writes, 0);

    // No registry value at all.
    std::remove(kv::RegistryFile().c_str());
    EXPECT_EQ(Edit(data, &writes), ACF_OK);
    EXPECT_EQ(writes, 0);

    // A program that ends without ever showing its window.
    ASSERT_TRUE(kv::WriteRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, editorDir));
    setenv("KV_FAKE_EDITOR_MODE", "nowindow", 1);
    EXPECT_EQ(Edit(data, &writes), ACF_OK);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/args"), "?2997,300\n") << "it was started";

    // A program that runs on without a window: the start-up limit ends the wait, while the
    // program is still running (it only ends once released below).
    const std::string pidFile = dir + "/hang.pid", release = dir + "/hang.release";
    setenv("KV_FAKE_EDITOR_MODE", "hang", 1);
    setenv("KV_FAKE_EDITOR_PID", pidFile.c_str(), 1);
    setenv("KV_FAKE_EDITOR_RELEASE", release.c_str(), 1);
    setenv("KINEVISTA_EDITOR_START_MS", "300", 1);
    EXPECT_EQ(Edit(data, &writes), ACF_OK);
    const int32_t pid = std::atoi(kvtest::ReadFileBytes(pidFile).c_str());
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(kv::ProcessRunning(pid)) << "the wait ended with the program, not the limit";
    kvtest::WriteFileBytes(release, "");
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(data, original);
    // Released, it ends: waited for here, or the test's folder (and the release file) could
    // go first and leave it running out its minute, holding CTest's output pipe.
    for (int i = 0; i < 2000 && kv::ProcessRunning(pid); ++i) kv::SleepMilliseconds(10);
    EXPECT_FALSE(kv::ProcessRunning(pid)) << "the released program still runs";
}

TEST_F(ModalTest, HostExceptionsStopAtTheBoundary) {
    for (const char* call : {"access.GetParameter", "access.GetFrameRate", "parameter.SetValue"}) {
        std::vector<uint8_t> data = original;
        state.ThrowNamed(call);
        EXPECT_EQ(Edit(data), ACF_E_UNEXPECTED) << call;
        state.ThrowNamed("");
        EXPECT_EQ(data, original) << call;
    }
}

TEST_F(ModalTest, EveryFailingHostCallEndsWithItsResult) {
    std::vector<uint8_t> data = original;
    {
        const int64_t before = state.Calls();
        ASSERT_EQ(Edit(data), ACF_OK);
        const int64_t calls = state.Calls() - before;
        ASSERT_EQ(calls, 5);  // get parameter, read, rate, length, write
        for (int64_t n = 1; n <= calls; ++n) {
            state.FailCall(n);
            std::vector<uint8_t> attempt = original;
            int32_t writes = -1;
            EXPECT_EQ(Edit(attempt, &writes), InjectedFault) << state.FailedCall();
            state.FailCall(0);
            EXPECT_EQ(attempt, original) << state.FailedCall();
        }
    }
    EXPECT_EQ(Edit(data, nullptr), ACF_OK);
}
