// SPDX-License-Identifier: Apache-2.0
#include "app/commands/DriveRunInterface.h"

MessageAnswer DriveRunInterface::ShowMessage(const MessageRequest& request) {
    if (request.Buttons == MessageButtons::YesNo)
        return request.Asks == Question::UpdateConfirmation ? MessageAnswer::Yes : MessageAnswer::No;
    Events_.Message(Device_, request.Kind, request.Text);
    return MessageAnswer::Ok;
}

void DriveRunInterface::SetStatus(const std::string& text) {
    Caption_ = text;
    if (!text.empty())
        Events_.Step(Device_, text);
}

void DriveRunInterface::SetProgressRange(int32_t minimum, int32_t maximum) {
    Progress_.SetRange(minimum, maximum);
    Tell();
}

void DriveRunInterface::SetProgressPosition(int32_t position) {
    Progress_.SetPosition(position);
    Tell();
}

void DriveRunInterface::StepProgress() {
    Progress_.StepIt();
    Tell();
}

void DriveRunInterface::Tell() {
    const int64_t span = int64_t(Progress_.Maximum) - Progress_.Minimum;
    const int percent = span <= 0 ? 0 : int((int64_t(Progress_.Position) - Progress_.Minimum) * 100 / span);
    if (percent == LastPercent_)
        return;
    LastPercent_ = percent;
    Events_.Progress(Device_, percent);
}
