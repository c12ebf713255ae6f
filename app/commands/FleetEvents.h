// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a terminal flash run tells as it goes: the questions and how they were answered, the
// drives it found and what it does with each, each drive's steps, progress, messages and
// outcome, and the summary at the end. The person's display (FleetDisplay) and the JSON-lines
// stream (JsonEvents) listen. While drives run, calls come from their threads at once: a
// listener keeps its own lock.

#include <optional>
#include <string>
#include <vector>

#include "flash/FlashRun.h"
#include "flash/Qualification.h"
#include "session/FlashPlan.h"
#include "ui/Answers.h"

// One detected drive, and once its run is over, how it went.
struct FleetDrive {
    std::string Device;      // the device path
    std::string Identity;    // the identity line at detection
    std::string Revision;    // the revision reported at detection
    DrivePlan Plan;          // what the session's plan does with it
    std::string SkipReason;  // why it is not flashed; "" for a drive that is
    // A drive the run could not look at or could not reach (not opened, not identified, left
    // out of a full list): its outcome key ("not_opened", "unidentified", "left_out") and cause.
    // Such a drive is not flashed and counts as one that failed.
    std::string ProblemKey;
    std::string Problem;

    std::optional<FlashReport> Report;  // none when its run never started
    std::string Refusal;                // why it could not be claimed for its run
    std::string RevisionAfter;          // what it reports after its run ("" when unknown)

    bool Chosen() const { return SkipReason.empty() && ProblemKey.empty(); }
};

// A stable one-word name of how a drive ended: its run's OutcomeKey, or one of DriveOutcomeKey
// ("busy", "skipped", "not_run", "not_opened", "left_out", "unidentified").
std::string DriveOutcomeKeyOf(const FleetDrive& drive);
// The same for people: "completed", "failed at the commit", ...
std::string OutcomeWords(const FleetDrive& drive);
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
                         const std::vector<FleetDrive>& drives, bool rehearsal) = 0;
    virtual void Step(const std::string& device, const RunStatus& status) = 0;
    virtual void Progress(const std::string& device, int percent) = 0;
    virtual void Finished(const FleetDrive& drive) = 0;
    // The run is over: every drive, and the exit code.
    virtual void Summary(const std::vector<FleetDrive>& drives, int exitCode) = 0;
};
