// What the simulated host's two files (sim_host.cpp, plugin_module.cpp) share. Private to the
// host.
#pragma once

#include <cstdint>
#include <string>

namespace kvhost {

// A result code or size as the call log writes it: 0x and eight upper-case hex digits.
std::string Hex32(uint32_t v);

// Releases a counted reference when it goes out of scope (null: nothing).
template <class T>
struct Releaser {
    T* p;
    ~Releaser() {
        if (p) p->Release();
    }
};

}  // namespace kvhost
