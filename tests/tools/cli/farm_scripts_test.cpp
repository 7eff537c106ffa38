// farm's scripts without a cluster: the segments cover the movie exactly, the scripts run each
// task's movie command with the options given (quoted as the shell reads them back), and
// requests farm cannot carry out are refused before anything is written or submitted.
#include "tools/cli/farm_scripts.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/output/show_files.h"
#include "tests/test_support.h"

namespace {

using kvcli::FarmPlan;
using kvcli::FarmTask;

TEST(FarmScripts, SegmentsCoverTheMovieWithoutGapOrOverlap) {
    for (int64_t total : {1, 7, 300, 1001}) {
        for (int n : {1, 2, 3, 7}) {
            if (n > total) continue;
            const std::vector<int64_t> starts = kvcli::SegmentStarts(total, n);
            ASSERT_EQ(starts.size(), static_cast<size_t>(n));
            EXPECT_EQ(starts[0], 0);
            for (int i = 1; i < n; ++i) EXPECT_GT(starts[i], starts[i - 1]) << total << "/" << n;
            EXPECT_LT(starts.back(), total);
        }
    }
}

TEST(FarmScripts, ShellQuotingReadsBackExactly) {
    const std::string dir = kvtest::TempDir("farm-quote");
    const std::string tricky = "it's a \"show\" $HOME `x` \\ name";
    std::string out;
    ASSERT_EQ(kvtest::Run("printf %s " + kvcli::ShellQuote(tricky), &out), 0);
    EXPECT_EQ(out, tricky);
}

TEST(FarmScripts, ScriptsNameEveryTaskAndTheJoin) {
    FarmPlan plan;
    plan.jobFolder = "/shared/kv-farm-1";
    plan.partition = "render";
    plan.movieArgs = {"--size", "96x64", "--codec", "H264", "--reverse"};
    plan.joined = "/out/longB.avi";
    for (int k = 0; k < 3; ++k) {
        FarmTask t;
        t.show = "/shared/kv-farm-1/shows/0/long.kvx";
        t.first = k * 10;
        t.last = k * 10 + 9;
        t.label = "long.kvx part " + std::to_string(k);
        t.output = "/shared/kv-farm-1/parts/" + std::to_string(k) + ".avi";
        plan.tasks.push_back(t);
    }
    const std::string tasks = plan.TasksScript();
    EXPECT_NE(tasks.find("#SBATCH --array=0-2\n"), std::string::npos) << tasks;
    EXPECT_NE(tasks.find("#SBATCH --partition=render\n"), std::string::npos);
    EXPECT_NE(tasks.find("#SBATCH --output=/shared/kv-farm-1/logs/task-%a.out\n"),
              std::string::npos);
    EXPECT_NE(tasks.find("2) show='/shared/kv-farm-1/shows/0/long.kvx' "
                         "out='/shared/kv-farm-1/parts/2.avi' range=(--frames 20-29) ;;"),
              std::string::npos)
        << tasks;
    EXPECT_NE(tasks.find("'--size' '96x64' '--codec' 'H264' '--reverse'"), std::string::npos);
    const std::string join = plan.JoinScript();
    EXPECT_NE(join.find("\"$JOB/kinevista-cli\" join '/out/longB.avi' "
                        "'/shared/kv-farm-1/parts/0.avi' '/shared/kv-farm-1/parts/1.avi' "
                        "'/shared/kv-farm-1/parts/2.avi' || exit 1"),
              std::string::npos)
        << join;
    EXPECT_NE(join.find("report 1 'long.kvx part 1'"), std::string::npos);
    // Both scripts are sound shell.
    const std::string dir = kvtest::TempDir("farm-scripts");
    kvtest::WriteFileBytes(dir + "/t.sh", tasks);
    kvtest::WriteFileBytes(dir + "/j.sh", join);
    kvtest::WriteFileBytes(dir + "/r.sh", plan.ResubmitScript());
    for (const char* s : {"/t.sh", "/j.sh", "/r.sh"})
        EXPECT_EQ(kvtest::Run("bash -n '" + dir + s + "' 2>&1"), 0) << s;
}

int Cli(const std::string& args, std::string* out = nullptr) {
    return kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli " + args + " 2>&1", out);
}

TEST(FarmCommand, DryRunPrintsTheScriptsAndRefusalsSubmitNothing) {
    const std::string dir = kvtest::TempDir("farm-dry");
    const std::string show = kvtest::MakeShowFile(dir, "long", 90);
    ASSERT_EQ(kvtest::Run("mkdir -p '" + dir + "/shared' '" + dir + "/out'"), 0);
    const std::string common = " --out '" + dir + "/out' --shared '" + dir + "/shared'" +
                               " --size 96x64 --fps 25 --frame-rate 2500 --hold 0:00:00:05";
    std::string out;
    ASSERT_EQ(Cli("farm '" + show + "' --segments 4 --dry-run" + common, &out), 0) << out;
    // 90 frames and two 5-frame holds: 100 movie frames in four segments.
    EXPECT_NE(out.find("#SBATCH --array=0-3"), std::string::npos) << out;
    EXPECT_NE(out.find("range=(--frames 75-99)"), std::string::npos) << out;
    EXPECT_NE(out.find("join '" + dir + "/out/longB.avi'"), std::string::npos) << out;
    EXPECT_NE(out.find("--dependency=afterok:"), std::string::npos);
    // A dry run leaves the shared folder as it was.
    EXPECT_TRUE(kvtest::ListFolder(dir + "/shared").empty());

    const std::string other = kvtest::MakeShowFile(dir, "other", 10);
    EXPECT_EQ(Cli("farm '" + show + "' '" + other + "' --segments 2 --dry-run" + common, &out), 2);
    EXPECT_NE(out.find("--segments splits one show"), std::string::npos) << out;
    EXPECT_EQ(Cli("farm '" + show + "' --segments 101 --dry-run" + common, &out), 1);
    EXPECT_NE(out.find("fewer than the 101 segments"), std::string::npos) << out;
    EXPECT_EQ(Cli("farm '" + show + "' --dry-run --out '" + dir + "/out'", &out), 2);
    EXPECT_NE(out.find("wants --shared DIR"), std::string::npos) << out;
    EXPECT_EQ(Cli("farm '" + show + "' --partition 'a b' --dry-run" + common, &out), 2);
    EXPECT_EQ(Cli("farm '" + show + "' '" + show + "' --dry-run" + common, &out), 1);
    EXPECT_NE(out.find("two shows would make the same movie"), std::string::npos) << out;
    EXPECT_EQ(Cli("farm '" + dir + "/absent.kvx' --dry-run" + common, &out), 1);
    EXPECT_TRUE(kvtest::ListFolder(dir + "/shared").empty());
}

}  // namespace
