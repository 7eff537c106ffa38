// The settings store: one small text of "key=value\r\n" lines kept in memory.
//
// The text is at most 1023 characters (a 1024-byte NUL-terminated buffer) and starts with the
// section line "[Kinevista]\r\n". Reads are plain substring searches of "key=" up to the next
// "\r", so a key that is the tail of another key finds the longer key's line; writes replace a
// value in place or append a line while the text stays within its limits, otherwise they are
// dropped silently. The file is read once (Load) and written once at the end (Save).
//
// Thread rule: the editor uses the store on its one UI thread; plug-in render contexts only read
// it. A mutex keeps concurrent readers and a writer apart anyway.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kv {

constexpr const char* AppName = "Kinevista";
constexpr int SettingsTextSize = 1024;

class Settings {
public:
    Settings();

    // Reads the file at path (the public folder's Kinevista.ini when path is empty); values out
    // of range are put right (CheckValues) with a warning line on standard error.
    void Load(const std::string& path = "");
    // The store's text from bytes as a settings file holds them (at most 1023 are kept).
    void LoadText(const char* data, size_t n);
    // Puts stored values that their users cannot take back in range: a "FrameRate" other than
    // 2997, 2500 or 2397 becomes 2997, "MultiProcOffset" is held to 0..1. One warning line per
    // value changed.
    std::vector<std::string> CheckValues();
    // Writes the text to the file it was loaded from, atomically: false (old file kept) when it
    // cannot be written completely.
    bool Save() const;

    std::string ReadString(const char* key, const char* def) const;
    int32_t ReadInt(const char* key, int32_t def) const;
    void WriteString(const char* key, const char* value);
    void WriteInt(const char* key, int32_t value);

    std::string Text() const;
    const std::string& Path() const { return m_path; }

private:
    void ResetText();

    mutable std::mutex m_lock;
    char m_text[SettingsTextSize];
    std::string m_path;
};

constexpr int32_t DefaultFrameRate = 2997;
// The frame rates (x 100) a show runs at: 2997, 2500 and 2397.
bool ValidFrameRate(int32_t rate);

// The process's one store.
Settings& TheSettings();

// The usual decimal conversion: optional blanks and sign, then leading digits; none gives 0.
int32_t TextToInt(const char* text);

}  // namespace kv
