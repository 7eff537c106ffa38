// A stand-in for the editor in the host round trip: shows a top-level window titled
// "Fernquill Kinevista" for a moment, optionally rewrites the exchange file as an applying
// editor does, and closes. Its behaviour comes from the environment:
//   KV_FAKE_EDITOR_MODE   quit (default) | apply | nowindow | hang
//   KV_FAKE_EDITOR_APPLY  file whose bytes "apply" writes into the exchange file
//   KV_FAKE_EDITOR_LOG    file that receives the command-line arguments, one a line
//   KV_FAKE_EDITOR_SEEN   file that receives the exchange file's bytes as found at start
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/document/show_file.h"
#include "platform/os/process.h"
#include "platform/os/window_list.h"

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool Copy(const std::string& from, const std::string& to) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) return false;
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) std::fwrite(buf, 1, n, out);
    std::fclose(in);
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::string log = Env("KV_FAKE_EDITOR_LOG"); !log.empty()) {
        if (std::FILE* f = std::fopen(log.c_str(), "wb")) {
            for (int i = 1; i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
            std::fclose(f);
        }
    }
    if (const std::string seen = Env("KV_FAKE_EDITOR_SEEN"); !seen.empty())
        Copy(kv::ExchangePath(), seen);

    const std::string mode = Env("KV_FAKE_EDITOR_MODE");
    if (mode == "nowindow") return 3;
    if (mode == "hang") {
        // Runs on without a window until the test releases it (a minute at most), after writing
        // its process id where the test looks for it.
        if (std::FILE* f = std::fopen(Env("KV_FAKE_EDITOR_PID").c_str(), "wb")) {
            std::fprintf(f, "%d\n", static_cast<int>(getpid()));
            std::fclose(f);
        }
        const std::string release = Env("KV_FAKE_EDITOR_RELEASE");
        for (int i = 0; i < 6000 && access(release.c_str(), F_OK) != 0; ++i)
            kv::SleepMilliseconds(10);
        return 0;
    }
    const uint64_t window = 1;
    if (!kv::RegisterTopWindow("Fernquill Kinevista", window)) return 4;
    kv::SleepMilliseconds(400);
    if (mode == "apply") Copy(Env("KV_FAKE_EDITOR_APPLY"), kv::ExchangePath());
    kv::UnregisterTopWindow(window);
    return 0;
}
