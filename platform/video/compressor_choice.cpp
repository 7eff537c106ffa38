// No system compressor dialog outside Windows.
#include "platform/video/compressor_choice.h"

namespace kv {

bool HaveCompressorDialog() {
    return false;
}

bool ChooseCompressor(void*, const std::string&, CompressorChoice&) {
    return false;
}

}  // namespace kv
