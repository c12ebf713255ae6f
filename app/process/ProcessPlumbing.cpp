// SPDX-License-Identifier: Apache-2.0
#include "app/process/ProcessPlumbing.h"

#include "app/process/Interrupts.h"
#include "app/process/RemoveOnSignal.h"
#include "app/process/StandardStreams.h"


ProcessPlumbing::ProcessPlumbing() { ProtectStandardStreams(); }

ProcessPlumbing::~ProcessPlumbing() = default;

int ProcessPlumbing::Finish(int exitCode) {
    Watch_.reset();  // the previous handlers again
    return FinishStandardStreams(exitCode);
}

// The noted signal itself is process-wide (in Interrupts.cpp): a signal handler can reach
// nothing else.
void ProcessPlumbing::WatchStopRequests() {
    if (!Watch_)
        Watch_ = std::make_unique<InterruptWatch>();
}

bool ProcessPlumbing::Requested() const { return InterruptWatch::Requested(); }

void ProcessPlumbing::Hold(bool hold) { InterruptWatch::Hold(hold); }

void ProcessPlumbing::KeepAwayFromThisThread() { InterruptWatch::BlockInThisThread(); }

std::unique_ptr<TemporaryOutputGuard> ProcessPlumbing::NewOutputGuard() const {
    return std::make_unique<RemoveOnSignal>();
}
