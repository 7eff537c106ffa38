// Picture file loading entry points of CDIB. The format readers are added beside this file.
#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"

namespace kv {

int32_t CDIB::Load(const FileSpec& spec, const FileSpec& altFolder, bool showErrors) {
    (void)altFolder;
    (void)showErrors;
    DiskFile file;
    if (!file.Open(spec, DiskFile::OpenRead)) return 0;
    return ReadFrom(file) == 0 ? 1 : 0;
}

int32_t CDIB::ReadFrom(DiskFile& file) {
    (void)file;
    return 3;  // no reader yet: unreadable
}

}  // namespace kv
