// The identifiers that pass between the plug-in and its host: the plug-in's own components,
// classes, parameter, input and output, and the host's interfaces, classes, component types,
// attributes and data types that the plug-in uses.
#pragma once

#include "platform/host/acf_types.h"

namespace acf {

// --- Owned by the plug-in -----------------------------------------------------------------
constexpr ACFUID UID_KinevistaPlugin = Uid("{A78398EB-D921-42A8-9137-4B336695A206}");
constexpr ACFUID UID_KinevistaVendor = Uid("{9728BF70-A077-478F-B81A-65C9940ED2DA}");
constexpr ACFUID UID_KinevistaEffect = Uid("{F1076101-0DC6-4620-A861-227DBCAF3B30}");
constexpr ACFCLSID CLSID_CAVX2ModalUI_Effect = Uid("{8313F321-267C-41DC-B433-1E47E131CC11}");
constexpr ACFUID UID_KinevistaModalUI = Uid("{AAFA699D-D015-4DFB-A32B-AFF8125195AF}");
constexpr ACFCLSID CLSID_CAVX2ModalUI_ModalUI = Uid("{8028A710-495D-42DA-9A90-575EB458C831}");
constexpr ACFUID UID_KinevistaConform = Uid("{3A0514A2-B610-4829-A645-10FD00B3511A}");
constexpr ACFCLSID CLSID_CKVConform = Uid("{A8E193A1-348B-4F83-93EB-79B7E44115FC}");
constexpr ACFUID UID_PrivateDataParam = Uid("{036EDD4E-B32F-4B86-B6C7-492B90D4D0A9}");
constexpr ACFUID UID_EffectInput = Uid("{32C6482D-2EE9-4A2C-ADCA-510109C3C3BF}");
constexpr ACFUID UID_EffectOutput = Uid("{66369FF4-A799-496B-A982-229E56D87F63}");

// --- Host interfaces of the component model -------------------------------------------------
constexpr ACFIID IID_IACFUnknown = Uid("{00000000-0000-0000-C000-000000000046}");
constexpr ACFIID IID_IACFClassFactory = Uid("{80996EEE-7FCF-11D6-ACA8-00306542A024}");
constexpr ACFIID IID_IAVXEffect = Uid("{31FF7105-88A3-4496-9DCA-C2A208623B5B}");
constexpr ACFIID IID_IAVXModalUI = Uid("{3E5FDC33-F7DE-4DB2-8578-B7C3443545CA}");
constexpr ACFIID IID_IAVXConformAVX1 = Uid("{FDFC14E6-B806-43AA-A82A-E91D48FD9666}");
constexpr ACFIID IID_IACFDefinitionFactory = Uid("{382B6A96-7FD0-11D6-BCFE-00306542A024}");

// --- Definitions made through the host's definition factory (class / interface) ---------
constexpr ACFCLSID CLSID_PluginDefinition = Uid("{6F8508AE-7295-11D6-8952-0030658A6504}");
constexpr ACFIID IID_IACFPluginDefinition = Uid("{00EEF015-7FD0-11D6-8485-00306542A024}");
constexpr ACFCLSID CLSID_EffectDefinition = Uid("{FA6CE63D-35C3-469C-8D80-F9CF8FCE7A01}");
constexpr ACFIID IID_IAVXEffectDefinition = Uid("{EA08C929-6B1C-4195-A0F8-872444E150A4}");
constexpr ACFCLSID CLSID_ParameterDefinition = Uid("{2CA1D73C-7DE5-4F8C-81E0-40A0655F9A4A}");
constexpr ACFIID IID_IAVXParameterDefinition = Uid("{3DA89D01-6896-4C78-9071-33B1CF6BF4CD}");
constexpr ACFCLSID CLSID_ComponentDefinition = Uid("{6C422BFA-70E5-11D6-8CDD-0030658A6504}");
constexpr ACFIID IID_IACFComponentDefinition = Uid("{1718A226-7FD0-11D6-BD1D-00306542A024}");
constexpr ACFCLSID CLSID_ConformDefinition = Uid("{DBC683A8-40CD-4ABD-9ABC-8528C2509F8F}");
constexpr ACFIID IID_IAVXConformDefinition = Uid("{5E3BBCA9-CEDE-435B-8935-5FC2571CC0B1}");
constexpr ACFCLSID CLSID_EffectIDMapping = Uid("{4C95268F-71F6-4C52-B498-A640ABC75A12}");
constexpr ACFIID IID_IAVXEffectIDMapping = Uid("{7A149649-6E30-480A-9DE5-F503D41C6291}");

// --- Component types ------------------------------------------------------------------------
constexpr ACFUID COMPTYPE_Effect = Uid("{30F97600-68FC-11D5-8CC5-8AB41B9EF840}");
constexpr ACFUID COMPTYPE_ModalUI = Uid("{BF35E5C6-E6CC-11D6-AED1-00039383008C}");
constexpr ACFUID COMPTYPE_Conform = Uid("{6127BDDD-4679-4CF9-B865-53D22E167763}");

// --- Attributes and their types -------------------------------------------------------------
constexpr ACFUID ATTR_PluginDescription = Uid("{3C099C4A-7FD2-11D6-9AEF-00306542A024}");
constexpr ACFUID ATTR_EffectVendorName = Uid("{A9DADEFC-D63D-46D9-BD5D-527B495FED97}");
constexpr ACFUID ATTR_EffectModalUI = Uid("{B37C621C-E2A7-11D6-A33B-00306542A024}");
constexpr ACFUID ATTR_EffectFlag = Uid("{B3ECFBE6-E2A7-11D6-9012-00306542A024}");
constexpr ACFUID ATTR_ParamDefaultValue = Uid("{BD3BFEEB-042D-3AAE-BF21-70EBC74646A8}");
constexpr ACFUID TYPE_WideText = Uid("{40C6B9BA-7103-11D6-BB30-0030658A6504}");
constexpr ACFUID TYPE_Identifier = Uid("{905DBB84-7104-11D6-AED3-0030658A6504}");
constexpr ACFUID TYPE_Int32 = Uid("{27A179D8-7103-11D6-94F7-0030658A6504}");
constexpr ACFUID TYPE_OpaqueBytes = Uid("{C02F2CAA-7293-11D6-B4E4-0030658A6504}");

// --- Host objects met while rendering and editing -----------------------------------------
constexpr ACFIID IID_IAVXParameter = Uid("{8311B97A-ACC0-446F-AA15-D21326391173}");
constexpr ACFIID IID_IAVXInputAccess = Uid("{4ABD6F8B-F4D6-47FF-A213-706E37A5E5EC}");
constexpr ACFIID IID_IAVXInputAccess2 = Uid("{C4B91F61-2C72-4545-9D6F-4A040A58ECC0}");
constexpr ACFIID IID_IAVXOutputFrame = Uid("{A3F7AE7E-4DA7-4C20-851E-4736E86E705E}");
constexpr ACFIID IID_IAVXOutputFrame2 = Uid("{9D942896-AB0A-430A-9FB0-29A4935DA1DC}");

// Size of the "PrivateData" parameter's value in bytes.
constexpr uint32_t PrivateDataSize = 4096;
// Size given for a NUL-terminated text attribute.
constexpr uint32_t TerminatedText = 0xFFFFFFFFu;

}  // namespace acf
