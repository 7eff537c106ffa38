// kinevista-cli farm on a real single-node Slurm cluster (scripts/slurm_cluster.sh): three
// shows and one show in four segments, followed with --wait, make the movies batch makes on one
// machine; a failed task shows in the summary and the join report and is rendered again alone.
// Skipped, saying why, when the cluster could not start here.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/output/show_files.h"
#include "tests/test_support.h"

namespace {

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

int Cli(const std::string& args, std::string* out = nullptr) {
    return kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli " + args + " 2>&1", out);
}

// The hash of every video packet, in order, as stored.
std::string PacketHashes(const std::string& movie) {
    std::string out;
    kvtest::Run("ffmpeg -v error -i " + Q(movie) +
                    " -map 0:v -c copy -f framemd5 - | grep -v '^#'"
                    " | awk -F, '{print $NF}'",
                &out);
    return out;
}

// The job folder farm printed.
std::string JobFolder(const std::string& out) {
    const std::string key = "job folder: ";
    const size_t at = out.find(key);
    if (at == std::string::npos) return {};
    return out.substr(at + key.size(), out.find('\n', at) - at - key.size());
}

const char* const Options = "--size 96x64 --fps 25 --frame-rate 2500 --no-fields --hold 0:00:00:05";

class Farm : public ::testing::Test {
protected:
    void SetUp() override {
        const char* conf = std::getenv("SLURM_CONF");
        if (!conf || !*conf) GTEST_SKIP() << "SLURM_CONF is not set: no cluster for these tests";
        const char* dir = std::getenv("KV_SLURM_DIR");
        const std::string why =
            dir ? kvtest::ReadFileBytes(std::string(dir) + "/unavailable") : std::string();
        if (!why.empty()) GTEST_SKIP() << "the Slurm cluster could not start: " << why;
        if (kvtest::Run("timeout 20 sinfo -h >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "the Slurm cluster at " << conf << " does not answer";
        dir_ = kvtest::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        shared = dir_ + "/shared";
        out = dir_ + "/out";
        one = dir_ + "/one";
        ASSERT_EQ(kvtest::Run("mkdir -p " + Q(shared) + " " + Q(out) + " " + Q(one)), 0);
    }
    std::string dir_, shared, out, one;
};

TEST_F(Farm, ThreeShowsMakeTheMoviesBatchMakes) {
    std::vector<std::string> shows;
    for (const char* name : {"alpha", "beta", "gamma"})
        shows.push_back(kvtest::MakeShowFile(dir_, name, 20 + 5 * static_cast<int>(shows.size())));
    std::string list;
    for (const std::string& s : shows) list += " " + Q(s);
    std::string text;
    ASSERT_EQ(Cli("farm" + list + " --out " + Q(out) + " --shared " + Q(shared) + " " + Options +
                      " --wait",
                  &text),
              0)
        << text;
    for (const char* name : {"alpha", "beta", "gamma"})
        EXPECT_NE(text.find(std::string(name) + ".kvx: done"), std::string::npos) << text;
    EXPECT_NE(text.find("farm: all 3 tasks done"), std::string::npos) << text;
    const std::string report = kvtest::ReadFileBytes(JobFolder(text) + "/logs/join.out");
    EXPECT_NE(report.find("all 3 tasks made their movies"), std::string::npos) << report;

    ASSERT_EQ(Cli("batch --out " + Q(one + "/x.avi") + list + " " + Options), 0);
    for (const char* name : {"alpha", "beta", "gamma"}) {
        const std::string farmed = kvtest::ReadFileBytes(out + "/" + name + "B.avi");
        EXPECT_GT(farmed.size(), 1000u) << name;
        EXPECT_TRUE(farmed == kvtest::ReadFileBytes(one + "/" + name + "B.avi")) << name;
    }
}

TEST_F(Farm, OneShowInFourSegmentsJoinsToTheOnePieceMovie) {
    const std::string show = kvtest::MakeShowFile(dir_, "long", 90);
    std::string text;
    ASSERT_EQ(Cli("farm " + Q(show) + " --segments 4 --out " + Q(out) + " --shared " + Q(shared) +
                      " " + Options + " --codec MJPG --reverse --wait",
                  &text),
              0)
        << text;
    // 90 frames and two 5-frame holds, there and back: 200 movie frames in four segments.
    for (const char* range : {"0-49", "50-99", "100-149", "150-199"})
        EXPECT_NE(text.find(std::string("long.kvx frames ") + range + ": done"), std::string::npos)
            << text;
    ASSERT_EQ(Cli("batch --out " + Q(one + "/x.avi") + " " + Q(show) + " " + Options +
                  " --codec MJPG --reverse"),
              0);
    const std::string want = PacketHashes(one + "/longB.avi");
    EXPECT_EQ(std::count(want.begin(), want.end(), '\n'), 200);
    EXPECT_EQ(PacketHashes(out + "/longB.avi"), want);
    // The segments were joined and taken away.
    EXPECT_EQ(kvtest::ListFolder(JobFolder(text) + "/parts").size(), 0u);
}

TEST_F(Farm, FailedTaskIsReportedAndRenderedAgainAlone) {
    std::vector<std::string> shows;
    for (const char* name : {"one", "two", "three"})
        shows.push_back(kvtest::MakeShowFile(dir_, name, 10));
    // A folder in the way of the second movie makes its task fail.
    ASSERT_EQ(kvtest::Run("mkdir " + Q(out + "/twoB.avi")), 0);
    std::string list;
    for (const std::string& s : shows) list += " " + Q(s);
    std::string text;
    EXPECT_EQ(Cli("farm" + list + " --out " + Q(out) + " --shared " + Q(shared) + " " + Options +
                      " --wait",
                  &text),
              1)
        << text;
    EXPECT_NE(text.find("farm: 1 of 3 tasks failed"), std::string::npos) << text;
    EXPECT_NE(text.find("task 1 (two.kvx): failed with exit status 1"), std::string::npos) << text;
    const std::string job = JobFolder(text);
    ASSERT_NE(text.find("resubmit.sh 1\n"), std::string::npos) << text;

    // Out of the way, the task alone again; the join job then runs and reports both attempts.
    ASSERT_EQ(kvtest::Run("rmdir " + Q(out + "/twoB.avi")), 0);
    std::string again;
    ASSERT_EQ(kvtest::Run(Q(job + "/resubmit.sh") + " 1 2>&1", &again), 0) << again;
    const std::string joinId = kvtest::ReadFileBytes(job + "/join.id");
    ASSERT_FALSE(joinId.empty());
    // sbatch --wait returns when its job ends, which it does once the join job has ended.
    ASSERT_EQ(kvtest::Run("sbatch --wait --quiet -o /dev/null --dependency=afterany:" +
                          joinId.substr(0, joinId.find('\n')) + " --wrap true"),
              0);
    const std::string report = kvtest::ReadFileBytes(job + "/logs/join.out");
    EXPECT_NE(report.find("task 1 (two.kvx): ok"), std::string::npos) << report;
    EXPECT_NE(report.find("all 3 tasks made their movies"), std::string::npos) << report;
    EXPECT_NE(report.find("exit status 1"), std::string::npos) << report;  // the first attempt
    EXPECT_GT(kvtest::ReadFileBytes(out + "/twoB.avi").size(), 1000u);
}

}  // namespace
