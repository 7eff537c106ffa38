// Outside run-time libraries loaded by name (the DPS and Video Toaster bridges).
//
// A name such as "MjpgOut.dll" is turned into the shared-object name "libMjpgOut.so" and
// looked up in each folder of $KINEVISTA_LIB_PATH (colon separated), then in the folder of the
// running program, then by the system loader's own search (LD_LIBRARY_PATH, ld.so.cache, the
// usual library folders). The handle unloads the library when it goes out of scope.
#pragma once

#include <string>

namespace kv {

class RuntimeLibrary {
public:
    RuntimeLibrary() = default;
    ~RuntimeLibrary() { Unload(); }
    RuntimeLibrary(const RuntimeLibrary&) = delete;
    RuntimeLibrary& operator=(const RuntimeLibrary&) = delete;

    // Loads the library named as on the original system ("RtvBridge.dll") or already in
    // shared-object form ("libRtvBridge.so"). False when no candidate loads.
    bool Load(const char* name);
    void Unload();
    bool Loaded() const { return m_handle != nullptr; }
    // The address of an exported entry, or nullptr.
    void* Find(const char* entry) const;
    // The file that was loaded (for messages and tests).
    const std::string& Path() const { return m_path; }

private:
    void* m_handle = nullptr;
    std::string m_path;
};

// "MjpgOut.dll" -> "libMjpgOut.so"; names already ending in ".so" are kept.
std::string SharedObjectName(const char* name);

}  // namespace kv
