// SPDX-License-Identifier: Apache-2.0
#pragma once
// A user interface for tests: records everything the core shows and answers
// message boxes from a script.

#include <deque>
#include <string>
#include <vector>

#include "ui/UserInterface.h"

class ScriptedUserInterface : public UserInterface {
public:
    // Answers for the next YesNo boxes, in order. When the script is empty, YesNo boxes get
    // UnscriptedAnswer (No unless changed). Ok boxes always get Ok and consume nothing.
    std::deque<MessageAnswer> Answers;
    MessageAnswer UnscriptedAnswer = MessageAnswer::No;

    struct Event {
        enum Kind { Message, Status, ProgressRange, ProgressStep, ProgressPosition, ProgressStepIt, Busy, ListEntry } What;
        std::string Text;
        int32_t A = 0;
        int32_t B = 0;
    };

    std::vector<MessageRequest> Messages;  // every box shown, in order
    std::vector<std::string> Statuses;     // every status caption set, in order
    std::vector<Event> Events;             // everything, in order
    ProgressModel Progress;
    bool BusyCursor = false;
    std::vector<std::string> ListEntries;  // entries replaced with ReplaceListEntry, by index

    MessageAnswer ShowMessage(const MessageRequest& request) override;
    void SetStatus(const std::string& text) override;
    std::string Status() { return Caption; }
    void SetProgressRange(int32_t minimum, int32_t maximum) override;
    void SetProgressStep(int32_t step) override;
    void SetProgressPosition(int32_t position) override;
    int32_t ProgressPosition() override { return Progress.Position; }
    int32_t ProgressMaximum() override { return Progress.Maximum; }
    void StepProgress() override;
    void SetBusyCursor(bool busy) override;
    void ReplaceListEntry(int index, const std::string& text) override;

    // The texts of all boxes shown, in order.
    std::vector<std::string> MessageTexts() const;

    std::string Caption;
};
