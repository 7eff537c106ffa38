// PNG decoding over libpng into 24-bit blue-green-red rows.
//
// Every colour type is brought to 8-bit blue, green, red: palettes and low-depth grey are
// expanded, grey becomes three equal bytes, 16-bit samples keep their high byte and alpha is
// stripped. Interlaced files are decoded pass by pass straight into the caller's rows (each pass
// fills in more of the same rows), so no whole-picture buffer is needed here. libpng reports
// fatal errors by longjmp back into the function that called setjmp; the two phases below each
// set their own jump point and hold nothing that needs a destructor.
//
// libpng's limits are set explicitly, since a length field can claim up to 2 GiB in a file of a
// few bytes (a 141-byte file with a forged text chunk cost 2 GiB and seconds): every allocation
// libpng makes goes through CappedAlloc, which refuses anything above MaxLibpngAllocation; the
// text chunks, which we never use, are skipped unread; the chunk size, the number of ancillary
// chunks kept and the picture size libpng accepts from the header are bounded too.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <png.h>

#include "platform/codecs/picture_codecs.h"

namespace kv {

namespace {

// Text, profiles and other ancillary chunks of real pictures are far smaller; pixel data (IDAT)
// is read in pieces and is not bound by this.
constexpr png_alloc_size_t MaxChunkBytes = 8u * 1024 * 1024;
// libpng's largest own buffer is a row of at most MaxSide x 8 bytes (plus its filter byte).
constexpr png_alloc_size_t MaxLibpngAllocation = 16u * 1024 * 1024;
constexpr png_byte SkippedChunks[] = "tEXt\0zTXt\0iTXt";

png_voidp CappedAlloc(png_structp, png_alloc_size_t n) {
    return n > MaxLibpngAllocation ? nullptr : std::malloc(n);
}
void CappedFree(png_structp, png_voidp p) {
    std::free(p);
}
constexpr png_uint_32 MaxCachedChunks = 1000;
// Above the largest picture (65535) so that a bigger one reaches the caller's size check and
// its message; libpng's own row buffers stay within MaxLibpngAllocation up to this.
constexpr png_uint_32 MaxSide = 1000000;

[[noreturn]] void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// Reads the header and sets up the transformations; false when the stream is not a readable
// PNG. Fills the size and the number of interlace passes.
bool ReadHeader(png_structp png, png_infop info, std::FILE* stream, int* width, int* height,
                int* passes) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, stream);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colourType, &interlace, nullptr, nullptr);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16) png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (colourType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
    png_set_bgr(png);
    *passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 3) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

bool ReadRows(png_structp png, png_infop info, DecodeTarget& target, int height, int passes) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            uint8_t* row = target.Row(y);
            if (!row) return false;
            png_read_row(png, row, nullptr);
        }
    }
    // The chunks after the pixels carry nothing we use; a damaged tail does not spoil them.
    (void)info;
    return true;
}

}  // namespace

DecodeStatus DecodePng(std::FILE* stream, DecodeTarget& target) {
    if (!stream) return DecodeStatus::NotDecodable;
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning,
                                               nullptr, CappedAlloc, CappedFree);
    if (!png) return DecodeStatus::NotDecodable;
    png_set_chunk_malloc_max(png, MaxChunkBytes);
    png_set_chunk_cache_max(png, MaxCachedChunks);
    png_set_user_limits(png, MaxSide, MaxSide);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, SkippedChunks, 3);
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return DecodeStatus::NotDecodable;
    }
    int width = 0, height = 0, passes = 1;
    DecodeStatus status;
    if (!ReadHeader(png, info, stream, &width, &height, &passes)) {
        status = DecodeStatus::NotDecodable;
    } else if (!target.Begin(width, height)) {
        status = DecodeStatus::Stopped;
    } else {
        status =
            ReadRows(png, info, target, height, passes) ? DecodeStatus::Ok : DecodeStatus::Failed;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return status;
}

}  // namespace kv
