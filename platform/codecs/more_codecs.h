// TIFF (beyond plain uncompressed files), HEIC/AVIF and WebP decoding, the orientation and colour
// profile a picture file carries, and conversion of pixels to sRGB.
//
// Pixels are handed out in 8-bit rows, top row first: 1 byte per pixel (grey), 3 (blue, green,
// red) or 4 (blue, green, red, plain alpha). 16-bit samples are reduced to 8 with rounding. As
// with the JPEG and PNG decoders, the caller learns the size before any large buffer is taken
// and may stop there, so a file claiming a huge picture costs nothing here.
//
// Without the libraries (a build with KV_HAVE_MORE_CODECS unset) the decoders report
// NotDecodable and no profile converts; the JPEG metadata reader works in every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/codecs/picture_codecs.h"

namespace kv {

// Whether this build has the libraries behind the decoders below.
bool MoreCodecsPresent();

// Where decoded pixels go.
class PixelTarget {
public:
    virtual ~PixelTarget() = default;
    // Whether a picture of this size may be loaded at all, asked before a decoder spends time
    // on a picture that Begin would refuse; a refusal ends the decoding with Stopped.
    virtual bool Allows(int width, int height, int channels) {
        (void)width, (void)height, (void)channels;
        return true;
    }
    // Called once with the picture's size and bytes per pixel (1, 3 or 4); false stops the
    // decoding with DecodeStatus::Stopped.
    virtual bool Begin(int width, int height, int channels) = 0;
    // Destination of row y counted from the top: channels x width bytes.
    virtual uint8_t* Row(int y) = 0;
    // The distance in bytes from row y to row y + 1 when every row lies at the same distance
    // (negative for rows stored bottom-up), else 0. Lets a decoder write straight into the rows.
    virtual std::ptrdiff_t RowStep() { return 0; }
    // Told, before the first row, how many rows the decoder works on at once (a tile's height)
    // when it comes back to rows it has written.
    virtual void RowsAtOnce(int rows) { (void)rows; }
};

// What a picture file says about how to show it.
struct PictureMetadata {
    // The EXIF orientation, 1..8 (1: stored upright).
    int orientation = 1;
    // The embedded ICC profile; empty when there is none.
    std::vector<uint8_t> iccProfile;
};

// Limits the decoders set on the libraries themselves (libheif's largest side, libtiff's
// largest single allocation), on top of the target's own Begin check.
struct DecodeLimits {
    int maxSide = 65535;
    std::size_t maxAllocation = std::size_t{1} << 30;
};

// TIFF through libtiff: strips or tiles, any compression libtiff has, 8 or 16 bits, chunky or
// planar, grey, RGB with or without alpha, and through libtiff's RGBA conversion CMYK, Lab,
// YCbCr, palette and bilevel pictures. The metadata (orientation, profile) is filled too.
DecodeStatus DecodeTiff(const char* path, PixelTarget& target, const DecodeLimits& limits,
                        PictureMetadata* metadata);
// Whether the own uncompressed-TIFF reader reads this file as it should: one uncompressed strip
// layout, 8-bit samples, grey (1 sample) or RGB (3, or 4 with unassociated or unspecified
// alpha), chunky. False when the file needs libtiff, and also when libtiff cannot open it.
bool TiffSuitsPlainReader(const char* path);
// The orientation and profile of a TIFF file; false when it cannot be read.
bool ReadTiffMetadata(const char* path, PictureMetadata& metadata);

// HEIC and AVIF through libheif, primary image. With `applyTransforms` the file's rotation and
// mirroring are applied (the picture comes out upright), without it the stored pixels come out.
DecodeStatus DecodeHeif(const char* path, PixelTarget& target, const DecodeLimits& limits,
                        bool applyTransforms, PictureMetadata* metadata);

// The largest side libheif may assemble for a picture whose size box claims `claimedSide` at
// most: a margin over the claim (a grid's tiles may overhang it), at least 4224, never above
// `maxSide`.
int HeifSideLimit(int claimedSide, int maxSide);

// WebP (lossy, lossless, with alpha; the first frame of an animation) through libwebp.
DecodeStatus DecodeWebp(const char* path, PixelTarget& target, const DecodeLimits& limits,
                        PictureMetadata* metadata);

// The EXIF orientation and ICC profile (APP1 and APP2 markers) of a JPEG file, from the markers
// ahead of the image data; false when the file is not a JPEG.
bool ReadJpegMetadata(const char* path, PictureMetadata& metadata);
// The ICC profile of a PNG file (its iCCP chunk); false when the file is not a PNG.
bool ReadPngMetadata(const char* path, PictureMetadata& metadata);
// The orientation stored in an EXIF block (starting at its "II"/"MM" byte-order mark); 1 when
// it has none or the block is broken.
int ExifOrientation(const uint8_t* tiff, std::size_t size);

// The most memory LittleCMS may hold for one converter (its profiles and transform); a profile
// needing more counts as broken.
constexpr std::size_t ProfileMemoryCap = std::size_t{16} << 20;

// Converts pixels from an embedded profile's colours to sRGB, in place.
class SrgbConverter {
public:
    SrgbConverter() = default;
    ~SrgbConverter();
    SrgbConverter(const SrgbConverter&) = delete;
    SrgbConverter& operator=(const SrgbConverter&) = delete;
    // Prepares the conversion for pixels of `channels` bytes (3: blue, green, red; 4: with
    // alpha, which is kept). False when the profile is broken, not an RGB profile, or the build
    // has no LittleCMS: the pixels are then to be left as they are.
    bool Open(const uint8_t* profile, std::size_t size, int channels);
    // Converts `count` pixels in place.
    void Convert(uint8_t* pixels, int count) const;
    // Whether the last Open failed because the profile needed more than ProfileMemoryCap.
    bool ProfileTooLarge() const { return m_tooLarge; }

private:
    struct Context;
    Context* m_context = nullptr;
    bool m_tooLarge = false;
};

}  // namespace kv
