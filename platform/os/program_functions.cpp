#include "platform/os/program_functions.h"

#include <dlfcn.h>

namespace kv {

void* FindProgramFunction(const char* name) {
    // The program's own handle searches the program file and what it was linked with at start.
    void* program = dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD);
    if (!program) return nullptr;
    void* function = dlsym(program, name);
    dlclose(program);
    return function;
}

}  // namespace kv
