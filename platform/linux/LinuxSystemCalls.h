// SPDX-License-Identifier: Apache-2.0
#pragma once
// The kernel calls the Linux back-end makes, gathered so tests can stand in for the
// kernel's answers (a busy node, a denied open, a failed command) without a drive.

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/linux/SgIo.h"

// A helper process that lives while a pipe to it is held (the inhibitor lock).
struct HeldProcess {
    int Pipe = -1;   // closing it ends the process
    pid_t Pid = -1;
    bool Running() const { return Pipe >= 0; }
};

struct LinuxSystemCalls {
    // open(2) with O_CLOEXEC added: a descriptor, or minus the errno.
    std::function<int(const std::string& path, int flags)> Open;
    std::function<void(int fd)> Close;
    IoctlFn SgIoctl;
    // stat(2): 0, or the errno.
    std::function<int(const std::string& path, struct stat& info)> Stat;
    // Runs a program to its end: its exit status, or -1 when it could not be started.
    std::function<int(const std::vector<std::string>& argv)> Run;
    // Starts a program that prints one line once it is ready and then waits on its input:
    // the held process, or one that is not Running() when it ended or could not start.
    std::function<HeldProcess(const std::vector<std::string>& argv)> StartHeld;
    // Ends what StartHeld began (closes the pipe and waits for the process).
    std::function<void(HeldProcess&)> StopHeld;

    // The real calls.
    static LinuxSystemCalls Real();
};
