// SPDX-License-Identifier: Apache-2.0
// What a run of several drives tells: the JSON-lines stream and the per-drive user interface.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/terminal/DriveRunInterface.h"
#include "app/terminal/FleetDisplay.h"
#include "app/terminal/JsonEvents.h"
#include "app/terminal/TerminalUserInterface.h"
#include "app/setup/Options.h"
#include "flash/FlashTexts.h"

namespace {

using nlohmann::json;

// A JsonEvents writing into memory; Lines() parses what was written, one object per line.
class Stream {
public:
    explicit Stream(bool compact = false) : File_(open_memstream(&Data_, &Size_)), Events(File_, compact) {}
    ~Stream() {
        std::fclose(File_);
        std::free(Data_);
    }
    std::vector<json> Lines() {
        std::fflush(File_);
        std::vector<json> lines;
        std::string text(Data_, Size_);
        for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
            end = text.find('\n', start);
            lines.push_back(json::parse(text.substr(start, end - start)));  // throws on half a line
        }
        return lines;
    }

private:
    char* Data_ = nullptr;
    std::size_t Size_ = 0;
    std::FILE* File_;

public:
    JsonEvents Events;
};

// Keeps what a drive's run tells.
struct Told : FleetEvents {
    std::vector<std::string> Messages, Steps;
    std::vector<int> Percents;
    void Answered(Question, const std::string&, bool, const std::string&) override {}
    void Message(const std::string& device, MessageKind, const std::string& text) override {
        Messages.push_back(device + ": " + text);
    }
    void Started(const IdentityTexts&, const std::string&, const std::vector<SessionDrive>&, bool) override {}
    void Step(const std::string& device, const RunStatus& status) override {
        Steps.push_back(device + ": " + FlashTexts::CaptionOf(status));
    }
    void Progress(const std::string&, int percent) override { Percents.push_back(percent); }
    void Finished(const SessionDrive&) override {}
    void Summary(const std::vector<SessionDrive>&, int) override {}
};

TEST(JsonEvents, ProgressComesInTenthsForEachDriveAndAgainForEachPass) {
    Stream stream;
    for (int pass = 0; pass < 2; ++pass)
        for (int percent = 0; percent <= 100; ++percent) {
            stream.Events.Progress("virtual:0", percent);
            stream.Events.Progress("virtual:1", percent / 2);  // slower: its tenths come in between
        }
    std::vector<int> first, second;
    for (const json& line : stream.Lines()) {
        ASSERT_EQ(line["event"], "progress");
        (line["device"] == "virtual:0" ? first : second).push_back(line["percent"].get<int>());
    }
    const std::vector<int> pass = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    std::vector<int> twice = pass;
    twice.insert(twice.end(), pass.begin(), pass.end());
    EXPECT_EQ(first, twice);
    EXPECT_EQ(second, (std::vector<int>{0, 10, 20, 30, 40, 50, 0, 10, 20, 30, 40, 50}));
}

TEST(JsonEvents, AFinishedDriveCarriesItsFailingCommandAndSenseAndTheSummaryCounts) {
    Stream stream;
    SessionDrive failed;
    failed.Device = "virtual:7";
    failed.Revision = failed.RevisionAfter = "1.00";
    failed.Report.emplace();
    failed.Report->Outcome = FlashOutcome::FailedBeforeCommit;
    failed.Report->Failure = FailedCommand{"Write Buffer", {}, {}};
    failed.Report->Failure->Sent.Cdb[0] = 0x3B;
    failed.Report->Failure->Result = {CommandCategory::CheckCondition, 2, 0x04, 0x44, 0x00, 0, 0};
    SessionDrive busy;
    busy.Device = "/dev/sg2";
    busy.Refusal = "/dev/sg2: a disc of it is mounted";
    SessionDrive skipped;
    skipped.SkipReason = "does not qualify for this firmware";
    SessionDrive done;
    done.Report.emplace().Outcome = FlashOutcome::Completed;
    SessionDrive rehearsed;
    rehearsed.Report.emplace().Outcome = FlashOutcome::Rehearsed;
    SessionDrive leftOut;
    leftOut.Unreached = DriveEnding::LeftOut;
    leftOut.Problem = "left out: the list holds 24 drives";

    stream.Events.Finished(failed);
    stream.Events.Finished(busy);
    stream.Events.Summary({failed, busy, skipped, done, rehearsed, leftOut}, ExitCode::PartialSuccess);
    const std::vector<json> lines = stream.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["outcome"], "failed_before_commit");
    EXPECT_EQ(lines[0]["failure"]["command"], "Write Buffer");
    EXPECT_EQ(lines[0]["failure"]["sense"]["key"], 4);
    EXPECT_EQ(lines[0]["failure"]["sense"]["asc"], 0x44);
    EXPECT_EQ(lines[0]["failure"]["sense"]["ascq"], 0);
    EXPECT_EQ(lines[0]["failure"]["sense"]["words"], lines[0]["failure"]["sense_text"]);
    EXPECT_EQ(lines[0]["failure"]["sense_code"], "04/44/00");  // the earlier spelling, one release
    EXPECT_EQ(lines[0]["failure"]["cdb"], "3b0000000000000000000000");
    EXPECT_NE(lines[0]["failure"]["sense_text"].get<std::string>().find("Internal target failure"), std::string::npos);
    EXPECT_EQ(lines[1]["outcome"], "busy");
    EXPECT_EQ(lines[1]["refusal"], busy.Refusal);
    EXPECT_EQ(lines[2]["exit_code"], ExitCode::PartialSuccess);
    // Each drive in one count: a rehearsal is no completed flash, a drive left out no failure.
    EXPECT_EQ(lines[2]["completed"], 1);
    EXPECT_EQ(lines[2]["rehearsed"], 1);
    EXPECT_EQ(lines[2]["failed"], 2);
    EXPECT_EQ(lines[2]["skipped"], 1);
    EXPECT_EQ(lines[2]["left_out"], 1);
    // Every drive that did not complete carries its cause; a failed run names the refused command.
    const json& drives = lines[2]["drives"];
    EXPECT_EQ(drives[0]["cause"], "FAILED before the commit (flash unchanged): WRITE BUFFER failed: "
                                  "Hardware Error, Internal target failure");
    EXPECT_EQ(drives[1]["cause"], busy.Refusal);
    EXPECT_EQ(drives[2]["cause"], skipped.SkipReason);
    EXPECT_FALSE(drives[3].contains("cause"));
    EXPECT_FALSE(drives[4].contains("cause"));
    EXPECT_EQ(drives[5]["cause"], leftOut.Problem);
}

TEST(JsonEvents, TheCompactStreamLeavesOutStepsAndProgressButNotOutcomes) {
    Stream stream(true);
    SessionDrive done;
    done.Device = "virtual:0";
    done.Report.emplace().Outcome = FlashOutcome::Completed;
    stream.Events.Step("virtual:0", RunStatus{RunPhase::ImageUpload, PhaseEnd::None});
    stream.Events.Progress("virtual:0", 50);
    stream.Events.Message("virtual:0", MessageKind::Error, "trouble");
    stream.Events.Finished(done);
    stream.Events.Summary({done}, ExitCode::Success);
    std::vector<std::string> events;
    for (const json& line : stream.Lines())
        events.push_back(line["event"]);
    EXPECT_EQ(events, (std::vector<std::string>{"message", "drive_finished", "summary"}));
}

// A failed phase keeps its name in the stream; its caption tells how it broke off.
TEST(JsonEvents, AFailedStepKeepsItsPhase) {
    const struct {
        RunStatus Status;
        const char* Key;
        std::string Caption;
    } cases[] = {
        {{RunPhase::ImageUpload, PhaseEnd::Failed}, "image_upload",
         std::string(FlashTexts::Status::ImageUpload) + FlashTexts::Suffix::Fail},
        {{RunPhase::Verify, PhaseEnd::CompareFailed}, "verify",
         std::string(FlashTexts::Status::Verify) + FlashTexts::Suffix::CompareFail},
        {{RunPhase::CommitFailed, PhaseEnd::None}, "commit_failed", FlashTexts::Status::CommitFailed},
    };
    for (const auto& c : cases) {
        Stream stream;
        stream.Events.Step("virtual:0", c.Status);
        const std::vector<json> lines = stream.Lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["phase"], c.Key);
        EXPECT_EQ(lines[0]["status"], c.Caption);
    }
    // A run stopped before its first phase has no step to name: no step event, whose phase would be empty.
    Stream stopped;
    stopped.Events.Step("virtual:0", {std::nullopt, PhaseEnd::Interrupted});
    EXPECT_TRUE(stopped.Lines().empty());
}

TEST(DriveRunInterface, GivesNoConsentAndTagsWhatItTells) {
    Told told;
    DriveRunInterface ui("virtual:3", told);
    EXPECT_FALSE(ui.Ask(Question::UpdateConfirmation, "Update?", MessageKind::Confirmation, MessageAnswer::Yes));
    EXPECT_FALSE(ui.Ask(Question::Restart, FlashTexts::RestartQuestion, MessageKind::Confirmation, MessageAnswer::Yes));
    ui.Show("Write Buffer> 04 44 00. 02, 0000");
    ui.StatusChanged({RunPhase::ImageUpload, PhaseEnd::None});
    EXPECT_EQ(told.Messages, (std::vector<std::string>{"virtual:3: Write Buffer> 04 44 00. 02, 0000"}));
    EXPECT_EQ(told.Steps, (std::vector<std::string>{std::string("virtual:3: ") + FlashTexts::Status::ImageUpload}));

    // 32 chunks of 16 KiB over 512 KiB: each percent once, a change of range counts again.
    ui.ProgressChanged(0, 32 * 16384);
    for (uint32_t i = 1; i <= 32; ++i)
        ui.ProgressChanged(i * 16384, 32 * 16384);
    ui.ProgressChanged(32 * 16384, 32 * 16384);  // the same 100 %: not told again
    ui.ProgressChanged(198, 200);
    ASSERT_EQ(told.Percents.size(), 34u);
    EXPECT_EQ(told.Percents.front(), 0);
    EXPECT_EQ(told.Percents[32], 100);
    EXPECT_EQ(told.Percents.back(), 99);
}

// A commit the drive takes long to answer: the drive's line tells how long it has been waited
// for, in a log every ten seconds, past the limit that the drive is late, and drops it once
// the answer came.
TEST(FleetDisplay, TellsHowLongACommitHasBeenWaitedFor) {
    for (const bool live : {false, true}) {
        char* data = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&data, &size);
        {
            FleetDisplay display(out, out, live);
            SessionDrive drive;
            drive.Device = "virtual:0";
            display.Started({}, "1.06", {drive}, false);
            display.Waiting("virtual:0", 5, 180);
            display.Waiting("virtual:0", 10, 180);
            std::fflush(out);
            const std::string waiting(data, size);
            EXPECT_NE(waiting.find("waiting for the drive: 10 s of at most 180 s"), std::string::npos) << live;
            if (!live) {
                EXPECT_EQ(waiting.find("5 s of at most"), std::string::npos) << "a log gets every tenth second only";
            }
            // Past the limit the drive is late: said (in a log once), not counted on.
            display.Waiting("virtual:0", 181, 180);
            display.Waiting("virtual:0", 200, 180);
            std::fflush(out);
            const std::string late(data + waiting.size(), size - waiting.size());
            EXPECT_NE(late.find("the drive is late: no answer within 180 s"), std::string::npos) << live;
            EXPECT_EQ(late.find("of at most"), std::string::npos) << live;
            if (!live) {
                EXPECT_EQ(late.find("late"), late.rfind("late")) << "a log says it once";
            }
            const std::size_t before = size;
            display.Waiting("virtual:0", 0, 0);
            std::fflush(out);
            const std::string after(data + before, size - before);
            EXPECT_EQ(after.find("waiting for the drive"), std::string::npos) << live;
            if (live) {
                EXPECT_NE(after.find("virtual:0"), std::string::npos) << "the line is drawn again without the wait";
            }
        }
        std::fclose(out);
        std::free(data);
    }
}

// The single drive's live line fits the terminal, wait and all, and redraws in place; past
// the limit it says the drive is late.
TEST(TerminalUserInterface, FitsTheWaitToTheTerminalAndSaysWhenTheDriveIsLate) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    {
        TerminalUserInterface ui(false, {stdin, out, out, false, true, 80});
        ui.SetProgressRange(0, 100);
        ui.SetProgressPosition(100);
        for (const uint32_t seconds : {1u, 179u, 180u, 181u, 250u})
            ui.ShowWaiting(seconds, 180);
        ui.ShowWaiting(0, 0);
        std::fflush(out);
        const std::string shown(data, size);
        std::vector<std::string> draws;
        for (std::size_t at = shown.find('\r'); at != std::string::npos;) {
            const std::size_t next = shown.find('\r', at + 1);
            draws.push_back(shown.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
            at = next;
        }
        ASSERT_EQ(draws.size(), 7u) << shown;
        for (const std::string& draw : draws) {
            EXPECT_EQ(draw.find('\n'), std::string::npos) << "in place: " << draw;
            EXPECT_LT(draw.size(), 80u + 3) << draw;  // the line and the erasure of what was after it
        }
        EXPECT_NE(draws[2].find("179 s of at most 180 s"), std::string::npos) << draws[2];
        EXPECT_NE(draws[4].find("the drive is late: no answer within 180 s"), std::string::npos) << draws[4];
        EXPECT_EQ(draws[5], draws[4]) << "not counted on past the limit";
        EXPECT_EQ(draws[6].find("waiting"), std::string::npos) << "the bar again without the wait";
    }
    std::fclose(out);
    std::free(data);
}

}  // namespace
