// kinevista: the editor program.
#include "editor/app/editor_app.h"

int main(int argc, char** argv) {
    return kv::RunEditorProgram(argc, argv);
}
