// The settings store's text rules.
#include "core/base/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/os/atomic_file.h"
#include "platform/os/public_folder.h"
#include "platform/os/utf8_names.h"

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

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

// Whether one line (without its end) is blank, a "[section]" or a "key=value" line.
bool WellFormedLine(const std::string& text, size_t from, size_t to) {
    while (from < to && Blank(text[from])) ++from;
    while (to > from && Blank(text[to - 1])) --to;
    if (from == to) return true;
    if (text[from] == '[') return to - from >= 2 && text[to - 1] == ']';
    const size_t equals = text.find('=', from);
    return equals != std::string::npos && equals > from && equals < to;
}

}  // namespace

Settings::Settings() {
    ResetText();
}

void Settings::ResetText() {
    std::memset(m_text, 0, sizeof m_text);
    std::snprintf(m_text, sizeof m_text, "[%s]\r\n", AppName);
}

std::vector<int32_t> Settings::Load(const std::string& path) {
    std::string bytes;
    std::string file;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_path = path.empty() ? PublicPath("Kinevista.ini") : path;
        file = m_path;
    }
    if (std::FILE* f = os::OpenFile(file, "rb")) {
        char buffer[SettingsTextSize];
        const size_t n = std::fread(buffer, 1, sizeof buffer, f);
        bytes.assign(buffer, n);
        std::fclose(f);
    }
    std::vector<int32_t> malformed = LoadText(bytes.data(), bytes.size());
    for (const std::string& line : CheckValues())
        std::fprintf(stderr, "Warning: %s: %s\n", file.c_str(), line.c_str());
    return malformed;
}

std::vector<int32_t> Settings::LoadText(const char* data, size_t n) {
    // Every line end becomes "\r\n", as the file is written; the text is then cut at its
    // limit (a file's line ends never get shorter, so its first 1023 bytes are enough).
    constexpr size_t Limit = SettingsTextSize - 1;
    std::string text;
    bool cut = false;
    for (size_t i = 0; data && i < n; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            text += "\r\n";
            if (c == '\r' && i + 1 < n && data[i + 1] == '\n') ++i;
        } else if (c == 0) {
            break;  // the text ends where a NUL is, as it always did
        } else {
            text += c;
        }
        if (text.size() >= Limit) {
            cut = text.size() > Limit || i + 1 < n;
            break;
        }
    }
    if (text.size() > Limit) text.resize(Limit);

    std::vector<int32_t> malformed;
    // A byte order mark from an editor is not part of the first line's text.
    size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int32_t line = 1; from < text.size(); ++line) {
        const size_t end = text.find("\r\n", from);
        if (end == std::string::npos) {
            // The last line: without its end, or cut by the limit (not judged then).
            if (!cut && !WellFormedLine(text, from, text.size())) malformed.push_back(line);
            break;
        }
        if (!WellFormedLine(text, from, end)) malformed.push_back(line);
        from = end + 2;
    }

    std::lock_guard<std::mutex> lock(m_lock);
    std::memset(m_text, 0, sizeof m_text);
    std::memcpy(m_text, text.data(), text.size());
    m_changed.clear();
    // A file that is not ours (no application name anywhere in it) starts afresh.
    if (!std::strstr(m_text, AppName)) ResetText();
    return malformed;
}

std::vector<std::string> Settings::CheckValues() {
    std::vector<std::string> warnings;
    const std::string rateText = ReadString("FrameRate", "");
    if (!rateText.empty()) {
        const int32_t rate = TextToInt(rateText.c_str());
        if (!ValidFrameRate(rate)) {
            warnings.push_back("FrameRate " + rateText +
                               " is not 2997, 2500 or 2397; 2997 is used");
            WriteInt("FrameRate", DefaultFrameRate);
        }
    }
    // The upper band starts this many rows above the middle: an offset, 0 or 1.
    const std::string offsetText = ReadString("MultiProcOffset", "");
    if (!offsetText.empty()) {
        const int32_t offset = TextToInt(offsetText.c_str());
        if (offset < 0 || offset > 1) {
            const int32_t clamped = offset < 0 ? 0 : 1;
            warnings.push_back("MultiProcOffset " + offsetText + " is not 0 or 1; " +
                               std::to_string(clamped) + " is used");
            WriteInt("MultiProcOffset", clamped);
        }
    }
    return warnings;
}

bool Settings::Save() {
    std::string path, text;
    std::vector<std::string> changed;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        path = m_path.empty() ? PublicPath("Kinevista.ini") : m_path;
        text = m_text;
        changed = m_changed;
    }
    // The file as another program may have left it, with this store's own changes on top. A
    // file that cannot be read (missing, not ours) is replaced by this store's text.
    std::string merged = text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[SettingsTextSize];
        const size_t n = std::fread(buffer, 1, sizeof buffer, f);
        std::fclose(f);
        Settings onDisk;
        onDisk.LoadText(buffer, n);
        bool applied = true;
        for (const std::string& key : changed) {
            const std::string value = ReadString(key.c_str(), "");
            applied = onDisk.WriteString(key.c_str(), value.c_str()) && applied;
        }
        // A change that does not fit beside the other program's keys: this store's whole text
        // wins, as it did before merging, rather than a setting of this run being dropped.
        if (applied) merged = onDisk.Text();
    }
    // Complete or not at all: a crash or a full disk keeps the previous file.
    if (!os::WriteFileAtomically(path, merged.data(), merged.size())) return false;
    std::lock_guard<std::mutex> lock(m_lock);
    // Keys written while the file was being written stay pending with their new values.
    std::vector<std::string> later;
    const std::string now = m_text;
    for (const std::string& key : m_changed)
        if (std::find(changed.begin(), changed.end(), key) == changed.end()) later.push_back(key);
    if (now == text) {
        std::memset(m_text, 0, sizeof m_text);
        std::memcpy(m_text, merged.data(), std::min(merged.size(), sizeof m_text - 1));
    }
    m_changed = later;
    return true;
}

bool ValidFrameRate(int32_t rate) {
    return rate == 2997 || rate == 2500 || rate == 2397;
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

bool Settings::WriteString(const char* key, const char* value) {
    std::string clean;
    for (const char* p = value ? value : ""; *p; ++p)
        if (*p != '\r' && *p != '\n') clean += *p;
    const std::string name = key ? key : "";
    bool stored = false;
    if (!IsPathSetting(name.c_str()) || clean.size() <= MaxSettingPathBytes) {
        std::lock_guard<std::mutex> lock(m_lock);
        stored = StoreLocked(name, clean);
        if (stored && std::find(m_changed.begin(), m_changed.end(), name) == m_changed.end())
            m_changed.push_back(name);
    }
    if (!stored) Refused(name);
    return stored;
}

bool Settings::StoreLocked(const std::string& key, const std::string& clean) {
    const std::string pattern = key + "=";
    const size_t len = std::strlen(m_text);
    char* at = std::strstr(m_text, pattern.c_str());
    char* cr = at ? std::strchr(at + pattern.size(), '\r') : nullptr;
    if (at && cr) {
        char* value0 = at + pattern.size();
        const size_t oldLen = static_cast<size_t>(cr - value0);
        const size_t newTotal = len - oldLen + clean.size();
        if (newTotal > SettingsTextSize - 1) return false;
        std::memmove(value0 + clean.size(), cr, len - static_cast<size_t>(cr - m_text) + 1);
        std::memcpy(value0, clean.data(), clean.size());
        return true;
    }
    if (at) return false;  // a key line without a line end cannot be replaced
    if (len + pattern.size() + clean.size() > 1021) return false;
    std::string line = pattern + clean + "\r\n";
    std::memcpy(m_text + len, line.c_str(), line.size() + 1);
    return true;
}

void Settings::Refused(const std::string& key) const {
    WriteRefusedHandler handler;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        handler = m_refused;
    }
    // Called outside the lock: a handler may read the store to say what it holds.
    if (handler) handler(key);
}

bool Settings::WriteInt(const char* key, int32_t value) {
    return WriteString(key, std::to_string(value).c_str());
}

void Settings::SetWriteRefusedHandler(WriteRefusedHandler handler) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_refused = std::move(handler);
}

std::string WriteRefusedMessage(const std::string& key) {
    return "The setting \"" + key + "\" does not fit in the settings file and was not saved.";
}

bool IsPathSetting(const char* key) {
    static const char* const paths[] = {"InitialFolder", "AltImageFolder", "TextureFolder"};
    for (const char* p : paths)
        if (key && std::strcmp(key, p) == 0) return true;
    return false;
}

}  // namespace kv
