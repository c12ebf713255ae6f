// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstring>

#include "IdentityBlockBuffer.h"
#include "flash/Qualification.h"

namespace {

IdentityBlockBuffer Block(const std::string& inquiry, const std::string& range) {
    IdentityBlockBuffer b;
    b.Vendor("Acme").Model("RW-5200").Inquiry(inquiry).FwRange(range).NewFwName("1.20");
    return b;
}

const std::string Product = "CD-RW RW-5200A          ";  // 24 characters

// Whether an optical drive answering product and revision qualifies.
bool Qualifies(const IdentityBlock& block, const std::string& product, const std::string& revision) {
    return JudgeDrive(block, OpticalPeripheralType, product, revision).Qualifies;
}

}  // namespace

TEST(IdentityTextsTest, FormsTheTextsWithTheirWidths) {
    const IdentityTexts t = IdentityTexts::From(Block("CD-RW RW-5200A", "1.00-1.10").View());
    EXPECT_EQ(t.VendorText, "Acme");
    EXPECT_EQ(t.ModelText, "RW-5200");
    EXPECT_EQ(t.InquiryText, Product);
    EXPECT_EQ(t.RangeText, "1.00-1.10");
    EXPECT_EQ(t.RangeLow, "1.00");
    EXPECT_EQ(t.RangeHigh, "1.10");
    EXPECT_FALSE(t.AnyProduct);
    EXPECT_FALSE(t.AnyFirmware);
}

TEST(IdentityTextsTest, ShortRangeIsRightAlignedAndLongInquiryIsCut) {
    const IdentityTexts t = IdentityTexts::From(Block("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "A-B").View());
    EXPECT_EQ(t.InquiryText, "ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_EQ(t.RangeText, "      A-B");
    // "%4.4s" pads on the left as well.
    EXPECT_EQ(t.RangeLow, " A-B");
    EXPECT_EQ(t.RangeHigh, "    ");
}

TEST(IdentityTextsTest, FullWidthFieldsStayInsideTheirField) {
    IdentityBlockBuffer b = Block("x", "0000-9999");
    b.Model(std::string(25, 'M')).Vendor("V");
    const IdentityTexts t = IdentityTexts::From(b.View());
    EXPECT_EQ(t.ModelText, std::string(25, 'M'));
    EXPECT_EQ(t.RangeText, "0000-9999");
}

TEST(QualificationTest, InquiryWildcardAcceptsAnyProductAndRevision) {
    const IdentityBlockBuffer b = Block("--anything", "1.00-1.10");
    EXPECT_TRUE(Qualifies(b.View(), "Some other drive        ", "ZZZZ"));
    EXPECT_TRUE(Qualifies(b.View(), "", ""));
    // One dash is not the wildcard.
    EXPECT_FALSE(Qualifies(Block("-x", "1.00-1.10").View(), "Some other drive        ", "1.05"));
}

TEST(QualificationTest, ProductMustMatchExactlyIncludingCaseAndBlanks) {
    const IdentityBlockBuffer b = Block("CD-RW RW-5200A", "1.00-1.10");
    EXPECT_TRUE(Qualifies(b.View(), Product, "1.05"));
    EXPECT_FALSE(Qualifies(b.View(), "cd-rw rw-5200a          ", "1.05"));
    EXPECT_FALSE(Qualifies(b.View(), "CD-RW RW-5200A", "1.05"));  // no trailing blanks
    EXPECT_FALSE(Qualifies(b.View(), "", ""));                // a drive that did not answer
}

TEST(QualificationTest, RangeWildcardNeedsDashAtBothBounds) {
    EXPECT_TRUE(Qualifies(Block("CD-RW RW-5200A", "-    -").View(), Product, "ZZZZ"));
    EXPECT_TRUE(Qualifies(Block("CD-RW RW-5200A", "-----------").View(), Product, "\xff\xff\xff\xff"));
    // Dash at byte 0 only: the range is compared as text.
    EXPECT_FALSE(Qualifies(Block("CD-RW RW-5200A", "-000 0000").View(), Product, "1.00"));
    // The product is still examined under the range wildcard.
    EXPECT_FALSE(Qualifies(Block("CD-RW RW-5200A", "----------").View(), "Other                   ", "1.00"));
}

TEST(QualificationTest, BoundsAreInclusiveAndOneByteOutsideFails) {
    const IdentityBlockBuffer b = Block("CD-RW RW-5200A", "1.00-1.10");
    const IdentityBlock v = b.View();
    EXPECT_TRUE(Qualifies(v, Product, "1.00"));
    EXPECT_TRUE(Qualifies(v, Product, "1.10"));
    EXPECT_FALSE(Qualifies(v, Product, "1.0/"));  // '/' is one below '0'
    EXPECT_FALSE(Qualifies(v, Product, "1.11"));
    // A shorter text sorts before the longer one it begins: "1.1" lies below "1.10" and above "1.00".
    EXPECT_TRUE(Qualifies(v, Product, "1.1"));
    EXPECT_FALSE(Qualifies(Block("CD-RW RW-5200A", "1.1 -1.10").View(), Product, "1.1"));
}

TEST(QualificationTest, ComparisonIsByUnsignedByteValue) {
    const IdentityBlockBuffer b = Block("CD-RW RW-5200A", "0000-zzzz");
    const IdentityBlock v = b.View();
    EXPECT_TRUE(Qualifies(v, Product, "A000"));   // capitals between digits and small letters
    EXPECT_TRUE(Qualifies(v, Product, "a000"));
    EXPECT_FALSE(Qualifies(v, Product, "\xe9" "000"));  // a high byte sorts after 'z', not before '0'
    EXPECT_FALSE(Qualifies(v, Product, "{000"));
}

TEST(CompareBytesTest, PrefixSortsFirstAndBytesAreUnsigned) {
    EXPECT_LT(CompareBytes("1.0", "1.00"), 0);
    EXPECT_GT(CompareBytes("1.00", "1.0"), 0);
    EXPECT_EQ(CompareBytes("1.00", "1.00"), 0);
    EXPECT_GT(CompareBytes("\x80", "\x7f"), 0);
    EXPECT_LT(CompareBytes("", "0"), 0);
}

// Only an optical drive qualifies, whatever the wildcards; the product is judged before the range.
TEST(JudgeDriveTest, OnlyAnOpticalDriveQualifiesAndTheVerdictSaysWhy) {
    struct Case {
        std::string Inquiry, Range;
        uint8_t Type;
        std::string Product, Revision;
        bool Qualifies, OnlyTheRange;
        std::string Why;
    };
    const std::vector<Case> cases = {
        {"CD-RW RW-5200A", "1.00-1.10", 5, Product, "1.05", true, false, ""},
        {"CD-RW RW-5200A", "1.00-1.10", 0, Product, "1.05", false, false,
         "it is not an optical drive (peripheral type 0)"},
        {"--", "-    -", 0, Product, "1.05", false, false, "it is not an optical drive (peripheral type 0)"},
        {"--", "-    -", 0x1F, Product, "1.05", false, false, "it reports no device type"},
        {"CD-RW RW-5200A", "1.00-1.10", 5, "OTHER   DRIVE-X         ", "1.05", false, false,
         "the drive is not a \"" + Product + "\""},
        {"CD-RW RW-5200A", "1.00-1.10", 5, Product, "1.11", false, true, "firmware 1.11 is outside 1.00 to 1.10"},
    };
    for (const Case& c : cases) {
        const QualificationVerdict verdict = JudgeDrive(Block(c.Inquiry, c.Range).View(), c.Type, c.Product, c.Revision);
        EXPECT_EQ(verdict.Qualifies, c.Qualifies) << c.Why;
        EXPECT_EQ(verdict.OnlyTheRange, c.OnlyTheRange) << c.Why;
        EXPECT_EQ(verdict.Why, c.Why);
    }
}

// A blank copy flashes no drive, not even one its wildcards would accept.
TEST(JudgeDriveTest, ABlankCopyQualifiesNoDrive) {
    IdentityBlockBuffer blank = Block("--", "-    -");
    std::memcpy(blank.Bytes.data() + Layout::BlockSize, Layout::BlankMarker, sizeof Layout::BlankMarker);
    const QualificationVerdict verdict = JudgeDrive(blank.View(), OpticalPeripheralType, Product, "1.05");
    EXPECT_FALSE(verdict.Qualifies);
    EXPECT_FALSE(verdict.OnlyTheRange);
    EXPECT_EQ(verdict.Why, "this copy is a blank builder and flashes no drive");
    EXPECT_TRUE(JudgeDrive(Block("--", "-    -").View(), OpticalPeripheralType, Product, "1.05").Qualifies);
}
