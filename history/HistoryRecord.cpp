// SPDX-License-Identifier: Apache-2.0
#include "history/HistoryRecord.h"

#include "platform/JsonKeys.h"
#include "platform/JsonVocabulary.h"
#include "platform/SenseWords.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

#include "base/Sha256.h"

using json = nlohmann::ordered_json;

namespace {

// Texts from a drive or a file need not be UTF-8: a byte that is not becomes U+FFFD
// instead of ending the program.
std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

json OrNull(const std::optional<std::string>& text) { return text ? json(*text) : json(nullptr); }

const char* CategoryName(CommandCategory category) {
    switch (category) {
    case CommandCategory::Good: return "good";
    case CommandCategory::CheckCondition: return "check-condition";
    case CommandCategory::StatusOnly: return "status-only";
    case CommandCategory::TransportError: return "transport-error";
    case CommandCategory::SystemError: return "system-error";
    }
    return "good";
}

// Reading back: a key of the wrong type or a missing one makes the line no record.
std::string Text(const json& object, const char* key) { return object.at(key).get<std::string>(); }
std::optional<std::string> TextOrNull(const json& object, const char* key) {
    const json& value = object.at(key);
    return value.is_null() ? std::nullopt : std::optional<std::string>(value.get<std::string>());
}

// An integer from low to high: a number of another kind, or out of that range, makes the line
// no record (a status byte of 300 or a negative duration is damage, not a run).
bool Integer(const json& object, const char* key, int64_t low, int64_t high, int64_t& out) {
    const json& value = object.at(key);
    if (value.is_number_unsigned()) {
        if (value.get<uint64_t>() > uint64_t(high))
            return false;
        out = int64_t(value.get<uint64_t>());
    } else if (value.is_number_integer()) {
        out = value.get<int64_t>();
    } else {
        return false;
    }
    return out >= low && out <= high;
}

// The utility of a start record; what records written before lacked reads as "" (the maker as
// unknown), and a signer or fingerprint written as null (for none) as "".
RunUtility UtilityOf(const json& utility) {
    RunUtility named;
    named.Model = Text(utility, "model");
    named.NewRevision = Text(utility, "new_revision");
    named.ImageSha256 = Text(utility, "image_sha256");
    named.SentSha256 = utility.value("sent_sha256", "");
    named.File = utility.value(JsonKey::File, "");
    named.FileSha256 = utility.value(JsonKey::FileSha256, "");
    if (utility.contains(JsonKey::Maker))
        named.Maker = TextOrNull(utility, JsonKey::Maker);
    if (const auto signature = utility.find(JsonKey::Signature); signature != utility.end() && signature->is_object()) {
        named.Verdict = signature->value(JsonKey::Verdict, "");
        named.Signer = TextOrEmpty(*signature, JsonKey::Signer);
        named.Fingerprint = TextOrEmpty(*signature, JsonKey::Fingerprint);
    }
    return named;
}

}  // namespace

RunFailure FailureOf(const FailedCommand& failed) {
    RunFailure failure;
    failure.Command = failed.Name;
    failure.Cdb = HexBytes(failed.Sent.Cdb.data(), failed.Sent.Cdb.size());
    failure.Category = CategoryName(failed.Result.Category);
    failure.Status = failed.Result.Status;
    failure.SystemError = failed.Result.SystemError;
    const CommandResult& r = failed.Result;
    if (r.SenseKey != 0 || r.Asc != 0 || r.Ascq != 0) {
        char code[16];
        std::snprintf(code, sizeof code, "%02X/%02X/%02X", r.SenseKey, r.Asc, r.Ascq);
        failure.Sense = code;
        failure.SenseText = SenseInWords(r.SenseKey, r.Asc, r.Ascq);
    }
    return failure;
}

std::string StartLine(const RunStart& start) {
    const json record = {
        {"record", "start"},
        {"run", start.Run},
        {"time", start.Time},
        {"version", start.Version},
        {"rehearsal", start.Rehearsal},
        {"utility",
         {{"model", start.Utility.Model},
          {JsonKey::Maker, OrNull(start.Utility.Maker)},
          {"new_revision", start.Utility.NewRevision},
          {"image_sha256", start.Utility.ImageSha256},
          {"sent_sha256", start.Utility.SentSha256},
          {JsonKey::File, start.Utility.File},
          {JsonKey::FileSha256, start.Utility.FileSha256},
          {JsonKey::Signature, SignatureJson(start.Utility.Verdict, start.Utility.Signer, start.Utility.Fingerprint)}}},
        {"drive",
         {{"device", start.Drive.Device},
          {JsonKey::DeviceId, start.Drive.DeviceId ? json(*start.Drive.DeviceId) : json(nullptr)},
          {JsonKey::Serial, start.Drive.Serial ? json(*start.Drive.Serial) : json(nullptr)},
          {"identity", start.Drive.Identity},
          {JsonKey::Vendor, start.Drive.Vendor},  // the drive's INQUIRY vendor
          {"product", start.Drive.Product},
          {"revision", start.Drive.Revision},
          {"virtual", start.Drive.Virtual}}},
    };
    return Dump(record) + "\n";
}

std::string EndLine(const RunEnd& end) {
    json failure = nullptr;
    if (end.Failure) {
        const RunFailure& f = *end.Failure;
        failure = {{"command", f.Command},         {"cdb", f.Cdb},
                   {"category", SnakeCase(f.Category)}, {"status", f.Status},
                   {JsonKey::Sense, SenseJsonOfCode(f.Sense)},
                   // Kept for readers of earlier records: the sense's words, also in "sense".
                   {"sense_text", f.SenseText.empty() ? json(nullptr) : json(f.SenseText)},
                   {JsonKey::SystemError, f.SystemError}};
    }
    const json record = {
        {"record", "end"},
        {"run", end.Run},
        {"time", end.Time},
        {JsonKey::Outcome, SnakeCase(end.Outcome)},
        {JsonKey::Step, SnakeCase(end.Step)},
        {"status", end.Status},
        {"revision_after", OrNull(end.RevisionAfter)},
        {"identity_after", OrNull(end.IdentityAfter)},
        {"duration_ms", end.DurationMs},
        {"failure", failure},
    };
    return Dump(record) + "\n";
}

ParsedRecord ParseRecord(const std::string& line) {
    ParsedRecord parsed;
    const json record = json::parse(line, nullptr, false);
    if (record.is_discarded() || !record.is_object())
        return parsed;
    try {
        const std::string kind = Text(record, "record");
        if (kind == "start") {
            RunStart start;
            start.Run = Text(record, "run");
            start.Time = Text(record, "time");
            start.Version = Text(record, "version");
            start.Rehearsal = record.at("rehearsal").get<bool>();
            start.Utility = UtilityOf(record.at("utility"));
            const json& drive = record.at("drive");
            start.Drive = {Text(drive, "device"), Text(drive, "identity"), Text(drive, JsonKey::Vendor),
                           Text(drive, "product"), Text(drive, "revision")};
            start.Drive.Virtual = drive.value("virtual", false);
            if (drive.contains(JsonKey::DeviceId))
                start.Drive.DeviceId = TextOrNull(drive, JsonKey::DeviceId);
            if (drive.contains(JsonKey::Serial))
                start.Drive.Serial = TextOrNull(drive, JsonKey::Serial);
            if (!start.Run.empty())
                parsed.Start = std::move(start);
        } else if (kind == "end") {
            RunEnd end;
            end.Run = Text(record, "run");
            end.Time = Text(record, "time");
            // Records written before the names were snake_case hold "failed-before-commit".
            end.Outcome = HyphenCase(Text(record, "outcome"));
            end.Step = HyphenCase(Text(record, "step"));
            end.Status = Text(record, "status");
            end.RevisionAfter = TextOrNull(record, "revision_after");
            end.IdentityAfter = TextOrNull(record, "identity_after");
            if (!Integer(record, "duration_ms", 0, INT64_MAX, end.DurationMs))
                return {};
            if (const json& f = record.at("failure"); !f.is_null()) {
                RunFailure failure;
                failure.Command = Text(f, "command");
                failure.Cdb = Text(f, "cdb");
                failure.Category = HyphenCase(Text(f, "category"));
                int64_t number = 0;
                if (!Integer(f, "status", 0, 255, number))
                    return {};
                failure.Status = int(number);
                // "05/24/00" in earlier records, {key, asc, ascq, words} now; null for none.
                const json& sense = f.at("sense");
                const std::optional<SenseCode> code = ParseSense(sense);
                if (!sense.is_null() && !code)
                    return {};
                failure.Sense = code ? SenseCodeText(*code) : "";
                // The words: "sense_text" in earlier records, in the sense object now.
                if (f.contains("sense_text"))
                    failure.SenseText = TextOrNull(f, "sense_text").value_or("");
                if (failure.SenseText.empty() && sense.is_object())
                    failure.SenseText = Text(sense, "words");
                if (!Integer(f, "system_error", INT32_MIN, INT32_MAX, number))
                    return {};
                failure.SystemError = int(number);
                end.Failure = std::move(failure);
            }
            if (!end.Run.empty())
                parsed.End = std::move(end);
        }
    } catch (const json::exception&) {
        return {};
    }
    return parsed;
}

namespace {

// Follows the parser's events up to the two top-level keys, and stops there: the program
// writes them first, so the rest of the line is not even read. A value that is not a string
// is none.
class RecordKeyScan final : public nlohmann::json_sax<json> {
public:
    bool TopObject = false;
    bool Found = false;  // both keys have a string: parsing stopped there
    std::optional<std::string> Record, Run;

    bool null() override { return Value(); }
    bool boolean(bool) override { return Value(); }
    bool number_integer(number_integer_t) override { return Value(); }
    bool number_unsigned(number_unsigned_t) override { return Value(); }
    bool number_float(number_float_t, const string_t&) override { return Value(); }
    bool string(string_t& text) override {
        if (Depth_ == 1 && Pending_)
            *Pending_ = std::move(text);
        Pending_ = nullptr;
        Found = Record && Run;
        return !Found;
    }
    bool binary(binary_t&) override { return Value(); }
    bool start_object(std::size_t) override {
        if (Depth_ == 0)
            TopObject = true;
        Value();
        ++Depth_;
        return true;
    }
    bool key(string_t& name) override {
        if (Depth_ == 1)
            Pending_ = name == "record" ? &Record : name == "run" ? &Run : nullptr;
        return true;
    }
    bool end_object() override { return --Depth_, true; }
    bool start_array(std::size_t) override {
        Value();
        ++Depth_;
        return true;
    }
    bool end_array() override { return --Depth_, true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    // A value other than a string: the pending key has none.
    bool Value() {
        if (Depth_ == 1 && Pending_)
            Pending_->reset();
        Pending_ = nullptr;
        return true;
    }
    int Depth_ = 0;
    std::optional<std::string>* Pending_ = nullptr;
};

}  // namespace

RecordKey ScanRecord(const std::string& line) {
    RecordKeyScan scan;
    const bool whole = json::sax_parse(line, &scan, json::input_format_t::json, true, false);
    if (!(whole || scan.Found) || !scan.TopObject || !scan.Record || !scan.Run)
        return {};
    if (*scan.Record == "start" && !scan.Run->empty())
        return {RecordKind::Start, std::move(*scan.Run)};
    if (*scan.Record == "end")
        return {RecordKind::End, std::move(*scan.Run)};
    return {};
}
