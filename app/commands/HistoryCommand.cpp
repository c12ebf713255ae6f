// SPDX-License-Identifier: Apache-2.0
// flashutil --history [--json]: the runs this program has made on drives, oldest first, as
// its history file holds them. A run whose start was recorded and whose end never was is
// shown as one that did not finish. Damaged lines are skipped, each with a notice on the
// error stream.

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "history/HistoryFile.h"
#include "history/HistoryPlace.h"
#include "platform/PrintableText.h"
#include "app/commands/Options.h"

namespace {

using json = nlohmann::ordered_json;

json StartJson(const RunStart& s) {
    return {
        {"run", s.Run},
        {"started", s.Time},
        {"version", s.Version},
        {"rehearsal", s.Rehearsal},
        {"utility", {{"model", s.Utility.Model}, {"new_revision", s.Utility.NewRevision},
                     {"image_sha256", s.Utility.ImageSha256}}},
        {"drive", {{"device", s.Drive.Device}, {"identity", s.Drive.Identity}, {"vendor", s.Drive.Vendor},
                   {"product", s.Drive.Product}, {"revision", s.Drive.Revision}, {"virtual", s.Drive.Virtual}}},
    };
}

json EndJson(const RunEnd& e) {
    json failure = nullptr;
    if (e.Failure)
        failure = {{"command", e.Failure->Command},
                   {"cdb", e.Failure->Cdb},
                   {"category", e.Failure->Category},
                   {"status", e.Failure->Status},
                   {"sense", e.Failure->Sense.empty() ? json(nullptr) : json(e.Failure->Sense)},
                   {"sense_text", e.Failure->SenseText.empty() ? json(nullptr) : json(e.Failure->SenseText)},
                   {"system_error", e.Failure->SystemError}};
    return {
        {"ended", e.Time},
        {"outcome", e.Outcome},
        {"step", e.Step},
        {"status", e.Status},
        {"revision_after", e.RevisionAfter ? json(*e.RevisionAfter) : json(nullptr)},
        {"identity_after", e.IdentityAfter ? json(*e.IdentityAfter) : json(nullptr)},
        {"duration_ms", e.DurationMs},
        {"failure", failure},
    };
}

std::string OutcomeText(const RunEnd& end) {
    const std::string& o = end.Outcome;
    if (o == "completed") return "completed";
    if (o == "rehearsed") return "rehearsal: the image came back intact, the flash was not changed";
    if (o == "failed-before-commit") return "failed before the commit: the flash was not changed";
    if (o == "interrupted") return "interrupted before the commit: the flash was not changed";
    if (o == "commit-failed") return "the commit failed: the drive may need the update again";
    if (o == "disc-present") return "stopped: a disc was in the drive";
    return o;
}

// Record fields are whatever the drive and the file said: no control characters reach the terminal.
std::string Printable(const std::string& text) { return PrintableText(text); }

void PrintRun(const HistoryEntry& entry) {
    const RunStart& s = entry.Start;
    const std::string after = entry.End && entry.End->RevisionAfter ? *entry.End->RevisionAfter : "?";
    std::string outcome = entry.End ? OutcomeText(*entry.End) : "did not finish";
    if (s.Rehearsal && !(entry.End && entry.End->Outcome == "rehearsed"))
        outcome = "rehearsal " + outcome;
    // A replayed drive carries a real drive's path: the record's mark says it was played.
    const std::string device = Printable(s.Drive.Device) +
                               (s.Drive.Virtual && !s.Drive.Device.starts_with("virtual:") ? " (virtual drive)" : "");
    std::printf("%s  %s  %s %s  %s -> %s  %s\n", s.Time.c_str(), device.c_str(),
                Printable(s.Drive.Vendor).c_str(), Printable(s.Drive.Product).c_str(),
                Printable(s.Drive.Revision).c_str(), Printable(after).c_str(), outcome.c_str());
    std::string detail = "    utility " + Printable(s.Utility.Model) + " firmware " + Printable(s.Utility.NewRevision) +
                         ", image SHA-256 " + s.Utility.ImageSha256 + ", flashutil " + s.Version + ", run " + s.Run;
    if (entry.End) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%lld.%01lld", static_cast<long long>(entry.End->DurationMs / 1000),
                      static_cast<long long>(entry.End->DurationMs % 1000 / 100));
        detail += ", " + std::string(seconds) + " s";
    }
    std::printf("%s\n", detail.c_str());
    if (entry.End && entry.End->Failure) {
        const RunFailure& f = *entry.End->Failure;
        std::string line = "    at " + entry.End->Step + ": " + Printable(f.Command) + " (CDB " + f.Cdb + ")";
        if (!f.Sense.empty())
            line += ", sense " + f.Sense + " " + f.SenseText;
        else if (f.SystemError != 0)
            line += ", system error " + std::to_string(f.SystemError);
        else
            line += ", status " + std::to_string(f.Status);
        std::printf("%s\n", line.c_str());
    }
}

}  // namespace

int RunHistory(const Options& options) {
    const std::string path = HistoryPathOfProcess();
    if (path.empty()) {
        std::fprintf(stderr, "flashutil: no place for the history of runs: set HOME, XDG_STATE_HOME or FLASHUTIL_HISTORY\n");
        return ExitCode::Failure;
    }
    HistoryContents contents;
    std::string why;
    if (!ReadHistory(path, contents, why)) {
        std::fprintf(stderr, "flashutil: can't read the history of runs: %s\n", why.c_str());
        return ExitCode::Failure;
    }
    for (const std::string& notice : contents.Notices)
        std::fprintf(stderr, "flashutil: %s\n", notice.c_str());

    if (options.Json) {
        json runs = json::array();
        for (const HistoryEntry& entry : contents.Runs) {
            json run = StartJson(entry.Start);
            run["finished"] = entry.End.has_value();
            run["end"] = entry.End ? EndJson(*entry.End) : json(nullptr);
            runs.push_back(std::move(run));
        }
        const json document = {{"file", path}, {"runs", runs}, {"skipped", contents.Notices.size()}};
        std::printf("%s\n", document.dump(2, ' ', false, json::error_handler_t::replace).c_str());
        return ExitCode::Success;
    }
    if (contents.Runs.empty()) {
        std::printf("No runs recorded in %s.\n", path.c_str());
        return ExitCode::Success;
    }
    for (const HistoryEntry& entry : contents.Runs)
        PrintRun(entry);
    return ExitCode::Success;
}
