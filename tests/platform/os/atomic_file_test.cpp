// The one output path: complete or absent, links followed, temporary names within limits and
// leftovers of killed writers removed.
#include "platform/os/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../../test_support.h"

namespace kv::os {
namespace {

TEST(AtomicFile, FailedWriteLeavesTheOldFileAndNoTemporary) {
    const std::string dir = kvtest::TempDir("atomic-fail");
    const std::string target = dir + "/f.dat";
    const std::string old(3000, 'o');
    kvtest::WriteFileBytes(target, old);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    {
        kvtest::FileSizeLimit limit(1024);
        std::string error;
        EXPECT_FALSE(WriteFileAtomically(target, std::string(5000, 'n').data(), 5000, &error));
        EXPECT_NE(error.find(target), std::string::npos) << error;
    }
    EXPECT_EQ(kvtest::ReadFileBytes(target), old);
    EXPECT_EQ(kvtest::ListFolder(dir), std::vector<std::string>{"f.dat"});

    // A failed write is remembered: Commit refuses even when later writes fit.
    {
        AtomicFile f;
        ASSERT_TRUE(f.Open(target));
        {
            kvtest::FileSizeLimit limit(10);
            EXPECT_FALSE(f.Write("0123456789abcdef", 16));
        }
        EXPECT_TRUE(f.Failed());
        EXPECT_FALSE(f.Write("x", 1));
        EXPECT_FALSE(f.Commit());
    }
    EXPECT_EQ(kvtest::ReadFileBytes(target), old);
    EXPECT_EQ(kvtest::ListFolder(dir), std::vector<std::string>{"f.dat"});

    // Success replaces the bytes and keeps the file's mode.
    ASSERT_TRUE(WriteFileAtomically(target, "new", 3));
    EXPECT_EQ(kvtest::ReadFileBytes(target), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // An object dropped without Commit leaves nothing behind.
    {
        AtomicFile f;
        ASSERT_TRUE(f.Open(target));
        EXPECT_TRUE(f.Write("partial", 7));
    }
    EXPECT_EQ(kvtest::ReadFileBytes(target), "new");
    EXPECT_EQ(kvtest::ListFolder(dir), std::vector<std::string>{"f.dat"});

    // A folder that does not exist is reported, not created.
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir + "/no/such/f.dat", "x", 1, &error));
    EXPECT_FALSE(error.empty());
}

TEST(AtomicFile, SymbolicLinksAreFollowedNotReplaced) {
    const std::string dir = kvtest::TempDir("atomic-link");
    ASSERT_EQ(::mkdir((dir + "/real").c_str(), 0755), 0);
    kvtest::WriteFileBytes(dir + "/real/show.kvx", "old");
    ASSERT_EQ(::symlink("real/show.kvx", (dir + "/hop").c_str()), 0);
    ASSERT_EQ(::symlink((dir + "/hop").c_str(), (dir + "/link.kvx").c_str()), 0);
    EXPECT_EQ(ResolveWriteTarget(dir + "/link.kvx"), dir + "/real/show.kvx");

    ASSERT_TRUE(WriteFileAtomically(dir + "/link.kvx", "new", 3));
    struct stat st {};
    ASSERT_EQ(::lstat((dir + "/link.kvx").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat((dir + "/hop").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/real/show.kvx"), "new");

    // A dangling link creates the file it names.
    ASSERT_EQ(::symlink("real/later.kvx", (dir + "/dangling").c_str()), 0);
    ASSERT_TRUE(WriteFileAtomically(dir + "/dangling", "made", 4));
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/real/later.kvx"), "made");
}

TEST(AtomicFile, TemporaryNamesKeepTheExtensionAndTheNameLimit) {
    const std::string dir = kvtest::TempDir("atomic-names");
    for (size_t length : {5u, 8u, 200u, 248u, 249u, 252u, 255u}) {
        std::string name(length - std::min<size_t>(length, 4), 'n');
        name += std::string(".avi").substr(0, length - name.size());
        ASSERT_EQ(name.size(), length);
        const TempNameParts parts = TempNameFor(name);
        EXPECT_LE(parts.prefix.size() + 6 + parts.suffix.size(), 255u) << length;
        if (length >= 5) {
            EXPECT_EQ(parts.suffix, ".avi") << length;
        }
        const std::string target = dir + "/" + name;
        ASSERT_TRUE(WriteFileAtomically(target, name.data(), name.size())) << length;
        EXPECT_EQ(kvtest::ReadFileBytes(target), name);
    }
    // Names that share their first 230 bytes still get patterns of their own.
    const std::string common(230, 'c');
    EXPECT_NE(TempNameFor(common + "-one.kvx").prefix, TempNameFor(common + "-two.kvx").prefix);
}

TEST(AtomicFile, LeftoversOfKilledWritersGoAtTheNextWrite) {
    const std::string dir = kvtest::TempDir("atomic-leftover");
    const std::string target = dir + "/movie.avi";
    const TempNameParts parts = TempNameFor("movie.avi");
    const std::string leftover = dir + "/" + parts.prefix + "Ab3xYz" + parts.suffix;
    kvtest::WriteFileBytes(leftover, "half a movie");
    kvtest::WriteFileBytes(dir + "/other.avi", "someone else's");
    kvtest::WriteFileBytes(dir + "/" + TempNameFor("other.avi").prefix + "Ab3xYz.avi", "theirs");

    AtomicFile running;  // a writer still at work holds its temporary file
    ASSERT_TRUE(running.Open(target));
    EXPECT_EQ(kvtest::ReadFileBytes(leftover), "");  // removed by the Open above
    EXPECT_NE(running.TempPath().find(parts.prefix), std::string::npos);
    EXPECT_EQ(running.TempPath().substr(running.TempPath().size() - 4), ".avi");

    EXPECT_EQ(RemoveLeftoverTemps(target), 0);  // the running writer's file stays
    EXPECT_TRUE(running.Write("whole", 5));
    EXPECT_TRUE(running.Commit());
    EXPECT_EQ(kvtest::ReadFileBytes(target), "whole");
    // Another target's temporary file is not ours to remove.
    EXPECT_EQ(kvtest::ListFolder(dir).size(), 3u);
}

// Writers racing on one target each sweep the others' temporaries: a sweep never takes one that
// a writer holds, between its creation and its rename included, so every writer succeeds and
// the target is always one writer's whole bytes.
TEST(AtomicFile, ConcurrentWritersToOneTargetAllSucceed) {
    const std::string dir = kvtest::TempDir("atomic-race");
    const std::string target = dir + "/show.kvx";
    constexpr int Writers = 8;
    constexpr int Rounds = 40;
    std::atomic<int> failures{0};
    std::string firstError;
    std::mutex errorLock;
    std::vector<std::thread> threads;
    for (int w = 0; w < Writers; ++w) {
        threads.emplace_back([&, w] {
            const std::string bytes(2000 + w, static_cast<char>('a' + w));
            for (int r = 0; r < Rounds; ++r) {
                std::string error;
                if (!WriteFileAtomically(target, bytes.data(), bytes.size(), &error)) {
                    ++failures;
                    std::lock_guard<std::mutex> lock(errorLock);
                    if (firstError.empty()) firstError = error;
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0) << firstError;
    const std::string last = kvtest::ReadFileBytes(target);
    ASSERT_GE(last.size(), 2000u);
    EXPECT_EQ(last, std::string(last.size(), last[0]));
    EXPECT_EQ(kvtest::ListFolder(dir), std::vector<std::string>{"show.kvx"});
}

// Sets a file's modification time `seconds` into the past.
void Age(const std::string& path, int64_t seconds) {
    struct timespec times[2] = {};
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - seconds;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A killed writer's temporary for another name goes at the next write into the folder once it
// has lain an hour; a younger one, a locked one (a writer still at work) and a user's file that
// only looks like a temporary stay.
TEST(AtomicFile, OldLeftoversOfOtherNamesGoAtAnyWriteIntoTheFolder) {
    const std::string dir = kvtest::TempDir("atomic-old-leftovers");
    const std::string base = dir + "/";
    const std::string oldOne = TempNameFor("big.avi").prefix + "Q1w2E3.avi";
    const std::string oldNoExt = TempNameFor("notes").prefix + "zzzzzz";
    const std::string young = TempNameFor("young.mov").prefix + "abcdef.mov";
    const std::string locked = TempNameFor("busy.mkv").prefix + "LoCkEd.mkv";
    // The right shape with the hash of another name, and a plain hidden file.
    const std::string lookalike = ".big~kv00000000-Q1w2E3.avi";
    const std::string hidden = ".config";
    EXPECT_TRUE(IsTempName(oldOne));
    EXPECT_TRUE(IsTempName(oldNoExt));
    EXPECT_FALSE(IsTempName(lookalike));
    EXPECT_FALSE(IsTempName(hidden));
    EXPECT_FALSE(IsTempName("big.avi"));
    for (const std::string& name : {oldOne, oldNoExt, young, locked, lookalike, hidden}) {
        kvtest::WriteFileBytes(base + name, "left behind");
        if (name != young) Age(base + name, LeftoverTempSeconds + 60);
    }
    Age(base + young, LeftoverTempSeconds - 60);
    const int held = ::open((base + locked).c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    ASSERT_TRUE(WriteFileAtomically(base + "show.kvx", "show", 4));
    std::vector<std::string> names = kvtest::ListFolder(dir);
    std::sort(names.begin(), names.end());
    std::vector<std::string> want = {hidden, lookalike, locked, young, "show.kvx"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names, want);

    // Once its writer is gone, the locked one goes too.
    ::close(held);
    EXPECT_EQ(RemoveLeftoverTemps(base + "show.kvx"), 1);
    EXPECT_NE(kvtest::ListFolder(dir).size(), names.size());
    struct stat st {};
    EXPECT_NE(::stat((base + locked).c_str(), &st), 0);
}

TEST(AtomicFile, DevicesAreWrittenInPlaceAndTheirErrorsReported) {
    EXPECT_FALSE(WriteFileAtomically("/dev/full", "x", 1));
    ASSERT_TRUE(WriteFileAtomically("/dev/null", "x", 1));
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    for (const std::string& name : kvtest::ListFolder("/dev"))
        EXPECT_EQ(name.find("~kv"), std::string::npos) << name;
}

}  // namespace
}  // namespace kv::os
