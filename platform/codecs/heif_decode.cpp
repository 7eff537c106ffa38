// HEIC and AVIF decoding over libheif: the primary image, as interleaved 8-bit RGB or RGBA.
//
// The size the file claims is checked against the target before anything is decoded, and
// libheif's largest-side limit is then narrowed to what the primary image claims, so that a grid
// of a few bytes cannot make libheif assemble a picture far larger than the one it describes.
// libheif decodes into its own image; our picture is sized from that image (never from the
// size box alone) and filled row by row.
#include <libheif/heif.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "platform/codecs/more_codecs.h"

namespace kv {

namespace {

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

void ReadProfile(const heif_image_handle* handle, PictureMetadata& m) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return;
    const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0 || size > (16u << 20)) return;
    m.iccProfile.resize(size);
    if (heif_image_handle_get_raw_color_profile(handle, m.iccProfile.data()).code != heif_error_Ok)
        m.iccProfile.clear();
}

}  // namespace

int HeifSideLimit(int claimedSide, int maxSide) {
    return std::min(std::max(claimedSide, 4096) + 128, maxSide);
}

DecodeStatus DecodeHeif(const char* path, PixelTarget& target, const DecodeLimits& limits,
                        bool applyTransforms, PictureMetadata* metadata) {
    if (metadata) *metadata = PictureMetadata{};
    if (!path || !*path) return DecodeStatus::NotDecodable;
    std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
    if (!ctx) return DecodeStatus::NotDecodable;
    heif_context_set_maximum_image_size_limit(ctx.get(), limits.maxSide);
    const heif_error read = heif_context_read_from_file(ctx.get(), path, nullptr);
    if (read.code != heif_error_Ok) {
        // Beyond libheif's size limit: the target names the refusal (too large).
        if (read.subcode == heif_suberror_Security_limit_exceeded) {
            target.Allows(INT_MAX, INT_MAX, 3);
            return DecodeStatus::Stopped;
        }
        return DecodeStatus::NotDecodable;
    }
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(ctx.get(), &rawHandle).code != heif_error_Ok)
        return DecodeStatus::NotDecodable;
    std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);
    if (metadata) ReadProfile(handle.get(), *metadata);

    // The size as stored, and as shown (turned, or cut by a crop): the target is asked before
    // anything is decoded.
    const int storedW = heif_image_handle_get_ispe_width(handle.get());
    const int storedH = heif_image_handle_get_ispe_height(handle.get());
    const int shownW = heif_image_handle_get_width(handle.get());
    const int shownH = heif_image_handle_get_height(handle.get());
    if (storedW <= 0 || storedH <= 0 || shownW <= 0 || shownH <= 0)
        return DecodeStatus::NotDecodable;
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const int channels = alpha ? 4 : 3;
    if (!target.Allows(std::max(storedW, shownW), std::max(storedH, shownH), channels))
        return DecodeStatus::Stopped;
    // libheif checks a grid's own size against this limit only when it assembles the grid; the
    // size box is all the file says of the picture, so the grid may exceed it by a margin.
    heif_context_set_maximum_image_size_limit(
        ctx.get(), HeifSideLimit(std::max({storedW, storedH, shownW, shownH}), limits.maxSide));

    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options) return DecodeStatus::NotDecodable;
    options->ignore_transformations = applyTransforms ? 0 : 1;
    heif_image* rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          options.get())
            .code != heif_error_Ok)
        return DecodeStatus::Failed;
    std::unique_ptr<heif_image, ImageFree> image(rawImage);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!plane || w <= 0 || h <= 0 || stride < w * channels) return DecodeStatus::Failed;
    // The decoded image shows what the file holds: a size box rewritten to claim more than the
    // coded picture does not size the picture.
    if (!target.Begin(w, h, channels)) return DecodeStatus::Stopped;
    for (int y = 0; y < h; ++y) {
        uint8_t* dst = target.Row(y);
        if (!dst) return DecodeStatus::Failed;
        const uint8_t* src = plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
        for (int x = 0; x < w; ++x, src += channels, dst += channels) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            if (alpha) dst[3] = src[3];
        }
    }
    return DecodeStatus::Ok;
}

}  // namespace kv
