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
