// The four exports: the description of the plug-in and its three components that the host
// records while it catalogues plug-ins, the class factories, and the unload question.
//
// Every definition call is checked; a failing call ends the export with that call's result,
// and every definition made on the way is released, so the host gets a complete definition or
// none. The one exception is the conform definition, which a host may refuse.
#include <new>

#include "platform/host/acf_ids.h"
#include "plugin/components.h"

using namespace acf;
using kvplugin::Guarded;
using kvplugin::Ref;

#ifdef _WIN32
#define KV_EXPORT extern "C"  // exports.def names the four entries
#else
#define KV_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

const ACFWChar* const PluginFileName = u"Kinevista.avx";
const ACFWChar* const VendorName = u"Fernquill, LLC";
const ACFWChar* const PluginDescription = u"Pans and zooms from Fernquill";
const ACFWChar* const DisplayName = u"Kinevista";
const ACFWChar* const EffectVendor = u"Fernquill";
const ACFWChar* const ParameterName = u"PrivateData";
const ACFWChar* const ParameterDescription = u"PrivateData parameter";
const ACFWChar* const InputName = u"Input";
const ACFWChar* const OutputName = u"Output";
const ACFWChar* const ConformName = u"KV Conform";
const char* const LegacyEffectId = "EFF_AVX_Fernquill_Kinevista_$";

// The default "PrivateData" value: 4096 zero bytes, which is not a show.
const uint8_t DefaultPrivateData[PrivateDataSize] = {};

ACFRESULT GetDefinitionFactory(IACFUnknown* host, Ref<IACFDefinitionFactory>& factory) {
    KV_TRY(host->QueryInterface(IID_IACFDefinitionFactory, factory.OutVoid()));
    return factory ? ACF_OK : ACF_E_UNEXPECTED;
}

template <class T>
ACFRESULT MakeDefinition(IACFDefinitionFactory* factory, const ACFCLSID& clsid, const ACFIID& iid,
                         Ref<T>& out) {
    KV_TRY(factory->CreateInstance(clsid, nullptr, iid, out.OutVoid()));
    return out ? ACF_OK : ACF_E_UNEXPECTED;
}

ACFRESULT RegisterPlugin(IACFUnknown* host, IACFUnknown** out) {
    Ref<IACFDefinitionFactory> factory;
    KV_TRY(GetDefinitionFactory(host, factory));
    Ref<IACFPluginDefinition> plugin;
    KV_TRY(MakeDefinition(factory.Get(), CLSID_PluginDefinition, IID_IACFPluginDefinition, plugin));
    KV_TRY(plugin->InitializePlugin(UID_KinevistaPlugin, 0, 0, PluginFileName, UID_KinevistaVendor,
                                    VendorName, 3, 1));
    KV_TRY(plugin->DefineAttribute(ATTR_PluginDescription, TYPE_WideText, PluginDescription,
                                   TerminatedText));
    *out = plugin.Detach();
    return ACF_OK;
}

ACFRESULT RegisterEffect(IACFDefinitionFactory* factory, IACFUnknown** out) {
    Ref<IAVXEffectDefinition> effect;
    KV_TRY(MakeDefinition(factory, CLSID_EffectDefinition, IID_IAVXEffectDefinition, effect));
    KV_TRY(effect->InitializeEffect(UID_KinevistaEffect, COMPTYPE_Effect, 0, 0,
                                    CLSID_CAVX2ModalUI_Effect, DisplayName));
    KV_TRY(effect->DefineAttribute(ATTR_EffectVendorName, TYPE_WideText, EffectVendor,
                                   TerminatedText));
    KV_TRY(effect->DefineAttribute(ATTR_EffectModalUI, TYPE_Identifier, &UID_KinevistaModalUI,
                                   sizeof(ACFUID)));
    KV_TRY(effect->DefineInput(UID_EffectInput, InputName, 0));
    KV_TRY(effect->DefineOutput(UID_EffectOutput, OutputName, 0));
    KV_TRY(effect->SetEffectValues(4, 1, 0));
    const int32_t one = 1;
    KV_TRY(effect->DefineAttribute(ATTR_EffectFlag, TYPE_Int32, &one, sizeof one));

    Ref<IAVXParameterDefinition> parameter;
    KV_TRY(
        MakeDefinition(factory, CLSID_ParameterDefinition, IID_IAVXParameterDefinition, parameter));
    KV_TRY(parameter->InitializeParameter(UID_PrivateDataParam, ParameterName, ParameterDescription,
                                          TYPE_OpaqueBytes, 0, 0, 0, nullptr));
    KV_TRY(parameter->DefineAttribute(ATTR_ParamDefaultValue, TYPE_OpaqueBytes, DefaultPrivateData,
                                      PrivateDataSize));
    KV_TRY(effect->AddParameterDefinition(parameter.Get()));
    parameter.Reset();
    *out = effect.Detach();
    return ACF_OK;
}

ACFRESULT RegisterModalUI(IACFDefinitionFactory* factory, IACFUnknown** out) {
    Ref<IACFComponentDefinition> component;
    KV_TRY(
        MakeDefinition(factory, CLSID_ComponentDefinition, IID_IACFComponentDefinition, component));
    KV_TRY(component->InitializeComponent(UID_KinevistaModalUI, COMPTYPE_ModalUI, 0, 0,
                                          CLSID_CAVX2ModalUI_ModalUI, DisplayName));
    *out = component.Detach();
    return ACF_OK;
}

ACFRESULT RegisterConform(IACFDefinitionFactory* factory, IACFUnknown** out) {
    Ref<IAVXConformDefinition> conform;
    // A host that does not know conform components refuses the definition; the plug-in then
    // simply has none.
    if (Failed(
            MakeDefinition(factory, CLSID_ConformDefinition, IID_IAVXConformDefinition, conform)))
        return ACF_OK;
    KV_TRY(conform->InitializeConform(UID_KinevistaConform, COMPTYPE_Conform, 1, 1,
                                      CLSID_CKVConform, ConformName));
    Ref<IAVXEffectIDMapping> mapping;
    KV_TRY(MakeDefinition(factory, CLSID_EffectIDMapping, IID_IAVXEffectIDMapping, mapping));
    KV_TRY(mapping->SetMapping(LegacyEffectId, UID_KinevistaEffect));
    KV_TRY(conform->AddMapping(mapping.Get()));
    mapping.Reset();
    *out = conform.Detach();
    return ACF_OK;
}

}  // namespace

KV_EXPORT ACFRESULT ACFRegisterPlugin(IACFUnknown* host, IACFUnknown** definition) {
    return Guarded([&] {
        if (!host || !definition) return ACF_E_POINTER;
        *definition = nullptr;
        return RegisterPlugin(host, definition);
    });
}

KV_EXPORT ACFRESULT ACFRegisterComponent(IACFUnknown* host, uint32_t index,
                                         IACFUnknown** definition) {
    return Guarded([&] {
        if (!host || !definition) return ACF_E_POINTER;
        if (index > 2) return ACF_E_INVALIDARG;
        if (index != 2) *definition = nullptr;  // the conform branch leaves it as it was
        Ref<IACFDefinitionFactory> factory;
        KV_TRY(GetDefinitionFactory(host, factory));
        switch (index) {
            case 0:
                return RegisterEffect(factory.Get(), definition);
            case 1:
                return RegisterModalUI(factory.Get(), definition);
            default:
                return RegisterConform(factory.Get(), definition);
        }
    });
}

KV_EXPORT ACFRESULT ACFGetClassFactory(IACFUnknown* host, const ACFCLSID* clsid, const ACFIID* iid,
                                       void** factory) {
    return Guarded([&] {
        if (!host || !factory || !clsid || !iid) return ACF_E_INVALIDARG;
        *factory = nullptr;
        kvplugin::Creator creator = nullptr;
        if (*clsid == CLSID_CAVX2ModalUI_Effect) {
            creator = kvplugin::CreateEffect;
        } else if (*clsid == CLSID_CAVX2ModalUI_ModalUI) {
            creator = kvplugin::CreateModalUI;
        } else if (*clsid == CLSID_CKVConform) {
            creator = kvplugin::CreateConform;
        } else {
            return ACF_E_CLASSNOTAVAILABLE;
        }
        auto* object = new (std::nothrow) kvplugin::CACFClassFactory(nullptr, creator);
        if (!object) return ACF_E_OUTOFMEMORY;
        object->NDAddRef();
        const ACFRESULT r = object->NDQueryInterface(*iid, factory);
        object->NDRelease();
        return r;
    });
}

KV_EXPORT ACFRESULT ACFCanUnloadNow(IACFUnknown* host) {
    if (!host) return ACF_E_INVALIDARG;
    return kvplugin::ModuleLockCount() == 0 ? ACF_OK : ACF_E_CANNOTUNLOAD;
}
