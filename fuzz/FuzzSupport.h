#pragma once
// What every fuzz target shares: a user interface that shows nothing and answers No.

#include "scsi/UserInterface.h"

class SilentUserInterface : public UserInterface {
public:
    MessageAnswer ShowMessage(const MessageRequest& request) override {
        return request.Buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
    void SetStatus(const std::string& text) override { Caption = text; }
    std::string Status() override { return Caption; }
    void SetProgressRange(int32_t minimum, int32_t maximum) override { Progress.SetRange(minimum, maximum); }
    void SetProgressStep(int32_t step) override { Progress.Step = step; }
    void SetProgressPosition(int32_t position) override { Progress.SetPosition(position); }
    int32_t ProgressPosition() override { return Progress.Position; }
    int32_t ProgressMaximum() override { return Progress.Maximum; }
    void StepProgress() override { Progress.StepIt(); }
    void SetBusyCursor(bool) override {}
    void ReplaceListEntry(int, const std::string&) override {}

    std::string Caption;
    ProgressModel Progress;
};
