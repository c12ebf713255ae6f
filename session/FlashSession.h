// SPDX-License-Identifier: Apache-2.0
#pragma once
// A flash session: the utility's checks, the start-up, the plan, the claim of each drive, each
// drive's run with its history record, and the exit code, for every front end. A front end
// asks the session for each of them and presents; it never calls the start-up, a claim or a
// run itself.
//
// In order: CheckSeal, StartUp (the identity texts), the warning, Detect, Plan (or, in the
// window, the person's choice from Entries), then for each drive to flash Claim and Run, and
// ExitCodeOf the drives' endings.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/ExitCodes.h"
#include "flash/FlashRun.h"
#include "flash/StartUp.h"
#include "history/HistoryLog.h"
#include "image/IdentityBlock.h"
#include "platform/Platform.h"
#include "session/FlashPlan.h"

struct SessionSettings {
    const uint8_t* Seal = nullptr;  // the copy's seal area
    std::string File;               // the copy's file, for the seal's messages ("" when unknown)
    HistoryLog* History = nullptr;  // where each run is recorded; null: nowhere
    bool NoCommit = false;          // a rehearsal
};

class FlashSession {
public:
    FlashSession(const IdentityBlock& block, Platform& platform, SessionSettings settings);

    // The seal of the copy, before any drive is looked for and before the platform is chosen
    // (see CheckUtilitySeal).
    static bool CheckSeal(const IdentityBlock& block, const SessionSettings& settings, Answers& answers);

    // The start-up with the identity texts formed: its prompt, caption and warning texts.
    const FlashStartUp& StartUp() const { return StartUp_; }
    bool AskWarning(Answers& answers) { return StartUp_.AskWarning(answers); }
    // Finds and qualifies the drives (see FlashStartUp::Detect).
    FlashStartUp::Detection Detect(UserInterface& ui) { return StartUp_.Detect(ui); }
    // What the list could not hold, in words; "" when it held every drive.
    std::string LeftOutText() const;
    // The drive of list entry index (a choice in the window); null outside the list.
    CDDrive* SelectEntry(int index) { return StartUp_.SelectEntry(index); }
    int DriveIndexOf(int listIndex) const { return StartUp_.DriveIndexOf(listIndex); }

    // One decision for every detected drive; all: every qualifying drive, else the first.
    std::vector<DrivePlan> Plan(bool all) const;
    // The list entry of each detected drive (-1 for one that does not qualify).
    std::vector<int> ListIndexes() const;
    // The first four characters of the new firmware name.
    std::string NewRevision() const { return Block_.NewFwName().substr(0, 4); }

    // Claims drive driveIndex for its run; null with why set when refused. A notice the
    // platform gives (a sleep it could not hold off) is returned in notice.
    std::unique_ptr<RunClaim> Claim(int driveIndex, std::string& why, std::string& notice);

    // Runs drive driveIndex (entry listIndex of the list), recorded in the history. control
    // gets the maker's profiles and the rehearsal from the session.
    FlashReport Run(int driveIndex, int listIndex, Answers& answers, RunObserver& events, RunControl control);

    const CDDrives& Drives() const { return *StartUp_.Drives(); }
    CDDrive& Drive(int driveIndex) { return *StartUp_.Drives()->Item(driveIndex); }
    Platform& System() { return Platform_; }

private:
    const IdentityBlock Block_;
    Platform& Platform_;
    const SessionSettings Settings_;
    FlashStartUp StartUp_;
};
