// Choice between the JPEG and PNG decoders by the file's first bytes.
#include "platform/codecs/picture_codecs.h"

#include <cstring>

#include "platform/codecs/codec_file.h"

namespace kv {

bool GdiplusHasJpegDecoder() {
    return true;
}

DecodeStatus DecodePictureFile(const char* path, DecodeTarget& target) {
    if (!path || !*path) return DecodeStatus::NotDecodable;
    std::FILE* stream = OpenCodecFile(path);
    if (!stream) return DecodeStatus::NotDecodable;
    unsigned char head[8] = {};
    const size_t got = std::fread(head, 1, sizeof head, stream);
    DecodeStatus status = DecodeStatus::NotDecodable;
    static const unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (std::fseek(stream, 0, SEEK_SET) == 0) {
        if (got == 8 && std::memcmp(head, pngSignature, 8) == 0) {
            status = DecodePng(stream, target);
        } else if (got >= 2 && head[0] == 0xFF && head[1] == 0xD8) {
            status = DecodeJpeg(stream, target);
        }
    }
    std::fclose(stream);
    return status;
}

}  // namespace kv
