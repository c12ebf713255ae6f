// SPDX-License-Identifier: Apache-2.0
#include "areas/Seal.h"

#include <algorithm>
#include <cstring>

#include "base/LittleEndian.h"
#include "base/Sha256.h"
#include "areas/EmbeddedArea.h"
#include "ui/Translate.h"

// Named in the dynamic symbol table, so a reader of the file finds it where the program uses it.
extern "C" {
[[gnu::visibility("default"), gnu::used]] alignas(64) constinit EmbeddedArea<SealLayout::Size> flashutil_seal_area =
    MakeEmbeddedArea<SealLayout::Size>("SEALBLK", SealLayout::VersionOffset, SealLayout::Version);
}

namespace {

using Digest = Sha256Bytes;
static_assert(SealLayout::DigestSize == std::tuple_size_v<Digest>);

// All zero when the library fails: never equal to a stored digest of real data, so a check then fails.
Digest Sha256(std::span<const uint8_t> a, std::span<const uint8_t> b = {}) { return Sha256Of({a, b}); }

// The flags and the profile bytes, as the third digest covers them.
Digest ProfilesDigest(const uint8_t* area) {
    return Sha256({area + SealLayout::FlagsOffset, 4}, {area + SealLayout::ProfilesOffset, Profiles::DataSize});
}

}  // namespace

const uint8_t* EmbeddedSealBytes() { return StoredBytes(flashutil_seal_area.Bytes); }

SealKeyWord OwnSealKeyWord() { return KeyWordOf<SealLayout::KeyWordSize>(EmbeddedSealBytes()); }

std::vector<uint8_t> MakeSeal(const SealKeyWord& keyWord, std::span<const uint8_t> fields,
                              std::span<const uint8_t> sent, std::span<const uint8_t> profiles) {
    std::vector<uint8_t> area(SealLayout::Size, 0);
    std::copy(keyWord.begin(), keyWord.end(), area.begin());
    PutLittle(area.data() + SealLayout::VersionOffset, SealLayout::Version);
    const bool withProfiles = profiles.size() == Profiles::DataSize;
    PutLittle(area.data() + SealLayout::FlagsOffset, SealLayout::Sealed | (withProfiles ? SealLayout::HasProfiles : 0));
    if (withProfiles)
        std::copy(profiles.begin(), profiles.end(), area.begin() + SealLayout::ProfilesOffset);
    const Digest imageDigest = Sha256(sent), fieldsDigest = Sha256(fields), profilesDigest = ProfilesDigest(area.data());
    std::copy(imageDigest.begin(), imageDigest.end(), area.begin() + SealLayout::ImageDigestOffset);
    std::copy(fieldsDigest.begin(), fieldsDigest.end(), area.begin() + SealLayout::FieldsDigestOffset);
    std::copy(profilesDigest.begin(), profilesDigest.end(), area.begin() + SealLayout::ProfilesDigestOffset);
    return area;
}

SealCheck CheckSeal(const IdentityBlock& utility, const uint8_t* seal) {
    using State = SealCheck::State;
    const uint32_t version = Little(seal + SealLayout::VersionOffset), flags = Little(seal + SealLayout::FlagsOffset);
    if ((version != SealLayout::Version && version != SealLayout::ImageOnlyVersion) ||
        seal[SealLayout::KeyWordSize] != 0)
        return {State::Damaged, N_("its seal area is malformed")};
    if (flags == 0) {
        // Unsealed only as the toolchain made it: anything left after the flags is damage.
        const uint8_t* rest = seal + SealLayout::ImageDigestOffset;
        if (std::any_of(rest, seal + SealLayout::Size, [](uint8_t b) { return b != 0; }))
            return {State::Damaged, N_("its seal area is malformed")};
        return {State::Unsealed, "", 0, utility.SentImageLength()};
    }
    if ((flags & SealLayout::Sealed) == 0 || (flags & ~(SealLayout::Sealed | SealLayout::HasProfiles)) != 0)
        return {State::Damaged, N_("its seal area is malformed")};
    if (utility.ImageLength() > Layout::ImageCapacity)
        return {State::Damaged, N_("the identity fields differ")};
    auto same = [&](const Digest& digest, std::size_t offset) {
        return std::memcmp(digest.data(), seal + offset, digest.size()) == 0;
    };
    if (!same(Sha256({utility.Raw() + Layout::KeyWordSize, Layout::FieldBytes}), SealLayout::FieldsDigestOffset))
        return {State::Damaged, N_("the identity fields differ")};
    // An earlier version's seal covers the image alone; this version's every byte sent.
    const uint32_t sent = utility.SentImageLength();
    const uint32_t covered = version == SealLayout::ImageOnlyVersion ? utility.ImageLength() : sent;
    if (!same(Sha256({utility.Image(), covered}), SealLayout::ImageDigestOffset))
        return {State::Damaged, covered > utility.ImageLength() ? N_("the firmware image or the bytes sent after it differ")
                                                                : N_("the firmware image differs")};
    if (!same(ProfilesDigest(seal), SealLayout::ProfilesDigestOffset))
        return {State::Damaged, N_("the flash-chip profiles differ")};
    return {State::Intact, "", covered, sent};
}

SealCheck JudgeSeal(const IdentityBlock& utility, const uint8_t* seal, const uint8_t* version,
                    const std::string& placeDamage) {
    using State = SealCheck::State;
    if (!placeDamage.empty())
        return {State::Damaged, placeDamage};
    if (!seal)
        return version ? SealCheck{State::Damaged, N_("its seal area is missing")} : SealCheck{State::Unsealed, ""};
    SealCheck check = CheckSeal(utility, seal);
    if (check.Result == State::Unsealed && !utility.IsBlankCopy())
        return {State::Damaged, N_("its seal is blank")};
    return check;
}

std::span<const uint8_t> SealedProfiles(const uint8_t* seal) {
    if ((Little(seal + SealLayout::FlagsOffset) & SealLayout::HasProfiles) == 0)
        return {};
    return {seal + SealLayout::ProfilesOffset, Profiles::DataSize};
}
