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

Run Measure(Way way, int w, int h) {
    Run r;
    kv::Show show;
    show.FrameRate = 2997;
    {
        Timed t(r.decode);
        if (!kv::LoadShow(show, kv_bench::ShowFile(), false)) return r;
    }
    const bool h264 = way == Way::H264Swscale || way == Way::H264Ours;
    AVCodecContext* enc = nullptr;
    if (way == Way::MjpegFfmpeg || h264) {
        enc = OpenEncoder(way, w, h);
        if (!enc) return r;
    }
    Output out;
    const std::string path = kv_bench::BenchDir() + "/stages.avi";
    if (!out.Open(path, way, enc, w, h)) return r;
    kv::CDIB frame(w, h, 32);
    AVFrame* yuv = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    SwsContext* sws = nullptr;
    if (enc) {
        yuv->format = enc->pix_fmt;
        yuv->width = w;
        yuv->height = h;
        av_frame_get_buffer(yuv, 0);
        const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
        sws = sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, enc->pix_fmt, SWS_BILINEAR, nullptr,
                             nullptr, nullptr);
        sws_setColorspaceDetails(sws, coefs, 1, coefs, way == Way::MjpegFfmpeg, 0, 1 << 16,
                                 1 << 16);
    }
    kv::JpegFrameEncoder jpeg;
    const kv::JpegQuality jq = kv::JpegQualityForMovie(100);
    bool ok = true;
    auto drain = [&](int64_t) {
        while (ok && avcodec_receive_packet(enc, pkt) == 0) {
            Timed t(r.write);
            ok = out.Write(pkt->data, pkt->size, pkt->pts);
            av_packet_unref(pkt);
        }
    };
    for (int n = 0; ok && n < kv_bench::MoveFrames; ++n) {
        {
            Timed t(r.render);
            ok = kv::RenderFrame(show, n, 0, true, w, h, &frame, true);
        }
        if (!ok) break;
        if (way == Way::Raw) {
            Timed t(r.write);
            ok = out.Write(frame.Bits(), frame.RowBytes() * h, n);
        } else if (way == Way::MjpegOurs) {
            {
                Timed t(r.encode);
                ok = jpeg.Encode(frame.Bits(), frame.RowBytes(), true, w, h, 32, jq);
            }
            Timed t(r.write);
            ok = ok && out.Write(jpeg.Data(), static_cast<int>(jpeg.Size()), n);
        } else {
            {
                Timed t(r.convert);
                av_frame_make_writable(yuv);
                if (way == Way::H264Ours) {
                    kv::YuvTarget target;
                    target.layout = kv::ChromaLayout::Yuv420;
                    for (int p = 0; p < 3; ++p) {
                        target.planes[p] = yuv->data[p];
                        target.strides[p] = yuv->linesize[p];
                    }
                    kv::ConvertBgraToYuv(frame.Bits(), frame.RowBytes(), true, w, h, target);
                } else {
                    const uint8_t* src[4] = {frame.Row(h - 1), nullptr, nullptr, nullptr};
                    const int stride[4] = {-frame.RowBytes(), 0, 0, 0};
                    sws_scale(sws, src, stride, 0, h, yuv->data, yuv->linesize);
                }
            }
            yuv->pts = n;
            yuv->quality = enc->global_quality;
            {
                Timed t(r.encode);
                ok = avcodec_send_frame(enc, yuv) >= 0;
            }
            drain(n);
        }
    }
    if (enc) {
        avcodec_send_frame(enc, nullptr);
        drain(-1);
    }
    {
        Timed t(r.write);
        ok = out.Close() && ok;
    }
    sws_freeContext(sws);
    av_frame_free(&yuv);
    av_packet_free(&pkt);
    avcodec_free_context(&enc);
    r.ok = ok;
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
