// SPDX-License-Identifier: Apache-2.0
#include "support/ScriptedUserInterface.h"

MessageAnswer ScriptedUserInterface::ShowMessage(const MessageRequest& request) {
    Messages.push_back(request);
    Events.push_back({Event::Message, request.Text});
    if (request.Buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    if (Answers.empty())
        return UnscriptedAnswer;
    MessageAnswer answer = Answers.front();
    Answers.pop_front();
    return answer;
}

void ScriptedUserInterface::SetStatus(const std::string& text) {
    Caption = text;
    Statuses.push_back(text);
    Events.push_back({Event::Status, text});
}

void ScriptedUserInterface::SetProgressRange(int32_t minimum, int32_t maximum) {
    Progress.SetRange(minimum, maximum);
    Events.push_back({Event::ProgressRange, {}, minimum, maximum});
}

void ScriptedUserInterface::SetProgressStep(int32_t step) {
    Progress.Step = step;
    Events.push_back({Event::ProgressStep, {}, step});
}

void ScriptedUserInterface::SetProgressPosition(int32_t position) {
    Progress.SetPosition(position);
    Events.push_back({Event::ProgressPosition, {}, position});
}

void ScriptedUserInterface::StepProgress() {
    Progress.StepIt();
    Events.push_back({Event::ProgressStepIt, {}, Progress.Position});
}

void ScriptedUserInterface::SetBusyCursor(bool busy) {
    BusyCursor = busy;
    Events.push_back({Event::Busy, {}, busy ? 1 : 0});
}

void ScriptedUserInterface::ReplaceListEntry(int index, const std::string& text) {
    if (index >= 0) {
        if (ListEntries.size() <= static_cast<size_t>(index))
            ListEntries.resize(index + 1);
        ListEntries[index] = text;
    }
    Events.push_back({Event::ListEntry, text, index});
}

std::vector<std::string> ScriptedUserInterface::MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : Messages)
        texts.push_back(m.Text);
    return texts;
}
