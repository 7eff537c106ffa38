// Recovery copies belong to one show and to the run that writes them: stand-alone to the show's
// file (or "untitled"), for the host to the exchange file as it was at start-up. While its run
// holds its lock a copy is nobody else's; once the run has ended it is offered to a run that opens
// its show, and only the person's answer (or a save) removes it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/show/show.h"
#include "editor/ui/recovery.h"
#include "editor/ui/session/edit_session.h"
#include "platform/os/run_lock.h"
#include "tests/test_support.h"

using namespace kv;

namespace {

class RecoveryOwner : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("KINEVISTA_PUBLIC");
        m_oldPublic = old ? old : "";
        dir = kvtest::TempDir("recovery_owner");
        setenv("KINEVISTA_PUBLIC", dir.c_str(), 1);
        m_oldShow = Session().GetShow();
        Session().Attach(&show, &kv::TheSettings());
        show.Reset();
        // Two keys: a lone first key is framed anew when the copy is read back.
        show.pictureCount = 1;
        show.pictures[0].keyCount = 2;
        show.pictures[0].keys[0].width = show.pictures[0].keys[1].width = 100;
        show.pictures[0].keys[1].time = 30;
    }
    void TearDown() override {
        Recovery().EndRun();
        Session().Attach(m_oldShow, &kv::TheSettings());
        setenv("KINEVISTA_PUBLIC", m_oldPublic.c_str(), 1);
    }
    // The show as a user leaves it: named (or not), with its second key at x.
    void Edit(const char* path, float x) {
        show.showFile.SetPath(path);
        show.pictures[0].keys[1].x = x;
        show.dirty = true;
    }
    // A run that writes its copy of `path` with x and ends without saving.
    void RunThatLeaves(const char* path, float x) {
        Recovery().Configure(false);
        Edit(path, x);
        Recovery().Finish();
    }
    bool Present(const std::string& name) const {
        return access((dir + "/" + name).c_str(), F_OK) == 0;
    }
    // Adopts the first left copy of the owner into a scratch show and returns its key's x.
    float AdoptedX(const std::string& owner) {
        const auto left = Recovery().LeftBehind(owner);
        if (left.empty()) return -1;
        Show back;
        Session().Attach(&back, &kv::TheSettings());
        const bool ok = Recovery().Adopt(left[0], back);
        Session().Attach(&show, &kv::TheSettings());
        return ok ? back.pictures[0].keys[1].x : -1;
    }

    std::string dir;
    Show show;

private:
    std::string m_oldPublic;
    Show* m_oldShow = nullptr;
};

}  // namespace

TEST_F(RecoveryOwner, LeftCopiesAreOfferedToTheirOwnShowOnly) {
    RunThatLeaves("/shows/a.kvx", 11);
    RunThatLeaves("/shows/b.kvx", 22);
    RunThatLeaves("", 33);
    EXPECT_TRUE(Present("Kinevista-recovery.kvx"));
    EXPECT_TRUE(Present("Kinevista-recovery-2.kvx"));
    EXPECT_TRUE(Present("Kinevista-recovery-3.kvx"));

    Recovery().Configure(false);
    EXPECT_EQ(Recovery().LeftBehind(StandAloneOwner("/shows/a.kvx")).size(), 1u);
    EXPECT_EQ(Recovery().LeftBehind("untitled").size(), 1u);
    EXPECT_EQ(Recovery().LeftBehind(StandAloneOwner("/shows/c.kvx")).size(), 0u);
    // Without a show: every one, each naming its show.
    const auto all = Recovery().LeftBehind("");
    ASSERT_EQ(all.size(), 3u);
    int named = 0;
    for (const auto& c : all) named += c.showPath == "/shows/a.kvx" || c.showPath == "/shows/b.kvx";
    EXPECT_EQ(named, 2);
    // The same show by another spelling of its path is the same show.
    EXPECT_EQ(StandAloneOwner("/shows/x/../b.kvx"), StandAloneOwner("/shows/b.kvx"));
    EXPECT_FLOAT_EQ(AdoptedX(StandAloneOwner("/shows/x/../b.kvx")), 22);
    // Adopted, it is this run's: no longer left, and the others still are.
    EXPECT_EQ(Recovery().LeftBehind(StandAloneOwner("/shows/b.kvx")).size(), 0u);
    EXPECT_EQ(Recovery().LeftBehind("").size(), 2u);
}

TEST_F(RecoveryOwner, ALiveRunsCopiesAreNeitherOfferedNorTaken) {
    Recovery().Configure(false);
    Edit("/shows/a.kvx", 11);
    ASSERT_TRUE(Recovery().Write());
    const std::string firstLock = dir + "/" + Recovery().RunName();
    ASSERT_TRUE(os::RunLockHeld(firstLock));
    Recovery().EndRun();
    EXPECT_FALSE(os::RunLockHeld(firstLock));
    // The first run is over now: its copy is left.
    Recovery().Configure(false);
    EXPECT_EQ(Recovery().LeftBehind(StandAloneOwner("/shows/a.kvx")).size(), 1u);

    // A live run: this run writes a copy and a second configuration (another run in this
    // process) must not see it while the lock is held.
    Edit("/shows/live.kvx", 44);
    ASSERT_TRUE(Recovery().Write());
    const std::string liveCopy = Recovery().Path();
    const std::string liveLock = dir + "/" + Recovery().RunName();
    ASSERT_TRUE(os::RunLockHeld(liveLock));
    RecoveryCopy other(Session());
    other.Configure(false);
    EXPECT_EQ(other.LeftBehind(StandAloneOwner("/shows/live.kvx")).size(), 0u);
    for (const auto& c : other.LeftBehind("")) EXPECT_NE(c.file, liveCopy);
    // Its own new copy takes another name, leaving the live one whole.
    Edit("/shows/live.kvx", 55);
    ASSERT_TRUE(other.Write(show));
    EXPECT_NE(other.Path(), liveCopy);
    other.Remove();
    EXPECT_EQ(access(liveCopy.c_str(), F_OK), 0);
    other.EndRun();
    // Once the first ends its copy is left and offered.
    Recovery().EndRun();
    EXPECT_FALSE(os::RunLockHeld(liveLock));
    other.Configure(false);
    EXPECT_EQ(other.LeftBehind(StandAloneOwner("/shows/live.kvx")).size(), 1u);
    other.EndRun();
}

TEST_F(RecoveryOwner, OnlyASaveOrADeclineRemovesTheCopy) {
    Recovery().Configure(false);
    Edit("/shows/a.kvx", 1);
    ASSERT_TRUE(Recovery().Write());
    const std::string copy = Recovery().Path();
    // Declined: the copy goes and the unchanged show is not written again, not even at the end.
    Recovery().Declined();
    EXPECT_NE(access(copy.c_str(), F_OK), 0);
    Recovery().Tick();
    Recovery().KeysEdited();
    Recovery().Rescue();
    EXPECT_FALSE(Recovery().Exists());
    // A change after the answer is new work: written, and kept by an end without an answer.
    Edit("/shows/a.kvx", 2);
    Recovery().Tick();
    EXPECT_TRUE(Recovery().Exists());
    Recovery().Finish();
    EXPECT_EQ(access(copy.c_str(), F_OK), 0);
    // A clean show at the end (saved) leaves nothing.
    Recovery().Configure(false);
    Edit("/shows/b.kvx", 3);
    ASSERT_TRUE(Recovery().Write());
    const std::string second = Recovery().Path();
    show.dirty = false;
    Recovery().Finish();
    EXPECT_NE(access(second.c_str(), F_OK), 0);
}

TEST_F(RecoveryOwner, AReplacedShowWithUnansweredChangesLeavesItsCopy) {
    Recovery().Configure(false);
    Edit("/shows/a.kvx", 7);
    ASSERT_TRUE(Recovery().Write());
    const std::string first = Recovery().Path();
    Recovery().ShowReplaced();
    // The next show gets a file of its own.
    Edit("/shows/b.kvx", 8);
    ASSERT_TRUE(Recovery().Write());
    EXPECT_NE(Recovery().Path(), first);
    Recovery().Finish();
    Recovery().Configure(false);
    EXPECT_FLOAT_EQ(AdoptedX(StandAloneOwner("/shows/a.kvx")), 7);
    EXPECT_FLOAT_EQ(AdoptedX(StandAloneOwner("/shows/b.kvx")), 8);
    // A clean show replaced leaves nothing.
    Recovery().Remove();
    show.dirty = false;
    Recovery().ShowReplaced();
    EXPECT_FALSE(Recovery().Exists());
}

TEST_F(RecoveryOwner, HostCopiesBelongToTheExchangeFileOfTheirStart) {
    const std::string exchange = ExchangePath();
    kvtest::WriteFileBytes(exchange, "the first effect's show");
    Recovery().Configure(true);
    const std::string firstOwner = Recovery().Owner();
    Edit("", 41);
    Recovery().Finish();
    EXPECT_TRUE(Present("kvdata-recovery.kvx"));
    // The host starts the editor for another effect: its exchange file differs.
    kvtest::WriteFileBytes(exchange, "another effect's show");
    Recovery().Configure(true);
    EXPECT_NE(Recovery().Owner(), firstOwner);
    EXPECT_TRUE(Recovery().LeftBehind(Recovery().Owner()).empty());
    // Stand-alone runs never see host copies.
    Recovery().Configure(false);
    EXPECT_TRUE(Recovery().LeftBehind("").empty());
    // A run for the first exchange file is offered its copy.
    kvtest::WriteFileBytes(exchange, "the first effect's show");
    Recovery().Configure(true);
    EXPECT_EQ(Recovery().Owner(), firstOwner);
    EXPECT_FLOAT_EQ(AdoptedX(firstOwner), 41);
}

TEST_F(RecoveryOwner, CopiesOfOlderProgramsAreLeftCopiesOfTheirShowsPath) {
    RunThatLeaves("/shows/old.kvx", 7);
    // The copy as older programs wrote it: the path line and no owner, folder or run line.
    const std::string path = dir + "/Kinevista-recovery.kvx";
    std::string bytes = kvtest::ReadFileBytes(path);
    const size_t owner = bytes.rfind("\nKVOWNER");
    ASSERT_NE(owner, std::string::npos);
    bytes.erase(owner + 1);
    kvtest::WriteFileBytes(path, bytes);
    Recovery().Configure(false);
    EXPECT_TRUE(Recovery().LeftBehind(StandAloneOwner("/shows/other.kvx")).empty());
    EXPECT_FLOAT_EQ(AdoptedX(StandAloneOwner("/shows/old.kvx")), 7);
}

TEST_F(RecoveryOwner, EmptyOrForeignFilesUnderACopysNameAreNoCopies) {
    kvtest::WriteFileBytes(dir + "/Kinevista-recovery.kvx", "");
    kvtest::WriteFileBytes(dir + "/Kinevista-recovery-2.kvx", "not a show at all");
    Recovery().Configure(false);
    EXPECT_TRUE(Recovery().LeftBehind("").empty());
    // A new copy never takes a name that is in use.
    Edit("/shows/n.kvx", 9);
    ASSERT_TRUE(Recovery().Write());
    EXPECT_EQ(Recovery().Path(), dir + "/Kinevista-recovery-3.kvx");
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/Kinevista-recovery-2.kvx"), "not a show at all");
}
