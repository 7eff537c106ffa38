// Fuzz target for the webp reader: WebP files through libwebp (decoding straight into the image's
// rows), with the file's profile.
#include "fuzz/scratch_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kvfuzz::ReadThroughScratchFile("webp", data, size, kv::ReadWebp);
}
