// Functions the running program file exports by name.
#pragma once

namespace kv {

// The address of the C function `name` exported by the program file of this process (not by a
// library it loaded), or nullptr when it exports none by that name. A plug-in cannot link to
// the program that loads it; this is how it finds an optional service of that program.
void* FindProgramFunction(const char* name);

}  // namespace kv
