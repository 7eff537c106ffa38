// The JPEG and PNG reader, through the platform decoders.
//
// The decoder is asked for the picture's size first; a picture above 65535 pixels on a side, or
// above the picture memory limit, is refused before any pixel is decoded. Rows arrive top row
// first and go straight into their place in the bottom-up image, so a big picture costs its
// pixels once and no pass over them afterwards. The result is always 24 bits: these pictures
// carry no alpha here. A picture turned a quarter by its orientation has its rows written into
// their columns as they arrive (RowTurner), so it too is held once.
#include <memory>

#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "platform/codecs/picture_codecs.h"

namespace kv {

namespace {

class ImageTarget final : public DecodeTarget {
public:
    ImageTarget(CDIB& image, int turn) : m_image(image), m_turn(QuarterTurn(turn) ? turn : 0) {}
    bool Begin(int width, int height) override {
        if (width > MaxImageSide || height > MaxImageSide) {
            result = ReadTooLarge;
            return false;
        }
        const int w = m_turn ? height : width, h = m_turn ? width : height;
        if (!CreateForReading(m_image, w, h, 24)) {
            result = ReadNoMemory;
            return false;
        }
        m_height = height;
        if (m_turn) {
            m_turner = std::make_unique<RowTurner>(m_image, m_turn, width, height, 3);
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
    // Writes out the rows a turn still holds.
    void Finish() {
        if (m_turner) m_turner->Finish();
    }
    // The decoder's own working memory (a progressive file keeps every coefficient) comes
    // out of the same budget as the picture.
    uint64_t DecoderMemoryLimit() const override {
        const uint64_t limit = PictureMemoryLimit();
        const uint64_t picture =
            static_cast<uint64_t>(m_image.RowBytes()) * static_cast<uint64_t>(m_image.Height());
        const uint64_t rest = limit > picture ? limit - picture : 0;
        return rest > DecodeTarget::DecoderMemoryLimit() ? rest
                                                         : DecodeTarget::DecoderMemoryLimit();
    }

    ImageReadResult result = ReadOk;

private:
    CDIB& m_image;
    int m_turn;
    int m_height = 0;
    std::unique_ptr<RowTurner> m_turner;
};

}  // namespace

ImageReadResult ReadGdiplus(CDIB& image, DiskFile& file) {
    return ReadGdiplusTurned(image, file, 1);
}

ImageReadResult ReadGdiplusTurned(CDIB& image, DiskFile& file, int orientation) {
    if (image.Empty()) return ReadNoImage;
    if (!GdiplusHasJpegDecoder()) return ReadUnreadable;
    ImageTarget target(image, orientation);
    const DecodeStatus status = DecodePictureFile(file.OpenedFileSpec().path, target);
    target.Finish();
    switch (status) {
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
