// SPDX-License-Identifier: Apache-2.0
// flashutil --info [--json] [FILE]: what this program, or another copy in FILE, is and what
// it would do to a drive, read from its identity block, image and areas alone. Nothing is
// sent to any drive and nothing of FILE is run.

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "flash/UtilityFacts.h"
#include "trust/CopyVerdict.h"
#include "trust/TrustedKeys.h"
#include "platform/PrintableText.h"
#include "platform/JsonKeys.h"
#include "app/commands/Commands.h"
#include "areas/UtilityFile.h"

namespace {

using json = nlohmann::ordered_json;

json TextOrNull(bool known, const std::string& text) { return known ? json(text) : json(nullptr); }

bool Signed(const CopyVerdict& verdict) {
    return verdict.Result == CopyVerdict::State::Trusted || verdict.Result == CopyVerdict::State::Untrusted;
}

// What an earlier version's seal or signature leaves out, when it covers less than a run sends.
std::string OnlyOver(bool coversLess, uint32_t covered, uint32_t sent) {
    if (!coversLess)
        return {};
    return " (made by an earlier version: it covers only the first " + std::to_string(covered) + " of the " +
           std::to_string(sent) + " bytes sent)";
}

json InfoDocument(const UtilityCopy& subject, const UtilityFacts& facts, const CopyVerdict& verdict) {
    const bool built = !facts.Blank;
    json image = nullptr;
    if (built)
        image = {
            {"length", facts.ImageLength},
            {"fits", facts.ImageFits},
            {"sha256", TextOrNull(facts.ImageFits, facts.ImageSha256)},
            {"sent_length", facts.SentLength},
            {"sent_sha256", TextOrNull(facts.ImageFits, facts.SentSha256)},
            {"kind", KindName(facts.ImageKind)},
            {"dvd_model", TextOrNull(facts.ImageKind == UtilityFacts::Kind::Dvd, facts.DvdModel)},
        };
    return {
        {JsonKey::Schema, JsonSchemaName::Info},
        {JsonKey::File, TextOrNull(!subject.File.empty(), subject.File)},
        {"copy", built ? "built" : "blank"},
        {"built_by", facts.BuiltBy ? json(*facts.BuiltBy) : json(nullptr)},
        {"model", TextOrNull(built, facts.Model)},
        {JsonKey::Maker, TextOrNull(built, facts.Vendor)},
        {JsonKey::Vendor, TextOrNull(built, facts.Vendor)},  // the earlier spelling of maker, one release
        {"inquiry", TextOrNull(built && !facts.AnyProduct, facts.Inquiry)},
        {"any_drive", built && facts.AnyProduct},
        {"revision_range", TextOrNull(built && !facts.AnyRevision, facts.FwRange)},
        {"any_revision", built && facts.AnyRevision},
        {"new_revision", TextOrNull(built, facts.NewRevision)},
        {"note", TextOrNull(built, facts.Note)},
        {"image", image},
        {"flash_all", built && facts.FlashAll},
        {"seal", SealName(facts.Seal)},
        {"seal_problem", TextOrNull(facts.Seal == UtilityFacts::SealState::Damaged, facts.SealProblem)},
        {"seal_covers", facts.Seal == UtilityFacts::SealState::Valid && built ? json(facts.SealCovers) : json(nullptr)},
        {"maker_profiles", facts.MakerProfiles},
        {JsonKey::FileSha256, TextOrNull(!subject.Sha256.empty(), subject.Sha256)},
        {JsonKey::Signature,
         {{JsonKey::Verdict, VerdictName(verdict.Result)},
          {JsonKey::Signer, TextOrNull(verdict.Result == CopyVerdict::State::Trusted, verdict.Signer)},
          {JsonKey::Fingerprint, TextOrNull(!verdict.Fingerprint.empty(), verdict.Fingerprint)},
          {"problem", TextOrNull(verdict.Result == CopyVerdict::State::Damaged, verdict.Cause)},
          {"covers", Signed(verdict) ? json(verdict.SignatureCovers) : json(nullptr)}}},
    };
}

// A copy's fields are whatever bytes its file holds: control characters are shown as '?', so
// a crafted file cannot send the terminal escape sequences.
void Row(const char* label, const std::string& value) {
    std::printf("%-18s%s\n", label, PrintableText(value).c_str());
}

void PrintText(const UtilityCopy& subject, const UtilityFacts& facts, const CopyVerdict& verdict) {
    Row("File:", subject.File.empty() ? "this program (its file is unknown)" : subject.File);
    Row("Copy:", facts.Blank ? "blank: it builds flash utilities and carries no firmware" : "built flash utility");
    Row("Built by:", facts.BuiltBy ? "flashutil " + *facts.BuiltBy : "unknown (a copy made before versions were recorded)");
    if (!facts.Blank) {
        Row("Model:", facts.Model);
        Row("Vendor:", facts.Vendor);
        Row("Drive (INQUIRY):", facts.AnyProduct ? "any" : "\"" + facts.Inquiry + "\"");
        Row("Revisions:", facts.AnyRevision ? "any" : facts.FwRange);
        Row("New revision:", facts.NewRevision);
        std::string kind = KindName(facts.ImageKind);
        if (facts.ImageKind == UtilityFacts::Kind::Dvd)
            kind = "DVD (" + (facts.DvdModel.empty() ? std::string("unknown model") : facts.DvdModel) + ")";
        Row("Image:", std::to_string(facts.ImageLength) + " bytes, " + kind +
                          (facts.ImageFits ? "" : " (the length does not fit the image area: a run refuses it)"));
        if (facts.ImageFits) {
            Row("Image SHA-256:", facts.ImageSha256);
            // A run sends whole chunks: the last one carries the image area's bytes after the image.
            const uint32_t after = facts.SentLength - facts.ImageLength;
            Row("Sent:", std::to_string(facts.SentLength) + " bytes, the image" +
                             (after == 0 ? std::string()
                                         : " and the " + std::to_string(after) +
                                               " bytes of the image area after it (its last chunk sent whole)"));
            Row("Sent SHA-256:", facts.SentSha256);
        }
        Row("Commit:", facts.FlashAll ? "FLASH-ALL" : "normal");
    }
    std::string seal = SealName(facts.Seal);
    if (facts.Seal == UtilityFacts::SealState::Damaged)
        seal += " (" + facts.SealProblem + ")";
    if (facts.Seal == UtilityFacts::SealState::Valid && !facts.Blank)
        seal += OnlyOver(facts.SealCovers < facts.SentLength, facts.SealCovers, facts.SentLength);
    Row("Seal:", seal);
    Row("Maker profiles:", facts.MakerProfiles ? "embedded" : "not embedded");
    Row("Signature:", VerdictLine(verdict) + OnlyOver(verdict.SignatureCoversLess, verdict.SignatureCovers, verdict.Sent));
    if (!subject.Sha256.empty())
        Row("File SHA-256:", subject.Sha256);
}

}  // namespace

int RunInfo(const Options& options) {
    UtilityCopy subject;
    std::string why;
    if (!LoadUtilityCopy(options.Subject.value_or(""), subject, why)) {
        std::fprintf(stderr, "flashutil: %s\n", why.c_str());
        return ExitCode::Failure;
    }
    const UtilityFacts facts = DescribeUtility(subject.View(), subject.Areas.Seal, subject.Areas.Version, subject.Areas.PlaceDamage);
    const CopyVerdict verdict = JudgeCopy(subject.Areas, InstalledTrustedKeys());
    if (options.Json)
        std::printf("%s\n",
                    InfoDocument(subject, facts, verdict).dump(2, ' ', false, json::error_handler_t::replace).c_str());
    else
        PrintText(subject, facts, verdict);
    return ExitCode::Success;
}
