// Registration, class factories, aggregation and the unload rule, through the four exports.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/host/acf_ids.h"
#include "tests/plugin/plugin_test_support.h"

using namespace acf;
using namespace kvhost;
using kvptest::Plugin;

namespace {

// Every definition call of a full catalogue, in order, with its identifiers and values.
const std::vector<std::string> ExpectedCatalogue = {
    "factory.CreateInstance {6F8508AE-7295-11D6-8952-0030658A6504} null "
    "{00EEF015-7FD0-11D6-8485-00306542A024}",
    "plugin.InitializePlugin {A78398EB-D921-42A8-9137-4B336695A206} 0 0 \"Kinevista.avx\" "
    "{9728BF70-A077-478F-B81A-65C9940ED2DA} \"Fernquill, LLC\" 3 1",
    "plugin.DefineAttribute {3C099C4A-7FD2-11D6-9AEF-00306542A024} "
    "{40C6B9BA-7103-11D6-BB30-0030658A6504} \"Pans and zooms from Fernquill\" 0xFFFFFFFF",
    "ACFRegisterPlugin -> 0x00000000",
    "factory.CreateInstance {FA6CE63D-35C3-469C-8D80-F9CF8FCE7A01} null "
    "{EA08C929-6B1C-4195-A0F8-872444E150A4}",
    "effect.InitializeEffect {F1076101-0DC6-4620-A861-227DBCAF3B30} "
    "{30F97600-68FC-11D5-8CC5-8AB41B9EF840} 0 0 {8313F321-267C-41DC-B433-1E47E131CC11} "
    "\"Kinevista\"",
    "effect.DefineAttribute {A9DADEFC-D63D-46D9-BD5D-527B495FED97} "
    "{40C6B9BA-7103-11D6-BB30-0030658A6504} \"Fernquill\" 0xFFFFFFFF",
    "effect.DefineAttribute {B37C621C-E2A7-11D6-A33B-00306542A024} "
    "{905DBB84-7104-11D6-AED3-0030658A6504} {AAFA699D-D015-4DFB-A32B-AFF8125195AF} 0x00000010",
    "effect.DefineInput {32C6482D-2EE9-4A2C-ADCA-510109C3C3BF} \"Input\" 0",
    "effect.DefineOutput {66369FF4-A799-496B-A982-229E56D87F63} \"Output\" 0",
    "effect.SetEffectValues 4 1 0",
    "effect.DefineAttribute {B3ECFBE6-E2A7-11D6-9012-00306542A024} "
    "{27A179D8-7103-11D6-94F7-0030658A6504} 1 0x00000004",
    "factory.CreateInstance {2CA1D73C-7DE5-4F8C-81E0-40A0655F9A4A} null "
    "{3DA89D01-6896-4C78-9071-33B1CF6BF4CD}",
    "parameter.InitializeParameter {036EDD4E-B32F-4B86-B6C7-492B90D4D0A9} \"PrivateData\" "
    "\"PrivateData parameter\" {C02F2CAA-7293-11D6-B4E4-0030658A6504} 0 0 0 null",
    "parameter.DefineAttribute {BD3BFEEB-042D-3AAE-BF21-70EBC74646A8} "
    "{C02F2CAA-7293-11D6-B4E4-0030658A6504} <4096 bytes, all zero> 0x00001000",
    "effect.AddParameterDefinition parameter",
    "ACFRegisterComponent 0 -> 0x00000000",
    "factory.CreateInstance {6C422BFA-70E5-11D6-8CDD-0030658A6504} null "
    "{1718A226-7FD0-11D6-BD1D-00306542A024}",
    "component.InitializeComponent {AAFA699D-D015-4DFB-A32B-AFF8125195AF} "
    "{BF35E5C6-E6CC-11D6-AED1-00039383008C} 0 0 {8028A710-495D-42DA-9A90-575EB458C831} "
    "\"Kinevista\"",
    "ACFRegisterComponent 1 -> 0x00000000",
    "factory.CreateInstance {DBC683A8-40CD-4ABD-9ABC-8528C2509F8F} null "
    "{5E3BBCA9-CEDE-435B-8935-5FC2571CC0B1}",
    "conform.InitializeConform {3A0514A2-B610-4829-A645-10FD00B3511A} "
    "{6127BDDD-4679-4CF9-B865-53D22E167763} 1 1 {A8E193A1-348B-4F83-93EB-79B7E44115FC} "
    "\"KV Conform\"",
    "factory.CreateInstance {4C95268F-71F6-4C52-B498-A640ABC75A12} null "
    "{7A149649-6E30-480A-9DE5-F503D41C6291}",
    "mapping.SetMapping \"EFF_AVX_Fernquill_Kinevista_$\" {F1076101-0DC6-4620-A861-227DBCAF3B30}",
    "conform.AddMapping mapping",
    "ACFRegisterComponent 2 -> 0x00000000",
};

// An outer object of the host that aggregates one of the plug-in's objects.
class Outer final : public IACFUnknown {
public:
    ACFRESULT QueryInterface(const ACFIID&, void** out) override {
        *out = nullptr;
        return ACF_E_NOINTERFACE;
    }
    uint32_t AddRef() override { return ++refs; }
    uint32_t Release() override { return --refs; }
    std::atomic<uint32_t> refs{1};
};

void* const Garbage = reinterpret_cast<void*>(0x1234);

struct RegistrationTest : ::testing::Test {
    HostState state;
    IACFUnknown* host = nullptr;
    void SetUp() override {
        ASSERT_TRUE(Plugin().Loaded());
        host = NewHostObject(state);
    }
    void TearDown() override {
        host->Release();
        EXPECT_EQ(state.liveObjects.load(), 0) << "host objects left referenced";
        EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK) << "plug-in objects left alive";
    }
    IACFClassFactory* Factory(const ACFCLSID& clsid) {
        void* f = Garbage;
        EXPECT_EQ(Plugin().getClassFactory(host, &clsid, &IID_IACFClassFactory, &f), ACF_OK);
        return static_cast<IACFClassFactory*>(f);
    }
};

}  // namespace

TEST_F(RegistrationTest, CatalogueMakesEveryDefinitionCallInOrder) {
    EXPECT_EQ(Catalogue(Plugin(), state), ACF_OK);
    EXPECT_EQ(state.Log(), ExpectedCatalogue);
}

TEST_F(RegistrationTest, RegistrationArgumentsAreChecked) {
    IACFUnknown* def = static_cast<IACFUnknown*>(Garbage);
    EXPECT_EQ(Plugin().registerPlugin(nullptr, &def), ACF_E_POINTER);
    EXPECT_EQ(Plugin().registerPlugin(host, nullptr), ACF_E_POINTER);
    EXPECT_EQ(Plugin().registerComponent(nullptr, 0, &def), ACF_E_POINTER);
    EXPECT_EQ(Plugin().registerComponent(host, 0, nullptr), ACF_E_POINTER);
    EXPECT_EQ(Plugin().registerComponent(host, 3, &def), ACF_E_INVALIDARG);
    EXPECT_EQ(state.Calls(), 0) << "a refused call must not reach the host";
    void* f = Garbage;
    EXPECT_EQ(Plugin().getClassFactory(nullptr, &CLSID_CKVConform, &IID_IACFClassFactory, &f),
              ACF_E_INVALIDARG);
    EXPECT_EQ(Plugin().getClassFactory(host, &CLSID_CKVConform, &IID_IACFClassFactory, nullptr),
              ACF_E_INVALIDARG);
    EXPECT_EQ(Plugin().canUnloadNow(nullptr), ACF_E_INVALIDARG);
}

TEST_F(RegistrationTest, RefusedConformDefinitionIsAcceptedAndHandsOutNothing) {
    state.refuseConform = true;
    IACFUnknown* def = static_cast<IACFUnknown*>(Garbage);
    EXPECT_EQ(Plugin().registerComponent(host, 2, &def), ACF_OK);
    EXPECT_EQ(def, Garbage) << "the conform branch leaves the out pointer as it was";
    def = static_cast<IACFUnknown*>(Garbage);
    EXPECT_EQ(Plugin().registerComponent(host, 1, &def), ACF_OK);
    ASSERT_NE(def, Garbage);
    def->Release();
}

TEST_F(RegistrationTest, ClassFactoryResults) {
    void* f = Garbage;
    const ACFCLSID unknown = IID_IAVXEffect;
    EXPECT_EQ(Plugin().getClassFactory(host, &unknown, &IID_IACFClassFactory, &f),
              ACF_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(f, nullptr);
    f = Garbage;
    EXPECT_EQ(Plugin().getClassFactory(host, &CLSID_CAVX2ModalUI_Effect, &IID_IAVXEffect, &f),
              ACF_E_NOINTERFACE);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK) << "the refused factory is gone again";

    IACFClassFactory* factory = Factory(CLSID_CAVX2ModalUI_Effect);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(Plugin().canUnloadNow(host), ACF_E_CANNOTUNLOAD);
    Outer outer;
    void* made = Garbage;
    EXPECT_EQ(factory->CreateInstance(host, &outer, IID_IAVXEffect, &made), ACF_E_NOAGGREGATION);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, nullptr, IID_IAVXEffect, &made), ACF_E_INVALIDARG);
    EXPECT_EQ(factory->CreateInstance(host, nullptr, IID_IAVXEffect, nullptr), ACF_E_INVALIDARG);
    made = Garbage;
    EXPECT_EQ(factory->CreateInstance(host, nullptr, IID_IAVXModalUI, &made), ACF_E_NOINTERFACE);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK);
}

TEST_F(RegistrationTest, QueriesOfEachComponent) {
    struct Case {
        ACFCLSID clsid;
        ACFIID iid;
        ACFIID other;
    };
    const Case cases[] = {{CLSID_CAVX2ModalUI_Effect, IID_IAVXEffect, IID_IAVXModalUI},
                          {CLSID_CAVX2ModalUI_ModalUI, IID_IAVXModalUI, IID_IAVXEffect},
                          {CLSID_CKVConform, IID_IAVXConformAVX1, IID_IACFClassFactory}};
    for (const Case& c : cases) {
        IACFClassFactory* factory = Factory(c.clsid);
        ASSERT_NE(factory, nullptr);
        void* object = nullptr;
        ASSERT_EQ(factory->CreateInstance(host, nullptr, c.iid, &object), ACF_OK);
        factory->Release();
        auto* iface = static_cast<IACFUnknown*>(object);

        // IACFUnknown yields the private unknown: one object, not the interface part.
        void* unknown1 = nullptr;
        void* unknown2 = nullptr;
        ASSERT_EQ(iface->QueryInterface(IID_IACFUnknown, &unknown1), ACF_OK);
        ASSERT_EQ(iface->QueryInterface(IID_IACFUnknown, &unknown2), ACF_OK);
        EXPECT_EQ(unknown1, unknown2);
        EXPECT_NE(unknown1, object);
        void* back = nullptr;
        ASSERT_EQ(static_cast<IACFUnknown*>(unknown1)->QueryInterface(c.iid, &back), ACF_OK);
        EXPECT_EQ(back, object);

        void* none = Garbage;
        EXPECT_EQ(iface->QueryInterface(c.other, &none), ACF_E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);

        EXPECT_EQ(Plugin().canUnloadNow(host), ACF_E_CANNOTUNLOAD);
        static_cast<IACFUnknown*>(back)->Release();
        static_cast<IACFUnknown*>(unknown2)->Release();
        static_cast<IACFUnknown*>(unknown1)->Release();
        EXPECT_EQ(iface->Release(), 0u);
        EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK);
    }
}

TEST_F(RegistrationTest, AggregatedEffectDelegatesToItsOuterObject) {
    IACFClassFactory* factory = Factory(CLSID_CAVX2ModalUI_Effect);
    ASSERT_NE(factory, nullptr);
    Outer outer;
    void* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(host, &outer, IID_IACFUnknown, &inner), ACF_OK);
    factory->Release();
    auto* innerUnknown = static_cast<IACFUnknown*>(inner);

    // The outer object asks the inner one for its interface; the interface's own reference
    // operations then belong to the outer object.
    void* effect = nullptr;
    ASSERT_EQ(innerUnknown->QueryInterface(IID_IAVXEffect, &effect), ACF_OK);
    EXPECT_EQ(outer.refs.load(), 2u);
    auto* e = static_cast<IAVXEffect*>(effect);
    e->AddRef();
    EXPECT_EQ(outer.refs.load(), 3u);
    e->Release();
    e->Release();
    EXPECT_EQ(outer.refs.load(), 1u);
    void* none = Garbage;
    EXPECT_EQ(e->QueryInterface(IID_IAVXEffect, &none), ACF_E_NOINTERFACE)
        << "queries through the interface go to the outer object";

    EXPECT_EQ(Plugin().canUnloadNow(host), ACF_E_CANNOTUNLOAD);
    EXPECT_EQ(innerUnknown->Release(), 0u);
    EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK);
}

TEST_F(RegistrationTest, ConformStoresTheLegacyBytesWhateverTheWriteSays) {
    IACFClassFactory* factory = Factory(CLSID_CKVConform);
    ASSERT_NE(factory, nullptr);
    void* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(host, nullptr, IID_IAVXConformAVX1, &object), ACF_OK);
    factory->Release();
    auto* conform = static_cast<IAVXConformAVX1*>(object);

    std::vector<uint8_t> legacy(333);
    for (size_t i = 0; i < legacy.size(); ++i) legacy[i] = static_cast<uint8_t>(i * 7);
    EffectSetup setup;
    setup.privateData.assign(4096, 0xEE);
    EffectAccess access = NewEffectAccess(state, setup, 0, 0);
    EXPECT_EQ(conform->Conform(0, access.access, 0, legacy.data(), 333), ACF_OK);
    EXPECT_EQ(ParameterValue(access.parameter), legacy);

    state.FailNamed("parameter.SetValue");
    EXPECT_EQ(conform->Conform(0, access.access, 0, legacy.data(), 10), ACF_OK);
    EXPECT_EQ(ParameterValue(access.parameter), legacy) << "the failed write changed nothing";
    state.FailNamed("access.GetParameter");
    EXPECT_EQ(conform->Conform(0, access.access, 0, legacy.data(), 10), InjectedFault);
    state.FailNamed("");
    EXPECT_EQ(conform->Conform(0, nullptr, 0, legacy.data(), 10), ACF_E_INVALIDARG);
    access.Release();
    conform->Release();
}

TEST_F(RegistrationTest, EveryFailingCatalogueCallEndsWithItsResultAndLeaksNothing) {
    HostState counting;
    ASSERT_EQ(Catalogue(Plugin(), counting), ACF_OK);
    const int64_t calls = counting.Calls();
    ASSERT_GT(calls, 20);
    for (int64_t n = 1; n <= calls; ++n) {
        HostState faulty;
        faulty.FailCall(n);
        const ACFRESULT r = Catalogue(Plugin(), faulty);
        const std::string failed = faulty.FailedCall();
        ASSERT_FALSE(failed.empty()) << n;
        // A refused conform definition is accepted; every other fault is reported.
        const bool conformRefused =
            r == ACF_OK && failed == "factory.CreateInstance" &&
            faulty.Log().back() == "ACFRegisterComponent 2 -> 0x00000000 (no definition)";
        EXPECT_TRUE(r == InjectedFault || conformRefused) << "call " << n << " " << failed;
        EXPECT_EQ(faulty.liveObjects.load(), 0) << "call " << n << " " << failed;
        EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK);
    }
}

TEST_F(RegistrationTest, HostExceptionsDuringRegistrationStopAtTheBoundary) {
    const char* calls[] = {"host.QueryInterface",           "plugin.DefineAttribute",
                           "effect.SetEffectValues",        "parameter.DefineAttribute",
                           "effect.AddParameterDefinition", "mapping.SetMapping"};
    for (const char* call : calls) {
        HostState throwing;
        throwing.ThrowNamed(call);
        EXPECT_EQ(Catalogue(Plugin(), throwing), ACF_E_UNEXPECTED) << call;
        EXPECT_EQ(throwing.FailedCall(), call);
        EXPECT_EQ(throwing.liveObjects.load(), 0) << call;
    }
}

TEST_F(RegistrationTest, ReferenceCountsHoldUnderManyThreads) {
    IACFClassFactory* factory = Factory(CLSID_CAVX2ModalUI_Effect);
    ASSERT_NE(factory, nullptr);
    void* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(host, nullptr, IID_IAVXEffect, &object), ACF_OK);
    auto* effect = static_cast<IAVXEffect*>(object);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                effect->AddRef();
                effect->Release();
                // Objects made and destroyed at the same time move the module lock count.
                void* other = nullptr;
                if (factory->CreateInstance(host, nullptr, IID_IAVXEffect, &other) == ACF_OK)
                    static_cast<IAVXEffect*>(other)->Release();
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(effect->Release(), 0u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK);
}
