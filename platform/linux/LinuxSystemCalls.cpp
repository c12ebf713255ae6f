// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/LinuxSystemCalls.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

constexpr int HeldStartLimitMs = 10000;

int RealOpen(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int RealStat(const std::string& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0 ? 0 : errno;
}

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RealRun(const std::vector<std::string>& argv) {
    if (argv.empty())
        return -1;
    std::vector<char*> args = ArgvOf(argv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? WaitFor(pid) : -1;
}

HeldProcess RealStartHeld(const std::vector<std::string>& argv) {
    HeldProcess held;
    if (argv.empty())
        return held;
    int input[2], output[2];
    if (::pipe2(input, O_CLOEXEC) != 0)
        return held;
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        return held;
    }
    std::vector<char*> args = ArgvOf(argv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);
    if (rc != 0) {
        ::close(input[1]);
        ::close(output[0]);
        return held;
    }
    // The helper prints a line once it holds what it was started for; end of file
    // means it gave up.
    // A helper that neither answers nor gives up within the limit (a hung system bus) is
    // ended, so a run never waits on it.
    char c = 0;
    ssize_t n = -1;
    pollfd ready{output[0], POLLIN, 0};
    int polled;
    while ((polled = ::poll(&ready, 1, HeldStartLimitMs)) < 0 && errno == EINTR) {
    }
    if (polled > 0) {
        while ((n = ::read(output[0], &c, 1)) < 0 && errno == EINTR) {
        }
    }
    ::close(output[0]);
    if (n != 1) {
        ::close(input[1]);
        if (polled == 0)
            ::kill(pid, SIGTERM);
        WaitFor(pid);
        return held;
    }
    held.Pipe = input[1];
    held.Pid = pid;
    return held;
}

void RealStopHeld(HeldProcess& held) {
    if (held.Pipe >= 0)
        ::close(held.Pipe);
    if (held.Pid > 0)
        WaitFor(held.Pid);
    held = HeldProcess{};
}

}  // namespace

LinuxSystemCalls LinuxSystemCalls::Real() {
    LinuxSystemCalls calls;
    calls.Open = RealOpen;
    calls.Close = [](int fd) { ::close(fd); };
    calls.SgIoctl = SystemSgIoctl;
    calls.Stat = RealStat;
    calls.Run = RealRun;
    calls.StartHeld = RealStartHeld;
    calls.StopHeld = RealStopHeld;
    return calls;
}
