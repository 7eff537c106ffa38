#include "test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/os/public_folder.h"

namespace kvtest {

std::string TempDir(const std::string& name) {
    std::string base = kv::PublicFolder() + "/tmp-" + name + "-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) return kv::PublicFolder();
    return buf.data();
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Run(const std::string& command, std::string* out) {
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

AlertRecorder::AlertRecorder() : m_previous(kv::SetAlertSink(this)) {}
AlertRecorder::~AlertRecorder() {
    kv::SetAlertSink(m_previous);
}

kv::Answer AlertRecorder::Show(kv::AlertKind kind, const std::string& text,
                               const std::string& caption) {
    texts.push_back(text);
    captions.push_back(caption);
    if (kind == kv::AlertKind::Ok) return kv::Answer::Ok;
    if (answers.empty()) return kv::Answer::No;
    kv::Answer a = answers.front();
    answers.erase(answers.begin());
    return a;
}

}  // namespace kvtest
