// SPDX-License-Identifier: Apache-2.0
// The view of a block and its image area, and the program's own block.

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "areas/IdentityBlock.h"

namespace {

struct Buffer {
    std::vector<uint8_t> Bytes = std::vector<uint8_t>(Layout::TotalSize, 0x55);
    IdentityBlock View() const { return IdentityBlock(Bytes.data()); }
    void Put(std::size_t offset, const std::string& text) { std::memcpy(Bytes.data() + offset, text.data(), text.size()); }
    void Length(uint32_t n) {
        for (int i = 0; i < 4; ++i)
            Bytes[Layout::ImageLengthOffset + i] = uint8_t(n >> (8 * i));
    }
};

TEST(IdentityBlock, BlankMarkerIsAllFourBytes) {
    Buffer b;
    b.Put(Layout::BlockSize, "ZYRT");
    EXPECT_TRUE(b.View().IsBlankCopy());
    b.Put(Layout::BlockSize, "ZYRX");
    EXPECT_FALSE(b.View().IsBlankCopy());
    b.Put(Layout::BlockSize, "zyrt");
    EXPECT_FALSE(b.View().IsBlankCopy());
}

TEST(IdentityBlock, TextFieldsStopAtNulOrWidth) {
    Buffer b;
    b.Put(Layout::ModelOffset, std::string("QRW-70512K\0junk", 15));
    b.Put(Layout::InquiryOffset, std::string(25, 'I'));  // no terminator: the width ends it
    b.Put(Layout::FwRangeOffset, std::string("QF01-QF9Z\0", 10));
    b.Put(Layout::VendorOffset, std::string(24, 'V') + '\0');
    b.Put(Layout::NoteOffset, std::string("\0FLASH-ALL", 10));
    b.Put(Layout::NewFwNameOffset, "QFA0.");  // 5 bytes, no terminator; Reserved follows
    EXPECT_EQ(b.View().Model(), "QRW-70512K");
    EXPECT_EQ(b.View().Inquiry(), std::string(25, 'I'));
    EXPECT_EQ(b.View().FwRange(), "QF01-QF9Z");
    EXPECT_EQ(b.View().Vendor(), std::string(24, 'V'));
    EXPECT_EQ(b.View().Note(), "");
    EXPECT_EQ(b.View().NewFwName(), "QFA0.");
}

TEST(IdentityBlock, ImageLengthIsLittleEndian) {
    Buffer b;
    b.Length(0x00080000);
    EXPECT_EQ(b.View().ImageLength(), 0x80000u);
    b.Length(0x12345678);
    EXPECT_EQ(b.View().ImageLength(), 0x12345678u);
    EXPECT_EQ(b.View().Image(), b.Bytes.data() + 152);
}

TEST(IdentityBlock, BytesPastTheImageAreAbsent) {
    Buffer b;
    b.Length(0x4001);  // the marker's second byte lies just past the image
    b.Bytes[Layout::BlockSize + 0x4000] = 0x05;
    b.Bytes[Layout::BlockSize + 0x4001] = 0x80;
    const IdentityBlock v = b.View();
    EXPECT_EQ(v.ImageByte(0x4000), 0x05);
    EXPECT_EQ(v.ImageByte(0x4001), 0);
    EXPECT_TRUE(v.ImageHolds(0x4000, 1));
    EXPECT_FALSE(v.ImageHolds(0x4000, 2));
    EXPECT_TRUE(v.ImageHolds(0x4001, 0));
    // A stored length beyond the area's capacity never reaches past the area.
    b.Length(0xFFFFFFFF);
    EXPECT_EQ(b.View().PresentImageLength(), Layout::ImageCapacity);
    EXPECT_FALSE(b.View().ImageHolds(Layout::ImageCapacity - 1, 2));
    EXPECT_FALSE(b.View().ImageHolds(SIZE_MAX, 2));
}

TEST(EmbeddedBlock, TheToolchainsCopyIsBlank) {
    const IdentityBlock own = IdentityBlock::Embedded();
    EXPECT_TRUE(own.IsBlankCopy());
    EXPECT_EQ(own.ImageLength(), 0u);
    const uint8_t* key = own.KeyWord();
    for (int i = 0; i < 14; ++i)
        EXPECT_TRUE(std::isprint(key[i])) << "key-word byte " << i;
    EXPECT_EQ(key[14], 0);
    // The rest of the blank area is not zero-filled, so the object is never zero-initialised
    // storage, and a misplaced byte in a build shows.
    int zeros = 0;
    for (std::size_t i = 4; i < Layout::ImageCapacity; ++i)
        zeros += own.Image()[i] == 0;
    EXPECT_LT(zeros, int(Layout::ImageCapacity / 64));
}

}  // namespace
