// CACFUnknown: the base of every object the plug-in hands to its host — the reference count,
// the interface lookup, aggregation support and the module lock count.
//
// An object is either standalone (its controlling unknown is its own private unknown) or
// aggregated inside an outer object of the host (its controlling unknown is the outer one).
// The IACFUnknown slots of the object's interface forward to the controlling unknown; the
// private unknown's slots reach the object's own non-delegating operations, which the outer
// object uses to manage the inner one.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/host/acf_interfaces.h"

namespace kvplugin {

using namespace acf;

// Objects alive in this module; the module may be unloaded only at zero.
int32_t ModuleLockCount();

class CACFUnknown {
public:
    explicit CACFUnknown(IACFUnknown* outer);
    CACFUnknown(const CACFUnknown&) = delete;
    CACFUnknown& operator=(const CACFUnknown&) = delete;

    // Operation table, in order: destructor, initialise hook, second hook, non-delegating
    // query, add-reference and release.
    virtual ~CACFUnknown();
    // Called once by the creator with the host object; the default does nothing.
    virtual ACFRESULT InitializeInstance(IACFUnknown* host);
    virtual void FinalRelease();
    virtual ACFRESULT NDQueryInterface(const ACFIID& iid, void** out);
    virtual uint32_t NDAddRef();
    virtual uint32_t NDRelease();

    IACFUnknown* ControllingUnknown() const { return m_controlling; }
    IACFUnknown* PrivateIUnknown() { return &m_private; }

protected:
    // Hands out `iface` for a query that matched: add-referenced through the controlling
    // unknown, as the caller will release it through the same interface.
    static ACFRESULT Give(IACFUnknown* iface, void** out) {
        *out = iface;
        iface->AddRef();
        return ACF_OK;
    }

private:
    class PrivateUnknown final : public IACFUnknown {
    public:
        explicit PrivateUnknown(CACFUnknown* owner) : m_owner(owner) {}
        ~PrivateUnknown() = default;
        ACFRESULT QueryInterface(const ACFIID& iid, void** out) override {
            return m_owner->NDQueryInterface(iid, out);
        }
        uint32_t AddRef() override { return m_owner->NDAddRef(); }
        uint32_t Release() override { return m_owner->NDRelease(); }

    private:
        CACFUnknown* m_owner;
    };

    std::atomic<int32_t> m_refs{0};
    IACFUnknown* m_controlling;
    PrivateUnknown m_private;
};

// The three IACFUnknown slots of a concrete class's interface: forward to the controlling
// unknown (the outer object when aggregated).
#define KV_DELEGATING_UNKNOWN                                          \
    ACFRESULT QueryInterface(const ACFIID& iid, void** out) override { \
        return ControllingUnknown()->QueryInterface(iid, out);         \
    }                                                                  \
    uint32_t AddRef() override {                                       \
        return ControllingUnknown()->AddRef();                         \
    }                                                                  \
    uint32_t Release() override {                                      \
        return ControllingUnknown()->Release();                        \
    }

// A counted reference to a host interface, released when it goes out of scope.
template <class T>
class Ref {
public:
    Ref() = default;
    ~Ref() { Reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    void Reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    // For out-arguments: drops what is held and gives the slot to fill.
    T** Out() {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    // Hands the reference over to the caller.
    T* Detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

}  // namespace kvplugin
