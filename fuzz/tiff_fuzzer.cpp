// Fuzz target for the tiff reader: the choice between the own reader and libtiff, libtiff's
// strips, tiles, planes, 16-bit and RGBA paths, and the file's orientation and profile.
#include "fuzz/scratch_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kvfuzz::ReadThroughScratchFile("tiff", data, size, kv::ReadTiffPicture);
}
