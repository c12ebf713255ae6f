// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/JsonEvents.h"

#include "platform/JsonKeys.h"
#include "platform/JsonVocabulary.h"
#include "platform/SenseWords.h"

#include <nlohmann/json.hpp>

#include "app/terminal/FailureWords.h"
#include "flash/FlashTexts.h"
#include "flash/RunNames.h"
#include "base/UtcTime.h"

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
                {JsonKey::Sense, SenseJson(result.SenseKey, result.Asc, result.Ascq)},
                {JsonKey::SystemError, result.SystemError},
                {"delivered", result.Delivered()}};
    // Earlier spellings, kept one release: the sense as "KK/AA/QQ", "sense_text", "error".
    out["sense_code"] = TwoDigits(result.SenseKey & 0x0F) + "/" + TwoDigits(result.Asc) + "/" + TwoDigits(result.Ascq);
    if (result.SenseKey != 0 || result.Asc != 0 || result.Ascq != 0)
        out["sense_text"] = SenseInWords(result.SenseKey, result.Asc, result.Ascq);
    out["error"] = result.SystemError;
    return out;
}

// Why a drive was not flashed, could not be reached, or did not complete; "" for one that
// completed or rehearsed. A failed run names its outcome and the command the drive refused.
std::string CauseOf(const SessionDrive& drive, DriveEnding ending) {
    if (!drive.Problem.empty())
        return drive.Problem;
    if (!drive.Refusal.empty())
        return drive.Refusal;
    if (!drive.SkipReason.empty())
        return drive.SkipReason;
    if (Succeeded(ending))
        return drive.Report ? UnconfirmedCause(*drive.Report) : "";
    std::string cause = EndingWords(drive);
    if (!drive.Report)
        return cause;
    const std::string prefix = drive.Device + ": ";
    if (std::string words = DriveFailureInWords(drive.Device, *drive.Report); !words.empty())
        return cause + ": " + (words.rfind(prefix, 0) == 0 ? words.substr(prefix.size()) : words);
    return drive.Report->Status.empty() ? cause : cause + ": " + drive.Report->Status;
}

// Unknown is null, never an empty text.
json TextOrNull(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }
json TextOrNull(const std::optional<std::string>& text) { return text ? json(*text) : json(nullptr); }

// The drive's node, and beside it what names the drive itself across renumbered nodes.
json DriveNamed(const SessionDrive& drive) {
    return {{JsonKey::Device, drive.Device}, {JsonKey::DeviceId, TextOrNull(drive.DeviceId)},
            {JsonKey::Serial, TextOrNull(drive.Serial)}};
}

// "1.00-1.10", as a copy's facts give it; null when any revision is taken.
json RangeText(const IdentityTexts& utility) {
    if (utility.AnyFirmware)
        return nullptr;
    return utility.RangeLow + "-" + utility.RangeHigh;
}

// With a folder: the utility a drive gets (its file, digest, maker, new revision and signer); null for none.
json UtilityOf(const SessionDrive& drive) {
    if (!drive.Utility)
        return nullptr;
    const CatalogueUtility& utility = *drive.Utility;
    return {{JsonKey::File, utility.Copy.FullPath},
            {JsonKey::FileSha256, utility.Copy.Sha256},
            {JsonKey::Maker, utility.Texts.VendorText},
            {JsonKey::NewRevision, utility.NewRevision},
            {JsonKey::Signature,
             SignatureJson(VerdictName(utility.Verdict.Result), utility.Verdict.Signer, utility.Verdict.Fingerprint)}};
}

json DriveOf(const SessionDrive& drive, bool folder) {
    json out = DriveNamed(drive);
    out["identity"] = drive.Identity;
    out["revision"] = drive.Revision;
    out["flash"] = drive.Chosen();
    if (!drive.Chosen())
        out["skip_reason"] = drive.Unreached ? drive.Problem : drive.SkipReason;
    if (folder)
        out["utility"] = UtilityOf(drive);
    return out;
}

}  // namespace

void JsonEvents::Write(const json& event) {
    // Every line names its schema first, so a reader can check it before anything else.
    json named = {{JsonKey::Schema, JsonSchemaName::Event}, {JsonKey::Time, UtcTimeNow()}};
    for (const auto& [key, value] : event.items())
        named[key] = value;
    // ensure_ascii with replacement: drive answers are bytes, not always valid text.
    const std::string line = named.dump(-1, ' ', true, json::error_handler_t::replace) + "\n";
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
                         const std::vector<SessionDrive>& drives, bool rehearsal) {
    json list = json::array();
    for (const SessionDrive& drive : drives)
        list.push_back(DriveOf(drive, Folder_.has_value()));
    if (Folder_) {
        Write({{"event", "run_started"}, {"folder", *Folder_}, {"rehearsal", rehearsal}, {"drives", list}});
        return;
    }
    Write({{"event", "run_started"},
           {"utility",
            {{JsonKey::Maker, utility.VendorText},
             {JsonKey::Vendor, utility.VendorText},  // the earlier spelling of maker, one release
             {"model", utility.ModelText},
             {"inquiry", utility.InquiryText},
             {JsonKey::RevisionRange, RangeText(utility)},
             {"firmware_range", {utility.RangeLow, utility.RangeHigh}},  // the earlier spelling, one release
             {JsonKey::NewRevision, newRevision},
             {JsonKey::File, File_},
             {JsonKey::FileSha256, FileSha256_},
             {JsonKey::Signature, SignatureJson(VerdictName(Verdict_.Result), Verdict_.Signer, Verdict_.Fingerprint)}}},
           {"rehearsal", rehearsal},
           {"drives", list}});
}

void JsonEvents::NameFolder(const Catalogue& folder) {
    json skipped = json::array();
    for (const CatalogueSkip& skip : folder.Skipped)
        skipped.push_back({{JsonKey::File, folder.Folder + "/" + skip.Name}, {"reason", skip.Reason}});
    json utilities = json::array();
    for (const CatalogueUtility& utility : folder.Utilities)
        utilities.push_back(utility.Copy.FullPath);
    Folder_ = json{{"path", folder.Folder}, {"utilities", utilities}, {"skipped", skipped},
                   {"truncated", folder.Truncated}};
}

void JsonEvents::NameUtility(const std::string& file, const std::string& fileSha256, const CopyVerdict& verdict) {
    File_ = file;
    FileSha256_ = fileSha256;
    Verdict_ = verdict;
}

void JsonEvents::Step(const std::string& device, const RunStatus& status) {
    // A run stopped before its first phase (an interrupt while the drive gets ready) entered
    // none: its drive_finished event says where it ended.
    if (Compact_ || !status.Phase)
        return;
    // "step" is the earlier spelling of the phase, kept one release: the history's "step" is where a run ended.
    Write({{"event", "step"},
           {"device", device},
           {"phase", PhaseKey(status)},
           {"step", PhaseKey(status)},
           {"status", FlashTexts::CaptionOf(status)}});
}

// Every tenth, and the start of each pass (upload, read-back, commit), so that a pass that
// starts again at 0 is seen as a new one.
void JsonEvents::Progress(const std::string& device, int percent) {
    if (Compact_)
        return;
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

void JsonEvents::Finished(const SessionDrive& drive) {
    json event = {{"event", "drive_finished"}};
    event.update(DriveNamed(drive));
    event[JsonKey::Identity] = drive.Identity;
    event[JsonKey::Outcome] = EndingKey(EndingOf(drive));
    event[JsonKey::RevisionBefore] = drive.Revision;
    event[JsonKey::RevisionAfter] = TextOrNull(drive.RevisionAfter);
    if (drive.Report) {
        event["status"] = drive.Report->Status;
        event[JsonKey::Step] = StepKey(drive.Report->Step);
        event[JsonKey::IdentityAfter] = TextOrNull(drive.Report->NewIdentity);
        event["new_identity"] = drive.Report->NewIdentity;  // the earlier spelling, one release
        event["failure"] = drive.Report->Failure ? FailureOf(*drive.Report->Failure) : json(nullptr);
    }
    if (Folder_)
        event["utility"] = UtilityOf(drive);
    if (!drive.Refusal.empty())
        event["refusal"] = drive.Refusal;
    if (!drive.Problem.empty())
        event["cause"] = drive.Problem;
    else if (drive.Report && !UnconfirmedCause(*drive.Report).empty())
        event["cause"] = UnconfirmedCause(*drive.Report);
    Write(event);
}

void JsonEvents::Summary(const std::vector<SessionDrive>& drives, int exitCode) {
    json list = json::array();
    // Each drive in exactly one count: a rehearsal is not a completed flash, and a drive beyond
    // a full list was never looked at, so neither is counted as completed or failed.
    int completed = 0, rehearsed = 0, failed = 0, skipped = 0, leftOut = 0;
    for (const SessionDrive& drive : drives) {
        const DriveEnding ending = EndingOf(drive);
        json entry = DriveNamed(drive);
        entry[JsonKey::Identity] = drive.Identity;
        entry[JsonKey::RevisionBefore] = drive.Revision;
        entry[JsonKey::RevisionAfter] = TextOrNull(drive.RevisionAfter);
        entry[JsonKey::Outcome] = EndingKey(ending);
        if (const std::string cause = CauseOf(drive, ending); !cause.empty())
            entry["cause"] = cause;
        if (Folder_)
            entry["utility"] = UtilityOf(drive);
        list.push_back(std::move(entry));
        int& count = ending == DriveEnding::Completed   ? completed
                     : ending == DriveEnding::Rehearsed ? rehearsed
                     : ending == DriveEnding::Skipped   ? skipped
                     : ending == DriveEnding::LeftOut   ? leftOut
                                                        : failed;
        ++count;
    }
    Write({{"event", "summary"}, {"exit_code", exitCode}, {"completed", completed}, {"rehearsed", rehearsed},
           {"failed", failed}, {"skipped", skipped}, {"left_out", leftOut}, {"drives", list}});
}
