// SPDX-License-Identifier: Apache-2.0
// The flash run against a drive that fails: every command of a full run failed in turn,
// a read-back with one altered byte, a disc in the tray, a drive slow to settle, a commit
// that times out, a drive pulled out at each step, and a stop requested by the person.

#include <algorithm>
#include <cerrno>

#include "SequenceExpectations.h"

namespace {

struct SweepKind {
    const char* Name;
    ImageType Kind;
    std::array<uint8_t, 4> Chip;
    bool Matched;
    uint32_t ProfileLength;
};

struct FaultFlavour {
    VirtualFault Fault;
    std::string ErrorText;  // what ErrorText shows for it
    CommandCategory Category;
};

std::vector<FaultFlavour> Flavours() {
    VirtualFault sense;
    sense.Kind = VirtualFaultKind::Sense;
    sense.Key = 0x04, sense.Asc = 0x40, sense.Ascq = 0x81;
    VirtualFault platform;
    platform.Kind = VirtualFaultKind::PlatformError;
    platform.Error = EIO;
    VirtualFault busy;
    busy.Kind = VirtualFaultKind::Status;
    busy.Status = 0x08;
    return {{sense, "04 40 81. 02, 0000", CommandCategory::CheckCondition},
            {platform, "00 00 00. 00, 0005", CommandCategory::SystemError},
            {busy, "00 00 00. 08, 0000", CommandCategory::StatusOnly}};
}

// What a failure of a command in each role shows (its box prefix, the status at the end) and
// the step the report names.
struct Reaction {
    const char* Prefix;
    const char* Status;
    FlashStep Step;
};

Reaction ReactionTo(Role role) {
    using S = FlashStep;
    switch (role) {
    case Role::FlashId: return {"Read Flash ID> ", "Write profile to drive's DRAM... , Fail! ", S::ProfileUpload};
    case Role::WriteProfile: return {"Write Profile> ", "Write profile to drive's DRAM... , Fail! ", S::ProfileUpload};
    case Role::WriteChunk: return {"Write Buffer> ", "Write BIN to drive's DRAM... , Fail! ", S::ImageUpload};
    case Role::EntryCritical: return {"Entry critical> ", "Drive entry critical... , Fail! ", S::EntryCritical};
    case Role::ReadProfile:
        return {"Read Profile> ", "Read back and Verify drive's DRAM... , Valid Profile Fail!", S::ProfileCheck};
    case Role::ReadChunk: return {"Read Buffer> ", "Read back and Verify drive's DRAM... , Read Fail! ", S::ReadBack};
    case Role::Commit: return {"Write Buffer> ", "Flash Fail.", S::Commit};
    default: return {nullptr, nullptr, S::ImageCheck};
    }
}

class FaultSweep : public EngineFixture, public ::testing::WithParamInterface<SweepKind> {};

TEST_P(FaultSweep, EveryCommandFailedInTurnStopsTheRunAtItsStep) {
    const SweepKind& k = GetParam();
    const std::vector<ExpectedCommand> run =
        ExpectedRun({.Kind = k.Kind, .Matched = k.Matched, .ProfileLength = k.ProfileLength});

    for (const FaultFlavour& flavour : Flavours()) {
        for (size_t i = 0; i < run.size(); ++i) {
            SCOPED_TRACE(::testing::Message() << "command " << i << " (" << Hex(run[i].Cdb) << "), error "
                                              << flavour.ErrorText);
            Setup.Kind = k.Kind;
            Setup.Drive.ChipId = k.Chip;
            Setup.Drive.Faults = {flavour.Fault};
            Setup.Drive.Faults[0].Command = uint32_t(i + 2);  // after the opening's INQUIRY
            Ui = ScriptedUserInterface();
            Build();
            const FlashOutcome outcome = Flash();
            const Role role = run[i].What;
            const Reaction reaction = ReactionTo(role);

            const bool readiness = role == Role::Load || role == Role::TestUnitReady || role == Role::StopPlay ||
                                   role == Role::StopUnit;
            if (readiness && flavour.Category == CommandCategory::SystemError) {
                // A readiness command that never reached the drive has no sense to judge: the run
                // ends there, with nothing sent to the memory and the command kept by name.
                EXPECT_EQ(outcome, FlashOutcome::FailedBeforeCommit);
                EXPECT_EQ(Record().size(), i + 2);
                EXPECT_EQ(Report.Step, FlashStep::ReadinessWait);
                ASSERT_TRUE(Report.Failure);
                EXPECT_EQ(Report.Failure->Sent.Cdb, run[i].Cdb);
                EXPECT_FALSE(Report.Failure->Result.Delivered());
                EXPECT_EQ(Ui.Messages.back().Text,
                          Report.Failure->Name + " could not be sent to " + Drive->DevicePath() +
                              " (Input/output error); nothing was sent to its memory.");
                EXPECT_TRUE(FlashUntouched());
                EXPECT_EQ(Vd().CommitCount(), 0u);
                continue;
            }
            if (reaction.Prefix == nullptr) {
                // Drive handling before the uploads is not judged by the drive's answer: a test
                // unit ready the drive failed leads to the disc test, which finds the tray empty. After the commit the flash is done;
                // a drive that then does not identify itself has its new revision unconfirmed: its
                // entry and its report say it is unknown, and the person is told how to check (a
                // busy status without sense passes the drive's identification).
                EXPECT_EQ(outcome, FlashOutcome::Completed);
                if (role == Role::Inquiry && flavour.Fault.Kind != VirtualFaultKind::Status) {
                    EXPECT_EQ(Ui.ListEntries.at(0), "0-0-0 V: KAVENO  CDRW 5232X (revision unknown)");
                    EXPECT_EQ(Report.NewIdentity, "");
                    EXPECT_EQ(Report.RevisionUnread.rfind("INQUIRY failed: ", 0), 0u) << Report.RevisionUnread;
                    const bool told = std::any_of(Ui.Messages.begin(), Ui.Messages.end(), [&](const auto& m) {
                        return m.Kind == MessageKind::Warning &&
                               m.Text.find(Drive->DevicePath() + " accepted the new firmware, but its new revision "
                                                                 "could not be read back") != std::string::npos &&
                               m.Text.find("flashutil --list): it should be 1.06.") != std::string::npos;
                    });
                    EXPECT_TRUE(told) << Ui.Messages.back().Text;
                }
                EXPECT_TRUE(FlashEqualsImage());
                EXPECT_FALSE(Report.Failure);
                continue;
            }
            EXPECT_EQ(outcome, role == Role::Commit ? FlashOutcome::CommitFailed : FlashOutcome::FailedBeforeCommit);
            // The failing command was the last one sent.
            EXPECT_EQ(Record().size(), i + 2);
            EXPECT_EQ(Record().back().Cdb, run[i].Cdb);
            ASSERT_GE(Ui.Messages.size(), 2u);
            EXPECT_EQ(Ui.Messages.back().Text, reaction.Prefix + flavour.ErrorText);
            EXPECT_EQ(Ui.Messages.back().Kind, MessageKind::Plain);
            EXPECT_EQ(Report.Status, reaction.Status);
            // The report names the step and the failed command as it was sent and answered.
            EXPECT_EQ(Report.Step, reaction.Step);
            ASSERT_TRUE(Report.Failure);
            EXPECT_EQ(Report.Failure->Name + "> ", reaction.Prefix);
            EXPECT_EQ(Report.Failure->Sent.Cdb, run[i].Cdb);
            EXPECT_EQ(Report.Failure->Result.Category, flavour.Category);
            EXPECT_EQ(ResultText(Report.Failure->Result), flavour.ErrorText);
            EXPECT_EQ(Vd().CommitCount(), 0u);
            EXPECT_TRUE(FlashUntouched());
            EXPECT_EQ(Vd().Revision(), "1.00");
            EXPECT_FALSE(Ui.BusyCursor);
            EXPECT_EQ(Ui.Progress.Position, 0);
            const auto trace = Trace(Ui);
            ASSERT_GE(trace.size(), 2u);
            EXPECT_EQ(trace[trace.size() - 2], "not busy");
            EXPECT_EQ(trace.back(), "position 0");
            EXPECT_TRUE(Ui.ListEntries.empty());
            EXPECT_EQ(Recorder->Timeouts.back(), role == Role::Commit ? 180 : 60);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FaultSweep,
                         ::testing::Values(SweepKind{"Plain", ImageType::Plain, {0, 0, 0, 0}, false, 0},
                                           SweepKind{"Profile", ImageType::Profile, {0xDA, 0xC8, 0, 0}, true, 318},
                                           SweepKind{"ProfileNoMatch", ImageType::Profile, {1, 2, 3, 4}, false, 4},
                                           SweepKind{"Dvd", ImageType::Dvd, {0xBF, 0xD6, 0, 1}, true, 1280}),
                         [](const auto& info) { return std::string(info.param.Name); });

class Faults : public EngineFixture {
protected:
    void SetUp() override { Build(); }
    // Record numbers: 1 INQUIRY, 2 load, 3 test unit ready, 4 stop play, 5 stop unit, 6.. chunks.
    static constexpr uint32_t FirstChunkWrite = 6, FirstChunkRead = 6 + 32, CommitNumber = 6 + 64;
    void AddFault(uint32_t number, VirtualFaultKind kind) {
        VirtualFault f;
        f.Command = number;
        f.Kind = kind;
        Vd().AddFault(f);
    }
};

TEST_F(Faults, ReadBackWithOneAlteredByteStopsBeforeTheCommit) {
    AddFault(FirstChunkRead + 5, VirtualFaultKind::Corrupt);
    EXPECT_EQ(Flash(), FlashOutcome::FailedBeforeCommit);
    EXPECT_EQ(Report.Step, FlashStep::ReadBack);
    EXPECT_FALSE(Report.Failure) << "every command succeeded";
    EXPECT_EQ(Record().size(), FirstChunkRead + 5);
    EXPECT_EQ(Vd().CommitCount(), 0u);
    EXPECT_TRUE(FlashUntouched());
    EXPECT_FALSE(Ui.BusyCursor);
    EXPECT_EQ(Ui.Progress.Position, 0);
    // The suffix comes before the box, and stays.
    EXPECT_EQ(Report.Status, "Read back and Verify drive's DRAM... , Compare BIN and DRAM Fail! ");
    const auto trace = Trace(Ui);
    EXPECT_EQ(trace[trace.size() - 4], "status: Read back and Verify drive's DRAM... , Compare BIN and DRAM Fail! ");
    EXPECT_EQ(trace[trace.size() - 3], "box plain ok: Compare BIN and DRAM fail!");
}

// A read the drive answers as good without moving any data must not pass for the chunk,
// even when the chunk equals the one read before it (padding): the transfer buffer still
// holds that earlier chunk.
TEST_F(Faults, ReadThatMovedNoDataIsCaughtEvenForRepeatedChunks) {
    Setup.ImageLength = 0x8000;
    Build();
    std::fill(Block.Bytes.begin() + Layout::BlockSize, Block.Bytes.begin() + Layout::BlockSize + 0x8000, 0x11);
    VirtualFault f;
    f.Command = 1 + 4 + 2 + 2;  // the second chunk read
    f.Kind = VirtualFaultKind::Status;
    f.Status = 0x00;  // good status, no sense, nothing carried out
    Vd().AddFault(f);
    EXPECT_EQ(Flash(), FlashOutcome::FailedBeforeCommit);
    EXPECT_EQ(Ui.Messages.back().Text, "Compare BIN and DRAM fail!");
    EXPECT_EQ(Vd().CommitCount(), 0u);
}

TEST_F(Faults, DriveThatKeepsADiscStopsBeforeItsMemoryIsTouched) {
    Setup.Drive.Disc = true;
    Build();
    EXPECT_EQ(Flash(), FlashOutcome::DiscPresent);
    EXPECT_EQ(Lines(Record()), (std::vector<std::string>{
                                   Hex({0x1B, 0, 0, 0, 3}) + "in 0",
                                   Hex({0x00}) + "in 0",
                                   Hex({0x25}) + "in 8",
                               }));
    EXPECT_EQ(Trace(Ui), (std::vector<std::string>{"box confirmation yes/NO: \nUpdate FW:1.00 to FW:1.06 ?\n",
                                                   "box plain ok: Remove disc, before to do the flash task."}));
}

TEST_F(Faults, DriveBecomingReadyForAWhileIsWaitedFor) {
    Setup.Drive.ReadyPolls = 25;
    Build();
    EXPECT_EQ(Flash(), FlashOutcome::Completed);
    RunShape shape;
    shape.BecomingReadyPolls = 25;
    EXPECT_EQ(Lines(Record()), Lines(ExpectedRun(shape)));
    EXPECT_EQ(Virtual->SleptMilliseconds(), 26u * 30u + 200u);
}

TEST_F(Faults, DriveThatNeverSettlesIsGivenUpWithoutTouchingItsMemory) {
    Setup.Drive.ReadyPolls = 1000000;
    Build();
    EXPECT_EQ(Flash(), FlashOutcome::FailedBeforeCommit);
    EXPECT_EQ(Virtual->SleptMilliseconds(), FlashRun::MaxBecomingReadyPolls * 30u);
    for (const auto& c : Record())
        EXPECT_TRUE(c.Opcode() == 0x12 || c.Opcode() == 0x1B || c.Opcode() == 0x00);
    EXPECT_EQ(Ui.Messages.size(), 2u);
    EXPECT_FALSE(Ui.BusyCursor);
}

// Neither "becoming ready" nor "no medium", but the disc test finds no disc: count ten polls.
// A "becoming ready" answer in between starts the count again.
TEST_F(Faults, ReadinessCounterCountsQuietPollsAndRestartsOnBecomingReady) {
    // Commands: 2 load, then per poll a test unit ready (+ read capacity when it is "other").
    uint32_t number = 3;
    auto otherPoll = [&] {
        VirtualFault f;
        f.Command = number;
        f.Kind = VirtualFaultKind::Status;
        f.Status = 0x08;
        Vd().AddFault(f);
        number += 2;
    };
    for (int i = 0; i < 5; ++i)
        otherPoll();
    VirtualFault ready;
    ready.Command = number++;
    ready.Kind = VirtualFaultKind::Sense;
    ready.Key = 0x02, ready.Asc = 0x04, ready.Ascq = 0x01;
    Vd().AddFault(ready);
    for (int i = 0; i < 9; ++i)
        otherPoll();
    EXPECT_EQ(Flash(), FlashOutcome::Completed);
    // 5 quiet polls, one resetting poll (which counts as the first), 9 more: 15 polls.
    EXPECT_EQ(Virtual->SleptMilliseconds(), 15u * 30u + 200u);
    EXPECT_EQ(Record()[number - 1].Opcode(), 0x4E) << "stop play/scan follows the tenth quiet poll";
}

TEST_F(Faults, CommitThatTimesOutIsAFailedFlash) {
    AddFault(CommitNumber, VirtualFaultKind::Timeout);
    EXPECT_EQ(Flash(), FlashOutcome::CommitFailed);
    EXPECT_EQ(Ui.Caption, "Flash Fail.");
    ASSERT_GE(Ui.Messages.size(), 2u);
    EXPECT_EQ(Ui.Messages[Ui.Messages.size() - 2].Text, "Write Buffer> 00 00 00. 00, 006E");
    // A drive late with its answer is not a drive unplugged: its flash state is unknown, and the
    // person is told to leave it alone, wait, restart and check the revision.
    const std::string& said = Ui.Messages.back().Text;
    EXPECT_EQ(Ui.Messages.back().Kind, MessageKind::Error);
    EXPECT_EQ(said.rfind("The drive " + Drive->DevicePath() + " did not answer the commit within 180 seconds. "
                         "Whether it has written its flash is unknown",
                         0),
              0u)
        << said;
    for (const char* step : {"Don't switch off or unplug", "Wait five minutes", "restart the computer",
                             "flashutil --list", "maker's recovery procedure"})
        EXPECT_NE(said.find(step), std::string::npos) << step;
    EXPECT_EQ(said.find("stopped answering"), std::string::npos);
    EXPECT_EQ(Report.Step, FlashStep::Commit);
    EXPECT_EQ(Report.Failure->Name, "Write Buffer");
    EXPECT_EQ(Report.Failure->Result.Category, CommandCategory::TransportError);
    EXPECT_EQ(Recorder->Timeouts.back(), 180);
    EXPECT_TRUE(FlashUntouched());
    EXPECT_TRUE(Ui.ListEntries.empty());
    EXPECT_EQ(Record().size(), CommitNumber) << "no identification, no restart question";
    EXPECT_EQ(Virtual->RestartRequests(), 0u);
}

// A drive pulled out (unplugged, switched off) at each point of a run: from then on every
// command fails in the system with ENODEV and no sense at all. Never "Remove disc"; the run
// ends at that step with the drive named and what it means for its flash, and no restart is
// offered.
TEST_F(Faults, DriveGoneAtEachStepEndsTheRunSayingSo) {
    struct Case {
        const char* Name;
        uint32_t From;  // the first command that fails
        FlashOutcome Outcome;
        FlashStep Step;
        const char* Said;
    };
    const Case cases[] = {
        {"before the load", 2, FlashOutcome::FailedBeforeCommit, FlashStep::ReadinessWait,
         " stopped answering (No such device) while it was being made ready: it was unplugged, switched off or "
         "reset. Nothing was sent to its memory; its flash is unchanged."},
        {"at the first poll", 3, FlashOutcome::FailedBeforeCommit, FlashStep::ReadinessWait,
         " stopped answering (No such device) while it was being made ready"},
        {"in the upload", FirstChunkWrite + 3, FlashOutcome::FailedBeforeCommit, FlashStep::ImageUpload,
         " stopped answering (No such device) before the commit: it was unplugged, switched off or reset. The "
         "commit was not sent; its flash is unchanged."},
        {"in the read-back", FirstChunkRead + 5, FlashOutcome::FailedBeforeCommit, FlashStep::ReadBack,
         " stopped answering (No such device) before the commit"},
        {"in the commit", CommitNumber, FlashOutcome::CommitFailed, FlashStep::Commit,
         " stopped answering (No such device) during the commit, while it was writing its flash. The update did "
         "not complete and restarting the computer will not complete it."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Ui = ScriptedUserInterface();
        Build();
        for (uint32_t n = c.From; n < c.From + 80; ++n) {
            VirtualFault gone;
            gone.Command = n;
            gone.Kind = VirtualFaultKind::PlatformError;
            gone.Error = ENODEV;
            Vd().AddFault(gone);
        }
        EXPECT_EQ(Flash(), c.Outcome);
        EXPECT_EQ(Report.Step, c.Step);
        ASSERT_TRUE(Report.Failure);
        EXPECT_EQ(Report.Failure->Result.SystemError, ENODEV);
        EXPECT_EQ(Record().size(), c.From) << "nothing sent after the first command that found the drive gone";
        ASSERT_FALSE(Ui.Messages.empty());
        EXPECT_EQ(Ui.Messages.back().Kind, MessageKind::Error);
        EXPECT_NE(Ui.Messages.back().Text.find("The drive " + Drive->DevicePath() + c.Said), std::string::npos)
            << Ui.Messages.back().Text;
        for (const auto& line : Trace(Ui)) {
            EXPECT_EQ(line.find("Remove disc"), std::string::npos);
            EXPECT_EQ(line.find("restarted"), std::string::npos) << "a restart offered";
        }
        EXPECT_EQ(Virtual->RestartRequests(), 0u);
        EXPECT_TRUE(FlashUntouched());
    }
}

// A command before the commit that outlasts its timeout: the run names the command and the time
// it was given, and says the flash is unchanged, never that the drive was unplugged.
TEST_F(Faults, TimeoutBeforeTheCommitNamesTheCommandAndItsTime) {
    const struct {
        uint32_t Command;
        const char* Said;
    } cases[] = {
        {2, " did not answer START STOP UNIT within 60 seconds while it was being made ready. Nothing was sent to "
            "its memory; its flash is unchanged."},
        {FirstChunkWrite + 1, " did not answer WRITE BUFFER within 60 seconds, before the commit. The commit was not "
                              "sent; its flash is unchanged."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Said);
        Ui = ScriptedUserInterface();
        Build();
        AddFault(c.Command, VirtualFaultKind::Timeout);
        EXPECT_EQ(Flash(), FlashOutcome::FailedBeforeCommit);
        ASSERT_FALSE(Ui.Messages.empty());
        EXPECT_EQ(Ui.Messages.back().Kind, MessageKind::Error);
        EXPECT_EQ(Ui.Messages.back().Text.rfind("The drive " + Drive->DevicePath() + c.Said, 0), 0u)
            << Ui.Messages.back().Text;
        EXPECT_FALSE(Report.DriveGone);
        for (const auto& line : Trace(Ui))
            EXPECT_EQ(line.find("unplugged"), std::string::npos) << line;
        EXPECT_TRUE(FlashUntouched());
    }
}

// A command that fails in its connection while the device is still there (a reset) is not
// called an unplug either; one whose node then leads to no device is.
TEST_F(Faults, ConnectionFailureIsAnUnplugOnlyWhenTheDeviceIsGone) {
    VirtualFault reset;
    reset.Command = FirstChunkWrite + 1;
    reset.Kind = VirtualFaultKind::PlatformError;
    reset.Error = ESHUTDOWN;
    Vd().AddFault(reset);
    EXPECT_EQ(Flash(), FlashOutcome::FailedBeforeCommit);
    ASSERT_FALSE(Ui.Messages.empty());
    EXPECT_EQ(Ui.Messages.back().Text.rfind("The drive " + Drive->DevicePath() + " stopped answering (" +
                                                Virtual->ErrorText(ESHUTDOWN) +
                                                ") before the commit: its connection failed or it was reset.",
                                            0),
              0u)
        << Ui.Messages.back().Text;
    EXPECT_FALSE(Report.DriveGone);

    Ui = ScriptedUserInterface();
    Build();
    Vd().AddFault(reset);
    Recorder->Device.Gone = true;  // the system took the device away after the listing
    Recorder->Device.SystemDevice = "(none)";
    EXPECT_EQ(Flash(), FlashOutcome::Unidentified);
    EXPECT_TRUE(Report.DriveGone);
    EXPECT_EQ(Record().size(), 1u) << "nothing sent after the listing";
    ASSERT_FALSE(Ui.Messages.empty());
    EXPECT_EQ(Ui.Messages.back().Text, "The drive " + Drive->DevicePath() +
                                           " is gone: its node no longer leads to a device (it was unplugged or "
                                           "switched off). Nothing was sent to it. Connect it again and run the "
                                           "update again.");
}

// The commit's long timeout belongs to the commit alone: after a failed commit, the next run
// on the same drive sends its commands with the normal timeout and the commit again with 180 s.
TEST_F(Faults, NextRunAfterAFailedCommitHasTheNormalTimeoutAgain) {
    AddFault(CommitNumber, VirtualFaultKind::Timeout);
    ASSERT_EQ(Flash(), FlashOutcome::CommitFailed);
    EXPECT_EQ(Drive->Timeout(), 60);
    const size_t first = Record().size();
    EXPECT_EQ(Flash(), FlashOutcome::Completed);
    EXPECT_EQ(Record().size(), 2 * first) << "the second run's commands and the refreshing INQUIRY";
    ExpectTimeouts();
    EXPECT_EQ(Recorder->Timeouts.at(first + CommitNumber - 2), 180) << "the second commit";
}

class Interrupts : public EngineFixture {
protected:
    void SetUp() override { Build(); }
    // Stops once the drive has received `commands` commands.
    void StopAfter(size_t commands) {
        Control.StopRequested = [this, commands] { return Record().size() >= commands; };
        Control.HoldInterrupts = [this](bool hold) { Holds.push_back({hold, Record().size()}); };
    }
    std::vector<std::pair<bool, size_t>> Holds;
};

TEST_F(Interrupts, StopDuringTheUploadEndsCleanlyWithoutACommit) {
    StopAfter(10);
    EXPECT_EQ(Flash(), FlashOutcome::Interrupted);
    EXPECT_EQ(Record().size(), 10u);
    EXPECT_EQ(Ui.Caption, "Write BIN to drive's DRAM... , Interrupted! Nothing was flashed.");
    EXPECT_EQ(Vd().CommitCount(), 0u);
    EXPECT_TRUE(FlashUntouched());
    EXPECT_FALSE(Ui.BusyCursor);
    EXPECT_EQ(Ui.Progress.Position, 0);
    EXPECT_TRUE(Holds.empty());
}

TEST_F(Interrupts, StopDuringTheReadBackEndsCleanlyWithoutACommit) {
    StopAfter(50);
    EXPECT_EQ(Flash(), FlashOutcome::Interrupted);
    EXPECT_EQ(Ui.Caption, "Read back and Verify drive's DRAM... , Interrupted! Nothing was flashed.");
    EXPECT_EQ(Vd().CommitCount(), 0u);
    EXPECT_FALSE(Ui.BusyCursor);
}

TEST_F(Interrupts, StopAfterTheLastReadStillPreventsTheCommit) {
    StopAfter(1 + 4 + 64);  // everything up to the last chunk read
    EXPECT_EQ(Flash(), FlashOutcome::Interrupted);
    EXPECT_EQ(Record().size(), 69u);
    EXPECT_EQ(Vd().CommitCount(), 0u);
    EXPECT_TRUE(Holds.empty());
}

TEST_F(Interrupts, InterruptsAreHeldExactlyAroundTheCommit) {
    Control.HoldInterrupts = [this](bool hold) { Holds.push_back({hold, Record().size()}); };
    EXPECT_EQ(Flash(), FlashOutcome::Completed);
    // Held with 69 commands sent, released once the 70th (the commit) has answered.
    EXPECT_EQ(Holds, (std::vector<std::pair<bool, size_t>>{{true, 69}, {false, 70}}));
}

TEST_F(Interrupts, StopDuringTheReadinessWaitSendsNothingToTheMemory) {
    Setup.Drive.ReadyPolls = 100;
    Build();
    StopAfter(5);
    EXPECT_EQ(Flash(), FlashOutcome::Interrupted);
    for (const auto& c : Record())
        EXPECT_NE(c.Opcode(), 0x3B);
}

}  // namespace
