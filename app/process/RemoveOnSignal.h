// SPDX-License-Identifier: Apache-2.0
#pragma once
// Removes a build's temporary output when SIGINT, SIGTERM or SIGHUP ends the process while
// the output is written, so an interrupted build leaves nothing behind; the process still
// ends by the signal, as it would have. The terminal's and the window's builds use it.

#include <csignal>

#include "base/TemporaryFile.h"

class RemoveOnSignal : public TemporaryOutputGuard {
public:
    RemoveOnSignal() = default;
    RemoveOnSignal(const RemoveOnSignal&) = delete;
    RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;
    ~RemoveOnSignal() override { Forget(); }

    // The signals wait from here until Watch: none can end the process between the file's
    // creation and its handing over.
    void Hold() override;
    // From here on a signal removes name in directory (nothing when directory is -1).
    void Watch(int directory, const std::string& name) override;
    // The file was renamed or removed: the previous actions again.
    void Forget() override;

private:
    bool Holding_ = false;
    bool Armed_ = false;
    bool Replaced_[3] = {};
    struct sigaction Previous_[3] {};
    sigset_t MaskBefore_ {};
};
