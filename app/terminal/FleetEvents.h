// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a terminal flash run tells as it goes: the questions and how they were answered, the
// drives it found and what it does with each, each drive's steps, progress, messages and
// outcome, and the summary at the end. The person's display (FleetDisplay) and the JSON-lines
// stream (JsonEvents) listen. While drives run, calls come from their threads at once: a
// listener keeps its own lock.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "flash/FlashRun.h"
#include "flash/Qualification.h"
#include "session/FlashPlan.h"
#include "session/DriveEnding.h"
#include "ui/Answers.h"

// A stable name of a question ("start_up_warning", "update_confirmation", "restart", "message").
std::string QuestionKey(Question question);

class FleetEvents {
public:
    virtual ~FleetEvents() = default;

    // A question was answered; how: "--yes", "terminal", "no terminal", "interrupted".
    virtual void Answered(Question question, const std::string& text, bool yes, const std::string& how) = 0;
    // A message; device is "" for one of the whole run.
    virtual void Message(const std::string& device, MessageKind kind, const std::string& text) = 0;
    // The drives are known; newRevision is what the chosen ones are to get.
    virtual void Started(const IdentityTexts& utility, const std::string& newRevision,
                         const std::vector<SessionDrive>& drives, bool rehearsal) = 0;
    virtual void Step(const std::string& device, const RunStatus& status) = 0;
    virtual void Progress(const std::string& device, int percent) = 0;
    // While device's commit is waited for: seconds of at most limit (limit 0: it answered).
    // From a thread of its own. Only the person's display shows it.
    virtual void Waiting(const std::string& /*device*/, uint32_t /*seconds*/, uint32_t /*limit*/) {}
    virtual void Finished(const SessionDrive& drive) = 0;
    // The run is over: every drive, and the exit code.
    virtual void Summary(const std::vector<SessionDrive>& drives, int exitCode) = 0;
};
