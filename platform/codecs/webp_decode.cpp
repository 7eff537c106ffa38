// WebP decoding over libwebp: still pictures, lossy or lossless, with or without alpha; an
// animation gives its first frame's bitstream as stored.
//
// The size is read from the header and the target asked before anything is decoded. When the
// target's rows lie evenly spaced, libwebp decodes straight into them; otherwise it decodes into
// its own buffer, copied row by row.
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/codecs/codec_file.h"
#include "platform/codecs/more_codecs.h"

namespace kv {

namespace {

// The RIFF chunk is read into memory: the length its header declares, or up to the end of the
// file when the file is shorter. Whatever follows the chunk is never read, and a chunk longer
// than the largest allocation allowed is refused before any of it is read.
bool ReadRiffChunk(const char* path, std::size_t maxBytes, std::vector<uint8_t>& out) {
    std::FILE* f = OpenCodecFile(path);
    if (!f) return false;
    uint8_t head[12] = {};
    bool ok = std::fread(head, 1, sizeof head, f) == sizeof head &&
              std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
    const uint64_t declared = 8 + (uint64_t{head[4]} | uint64_t{head[5]} << 8 |
                                   uint64_t{head[6]} << 16 | uint64_t{head[7]} << 24);
    ok = ok && declared <= maxBytes && std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = ok && size > 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out.resize(static_cast<std::size_t>(std::min<uint64_t>(declared, uint64_t(size))));
        ok = std::fread(out.data(), 1, out.size(), f) == out.size();
    }
    std::fclose(f);
    return ok;
}

constexpr int64_t ProbePixels = 16 << 20;

// Decodes the whole picture scaled to at most 64 x 64 pixels; false when it does not decode.
bool Probe(const std::vector<uint8_t>& file) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    if (WebPGetFeatures(file.data(), file.size(), &config.input) != VP8_STATUS_OK) return false;
    config.options.use_scaling = 1;
    config.options.scaled_width = std::min(64, config.input.width);
    config.options.scaled_height = std::min(64, config.input.height);
    config.output.colorspace = MODE_BGRA;
    const bool ok = WebPDecode(file.data(), file.size(), &config) == VP8_STATUS_OK;
    WebPFreeDecBuffer(&config.output);
    return ok;
}

void ReadProfile(const std::vector<uint8_t>& file, PictureMetadata& m) {
    WebPData data{file.data(), file.size()};
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux) return;
    if (WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) {
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
            m.iccProfile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }
    WebPDemuxDelete(demux);
}

}  // namespace

DecodeStatus DecodeWebp(const char* path, PixelTarget& target, const DecodeLimits& limits,
                        PictureMetadata* metadata) {
    if (metadata) *metadata = PictureMetadata{};
    if (!path || !*path) return DecodeStatus::NotDecodable;
    std::vector<uint8_t> file;
    if (!ReadRiffChunk(path, limits.maxAllocation, file)) return DecodeStatus::NotDecodable;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return DecodeStatus::NotDecodable;
    if (WebPGetFeatures(file.data(), file.size(), &config.input) != VP8_STATUS_OK)
        return DecodeStatus::NotDecodable;
    if (metadata) ReadProfile(file, *metadata);
    const int w = config.input.width, h = config.input.height;
    if (w <= 0 || h <= 0) return DecodeStatus::NotDecodable;
    const bool alpha = config.input.has_alpha != 0;
    const int channels = alpha ? 4 : 3;
    if (!target.Allows(w, h, channels)) return DecodeStatus::Stopped;
    // A few bytes can claim 16383 x 16383 pixels. Above ProbePixels the whole bitstream is first
    // decoded at a small scale, so that a broken or cut file is refused before the picture's
    // rows are allocated.
    if (static_cast<int64_t>(w) * h > ProbePixels && !Probe(file)) return DecodeStatus::Failed;
    if (!target.Begin(w, h, channels)) return DecodeStatus::Stopped;

    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    const std::ptrdiff_t step = target.RowStep();
    uint8_t* top = target.Row(0);
    uint8_t* bottom = target.Row(h - 1);
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(w) * channels;
    const bool direct =
        top && bottom && (step >= rowBytes || step <= -rowBytes) && bottom == top + step * (h - 1);
    if (direct) {
        // libwebp takes a negative stride for rows stored bottom-up.
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = top;
        config.output.u.RGBA.stride = static_cast<int>(step);
        config.output.u.RGBA.size =
            static_cast<std::size_t>(step < 0 ? -step : step) * static_cast<std::size_t>(h - 1) +
            static_cast<std::size_t>(rowBytes);
    }
    const VP8StatusCode code = WebPDecode(file.data(), file.size(), &config);
    if (code != VP8_STATUS_OK) {
        WebPFreeDecBuffer(&config.output);
        return DecodeStatus::Failed;
    }
    DecodeStatus status = DecodeStatus::Ok;
    if (!direct) {
        const uint8_t* src = config.output.u.RGBA.rgba;
        const int stride = config.output.u.RGBA.stride;
        for (int y = 0; y < h; ++y) {
            uint8_t* dst = target.Row(y);
            if (!dst) {
                status = DecodeStatus::Failed;
                break;
            }
            std::memcpy(dst, src + static_cast<std::ptrdiff_t>(y) * stride,
                        static_cast<std::size_t>(rowBytes));
        }
    }
    WebPFreeDecBuffer(&config.output);
    return status;
}

}  // namespace kv
