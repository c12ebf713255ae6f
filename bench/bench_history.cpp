// SPDX-License-Identifier: Apache-2.0
// flashutil --history --json on a long history: histories of growing size (runs as the
// program records them, one in fifty never finished), each read by the program as a
// process, with the time it took and its peak memory. The memory should stay flat while
// the file grows. Argument: the largest number of runs (default 400000, about 250 MB).

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "BenchWorkspace.h"
#include "history/HistoryLog.h"
#include "history/HistoryRecord.h"

extern char** environ;

namespace {

void WriteHistory(const std::string& path, std::size_t runs) {
    std::ofstream out(path, std::ios::trunc);
    for (std::size_t i = 0; i < runs; ++i) {
        RunStart start;
        start.Run = NewRunId();
        start.Time = UtcTimeNow();
        start.Version = "bench";
        start.Utility.Model = "Bench";
        start.Utility.NewRevision = "B100";
        start.Utility.ImageSha256 = std::string(64, 'a');
        start.Drive = {"/dev/sg" + std::to_string(i % 11), "BENCH   DRIVE           B000", "BENCH", "DRIVE", "B000"};
        out << StartLine(start);
        if (i % 50 == 7)
            continue;  // a run that never finished
        RunEnd end;
        end.Run = start.Run;
        end.Time = start.Time;
        end.Outcome = "completed";
        end.Step = "done";
        end.RevisionAfter = "B100";
        end.DurationMs = 61000;
        out << EndLine(end);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t most = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 400000;
    BenchWorkspace workspace;
    const std::string history = workspace.Dir + "/history.jsonl";
    ::setenv("FLASHUTIL_HISTORY", history.c_str(), 1);
    std::printf("%10s %10s %10s %12s\n", "runs", "MB", "seconds", "peak RSS MB");
    for (std::size_t runs = most / 16; runs <= most; runs *= 4) {
        WriteHistory(history, runs);
        struct stat info {};
        ::stat(history.c_str(), &info);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        char* args[] = {workspace.Program.data(), const_cast<char*>("--history"), const_cast<char*>("--json"), nullptr};
        const auto began = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, workspace.Program.c_str(), &actions, nullptr, args, environ) != 0) {
            std::perror("posix_spawn");
            return 1;
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        posix_spawn_file_actions_destroy(&actions);
        std::printf("%10zu %10.1f %10.2f %12.1f%s\n", runs, double(info.st_size) / 1e6, took.count(),
                    double(usage.ru_maxrss) / 1024.0, WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "  (failed)");
    }
    return 0;
}
