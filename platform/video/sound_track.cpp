// SoundTrack over libavformat (reading the file), libswresample (to the encoder's rate, layout
// and sample format) and libavcodec (PCM, AAC or Opus).
//
// Sections: [source] [encoder] [timing] [writing].
#include "platform/video/sound_track.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/video/ffmpeg.h"
#include "platform/video/plain_file.h"

namespace kv {

namespace {

std::string AvText(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// --- [source] ---------------------------------------------------------------------------------

// The sound file decoded and converted to the encoder's rate, layout and sample format, read
// forward from any position (a position behind the last one read starts the file again).
class SoundSource {
public:
    ~SoundSource() { Close(); }

    // Opens the file's best sound stream; the output format is set later by SetOutput.
    bool Open(const std::string& path, std::string& error) {
        Close();
        m_path = path;
        int err = video::OpenPlainInput(&m_in, path);
        if (err < 0) return Failed(error, "cannot open the sound file " + path, err);
        err = avformat_find_stream_info(m_in, nullptr);
        if (err < 0) return Failed(error, "cannot read the sound file " + path, err);
        const AVCodec* decoder = nullptr;
        m_stream = av_find_best_stream(m_in, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (m_stream < 0 || !decoder) return Failed(error, "no sound in " + path, 0);
        m_dec = avcodec_alloc_context3(decoder);
        if (!m_dec) return Failed(error, "out of memory", 0);
        err = avcodec_parameters_to_context(m_dec, m_in->streams[m_stream]->codecpar);
        if (err >= 0) {
            m_dec->thread_count = 1;
            err = avcodec_open2(m_dec, decoder, nullptr);
        }
        if (err < 0) return Failed(error, "cannot decode the sound of " + path, err);
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        if (!m_packet || !m_frame) return Failed(error, "out of memory", 0);
        m_pos = 0;
        m_ended = false;
        return true;
    }

    int SourceRate() const { return m_dec ? m_dec->sample_rate : 0; }
    int SourceChannels() const { return m_dec ? m_dec->ch_layout.nb_channels : 0; }

    bool SetOutput(int rate, const AVChannelLayout& layout, AVSampleFormat fmt,
                   std::string& error) {
        m_rate = rate;
        av_channel_layout_uninit(&m_layout);
        av_channel_layout_copy(&m_layout, &layout);
        m_fmt = fmt;
        av_audio_fifo_free(m_fifo);
        m_fifo = av_audio_fifo_alloc(fmt, layout.nb_channels, 4096);
        if (!m_fifo) return Failed(error, "out of memory", 0);
        return true;
    }

    // Reads n samples at source position `at` (in output samples) into dst (pointers at the
    // place to write, one per plane); silence past the end of the file.
    bool Read(int64_t at, int n, uint8_t** dst, std::string& error) {
        if (at < m_pos && !Restart(error)) return false;
        while (m_pos < at) {
            if (av_audio_fifo_size(m_fifo) == 0) {
                if (m_ended) {
                    m_pos = at;
                    break;
                }
                if (!DecodeMore(error)) return false;
                continue;
            }
            const int skip =
                static_cast<int>(std::min<int64_t>(at - m_pos, av_audio_fifo_size(m_fifo)));
            av_audio_fifo_drain(m_fifo, skip);
            m_pos += skip;
        }
        while (av_audio_fifo_size(m_fifo) < n && !m_ended)
            if (!DecodeMore(error)) return false;
        const int have = std::min(n, av_audio_fifo_size(m_fifo));
        if (have > 0 && av_audio_fifo_read(m_fifo, reinterpret_cast<void**>(dst), have) != have)
            return Failed(error, "sound buffer", 0);
        if (have < n) {
            av_samples_set_silence(dst, have, n - have, m_layout.nb_channels, m_fmt);
        }
        m_pos += n;
        return true;
    }

private:
    bool Failed(std::string& error, const std::string& what, int err) {
        error = err ? what + ": " + AvText(err) : what;
        return false;
    }

    bool Restart(std::string& error) {
        const std::string path = m_path;
        AVChannelLayout layout{};
        av_channel_layout_copy(&layout, &m_layout);
        const int rate = m_rate;
        const AVSampleFormat fmt = m_fmt;
        const bool ok = Open(path, error) && SetOutput(rate, layout, fmt, error);
        av_channel_layout_uninit(&layout);
        return ok;
    }

    // Decodes the next packet of the stream into the fifo; at the end of the file flushes the
    // decoder and the resampler and marks the end.
    bool DecodeMore(std::string& error) {
        int err = av_read_frame(m_in, m_packet);
        if (err == AVERROR_EOF) {
            avcodec_send_packet(m_dec, nullptr);
            if (!ReceiveFrames(error)) return false;
            if (m_swr && !Convert(nullptr, 0, error)) return false;
            m_ended = true;
            return true;
        }
        if (err < 0) return Failed(error, "cannot read the sound file", err);
        if (m_packet->stream_index != m_stream) {
            av_packet_unref(m_packet);
            return true;
        }
        err = avcodec_send_packet(m_dec, m_packet);
        av_packet_unref(m_packet);
        // A damaged packet is skipped as players skip it.
        if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_INVALIDDATA)
            return Failed(error, "cannot decode the sound file", err);
        return ReceiveFrames(error);
    }

    bool ReceiveFrames(std::string& error) {
        for (;;) {
            int err = avcodec_receive_frame(m_dec, m_frame);
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
            if (err == AVERROR_INVALIDDATA) continue;
            if (err < 0) return Failed(error, "cannot decode the sound file", err);
            bool ok =
                Resampler(error) && Convert(const_cast<const uint8_t**>(m_frame->extended_data),
                                            m_frame->nb_samples, error);
            av_frame_unref(m_frame);
            if (!ok) return false;
        }
    }

    // The resampler for the current frame's format (made again when the stream changes it).
    bool Resampler(std::string& error) {
        AVFrame* f = m_frame;
        if (m_swr && f->sample_rate == m_inRate && f->format == m_inFmt &&
            av_channel_layout_compare(&f->ch_layout, &m_inLayout) == 0)
            return true;
        swr_free(&m_swr);
        int err =
            swr_alloc_set_opts2(&m_swr, &m_layout, m_fmt, m_rate, &f->ch_layout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
        if (err >= 0) err = swr_init(m_swr);
        if (err < 0) return Failed(error, "cannot convert the sound", err);
        m_inRate = f->sample_rate;
        m_inFmt = f->format;
        av_channel_layout_uninit(&m_inLayout);
        av_channel_layout_copy(&m_inLayout, &f->ch_layout);
        return true;
    }

    bool Convert(const uint8_t** in, int count, std::string& error) {
        const int room = swr_get_out_samples(m_swr, count);
        if (room <= 0) return true;
        uint8_t** out = nullptr;
        int err =
            av_samples_alloc_array_and_samples(&out, nullptr, m_layout.nb_channels, room, m_fmt, 0);
        if (err < 0) return Failed(error, "out of memory", err);
        const int got = swr_convert(m_swr, out, room, in, count);
        bool ok = got >= 0;
        if (!ok) Failed(error, "cannot convert the sound", got);
        if (got > 0 && av_audio_fifo_write(m_fifo, reinterpret_cast<void**>(out), got) != got)
            ok = Failed(error, "out of memory", 0);
        av_freep(&out[0]);
        av_freep(&out);
        return ok;
    }

    void Close() {
        swr_free(&m_swr);
        av_audio_fifo_free(m_fifo);
        m_fifo = nullptr;
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_dec);
        avformat_close_input(&m_in);
        av_channel_layout_uninit(&m_inLayout);
        m_inRate = 0;
        m_inFmt = -1;
    }

    std::string m_path;
    AVFormatContext* m_in = nullptr;
    AVCodecContext* m_dec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    SwrContext* m_swr = nullptr;
    AVAudioFifo* m_fifo = nullptr;
    int m_stream = -1;
    // Output format.
    int m_rate = 0;
    AVChannelLayout m_layout{};
    AVSampleFormat m_fmt = AV_SAMPLE_FMT_S16;
    // Input format the resampler was made for.
    int m_inRate = 0;
    int m_inFmt = -1;
    AVChannelLayout m_inLayout{};
    int64_t m_pos = 0;  // source position of the fifo's first sample
    bool m_ended = false;
};

}  // namespace

// --- [encoder] --------------------------------------------------------------------------------

struct SoundTrack::Impl {
    SoundSource source;
    AVFormatContext* mux = nullptr;
    AVCodecContext* enc = nullptr;
    AVStream* stream = nullptr;
    AVPacket* packet = nullptr;
    std::string error;
    int64_t frameNum = 1, frameDen = 25;
    int frameSize = 1024;
    int64_t written = 0;                            // samples handed to the encoder
    std::mutex cueLock;                             // cues may come from another thread
    std::vector<std::pair<int64_t, int64_t>> cues;  // (movie frame, source frame or -1)

    bool Fail(const std::string& what, int err = 0) {
        error = err ? what + ": " + AvText(err) : what;
        return false;
    }
    bool SetUpEncoder(MovieContainer container);
    int64_t Samples(int64_t frames) const;
    bool Fill(AVFrame* f, int64_t at, int n);
    bool Encode(int n);
    bool Drain();

    ~Impl() {
        av_packet_free(&packet);
        avcodec_free_context(&enc);
    }
};

namespace {

bool Offers(const int* list, int value) {
    if (!list) return true;
    for (; *list; ++list)
        if (*list == value) return true;
    return false;
}

}  // namespace

bool SoundTrack::Impl::SetUpEncoder(MovieContainer container) {
    const char* name = "pcm_s16le";
    AVSampleFormat fmt = AV_SAMPLE_FMT_S16;
    int rate = source.SourceRate() > 0 ? source.SourceRate() : 48000;
    const int channels = source.SourceChannels() == 1 ? 1 : 2;
    int64_t bitRate = 0;
    switch (container) {
        case MovieContainer::Mp4:
            name = "aac";
            fmt = AV_SAMPLE_FMT_FLTP;
            bitRate = 96000 * channels;
            break;
        case MovieContainer::Matroska:
        case MovieContainer::WebM:
            name = "libopus";
            fmt = AV_SAMPLE_FMT_FLT;
            rate = 48000;
            bitRate = 64000 * channels;
            break;
        default:
            break;
    }
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) return Fail(std::string("no sound encoder ") + name);
    if (!Offers(codec->supported_samplerates, rate)) rate = 48000;
    enc = avcodec_alloc_context3(codec);
    packet = av_packet_alloc();
    if (!enc || !packet) return Fail("out of memory");
    enc->sample_fmt = fmt;
    enc->sample_rate = rate;
    av_channel_layout_default(&enc->ch_layout, channels);
    enc->time_base = AVRational{1, rate};
    enc->bit_rate = bitRate;
    enc->thread_count = 1;
    if (mux->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int err = avcodec_open2(enc, codec, nullptr);
    if (err < 0) return Fail(std::string("sound encoder ") + name + " refused the format", err);
    frameSize = enc->frame_size > 0 ? enc->frame_size : 1024;
    stream = avformat_new_stream(mux, nullptr);
    if (!stream) return Fail("out of memory");
    err = avcodec_parameters_from_context(stream->codecpar, enc);
    if (err < 0) return Fail("sound stream parameters", err);
    stream->time_base = enc->time_base;
    return source.SetOutput(rate, enc->ch_layout, fmt, error);
}

SoundTrack::SoundTrack() : m(std::make_unique<Impl>()) {}

SoundTrack::~SoundTrack() = default;

const std::string& SoundTrack::Error() const {
    return m->error;
}

bool SoundTrack::Open(AVFormatContext* mux, MovieContainer container, const std::string& path,
                      int64_t frameNum, int64_t frameDen) {
    Impl& s = *m;
    if (frameNum <= 0 || frameDen <= 0) return s.Fail("frame rate must be above zero");
    s.mux = mux;
    s.frameNum = frameNum;
    s.frameDen = frameDen;
    return s.source.Open(path, s.error) && s.SetUpEncoder(container);
}

// --- [timing] ---------------------------------------------------------------------------------

// The sample at which movie frame `frames` starts (rounded to the nearest sample).
int64_t SoundTrack::Impl::Samples(int64_t frames) const {
    const int64_t rate = enc->sample_rate;
    return (frames * frameNum * rate * 2 + frameDen) / (2 * frameDen);
}

void SoundTrack::Cue(int64_t movieFrame, int64_t sourceFrame) {
    std::lock_guard<std::mutex> lock(m->cueLock);
    auto& cues = m->cues;
    // A later cue at the same or an earlier frame replaces what it overlaps.
    while (!cues.empty() && cues.back().first >= movieFrame) cues.pop_back();
    cues.emplace_back(movieFrame, sourceFrame < 0 ? -1 : sourceFrame);
}

// Fills n samples of the frame, starting at movie sample `at`, stretch by stretch.
bool SoundTrack::Impl::Fill(AVFrame* f, int64_t at, int n) {
    const int channels = enc->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(enc->sample_fmt) != 0;
    const int bytes = av_get_bytes_per_sample(enc->sample_fmt);
    int done = 0;
    while (done < n) {
        const int64_t t = at + done;
        // The last cue that has started by sample t, and where the next one starts.
        int64_t from = -1, start = 0, end = INT64_MAX;
        std::unique_lock<std::mutex> lock(cueLock);
        for (const auto& [movieFrame, sourceFrame] : cues) {
            const int64_t s = Samples(movieFrame);
            if (s <= t) {
                from = sourceFrame;
                start = s;
            } else {
                end = s;
                break;
            }
        }
        lock.unlock();
        const int count = static_cast<int>(std::min<int64_t>(n - done, end - t));
        uint8_t* dst[AV_NUM_DATA_POINTERS] = {};
        for (int c = 0; c < (planar ? channels : 1); ++c)
            dst[c] = f->extended_data[c] +
                     static_cast<ptrdiff_t>(done) * bytes * (planar ? 1 : channels);
        if (from < 0) {
            av_samples_set_silence(dst, 0, count, channels, enc->sample_fmt);
        } else if (!source.Read(Samples(from) + (t - start), count, dst, error)) {
            return false;
        }
        done += count;
    }
    return true;
}

// --- [writing] --------------------------------------------------------------------------------

bool SoundTrack::Impl::Drain() {
    for (;;) {
        int err = avcodec_receive_packet(enc, packet);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
        if (err < 0) return Fail("sound encoding failed", err);
        av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
        packet->stream_index = stream->index;
        err = av_interleaved_write_frame(mux, packet);
        av_packet_unref(packet);
        if (err < 0) return Fail("cannot write to the movie file", err);
    }
}

bool SoundTrack::Impl::Encode(int n) {
    AVFrame* f = av_frame_alloc();
    if (!f) return Fail("out of memory");
    f->nb_samples = n;
    f->format = enc->sample_fmt;
    f->sample_rate = enc->sample_rate;
    av_channel_layout_copy(&f->ch_layout, &enc->ch_layout);
    int err = av_frame_get_buffer(f, 0);
    bool ok = err >= 0 ? Fill(f, written, n) : Fail("sound buffer", err);
    if (ok) {
        f->pts = written;
        err = avcodec_send_frame(enc, f);
        if (err < 0) ok = Fail("sound encoder refused the samples", err);
    }
    av_frame_free(&f);
    if (!ok) return false;
    written += n;
    return Drain();
}

bool SoundTrack::WriteUntil(int64_t frames) {
    Impl& s = *m;
    const int64_t target = s.Samples(frames);
    while (target - s.written >= s.frameSize)
        if (!s.Encode(s.frameSize)) return false;
    return true;
}

bool SoundTrack::Finish(int64_t frames) {
    Impl& s = *m;
    if (!WriteUntil(frames)) return false;
    const int64_t rest = s.Samples(frames) - s.written;
    if (rest > 0 && !s.Encode(static_cast<int>(rest))) return false;
    const int err = avcodec_send_frame(s.enc, nullptr);
    if (err < 0 && err != AVERROR_EOF) return s.Fail("sound flush", err);
    return s.Drain();
}

}  // namespace kv

namespace kv {

std::string SoundFileProblem(const std::string& path) {
    std::string missing;
    if (!video::FfmpegAvailable(&missing)) return video::FfmpegMissing(missing);
    av_log_set_level(AV_LOG_ERROR);
    SoundSource source;
    std::string error;
    return source.Open(path, error) ? std::string() : error;
}

}  // namespace kv
