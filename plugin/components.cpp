// The class factory, the creators and the interface lookup of each component; the conform
// component's one operation.
#include "plugin/components.h"

#include <new>

#include "platform/host/acf_ids.h"

namespace kvplugin {

namespace {

// Allocates an object of class T (aggregated under `outer` when given), initialises it with
// the host object and hands out the requested interface. The creator's own reference keeps the
// object alive until the query has added the caller's.
template <class T>
ACFRESULT CreateObject(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid, void** out) {
    if (!out) return ACF_E_INVALIDARG;
    *out = nullptr;
    T* object = new (std::nothrow) T(outer);
    if (!object) return ACF_E_OUTOFMEMORY;
    object->NDAddRef();
    ACFRESULT r = object->InitializeInstance(host);
    if (Failed(r)) {
        object->NDRelease();
        return r;
    }
    r = object->NDQueryInterface(iid, out);
    object->NDRelease();
    return r;
}

}  // namespace

ACFRESULT CreateEffect(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid, void** out) {
    return Guarded([&] { return CreateObject<CAVX2ModalUI_Effect>(host, outer, iid, out); });
}

ACFRESULT CreateModalUI(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid, void** out) {
    return Guarded([&] { return CreateObject<CAVX2ModalUI_ModalUI>(host, outer, iid, out); });
}

ACFRESULT CreateConform(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid, void** out) {
    return Guarded([&] { return CreateObject<CKVConform>(host, outer, iid, out); });
}

// --- Class factory ---------------------------------------------------------------------------

ACFRESULT CACFClassFactory::NDQueryInterface(const ACFIID& iid, void** out) {
    if (!out) return ACF_E_INVALIDARG;
    if (iid == IID_IACFClassFactory) return Give(static_cast<IACFClassFactory*>(this), out);
    return CACFUnknown::NDQueryInterface(iid, out);
}

ACFRESULT CACFClassFactory::CreateInstance(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid,
                                           void** out) {
    return Guarded([&] {
        if (!m_creator) return ACF_E_UNEXPECTED;
        if (!host || !out) return ACF_E_INVALIDARG;
        *out = nullptr;
        // An aggregated object can only be handed out as its private unknown.
        if (outer && !(iid == IID_IACFUnknown)) return ACF_E_NOAGGREGATION;
        return m_creator(host, outer, iid, out);
    });
}

// --- Interface lookup ------------------------------------------------------------------------

ACFRESULT CAVX2ModalUI_Effect::NDQueryInterface(const ACFIID& iid, void** out) {
    if (!out) return ACF_E_INVALIDARG;
    if (iid == IID_IAVXEffect) return Give(static_cast<IAVXEffect*>(this), out);
    return CACFUnknown::NDQueryInterface(iid, out);
}

ACFRESULT CAVX2ModalUI_ModalUI::NDQueryInterface(const ACFIID& iid, void** out) {
    if (!out) return ACF_E_INVALIDARG;
    if (iid == IID_IAVXModalUI) return Give(static_cast<IAVXModalUI*>(this), out);
    return CACFUnknown::NDQueryInterface(iid, out);
}

ACFRESULT CKVConform::NDQueryInterface(const ACFIID& iid, void** out) {
    if (!out) return ACF_E_INVALIDARG;
    if (iid == IID_IAVXConformAVX1) return Give(static_cast<IAVXConformAVX1*>(this), out);
    return CACFUnknown::NDQueryInterface(iid, out);
}

// --- Conform ---------------------------------------------------------------------------------

// Turns an instance of the legacy effect into this effect: its private bytes become the new
// instance's "PrivateData" unchanged. The write's own result is not reported, as the host
// treats the conform as done either way.
ACFRESULT CKVConform::Conform(uint64_t, IAVXEffectAccess* access, uint64_t, const void* legacyData,
                              uint32_t size) {
    return Guarded([&] {
        if (!access || (!legacyData && size != 0)) return ACF_E_INVALIDARG;
        Ref<IAVXParameter> parameter;
        ACFRESULT r =
            access->GetParameter(UID_PrivateDataParam, IID_IAVXParameter, parameter.OutVoid());
        if (Failed(r)) return r;
        if (!parameter) return ACF_E_UNEXPECTED;
        parameter->SetValue(TYPE_OpaqueBytes, legacyData, size);
        return ACF_OK;
    });
}

}  // namespace kvplugin
