// SPDX-License-Identifier: Apache-2.0
// The history of runs as the flash run writes it: records only for runs that reach the
// drive, what an end record says of a completed and a failed commit, records from many
// threads at once, a line cut off by a crash, and a history that can't be written.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <thread>

#include "flash/EngineFixture.h"
#include "history/HistoryFile.h"
#include "history/HistoryLog.h"
#include "image/TempDirectory.h"
#include "base/Sha256.h"
#include "session/DriveEnding.h"

namespace {

struct CollectedLog : SystemLog {
    std::vector<std::pair<int, std::string>> Lines;
    void Write(int priority, const std::string& line) override { Lines.emplace_back(priority, line); }
};

HistoryContents Read(const std::string& path) {
    HistoryContents contents;
    std::string why;
    EXPECT_TRUE(ReadHistory(path, contents, why)) << why;
    return contents;
}

class HistoryOfRuns : public EngineFixture {
protected:
    void SetUp() override { Build(); }

    // One run of FLASH, recorded as the front ends record it.
    FlashOutcome RecordedFlash() {
        HistoryRun record(&History, Block.View(), *Drive, Control.NoCommit);
        Control.BeforeFirstCommand = [&] {
            CommandsBeforeStart = Record().size();
            record.Started();
        };
        const FlashOutcome outcome = Flash();
        record.Ended(Report, EndingKey(EndingOf(Report.Outcome)));
        return outcome;
    }

    TempDirectory Temp;
    std::vector<std::string> Notices;
    CollectedLog Log;
    HistoryLog History{Temp / "state/flashutil/history.jsonl",
                       [this](const std::string& text) { Notices.push_back(text); }, &Log};
    std::size_t CommandsBeforeStart = 0;
};

TEST_F(HistoryOfRuns, ACompletedRunIsRecordedAndARefusedOneIsNot) {
    ASSERT_EQ(RecordedFlash(), FlashOutcome::Completed);
    EXPECT_EQ(CommandsBeforeStart, 1u);  // the start is written before anything but the INQUIRY
    const std::string identityAfter = Report.NewIdentity;

    // Already at the new revision: refused before any command of the run, so no record.
    ASSERT_EQ(RecordedFlash(), FlashOutcome::RevisionRefused);

    const HistoryContents history = Read(History.Path());
    EXPECT_TRUE(history.Notices.empty());
    ASSERT_EQ(history.Runs.size(), 1u);
    const HistoryEntry& run = history.Runs[0];
    EXPECT_EQ(run.Start.Drive.Device, Drive->DevicePath());
    EXPECT_EQ(run.Start.Drive.Vendor, "KAVENO");
    EXPECT_EQ(run.Start.Drive.Product, "CDRW 5232X");
    EXPECT_EQ(run.Start.Drive.Revision, "1.00");
    EXPECT_EQ(run.Start.Utility.NewRevision, "1.06");
    EXPECT_EQ(run.Start.Utility.ImageSha256, Sha256Hex(Image(), Setup.ImageLength));
    ASSERT_TRUE(run.End);
    EXPECT_EQ(run.End->Outcome, "completed");
    EXPECT_EQ(run.End->RevisionAfter, "1.06");
    EXPECT_EQ(run.End->IdentityAfter, identityAfter);
    EXPECT_FALSE(run.End->Failure);

    ASSERT_EQ(Log.Lines.size(), 1u);
    EXPECT_EQ(Log.Lines[0].first, LOG_NOTICE);
    EXPECT_NE(Log.Lines[0].second.find(Drive->DevicePath() + " (KAVENO CDRW 5232X 1.00)"), std::string::npos);
    EXPECT_NE(Log.Lines[0].second.find(": completed, revision now 1.06"), std::string::npos);
}

TEST_F(HistoryOfRuns, AFailedCommitLeavesTheRevisionUnknownAndNamesTheCommand) {
    ASSERT_EQ(RecordedFlash(), FlashOutcome::Completed);
    const uint32_t commit = uint32_t(Record().size()) - 1;  // the INQUIRY after it is the last
    Build();
    VirtualFault fault;
    fault.Command = commit;
    fault.Key = 0x03, fault.Asc = 0x0C, fault.Ascq = 0x00;
    Vd().AddFault(fault);
    ASSERT_EQ(RecordedFlash(), FlashOutcome::CommitFailed);

    const HistoryContents history = Read(History.Path());
    ASSERT_EQ(history.Runs.size(), 2u);
    const RunEnd& end = *history.Runs[1].End;
    EXPECT_EQ(end.Outcome, "commit-failed");
    EXPECT_EQ(end.Step, "commit");
    EXPECT_FALSE(end.RevisionAfter);
    ASSERT_TRUE(end.Failure);
    EXPECT_EQ(end.Failure->Command, "Write Buffer");
    EXPECT_EQ(end.Failure->Sense, "03/0C/00");
    EXPECT_EQ(end.Failure->SenseText, "Medium Error, Write error");
    ASSERT_EQ(Log.Lines.size(), 2u);
    EXPECT_EQ(Log.Lines[1].first, LOG_ERR);
}

TEST_F(HistoryOfRuns, RecordsFromManyThreadsAtOnceStayWhole) {
    RunStart start;
    start.Time = UtcTimeNow();
    start.Drive.Identity = std::string(300, 'x');  // records of a realistic length
    constexpr int Threads = 8, Each = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < Each; ++i) {
                RunStart mine = start;
                mine.Run = std::to_string(t) + "-" + std::to_string(i);
                History.Append(StartLine(mine));
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    const HistoryContents history = Read(History.Path());
    EXPECT_TRUE(history.Notices.empty());
    EXPECT_EQ(history.Runs.size(), std::size_t(Threads * Each));
}

TEST_F(HistoryOfRuns, ALineCutOffByACrashCostsNothingButItself) {
    ASSERT_EQ(RecordedFlash(), FlashOutcome::Completed);
    {
        std::ofstream cut(History.Path(), std::ios::app);
        cut << R"({"record":"start","run":"cut","ti)";  // no newline: the power went
    }
    Build();
    ASSERT_EQ(RecordedFlash(), FlashOutcome::Completed);

    const HistoryContents history = Read(History.Path());
    ASSERT_EQ(history.Runs.size(), 2u);
    EXPECT_TRUE(history.Runs[1].End);
    ASSERT_EQ(history.Notices.size(), 1u);
    EXPECT_NE(history.Notices[0].find("line 3: not a history record"), std::string::npos);
}

TEST_F(HistoryOfRuns, AnUnwritableHistoryIsToldOnceAndTheRunGoesOn) {
    WriteFile(Temp / "file", "a file where a directory should be");
    HistoryLog blocked(Temp / "file/flashutil/history.jsonl",
                       [this](const std::string& text) { Notices.push_back(text); }, &Log);
    HistoryRun record(&blocked, Block.View(), *Drive, false);
    Control.BeforeFirstCommand = [&] { record.Started(); };
    ASSERT_EQ(Flash(), FlashOutcome::Completed);
    EXPECT_TRUE(FlashEqualsImage());
    record.Ended(Report, EndingKey(EndingOf(Report.Outcome)));
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_NE(Notices[0].find(Temp / "file/flashutil/history.jsonl: Not a directory"), std::string::npos);
    EXPECT_EQ(Log.Lines.size(), 1u);  // the system log still hears of it

}

// Only a file keeps records: a FIFO (read by someone or no one), a device or a directory as the
// history is refused with one notice, without waiting and without writing to it.
TEST_F(HistoryOfRuns, AHistoryThatIsNoFileIsRefusedOnce) {
    ASSERT_EQ(::mkfifo((Temp / "fifo").c_str(), 0600), 0);
    ::mkdir((Temp / "dir").c_str(), 0700);
    const std::pair<std::string, std::string> cases[] = {
        {Temp / "fifo", "a FIFO, not a regular file"}, {"/dev/full", "a device, not a regular file"},
        {Temp / "dir", "Is a directory"}};
    // A reader waits at the FIFO: whatever reached it would stay in the pipe.
    const int reader = ::open((Temp / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const auto& [path, says] : cases) {
        Notices.clear();
        HistoryLog history(path, [this](const std::string& text) { Notices.push_back(text); }, nullptr);
        EXPECT_FALSE(history.Append("{}\n")) << path;
        EXPECT_FALSE(history.Append("{}\n")) << path;
        ASSERT_EQ(Notices.size(), 1u) << path;
        EXPECT_NE(Notices[0].find(path + ": " + says), std::string::npos) << Notices[0];
    }
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
}

}  // namespace
