// SPDX-License-Identifier: Apache-2.0
// The FLASH button in the window: a whole run on a virtual drive, a failing run, and a
// window that keeps answering but takes no input while a slow commit runs.

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include "FormFixture.h"
#include "app/gui/WindowUserInterface.h"
#include "history/HistoryFile.h"
#include "history/HistoryLog.h"
#include "image/TempDirectory.h"

namespace {

constexpr uint8_t WriteBufferOpcode = 0x3B;

std::vector<uint8_t> ImageOf(const IdentityBlockBuffer& block) {
    const uint8_t* image = block.Bytes.data() + Layout::BlockSize;
    return std::vector<uint8_t>(image, image + Layout::ImageCapacity);
}

}  // namespace

TEST_F(FormTest, FullFlashFromTheButton) {
    VirtualDrive& drive = AddDrive(TestProduct, "1.05");
    Answers = {MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No};  // warning, update, restart
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    form.show();

    Button().click();  // returns once the run has ended

    EXPECT_EQ(Text(Status().title()), "Flash Completed.");
    EXPECT_EQ(drive.CommitCount(), 1u);
    EXPECT_EQ(drive.LastCommitCode(), 0x80);
    EXPECT_EQ(drive.Flash(), ImageOf(Block));
    // The entry shows the drive's new identity in its old place and stays selected.
    ASSERT_EQ(Choice().count(), 1);
    EXPECT_EQ(Text(Choice().itemText(0)), Line(0, TestProduct, "1.20"));
    EXPECT_EQ(Choice().currentIndex(), 0);
    EXPECT_EQ(form.TargetDriveIndex(), 0);

    ASSERT_EQ(Messages.size(), 3u);
    EXPECT_EQ(Messages[1].Text, "\nUpdate FW:1.05 to FW:1.20 ?\n");
    EXPECT_EQ(Messages[1].Kind, MessageKind::Confirmation);
    EXPECT_EQ(Messages[1].Buttons, MessageButtons::YesNo);
    // On the virtual drive the restart question says that it restarts nothing.
    EXPECT_EQ(Messages[2].Text, "The system needs to be restarted for the changes to take effect ?\n\n"
                                "The drive is virtual: nothing will be restarted, whatever the answer.");
    EXPECT_EQ(Platform.RestartRequests(), 0u);
    // The end of every run: default cursor, empty bar, window usable again.
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Bar().value(), 0);
    EXPECT_FALSE(form.Running());
    EXPECT_TRUE(form.close());
}

// The window chooses its platform where the terminal does: once the copy's checks passed, so
// that a damaged copy is refused whatever the command line asks of the platform, and a
// platform that can't be had ends the window with the code it gave, before the warning.
TEST_F(FormTest, ThePlatformIsChosenOnceTheCopysChecksPassed) {
    AddDrive(TestProduct, "1.05");
    int asked = 0;
    Adjust = [&](FlashFormSettings& settings) {
        settings.ChoosePlatform = [&](const IdentityBlock& utility, int& exitCode) -> ::Platform* {
            EXPECT_EQ(utility.Raw(), Block.Bytes.data());
            ++asked;
            exitCode = 2;
            return nullptr;
        };
    };
    Create();  // its seal made for the block as built
    Form.reset();
    Messages.clear();
    asked = 0;
    Block.Bytes[Layout::BlockSize + 1000] ^= 1;
    FlashWindow& damaged = Create();
    EXPECT_EQ(damaged.StartUpExitCode(), 6);
    EXPECT_EQ(asked, 0);
    Form.reset();
    Messages.clear();
    Block.Bytes[Layout::BlockSize + 1000] ^= 1;
    FlashWindow& intact = Create();
    EXPECT_TRUE(intact.StartUpEnded());
    EXPECT_EQ(intact.StartUpExitCode(), 2);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(Messages.empty());  // not even the warning
}

// A damaged copy ends before any drive command with the code of a failure before the
// commit; a copy without a seal says so once and goes on.
TEST_F(FormTest, DamagedOrStrippedCopyEndsBeforeAnyDriveCommand) {
    VirtualDrive& drive = AddDrive(TestProduct, "1.05");
    ExecutablePath = "/opt/R120.EXE";
    Create();
    Form.reset();
    const std::size_t sent = drive.Commands().size();
    Messages.clear();
    Block.Bytes[Layout::BlockSize + 1000] ^= 1;  // the image after the build
    FlashWindow& damaged = Create();
    EXPECT_TRUE(damaged.StartUpEnded());
    EXPECT_EQ(damaged.StartUpExitCode(), 6);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, MessageKind::Error);
    EXPECT_NE(Messages[0].Text.find("This utility is damaged: /opt/R120.EXE"), std::string::npos);
    EXPECT_EQ(drive.Commands().size(), sent);

    Form.reset();
    Messages.clear();
    // A built copy of a sealing version whose seal area is blank had its seal stripped.
    Seal.assign(EmbeddedSealBytes(), EmbeddedSealBytes() + SealLayout::Size);  // as the toolchain made it
    FlashWindow& stripped = Create();
    EXPECT_TRUE(stripped.StartUpEnded());
    EXPECT_EQ(stripped.StartUpExitCode(), 6);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].Text.find("(its seal is blank)"), std::string::npos);
    EXPECT_EQ(drive.Commands().size(), sent);

    Form.reset();
    Messages.clear();
    // An intact seal, and a signature that does not match: the window refuses it too.
    Seal.clear();
    Block.Bytes[Layout::BlockSize + 1000] ^= 1;  // the image as built again
    Signature.assign(EmbeddedSignatureBytes(), EmbeddedSignatureBytes() + SignatureLayout::Size);
    Signature[SignatureLayout::FlagsOffset] = SignatureLayout::Signed;
    Signature[SignatureLayout::PublicKeyOffset] = 1;
    FlashWindow& forged = Create();
    EXPECT_TRUE(forged.StartUpEnded());
    EXPECT_EQ(forged.StartUpExitCode(), 6);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].Text.find("(its signature does not match its contents)"), std::string::npos);
    EXPECT_EQ(drive.Commands().size(), sent);
}

// --no-commit for the window: the run ends with the statement, the drive's flash untouched.
TEST_F(FormTest, RehearsalFromTheButtonLeavesTheFlashAlone) {
    VirtualDrive& drive = AddDrive(TestProduct, "1.05");
    NoCommit = true;
    Answers = {MessageAnswer::Yes, MessageAnswer::Yes};  // warning, update
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    form.show();
    Button().click();
    EXPECT_EQ(Text(Status().title()), "Rehearsal complete, flash not changed.");
    EXPECT_EQ(drive.CommitCount(), 0u);
    EXPECT_NE(drive.Flash(), ImageOf(Block));
    ASSERT_EQ(Messages.size(), 3u);
    EXPECT_NE(Messages[2].Text.find("gave it back intact"), std::string::npos);
    EXPECT_TRUE(form.close());
}

// A run the person declines sends nothing and leaves no record; one that flashes leaves its
// start and its end.
TEST_F(FormTest, TheWindowRecordsEveryRunThatReachesTheDrive) {
    AddDrive(TestProduct, "1.05");
    TempDirectory temp;
    HistoryLog history(temp / "history.jsonl", nullptr, nullptr);
    History = &history;
    Answers = {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Yes, MessageAnswer::No};
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    Button().click();  // declined
    Button().click();  // flashed

    HistoryContents contents;
    std::string why;
    ASSERT_TRUE(ReadHistory(history.Path(), contents, why)) << why;
    ASSERT_EQ(contents.Runs.size(), 1u);
    EXPECT_EQ(contents.Runs[0].Start.Drive.Revision, "1.05");
    ASSERT_TRUE(contents.Runs[0].End);
    EXPECT_EQ(contents.Runs[0].End->Outcome, "completed");
    EXPECT_EQ(contents.Runs[0].End->RevisionAfter, "1.20");
}

TEST_F(FormTest, FailingChunkWriteShowsTheSuffix) {
    VirtualDrive& drive = AddDrive(TestProduct, "1.05");
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    // The run sends load, TEST UNIT READY (no medium), stop play, stop unit, then the chunks:
    // the seventh command of the run writes the chunk at 0x8000.
    const uint32_t failing = uint32_t(drive.Commands().size()) + 7;
    drive.AddFault({failing, VirtualFaultKind::Sense, 0x04, 0x44, 0x00});
    Answers = {MessageAnswer::Yes};
    Button().click();

    const RecordedCommand& command = drive.Commands().at(failing - 1);
    ASSERT_EQ(command.Opcode(), WriteBufferOpcode);
    EXPECT_EQ(command.Cdb[3] << 16 | command.Cdb[4] << 8 | command.Cdb[5], 0x8000);
    EXPECT_EQ(Text(Status().title()), "Write BIN to drive's DRAM... , Fail! ");
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back().Text.rfind("Write Buffer> ", 0), 0u) << Messages.back().Text;
    EXPECT_EQ(drive.Commands().size(), failing);  // no read-back, no commit
    EXPECT_EQ(drive.CommitCount(), 0u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Bar().value(), 0);
    // The entry is untouched.
    EXPECT_EQ(Text(Choice().itemText(0)), Line(0, TestProduct, "1.05"));
}

TEST_F(FormTest, WindowAnswersButTakesNoInputDuringASlowCommit) {
    AddDrive(TestProduct, "1.05", 1500);
    AddDrive(TestProduct, "1.05", 1500);
    Answers = {MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No};
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    ASSERT_EQ(Choice().count(), 2);
    form.show();

    const std::string committing = "Don't turn off the system, Flash is in progress...";
    int ticksDuringCommit = 0;
    bool closeRefused = false, stillVisible = false, busyCursor = false;
    int indexAfterKey = -1;
    int targetAfterKey = -1;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (Text(Status().title()) != committing)
            return;
        if (++ticksDuringCommit != 3)
            return;
        closeRefused = !form.close();
        stillVisible = form.isVisible();
        busyCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        // A key that would choose the next drive, and a click on the button: both swallowed.
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(&Choice(), &down);
        const QPointF centre(Button().rect().center());
        QMouseEvent press(QEvent::MouseButtonPress, centre, Button().mapToGlobal(centre),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, Button().mapToGlobal(centre),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&Button(), &press);
        QApplication::sendEvent(&Button(), &release);
        indexAfterKey = Choice().currentIndex();
        targetAfterKey = form.TargetDriveIndex();
    });
    probe.start();
    Button().click();
    probe.stop();

    // 1.5 s of commit at 20 ms per tick: the window's events kept flowing throughout.
    EXPECT_GE(ticksDuringCommit, 10);
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(stillVisible);
    EXPECT_TRUE(busyCursor);
    EXPECT_EQ(indexAfterKey, 0);
    EXPECT_EQ(targetAfterKey, 0);
    EXPECT_EQ(Text(Status().title()), "Flash Completed.");
    EXPECT_EQ(Platform.Drive(0).CommitCount(), 1u);
    EXPECT_EQ(Platform.Drive(1).CommitCount(), 0u);
    EXPECT_EQ(Messages.size(), 3u);  // no second run was started by the swallowed click

    // Once the run is over the window takes input and closes again.
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&Choice(), &down);
    EXPECT_EQ(Choice().currentIndex(), 1);
    EXPECT_EQ(form.TargetDriveIndex(), 1);
    EXPECT_TRUE(form.close());
}

TEST_F(FormTest, DriveAlreadyUpToDateGetsTheWarningAndNothingIsSent) {
    Block.FwRange("1.00-1.20");
    VirtualDrive& drive = AddDrive(TestProduct, "1.20");
    FlashWindow& form = Create();
    ASSERT_FALSE(form.StartUpEnded());
    drive.ClearCommands();
    Button().click();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].Text, "\nWARNING:\n\nYour drive FW:1.20 is aready the most updated ?");
    EXPECT_EQ(Messages[1].Buttons, MessageButtons::Ok);
    EXPECT_TRUE(drive.Commands().empty());
    EXPECT_TRUE(Status().title().isEmpty());
}

// While the commit is waited for, the window's bar, otherwise a smooth bar with no text,
// shows the seconds; past the limit that the drive is late; once it answered no text again.
TEST_F(FormTest, TheBarShowsTheCommitsWait) {
    Create();
    QProgressBar& bar = Bar();
    ASSERT_FALSE(bar.isTextVisible());
    WindowUserInterface ui(Form.get(), &Status(), &bar, &Choice());
    ui.SetProgressRange(0, 100);
    ui.SetProgressPosition(100);
    ui.ShowWaiting(12, 180);
    EXPECT_TRUE(bar.isTextVisible());
    EXPECT_EQ(Text(bar.text()), "12 s of at most 180 s");
    ui.ShowWaiting(181, 180);
    EXPECT_TRUE(bar.isTextVisible());
    EXPECT_EQ(Text(bar.text()), "late: no answer within 180 s");
    ui.ShowWaiting(0, 0);
    EXPECT_FALSE(bar.isTextVisible());
}
