// SPDX-License-Identifier: Apache-2.0
// Flash-chip profiles: the carried data, the table scan and its offsets, both header forms,
// the no-match header, the upload and the check.

#include <cstring>

#include "SequenceExpectations.h"
#include "flash/ProfileData.h"
#include "sim/StandInProfiles.h"

namespace {

TEST(ProfileDataTest, BlobsCAndDCarryTheirOwnTags) {
    auto findTag = [](std::size_t blob, const std::string& tag) -> long {
        const std::string quoted = '"' + tag + '\0';
        const auto begin = StandInProfiles().begin() + Profiles::BlobOffsets[blob];
        const auto end = begin + Profiles::BlobSizes[blob];
        const auto at = std::search(begin, end, quoted.begin(), quoted.end());
        return at == end ? -1 : long(at - begin);
    };
    EXPECT_GE(findTag(2, "This profile is for SST39VF020/SST39SF020 V1.2"), 0);
    EXPECT_GE(findTag(3, "This profile is for AMIC A29002 Top V1.2"), 0);
    EXPECT_EQ(findTag(3, "This profile is for SST39VF020/SST39SF020 V1.2"), -1);
    // The blobs differ, so a wrong offset shows in a comparison.
    EXPECT_NE(std::memcmp(&StandInProfiles()[0], &StandInProfiles()[314], 314), 0);
    EXPECT_NE(std::memcmp(&StandInProfiles()[766], &StandInProfiles()[2046], 1280), 0);
}

struct ProfileCase {
    ImageType Kind;
    std::array<uint8_t, 4> Reply;
    bool Matched;
    uint32_t Offset;  // of the blob in the carried profiles
    uint32_t Length;  // of the upload
    std::vector<uint8_t> Header;
};

class ProfileSetup : public EngineFixture, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileSetup, PicksUploadsAndChecksTheProfile) {
    const ProfileCase& c = GetParam();
    Setup.Kind = c.Kind;
    Setup.Drive.ChipId = c.Reply;
    Build();
    Vd().ClearCommands();

    PreparedProfile profile;
    ASSERT_TRUE(SetupFlashProfile(*Commands, Kind, StandInProfiles(), profile));
    EXPECT_EQ(profile.Matched, c.Matched);
    if (c.Matched) {
        EXPECT_EQ(profile.Offset, c.Offset);
        EXPECT_EQ(profile.HeaderLength, c.Header.size());
    }

    // The prepared profile: header, then the blob from its offset, as long as the upload.
    std::vector<uint8_t> prepared(c.Header);
    if (c.Matched)
        prepared.insert(prepared.end(), StandInProfiles().begin() + c.Offset,
                        StandInProfiles().begin() + c.Offset + (c.Length - c.Header.size()));
    prepared.resize(c.Length);
    EXPECT_EQ(profile.Bytes, prepared);

    const uint8_t area = c.Kind == ImageType::Dvd ? 0x00 : 0x08, high = uint8_t(c.Length >> 8), low = uint8_t(c.Length);
    const std::string length = std::to_string(c.Length);
    ASSERT_EQ(Lines(Record(), 0), (std::vector<std::string>{
                                      Hex({0xDF, 0x11}) + "in 128",
                                      Hex({0x3B, 0x05, 0x01, area, 0, 0, 0, high, low, 0x7F}) + "out " + length}));
    EXPECT_EQ(Record()[1].DataOut, prepared);

    if (c.Matched) {
        EXPECT_TRUE(ReadVerifyProfile(*Commands, Kind, StandInProfiles(), profile));
        std::vector<std::string> check;  // a DVD profile is checked without a command
        if (c.Kind == ImageType::Profile)
            check = {Hex({0x3C, 0x01, 0x01, 0x08, 0, 0, 0, high, low}) + "in " + length};
        EXPECT_EQ(Lines(Record(), 2), check);
    }
    EXPECT_TRUE(Ui.Messages.empty());
}

const std::vector<uint8_t> NoMatch = {0xFF, 0xFF, 0x00, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Chips, ProfileSetup,
    ::testing::Values(
        ProfileCase{ImageType::Profile, {0xDA, 0xC8, 0x12, 0x34}, true, 0, 318, {0xDA, 0xC8, 0x01, 0x3A}},
        ProfileCase{ImageType::Profile, {0xBF, 0xB4, 0x00, 0x00}, true, 314, 456, {0xBF, 0xB4, 0x01, 0xC4}},
        ProfileCase{ImageType::Profile, {0xBF, 0xD6, 0x00, 0x00}, true, 766, 1284, {0xBF, 0xD6, 0x05, 0x00}},
        // Entry 2's size is never added, so entry 3 starts at blob C too.
        ProfileCase{ImageType::Profile, {0xBF, 0xB6, 0x77, 0x66}, true, 766, 1284, {0xBF, 0xB6, 0x05, 0x00}},
        ProfileCase{ImageType::Profile, {0x37, 0x8C, 0x00, 0x01}, true, 2046, 1284, {0x37, 0x8C, 0x05, 0x00}},
        ProfileCase{ImageType::Profile, {0x12, 0x34, 0x00, 0x01}, false, 0, 4, NoMatch},
        ProfileCase{ImageType::Dvd, {0xBF, 0xD6, 0x00, 0x01}, true, 766, 1280,
                    {0xBF, 0xD6, 0x00, 0x01, 0x05, 0x00}},
        ProfileCase{ImageType::Dvd, {0xDA, 0xC8, 0x00, 0x00}, true, 0, 314, {0xDA, 0xC8, 0x00, 0x00, 0x01, 0x3A}},
        ProfileCase{ImageType::Dvd, {0xBF, 0xB6, 0x00, 0x01}, true, 766, 1280,
                    {0xBF, 0xB6, 0x00, 0x01, 0x05, 0x00}},
        ProfileCase{ImageType::Dvd, {0x37, 0x8C, 0x00, 0x01}, true, 2046, 1280,
                    {0x37, 0x8C, 0x00, 0x01, 0x05, 0x00}},
        // A DVD image needs the sub-identity as well.
        ProfileCase{ImageType::Dvd, {0xBF, 0xD6, 0x00, 0x00}, false, 0, 0, NoMatch}));

class ProfileFailures : public EngineFixture {
protected:
    void SetUp() override {
        Setup.Kind = ImageType::Profile;
        Build();
        Vd().ClearCommands();
    }
    void FailCommand(uint32_t number, VirtualFaultKind kind = VirtualFaultKind::Sense) {
        VirtualFault f;
        f.Command = number;
        f.Kind = kind;
        f.Key = 0x04, f.Asc = 0x08, f.Ascq = 0x01;
        Vd().AddFault(f);
    }
    PreparedProfile Profile;
};

TEST_F(ProfileFailures, FailedFlashIdUploadsNothing) {
    FailCommand(2);
    EXPECT_FALSE(SetupFlashProfile(*Commands, Kind, StandInProfiles(), Profile));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Read Flash ID> 04 08 01. 02, 0000"});
    EXPECT_EQ(Record().size(), 1u);
}

TEST_F(ProfileFailures, FailedUploadIsReported) {
    FailCommand(3);
    EXPECT_FALSE(SetupFlashProfile(*Commands, Kind, StandInProfiles(), Profile));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Write Profile> 04 08 01. 02, 0000"});
}

TEST_F(ProfileFailures, FailedReadBackIsReported) {
    ASSERT_TRUE(SetupFlashProfile(*Commands, Kind, StandInProfiles(), Profile));
    FailCommand(4);
    EXPECT_FALSE(ReadVerifyProfile(*Commands, Kind, StandInProfiles(), Profile));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Read Profile> 04 08 01. 02, 0000"});
}

TEST_F(ProfileFailures, ReadBackWithOneAlteredByteIsAComparisonError) {
    ASSERT_TRUE(SetupFlashProfile(*Commands, Kind, StandInProfiles(), Profile));
    FailCommand(4, VirtualFaultKind::Corrupt);
    EXPECT_FALSE(ReadVerifyProfile(*Commands, Kind, StandInProfiles(), Profile));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Compared profile error!"});
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Plain);
}

TEST_F(ProfileFailures, DvdCopyThatDiffersFromTheBlobFailsSilently) {
    Setup.Kind = ImageType::Dvd;
    Setup.Drive.ChipId = {0xBF, 0xD6, 0x00, 0x01};
    Build();
    ASSERT_TRUE(SetupFlashProfile(*Commands, Kind, StandInProfiles(), Profile));
    Profile.Bytes[6 + 100] ^= 0x01;
    const size_t sent = Record().size();
    EXPECT_FALSE(ReadVerifyProfile(*Commands, Kind, StandInProfiles(), Profile));
    EXPECT_EQ(Record().size(), sent);
    EXPECT_TRUE(Ui.Messages.empty());
}

}  // namespace
