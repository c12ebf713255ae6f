// SPDX-License-Identifier: Apache-2.0
#pragma once
// The signals that ask a terminal run to end: SIGINT (Ctrl-C), SIGTERM and SIGHUP. Used by
// ProcessPlumbing only, which gives the rest of the program its stop requests.
//
// While an InterruptWatch lives, such a signal does not kill the program: it is noted,
// and the run looks at Requested() between commands and stops before anything it cannot
// take back. A drive command must never be broken off half-way (an interrupted SG_IO
// request is sent again when the call is restarted, and a commit must never be cut
// short), so each command runs with the signals held: a signal that arrives meanwhile
// waits until the command has answered and is noted then.
//
// The handlers are installed without SA_RESTART, so a prompt waiting for input ends when
// a signal arrives (the prompt then counts as answered No).

#include <csignal>

class InterruptWatch {
public:
    InterruptWatch();   // installs the handlers
    ~InterruptWatch();  // restores the previous handlers and signal mask
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // A signal arrived (or is waiting while held).
    static bool Requested();

    // Holds (true) or releases (false) the signals in the calling thread. Holds nest; the last
    // release lets a waiting signal through, and it is noted at once.
    static void Hold(bool hold);

    // Keeps the signals away from the calling thread for good, so that they reach the thread
    // that waits for the others (a worker's drive command is then never broken off, and the
    // handler runs where nothing is in the middle of a command).
    static void BlockInThisThread();
};

