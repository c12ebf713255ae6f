// SPDX-License-Identifier: Apache-2.0
#include "app/commands/JsonEvents.h"

#include "platform/SenseWords.h"

#include <nlohmann/json.hpp>

#include "flash/FlashTexts.h"

using json = nlohmann::ordered_json;

namespace {

const char* KindKey(MessageKind kind) {
    switch (kind) {
    case MessageKind::Information: return "information";
    case MessageKind::Warning: return "warning";
    case MessageKind::Error: return "error";
    case MessageKind::Confirmation: return "confirmation";
    case MessageKind::Plain: break;
    }
    return "plain";
}

std::string Hex(const uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string TwoDigits(uint8_t value) { return Hex(&value, 1); }

// The command that failed and how: its CDB, the sense in numbers and in words, the system error.
json FailureOf(const FailedCommand& failure) {
    const CommandResult& result = failure.Result;
    json out = {{"command", failure.Name},
                {"cdb", Hex(failure.Sent.Cdb.data(), failure.Sent.Cdb.size())},
                {"status", result.Status},
                {"sense", TwoDigits(result.SenseKey & 0x0F) + "/" + TwoDigits(result.Asc) + "/" +
                              TwoDigits(result.Ascq)},
                {"error", result.SystemError},
                {"delivered", result.Delivered()}};
    if (result.SenseKey != 0 || result.Asc != 0 || result.Ascq != 0) {
        out["sense_text"] = SenseInWords(result.SenseKey, result.Asc, result.Ascq);
    }
    return out;
}

json DriveOf(const FleetDrive& drive) {
    json out = {{"device", drive.Device}, {"identity", drive.Identity}, {"revision", drive.Revision},
                {"flash", drive.Chosen()}};
    if (!drive.Chosen())
        out["skip_reason"] = drive.ProblemKey.empty() ? drive.SkipReason : drive.Problem;
    return out;
}

}  // namespace

void JsonEvents::Write(const json& event) {
    // ensure_ascii with replacement: drive answers are bytes, not always valid text.
    const std::string line = event.dump(-1, ' ', true, json::error_handler_t::replace) + "\n";
    const std::lock_guard<std::mutex> lock(Mutex_);
    std::fwrite(line.data(), 1, line.size(), Out_);
    std::fflush(Out_);
}

void JsonEvents::Answered(Question question, const std::string& text, bool yes, const std::string& how) {
    Write({{"event", "question"}, {"question", QuestionKey(question)}, {"text", text},
           {"answer", yes ? "yes" : "no"}, {"answered_by", how}});
}

void JsonEvents::Message(const std::string& device, MessageKind kind, const std::string& text) {
    json event = {{"event", "message"}, {"kind", KindKey(kind)}, {"text", text}};
    if (!device.empty())
        event["device"] = device;
    Write(event);
}

void JsonEvents::Started(const IdentityTexts& utility, const std::string& newRevision,
                         const std::vector<FleetDrive>& drives, bool rehearsal) {
    json list = json::array();
    for (const FleetDrive& drive : drives)
        list.push_back(DriveOf(drive));
    Write({{"event", "run_started"},
           {"utility",
            {{"vendor", utility.VendorText},
             {"model", utility.ModelText},
             {"inquiry", utility.InquiryText},
             {"firmware_range", {utility.RangeLow, utility.RangeHigh}},
             {"new_revision", newRevision},
             {"file", File_},
             {"file_sha256", FileSha256_},
             {"signature",
              {{"verdict", VerdictName(Verdict_.Result)},
               {"signer", Verdict_.Signer},
               {"fingerprint", Verdict_.Fingerprint}}}}},
           {"rehearsal", rehearsal},
           {"drives", list}});
}

void JsonEvents::NameUtility(const std::string& file, const std::string& fileSha256, const CopyVerdict& verdict) {
    File_ = file;
    FileSha256_ = fileSha256;
    Verdict_ = verdict;
}

void JsonEvents::Step(const std::string& device, const std::string& status) {
    Write({{"event", "step"}, {"device", device}, {"step", StepKey(status)}, {"status", status}});
}

// Every tenth, and the start of each pass (upload, read-back, commit), so that a pass that
// starts again at 0 is seen as a new one.
void JsonEvents::Progress(const std::string& device, int percent) {
    const int tenth = percent / 10;
    {
        const std::lock_guard<std::mutex> lock(Mutex_);
        auto [last, fresh] = LastTenth_.try_emplace(device, -1);
        if (!fresh && tenth == last->second)
            return;
        last->second = tenth;
    }
    Write({{"event", "progress"}, {"device", device}, {"percent", tenth * 10}});
}

void JsonEvents::Finished(const FleetDrive& drive) {
    json event = {{"event", "drive_finished"}, {"device", drive.Device},    {"identity", drive.Identity},
                  {"outcome", OutcomeKey(drive)}, {"revision_before", drive.Revision},
                  {"revision_after", drive.RevisionAfter}};
    if (drive.Report) {
        event["status"] = drive.Report->Status;
        event["new_identity"] = drive.Report->NewIdentity;
        event["failure"] = drive.Report->Failure ? FailureOf(*drive.Report->Failure) : json(nullptr);
    }
    if (!drive.Refusal.empty())
        event["refusal"] = drive.Refusal;
    if (!drive.Problem.empty())
        event["cause"] = drive.Problem;
    Write(event);
}

void JsonEvents::Summary(const std::vector<FleetDrive>& drives, int exitCode) {
    json list = json::array();
    int completed = 0, failed = 0, skipped = 0;
    for (const FleetDrive& drive : drives) {
        const std::string outcome = OutcomeKey(drive);
        json entry = {{"device", drive.Device}, {"identity", drive.Identity}, {"revision_before", drive.Revision},
                      {"revision_after", drive.RevisionAfter}, {"outcome", outcome}};
        // Why a drive was not flashed or could not be reached.
        if (const std::string& cause = !drive.Problem.empty() ? drive.Problem
                                       : !drive.Refusal.empty() ? drive.Refusal
                                                                 : drive.SkipReason;
            !cause.empty())
            entry["cause"] = cause;
        list.push_back(std::move(entry));
        if (outcome == "completed" || outcome == "rehearsed")
            ++completed;
        else if (outcome == "skipped")
            ++skipped;
        else
            ++failed;
    }
    Write({{"event", "summary"}, {"exit_code", exitCode}, {"completed", completed}, {"failed", failed},
           {"skipped", skipped}, {"drives", list}});
}
