// SPDX-License-Identifier: Apache-2.0
#pragma once
// The user interface one drive's run sees when several drives run at once: nothing is asked
// of the person here. The revision change was confirmed for every drive before the runs
// began, so the run's own confirmation is answered Yes; the restart question is answered No
// and asked once, after every commit has answered. Everything else goes to the run's
// listeners, tagged with the drive's device.

#include <string>

#include "app/commands/FleetEvents.h"
#include "ui/UserInterface.h"

class DriveRunInterface : public UserInterface {
public:
    DriveRunInterface(std::string device, FleetEvents& events) : Device_(std::move(device)), Events_(events) {}

    MessageAnswer ShowMessage(const MessageRequest& request) override;
    void SetStatus(const std::string& text) override;
    std::string Status() override { return Caption_; }
    void SetProgressRange(int32_t minimum, int32_t maximum) override;
    void SetProgressStep(int32_t step) override { Progress_.Step = step; }
    void SetProgressPosition(int32_t position) override;
    int32_t ProgressPosition() override { return Progress_.Position; }
    int32_t ProgressMaximum() override { return Progress_.Maximum; }
    void StepProgress() override;
    void SetBusyCursor(bool) override {}
    void ReplaceListEntry(int, const std::string&) override {}

private:
    void Tell();  // the percent, when it changed

    std::string Device_;
    FleetEvents& Events_;
    std::string Caption_;
    ProgressModel Progress_;
    int LastPercent_ = -1;
};
