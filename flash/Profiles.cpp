// The flash-chip profile: read the chip's identity, pick the matching profile, upload it,
// and later check it.

#include <cstring>

#include "flash/FlashEngine.h"
#include "flash/ProfileData.h"

namespace {
constexpr uint8_t NoMatchHeader[4] = {0xFF, 0xFF, 0x00, 0x00};

uint32_t RoundUpToEven(uint32_t n) { return n + (n & 1); }
}  // namespace

bool FlashEngine::SetupFlashProfile(uint8_t* buffer) {
    if (!Judge(Send(Commands::ReadFlashId()), "Read Flash ID> "))
        return false;
    uint8_t reply[4];
    std::memcpy(reply, CDDrive::Buffer(), sizeof reply);

    // The first matching entry wins. Entries that do not match move the offset on by their
    // size, except the entry whose blob the next entry shares.
    uint32_t offset = 0;
    const Profiles::TableEntry* match = nullptr;
    for (std::size_t i = 0; i < Profiles::TableEntries; ++i) {
        const Profiles::TableEntry& entry = Profiles::ProfileTable[i];
        const bool chip = std::memcmp(reply, entry.ChipId, 2) == 0;
        const bool sub = std::memcmp(reply + 2, entry.SubId, 2) == 0;
        if (chip && (ProfileImage || (DvdImage && sub))) {
            match = &entry;
            break;
        }
        if (i != Profiles::SharedBlobEntry)
            offset += entry.Size();
    }
    ProfileOffset = offset;
    ProfileMatched = match != nullptr;

    if (match) {
        const uint32_t size = match->Size();
        uint8_t* at = buffer;
        *at++ = match->ChipId[0];
        *at++ = match->ChipId[1];
        if (DvdImage) {
            *at++ = match->SubId[0];
            *at++ = match->SubId[1];
        }
        *at++ = match->ProfileSize[0];
        *at++ = match->ProfileSize[1];
        std::memcpy(at, ProfileData.data() + ProfileOffset, size);
        if (size & 1)
            at[size] = 0;  // the pad byte of an odd size
        ProfileHeaderLength = uint32_t(at - buffer);
        // A DVD drive takes the rounded blob size as the whole upload, header included.
        ProfileLength = DvdImage ? RoundUpToEven(size) : RoundUpToEven(size) + 4;
    } else {
        std::memcpy(buffer, NoMatchHeader, sizeof NoMatchHeader);
        ProfileLength = DvdImage ? 0 : 4;
    }

    if (!FitsTransferBuffer(ProfileLength, "Write Profile> "))
        return false;
    if (ProfileLength != 0)
        std::memcpy(CDDrive::Buffer(), buffer, ProfileLength);
    return Judge(Send(Commands::WriteProfile(DvdImage, ProfileLength)), "Write Profile> ");
}

bool FlashEngine::ReadVerifyProfile(const uint8_t* copy) {
    if (DvdImage) {
        // A DVD drive is not asked: the prepared copy is checked against the carried blob.
        for (uint32_t i = 0; i + ProfileHeaderLength < ProfileLength; ++i)
            if (copy[ProfileHeaderLength + i] != ProfileData[ProfileOffset + i])
                return false;
        return true;
    }
    if (!FitsTransferBuffer(ProfileLength, "Read Profile> "))
        return false;
    if (!Judge(Send(Commands::ReadProfile(ProfileLength)), "Read Profile> "))
        return false;
    if (std::memcmp(CDDrive::Buffer(), copy, ProfileLength) != 0) {
        Ui_.Show("Compared profile error!", MessageKind::Plain);
        return false;
    }
    return true;
}
