// The CLI's MovieHost: movie options from flags, output and show names from the command line,
// a progress line on the terminal and Ctrl-C as Esc. Shared by the movie, still and batch
// commands.
#pragma once

#ifdef KV_HAVE_OUTPUT

#include <optional>
#include <string>
#include <vector>

#include "editor/output/movie_host.h"

namespace kvcli {

class Context;

class CliMovieHost : public kv::MovieHost {
public:
    CliMovieHost();
    ~CliMovieHost() override;

    // Takes --size --start --end --hold --fps --quality --fields --no-fields --reverse --codec
    // out of the context; false on a usage error (already reported).
    bool TakeMovieFlags(Context& ctx);
    // Checks --codec against the container of the output name; false after a usage message.
    bool CheckCodec(Context& ctx) const;

    bool MovieOptions(kv::MovieOptionTexts& texts) override;
    bool ChooseOutputFile(const kv::FileRequest& request, std::string& path) override;
    bool ChooseShowFiles(const kv::FileRequest& request, std::vector<std::string>& files) override;
    bool ChooseAviCompressor(std::string& codec, int32_t& quality) override;
    bool ChooseQtCompressor(std::string& codec, int32_t& spatialQuality,
                            int32_t& temporalRate) override;
    void ShowProgress(double fraction, const char* text, uint64_t startTick) override;
    bool TakeKeyDown(bool anyKey) override;

    std::string output;
    std::vector<std::string> showFiles;

private:
    std::optional<std::string> m_width, m_height, m_start, m_end, m_hold, m_fps, m_quality;
    std::optional<bool> m_fields, m_reverse;
    std::optional<std::string> m_codec;
    bool m_tty = false;
    bool m_lineOpen = false;
    uint64_t m_lastDraw = 0;
};

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
