// The common base of the plug-in's objects.
#include "plugin/acf_unknown.h"

#include "platform/host/acf_ids.h"

namespace kvplugin {

namespace {
std::atomic<int32_t> g_moduleLocks{0};
}

int32_t ModuleLockCount() {
    return g_moduleLocks.load();
}

CACFUnknown::CACFUnknown(IACFUnknown* outer)
    : m_controlling(outer ? outer : &m_private), m_private(this) {
    g_moduleLocks.fetch_add(1);
}

CACFUnknown::~CACFUnknown() {
    g_moduleLocks.fetch_sub(1);
}

ACFRESULT CACFUnknown::InitializeInstance(IACFUnknown*) {
    return ACF_OK;
}

void CACFUnknown::FinalRelease() {}

ACFRESULT CACFUnknown::NDQueryInterface(const ACFIID& iid, void** out) {
    if (!out) return ACF_E_INVALIDARG;
    if (iid == IID_IACFUnknown) {
        *out = &m_private;
        NDAddRef();
        return ACF_OK;
    }
    *out = nullptr;
    return ACF_E_NOINTERFACE;
}

uint32_t CACFUnknown::NDAddRef() {
    return static_cast<uint32_t>(m_refs.fetch_add(1) + 1);
}

uint32_t CACFUnknown::NDRelease() {
    const int32_t left = m_refs.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return static_cast<uint32_t>(left);
}

}  // namespace kvplugin
