// kinevista-cli render: one frame of a show through RenderFrame, written as a 32-bit Targa
// (bottom-up, 8 alpha bits) or BMP picture.
#include <cstdio>
#include <string>

#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/show/show.h"
#ifdef KV_HAVE_OUTPUT
#include "output/output_frame.h"
#endif
#include "tools/cli/cli.h"

namespace {

bool EndsWith(const std::string& text, const char* tail) {
    const std::string t(tail);
    if (text.size() < t.size()) return false;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = text[text.size() - t.size() + i];
        if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != t[i]) return false;
    }
    return true;
}

int RunRender(kvcli::Context& ctx) {
    const auto frameText = ctx.TakeValue("--frame");
    const auto sizeText = ctx.TakeValue("--size");
    const auto modeText = ctx.TakeValue("--field-mode");
    const auto flagText = ctx.TakeValue("--field-order-flag");
    const auto out = ctx.TakeValue("--out");
    const bool fill = ctx.TakeFlag("--fill");
    if (!ctx.TakeAspect()) return kvcli::ExitUsage;
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return kvcli::ExitUsage;
    if (pos.size() != 1) return ctx.Usage("wants one SHOW.kvx");
    if (!frameText || !sizeText || !out)
        return ctx.Usage("wants --frame N --size WxH --out FILE.tga|FILE.bmp");
    int32_t frame = 0, width = 0, height = 0, mode = 0, flag = 1;
    if (!kvcli::ParseInt(*frameText, frame)) return ctx.Usage("--frame wants a frame number");
    if (!kvcli::ParseSize(*sizeText, width, height)) return ctx.Usage("--size wants WxH");
    if (modeText && (!kvcli::ParseInt(*modeText, mode) || mode < 0 || mode > 3))
        return ctx.Usage("--field-mode wants 0, 1, 2 or 3");
    if (flagText && (!kvcli::ParseInt(*flagText, flag) || flag < 0 || flag > 1))
        return ctx.Usage("--field-order-flag wants 0 or 1");
    int32_t format = kv::FormatBmp;
    if (EndsWith(*out, ".tga"))
        format = kv::FormatTarga;
    else if (!EndsWith(*out, ".bmp"))
        return ctx.Usage("--out wants a .tga or .bmp file");
    if (!ctx.PathFits(pos[0], "SHOW") || !ctx.PathFits(*out, "--out")) return kvcli::ExitUsage;

    kv::Show show(ctx.Store());
    ctx.PrepareShow(show);
    if (!ctx.LoadShow(show, pos[0], true)) return kvcli::ExitFailure;
    // The frame image exists only for a valid size; RenderFrame judges the size itself.
    kv::CDIB image(1, 1, 32);
    if (width >= 1 && width <= kv::MaxOutputSide && height >= 1 && height <= kv::MaxOutputSide)
        image.Create(width, height, 32);
#ifdef KV_HAVE_OUTPUT
    // Drawn as a movie frame of this size would be: never stretched to a size of another shape.
    const kv::OutputFrame described = kv::DescribeOutputFrame(
        show, width, height, mode == 3 ? 3 : 0, static_cast<float>(show.FrameRate) / 100.0f, fill);
    if (described.Matted())
        std::fprintf(stderr, "kinevista-cli: note: %s (--fill fills the frame instead)\n",
                     kv::MattedFrameNotice(described).c_str());
    kv::CDIB inner(0, 0, 32);
    if (!kv::RenderOutputFrame(show, &kv::RenderFrame, described, frame, mode, flag != 0, &image,
                               inner, false))
#else
    if (fill || !kv::RenderFrame(show, frame, mode, flag != 0, width, height, &image, false))
#endif
        return ctx.Fail("frame " + std::to_string(frame) + " could not be rendered at " +
                        std::to_string(width) + "x" + std::to_string(height));
    std::string error;
    if (!kvcli::SavePicture(image, *out, format, error)) return ctx.FailWrite(*out, error);
    return kvcli::ExitSuccess;
}

const kvcli::CommandRegistrar reg(
    {"render",
     "render SHOW.kvx --frame N --size WxH [--field-mode M] "
     "[--field-order-flag 0|1] [--fill] [--aspect W:H] --out FILE.tga|FILE.bmp",
     "render one frame (32 bits) as a Targa or BMP picture", RunRender});

}  // namespace
