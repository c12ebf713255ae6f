// SPDX-License-Identifier: Apache-2.0
#include "flash/WaitTicker.h"

#include <chrono>
#include <cstdio>

#include "ui/Translate.h"

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

namespace {
std::string Formatted(const char* format, uint32_t first, uint32_t second = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, first, second);
    return text;
}
}  // namespace

std::string WaitWords(uint32_t seconds, uint32_t limit) {
    if (WaitIsLate(seconds, limit))
        return Formatted(_("the drive is late: no answer within %u s, still waiting"), limit);
    return Formatted(_("waiting for the drive: %u s of at most %u s"), seconds, limit);
}

std::string WaitWordsShort(uint32_t seconds, uint32_t limit) {
    if (WaitIsLate(seconds, limit))
        return Formatted(_("late: no answer within %u s"), limit);
    return Formatted(_("%u s of at most %u s"), seconds, limit);
}
