// Fuzz target for the command-line tool's JSON reader and the show it fills: any text must be
// read or refused within the reader's bounds, and a show that accepts a document must save into
// a block that parses again with the same keys.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tools/cli/json_reader.h"
#include "tools/cli/show_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kvcli::JsonValue doc;
    std::string error;
    if (!kvcli::ReadJson(text, doc, error)) {
        if (error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    static kv::Show* show = new kv::Show;
    show->Reset();
    if (!kvcli::ApplyShowJson(doc, *show, kvcli::ShowJsonOptions{}, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    std::vector<uint8_t> block(kv::Serialise(*show, nullptr));
    kv::Serialise(*show, block.data());
    kv::Show again;
    if (!kv::Parse(again, block.data(), static_cast<uint32_t>(block.size()), false)) std::abort();
    if (again.pictures[0].keyCount != show->pictures[0].keyCount) std::abort();
    return 0;
}
