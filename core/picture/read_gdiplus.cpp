// The JPEG and PNG reader, through the platform decoders.
//
// The decoder is asked for the picture's size first; a picture above 65535 pixels on a side, or
// above the picture memory limit, is refused before any pixel is decoded. Rows arrive top row
// first and go straight into their place in the bottom-up image, so a big picture costs its
// pixels once and no pass over them afterwards. The result is always 24 bits: these pictures
// carry no alpha here.
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "platform/codecs/picture_codecs.h"

namespace kv {

namespace {

class ImageTarget final : public DecodeTarget {
public:
    explicit ImageTarget(CDIB& image) : m_image(image) {}
    bool Begin(int width, int height) override {
        if (width > MaxImageSide || height > MaxImageSide) {
            result = ReadTooLarge;
            return false;
        }
        if (!CreateForReading(m_image, width, height, 24)) {
            result = ReadNoMemory;
            return false;
        }
        m_height = height;
        return true;
    }
    uint8_t* Row(int y) override {
        return y >= 0 && y < m_height ? m_image.Row(m_height - 1 - y) : nullptr;
    }
    // The decoder's own working memory (a progressive file keeps every coefficient) comes
    // out of the same budget as the picture.
    uint64_t DecoderMemoryLimit() const override {
        const uint64_t limit = PictureMemoryLimit();
        const uint64_t picture =
            static_cast<uint64_t>(m_image.RowBytes()) * static_cast<uint64_t>(m_height);
        const uint64_t rest = limit > picture ? limit - picture : 0;
        return rest > DecodeTarget::DecoderMemoryLimit() ? rest
                                                         : DecodeTarget::DecoderMemoryLimit();
    }

    ImageReadResult result = ReadOk;

private:
    CDIB& m_image;
    int m_height = 0;
};

}  // namespace

ImageReadResult ReadGdiplus(CDIB& image, DiskFile& file) {
    if (image.Empty()) return ReadNoImage;
    if (!GdiplusHasJpegDecoder()) return ReadUnreadable;
    ImageTarget target(image);
    switch (DecodePictureFile(file.OpenedFileSpec().path, target)) {
        case DecodeStatus::Ok:
            return ReadOk;
        case DecodeStatus::Stopped:
            return target.result;
        // A file the decoder cannot make sense of is unreadable (not a memory shortage).
        case DecodeStatus::NotDecodable:
        case DecodeStatus::Failed:
            break;
    }
    return ReadUnreadable;
}

}  // namespace kv
