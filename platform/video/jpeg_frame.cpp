// JpegFrameEncoder over libjpeg-turbo's libjpeg interface (the one the TurboJPEG calls are
// made of, with the quantisation tables in reach).
//
// The tables are libjpeg's standard ones at the given quality, except for the DC terms, which
// are never coarser than 8 (a frame's mean kept to half a level), as the FFmpeg encoder keeps
// them: otherwise flat colour drifts by several levels at low qualities. Below the top qualities
// the Huffman tables are made for each frame (one more pass over its coefficients, about twice
// the coding time): the standard ones cost up to half again the bytes there, where runs of zeros
// dominate. One compressor object
// and one output buffer serve every frame of a movie. libjpeg reports fatal errors through a
// callback that must not return; they leave by longjmp back into Encode, across plain data only.
#include "platform/video/jpeg_frame.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace kv {

namespace {

// libjpeg quality by the FFmpeg encoder's qscale 2 .. 31. Measured (bench/mjpeg_quality) as the
// highest libjpeg quality whose frames are on average no larger than FFmpeg's at that qscale, on
// rendered frames of the detailed benchmark picture at 720 x 480 and 1920 x 1080 (the lower of
// the two), with the fine DC terms below: for qscale 2 .. 4 with the standard Huffman tables, for
// the rest with tables made for each frame.
constexpr int StandardTablesUpToQscale = 4;
constexpr int kQualityByQscale[30] = {89, 78, 65, 60, 48, 40, 33, 29, 25, 22, 20, 19, 17, 16, 15,
                                      14, 14, 13, 13, 12, 12, 12, 12, 11, 11, 11, 11, 11, 10, 10};

// The coarsest DC quantiser kept.
constexpr unsigned FinestDc = 8;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr) {}

// The destination: a byte vector that grows by doubling and is kept from frame to frame.
struct Destination {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* bytes;
    size_t size;
};

void InitDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    d->pub.next_output_byte = d->bytes->data();
    d->pub.free_in_buffer = d->bytes->size();
}

boolean GrowDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    const size_t used = d->bytes->size();
    d->bytes->resize(used * 2);
    d->pub.next_output_byte = d->bytes->data() + used;
    d->pub.free_in_buffer = d->bytes->size() - used;
    return TRUE;
}

void TermDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    d->size = d->bytes->size() - d->pub.free_in_buffer;
}

}  // namespace

JpegQuality JpegQualityForMovie(int movieQuality) {
    const int q = std::clamp(movieQuality, 0, 100);
    // The qscale the FFmpeg encoder was given for this job quality.
    const int qscale = 2 + (100 - q) * 29 / 100;
    return JpegQuality(kQualityByQscale[qscale - 2], qscale > StandardTablesUpToQscale);
}

struct JpegFrameEncoder::Impl {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    Destination dest;
    bool created = false;
    std::vector<uint8_t> bytes;
    std::vector<JSAMPROW> rows;
    size_t size = 0;
    std::string error;

    ~Impl() {
        if (created) jpeg_destroy_compress(&cinfo);
    }
    bool Fail(const std::string& what) {
        error = what;
        size = 0;
        return false;
    }
    bool Code(const uint8_t* firstRow, int32_t rowBytes, bool bottomUp, int32_t width,
              int32_t height, int32_t bitCount, JpegQuality quality);
};

JpegFrameEncoder::JpegFrameEncoder() : m(std::make_unique<Impl>()) {}

JpegFrameEncoder::~JpegFrameEncoder() = default;

// The libjpeg calls; false (with the library's message) when one of them gives up.
bool JpegFrameEncoder::Impl::Code(const uint8_t* firstRow, int32_t rowBytes, bool bottomUp,
                                  int32_t width, int32_t height, int32_t bitCount,
                                  JpegQuality quality) {
    if (setjmp(err.jump)) {
        jpeg_abort_compress(&cinfo);
        return Fail(err.message);
    }
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = bitCount / 8;
    cinfo.in_color_space = bitCount == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(quality.quality, 1, 100), TRUE);
    for (int t = 0; t < 2; ++t) {
        UINT16& dc = cinfo.quant_tbl_ptrs[t]->quantval[0];
        dc = static_cast<UINT16>(std::min<unsigned>(dc, FinestDc));
    }
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = quality.frameHuffman ? TRUE : FALSE;
    // 4:2:2: luma at full width, both chroma planes at half width and full height.
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 1;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    rows.resize(static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
        rows[static_cast<size_t>(y)] = const_cast<JSAMPROW>(
            firstRow + static_cast<ptrdiff_t>(bottomUp ? height - 1 - y : y) * rowBytes);
    if (bytes.size() < 65536) bytes.resize(65536);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height)
        jpeg_write_scanlines(&cinfo, rows.data() + cinfo.next_scanline,
                             cinfo.image_height - cinfo.next_scanline);
    jpeg_finish_compress(&cinfo);
    size = dest.size;
    return true;
}

bool JpegFrameEncoder::Encode(const uint8_t* firstRow, int32_t rowBytes, bool bottomUp,
                              int32_t width, int32_t height, int32_t bitCount,
                              JpegQuality quality) {
    Impl& s = *m;
    if (!firstRow || width <= 0 || height <= 0 || width > 65500 || height > 65500)
        return s.Fail("frame size out of range");
    if (bitCount != 24 && bitCount != 32) return s.Fail("frames must be 24 or 32 bits");
    if (rowBytes < width * (bitCount / 8)) return s.Fail("rows too short");
    if (!s.created) {
        s.cinfo.err = jpeg_std_error(&s.err.pub);
        s.err.pub.error_exit = OnError;
        s.err.pub.output_message = OnMessage;
        if (setjmp(s.err.jump)) return s.Fail("cannot start the JPEG encoder");
        jpeg_create_compress(&s.cinfo);
        s.created = true;
        s.dest.pub.init_destination = InitDestination;
        s.dest.pub.empty_output_buffer = GrowDestination;
        s.dest.pub.term_destination = TermDestination;
        s.dest.bytes = &s.bytes;
        s.cinfo.dest = &s.dest.pub;
    }
    if (!s.Code(firstRow, rowBytes, bottomUp, width, height, bitCount, quality)) return false;
    s.error.clear();
    return true;
}

const uint8_t* JpegFrameEncoder::Data() const {
    return m->bytes.data();
}

size_t JpegFrameEncoder::Size() const {
    return m->size;
}

const std::string& JpegFrameEncoder::Error() const {
    return m->error;
}

}  // namespace kv
