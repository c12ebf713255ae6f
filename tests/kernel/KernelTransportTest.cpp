// SPDX-License-Identifier: Apache-2.0
// The drive class and the Linux back-end against the kernel's real SCSI generic driver.
// Runs inside the test guest (tests/kernel/guest-checks.sh), where the kernel's scsi_debug
// module stands in for an optical drive; on any other machine it has nothing to talk to.
//
// The guest names the drive it set up in the environment:
//   KT_DEVICE   its generic node ("/dev/sg0")
//   KT_ADDRESS  its SCSI address "H:C:T:L" as sysfs shows it
//   KT_INQUIRY  the 28 characters of vendor, product and revision the module was given
//   KT_BLOCKS   its capacity in 512-byte blocks
//
// Every expectation below is what the kernel and the module were measured to answer;
// a request header with a wrong field (direction, length, buffer, sense) breaks them.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <algorithm>
#include <span>
#include <vector>

#include <unistd.h>

#include "scsi/CDDrive.h"
#include "platform/linux/LinuxPlatform.h"

namespace {

std::string Env(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

struct GuestDrive {
    std::string Device = Env("KT_DEVICE", "/dev/sg0");
    std::string Address = Env("KT_ADDRESS", "0:0:0:0");
    std::string Inquiry = Env("KT_INQUIRY", "");
    uint32_t Blocks = static_cast<uint32_t>(std::strtoul(Env("KT_BLOCKS", "0").c_str(), nullptr, 10));
    int Host = 0, Channel = 0, Target = 0, Lun = 0;

    GuestDrive() { std::sscanf(Address.c_str(), "%d:%d:%d:%d", &Host, &Channel, &Target, &Lun); }
};

// Writes a value into one of scsi_debug's run-time parameters.
void SetModuleParameter(const std::string& name, const std::string& value) {
    std::ofstream out("/sys/bus/pseudo/drivers/scsi_debug/" + name);
    out << value << '\n';
    ASSERT_TRUE(out.good()) << "cannot set scsi_debug parameter " << name;
}

class KernelDrive : public ::testing::Test {
protected:
    GuestDrive Guest;
    LinuxPlatform Linux;
    std::unique_ptr<CDDrive> Drive;
    std::span<uint8_t> Io;  // the drive's transfer buffer

    // The one drive of the guest, opened; a unit attention left by an earlier test is
    // taken away with a TEST UNIT READY so that every test starts from a quiet drive.
    void OpenTheDrive() {
        const std::vector<DriveCandidate> drives = Linux.EnumerateOpticalDrives();
        ASSERT_EQ(drives.size(), 1u);
        const DriveAddress& a = drives[0].Address;
        DriveOpening opening = CDDrive::Open(Linux, a);
        ASSERT_TRUE(opening.Opened()) << opening.Failure()->Message;
        Drive = opening.Take();
        Io = std::span<uint8_t>(Drive->Buffer(), CDDrive::BufferLength());
        Tur();
    }

    // Sends the twelve CDB bytes (missing ones are zero) with a data phase of length bytes.
    CommandResult Exec(std::initializer_list<uint8_t> cdb, uint8_t direction, uint32_t length) {
        Command command;
        std::copy(cdb.begin(), cdb.end(), command.Cdb.begin());
        command.Direction = direction;
        command.Length = length;
        return Drive->Execute(command);
    }
    CommandResult Tur() { return Exec({0x00}, DirectionIn, 0); }

    void ExpectSuccess(const CommandResult& result) {
        EXPECT_EQ(result.Category, CommandCategory::Good) << Drive->ErrorText();
        EXPECT_TRUE(Drive->SenseIs(0, 0, 0)) << Drive->ErrorText();
        EXPECT_EQ(result.Status, 0x00);
        EXPECT_EQ(result.SystemError, 0);
    }

    void ExpectRejected(const CommandResult& result, uint8_t key, uint8_t asc, uint8_t ascq, const char* errorText) {
        EXPECT_EQ(result.Category, CommandCategory::CheckCondition);
        EXPECT_EQ(result.SenseKey, key);
        EXPECT_EQ(result.Asc, asc);
        EXPECT_EQ(result.Ascq, ascq);
        EXPECT_EQ(result.Status, 0x02);  // CHECK CONDITION
        EXPECT_EQ(result.SystemError, 0);
        EXPECT_EQ(Drive->ErrorText(), errorText);
    }

    void Fill(uint8_t seed) {
        for (std::size_t i = 0; i < Io.size(); ++i)
            Io[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    }
};

TEST_F(KernelDrive, EnumerationFindsTheModuleDriveAtItsSysfsAddress) {
    const std::vector<DriveCandidate> drives = Linux.EnumerateOpticalDrives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].DevicePath, Guest.Device);
    EXPECT_FALSE(drives[0].IsVirtual);
    EXPECT_EQ(drives[0].Address.HostAdapter, Guest.Host);
    EXPECT_EQ(drives[0].Address.Target, Guest.Target);
    EXPECT_EQ(drives[0].Address.Lun, Guest.Lun);

    Drive = CDDrive::Open(Linux, drives[0].Address).Take();
    ASSERT_TRUE(Drive);
    EXPECT_EQ(Drive->DevicePath(), Guest.Device);
    char line[64];
    std::snprintf(line, sizeof line, "%d-%d-%d %c: %28.28s", Guest.Host, Guest.Target, Guest.Lun,
                  drives[0].Address.Letter, Guest.Inquiry.c_str());
    EXPECT_EQ(Drive->Identity(), line);
    EXPECT_EQ(Drive->RevisionText(), Guest.Inquiry.substr(24, 4));
}

TEST_F(KernelDrive, InquiryBringsTheModuleIdentityIn) {
    OpenTheDrive();
    std::fill(Io.begin(), Io.end(), 0xEE);
    ExpectSuccess(Exec({0x12, 0, 0, 0, 36}, DirectionIn, 36));
    EXPECT_EQ(Io[0] & 0x1F, 5) << "peripheral type of a CD/DVD device";
    EXPECT_EQ(Io[1] & 0x80, 0x80) << "removable medium";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&Io[8]), 28), Guest.Inquiry);
    EXPECT_EQ(Io[36], 0xEE) << "nothing beyond the 36 bytes asked for";
    EXPECT_EQ(Drive->LastResult().Residual, 0u);
}

TEST_F(KernelDrive, ReadCapacityBringsTheSizeIn) {
    OpenTheDrive();
    std::fill(Io.begin(), Io.end(), 0xEE);
    ExpectSuccess(Exec({0x25}, DirectionIn, 8));
    const uint32_t lastBlock = (uint32_t(Io[0]) << 24) | (Io[1] << 16) | (Io[2] << 8) | Io[3];
    const uint32_t blockLength = (uint32_t(Io[4]) << 24) | (Io[5] << 16) | (Io[6] << 8) | Io[7];
    EXPECT_EQ(lastBlock, Guest.Blocks - 1);
    EXPECT_EQ(blockLength, 512u);
    EXPECT_EQ(Io[8], 0xEE);
}

// The module keeps written blocks in memory: what goes out with WRITE(10) must come back
// with READ(10) byte for byte, which proves both data directions carry the buffer.
TEST_F(KernelDrive, DataOutArrivesAndComesBackUnchanged) {
    OpenTheDrive();
    Fill(0x5A);
    const std::vector<uint8_t> sent(Io.begin(), Io.end());
    // 32 blocks of 512 bytes at block 64, as 12-byte CDBs like every command of the program.
    ExpectSuccess(Exec({0x2A, 0, 0, 0, 0, 64, 0, 0, 32}, DirectionOut, 0x4000));
    std::fill(Io.begin(), Io.end(), 0);
    ExpectSuccess(Exec({0x28, 0, 0, 0, 0, 64, 0, 0, 32}, DirectionIn, 0x4000));
    EXPECT_TRUE(std::equal(Io.begin(), Io.end(), sent.begin())) << "the blocks read back differ from those written";
}

// WRITE BUFFER mode 5 (download microcode) of a whole image chunk is taken; the module then
// reports the changed microcode as a unit attention to the next command, as drives do.
TEST_F(KernelDrive, WriteBufferOfOneChunkIsTakenAndAnnouncedByUnitAttention) {
    OpenTheDrive();
    Fill(0x11);
    ExpectSuccess(Exec({0x3B, 0x05, 0x01, 0, 0x40, 0, 0, 0x40}, DirectionOut, 0x4000));
    ExpectRejected(Tur(), 0x06, 0x3F, 0x16, "06 3F 16. 02, 0000");
    ExpectSuccess(Tur());
}

TEST_F(KernelDrive, ReadBufferIsRejectedAsAnInvalidOperationCode) {
    OpenTheDrive();
    ExpectRejected(Exec({0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x40}, DirectionIn, 0x4000),
                   0x05, 0x20, 0x00, "05 20 00. 02, 0000");
}

TEST_F(KernelDrive, VendorCommandsAreRejectedAsInvalidOperationCodes) {
    OpenTheDrive();
    ExpectRejected(Exec({0xDF, 0x11}, DirectionIn, 128), 0x05,
                   0x20, 0x00, "05 20 00. 02, 0000");
    ExpectRejected(Exec({0x4E}, DirectionIn, 0), 0x05, 0x20,
                   0x00, "05 20 00. 02, 0000");
}

// The commit's shape: WRITE BUFFER mode 5 with a 16-byte data-in allowance. The module
// takes it like any download.
TEST_F(KernelDrive, CommitShapedWriteBufferIsTaken) {
    OpenTheDrive();
    ExpectSuccess(Exec({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80}, DirectionIn, 16));
    ExpectRejected(Tur(), 0x06, 0x3F, 0x16, "06 3F 16. 02, 0000");
}

TEST_F(KernelDrive, StartStopUnitChangesWhatTestUnitReadySays) {
    OpenTheDrive();
    ExpectSuccess(Exec({0x1B, 0, 0, 0, 0x00}, DirectionIn, 0));
    ExpectRejected(Tur(), 0x02, 0x04, 0x02, "02 04 02. 02, 0000");
    ExpectSuccess(Exec({0x1B, 0, 0, 0, 0x03}, DirectionIn, 0));
    ExpectSuccess(Tur());
}

// Descriptor-format sense (the module's dsense switch) reaches the drive class as the same
// key, ASC and ASCQ as fixed format.
TEST_F(KernelDrive, DescriptorSenseGivesTheSameTriple) {
    OpenTheDrive();
    SetModuleParameter("dsense", "1");
    const CommandResult result =
        Exec({0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x40}, DirectionIn, 0x4000);
    SetModuleParameter("dsense", "0");
    ExpectRejected(result, 0x05, 0x20, 0x00, "05 20 00. 02, 0000");
}

// The generic node is held exclusively: another open of the same drive is refused at once
// as busy, with the open-failure report and the sense report after it.
TEST_F(KernelDrive, ASecondOpenWhileTheDriveIsHeldIsBusy) {
    OpenTheDrive();
    const std::vector<DriveCandidate> drives = Linux.EnumerateOpticalDrives();
    ASSERT_EQ(drives.size(), 1u);
    const DriveAddress& a = drives[0].Address;
    const DriveOpening second = CDDrive::Open(Linux, a);
    ASSERT_NE(second.Failure(), nullptr);
    EXPECT_EQ(second.Failure()->SystemError, EBUSY);
    EXPECT_EQ(second.Failure()->Message, "Error opening: 16, Drive: " + Guest.Device);
    EXPECT_EQ(second.Failure()->SenseReport.rfind("SenseCode: 00 00 00, 00, Error: 16, Device or resource busy", 0), 0u)
        << second.Failure()->SenseReport;
    // The first holder is not disturbed.
    ExpectSuccess(Tur());
}

// Run as a user without access to the node (the guest drops root for this one).
TEST(KernelDriveWithoutAccess, OpeningGivesThePermissionMessage) {
    ASSERT_NE(geteuid(), 0u) << "run this test as a user without access to the node";
    GuestDrive guest;
    LinuxPlatform system;
    const std::vector<DriveCandidate> drives = system.EnumerateOpticalDrives();
    ASSERT_EQ(drives.size(), 1u) << "sysfs is readable to everyone";
    const DriveOpening opening = CDDrive::Open(system, drives[0].Address);
    ASSERT_NE(opening.Failure(), nullptr);
    EXPECT_EQ(opening.Failure()->SystemError, EACCES);
    EXPECT_EQ(opening.Failure()->Message, "Error opening: 13, Drive: " + guest.Device);
    EXPECT_EQ(opening.Failure()->SenseReport.rfind("SenseCode: 00 00 00, 00, Error: 13, Permission denied", 0), 0u)
        << opening.Failure()->SenseReport;
}

}  // namespace
