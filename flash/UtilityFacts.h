// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a copy of the program is and what it would do to a drive, read from its identity
// block, image, seal area and version area alone: nothing is sent anywhere. --info shows
// these facts; a run's history record names the utility by some of them.

#include <cstdint>
#include <optional>
#include <string>

#include "areas/IdentityBlock.h"

struct UtilityFacts {
    enum class Kind { Plain, Profile, Dvd };
    enum class SealState { Valid, Damaged, Absent };

    bool Blank = false;                  // a blank copy: it builds utilities and carries no image
    std::optional<std::string> BuiltBy;  // the version that built it (a blank copy: its own); unknown when empty

    // The identity fields (meaningless in a blank copy).
    std::string Model, Vendor, Inquiry, FwRange, Note;
    std::string NewRevision;  // the revision the run compares with and installs (four characters)
    bool AnyProduct = false;  // "--" at the start of Inquiry: any drive
    bool AnyRevision = false; // the revision range accepts any revision
    bool FlashAll = false;    // the commit is the FLASH-ALL form

    uint32_t ImageLength = 0;  // as stored
    bool ImageFits = false;    // 1 .. the area's capacity: a length a run accepts
    std::string ImageSha256;   // of the stored length's bytes; "" when the length does not fit
    // What a run sends of the image area: the image's chunks whole, so the last one carries
    // the area's bytes after the image (0 and "" when the length does not fit).
    uint32_t SentLength = 0;
    std::string SentSha256;
    Kind ImageKind = Kind::Plain;
    std::string DvdModel;      // the DVD model a DVD image names

    SealState Seal = SealState::Absent;
    std::string SealProblem;    // what differs, when damaged
    uint32_t SealCovers = 0;    // of the bytes sent, how many a valid seal covers (fewer: an earlier version's)
    bool MakerProfiles = false; // the seal area carries the maker's flash-chip profiles
};

// seal and version point at the copy's areas, or are null when the copy has none; placeDamage
// is why the places of its areas can't be trusted ("" when they can).
UtilityFacts DescribeUtility(const IdentityBlock& block, const uint8_t* seal, const uint8_t* version,
                             const std::string& placeDamage);

// The SHA-256 of the image's stored length (64 hex digits); "" when the length does not fit
// the image area.
std::string ImageSha256Of(const IdentityBlock& block);

// The SHA-256 of the bytes of the image area a run sends (64 hex digits); "" when the length
// does not fit the image area.
std::string SentSha256Of(const IdentityBlock& block);

// "plain", "profile", "dvd".
const char* KindName(UtilityFacts::Kind kind);
// "valid", "damaged", "absent".
const char* SealName(UtilityFacts::SealState state);
