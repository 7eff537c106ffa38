// The operating-system layer on Windows: atomic file replacement, the registry, the public
// folder, processes and the window list, against the system itself (run under Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/os/atomic_file.h"
#include "platform/os/process.h"
#include "platform/os/public_folder.h"
#include "platform/os/registry.h"
#include "platform/os/shell_open.h"
#include "platform/os/win_text.h"
#include "platform/os/window_list.h"
#include "tests/test_support.h"

namespace {

bool Exists(const std::string& path) {
    return GetFileAttributesW(kv::os::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int Leftovers(const std::string& dir) {
    int n = 0;
    for (const std::string& name : kvtest::ListFolder(dir))
        if (name.find("~kv") != std::string::npos) ++n;
    return n;
}

}  // namespace

TEST(AtomicFileWin, ReplacesWholeOrLeavesTheOldFile) {
    const std::string dir = kvtest::TempDir("atomic");
    const std::string target = dir + "\\show.kvx";
    kvtest::WriteFileBytes(target, "old contents");
    std::string error;
    ASSERT_TRUE(kv::os::WriteFileAtomically(target, "new", 3, &error)) << error;
    EXPECT_EQ(kvtest::ReadFileBytes(target), "new");
    EXPECT_EQ(Leftovers(dir), 0);

    // Discarded and failed writes keep the previous file and leave no temporary behind.
    {
        kv::os::AtomicFile file;
        ASSERT_TRUE(file.Open(target));
        ASSERT_TRUE(file.Write("half", 4));
        EXPECT_EQ(kvtest::ReadFileBytes(target), "new");  // nothing seen before Commit
    }
    EXPECT_EQ(kvtest::ReadFileBytes(target), "new");
    EXPECT_EQ(Leftovers(dir), 0);
    kv::os::AtomicFile unopened;
    EXPECT_FALSE(unopened.Write("x", 1));
    EXPECT_FALSE(unopened.Commit());

    // A folder as target cannot be replaced: the write fails and the folder stays.
    const std::string folder = dir + "\\taken.kvx";
    ASSERT_TRUE(CreateDirectoryW(kv::os::Widen(folder).c_str(), nullptr));
    EXPECT_FALSE(kv::os::WriteFileAtomically(folder, "x", 1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(Exists(folder));
    EXPECT_EQ(Leftovers(dir), 0);
    // A missing folder fails at Open, with the reason.
    kv::os::AtomicFile lost;
    EXPECT_FALSE(lost.Open(dir + "\\no\\such\\x.kvx"));
    EXPECT_NE(lost.Error().find("x.kvx"), std::string::npos) << lost.Error();
}

TEST(AtomicFileWin, LeftoversOfAKilledWriterGoButOneInUseStays) {
    const std::string dir = kvtest::TempDir("leftover");
    const std::string target = dir + "\\pic.bmp";
    const kv::os::TempNameParts parts = kv::os::TempNameFor("pic.bmp");
    EXPECT_EQ(parts.suffix, ".bmp");  // writers that choose by extension still do
    const std::string stale = dir + "\\" + parts.prefix + "abc123" + parts.suffix;
    kvtest::WriteFileBytes(stale, "left by a killed writer");
    kv::os::AtomicFile busy;
    ASSERT_TRUE(busy.Open(target));  // removes the stale one, keeps its own
    EXPECT_FALSE(Exists(stale));
    ASSERT_TRUE(Exists(busy.TempPath()));
    EXPECT_EQ(kv::os::RemoveLeftoverTemps(target), 0);  // in use: stays
    EXPECT_TRUE(Exists(busy.TempPath()));
    ASSERT_TRUE(busy.Write("BM", 2));
    ASSERT_TRUE(busy.Commit());
    EXPECT_EQ(kvtest::ReadFileBytes(target), "BM");
    EXPECT_EQ(Leftovers(dir), 0);
}

TEST(AtomicFileWin, DevicesAreWrittenInPlace) {
    kv::os::AtomicFile device;
    ASSERT_TRUE(device.Open("NUL"));
    EXPECT_EQ(device.TempPath(), "NUL");
    EXPECT_TRUE(device.Write("discarded", 9));
    EXPECT_TRUE(device.Commit());
}

TEST(RegistryWin, ValuesRoundTripUnderTheHostKey) {
    const std::string key = "SOFTWARE\\Kinevista Tests\\" + std::to_string(GetCurrentProcessId());
    std::string value;
    EXPECT_FALSE(kv::ReadRegistryValue(key, kv::EditorFolderValue, &value));
    ASSERT_TRUE(kv::WriteRegistryValue(key, kv::EditorFolderValue, "C:\\Program Files\\Kinevista"));
    ASSERT_TRUE(kv::ReadRegistryValue(key, kv::EditorFolderValue, &value));
    EXPECT_EQ(value, "C:\\Program Files\\Kinevista");
    // Key and value names are compared without regard to case, as the registry does.
    std::string upper = key;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(kv::ReadRegistryValue(upper, "avx2directory", &value));
    // Replaced, not added; non-ASCII text survives the wide round trip.
    ASSERT_TRUE(kv::WriteRegistryValue(key, kv::EditorFolderValue, "D:\\Vid\xC3\xA9o"));
    ASSERT_TRUE(kv::ReadRegistryValue(key, kv::EditorFolderValue, &value));
    EXPECT_EQ(value, "D:\\Vid\xC3\xA9o");
    EXPECT_FALSE(kv::WriteRegistryValue(key, "Two", "line\nbreak"));
    // A value that is not text is not handed out as a folder.
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kv::os::Widen(key).c_str(), 0,
                            KEY_WRITE | KEY_WOW64_64KEY, &h),
              ERROR_SUCCESS);
    const DWORD number = 7;
    RegSetValueExW(h, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(h);
    EXPECT_FALSE(kv::ReadRegistryValue(key, "Number", &value));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kv::os::Widen(key).c_str());
}

TEST(PublicFolderWin, KnownFolderUnlessOverridden) {
    const std::string override = std::getenv("KINEVISTA_PUBLIC");
    EXPECT_EQ(kv::PublicFolder(), override);
    EXPECT_EQ(kv::PublicPath("kvdata.kvx"), override + "\\kvdata.kvx");
    _putenv_s("KINEVISTA_PUBLIC", "");
    const std::string known = kv::PublicFolder();
    _putenv_s("KINEVISTA_PUBLIC", override.c_str());
    ASSERT_GE(known.size(), 7u);
    EXPECT_EQ(_stricmp(known.substr(known.size() - 7).c_str(), "\\Public"), 0) << known;
    EXPECT_EQ(known[1], ':') << known;
}

TEST(ProcessWin, StartsWithoutWaitingAndSeesTheEnd) {
    EXPECT_EQ(kv::StartProcess("C:\\no\\such\\program.exe", {}), -1);
    EXPECT_EQ(kv::StartProcess("", {}), -1);
    // The command-line tool, with arguments that need quoting, writes a picture.
    const std::string cli = std::string(KV_BIN_DIR) + "/kinevista-cli.exe";
    ASSERT_TRUE(Exists(cli)) << cli;
    const std::string dir = kvtest::TempDir("process") + "\\with space";
    ASSERT_TRUE(CreateDirectoryW(kv::os::Widen(dir).c_str(), nullptr));
    const std::string marker = dir + "\\copy of the picture.bmp";
    const int32_t pid = kv::StartProcess(
        cli, {"picture", std::string(KV_FIXTURES) + "/pictures/bmp24.bmp", "--out", marker});
    ASSERT_GT(pid, 0);
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    ASSERT_NE(h, nullptr);
    WaitForSingleObject(h, INFINITE);  // the end itself, not a time
    CloseHandle(h);
    EXPECT_FALSE(kv::ProcessRunning(pid));
    EXPECT_FALSE(kv::ProcessRunning(pid));  // and stays ended
    EXPECT_TRUE(Exists(marker)) << "the arguments reached the program";
}

TEST(WindowListWin, RegisteredTitlesAreFoundByTheSystem) {
    const std::string title = "Kinevista Window List Test " + std::to_string(GetCurrentProcessId());
    kv::TopWindow found;
    EXPECT_FALSE(kv::FindTopWindow(title, &found));
    ASSERT_TRUE(kv::RegisterTopWindow(title, 77));
    ASSERT_TRUE(kv::FindTopWindow(title, &found));
    EXPECT_EQ(found.pid, static_cast<int32_t>(GetCurrentProcessId()));
    EXPECT_EQ(found.windowId, 77u);
    EXPECT_EQ(found.title, title);
    EXPECT_NE(FindWindowW(nullptr, kv::os::Widen(title).c_str()), nullptr);
    EXPECT_FALSE(kv::TakeBringForwardRequest(77));
    ASSERT_TRUE(kv::BringTopWindowForward(found));
    EXPECT_TRUE(kv::TakeBringForwardRequest(77));
    EXPECT_FALSE(kv::TakeBringForwardRequest(77));  // taken once
    // Renaming keeps one window.
    ASSERT_TRUE(kv::RegisterTopWindow(title + " renamed", 77));
    EXPECT_FALSE(kv::FindTopWindow(title, nullptr));
    EXPECT_TRUE(kv::FindTopWindow(title + " renamed", nullptr));
    kv::UnregisterTopWindow(77);
    EXPECT_FALSE(kv::FindTopWindow(title + " renamed", nullptr));
    kv::TopWindow gone = found;
    EXPECT_FALSE(kv::BringTopWindowForward(gone));
}

TEST(ShellOpenWin, MissingDocumentsAreNotOpened) {
    EXPECT_FALSE(kv::ShellOpen(""));
    EXPECT_FALSE(kv::ShellOpen(kvtest::TempDir("shell") + "\\Kinevista.chm"));
}

namespace {
std::string g_shellDocument;
bool TakeDocument(const std::string& document, uintptr_t) {
    g_shellDocument = document;
    return true;
}
}  // namespace

// Under Wine no browser is started: the hook stands where the shell's open verb would be asked.
TEST(ShellOpenWin, AnExistingDocumentGoesToTheHookInsteadOfTheShell) {
    const std::string path = kvtest::TempDir("shellhook") + "\\manual.html";
    kvtest::WriteFileBytes(path, "<html></html>");
    kv::SetShellOpenHook(&TakeDocument);
    g_shellDocument.clear();
    EXPECT_FALSE(kv::ShellOpen(kvtest::TempDir("shellhook") + "\\missing.html"));
    EXPECT_EQ(g_shellDocument, "");
    EXPECT_TRUE(kv::ShellOpen(path));
    EXPECT_EQ(g_shellDocument, path);
    kv::SetShellOpenHook(nullptr);
}
