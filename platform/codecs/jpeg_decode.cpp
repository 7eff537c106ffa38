// JPEG decoding over libjpeg-turbo into 24-bit blue-green-red rows.
//
// libjpeg reports fatal errors through a callback that must not return, so errors leave by
// longjmp back into DecodeJpeg. Everything that lives across the jump is plain data or owned by
// the decompressor (its pools are released by jpeg_destroy_decompress), so no destructor is
// skipped. Warnings (corrupt data, premature end) are silent: a truncated file decodes with its
// missing part filled in, as libjpeg does.
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "platform/codecs/picture_codecs.h"

namespace kv {

namespace {

// Progressive files may carry any number of scans; a hostile file with thousands of tiny scans
// costs a full pass over the coefficients each. Real files have a dozen or so.
constexpr int MaxScans = 500;
// Until the target says how much it allows (after Begin), the header's own tables stay below
// this bound.
constexpr long HeaderMemory = 64L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr) {}

void OnProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > MaxScans) OnError(cinfo);
    }
}

uint8_t Mul255(int a, int b) {
    return static_cast<uint8_t>((a * b + 127) / 255);
}

}  // namespace

DecodeStatus DecodeJpeg(std::FILE* stream, DecodeTarget& target) {
    if (!stream) return DecodeStatus::NotDecodable;
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.output_message = OnMessage;
    progress.progress_monitor = OnProgress;
    volatile bool begun = false;

    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return begun ? DecodeStatus::Failed : DecodeStatus::NotDecodable;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    cinfo.mem->max_memory_to_use = HeaderMemory;
    jpeg_stdio_src(&cinfo, stream);
    jpeg_read_header(&cinfo, TRUE);

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    const int width = static_cast<int>(cinfo.image_width);
    const int height = static_cast<int>(cinfo.image_height);
    begun = true;
    if (!target.Begin(width, height)) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeStatus::Stopped;
    }
    // Progressive decoding keeps every coefficient of the picture (about 3 bytes a pixel);
    // the target's budget decides whether that may be had.
    const uint64_t budget = target.DecoderMemoryLimit();
    cinfo.mem->max_memory_to_use =
        budget > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(budget);
    jpeg_start_decompress(&cinfo);
    if (static_cast<int>(cinfo.output_width) != width ||
        static_cast<int>(cinfo.output_height) != height)
        OnError(reinterpret_cast<j_common_ptr>(&cinfo));

    JSAMPARRAY scratch = nullptr;
    if (cmyk) {
        scratch = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                             static_cast<JDIMENSION>(width) * 4, 1);
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        uint8_t* row = target.Row(y);
        if (!row) OnError(reinterpret_cast<j_common_ptr>(&cinfo));
        if (!cmyk) {
            JSAMPROW rows[1] = {row};
            if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) break;
            continue;
        }
        if (jpeg_read_scanlines(&cinfo, scratch, 1) != 1) break;
        // Adobe writes CMYK inverted (0 = full ink); others store it plainly.
        const bool inverted = cinfo.saw_Adobe_marker;
        const uint8_t* s = scratch[0];
        for (int x = 0; x < width; ++x, s += 4) {
            int c = s[0], m = s[1], yy = s[2], k = s[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                yy = 255 - yy;
                k = 255 - k;
            }
            row[3 * x + 0] = Mul255(yy, k);
            row[3 * x + 1] = Mul255(m, k);
            row[3 * x + 2] = Mul255(c, k);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return DecodeStatus::Ok;
}

}  // namespace kv
