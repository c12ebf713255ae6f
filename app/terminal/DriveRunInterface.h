// SPDX-License-Identifier: Apache-2.0
#pragma once
// What one drive's run sees when several drives run at once: nothing is asked of the person
// here. The revision change was confirmed for every drive before the runs began and the
// restart question is asked once, after every commit has answered: the runs are approved and
// ask nothing. Everything else goes to the run's listeners, tagged with the drive's device.

#include <optional>
#include <string>

#include "app/terminal/FleetEvents.h"
#include "session/SessionFrontEnd.h"
#include "ui/Answers.h"
#include "ui/RunObserver.h"
#include "ui/UserInterface.h"

class DriveRunInterface : public DriveRunPresenter {
public:
    DriveRunInterface(std::string device, FleetEvents& events) : Device_(std::move(device)), Events_(events) {}

    MessageAnswer ShowMessage(const MessageRequest& request) override;
    void StatusChanged(const RunStatus& status) override { Events_.Step(Device_, status); }
    void ProgressChanged(uint32_t done, uint32_t total) override;
    void BusyChanged(bool) override {}
    void Waiting(uint32_t seconds, uint32_t limit) override { Events_.Waiting(Device_, seconds, limit); }
    void IdentityChanged(int, const std::string&) override {}

private:
    void Tell();  // the percent, when it changed

    std::string Device_;
    FleetEvents& Events_;
    ProgressModel Progress_;
    std::optional<uint32_t> Total_;
    int LastPercent_ = -1;
};
