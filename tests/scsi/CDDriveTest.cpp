// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <memory>

#include "CDDriveFakePlatform.h"
#include "support/ScriptedUserInterface.h"
#include "scsi/CDDrive.h"

namespace {

const std::string Inquiry = "KAV     CDRW-4012       1.05";  // 8 + 16 + 4 characters

class CDDriveTest : public FakePlatformTest {
protected:
    // The drive, which must open and identify itself.
    std::unique_ptr<CDDrive> Make(const FakePlatform::FakeDrive& d) {
        std::unique_ptr<CDDrive> drive = CDDrive::Open(Platform, d.Candidate.Address).Take();
        if (!drive)
            ADD_FAILURE() << d.Candidate.DevicePath << " did not open";
        return drive;
    }
    // Whether the command was carried out (good status, no sense).
    bool Send(CDDrive& drive, uint8_t opcode, uint8_t direction = 1, uint32_t length = 0) {
        Command command;
        command.Cdb[0] = opcode;
        command.Direction = direction;
        command.Length = length;
        return drive.Execute(command).Good();
    }
};

TEST_F(CDDriveTest, IdentityLineIsAddressLetterAndTwentyEightCharacters) {
    auto drive = Make(Platform.Add('E', 0, 0, Inquiry));
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->Identity(), "0-0-0 E: " + Inquiry);
    EXPECT_EQ(drive->ProductText(), "KAV     CDRW-4012       ");
    EXPECT_EQ(drive->RevisionText(), "1.05");

    // The INQUIRY went out as a 12-byte data-in command of 128 bytes into the identity buffer.
    ASSERT_EQ(Platform.Sent.size(), 1u);
    const auto& c = Platform.Sent[0];
    const uint8_t expected[12] = {0x12, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(c.Cdb, expected, 12));
    EXPECT_EQ(c.Direction, 1);
    EXPECT_EQ(c.Length, 128u);
    EXPECT_NE(c.Buffer, drive->Buffer());  // identification has a buffer of its own
}

TEST_F(CDDriveTest, ZeroByteShortensTheFieldWhichIsRightAligned) {
    std::string inquiry = Inquiry;
    inquiry[10] = '\0';  // the field ends after "KAV     CD"
    auto drive = Make(Platform.Add(' ', 1, 1, inquiry));
    EXPECT_EQ(drive->Identity(), "1-1-0  : " + std::string(18, ' ') + "KAV     CD");
    EXPECT_EQ(drive->ProductText(), std::string(18, ' ') + "KAV   ");
    EXPECT_EQ(drive->RevisionText(), "  CD");
}

TEST_F(CDDriveTest, ShortInquiryAnswerCarriesNothingOverFromAnEarlierDrive) {
    auto full = Make(Platform.Add('D', 0, 0, Inquiry));
    Platform.Add('E', 0, 1, Inquiry).InquiryLength = 20;  // vendor and 4 product characters
    auto shortAnswer = Make(Platform.Drives[1]);
    EXPECT_EQ(shortAnswer->Identity(), "0-1-0 E: " + std::string(16, ' ') + "KAV     CDRW");
    EXPECT_EQ(shortAnswer->LastResult().Residual, 108u);
}

TEST_F(CDDriveTest, ProductAndRevisionDoNotDependOnTheAddressWidth) {
    auto narrow = Make(Platform.Add('D', 0, 0, Inquiry));
    auto wide = Make(Platform.Add('F', 12, 10, Inquiry));
    EXPECT_EQ(wide->Identity().substr(0, 10), "12-10-0 F:");
    EXPECT_EQ(narrow->ProductText(), wide->ProductText());
    EXPECT_EQ(narrow->RevisionText(), wide->RevisionText());
}

TEST_F(CDDriveTest, DriveThatStopsAnsweringGivesZeroIdentity) {
    auto& fake = Platform.Add('E', 0, 0, Inquiry);
    auto drive = Make(fake);
    ASSERT_TRUE(drive);
    Platform.Drives[0].AnswersInquiry = false;
    EXPECT_EQ(drive->IdentityLine(), "0");
    EXPECT_EQ(drive->Identity(), "0");
    // No real identification yields these texts.
    EXPECT_NE(drive->ProductText().size(), 24u);
    EXPECT_NE(drive->RevisionText().size(), 4u);
    Platform.Drives[0].AnswersInquiry = true;
    EXPECT_EQ(drive->IdentityLine(), "0-0-0 E: " + Inquiry);
}

TEST_F(CDDriveTest, SenseByteIsComparedWhole) {
    auto& fake = Platform.Add('E', 0, 0, Inquiry);
    fake.Respond = [](const FakePlatform::SentCommand& c, CommandOutcome& o) {
        if (c.Cdb[0] == 0x00)
            FakePlatform::SetSense(o, 0x22, 0x04, 0x01);  // not ready with the incorrect-length flag
        else if (c.Cdb[0] == 0x25)
            FakePlatform::SetSense(o, 0x20, 0x00, 0x00);  // only the incorrect-length flag
    };
    auto drive = Make(fake);
    EXPECT_FALSE(Send(*drive, 0x00));
    EXPECT_FALSE(drive->SenseIs(0x02, 0x04, 0x01));
    EXPECT_TRUE(drive->SenseIs(0x22, 0x04, 0x01));
    EXPECT_TRUE(drive->SenseIs(0x22, 0x04));  // two arguments: any ASCQ
    EXPECT_EQ(drive->ErrorText(), "22 04 01. 02, 0000");

    EXPECT_FALSE(Send(*drive, 0x25, 1, 8));  // a flag bit alone is a failure
    EXPECT_EQ(drive->LastResult().SenseKey, 0x20);
}

TEST_F(CDDriveTest, SuccessfulCommandClearsTheOutcome) {
    auto& fake = Platform.Add('E', 0, 0, Inquiry);
    fake.Respond = [](const FakePlatform::SentCommand& c, CommandOutcome& o) {
        if (c.Cdb[0] == 0x1B)
            FakePlatform::SetSense(o, 0x02, 0x3A, 0x00);
    };
    auto drive = Make(fake);
    EXPECT_FALSE(Send(*drive, 0x1B));
    EXPECT_TRUE(drive->SenseIs(0x02, 0x3A));
    EXPECT_TRUE(Send(*drive, 0x00));
    EXPECT_TRUE(drive->SenseIs(0, 0, 0));
    EXPECT_EQ(drive->ErrorText(), "00 00 00. 00, 0000");
}

TEST_F(CDDriveTest, LengthZeroAndDirectionsReachThePlatformUnchanged) {
    auto drive = Make(Platform.Add('E', 0, 0, Inquiry));
    EXPECT_TRUE(Send(*drive, 0x00, 1, 0));  // no data phase
    EXPECT_TRUE(Send(*drive, 0x3B, 2, 16));
    EXPECT_TRUE(Send(*drive, 0x3B, 0, 16));
    ASSERT_EQ(Platform.Sent.size(), 4u);
    EXPECT_EQ(Platform.Sent[1].Length, 0u);
    EXPECT_EQ(Platform.Sent[1].Direction, 1);
    EXPECT_EQ(Platform.Sent[2].Direction, 2);
    EXPECT_EQ(Platform.Sent[2].Buffer, drive->Buffer());
    EXPECT_EQ(Platform.Sent[3].Direction, 0);
}

TEST_F(CDDriveTest, CommandLongerThanTheBufferIsRefusedUnsent) {
    auto drive = Make(Platform.Add('E', 0, 0, Inquiry));
    const std::size_t before = Platform.Sent.size();
    EXPECT_FALSE(Send(*drive, 0x3C, 1, CDDrive::BufferLength() + 1));
    EXPECT_EQ(Platform.Sent.size(), before);
    EXPECT_EQ(drive->LastResult().SystemError, EINVAL);
    EXPECT_EQ(drive->LastResult().Category, CommandCategory::SystemError);
    EXPECT_TRUE(Send(*drive, 0x3C, 1, CDDrive::BufferLength()));
    EXPECT_EQ(Platform.Sent.back().Buffer, drive->Buffer());
}

// Each drive has its own timeout, and a command may carry its own: the commit's long
// timeout never stays behind for the commands after it.
TEST_F(CDDriveTest, TimeoutsBelongToTheDriveAndTheCommand) {
    auto first = Make(Platform.Add('D', 0, 0, Inquiry));
    auto second = Make(Platform.Add('E', 0, 1, Inquiry));
    first->SetTimeout(90);
    first->Execute(Commands::TestUnitReady());
    EXPECT_EQ(Platform.Sent.back().Timeout, 90);
    second->Execute(Commands::TestUnitReady());
    EXPECT_EQ(Platform.Sent.back().Timeout, CDDrive::DefaultTimeout);
    second->Execute(Commands::Commit(false));
    EXPECT_EQ(Platform.Sent.back().Timeout, CommitTimeoutSeconds);
    second->Execute(Commands::TestUnitReady());
    EXPECT_EQ(Platform.Sent.back().Timeout, CDDrive::DefaultTimeout);
}

// Opening that fails gives no drive, only why: the system's error in words and the texts a
// list shows the person. A drive that opens but does not identify itself is closed again.
TEST_F(CDDriveTest, FailedOpeningGivesTheCauseAndNoDrive) {
    Platform.Add('D', 0, 0, Inquiry).OpenError = EACCES;
    Platform.Add('E', 0, 1, Inquiry).OpenError = ENXIO;  // the platform has no text for it
    Platform.Add('F', 0, 2, Inquiry).AnswersInquiry = false;
    struct Case {
        DriveOpenFailure::Kind What;
        int SystemError;
        const char* Cause;
        const char* Message;
        const char* SenseReport;
    };
    const Case cases[] = {
        {DriveOpenFailure::Kind::NotOpened, EACCES, "Permission denied", "Error opening: 13, Drive: /dev/sg0",
         "SenseCode: 00 00 00, 00, Error: 13, Permission denied"},
        {DriveOpenFailure::Kind::NotOpened, ENXIO, "system error 6", "Error opening: 6, Drive: /dev/sg1",
         "SenseCode: 00 00 00, 00, Error: 6, Format message failed."},
        {DriveOpenFailure::Kind::Unidentified, 0, "INQUIRY failed: sense 05/24/00", "", ""},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        DriveOpening opening = CDDrive::Open(Platform, Platform.Drives[i].Candidate.Address);
        EXPECT_FALSE(opening.Opened()) << i;
        EXPECT_EQ(opening.Take(), nullptr) << i;
        ASSERT_NE(opening.Failure(), nullptr) << i;
        const DriveOpenFailure& failure = *opening.Failure();
        EXPECT_EQ(failure.What, c.What) << i;
        EXPECT_EQ(failure.DevicePath, "/dev/sg" + std::to_string(i));
        EXPECT_EQ(failure.SystemError, c.SystemError) << i;
        EXPECT_EQ(failure.Cause, c.Cause) << i;
        EXPECT_EQ(failure.Message, c.Message) << i;
        EXPECT_EQ(failure.SenseReport, c.SenseReport) << i;
    }
    EXPECT_EQ(Platform.Closed, std::vector<PlatformHandle>{102});
    EXPECT_TRUE(Ui.Messages.empty());  // a drive shows nothing itself
}

// Every drive keeps its own last result: another drive's failed open or command, and a
// command that succeeds on another drive, change nothing of it.
TEST_F(CDDriveTest, ErrorsStayWithTheirDrive) {
    Platform.Add('D', 0, 0, Inquiry).Respond = [](const FakePlatform::SentCommand&, CommandOutcome& o) {
        o = CommandOutcome{};
        o.Error = EIO;
    };
    Platform.Add('E', 0, 1, Inquiry).OpenError = EACCES;
    Platform.Add('F', 0, 2, Inquiry).Respond = [](const FakePlatform::SentCommand&, CommandOutcome& o) {
        FakePlatform::SetSense(o, 0x05, 0x20, 0x00);
    };
    auto failing = Make(Platform.Drives[0]);
    EXPECT_FALSE(Send(*failing, 0x00));

    const DriveOpening denied = CDDrive::Open(Platform, Platform.Drives[1].Candidate.Address);
    ASSERT_NE(denied.Failure(), nullptr);
    EXPECT_EQ(denied.Failure()->SystemError, EACCES);
    auto refusing = Make(Platform.Drives[2]);
    EXPECT_EQ(refusing->LastResult().SystemError, 0);  // its INQUIRY went well
    EXPECT_FALSE(Send(*refusing, 0xDF));

    EXPECT_EQ(failing->LastResult().SystemError, EIO);
    EXPECT_EQ(failing->FailureCause(), "Input/output error");
    EXPECT_EQ(failing->ErrorText(), "00 00 00. 00, 0005");
    EXPECT_EQ(refusing->LastResult().SystemError, 0);
    EXPECT_EQ(refusing->FailureCause(), "sense 05/20/00");
    EXPECT_EQ(refusing->ErrorText(), "05 20 00. 02, 0000");
}

TEST_F(CDDriveTest, ResultsFallIntoCategories) {
    auto& fake = Platform.Add('E', 0, 0, Inquiry);
    fake.Respond = [](const FakePlatform::SentCommand& c, CommandOutcome& o) {
        if (c.Cdb[0] == 0x01)
            FakePlatform::SetSense(o, 0x02, 0x3A, 0x00);
        else if (c.Cdb[0] == 0x02)
            o.Status = 0x08;
        else if (c.Cdb[0] == 0x03)
            o = CommandOutcome{false, 0, {}, ETIMEDOUT, 0, true};
        else if (c.Cdb[0] == 0x04)
            o = CommandOutcome{false, 0, {}, EBADF};
    };
    auto drive = Make(fake);
    const std::pair<uint8_t, CommandCategory> cases[] = {
        {0x00, CommandCategory::Good},           {0x01, CommandCategory::CheckCondition},
        {0x02, CommandCategory::StatusOnly},     {0x03, CommandCategory::TransportError},
        {0x04, CommandCategory::SystemError},
    };
    for (const auto& [opcode, category] : cases) {
        Command command;
        command.Cdb[0] = opcode;
        EXPECT_EQ(drive->Execute(command).Category, category) << int(opcode);
    }
    EXPECT_EQ(drive->LastResult().SystemError, EBADF);
}

TEST_F(CDDriveTest, DriveClosesOnDestruction) {
    auto d = Make(Platform.Add('D', 0, 0, Inquiry));
    EXPECT_TRUE(Platform.Closed.empty());
    d.reset();
    EXPECT_EQ(Platform.Closed, std::vector<PlatformHandle>{100});
}

}  // namespace
