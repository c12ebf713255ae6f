// SPDX-License-Identifier: Apache-2.0
// A drive failure in words for the error stream: the device, the command's name and what
// the drive's sense or status means; nothing for runs whose failure the drive never saw.

#include <gtest/gtest.h>

#include "app/terminal/FailureWords.h"
#include "scsi/Commands.h"

namespace {

FlashReport Failed(const Command& sent, CommandCategory category, uint8_t status, uint8_t key, uint8_t asc,
                   uint8_t ascq) {
    FlashReport report;
    CommandResult result;
    result.Category = category;
    result.Status = status;
    result.SenseKey = key;
    result.Asc = asc;
    result.Ascq = ascq;
    report.Failure = FailedCommand{"Write Buffer", sent, result};
    return report;
}

TEST(DriveFailureInWords, NamesDeviceCommandAndSense) {
    EXPECT_EQ(DriveFailureInWords("/dev/sg1", Failed(Commands::Commit(false), CommandCategory::CheckCondition, 2,
                                                     0x05, 0x24, 0x00)),
              "/dev/sg1: WRITE BUFFER failed: Illegal Request, Invalid field in cdb");
    // The flag bits of the sense byte do not change the key.
    EXPECT_EQ(DriveFailureInWords("/dev/sg2", Failed(Commands::ReadChunk(0, 16), CommandCategory::CheckCondition, 2,
                                                     0x80 | 0x02, 0x3A, 0x00)),
              "/dev/sg2: READ BUFFER failed: Not Ready, Medium not present");
    EXPECT_EQ(DriveFailureInWords("/dev/sg1", Failed(Commands::WriteE2(0, 0), CommandCategory::StatusOnly, 0x08, 0,
                                                     0, 0)),
              "/dev/sg1: vendor BYTE WRITE failed: status Busy");
}

TEST(DriveFailureInWords, NothingWhenTheDriveNeverAnsweredOrNothingFailed) {
    EXPECT_EQ(DriveFailureInWords("/dev/sg1", FlashReport{}), "");
    EXPECT_EQ(DriveFailureInWords("/dev/sg1", Failed(Commands::Commit(false), CommandCategory::TransportError, 0, 0,
                                                     0, 0)),
              "");
    EXPECT_EQ(DriveFailureInWords("/dev/sg1", Failed(Commands::Commit(false), CommandCategory::SystemError, 0, 0, 0,
                                                     0)),
              "");
}

TEST(CommandName, VendorCommandsByWhatTheySelectAndUnknownOpcodesInHex) {
    EXPECT_EQ(CommandName(Commands::ReadFlashId()), "vendor FLASH INFO");
    Command other;
    other.Cdb[0] = 0xA8;
    EXPECT_EQ(CommandName(other), "OPERATION A8");
}

}  // namespace
