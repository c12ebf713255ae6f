// SPDX-License-Identifier: Apache-2.0
#pragma once
// The seam through which the core shows how an operation goes: the status caption, the
// progress bar, the busy cursor and the entry of the drive list that changed.

#include <cstdint>
#include <string>

class ProgressObserver {
public:
    virtual ~ProgressObserver() = default;

    // The status caption. Each change is shown at once. What is shown is never read back:
    // whoever sets the caption keeps its own status.
    virtual void SetStatus(const std::string& text) = 0;

    // The progress bar. StepProgress past the maximum starts again from the minimum.
    virtual void SetProgressRange(int32_t minimum, int32_t maximum) = 0;
    virtual void SetProgressStep(int32_t step) = 0;
    virtual void SetProgressPosition(int32_t position) = 0;
    virtual int32_t ProgressPosition() = 0;
    virtual int32_t ProgressMaximum() = 0;
    virtual void StepProgress() = 0;

    // A sign of life while one long command is waited for: seconds of at most limit; limit 0
    // once it answered. Called from another thread than the rest; none by default.
    virtual void ShowWaiting(uint32_t /*seconds*/, uint32_t /*limit*/) {}

    // The hourglass cursor for a whole operation.
    virtual void SetBusyCursor(bool busy) = 0;

    // Replaces entry index of the drive list (after a flash, with the drive's new identity line)
    // and selects it again.
    virtual void ReplaceListEntry(int index, const std::string& text) = 0;
};
