// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "CDDriveFakePlatform.h"
#include "support/ScriptedUserInterface.h"
#include "scsi/CDDrives.h"

namespace {

const std::string Inquiry = "KAV     CDRW-4012       1.05";

using CDDrivesTest = FakePlatformTest;

TEST_F(CDDrivesTest, NoDrivesGivesAnEmptyListWithoutMessages) {
    CDDrives drives(Platform, &Reports);
    EXPECT_EQ(drives.Count(), 0);
    EXPECT_EQ(drives.Current(), nullptr);
    EXPECT_FALSE(drives.Select(0));
    EXPECT_EQ(drives.LeftOut(), 0);
    EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(CDDrivesTest, DrivesKeepTheirOrderAndTheFirstIsCurrent) {
    Platform.Add('E', 0, 0, Inquiry);
    Platform.Add('G', 0, 1, Inquiry);
    CDDrives drives(Platform, &Reports);
    ASSERT_EQ(drives.Count(), 2);
    EXPECT_EQ(drives.Item(0)->DriveLetter, 'E');
    EXPECT_EQ(drives.Item(1)->DriveLetter, 'G');
    EXPECT_EQ(drives.Current(), drives.Item(0));
    EXPECT_EQ(drives.Current()->DevicePath(), "/dev/sg0");
}

TEST_F(CDDrivesTest, DriveThatDoesNotIdentifyIsLeftOut) {
    Platform.Add('D', 0, 0, Inquiry).AnswersInquiry = false;
    Platform.Add('E', 0, 1, Inquiry);
    CDDrives drives(Platform, &Reports);
    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Current()->DriveLetter, 'E');
    EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(CDDrivesTest, UnopenableDriveShowsTheOpenFailureAndIsLeftOutWithItsCause) {
    Platform.Add('D', 0, 0, Inquiry).OpenError = EACCES;
    Platform.Add('E', 0, 1, Inquiry);
    Platform.Add('F', 0, 2, Inquiry).AnswersInquiry = false;
    CDDrives drives(Platform, &Reports);
    EXPECT_EQ(drives.Count(), 1);
    ASSERT_EQ(Ui.Messages.size(), 3u);  // the open failure, its report, then the failed INQUIRY's report
    EXPECT_EQ(Ui.Messages[0].Text, "Error opening: 13, Drive: /dev/sg0");
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Plain);
    EXPECT_EQ(Ui.Messages[2].Text, "SenseCode: 05 24 00, 02, Error: 0, Format message failed.");
    ASSERT_EQ(drives.Unlisted().size(), 2u);
    EXPECT_EQ(drives.Unlisted()[0].DevicePath, "/dev/sg0");
    EXPECT_EQ(drives.Unlisted()[0].Why, UnlistedDrive::Reason::NotOpened);
    EXPECT_EQ(drives.Unlisted()[0].Cause, "could not be opened: Permission denied");
    EXPECT_EQ(drives.Unlisted()[1].DevicePath, "/dev/sg2");
    EXPECT_EQ(drives.Unlisted()[1].Why, UnlistedDrive::Reason::Unidentified);
    EXPECT_EQ(drives.Unlisted()[1].Cause, "could not be identified (INQUIRY failed: sense 05/24/00)");
}

// After the first drive that fails to open, every later failure of any drive of the run shows
// its sense report: the drives opened before it and those opened after it alike.
TEST_F(CDDrivesTest, AFailedOpenStartsSenseReportsOfEveryDriveOfTheList) {
    const auto refuse = [](const FakePlatform::SentCommand&, CommandOutcome& o) {
        FakePlatform::SetSense(o, 0x05, 0x24, 0x00);
    };
    Platform.Add('D', 0, 0, Inquiry).Respond = refuse;
    Platform.Add('E', 0, 1, Inquiry).OpenError = EACCES;
    Platform.Add('F', 0, 2, Inquiry).Respond = refuse;
    CDDrives drives(Platform, &Reports);
    ASSERT_EQ(drives.Count(), 2);
    ASSERT_EQ(Ui.Messages.size(), 2u);  // the open failure and its report
    for (int i = 0; i < 2; ++i)
        drives.Item(i)->Execute(Commands::TestUnitReady());
    ASSERT_EQ(Ui.MessageTexts(), (std::vector<std::string>{
                                     "Error opening: 13, Drive: /dev/sg1",
                                     "SenseCode: 00 00 00, 00, Error: 13, Permission denied",
                                     "SenseCode: 05 24 00, 02, Error: 0, Format message failed.",
                                     "SenseCode: 05 24 00, 02, Error: 0, Format message failed."}));
}

TEST_F(CDDrivesTest, ListStopsAtTwentyFourDrives) {
    for (int i = 0; i < 30; ++i)
        Platform.Add(char('A' + i % 26), uint8_t(i), 0, Inquiry);
    CDDrives drives(Platform, &Reports);
    EXPECT_EQ(drives.Count(), 24);
    EXPECT_EQ(Platform.Opened.size(), 24u);  // drives past the 24th are not probed, only counted
    EXPECT_EQ(drives.LeftOut(), 6);
    EXPECT_EQ(drives.Item(23)->HostAdapter, 23);
    EXPECT_EQ(drives.Item(24), nullptr);
}

TEST_F(CDDrivesTest, FullListStillCountsOnlyDrivesThatOpen) {
    Platform.Add('C', 0, 0, Inquiry).AnswersInquiry = false;
    for (int i = 1; i <= 25; ++i)
        Platform.Add('D', uint8_t(i), 0, Inquiry);
    CDDrives drives(Platform, &Reports);
    EXPECT_EQ(drives.Count(), 24);
    EXPECT_EQ(drives.Item(0)->HostAdapter, 1);
    EXPECT_EQ(drives.Item(23)->HostAdapter, 24);
    EXPECT_EQ(drives.LeftOut(), 1);  // the 25th; the one that did not answer is no drive of the list
}

TEST_F(CDDrivesTest, SelectOutsideTheListChangesNothing) {
    Platform.Add('D', 0, 0, Inquiry);
    Platform.Add('E', 0, 1, Inquiry);
    CDDrives drives(Platform, &Reports);
    EXPECT_TRUE(drives.Select(1));
    EXPECT_EQ(drives.Current()->DriveLetter, 'E');
    EXPECT_FALSE(drives.Select(-1));
    EXPECT_FALSE(drives.Select(2));
    EXPECT_FALSE(drives.Select(INT16_MIN));
    EXPECT_EQ(drives.Current()->DriveLetter, 'E');
}

TEST_F(CDDrivesTest, DestructionClosesFromLastToFirst) {
    Platform.Add('D', 0, 0, Inquiry);
    Platform.Add('E', 0, 1, Inquiry).AnswersInquiry = false;  // closed during construction
    Platform.Add('F', 0, 2, Inquiry);
    Platform.Add('G', 0, 3, Inquiry);
    {
        CDDrives drives(Platform, &Reports);
        Platform.Closed.clear();
    }
    EXPECT_EQ(Platform.Closed, (std::vector<PlatformHandle>{103, 102, 100}));
}

}  // namespace
