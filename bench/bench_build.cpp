// SPDX-License-Identifier: Apache-2.0
// Building a flash utility from the real program, side by side with cp of the same file.
// Prints the best of several runs of each: cp (a process), the builder called in-process,
// and flashutil --build (a process, as a packaging script runs it), with the ratios to cp,
// and the program's start-up alone (--version), which --build pays before it builds.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchWorkspace.h"
#include "builder/Builder.h"
#include "ui/SilentUserInterface.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Shows nothing; a message (a failed build) goes to stderr.
struct Silent : SilentUserInterface {
    Silent() {
        Answer = [](const MessageRequest& r) {
            std::fprintf(stderr, "builder: %s\n", r.Text.c_str());
            return MessageAnswer::Ok;
        };
    }
};

bool Run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

template <typename F>
double BestMilliseconds(int runs, F&& f) {
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!f()) {
            std::fprintf(stderr, "bench_build: a run failed\n");
            std::exit(1);
        }
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const BenchWorkspace workspace;
    const std::string& dir = workspace.Dir;
    const std::string& program = workspace.Program;
    fs::create_directory(dir + "/out");
    const auto size = fs::file_size(program);

    BuildRequest request;
    request.ImagePath = workspace.Image();
    request.SelectedBinName = "B100.BIN";
    request.Model = {"Bench", "BENCH   DRIVE           ", "B000-BZZZ", "Bench", "x"};
    request.OutputDirectory = dir + "/out";
    request.ExecutablePath = program;
    request.KeyWord = OwnKeyWord();
    Silent ui;

    const double cp = BestMilliseconds(runs, [&] { return Run({"cp", program, dir + "/out/copy"}); });
    const double inProcess = BestMilliseconds(runs, [&] { return BuildFlashProgram(request, ui).Built; });
    const double command = BestMilliseconds(runs, [&] {
        return Run({program, "--build", "--model", "0", "--image", workspace.Image(), "--output-dir", dir + "/out"});
    });

    const double startUp = BestMilliseconds(runs, [&] { return Run({program, "--version"}); });

    std::printf("program: %s (%ju bytes), image 524288 bytes, best of %d runs\n", FLASHUTIL_BINARY, uintmax_t(size), runs);
    std::printf("cp of the program:        %8.2f ms\n", cp);
    std::printf("builder (in-process):     %8.2f ms   ratio to cp %.2f\n", inProcess, inProcess / cp);
    std::printf("flashutil --build:        %8.2f ms   ratio to cp %.2f (target <= 1.5)\n", command, command / cp);
    std::printf("flashutil --version:      %8.2f ms   (the program's start-up alone, which --build includes)\n", startUp);
    return 0;
}
