// SPDX-License-Identifier: Apache-2.0
#pragma once
// Signs of life while a run waits for one long command (the commit, up to 180 s): a thread of
// its own calls tick with the whole seconds waited so far, once a second, until the ticker
// goes. The waiting thread is blocked in the command meanwhile, so tick never runs beside
// anything else the run shows; the ticker is joined before the command's answer is shown.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class WaitTicker {
public:
    explicit WaitTicker(std::function<void(uint32_t seconds)> tick);
    ~WaitTicker();  // stops and joins; no tick comes after it
    WaitTicker(const WaitTicker&) = delete;
    WaitTicker& operator=(const WaitTicker&) = delete;

private:
    void Run();

    std::function<void(uint32_t)> Tick_;
    std::mutex Mutex_;
    std::condition_variable Stop_;
    bool Stopping_ = false;
    std::thread Thread_;
};

// How a wait of seconds for a command of at most limit seconds is told, translated: the
// seconds while they are within the limit; past it (the system may take longer than the
// command's timeout to give up) that the drive is late, without counting on.
std::string WaitWords(uint32_t seconds, uint32_t limit);       // "waiting for the drive: 12 s of at most 180 s"
std::string WaitWordsShort(uint32_t seconds, uint32_t limit);  // "12 s of at most 180 s", for a bar's own text
inline bool WaitIsLate(uint32_t seconds, uint32_t limit) { return seconds > limit; }
