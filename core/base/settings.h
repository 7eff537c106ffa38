// The settings store: one small text of "key=value\r\n" lines kept in memory.
//
// The text is at most 1023 characters (a 1024-byte NUL-terminated buffer) and starts with the
// section line "[Kinevista]\r\n". Reads are plain substring searches of "key=" up to the next
// "\r", so a key that is the tail of another key finds the longer key's line; writes replace a
// value in place or append a line while the text stays within its limits. A write that does not
// fit is refused whole: the write returns false and the store tells its owner through the
// handler the owner set (the command-line tools print it, the editor shows it), so a setting is
// never lost without a word. Path settings are refused the same way when the value is longer than
// a path record holds; they are never cut. The file is read once (Load). Save writes it whole
// and atomically, merged: the file is read again and only the keys this store changed since its
// last save are applied to it, so that what another program (a second editor) saved in the
// meantime is kept.
//
// Thread rule: the editor uses the store on its one UI thread; plug-in render contexts only read
// it. A mutex keeps concurrent readers and a writer apart anyway.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kv {

constexpr const char* AppName = "Kinevista";
constexpr int SettingsTextSize = 1024;
// The longest value a path setting ("InitialFolder", "AltImageFolder", "TextureFolder") takes:
// what a 256-byte path record holds with its NUL.
constexpr size_t MaxSettingPathBytes = 255;

// Called with the key of a write the store refused; runs on the thread that wrote.
using WriteRefusedHandler = std::function<void(const std::string& key)>;

// "The setting \"KEY\" does not fit in the settings file and was not saved."
std::string WriteRefusedMessage(const std::string& key);
// Whether the key's value names a folder or file (and so must fit a path record).
bool IsPathSetting(const char* key);

class Settings {
public:
    Settings();

    // Reads the file at path (the public folder's Kinevista.ini when path is empty); values out
    // of range are put right (CheckValues) with a warning line on standard error. Returns the
    // numbers (from 1) of the lines that are neither a "[section]" nor a "key=value" line, for
    // the owner to tell as it tells things; the store says nothing of them itself.
    std::vector<int32_t> Load(const std::string& path = "");
    // The store's text from bytes as a settings file holds them. Lines may end in "\r\n", "\n"
    // or "\r", mixed: each end is kept as "\r\n", as the file is written, and the 1023
    // characters the text holds are counted so. Returns the malformed lines as Load does (a
    // line the limit cuts short is not counted).
    std::vector<int32_t> LoadText(const char* data, size_t n);
    // Puts stored values that their users cannot take back in range: a "FrameRate" other than
    // 2997, 2500 or 2397 becomes 2997, "MultiProcOffset" is held to 0..1. One warning line per
    // value changed.
    std::vector<std::string> CheckValues();
    // Merges the keys changed since the last save into the file as it is now and writes it,
    // atomically: false (old file kept, changes still pending) when it cannot be written
    // completely. On success the store holds the merged text.
    bool Save();

    std::string ReadString(const char* key, const char* def) const;
    int32_t ReadInt(const char* key, int32_t def) const;
    // False when the value was not stored: the text would pass its limits, the key's line has
    // no line end, or a path setting's value is longer than MaxSettingPathBytes. The handler,
    // when set, is called with the key after the store's lock is released.
    bool WriteString(const char* key, const char* value);
    bool WriteInt(const char* key, int32_t value);
    // The owner's handler of refused writes (none: refusals are only the false results).
    void SetWriteRefusedHandler(WriteRefusedHandler handler);

    std::string Text() const;
    const std::string& Path() const { return m_path; }

private:
    void ResetText();
    bool StoreLocked(const std::string& key, const std::string& value);
    void Refused(const std::string& key) const;

    mutable std::mutex m_lock;
    char m_text[SettingsTextSize];
    std::string m_path;
    WriteRefusedHandler m_refused;
    std::vector<std::string> m_changed;  // keys written since the last save, in order
};

constexpr int32_t DefaultFrameRate = 2997;
// The frame rates (x 100) a show runs at: 2997, 2500 and 2397.
bool ValidFrameRate(int32_t rate);

// The editor's store until the editor owns one in its session. The command-line tools and the
// plug-ins own their own stores, and the core and the output layer are handed values.
Settings& TheSettings();

// The usual decimal conversion: optional blanks and sign, then leading digits; none gives 0.
int32_t TextToInt(const char* text);

}  // namespace kv
