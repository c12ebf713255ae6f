// SPDX-License-Identifier: Apache-2.0
#pragma once
// What drives tell the person as it happens, without knowing who shows it: whoever owns the
// person's seam stands behind DriveReports. Drives of a tower report from their own threads.

#include <atomic>
#include <string>

class DriveReports {
public:
    virtual void Report(const std::string& text) = 0;

protected:
    ~DriveReports() = default;
};

// Whether the drives of one list show their sense reports, and where: off until a drive of
// the list fails to open, then on for every later failure of every drive of the list.
// Drives of a tower check it from their threads at once, hence atomic.
class SenseReports {
public:
    explicit SenseReports(DriveReports* to) : To_(to) {}
    SenseReports(const SenseReports&) = delete;
    SenseReports& operator=(const SenseReports&) = delete;

    void TurnOn() { On_ = true; }
    // Whether a report made now would be shown.
    bool Shown() const { return On_ && To_ != nullptr; }
    void Show(const std::string& text) const {
        if (Shown())
            To_->Report(text);
    }

private:
    DriveReports* To_;
    std::atomic<bool> On_ = false;
};
