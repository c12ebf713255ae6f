// SPDX-License-Identifier: Apache-2.0
// A whole flash session on virtual drives, through a scripted front end: who is asked what,
// what the drives are sent, and the exit code, for the terminal's single drive and for a
// session of several drives at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../flash/EngineFixture.h"
#include "app/terminal/SessionWords.h"
#include "flash/ExitCodes.h"
#include "areas/Seal.h"
#include "session/FlashSession.h"
#include "sim/VirtualDrive.h"
#include "support/ScriptedUserInterface.h"

namespace {

// The messages and observer of one drive's run: nothing may be asked there.
class RecordingPresenter : public DriveRunPresenter {
public:
    explicit RecordingPresenter(std::atomic<int>& questions) : Questions_(questions) {}
    MessageAnswer ShowMessage(const MessageRequest& request) override {
        if (request.Buttons == MessageButtons::YesNo) {
            ++Questions_;
            return MessageAnswer::Yes;  // a question here would be consent nobody gave: the test sees it
        }
        return MessageAnswer::Ok;
    }
    void StatusChanged(const RunStatus&) override {}
    void ProgressChanged(uint32_t, uint32_t) override {}
    void BusyChanged(bool) override {}
    void IdentityChanged(int, const std::string&) override {}

private:
    std::atomic<int>& Questions_;
};

class ScriptedFleet : public FleetFrontEnd {
public:
    explicit ScriptedFleet(Platform& platform) : Platform_(platform) {}

    UserInterface& Person() override { return Ui; }
    Platform* ChoosePlatform(const IdentityBlock&, int&) override { return Instead ? Instead : &Platform_; }
    void Note(const std::string& line) override { Notes.push_back(line); }
    bool ConfirmPlan(const std::vector<SessionDrive>&, const std::string&) override {
        ++Confirmations;
        return ConfirmAnswer;
    }
    std::unique_ptr<DriveRunPresenter> PresentRun(const SessionDrive&) override {
        return std::make_unique<RecordingPresenter>(QuestionsInRuns);
    }
    void Finished(const SessionDrive&) override {
        const std::lock_guard<std::mutex> lock(Mutex_);
        ++FinishedDrives;
    }
    StopRequests& Stops() override { return Stop; }
    // Once the drives are listed, a stop comes when StopAfterListing says so.
    void Planned(const FlashStartUp&, const std::vector<SessionDrive>&, const std::string&) override {
        Stop.Stopped = Stop.Stopped || StopAfterListing;
    }

    struct SettableStop : StopRequests {
        bool Stopped = false;
        bool Requested() const override { return Stopped; }
        void Hold(bool) override {}
        void KeepAwayFromThisThread() override {}
    } Stop;
    bool StopAfterListing = false;
    ScriptedUserInterface Ui;
    Platform* Instead = nullptr;  // the platform the session is given, when not the virtual one
    std::vector<std::string> Notes;
    bool ConfirmAnswer = true;
    int Confirmations = 0;
    int FinishedDrives = 0;
    std::atomic<int> QuestionsInRuns = 0;

private:
    Platform& Platform_;
    std::mutex Mutex_;
};

class Session : public ::testing::Test {
public:
    void AddDrives(int count, const std::string& revision = "1.00") {
        for (int i = 0; i < count; ++i) {
            VirtualDriveConfig drive = Setup.Drive;
            drive.Revision = revision;
            Virtual.AddDrive(drive);
        }
        Virtual.SetInstantSleep(true);
    }
    SessionSettings Settings() {
        Block = MakeBlock(Setup);
        SessionSettings settings;
        settings.Utility.Areas.Block = Block.Bytes.data();
        if (!MakerProfiles.empty()) {
            const IdentityBlock view = Block.View();
            Seal = MakeSeal(OwnSealKeyWord(), {view.Raw() + Layout::KeyWordSize, Layout::FieldBytes},
                            {view.Image(), view.SentImageLength()}, MakerProfiles);
            settings.Utility.Areas.Seal = Seal.data();
        }
        return settings;
    }
    int Fleet(bool all = true) {
        FlashSession session(Settings(), Front);
        const SessionResult result = session.Run(FlashRequest::Planned(Front, all));
        Drives = result.Drives;
        Said(result, false);
        return ExitCodeOf(result);
    }
    int SingleDrive() {
        FlashSession session(Settings(), Front);
        RunDisplay display(Front.Ui);
        const SessionResult result = session.Run(FlashRequest::FirstDrive(display));
        Drives = result.Drives;
        Said(result, true);
        return ExitCodeOf(result);
    }
    // The lines of the session's end, as the terminal has them, after the session's own.
    void Said(const SessionResult& result, bool single) {
        for (const std::string& line : SessionEndLines(result, single, "", Front.Instead ? Front.Instead : &Virtual))
            Front.Notes.push_back(line);
    }
    // Whether drive was sent anything beyond the INQUIRY that identifies it.
    bool Reached(int drive) {
        for (const RecordedCommand& command : Virtual.Drive(drive).Commands())
            if (command.Opcode() != 0x12)
                return true;
        return false;
    }
    // The number of drive's last WRITE BUFFER (the commit of a completed run), counting from 1.
    uint32_t LastWriteBuffer(int drive) {
        const std::vector<RecordedCommand>& sent = Virtual.Drive(drive).Commands();
        for (std::size_t i = sent.size(); i-- > 0;)
            if (sent[i].Opcode() == 0x3B)
                return uint32_t(i + 1);
        return 0;
    }
    int Asked(Question question) const {
        int n = 0;
        for (const MessageRequest& m : Front.Ui.Messages)
            n += m.Asks == question;
        return n;
    }

    EngineSetup Setup;
    IdentityBlockBuffer Block;
    std::vector<uint8_t> MakerProfiles;  // sealed into the copy when not empty
    std::vector<uint8_t> Seal;
    VirtualPlatform Virtual;
    ScriptedFleet Front{Virtual};
    std::vector<SessionDrive> Drives;
};

// Another session beside the test's own, on drives of its own.
struct Another : Session {
    void TestBody() override {}
};

// One confirmation for every drive, the runs ask nothing, one restart question at the end.
TEST_F(Session, SeveralDrivesAreAskedOnceAndFlashedWithoutQuestionsInTheirRuns) {
    AddDrives(3);
    Front.Ui.Answers = {MessageAnswer::Yes, MessageAnswer::No};  // the warning; the restart
    EXPECT_EQ(Fleet(), ExitCode::Success);
    EXPECT_EQ(Front.Confirmations, 1);
    EXPECT_EQ(Front.QuestionsInRuns, 0);
    EXPECT_EQ(Asked(Question::StartUpWarning), 1);
    EXPECT_EQ(Asked(Question::UpdateConfirmation), 0);
    EXPECT_EQ(Asked(Question::Restart), 1);
    ASSERT_EQ(Drives.size(), 3u);
    for (const SessionDrive& drive : Drives) {
        ASSERT_TRUE(drive.Report) << drive.Device;
        EXPECT_EQ(drive.Report->Outcome, FlashOutcome::Completed) << drive.Device;
        EXPECT_EQ(drive.RevisionAfter, Setup.Drive.NewRevision) << drive.Device;
    }
    EXPECT_EQ(Front.FinishedDrives, 3);
}

// A commit that fails may have changed the drive: when every commit fails, the session ends
// with the code of a failed commit, and nobody is asked to restart.
TEST_F(Session, EveryCommitFailingEndsWithTheCommitsCode) {
    AddDrives(1);
    Front.Ui.Answers = {MessageAnswer::Yes};
    ASSERT_EQ(Fleet(), ExitCode::Success);
    const uint32_t commit = LastWriteBuffer(0);
    ASSERT_GT(commit, 0u);

    Another fresh;
    fresh.Setup.Drive.Faults = {{commit, VirtualFaultKind::Sense, 0x03, 0x0C, 0x00}};
    fresh.AddDrives(3);
    fresh.Front.Ui.Answers = {MessageAnswer::Yes};
    EXPECT_EQ(fresh.Fleet(), ExitCode::FailedAtCommit);
    for (const SessionDrive& drive : fresh.Drives)
        EXPECT_EQ(drive.Report->Outcome, FlashOutcome::CommitFailed) << drive.Device;
    EXPECT_EQ(fresh.Asked(Question::Restart), 0);
}

// A plan the person declines sends nothing but the opening INQUIRY to any drive.
TEST_F(Session, ADeclinedPlanSendsNothing) {
    AddDrives(2);
    Front.Ui.Answers = {MessageAnswer::Yes};
    Front.ConfirmAnswer = false;
    EXPECT_EQ(Fleet(), ExitCode::Refused);
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(Reached(i));
    for (const SessionDrive& drive : Drives)
        EXPECT_EQ(drive.Report->Outcome, FlashOutcome::Declined);
}

// An interrupt while the start-up warning waits ends the session there, for one drive and for
// several: an interrupt (6, said on the error stream), not a declined warning (4).
TEST_F(Session, AnInterruptAtTheWarningIsAnInterrupt) {
    AddDrives(2);
    Front.Ui.Answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    Front.Stop.Stopped = true;  // the signal came while the warning was asked
    EXPECT_EQ(SingleDrive(), ExitCode::FailedBeforeCommit);
    EXPECT_EQ(Fleet(), ExitCode::FailedBeforeCommit);
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(Reached(i));
    EXPECT_EQ(std::count(Front.Notes.begin(), Front.Notes.end(),
                         "interrupted at the start-up warning; nothing was sent to any drive"),
              2);
}

// An interrupt while the drives are listed stops the session before anything is sent: every
// chosen drive is interrupted, not declined, and nobody is asked about the plan.
TEST_F(Session, AnInterruptWhileTheDrivesAreListedIsAnInterrupt) {
    AddDrives(2);
    Front.Ui.Answers = {MessageAnswer::Yes};
    Front.StopAfterListing = true;
    EXPECT_EQ(Fleet(), ExitCode::FailedBeforeCommit);
    EXPECT_EQ(Front.Confirmations, 0);
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(Reached(i));
    for (const SessionDrive& drive : Drives) {
        ASSERT_TRUE(drive.Report) << drive.Device;
        EXPECT_EQ(drive.Report->Outcome, FlashOutcome::Interrupted) << drive.Device;
        EXPECT_EQ(drive.RevisionAfter, drive.Revision) << drive.Device;
    }
}

// Drives that already have the new revision are nothing to do, not a refusal: for drives run
// at once, which are not asked about, and for the single drive, refused by its run's checks.
TEST_F(Session, DrivesAlreadyUpToDateAreNothingToDo) {
    Setup.FwRange = "1.00-1.06";  // they still qualify
    AddDrives(2, Setup.Drive.NewRevision);
    Front.Ui.Answers = {MessageAnswer::Yes};
    EXPECT_EQ(Fleet(), ExitCode::NothingToDo);
    EXPECT_EQ(Front.Confirmations, 0);
    EXPECT_FALSE(Reached(0));

    Another single;
    single.Setup.FwRange = "1.00-1.06";
    single.AddDrives(1, single.Setup.Drive.NewRevision);
    single.Front.Ui.Answers = {MessageAnswer::Yes};
    EXPECT_EQ(single.SingleDrive(), ExitCode::NothingToDo);
    EXPECT_EQ(single.Asked(Question::UpdateConfirmation), 0);  // refused by the check, not asked
    EXPECT_FALSE(single.Reached(0));
    ASSERT_EQ(single.Drives.size(), 1u);
    EXPECT_EQ(EndingOf(single.Drives[0]), DriveEnding::RevisionRefused);
}

// A drive another program holds (or the user may not use) is refused its claim: busy, not a
// failed run, and nothing is sent to it; the refusal names it on the error stream.
TEST_F(Session, ARefusedClaimIsBusyNotAFailure) {
    for (int error : {EBUSY, EACCES}) {
        Another single;
        single.Setup.Drive.ClaimError = error;
        single.AddDrives(1);
        single.Front.Ui.Answers = {MessageAnswer::Yes};
        EXPECT_EQ(single.SingleDrive(), ExitCode::Busy) << error;
        EXPECT_FALSE(single.Reached(0));
        EXPECT_EQ(single.Asked(Question::UpdateConfirmation), 0);
        ASSERT_EQ(single.Drives.size(), 1u);
        EXPECT_EQ(EndingOf(single.Drives[0]), DriveEnding::Busy);
        EXPECT_EQ(single.Front.Notes, std::vector<std::string>{"virtual:0: " + std::generic_category().message(error)});
    }
    // Of drives run at once, the one refused does not keep the others from their runs.
    Another tower;
    tower.AddDrives(1);
    tower.Setup.Drive.ClaimError = EBUSY;
    tower.AddDrives(1);
    tower.Front.Ui.Answers = {MessageAnswer::Yes, MessageAnswer::No};
    EXPECT_EQ(tower.Fleet(), ExitCode::PartialSuccess);
    EXPECT_TRUE(tower.Reached(0));
    EXPECT_FALSE(tower.Reached(1));
}

// The single drive: the run's own checks come before the question, the question before any
// command, and the restart right after the commit.
TEST_F(Session, TheSingleDriveIsCheckedThenAskedThenFlashed) {
    AddDrives(1);
    Front.Ui.Answers = {MessageAnswer::Yes, MessageAnswer::No};
    EXPECT_EQ(SingleDrive(), ExitCode::Refused);  // declined at the revision question
    EXPECT_FALSE(Reached(0));
    EXPECT_EQ(Asked(Question::UpdateConfirmation), 1);

    Another flashed;
    flashed.AddDrives(1);
    flashed.Front.Ui.Answers = {MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No};
    EXPECT_EQ(flashed.SingleDrive(), ExitCode::Success);
    ASSERT_EQ(flashed.Asked(Question::Restart), 1);
    EXPECT_TRUE(flashed.Reached(0));
}

// Where the platform hands out no stand-in profiles (any drive but the virtual one), a profile
// or DVD utility that carries the maker's profiles flashes with them: the run's own checks
// before the question see them as the run does, for the single drive and for several.
TEST_F(Session, UtilitiesWithTheMakersProfilesFlashWhereThereAreNoStandIns) {
    for (ImageType kind : {ImageType::Profile, ImageType::Dvd}) {
        for (bool fleet : {false, true}) {
            Another run;
            run.Setup.Kind = kind;
            run.Setup.Drive.ChipId = {0xBF, 0xD6, 0, 1};
            run.AddDrives(fleet ? 2 : 1);
            TimeoutRecordingPlatform real(run.Virtual);
            real.StandsForRealDrive = true;
            run.Front.Instead = &real;
            // The warning, the revision question (a single drive's), the restart.
            const std::deque<MessageAnswer> answers =
                fleet ? std::deque<MessageAnswer>{MessageAnswer::Yes, MessageAnswer::No}
                      : std::deque<MessageAnswer>{MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No};
            run.Front.Ui.Answers = answers;
            const int refused = fleet ? run.Fleet() : run.SingleDrive();
            EXPECT_EQ(refused, ExitCode::FailedBeforeCommit) << int(kind) << fleet;  // no profiles at all
            EXPECT_FALSE(run.Reached(0));

            Another maker;
            maker.Setup = run.Setup;
            maker.MakerProfiles.resize(Profiles::DataSize);
            for (std::size_t i = 0; i < maker.MakerProfiles.size(); ++i)
                maker.MakerProfiles[i] = uint8_t(i * 13 + 5);
            maker.AddDrives(fleet ? 2 : 1);
            TimeoutRecordingPlatform alsoReal(maker.Virtual);
            alsoReal.StandsForRealDrive = true;
            maker.Front.Instead = &alsoReal;
            maker.Front.Ui.Answers = answers;
            ASSERT_EQ(fleet ? maker.Fleet() : maker.SingleDrive(), ExitCode::Success)
                << int(kind) << fleet << " " << (maker.Front.Notes.empty() ? "" : maker.Front.Notes.back());
            for (int drive = 0; drive < (fleet ? 2 : 1); ++drive) {
                // The drive received the maker's chip profile (blob C, after its header).
                const std::vector<uint8_t>& profile = maker.Virtual.Drive(drive).LastProfile();
                const std::size_t header = kind == ImageType::Dvd ? 6 : 4;
                ASSERT_GT(profile.size(), header) << int(kind) << fleet << drive;
                EXPECT_TRUE(std::equal(profile.begin() + header, profile.end(), maker.MakerProfiles.begin() + 766))
                    << int(kind) << fleet << drive;
            }
        }
    }
}

// A commit longer than the 180 s the program gives it, on the virtual drive as on a real one:
// the run ends at the timeout, says the flash state is unknown and what to do, and its error
// line tells the same story; nobody is told the drive was unplugged. The drive went on.
TEST_F(Session, ACommitThatOutlastsItsTimeoutIsLateNotUnplugged) {
    Setup.Drive.CommitMilliseconds = 200000;
    AddDrives(1);
    Front.Ui.Answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    EXPECT_EQ(SingleDrive(), ExitCode::FailedAtCommit);
    EXPECT_EQ(Virtual.Drive(0).CommitCount(), 1u);
    ASSERT_FALSE(Front.Notes.empty());
    EXPECT_NE(Front.Notes[0].find("virtual:0: WRITE BUFFER: the drive did not answer within 180 seconds (at: Flash "
                                  "Fail.); whether it wrote its flash is unknown"),
              std::string::npos)
        << Front.Notes[0];
    bool late = false;
    for (const MessageRequest& m : Front.Ui.Messages) {
        late = late || m.Text.find("did not answer the commit within 180 seconds. Whether it has written its flash "
                                   "is unknown") != std::string::npos;
        EXPECT_EQ(m.Text.find("unplugged,"), std::string::npos) << m.Text;
    }
    EXPECT_TRUE(late);
    EXPECT_EQ(Asked(Question::Restart), 0);
}

// A commit accepted, then no answer to the INQUIRY after it: every drive still counts as
// completed, but its revision after is unknown and the session says it is not confirmed.
TEST_F(Session, ARevisionNotReadBackAfterTheCommitIsUnconfirmed) {
    AddDrives(1);
    Front.Ui.Answers = {MessageAnswer::Yes};
    ASSERT_EQ(Fleet(), ExitCode::Success);
    const uint32_t commit = LastWriteBuffer(0);

    Another fresh;
    fresh.Setup.Drive.Faults = {{commit + 1, VirtualFaultKind::Timeout}};
    fresh.AddDrives(2);
    fresh.Front.Ui.Answers = {MessageAnswer::Yes};
    EXPECT_EQ(fresh.Fleet(), ExitCode::Success);
    int told = 0;
    for (const SessionDrive& drive : fresh.Drives) {
        EXPECT_EQ(drive.Report->Outcome, FlashOutcome::Completed);
        EXPECT_EQ(drive.RevisionAfter, "") << "not a revision the drive did not give";
        EXPECT_EQ(drive.Report->NewIdentity, "");
        for (const std::string& note : fresh.Front.Notes)
            told += note == drive.Device + ": the commit was accepted, but the new revision could not be read back "
                                           "(INQUIRY failed: Connection timed out); restart the computer and check "
                                           "the drive's revision with flashutil --list (it should be 1.06)";
    }
    EXPECT_EQ(told, 2);
}

}  // namespace
