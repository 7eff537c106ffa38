// The stages of making a movie, one after another on one thread so that each has its own wall
// and processor time: the picture's decoding and preparation, the render of each frame, the
// conversion to the encoder's pixels, the encoding, and the writing of the packets into an AVI.
// Rows for the old way (swscale, FFmpeg's Motion JPEG) stand beside the new (the own converter,
// libjpeg-turbo) so that the gain of each replacement shows. Encoders run on one thread here;
// the whole runs in movie_bench give the figures a user sees.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "bench/bench_move.h"
#include "core/document/show_file.h"
#include "platform/video/jpeg_frame.h"
#include "platform/video/yuv_convert.h"

namespace {

struct Times {
    double wall = 0, cpu = 0;
};

double WallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuNow() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Adds the time of its life to a stage.
class Timed {
public:
    explicit Timed(Times& t) : t_(t), w0_(WallNow()), c0_(CpuNow()) {}
    ~Timed() {
        t_.wall += WallNow() - w0_;
        t_.cpu += CpuNow() - c0_;
    }

private:
    Times& t_;
    double w0_, c0_;
};

enum class Way { Raw, MjpegFfmpeg, MjpegOurs, H264Swscale, H264Ours };

const char* Name(Way w) {
    switch (w) {
        case Way::Raw:
            return "raw";
        case Way::MjpegFfmpeg:
            return "MJPG FFmpeg+sws";
        case Way::MjpegOurs:
            return "MJPG turbojpeg";
        case Way::H264Swscale:
            return "H264 sws";
        case Way::H264Ours:
            return "H264 own conv";
    }
    return "";
}

struct Run {
    Times decode, render, convert, encode, write;
    bool ok = false;
};

// The encoder as the movie writer sets it up at quality 100, on one thread.
AVCodecContext* OpenEncoder(Way way, int w, int h) {
    const bool mjpeg = way == Way::MjpegFfmpeg;
    const AVCodec* codec = avcodec_find_encoder_by_name(mjpeg ? "mjpeg" : "libx264");
    if (!codec) return nullptr;
    AVCodecContext* e = avcodec_alloc_context3(codec);
    e->width = w;
    e->height = h;
    e->pix_fmt = mjpeg ? AV_PIX_FMT_YUVJ422P : AV_PIX_FMT_YUV420P;
    e->time_base = AVRational{100, 2997};
    e->framerate = AVRational{2997, 100};
    e->gop_size = 1;
    e->max_b_frames = 0;
    e->thread_count = 1;
    if (mjpeg) {
        e->flags |= AV_CODEC_FLAG_QSCALE;
        e->global_quality = FF_QP2LAMBDA * 2;
    } else {
        av_opt_set(e->priv_data, "crf", "0", 0);
        av_opt_set(e->priv_data, "preset", "veryfast", 0);
    }
    if (avcodec_open2(e, codec, nullptr) < 0) avcodec_free_context(&e);
    return e;
}

// The AVI the packets go to, with one video stream described by `e` or, for the frames coded
// here, by hand.
struct Output {
    AVFormatContext* mux = nullptr;
    AVStream* st = nullptr;
    bool Open(const std::string& path, Way way, const AVCodecContext* e, int w, int h) {
        if (avformat_alloc_output_context2(&mux, nullptr, "avi", path.c_str()) < 0) return false;
        st = avformat_new_stream(mux, nullptr);
        if (e) {
            avcodec_parameters_from_context(st->codecpar, e);
        } else {
            st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
            st->codecpar->codec_id = way == Way::Raw ? AV_CODEC_ID_RAWVIDEO : AV_CODEC_ID_MJPEG;
            st->codecpar->format = way == Way::Raw ? AV_PIX_FMT_BGRA : AV_PIX_FMT_YUVJ422P;
            st->codecpar->width = w;
            st->codecpar->height = h;
            st->codecpar->codec_tag = way == Way::Raw ? 0 : MKTAG('M', 'J', 'P', 'G');
            st->codecpar->bits_per_coded_sample = way == Way::Raw ? 32 : 24;
        }
        st->time_base = AVRational{100, 2997};
        if (avio_open(&mux->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
        AVDictionary* opts = nullptr;
        if (way == Way::Raw) av_dict_set_int(&opts, "flipped_raw_rgb", 1, 0);
        const bool ok = avformat_write_header(mux, &opts) >= 0;
        av_dict_free(&opts);
        return ok;
    }
    bool Write(const uint8_t* data, int size, int64_t n) {
        AVPacket* p = av_packet_alloc();
        p->data = const_cast<uint8_t*>(data);
        p->size = size;
        p->pts = p->dts = n;
        p->flags |= AV_PKT_FLAG_KEY;
        p->stream_index = 0;
        const bool ok = av_write_frame(mux, p) >= 0;
        av_packet_free(&p);
        return ok;
    }
    bool Close() {
        if (!mux) return false;
        const bool ok = av_write_trailer(mux) >= 0;
        avio_closep(&mux->pb);
        avformat_free_context(mux);
        return ok;
    }
};

// One run's coding side: the encoder (for the FFmpeg ways), its frame and packet, the converter
// to its pixels, the own Motion JPEG coder and the AVI. `ok` turns false at the first failure.
class Coder {
public:
    Coder(Way way, int w, int h, Run& r) : way_(way), w_(w), h_(h), r_(r) {}
    ~Coder() {
        sws_freeContext(sws_);
        av_frame_free(&yuv_);
        av_packet_free(&pkt_);
        avcodec_free_context(&enc_);
    }
    Coder(const Coder&) = delete;
    Coder& operator=(const Coder&) = delete;

    bool Open(const std::string& path);
    void Put(const kv::CDIB& frame, int64_t n);
    void Finish();

    bool ok = true;

private:
    void PrepareYuv();
    void Convert(const kv::CDIB& frame);
    void Drain();

    const Way way_;
    const int w_, h_;
    Run& r_;
    Output out_;
    AVCodecContext* enc_ = nullptr;
    AVFrame* yuv_ = nullptr;
    AVPacket* pkt_ = nullptr;
    SwsContext* sws_ = nullptr;
    kv::JpegFrameEncoder jpeg_;
    const kv::JpegQuality jq_ = kv::JpegQualityForMovie(100);
};

bool Coder::Open(const std::string& path) {
    const bool h264 = way_ == Way::H264Swscale || way_ == Way::H264Ours;
    if (way_ == Way::MjpegFfmpeg || h264) {
        enc_ = OpenEncoder(way_, w_, h_);
        if (!enc_) return false;
    }
    if (!out_.Open(path, way_, enc_, w_, h_)) return false;
    yuv_ = av_frame_alloc();
    pkt_ = av_packet_alloc();
    if (enc_) PrepareYuv();
    return true;
}

// The encoder's frame, and swscale's context from the rendered frame to it.
void Coder::PrepareYuv() {
    yuv_->format = enc_->pix_fmt;
    yuv_->width = w_;
    yuv_->height = h_;
    av_frame_get_buffer(yuv_, 0);
    const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
    sws_ = sws_getContext(w_, h_, AV_PIX_FMT_BGRA, w_, h_, enc_->pix_fmt, SWS_BILINEAR, nullptr,
                          nullptr, nullptr);
    sws_setColorspaceDetails(sws_, coefs, 1, coefs, way_ == Way::MjpegFfmpeg, 0, 1 << 16, 1 << 16);
}

// The rendered frame into the encoder's frame, by the own converter or swscale.
void Coder::Convert(const kv::CDIB& frame) {
    Timed t(r_.convert);
    av_frame_make_writable(yuv_);
    if (way_ == Way::H264Ours) {
        kv::YuvTarget target;
        target.layout = kv::ChromaLayout::Yuv420;
        for (int p = 0; p < 3; ++p) {
            target.planes[p] = yuv_->data[p];
            target.strides[p] = yuv_->linesize[p];
        }
        kv::ConvertBgraToYuv(frame.Bits(), frame.RowBytes(), true, w_, h_, target);
    } else {
        const uint8_t* src[4] = {frame.Row(h_ - 1), nullptr, nullptr, nullptr};
        const int stride[4] = {-frame.RowBytes(), 0, 0, 0};
        sws_scale(sws_, src, stride, 0, h_, yuv_->data, yuv_->linesize);
    }
}

// Writes the packets the encoder has ready.
void Coder::Drain() {
    while (ok && avcodec_receive_packet(enc_, pkt_) == 0) {
        Timed t(r_.write);
        ok = out_.Write(pkt_->data, pkt_->size, pkt_->pts);
        av_packet_unref(pkt_);
    }
}

// Codes frame n of the move in this run's way and writes it.
void Coder::Put(const kv::CDIB& frame, int64_t n) {
    if (way_ == Way::Raw) {
        Timed t(r_.write);
        ok = out_.Write(frame.Bits(), frame.RowBytes() * h_, n);
    } else if (way_ == Way::MjpegOurs) {
        {
            Timed t(r_.encode);
            ok = jpeg_.Encode(frame.Bits(), frame.RowBytes(), true, w_, h_, 32, jq_);
        }
        Timed t(r_.write);
        ok = ok && out_.Write(jpeg_.Data(), static_cast<int>(jpeg_.Size()), n);
    } else {
        Convert(frame);
        yuv_->pts = n;
        yuv_->quality = enc_->global_quality;
        {
            Timed t(r_.encode);
            ok = avcodec_send_frame(enc_, yuv_) >= 0;
        }
        Drain();
    }
}

// Flushes the encoder and closes the AVI.
void Coder::Finish() {
    if (enc_) {
        avcodec_send_frame(enc_, nullptr);
        Drain();
    }
    Timed t(r_.write);
    ok = out_.Close() && ok;
}

Run Measure(Way way, int w, int h) {
    Run r;
    kv::Show show;
    show.FrameRate = 2997;
    {
        Timed t(r.decode);
        if (!kv::LoadShow(show, kv_bench::ShowFile(), false)) return r;
    }
    Coder coder(way, w, h, r);
    if (!coder.Open(kv_bench::BenchDir() + "/stages.avi")) return r;
    kv::CDIB frame(w, h, 32);
    for (int n = 0; coder.ok && n < kv_bench::MoveFrames; ++n) {
        {
            Timed t(r.render);
            coder.ok = kv::RenderFrame(show, n, 0, true, w, h, &frame, true);
        }
        if (!coder.ok) break;
        coder.Put(frame, n);
    }
    coder.Finish();
    r.ok = coder.ok;
    return r;
}

}  // namespace

// Prints the table of stages for each way and size (called by movie_bench's main).
void PrintMovieStages() {
    if (kv_bench::ShowFile().empty()) {
        std::printf("\nstages: no picture in %s\n", kv_bench::BenchDir().c_str());
        return;
    }
    av_log_set_level(AV_LOG_ERROR);
    std::printf(
        "\nstages, 300 frames on one thread (wall / processor seconds; the render uses its bands;"
        "\nMJPG turbojpeg converts inside its encoder)\n");
    std::printf("  %-9s %-16s %13s %13s %13s %13s %13s %13s\n", "size", "way", "decode", "render",
                "convert", "encode", "write", "whole");
    for (int hgt : {480, 1080}) {
        const int wid = hgt == 1080 ? 1920 : 720;
        for (Way way :
             {Way::Raw, Way::MjpegFfmpeg, Way::MjpegOurs, Way::H264Swscale, Way::H264Ours}) {
            const Run r = Measure(way, wid, hgt);
            if (!r.ok) {
                std::printf("  %-9s %-16s failed\n", hgt == 1080 ? "1920x1080" : "720x480",
                            Name(way));
                continue;
            }
            Times whole;
            for (const Times* t : {&r.decode, &r.render, &r.convert, &r.encode, &r.write}) {
                whole.wall += t->wall;
                whole.cpu += t->cpu;
            }
            std::printf("  %-9s %-16s", hgt == 1080 ? "1920x1080" : "720x480", Name(way));
            const Times* shown[] = {&r.decode, &r.render, &r.convert, &r.encode, &r.write, &whole};
            for (const Times* t : shown) std::printf(" %6.2f/%6.2f", t->wall, t->cpu);
            std::printf("\n");
        }
    }
}
