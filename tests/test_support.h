// Helpers shared by the test programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/picture/alert.h"

namespace kvtest {

// A fresh private folder under the test run's temporary folder.
std::string TempDir(const std::string& name);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Runs a shell command; returns its exit status and (optionally) its standard output.
int Run(const std::string& command, std::string* out = nullptr);

#ifdef _WIN32
// Removes a folder and everything in it.
void RemoveTree(const std::string& dir);
std::string Narrow(const std::wstring& text);
#else
// Lowers this process's file-size limit (RLIMIT_FSIZE) to `bytes` while alive, with SIGXFSZ
// ignored, so that writes past it fail with EFBIG as on a user's `ulimit -f`.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    uint64_t m_previous;
};
#endif

// Names in `dir` (no "." or ".."), sorted.
std::vector<std::string> ListFolder(const std::string& dir);

// Records every alert and question while alive and answers questions from a queue.
class AlertRecorder : public kv::AlertSink {
public:
    AlertRecorder();
    ~AlertRecorder() override;
    kv::Answer Show(kv::AlertKind kind, const std::string& text,
                    const std::string& caption) override;
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    std::vector<kv::Answer> answers;  // consumed front first; Ok/No when empty

private:
    kv::AlertSink* m_previous;
};

}  // namespace kvtest
