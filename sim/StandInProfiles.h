// SPDX-License-Identifier: Apache-2.0
#pragma once
// Stand-ins for the maker's four flash-chip profile blobs, for the virtual drive only: the
// virtual platform hands them to a flash run that carries no maker's profiles, so trying
// and testing a profile or DVD image works without them. No other platform has them, so
// they can never reach a real drive.

#include <cstdint>
#include <span>

#include "areas/ProfileBlobs.h"

// Profiles::DataSize bytes, the four blobs back to back with the tags of blobs C and D.
std::span<const uint8_t> StandInProfiles();
