// SPDX-License-Identifier: Apache-2.0
// The upload of the profile and the image into the drive's memory, and the read-back that
// compares every chunk with what was sent.
#include "flash/FlashRun.h"

#include <algorithm>
#include <cstring>

#include "flash/FlashTexts.h"

// The image area always holds whole chunks, so the chunk that holds the last image byte
// goes out whole, with the bytes of the area that follow the image: SentImageLength bytes in
// all, every one of them covered by the seal and the signature of a copy this version builds.
void FlashRun::Advance(uint32_t offset) {
    Progress(std::min(offset + ChunkSize, Kind_.Size), Kind_.Size);  // a short last chunk fills the bar
}

// Profile, image upload, entry critical, profile check, read-back. Completed here means:
// the drive's memory holds the image and the commit may be sent.
FlashOutcome FlashRun::UploadAndVerify() {
    if (Kind_.NeedsProfile()) {
        Report_.Step = FlashStep::ProfileUpload;
        Enter(RunPhase::ProfileUpload);
        if (StopWanted())
            return Interrupted();
        if (!SetupFlashProfile(Commands_, Kind_, Blobs_, Profile_))
            return Fail(PhaseEnd::Failed);
    }

    Report_.Step = FlashStep::ImageUpload;
    Enter(RunPhase::ImageUpload);
    Progress(0, Kind_.Size);
    const uint8_t* image = Utility_.Image();
    for (uint32_t offset = 0, sent = Utility_.SentImageLength(); offset < sent; offset += ChunkSize) {
        if (StopWanted())
            return Interrupted();
        std::memcpy(StepBuffer_.data(), image + offset, ChunkSize);
        if (!Commands_.WriteBuffer(offset, StepBuffer_.data(), WriteBufferCode::Data, ChunkSize))
            return Fail(PhaseEnd::Failed);
        Advance(offset);
    }

    // Entry critical readies the flash for the commit: a rehearsal never sends it.
    if (Kind_.Profile && !Control_.NoCommit) {
        Report_.Step = FlashStep::EntryCritical;
        Enter(RunPhase::EntryCritical);
        if (!Commands_.EntryCritical())
            return Fail(PhaseEnd::Failed);
    }

    Enter(RunPhase::Verify);
    if (Profile_.Matched) {
        Report_.Step = FlashStep::ProfileCheck;
        if (!ReadVerifyProfile(Commands_, Kind_, Blobs_, Profile_))
            return Fail(PhaseEnd::ProfileCheckFailed);
    }
    return ReadBackAndCompare();
}

FlashOutcome FlashRun::ReadBackAndCompare() {
    Report_.Step = FlashStep::ReadBack;
    Progress(0, Kind_.Size);
    const uint8_t* image = Utility_.Image();
    for (uint32_t offset = 0, sent = Utility_.SentImageLength(); offset < sent; offset += ChunkSize) {
        if (StopWanted())
            return Interrupted();
        // Whatever the transfer buffer holds before the read must not pass for the chunk: a
        // read that moves fewer bytes than asked would otherwise leave a copy of identical data
        // (padding chunks) from an earlier command in place.
        const uint8_t* expected = image + offset;
        uint8_t* transfer = Drive_.Buffer();
        for (uint32_t i = 0, n = std::min(ChunkSize, CDDrive::BufferLength()); i < n; ++i)
            transfer[i] = uint8_t(~expected[i]);
        if (!Commands_.ReadBuffer(offset, StepBuffer_.data(), ChunkSize))
            return Fail(PhaseEnd::ReadFailed);
        if (std::memcmp(StepBuffer_.data(), expected, ChunkSize) != 0) {
            Fail(PhaseEnd::CompareFailed);
            Answers_.Show(_(FlashTexts::CompareFailed), MessageKind::Plain);
            return FlashOutcome::FailedBeforeCommit;
        }
        Advance(offset);
    }
    if (StopWanted())
        return Interrupted();
    return FlashOutcome::Completed;
}
