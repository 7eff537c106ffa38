// The parts of more_codecs.h that need no outside library: the JPEG metadata reader, the EXIF
// orientation, and the stand-ins used when the build has no libtiff, libheif, libwebp or lcms2.
#include "platform/codecs/more_codecs.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/codecs/codec_file.h"

#ifdef KV_HAVE_MORE_CODECS
#include <zlib.h>
#endif

namespace kv {

namespace {

uint32_t Get(const uint8_t* p, int bytes, bool big) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const int k = big ? i : bytes - 1 - i;
        v = (v << 8) | p[k];
    }
    return v;
}

// A marker segment's payload is at most 65533 bytes.
constexpr std::size_t MaxSegment = 65535;
// ICC profiles larger than this are split over more APP2 segments than a real file carries.
constexpr std::size_t MaxProfile = 16u << 20;

// Collects the "ICC_PROFILE" chunks of APP2 segments: each carries its sequence number (from 1)
// and the chunk count; the profile is the chunks in order, and only a complete set counts.
struct IccChunks {
    std::vector<std::vector<uint8_t>> parts;
    int count = 0;
    bool broken = false;

    void Add(const uint8_t* p, std::size_t n) {
        if (n < 14) return;
        const int seq = p[12], total = p[13];
        if (total == 0 || seq == 0 || seq > total || (count && total != count)) {
            broken = true;
            return;
        }
        if (!count) {
            count = total;
            parts.assign(static_cast<std::size_t>(total), {});
        }
        parts[static_cast<std::size_t>(seq - 1)].assign(p + 14, p + n);
    }
    std::vector<uint8_t> Profile() const {
        std::vector<uint8_t> out;
        if (broken || !count) return out;
        for (const auto& part : parts) {
            if (part.empty() || out.size() + part.size() > MaxProfile) return {};
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    }
};

}  // namespace

int ExifOrientation(const uint8_t* tiff, std::size_t size) {
    if (!tiff || size < 8) return 1;
    bool big;
    if (tiff[0] == 'I' && tiff[1] == 'I') {
        big = false;
    } else if (tiff[0] == 'M' && tiff[1] == 'M') {
        big = true;
    } else {
        return 1;
    }
    if (Get(tiff + 2, 2, big) != 42) return 1;
    const uint32_t dir = Get(tiff + 4, 4, big);
    if (dir > size || size - dir < 2) return 1;
    const uint32_t entries = Get(tiff + dir, 2, big);
    for (uint32_t i = 0; i < entries; ++i) {
        const std::size_t at = dir + 2 + 12 * static_cast<std::size_t>(i);
        if (at + 12 > size) break;
        if (Get(tiff + at, 2, big) != 0x0112) continue;
        // A SHORT, one value, held in the entry.
        if (Get(tiff + at + 2, 2, big) != 3 || Get(tiff + at + 4, 4, big) < 1) return 1;
        const uint32_t v = Get(tiff + at + 8, 2, big);
        return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
    }
    return 1;
}

bool ReadJpegMetadata(const char* path, PictureMetadata& metadata) {
    metadata = PictureMetadata{};
    if (!path) return false;
    std::FILE* f = OpenCodecFile(path);
    if (!f) return false;
    uint8_t soi[2] = {};
    if (std::fread(soi, 1, 2, f) != 2 || soi[0] != 0xFF || soi[1] != 0xD8) {
        std::fclose(f);
        return false;
    }
    IccChunks icc;
    bool haveExif = false;
    std::vector<uint8_t> segment;
    segment.reserve(MaxSegment);
    for (;;) {
        int c = std::fgetc(f);
        if (c != 0xFF) break;
        while (c == 0xFF) c = std::fgetc(f);  // fill bytes
        if (c == EOF) break;
        const int marker = c;
        // Markers without a length; the image data starts at SOS, after which nothing is read.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD9 || marker == 0xDA) break;
        uint8_t len[2];
        if (std::fread(len, 1, 2, f) != 2) break;
        const std::size_t length = Get(len, 2, true);
        if (length < 2) break;
        const std::size_t n = length - 2;
        const bool wanted = marker == 0xE1 || marker == 0xE2;
        if (!wanted) {
            if (std::fseek(f, static_cast<long>(n), SEEK_CUR) != 0) break;
            continue;
        }
        segment.resize(n);
        if (std::fread(segment.data(), 1, n, f) != n) break;
        if (marker == 0xE1 && !haveExif && n >= 6 &&
            std::memcmp(segment.data(), "Exif\0\0", 6) == 0) {
            metadata.orientation = ExifOrientation(segment.data() + 6, n - 6);
            haveExif = true;
        } else if (marker == 0xE2 && n >= 14 &&
                   std::memcmp(segment.data(), "ICC_PROFILE\0", 12) == 0) {
            icc.Add(segment.data(), n);
        }
    }
    std::fclose(f);
    metadata.iccProfile = icc.Profile();
    return true;
}

bool ReadPngMetadata(const char* path, PictureMetadata& metadata) {
    metadata = PictureMetadata{};
    if (!path) return false;
    std::FILE* f = OpenCodecFile(path);
    if (!f) return false;
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    uint8_t head[8] = {};
    if (std::fread(head, 1, 8, f) != 8 || std::memcmp(head, signature, 8) != 0) {
        std::fclose(f);
        return false;
    }
    // The chunks ahead of the image data: iCCP is a name (1..79 bytes), a zero, the compression
    // method (0) and the profile, deflated.
    for (;;) {
        uint8_t chunk[8];
        if (std::fread(chunk, 1, 8, f) != 8) break;
        const uint32_t length = Get(chunk, 4, true);
        if (std::memcmp(chunk + 4, "IDAT", 4) == 0 || std::memcmp(chunk + 4, "IEND", 4) == 0) break;
        if (std::memcmp(chunk + 4, "iCCP", 4) != 0 || length > MaxProfile) {
            if (std::fseek(f, static_cast<long>(length) + 4, SEEK_CUR) != 0) break;
            continue;
        }
#ifdef KV_HAVE_MORE_CODECS
        std::vector<uint8_t> data(length);
        if (std::fread(data.data(), 1, length, f) != length) break;
        const auto zero =
            std::find(data.begin(), data.begin() + std::min<std::size_t>(length, 80), uint8_t{0});
        const std::size_t at = static_cast<std::size_t>(zero - data.begin()) + 2;
        if (zero == data.end() || at > length || data[at - 1] != 0) break;
        // Inflated a piece at a time, never beyond MaxProfile.
        z_stream z{};
        if (inflateInit(&z) != Z_OK) break;
        z.next_in = data.data() + at;
        z.avail_in = static_cast<uInt>(length - at);
        std::vector<uint8_t> profile;
        uint8_t piece[16384];
        int status = Z_OK;
        while (status == Z_OK && profile.size() <= MaxProfile) {
            z.next_out = piece;
            z.avail_out = sizeof piece;
            status = inflate(&z, Z_NO_FLUSH);
            profile.insert(profile.end(), piece, piece + (sizeof piece - z.avail_out));
            if (status == Z_OK && z.avail_in == 0 && z.avail_out != 0) break;
        }
        inflateEnd(&z);
        if (status == Z_STREAM_END && profile.size() <= MaxProfile)
            metadata.iccProfile = std::move(profile);
#endif
        // Without the colour library a profile could not be used: it is not read.
        break;
    }
    std::fclose(f);
    return true;
}

#ifndef KV_HAVE_MORE_CODECS
bool MoreCodecsPresent() {
    return false;
}
DecodeStatus DecodeTiff(const char*, PixelTarget&, const DecodeLimits&, PictureMetadata*) {
    return DecodeStatus::NotDecodable;
}
bool TiffSuitsPlainReader(const char*) {
    return true;
}
// Without libtiff the orientation tag is still read from the first directory, so the TIFFs the
// own reader loads come in upright too: the header and that directory are gathered into a small
// TIFF of their own for ExifOrientation.
bool ReadTiffMetadata(const char* path, PictureMetadata& metadata) {
    metadata = PictureMetadata{};
    if (!path) return false;
    std::FILE* f = OpenCodecFile(path);
    if (!f) return false;
    std::vector<uint8_t> tiff(8);
    bool ok = std::fread(tiff.data(), 1, 8, f) == 8 && (tiff[0] == 'I' || tiff[0] == 'M');
    if (ok) {
        const bool big = tiff[0] == 'M';
        const uint32_t dir = Get(tiff.data() + 4, 4, big);
        uint8_t count[2];
        ok = dir <= static_cast<uint32_t>(LONG_MAX) &&
             std::fseek(f, static_cast<long>(dir), SEEK_SET) == 0 &&
             std::fread(count, 1, 2, f) == 2;
        const uint32_t entries = ok ? std::min<uint32_t>(Get(count, 2, big), 4096) : 0;
        if (ok) {
            tiff.resize(8 + 2 + 12 * static_cast<std::size_t>(entries));
            std::memcpy(tiff.data() + 8, count, 2);
            ok = std::fread(tiff.data() + 10, 1, tiff.size() - 10, f) == tiff.size() - 10;
        }
        if (ok) {
            // The directory now follows the header.
            for (int i = 0; i < 4; ++i)
                tiff[4 + i] = static_cast<uint8_t>(big ? (i == 3 ? 8 : 0) : (i == 0 ? 8 : 0));
            metadata.orientation = ExifOrientation(tiff.data(), tiff.size());
        }
    }
    std::fclose(f);
    return ok;
}
DecodeStatus DecodeHeif(const char*, PixelTarget&, const DecodeLimits&, bool, PictureMetadata*) {
    return DecodeStatus::NotDecodable;
}
int HeifSideLimit(int claimedSide, int maxSide) {
    return std::min(std::max(claimedSide, 4096) + 128, maxSide);
}
DecodeStatus DecodeWebp(const char*, PixelTarget&, const DecodeLimits&, PictureMetadata*) {
    return DecodeStatus::NotDecodable;
}
SrgbConverter::~SrgbConverter() = default;
bool SrgbConverter::Open(const uint8_t*, std::size_t, int) {
    return false;
}
void SrgbConverter::Convert(uint8_t*, int) const {}
#else
bool MoreCodecsPresent() {
    return true;
}
#endif

}  // namespace kv
