// The plug-in's component classes: the class factory, the effect, the modal user interface and
// the conform component. Each derives from its host interface and from CACFUnknown.
#pragma once

#include "plugin/acf_unknown.h"

namespace kvplugin {

// Makes one object of a class: (host, outer unknown, interface identifier, out object).
using Creator = ACFRESULT (*)(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid, void** out);

ACFRESULT CreateEffect(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid, void** out);
ACFRESULT CreateModalUI(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid, void** out);
ACFRESULT CreateConform(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid, void** out);

class CACFClassFactory final : public IACFClassFactory, public CACFUnknown {
public:
    CACFClassFactory(IACFUnknown* outer, Creator creator)
        : CACFUnknown(outer), m_creator(creator) {}
    KV_DELEGATING_UNKNOWN
    ACFRESULT NDQueryInterface(const ACFIID& iid, void** out) override;
    ACFRESULT CreateInstance(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid,
                             void** out) override;

private:
    Creator m_creator;
};

// Holds the host object handed to the initialise hook (a counted reference).
class HostHolder {
protected:
    ~HostHolder() { Store(nullptr); }
    void Store(IACFUnknown* host) {
        if (host) host->AddRef();
        if (m_host) m_host->Release();
        m_host = host;
    }
    IACFUnknown* m_host = nullptr;
};

class CAVX2ModalUI_Effect final : public IAVXEffect, public CACFUnknown, private HostHolder {
public:
    explicit CAVX2ModalUI_Effect(IACFUnknown* outer) : CACFUnknown(outer) {}
    KV_DELEGATING_UNKNOWN
    ACFRESULT InitializeInstance(IACFUnknown* host) override {
        Store(host);
        return ACF_OK;
    }
    ACFRESULT NDQueryInterface(const ACFIID& iid, void** out) override;

    ACFRESULT Reserved3() override { return ACF_E_NOTIMPL; }
    ACFRESULT Reserved4() override { return ACF_OK; }
    ACFRESULT CreateRenderContext(uint64_t unused, void** context) override;
    ACFRESULT Reserved6() override { return ACF_OK; }
    ACFRESULT Reserved7() override { return ACF_OK; }
    ACFRESULT RenderFrame(IAVXEffectAccess* access, void* context, uint64_t unused1, IAVXTime* time,
                          uint64_t unused2, IAVXFieldType* fieldType,
                          IAVXOutputAccess* output) override;
    ACFRESULT Reserved9() override { return ACF_OK; }
    ACFRESULT Reserved10() override { return ACF_OK; }
    ACFRESULT DestroyRenderContext(uint64_t unused, void* context) override;
};

class CAVX2ModalUI_ModalUI final : public IAVXModalUI, public CACFUnknown, private HostHolder {
public:
    explicit CAVX2ModalUI_ModalUI(IACFUnknown* outer) : CACFUnknown(outer) {}
    KV_DELEGATING_UNKNOWN
    ACFRESULT InitializeInstance(IACFUnknown* host) override {
        Store(host);
        return ACF_OK;
    }
    ACFRESULT NDQueryInterface(const ACFIID& iid, void** out) override;
    ACFRESULT RunModal(IAVXEffectAccess* access) override;
};

class CKVConform final : public IAVXConformAVX1, public CACFUnknown {
public:
    explicit CKVConform(IACFUnknown* outer) : CACFUnknown(outer) {}
    KV_DELEGATING_UNKNOWN
    ACFRESULT NDQueryInterface(const ACFIID& iid, void** out) override;
    ACFRESULT Conform(uint64_t unused1, IAVXEffectAccess* access, uint64_t unused2,
                      const void* legacyData, uint32_t size) override;
    ACFRESULT Reserved4() override { return ACF_OK; }
    ACFRESULT Reserved5() override { return ACF_OK; }
};

// Returns a failing result of a host call at once (counted references held in Ref locals are
// released on the way out).
#define KV_TRY(call)                 \
    do {                             \
        const ACFRESULT r_ = (call); \
        if (Failed(r_)) return r_;   \
    } while (0)

// Runs `body` and turns any exception into the unexpected-failure code, so that none reaches
// the host.
template <class F>
ACFRESULT Guarded(F&& body) noexcept {
    try {
        return body();
    } catch (ACFRESULT code) {
        return code;
    } catch (...) {
        return ACF_E_UNEXPECTED;
    }
}

}  // namespace kvplugin
