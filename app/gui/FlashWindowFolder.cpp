// SPDX-License-Identifier: Apache-2.0
// The flash window of a folder of utilities: each entry of the drive list names the utility
// its drive would get, by the session's own plan, or in a word why it gets none; the item's
// tool tip gives the whole reason. FLASH then goes through the session as for one utility,
// which flashes the drive with its own utility or says why it can't.

#include <QComboBox>
#include <QLabel>

#include "app/gui/FlashWindow.h"
#include "session/FlashSession.h"
#include "ui/Translate.h"

namespace {

// What the entry adds to the drive's identity line.
std::string EntryWords(const SessionDrive& drive) {
    if (drive.Utility)
        return drive.Utility->Name + " FW:" + drive.Utility->NewRevision;
    switch (drive.Plan.Choice) {
    case DrivePlan::Decision::Ambiguous: return _("ambiguous");
    case DrivePlan::Decision::Refuse:
        return drive.Plan.Refusal == FlashOutcome::Unidentified ? _("not identified") : _("up to date");
    case DrivePlan::Decision::Skip:
    case DrivePlan::Decision::Flash: break;
    }
    return _("no utility");
}

}  // namespace

void FlashWindow::NameUtilities() {
    if (!Session_ || !Settings_.Folder)
        return;
    // The drives are of several makers: the prompt names none.
    SelectDriveLabel->setText(QString::fromUtf8(_("Select the drive you want to update:")));
    const FlashStartUp& startUp = Session_->StartUp();
    for (const SessionDrive& drive : Session_->Preview()) {
        if (drive.ListIndex < 0 || drive.ListIndex >= ComboBox->count())
            continue;
        const CDDrives& drives = *startUp.Drives();
        const int index = startUp.DriveIndexOf(drive.ListIndex);
        // The identity as the drive last answered: after a run, with its new revision.
        const std::string identity = index >= 0 ? drives.Item(index)->Identity() : drive.Identity;
        ComboBox->setItemText(drive.ListIndex, FromCoreText(identity + "  " + EntryWords(drive)));
        const std::string why = drive.Utility ? drive.Utility->Name + ": " + VerdictLine(drive.Utility->Verdict)
                                : drive.Problem.empty() ? drive.SkipReason
                                                        : drive.Problem;
        ComboBox->setItemData(drive.ListIndex, FromCoreText(why), Qt::ToolTipRole);
    }
}
