// The Slurm scripts of `kinevista-cli farm`: a job array that renders one movie (or one segment
// of a movie) per task with kinevista-cli, and a join job that runs once every task succeeded,
// reports each task's result and joins the segments. Everything the tasks use lies in the job
// folder on the shared folder: the program, the shows with their pictures, a settings snapshot,
// the logs and one result file per task.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvcli {

struct FarmTask {
    std::string show;    // the show's copy in the job folder
    std::string label;   // what progress lines call it ("a.kvx", "a.kvx frames 0-74")
    std::string output;  // the movie or segment it writes
    int64_t first = -1;  // the segment's movie frames; -1: the whole movie
    int64_t last = -1;
};

struct FarmPlan {
    std::string jobFolder;  // on the shared folder
    std::string program;    // kinevista-cli in the job folder
    std::vector<FarmTask> tasks;
    std::vector<std::string> movieArgs;  // movie options and common options, passed as given
    std::string partition;               // empty: the cluster's default
    std::string joined;                  // segments: the movie the join job makes; else empty

    std::string TasksScript() const;
    std::string JoinScript() const;
    // resubmit.sh TASK...: renders those tasks again as a new array job and points the join
    // job at it (or submits the join again when it is gone).
    std::string ResubmitScript() const;
    std::string StatusFile(size_t task) const;
    std::string TaskLog(size_t task) const;
    std::string JoinLog() const;
};

// A word the shell reads back as exactly `text`.
std::string ShellQuote(const std::string& text);

// The first movie frame of each of n segments of a movie of `total` frames (n <= total).
std::vector<int64_t> SegmentStarts(int64_t total, int n);

}  // namespace kvcli
