// MovieWriter's frames: converting the caller's pixels for the encoder, coding and writing
// them (straight rows, the encoder, or the Motion JPEG pool), and closing the movie.
//
// Sections: [AVI header repair] [frames] [close].
#include <cstdio>
#include <cstring>

#include "platform/video/ffmpeg.h"
#include "platform/video/movie_writer.h"
#include "platform/video/movie_writer_impl.h"
#include "platform/video/plain_file.h"
#include "platform/video/yuv_convert.h"

namespace kv {

namespace {

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
