// SPDX-License-Identifier: Apache-2.0
// The revision check and the confirmation before anything is sent to the drive.

#include "SequenceExpectations.h"

namespace {

class RevisionCheck : public EngineFixture {
protected:
    FlashOutcome Run(const std::string& driveRevision, const std::string& range, std::deque<MessageAnswer> answers) {
        Setup.Drive.Revision = driveRevision;
        Setup.FwRange = range;
        Build();
        return RunWith(std::move(answers));
    }
    bool NothingSent() { return Record().size() == 1; }  // only the opening's INQUIRY
};

TEST_F(RevisionCheck, EqualRevisionIsRefusedWithAWarning) {
    EXPECT_EQ(Run("1.06", "1.00-1.06", {}), FlashOutcome::RevisionRefused);
    EXPECT_TRUE(NothingSent());
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0].Text, "\nWARNING:\n\nYour drive FW:1.06 is aready the most updated ?");
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Warning);
    EXPECT_EQ(Ui.Messages[0].Buttons, MessageButtons::Ok);
    EXPECT_TRUE(Ui.Statuses.empty());
    EXPECT_EQ(Report.Step, FlashStep::RevisionCheck);
}

TEST_F(RevisionCheck, HigherRevisionIsRefused) {
    EXPECT_EQ(Run("1.10", "1.00-1.10", {}), FlashOutcome::RevisionRefused);
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"\nWARNING:\n\nYour drive FW:1.10 is aready the most updated ?"});
}

// Bytes compare unsigned: a revision byte above 0x7F is higher than any digit.
TEST_F(RevisionCheck, RevisionBytesCompareUnsigned) {
    EXPECT_EQ(Run("\xB0" "100", "1.00-1.05", {}), FlashOutcome::RevisionRefused);
    EXPECT_TRUE(NothingSent());
}

TEST_F(RevisionCheck, LowerRevisionAsksForConfirmationWithNoAsDefault) {
    EXPECT_EQ(Run("1.00", "1.00-1.05", {MessageAnswer::Yes, MessageAnswer::No}), FlashOutcome::Completed);
    ASSERT_GE(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0].Text, "\nUpdate FW:1.00 to FW:1.06 ?\n");
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Confirmation);
    EXPECT_EQ(Ui.Messages[0].Buttons, MessageButtons::YesNo);
    EXPECT_EQ(Ui.Messages[0].Default, MessageAnswer::No);
    EXPECT_EQ(Ui.Messages[0].Asks, Question::UpdateConfirmation);
}

TEST_F(RevisionCheck, AnyAnswerButYesSendsNothing) {
    for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Ok}) {
        EXPECT_EQ(Run("1.00", "1.00-1.05", {answer}), FlashOutcome::Declined);
        EXPECT_TRUE(NothingSent());
        EXPECT_EQ(Ui.Messages.size(), 1u);
        Ui = ScriptedUserInterface();
    }
    // No scripted answer at all: the box's default, No.
    EXPECT_EQ(Run("1.00", "1.00-1.05", {}), FlashOutcome::Declined);
    EXPECT_TRUE(NothingSent());
}

TEST_F(RevisionCheck, WildcardRangeLetsAHigherRevisionThroughWithAWarningKindQuestion) {
    EXPECT_EQ(Run("1.10", "-    -", {MessageAnswer::Yes, MessageAnswer::No}), FlashOutcome::Completed);
    ASSERT_GE(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0].Text, "\nUpdate FW:1.10 to FW:1.06 ?\n");
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Warning);
    EXPECT_EQ(Ui.Messages[0].Buttons, MessageButtons::YesNo);
    EXPECT_EQ(Ui.Messages[0].Default, MessageAnswer::No);
    EXPECT_EQ(Vd().CommitCount(), 1u);
}

TEST_F(RevisionCheck, WildcardRangeWithTheSameRevisionIsAnOrdinaryConfirmation) {
    EXPECT_EQ(Run("1.06", "-    -", {MessageAnswer::No}), FlashOutcome::Declined);
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Confirmation);
    EXPECT_TRUE(NothingSent());
}

TEST_F(RevisionCheck, WildcardNeedsBothBoundsToBeDashes) {
    EXPECT_EQ(Run("1.10", "-    1.20", {}), FlashOutcome::RevisionRefused);
    EXPECT_EQ(Run("1.10", "1.00-", {}), FlashOutcome::RevisionRefused);
}

// A drive whose identification failed after it was found has no revision to compare: it
// would pass any range check and take a downgrade. Whatever failed, nothing is sent to it.
TEST_F(RevisionCheck, DriveThatCouldNotBeIdentifiedIsRefusedWithItsCause) {
    struct Case {
        VirtualFault Fault;
        std::string Cause;
    };
    const std::vector<Case> cases = {
        {{2, VirtualFaultKind::Sense, 0x05, 0x20, 0x00}, "sense 05/20/00"},
        {{2, VirtualFaultKind::Sense, 0x02, 0x04, 0x01}, "sense 02/04/01"},
        {{2, VirtualFaultKind::Status, 0, 0, 0, 0x08}, "status 08"},
        {{2, VirtualFaultKind::Timeout}, "Connection timed out"},
        {{2, VirtualFaultKind::PlatformError, 0, 0, 0, 0, EIO}, "Input/output error"},
    };
    for (const std::string range : {"1.00-1.05", "-    -"}) {
        for (const Case& c : cases) {
            Ui = ScriptedUserInterface();
            Setup.Drive.Revision = "1.10";  // above the new revision: a downgrade if it got through
            Setup.FwRange = range;
            Setup.Drive.Faults = {c.Fault};
            Build();
            EXPECT_EQ(Drive->IdentityLine(), "0");  // the second INQUIRY fails
            EXPECT_EQ(RunWith({MessageAnswer::Yes, MessageAnswer::Yes}), FlashOutcome::Unidentified) << c.Cause;
            EXPECT_EQ(Report.Step, FlashStep::Identification);
            EXPECT_EQ(Record().size(), 2u) << c.Cause;  // the two INQUIRYs and nothing after them
            ASSERT_EQ(Ui.Messages.size(), 1u) << c.Cause;
            EXPECT_EQ(Ui.Messages[0].Text,
                      "The drive virtual:0 could not be identified (INQUIRY failed: " + c.Cause +
                          "); nothing was sent to it.");
            EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Error);
        }
    }
}

TEST_F(RevisionCheck, DriveThatReportsNoRevisionIsRefused) {
    EXPECT_EQ(Run("    ", "-    -", {MessageAnswer::Yes, MessageAnswer::Yes}), FlashOutcome::Unidentified);
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"The drive virtual:0 could not be identified (its INQUIRY "
                                                          "answer holds no firmware revision); nothing was sent to it."});
}

TEST_F(RevisionCheck, NewRevisionIsTheFirstFourCharactersOfTheName) {
    Setup.NewFwName = "1.07X";
    EXPECT_EQ(Run("1.00", "1.00-1.05", {MessageAnswer::No}), FlashOutcome::Declined);
    EXPECT_EQ(Ui.Messages[0].Text, "\nUpdate FW:1.00 to FW:1.07 ?\n");
}

// The run itself asks nothing: the change was approved before it started, and the restart is
// asked only through the hook it is given. It still refuses what the rule refuses.
TEST_F(RevisionCheck, TheRunItselfAsksNothing) {
    Setup.Drive.Revision = "1.00";
    Setup.FwRange = "1.00-1.06";
    Build();
    Ui.Answers = {MessageAnswer::No, MessageAnswer::Yes};
    RunDisplay display(Ui);
    Report = FlashRun(*Drive, Block.View(), Ui, display, Control).Run(0);
    EXPECT_EQ(Report.Outcome, FlashOutcome::Completed);
    for (const MessageRequest& message : Ui.Messages)
        EXPECT_NE(message.Buttons, MessageButtons::YesNo) << message.Text;
    EXPECT_FALSE(Report.RestartRequested);
    EXPECT_EQ(Report.Step, FlashStep::Restart);

    Ui = ScriptedUserInterface{};
    Setup.Drive.Revision = "1.06";
    Build();
    Report = FlashRun(*Drive, Block.View(), Ui, display, Control).Run(0);
    EXPECT_EQ(Report.Outcome, FlashOutcome::RevisionRefused);
    EXPECT_TRUE(NothingSent());
}

}  // namespace
