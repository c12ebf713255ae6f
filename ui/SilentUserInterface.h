// SPDX-License-Identifier: Apache-2.0
#pragma once
// A user interface that shows nothing: it keeps the status caption and the progress bar
// in memory and answers every box through Answer (Ok for OK boxes, No for questions,
// unless changed). For benchmarks, fuzzing and other runs without a person.

#include <functional>
#include <string>

#include "ui/UserInterface.h"

class SilentUserInterface : public UserInterface {
public:
    std::function<MessageAnswer(const MessageRequest&)> Answer = [](const MessageRequest& request) {
        return request.Buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    };
    std::string Caption;
    ProgressModel Progress;

    MessageAnswer ShowMessage(const MessageRequest& request) override { return Answer(request); }
    void SetStatus(const std::string& text) override { Caption = text; }
    std::string Status() { return Caption; }
    void SetProgressRange(int32_t minimum, int32_t maximum) override { Progress.SetRange(minimum, maximum); }
    void SetProgressStep(int32_t step) override { Progress.Step = step; }
    void SetProgressPosition(int32_t position) override { Progress.SetPosition(position); }
    int32_t ProgressPosition() override { return Progress.Position; }
    int32_t ProgressMaximum() override { return Progress.Maximum; }
    void StepProgress() override { Progress.StepIt(); }
    void SetBusyCursor(bool) override {}
    void ReplaceListEntry(int, const std::string&) override {}
};
