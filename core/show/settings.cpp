// The settings store's text rules.
#include "core/show/settings.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/os/public_folder.h"

namespace kv {

Settings& TheSettings() {
    static Settings settings;
    return settings;
}

int32_t TextToInt(const char* text) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') ++text;
    bool neg = false;
    if (*text == '-' || *text == '+') neg = *text++ == '-';
    int64_t v = 0;
    while (*text >= '0' && *text <= '9') {
        v = v * 10 + (*text++ - '0');
        if (v > 0x80000000LL) v = 0x80000000LL;  // saturate instead of overflowing
    }
    if (neg) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return static_cast<int32_t>(v);
}

Settings::Settings() {
    ResetText();
}

void Settings::ResetText() {
    std::memset(m_text, 0, sizeof m_text);
    std::snprintf(m_text, sizeof m_text, "[%s]\r\n", AppName);
}

void Settings::Load(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_path = path.empty() ? PublicPath("Kinevista.ini") : path;
    std::memset(m_text, 0, sizeof m_text);
    if (std::FILE* f = std::fopen(m_path.c_str(), "rb")) {
        size_t n = std::fread(m_text, 1, sizeof m_text, f);
        (void)n;
        std::fclose(f);
    }
    m_text[SettingsTextSize - 1] = 0;
    // A file that is not ours (no application name anywhere in it) starts afresh.
    if (!std::strstr(m_text, AppName)) ResetText();
}

bool Settings::Save() const {
    std::lock_guard<std::mutex> lock(m_lock);
    const std::string path = m_path.empty() ? PublicPath("Kinevista.ini") : m_path;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    size_t len = std::strlen(m_text);
    bool ok = std::fwrite(m_text, 1, len, f) == len;
    return std::fclose(f) == 0 && ok;
}

std::string Settings::Text() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_text;
}

std::string Settings::ReadString(const char* key, const char* def) const {
    std::lock_guard<std::mutex> lock(m_lock);
    const std::string pattern = std::string(key) + "=";
    const char* at = std::strstr(m_text, pattern.c_str());
    if (!at) return def ? def : "";
    const char* value = at + pattern.size();
    const char* cr = std::strchr(value, '\r');
    if (!cr) return def ? def : "";
    return std::string(value, cr);
}

int32_t Settings::ReadInt(const char* key, int32_t def) const {
    const std::string text = ReadString(key, std::to_string(def).c_str());
    return TextToInt(text.c_str());
}

void Settings::WriteString(const char* key, const char* value) {
    std::string clean;
    for (const char* p = value ? value : ""; *p; ++p)
        if (*p != '\r' && *p != '\n') clean += *p;

    std::lock_guard<std::mutex> lock(m_lock);
    const std::string pattern = std::string(key) + "=";
    const size_t len = std::strlen(m_text);
    char* at = std::strstr(m_text, pattern.c_str());
    char* cr = at ? std::strchr(at + pattern.size(), '\r') : nullptr;
    if (at && cr) {
        char* value0 = at + pattern.size();
        const size_t oldLen = static_cast<size_t>(cr - value0);
        const size_t newTotal = len - oldLen + clean.size();
        if (newTotal > SettingsTextSize - 1) return;
        std::memmove(value0 + clean.size(), cr, len - static_cast<size_t>(cr - m_text) + 1);
        std::memcpy(value0, clean.data(), clean.size());
        return;
    }
    if (at) return;  // a key line without a line end cannot be replaced
    if (len + pattern.size() + clean.size() > 1021) return;
    std::string line = pattern + clean + "\r\n";
    std::memcpy(m_text + len, line.c_str(), line.size() + 1);
}

void Settings::WriteInt(const char* key, int32_t value) {
    WriteString(key, std::to_string(value).c_str());
}

}  // namespace kv
