// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/Sense.h"

namespace {

std::vector<uint8_t> Image(const std::vector<uint8_t>& data) {
    uint8_t image[SenseSize];
    std::memset(image, 0xCC, sizeof image);
    Sense::Normalise(data.data(), data.size(), image);
    return std::vector<uint8_t>(image, image + SenseSize);
}

std::vector<uint8_t> Fixed(uint8_t code, uint8_t byte2, uint8_t asc, uint8_t ascq) {
    std::vector<uint8_t> s(18, 0);
    s[0] = code;
    s[2] = byte2;
    s[7] = 10;
    s[12] = asc;
    s[13] = ascq;
    return s;
}

TEST(SenseNormalise, NothingGivesZeros) {
    EXPECT_EQ(Image({}), std::vector<uint8_t>(SenseSize, 0));
    uint8_t image[SenseSize];
    std::memset(image, 0xCC, sizeof image);
    Sense::Normalise(nullptr, 18, image);
    EXPECT_EQ(std::vector<uint8_t>(image, image + SenseSize), std::vector<uint8_t>(SenseSize, 0));
}

TEST(SenseNormalise, FixedFormatKeepsByteTwoWholeWithTheValidBit) {
    for (uint8_t code : {uint8_t(0x70), uint8_t(0x71), uint8_t(0xF0)}) {
        auto image = Image(Fixed(code, 0xE5, 0x24, 0x01));
        EXPECT_EQ(image[0], code);
        EXPECT_EQ(image[2], 0xE5);  // filemark, end-of-medium and incorrect-length flags stay
        EXPECT_EQ(image[12], 0x24);
        EXPECT_EQ(image[13], 0x01);
        EXPECT_EQ(image[18], 0);  // nothing beyond what came
    }
}

TEST(SenseNormalise, ShortAndLongFixedSense) {
    auto shortImage = Image({0x70, 0, 0x06});
    EXPECT_EQ(shortImage[2], 0x06);
    EXPECT_EQ(shortImage[12], 0);
    std::vector<uint8_t> longSense(64, 0x11);
    longSense[0] = 0x70;
    auto longImage = Image(longSense);
    EXPECT_EQ(longImage[SenseSize - 1], 0x11);
}

TEST(SenseNormalise, DescriptorFormatPutsTheTripleWhereFixedFormatHasIt) {
    // 72h: key 02, ASC 3A, ASCQ 00, no descriptors.
    auto image = Image({0x72, 0x02, 0x3A, 0x00, 0, 0, 0, 0});
    EXPECT_EQ(image[0], 0x70);
    EXPECT_EQ(image[2], 0x02);
    EXPECT_EQ(image[12], 0x3A);
    EXPECT_EQ(image[13], 0x00);

    auto deferred = Image({0x73, 0x03, 0x0C, 0x00, 0, 0, 0, 0});
    EXPECT_EQ(deferred[0], 0x71);
    EXPECT_EQ(deferred[2], 0x03);
    EXPECT_EQ(deferred[12], 0x0C);
}

TEST(SenseNormalise, DescriptorReservedBitsDoNotLeakIntoTheKey) {
    auto image = Image({0xF2, 0xF5, 0x20, 0x00, 0, 0, 0, 0});
    EXPECT_EQ(image[2], 0x05);
}

TEST(SenseNormalise, StreamDescriptorFlagsLandInByteTwo) {
    // An information descriptor (type 0, 12 bytes) and then a stream-commands one (type 4)
    // with the incorrect-length flag.
    std::vector<uint8_t> s = {0x72, 0x00, 0x00, 0x00, 0, 0, 0, 16};
    const std::vector<uint8_t> info = {0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x00};
    const std::vector<uint8_t> stream = {0x04, 0x02, 0x00, 0x20};
    s.insert(s.end(), info.begin(), info.end());
    s.insert(s.end(), stream.begin(), stream.end());
    auto image = Image(s);
    EXPECT_EQ(image[2], 0x20);
}

TEST(SenseNormalise, TruncatedOrLyingDescriptorsAreSafe) {
    EXPECT_EQ(Image({0x72, 0x04})[2], 0x04);
    EXPECT_EQ(Image({0x72, 0x04})[12], 0x00);
    EXPECT_EQ(Image({0x72, 0x04, 0x44})[12], 0x44);
    // Additional length claims 255 bytes that are not there; a descriptor claims more than is left.
    auto image = Image({0x72, 0x01, 0x17, 0x01, 0, 0, 0, 0xFF, 0x04, 0xFF});
    EXPECT_EQ(image[2], 0x01);
    EXPECT_EQ(image[12], 0x17);
    EXPECT_EQ(image[13], 0x01);
}

}  // namespace
