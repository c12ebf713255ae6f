// flashutil --list [--device PATH] [--virtual-drive[=OPTIONS]] [--json]
//
// Prints every detected drive on a line of its own: its identity line and its device
// path (virtual drives marked as such), or with --json one JSON object per drive. What
// the drive class shows during detection (open failures, sense reports) goes to the
// error stream, so the output stays a clean list. No drive: nothing on the output, a
// message on the error stream naming what was searched, and a distinct exit code. Drives
// beyond the list's 24 are not listed; the error stream says how many.

#include <cstdio>
#include <string>

#include "flash/Qualification.h"
#include "image/IdentityBlock.h"
#include "scsi/CDDrives.h"
#include "platform/TracingPlatform.h"
#include "sim/VirtualDrive.h"
#include "app/commands/GuardedPlatform.h"
#include "app/commands/Options.h"
#include "app/commands/PlatformChoice.h"
#include "app/commands/TerminalUserInterface.h"

namespace {

std::string TrimRight(std::string text) {
    const std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

// As the platform numbered the drive when it enumerated it (every listed drive was).
std::string ScsiAddress(const GuardedPlatform& platform, const CDDrive& drive) {
    const DriveCandidate* found = platform.CandidateAt(drive.DevicePath());
    return found != nullptr ? found->ScsiAddress : std::string();
}

std::string PlainLine(const std::string& identity, const std::string& device) {
    std::string line = identity + "  " + device;
    if (IsVirtualDevicePath(device))
        line += " (virtual drive)";
    return line;
}

std::string JsonLine(const GuardedPlatform& platform, CDDrive& drive, const std::string& identity,
                     const IdentityBlock& block) {
    const std::string product = drive.ProductText();
    const bool qualifies = !block.IsBlankCopy() && DriveQualifies(block, product, drive.RevisionText());
    return "{\"identity\": " + JsonString(identity) +                              //
           ", \"vendor\": " + JsonString(TrimRight(product.substr(0, 8))) +        //
           ", \"product\": " + JsonString(TrimRight(product.substr(8))) +          //
           ", \"revision\": " + JsonString(drive.RevisionText()) +                 //
           ", \"device\": " + JsonString(drive.DevicePath()) +                     //
           ", \"virtual\": " + (IsVirtualDevicePath(drive.DevicePath()) ? "true" : "false") +
           ", \"scsi_address\": " + JsonString(ScsiAddress(platform, drive)) +       //
           ", \"qualifies\": " + (qualifies ? "true" : "false") + "}";
}

// The list proper, on the chosen platform.
int ListDrives(const Options& options, const IdentityBlock& block, PlatformChoice& choice) {
    // Every box the drive class shows during detection is a diagnostic here: all to stderr.
    TerminalUserInterface::Streams streams;
    streams.Out = stderr;
    streams.Err = stderr;
    TerminalUserInterface ui(false, streams);
    GuardedPlatform platform(choice.Get());

    int listed = 0;
    {
        CDDrives drives(platform, &ui);
        for (int i = 0; i < drives.Count(); ++i) {
            CDDrive& drive = *drives.Item(i);
            // The identity line as detection found it; no further command is sent.
            const std::string identity = drive.Identity();
            const std::string line =
                options.Json ? JsonLine(platform, drive, identity, block) : PlainLine(identity, drive.DevicePath());
            std::printf("%s\n", line.c_str());
            ++listed;
        }
        std::fflush(stdout);
        if (drives.LeftOut() > 0)
            std::fprintf(stderr, "flashutil: %s\n", drives.LeftOutText().c_str());
    }

    if (listed > 0)
        return ExitCode::Success;
    if (const GuardedPlatform::OpenFailure* failure = platform.BusyOrDenied()) {
        std::fprintf(stderr, "flashutil: no optical drive could be opened: %s: %s\n", failure->DevicePath.c_str(),
                     platform.ErrorText(failure->Error).c_str());
        return ExitCode::Busy;
    }
    std::fprintf(stderr, "No optical drive found (searched %s).\n", choice.Searched.c_str());
    return ExitCode::NoDrive;
}

}  // namespace

int RunList(const Options& options) {
    const IdentityBlock block = IdentityBlock::Embedded();
    PlatformChoiceError error;
    std::unique_ptr<PlatformChoice> choice = ChoosePlatform(options, block, error);
    if (!choice) {
        std::fprintf(stderr, "flashutil: %s\n", error.Text.c_str());
        return error.Exit;
    }
    return FinishReplay(*choice, ListDrives(options, block, *choice));
}
