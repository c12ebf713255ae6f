// SPDX-License-Identifier: Apache-2.0
// flashutil --cli --all on a tower of virtual drives against a single drive: each drive's
// commit takes 3 s, the image is 512 KiB. Prints the wall time of 1 and of 8 drives and their
// ratio (the goal is at most 1.2: the drives run side by side), and the program's own CPU time
// (user + system) per drive, which should not grow with the number of drives.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchWorkspace.h"
#include "areas/IdentityBlock.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Measure {
    double WallMs = 0;
    double CpuMs = 0;  // the child's user + system time
};

double Milliseconds(const timeval& t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; }

// Runs a command with its output discarded; exits the benchmark when it fails.
Measure Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (rc != 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_all_drives: %s failed\n", args[0].c_str());
        std::exit(1);
    }
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(),
            Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime)};
}

// The best wall time and the mean CPU time of several runs on count drives.
Measure Tower(const std::string& utility, unsigned count, int runs) {
    Measure result{1e18, 0};
    for (int i = 0; i < runs; ++i) {
        const Measure one = Run({utility, "--cli", "--yes", "--all",
                                 "--virtual-drive=commit-ms=3000,count=" + std::to_string(count)});
        result.WallMs = std::min(result.WallMs, one.WallMs);
        result.CpuMs += one.CpuMs / runs;
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const BenchWorkspace workspace;
    // The runs' history goes with the rest of the scratch files, not to the user's history.
    setenv("FLASHUTIL_HISTORY", (workspace.Dir + "/history.jsonl").c_str(), 1);
    Run({workspace.Program, "--build", "--model", "0", "--image", workspace.Image(), "--output-dir", workspace.Dir});
    const std::string utility = workspace.Dir + "/B100.EXE";

    const Measure one = Tower(utility, 1, runs);
    const Measure eight = Tower(utility, 8, runs);
    std::printf("--cli --all, virtual drives with commit-ms=3000, image %u bytes, best wall of %d runs\n",
                unsigned(Layout::ImageCapacity), runs);
    std::printf("1 drive:   wall %8.1f ms   CPU %7.1f ms, %6.1f ms per drive\n", one.WallMs, one.CpuMs, one.CpuMs);
    std::printf("8 drives:  wall %8.1f ms   CPU %7.1f ms, %6.1f ms per drive\n", eight.WallMs, eight.CpuMs,
                eight.CpuMs / 8);
    std::printf("wall time of 8 drives / 1 drive: %.2f (goal <= 1.2)\n", eight.WallMs / one.WallMs);
    std::printf("CPU time per drive, 8 drives / 1 drive: %.2f (should not grow)\n", eight.CpuMs / 8 / one.CpuMs);
    return 0;
}
