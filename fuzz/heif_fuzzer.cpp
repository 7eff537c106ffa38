// Fuzz target for the heif reader: HEIC and AVIF files through libheif, with the file's profile.
#include "fuzz/scratch_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kvfuzz::ReadThroughScratchFile("heif", data, size, kv::ReadHeif);
}
