// SPDX-License-Identifier: Apache-2.0
// The image kind decided from marker bytes and model texts inside the image.

#include <gtest/gtest.h>

#include <cstring>

#include "IdentityBlockBuffer.h"
#include "flash/ImageKind.h"

namespace {

enum class Kind { Plain, Profile, Dvd };

class ImageKindTest : public ::testing::Test {
protected:
    IdentityBlockBuffer Block;

    ImageKindTest() { Block.ImageLength(0x80000); }

    void Put(uint32_t at, const std::string& bytes) {
        std::memcpy(Block.Bytes.data() + Layout::BlockSize + at, bytes.data(), bytes.size());
    }
    void Marker(uint32_t at) { Put(at, "\x05\x80"); }

    // Whether a marker was found, and the kind decided.
    std::pair<bool, Kind> Decide(uint32_t* imageSize = nullptr) {
        const ImageKind kind = ImageKindOf(Block.View());
        EXPECT_FALSE(kind.Profile && kind.Dvd);
        if (imageSize)
            *imageSize = kind.Size;
        return {kind.Marked, kind.Dvd ? Kind::Dvd : kind.Profile ? Kind::Profile : Kind::Plain};
    }
};

TEST_F(ImageKindTest, FirstMarkerWithEitherDvdModelSelectsDvd) {
    Marker(0x4000);
    Put(0x4010, "DVD-ROM QMR-204");
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Dvd));
    Put(0x4010, "DVD-ROM QMV-517");
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Dvd));
}

TEST_F(ImageKindTest, ModelTextIgnoresLetterCase) {
    Marker(0x4000);
    Put(0x4010, "dvd-rom qmv-517");
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Dvd));
}

TEST_F(ImageKindTest, AllFifteenBytesOfTheModelTextCount) {
    Marker(0x4000);
    Put(0x4010, "DVD-ROM QMR-20X");
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Plain));
}

TEST_F(ImageKindTest, FirstMarkerWithAnotherModelIsPlainEvenWithTheProfileMarker) {
    Marker(0x4000);
    Put(0x4010, "CD-RW  QMR-204 ");
    Marker(0x1100);
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Plain));
}

TEST_F(ImageKindTest, SecondMarkerReadsTheModelEightBytesLater) {
    Marker(0x4008);
    Put(0x4018, "DVD-ROM QMV-517");
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Dvd));

    Put(0x4018, "               ");
    Put(0x4010, "DVD-ROM QMV-517");  // the first marker's place does not count here
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Plain));
}

TEST_F(ImageKindTest, FirstMarkerIsTriedBeforeTheSecond) {
    Marker(0x4000);
    Put(0x4010, "something else!");
    Marker(0x4008);  // with a DVD model at its own place, yet never looked at
    Put(0x4018, "DVD-ROM QMV-517");
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Plain));
}

TEST_F(ImageKindTest, ProfileMarkerAloneSelectsProfile) {
    Marker(0x1100);
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Profile));
}

TEST_F(ImageKindTest, NoMarkerIsPlainAndFalse) {
    Put(0x1100, "\x80\x05");
    EXPECT_EQ(Decide(), std::make_pair(false, Kind::Plain));
}

TEST_F(ImageKindTest, ImageSizeIsTheStoredLengthForEveryKind) {
    uint32_t size = 0;
    Block.ImageLength(0x6C000);
    Decide(&size);
    EXPECT_EQ(size, 0x6C000u);
    Marker(0x1100);
    Decide(&size);
    EXPECT_EQ(size, 0x6C000u);
}

// Bytes of the image area past the image's length belong to no image.
TEST_F(ImageKindTest, MarkersPastTheImageLengthAreNotSeen) {
    Marker(0x1100);
    Block.ImageLength(0x1101);  // the marker's second byte lies outside
    EXPECT_EQ(Decide(), std::make_pair(false, Kind::Plain));
    Block.ImageLength(0x1102);
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Profile));

    Marker(0x4000);
    Put(0x4010, "DVD-ROM QMR-204");
    Block.ImageLength(0x4010 + 14);  // the model text is cut short
    EXPECT_EQ(Decide(), std::make_pair(true, Kind::Plain));
}

}  // namespace
