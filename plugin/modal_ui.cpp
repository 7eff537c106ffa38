// The modal user interface: the round trip through the editor program.
//
// The effect's show goes out through the exchange file, the editor is started with the host's
// frame rate and length, the calling thread waits until the editor's main window has come and
// gone, and the exchange file's content comes back into "PrivateData". An editor that is
// already running is only brought forward. When the editor cannot be found or started, or its
// process ends without ever showing its window, or no window shows within the start-up limit,
// the run ends and "PrivateData" stays as it was.
//
// The waits run on the host's calling thread and keep that thread's windows alive: each step
// sleeps 10 ms, dispatches a message waiting for the thread (when the host has a queue, see
// DispatchHostMessages) and looks again. The dispatch never blocks, so a quiet queue cannot
// hold the wait up after the editor has gone.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#ifndef _WIN32
#include <dlfcn.h>
#endif

#include "core/document/show_file.h"
#include "platform/host/acf_ids.h"
#include "platform/os/atomic_file.h"
#include "platform/os/process.h"
#include "platform/os/program_functions.h"
#include "platform/os/registry.h"
#include "platform/os/utf8_names.h"
#include "platform/os/window_list.h"
#include "plugin/components.h"
#include "plugin/modal_ui.h"

namespace kvplugin {

namespace {

#ifdef _WIN32
constexpr const char* EditorProgram = "Kinevista.exe";
constexpr char FolderSeparator = '\\';
#else
constexpr const char* EditorProgram = "kinevista";
constexpr char FolderSeparator = '/';
#endif
// How long the editor may take to show its window (KINEVISTA_EDITOR_START_MS overrides).
constexpr int64_t DefaultStartLimitMs = 120000;
constexpr int32_t PollMs = 10;

int64_t StartLimitMs() {
    if (const char* env = std::getenv("KINEVISTA_EDITOR_START_MS"); env && *env) {
        const long long v = std::atoll(env);
        if (v > 0) return v;
    }
    return DefaultStartLimitMs;
}

bool EditorWindowExists() {
    return kv::FindTopWindow(EditorWindowTitle, nullptr);
}

void SleepAndDispatch() {
    kv::SleepMilliseconds(PollMs);
    DispatchHostMessages();
}

}  // namespace

int32_t DispatchHostMessages() {
    using DispatchFn = int32_t (*)();
    static const DispatchFn hostDispatch =
        reinterpret_cast<DispatchFn>(kv::FindProgramFunction(HostDispatchFunction));
    if (hostDispatch) return hostDispatch();
    return kv::DispatchThreadMessages();
}

std::string EditorArguments(double frameRate, int32_t lengthInFrames) {
    // The rate times 100, truncated toward zero; a value that is no number, or beyond the
    // 32-bit range, is clamped rather than handed on as garbage.
    double scaled = frameRate * 100.0;
    long rate = 0;
    if (std::isfinite(scaled)) {
        scaled = std::trunc(scaled);
        if (scaled > 2147483647.0) scaled = 2147483647.0;
        if (scaled < -2147483648.0) scaled = -2147483648.0;
        rate = static_cast<long>(scaled);
    }
    char text[64];
    std::snprintf(text, sizeof text, "?%ld,%ld", rate, static_cast<long>(lengthInFrames));
    return text;
}

#ifndef _WIN32
// The folder of the module that holds this code (the plug-in), with its trailing "/"; empty
// when the loader cannot tell.
std::string OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&OwnFolder), &info) == 0 || !info.dli_fname) return "";
    const std::string file = info.dli_fname;
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? "" : file.substr(0, slash + 1);
}
#endif

std::string EditorProgramPath() {
    std::string folder;
    if (!kv::ReadRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, &folder)) {
#ifndef _WIN32
        // No value: an installed plug-in starts the editor installed with it.
        const std::string own = OwnFolder();
        if (!own.empty()) return own + kv::InstalledEditorFolderFromPlugin + EditorProgram;
#endif
        return "";
    }
    // The value is read into a 256-byte wide buffer: at most 127 characters.
    if (folder.empty() || folder.size() > MaxEditorFolderChars) return "";
    if (folder.back() != '/' && folder.back() != FolderSeparator) folder += FolderSeparator;
    return folder + EditorProgram;
}

bool WriteExchangeFile(const uint8_t* block, uint32_t size) {
    // Complete or not at all: the editor never reads half a show, and a failed write keeps
    // the previous exchange file.
    return kv::os::WriteFileAtomically(kv::ExchangePath(), block, size);
}

int32_t ReadExchangeFile(uint8_t* block, uint32_t size) {
    // Wide-character calls: the host's code page is the host's choice, not ours.
    std::FILE* f = kv::os::OpenFile(kv::ExchangePath(), "rb");
    if (!f) return -1;
    const size_t n = std::fread(block, 1, size, f);
    std::fclose(f);
    return static_cast<int32_t>(n);
}

EditorRun RunEditor(const std::string& arguments) {
    const std::string program = EditorProgramPath();
    if (program.empty()) return EditorRun::NotStarted;
    const int32_t pid = kv::StartProcess(program, {arguments});
    if (pid < 0) return EditorRun::NotStarted;

    // Wait for the window to appear. The process's own end (without a window) or the start-up
    // limit ends the wait: the editor is missing or broken.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(StartLimitMs());
    while (!EditorWindowExists()) {
        if (!kv::ProcessRunning(pid)) {
            if (EditorWindowExists()) break;
            return EditorRun::NoWindow;
        }
        if (Clock::now() > deadline) return EditorRun::NoWindow;
        SleepAndDispatch();
    }
    // Wait for it to go. An editor that dies leaves an entry of a dead process, which the
    // window list ignores, so this ends too.
    while (EditorWindowExists()) {
        SleepAndDispatch();
        kv::ProcessRunning(pid);  // collects the exit status once the editor has ended
    }
    // Collect the exit status if the process is still finishing, without waiting long for it.
    for (int i = 0; i < 100 && kv::ProcessRunning(pid); ++i) kv::SleepMilliseconds(PollMs);
    return EditorRun::Closed;
}

ACFRESULT CAVX2ModalUI_ModalUI::RunModal(IAVXEffectAccess* access) {
    return Guarded([&]() -> ACFRESULT {
        if (!access) return ACF_E_INVALIDARG;
        Ref<IAVXParameter> parameter;
        KV_TRY(access->GetParameter(UID_PrivateDataParam, IID_IAVXParameter, parameter.OutVoid()));
        if (!parameter) return ACF_E_UNEXPECTED;
        uint8_t block[PrivateDataSize];
        KV_TRY(parameter->GetValue(TYPE_OpaqueBytes, block, sizeof block));

        double rate = 0;
        int32_t length = 0;
        KV_TRY(access->GetFrameRate(&rate));
        KV_TRY(access->GetLengthInFrames(&length));
        const std::string arguments = EditorArguments(rate, length);

        // One editor serves every effect: a running one is only brought forward, and keeps
        // its own show.
        kv::TopWindow running;
        if (kv::FindTopWindow(EditorWindowTitle, &running)) {
            kv::BringTopWindowForward(running);
            return ACF_OK;
        }

        WriteExchangeFile(block, sizeof block);  // when it fails the editor finds an older file
        if (RunEditor(arguments) != EditorRun::Closed) return ACF_OK;

        // What the editor left in the exchange file replaces the block (a shorter file only
        // its own length of it; an unreadable one nothing).
        ReadExchangeFile(block, sizeof block);
        return parameter->SetValue(TYPE_OpaqueBytes, block, sizeof block);
    });
}

}  // namespace kvplugin
