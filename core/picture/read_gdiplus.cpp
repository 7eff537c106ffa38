// The JPEG and PNG reader, through the platform decoders.
//
// The decoder is asked for the picture's size first; a picture above 8192 pixels on a side is
// refused before any pixel is decoded. Rows arrive top row first into rows 0, 1, 2 ... and the
// image is flipped at the end. The result is always 24 bits: these pictures carry no alpha here.
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
    uint8_t* Row(int y) override { return y >= 0 && y < m_height ? m_image.Row(y) : nullptr; }

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
            FlipVertical(image);
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
