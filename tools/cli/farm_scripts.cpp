// The Slurm batch scripts of `farm` (see farm_scripts.h).
#include "tools/cli/farm_scripts.h"

namespace kvcli {

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::vector<int64_t> SegmentStarts(int64_t total, int n) {
    std::vector<int64_t> starts;
    for (int i = 0; i < n; ++i) starts.push_back(total * i / n);
    return starts;
}

std::string FarmPlan::StatusFile(size_t task) const {
    return jobFolder + "/status/task-" + std::to_string(task);
}

std::string FarmPlan::TaskLog(size_t task) const {
    return jobFolder + "/logs/task-" + std::to_string(task) + ".out";
}

std::string FarmPlan::JoinLog() const {
    return jobFolder + "/logs/join.out";
}

std::string FarmPlan::TasksScript() const {
    const std::string job = ShellQuote(jobFolder);
    std::string s = "#!/bin/bash\n";
    s += "#SBATCH --job-name=kv-farm\n";
    s += "#SBATCH --array=0-" + std::to_string(tasks.size() - 1) + "\n";
    s += "#SBATCH --output=" + jobFolder + "/logs/task-%a.out\n";
    s += "#SBATCH --ntasks=1\n";
    if (!partition.empty()) s += "#SBATCH --partition=" + partition + "\n";
    s +=
        "# One movie (or segment) per array task, rendered by kinevista-cli from the job folder.\n";
    s += "JOB=" + job + "\n";
    s += "i=${SLURM_ARRAY_TASK_ID:?run this as a Slurm array task}\n";
    s += "case \"$i\" in\n";
    for (size_t t = 0; t < tasks.size(); ++t) {
        const FarmTask& task = tasks[t];
        s += "  " + std::to_string(t) + ") show=" + ShellQuote(task.show) +
             " out=" + ShellQuote(task.output);
        if (task.first >= 0)
            s += " range=(--frames " + std::to_string(task.first) + "-" +
                 std::to_string(task.last) + ")";
        else
            s += " range=()";
        s += " ;;\n";
    }
    s += "  *) echo \"kv-farm: there is no task $i\"; exit 2 ;;\n";
    s += "esac\n";
    s += "public=\"$JOB/public/task-$i\"\n";
    s += "mkdir -p \"$public\" && cp \"$JOB/Kinevista.ini\" \"$public/Kinevista.ini\" || exit 1\n";
    s += "rm -f \"$JOB/status/task-$i\"\n";
    s += "echo \"kv-farm: task $i on $(hostname) from $(date -u +%FT%TZ)\"\n";
    s += "KINEVISTA_PUBLIC=\"$public\" \"$JOB/kinevista-cli\" movie \"$show\" --out \"$out\" "
         "\"${range[@]}\" --settings \"$public/Kinevista.ini\"";
    for (const std::string& a : movieArgs) s += " " + ShellQuote(a);
    s += "\nrc=$?\n";
    s += "if [ \"$rc\" -eq 0 ]; then\n";
    s += "  echo ok >\"$JOB/status/task-$i\"\n";
    s += "else\n";
    s += "  echo \"failed with exit status $rc on $(hostname); log: $JOB/logs/task-$i.out\" "
         ">\"$JOB/status/task-$i\"\n";
    s += "fi\n";
    // Every attempt is kept, so the join job's report shows a failure that a resubmitted task
    // has since mended.
    s += "echo \"task $i ($(hostname), job ${SLURM_JOB_ID:-?}): exit status $rc\" "
         ">>\"$JOB/status/attempts\"\n";
    s += "echo \"kv-farm: task $i ended with $rc at $(date -u +%FT%TZ)\"\n";
    s += "exit \"$rc\"\n";
    return s;
}

std::string FarmPlan::JoinScript() const {
    std::string s = "#!/bin/bash\n";
    s += "#SBATCH --job-name=kv-farm-join\n";
    s += "#SBATCH --output=" + jobFolder + "/logs/join.out\n";
    s += "#SBATCH --ntasks=1\n";
    if (!partition.empty()) s += "#SBATCH --partition=" + partition + "\n";
    s += "# Runs once every task succeeded: reports each task and joins the segments.\n";
    s += "JOB=" + ShellQuote(jobFolder) + "\n";
    s += "failed=()\n";
    s += "report() {  # report TASK LABEL\n";
    s += "  local r\n";
    s += "  r=$(cat \"$JOB/status/task-$1\" 2>/dev/null || echo \"no result (not run)\")\n";
    s += "  echo \"task $1 ($2): $r\"\n";
    s += "  [ \"$r\" = ok ] || failed+=(\"$1\")\n";
    s += "}\n";
    for (size_t t = 0; t < tasks.size(); ++t)
        s += "report " + std::to_string(t) + " " + ShellQuote(tasks[t].label) + "\n";
    s += "echo \"attempts:\"\n";
    s += "sed 's/^/  /' \"$JOB/status/attempts\" 2>/dev/null\n";
    s += "if [ ${#failed[@]} -gt 0 ]; then\n";
    s += "  echo \"failed tasks: ${failed[*]}; render them again with: $JOB/resubmit.sh "
         "${failed[*]}\"\n";
    s += "  exit 1\n";
    s += "fi\n";
    if (!joined.empty()) {
        s += "\"$JOB/kinevista-cli\" join " + ShellQuote(joined);
        for (const FarmTask& t : tasks) s += " " + ShellQuote(t.output);
        s += " || exit 1\n";
        s += "rm -f";
        for (const FarmTask& t : tasks) s += " " + ShellQuote(t.output);
        s += "\n";
        s += "echo \"joined " + std::to_string(tasks.size()) + " segments into \"" +
             ShellQuote(joined) + "\n";
    }
    s += "echo \"all " + std::to_string(tasks.size()) + " tasks made their movies\"\n";
    return s;
}

std::string FarmPlan::ResubmitScript() const {
    std::string s = "#!/bin/bash\n";
    s += "# resubmit.sh TASK...: renders the tasks again alone and has the join job wait for\n";
    s += "# them (run on the machine farm was run on, with the same SLURM_CONF).\n";
    s += "set -euo pipefail\n";
    s += "JOB=" + ShellQuote(jobFolder) + "\n";
    s += "[ $# -gt 0 ] || { echo \"usage: $0 TASK...\" >&2; exit 2; }\n";
    s += "list=$(IFS=,; echo \"$*\")\n";
    s += "new=$(sbatch --parsable --array=\"$list\" \"$JOB/tasks.sh\")\n";
    s += "new=${new%%;*}\n";
    s += "echo \"$new\" >>\"$JOB/tasks.ids\"\n";
    s += "join=$(cat \"$JOB/join.id\")\n";
    s += "if squeue -h -j \"$join\" -t PENDING -o %i 2>/dev/null | grep -q .; then\n";
    s += "  scontrol update JobId=\"$join\" Dependency=\"afterok:$new\"\n";
    s += "else\n";
    s += "  join=$(sbatch --parsable --dependency=\"afterok:$new\" --kill-on-invalid-dep=no "
         "\"$JOB/join.sh\")\n";
    s += "  join=${join%%;*}\n";
    s += "  echo \"$join\" >\"$JOB/join.id\"\n";
    s += "fi\n";
    s += "echo \"tasks $list: job $new; join: job $join\"\n";
    return s;
}

}  // namespace kvcli
