// SPDX-License-Identifier: Apache-2.0
#include "flash/UtilityFacts.h"

#include "flash/ImageKind.h"
#include "areas/Seal.h"
#include "areas/VersionArea.h"
#include "base/Sha256.h"

std::string ImageSha256Of(const IdentityBlock& block) {
    const uint32_t length = block.ImageLength();
    if (length == 0 || length > Layout::ImageCapacity)
        return {};
    return Sha256Hex(block.Image(), length);
}

std::string SentSha256Of(const IdentityBlock& block) {
    const uint32_t length = block.SentImageLength();
    return length == 0 ? std::string() : Sha256Hex(block.Image(), length);
}

UtilityFacts DescribeUtility(const IdentityBlock& block, const uint8_t* seal, const uint8_t* version,
                             const std::string& placeDamage) {
    UtilityFacts facts;
    facts.Blank = block.IsBlankCopy();
    if (version)
        facts.BuiltBy = VersionInArea(version);
    const SealCheck check = JudgeSeal(block, seal, version, placeDamage);
    switch (check.Result) {
    case SealCheck::State::Intact: facts.Seal = UtilityFacts::SealState::Valid; break;
    case SealCheck::State::Unsealed: facts.Seal = UtilityFacts::SealState::Absent; break;
    case SealCheck::State::Damaged: facts.Seal = UtilityFacts::SealState::Damaged; break;
    }
    facts.SealProblem = check.Cause;
    facts.SealCovers = check.Result == SealCheck::State::Intact ? check.Covered : 0;
    facts.MakerProfiles = seal && check.Result != SealCheck::State::Unsealed && !SealedProfiles(seal).empty();
    if (facts.Blank)
        return facts;

    facts.Model = block.Model();
    facts.Vendor = block.Vendor();
    facts.Inquiry = block.Inquiry();
    facts.FwRange = block.FwRange();
    facts.Note = block.Note();
    facts.NewRevision = block.NewFwName().substr(0, 4);  // what the run compares and installs
    facts.AnyProduct = block.AnyProduct();
    facts.AnyRevision = block.AnyFirmware();
    facts.FlashAll = block.FlashAll();

    facts.ImageLength = block.ImageLength();
    facts.ImageFits = facts.ImageLength != 0 && facts.ImageLength <= Layout::ImageCapacity;
    facts.ImageSha256 = ImageSha256Of(block);
    facts.SentLength = block.SentImageLength();
    facts.SentSha256 = SentSha256Of(block);
    const ImageKind kind = ImageKindOf(block);
    if (kind.Dvd) {
        facts.ImageKind = UtilityFacts::Kind::Dvd;
        facts.DvdModel = kind.DvdModel ? kind.DvdModel : "";
    } else if (kind.Profile) {
        facts.ImageKind = UtilityFacts::Kind::Profile;
    }
    return facts;
}

const char* KindName(UtilityFacts::Kind kind) {
    switch (kind) {
    case UtilityFacts::Kind::Plain: return "plain";
    case UtilityFacts::Kind::Profile: return "profile";
    case UtilityFacts::Kind::Dvd: return "dvd";
    }
    return "plain";
}

const char* SealName(UtilityFacts::SealState state) {
    switch (state) {
    case UtilityFacts::SealState::Valid: return "valid";
    case UtilityFacts::SealState::Damaged: return "damaged";
    case UtilityFacts::SealState::Absent: return "absent";
    }
    return "absent";
}
