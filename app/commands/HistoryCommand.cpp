// SPDX-License-Identifier: Apache-2.0
// flashutil --history [--json]: the runs this program has made on drives, oldest first, as
// its history file holds them. A run whose start was recorded and whose end never was is
// shown as one that did not finish. Damaged lines are skipped, each with a notice on the
// error stream.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "history/HistoryFile.h"
#include "history/HistoryPlace.h"
#include "platform/JsonKeys.h"
#include "platform/JsonVocabulary.h"
#include "platform/PrintableText.h"
#include "session/DriveEnding.h"
#include "app/commands/Commands.h"

namespace {

using json = nlohmann::ordered_json;

// The history is a file anyone with the user's rights may have edited: what its records name
// is given in the words the schema allows. A name in snake_case letters stands (a name a later
// version added is still told); anything else is "unknown", or "" where a name may be missing.
std::string SchemaName(const std::string& name, bool mayBeEmpty = false) {
    const std::string snake = SnakeCase(name);
    if (snake.empty())
        return mayBeEmpty ? snake : "unknown";
    return snake.find_first_not_of("abcdefghijklmnopqrstuvwxyz_") == std::string::npos ? snake : "unknown";
}

// The command's bytes in lower-case hex digits; "" when the record holds anything else.
std::string SchemaCdb(std::string cdb) {
    for (char& c : cdb) {
        if (c >= 'A' && c <= 'F')
            c = char(c - 'A' + 'a');
        else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return {};
    }
    return cdb;
}

// A verdict the program does not give is no verdict known: "".
std::string SchemaVerdict(const std::string& verdict) {
    for (const char* known : {"trusted", "untrusted", "damaged", "unsigned"})
        if (verdict == known)
            return verdict;
    return {};
}

json TextOrNull(const std::optional<std::string>& text) { return text ? json(*text) : json(nullptr); }

json StartJson(const RunStart& s) {
    return {
        {"run", s.Run},
        {"started", s.Time},
        {"version", s.Version},
        {"rehearsal", s.Rehearsal},
        {"utility", {{"model", s.Utility.Model}, {JsonKey::Maker, TextOrNull(s.Utility.Maker)},
                     {"new_revision", s.Utility.NewRevision},
                     {"image_sha256", s.Utility.ImageSha256}, {"sent_sha256", s.Utility.SentSha256},
                     {JsonKey::File, s.Utility.File},
                     {JsonKey::FileSha256, s.Utility.FileSha256},
                     {JsonKey::Signature,
                      SignatureJson(SchemaVerdict(s.Utility.Verdict), s.Utility.Signer, s.Utility.Fingerprint)}}},
        {"drive", {{"device", s.Drive.Device}, {JsonKey::DeviceId, TextOrNull(s.Drive.DeviceId)},
                   {JsonKey::Serial, TextOrNull(s.Drive.Serial)}, {"identity", s.Drive.Identity},
                   {JsonKey::Vendor, s.Drive.Vendor},  // the drive's INQUIRY vendor
                   {"product", s.Drive.Product}, {"revision", s.Drive.Revision}, {"virtual", s.Drive.Virtual}}},
    };
}

json EndJson(const RunEnd& e) {
    json failure = nullptr;
    if (e.Failure)
        failure = {{"command", e.Failure->Command},
                   {"cdb", SchemaCdb(e.Failure->Cdb)},
                   {"category", SchemaName(e.Failure->Category)},
                   {"status", e.Failure->Status},
                   {JsonKey::Sense, SenseJsonOfCode(e.Failure->Sense)},
                   // An alias kept one release: the words are in "sense" too.
                   {"sense_text", e.Failure->SenseText.empty() ? json(nullptr) : json(e.Failure->SenseText)},
                   {JsonKey::SystemError, e.Failure->SystemError}};
    return {
        {"ended", e.Time},
        {JsonKey::Outcome, SchemaName(e.Outcome)},
        {JsonKey::Step, SchemaName(e.Step, true)},
        {"status", e.Status},
        {"revision_after", e.RevisionAfter ? json(*e.RevisionAfter) : json(nullptr)},
        {"identity_after", e.IdentityAfter ? json(*e.IdentityAfter) : json(nullptr)},
        {"duration_ms", e.DurationMs},
        {"failure", failure},
    };
}

// A record holds how its run ended in hyphens ("commit-failed"), as the session names it.
std::optional<DriveEnding> EndingOf(const RunEnd& end) { return EndingOfKey(SnakeCase(end.Outcome)); }

std::string OutcomeText(const RunEnd& end) {
    const std::optional<DriveEnding> ending = EndingOf(end);
    const std::string words = ending ? RecordedEndingWords(*ending) : std::string();
    return words.empty() ? end.Outcome : words;
}

// Record fields are whatever the drive and the file said: each line is printed with its
// control bytes as '?', so none reaches the terminal, whichever field held it.
void PrintLine(const std::string& line) { std::printf("%s\n", PrintableText(line).c_str()); }

void PrintRun(const HistoryEntry& entry) {
    const RunStart& s = entry.Start;
    const std::string after = entry.End && entry.End->RevisionAfter ? *entry.End->RevisionAfter : "?";
    std::string outcome = entry.End ? OutcomeText(*entry.End) : "did not finish";
    if (s.Rehearsal && !(entry.End && EndingOf(*entry.End) == DriveEnding::Rehearsed))
        outcome = "rehearsal " + outcome;
    // A replayed drive carries a real drive's path: the record's mark says it was played.
    const std::string device =
        s.Drive.Device + (s.Drive.Virtual && !s.Drive.Device.starts_with("virtual:") ? " (virtual drive)" : "");
    PrintLine(s.Time + "  " + device + "  " + s.Drive.Vendor + " " + s.Drive.Product + "  " + s.Drive.Revision + " -> " +
              after + "  " + outcome);
    std::string detail = "    utility " + s.Utility.Model + " firmware " + s.Utility.NewRevision + ", image SHA-256 " +
                         s.Utility.ImageSha256 + ", flashutil " + s.Version + ", run " + s.Run;
    if (entry.End) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%lld.%01lld", static_cast<long long>(entry.End->DurationMs / 1000),
                      static_cast<long long>(entry.End->DurationMs % 1000 / 100));
        detail += ", " + std::string(seconds) + " s";
    }
    PrintLine(detail);
    // The drive itself, whichever node it had: records from before its id was kept lack it.
    if (s.Drive.DeviceId)
        PrintLine("    drive id " + *s.Drive.DeviceId + (s.Drive.Serial ? ", serial " + *s.Drive.Serial : ""));
    // The file the run flashed from and who signed it; records from before they were kept name neither.
    if (!s.Utility.File.empty() || !s.Utility.Verdict.empty()) {
        std::string signature = s.Utility.Verdict == "trusted" ? "signed by " + s.Utility.Signer + " (" +
                                                                     s.Utility.Fingerprint + ")"
                                : s.Utility.Verdict == "untrusted"
                                    ? "signed by a key not trusted (" + s.Utility.Fingerprint + ")"
                                    : "not signed";
        PrintLine("    file " + s.Utility.File + ", SHA-256 " + s.Utility.FileSha256 + ", " + signature);
    }
    // What the run sent of the image area when it was more than the image: the rest of its last chunk.
    if (!s.Utility.SentSha256.empty() && s.Utility.SentSha256 != s.Utility.ImageSha256)
        PrintLine("    sent SHA-256 " + s.Utility.SentSha256 + " (the image and the rest of its last chunk)");
    if (entry.End && entry.End->Failure) {
        const RunFailure& f = *entry.End->Failure;
        std::string line = "    at " + entry.End->Step + ": " + f.Command + " (CDB " + f.Cdb + ")";
        if (!f.Sense.empty())
            line += ", sense " + f.Sense + " " + f.SenseText;
        else if (f.SystemError != 0)
            line += ", system error " + std::to_string(f.SystemError);
        else
            line += ", status " + std::to_string(f.Status);
        PrintLine(line);
    }
}

}  // namespace

int RunHistory(const Options& options) {
    const std::string path = HistoryPathOfProcess();
    if (path.empty()) {
        if (std::getenv("FLASHUTIL_HISTORY") != nullptr)
            std::fprintf(stderr, "flashutil: %s\n", NoHistoryPlaceReasonOfProcess().c_str());
        else
            std::fprintf(stderr, "flashutil: no place for the history of runs: set HOME, XDG_STATE_HOME or FLASHUTIL_HISTORY\n");
        return ExitCode::Failure;
    }
    // The file is read as a stream and each run printed as it comes: a history of years
    // costs no more memory than a short one.
    std::string why;
    bool exists = false;
    std::size_t runs = 0, skipped = 0;
    // --device-id: the runs of one drive, whichever node it had at each.
    auto Wanted = [&](const HistoryEntry& entry) {
        return !options.DeviceId || entry.Start.Drive.DeviceId == options.DeviceId;
    };
    auto notice = [&](const std::string& text) {
        ++skipped;
        std::fprintf(stderr, "flashutil: %s\n", PrintableText(text).c_str());
    };
    if (options.Json) {
        // The document as one dump of it would read, written a run at a time.
        auto dump = [](const json& value) { return value.dump(2, ' ', false, json::error_handler_t::replace); };
        // Nothing is written before the file could be opened; a read that fails later leaves
        // the document unfinished, never passed off as whole.
        const std::string head = "{\n  \"" + std::string(JsonKey::Schema) + "\": " + dump(JsonSchemaName::History) +
                                 ",\n  \"file\": " + dump(path) + ",\n  \"runs\": [";
        const bool read = ReadHistory(path, HistoryReader{[&](const HistoryEntry& entry) {
            if (!Wanted(entry))
                return;
            if (runs == 0)
                std::fputs(head.c_str(), stdout);
            json run = StartJson(entry.Start);
            run["finished"] = entry.End.has_value();
            run["end"] = entry.End ? EndJson(*entry.End) : json(nullptr);
            std::string text = dump(run);
            for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
                text.insert(at + 1, "    ");
            std::printf("%s\n    %s", runs++ ? "," : "", text.c_str());
        }, notice}, exists, why);
        if (!read) {
            std::fflush(stdout);
            std::fprintf(stderr, "flashutil: can't read the history of runs: %s\n", why.c_str());
            return ExitCode::Failure;
        }
        std::printf("%s%s],\n  \"skipped\": %zu\n}\n", runs ? "" : head.c_str(), runs ? "\n  " : "", skipped);
        return ExitCode::Success;
    }
    if (!ReadHistory(path, HistoryReader{[&](const HistoryEntry& entry) {
                                 if (Wanted(entry))
                                     ++runs, PrintRun(entry);
                             }, notice}, exists,
                     why)) {
        std::fprintf(stderr, "flashutil: can't read the history of runs: %s\n", why.c_str());
        return ExitCode::Failure;
    }
    if (runs == 0)
        PrintLine("No runs recorded in " + path + ".");
    return ExitCode::Success;
}
