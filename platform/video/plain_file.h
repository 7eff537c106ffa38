// Every path this layer hands to libavformat names a plain file. libavformat reads a name such
// as "pipe:1", "http://..." or "concat:a|b" as a protocol, so a movie or sound file whose name
// happens to begin that way would be read or written somewhere else entirely. The name is given
// with the "file:" prefix, which the file protocol strips again, and the context is allowed the
// file protocol only, so that nothing a container refers to opens anything else either.
#pragma once

#include <string>

#include "platform/video/ffmpeg.h"

namespace kv::video {

inline std::string PlainFileUrl(const std::string& path) {
    return "file:" + path;
}

// avformat_open_input on a plain file.
inline int OpenPlainInput(AVFormatContext** context, const std::string& path) {
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    const int err = avformat_open_input(context, PlainFileUrl(path).c_str(), nullptr, &opts);
    av_dict_free(&opts);
    return err;
}

// avio_open for writing a plain file; the muxer context's own list is narrowed the same way.
inline int OpenPlainOutput(AVFormatContext* mux, const std::string& path) {
    av_freep(&mux->protocol_whitelist);
    mux->protocol_whitelist = av_strdup("file");
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    const int err =
        avio_open2(&mux->pb, PlainFileUrl(path).c_str(), AVIO_FLAG_WRITE, nullptr, &opts);
    av_dict_free(&opts);
    return err;
}

}  // namespace kv::video
