// The desktop window list across processes, the registry stand-in and process start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/os/process.h"
#include "platform/os/public_folder.h"
#include "platform/os/registry.h"
#include "platform/os/window_list.h"
#include "tests/test_support.h"

namespace {

struct WindowListTest : ::testing::Test {
    void SetUp() override {
        setenv("KINEVISTA_WINDOW_LIST", kvtest::TempDir("windows").c_str(), 1);
    }
};

}  // namespace

TEST_F(WindowListTest, FindsByExactTitleAndForgetsOnUnregister) {
    ASSERT_TRUE(kv::RegisterTopWindow("Fernquill Kinevista", 5));
    ASSERT_TRUE(kv::RegisterTopWindow("Fernquill Kinevista - show.kvx", 6));
    kv::TopWindow w;
    ASSERT_TRUE(kv::FindTopWindow("Fernquill Kinevista", &w));
    EXPECT_EQ(w.windowId, 5u);
    EXPECT_EQ(w.pid, getpid());
    EXPECT_FALSE(kv::FindTopWindow("Fernquill", nullptr));
    EXPECT_FALSE(kv::FindTopWindow("fernquill kinevista", nullptr));

    // A new title replaces the old one.
    ASSERT_TRUE(kv::RegisterTopWindow("Other", 5));
    EXPECT_FALSE(kv::FindTopWindow("Fernquill Kinevista", nullptr));
    EXPECT_EQ(kv::ListTopWindows().size(), 2u);
    kv::UnregisterTopWindow(5);
    kv::UnregisterTopWindow(6);
    EXPECT_TRUE(kv::ListTopWindows().empty());
}

TEST_F(WindowListTest, BringForwardLeavesOneRequestForTheOwner) {
    ASSERT_TRUE(kv::RegisterTopWindow("T", 9));
    kv::TopWindow w;
    ASSERT_TRUE(kv::FindTopWindow("T", &w));
    EXPECT_FALSE(kv::TakeBringForwardRequest(9));
    EXPECT_TRUE(kv::BringTopWindowForward(w));
    EXPECT_TRUE(kv::TakeBringForwardRequest(9));
    EXPECT_FALSE(kv::TakeBringForwardRequest(9));
    kv::UnregisterTopWindow(9);
    EXPECT_FALSE(kv::BringTopWindowForward(w)) << "a window that is gone cannot come forward";
}

TEST_F(WindowListTest, WindowsOfOtherProcessesAreSeenUntilTheyEnd) {
    int ready[2], quit[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(quit), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        kv::RegisterTopWindow("Child Window", 1);
        char c = 1;
        if (write(ready[1], &c, 1) != 1) _exit(1);
        if (read(quit[0], &c, 1) != 1) _exit(1);
        _exit(0);  // ends without unregistering, as a crashed program would
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kv::TopWindow w;
    ASSERT_TRUE(kv::FindTopWindow("Child Window", &w));
    EXPECT_EQ(w.pid, child);
    ASSERT_EQ(write(quit[1], &c, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(kv::FindTopWindow("Child Window", nullptr)) << "stale entries are ignored";
    EXPECT_TRUE(kv::ListTopWindows().empty()) << "and swept away";
    for (int fd : {ready[0], ready[1], quit[0], quit[1]}) close(fd);
}

TEST_F(WindowListTest, EntryOfAReusedProcessIdIsStale) {
    // An entry whose recorded start time does not match the live process with that id.
    const std::string entry = kv::WindowListFolder() + "/" + std::to_string(getpid()) + "-3.win";
    kvtest::WriteFileBytes(entry, "1\nFernquill Kinevista");
    EXPECT_FALSE(kv::FindTopWindow("Fernquill Kinevista", nullptr));
    kvtest::WriteFileBytes(kv::WindowListFolder() + "/junk.win", "x");
    EXPECT_TRUE(kv::ListTopWindows().empty());
}

TEST(Registry, ValuesAreFoundByKeyWithoutRegardToCase) {
    std::remove(kv::RegistryFile().c_str());
    std::string value;
    EXPECT_FALSE(kv::ReadRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, &value));
    ASSERT_TRUE(kv::WriteRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, "/opt/a"));
    ASSERT_TRUE(kv::WriteRegistryValue("SOFTWARE\\Other", "Name", "x=y"));
    ASSERT_TRUE(kv::WriteRegistryValue("software\\avid technology\\avx plug-ins", "avx2directory",
                                       "/opt/b"));
    EXPECT_EQ(kvtest::ReadFileBytes(kv::RegistryFile()),
              "software\\avid technology\\avx plug-ins\\avx2directory=/opt/b\n"
              "SOFTWARE\\Other\\Name=x=y\n");
    ASSERT_TRUE(kv::ReadRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, &value));
    EXPECT_EQ(value, "/opt/b");
    ASSERT_TRUE(kv::ReadRegistryValue("SOFTWARE\\Other", "Name", &value));
    EXPECT_EQ(value, "x=y");
    EXPECT_FALSE(kv::WriteRegistryValue("K", "V", "two\nlines"));

    // Hand-written files may end their lines with CR LF.
    kvtest::WriteFileBytes(kv::RegistryFile(), "A\\B\\C=d e\r\n");
    ASSERT_TRUE(kv::ReadRegistryValue("a\\b", "c", &value));
    EXPECT_EQ(value, "d e");
}

TEST(Process, StartsWithoutWaitingAndReportsMissingPrograms) {
    EXPECT_EQ(kv::StartProcess("/nonexistent/program", {}), -1);
    const std::string marker = kvtest::TempDir("proc") + "/marker";
    const int32_t pid =
        kv::StartProcess("/bin/sh", {"-c", "sleep 0.3; echo \"$0\" > " + marker, "?2997,300"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(kv::ProcessRunning(pid)) << "the call returned before the program ended";
    for (int i = 0; i < 300 && kv::ProcessRunning(pid); ++i) kv::SleepMilliseconds(10);
    EXPECT_FALSE(kv::ProcessRunning(pid));
    EXPECT_EQ(kvtest::ReadFileBytes(marker), "?2997,300\n");

    // A host that ignores SIGCHLD has its children collected by the system.
    void (*previous)(int) = signal(SIGCHLD, SIG_IGN);
    const int32_t quick = kv::StartProcess("/bin/sh", {"-c", "sleep 0.3"});
    ASSERT_GT(quick, 0);
    EXPECT_TRUE(kv::ProcessRunning(quick));
    for (int i = 0; i < 300 && kv::ProcessRunning(quick); ++i) kv::SleepMilliseconds(10);
    EXPECT_FALSE(kv::ProcessRunning(quick));
    signal(SIGCHLD, previous);
}
