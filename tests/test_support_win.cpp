// The test helpers over Windows calls.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/os/public_folder.h"
#include "platform/os/win_text.h"
#include "test_support.h"

namespace kvtest {

std::string Narrow(const std::wstring& text) {
    return kv::os::Narrow(text);
}

std::string TempDir(const std::string& name) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string dir = kv::PublicFolder() + "\\tmp-" + name + "-" +
                                std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(++counter);
        if (CreateDirectoryW(kv::os::Widen(dir).c_str(), nullptr)) return dir;
    }
    return kv::PublicFolder();
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(std::filesystem::path(kv::os::Widen(path)), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(kv::os::Widen(path)),
                      std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Run(const std::string& command, std::string* out) {
    std::FILE* p = _wpopen(kv::os::Widen(command).c_str(), L"rb");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    const int status = _pclose(p);
    if (out) *out = text;
    return status;
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

std::vector<std::string> ListFolder(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(kv::os::Widen(dir + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string n = kv::os::Narrow(found.cFileName);
            if (n != "." && n != "..") names.push_back(n);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& dir) {
    for (const std::string& name : ListFolder(dir)) {
        const std::string path = dir + "\\" + name;
        const std::wstring wide = kv::os::Widen(path);
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveTree(path);
        } else {
            SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(wide.c_str());
        }
    }
    RemoveDirectoryW(kv::os::Widen(dir).c_str());
}

}  // namespace kvtest
