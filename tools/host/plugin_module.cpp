// The plug-in module as the simulated host loads it (the system's module loader) and the host's
// side of cataloguing, rendering and editing, with the host's message queue that the plug-in
// drains while it waits for the editor.
#include "tools/host/sim_host.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstring>

#include "platform/host/acf_ids.h"
#include "platform/os/utf8_names.h"
#include "tools/host/sim_host_internal.h"

namespace kvhost {

// --- The plug-in module --------------------------------------------------------------------------

namespace {

// The system's module loader: LoadLibrary on Windows, dlopen elsewhere.
#ifdef _WIN32
void* OpenModule(const std::string& path, std::string* error) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), n);
    HMODULE module = LoadLibraryW(wide.c_str());
    if (!module && error)
        *error = path + ": cannot load the module (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(module);
}
void* ModuleEntry(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void CloseModule(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}
#else
void* OpenModule(const std::string& path, std::string* error) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module && error) *error = dlerror();
    return module;
}
void* ModuleEntry(void* module, const char* name) {
    return dlsym(module, name);
}
void CloseModule(void* module) {
    dlclose(module);
}
#endif

}  // namespace

PluginModule::~PluginModule() {
    if (m_handle) CloseModule(m_handle);
}

bool PluginModule::Load(const std::string& path, std::string* error) {
    m_handle = OpenModule(path, error);
    if (!m_handle) return false;
    registerPlugin =
        reinterpret_cast<ACFRegisterPluginFn>(ModuleEntry(m_handle, "ACFRegisterPlugin"));
    registerComponent =
        reinterpret_cast<ACFRegisterComponentFn>(ModuleEntry(m_handle, "ACFRegisterComponent"));
    getClassFactory =
        reinterpret_cast<ACFGetClassFactoryFn>(ModuleEntry(m_handle, "ACFGetClassFactory"));
    canUnloadNow = reinterpret_cast<ACFCanUnloadNowFn>(ModuleEntry(m_handle, "ACFCanUnloadNow"));
    if (!registerPlugin || !registerComponent || !getClassFactory || !canUnloadNow) {
        if (error) *error = "not a plug-in: an ACF export is missing";
        CloseModule(m_handle);
        m_handle = nullptr;
        return false;
    }
    return true;
}

bool PluginModule::Unload(IACFUnknown* host) {
    if (!m_handle) return true;
    if (canUnloadNow(host) != ACF_OK) return false;
    CloseModule(m_handle);
    m_handle = nullptr;
    return true;
}

// --- The host's side of the three uses ---------------------------------------------------------

ACFRESULT Catalogue(PluginModule& plugin, HostState& state) {
    IACFUnknown* host = NewHostObject(state);
    Releaser<IACFUnknown> hostRef{host};
    IACFUnknown* definition = nullptr;
    ACFRESULT r = plugin.registerPlugin(host, &definition);
    state.Record("ACFRegisterPlugin -> " + Hex32(static_cast<uint32_t>(r)));
    if (definition) definition->Release();
    ACFRESULT first = r;
    for (uint32_t index = 0; index < 3; ++index) {
        definition = nullptr;
        r = plugin.registerComponent(host, index, &definition);
        state.Record("ACFRegisterComponent " + std::to_string(index) + " -> " +
                     Hex32(static_cast<uint32_t>(r)) + (definition ? "" : " (no definition)"));
        if (definition) definition->Release();
        if (first == ACF_OK) first = r;
    }
    return first;
}

ACFRESULT CreateComponent(PluginModule& plugin, IACFUnknown* host, const ACFCLSID& clsid,
                          const ACFIID& iid, void** out) {
    IACFClassFactory* factory = nullptr;
    ACFRESULT r = plugin.getClassFactory(host, &clsid, &IID_IACFClassFactory,
                                         reinterpret_cast<void**>(&factory));
    if (Failed(r)) return r;
    if (!factory) return ACF_E_UNEXPECTED;
    r = factory->CreateInstance(host, nullptr, iid, out);
    factory->Release();
    return r;
}

ACFRESULT RenderOnce(PluginModule& plugin, HostState& state, const RenderRequest& request,
                     std::vector<uint8_t>* pixels) {
    IACFUnknown* host = NewHostObject(state);
    Releaser<IACFUnknown> hostRef{host};
    IAVXEffect* effect = nullptr;
    ACFRESULT r = CreateComponent(plugin, host, CLSID_CAVX2ModalUI_Effect, IID_IAVXEffect,
                                  reinterpret_cast<void**>(&effect));
    if (Failed(r)) return r;
    Releaser<IAVXEffect> effectRef{effect};

    void* context = nullptr;
    r = effect->CreateRenderContext(0, &context);
    if (Failed(r)) return r;

    EffectSetup setup;
    setup.privateData = request.privateData;
    setup.inputPixels = request.input;
    EffectAccess access = NewEffectAccess(state, setup, request.width, request.height);
    FrameSpec frame;
    frame.width = request.width;
    frame.height = request.height;
    frame.fieldOrder = request.fieldOrder;
    frame.pixels = request.outputStart;
    OutputSetup output = NewOutputAccess(state, frame);
    IAVXTime* time = NewTime(state, request.frame);
    IAVXFieldType* kind = NewFieldType(state, request.fieldKind);

    r = effect->RenderFrame(access.access, context, 0, time, 0, kind, output.output);
    if (pixels) *pixels = *output.pixels;

    const ACFRESULT destroyed = effect->DestroyRenderContext(0, context);
    if (r == ACF_OK) r = destroyed;
    kind->Release();
    time->Release();
    output.output->Release();
    access.Release();
    return r;
}

ACFRESULT EditOnce(PluginModule& plugin, HostState& state, double frameRate, int32_t length,
                   std::vector<uint8_t>* privateData) {
    IACFUnknown* host = NewHostObject(state);
    Releaser<IACFUnknown> hostRef{host};
    IAVXModalUI* ui = nullptr;
    ACFRESULT r = CreateComponent(plugin, host, CLSID_CAVX2ModalUI_ModalUI, IID_IAVXModalUI,
                                  reinterpret_cast<void**>(&ui));
    if (Failed(r)) return r;
    Releaser<IAVXModalUI> uiRef{ui};
    EffectSetup setup;
    setup.privateData = *privateData;
    setup.frameRate = frameRate;
    setup.length = length;
    EffectAccess access = NewEffectAccess(state, setup, 0, 0);
    r = ui->RunModal(access.access);
    *privateData = ParameterValue(access.parameter);
    access.Release();
    return r;
}

namespace {
thread_local std::deque<std::function<void()>> t_messages;
}

void PostHostMessage(std::function<void()> message) {
    t_messages.push_back(std::move(message));
}

int32_t PendingHostMessages() {
    return static_cast<int32_t>(t_messages.size());
}

int32_t DispatchHostMessage() {
    if (t_messages.empty()) return 0;
    std::function<void()> message = std::move(t_messages.front());
    t_messages.pop_front();
    message();
    return 1;
}

std::vector<uint8_t> PrivateDataFromFile(const std::string& path, bool* ok) {
    std::vector<uint8_t> data(PrivateDataSize, 0);
    std::FILE* f = kv::os::OpenFile(path, "rb");
    if (ok) *ok = f != nullptr;
    if (f) {
        const size_t n = std::fread(data.data(), 1, data.size(), f);
        (void)n;
        std::fclose(f);
    }
    return data;
}

}  // namespace kvhost

// The host's message dispatch, which the plug-in finds by name in the host's program file.
#ifdef _WIN32
extern "C" __declspec(dllexport) int32_t KinevistaDispatchThreadMessages() {
#else
extern "C" __attribute__((visibility("default"))) int32_t KinevistaDispatchThreadMessages() {
#endif
    return kvhost::DispatchHostMessage();
}
