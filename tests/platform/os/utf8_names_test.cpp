// File names and program arguments as UTF-8: files with letters from several scripts opened,
// found and named back unchanged, names that are not UTF-8 taken without an exception, and a
// program body whose exceptions end in a message and exit status 1. The same tests run on the
// Windows build (utf8_names_win_test.cpp), where every one of them goes through the
// wide-character calls.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/os/utf8_names.h"
#include "tests/test_support.h"

namespace {

// Letters from Latin, Nordic and Chinese: no ANSI code page in common use holds them all.
const std::string Name = "Straße é Ø 中文.bin";
// The same name as the standard library reads UTF-8 (char8_t) on every system: the test's own
// view of the file, independent of the calls under test.
std::filesystem::path NameAsPath() {
    return std::filesystem::path(u8"Straße é Ø 中文.bin");
}

std::filesystem::path FolderAsPath(const std::string& dir) {
    const std::u8string text(dir.begin(), dir.end());
    return std::filesystem::path(text);
}

}  // namespace

TEST(Utf8Names, FilesOpenFoundAndNamedByTheirUtf8Names) {
    const std::string dir = kvtest::TempDir("utf8-names");
    const std::string path = dir + "/" + Name;
    EXPECT_FALSE(kv::os::PathExists(path));
    EXPECT_EQ(kv::os::OpenFile(path, "rb"), nullptr);

    std::FILE* out = kv::os::OpenFile(path, "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite("letters", 1, 7, out), 7u);
    ASSERT_EQ(std::fclose(out), 0);

    // The file bears exactly this name: one entry, the letters as written.
    const std::filesystem::path expected = FolderAsPath(dir) / NameAsPath();
    EXPECT_TRUE(std::filesystem::exists(expected));
    std::vector<std::filesystem::path> entries;
    for (const auto& e : std::filesystem::directory_iterator(FolderAsPath(dir)))
        entries.push_back(e.path().filename());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], NameAsPath());
    EXPECT_EQ(kv::os::Utf8Name(entries[0]), Name);

    EXPECT_TRUE(kv::os::PathExists(path));
    EXPECT_TRUE(kv::os::PathExists(dir));
    // "e" (not inherited by started programs) is taken on every system.
    std::FILE* in = kv::os::OpenFile(path, "rbe");
    ASSERT_NE(in, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, in), 7u);
    std::fclose(in);
    EXPECT_STREQ(text, "letters");

    // A path made here names the same file, and its name comes back as it went in.
    EXPECT_EQ(kv::os::FsPath(path), expected);
    EXPECT_EQ(std::filesystem::file_size(kv::os::FsPath(path)), 7u);
    EXPECT_EQ(kv::os::Utf8Name(kv::os::FsPath(path)), path);
    EXPECT_EQ(kv::os::Utf8Name(kv::os::FsPath(path).filename()), Name);

    // A similar name (one accent differs) is another file.
    const std::string other = dir + "/Strasse é Ø 中文.bin";
    EXPECT_FALSE(kv::os::PathExists(other));
    EXPECT_FALSE(kv::os::PathExists(""));
    EXPECT_EQ(kv::os::OpenFile("", "rb"), nullptr);
}

TEST(Utf8Names, NamesThatAreNotUtf8DoNotThrow) {
    const std::string dir = kvtest::TempDir("utf8-bytes");
    // "Schöner" in a single-byte code page: 0xF6 is no UTF-8 sequence.
    const std::string stored = dir + "/Sch\xF6ner.kvx";
    std::filesystem::path p;
    EXPECT_NO_THROW(p = kv::os::FsPath(stored));
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::exists(p, ec));
    EXPECT_FALSE(kv::os::PathExists(stored));
    EXPECT_EQ(kv::os::OpenFile(stored, "rb"), nullptr);
    EXPECT_NO_THROW((void)kv::os::Utf8Name(p));
}

TEST(Utf8Names, ProgramArgumentsKeepTheirCount) {
    char first[] = "kinevista-cli";
    char second[] = "info";
    char* argv[] = {first, second, nullptr};
    // Two arguments given where the program has another count: the given ones are kept.
    const std::vector<std::string> args = kv::os::ProgramArguments(2, argv);
#ifndef _WIN32
    EXPECT_EQ(args, (std::vector<std::string>{"kinevista-cli", "info"}));
#else
    EXPECT_EQ(args.size(), 2u);
#endif
    EXPECT_TRUE(kv::os::ProgramArguments(0, argv).empty());
}

TEST(Utf8Names, ProgramBodyGetsItsArgumentsAndItsStatusOut) {
    char first[] = "program";
    char second[] = "Fête.kvx";
    char* argv[] = {first, second, nullptr};
    std::vector<std::string> seen;
    bool terminated = false;
    const int status = kv::os::RunProgram("kv-test", 2, argv, [&](int argc, char** args) {
        for (int i = 0; i < argc; ++i) seen.push_back(args[i]);
        terminated = args[argc] == nullptr;
        return 7;
    });
    EXPECT_EQ(status, 7);
    EXPECT_TRUE(terminated);
    ASSERT_EQ(seen.size(), 2u);
#ifndef _WIN32
    EXPECT_EQ(seen[1], "Fête.kvx");
#endif
}

TEST(Utf8Names, ExceptionsEndTheProgramWithAMessageAndStatusOne) {
    const std::string dir = kvtest::TempDir("utf8-missing");
    const std::string missing = dir + "/Schöner.kvx";
    char first[] = "program";
    char* argv[] = {first, nullptr};

    // A filesystem error names the file, in UTF-8, and the system's reason.
    testing::internal::CaptureStderr();
    int status = kv::os::RunProgram("kv-test", 1, argv, [&](int, char**) {
        return static_cast<int>(std::filesystem::file_size(kv::os::FsPath(missing)));
    });
    std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(told.rfind("kv-test: ", 0), 0u) << told;
    EXPECT_NE(told.find("Schöner.kvx: "), std::string::npos) << told;
#ifndef _WIN32
    EXPECT_NE(told.find(std::strerror(ENOENT)), std::string::npos) << told;
#endif

    // Any other exception: its text, still status 1.
    testing::internal::CaptureStderr();
    status = kv::os::RunProgram(
        "kv-test", 1, argv, [](int, char**) -> int { throw std::runtime_error("the unexpected"); });
    told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(told.find("kv-test: "), std::string::npos) << told;
    EXPECT_NE(told.find("the unexpected"), std::string::npos) << told;

    testing::internal::CaptureStderr();
    status = kv::os::RunProgram("kv-test", 1, argv, [](int, char**) -> int { throw 42; });
    told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(told.find("kv-test: "), std::string::npos) << told;
}
