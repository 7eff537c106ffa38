// RuntimeLibrary: dlopen by name over a short search list.
#include "platform/video/runtime_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace kv {

namespace {

std::string ProgramFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    buf[n] = 0;
    std::string p(buf);
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

}  // namespace

std::string SharedObjectName(const char* name) {
    std::string n = name ? name : "";
    size_t slash = n.find_last_of("/\\");
    if (slash != std::string::npos) n = n.substr(slash + 1);
    if (n.size() > 3 && n.compare(n.size() - 3, 3, ".so") == 0) return n;
    if (n.size() > 4 && strcasecmp(n.c_str() + n.size() - 4, ".dll") == 0) n.resize(n.size() - 4);
    if (n.compare(0, 3, "lib") != 0) n = "lib" + n;
    return n + ".so";
}

bool RuntimeLibrary::Load(const char* name) {
    Unload();
    const std::string file = SharedObjectName(name);
    if (file == "lib.so") return false;
    std::vector<std::string> candidates;
    if (const char* paths = std::getenv("KINEVISTA_LIB_PATH")) {
        std::string all(paths);
        size_t start = 0;
        while (start <= all.size()) {
            size_t colon = all.find(':', start);
            if (colon == std::string::npos) colon = all.size();
            std::string dir = all.substr(start, colon - start);
            if (!dir.empty()) candidates.push_back(dir + "/" + file);
            start = colon + 1;
        }
    }
    std::string here = ProgramFolder();
    if (!here.empty()) candidates.push_back(here + "/" + file);
    candidates.push_back(file);  // the loader's own search
    for (const std::string& c : candidates) {
        // A bare name goes to the loader's search; a path is tried only when it exists so
        // that a missing folder entry does not hide a later one.
        if (c.find('/') != std::string::npos && access(c.c_str(), R_OK) != 0) continue;
        if (void* h = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            m_handle = h;
            m_path = c;
            return true;
        }
    }
    return false;
}

void RuntimeLibrary::Unload() {
    if (m_handle) dlclose(m_handle);
    m_handle = nullptr;
    m_path.clear();
}

void* RuntimeLibrary::Find(const char* entry) const {
    return m_handle ? dlsym(m_handle, entry) : nullptr;
}

}  // namespace kv
