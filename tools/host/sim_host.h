// A simulated host: every host object the plug-in uses, a loader that reaches the plug-in only
// through its four exports, and the host's side of cataloguing, rendering and editing.
//
// Every operation of every host object counts as one host call and can be made to fail (fault
// injection): the n-th call from now, or every call of a named operation. Host objects are
// counted while alive, so a test can see that the plug-in released all it was given. Host
// objects may be used from several threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/acf_interfaces.h"

namespace kvhost {

using namespace acf;

// The result an injected fault returns unless another is asked for.
constexpr ACFRESULT InjectedFault = static_cast<ACFRESULT>(0x8004FA17u);

// State shared by all host objects of one simulated host.
class HostState {
public:
    // Counts a call of operation `name`; returns the fault to report, or ACF_OK.
    ACFRESULT Enter(const char* name);
    void Record(const std::string& line);

    // Fault injection: the n-th host call from now fails (n >= 1; 0 turns it off).
    void FailCall(int64_t n, ACFRESULT code = InjectedFault);
    // Every call of the named operation fails ("" turns it off).
    void FailNamed(const std::string& name, ACFRESULT code = InjectedFault);
    // Every call of the named operation raises a C++ exception instead of returning, as a
    // careless host might ("" turns it off).
    void ThrowNamed(const std::string& name);
    int64_t Calls() const { return m_calls.load(); }
    // The name of the call that was made to fail, "" when none was.
    std::string FailedCall() const;

    std::vector<std::string> Log() const;
    void ClearLog();

    std::atomic<int32_t> liveObjects{0};
    bool refuseConform = false;

private:
    std::atomic<int64_t> m_calls{0};
    std::atomic<int64_t> m_failAt{0};
    ACFRESULT m_failCode = InjectedFault;
    std::string m_failName;
    ACFRESULT m_failNameCode = InjectedFault;
    std::string m_throwName;
    mutable std::mutex m_lock;
    std::vector<std::string> m_log;
    std::string m_failed;
};

// The plug-in as the host sees it: a loaded module and its four exports.
class PluginModule {
public:
    PluginModule() = default;
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    bool Load(const std::string& path, std::string* error);
    // Asks the plug-in and unloads it when it agrees; false (still loaded) when it refuses.
    bool Unload(IACFUnknown* host);
    bool Loaded() const { return m_handle != nullptr; }

    ACFRegisterPluginFn registerPlugin = nullptr;
    ACFRegisterComponentFn registerComponent = nullptr;
    ACFGetClassFactoryFn getClassFactory = nullptr;
    ACFCanUnloadNowFn canUnloadNow = nullptr;

private:
    void* m_handle = nullptr;
};

// Host objects handed to the plug-in. Each is made with one reference, owned by the caller.
IACFUnknown* NewHostObject(HostState& state);

class SimParameter;
SimParameter* NewParameter(HostState& state, const std::vector<uint8_t>& value);
IAVXParameter* AsInterface(SimParameter* p);
std::vector<uint8_t> ParameterValue(SimParameter* p);
int32_t ParameterWrites(SimParameter* p);

struct FrameSpec {
    int32_t width = 0;
    int32_t height = 0;
    int32_t fieldOrder = 0;
    int64_t inputKey = 0x5EED;
    std::vector<uint8_t> pixels;  // top row first; width * height * 4 bytes (made when empty)
};

// What one effect access object answers.
struct EffectSetup {
    std::vector<uint8_t> privateData;  // the parameter's value (4096 bytes)
    double frameRate = 29.97;
    int32_t length = 300;
    std::vector<uint8_t> inputPixels;  // the input frame, top row first (empty: all zero)
};

// An effect access object with its parameter and input; the parameter stays reachable for
// reading back what the plug-in stored.
struct EffectAccess {
    IAVXEffectAccess* access = nullptr;  // one reference, released by Release()
    SimParameter* parameter = nullptr;   // owned by access
    void Release();
};
EffectAccess NewEffectAccess(HostState& state, const EffectSetup& setup, int32_t width,
                             int32_t height);

IAVXTime* NewTime(HostState& state, int32_t frame);
IAVXFieldType* NewFieldType(HostState& state, int32_t kind);
// The output access and its frame; `frame` receives a pointer to read the pixels back.
struct OutputSetup {
    IAVXOutputAccess* output = nullptr;
    const std::vector<uint8_t>* pixels = nullptr;  // valid while output lives
};
OutputSetup NewOutputAccess(HostState& state, const FrameSpec& frame);

// --- The host's side of the three uses ---------------------------------------------------------

// Registers the plug-in and components 0 to 2; the definition calls are in state.Log().
// Returns the first failing result, else 0.
ACFRESULT Catalogue(PluginModule& plugin, HostState& state);

// Makes an object of `clsid` through the plug-in's class factory and asks for `iid`.
ACFRESULT CreateComponent(PluginModule& plugin, IACFUnknown* host, const ACFCLSID& clsid,
                          const ACFIID& iid, void** out);

struct RenderRequest {
    std::vector<uint8_t> privateData;
    int32_t frame = 0;
    int32_t width = 720;
    int32_t height = 480;
    int32_t fieldKind = 0;
    int32_t fieldOrder = 0;
    std::vector<uint8_t> input;        // top row first, or empty
    std::vector<uint8_t> outputStart;  // the output buffer's content before rendering, or empty
};
// Creates the effect, makes a render context, renders one frame, destroys the context and
// releases the effect. `pixels` gets the output frame (top row first).
ACFRESULT RenderOnce(PluginModule& plugin, HostState& state, const RenderRequest& request,
                     std::vector<uint8_t>* pixels);

// Creates the modal UI and runs it on an effect whose "PrivateData" is `privateData`;
// `privateData` gets the value afterwards.
ACFRESULT EditOnce(PluginModule& plugin, HostState& state, double frameRate, int32_t length,
                   std::vector<uint8_t>* privateData);

// The host's message queue of the calling thread: messages posted here are run, one per call,
// when the plug-in dispatches the thread's messages while it waits for the editor.
void PostHostMessage(std::function<void()> message);
int32_t PendingHostMessages();
// Runs the calling thread's oldest posted message; the number run (0 or 1).
int32_t DispatchHostMessage();

// The first 4096 bytes of a show file, zero-padded.
std::vector<uint8_t> PrivateDataFromFile(const std::string& path, bool* ok);

}  // namespace kvhost
