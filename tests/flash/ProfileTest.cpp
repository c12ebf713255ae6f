// Flash-chip profiles: the carried data, the table scan and its offsets, both header forms,
// the no-match header, the upload and the check.

#include <cstring>

#include "EngineFixture.h"
#include "flash/ProfileData.h"

namespace {

TEST(ProfileDataTest, FourBlobsBackToBackWithTheirTagsInCAndD) {
    EXPECT_EQ(ProfileData.size(), 3326u);
    EXPECT_EQ(Profiles::BlobOffsets[1], 314u);
    EXPECT_EQ(Profiles::BlobOffsets[2], 766u);
    EXPECT_EQ(Profiles::BlobOffsets[3], 2046u);
    auto findTag = [](std::size_t blob, const std::string& tag) -> long {
        const std::string quoted = '"' + tag + '\0';
        const auto begin = ProfileData.begin() + Profiles::BlobOffsets[blob];
        const auto end = begin + Profiles::BlobSizes[blob];
        const auto at = std::search(begin, end, quoted.begin(), quoted.end());
        return at == end ? -1 : long(at - begin);
    };
    EXPECT_GE(findTag(2, "This profile is for SST39VF020/SST39SF020 V1.2"), 0);
    EXPECT_GE(findTag(3, "This profile is for AMIC A29002 Top V1.2"), 0);
    EXPECT_EQ(findTag(3, "This profile is for SST39VF020/SST39SF020 V1.2"), -1);
    // The blobs differ, so a wrong offset shows in a comparison.
    EXPECT_NE(std::memcmp(&ProfileData[0], &ProfileData[314], 314), 0);
    EXPECT_NE(std::memcmp(&ProfileData[766], &ProfileData[2046], 1280), 0);
}

TEST(ProfileDataTest, TableHoldsTheFiveChipsInScanOrder) {
    const uint8_t expected[5][6] = {{0xDA, 0xC8, 0x01, 0x3A, 0x00, 0x00},
                                    {0xBF, 0xB4, 0x01, 0xC4, 0x00, 0x00},
                                    {0xBF, 0xD6, 0x05, 0x00, 0x00, 0x01},
                                    {0xBF, 0xB6, 0x05, 0x00, 0x00, 0x01},
                                    {0x37, 0x8C, 0x05, 0x00, 0x00, 0x01}};
    static_assert(sizeof(Profiles::TableEntry) == 6);
    EXPECT_EQ(std::memcmp(Profiles::ProfileTable, expected, sizeof expected), 0);
}

struct ProfileCase {
    ImageKind Kind;
    std::array<uint8_t, 4> Reply;
    bool Matched;
    uint32_t Offset;      // ProfileOffset
    uint32_t BlobSize;    // bytes of the blob in the prepared profile
    uint32_t Length;      // ProfileLength
    std::vector<uint8_t> Header;
};

class ProfileSetup : public EngineFixture, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileSetup, PicksUploadsAndChecksTheProfile) {
    const ProfileCase& c = GetParam();
    Setup.Kind = c.Kind;
    Setup.Drive.ChipId = c.Reply;
    Build();
    Vd().ClearCommands();

    std::vector<uint8_t> buffer(0x4000, 0xCC);
    ASSERT_TRUE(Engine->SetupFlashProfile(buffer.data()));
    EXPECT_EQ(Engine->ProfileMatched, c.Matched);
    EXPECT_EQ(Engine->ProfileLength, c.Length);
    if (c.Matched) {
        EXPECT_EQ(Engine->ProfileOffset, c.Offset);
        EXPECT_EQ(Engine->ProfileHeaderLength, c.Header.size());
    }

    // The prepared profile: header, then the blob from its offset.
    std::vector<uint8_t> prepared(c.Header);
    prepared.insert(prepared.end(), ProfileData.begin() + c.Offset, ProfileData.begin() + c.Offset + c.BlobSize);
    EXPECT_TRUE(std::equal(prepared.begin(), prepared.end(), buffer.begin()));

    ASSERT_EQ(Record().size(), 2u);
    EXPECT_EQ(Hex(Record()[0].Cdb), Hex({0xDF, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Record()[0].Direction, DirectionIn);
    EXPECT_EQ(Record()[0].Length, 128u);
    const uint8_t area = c.Kind == ImageKind::Dvd ? 0x00 : 0x08;
    EXPECT_EQ(Hex(Record()[1].Cdb),
              Hex({0x3B, 0x05, 0x01, area, 0, 0, 0, uint8_t(c.Length >> 8), uint8_t(c.Length), 0x7F, 0, 0}));
    EXPECT_EQ(Record()[1].Direction, DirectionOut);
    EXPECT_EQ(Record()[1].Length, c.Length);
    // What went out is the first ProfileLength bytes of the prepared profile.
    EXPECT_EQ(Record()[1].DataOut, std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.Length));

    if (c.Matched) {
        EXPECT_TRUE(Engine->ReadVerifyProfile(buffer.data()));
        if (c.Kind == ImageKind::Dvd) {
            EXPECT_EQ(Record().size(), 2u) << "a DVD profile is checked without a command";
        } else {
            ASSERT_EQ(Record().size(), 3u);
            EXPECT_EQ(Hex(Record()[2].Cdb), Hex({0x3C, 0x01, 0x01, 0x08, 0, 0, 0, uint8_t(c.Length >> 8),
                                                 uint8_t(c.Length), 0, 0, 0}));
            EXPECT_EQ(Record()[2].Direction, DirectionIn);
            EXPECT_EQ(Record()[2].Length, c.Length);
        }
    }
    EXPECT_TRUE(Ui.Messages.empty());
}

const std::vector<uint8_t> NoMatch = {0xFF, 0xFF, 0x00, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Chips, ProfileSetup,
    ::testing::Values(
        ProfileCase{ImageKind::Profile, {0xDA, 0xC8, 0x12, 0x34}, true, 0, 314, 318, {0xDA, 0xC8, 0x01, 0x3A}},
        ProfileCase{ImageKind::Profile, {0xBF, 0xB4, 0x00, 0x00}, true, 314, 452, 456, {0xBF, 0xB4, 0x01, 0xC4}},
        ProfileCase{ImageKind::Profile, {0xBF, 0xD6, 0x00, 0x00}, true, 766, 1280, 1284, {0xBF, 0xD6, 0x05, 0x00}},
        // Entry 2's size is never added, so entry 3 starts at blob C too.
        ProfileCase{ImageKind::Profile, {0xBF, 0xB6, 0x77, 0x66}, true, 766, 1280, 1284, {0xBF, 0xB6, 0x05, 0x00}},
        ProfileCase{ImageKind::Profile, {0x37, 0x8C, 0x00, 0x01}, true, 2046, 1280, 1284, {0x37, 0x8C, 0x05, 0x00}},
        ProfileCase{ImageKind::Profile, {0x12, 0x34, 0x00, 0x01}, false, 0, 0, 4, NoMatch},
        ProfileCase{ImageKind::Dvd, {0xBF, 0xD6, 0x00, 0x01}, true, 766, 1274, 1280,
                    {0xBF, 0xD6, 0x00, 0x01, 0x05, 0x00}},
        ProfileCase{ImageKind::Dvd, {0xDA, 0xC8, 0x00, 0x00}, true, 0, 308, 314, {0xDA, 0xC8, 0x00, 0x00, 0x01, 0x3A}},
        ProfileCase{ImageKind::Dvd, {0xBF, 0xB6, 0x00, 0x01}, true, 766, 1274, 1280,
                    {0xBF, 0xB6, 0x00, 0x01, 0x05, 0x00}},
        ProfileCase{ImageKind::Dvd, {0x37, 0x8C, 0x00, 0x01}, true, 2046, 1274, 1280,
                    {0x37, 0x8C, 0x00, 0x01, 0x05, 0x00}},
        // A DVD image needs the sub-identity as well.
        ProfileCase{ImageKind::Dvd, {0xBF, 0xD6, 0x00, 0x00}, false, 0, 0, 0, NoMatch}));

class ProfileFailures : public EngineFixture {
protected:
    void SetUp() override {
        Setup.Kind = ImageKind::Profile;
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
    std::vector<uint8_t> Buffer = std::vector<uint8_t>(0x4000);
};

TEST_F(ProfileFailures, FailedFlashIdUploadsNothing) {
    FailCommand(2);
    EXPECT_FALSE(Engine->SetupFlashProfile(Buffer.data()));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Read Flash ID> 04 08 01. 02, 0000"});
    EXPECT_EQ(Record().size(), 1u);
}

TEST_F(ProfileFailures, FailedUploadIsReported) {
    FailCommand(3);
    EXPECT_FALSE(Engine->SetupFlashProfile(Buffer.data()));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Write Profile> 04 08 01. 02, 0000"});
}

TEST_F(ProfileFailures, FailedReadBackIsReported) {
    ASSERT_TRUE(Engine->SetupFlashProfile(Buffer.data()));
    FailCommand(4);
    EXPECT_FALSE(Engine->ReadVerifyProfile(Buffer.data()));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Read Profile> 04 08 01. 02, 0000"});
}

TEST_F(ProfileFailures, ReadBackWithOneAlteredByteIsAComparisonError) {
    ASSERT_TRUE(Engine->SetupFlashProfile(Buffer.data()));
    FailCommand(4, VirtualFaultKind::Corrupt);
    EXPECT_FALSE(Engine->ReadVerifyProfile(Buffer.data()));
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"Compared profile error!"});
    EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Plain);
}

TEST_F(ProfileFailures, DvdCopyThatDiffersFromTheBlobFailsSilently) {
    Setup.Kind = ImageKind::Dvd;
    Setup.Drive.ChipId = {0xBF, 0xD6, 0x00, 0x01};
    Build();
    ASSERT_TRUE(Engine->SetupFlashProfile(Buffer.data()));
    Buffer[6 + 100] ^= 0x01;
    const size_t sent = Record().size();
    EXPECT_FALSE(Engine->ReadVerifyProfile(Buffer.data()));
    EXPECT_EQ(Record().size(), sent);
    EXPECT_TRUE(Ui.Messages.empty());
}

}  // namespace
