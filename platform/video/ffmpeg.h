// FFmpeg for this layer: every FFmpeg header it uses, and its FFmpeg calls bound late. The
// libraries are opened when the first call is made (a movie written or joined, a sound file
// read), not when a program starts: linked, their loading and binding cost each start of the
// editor and the command line more than all the rest of the program. Files of this layer include
// FFmpeg only through this header, so that every declaration comes before the names below are
// bound to their late entries.
//
// A call whose libraries cannot be opened ends the program with a message; the layer's entry
// points ask `FfmpegAvailable` first and report that as an ordinary error.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace kv::video {

// FFmpeg's libraries, each of which opens the ones it needs itself.
enum class FfmpegLibrary { avutil, swresample, swscale, avcodec, avformat };

// The shared-object name of a library, of the major version this program was built against
// ("libavformat.so.59").
const char* FfmpegLibraryName(FfmpegLibrary library);

// True when all five libraries open; otherwise false, with the loader's reason in `why`.
bool FfmpegAvailable(std::string* why = nullptr);

// The message for an entry point that cannot go on: "FFmpeg's libraries do not open (...)".
std::string FfmpegMissing(const std::string& why);

// The address of `name` in `library`, the library opened on first use. Ends the program with a
// message when it cannot be found: an entry point that asked `FfmpegAvailable` never gets there.
void* FfmpegEntry(FfmpegLibrary library, const char* name);

}  // namespace kv::video

// Each name is looked up once per place it is called from.
#define KV_FFMPEG_LATE(library, name)                                              \
    ([]() {                                                                        \
        static const auto entry = reinterpret_cast<decltype(&::name)>(             \
            ::kv::video::FfmpegEntry(::kv::video::FfmpegLibrary::library, #name)); \
        return entry;                                                              \
    }())

// The calls this layer makes. A call not listed here does not link.
#define av_audio_fifo_alloc KV_FFMPEG_LATE(avutil, av_audio_fifo_alloc)
#define av_audio_fifo_drain KV_FFMPEG_LATE(avutil, av_audio_fifo_drain)
#define av_audio_fifo_free KV_FFMPEG_LATE(avutil, av_audio_fifo_free)
#define av_audio_fifo_read KV_FFMPEG_LATE(avutil, av_audio_fifo_read)
#define av_audio_fifo_reset KV_FFMPEG_LATE(avutil, av_audio_fifo_reset)
#define av_audio_fifo_size KV_FFMPEG_LATE(avutil, av_audio_fifo_size)
#define av_audio_fifo_write KV_FFMPEG_LATE(avutil, av_audio_fifo_write)
#define av_channel_layout_compare KV_FFMPEG_LATE(avutil, av_channel_layout_compare)
#define av_channel_layout_copy KV_FFMPEG_LATE(avutil, av_channel_layout_copy)
#define av_channel_layout_default KV_FFMPEG_LATE(avutil, av_channel_layout_default)
#define av_channel_layout_uninit KV_FFMPEG_LATE(avutil, av_channel_layout_uninit)
#define av_dict_free KV_FFMPEG_LATE(avutil, av_dict_free)
#define av_dict_set KV_FFMPEG_LATE(avutil, av_dict_set)
#define av_dict_set_int KV_FFMPEG_LATE(avutil, av_dict_set_int)
#define av_frame_alloc KV_FFMPEG_LATE(avutil, av_frame_alloc)
#define av_frame_free KV_FFMPEG_LATE(avutil, av_frame_free)
#define av_frame_get_buffer KV_FFMPEG_LATE(avutil, av_frame_get_buffer)
#define av_frame_make_writable KV_FFMPEG_LATE(avutil, av_frame_make_writable)
#define av_frame_unref KV_FFMPEG_LATE(avutil, av_frame_unref)
#define av_free KV_FFMPEG_LATE(avutil, av_free)
#define av_freep KV_FFMPEG_LATE(avutil, av_freep)
#define av_gcd KV_FFMPEG_LATE(avutil, av_gcd)
#define av_get_bytes_per_sample KV_FFMPEG_LATE(avutil, av_get_bytes_per_sample)
#define av_log_set_level KV_FFMPEG_LATE(avutil, av_log_set_level)
#define av_malloc KV_FFMPEG_LATE(avutil, av_malloc)
#define av_opt_set KV_FFMPEG_LATE(avutil, av_opt_set)
#define av_opt_set_int KV_FFMPEG_LATE(avutil, av_opt_set_int)
#define av_rescale_q KV_FFMPEG_LATE(avutil, av_rescale_q)
#define av_rescale_rnd KV_FFMPEG_LATE(avutil, av_rescale_rnd)
#define av_sample_fmt_is_planar KV_FFMPEG_LATE(avutil, av_sample_fmt_is_planar)
#define av_samples_alloc_array_and_samples \
    KV_FFMPEG_LATE(avutil, av_samples_alloc_array_and_samples)
#define av_samples_set_silence KV_FFMPEG_LATE(avutil, av_samples_set_silence)
#define av_strdup KV_FFMPEG_LATE(avutil, av_strdup)
#define av_strerror KV_FFMPEG_LATE(avutil, av_strerror)
#define swr_alloc_set_opts2 KV_FFMPEG_LATE(swresample, swr_alloc_set_opts2)
#define swr_convert KV_FFMPEG_LATE(swresample, swr_convert)
#define swr_free KV_FFMPEG_LATE(swresample, swr_free)
#define swr_get_out_samples KV_FFMPEG_LATE(swresample, swr_get_out_samples)
#define swr_init KV_FFMPEG_LATE(swresample, swr_init)
#define sws_freeContext KV_FFMPEG_LATE(swscale, sws_freeContext)
#define sws_getCoefficients KV_FFMPEG_LATE(swscale, sws_getCoefficients)
#define sws_getContext KV_FFMPEG_LATE(swscale, sws_getContext)
#define sws_scale KV_FFMPEG_LATE(swscale, sws_scale)
#define sws_setColorspaceDetails KV_FFMPEG_LATE(swscale, sws_setColorspaceDetails)
#define av_packet_alloc KV_FFMPEG_LATE(avcodec, av_packet_alloc)
#define av_packet_clone KV_FFMPEG_LATE(avcodec, av_packet_clone)
#define av_packet_free KV_FFMPEG_LATE(avcodec, av_packet_free)
#define av_packet_rescale_ts KV_FFMPEG_LATE(avcodec, av_packet_rescale_ts)
#define av_packet_unref KV_FFMPEG_LATE(avcodec, av_packet_unref)
#define avcodec_alloc_context3 KV_FFMPEG_LATE(avcodec, avcodec_alloc_context3)
#define avcodec_descriptor_get KV_FFMPEG_LATE(avcodec, avcodec_descriptor_get)
#define avcodec_find_decoder KV_FFMPEG_LATE(avcodec, avcodec_find_decoder)
#define avcodec_find_encoder KV_FFMPEG_LATE(avcodec, avcodec_find_encoder)
#define avcodec_find_encoder_by_name KV_FFMPEG_LATE(avcodec, avcodec_find_encoder_by_name)
#define avcodec_free_context KV_FFMPEG_LATE(avcodec, avcodec_free_context)
#define avcodec_get_name KV_FFMPEG_LATE(avcodec, avcodec_get_name)
#define avcodec_open2 KV_FFMPEG_LATE(avcodec, avcodec_open2)
#define avcodec_parameters_copy KV_FFMPEG_LATE(avcodec, avcodec_parameters_copy)
#define avcodec_parameters_from_context KV_FFMPEG_LATE(avcodec, avcodec_parameters_from_context)
#define avcodec_parameters_to_context KV_FFMPEG_LATE(avcodec, avcodec_parameters_to_context)
#define avcodec_receive_frame KV_FFMPEG_LATE(avcodec, avcodec_receive_frame)
#define avcodec_receive_packet KV_FFMPEG_LATE(avcodec, avcodec_receive_packet)
#define avcodec_send_frame KV_FFMPEG_LATE(avcodec, avcodec_send_frame)
#define avcodec_send_packet KV_FFMPEG_LATE(avcodec, avcodec_send_packet)
#define av_codec_get_id KV_FFMPEG_LATE(avformat, av_codec_get_id)
#define av_find_best_stream KV_FFMPEG_LATE(avformat, av_find_best_stream)
#define av_guess_format KV_FFMPEG_LATE(avformat, av_guess_format)
#define av_interleaved_write_frame KV_FFMPEG_LATE(avformat, av_interleaved_write_frame)
#define av_read_frame KV_FFMPEG_LATE(avformat, av_read_frame)
#define av_write_frame KV_FFMPEG_LATE(avformat, av_write_frame)
#define av_write_trailer KV_FFMPEG_LATE(avformat, av_write_trailer)
#define avformat_alloc_output_context2 KV_FFMPEG_LATE(avformat, avformat_alloc_output_context2)
#define avformat_close_input KV_FFMPEG_LATE(avformat, avformat_close_input)
#define avformat_find_stream_info KV_FFMPEG_LATE(avformat, avformat_find_stream_info)
#define avformat_free_context KV_FFMPEG_LATE(avformat, avformat_free_context)
#define avformat_index_get_entries_count KV_FFMPEG_LATE(avformat, avformat_index_get_entries_count)
#define avformat_index_get_entry KV_FFMPEG_LATE(avformat, avformat_index_get_entry)
#define avformat_new_stream KV_FFMPEG_LATE(avformat, avformat_new_stream)
#define avformat_open_input KV_FFMPEG_LATE(avformat, avformat_open_input)
#define avformat_write_header KV_FFMPEG_LATE(avformat, avformat_write_header)
#define avio_alloc_context KV_FFMPEG_LATE(avformat, avio_alloc_context)
#define avio_closep KV_FFMPEG_LATE(avformat, avio_closep)
#define avio_context_free KV_FFMPEG_LATE(avformat, avio_context_free)
#define avio_flush KV_FFMPEG_LATE(avformat, avio_flush)
#define avio_open2 KV_FFMPEG_LATE(avformat, avio_open2)
