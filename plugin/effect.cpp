// The effect inside the host: render contexts, the "PrivateData" change stamp, rendering at the
// host's size and field kind, and the hand-over of the pixels (row flip, or blend over the
// input by the rendered alpha).
#include <cstring>
#include <new>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/picture/cdib.h"
#include "core/picture/picture_reader.h"
#include "core/render/render_frame.h"
#include "core/render/show_loading.h"
#include "core/show/show.h"
#include "platform/host/acf_ids.h"
#include "plugin/components.h"
#include "plugin/render_context.h"

namespace kvplugin {

namespace {

// The plug-in never shows a message while rendering: its copy of the core reports picture
// errors to no one (the renderer's missing-picture output shows the problem instead).
class SilentAlerts final : public kv::AlertSink {
public:
    kv::Answer Show(kv::AlertKind, const std::string&, const std::string&) override {
        return kv::Answer::No;
    }
};
SilentAlerts g_silentAlerts;
struct InstallSilentAlerts {
    InstallSilentAlerts() { kv::SetAlertSink(&g_silentAlerts); }
} g_installSilentAlerts;

uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

RenderContext* MakeRenderContext() {
    // The settings file is read afresh for every new context into a store of the context's
    // making; a context keeps what it read, and the plug-in never writes the file.
    kv::Settings settings;
    settings.Load();
    kv::SetPictureMemoryLimit(settings.ReadInt("PictureMemoryLimit", 0));
    auto* context = new (std::nothrow) RenderContext(settings);
    if (!context) return nullptr;
    context->show.length = kv::DefaultShowLength;
    // The host's frames take the shape of "AspectMode", not one a show file keeps.
    context->show.hostMode = true;
    return context;
}

bool RefreshShow(RenderContext& context, const uint8_t* block) {
    const uint16_t magic = Read16(block);
    const uint16_t stamp = Read16(block + 2);
    kv::Show& show = context.show;
    const bool lengthDiffers =
        static_cast<int32_t>(show.pictures[0].keys[0].showLength) != show.length;
    if (stamp == context.lastStamp && !lengthDiffers) return false;
    // Anything that is not a show leaves the current show as it is.
    if (magic != kv::ShowMagic && magic != 0x3412) return false;
    // The plug-in has no start-up of its own: the first show it reads installs the steps.
    static const bool stepsInstalled = (kv::SetShowLoadSteps(kv::RenderingShowLoadSteps()), true);
    (void)stepsInstalled;
    show.Reset();
    kv::Parse(show, block, acf::PrivateDataSize, false);
    context.lastStamp = stamp;
    return true;
}

void BlendOver(const uint8_t* rendered, const uint8_t* input, uint8_t* out, int32_t pixels) {
    for (int32_t i = 0; i < pixels; ++i, rendered += 4, input += 4, out += 4) {
        const float a = rendered[3] / 255.0f;
        for (int c = 0; c < 3; ++c)
            out[c] =
                static_cast<uint8_t>(static_cast<int>(input[c] * (1.0f - a) + rendered[c] * a));
        out[3] = 128;
    }
}

ACFRESULT CAVX2ModalUI_Effect::CreateRenderContext(uint64_t, void** context) {
    return Guarded([&] {
        if (!context) return ACF_E_INVALIDARG;
        *context = MakeRenderContext();
        return ACF_OK;
    });
}

ACFRESULT CAVX2ModalUI_Effect::DestroyRenderContext(uint64_t, void* context) {
    return Guarded([&] {
        delete static_cast<RenderContext*>(context);
        return ACF_OK;
    });
}

ACFRESULT CAVX2ModalUI_Effect::RenderFrame(IAVXEffectAccess* access, void* contextPtr, uint64_t,
                                           IAVXTime* time, uint64_t, IAVXFieldType* fieldType,
                                           IAVXOutputAccess* output) {
    return Guarded([&]() -> ACFRESULT {
        auto* context = static_cast<RenderContext*>(contextPtr);
        if (!access || !context || !time || !fieldType || !output) return ACF_E_INVALIDARG;

        Ref<IAVXFrame> frame;
        KV_TRY(output->GetOutputFrame(0, IID_IAVXOutputFrame, IID_IAVXOutputFrame2, frame.Out()));
        if (!frame) return ACF_E_UNEXPECTED;

        Ref<IAVXParameter> parameter;
        KV_TRY(access->GetParameter(UID_PrivateDataParam, IID_IAVXParameter, parameter.OutVoid()));
        if (!parameter) return ACF_E_UNEXPECTED;
        uint8_t block[PrivateDataSize];
        KV_TRY(parameter->GetValue(TYPE_OpaqueBytes, block, sizeof block));
        RefreshShow(*context, block);

        int32_t position = 0, kind = 0, fieldOrder = 0;
        KV_TRY(time->GetFramePosition(&position));
        KV_TRY(fieldType->GetFieldKind(&kind));
        KV_TRY(frame->GetFieldOrder(&fieldOrder));
        const int32_t fieldMode = (kind >= 1 && kind <= 3) ? kind : 0;
        if (kind == 0) fieldOrder = 0;

        int32_t width = 0, height = 0;
        void* pixels = nullptr;
        KV_TRY(frame->GetWidth(&width));
        KV_TRY(frame->GetHeight(&height));
        KV_TRY(frame->GetPixels(&pixels));
        if (!pixels || width < 1 || height < 1 || width > kv::MaxOutputSide ||
            height > kv::MaxOutputSide)
            return ACF_OK;  // nothing that can be drawn into: the output stays as it is

        // A frame image that cannot be made, or a render that fails, leaves the output as the
        // host handed it.
        kv::CDIB& image = context->frame;
        if (!image.Create(width, height, 32)) return ACF_OK;
        if (!kv::RenderFrame(context->show, position, fieldMode, fieldOrder != 2, width, height,
                             &image, false))
            return ACF_OK;

        const size_t rowBytes = static_cast<size_t>(width) * 4;
        auto* out = static_cast<uint8_t*>(pixels);
        if (context->ignoreAlpha) {
            for (int32_t r = 0; r < height; ++r)
                std::memcpy(out + rowBytes * r, image.Row(height - 1 - r), rowBytes);
            return ACF_OK;
        }

        int64_t inputKey = 0;
        KV_TRY(frame->GetInputKey(&inputKey));
        Ref<IAVXInputAccess> input;
        KV_TRY(
            access->GetInputAccess(0, IID_IAVXInputAccess, IID_IAVXInputAccess2, input.OutVoid()));
        if (!input) return ACF_E_UNEXPECTED;
        Ref<IAVXFrame> inputFrame;
        KV_TRY(input->GetInputFrame(position, kind, inputKey, inputFrame.Out()));
        if (!inputFrame) return ACF_E_UNEXPECTED;
        void* inputPixels = nullptr;
        KV_TRY(inputFrame->GetPixels(&inputPixels));
        if (!inputPixels) return ACF_E_UNEXPECTED;
        const auto* in = static_cast<const uint8_t*>(inputPixels);
        for (int32_t r = 0; r < height; ++r)
            BlendOver(image.Row(height - 1 - r), in + rowBytes * r, out + rowBytes * r, width);
        return ACF_OK;
    });
}

}  // namespace kvplugin
