// The readers over the platform's further decoders (TIFF through libtiff, HEIC/AVIF, WebP), and
// the finishing every read picture gets: its EXIF orientation (when the image asks for upright
// pictures) and its embedded ICC profile, converted to sRGB.
//
// Sizes: every reader here asks PictureSizeCheck with the size the file claims before the
// decoder spends anything on it, and the image is created only once the decoder has shown the
// data is there (the first rows, a tile, the decoded HEIF image); the libraries' own limits are
// set from MaxPictureSide. A quarter turn is made while decoding (RowTurner), so a turned
// picture is never held twice.
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/picture/alert.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "platform/codecs/more_codecs.h"

namespace kv {

namespace {

// Fills the image top row first from a decoder: image rows are stored bottom-up, so decoded
// row y goes to image row height - 1 - y and no flip is needed afterwards.
class PictureTarget final : public PixelTarget {
public:
    // `metadata` is filled by the decoder before it begins: a quarter turn it names is made
    // while decoding when the image asks for upright pictures.
    PictureTarget(CDIB& image, const PictureMetadata* metadata = nullptr)
        : m_image(image), m_metadata(metadata) {}
    bool Allows(int width, int height, int channels) override {
        result = PictureSizeCheck(width, height, channels * 8);
        return result == ReadOk;
    }
    bool Begin(int width, int height, int channels) override {
        const int turn =
            m_metadata && m_image.uprightOrientation && QuarterTurn(m_metadata->orientation)
                ? m_metadata->orientation
                : 0;
        const int w = turn ? height : width, h = turn ? width : height;
        result = PictureSizeCheck(w, h, channels * 8);
        if (result != ReadOk) return false;
        if (!CreateForReading(m_image, w, h, channels * 8)) {
            result = ReadNoMemory;
            return false;
        }
        m_height = height;
        if (turn) {
            m_turner = std::make_unique<RowTurner>(m_image, turn, width, height, channels);
            if (!m_turner->Ready()) {
                result = ReadNoMemory;
                return false;
            }
        }
        return true;
    }
    uint8_t* Row(int y) override {
        if (m_turner) return m_turner->Row(y);
        return y >= 0 && y < m_height ? m_image.Row(m_height - 1 - y) : nullptr;
    }
    std::ptrdiff_t RowStep() override {
        return m_turner ? 0 : -static_cast<std::ptrdiff_t>(m_image.RowBytes());
    }
    void RowsAtOnce(int rows) override {
        if (m_turner) m_turner->KeepRows(rows);
    }
    // Writes out the rows a turn still holds; true when the picture was turned while decoding.
    bool FinishTurn() {
        if (!m_turner) return false;
        m_turner->Finish();
        return true;
    }

    ImageReadResult result = ReadOk;

private:
    CDIB& m_image;
    const PictureMetadata* m_metadata;
    int m_height = 0;
    std::unique_ptr<RowTurner> m_turner;
};

DecodeLimits Limits() {
    DecodeLimits limits;
    limits.maxSide = MaxPictureSide();
    return limits;
}

ImageReadResult Finish(DecodeStatus status, const PictureTarget& target) {
    switch (status) {
        case DecodeStatus::Ok:
            return ReadOk;
        case DecodeStatus::Stopped:
            // A decoder that stops without the target's word has found the file unreadable.
            return target.result != ReadOk ? target.result : ReadUnreadable;
        case DecodeStatus::NotDecodable:
        case DecodeStatus::Failed:
            break;
    }
    return ReadUnreadable;
}

// The pixel the stored picture holds at (x, y) of the upright picture, both counted from the
// top left; w and h are the stored picture's size.
void StoredPosition(int orientation, int x, int y, int w, int h, int& sx, int& sy) {
    switch (orientation) {
        case 2:
            sx = w - 1 - x;
            sy = y;
            break;
        case 3:
            sx = w - 1 - x;
            sy = h - 1 - y;
            break;
        case 4:
            sx = x;
            sy = h - 1 - y;
            break;
        case 5:
            sx = y;
            sy = x;
            break;
        case 6:
            sx = y;
            sy = h - 1 - x;
            break;
        case 7:
            sx = w - 1 - y;
            sy = h - 1 - x;
            break;
        case 8:
            sx = w - 1 - y;
            sy = x;
            break;
        default:
            sx = x;
            sy = y;
            break;
    }
}

// Fills `turned` (the stored picture turned a quarter) from `stored`, in square tiles so that
// the stored picture's columns are read from cache.
template <int Bytes>
void TurnInto(const CDIB& stored, CDIB& turned, int orientation) {
    constexpr int Tile = 32;
    const int w = stored.Width(), h = stored.Height();
    const int ow = turned.Width(), oh = turned.Height();
    const uint8_t* src = stored.Bits();
    uint8_t* out = turned.Bits();
    const size_t srcStride = static_cast<size_t>(stored.RowBytes());
    const size_t outStride = static_cast<size_t>(turned.RowBytes());
    for (int ty = 0; ty < oh; ty += Tile) {
        for (int tx = 0; tx < ow; tx += Tile) {
            for (int y = ty; y < oh && y < ty + Tile; ++y) {
                // Rows counted from the top are the images' rows height - 1 - y.
                uint8_t* dst = out + static_cast<size_t>(oh - 1 - y) * outStride +
                               static_cast<size_t>(tx) * Bytes;
                for (int x = tx; x < ow && x < tx + Tile; ++x, dst += Bytes) {
                    int sx = 0, sy = 0;
                    StoredPosition(orientation, x, y, w, h, sx, sy);
                    std::memcpy(dst,
                                src + static_cast<size_t>(h - 1 - sy) * srcStride +
                                    static_cast<size_t>(sx) * Bytes,
                                Bytes);
                }
            }
        }
    }
}

// Whether a file has not been warned about yet: a picture a show uses in many places, or loads
// again for every frame, is named once per run.
bool FirstWarningFor(const std::string& path) {
    // Global: one record per process, guarded by the lock (pictures load on several threads).
    static std::mutex lock;
    static std::set<std::string> warned;
    std::lock_guard<std::mutex> hold(lock);
    return warned.insert(path).second;
}

}  // namespace

int MaxPictureSide() {
    return MaxImageSide;
}

ImageReadResult PictureSizeCheck(int width, int height, int bitCount) {
    if (width <= 0 || height <= 0) return ReadUnreadable;
    if (width > MaxPictureSide() || height > MaxPictureSide()) return ReadTooLarge;
    // Checked before the decoder starts, so a file claiming more than the picture memory limit
    // is refused without decoding a row.
    if (!PictureFitsInMemory(width, height, bitCount)) return ReadNoMemory;
    return ReadOk;
}

bool ApplyOrientation(CDIB& image, int orientation) {
    if (image.Empty() || orientation < 2 || orientation > 8) return true;
    const int bytes = image.BitCount() / 8;
    if (bytes < 1) return false;
    const int w = image.Width(), h = image.Height();
    const bool turned = orientation >= 5;
    const int ow = turned ? h : w, oh = turned ? w : h;
    // Rows counted from the top are rows height - 1 - y of the image.
    if (!turned) {
        // Mirrors and the half turn work in place, a pair of rows at a time.
        std::vector<uint8_t> a(static_cast<size_t>(w) * bytes), b(a.size());
        const int pairs = orientation == 2 ? h : (h + 1) / 2;
        for (int y = 0; y < pairs; ++y) {
            const int y2 = orientation == 2 ? y : h - 1 - y;
            uint8_t* top = image.Row(h - 1 - y);
            uint8_t* other = image.Row(h - 1 - y2);
            std::memcpy(a.data(), top, a.size());
            std::memcpy(b.data(), other, b.size());
            const bool mirror = orientation != 4;
            for (int x = 0; x < w; ++x) {
                const int sx = mirror ? w - 1 - x : x;
                std::memcpy(top + static_cast<size_t>(x) * bytes,
                            b.data() + static_cast<size_t>(sx) * bytes, bytes);
                std::memcpy(other + static_cast<size_t>(x) * bytes,
                            a.data() + static_cast<size_t>(sx) * bytes, bytes);
            }
        }
        return true;
    }
    CDIB turnedImage(ow, oh, image.BitCount());
    if (turnedImage.Empty()) return false;
    const int entries = ColorTableEntries(image.BitCount());
    for (int i = 0; i < entries; ++i) turnedImage.ColorTable()[i] = image.ColorTable()[i];
    switch (bytes) {
        case 1:
            TurnInto<1>(image, turnedImage, orientation);
            break;
        case 2:
            TurnInto<2>(image, turnedImage, orientation);
            break;
        case 3:
            TurnInto<3>(image, turnedImage, orientation);
            break;
        default:
            TurnInto<4>(image, turnedImage, orientation);
            break;
    }
    if (!turnedImage.CopyTo(&image, true)) return false;
    for (int i = 0; i < entries; ++i) image.ColorTable()[i] = turnedImage.ColorTable()[i];
    return true;
}

void ApplyColourProfile(CDIB& image, const std::vector<uint8_t>& profile, const char* path) {
    const int bytes = image.BitCount() / 8;
    if (profile.empty() || (bytes != 3 && bytes != 4)) return;
    SrgbConverter converter;
    if (!converter.Open(profile.data(), profile.size(), bytes)) {
        // Other broken profiles are passed over silently, as they always were; this one is
        // worth a word because the profile looks usable and the colours will be off.
        if (converter.ProfileTooLarge() && FirstWarningFor(path ? path : ""))
            Warning(
                std::string("colour profile needs too much memory, picture left unconverted: ") +
                (path ? path : ""));
        return;
    }
    for (int y = 0; y < image.Height(); ++y) converter.Convert(image.Row(y), image.Width());
}

namespace {
ImageReadResult FinishPicture(CDIB& image, const PictureMetadata& metadata, DiskFile& file) {
    if (image.uprightOrientation && !ApplyOrientation(image, metadata.orientation))
        return ReadNoMemory;
    ApplyColourProfile(image, metadata.iccProfile, file.OpenedFileSpec().path);
    return ReadOk;
}
}  // namespace

ImageReadResult ReadTiffPicture(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    const char* path = file.OpenedFileSpec().path;
    PictureMetadata metadata;
    const bool plain = !MoreCodecsPresent() || TiffSuitsPlainReader(path);
    // A plain file turned a quarter goes through libtiff too, which turns it while decoding;
    // the own reader would hold it twice.
    const bool turnedPlain = plain && MoreCodecsPresent() && image.uprightOrientation &&
                             ReadTiffMetadata(path, metadata) && QuarterTurn(metadata.orientation);
    if (MoreCodecsPresent() && (!plain || turnedPlain)) {
        PictureTarget target(image, &metadata);
        const DecodeStatus status = DecodeTiff(path, target, Limits(), &metadata);
        const bool begun = target.FinishTurn();
        if (begun) metadata.orientation = 1;
        // A file libtiff cannot take at all (an unknown compression, a broken directory) gets
        // the own reader's answer, as before; so does a plain file libtiff refuses before
        // making the picture (a short one, which the own reader loads as far as it goes).
        const bool ownAnswer = status == DecodeStatus::NotDecodable ||
                               (turnedPlain && status == DecodeStatus::Failed && !begun);
        if (!ownAnswer) {
            const ImageReadResult r = Finish(status, target);
            if (r != ReadOk) return r;
            return FinishPicture(image, metadata, file);
        }
        metadata = PictureMetadata{};
    }
    const ImageReadResult r = ReadTiff(image, file);
    if (r != ReadOk) return r;
    ReadTiffMetadata(path, metadata);
    return FinishPicture(image, metadata, file);
}

ImageReadResult ReadHeif(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    PictureTarget target(image);
    PictureMetadata metadata;
    // The rotation, mirror and crop boxes are part of a HEIF picture's geometry (the crop also
    // hides the coding's padding), so libheif always applies them. No show saved before could
    // hold a HEIF picture, so none has stored pixels to keep.
    const ImageReadResult r =
        Finish(DecodeHeif(file.OpenedFileSpec().path, target, Limits(), true, &metadata), target);
    if (r != ReadOk) return r;
    metadata.orientation = 1;
    return FinishPicture(image, metadata, file);
}

ImageReadResult ReadWebp(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    PictureTarget target(image);
    PictureMetadata metadata;
    const ImageReadResult r =
        Finish(DecodeWebp(file.OpenedFileSpec().path, target, Limits(), &metadata), target);
    if (r != ReadOk) return r;
    return FinishPicture(image, metadata, file);
}

ImageReadResult ReadJpegPicture(CDIB& image, DiskFile& file) {
    PictureMetadata metadata;
    const char* path = file.OpenedFileSpec().path;
    const bool described = ReadJpegMetadata(path, metadata) || ReadPngMetadata(path, metadata);
    // A quarter turn is made while decoding, so that the picture is never held twice.
    const int turn = described && image.uprightOrientation && QuarterTurn(metadata.orientation)
                         ? metadata.orientation
                         : 1;
    const ImageReadResult r = ReadGdiplusTurned(image, file, turn);
    if (r != ReadOk || !described) return r;
    if (turn != 1) metadata.orientation = 1;
    return FinishPicture(image, metadata, file);
}

}  // namespace kv
