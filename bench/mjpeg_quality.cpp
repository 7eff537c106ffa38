// Motion JPEG quality table: for each job quality, the size and fidelity of the frames FFmpeg's
// Motion JPEG encoder made (through swscale to yuvj422p at qscale 2 + (100 - q) * 29 / 100) and of
// libjpeg-turbo's frames at the libjpeg quality JpegQualityForMovie gives, with the highest
// libjpeg quality whose frames are no larger than FFmpeg's (what the table in jpeg_frame.cpp
// holds).
//
//   mjpeg_quality [WIDTH HEIGHT [FRAMES]]     default 720 480 20
//
// Frames of the benchmark move are rendered once (the picture of make_picture.sh in
// $KV_BENCH_DIR, default /tmp/kbbench). Fidelity is the PSNR of the decoded frame's red, green and
// blue against the rendered frame; sizes are the average bytes per frame.
#include <turbojpeg.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "bench/bench_move.h"
#include "platform/video/jpeg_frame.h"

namespace {

struct Measure {
    double bytes = 0;  // per frame
    double psnr = 0;
};

using Frames = std::vector<std::unique_ptr<kv::CDIB>>;

// Squared error of a decoded top-down BGRX frame against the rendered bottom-up one.
double SquaredError(const std::vector<uint8_t>& decoded, const kv::CDIB& frame) {
    const int w = frame.Width(), h = frame.Height();
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* a = decoded.data() + static_cast<size_t>(y) * w * 4;
        const uint8_t* b = frame.Row(h - 1 - y);
        for (int x = 0; x < w * 4; ++x) {
            if ((x & 3) == 3) continue;
            const double d = static_cast<double>(a[x]) - b[x];
            sum += d * d;
        }
    }
    return sum;
}

double Psnr(double squared, double samples) {
    const double mse = squared / samples;
    return mse > 0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

class Decoder {
public:
    Decoder() : handle_(tjInitDecompress()) {}
    ~Decoder() { tjDestroy(handle_); }
    bool Decode(const uint8_t* data, size_t size, int w, int h, std::vector<uint8_t>& out) {
        out.resize(static_cast<size_t>(w) * h * 4);
        return tjDecompress2(handle_, data, size, out.data(), w, w * 4, h, TJPF_BGRX,
                             TJFLAG_ACCURATEDCT) == 0;
    }

private:
    tjhandle handle_;
};

// FFmpeg's frames at job quality q, made as the movie writer made them before: swscale to
// yuvj422p with the BT.601 matrix, then FFmpeg's Motion JPEG encoder at qscale
// 2 + (100 - q) * 29 / 100.
bool Today(const Frames& frames, int q, Measure& m) {
    const int w = frames[0]->Width(), h = frames[0]->Height();
    const AVCodec* codec = avcodec_find_encoder_by_name("mjpeg");
    if (!codec) return false;
    AVCodecContext* e = avcodec_alloc_context3(codec);
    e->width = w;
    e->height = h;
    e->pix_fmt = AV_PIX_FMT_YUVJ422P;
    e->time_base = AVRational{100, 2997};
    e->flags |= AV_CODEC_FLAG_QSCALE;
    e->global_quality = FF_QP2LAMBDA * (2 + (100 - q) * 29 / 100);
    if (avcodec_open2(e, codec, nullptr) < 0) return false;
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUVJ422P, SWS_BILINEAR,
                                     nullptr, nullptr, nullptr);
    const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws, coefs, 1, coefs, 1, 0, 1 << 16, 1 << 16);
    AVFrame* yuv = av_frame_alloc();
    yuv->format = e->pix_fmt;
    yuv->width = w;
    yuv->height = h;
    av_frame_get_buffer(yuv, 0);
    AVPacket* pkt = av_packet_alloc();
    Decoder dec;
    std::vector<uint8_t> pixels;
    size_t i = 0, bytes = 0;
    double sq = 0;
    bool ok = true;
    for (size_t n = 0; ok && n < frames.size(); ++n) {
        const kv::CDIB& f = *frames[n];
        const uint8_t* src[4] = {f.Row(h - 1), nullptr, nullptr, nullptr};
        const int stride[4] = {-f.RowBytes(), 0, 0, 0};
        av_frame_make_writable(yuv);
        sws_scale(sws, src, stride, 0, h, yuv->data, yuv->linesize);
        yuv->pts = static_cast<int64_t>(n);
        yuv->quality = e->global_quality;
        ok = avcodec_send_frame(e, yuv) >= 0 && avcodec_receive_packet(e, pkt) >= 0;
        if (!ok) break;
        bytes += pkt->size;
        ok = dec.Decode(pkt->data, pkt->size, w, h, pixels);
        if (ok) sq += SquaredError(pixels, *frames[i++]);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    av_frame_free(&yuv);
    sws_freeContext(sws);
    avcodec_free_context(&e);
    if (!ok || i != frames.size()) return false;
    m.bytes = static_cast<double>(bytes) / i;
    m.psnr = Psnr(sq, static_cast<double>(i) * w * h * 3);
    return true;
}

// libjpeg-turbo's frames coded as jq says.
bool Ours(const Frames& frames, kv::JpegQuality jq, bool psnr, Measure& m) {
    kv::JpegFrameEncoder enc;
    Decoder dec;
    std::vector<uint8_t> pixels;
    size_t bytes = 0;
    double sq = 0;
    for (const auto& frame : frames) {
        if (!enc.Encode(frame->Bits(), frame->RowBytes(), true, frame->Width(), frame->Height(), 32,
                        jq))
            return false;
        bytes += enc.Size();
        if (psnr) {
            if (!dec.Decode(enc.Data(), enc.Size(), frame->Width(), frame->Height(), pixels))
                return false;
            sq += SquaredError(pixels, *frame);
        }
    }
    const double n = static_cast<double>(frames.size());
    m.bytes = static_cast<double>(bytes) / n;
    m.psnr = psnr ? Psnr(sq, n * frames[0]->Width() * frames[0]->Height() * 3) : 0;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int w = argc > 2 ? std::atoi(argv[1]) : 720;
    const int h = argc > 2 ? std::atoi(argv[2]) : 480;
    const int count = argc > 3 ? std::atoi(argv[3]) : 20;
    const Frames& frames = kv_bench::PreRendered(w, h, count);
    if (frames.empty()) {
        std::fprintf(stderr, "no picture in %s: run make_picture.sh\n",
                     kv_bench::BenchDir().c_str());
        return 1;
    }
    // Bytes per frame at every libjpeg quality, with the standard and with the frame's own
    // Huffman tables.
    std::vector<double> size[2] = {std::vector<double>(101), std::vector<double>(101)};
    for (int own = 0; own < 2; ++own)
        for (int jq = 1; jq <= 100; ++jq) {
            Measure m;
            if (!Ours(frames, kv::JpegQuality(jq, own == 1), false, m)) return 1;
            size[own][jq] = m.bytes;
        }
    std::printf("%dx%d, %d frames; bytes per frame and PSNR (dB, RGB)\n", w, h, count);
    std::printf(
        "job q qscale | FFmpeg bytes  PSNR | libjpeg q  bytes  PSNR | largest q no larger: "
        "standard tables, own tables\n");
    int lastQscale = -1;
    for (int q = 0; q <= 100; ++q) {
        const int qscale = 2 + (100 - q) * 29 / 100;
        if (qscale == lastQscale) continue;
        lastQscale = qscale;
        Measure today, ours;
        if (!Today(frames, q, today)) {
            std::fprintf(stderr, "the FFmpeg movie at quality %d failed\n", q);
            return 1;
        }
        const kv::JpegQuality jq = kv::JpegQualityForMovie(q);
        if (!Ours(frames, jq, true, ours)) return 1;
        int fit[2] = {0, 0};  // 0: not even quality 1
        for (int own = 0; own < 2; ++own)
            for (int c = 1; c <= 100; ++c)
                if (size[own][c] <= today.bytes) fit[own] = c;
        std::printf("%5d %6d | %12.0f %5.2f | %6d%-3s %6.0f %5.2f | %3d %3d\n", q, qscale,
                    today.bytes, today.psnr, jq.quality, jq.frameHuffman ? " o" : "", ours.bytes,
                    ours.psnr, fit[0], fit[1]);
    }
    return 0;
}
