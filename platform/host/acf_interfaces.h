// The interfaces of the host's component model, as abstract classes whose operations sit at
// fixed slot positions of the object's operation table.
//
// Slots count from 0. The first three slots of every interface are those of IACFUnknown. An
// interface declares its operations in slot order and has no virtual destructor (a destructor
// would take table slots of its own); objects are destroyed through Release. Slots whose use
// the plug-in does not need are declared as ReservedN, to keep later slots in place. Every
// operation that can fail returns an ACFRESULT; values are handed back through out-pointers.
#pragma once

#include <cstdint>

#include "platform/host/acf_types.h"

namespace acf {

// Slots 0..2 of every interface.
class IACFUnknown {
public:
    virtual ACFRESULT QueryInterface(const ACFIID& iid, void** out) = 0;  // 0
    virtual uint32_t AddRef() = 0;                                        // 1
    virtual uint32_t Release() = 0;                                       // 2

protected:
    ~IACFUnknown() = default;
};

// --- Implemented by the plug-in -------------------------------------------------------------

// A class factory: makes objects of one class.
class IACFClassFactory : public IACFUnknown {
public:
    virtual ACFRESULT CreateInstance(IACFUnknown* host, IACFUnknown* outer, const ACFIID& iid,
                                     void** out) = 0;  // 3

protected:
    ~IACFClassFactory() = default;
};

class IAVXEffectAccess;
class IAVXTime;
class IAVXFieldType;
class IAVXOutputAccess;

// The effect (twelve slots).
class IAVXEffect : public IACFUnknown {
public:
    virtual ACFRESULT Reserved3() = 0;                                           // 3
    virtual ACFRESULT Reserved4() = 0;                                           // 4
    virtual ACFRESULT CreateRenderContext(uint64_t unused, void** context) = 0;  // 5
    virtual ACFRESULT Reserved6() = 0;                                           // 6
    virtual ACFRESULT Reserved7() = 0;                                           // 7
    virtual ACFRESULT RenderFrame(IAVXEffectAccess* access, void* context, uint64_t unused1,
                                  IAVXTime* time, uint64_t unused2, IAVXFieldType* fieldType,
                                  IAVXOutputAccess* output) = 0;                 // 8
    virtual ACFRESULT Reserved9() = 0;                                           // 9
    virtual ACFRESULT Reserved10() = 0;                                          // 10
    virtual ACFRESULT DestroyRenderContext(uint64_t unused, void* context) = 0;  // 11

protected:
    ~IAVXEffect() = default;
};

// The modal user interface (four slots).
class IAVXModalUI : public IACFUnknown {
public:
    virtual ACFRESULT RunModal(IAVXEffectAccess* access) = 0;  // 3

protected:
    ~IAVXModalUI() = default;
};

// The conform component (six slots): turns an instance of a legacy effect into this effect.
class IAVXConformAVX1 : public IACFUnknown {
public:
    virtual ACFRESULT Conform(uint64_t unused1, IAVXEffectAccess* access, uint64_t unused2,
                              const void* legacyData, uint32_t size) = 0;  // 3
    virtual ACFRESULT Reserved4() = 0;                                     // 4
    virtual ACFRESULT Reserved5() = 0;                                     // 5

protected:
    ~IAVXConformAVX1() = default;
};

// --- Implemented by the host: registration ----------------------------------------------------

// Queried from the host object; makes definition objects.
class IACFDefinitionFactory : public IACFUnknown {
public:
    virtual ACFRESULT CreateInstance(const ACFCLSID& clsid, IACFUnknown* outer, const ACFIID& iid,
                                     void** out) = 0;  // 3

protected:
    ~IACFDefinitionFactory() = default;
};

class IACFPluginDefinition : public IACFUnknown {
public:
    virtual ACFRESULT InitializePlugin(const ACFUID& pluginId, uint32_t value1, uint32_t value2,
                                       const ACFWChar* fileName, const ACFUID& vendorId,
                                       const ACFWChar* vendorName, uint32_t value3,
                                       uint32_t value4) = 0;  // 3
    virtual ACFRESULT DefineAttribute(const ACFUID& attribute, const ACFUID& type,
                                      const void* value, uint32_t size) = 0;  // 4

protected:
    ~IACFPluginDefinition() = default;
};

class IAVXEffectDefinition : public IACFUnknown {
public:
    virtual ACFRESULT InitializeEffect(const ACFUID& effectId, const ACFUID& componentType,
                                       uint32_t value1, uint32_t value2, const ACFCLSID& clsid,
                                       const ACFWChar* name) = 0;  // 3
    virtual ACFRESULT DefineAttribute(const ACFUID& attribute, const ACFUID& type,
                                      const void* value, uint32_t size) = 0;                    // 4
    virtual ACFRESULT DefineInput(const ACFUID& id, const ACFWChar* name, uint32_t flags) = 0;  // 5
    virtual ACFRESULT DefineOutput(const ACFUID& id, const ACFWChar* name,
                                   uint32_t flags) = 0;                                        // 6
    virtual ACFRESULT SetEffectValues(uint32_t value1, uint32_t value2, uint32_t value3) = 0;  // 7
    virtual ACFRESULT AddParameterDefinition(IACFUnknown* parameter) = 0;                      // 8

protected:
    ~IAVXEffectDefinition() = default;
};

class IAVXParameterDefinition : public IACFUnknown {
public:
    virtual ACFRESULT InitializeParameter(const ACFUID& parameterId, const ACFWChar* name,
                                          const ACFWChar* description, const ACFUID& dataType,
                                          uint32_t value1, uint32_t value2, uint32_t value3,
                                          const void* reserved) = 0;  // 3
    virtual ACFRESULT DefineAttribute(const ACFUID& attribute, const ACFUID& type,
                                      const void* value, uint32_t size) = 0;  // 4

protected:
    ~IAVXParameterDefinition() = default;
};

class IACFComponentDefinition : public IACFUnknown {
public:
    virtual ACFRESULT InitializeComponent(const ACFUID& componentId, const ACFUID& componentType,
                                          uint32_t value1, uint32_t value2, const ACFCLSID& clsid,
                                          const ACFWChar* name) = 0;  // 3
    virtual ACFRESULT DefineAttribute(const ACFUID& attribute, const ACFUID& type,
                                      const void* value, uint32_t size) = 0;  // 4

protected:
    ~IACFComponentDefinition() = default;
};

class IAVXConformDefinition : public IACFUnknown {
public:
    virtual ACFRESULT InitializeConform(const ACFUID& componentId, const ACFUID& componentType,
                                        uint32_t value1, uint32_t value2, const ACFCLSID& clsid,
                                        const ACFWChar* name) = 0;  // 3
    virtual ACFRESULT DefineAttribute(const ACFUID& attribute, const ACFUID& type,
                                      const void* value, uint32_t size) = 0;  // 4
    virtual ACFRESULT AddMapping(IACFUnknown* mapping) = 0;                   // 5

protected:
    ~IAVXConformDefinition() = default;
};

class IAVXEffectIDMapping : public IACFUnknown {
public:
    virtual ACFRESULT SetMapping(const char* legacyId, const ACFUID& effectId) = 0;  // 3

protected:
    ~IAVXEffectIDMapping() = default;
};

// --- Implemented by the host: rendering and editing ------------------------------------------

class IAVXParameter : public IACFUnknown {
public:
    virtual ACFRESULT Reserved3() = 0;                                                        // 3
    virtual ACFRESULT Reserved4() = 0;                                                        // 4
    virtual ACFRESULT GetValue(const ACFUID& dataType, void* buffer, uint32_t size) = 0;      // 5
    virtual ACFRESULT SetValue(const ACFUID& dataType, const void* data, uint32_t size) = 0;  // 6

protected:
    ~IAVXParameter() = default;
};

class IAVXFrame;
class IAVXInputAccess;

class IAVXEffectAccess : public IACFUnknown {
public:
    virtual ACFRESULT Reserved3() = 0;                         // 3
    virtual ACFRESULT Reserved4() = 0;                         // 4
    virtual ACFRESULT Reserved5() = 0;                         // 5
    virtual ACFRESULT Reserved6() = 0;                         // 6
    virtual ACFRESULT Reserved7() = 0;                         // 7
    virtual ACFRESULT Reserved8() = 0;                         // 8
    virtual ACFRESULT GetLengthInFrames(int32_t* frames) = 0;  // 9
    virtual ACFRESULT Reserved10() = 0;                        // 10
    virtual ACFRESULT Reserved11() = 0;                        // 11
    virtual ACFRESULT GetInputAccess(uint32_t index, const ACFIID& iid1, const ACFIID& iid2,
                                     void** input) = 0;  // 12
    virtual ACFRESULT Reserved13() = 0;                  // 13
    virtual ACFRESULT Reserved14() = 0;                  // 14
    virtual ACFRESULT Reserved15() = 0;                  // 15
    virtual ACFRESULT Reserved16() = 0;                  // 16
    virtual ACFRESULT Reserved17() = 0;                  // 17
    virtual ACFRESULT GetParameter(const ACFUID& parameterId, const ACFIID& iid,
                                   void** parameter) = 0;  // 18
    virtual ACFRESULT Reserved19() = 0;                    // 19
    virtual ACFRESULT GetFrameRate(double* rate) = 0;      // 20

protected:
    ~IAVXEffectAccess() = default;
};

class IAVXTime : public IACFUnknown {
public:
    virtual ACFRESULT GetFramePosition(int32_t* frame) = 0;  // 3

protected:
    ~IAVXTime() = default;
};

class IAVXFieldType : public IACFUnknown {
public:
    virtual ACFRESULT Reserved3() = 0;                  // 3
    virtual ACFRESULT GetFieldKind(int32_t* kind) = 0;  // 4

protected:
    ~IAVXFieldType() = default;
};

class IAVXOutputAccess : public IACFUnknown {
public:
    virtual ACFRESULT Reserved3() = 0;  // 3
    virtual ACFRESULT GetOutputFrame(uint32_t index, const ACFIID& iid1, const ACFIID& iid2,
                                     IAVXFrame** frame) = 0;  // 4

protected:
    ~IAVXOutputAccess() = default;
};

// A frame of the host: 32-bit pixels, top row first, rows of exactly width x 4 bytes.
class IAVXFrame : public IACFUnknown {
public:
    virtual ACFRESULT Reserved3() = 0;                    // 3
    virtual ACFRESULT GetWidth(int32_t* width) = 0;       // 4
    virtual ACFRESULT GetHeight(int32_t* height) = 0;     // 5
    virtual ACFRESULT Reserved6() = 0;                    // 6
    virtual ACFRESULT Reserved7() = 0;                    // 7
    virtual ACFRESULT GetInputKey(int64_t* key) = 0;      // 8: handed on when fetching the input
    virtual ACFRESULT Reserved9() = 0;                    // 9
    virtual ACFRESULT Reserved10() = 0;                   // 10
    virtual ACFRESULT Reserved11() = 0;                   // 11
    virtual ACFRESULT GetFieldOrder(int32_t* order) = 0;  // 12
    virtual ACFRESULT Reserved13() = 0;                   // 13
    virtual ACFRESULT Reserved14() = 0;                   // 14
    virtual ACFRESULT Reserved15() = 0;                   // 15
    virtual ACFRESULT Reserved16() = 0;                   // 16
    virtual ACFRESULT GetPixels(void** pixels) = 0;       // 17

protected:
    ~IAVXFrame() = default;
};

class IAVXInputAccess : public IACFUnknown {
public:
    virtual ACFRESULT Reserved3() = 0;  // 3
    virtual ACFRESULT Reserved4() = 0;  // 4
    virtual ACFRESULT GetInputFrame(int32_t framePosition, int32_t fieldKind, int64_t key,
                                    IAVXFrame** frame) = 0;  // 5

protected:
    ~IAVXInputAccess() = default;
};

// --- The plug-in's exports --------------------------------------------------------------------
using ACFRegisterPluginFn = ACFRESULT (*)(IACFUnknown* host, IACFUnknown** definition);
using ACFRegisterComponentFn = ACFRESULT (*)(IACFUnknown* host, uint32_t index,
                                             IACFUnknown** definition);
using ACFGetClassFactoryFn = ACFRESULT (*)(IACFUnknown* host, const ACFCLSID* clsid,
                                           const ACFIID* iid, void** factory);
using ACFCanUnloadNowFn = ACFRESULT (*)(IACFUnknown* host);

}  // namespace acf
