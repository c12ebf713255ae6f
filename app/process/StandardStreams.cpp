// SPDX-License-Identifier: Apache-2.0
#include "app/process/StandardStreams.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// SIGPIPE is caught by a handler that does nothing rather than set to be ignored: the write
// fails with EPIPE all the same, and the programs the run starts get the default back.
void IgnorePipeSignal(int) {}

// Whether standard output is a pipe or socket whose reader has gone.
bool ReaderGone() {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        return false;
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP)) != 0;
}

}  // namespace

void ProtectStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lower descriptors are occupied by now, so this one is the lowest free.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened > fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
    struct sigaction action {};
    action.sa_handler = IgnorePipeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &action, nullptr);
}

int FinishStandardStreams(int exitCode) {
    errno = 0;
    const bool flushFailed = std::fflush(stdout) != 0;
    const int flushError = errno;
    if (!flushFailed && !std::ferror(stdout))
        return exitCode;
    // The C library keeps no cause for an earlier failed write; a pipe tells whether its reader left.
    const std::string cause = flushFailed && flushError != 0 ? std::strerror(flushError)
                              : ReaderGone()                ? std::strerror(EPIPE)
                                                            : "write error";
    std::fprintf(stderr, "flashutil: standard output could not be written (%s); some of the output was lost\n",
                 cause.c_str());
    std::fflush(stderr);
    return exitCode;
}
