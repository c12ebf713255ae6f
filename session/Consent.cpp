// SPDX-License-Identifier: Apache-2.0
#include "session/Consent.h"

#include "flash/FlashTexts.h"
#include "flash/FlashVerdict.h"
#include "ui/Translate.h"

bool AskUpdate(Answers& person, const std::string& driveRevision, const std::string& newRevision,
               const std::string& utility) {
    const MessageKind kind = IsDowngrade(driveRevision, newRevision) ? MessageKind::Warning : MessageKind::Confirmation;
    const std::string question = utility.empty() ? FlashTexts::UpdateQuestion(driveRevision, newRevision)
                                                 : FlashTexts::UpdateQuestionWith(driveRevision, newRevision, utility);
    return person.Ask(Question::UpdateConfirmation, question, kind, MessageAnswer::No);
}

FlashReport FlashWithConsent(CDDrive& drive, const IdentityBlock& utility, Answers& person, RunObserver& events,
                             RunControl control, const std::function<FlashReport(RunControl)>& approvedRun,
                             const std::string& utilityNamed) {
    FlashReport checked = FlashRun(drive, utility, person, events, control).Check();
    if (checked.Outcome != FlashOutcome::Completed)
        return checked;
    if (!AskUpdate(person, drive.RevisionText(), utility.NewFwName().substr(0, 4), utilityNamed)) {
        checked.Outcome = FlashOutcome::Declined;
        return checked;
    }
    control.ConfirmRestart = [&person, virtualDrives = drive.SystemPlatform().VirtualDrives()] {
        return person.Ask(Question::Restart, FlashTexts::RestartQuestionFor(virtualDrives), MessageKind::Confirmation,
                          MessageAnswer::No);
    };
    return approvedRun(std::move(control));
}
