// The registry stand-in over a text file of "KEY\PATH\ValueName=value" lines.
#include "platform/os/registry.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/os/public_folder.h"

namespace kv {

namespace {

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string text;
    char buf[1024];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = nl + 1;
    }
    return true;
}

// The "KEY\PATH\ValueName" part of a line, or "" for a line without "=".
std::string NameOf(const std::string& line) {
    size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

}  // namespace

std::string RegistryFile() {
    return PublicPath("registry.ini");
}

bool ReadRegistryValue(const std::string& key, const std::string& name, std::string* out) {
    std::vector<std::string> lines;
    if (!ReadLines(RegistryFile(), lines)) return false;
    const std::string full = key + "\\" + name;
    for (const std::string& line : lines) {
        const std::string lineName = NameOf(line);
        if (!lineName.empty() && SameText(lineName, full)) {
            if (out) *out = line.substr(lineName.size() + 1);
            return true;
        }
    }
    return false;
}

bool WriteRegistryValue(const std::string& key, const std::string& name, const std::string& value) {
    if (value.find('\n') != std::string::npos || value.find('\r') != std::string::npos)
        return false;
    const std::string path = RegistryFile();
    std::vector<std::string> lines;
    ReadLines(path, lines);  // a missing file starts empty
    const std::string full = key + "\\" + name;
    bool replaced = false;
    for (std::string& line : lines) {
        if (SameText(NameOf(line), full)) {
            line = full + "=" + value;
            replaced = true;
        }
    }
    if (!replaced) lines.push_back(full + "=" + value);

    const std::string temp = path + ".tmp" + std::to_string(getpid());
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        ok = ok && std::fputs(line.c_str(), f) >= 0 && std::fputc('\n', f) != EOF;
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace kv
