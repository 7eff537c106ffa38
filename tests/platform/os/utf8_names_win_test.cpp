// File names and program arguments as UTF-8 on Windows: the shared tests, here on the
// wide-character calls, and the arguments read again from the wide command line.
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>
#include <stdlib.h>

#include "platform/os/win_text.h"
#include "tests/platform/os/utf8_names_test.cpp"

TEST(Utf8NamesWin, ArgumentsComeFromTheWideCommandLine) {
    // The C library's arguments and the wide command line agree on the count; each argument is
    // the wide one in UTF-8.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    ASSERT_NE(wide, nullptr);
    ASSERT_EQ(count, __argc);
    const std::vector<std::string> args = kv::os::ProgramArguments(__argc, __argv);
    ASSERT_EQ(args.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(args[static_cast<size_t>(i)], kv::os::Narrow(wide[i]));
    LocalFree(wide);
    EXPECT_NE(args[0].find("platform_os_win_tests"), std::string::npos) << args[0];
}

TEST(Utf8NamesWin, NamesNeverPassThroughTheAnsiCodePage) {
    // The file is made by name with the wide call alone; the UTF-8 calls find and read it
    // whatever the ANSI code page of this process is.
    const std::string dir = kvtest::TempDir("utf8-wide");
    const std::wstring wideName = kv::os::Widen(dir) + L"\\\u4e2d\u6587 \u00d8 Stra\u00dfe.txt";
    HANDLE h = CreateFileW(wideName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(h, "wide", 4, &wrote, nullptr));
    CloseHandle(h);
    const std::string name = dir + "\\中文 Ø Straße.txt";
    EXPECT_TRUE(kv::os::PathExists(name)) << "ANSI code page " << GetACP();
    std::FILE* f = kv::os::OpenFile(name, "rb");
    ASSERT_NE(f, nullptr) << "ANSI code page " << GetACP();
    char text[8] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, f), 4u);
    std::fclose(f);
    EXPECT_STREQ(text, "wide");
    EXPECT_EQ(kv::os::FsPath(name), std::filesystem::path(wideName));
    EXPECT_EQ(kv::os::Utf8Name(std::filesystem::path(wideName)), name);
}

TEST(Utf8NamesWin, NamesKeptInTheAnsiCodePageByOlderProgramsAreFound) {
    // "Schöner.kvx" as an older program kept it: in the system's ANSI code page, not UTF-8.
    const std::string dir = kvtest::TempDir("utf8-legacy");
    const std::wstring wideName = kv::os::Widen(dir) + L"\\Sch\u00f6ner.kvx";
    DWORD codePage = 0;
    ASSERT_GT(
        GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t)),
        0);
    char legacy[8] = {};
    BOOL lost = FALSE;
    ASSERT_EQ(WideCharToMultiByte(codePage, 0, L"\u00f6", 1, legacy, sizeof legacy, nullptr, &lost),
              1)
        << "code page " << codePage;
    ASSERT_FALSE(lost);
    const std::string stored = dir + "\\Sch" + legacy + "ner.kvx";
    EXPECT_FALSE(kv::os::PathExists(stored));

    HANDLE h = CreateFileW(wideName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(kv::os::PathExists(stored)) << "code page " << codePage;
    std::FILE* f = kv::os::OpenFile(stored, "rb");
    EXPECT_NE(f, nullptr);
    if (f) std::fclose(f);
    EXPECT_EQ(kv::os::FsPath(stored), std::filesystem::path(wideName));
    // The UTF-8 name of the same file is found as well, and is what the path gives back.
    EXPECT_TRUE(kv::os::PathExists(dir + "\\Schöner.kvx"));
    EXPECT_EQ(kv::os::Utf8Name(kv::os::FsPath(stored)), dir + "\\Schöner.kvx");
}
