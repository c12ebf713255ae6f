// SPDX-License-Identifier: Apache-2.0
#pragma once
// How a run learns that the person asked it to stop (Ctrl-C, a terminal hung up, the system
// shutting down), and keeps such a request from breaking a drive command off: a command
// interrupted half-way may be sent again when the call is restarted, and a commit must never
// be cut short. The terminal's process plumbing answers from the signals; where nobody can ask
// a run to stop (the window, tests), NoStopRequests answers.

class StopRequests {
public:
    virtual ~StopRequests() = default;

    // A stop was asked for (or is waiting while held).
    virtual bool Requested() const = 0;
    // Holds (true) or releases (false) stop requests in the calling thread while a command
    // runs. Holds nest; the last release lets a waiting request through.
    virtual void Hold(bool hold) = 0;
    // Keeps stop requests away from the calling thread for good (a drive's run on a thread of
    // its own), so that they reach the thread that waits for the runs.
    virtual void KeepAwayFromThisThread() = 0;
};

class NoStopRequests : public StopRequests {
public:
    bool Requested() const override { return false; }
    void Hold(bool) override {}
    void KeepAwayFromThisThread() override {}
};
