// Fuzz target for the show parser: any block must parse or be refused without reading past it,
// and every show that parses must serialise into a block that parses again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/document/show_file.h"
#include "core/picture/alert.h"
#include "core/render/show_loading.h"
#include "core/show/show.h"

namespace {

class QuietSink : public kv::AlertSink {
public:
    kv::Answer Show(kv::AlertKind, const std::string&, const std::string&) override {
        return kv::Answer::No;
    }
};

kv::Show& TheShow() {
    static kv::Show* show = [] {
        setenv("KINEVISTA_PUBLIC", "/tmp/kv-show-parse-fuzzer", 1);
        static QuietSink sink;
        kv::SetAlertSink(&sink);
        kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
        return new kv::Show;
    }();
    return *show;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kv::MaxShowFileBytes) return 0;
    kv::Show& show = TheShow();
    // The picture path is never a real file: a fuzzed path must not open devices or fixtures.
    std::vector<uint8_t> block(data, data + size);
    constexpr char Missing[] = "kv-fuzz-missing.bmp";
    if (block.size() >= 8 + 266) std::memcpy(block.data() + 14, Missing, sizeof Missing);

    show.Reset();
    // A quarter of the inputs prepare the placeholder for the missing picture; the rest skip
    // the picture, which keeps the parser fuzzing fast.
    show.ShowPicError = !(size > 5 && (data[5] & 3) == 0);
    show.length = 900;
    show.RescaleShow = size > 4 && (data[4] & 1);
    const bool render = size > 3 && (data[3] & 1);
    if (!kv::Parse(show, block.data(), static_cast<uint32_t>(block.size()), render)) return 0;

    std::vector<uint8_t> again(kv::Serialise(show, nullptr));
    if (again.size() > kv::ShowSaveBufferBytes) std::abort();
    kv::Serialise(show, again.data());
    kv::Show& copy = show;  // parse the written block back into the same (reset) show
    copy.Reset();
    if (!kv::Parse(copy, again.data(), static_cast<uint32_t>(again.size()), false)) std::abort();
    return 0;
}
