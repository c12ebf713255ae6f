// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/SessionWords.h"

#include "app/terminal/FailureWords.h"

namespace {

// At least one line naming the device and why the drive was not flashed.
void SingleDriveLines(const SessionResult& result, const Platform* platform, std::vector<std::string>& lines) {
    const SessionDrive* ran = nullptr;
    for (const SessionDrive& drive : result.Drives)
        ran = drive.Report ? &drive : ran;
    if (result.Declined || !ran)
        return;  // nobody could answer, or the drive was not claimed: said when it happened
    const FlashReport& report = *ran->Report;
    const std::size_t before = lines.size();
    auto say = [&](const std::string& words) {
        if (!words.empty())
            lines.push_back(words);
    };
    const std::string timeout = TimeoutInWords(ran->Device, report, ran->Timeout);
    say(timeout.empty() && platform ? TransportFailureInWords(report, ran->Device, *platform) : timeout);
    say(DriveFailureInWords(ran->Device, report));
    say(UnconfirmedInWords(ran->Device, report, result.NewRevision));
    if (result.Stopped) {
        if (report.Outcome == FlashOutcome::Completed)
            say("interrupted after the flash completed; not asking further");
        else if (report.Outcome == FlashOutcome::CommitFailed)
            say("interrupted; the commit had already been sent and failed");
        else
            say("interrupted before the commit; the drive's flash is unchanged");
    }
    if (lines.size() == before)
        say(EndingSentence(ran->Device, report, ran->Revision, result.NewRevision));
}

constexpr const char* StoppedLine =
    "interrupted: drives that had not sent their commit were stopped, their flash unchanged";

// The drives that did not complete, named whatever the stream on output.
void FleetLines(const SessionResult& result, std::vector<std::string>& lines) {
    bool anyChosen = false;
    for (const SessionDrive& drive : result.Drives)
        anyChosen = anyChosen || drive.Chosen();
    if (!anyChosen) {
        for (const SessionDrive& drive : result.Drives)
            if (drive.Unreached) {
                lines.push_back(drive.Device + ": " + drive.Problem);
                return;
            }
        lines.push_back("every qualifying drive already has this firmware revision or a newer one");
        return;
    }
    if (result.Stopped)
        lines.push_back(StoppedLine);
    if (!result.Ran)
        return;
    std::string failed;
    for (const SessionDrive& drive : result.Drives) {
        if (drive.Unreached) {
            failed += (failed.empty() ? "" : "; ") + drive.Device + ": " + drive.Problem;
            continue;
        }
        if (drive.Report)
            if (const std::string words = UnconfirmedInWords(drive.Device, *drive.Report, result.NewRevision);
                !words.empty())
                lines.push_back(words);
        if (!drive.Chosen() || drive.Succeeded())
            continue;
        failed += (failed.empty() ? "" : "; ") + drive.Device + ": " + EndingWords(drive);
        if (!drive.Report)
            continue;
        const std::string timeout = TimeoutInWords(drive.Device, *drive.Report, drive.Timeout);
        if (const std::string words = timeout.empty() ? DriveFailureInWords(drive.Device, *drive.Report) : timeout;
            !words.empty())
            lines.push_back(words);
    }
    if (!failed.empty())
        lines.push_back("not every drive completed; " + failed);
}

}  // namespace

std::vector<std::string> SessionEndLines(const SessionResult& result, bool singleDrive, const std::string& searched,
                                         const Platform* platform) {
    std::vector<std::string> lines;
    switch (result.Opened) {
    case Opening::Ready: break;
    case Opening::NoDrive:
        if (!result.BusyOrDenied)
            lines.push_back("no optical drive found" + (searched.empty() ? std::string() : " (" + searched + ")"));
        return lines;
    case Opening::NoneQualify:
        if (!result.BusyOrDenied)
            lines.push_back("no drive qualifies for this firmware");
        return lines;
    case Opening::Declined:
        if (result.Stopped)
            lines.push_back("interrupted at the start-up warning; nothing was sent to any drive");
        return lines;
    default: return lines;
    }
    if (singleDrive)
        SingleDriveLines(result, platform, lines);
    else
        FleetLines(result, lines);
    return lines;
}
