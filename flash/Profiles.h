// SPDX-License-Identifier: Apache-2.0
#pragma once
// The flash-chip profile of a profile or DVD image: read the chip's identity, pick the
// matching profile, upload it, and later check that the drive holds it.

#include <cstdint>
#include <span>
#include <vector>

#include "flash/DriveCommands.h"
#include "flash/ImageKind.h"

// The profile as it was prepared and uploaded.
struct PreparedProfile {
    std::vector<uint8_t> Bytes;     // what was uploaded (its length is the upload's)
    bool Matched = false;           // an entry of the table matched the chip
    uint32_t Offset = 0;            // where the matched blob starts in the carried profiles
    uint32_t HeaderLength = 0;      // bytes before the blob in Bytes
};

// Reads the flash ID, prepares the profile for the chip (or the no-match header) from blobs
// (Profiles::DataSize bytes, the four blobs back to back) and uploads it. False when a
// command failed; its message has been shown.
bool SetupFlashProfile(DriveCommands& commands, const ImageKind& kind, std::span<const uint8_t> blobs,
                       PreparedProfile& profile);

// Checks the uploaded profile: a profile image's is read back from the drive; a DVD image's
// prepared copy is checked against the carried blob. False on a failure or a difference.
bool ReadVerifyProfile(DriveCommands& commands, const ImageKind& kind, std::span<const uint8_t> blobs,
                       const PreparedProfile& profile);
