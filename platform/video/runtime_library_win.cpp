// RuntimeLibrary on Windows: LoadLibrary by the library's Windows name ("MjpgOut.dll"), looked
// up in each folder of %KINEVISTA_LIB_PATH% (semicolon separated), then in the program's
// folder, then by the system's own search.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/video/runtime_library.h"

namespace kv {

namespace {

std::wstring Widen(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

std::string ProgramFolder() {
    wchar_t buf[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return {};
    std::wstring p(buf, n);
    const size_t slash = p.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    p.resize(slash);
    const int len = WideCharToMultiByte(CP_UTF8, 0, p.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(len > 0 ? len : 1), '\0');
    if (len > 0) WideCharToMultiByte(CP_UTF8, 0, p.c_str(), -1, out.data(), len, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

// "libMjpgOut.so" -> "MjpgOut.dll"; a Windows name is kept.
std::string WindowsName(const char* name) {
    std::string n = name ? name : "";
    const size_t slash = n.find_last_of("/\\");
    if (slash != std::string::npos) n = n.substr(slash + 1);
    if (n.size() > 3 && n.compare(n.size() - 3, 3, ".so") == 0) {
        n.resize(n.size() - 3);
        if (n.compare(0, 3, "lib") == 0) n = n.substr(3);
        n += ".dll";
    }
    return n;
}

}  // namespace

std::string SharedObjectName(const char* name) {
    return WindowsName(name);
}

bool RuntimeLibrary::Load(const char* name) {
    Unload();
    const std::string file = WindowsName(name);
    if (file.empty() || file == ".dll") return false;
    std::vector<std::string> candidates;
    if (const char* paths = std::getenv("KINEVISTA_LIB_PATH")) {
        std::string all(paths);
        size_t start = 0;
        while (start <= all.size()) {
            size_t sep = all.find(';', start);
            if (sep == std::string::npos) sep = all.size();
            const std::string dir = all.substr(start, sep - start);
            if (!dir.empty()) candidates.push_back(dir + "\\" + file);
            start = sep + 1;
        }
    }
    const std::string here = ProgramFolder();
    if (!here.empty()) candidates.push_back(here + "\\" + file);
    candidates.push_back(file);  // the system's own search
    // No "cannot find the library" box from the system: the callers have their own messages.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (const std::string& c : candidates) {
        const std::wstring wide = Widen(c);
        if (c.find('\\') != std::string::npos &&
            GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (HMODULE h = LoadLibraryW(wide.c_str())) {
            m_handle = reinterpret_cast<void*>(h);
            m_path = c;
            break;
        }
    }
    SetErrorMode(oldMode);
    return m_handle != nullptr;
}

void RuntimeLibrary::Unload() {
    if (m_handle) FreeLibrary(reinterpret_cast<HMODULE>(m_handle));
    m_handle = nullptr;
    m_path.clear();
}

void* RuntimeLibrary::Find(const char* entry) const {
    return m_handle
               ? reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(m_handle), entry))
               : nullptr;
}

}  // namespace kv
