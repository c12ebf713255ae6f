// SPDX-License-Identifier: Apache-2.0
#pragma once
// The process's POSIX plumbing, one object that main owns for the whole run: the standard
// streams (kept occupied, a reader that goes away never ends a run), the signals that ask a
// terminal run to stop (SIGINT, SIGTERM, SIGHUP) and the removal of a build's temporary output
// when such a signal ends the process. Everything else in the program is free of process-wide
// state; the signal handlers need some, and it lives behind this object only.

#include <memory>

#include "base/TemporaryFile.h"
#include "platform/StopRequests.h"

class InterruptWatch;

class ProcessPlumbing : public StopRequests {
public:
    ProcessPlumbing();  // first thing in main: the standard streams are looked after from here
    ~ProcessPlumbing() override;
    ProcessPlumbing(const ProcessPlumbing&) = delete;
    ProcessPlumbing& operator=(const ProcessPlumbing&) = delete;

    // Last thing in main, with the command's exit code: flushes standard output and, when
    // some of it could not be written, says so on standard error. The code is returned unchanged.
    int Finish(int exitCode);

    // From here on (a terminal flash, once its platform is chosen) a stop signal does not end
    // the program: it is noted, and runs look at Requested() between commands. The handlers
    // are installed without SA_RESTART, so a prompt waiting for input ends when one arrives.
    void WatchStopRequests();
    bool Requested() const override;
    // Each drive command runs with the signals held (see StopRequests).
    void Hold(bool hold) override;
    void KeepAwayFromThisThread() override;

    // A guard a build gives its temporary output to: a stop signal that ends the process while
    // the output is written removes it.
    std::unique_ptr<TemporaryOutputGuard> NewOutputGuard() const;

private:
    std::unique_ptr<InterruptWatch> Watch_;  // while stop signals are watched
};
