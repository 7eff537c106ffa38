// kinevista: the editor program.
#include <cstdio>
#include <cstring>

#include "editor/app/editor_app.h"
#include "kv_version.h"
#include "platform/os/atomic_file.h"
#include "platform/os/utf8_names.h"

namespace {

// The program with its arguments as UTF-8.
int Main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kinevista %s\n", KV_VERSION_TEXT);
        return 0;
    }
    // A file-size limit then fails the write that meets it (the old file kept) instead of
    // killing the editor with a half-written settings or exchange file.
    kv::os::IgnoreFileSizeSignal();
    return kv::RunEditorProgram(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    return kv::os::RunProgram("kinevista", argc, argv, Main);
}
