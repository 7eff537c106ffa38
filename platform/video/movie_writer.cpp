// MovieWriter over libavcodec/libavformat.
//
// Sections: [codec table] [AVI header repair] [open] [frames] [close].
#include "platform/video/movie_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "platform/video/encoder_options.h"
#include "platform/video/file_output.h"
#include "platform/video/jpeg_frame.h"
#include "platform/video/jpeg_frame_pool.h"
#include "platform/video/plain_file.h"
#include "platform/video/sound_track.h"
#include "platform/video/yuv_convert.h"

namespace kv {

namespace {

// --- [codec table] ----------------------------------------------------------------------------

// OwnScale: the encoder's settings come from encoder_options.h (the .mp4, .mkv, .webm codecs).
enum QualityStyle { NoQuality, QScale, Crf, DnxProfile, ProresProfile, OwnScale };

struct CodecEntry {
    MovieContainer container;
    const char* code;      // as stored in "CodecType"
    const char* encoder;   // FFmpeg encoder name
    AVPixelFormat pixFmt;  // what the encoder is fed
    uint32_t aviTag;  // fccHandler / biCompression written to the AVI (0 = BI_RGB); the stream's
                      // tag in the other containers (0 = the muxer's own)
    QualityStyle quality;
    int profile;  // ProRes profile of the code
    const char* name;
};

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

std::string AvError(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// --- [AVI header repair] ----------------------------------------------------------------------

// The AVI muxer stores the stream clock reduced by its common divisor (2398/100 becomes
// 1199/50). Readers that show dwRate/dwScale expect the values as given, so the video stream
// header is rewritten in place once the file is complete.
bool RestoreAviRate(const std::string& path, uint32_t rate, uint32_t scale) {
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f) return false;
    uint8_t head[16384];
    size_t n = std::fread(head, 1, sizeof head, f);
    bool done = false;
    for (size_t i = 0; i + 8 + 28 <= n && !done; ++i) {
        if (std::memcmp(head + i, "strh", 4) != 0 || std::memcmp(head + i + 8, "vids", 4) != 0)
            continue;
        uint8_t v[8];
        for (int k = 0; k < 4; ++k) {
            v[k] = static_cast<uint8_t>(scale >> (8 * k));
            v[4 + k] = static_cast<uint8_t>(rate >> (8 * k));
        }
        done = std::fseek(f, static_cast<long>(i + 8 + 20), SEEK_SET) == 0 &&
               std::fwrite(v, 1, 8, f) == 8;
    }
    return std::fclose(f) == 0 && done;
}

}  // namespace

// --- [open] -----------------------------------------------------------------------------------

struct MovieWriter::Impl {
    MovieFormat format;
    const CodecEntry* codec = nullptr;
    std::string path;
    std::string error;
    AVFormatContext* mux = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;    // converted frame owned here
    AVFrame* wrapper = nullptr;  // points at the caller's pixels when no conversion is needed
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    std::unique_ptr<SoundTrack> sound;    // with a sound file
    std::unique_ptr<JpegFramePool> jpeg;  // Motion JPEG: coded here instead of by enc
    JpegQuality jpegQuality;
    std::deque<std::function<void()>> held;  // release calls of frames the pool still reads
    bool ownYuv = false;                     // the own converter instead of sws
    bool fieldChroma = false;                // 4:2:0 colour from the rows of each field apart
    bool codedAsFields = false;              // the encoder codes each frame as two fields
    AVPixelFormat sourceFmt = AV_PIX_FMT_BGRA;
    bool keepBottomUp = false;  // AVI BI_RGB frames stay bottom-up
    // Uncompressed 32-bit AVI without sound: each frame's rows go from the caller's pixels to
    // the file in one write, with no encoder copy and no copy through the output buffer.
    bool rowsStraight = false;
    video::FileOutput output;  // the file when rows go straight
    bool headerWritten = false;
    int64_t next = 0;

    bool Fail(const std::string& what, int err = 0) {
        error = err ? what + ": " + AvError(err) : what;
        return false;
    }
    void DescribeScan(AVCodecContext* e);
    bool Drain();
    bool WritePacket(AVPacket* p, AVRational timeBase);
    bool WriteRows(int64_t n, const uint8_t* bottomRow);
    AVRational FrameTimeBase() const;
    bool OpenMuxer();
    bool OpenJpegStream();
    bool SetUpJpeg();
    bool CheckFormat(const AVCodec*& encoder);
    bool SetUpEncoder(const AVCodec* encoder);
    void SetThreads(AVCodecContext* e) const;
    void SetQuality();
    bool OpenStream();
    bool OpenSound();
    bool WriteHeader();
    bool SetUpFrames();
    bool Convert(const uint8_t* bottomRow, int32_t rowBytes, AVFrame** out);
    void Free();
};

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
    return av_guess_format(MuxerName(c), nullptr, nullptr) != nullptr;
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
    av_log_set_level(AV_LOG_ERROR);
    Impl& s = *m;
    s.error.clear();
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

// --- [frames] ---------------------------------------------------------------------------------

bool MovieWriter::Impl::Convert(const uint8_t* bottomRow, int32_t rowBytes, AVFrame** out) {
    const int h = format.height;
    const uint8_t* src = bottomRow;
    int stride = rowBytes;
    if (!keepBottomUp) {
        // Encoders want the top row first: walk the bottom-up rows backwards.
        src = bottomRow + static_cast<ptrdiff_t>(h - 1) * rowBytes;
        stride = -rowBytes;
    }
    if (!sws && !ownYuv) {
        av_frame_unref(wrapper);
        wrapper->format = sourceFmt;
        wrapper->width = format.width;
        wrapper->height = h;
        wrapper->data[0] = const_cast<uint8_t*>(src);
        wrapper->linesize[0] = stride;
        *out = wrapper;
        return true;
    }
    int err = av_frame_make_writable(frame);
    if (err < 0) return Fail("frame buffer", err);
    if (ownYuv) {
        YuvTarget t;
        t.layout = frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P
                       ? ChromaLayout::Yuv420
                       : ChromaLayout::Yuv422;
        t.fullRange = frame->format == AV_PIX_FMT_YUVJ420P || frame->format == AV_PIX_FMT_YUVJ422P;
        for (int i = 0; i < 3; ++i) {
            t.planes[i] = frame->data[i];
            t.strides[i] = frame->linesize[i];
        }
        if (fieldChroma && t.layout == ChromaLayout::Yuv420) {
            // Each field on its own, into every other row of the planes: colour never mixes
            // rows drawn half a frame apart.
            for (int field = 0; field < 2; ++field) {
                YuvTarget ft = t;
                for (int i = 0; i < 3; ++i) {
                    ft.planes[i] = t.planes[i] + field * t.strides[i];
                    ft.strides[i] = 2 * t.strides[i];
                }
                const int lowest = (h - 1 - field) % 2;  // its bottom row, counted from the bottom
                ConvertBgraToYuv(bottomRow + static_cast<ptrdiff_t>(lowest) * rowBytes,
                                 2 * static_cast<ptrdiff_t>(rowBytes), true, format.width, h / 2,
                                 ft);
            }
        } else {
            ConvertBgraToYuv(bottomRow, rowBytes, true, format.width, h, t);
        }
        *out = frame;
        return true;
    }
    const uint8_t* planes[4] = {src, nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    if (sws_scale(sws, planes, strides, 0, h, frame->data, frame->linesize) != h)
        return Fail("pixel conversion failed");
    *out = frame;
    return true;
}

bool MovieWriter::Impl::Drain() {
    for (;;) {
        int err = avcodec_receive_packet(enc, packet);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
        if (err < 0) return Fail("encoding failed", err);
        if (!WritePacket(packet, enc->time_base)) return false;
    }
}

// One coded frame into the file; the packet is emptied.
bool MovieWriter::Impl::WritePacket(AVPacket* p, AVRational timeBase) {
    av_packet_rescale_ts(p, timeBase, stream->time_base);
    p->stream_index = stream->index;
    if (format.container == MovieContainer::Avi) p->flags |= AV_PKT_FLAG_KEY;
    const int err = av_interleaved_write_frame(mux, p);
    av_packet_unref(p);
    if (err < 0) return Fail("cannot write to the movie file", err);
    return true;
}

// The bottom-up rows as they are, as the packet of frame n: what the raw video encoder would
// have copied into one. The muxer writes it before returning (one stream, nothing interleaved)
// and keeps no reference to the caller's pixels.
bool MovieWriter::Impl::WriteRows(int64_t n, const uint8_t* bottomRow) {
    av_packet_unref(packet);
    packet->data = const_cast<uint8_t*>(bottomRow);  // read only by the muxer
    packet->size = format.width * 4 * format.height;
    packet->pts = packet->dts = n;
    packet->duration = 1;
    packet->flags |= AV_PKT_FLAG_KEY;
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
    const int err = av_write_frame(mux, packet);
    av_packet_unref(packet);
    if (err < 0) return Fail("cannot write to the movie file", err);
    next = n + 1;
    return true;
}

bool MovieWriter::WriteFrame(int64_t n, const uint8_t* bottomRow, int32_t rowBytes) {
    if (!WriteFrameHeld(n, bottomRow, rowBytes, {})) return false;
    // The caller may change the pixels once this returns: wait for frames still being coded.
    Impl& s = *m;
    if (s.jpeg && !s.jpeg->Finish()) return s.Fail(s.jpeg->Error());
    return true;
}

bool MovieWriter::WriteFrameHeld(int64_t n, const uint8_t* bottomRow, int32_t rowBytes,
                                 std::function<void()> released) {
    Impl& s = *m;
    // Given back at once on every early return; once queued, the pool gives it back.
    struct GiveBack {
        std::function<void()>* f;
        ~GiveBack() {
            if (f && *f) (*f)();
        }
    } giveBack{&released};
    if (!s.headerWritten || !bottomRow) return s.Fail("movie not open");
    if (n < s.next) return s.Fail("frames must be written in order");
    if (rowBytes < s.format.width * (s.format.bitCount / 8)) return s.Fail("rows too short");
    if (s.jpeg) {
        // A failed pool takes no frame: this one is given back here, not at a later close,
        // which may run after the caller's buffers are gone.
        if (s.jpeg->Failed()) return s.Fail(s.jpeg->Error());
        s.held.push_back(std::move(released));
        giveBack.f = nullptr;
        s.next = n + 1;
        if (!s.jpeg->Submit(n, bottomRow, rowBytes, true)) return s.Fail(s.jpeg->Error());
        if (s.sound && !s.sound->WriteUntil(s.next)) return s.Fail(s.sound->Error());
        return true;
    }
    if (s.rowsStraight && rowBytes == s.format.width * 4) return s.WriteRows(n, bottomRow);
    AVFrame* f = nullptr;
    if (!s.Convert(bottomRow, rowBytes, &f)) return false;
    f->pts = n;
    f->pict_type = AV_PICTURE_TYPE_NONE;
    if (s.codedAsFields) {
        f->interlaced_frame = 1;
        f->top_field_first = s.format.scan == MovieScan::TopFieldFirst ? 1 : 0;
    }
    // Fixed-quantiser encoders read the quality from each frame.
    f->quality = s.enc->global_quality;
    int err = avcodec_send_frame(s.enc, f);
    if (f == s.wrapper) av_frame_unref(s.wrapper);
    if (err < 0) return s.Fail("encoder refused the frame", err);
    s.next = n + 1;
    if (!s.Drain()) return false;
    if (s.sound && !s.sound->WriteUntil(s.next)) return s.Fail(s.sound->Error());
    return true;
}

bool MovieWriter::FlushHeld() {
    Impl& s = *m;
    if (s.jpeg && !s.jpeg->Finish()) return s.Fail(s.jpeg->Error());
    return true;
}

bool MovieWriter::PrimeFrame(const uint8_t* bottomRow, int32_t rowBytes) {
    Impl& s = *m;
    if (!s.headerWritten || !bottomRow) return s.Fail("movie not open");
    if (s.jpeg) return true;  // nothing is converted ahead of the JPEG coding
    AVFrame* f = nullptr;
    bool ok = s.Convert(bottomRow, rowBytes, &f);
    if (f == s.wrapper) av_frame_unref(s.wrapper);
    return ok;
}

// --- [close] ----------------------------------------------------------------------------------

bool MovieWriter::Close() {
    Impl& s = *m;
    if (!s.mux && !s.enc) return true;
    bool ok = true;
    if (s.headerWritten && s.jpeg) {
        if (!s.jpeg->Finish()) ok = s.Fail(s.jpeg->Error());
    } else if (s.headerWritten) {
        int err = avcodec_send_frame(s.enc, nullptr);
        if (err < 0 && err != AVERROR_EOF) ok = s.Fail("flush", err);
        if (!s.Drain()) ok = false;
    }
    if (s.headerWritten) {
        if (s.sound && !s.sound->Finish(s.next)) ok = s.Fail(s.sound->Error());
        const int err = av_write_trailer(s.mux);
        if (err < 0) ok = s.Fail("cannot finish the movie file", err);
    }
    if (s.output.IsOpen()) {
        const int err = s.output.Close(s.mux);
        if (err < 0 && ok) ok = s.Fail("cannot finish the movie file", err);
    }
    const bool wrote = s.headerWritten;
    const bool avi = s.format.container == MovieContainer::Avi;
    s.Free();
    if (wrote && avi && av_gcd(s.format.rate, s.format.scale) > 1 &&
        !RestoreAviRate(s.path, static_cast<uint32_t>(s.format.rate),
                        static_cast<uint32_t>(s.format.scale)))
        ok = s.Fail("cannot finish the stream header");
    return ok;
}

}  // namespace kv
