// The effect inside the host: frames equal to the core's own render in the host's row order,
// the alpha blend over the input, the change stamp, failing host calls, and several contexts
// rendering from several threads.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "core/document/show_file.h"
#include "platform/host/acf_ids.h"
#include "tests/plugin/plugin_test_support.h"
#include "tests/test_support.h"

using namespace acf;
using namespace kvhost;
using kvptest::Plugin;

namespace {

constexpr int32_t W = 96;
constexpr int32_t H = 64;

// One effect instance with a render context, rendered frame by frame as a host does.
struct Instance {
    HostState& state;
    IACFUnknown* host = nullptr;
    IAVXEffect* effect = nullptr;
    void* context = nullptr;
    EffectAccess access;

    Instance(HostState& s, const std::vector<uint8_t>& privateData,
             const std::vector<uint8_t>& input = {})
        : state(s) {
        host = NewHostObject(state);
        void* object = nullptr;
        EXPECT_EQ(
            CreateComponent(Plugin(), host, CLSID_CAVX2ModalUI_Effect, IID_IAVXEffect, &object),
            ACF_OK);
        effect = static_cast<IAVXEffect*>(object);
        EXPECT_EQ(effect->CreateRenderContext(0, &context), ACF_OK);
        EXPECT_NE(context, nullptr);
        EffectSetup setup;
        setup.privateData = privateData;
        setup.inputPixels = input;
        access = NewEffectAccess(state, setup, W, H);
    }
    ~Instance() {
        EXPECT_EQ(effect->DestroyRenderContext(0, context), ACF_OK);
        access.Release();
        effect->Release();
        host->Release();
    }
    ACFRESULT Render(int32_t frame, std::vector<uint8_t>* pixels, int32_t kind = 0,
                     int32_t order = 0, const std::vector<uint8_t>& start = {}) {
        FrameSpec shape;
        shape.width = W;
        shape.height = H;
        shape.fieldOrder = order;
        shape.pixels = start;
        OutputSetup output = NewOutputAccess(state, shape);
        IAVXTime* time = NewTime(state, frame);
        IAVXFieldType* field = NewFieldType(state, kind);
        const ACFRESULT r =
            effect->RenderFrame(access.access, context, 0, time, 0, field, output.output);
        *pixels = *output.pixels;
        field->Release();
        time->Release();
        output.output->Release();
        return r;
    }
    void SetPrivateData(const std::vector<uint8_t>& block) {
        AsInterface(access.parameter)->SetValue(TYPE_OpaqueBytes, block.data(), 4096);
    }
};

struct EffectTest : ::testing::Test {
    HostState state;
    std::string dir;
    std::string picture;
    std::vector<uint8_t> show;
    void SetUp() override {
        ASSERT_TRUE(Plugin().Loaded());
        kvptest::WriteSettings({});
        dir = kvtest::TempDir("effect");
        picture = kvptest::MakePicture(dir, 120, 90, 24, 255);
        show = kvptest::MakeShowBlock(picture, {{60, 45, 100, 0}, {40, 30, 50, 60}});
    }
    void TearDown() override {
        EXPECT_EQ(state.liveObjects.load(), 0) << "host objects left referenced";
        IACFUnknown* host = NewHostObject(state);
        EXPECT_EQ(Plugin().canUnloadNow(host), ACF_OK);
        host->Release();
    }
};

std::vector<uint8_t> Blend(const std::vector<uint8_t>& rendered,
                           const std::vector<uint8_t>& input) {
    std::vector<uint8_t> out(rendered.size());
    for (size_t i = 0; i < rendered.size(); i += 4) {
        const float a = rendered[i + 3] / 255.0f;
        for (int c = 0; c < 3; ++c)
            out[i + c] = static_cast<uint8_t>(
                static_cast<int>(input[i + c] * (1.0f - a) + rendered[i + c] * a));
        out[i + 3] = 128;
    }
    return out;
}

}  // namespace

TEST_F(EffectTest, FramesEqualTheCoreRenderTopRowFirst) {
    Instance instance(state, show);
    std::vector<uint8_t> pixels;
    // Progressive frames ignore the field order; field kinds 1..3 pass it on, 2 meaning the
    // other order.
    struct Case {
        int32_t frame, kind, order, mode;
        bool flag;
    } cases[] = {{0, 0, 2, 0, true},   {30, 0, 0, 0, true},  {45, 1, 0, 1, true},
                 {45, 2, 2, 2, false}, {59, 3, 2, 3, false}, {20, 7, 2, 0, false}};
    for (const Case& c : cases) {
        ASSERT_EQ(instance.Render(c.frame, &pixels, c.kind, c.order), ACF_OK);
        EXPECT_EQ(pixels, kvptest::DirectRender(show, c.frame, c.mode, c.flag, W, H))
            << "frame " << c.frame << " kind " << c.kind << " order " << c.order;
    }
    // The rows really are flipped: a vertical gradient picture is not symmetric.
    const auto direct = kvptest::DirectRender(show, 30, 0, true, W, H);
    ASSERT_EQ(instance.Render(30, &pixels), ACF_OK);
    EXPECT_NE(std::vector<uint8_t>(pixels.begin(), pixels.begin() + W * 4),
              std::vector<uint8_t>(pixels.end() - W * 4, pixels.end()));
}

TEST_F(EffectTest, TransparentPictureShowsTheInputUnderAlpha128) {
    kvptest::WriteSettings({"IgnoreAlpha=0"});
    const std::string clear = kvptest::MakePicture(dir, 120, 90, 32, 0);
    const auto clearShow = kvptest::MakeShowBlock(clear, {{60, 45, 100, 0}, {40, 30, 50, 60}});
    std::vector<uint8_t> input(static_cast<size_t>(W) * H * 4);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 13 + 5);

    Instance instance(state, clearShow, input);
    std::vector<uint8_t> pixels;
    ASSERT_EQ(instance.Render(10, &pixels), ACF_OK);
    const auto rendered = kvptest::DirectRender(clearShow, 10, 0, true, W, H);
    EXPECT_EQ(pixels, Blend(rendered, input));
    size_t inputShown = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        EXPECT_EQ(pixels[i + 3], 128);
        if (rendered[i + 3] == 0 && pixels[i] == input[i] && pixels[i + 1] == input[i + 1] &&
            pixels[i + 2] == input[i + 2])
            ++inputShown;
    }
    EXPECT_GT(inputShown, pixels.size() / 8) << "fully transparent pixels show the input";

    // An opaque picture under the same setting covers the input.
    Instance opaque(state, show, input);
    ASSERT_EQ(opaque.Render(10, &pixels), ACF_OK);
    EXPECT_EQ(pixels, Blend(kvptest::DirectRender(show, 10, 0, true, W, H), input));
    kvptest::WriteSettings({});
}

TEST_F(EffectTest, SettingsAreReadWhenTheContextIsMade) {
    kvptest::WriteSettings({"IgnoreAlpha=0"});
    std::vector<uint8_t> input(static_cast<size_t>(W) * H * 4, 77);
    Instance instance(state, show, input);
    kvptest::WriteSettings({});  // too late for this context
    std::vector<uint8_t> pixels;
    ASSERT_EQ(instance.Render(5, &pixels), ACF_OK);
    EXPECT_EQ(pixels[3], 128);
    Instance later(state, show, input);
    ASSERT_EQ(later.Render(5, &pixels), ACF_OK);
    EXPECT_NE(pixels[3], 128);
}

TEST_F(EffectTest, ShowIsReloadedOnlyWhenTheStampChanges) {
    kvptest::SetStamp(show, 1111);
    auto moved = kvptest::MakeShowBlock(picture, {{20, 20, 30, 0}, {100, 70, 40, 60}});
    kvptest::SetStamp(moved, 1111);
    Instance instance(state, show);
    std::vector<uint8_t> first, pixels;
    ASSERT_EQ(instance.Render(12, &first), ACF_OK);
    EXPECT_EQ(first, kvptest::DirectRender(show, 12, 0, true, W, H));

    instance.SetPrivateData(moved);  // other keys, same stamp: the cached show stays
    ASSERT_EQ(instance.Render(12, &pixels), ACF_OK);
    EXPECT_EQ(pixels, first);

    kvptest::SetStamp(moved, 2222);
    instance.SetPrivateData(moved);
    ASSERT_EQ(instance.Render(12, &pixels), ACF_OK);
    EXPECT_EQ(pixels, kvptest::DirectRender(moved, 12, 0, true, W, H));
    EXPECT_NE(pixels, first);

    // Bytes that are not a show leave the loaded show in place.
    std::vector<uint8_t> junk(4096, 0xAB);
    instance.SetPrivateData(junk);
    ASSERT_EQ(instance.Render(12, &pixels), ACF_OK);
    EXPECT_EQ(pixels, kvptest::DirectRender(moved, 12, 0, true, W, H));
}

TEST_F(EffectTest, BlockOfTheOtherByteOrderIsNotReloadedEveryFrame) {
    // The stamp is compared as the block stores it, so a block written on a machine of the
    // other byte order keeps its loaded show between frames like any other.
    auto swap = [](std::vector<uint8_t> block) {
        uint32_t size = 0;
        std::memcpy(&size, block.data() + 4, 4);
        EXPECT_TRUE(kv::SwapShowByteOrder(block.data(), size));
        return block;
    };
    kvptest::SetStamp(show, 0x0102);
    auto moved = kvptest::MakeShowBlock(picture, {{20, 20, 30, 0}, {100, 70, 40, 60}});
    kvptest::SetStamp(moved, 0x0102);
    const auto swapped = swap(show);
    ASSERT_EQ(swapped[0], 0x12);
    Instance instance(state, swapped);
    std::vector<uint8_t> first, pixels;
    ASSERT_EQ(instance.Render(12, &first), ACF_OK);
    EXPECT_EQ(first, kvptest::DirectRender(show, 12, 0, true, W, H));
    instance.SetPrivateData(swap(moved));
    ASSERT_EQ(instance.Render(12, &pixels), ACF_OK);
    EXPECT_EQ(pixels, first);
}

TEST_F(EffectTest, EmptyPrivateDataRendersTheEmptyShow) {
    Instance instance(state, std::vector<uint8_t>(4096, 0));
    std::vector<uint8_t> a, b;
    EXPECT_EQ(instance.Render(0, &a), ACF_OK);
    EXPECT_EQ(instance.Render(1, &b), ACF_OK);
    EXPECT_EQ(a.size(), static_cast<size_t>(W) * H * 4);
}

TEST_F(EffectTest, BadArgumentsAreRefused) {
    Instance instance(state, show);
    FrameSpec frame;
    frame.width = W;
    frame.height = H;
    OutputSetup output = NewOutputAccess(state, frame);
    IAVXTime* time = NewTime(state, 0);
    IAVXFieldType* field = NewFieldType(state, 0);
    EXPECT_EQ(instance.effect->RenderFrame(instance.access.access, nullptr, 0, time, 0, field,
                                           output.output),
              ACF_E_INVALIDARG);
    EXPECT_EQ(
        instance.effect->RenderFrame(nullptr, instance.context, 0, time, 0, field, output.output),
        ACF_E_INVALIDARG);
    EXPECT_EQ(instance.effect->CreateRenderContext(0, nullptr), ACF_E_INVALIDARG);
    field->Release();
    time->Release();
    output.output->Release();
}

TEST_F(EffectTest, EveryFailingHostCallEndsTheFrameWithItsResult) {
    kvptest::WriteSettings({"IgnoreAlpha=0"});  // the blend path makes the most host calls
    std::vector<uint8_t> input(static_cast<size_t>(W) * H * 4, 40);
    const std::vector<uint8_t> untouched(static_cast<size_t>(W) * H * 4, 9);
    std::vector<uint8_t> pixels;
    int64_t calls = 0;
    {
        Instance counting(state, show, input);
        const int64_t before = state.Calls();
        ASSERT_EQ(counting.Render(3, &pixels, 0, 0, untouched), ACF_OK);
        calls = state.Calls() - before;
    }
    ASSERT_GE(calls, 13);
    for (int64_t n = 1; n <= calls; ++n) {
        Instance instance(state, show, input);
        state.FailCall(n);
        const ACFRESULT r = instance.Render(3, &pixels, 0, 0, untouched);
        state.FailCall(0);
        EXPECT_EQ(r, InjectedFault) << "call " << n << " " << state.FailedCall();
        EXPECT_EQ(pixels, untouched) << "call " << n << " " << state.FailedCall();
    }
    kvptest::WriteSettings({});
}

TEST_F(EffectTest, HostExceptionsStopAtTheBoundary) {
    kvptest::WriteSettings({"IgnoreAlpha=0"});
    std::vector<uint8_t> input(static_cast<size_t>(W) * H * 4, 40);
    const std::vector<uint8_t> untouched(static_cast<size_t>(W) * H * 4, 9);
    const char* calls[] = {
        "output.GetOutputFrame",   "access.GetParameter",    "parameter.GetValue",
        "time.GetFramePosition",   "fieldType.GetFieldKind", "outputFrame.GetFieldOrder",
        "outputFrame.GetWidth",    "outputFrame.GetHeight",  "outputFrame.GetPixels",
        "outputFrame.GetInputKey", "access.GetInputAccess",  "input.GetInputFrame",
        "inputFrame.GetPixels"};
    std::vector<uint8_t> pixels;
    for (const char* call : calls) {
        Instance instance(state, show, input);
        state.ThrowNamed(call);
        const ACFRESULT r = instance.Render(3, &pixels, 0, 0, untouched);
        EXPECT_EQ(state.FailedCall(), call);
        state.ThrowNamed("");
        EXPECT_EQ(r, ACF_E_UNEXPECTED) << call;
        EXPECT_EQ(pixels, untouched) << call;
    }
    kvptest::WriteSettings({});
}

TEST_F(EffectTest, SeveralContextsRenderFromSeveralThreads) {
    const auto other = kvptest::MakeShowBlock(picture, {{30, 60, 40, 0}, {90, 20, 80, 50}});
    const std::vector<uint8_t>* blocks[2] = {&show, &other};
    std::vector<uint8_t> expected[2][4];
    for (int b = 0; b < 2; ++b)
        for (int f = 0; f < 4; ++f)
            expected[b][f] = kvptest::DirectRender(*blocks[b], f * 15, 0, true, W, H);

    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            Instance instance(state, *blocks[t % 2]);
            std::vector<uint8_t> pixels;
            for (int round = 0; round < 3; ++round) {
                for (int f = 0; f < 4; ++f) {
                    if (instance.Render(f * 15, &pixels) != ACF_OK || pixels != expected[t % 2][f])
                        ++mismatches;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}
