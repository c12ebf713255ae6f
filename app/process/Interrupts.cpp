// SPDX-License-Identifier: Apache-2.0
#include "app/process/Interrupts.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>

namespace {

constexpr int Watched[] = {SIGINT, SIGTERM, SIGHUP};

// Read by the threads of a run of many drives, set by the handler: lock-free, so signal-safe.
std::atomic<int> NotedSignal = 0;
static_assert(std::atomic<int>::is_always_lock_free);
// Holds are per thread: each drive's thread holds the signals around its own commands.
thread_local int HoldDepth = 0;
thread_local sigset_t MaskBeforeHold;
struct sigaction Previous[3];

void Note(int signal) {
    int none = 0;
    NotedSignal.compare_exchange_strong(none, signal);
}

sigset_t WatchedSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : Watched)
        sigaddset(&set, signal);
    return set;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    struct sigaction action {};
    action.sa_handler = Note;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a waiting read ends with EINTR
    for (int i = 0; i < 3; ++i)
        sigaction(Watched[i], &action, &Previous[i]);
}

InterruptWatch::~InterruptWatch() {
    while (HoldDepth > 0)
        Hold(false);
    for (int i = 0; i < 3; ++i)
        sigaction(Watched[i], &Previous[i], nullptr);
}

bool InterruptWatch::Requested() {
    if (NotedSignal != 0)
        return true;
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return false;
    for (int signal : Watched)
        if (sigismember(&pending, signal) == 1)
            return true;
    return false;
}

void InterruptWatch::Hold(bool hold) {
    const int savedErrno = errno;  // callers read the platform error right after a command
    if (hold) {
        if (HoldDepth++ == 0) {
            const sigset_t set = WatchedSet();
            pthread_sigmask(SIG_BLOCK, &set, &MaskBeforeHold);
        }
    } else if (HoldDepth > 0 && --HoldDepth == 0) {
        pthread_sigmask(SIG_SETMASK, &MaskBeforeHold, nullptr);  // a waiting signal is noted here
    }
    errno = savedErrno;
}

void InterruptWatch::BlockInThisThread() {
    const sigset_t set = WatchedSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}
