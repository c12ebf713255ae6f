// SPDX-License-Identifier: Apache-2.0
// The window's flash-mode start-up: the warning, detection, the error reports and the
// drive list with its index table.

#include "FormFixture.h"

namespace {

const std::string Dashes(59, '-');

const std::string RangeWarning =
    "\nWARNING:\n"
    "\nThis flash utility only supports Acme RW-5200 drive with firmware:1.00-1.10"
    "\nWe recommend you close all applications in order to run this update! "
    "\nDon't turn off the system while the flash is in progress!"
    "\n\nDo you wish to continue?\n";

const std::string RangeReportHead =
    "\nERROR:\n"
    "\nCan't found RW-5200 firmware: 1.00-1.10 drive !\n"
    "\nThis flash utility only supports RW-5200 firmware: 1.00-1.10\n";

}  // namespace

TEST_F(FormTest, DecliningTheWarningEndsBeforeDetection) {
    AddDrive(TestProduct, "1.05");
    Answers = {MessageAnswer::No};
    FlashWindow& form = Create();

    EXPECT_TRUE(form.StartUpEnded());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, RangeWarning);
    EXPECT_EQ(Messages[0].Kind, MessageKind::Warning);
    EXPECT_EQ(Messages[0].Buttons, MessageButtons::YesNo);
    EXPECT_EQ(Messages[0].Default, MessageAnswer::Yes);
    EXPECT_EQ(Messages[0].Title, "Warning");
    EXPECT_TRUE(Platform.Drive(0).Commands().empty());  // no drive was even asked
    EXPECT_EQ(Platform.OpenHandles(), 0u);
    // The caption was not yet changed to the vendor's.
    EXPECT_EQ(Text(form.windowTitle()), " Flash Utility V1.048 for");
    EXPECT_FALSE(form.isVisible());
}

TEST_F(FormTest, NoDriveShowsTheExactReportAndEnds) {
    FlashWindow& form = Create();
    EXPECT_TRUE(form.StartUpEnded());
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].Text, RangeReportHead + "\nCan't find ATAPI Drive !\n");
    EXPECT_EQ(Messages[1].Kind, MessageKind::Error);
    EXPECT_EQ(Messages[1].Buttons, MessageButtons::Ok);
    EXPECT_EQ(Messages[1].Title, "Error");
    EXPECT_TRUE(Files().isHidden());  // hidden once the warning was accepted
}

TEST_F(FormTest, DrivesOfWhichNoneQualifyAreListed) {
    AddDrive("OTHER   CD-RW RW5200    ", "1.05");
    AddDrive(TestProduct, "1.11");  // one above the range
    FlashWindow& form = Create();
    EXPECT_TRUE(form.StartUpEnded());
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].Text, RangeReportHead + "\nDetected drives:\n" + Dashes + "\n" +
                                    Line(0, "OTHER   CD-RW RW5200    ", "1.05") + "\n" +
                                    Line(1, TestProduct, "1.11") + "\n");
    EXPECT_EQ(Messages[1].Kind, MessageKind::Error);
    EXPECT_EQ(Choice().count(), 0);
    // Ending the program closes every drive again.
    Form.reset();
    EXPECT_EQ(Platform.OpenHandles(), 0u);
}

TEST_F(FormTest, ThreeDrivesOfWhichTheLastTwoQualify) {
    AddDrive("OTHER   DVD-ROM         ", "1.05");
    AddDrive(TestProduct, "1.00");  // both bounds are inclusive
    AddDrive(TestProduct, "1.10");
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    EXPECT_EQ(Messages.size(), 1u);  // the warning only; the report is dropped unseen

    ASSERT_EQ(Choice().count(), 2);
    EXPECT_EQ(Text(Choice().itemText(0)), Line(1, TestProduct, "1.00"));
    EXPECT_EQ(Text(Choice().itemText(1)), Line(2, TestProduct, "1.10"));
    EXPECT_EQ(form.DriveIndex(0), 1);
    EXPECT_EQ(form.DriveIndex(1), 2);
    EXPECT_EQ(Choice().currentIndex(), 0);
    EXPECT_EQ(form.TargetDriveIndex(), 1);

    // Setting the selection in code raises no change.
    Choice().setCurrentIndex(1);
    EXPECT_EQ(form.TargetDriveIndex(), 1);
    // The person's choice does: drive DriveIndex[1] becomes the target; nothing else changes.
    const QString caption = form.windowTitle();
    emit Choice().activated(1);
    EXPECT_EQ(form.TargetDriveIndex(), 2);
    EXPECT_EQ(form.windowTitle(), caption);
    EXPECT_EQ(Text(Prompt().text()), "Select the Acme drive you want to update:");
    EXPECT_EQ(Button().text(), "FLASH");

    // Destruction closes the drives.
    Form.reset();
    EXPECT_EQ(Platform.OpenHandles(), 0u);
}

TEST_F(FormTest, InquiryAndRangeWildcards) {
    Block.Inquiry("--").FwRange("---------");
    AddDrive("ANY     DRIVE AT ALL    ", "Z999");
    AddDrive(TestProduct, "0000");
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    EXPECT_EQ(Messages[0].Text,
              "\nWARNING:\n"
              "\nThis flash utility only supports Acme RW-5200 drive. "
              "\nWe recommend you close all applications in order to run this update!"
              "\nDon't turn off the system while the flash is in progress! "
              "\n\nDo you wish to continue?\n");
    ASSERT_EQ(Choice().count(), 2);
    EXPECT_EQ(form.DriveIndex(0), 0);
    EXPECT_EQ(form.DriveIndex(1), 1);
}

TEST_F(FormTest, RangeWildcardStillNeedsTheProduct) {
    Block.FwRange("---------");
    AddDrive("ACME    CD-RW rw5200    ", "1.05");  // differs in case only
    AddDrive(TestProduct, "Z999");
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    ASSERT_EQ(Choice().count(), 1);
    EXPECT_EQ(form.DriveIndex(0), 1);
    EXPECT_EQ(form.TargetDriveIndex(), 1);
}
