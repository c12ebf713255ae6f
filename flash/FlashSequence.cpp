// The FLASH button: revision check and confirmation, the wait for an empty drive, the profile
// and image uploads, the read-back, and the commit that makes the drive write its flash.

#include <algorithm>
#include <cstring>

#include "flash/FlashEngine.h"

namespace {
constexpr unsigned PollMilliseconds = 30;
constexpr unsigned SettledPolls = 10;
constexpr unsigned PauseAfterCommitMilliseconds = 200;
constexpr uint16_t CommitTimeoutSeconds = 180;
constexpr uint16_t NormalTimeoutSeconds = 60;
constexpr int32_t CommitProgressMaximum = 200, CommitProgressPosition = 198;

const char* const FailSuffix = ", Fail! ";
const char* const InterruptedSuffix = ", Interrupted! Nothing was flashed.";

bool YesAnswer(MessageAnswer answer) { return answer == MessageAnswer::Yes; }
}  // namespace

// The revision check decides whether the image may replace what the drive runs; without the
// drive's identity it would compare against nothing and let any image through, a downgrade
// included. Such a drive is refused before anything is sent to it.
FlashOutcome FlashEngine::CheckIdentified() {
    std::string cause = TargetDrive->IdentityProblem();
    const std::string revision = TargetDrive->RevisionText();
    if (cause.empty() && revision.find_first_not_of(' ') == std::string::npos)
        cause = "its INQUIRY answer holds no firmware revision";
    if (cause.empty())
        return FlashOutcome::Completed;
    const std::string device = TargetDrive->DevicePath().empty() ? "The drive" : "The drive " + TargetDrive->DevicePath();
    Ui_.Show(device + " could not be identified (" + cause + "); nothing was sent to it.", MessageKind::Error);
    return FlashOutcome::Unidentified;
}

// Steps 2 and 3: the revision check and the confirmation. Completed when the run may go on.
FlashOutcome FlashEngine::CheckRevision(const std::string& driveRevision, const std::string& newRevision) {
    const bool anyRevision = Block_.AnyFirmware();
    // std::string compares bytes as unsigned values, then lengths.
    const int order = driveRevision.compare(newRevision);
    if (!anyRevision && order >= 0) {
        Ui_.Show("\nWARNING:\n\nYour drive FW:" + driveRevision + " is aready the most updated ?", MessageKind::Warning);
        return FlashOutcome::RevisionRefused;
    }
    const MessageKind kind = order > 0 ? MessageKind::Warning : MessageKind::Confirmation;
    const MessageAnswer answer = Ui_.Show("\nUpdate FW:" + driveRevision + " to FW:" + newRevision + " ?\n", kind,
                                          MessageButtons::YesNo, MessageAnswer::No);
    return YesAnswer(answer) ? FlashOutcome::Completed : FlashOutcome::Declined;
}

// Steps 4 to 6: load, wait until the drive has settled without a disc, stop it.
FlashOutcome FlashEngine::WaitUntilReady() {
    Send(Commands::LoadMedium());

    unsigned settled = 0;
    unsigned becomingReady = 0;
    for (;;) {
        if (StopWanted()) {
            Ui_.SetStatus(Ui_.Status() + InterruptedSuffix);
            return FlashOutcome::Interrupted;
        }
        Sleep(PollMilliseconds);
        Send(Commands::TestUnitReady());
        if (TargetDrive->SenseIs(0x02, 0x04, 0x01)) {
            settled = 0;
            // A drive that never settles would hold the run forever.
            if (++becomingReady >= MaxBecomingReadyPolls) {
                Ui_.Show("The drive is still becoming ready; nothing was sent to its memory. "
                         "Try again when it has settled.",
                         MessageKind::Plain);
                return FlashOutcome::FailedBeforeCommit;
            }
        } else if (TargetDrive->SenseIs(0x02, 0x3A)) {
            break;
        } else if (!CheckDisc()) {
            Ui_.Show("Remove disc, before to do the flash task.", MessageKind::Plain);
            return FlashOutcome::DiscPresent;
        }
        if (++settled == SettledPolls)
            break;
    }

    Send(Commands::StopPlayScan());
    Send(Commands::StopUnit());
    return FlashOutcome::Completed;
}

// Steps 8 to 12: profile, image upload, entry critical, profile check, read-back.
// Completed here means: the drive's memory holds the image and the commit may be sent.
FlashOutcome FlashEngine::UploadAndVerify() {
    auto failed = [&](const char* suffix) {
        Fail(suffix);
        return FlashOutcome::FailedBeforeCommit;
    };
    auto interrupted = [&] {
        Fail(InterruptedSuffix);
        return FlashOutcome::Interrupted;
    };

    if (ProfileImage || DvdImage) {
        Ui_.SetStatus("Write profile to drive's DRAM... ");
        if (StopWanted())
            return interrupted();
        if (!SetupFlashProfile(StepBuffer))
            return failed(FailSuffix);
        if (ProfileCopy == nullptr)
            ProfileCopy = new uint8_t[ChunkSize]();
        std::memcpy(ProfileCopy, StepBuffer, ProfileLength);
    }

    // The image area always holds whole chunks, so the chunk that holds the last image byte
    // goes out whole, with the bytes of the area that follow the image.
    const uint8_t* image = Block_.Image();
    auto advance = [&](uint32_t offset) {
        if (offset + ChunkSize <= ImageSize)
            Ui_.StepProgress();
        else
            Ui_.SetProgressPosition(int32_t(ImageSize));  // a short last chunk fills the bar, not wraps it
    };

    Ui_.SetStatus("Write BIN to drive's DRAM... ");
    Ui_.SetProgressPosition(0);
    for (uint32_t offset = 0; offset < ImageSize; offset += ChunkSize) {
        if (StopWanted())
            return interrupted();
        std::memcpy(StepBuffer, image + offset, ChunkSize);
        if (!WriteBuffer(offset, StepBuffer, WriteBufferCode::Data, ChunkSize))
            return failed(FailSuffix);
        advance(offset);
    }

    if (ProfileImage) {
        Ui_.SetStatus("Drive entry critical... ");
        if (!EntryCritical())
            return failed(FailSuffix);
    }

    Ui_.SetStatus("Read back and Verify drive's DRAM... ");
    if (ProfileMatched && !ReadVerifyProfile(ProfileCopy))
        return failed(", Valid Profile Fail!");

    Ui_.SetProgressPosition(0);
    for (uint32_t offset = 0; offset < ImageSize; offset += ChunkSize) {
        if (StopWanted())
            return interrupted();
        // Whatever the transfer buffer holds before the read must not pass for the chunk: a
        // read that moves fewer bytes than asked would otherwise leave a copy of identical data
        // (padding chunks) from an earlier command in place.
        const uint8_t* expected = image + offset;
        uint8_t* transfer = CDDrive::Buffer();
        for (uint32_t i = 0, n = std::min(ChunkSize, CDDrive::BufferLength()); i < n; ++i)
            transfer[i] = uint8_t(~expected[i]);
        if (!ReadBuffer(offset, StepBuffer, ChunkSize))
            return failed(", Read Fail! ");
        if (std::memcmp(StepBuffer, expected, ChunkSize) != 0) {
            Fail(", Compare BIN and DRAM Fail! ");
            Ui_.Show("Compare BIN and DRAM fail!", MessageKind::Plain);
            return FlashOutcome::FailedBeforeCommit;
        }
        advance(offset);
    }
    if (StopWanted())
        return interrupted();
    return FlashOutcome::Completed;
}

// Step 13: the commit, and after success the refresh of the drive's entry and the restart question.
FlashOutcome FlashEngine::Commit(int selectedIndex) {
    Ui_.SetStatus("Don't turn off the system, Flash is in progress...");
    Ui_.SetProgressRange(0, CommitProgressMaximum);
    Ui_.SetProgressPosition(CommitProgressPosition);
    Ui_.SetProgressStep(0);
    CDDrive::SetTimeout(CommitTimeoutSeconds);

    // An interrupt must not break the command off while the drive writes its flash.
    if (Control_.HoldInterrupts)
        Control_.HoldInterrupts(true);
    const bool committed = WriteBuffer(0, ProfileCopy, FlashAll ? WriteBufferCode::CommitAll : WriteBufferCode::Commit, 0);
    if (Control_.HoldInterrupts)
        Control_.HoldInterrupts(false);

    if (!committed) {
        Ui_.SetStatus("Flash Fail.");
        return FlashOutcome::CommitFailed;
    }
    CDDrive::SetTimeout(NormalTimeoutSeconds);
    Ui_.SetProgressPosition(Ui_.ProgressMaximum());
    Sleep(PauseAfterCommitMilliseconds);
    Ui_.SetStatus("Flash Completed.");
    Ui_.ReplaceListEntry(selectedIndex, TargetDrive->IdentityLine());

    const MessageAnswer restart = Ui_.Show("The system needs to be restarted for the changes to take effect ?",
                                           MessageKind::Confirmation, MessageButtons::YesNo, MessageAnswer::No);
    if (YesAnswer(restart)) {
        Ui_.SetBusyCursor(false);
        if (!CDDrive::SystemPlatform()->RequestRestart())
            Ui_.Show("The system could not be asked to restart. Please restart it yourself.", MessageKind::Plain);
    }
    return FlashOutcome::Completed;
}

FlashOutcome FlashEngine::FlashButtonClick(int selectedIndex) {
    if (TargetDrive == nullptr)
        return FlashOutcome::FailedBeforeCommit;  // no drive selected: nothing to do
    // The image area holds at most ImageCapacity bytes; a length beyond it (or none at all)
    // would send bytes that are not the image, so such an image is refused before anything is sent.
    if (ImageSize == 0 || ImageSize > Layout::ImageCapacity) {
        Ui_.Show("The embedded image length " + std::to_string(ImageSize) + " is not between 1 and " +
                     std::to_string(Layout::ImageCapacity) + " bytes; nothing was sent to the drive.",
                 MessageKind::Plain);
        return FlashOutcome::FailedBeforeCommit;
    }

    // Step 1.
    ProfileMatched = false;
    ProfileLength = 0;
    const std::string driveRevision = TargetDrive->RevisionText();
    const std::string newRevision = Block_.NewFwName().substr(0, 4);

    if (FlashOutcome identified = CheckIdentified(); identified != FlashOutcome::Completed)
        return identified;
    if (FlashOutcome answer = CheckRevision(driveRevision, newRevision); answer != FlashOutcome::Completed)
        return answer;

    // Step 4.
    FlashAll = std::memcmp(Block_.Raw() + Layout::NoteOffset, "FLASH-ALL", 9) == 0;
    if (FlashOutcome ready = WaitUntilReady(); ready != FlashOutcome::Completed)
        return ready;

    // Step 7.
    Ui_.SetProgressRange(0, int32_t(ImageSize));
    Ui_.SetProgressStep(int32_t(ChunkSize));
    if (StepBuffer == nullptr)
        StepBuffer = new uint8_t[ChunkSize]();
    Ui_.SetBusyCursor(true);

    FlashOutcome outcome = UploadAndVerify();
    if (outcome == FlashOutcome::Completed)
        outcome = Commit(selectedIndex);

    // Step 14.
    Ui_.SetBusyCursor(false);
    Ui_.SetProgressPosition(0);
    return outcome;
}
