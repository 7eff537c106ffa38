// Shared by the fake outside libraries: every call is appended as one line to the file named by
// $KV_FAKE_LOG, and $KV_FAKE_FAIL names the one operation that reports failure.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

inline void FakeLog(const char* format, ...) {
    const char* path = std::getenv("KV_FAKE_LOG");
    if (!path) return;
    std::FILE* f = std::fopen(path, "a");
    if (!f) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fputc('\n', f);
    std::fclose(f);
}

inline bool FakeFails(const char* op) {
    const char* fail = std::getenv("KV_FAKE_FAIL");
    return fail && std::strcmp(fail, op) == 0;
}

// A short fingerprint of a pixel block: its first four bytes and a sum of every byte.
inline unsigned long FakeSum(const void* data, long count) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    unsigned long s = 0;
    for (long i = 0; i < count; ++i) s = s * 31 + p[i];
    return s;
}
