#include "platform/os/program_functions.h"

#include <windows.h>

namespace kv {

void* FindProgramFunction(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name));
}

}  // namespace kv
