// kinevista-cli farm: renders shows on a Slurm cluster. The shows, their pictures, this
// program and a snapshot of the settings are copied into a job folder on a shared folder the
// user names; a job array renders one movie per show (or one segment per task of a single long
// show) and a join job, started once every task succeeded (afterok), reports each task and
// joins the segments. --wait follows the jobs until the join job ends. On the cluster only
// kinevista-cli runs, started by the generated batch scripts.
#ifdef KV_HAVE_OUTPUT

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/show/picture_lookup.h"
#include "core/show/show.h"
#include "output/movie_job.h"
#include "platform/os/process.h"
#include "tools/cli/cli.h"
#include "tools/cli/cli_movie_host.h"
#include "tools/cli/farm_scripts.h"

namespace kvcli {

namespace {

// Runs a program with arguments (no shell) and returns its exit status, with standard output
// in `out`; -1 when it cannot be started.
int RunProgram(const std::vector<std::string>& argv, std::string* out) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::fprintf(stderr, "kinevista-cli farm: cannot run %s: %s\n", args[0],
                     std::strerror(errno));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) text.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool CopyFile(const std::string& from, const std::string& to, mode_t mode) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) return false;
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    char buf[65536];
    size_t n = 0;
    bool ok = true;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0)
        ok = ok && std::fwrite(buf, 1, n, out) == n;
    ok = !std::ferror(in) && ok;
    std::fclose(in);
    ok = std::fclose(out) == 0 && ok;
    return ok && ::chmod(to.c_str(), mode) == 0;
}

bool WriteText(const std::string& path, const std::string& text, mode_t mode) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    return ok && ::chmod(path.c_str(), mode) == 0;
}

std::string ReadText(const std::string& path) {
    std::string text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return text;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Absolute(const std::string& path) {
    char full[PATH_MAX];
    return ::realpath(path.c_str(), full) ? std::string(full) : path;
}

// The options a task's movie command is given as farm was: the movie options and the common
// options that shape a movie (the settings travel in the snapshot).
std::vector<std::string> TakeForwardedArgs(const Context& ctx) {
    static const std::set<std::string> valued = {"--size", "--start",   "--end",   "--hold",
                                                 "--fps",  "--quality", "--codec", "--aspect"};
    static const std::set<std::string> switches = {"--fields", "--no-fields", "--reverse",
                                                   "--fill"};
    std::vector<std::string> out;
    for (size_t i = 0; i < ctx.args.size(); ++i) {
        if (valued.count(ctx.args[i]) && i + 1 < ctx.args.size()) {
            out.push_back(ctx.args[i]);
            out.push_back(ctx.args[++i]);
        } else if (switches.count(ctx.args[i])) {
            out.push_back(ctx.args[i]);
        }
    }
    if (ctx.frameRate > 0) {
        out.push_back("--frame-rate");
        out.push_back(std::to_string(ctx.frameRate));
    }
    if (ctx.length >= 0) {
        out.push_back("--length");
        out.push_back(std::to_string(ctx.length));
    }
    if (ctx.allowPlaceholder) out.push_back("--allow-placeholder");
    return out;
}

// The job id sbatch --parsable printed ("123" or "123;cluster").
std::string ParsableId(const std::string& text) {
    std::string id = text.substr(0, text.find_first_of(";\n"));
    return id.find_first_not_of("0123456789") == std::string::npos ? id : "";
}

// --- following the jobs ----------------------------------------------------------------------

// Slurm's view of the array's tasks and the join job: job id ("123_4", "124") -> state and
// reason. False when squeue does not answer. The farm's jobs are asked for by name, not by id:
// squeue refuses a list of ids once one of them has left the controller's memory, which the
// first array's has long before a long render ends.
bool QueueStates(const std::vector<std::string>& ids,
                 std::map<std::string, std::pair<std::string, std::string>>& states) {
    states.clear();
    std::string out;
    if (RunProgram(
            {"squeue", "-h", "-r", "-t", "all", "--name=kv-farm,kv-farm-join", "-o", "%i|%T|%r"},
            &out) != 0)
        return false;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        const size_t a = line.find('|');
        const size_t b = line.find('|', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        const std::string id = line.substr(0, a);
        const std::string job = id.substr(0, id.find('_'));
        if (std::find(ids.begin(), ids.end(), job) == ids.end()) continue;
        states[id] = {line.substr(a + 1, b - a - 1), line.substr(b + 1)};
    }
    return true;
}

// The array jobs of the farm: the first, then one per resubmission (tasks.ids).
std::vector<std::string> TaskJobIds(const FarmPlan& plan, const std::string& first) {
    std::vector<std::string> ids;
    const std::string text = ReadText(plan.jobFolder + "/tasks.ids");
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (end > at) ids.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (ids.empty()) ids.push_back(first);
    return ids;
}

// What the accounting says of the failed tasks, where the cluster keeps accounts.
void PrintAccounting(const std::vector<std::string>& arrays) {
    std::string list;
    for (const std::string& id : arrays) list += (list.empty() ? "" : ",") + id;
    std::string out;
    if (RunProgram({"sacct", "-n", "-P", "-X", "-j", list, "-o", "JobID,State,ExitCode,NodeList"},
                   &out) != 0 ||
        out.empty())
        return;
    std::printf("accounting (sacct):\n");
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        if (!line.empty() && line.find("|COMPLETED|") == std::string::npos)
            std::printf("  %s\n", line.c_str());
        at = end + 1;
    }
}

// A task's state in words: its result when it wrote one, else the queue's state of its newest
// array job, else "pending". `done` tells whether the task finished well.
std::string TaskState(const FarmPlan& plan, size_t t, const std::vector<std::string>& ids,
                      const std::map<std::string, std::pair<std::string, std::string>>& states,
                      bool& done) {
    const std::string result = ReadText(plan.StatusFile(t));
    done = result == "ok";
    if (done) return "done";
    if (!result.empty()) return result;
    for (size_t k = ids.size(); k-- > 1;) {
        auto it = states.find(ids[k] + "_" + std::to_string(t));
        if (it != states.end()) {
            std::string now = it->second.first;
            for (char& c : now) c = static_cast<char>(std::tolower(c));
            return now;
        }
    }
    return "pending";
}

// The summary once the join job has ended, is gone or can never run; the program's exit code.
int ReportFarmEnd(const FarmPlan& plan, const std::vector<std::string>& arrays,
                  const std::string& joinId, const std::string& joinState) {
    std::vector<size_t> failed;
    for (size_t t = 0; t < plan.tasks.size(); ++t)
        if (ReadText(plan.StatusFile(t)) != "ok") failed.push_back(t);
    if (joinState == "COMPLETED" && failed.empty()) {
        std::printf("farm: all %zu tasks done; join report in %s\n", plan.tasks.size(),
                    plan.JoinLog().c_str());
        return ExitSuccess;
    }
    std::printf("farm: %zu of %zu tasks failed\n", failed.size(), plan.tasks.size());
    std::string list;
    for (size_t t : failed) {
        const std::string r = ReadText(plan.StatusFile(t));
        std::printf("  task %zu (%s): %s\n", t, plan.tasks[t].label.c_str(),
                    r.empty() ? "no result" : r.c_str());
        list += " " + std::to_string(t);
    }
    if (!failed.empty()) PrintAccounting(arrays);
    if (!failed.empty())
        std::printf(
            "render them again alone with: %s/resubmit.sh%s\n"
            "(the join job %s waits for them; scancel %s gives up)\n",
            plan.jobFolder.c_str(), list.c_str(), joinId.c_str(), joinId.c_str());
    else
        std::printf("the join job ended %s; its report: %s\n", joinState.c_str(),
                    plan.JoinLog().c_str());
    return ExitFailure;
}

int WaitForJobs(const FarmPlan& plan, const std::string& tasksId, const std::string& joinId) {
    std::vector<std::string> printed(plan.tasks.size());
    std::string joinPrinted;
    for (;;) {
        const std::string joinFile = ReadText(plan.jobFolder + "/join.id");
        const std::string currentJoin = joinFile.empty() ? joinId : joinFile;
        const std::vector<std::string> arrays = TaskJobIds(plan, tasksId);
        std::vector<std::string> ids = {currentJoin};
        ids.insert(ids.end(), arrays.begin(), arrays.end());
        std::map<std::string, std::pair<std::string, std::string>> states;
        const bool answered = QueueStates(ids, states);
        size_t done = 0;
        for (size_t t = 0; t < plan.tasks.size(); ++t) {
            bool finished = false;
            const std::string now = TaskState(plan, t, ids, states, finished);
            if (finished) ++done;
            if (now != printed[t]) {
                printed[t] = now;
                std::printf("%s: %s\n", plan.tasks[t].label.c_str(), now.c_str());
            }
        }
        auto join = states.find(currentJoin);
        std::string joinState = join == states.end() ? "" : join->second.first;
        const std::string reason = join == states.end() ? "" : join->second.second;
        if (joinState == "PENDING" && reason == "DependencyNeverSatisfied") joinState = "BLOCKED";
        if (joinState != joinPrinted && !joinState.empty()) {
            joinPrinted = joinState;
            std::printf("join job %s: %s (%zu of %zu tasks done)\n", currentJoin.c_str(),
                        joinState.c_str(), done, plan.tasks.size());
        }
        std::fflush(stdout);
        const bool joinEnded = joinState == "COMPLETED" || joinState == "FAILED" ||
                               joinState == "CANCELLED" || joinState == "TIMEOUT" ||
                               joinState == "NODE_FAIL" || joinState == "OUT_OF_MEMORY";
        // A join job gone from the queue has ended too (or was cancelled before it ran).
        const bool joinGone = answered && join == states.end();
        if (joinEnded || joinGone || joinState == "BLOCKED")
            return ReportFarmEnd(plan, arrays, currentJoin, joinState);
        // Polling is how Slurm's state is seen from outside; once a second is light on it.
        kv::SleepMilliseconds(1000);
    }
}

// --- the command -----------------------------------------------------------------------------

// A show with its picture, as copied into the job folder.
struct StagedShow {
    std::string show, picture, pictureName, folder;
};

// Reads every show (so that one that cannot render fails before anything is submitted) and
// plans its tasks: one per show, or `segments` of one show. ExitSuccess, or the exit code after
// the message.
int PlanTasks(Context& ctx, CliMovieHost& host, const std::vector<std::string>& pos,
              int32_t segments, const std::string& ext, FarmPlan& plan,
              std::vector<StagedShow>& staged) {
    const int32_t writerType = kv::WriterTypeFor(host.output);
    std::set<std::string> outputs;
    for (size_t i = 0; i < pos.size(); ++i) {
        kv::Show show(ctx.Store());
        ctx.PrepareShow(show);
        if (!ctx.LoadShow(show, pos[i], true)) return ExitFailure;
        const std::string movie = kv::BatchOutputName(host.output, pos[i], writerType);
        if (!outputs.insert(movie).second)
            return ctx.Fail("two shows would make the same movie " + movie);
        StagedShow s;
        s.folder = plan.jobFolder + "/shows/" + std::to_string(i);
        s.show = Absolute(pos[i]);
        // The picture the show loaded, found as loading finds it (its stored path, else in the
        // show's folder); it is copied beside the show under its stored file name, where the
        // nodes find it by that name.
        s.picture = kv::LocatePicture(show.pictures[0].fileSpec, show.showFolder).path;
        s.pictureName = kv::StoredFileName(show.pictures[0].fileSpec.path);
        staged.push_back(s);
        const std::string copy = s.folder + "/" + BaseName(pos[i]);
        if (segments == 1) {
            FarmTask t;
            t.show = copy;
            t.label = BaseName(pos[i]);
            t.output = movie;
            plan.tasks.push_back(t);
            continue;
        }
        const int64_t total = host.MovieFrameCount(show, ctx.Store());
        if (total < segments)
            return ctx.Fail("the movie of " + pos[i] + " has " + std::to_string(total) +
                            " frames, fewer than the " + std::to_string(segments) +
                            " segments asked for");
        const std::vector<int64_t> starts = SegmentStarts(total, segments);
        plan.joined = movie;
        for (int k = 0; k < segments; ++k) {
            FarmTask t;
            t.show = copy;
            t.first = starts[k];
            t.last = k + 1 < segments ? starts[k + 1] - 1 : total - 1;
            t.label = BaseName(pos[i]) + " frames " + std::to_string(t.first) + "-" +
                      std::to_string(t.last);
            t.output = plan.jobFolder + "/parts/" + std::to_string(k) + ext;
            plan.tasks.push_back(t);
        }
    }
    return ExitSuccess;
}

// The job folder: program, shows with their pictures, settings, scripts. ExitSuccess, or the
// exit code after the message.
int StageJobFolder(Context& ctx, const FarmPlan& plan, const std::vector<StagedShow>& staged) {
    for (const char* sub : {"", "/shows", "/logs", "/status", "/parts", "/public"}) {
        const std::string d = plan.jobFolder + sub;
        if (::mkdir(d.c_str(), 0755) != 0 && errno != EEXIST)
            return ctx.Fail("cannot make " + d + ": " + std::strerror(errno));
    }
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return ctx.Fail("cannot find this program to copy it to the shared folder");
    self[n] = 0;
    if (!CopyFile(self, plan.program, 0755)) return ctx.Fail("cannot copy to " + plan.program);
    for (const StagedShow& s : staged) {
        if (::mkdir(s.folder.c_str(), 0755) != 0 && errno != EEXIST)
            return ctx.Fail("cannot make " + s.folder);
        if (!CopyFile(s.show, s.folder + "/" + BaseName(s.show), 0644) ||
            !CopyFile(s.picture, s.folder + "/" + s.pictureName, 0644))
            return ctx.Fail("cannot copy " + s.show + " and its picture to " + s.folder);
    }
    if (!WriteText(plan.jobFolder + "/Kinevista.ini", ctx.Store().Text(), 0644) ||
        !WriteText(plan.jobFolder + "/tasks.sh", plan.TasksScript(), 0755) ||
        !WriteText(plan.jobFolder + "/join.sh", plan.JoinScript(), 0755) ||
        !WriteText(plan.jobFolder + "/resubmit.sh", plan.ResubmitScript(), 0755))
        return ctx.Fail("cannot write the scripts in " + plan.jobFolder);
    return ExitSuccess;
}

// Submits the tasks, then the join job that waits for them; ExitSuccess with both ids, or the
// exit code after the message (the tasks cancelled when the join job was refused).
int SubmitJobs(Context& ctx, const FarmPlan& plan, std::string& tasksId, std::string& joinId) {
    std::string out;
    if (RunProgram({"sbatch", "--parsable", plan.jobFolder + "/tasks.sh"}, &out) != 0 ||
        ParsableId(out).empty())
        return ctx.Fail("sbatch did not take the tasks (" + plan.jobFolder + "/tasks.sh)");
    tasksId = ParsableId(out);
    WriteText(plan.jobFolder + "/tasks.ids", tasksId + "\n", 0644);
    if (RunProgram({"sbatch", "--parsable", "--dependency=afterok:" + tasksId,
                    "--kill-on-invalid-dep=no", plan.jobFolder + "/join.sh"},
                   &out) != 0 ||
        ParsableId(out).empty()) {
        RunProgram({"scancel", tasksId}, nullptr);
        return ctx.Fail("sbatch did not take the join job; the tasks (job " + tasksId +
                        ") were cancelled");
    }
    joinId = ParsableId(out);
    WriteText(plan.jobFolder + "/join.id", joinId + "\n", 0644);
    return ExitSuccess;
}

int RunFarm(Context& ctx) {
    const std::vector<std::string> forwarded = TakeForwardedArgs(ctx);
    CliMovieHost host;
    if (!host.TakeMovieFlags(ctx)) return ExitUsage;
    const std::optional<std::string> shared = ctx.TakeValue("--shared");
    const std::optional<std::string> segmentsText = ctx.TakeValue("--segments");
    const std::optional<std::string> partition = ctx.TakeValue("--partition");
    const std::optional<std::string> extText = ctx.TakeValue("--ext");
    const bool dryRun = ctx.TakeFlag("--dry-run");
    const bool wait = ctx.TakeFlag("--wait");
    std::vector<std::string> pos;
    if (!ctx.Positionals(pos)) return ExitUsage;
    if (pos.empty()) return ctx.Usage("wants one or more SHOW.kvx");
    if (host.output.empty()) return ctx.Usage("wants --out DIR for the movies");
    if (!shared) return ctx.Usage("wants --shared DIR, a folder every node sees at that path");
    int32_t segments = 1;
    if (segmentsText && (!ParseInt(*segmentsText, segments) || segments < 1 || segments > 1000))
        return ctx.Usage("--segments wants a whole number from 1 to 1000, not " + *segmentsText);
    if (segments > 1 && pos.size() != 1)
        return ctx.Usage("--segments splits one show; give one SHOW.kvx");
    if (partition && partition->find_first_of(" \t\n'\"\\$`") != std::string::npos)
        return ctx.Usage("--partition wants a partition name, not " + *partition);
    std::string ext = extText ? *extText : ".avi";
    if (!ext.empty() && ext[0] != '.') ext = "." + ext;
    const std::string outDir = Absolute(host.output);
    // The movie names are batch's: <show>B.<extension> in the output folder.
    host.output = outDir + "/farm" + ext;
    if (!host.CheckCodec(ctx)) return ExitUsage;
    struct stat st;
    if (::stat(shared->c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ctx.Fail("the shared folder " + *shared + " is not a folder");
    if (::stat(outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ctx.Fail("the output folder " + outDir + " is not a folder");

    FarmPlan plan;
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::gmtime(&now));
    plan.jobFolder = Absolute(*shared) + "/kv-farm-" + stamp + "-" + std::to_string(::getpid());
    // Slurm's #SBATCH lines take paths as single words.
    if (plan.jobFolder.find_first_of(" \t\n") != std::string::npos)
        return ctx.Usage("--shared wants a folder whose path has no white space");
    plan.program = plan.jobFolder + "/kinevista-cli";
    plan.movieArgs = forwarded;
    if (partition) plan.partition = *partition;

    std::vector<StagedShow> staged;
    if (const int r = PlanTasks(ctx, host, pos, segments, ext, plan, staged); r != ExitSuccess)
        return r;

    if (dryRun) {
        std::printf("# %s/tasks.sh\n%s\n# %s/join.sh\n%s\n", plan.jobFolder.c_str(),
                    plan.TasksScript().c_str(), plan.jobFolder.c_str(), plan.JoinScript().c_str());
        std::printf(
            "# submitted as:\n#   sbatch --parsable %s/tasks.sh\n"
            "#   sbatch --parsable --dependency=afterok:TASKS --kill-on-invalid-dep=no "
            "%s/join.sh\n",
            plan.jobFolder.c_str(), plan.jobFolder.c_str());
        return ExitSuccess;
    }

    if (const int r = StageJobFolder(ctx, plan, staged); r != ExitSuccess) return r;
    std::string tasksId, joinId;
    if (const int r = SubmitJobs(ctx, plan, tasksId, joinId); r != ExitSuccess) return r;
    std::printf("tasks: job %s (%zu tasks)\njoin: job %s\njob folder: %s\n", tasksId.c_str(),
                plan.tasks.size(), joinId.c_str(), plan.jobFolder.c_str());
    std::printf("a failed task is rendered again alone with: %s/resubmit.sh TASK...\n",
                plan.jobFolder.c_str());
    std::fflush(stdout);
    if (!wait) return ExitSuccess;
    return WaitForJobs(plan, tasksId, joinId);
}

const CommandRegistrar reg({"farm",
                            "farm SHOWS... --out DIR --shared DIR [--ext .avi|.mov] [movie "
                            "options] [--segments N] [--partition P] [--dry-run] [--wait]",
                            "render shows on a Slurm cluster, one task per show or segment",
                            RunFarm});

}  // namespace

}  // namespace kvcli

#endif  // KV_HAVE_OUTPUT
