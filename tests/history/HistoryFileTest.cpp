// SPDX-License-Identifier: Apache-2.0
// The history read back: starts paired with their ends, a run that never ended, and lines
// that are skipped with a notice; and where the history is kept.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <vector>

#include "history/HistoryFile.h"
#include "history/HistoryPlace.h"
#include "history/HistoryRecord.h"
#include "image/TempDirectory.h"

namespace {

RunStart StartOf(const std::string& run) {
    RunStart start;
    start.Run = run;
    start.Time = "2026-01-02T03:04:05Z";
    start.Drive.Device = "/dev/sg" + run;
    return start;
}

RunEnd EndOf(const std::string& run, const std::string& outcome) {
    RunEnd end;
    end.Run = run;
    end.Outcome = outcome;
    end.RevisionAfter = "1.06";
    return end;
}

TEST(HistoryFile, PairsRunsOldestFirstAndSkipsWhatIsNoRecord) {
    TempDirectory temp;
    const std::string path = temp / "history.jsonl";
    WriteFile(path, StartLine(StartOf("1")) + StartLine(StartOf("2")) +  // two drives at once
                        EndLine(EndOf("2", "failed-before-commit")) + "not json at all\n" +
                        R"({"record":"start","run":"3"})" "\n" +  // a key missing
                        EndLine(EndOf("1", "completed")) + EndLine(EndOf("1", "completed")) +
                        EndLine(EndOf("9", "completed")) + "\n" + StartLine(StartOf("4")));
    HistoryContents history;
    std::string why;
    ASSERT_TRUE(ReadHistory(path, history, why)) << why;

    ASSERT_EQ(history.Runs.size(), 3u);
    EXPECT_EQ(history.Runs[0].Start.Drive.Device, "/dev/sg1");
    ASSERT_TRUE(history.Runs[0].End);
    EXPECT_EQ(history.Runs[0].End->Outcome, "completed");
    EXPECT_EQ(history.Runs[1].End->Outcome, "failed-before-commit");
    EXPECT_FALSE(history.Runs[2].End);  // did not finish

    ASSERT_EQ(history.Notices.size(), 4u);
    EXPECT_EQ(history.Notices[0], path + " line 4: not a history record (damaged); skipped");
    EXPECT_NE(history.Notices[1].find("line 5: not a history record"), std::string::npos);
    EXPECT_NE(history.Notices[2].find("line 7: a second end of run 1"), std::string::npos);
    EXPECT_NE(history.Notices[3].find("line 8: the end of run 9, whose start is not in the history"),
              std::string::npos);
}

// Read as a stream: each run is handed on once it and the runs before it are whole, so a run
// that never ended holds back nothing, and a line of any length is never held whole.
// The first reading takes each line's kind and run from its first keys only: a line that
// gives them twice, the last saying otherwise, ends no run it was not found to end, and says so.
TEST(HistoryFile, ALineThatNamesItsRunTwiceEndsNoRunUnannounced) {
    TempDirectory temp;
    const std::string path = temp / "history.jsonl";
    std::string twice = EndLine(EndOf("1", "completed"));
    twice.replace(0, twice.find(",") + 1, R"({"record":"start","run":"1","record":"end",)");
    WriteFile(path, StartLine(StartOf("1")) + twice);
    HistoryContents history;
    std::string why;
    ASSERT_TRUE(ReadHistory(path, history, why)) << why;
    ASSERT_EQ(history.Runs.size(), 1u);
    EXPECT_FALSE(history.Runs[0].End);
    ASSERT_EQ(history.Notices.size(), 1u);
    EXPECT_EQ(history.Notices[0], path + " line 2: the end of run 1, not found when the file was first read; skipped");
    EXPECT_EQ(ScanRecord(twice).Kind, RecordKind::Start);
    EXPECT_TRUE(ParseRecord(twice).End);
}

TEST(HistoryFile, RunsAreHandedOnAsTheyComeWhateverStaysUnfinished) {
    TempDirectory temp;
    const std::string path = temp / "history.jsonl";
    WriteFile(path, StartLine(StartOf("1")) +                               // never ends
                        StartLine(StartOf("2")) + EndLine(EndOf("2", "completed")) +
                        StartLine(StartOf("3")) + EndLine(EndOf("3", "completed")) +
                        std::string(3u << 20, 'x') + "\n" +                 // damage, 3 MiB long
                        StartLine(StartOf("4")) + StartLine(StartOf("5")) +  // two drives at once
                        EndLine(EndOf("5", "completed")) + EndLine(EndOf("4", "interrupted")));
    std::vector<std::string> order;
    std::size_t handedAtTheDamage = 0;
    bool exists = false;
    std::string why;
    const HistoryReader reader{
        [&](const HistoryEntry& run) { order.push_back(run.Start.Run + (run.End ? "+" + run.End->Outcome : "")); },
        [&](const std::string& notice) {
            handedAtTheDamage = order.size();
            EXPECT_EQ(notice, path + " line 6: not a history record (damaged); skipped");
        }};
    ASSERT_TRUE(ReadHistory(path, reader, exists, why)) << why;
    EXPECT_TRUE(exists);
    EXPECT_EQ(handedAtTheDamage, 3u);  // runs 1 to 3 were out before the rest was read
    EXPECT_EQ(order, (std::vector<std::string>{"1", "2+completed", "3+completed", "4+interrupted", "5+completed"}));
}

TEST(HistoryFile, NoFileIsAnEmptyHistoryAndWhatIsNoFileAnError) {
    TempDirectory temp;
    HistoryContents history;
    std::string why;
    EXPECT_TRUE(ReadHistory(temp / "none.jsonl", history, why));
    EXPECT_FALSE(history.Exists);
    EXPECT_FALSE(ReadHistory(temp.Path(), history, why));
    EXPECT_EQ(why, temp.Path() + ": Is a directory");
    // A FIFO with no writer is not waited on.
    ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadHistory(temp / "fifo", history, why));
    EXPECT_EQ(why, temp / "fifo" + ": not a regular file");
}

TEST(HistoryPlace, OverrideThenRootThenTheStateDirectory) {
    std::map<std::string, std::string> env = {{"HOME", "/home/ann"}, {"XDG_STATE_HOME", "relative/state"}};
    auto lookup = [&](const char* name) { return env.count(name) ? env[name].c_str() : nullptr; };
    // A relative XDG_STATE_HOME is ignored, as the XDG base directory rules say.
    EXPECT_EQ(HistoryPath(lookup, false), "/home/ann/.local/state/flashutil/history.jsonl");
    env["XDG_STATE_HOME"] = "/srv/state";
    EXPECT_EQ(HistoryPath(lookup, false), "/srv/state/flashutil/history.jsonl");
    EXPECT_EQ(HistoryPath(lookup, true), "/var/lib/flashutil/history.jsonl");
    env["FLASHUTIL_HISTORY"] = "/tmp/h.jsonl";
    EXPECT_EQ(HistoryPath(lookup, true), "/tmp/h.jsonl");
    EXPECT_EQ(NoHistoryPlaceReason(lookup, true), "");
    // Set but empty names no file: a mistake, never taken for the usual place.
    env["FLASHUTIL_HISTORY"] = "";
    EXPECT_EQ(HistoryPath(lookup, true), "");
    EXPECT_NE(NoHistoryPlaceReason(lookup, true).find("FLASHUTIL_HISTORY is set but empty"), std::string::npos);
    env.clear();
    EXPECT_EQ(HistoryPath(lookup, false), "");
    EXPECT_NE(NoHistoryPlaceReason(lookup, false).find("set HOME"), std::string::npos);
}

}  // namespace

// Records of earlier versions spelt names with hyphens and the sense as "KK/AA/QQ"; records
// now use snake_case and the sense object. Both read back as the same run, and a record
// written now reads back as what was written.
TEST(HistoryRecord, ReadsTheEarlierAndTheCurrentSpellingAlike) {
    const std::string earlier =
        R"({"record":"end","run":"1","time":"t","outcome":"failed-before-commit","step":"image-upload",)"
        R"("status":"s","revision_after":null,"identity_after":null,"duration_ms":5,"failure":{"command":"Write Buffer",)"
        R"("cdb":"3b","category":"check-condition","status":2,"sense":"05/24/00","sense_text":"Invalid field in CDB",)"
        R"("system_error":0}})";
    const std::string current =
        R"({"record":"end","run":"1","time":"t","outcome":"failed_before_commit","step":"image_upload",)"
        R"("status":"s","revision_after":null,"identity_after":null,"duration_ms":5,"failure":{"command":"Write Buffer",)"
        R"("cdb":"3b","category":"check_condition","status":2,"sense":{"key":5,"asc":36,"ascq":0,)"
        R"("words":"Invalid field in CDB"},"system_error":0}})";
    for (const std::string& line : {earlier, current}) {
        const ParsedRecord parsed = ParseRecord(line);
        ASSERT_TRUE(parsed.End) << line;
        EXPECT_EQ(parsed.End->Outcome, "failed-before-commit");
        EXPECT_EQ(parsed.End->Step, "image-upload");
        ASSERT_TRUE(parsed.End->Failure);
        EXPECT_EQ(parsed.End->Failure->Category, "check-condition");
        EXPECT_EQ(parsed.End->Failure->Sense, "05/24/00");
        EXPECT_EQ(parsed.End->Failure->SenseText, "Invalid field in CDB");
        // Written again, it is in the current spelling and reads back the same.
        const std::string again = EndLine(*parsed.End);
        EXPECT_NE(again.find(R"("outcome":"failed_before_commit")"), std::string::npos) << again;
        EXPECT_NE(again.find(R"("sense":{"key":5,"asc":36,"ascq":0,)"), std::string::npos) << again;
        const ParsedRecord back = ParseRecord(again.substr(0, again.size() - 1));
        ASSERT_TRUE(back.End && back.End->Failure) << again;
        EXPECT_EQ(back.End->Failure->Sense, "05/24/00");
        EXPECT_EQ(back.End->Step, "image-upload");
    }
    // A sense that is neither form is a damaged record, not a run without sense.
    std::string bad = current;
    const std::string sense = R"({"key":5,"asc":36,"ascq":0,"words":"Invalid field in CDB"})";
    bad.replace(bad.find(sense), sense.size(), R"("garbage")");
    EXPECT_FALSE(ParseRecord(bad).End) << bad;
}
