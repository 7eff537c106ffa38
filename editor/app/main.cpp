// kinevista: the editor program.
#include "editor/app/editor_app.h"
#include "platform/os/atomic_file.h"

int main(int argc, char** argv) {
    // A file-size limit then fails the write that meets it (the old file kept) instead of
    // killing the editor with a half-written settings or exchange file.
    kv::os::IgnoreFileSizeSignal();
    return kv::RunEditorProgram(argc, argv);
}
