// kill -9 at random moments of a show resave, a movie and the settings write: the target is
// always either the old file or the new complete one, and the temporary files the killed
// writers leave are gone after the next complete write to the same target.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "tests/output/show_files.h"
#include "tests/test_support.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The whole test stays within this, however slow the machine.
const Clock::time_point g_deadline = Clock::now() + std::chrono::seconds(200);

std::mt19937& Random() {
    static std::mt19937 random(20261207);
    return random;
}

// Starts kinevista-cli with its output discarded.
pid_t SpawnCli(const std::vector<std::string>& args) {
    std::vector<std::string> all{std::string(KV_BIN_DIR) + "/kinevista-cli"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// How long a complete run takes, to choose kill moments across it.
std::chrono::microseconds TimeOfRun(const std::vector<std::string>& args) {
    const auto start = Clock::now();
    const pid_t pid = SpawnCli(args);
    EXPECT_GT(pid, 0);
    const int status = WaitExit(pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
}

// Kills the process at a random moment within [0, 1.2 x span) and reaps it.
void KillAtRandom(pid_t pid, std::chrono::microseconds span) {
    std::uniform_int_distribution<int64_t> moment(0, span.count() * 6 / 5);
    usleep(static_cast<useconds_t>(moment(Random())));
    kill(pid, SIGKILL);
    WaitExit(pid);
}

bool NoTemporaryFiles(const std::string& dir) {
    for (const std::string& name : kvtest::ListFolder(dir))
        if (name.find("~kv") != std::string::npos) return false;
    return true;
}

// A resaved show differs from another save of the same show only in its id (bytes 2 and 3).
bool SameShowBytes(std::string a, std::string b) {
    if (a.size() != b.size() || a.size() < 4) return false;
    a[2] = a[3] = b[2] = b[3] = 0;
    return a == b;
}

TEST(KillNine, ResaveLeavesTheOldOrTheNewShow) {
    const std::string dir = kvtest::TempDir("kill-resave");
    const std::string source = kvtest::MakeShowFile(dir, "source", 40);
    const std::string other = kvtest::MakeShowFile(dir, "other", 10);
    const std::string target = dir + "/target.kvx";
    const std::string oldBytes = kvtest::ReadFileBytes(other);
    const std::vector<std::string> args{"resave", source, target};
    const auto span = TimeOfRun(args);
    const std::string newBytes = kvtest::ReadFileBytes(target);
    ASSERT_FALSE(SameShowBytes(oldBytes, newBytes));

    int kills = 0, sawOld = 0, sawNew = 0;
    for (; kills < 90 && Clock::now() < g_deadline; ++kills) {
        kvtest::WriteFileBytes(target, oldBytes);
        const pid_t pid = SpawnCli(args);
        ASSERT_GT(pid, 0);
        KillAtRandom(pid, span);
        const std::string now = kvtest::ReadFileBytes(target);
        const bool isOld = now == oldBytes, isNew = SameShowBytes(now, newBytes);
        ASSERT_TRUE(isOld || isNew) << "kill " << kills << ": " << now.size() << " bytes";
        sawOld += isOld;
        sawNew += isNew;
    }
    EXPECT_EQ(kills, 90);
    EXPECT_EQ(sawOld + sawNew, kills);
    TimeOfRun(args);
    EXPECT_TRUE(NoTemporaryFiles(dir));
}

TEST(KillNine, MovieLeavesTheOldOrTheNewMovie) {
    const std::string dir = kvtest::TempDir("kill-movie");
    const std::string show = kvtest::MakeShowFile(dir, "shot", 30);
    const std::string target = dir + "/target.avi";
    std::string oldBytes(150 * 1024, '\0');
    for (size_t i = 0; i < oldBytes.size(); ++i) oldBytes[i] = static_cast<char>(i * 31 + 7);
    const std::vector<std::string> args{"movie",  show,    "--out",      target,
                                        "--size", "96x64", "--no-fields"};
    const auto span = TimeOfRun(args);
    const std::string newBytes = kvtest::ReadFileBytes(target);
    ASSERT_GT(newBytes.size(), 96u * 64 * 4);

    int kills = 0, sawOld = 0, sawNew = 0;
    for (; kills < 60 && Clock::now() < g_deadline; ++kills) {
        kvtest::WriteFileBytes(target, oldBytes);
        const pid_t pid = SpawnCli(args);
        ASSERT_GT(pid, 0);
        KillAtRandom(pid, span);
        const std::string now = kvtest::ReadFileBytes(target);
        ASSERT_TRUE(now == oldBytes || now == newBytes)
            << "kill " << kills << ": " << now.size() << " bytes";
        sawOld += now == oldBytes;
        sawNew += now == newBytes;
    }
    EXPECT_EQ(kills, 60);
    EXPECT_EQ(sawOld + sawNew, kills);
    EXPECT_GT(sawOld, 0);
    TimeOfRun(args);
    EXPECT_EQ(kvtest::ReadFileBytes(target), newBytes);
    EXPECT_TRUE(NoTemporaryFiles(dir));
}

TEST(KillNine, SettingsWriteLeavesAWholeSettingsFile) {
    const std::string dir = kvtest::TempDir("kill-settings");
    const std::string path = dir + "/Kinevista.ini";
    const std::string oldText = "[Kinevista]\r\nFrameRate=2500\r\n";
    const std::string a(400, 'a'), b(700, 'b');
    const std::string textA = oldText + "Round=" + a + "\r\n";
    const std::string textB = oldText + "Round=" + b + "\r\n";

    int kills = 0, sawOld = 0, sawNew = 0;
    for (; kills < 90 && Clock::now() < g_deadline; ++kills) {
        kvtest::WriteFileBytes(path, oldText);
        int done[2];
        ASSERT_EQ(pipe(done), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // The child writes the settings file over and over until it is killed, and says so
            // once the first write is complete.
            close(done[0]);
            kv::Settings s;
            s.Load(path);
            for (unsigned round = 0;; ++round) {
                s.WriteString("Round", (round % 2 ? b : a).c_str());
                s.Save();
                if (round == 0) (void)!write(done[1], "w", 1);
            }
        }
        close(done[1]);
        // Every other kill lands after a complete write, however slow the machine is; the
        // others at any moment from the start, the first write included.
        if (kills % 2) {
            char c;
            while (read(done[0], &c, 1) < 0 && errno == EINTR) {
            }
        }
        KillAtRandom(pid, std::chrono::microseconds(3000));
        // Only now: a child still writing must not die of a closed pipe instead of the kill.
        close(done[0]);
        const std::string now = kvtest::ReadFileBytes(path);
        const bool isOld = now == oldText, isNew = now == textA || now == textB;
        ASSERT_TRUE(isOld || isNew) << "kill " << kills << ": " << now.size() << " bytes";
        sawOld += isOld;
        sawNew += isNew;
    }
    EXPECT_EQ(kills, 90);
    EXPECT_EQ(sawOld + sawNew, kills);
    EXPECT_GT(sawNew, 0);
    kv::Settings s;
    s.Load(path);
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(kvtest::ListFolder(dir), std::vector<std::string>{"Kinevista.ini"});
}

}  // namespace
