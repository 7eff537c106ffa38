// MovieWriter over libavcodec/libavformat: the codec table and opening a movie. Writing frames
// and closing the file are in movie_writer_frames.cpp; what the two share in
// movie_writer_impl.h.
//
// Sections: [codec table] [open].
#include "platform/video/movie_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>

#include "platform/video/encoder_options.h"
#include "platform/video/ffmpeg.h"
#include "platform/video/file_output.h"
#include "platform/video/jpeg_frame.h"
#include "platform/video/jpeg_frame_pool.h"
#include "platform/video/movie_writer_impl.h"
#include "platform/video/plain_file.h"
#include "platform/video/sound_track.h"
#include "platform/video/yuv_convert.h"

namespace kv {

std::string moviewriter::AvError(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

namespace {

using moviewriter::CodecEntry;
using enum moviewriter::QualityStyle;

// --- [codec table] ----------------------------------------------------------------------------

constexpr uint32_t Tag(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

const CodecEntry kCodecs[] = {
    {MovieContainer::Avi, "", "rawvideo", AV_PIX_FMT_BGRA, 0, NoQuality, 0, "Uncompressed 32-bit"},
    {MovieContainer::Avi, "DIB ", "rawvideo", AV_PIX_FMT_BGRA, 0, NoQuality, 0,
     "Uncompressed 32-bit"},
    {MovieContainer::Avi, "MJPG", "mjpeg", AV_PIX_FMT_YUVJ422P, Tag('M', 'J', 'P', 'G'), QScale, 0,
     "Motion JPEG"},
    {MovieContainer::Avi, "FFV1", "ffv1", AV_PIX_FMT_BGRA, Tag('F', 'F', 'V', '1'), NoQuality, 0,
     "FFV1 (lossless)"},
    {MovieContainer::Avi, "HFYU", "huffyuv", AV_PIX_FMT_BGRA, Tag('H', 'F', 'Y', 'U'), NoQuality, 0,
     "HuffYUV (lossless)"},
    {MovieContainer::Avi, "H264", "libx264", AV_PIX_FMT_YUV420P, Tag('H', '2', '6', '4'), Crf, 0,
     "H.264"},
    {MovieContainer::Avi, "AVdn", "dnxhd", AV_PIX_FMT_YUV422P, Tag('A', 'V', 'd', 'n'), DnxProfile,
     0, "DNxHR"},
    {MovieContainer::QuickTime, "", "rawvideo", AV_PIX_FMT_ARGB, 0, NoQuality, 0, "None (32-bit)"},
    {MovieContainer::QuickTime, "raw ", "rawvideo", AV_PIX_FMT_ARGB, 0, NoQuality, 0,
     "None (32-bit)"},
    {MovieContainer::QuickTime, "jpeg", "mjpeg", AV_PIX_FMT_YUVJ422P, 0, QScale, 0, "Photo - JPEG"},
    {MovieContainer::QuickTime, "avc1", "libx264", AV_PIX_FMT_YUV420P, 0, Crf, 0, "H.264"},
    {MovieContainer::QuickTime, "rle ", "qtrle", AV_PIX_FMT_ARGB, 0, NoQuality, 0, "Animation"},
    {MovieContainer::QuickTime, "apco", "prores_ks", AV_PIX_FMT_YUV422P10LE, 0, ProresProfile, 0,
     "ProRes 422 Proxy"},
    {MovieContainer::QuickTime, "apcs", "prores_ks", AV_PIX_FMT_YUV422P10LE, 0, ProresProfile, 1,
     "ProRes 422 LT"},
    {MovieContainer::QuickTime, "apcn", "prores_ks", AV_PIX_FMT_YUV422P10LE, 0, ProresProfile, 2,
     "ProRes 422"},
    {MovieContainer::QuickTime, "apch", "prores_ks", AV_PIX_FMT_YUV422P10LE, 0, ProresProfile, 3,
     "ProRes 422 HQ"},
    {MovieContainer::Mp4, "H264", "libx264", AV_PIX_FMT_YUV420P, 0, OwnScale, 0, "H.264"},
    {MovieContainer::Mp4, "HEVC", "libx265", AV_PIX_FMT_YUV420P, Tag('h', 'v', 'c', '1'), OwnScale,
     0, "H.265 (HEVC)"},
    {MovieContainer::Matroska, "H264", "libx264", AV_PIX_FMT_YUV420P, 0, OwnScale, 0, "H.264"},
    {MovieContainer::Matroska, "HEVC", "libx265", AV_PIX_FMT_YUV420P, 0, OwnScale, 0,
     "H.265 (HEVC)"},
    {MovieContainer::Matroska, "VP90", "libvpx-vp9", AV_PIX_FMT_YUV420P, 0, OwnScale, 0, "VP9"},
    {MovieContainer::Matroska, "AV01", "libaom-av1", AV_PIX_FMT_YUV420P, 0, OwnScale, 0, "AV1"},
    {MovieContainer::Matroska, "FFV1", "ffv1", AV_PIX_FMT_BGRA, 0, OwnScale, 0, "FFV1 (lossless)"},
    {MovieContainer::Matroska, "MJPG", "mjpeg", AV_PIX_FMT_YUVJ422P, 0, OwnScale, 0, "Motion JPEG"},
    {MovieContainer::WebM, "VP90", "libvpx-vp9", AV_PIX_FMT_YUV420P, 0, OwnScale, 0, "VP9"},
    {MovieContainer::WebM, "AV01", "libaom-av1", AV_PIX_FMT_YUV420P, 0, OwnScale, 0, "AV1"},
};

// The containers whose empty code means their first codec rather than uncompressed frames.
bool EmptyCodeIsDefault(MovieContainer c) {
    return c == MovieContainer::Mp4 || c == MovieContainer::Matroska || c == MovieContainer::WebM;
}

const char* MuxerName(MovieContainer c) {
    switch (c) {
        case MovieContainer::Avi:
            return "avi";
        case MovieContainer::QuickTime:
            return "mov";
        case MovieContainer::Mp4:
            return "mp4";
        case MovieContainer::Matroska:
            return "matroska";
        case MovieContainer::WebM:
            return "webm";
    }
    return "avi";
}

// Motion JPEG rows are coded here by libjpeg-turbo (jpeg_frame.h), not by an FFmpeg encoder.
bool OwnJpeg(const CodecEntry* e) {
    return e && std::strcmp(e->encoder, "mjpeg") == 0;
}

const CodecEntry* FindCodec(MovieContainer c, const std::string& code) {
    for (const CodecEntry& e : kCodecs)
        if (e.container == c && (code == e.code || (code.empty() && EmptyCodeIsDefault(c))))
            return &e;
    return nullptr;
}

// Threads of the encoders that code frames side by side, and of H.264. Part of the bytes of an
// H.264 movie: changing the H.264 count changes every H.264 movie.
constexpr int IntraEncoderThreads = 2;
constexpr int H264EncoderThreads = 2;
// Motion JPEG: frames coded side by side by this many workers, at most JpegFramesInFlight of
// them held at once. Neither changes the bytes.
constexpr int JpegWorkers = 2;
constexpr int JpegFramesInFlight = 4;

// The encoder pixel formats the own converter writes from 32-bit frames (yuv_convert.h); the
// others go through swscale.
bool OwnConversion(AVPixelFormat from, AVPixelFormat to) {
    return from == AV_PIX_FMT_BGRA && (to == AV_PIX_FMT_YUV420P || to == AV_PIX_FMT_YUV422P ||
                                       to == AV_PIX_FMT_YUVJ420P || to == AV_PIX_FMT_YUVJ422P);
}

}  // namespace

// --- [open] -----------------------------------------------------------------------------------

void MovieWriter::Impl::Free() {
    // The pool goes first: its workers may still read frames, which are then given back.
    jpeg.reset();
    while (!held.empty()) {
        if (held.front()) held.front()();
        held.pop_front();
    }
    sws_freeContext(sws);
    sws = nullptr;
    av_frame_free(&frame);
    av_frame_free(&wrapper);
    av_packet_free(&packet);
    avcodec_free_context(&enc);
    sound.reset();
    if (mux) {
        if (output.IsOpen())
            output.Close(mux);
        else if (mux->pb)
            avio_closep(&mux->pb);
        avformat_free_context(mux);
        mux = nullptr;
    }
    stream = nullptr;
    headerWritten = false;
}

MovieWriter::MovieWriter() : m(std::make_unique<Impl>()) {}

MovieWriter::~MovieWriter() {
    Close();
}

bool MovieWriter::IsOpen() const {
    return m->headerWritten;
}

int64_t MovieWriter::NextFrame() const {
    return m->next;
}

const std::string& MovieWriter::LastError() const {
    return m->error;
}

bool HaveMovieContainer(MovieContainer c) {
    if (c == MovieContainer::QuickTime) {
        // Lets the tests and users see the behaviour of a build without the .mov muxer.
        const char* off = std::getenv("KINEVISTA_DISABLE_MOV");
        if (off && *off && std::strcmp(off, "0") != 0) return false;
    }
    return video::FfmpegAvailable() && av_guess_format(MuxerName(c), nullptr, nullptr) != nullptr;
}

bool HaveMovieCodec(MovieContainer c, const std::string& code) {
    const CodecEntry* e = FindCodec(c, code);
    return e && HaveMovieContainer(c) &&
           (OwnJpeg(e) || avcodec_find_encoder_by_name(e->encoder) != nullptr);
}

std::vector<std::string> MovieCodecs(MovieContainer c) {
    std::vector<std::string> out;
    for (const CodecEntry& e : kCodecs) {
        if (e.container != c) continue;
        if ((c == MovieContainer::Avi && !std::strcmp(e.code, "DIB ")) ||
            (c == MovieContainer::QuickTime && !std::strcmp(e.code, "raw ")))
            continue;  // aliases of the empty code
        if (HaveMovieCodec(c, e.code)) out.push_back(e.code);
    }
    return out;
}

std::string MovieCodecName(MovieContainer c, const std::string& code) {
    const CodecEntry* e = FindCodec(c, code);
    return e ? e->name : std::string();
}

// The format's codec, encoder and sizes; false (with the error) when one cannot be written.
bool MovieWriter::Impl::CheckFormat(const AVCodec*& encoder) {
    const bool avi = format.container == MovieContainer::Avi;
    if (!HaveMovieContainer(format.container)) return Fail("container not available");
    codec = FindCodec(format.container, format.codec);
    if (!codec) return Fail("unknown codec '" + format.codec + "'");
    encoder = OwnJpeg(codec) ? nullptr : avcodec_find_encoder_by_name(codec->encoder);
    if (!encoder && !OwnJpeg(codec)) return Fail(std::string("no encoder ") + codec->encoder);
    if (format.width <= 0 || format.height <= 0 || format.width > 8192 || format.height > 8192)
        return Fail("frame size out of range");
    if (format.bitCount != 24 && format.bitCount != 32) return Fail("frames must be 24 or 32 bits");
    if (format.rate <= 0 || format.scale <= 0) return Fail("frame rate must be above zero");
    if (!avi && (format.timeScale <= 0 || format.frameDuration <= 0))
        return Fail("media time scale must be above zero");
    return true;
}

bool MovieWriter::Impl::OpenMuxer() {
    int err =
        avformat_alloc_output_context2(&mux, nullptr, MuxerName(format.container), path.c_str());
    if (err < 0 || !mux) return Fail("no muxer", err);
    return true;
}

// The clock frames are numbered in: AVI's dwScale/dwRate, or the .mov media's frame duration.
AVRational MovieWriter::Impl::FrameTimeBase() const {
    return format.container == MovieContainer::Avi
               ? AVRational{format.scale, format.rate}
               : AVRational{format.frameDuration, format.timeScale};
}

// The encoder's context, with its size, clock and quality (not yet opened).
bool MovieWriter::Impl::SetUpEncoder(const AVCodec* encoder) {
    const bool avi = format.container == MovieContainer::Avi;
    if (!OpenMuxer()) return false;
    enc = avcodec_alloc_context3(encoder);
    if (!enc) return Fail("out of memory");
    AVCodecContext* e = enc;
    e->width = format.width;
    e->height = format.height;
    e->pix_fmt = codec->pixFmt;
    e->sample_aspect_ratio = AVRational{1, 1};
    if (avi) {
        e->time_base = AVRational{format.scale, format.rate};
        e->framerate = AVRational{format.rate, format.scale};
        e->gop_size = 1;  // every AVI frame is written as a key frame
    } else {
        e->time_base = AVRational{format.frameDuration, format.timeScale};
        e->framerate = AVRational{format.timeScale, format.frameDuration};
        e->gop_size = 12;
    }
    e->max_b_frames = 0;  // the first sample is the first frame written
    if (!avi && format.container != MovieContainer::QuickTime) DescribeScan(e);
    SetThreads(e);
    if (mux->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    SetQuality();
    return true;
}

// What the file says its frames are: the pixel shape, and progressive frames or fields in their
// order, with H.264 coding fields as fields.
void MovieWriter::Impl::DescribeScan(AVCodecContext* e) {
    if (format.pixelNum > 0 && format.pixelDen > 0)
        e->sample_aspect_ratio = AVRational{format.pixelNum, format.pixelDen};
    switch (format.scan) {
        case MovieScan::Progressive:
            e->field_order = AV_FIELD_PROGRESSIVE;
            return;
        case MovieScan::TopFieldFirst:
            e->field_order = AV_FIELD_TT;
            break;
        case MovieScan::BottomFieldFirst:
            e->field_order = AV_FIELD_BB;
            break;
    }
    // Two fields of 4:2:0 colour need whole chroma rows in each: a height of a multiple of 4.
    if (format.height % 4 != 0) return;
    fieldChroma = codec->pixFmt == AV_PIX_FMT_YUV420P;
    if (std::string(codec->encoder) == "libx264") {
        e->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
        // The stream's own order and picture structure, which players read before any
        // container tag.
        av_opt_set(
            e->priv_data, "x264-params",
            format.scan == MovieScan::TopFieldFirst ? "tff=1:pic-struct=1" : "bff=1:pic-struct=1",
            0);
        codedAsFields = true;
    }
}

// Encoder threads, always a fixed number so that the bytes never follow the machine's core
// count. Encoders that code every frame on its own run whole frames side by side, which gives the
// same bytes as one thread; H.264 runs a fixed number of frame threads (x264 is deterministic for
// a given count). Slices are never used: they change the bytes. Everything else runs on the
// thread that writes the movie.
void MovieWriter::Impl::SetThreads(AVCodecContext* e) const {
    const std::string name = codec->encoder;
    e->thread_type = FF_THREAD_FRAME;
    if (name == "mjpeg" || name == "prores_ks" || name == "dnxhd" || name == "huffyuv")
        e->thread_count = IntraEncoderThreads;
    else if (name == "libx264")
        e->thread_count = H264EncoderThreads;
    else
        e->thread_count = 1;
}

// Quality: AVI compressors take the job's 0..100; .mov ones the spatial quality 0..0x3FF.
void MovieWriter::Impl::SetQuality() {
    AVCodecContext* e = enc;
    int q = format.container == MovieContainer::QuickTime ? format.spatialQuality * 100 / 0x3FF
                                                          : format.quality;
    if (q < 0) q = 0;
    if (q > 100) q = 100;
    switch (codec->quality) {
        case QScale: {
            int qscale = 2 + (100 - q) * 29 / 100;
            e->flags |= AV_CODEC_FLAG_QSCALE;
            e->global_quality = FF_QP2LAMBDA * qscale;
            break;
        }
        case Crf: {
            char crf[16];
            std::snprintf(crf, sizeof crf, "%d", (100 - q) * 51 / 100);
            av_opt_set(e->priv_data, "crf", crf, 0);
            av_opt_set(e->priv_data, "preset", "veryfast", 0);
            break;
        }
        case DnxProfile:
            av_opt_set(e->priv_data, "profile",
                       q >= 60   ? "dnxhr_hq"
                       : q >= 30 ? "dnxhr_sq"
                                 : "dnxhr_lb",
                       0);
            break;
        case ProresProfile:
            av_opt_set_int(e->priv_data, "profile", codec->profile, 0);
            break;
        case OwnScale:
            SetEncoderOptions(e, codec->encoder, q);
            break;
        case NoQuality:
            break;
    }
}

// The movie's one video stream, described from the opened encoder.
bool MovieWriter::Impl::OpenStream() {
    const bool avi = format.container == MovieContainer::Avi;
    stream = avformat_new_stream(mux, nullptr);
    if (!stream) return Fail("out of memory");
    int err = avcodec_parameters_from_context(stream->codecpar, enc);
    if (err < 0) return Fail("stream parameters", err);
    if (avi) {
        stream->codecpar->codec_tag = codec->aviTag;
        stream->time_base = enc->time_base;
        stream->avg_frame_rate = enc->framerate;
    } else {
        if (codec->quality != ProresProfile) stream->codecpar->codec_tag = codec->aviTag;
        stream->time_base = AVRational{1, format.timeScale};
        stream->avg_frame_rate = enc->framerate;
        // Matroska and WebM state the display size from the stream's own pixel shape.
        if (format.container != MovieContainer::QuickTime)
            stream->sample_aspect_ratio = enc->sample_aspect_ratio;
    }
    return true;
}

// The video stream of Motion JPEG frames coded here: what the FFmpeg encoder's context used to
// describe (4:2:2 at full range, 24 bits in the AVI header).
bool MovieWriter::Impl::OpenJpegStream() {
    stream = avformat_new_stream(mux, nullptr);
    if (!stream) return Fail("out of memory");
    AVCodecParameters* par = stream->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_MJPEG;
    par->codec_tag = codec->aviTag;
    par->format = AV_PIX_FMT_YUVJ422P;
    par->color_range = AVCOL_RANGE_JPEG;
    par->width = format.width;
    par->height = format.height;
    par->sample_aspect_ratio = AVRational{1, 1};
    par->bits_per_coded_sample = 24;
    const AVRational frameTime = FrameTimeBase();
    stream->avg_frame_rate = AVRational{frameTime.den, frameTime.num};
    stream->time_base =
        format.container == MovieContainer::Avi ? frameTime : AVRational{1, format.timeScale};
    // The job's quality as the FFmpeg encoder took it (.mov: the spatial quality).
    int q = format.container == MovieContainer::QuickTime ? format.spatialQuality * 100 / 0x3FF
                                                          : format.quality;
    jpegQuality = JpegQualityForMovie(q);
    return true;
}

// The workers that code the frames; each coded frame is written as one key-frame packet.
bool MovieWriter::Impl::SetUpJpeg() {
    packet = av_packet_alloc();
    if (!packet) return Fail("out of memory");
    JpegFramePool::Frame f;
    f.width = format.width;
    f.height = format.height;
    f.bitCount = format.bitCount;
    f.quality = jpegQuality;
    jpeg = std::make_unique<JpegFramePool>(
        f, JpegWorkers, JpegFramesInFlight,
        [this](int64_t n, const uint8_t* data, size_t size) {
            av_packet_unref(packet);
            packet->data = const_cast<uint8_t*>(data);  // copied by the muxer, never written
            packet->size = static_cast<int>(size);
            packet->pts = packet->dts = n;
            packet->duration = 1;
            packet->flags |= AV_PKT_FLAG_KEY;
            return WritePacket(packet, FrameTimeBase());
        },
        [this](int64_t) {
            if (held.empty()) return;
            std::function<void()> release = std::move(held.front());
            held.pop_front();
            if (release) release();
        });
    return true;
}

// The sound stream, when the format names a sound file; a frame lasts the video's frame time.
bool MovieWriter::Impl::OpenSound() {
    if (format.soundPath.empty()) return true;
    const bool avi = format.container == MovieContainer::Avi;
    sound = std::make_unique<SoundTrack>();
    if (!sound->Open(mux, format.container, format.soundPath,
                     avi ? format.scale : format.frameDuration,
                     avi ? format.rate : format.timeScale))
        return Fail(sound->Error());
    return true;
}

void MovieWriter::CueSound(int64_t movieFrame, int64_t sourceFrame) {
    if (m->sound) m->sound->Cue(movieFrame, sourceFrame);
}

bool MovieWriter::HasSound() const {
    return m->sound != nullptr;
}

// Creates the file and writes the movie's header.
bool MovieWriter::Impl::WriteHeader() {
    const bool avi = format.container == MovieContainer::Avi;
    // Rows written straight go to the file through the own output, in one write each.
    int err = rowsStraight ? output.Open(mux, path) : video::OpenPlainOutput(mux, path);
    if (err < 0) return Fail("cannot create " + path, err);
    AVDictionary* opts = nullptr;
    if (!avi) av_dict_set_int(&opts, "video_track_timescale", format.timeScale, 0);
    // BI_RGB frames keep the image buffer's bottom-up row order (positive biHeight).
    if (avi) av_dict_set_int(&opts, "flipped_raw_rgb", 1, 0);
    // .mp4 movies are for playing from the web: the index goes before the frames.
    if (format.container == MovieContainer::Mp4) av_dict_set(&opts, "movflags", "+faststart", 0);
    err = avformat_write_header(mux, &opts);
    av_dict_free(&opts);
    if (err < 0) return Fail("cannot write the movie header", err);
    headerWritten = true;
    return true;
}

// The packet and frames, and the conversion when the encoder takes another pixel format.
bool MovieWriter::Impl::SetUpFrames() {
    AVCodecContext* e = enc;
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    wrapper = av_frame_alloc();
    if (!packet || !frame || !wrapper) return Fail("out of memory");
    if (sourceFmt == e->pix_fmt) return true;
    frame->format = e->pix_fmt;
    frame->width = e->width;
    frame->height = e->height;
    int err = av_frame_get_buffer(frame, 0);
    if (err < 0) return Fail("frame buffer", err);
    ownYuv = OwnConversion(sourceFmt, e->pix_fmt);
    if (ownYuv) return true;
    sws = sws_getContext(e->width, e->height, sourceFmt, e->width, e->height, e->pix_fmt,
                         SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws) return Fail("no conversion to the encoder's pixel format");
    // Rendered frames are full-range RGB; YUV codecs here are studio range except JPEG's.
    const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
    const bool fullRange = e->pix_fmt == AV_PIX_FMT_YUVJ422P;
    sws_setColorspaceDetails(sws, coefs, 1, coefs, fullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
    return true;
}

bool MovieWriter::Open(const std::string& path, const MovieFormat& format) {
    Close();
    Impl& s = *m;
    s.error.clear();
    std::string missing;
    if (!video::FfmpegAvailable(&missing)) return s.Fail(video::FfmpegMissing(missing));
    av_log_set_level(AV_LOG_ERROR);
    s.format = format;
    s.path = path;
    s.next = 0;
    const AVCodec* codec = nullptr;
    if (!s.CheckFormat(codec)) return false;
    s.sourceFmt = format.bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    s.keepBottomUp =
        format.container == MovieContainer::Avi && s.codec->encoder == std::string("rawvideo");
    if (OwnJpeg(s.codec))
        return s.OpenMuxer() && s.OpenJpegStream() && s.OpenSound() && s.WriteHeader() &&
               s.SetUpJpeg();
    s.rowsStraight = s.keepBottomUp && format.bitCount == 32 && format.soundPath.empty();
    if (!s.SetUpEncoder(codec)) return false;
    const int err = avcodec_open2(s.enc, codec, nullptr);
    if (err < 0)
        return s.Fail(std::string("encoder ") + s.codec->encoder + " refused the format", err);
    return s.OpenStream() && s.OpenSound() && s.WriteHeader() && s.SetUpFrames();
}

}  // namespace kv
