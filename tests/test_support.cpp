#include "test_support.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
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

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    m_previous = r.rlim_cur;
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = m_previous;
    setrlimit(RLIMIT_FSIZE, &r);
}

std::vector<std::string> ListFolder(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kvtest
