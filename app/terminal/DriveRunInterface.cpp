// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/DriveRunInterface.h"

#include "flash/RunDisplay.h"

MessageAnswer DriveRunInterface::ShowMessage(const MessageRequest& request) {
    // Runs of an approved plan ask nothing; a question that came all the same is not consent.
    if (request.Buttons == MessageButtons::YesNo)
        return MessageAnswer::No;
    Events_.Message(Device_, request.Kind, request.Text);
    return MessageAnswer::Ok;
}

// The percent is that of a bar moved as the window's and the terminal's are.
void DriveRunInterface::ProgressChanged(uint32_t done, uint32_t total) {
    MoveBar(Progress_, Total_, done, total, [this](int32_t) { Tell(); }, [this](int32_t) { Tell(); });
}

void DriveRunInterface::Tell() {
    const int64_t span = int64_t(Progress_.Maximum) - Progress_.Minimum;
    const int percent = span <= 0 ? 0 : int((int64_t(Progress_.Position) - Progress_.Minimum) * 100 / span);
    if (percent == LastPercent_)
        return;
    LastPercent_ = percent;
    Events_.Progress(Device_, percent);
}
