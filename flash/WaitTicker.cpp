// SPDX-License-Identifier: Apache-2.0
#include "flash/WaitTicker.h"

#include <chrono>

WaitTicker::WaitTicker(std::function<void(uint32_t)> tick) : Tick_(std::move(tick)) {
    // A ticker the system can't start costs only the signs of life, never the command.
    try {
        Thread_ = std::thread(&WaitTicker::Run, this);
    } catch (const std::system_error&) {
    }
}

WaitTicker::~WaitTicker() {
    {
        const std::lock_guard<std::mutex> lock(Mutex_);
        Stopping_ = true;
    }
    Stop_.notify_all();
    if (Thread_.joinable())
        Thread_.join();
}

void WaitTicker::Run() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(Mutex_);
    for (uint32_t seconds = 1;; ++seconds) {
        if (Stop_.wait_until(lock, start + std::chrono::seconds(seconds), [this] { return Stopping_; }))
            return;
        Tick_(seconds);
    }
}
