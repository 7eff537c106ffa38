// JoinMovies: libavformat remuxing of movie segments (see movie_join.h).
#include "platform/video/movie_join.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/video/ffmpeg.h"
#include "platform/video/join_sound.h"
#include "platform/video/plain_file.h"

namespace kv {

namespace {

std::string AvError(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

struct OutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// Whether a later part's streams are those of the first, which the joined file describes.
bool SameStreams(const AVFormatContext* first, const AVFormatContext* part, const std::string& path,
                 std::string& error) {
    if (part->nb_streams != first->nb_streams) {
        error = path + " has " + std::to_string(part->nb_streams) + " streams, the first part " +
                std::to_string(first->nb_streams);
        return false;
    }
    for (unsigned s = 0; s < first->nb_streams; ++s) {
        const AVCodecParameters* a = first->streams[s]->codecpar;
        const AVCodecParameters* b = part->streams[s]->codecpar;
        const bool same = a->codec_type == b->codec_type && a->codec_id == b->codec_id &&
                          a->width == b->width && a->height == b->height &&
                          a->format == b->format && a->sample_rate == b->sample_rate &&
                          av_cmp_q(first->streams[s]->time_base, part->streams[s]->time_base) == 0;
        if (!same) {
            error = "stream " + std::to_string(s) + " of " + path +
                    " differs from the first part's (codec, size or clock)";
            return false;
        }
    }
    return true;
}

// Intra-only codecs can start a part on any frame; others need a key frame first.
bool NeedsKeyStart(const AVCodecParameters* p) {
    const AVCodecDescriptor* d = avcodec_descriptor_get(p->codec_id);
    return p->codec_type == AVMEDIA_TYPE_VIDEO && !(d && (d->props & AV_CODEC_PROP_INTRA_ONLY));
}

std::string ShortPart(const std::string& path, int64_t got, int64_t promised) {
    return path + " is cut short: frame " + std::to_string(got + 1) + " of " +
           std::to_string(promised) + " is missing";
}

// The frames each video stream of a part promises before a packet is read (the demuxer adds
// to its index while reading a file that has none): AVI, the frames of the idx1 (or OpenDML)
// index that hold bytes, since empty frames (an AVI gap) are not read as packets, or without an
// index (it lies at the end, and a part cut short has lost it) the stream header's length;
// .mov and .mp4, the sample table. -1 where nothing is promised (Matroska, WebM, sound).
std::vector<int64_t> PromisedFrames(const AVFormatContext* in) {
    std::vector<int64_t> promised(in->nb_streams, -1);
    for (unsigned s = 0; s < in->nb_streams; ++s) {
        AVStream* st = in->streams[s];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        const int entries = avformat_index_get_entries_count(st);
        int64_t count = entries > 0 ? 0 : st->nb_frames;
        for (int i = 0; i < entries; ++i)
            if (avformat_index_get_entry(st, i)->size > 0) ++count;
        if (count > 0) promised[s] = count;
    }
    return promised;
}

// Opens a part; `promised` is taken before the stream probe reads packets into the index.
bool OpenPart(const std::string& path, Input& in, std::vector<int64_t>& promised,
              std::string& error) {
    AVFormatContext* c = nullptr;
    int err = video::OpenPlainInput(&c, path);
    if (err < 0) {
        error = "cannot open " + path + ": " + AvError(err);
        return false;
    }
    in.reset(c);
    promised = PromisedFrames(c);
    err = avformat_find_stream_info(c, nullptr);
    if (err < 0) {
        error = "cannot read the streams of " + path + ": " + AvError(err);
        return false;
    }
    if (c->nb_streams == 0) {
        error = path + " holds no streams";
        return false;
    }
    return true;
}

// Whether a part read to its end held what it promised: the count of PromisedFrames, or for
// Matroska and WebM, which keep no count, the segment's duration against the end of the last
// packet (within one frame). `packets` and `ends` are per stream, `ends` in the stream's own
// time base. False with `error` naming the part and the first frame missing.
bool PartIsWhole(const AVFormatContext* in, const std::vector<int64_t>& promised,
                 const std::vector<int64_t>& packets, const std::vector<int64_t>& ends,
                 const std::string& path, std::string& error) {
    const std::string demuxer = in->iformat->name;
    const bool matroska = demuxer.find("matroska") != std::string::npos;
    // The segment's duration covers its longest stream (sound may outlast the last frame by a
    // fraction of one), so the latest end of any stream is what it is held against.
    const int64_t start = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
    int64_t latest = start;
    for (unsigned s = 0; s < in->nb_streams; ++s)
        if (ends[s] != AV_NOPTS_VALUE)
            latest =
                std::max(latest, av_rescale_q(ends[s], in->streams[s]->time_base, AV_TIME_BASE_Q));
    for (unsigned s = 0; s < in->nb_streams; ++s) {
        AVStream* st = in->streams[s];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (!matroska) {
            if (packets[s] < promised[s]) {
                error = ShortPart(path, packets[s], promised[s]);
                return false;
            }
            continue;
        }
        if (in->duration <= 0) continue;
        AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) continue;
        const int64_t frame = av_rescale_q(1, av_inv_q(rate), AV_TIME_BASE_Q);
        if (latest - start + frame <= in->duration) {
            const int64_t whole = av_rescale_q(in->duration, AV_TIME_BASE_Q, av_inv_q(rate));
            error = ShortPart(path, packets[s], whole);
            return false;
        }
    }
    return true;
}

class Joiner {
public:
    Joiner(std::string out, std::string writeTo)
        : m_out(std::move(out)), m_writeTo(std::move(writeTo)) {}

    bool Start(const AVFormatContext* first) {
        AVFormatContext* c = nullptr;
        int err = avformat_alloc_output_context2(&c, nullptr, nullptr, m_out.c_str());
        if (err < 0 || !c) return Fail("no container for " + m_out + ": " + AvError(err));
        m_mux.reset(c);
        const bool avi = std::string(c->oformat->name) == "avi";
        bool raw = false;
        m_sounds.resize(first->nb_streams);
        for (unsigned s = 0; s < first->nb_streams; ++s) {
            const AVStream* in = first->streams[s];
            if (in->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                // Sound is coded again across the joints (join_sound.h).
                m_sounds[s] = std::make_unique<video::JoinedSound>();
                if (!m_sounds[s]->Open(c, in))
                    return Fail("the sound cannot be kept in step: " + m_sounds[s]->Error());
                continue;
            }
            AVStream* st = avformat_new_stream(c, nullptr);
            if (!st) return Fail("out of memory");
            err = avcodec_parameters_copy(st->codecpar, in->codecpar);
            if (err < 0) return Fail("stream parameters: " + AvError(err));
            // The tag is kept where the container knows it for this codec (ProRes profiles,
            // AVI compressors); otherwise the muxer picks its own.
            const uint32_t tag = in->codecpar->codec_tag;
            if (!c->oformat->codec_tag ||
                av_codec_get_id(c->oformat->codec_tag, tag) != in->codecpar->codec_id)
                st->codecpar->codec_tag = 0;
            st->time_base = in->time_base;
            st->avg_frame_rate = in->avg_frame_rate;
            st->r_frame_rate = in->r_frame_rate;
            raw = raw || in->codecpar->codec_id == AV_CODEC_ID_RAWVIDEO;
        }
        m_offsets.assign(first->nb_streams, 0);
        m_lastDts.assign(first->nb_streams, AV_NOPTS_VALUE);
        err = video::OpenPlainOutput(c, m_writeTo);
        if (err < 0) return Fail("cannot create " + m_writeTo + ": " + AvError(err));
        AVDictionary* opts = nullptr;
        // Uncompressed AVI rows stay bottom-up, as the parts store them.
        if (avi && raw) av_dict_set_int(&opts, "flipped_raw_rgb", 1, 0);
        for (unsigned s = 0; s < first->nb_streams; ++s) {
            if (first->streams[s]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                // The .mov clock of the parts is kept (one unit a frame's hundredth).
                av_dict_set_int(&opts, "video_track_timescale", first->streams[s]->time_base.den,
                                0);
                break;
            }
        }
        err = avformat_write_header(c, &opts);
        av_dict_free(&opts);
        if (err < 0) return Fail("cannot write the header of " + m_out + ": " + AvError(err));
        return true;
    }

    // What one part has delivered so far.
    struct Part {
        Part(AVFormatContext* input, const std::string& partPath)
            : in(input),
              path(partPath),
              seen(in->nb_streams, false),
              ends(in->nb_streams, 0),
              start(in->nb_streams, AV_NOPTS_VALUE),
              packets(in->nb_streams, 0),
              ownEnds(in->nb_streams, AV_NOPTS_VALUE),
              picture(av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)) {}
        AVFormatContext* in;
        const std::string& path;
        std::vector<bool> seen;
        std::vector<int64_t> ends;   // in the joined movie's time, per stream
        std::vector<int64_t> start;  // the part's first timestamp, per stream
        // What the part delivered, to be held against what its index promised.
        std::vector<int64_t> packets;
        std::vector<int64_t> ownEnds;
        int picture;
        // Sound read before the part's first picture waits for it: only then is it known where
        // the part begins in the joined movie.
        std::vector<std::unique_ptr<AVPacket, PacketFree>> waiting;
        bool soundStarted = false;

        // Counts a packet of stream s and notes where it ends in the part's own time.
        void Count(unsigned s, const AVPacket& pkt) {
            ++packets[s];
            const int64_t own = pkt.pts != AV_NOPTS_VALUE ? pkt.pts : pkt.dts;
            if (own == AV_NOPTS_VALUE) return;
            const int64_t end = own + (pkt.duration > 0 ? pkt.duration : 0);
            if (ownEnds[s] == AV_NOPTS_VALUE || end > ownEnds[s]) ownEnds[s] = end;
        }
    };

    // Takes a sound packet: held until the part's first picture, else handed to its sound.
    bool TakeSound(Part& part, unsigned s, AVPacket* pkt) {
        part.Count(s, *pkt);
        if (!part.soundStarted && part.picture >= 0) {
            part.waiting.emplace_back(av_packet_clone(pkt));
            av_packet_unref(pkt);
            if (!part.waiting.back()) return Fail("out of memory");
            return true;
        }
        if (!part.soundStarted && !StartSound(part.in, part.picture)) return false;
        part.soundStarted = true;
        const bool ok = m_sounds[s]->AddPacket(pkt);
        av_packet_unref(pkt);
        if (!ok) return Fail("the sound of " + part.path + ": " + m_sounds[s]->Error());
        return true;
    }

    // Copies a picture (or other) packet, moved on by the length of the parts before; the
    // first picture lets the waiting sound go.
    bool CopyPacket(Part& part, unsigned s, AVPacket* pkt) {
        // Each part's own clock starts at its first timestamp.
        if (part.start[s] == AV_NOPTS_VALUE)
            part.start[s] = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
        if (part.start[s] == AV_NOPTS_VALUE) part.start[s] = 0;
        part.Count(s, *pkt);
        const int64_t shift = m_offsets[s] - part.start[s];
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += shift;
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += shift;
        const int64_t stamp = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        const int64_t duration = pkt->duration > 0 ? pkt->duration : 1;
        if (stamp != AV_NOPTS_VALUE && stamp + duration > part.ends[s])
            part.ends[s] = stamp + duration;
        if (pkt->dts != AV_NOPTS_VALUE && m_lastDts[s] != AV_NOPTS_VALUE &&
            pkt->dts <= m_lastDts[s]) {
            av_packet_unref(pkt);
            return Fail(part.path +
                        ": timestamps run backwards; the part does not follow the "
                        "one before");
        }
        if (pkt->dts != AV_NOPTS_VALUE) m_lastDts[s] = pkt->dts;
        AVStream* ost = m_mux->streams[s];
        av_packet_rescale_ts(pkt, part.in->streams[s]->time_base, ost->time_base);
        pkt->pos = -1;
        const int err = av_interleaved_write_frame(m_mux.get(), pkt);
        if (err < 0) return Fail("cannot write " + m_out + ": " + AvError(err));
        ++m_packets;
        if (static_cast<int>(s) != part.picture) return true;
        if (!part.soundStarted) {
            if (!StartSound(part.in, part.picture)) return false;
            part.soundStarted = true;
            for (auto& w : part.waiting)
                if (!AddSound(part.in, *w, part.path)) return false;
            part.waiting.clear();
        }
        return SoundReaches(part.ends[s], part.in->streams[s]->time_base, part.path);
    }

    // Copies one part's packets, each stream moved on by the length of the parts before.
    bool Add(AVFormatContext* in, const std::string& path, const std::vector<int64_t>& promised) {
        std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
        if (!pkt) return Fail("out of memory");
        Part part(in, path);
        for (;;) {
            const int err = av_read_frame(in, pkt.get());
            if (err == AVERROR_EOF) break;
            if (err < 0) return Fail("cannot read " + path + ": " + AvError(err));
            const unsigned s = static_cast<unsigned>(pkt->stream_index);
            if (s >= in->nb_streams) {
                av_packet_unref(pkt.get());
                continue;
            }
            if (!part.seen[s] && NeedsKeyStart(in->streams[s]->codecpar) &&
                !(pkt->flags & AV_PKT_FLAG_KEY)) {
                av_packet_unref(pkt.get());
                return Fail(path +
                            " does not start with a key frame; it cannot be joined "
                            "without re-encoding");
            }
            part.seen[s] = true;
            if (!(m_sounds[s] ? TakeSound(part, s, pkt.get()) : CopyPacket(part, s, pkt.get())))
                return false;
        }
        const int picture = part.picture;
        if (!part.soundStarted && !StartSound(in, picture)) return false;
        for (auto& w : part.waiting)
            if (!AddSound(in, *w, path)) return false;
        std::string missing;
        if (!PartIsWhole(in, promised, part.packets, part.ownEnds, path, missing))
            return Fail(missing);
        for (unsigned s = 0; s < in->nb_streams; ++s)
            if (part.ends[s] > m_offsets[s]) m_offsets[s] = part.ends[s];
        // The part's sound ends with its picture.
        if (picture >= 0) {
            const AVRational base = in->streams[picture]->time_base;
            for (auto& sound : m_sounds)
                if (sound && !sound->FinishPart(m_offsets[picture] * base.num, base.den))
                    return Fail("the sound of " + path + ": " + sound->Error());
        }
        return true;
    }

    bool Finish() {
        for (auto& sound : m_sounds)
            if (sound && !sound->Finish()) return Fail("the joined sound: " + sound->Error());
        int err = av_write_trailer(m_mux.get());
        if (err < 0) return Fail("cannot finish " + m_out + ": " + AvError(err));
        err = avio_closep(&m_mux->pb);
        if (err < 0) return Fail("cannot write " + m_out + ": " + AvError(err));
        return true;
    }

    std::string error;
    long long Packets() const { return m_packets; }

private:
    bool Fail(const std::string& what) {
        if (error.empty()) error = what;
        return false;
    }

    // The part's sound starts at the part's own zero, which lies where the part begins in the
    // joined movie: the joined length so far. Its first picture stamp is not the zero: Matroska
    // shows every picture later by the sound coder's delay, in each part as in the movie of one
    // piece, and copied pictures keep that offset by themselves.
    bool StartSound(const AVFormatContext* in, int picture) {
        int64_t joinedNum = 0, joinedDen = 1;
        if (picture >= 0) {
            const AVRational base = in->streams[picture]->time_base;
            joinedNum = m_offsets[picture] * base.num;
            joinedDen = base.den;
        }
        for (unsigned s = 0; s < in->nb_streams; ++s) {
            if (!m_sounds[s]) continue;
            if (!m_sounds[s]->StartPart(in->streams[s], 0, joinedNum, joinedDen))
                return Fail("the sound cannot be kept in step: " + m_sounds[s]->Error());
        }
        return true;
    }

    bool AddSound(const AVFormatContext*, AVPacket& packet, const std::string& path) {
        video::JoinedSound& sound = *m_sounds[static_cast<size_t>(packet.stream_index)];
        const bool ok = sound.AddPacket(&packet);
        return ok || Fail("the sound of " + path + ": " + sound.Error());
    }

    bool SoundReaches(int64_t end, AVRational base, const std::string& path) {
        for (auto& sound : m_sounds)
            if (sound && !sound->PictureReaches(end * base.num, base.den))
                return Fail("the sound of " + path + ": " + sound->Error());
        return true;
    }

    std::string m_out, m_writeTo;
    Output m_mux;
    long long m_packets = 0;
    std::vector<int64_t> m_offsets, m_lastDts;
    std::vector<std::unique_ptr<video::JoinedSound>> m_sounds;  // null for pictures
};

}  // namespace

JoinResult JoinMovies(const std::string& out, const std::string& writeTo,
                      const std::vector<std::string>& parts) {
    JoinResult r;
    if (parts.empty()) {
        r.error = "no parts to join";
        return r;
    }
    std::string missing;
    if (!video::FfmpegAvailable(&missing)) {
        r.error = video::FfmpegMissing(missing);
        return r;
    }
    av_log_set_level(AV_LOG_ERROR);
    Input first;
    std::vector<int64_t> firstPromised, promised;
    if (!OpenPart(parts[0], first, firstPromised, r.error)) return r;
    Joiner joiner(out, writeTo);
    if (!joiner.Start(first.get())) {
        r.error = joiner.error;
        return r;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        Input part;
        AVFormatContext* in = first.get();
        promised = firstPromised;
        if (i > 0) {
            if (!OpenPart(parts[i], part, promised, r.error)) return r;
            if (!SameStreams(first.get(), part.get(), parts[i], r.error)) return r;
            in = part.get();
        }
        if (!joiner.Add(in, parts[i], promised)) {
            r.error = joiner.error;
            return r;
        }
    }
    if (!joiner.Finish()) {
        r.error = joiner.error;
        return r;
    }
    r.ok = true;
    r.packets = joiner.Packets();
    return r;
}

}  // namespace kv
