// SPDX-License-Identifier: Apache-2.0
#pragma once
// The terminal user interface of a run that also tells its listeners (the JSON stream) every
// question, how it was answered and by whom, and every message of the whole run.

#include <mutex>

#include "app/terminal/FleetEvents.h"
#include "app/terminal/TerminalUserInterface.h"

class AnsweredQuestions : public UserInterface {
public:
    AnsweredQuestions(TerminalUserInterface& terminal, FleetEvents& events, bool assumeYes, bool inputIsTerminal)
        : Terminal_(terminal), Events_(events), AssumeYes_(assumeYes), InputIsTerminal_(inputIsTerminal) {}

    // Drives that run at once show their sense reports here from their threads: one at a time.
    MessageAnswer ShowMessage(const MessageRequest& request) override {
        const std::lock_guard<std::mutex> lock(Mutex_);
        const MessageAnswer answer = Terminal_.ShowMessage(request);
        if (request.Buttons != MessageButtons::YesNo) {
            Events_.Message("", request.Kind, request.Text);
            return answer;
        }
        const bool yes = answer == MessageAnswer::Yes;
        const bool interrupted = Terminal_.Interrupted && Terminal_.Interrupted();
        const char* how = !yes && interrupted ? "interrupted"
                          : AssumeYes_        ? "--yes"
                          : InputIsTerminal_  ? "terminal"
                                              : "no terminal";
        Events_.Answered(request.Asks, request.Text, yes, how);
        return answer;
    }
    void SetStatus(const std::string& text) override { Terminal_.SetStatus(text); }
    std::string Status() { return Terminal_.Status(); }
    void SetProgressRange(int32_t minimum, int32_t maximum) override { Terminal_.SetProgressRange(minimum, maximum); }
    void SetProgressStep(int32_t step) override { Terminal_.SetProgressStep(step); }
    void SetProgressPosition(int32_t position) override { Terminal_.SetProgressPosition(position); }
    int32_t ProgressPosition() override { return Terminal_.ProgressPosition(); }
    int32_t ProgressMaximum() override { return Terminal_.ProgressMaximum(); }
    void StepProgress() override { Terminal_.StepProgress(); }
    void SetBusyCursor(bool busy) override { Terminal_.SetBusyCursor(busy); }
    void ReplaceListEntry(int index, const std::string& text) override { Terminal_.ReplaceListEntry(index, text); }

private:
    TerminalUserInterface& Terminal_;
    FleetEvents& Events_;
    bool AssumeYes_;
    bool InputIsTerminal_;
    std::mutex Mutex_;
};
