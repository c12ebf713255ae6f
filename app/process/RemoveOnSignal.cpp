// SPDX-License-Identifier: Apache-2.0
#include "app/process/RemoveOnSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <iterator>

namespace {

// Removes the temporary output when SIGINT, SIGTERM or SIGHUP ends the process while the
// output is written, so an interrupted build leaves nothing behind; the process still ends
// by the signal, as it would have.
//
// A signal handler reaches nothing but process-wide state, so the directory's descriptor and
// the temporary name are kept here: set before the handlers go in, cleared before they go
// out, read by the handler only, and nothing else. One build at a time holds them (Taken); a
// build that runs while another holds them goes without the removal. Only a signal whose
// action is the default one (ending the process) is taken over: an ignored signal (nohup)
// stays ignored, and a program's own handler, which ends nothing at once, stays in place.
namespace PendingRemoval {
std::atomic<bool> Taken{false};
std::atomic<int> Directory{-1};  // -1: nothing to remove
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads it");
char Name[NAME_MAX + 1];
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

void RemoveAndEnd(int signal) {
    const int directory = Directory.load();
    if (directory >= 0)
        ::unlinkat(directory, Name, 0);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    // The signal is held while its handler runs: it ends the process as soon as this returns.
    ::raise(signal);
}

sigset_t SignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : Signals)
        sigaddset(&set, signal);
    return set;
}
}  // namespace PendingRemoval

}  // namespace

void RemoveOnSignal::Hold() {
    const sigset_t signals = PendingRemoval::SignalSet();
    Holding_ = ::pthread_sigmask(SIG_BLOCK, &signals, &MaskBefore_) == 0;
}

void RemoveOnSignal::Watch(int directory, const std::string& name) {
    using namespace PendingRemoval;
    if (directory >= 0 && name.size() < sizeof Name && !Taken.exchange(true)) {
        std::memcpy(Name, name.c_str(), name.size() + 1);
        Directory.store(directory);
        Armed_ = true;
        struct sigaction action {};
        action.sa_handler = RemoveAndEnd;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(Signals); ++i) {
            Replaced_[i] = ::sigaction(Signals[i], nullptr, &Previous_[i]) == 0 &&
                           !(Previous_[i].sa_flags & SA_SIGINFO) && Previous_[i].sa_handler == SIG_DFL &&
                           ::sigaction(Signals[i], &action, nullptr) == 0;
        }
    }
    if (Holding_)
        ::pthread_sigmask(SIG_SETMASK, &MaskBefore_, nullptr);
    Holding_ = false;
}

void RemoveOnSignal::Forget() {
    using namespace PendingRemoval;
    if (!Armed_)
        return;
    Directory.store(-1);
    for (std::size_t i = 0; i < std::size(Signals); ++i)
        if (Replaced_[i])
            ::sigaction(Signals[i], &Previous_[i], nullptr);
    Armed_ = false;
    Taken.store(false);
}
