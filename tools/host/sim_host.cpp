// The simulated host's objects: call counting and fault injection, the definitions a plug-in
// fills in while it is catalogued, and the objects of rendering and editing. The plug-in loader
// and the host's side of cataloguing, rendering and editing are in plugin_module.cpp.
#include "tools/host/sim_host.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform/host/acf_ids.h"
#include "tools/host/sim_host_internal.h"

namespace kvhost {

// --- Call counting, fault injection and the call log ---------------------------------------

ACFRESULT HostState::Enter(const char* name) {
    const int64_t n = m_calls.fetch_add(1) + 1;
    ACFRESULT fault = ACF_OK;
    const int64_t at = m_failAt.load();
    if (at > 0 && n == at) fault = m_failCode;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_failName.empty() && m_failName == name) fault = m_failNameCode;
        if (fault != ACF_OK && m_failed.empty()) m_failed = name;
        if (!m_throwName.empty() && m_throwName == name) {
            if (m_failed.empty()) m_failed = name;
            throw std::runtime_error(std::string("host exception in ") + name);
        }
    }
    return fault;
}

void HostState::Record(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_log.push_back(line);
}

void HostState::FailCall(int64_t n, ACFRESULT code) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_failCode = code;
    m_failed.clear();
    m_failAt.store(n > 0 ? m_calls.load() + n : 0);
}

void HostState::FailNamed(const std::string& name, ACFRESULT code) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_failName = name;
    m_failNameCode = code;
    m_failed.clear();
}

void HostState::ThrowNamed(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_throwName = name;
    m_failed.clear();
}

std::string HostState::FailedCall() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_failed;
}

std::vector<std::string> HostState::Log() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_log;
}

void HostState::ClearLog() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_log.clear();
}

std::string Hex32(uint32_t v) {
    char t[16];
    std::snprintf(t, sizeof t, "0x%08X", v);
    return t;
}

namespace {

std::string Quoted(const ACFWChar* w) {
    return w ? "\"" + WideToUtf8(w) + "\"" : "null";
}

// An attribute value as text, by its type.
std::string ValueText(const ACFUID& type, const void* value, uint32_t size) {
    if (!value) return "null";
    if (type == TYPE_WideText) return Quoted(static_cast<const ACFWChar*>(value));
    if (type == TYPE_Identifier && size == 16) return UidText(*static_cast<const ACFUID*>(value));
    if (type == TYPE_Int32 && size == 4) {
        int32_t v;
        std::memcpy(&v, value, 4);
        return std::to_string(v);
    }
    const auto* bytes = static_cast<const uint8_t*>(value);
    bool zero = true;
    for (uint32_t i = 0; i < size && zero; ++i) zero = bytes[i] == 0;
    return "<" + std::to_string(size) + " bytes" + (zero ? ", all zero>" : ">");
}

// The log text of a DefineAttribute call.
std::string AttributeText(const ACFUID& a, const ACFUID& t, const void* v, uint32_t size) {
    return UidText(a) + " " + UidText(t) + " " + ValueText(t, v, size) + " " + Hex32(size);
}

// The log text of a definition's Initialize... call.
std::string InitializeText(const ACFUID& id, const ACFUID& type, uint32_t v1, uint32_t v2,
                           const ACFCLSID& clsid, const ACFWChar* name) {
    return UidText(id) + " " + UidText(type) + " " + std::to_string(v1) + " " + std::to_string(v2) +
           " " + UidText(clsid) + " " + Quoted(name);
}

// --- Base of every host object ---------------------------------------------------------------

// One host object implementing interface I: a reference count, a query that knows I and
// IACFUnknown, and a place in the live-object count.
template <class I>
class HostObject : public I {
public:
    HostObject(HostState& state, const ACFIID& iid, const char* name)
        : m_state(state), m_iid(iid), m_name(name) {
        m_state.liveObjects.fetch_add(1);
    }
    virtual ~HostObject() { m_state.liveObjects.fetch_sub(1); }

    ACFRESULT QueryInterface(const ACFIID& iid, void** out) override {
        if (ACFRESULT f = Call("QueryInterface")) return f;
        if (!out) return ACF_E_INVALIDARG;
        if (iid == IID_IACFUnknown || iid == m_iid) {
            *out = static_cast<I*>(this);
            AddRef();
            return ACF_OK;
        }
        *out = nullptr;
        return ACF_E_NOINTERFACE;
    }
    uint32_t AddRef() override { return static_cast<uint32_t>(m_refs.fetch_add(1) + 1); }
    uint32_t Release() override {
        const int32_t left = m_refs.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return static_cast<uint32_t>(left);
    }

protected:
    ACFRESULT Call(const char* op) {
        const std::string full = std::string(m_name) + "." + op;
        return m_state.Enter(full.c_str());
    }
    void Log(const std::string& op, const std::string& args) {
        m_state.Record(std::string(m_name) + "." + op + (args.empty() ? "" : " " + args));
    }

    HostState& m_state;

private:
    std::atomic<int32_t> m_refs{1};
    ACFIID m_iid;
    const char* m_name;
};

#define KV_ENTER(op)                            \
    do {                                        \
        if (ACFRESULT f_ = Call(op)) return f_; \
    } while (0)
#define KV_RESERVED(n)                 \
    ACFRESULT Reserved##n() override { \
        return Call("Reserved" #n);    \
    }

// Definitions keep the definitions added to them (counted references).
class Holder {
protected:
    ~Holder() {
        for (IACFUnknown* p : m_held) p->Release();
    }
    void Hold(IACFUnknown* p) {
        p->AddRef();
        m_held.push_back(p);
    }
    std::vector<IACFUnknown*> m_held;
};

class PluginDefinition final : public HostObject<IACFPluginDefinition> {
public:
    explicit PluginDefinition(HostState& s) : HostObject(s, IID_IACFPluginDefinition, "plugin") {}
    ACFRESULT InitializePlugin(const ACFUID& id, uint32_t v1, uint32_t v2, const ACFWChar* file,
                               const ACFUID& vendorId, const ACFWChar* vendor, uint32_t v3,
                               uint32_t v4) override {
        KV_ENTER("InitializePlugin");
        Log("InitializePlugin", UidText(id) + " " + std::to_string(v1) + " " + std::to_string(v2) +
                                    " " + Quoted(file) + " " + UidText(vendorId) + " " +
                                    Quoted(vendor) + " " + std::to_string(v3) + " " +
                                    std::to_string(v4));
        return ACF_OK;
    }
    ACFRESULT DefineAttribute(const ACFUID& a, const ACFUID& t, const void* v,
                              uint32_t size) override {
        KV_ENTER("DefineAttribute");
        Log("DefineAttribute", AttributeText(a, t, v, size));
        return ACF_OK;
    }
};

class EffectDefinition final : public HostObject<IAVXEffectDefinition>, private Holder {
public:
    explicit EffectDefinition(HostState& s) : HostObject(s, IID_IAVXEffectDefinition, "effect") {}
    ACFRESULT InitializeEffect(const ACFUID& id, const ACFUID& type, uint32_t v1, uint32_t v2,
                               const ACFCLSID& clsid, const ACFWChar* name) override {
        KV_ENTER("InitializeEffect");
        Log("InitializeEffect", InitializeText(id, type, v1, v2, clsid, name));
        return ACF_OK;
    }
    ACFRESULT DefineAttribute(const ACFUID& a, const ACFUID& t, const void* v,
                              uint32_t size) override {
        KV_ENTER("DefineAttribute");
        Log("DefineAttribute", AttributeText(a, t, v, size));
        return ACF_OK;
    }
    ACFRESULT DefineInput(const ACFUID& id, const ACFWChar* name, uint32_t flags) override {
        KV_ENTER("DefineInput");
        Log("DefineInput", UidText(id) + " " + Quoted(name) + " " + std::to_string(flags));
        return ACF_OK;
    }
    ACFRESULT DefineOutput(const ACFUID& id, const ACFWChar* name, uint32_t flags) override {
        KV_ENTER("DefineOutput");
        Log("DefineOutput", UidText(id) + " " + Quoted(name) + " " + std::to_string(flags));
        return ACF_OK;
    }
    ACFRESULT SetEffectValues(uint32_t a, uint32_t b, uint32_t c) override {
        KV_ENTER("SetEffectValues");
        Log("SetEffectValues",
            std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
        return ACF_OK;
    }
    ACFRESULT AddParameterDefinition(IACFUnknown* parameter) override {
        KV_ENTER("AddParameterDefinition");
        if (!parameter) return ACF_E_INVALIDARG;
        Hold(parameter);
        Log("AddParameterDefinition", "parameter");
        return ACF_OK;
    }
};

class ParameterDefinition final : public HostObject<IAVXParameterDefinition> {
public:
    explicit ParameterDefinition(HostState& s)
        : HostObject(s, IID_IAVXParameterDefinition, "parameter") {}
    ACFRESULT InitializeParameter(const ACFUID& id, const ACFWChar* name, const ACFWChar* desc,
                                  const ACFUID& type, uint32_t v1, uint32_t v2, uint32_t v3,
                                  const void* reserved) override {
        KV_ENTER("InitializeParameter");
        Log("InitializeParameter", UidText(id) + " " + Quoted(name) + " " + Quoted(desc) + " " +
                                       UidText(type) + " " + std::to_string(v1) + " " +
                                       std::to_string(v2) + " " + std::to_string(v3) + " " +
                                       (reserved ? "pointer" : "null"));
        return ACF_OK;
    }
    ACFRESULT DefineAttribute(const ACFUID& a, const ACFUID& t, const void* v,
                              uint32_t size) override {
        KV_ENTER("DefineAttribute");
        Log("DefineAttribute", AttributeText(a, t, v, size));
        return ACF_OK;
    }
};

class ComponentDefinition final : public HostObject<IACFComponentDefinition> {
public:
    explicit ComponentDefinition(HostState& s)
        : HostObject(s, IID_IACFComponentDefinition, "component") {}
    ACFRESULT InitializeComponent(const ACFUID& id, const ACFUID& type, uint32_t v1, uint32_t v2,
                                  const ACFCLSID& clsid, const ACFWChar* name) override {
        KV_ENTER("InitializeComponent");
        Log("InitializeComponent", InitializeText(id, type, v1, v2, clsid, name));
        return ACF_OK;
    }
    ACFRESULT DefineAttribute(const ACFUID& a, const ACFUID& t, const void* v,
                              uint32_t size) override {
        KV_ENTER("DefineAttribute");
        Log("DefineAttribute", AttributeText(a, t, v, size));
        return ACF_OK;
    }
};

class ConformDefinition final : public HostObject<IAVXConformDefinition>, private Holder {
public:
    explicit ConformDefinition(HostState& s)
        : HostObject(s, IID_IAVXConformDefinition, "conform") {}
    ACFRESULT InitializeConform(const ACFUID& id, const ACFUID& type, uint32_t v1, uint32_t v2,
                                const ACFCLSID& clsid, const ACFWChar* name) override {
        KV_ENTER("InitializeConform");
        Log("InitializeConform", InitializeText(id, type, v1, v2, clsid, name));
        return ACF_OK;
    }
    ACFRESULT DefineAttribute(const ACFUID& a, const ACFUID& t, const void* v,
                              uint32_t size) override {
        KV_ENTER("DefineAttribute");
        Log("DefineAttribute", AttributeText(a, t, v, size));
        return ACF_OK;
    }
    ACFRESULT AddMapping(IACFUnknown* mapping) override {
        KV_ENTER("AddMapping");
        if (!mapping) return ACF_E_INVALIDARG;
        Hold(mapping);
        Log("AddMapping", "mapping");
        return ACF_OK;
    }
};

class EffectIDMapping final : public HostObject<IAVXEffectIDMapping> {
public:
    explicit EffectIDMapping(HostState& s) : HostObject(s, IID_IAVXEffectIDMapping, "mapping") {}
    ACFRESULT SetMapping(const char* legacy, const ACFUID& effect) override {
        KV_ENTER("SetMapping");
        Log("SetMapping", std::string("\"") + (legacy ? legacy : "") + "\" " + UidText(effect));
        return ACF_OK;
    }
};

class DefinitionFactory final : public HostObject<IACFDefinitionFactory> {
public:
    explicit DefinitionFactory(HostState& s)
        : HostObject(s, IID_IACFDefinitionFactory, "factory") {}
    ACFRESULT CreateInstance(const ACFCLSID& clsid, IACFUnknown* outer, const ACFIID& iid,
                             void** out) override {
        KV_ENTER("CreateInstance");
        if (!out) return ACF_E_INVALIDARG;
        *out = nullptr;
        Log("CreateInstance",
            UidText(clsid) + " " + (outer ? "outer" : "null") + " " + UidText(iid));
        if (outer) return ACF_E_NOAGGREGATION;
        IACFUnknown* made = nullptr;
        if (clsid == CLSID_PluginDefinition && iid == IID_IACFPluginDefinition) {
            made = static_cast<IACFPluginDefinition*>(new PluginDefinition(m_state));
        } else if (clsid == CLSID_EffectDefinition && iid == IID_IAVXEffectDefinition) {
            made = static_cast<IAVXEffectDefinition*>(new EffectDefinition(m_state));
        } else if (clsid == CLSID_ParameterDefinition && iid == IID_IAVXParameterDefinition) {
            made = static_cast<IAVXParameterDefinition*>(new ParameterDefinition(m_state));
        } else if (clsid == CLSID_ComponentDefinition && iid == IID_IACFComponentDefinition) {
            made = static_cast<IACFComponentDefinition*>(new ComponentDefinition(m_state));
        } else if (clsid == CLSID_ConformDefinition && iid == IID_IAVXConformDefinition) {
            if (m_state.refuseConform) return ACF_E_CLASSNOTAVAILABLE;
            made = static_cast<IAVXConformDefinition*>(new ConformDefinition(m_state));
        } else if (clsid == CLSID_EffectIDMapping && iid == IID_IAVXEffectIDMapping) {
            made = static_cast<IAVXEffectIDMapping*>(new EffectIDMapping(m_state));
        } else {
            return ACF_E_CLASSNOTAVAILABLE;
        }
        *out = made;
        return ACF_OK;
    }
};

// The host object: the argument of every export and creator.
class Host final : public HostObject<IACFUnknown> {
public:
    explicit Host(HostState& s) : HostObject(s, IID_IACFUnknown, "host") {}
    ACFRESULT QueryInterface(const ACFIID& iid, void** out) override {
        if (ACFRESULT f = Call("QueryInterface")) return f;
        if (!out) return ACF_E_INVALIDARG;
        if (iid == IID_IACFDefinitionFactory) {
            *out = static_cast<IACFDefinitionFactory*>(new DefinitionFactory(m_state));
            return ACF_OK;
        }
        if (iid == IID_IACFUnknown) {
            *out = static_cast<IACFUnknown*>(this);
            AddRef();
            return ACF_OK;
        }
        *out = nullptr;
        return ACF_E_NOINTERFACE;
    }
};

// --- Objects of rendering and editing ----------------------------------------------------------

class Frame final : public HostObject<IAVXFrame> {
public:
    Frame(HostState& s, const char* name, FrameSpec frame)
        : HostObject(s, IID_IAVXOutputFrame, name), m_shape(std::move(frame)) {
        const size_t bytes = static_cast<size_t>(m_shape.width > 0 ? m_shape.width : 0) *
                             static_cast<size_t>(m_shape.height > 0 ? m_shape.height : 0) * 4;
        if (m_shape.pixels.size() != bytes) m_shape.pixels.assign(bytes, 0);
    }
    KV_RESERVED(3)
    ACFRESULT GetWidth(int32_t* w) override {
        KV_ENTER("GetWidth");
        *w = m_shape.width;
        return ACF_OK;
    }
    ACFRESULT GetHeight(int32_t* h) override {
        KV_ENTER("GetHeight");
        *h = m_shape.height;
        return ACF_OK;
    }
    KV_RESERVED(6)
    KV_RESERVED(7)
    ACFRESULT GetInputKey(int64_t* key) override {
        KV_ENTER("GetInputKey");
        *key = m_shape.inputKey;
        return ACF_OK;
    }
    KV_RESERVED(9)
    KV_RESERVED(10)
    KV_RESERVED(11)
    ACFRESULT GetFieldOrder(int32_t* order) override {
        KV_ENTER("GetFieldOrder");
        *order = m_shape.fieldOrder;
        return ACF_OK;
    }
    KV_RESERVED(13)
    KV_RESERVED(14)
    KV_RESERVED(15)
    KV_RESERVED(16)
    ACFRESULT GetPixels(void** pixels) override {
        KV_ENTER("GetPixels");
        *pixels = m_shape.pixels.empty() ? nullptr : m_shape.pixels.data();
        return ACF_OK;
    }
    const std::vector<uint8_t>& Pixels() const { return m_shape.pixels; }

private:
    FrameSpec m_shape;
};

class InputAccess final : public HostObject<IAVXInputAccess> {
public:
    InputAccess(HostState& s, FrameSpec input)
        : HostObject(s, IID_IAVXInputAccess, "input"), m_input(std::move(input)) {}
    KV_RESERVED(3)
    KV_RESERVED(4)
    ACFRESULT GetInputFrame(int32_t position, int32_t kind, int64_t key,
                            IAVXFrame** frame) override {
        KV_ENTER("GetInputFrame");
        if (!frame) return ACF_E_INVALIDARG;
        *frame = nullptr;
        // The key must be the one the output frame gave; anything else is a host error.
        if (key != m_input.inputKey) return ACF_E_INVALIDARG;
        Log("GetInputFrame", std::to_string(position) + " " + std::to_string(kind));
        *frame = new Frame(m_state, "inputFrame", m_input);
        return ACF_OK;
    }

private:
    FrameSpec m_input;
};

}  // namespace

class SimParameter final : public HostObject<IAVXParameter> {
public:
    SimParameter(HostState& s, const std::vector<uint8_t>& value)
        : HostObject(s, IID_IAVXParameter, "parameter"), m_value(value) {}
    KV_RESERVED(3)
    KV_RESERVED(4)
    ACFRESULT GetValue(const ACFUID& type, void* buffer, uint32_t size) override {
        KV_ENTER("GetValue");
        if (!(type == TYPE_OpaqueBytes)) return ACF_E_INVALIDARG;
        if (!buffer && size) return ACF_E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_lock);
        const size_t n = std::min<size_t>(size, m_value.size());
        if (n) std::memcpy(buffer, m_value.data(), n);
        if (size > n) std::memset(static_cast<uint8_t*>(buffer) + n, 0, size - n);
        return ACF_OK;
    }
    ACFRESULT SetValue(const ACFUID& type, const void* data, uint32_t size) override {
        KV_ENTER("SetValue");
        if (!(type == TYPE_OpaqueBytes)) return ACF_E_INVALIDARG;
        if (!data && size) return ACF_E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_lock);
        const auto* p = static_cast<const uint8_t*>(data);
        m_value.assign(p, p + size);
        ++m_writes;
        return ACF_OK;
    }
    std::vector<uint8_t> Value() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_value;
    }
    int32_t Writes() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_writes;
    }

private:
    mutable std::mutex m_lock;
    std::vector<uint8_t> m_value;
    int32_t m_writes = 0;
};

namespace {

class EffectAccessObject final : public HostObject<IAVXEffectAccess> {
public:
    EffectAccessObject(HostState& s, const EffectSetup& setup, SimParameter* parameter,
                       FrameSpec input)
        : HostObject(s, IID_IACFUnknown, "access"),
          m_parameter(parameter),
          m_rate(setup.frameRate),
          m_length(setup.length),
          m_input(std::move(input)) {}
    ~EffectAccessObject() override { m_parameter->Release(); }
    KV_RESERVED(3)
    KV_RESERVED(4)
    KV_RESERVED(5)
    KV_RESERVED(6)
    KV_RESERVED(7)
    KV_RESERVED(8)
    ACFRESULT GetLengthInFrames(int32_t* frames) override {
        KV_ENTER("GetLengthInFrames");
        *frames = m_length;
        return ACF_OK;
    }
    KV_RESERVED(10)
    KV_RESERVED(11)
    ACFRESULT GetInputAccess(uint32_t index, const ACFIID& iid1, const ACFIID& iid2,
                             void** input) override {
        KV_ENTER("GetInputAccess");
        if (!input) return ACF_E_INVALIDARG;
        *input = nullptr;
        if (index != 0) return ACF_E_INVALIDARG;
        if (!(iid1 == IID_IAVXInputAccess) || !(iid2 == IID_IAVXInputAccess2))
            return ACF_E_NOINTERFACE;
        *input = static_cast<IAVXInputAccess*>(new InputAccess(m_state, m_input));
        return ACF_OK;
    }
    KV_RESERVED(13)
    KV_RESERVED(14)
    KV_RESERVED(15)
    KV_RESERVED(16)
    KV_RESERVED(17)
    ACFRESULT GetParameter(const ACFUID& id, const ACFIID& iid, void** parameter) override {
        KV_ENTER("GetParameter");
        if (!parameter) return ACF_E_INVALIDARG;
        *parameter = nullptr;
        if (!(id == UID_PrivateDataParam)) return ACF_E_INVALIDARG;
        if (!(iid == IID_IAVXParameter)) return ACF_E_NOINTERFACE;
        m_parameter->AddRef();
        *parameter = static_cast<IAVXParameter*>(m_parameter);
        return ACF_OK;
    }
    KV_RESERVED(19)
    ACFRESULT GetFrameRate(double* rate) override {
        KV_ENTER("GetFrameRate");
        *rate = m_rate;
        return ACF_OK;
    }

private:
    SimParameter* m_parameter;
    double m_rate;
    int32_t m_length;
    FrameSpec m_input;
};

class TimeObject final : public HostObject<IAVXTime> {
public:
    TimeObject(HostState& s, int32_t frame)
        : HostObject(s, IID_IACFUnknown, "time"), m_frame(frame) {}
    ACFRESULT GetFramePosition(int32_t* frame) override {
        KV_ENTER("GetFramePosition");
        *frame = m_frame;
        return ACF_OK;
    }

private:
    int32_t m_frame;
};

class FieldTypeObject final : public HostObject<IAVXFieldType> {
public:
    FieldTypeObject(HostState& s, int32_t kind)
        : HostObject(s, IID_IACFUnknown, "fieldType"), m_kind(kind) {}
    KV_RESERVED(3)
    ACFRESULT GetFieldKind(int32_t* kind) override {
        KV_ENTER("GetFieldKind");
        *kind = m_kind;
        return ACF_OK;
    }

private:
    int32_t m_kind;
};

class OutputAccessObject final : public HostObject<IAVXOutputAccess> {
public:
    OutputAccessObject(HostState& s, Frame* frame)
        : HostObject(s, IID_IACFUnknown, "output"), m_frame(frame) {}
    ~OutputAccessObject() override { m_frame->Release(); }
    KV_RESERVED(3)
    ACFRESULT GetOutputFrame(uint32_t index, const ACFIID& iid1, const ACFIID& iid2,
                             IAVXFrame** frame) override {
        KV_ENTER("GetOutputFrame");
        if (!frame) return ACF_E_INVALIDARG;
        *frame = nullptr;
        if (index != 0) return ACF_E_INVALIDARG;
        if (!(iid1 == IID_IAVXOutputFrame) || !(iid2 == IID_IAVXOutputFrame2))
            return ACF_E_NOINTERFACE;
        m_frame->AddRef();
        *frame = m_frame;
        return ACF_OK;
    }

private:
    Frame* m_frame;
};

}  // namespace

// --- Factories of host objects -----------------------------------------------------------------

IACFUnknown* NewHostObject(HostState& state) {
    return new Host(state);
}

SimParameter* NewParameter(HostState& state, const std::vector<uint8_t>& value) {
    return new SimParameter(state, value);
}
IAVXParameter* AsInterface(SimParameter* p) {
    return p;
}
std::vector<uint8_t> ParameterValue(SimParameter* p) {
    return p->Value();
}
int32_t ParameterWrites(SimParameter* p) {
    return p->Writes();
}

void EffectAccess::Release() {
    if (access) access->Release();
    access = nullptr;
    parameter = nullptr;
}

EffectAccess NewEffectAccess(HostState& state, const EffectSetup& setup, int32_t width,
                             int32_t height) {
    FrameSpec input;
    input.width = width;
    input.height = height;
    input.pixels = setup.inputPixels;
    EffectAccess made;
    made.parameter = new SimParameter(state, setup.privateData);
    made.access = new EffectAccessObject(state, setup, made.parameter, std::move(input));
    return made;
}

IAVXTime* NewTime(HostState& state, int32_t frame) {
    return new TimeObject(state, frame);
}

IAVXFieldType* NewFieldType(HostState& state, int32_t kind) {
    return new FieldTypeObject(state, kind);
}

OutputSetup NewOutputAccess(HostState& state, const FrameSpec& frameShape) {
    auto* frame = new Frame(state, "outputFrame", frameShape);
    OutputSetup made;
    made.output = new OutputAccessObject(state, frame);
    made.pixels = &frame->Pixels();
    return made;
}

}  // namespace kvhost
