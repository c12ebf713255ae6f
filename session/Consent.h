// SPDX-License-Identifier: Apache-2.0
#pragma once
// One drive flashed with a person's consent, as the window and the terminal's single drive
// do it: the run's own checks first (a drive the run would refuse is refused before anything
// is asked), then the revision question, then the approved run, which asks the restart
// question right after its commit while it still shows the commit.

#include <functional>
#include <string>

#include "flash/FlashRun.h"

// The revision question: a warning when the new revision is older. True only for Yes. utility,
// when not empty, names the utility of a folder that would be flashed (FlashTexts::UtilityNamed).
bool AskUpdate(Answers& person, const std::string& driveRevision, const std::string& newRevision,
               const std::string& utility = {});

// approvedRun runs the drive with the control it is given (control, with the restart question
// added). A run declined or refused by its checks ends without a command sent. utility as for
// AskUpdate.
FlashReport FlashWithConsent(CDDrive& drive, const IdentityBlock& utility, Answers& person, RunObserver& events,
                             RunControl control, const std::function<FlashReport(RunControl)>& approvedRun,
                             const std::string& utilityNamed = {});
