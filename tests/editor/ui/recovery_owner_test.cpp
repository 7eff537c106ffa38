// Recovery copies belong to one show: stand-alone to the show's file (or "untitled"), for the
// host to the exchange file as it was at start-up. A run offers and loads only its own copy and
// leaves every other show's copy as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/show/show.h"
#include "editor/ui/recovery.h"
#include "editor/ui/session/edit_session.h"
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
        Session().Attach(m_oldShow, &kv::TheSettings());
        setenv("KINEVISTA_PUBLIC", m_oldPublic.c_str(), 1);
        Recovery().Configure(false);
    }
    // The show as a user leaves it: named (or not), with its second key at x.
    void Edit(const char* path, float x) {
        show.showFile.SetPath(path);
        show.pictures[0].keys[1].x = x;
        show.dirty = true;
    }
    float RecoveredX() {
        Show back;
        Show* editing = Session().GetShow();
        EXPECT_TRUE(Recovery().LoadInto(back));
        Session().Attach(editing, &kv::TheSettings());
        return back.pictures[0].keys[1].x;
    }
    bool Present(const std::string& name) const {
        return access((dir + "/" + name).c_str(), F_OK) == 0;
    }

    std::string dir;
    Show show;

private:
    std::string m_oldPublic;
    Show* m_oldShow = nullptr;
};

}  // namespace

TEST_F(RecoveryOwner, StandAloneCopiesBelongToTheShowsFile) {
    Recovery().Configure(false);
    Edit("/shows/a.kvx", 11);
    ASSERT_TRUE(Recovery().Write());
    EXPECT_TRUE(Present("Kinevista-recovery.kvx"));
    // Another show (a later run on b.kvx) is not offered a's copy and keeps it whole.
    Recovery().Configure(false);
    Edit("/shows/b.kvx", 22);
    EXPECT_FALSE(Recovery().Exists());
    ASSERT_TRUE(Recovery().Write());
    EXPECT_TRUE(Present("Kinevista-recovery-2.kvx"));
    // An untitled show has its own, a third.
    Recovery().Configure(false);
    Edit("", 33);
    EXPECT_FALSE(Recovery().Exists());
    ASSERT_TRUE(Recovery().Write());
    EXPECT_EQ(Recovery().Owner(), "untitled");
    // Each run on its show finds its own copy, whatever the order of the files.
    Recovery().Configure(false);
    Edit("/shows/a.kvx", 0);
    ASSERT_TRUE(Recovery().Exists());
    EXPECT_FLOAT_EQ(RecoveredX(), 11);
    Edit("/shows/b.kvx", 0);
    ASSERT_TRUE(Recovery().Exists());
    EXPECT_FLOAT_EQ(RecoveredX(), 22);
    Edit("", 0);
    ASSERT_TRUE(Recovery().Exists());
    EXPECT_FLOAT_EQ(RecoveredX(), 33);
    // Removing one show's copy leaves the others.
    Edit("/shows/a.kvx", 0);
    Recovery().Remove();
    EXPECT_FALSE(Recovery().Exists());
    Edit("/shows/b.kvx", 0);
    EXPECT_TRUE(Recovery().Exists());
    Edit("", 0);
    EXPECT_TRUE(Recovery().Exists());
}

TEST_F(RecoveryOwner, AnUntitledShowSavedUnderANameLeavesNoStaleCopy) {
    Recovery().Configure(false);
    Edit("", 5);
    ASSERT_TRUE(Recovery().Write());
    Edit("/shows/named.kvx", 6);
    ASSERT_TRUE(Recovery().Write());
    Recovery().Remove();
    EXPECT_FALSE(Present("Kinevista-recovery.kvx"));
    EXPECT_FALSE(Present("Kinevista-recovery-2.kvx"));
    Edit("", 0);
    EXPECT_FALSE(Recovery().Exists());
}

TEST_F(RecoveryOwner, HostCopiesBelongToTheExchangeFileOfTheirStart) {
    const std::string exchange = ExchangePath();
    kvtest::WriteFileBytes(exchange, "the first effect's show");
    Recovery().Configure(true);
    const std::string firstOwner = Recovery().Owner();
    Edit("", 41);
    ASSERT_TRUE(Recovery().Write());
    EXPECT_TRUE(Present("kvdata-recovery.kvx"));
    // The host starts the editor for another effect: its exchange file differs.
    kvtest::WriteFileBytes(exchange, "another effect's show");
    Recovery().Configure(true);
    EXPECT_NE(Recovery().Owner(), firstOwner);
    EXPECT_FALSE(Recovery().Exists());
    Edit("", 42);
    ASSERT_TRUE(Recovery().Write());
    Recovery().Remove();  // that run ends cleanly
    // The first effect's copy is still there, offered to a run for the same exchange file.
    kvtest::WriteFileBytes(exchange, "the first effect's show");
    Recovery().Configure(true);
    EXPECT_EQ(Recovery().Owner(), firstOwner);
    ASSERT_TRUE(Recovery().Exists());
    EXPECT_FLOAT_EQ(RecoveredX(), 41);
    // The identity is taken at start-up: the exchange file rewritten later changes nothing.
    kvtest::WriteFileBytes(exchange, "written by this run");
    EXPECT_TRUE(Recovery().Exists());
}

TEST_F(RecoveryOwner, CopiesFromBeforeOwnersBelongToTheirShowsPath) {
    Recovery().Configure(false);
    Edit("/shows/old.kvx", 7);
    ASSERT_TRUE(Recovery().Write());
    // The copy as older programs wrote it: the path line and no owner line.
    const std::string path = dir + "/Kinevista-recovery.kvx";
    std::string bytes = kvtest::ReadFileBytes(path);
    const size_t owner = bytes.rfind("\nKVOWNER");
    ASSERT_NE(owner, std::string::npos);
    bytes.erase(owner + 1);
    kvtest::WriteFileBytes(path, bytes);
    Recovery().Configure(false);
    EXPECT_TRUE(Recovery().Exists());
    EXPECT_FLOAT_EQ(RecoveredX(), 7);
    Edit("/shows/other.kvx", 0);
    EXPECT_FALSE(Recovery().Exists());
}
