// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>

#include "IdentityBlockBuffer.h"
#include "flash/FlashTexts.h"
#include "flash/StartUp.h"
#include "scsi/CDDrive.h"
#include "sim/VirtualDrive.h"
#include "support/ScriptedUserInterface.h"

namespace {

const std::string Product = "ACME    CD-RW RW5200    ";  // 24 characters, as the drive reports them

VirtualDriveConfig DriveWith(const std::string& inquiry, const std::string& revision) {
    VirtualDriveConfig config;
    config.Inquiry = inquiry;
    config.Revision = revision;
    config.NewRevision = "1.20";
    return config;
}

// The identity line of virtual drive n.
std::string Line(int n, const std::string& inquiry, const std::string& revision) {
    return "0-" + std::to_string(n) + "-0 V: " + inquiry + revision;
}

const std::string Dashes(59, '-');

class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform.SetInstantSleep(true);
        Block.Vendor("Acme").Model("RW-5200").Inquiry("ACME    CD-RW RW5200").FwRange("1.00-1.10");
        Block.NewFwName("1.20").ImageLength(0x80000);
    }

    VirtualDrive& Add(const std::string& inquiry, const std::string& revision) {
        return Platform.AddDrive(DriveWith(inquiry, revision));
    }

    VirtualPlatform Platform;
    ScriptedUserInterface Ui;
    IdentityBlockBuffer Block;
};

const std::string RangeReportHead =
    "\nERROR:\n"
    "\nCan't found RW-5200 firmware: 1.00-1.10 drive !\n"
    "\nThis flash utility only supports RW-5200 firmware: 1.00-1.10\n";

}  // namespace

TEST_F(StartUpTest, PromptCaptionAndRangeWarningAreExact) {
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    EXPECT_EQ(startUp.PromptText(), "Select the Acme drive you want to update:");
    EXPECT_EQ(startUp.CaptionText(), "Acme Flash Utility V1.048 forRW-5200");
    EXPECT_EQ(startUp.WarningText(),
              "\nWARNING:\n"
              "\nThis flash utility only supports Acme RW-5200 drive with firmware:1.00-1.10"
              "\nWe recommend you close all applications in order to run this update! "
              "\nDon't turn off the system while the flash is in progress!"
              "\n\nDo you wish to continue?\n");
}

TEST_F(StartUpTest, AnyFirmwareWarningAndReportAreExact) {
    Block.FwRange("-    -");
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    EXPECT_EQ(startUp.WarningText(),
              "\nWARNING:\n"
              "\nThis flash utility only supports Acme RW-5200 drive. "
              "\nWe recommend you close all applications in order to run this update!"
              "\nDon't turn off the system while the flash is in progress! "
              "\n\nDo you wish to continue?\n");
    EXPECT_EQ(FlashTexts::ErrorReportHead(startUp.Texts()),
              "\nERROR:\n\nCan't found RW-5200 drive !\n\nThis flash utility only supports RW-5200\n");
}

TEST_F(StartUpTest, WarningIsAYesNoWarningWithYesAsDefault) {
    Add(Product, "1.05");
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    Ui.Answers = {MessageAnswer::No};
    EXPECT_FALSE(startUp.AskWarning(Ui));
    ASSERT_EQ(Ui.Messages.size(), 1u);
    const MessageRequest& box = Ui.Messages[0];
    EXPECT_EQ(box.Text, startUp.WarningText());
    EXPECT_EQ(box.Kind, MessageKind::Warning);
    EXPECT_EQ(box.Buttons, MessageButtons::YesNo);
    EXPECT_EQ(box.Default, MessageAnswer::Yes);
    EXPECT_EQ(box.Title, "Warning");
    EXPECT_EQ(box.Asks, Question::StartUpWarning);
    // Declining detects nothing: no drive was asked anything.
    EXPECT_TRUE(Platform.Drive(0).Commands().empty());
    EXPECT_EQ(startUp.Drives(), nullptr);

    Ui.Answers = {MessageAnswer::Ok};  // anything but Yes
    EXPECT_FALSE(startUp.AskWarning(Ui));
    Ui.Answers = {MessageAnswer::Yes};
    EXPECT_TRUE(startUp.AskWarning(Ui));
}

TEST_F(StartUpTest, NoDriveShowsTheReportWithoutListing) {
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    EXPECT_EQ(startUp.Detect(Ui), FlashStartUp::Detection::NoDrive);
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0].Text, RangeReportHead + "\nCan't find ATAPI Drive !\n");
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Error);
    EXPECT_EQ(Ui.Messages[0].Buttons, MessageButtons::Ok);
    EXPECT_EQ(Ui.Messages[0].Title, "Error");
    EXPECT_TRUE(startUp.Entries().empty());
}

TEST_F(StartUpTest, NoneQualifyListsEveryDetectedDrive) {
    const std::string other = "OTHER   DVD-ROM 16X     ";
    Add(other, "1.05");
    Add(Product, "1.11");                      // one above the range
    Add("acme    cd-rw rw5200    ", "1.05");   // differs in case only
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    EXPECT_EQ(startUp.Detect(Ui), FlashStartUp::Detection::NoneQualify);
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0].Text, RangeReportHead + "\nDetected drives:\n" + Dashes + "\n" +
                                       Line(0, other, "1.05") + "\n" + Line(1, Product, "1.11") + "\n" +
                                       Line(2, "acme    cd-rw rw5200    ", "1.05") + "\n");
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Error);
    EXPECT_EQ(Ui.Messages[0].Title, "Error");
    EXPECT_TRUE(startUp.Entries().empty());
}

TEST_F(StartUpTest, LastTwoOfThreeQualify) {
    Add(Product, "0.99");
    Add(Product, "1.00");
    Add(Product, "1.10");
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    ASSERT_EQ(startUp.Detect(Ui), FlashStartUp::Detection::Ready);
    EXPECT_TRUE(Ui.Messages.empty());  // the report is dropped unseen
    EXPECT_EQ(startUp.Entries(), (std::vector<std::string>{Line(1, Product, "1.00"), Line(2, Product, "1.10")}));

    const CDDrives& drives = *startUp.Drives();
    EXPECT_EQ(startUp.SelectEntry(0), drives.Item(1));
    EXPECT_EQ(drives.Current(), drives.Item(1));
    EXPECT_EQ(startUp.SelectEntry(1), drives.Item(2));
    EXPECT_EQ(drives.Current(), drives.Item(2));
    for (int outside : {2, -1}) {  // no such entry: nothing changes
        EXPECT_EQ(startUp.SelectEntry(outside), nullptr);
        EXPECT_EQ(drives.Current(), drives.Item(2));
    }
    EXPECT_EQ(startUp.SelectEntry(0), drives.Item(1));
}

TEST_F(StartUpTest, InquiryWildcardListsEveryDrive) {
    Block.Inquiry("--");
    Add("OTHER   DVD-ROM 16X     ", "ZZZZ");
    Add(Product, "0000");
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    ASSERT_EQ(startUp.Detect(Ui), FlashStartUp::Detection::Ready);
    EXPECT_EQ(startUp.Entries().size(), 2u);
    EXPECT_EQ(startUp.ErrorReport().find("0-0-0"), std::string::npos);
}

TEST_F(StartUpTest, RangeWildcardChecksOnlyTheProduct) {
    Block.FwRange("------");
    Add(Product, "ZZZZ");
    Add("OTHER   DVD-ROM 16X     ", "1.05");
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    ASSERT_EQ(startUp.Detect(Ui), FlashStartUp::Detection::Ready);
    EXPECT_EQ(startUp.Entries(), std::vector<std::string>{Line(0, Product, "ZZZZ")});
    EXPECT_EQ(startUp.ErrorReport(),
              "\nERROR:\n\nCan't found RW-5200 drive !\n\nThis flash utility only supports RW-5200\n"
              "\nDetected drives:\n" + Dashes + "\n" + Line(1, "OTHER   DVD-ROM 16X     ", "1.05") + "\n");
}

// The list holds up to 24 drives; every one of them can qualify and keep its entry.
TEST_F(StartUpTest, AFullListOfQualifyingDrivesKeepsEveryIndex) {
    for (int i = 0; i < 26; ++i)
        Add(Product, "1.05");
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    ASSERT_EQ(startUp.Detect(Ui), FlashStartUp::Detection::Ready);
    ASSERT_EQ(startUp.Entries().size(), 24u);
    for (int k = 0; k < 24; ++k)
        EXPECT_EQ(startUp.SelectEntry(k), startUp.Drives()->Item(k));
}

// A drive that answered at detection but not when its line is made shows the line "0".
TEST_F(StartUpTest, DriveThatStopsAnsweringIsListedAsZero) {
    VirtualDriveConfig config = DriveWith(Product, "1.05");
    config.Faults.push_back({2, VirtualFaultKind::Sense, 0x02, 0x04, 0x00});
    Platform.AddDrive(config);
    FlashStartUp startUp(Block.View(), Platform);
    startUp.FormIdentityTexts();
    ASSERT_EQ(startUp.Detect(Ui), FlashStartUp::Detection::Ready);
    EXPECT_EQ(startUp.Entries(), std::vector<std::string>{"0"});
}

TEST_F(StartUpTest, DestructionClosesTheDrives) {
    Add(Product, "1.05");
    Add(Product, "1.06");
    {
        FlashStartUp startUp(Block.View(), Platform);
        startUp.FormIdentityTexts();
        ASSERT_EQ(startUp.Detect(Ui), FlashStartUp::Detection::Ready);
        ASSERT_NE(startUp.SelectEntry(1), nullptr);
        EXPECT_EQ(Platform.OpenHandles(), 2u);
    }
    EXPECT_EQ(Platform.OpenHandles(), 0u);
}
