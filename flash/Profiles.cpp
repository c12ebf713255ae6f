// SPDX-License-Identifier: Apache-2.0
#include "flash/Profiles.h"

#include <cstring>

#include "flash/FlashTexts.h"
#include "ui/Translate.h"
#include "flash/ProfileData.h"

namespace {
constexpr uint8_t NoMatchHeader[4] = {0xFF, 0xFF, 0x00, 0x00};

uint32_t RoundUpToEven(uint32_t n) { return n + (n & 1); }
}  // namespace

bool SetupFlashProfile(DriveCommands& commands, const ImageKind& kind, std::span<const uint8_t> blobs,
                       PreparedProfile& profile) {
    namespace P = FlashTexts::Prefix;
    profile = PreparedProfile{};
    if (!commands.Judged(Commands::ReadFlashId(), P::ReadFlashId))
        return false;
    uint8_t reply[4];
    std::memcpy(reply, commands.Drive().Buffer(), sizeof reply);

    // The first matching entry wins. Entries that do not match move the offset on by their
    // size, except the entry whose blob the next entry shares.
    uint32_t offset = 0;
    const Profiles::TableEntry* match = nullptr;
    for (std::size_t i = 0; i < Profiles::TableEntries; ++i) {
        const Profiles::TableEntry& entry = Profiles::ProfileTable[i];
        const bool chip = std::memcmp(reply, entry.ChipId, 2) == 0;
        const bool sub = std::memcmp(reply + 2, entry.SubId, 2) == 0;
        if (chip && (kind.Profile || (kind.Dvd && sub))) {
            match = &entry;
            break;
        }
        if (i != Profiles::SharedBlobEntry)
            offset += entry.Size();
    }
    profile.Offset = offset;
    profile.Matched = match != nullptr;

    std::vector<uint8_t>& bytes = profile.Bytes;
    uint32_t length = 0;
    if (match) {
        const uint32_t size = match->Size();
        bytes = {match->ChipId[0], match->ChipId[1]};
        if (kind.Dvd)
            bytes.insert(bytes.end(), {match->SubId[0], match->SubId[1]});
        bytes.insert(bytes.end(), {match->ProfileSize[0], match->ProfileSize[1]});
        profile.HeaderLength = uint32_t(bytes.size());
        bytes.insert(bytes.end(), blobs.begin() + offset, blobs.begin() + offset + size);
        bytes.push_back(0);  // the pad byte of an odd size
        // A DVD drive takes the rounded blob size as the whole upload, header included.
        length = kind.Dvd ? RoundUpToEven(size) : RoundUpToEven(size) + 4;
    } else {
        bytes.assign(std::begin(NoMatchHeader), std::end(NoMatchHeader));
        length = kind.Dvd ? 0 : 4;
    }
    bytes.resize(length);

    if (!commands.FitsTransferBuffer(length, P::WriteProfile))
        return false;
    if (length != 0)
        std::memcpy(commands.Drive().Buffer(), bytes.data(), length);
    return commands.Judged(Commands::WriteProfile(kind.Dvd, length), P::WriteProfile);
}

bool ReadVerifyProfile(DriveCommands& commands, const ImageKind& kind, std::span<const uint8_t> blobs,
                       const PreparedProfile& profile) {
    const uint32_t length = uint32_t(profile.Bytes.size());
    if (kind.Dvd) {
        // A DVD drive is not asked: the prepared copy is checked against the carried blob.
        for (uint32_t i = 0; i + profile.HeaderLength < length; ++i)
            if (profile.Bytes[profile.HeaderLength + i] != blobs[profile.Offset + i])
                return false;
        return true;
    }
    namespace P = FlashTexts::Prefix;
    if (!commands.FitsTransferBuffer(length, P::ReadProfile))
        return false;
    if (!commands.Judged(Commands::ReadProfile(length), P::ReadProfile))
        return false;
    if (std::memcmp(commands.Drive().Buffer(), profile.Bytes.data(), length) != 0) {
        commands.Messages().Show(_(FlashTexts::ProfileCompareFailed), MessageKind::Plain);
        return false;
    }
    return true;
}
