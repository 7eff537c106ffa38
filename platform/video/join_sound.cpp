// JoinedSound over libavcodec (decoding each part, coding the whole) and libswresample (the
// decoder's sample format to the encoder's; the rate never changes).
//
// Positions are counted in samples from the start of the joined movie. The fifo holds the
// samples not yet coded, [coded, coded + fifo size); everything before `allowed` (the joined
// picture's end so far) may be coded.
#include "platform/video/join_sound.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/video/ffmpeg.h"

namespace kv::video {

namespace {

std::string AvText(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// The encoder that makes a stream of this kind, as the movie writers make it.
const AVCodec* EncoderFor(AVCodecID id) {
    if (id == AV_CODEC_ID_OPUS) return avcodec_find_encoder_by_name("libopus");
    if (id == AV_CODEC_ID_AAC) return avcodec_find_encoder_by_name("aac");
    return avcodec_find_encoder(id);
}

// Float samples where the encoder takes them (what the decoders of compressed sound give), else
// its first format.
AVSampleFormat SampleFormatFor(const AVCodec* codec, AVSampleFormat wanted) {
    const AVSampleFormat* f = codec->sample_fmts;
    if (!f) return wanted;
    for (const AVSampleFormat* p = f; *p != AV_SAMPLE_FMT_NONE; ++p)
        if (*p == AV_SAMPLE_FMT_FLTP || *p == AV_SAMPLE_FMT_FLT) return *p;
    for (const AVSampleFormat* p = f; *p != AV_SAMPLE_FMT_NONE; ++p)
        if (*p == wanted) return *p;
    return f[0];
}

// A gap in a part's sound longer than this is taken for a damaged timestamp, not silence.
constexpr int64_t MaxGapSeconds = 10;

}  // namespace

struct JoinedSound::Impl {
    AVFormatContext* mux = nullptr;
    AVStream* out = nullptr;
    AVCodecContext* enc = nullptr;
    AVCodecContext* dec = nullptr;
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    std::string error;
    int rate = 0;
    int frameSize = 1024;
    AVRational partBase{1, 1};  // the part's sound clock
    int64_t partZero = 0;       // in partBase: where the part's picture starts
    int64_t joinedZero = 0;     // samples: the same instant in the joined movie
    int64_t coded = 0;          // samples handed to the encoder
    int64_t allowed = 0;        // samples before the joined picture's end so far

    ~Impl() {
        avcodec_free_context(&dec);
        avcodec_free_context(&enc);
        swr_free(&swr);
        av_audio_fifo_free(fifo);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }

    bool Fail(const std::string& what, int err = 0) {
        if (error.empty()) error = err ? what + ": " + AvText(err) : what;
        return false;
    }

    int64_t Samples(int64_t num, int64_t den) const {
        return av_rescale_rnd(num, rate, den, AV_ROUND_NEAR_INF);
    }
    int64_t End() const { return coded + av_audio_fifo_size(fifo); }

    bool AddSilence(int64_t n);
    bool Place(AVFrame* f);
    bool Receive();
    bool Encode(int n);
    bool Drain();
    bool CodeAllowed();
    bool Resampler(AVFrame* f);
};

bool JoinedSound::Impl::AddSilence(int64_t n) {
    const int channels = enc->ch_layout.nb_channels;
    std::vector<uint8_t*> planes(static_cast<size_t>(channels), nullptr);
    while (n > 0) {
        const int count = static_cast<int>(std::min<int64_t>(n, 4096));
        uint8_t** data = nullptr;
        int err =
            av_samples_alloc_array_and_samples(&data, nullptr, channels, count, enc->sample_fmt, 0);
        if (err < 0) return Fail("out of memory", err);
        av_samples_set_silence(data, 0, count, channels, enc->sample_fmt);
        const int wrote = av_audio_fifo_write(fifo, reinterpret_cast<void**>(data), count);
        av_freep(&data[0]);
        av_freep(&data);
        if (wrote != count) return Fail("out of memory");
        n -= count;
    }
    return true;
}

bool JoinedSound::Impl::Resampler(AVFrame* f) {
    if (swr) return true;
    // The same channels in the same count are taken as they are: a layout the decoder leaves
    // unnamed must not be mixed down as if it were another.
    AVChannelLayout* from =
        f->ch_layout.nb_channels == enc->ch_layout.nb_channels ? &enc->ch_layout : &f->ch_layout;
    int err =
        swr_alloc_set_opts2(&swr, &enc->ch_layout, enc->sample_fmt, rate, from,
                            static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
    if (err >= 0) err = swr_init(swr);
    if (err < 0) return Fail("cannot convert the sound", err);
    return true;
}

// Lays a decoded frame at its place on the part's clock: what lies before the samples already
// laid (the encoder's priming, an overlap) is dropped, a gap becomes silence.
bool JoinedSound::Impl::Place(AVFrame* f) {
    if (f->sample_rate != rate) return Fail("the parts' sound changes its rate");
    if (!Resampler(f)) return false;
    const int channels = enc->ch_layout.nb_channels;
    uint8_t** data = nullptr;
    int err = av_samples_alloc_array_and_samples(&data, nullptr, channels, f->nb_samples,
                                                 enc->sample_fmt, 0);
    if (err < 0) return Fail("out of memory", err);
    const int got = swr_convert(swr, data, f->nb_samples,
                                const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    bool ok = got >= 0 || Fail("cannot convert the sound", got);
    int64_t at = End();
    const int64_t stamp = f->best_effort_timestamp;
    if (ok && stamp != AV_NOPTS_VALUE)
        at = joinedZero + av_rescale_q(stamp - partZero, partBase, AVRational{1, rate});
    // A stamp within one tick of the part's clock of where the sound already reaches is the
    // clock's rounding (Matroska counts milliseconds), not a gap or an overlap.
    const int64_t tick = std::max<int64_t>(1, av_rescale_q(1, partBase, AVRational{1, rate}));
    if (std::abs(at - End()) <= tick) at = End();
    if (ok && at > End() && at - End() <= MaxGapSeconds * rate) ok = AddSilence(at - End());
    if (ok && got > 0) {
        const int64_t skip = std::clamp<int64_t>(End() - at, 0, got);
        const int keep = got - static_cast<int>(skip);
        const bool planar = av_sample_fmt_is_planar(enc->sample_fmt) != 0;
        const int step = av_get_bytes_per_sample(enc->sample_fmt) * (planar ? 1 : channels);
        std::vector<void*> from(static_cast<size_t>(planar ? channels : 1));
        for (size_t c = 0; c < from.size(); ++c) from[c] = data[c] + skip * step;
        if (keep > 0 && av_audio_fifo_write(fifo, from.data(), keep) != keep)
            ok = Fail("out of memory");
    }
    av_freep(&data[0]);
    av_freep(&data);
    return ok;
}

bool JoinedSound::Impl::Receive() {
    for (;;) {
        const int err = avcodec_receive_frame(dec, frame);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
        if (err == AVERROR_INVALIDDATA) continue;
        if (err < 0) return Fail("cannot decode the sound of a part", err);
        const bool ok = Place(frame);
        av_frame_unref(frame);
        if (!ok) return false;
    }
}

bool JoinedSound::Impl::Drain() {
    for (;;) {
        int err = avcodec_receive_packet(enc, packet);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
        if (err < 0) return Fail("sound encoding failed", err);
        av_packet_rescale_ts(packet, enc->time_base, out->time_base);
        packet->stream_index = out->index;
        err = av_interleaved_write_frame(mux, packet);
        av_packet_unref(packet);
        if (err < 0) return Fail("cannot write the joined movie", err);
    }
}

bool JoinedSound::Impl::Encode(int n) {
    AVFrame* f = av_frame_alloc();
    if (!f) return Fail("out of memory");
    f->nb_samples = n;
    f->format = enc->sample_fmt;
    f->sample_rate = rate;
    av_channel_layout_copy(&f->ch_layout, &enc->ch_layout);
    int err = av_frame_get_buffer(f, 0);
    bool ok = err >= 0 || Fail("sound buffer", err);
    if (ok && av_audio_fifo_read(fifo, reinterpret_cast<void**>(f->extended_data), n) != n)
        ok = Fail("sound buffer");
    if (ok) {
        f->pts = coded;
        err = avcodec_send_frame(enc, f);
        if (err < 0) ok = Fail("the sound encoder refused the samples", err);
    }
    av_frame_free(&f);
    if (!ok) return false;
    coded += n;
    return Drain();
}

bool JoinedSound::Impl::CodeAllowed() {
    while (av_audio_fifo_size(fifo) >= frameSize && coded + frameSize <= allowed)
        if (!Encode(frameSize)) return false;
    return true;
}

JoinedSound::JoinedSound() : m(std::make_unique<Impl>()) {}

JoinedSound::~JoinedSound() = default;

const std::string& JoinedSound::Error() const {
    return m->error;
}

bool JoinedSound::Open(AVFormatContext* mux, const AVStream* like) {
    Impl& s = *m;
    const AVCodecParameters* p = like->codecpar;
    const AVCodec* codec = EncoderFor(p->codec_id);
    if (!codec)
        return s.Fail(std::string("no encoder for the parts' sound (") +
                      avcodec_get_name(p->codec_id) + ")");
    if (p->sample_rate <= 0 || p->ch_layout.nb_channels <= 0)
        return s.Fail("the parts' sound has no rate or channels");
    s.mux = mux;
    s.rate = p->sample_rate;
    s.enc = avcodec_alloc_context3(codec);
    s.packet = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (!s.enc || !s.packet || !s.frame) return s.Fail("out of memory");
    s.enc->sample_fmt =
        SampleFormatFor(codec, static_cast<AVSampleFormat>(p->format >= 0 ? p->format : 0));
    s.enc->sample_rate = s.rate;
    if (p->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&s.enc->ch_layout, p->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&s.enc->ch_layout, &p->ch_layout);
    s.enc->time_base = AVRational{1, s.rate};
    // Compressed sound at the bit rate the movie writers give it (a stream's own bit rate is
    // what its mostly silent parts happened to need, far too little for the loud ones).
    const int channels = s.enc->ch_layout.nb_channels;
    if (p->codec_id == AV_CODEC_ID_AAC)
        s.enc->bit_rate = 96000 * channels;
    else if (p->codec_id == AV_CODEC_ID_OPUS)
        s.enc->bit_rate = 64000 * channels;
    s.enc->thread_count = 1;
    if (mux->oformat->flags & AVFMT_GLOBALHEADER) s.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int err = avcodec_open2(s.enc, codec, nullptr);
    if (err < 0) return s.Fail(std::string("the sound encoder ") + codec->name + " refused", err);
    s.frameSize = s.enc->frame_size > 0 ? s.enc->frame_size : 1024;
    s.fifo = av_audio_fifo_alloc(s.enc->sample_fmt, channels, 4096);
    s.out = avformat_new_stream(mux, nullptr);
    if (!s.fifo || !s.out) return s.Fail("out of memory");
    err = avcodec_parameters_from_context(s.out->codecpar, s.enc);
    if (err < 0) return s.Fail("sound stream parameters", err);
    s.out->time_base = s.enc->time_base;
    return true;
}

bool JoinedSound::StartPart(const AVStream* stream, int64_t partZero, int64_t joinedNum,
                            int64_t joinedDen) {
    Impl& s = *m;
    avcodec_free_context(&s.dec);
    swr_free(&s.swr);
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return s.Fail("no decoder for the parts' sound");
    s.dec = avcodec_alloc_context3(codec);
    if (!s.dec) return s.Fail("out of memory");
    int err = avcodec_parameters_to_context(s.dec, stream->codecpar);
    if (err >= 0) {
        s.dec->pkt_timebase = stream->time_base;
        s.dec->thread_count = 1;
        err = avcodec_open2(s.dec, codec, nullptr);
    }
    if (err < 0) return s.Fail("cannot decode the sound of a part", err);
    s.partBase = stream->time_base;
    s.partZero = partZero;
    s.joinedZero = s.Samples(joinedNum, joinedDen);
    return true;
}

bool JoinedSound::AddPacket(const AVPacket* packet) {
    Impl& s = *m;
    if (!s.dec) return s.Fail("sound before its part began");
    const int err = avcodec_send_packet(s.dec, packet);
    // A damaged packet is passed over as players pass over it.
    if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_INVALIDDATA)
        return s.Fail("cannot decode the sound of a part", err);
    return s.Receive() && s.CodeAllowed();
}

bool JoinedSound::PictureReaches(int64_t num, int64_t den) {
    Impl& s = *m;
    s.allowed = std::max(s.allowed, s.Samples(num, den));
    return s.CodeAllowed();
}

bool JoinedSound::FinishPart(int64_t num, int64_t den) {
    Impl& s = *m;
    if (s.dec) {
        const int err = avcodec_send_packet(s.dec, nullptr);
        if (err < 0 && err != AVERROR_EOF) return s.Fail("cannot decode the sound of a part", err);
        if (!s.Receive()) return false;
    }
    const int64_t end = s.Samples(num, den);
    if (end > s.End() && !s.AddSilence(end - s.End())) return false;
    if (end < s.End()) {
        // Cut back to the picture's end: keep the first `keep` samples of the fifo.
        const int keep = static_cast<int>(std::max<int64_t>(end - s.coded, 0));
        const int channels = s.enc->ch_layout.nb_channels;
        uint8_t** data = nullptr;
        int err = av_samples_alloc_array_and_samples(&data, nullptr, channels, std::max(keep, 1),
                                                     s.enc->sample_fmt, 0);
        if (err < 0) return s.Fail("out of memory", err);
        bool ok = av_audio_fifo_read(s.fifo, reinterpret_cast<void**>(data), keep) == keep;
        av_audio_fifo_reset(s.fifo);
        ok = ok && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(data), keep) == keep;
        av_freep(&data[0]);
        av_freep(&data);
        if (!ok) return s.Fail("sound buffer");
    }
    avcodec_free_context(&s.dec);
    swr_free(&s.swr);
    s.allowed = std::max(s.allowed, end);
    return s.CodeAllowed();
}

bool JoinedSound::Finish() {
    Impl& s = *m;
    s.allowed = s.End();
    if (!s.CodeAllowed()) return false;
    const int rest = av_audio_fifo_size(s.fifo);
    if (rest > 0) {
        // An encoder that takes only whole frames gets the last one padded with silence.
        const bool small = (s.enc->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME |
                                                          AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
        if (!small && !s.AddSilence(s.frameSize - rest)) return false;
        if (!s.Encode(av_audio_fifo_size(s.fifo))) return false;
    }
    const int err = avcodec_send_frame(s.enc, nullptr);
    if (err < 0 && err != AVERROR_EOF) return s.Fail("sound flush", err);
    return s.Drain();
}

}  // namespace kv::video
