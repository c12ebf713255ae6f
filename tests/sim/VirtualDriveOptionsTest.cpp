// SPDX-License-Identifier: Apache-2.0
// The OPTIONS text of --virtual-drive and the defaults that fit an identity.

#include <gtest/gtest.h>

#include <cerrno>

#include "flash/IdentityBlockBuffer.h"
#include "sim/VirtualDriveOptions.h"

namespace {

VirtualDriveConfig Parse(const std::string& text, const VirtualDriveConfig& defaults = {}) {
    std::string error;
    auto config = ParseVirtualDriveOptions(text, defaults, error);
    EXPECT_TRUE(config) << text << ": " << error;
    return config.value_or(VirtualDriveConfig{});
}

std::string Refusal(const std::string& text) {
    std::string error;
    EXPECT_FALSE(ParseVirtualDriveOptions(text, {}, error)) << text;
    return error;
}

}  // namespace

TEST(VirtualDriveOptions, EmptyTextKeepsTheCallersDefaults) {
    VirtualDriveConfig defaults;
    defaults.Inquiry = "KAVENO  QRW-70514S      ";
    defaults.Revision = "QF01";
    defaults.NewRevision = "QFA0";
    const VirtualDriveConfig config = Parse("", defaults);
    EXPECT_EQ(config.Inquiry, defaults.Inquiry);
    EXPECT_EQ(config.Revision, "QF01");
    EXPECT_EQ(config.NewRevision, "QFA0");
    EXPECT_EQ(config.Count, 1u);
    EXPECT_TRUE(config.Faults.empty());
    // Given keys override only themselves.
    const VirtualDriveConfig changed = Parse("rev=QF05", defaults);
    EXPECT_EQ(changed.Revision, "QF05");
    EXPECT_EQ(changed.Inquiry, defaults.Inquiry);
}

TEST(VirtualDriveOptions, EveryKeySetsItsField) {
    const VirtualDriveConfig c =
        Parse("inquiry=ACME WRITER,rev=AB12,newrev=AB13,chip=bfD60001,disc=1,ready=7,count=3,commit-ms=250,"
              "open-error=EBUSY,unplug=9");
    EXPECT_EQ(c.Inquiry, "ACME WRITER             ");
    EXPECT_EQ(c.Inquiry.size(), 24u);
    EXPECT_EQ(c.Revision, "AB12");
    EXPECT_EQ(c.NewRevision, "AB13");
    EXPECT_EQ(c.ChipId, (std::array<uint8_t, 4>{0xBF, 0xD6, 0x00, 0x01}));
    EXPECT_TRUE(c.Disc);
    EXPECT_EQ(c.ReadyPolls, 7u);
    EXPECT_EQ(c.Count, 3u);
    EXPECT_EQ(c.CommitMilliseconds, 250u);
    EXPECT_EQ(c.OpenError, EBUSY);
    EXPECT_EQ(c.UnplugAfter, 9u);
    EXPECT_FALSE(Parse("disc=0").Disc);
    EXPECT_EQ(Parse("count=0").Count, 0u);
    EXPECT_EQ(Parse("inquiry=A=B").Inquiry.substr(0, 4), "A=B ");  // only the first '=' separates
}

TEST(VirtualDriveOptions, RepeatedFaultKeysAddFaultsOfEachKind) {
    const VirtualDriveConfig c = Parse("fail=3:02/3A/00,fail=12:05/24/00,timeout=4,corrupt=9,status=5:08,error=6:EIO,error=7:19");
    ASSERT_EQ(c.Faults.size(), 7u);
    EXPECT_EQ(c.Faults[0], (VirtualFault{3, VirtualFaultKind::Sense, 0x02, 0x3A, 0x00, 0, 0}));
    EXPECT_EQ(c.Faults[1], (VirtualFault{12, VirtualFaultKind::Sense, 0x05, 0x24, 0x00, 0, 0}));
    EXPECT_EQ(c.Faults[2].Kind, VirtualFaultKind::Timeout);
    EXPECT_EQ(c.Faults[2].Command, 4u);
    EXPECT_EQ(c.Faults[3].Kind, VirtualFaultKind::Corrupt);
    EXPECT_EQ(c.Faults[3].Command, 9u);
    EXPECT_EQ(c.Faults[4], (VirtualFault{5, VirtualFaultKind::Status, 0, 0, 0, 0x08, 0}));
    EXPECT_EQ(c.Faults[5], (VirtualFault{6, VirtualFaultKind::PlatformError, 0, 0, 0, 0, EIO}));
    EXPECT_EQ(c.Faults[6].Error, 19);
}

TEST(VirtualDriveOptions, BadOptionsAreRefusedWithAMessageNamingThem) {
    const std::pair<const char*, const char*> cases[] = {
        {"speed=4", "speed"},
        {"rev", "rev"},
        {"rev=ABC", "rev=ABC"},
        {"newrev=ABCDE", "newrev=ABCDE"},
        {"inquiry=", "inquiry="},
        {"inquiry=1234567890123456789012345", "inquiry=1234567890123456789012345"},
        {"chip=DAC8", "chip=DAC8"},
        {"chip=DAC8000G", "chip=DAC8000G"},
        {"disc=yes", "disc=yes"},
        {"ready=-1", "ready=-1"},
        {"count=65", "count=65"},
        {"fail=0:02/3A/00", "fail=0:02/3A/00"},
        {"fail=3", "fail=3"},
        {"fail=3:2/3A/00", "fail=3:2/3A/00"},
        {"fail=3:02/3A", "fail=3:02/3A"},
        {"timeout=x", "timeout=x"},
        {"corrupt=", "corrupt="},
        {"status=2:8", "status=2:8"},
        {"error=2:ENOTANERROR", "ENOTANERROR"},
        {"commit-ms=fast", "commit-ms=fast"},
        {"unplug=0", "unplug=0"},
        {"rev=QF01,,disc=1", "empty option"},
        {"fail=3:02/3A/00,timeout=3", "command 3"},
        // A replay is the whole text; after another option it is known, and refused as such.
        {"count=2,replay=rec.json", "replay=FILE goes alone"},
    };
    for (const auto& [text, named] : cases) {
        const std::string error = Refusal(text);
        EXPECT_NE(error.find(named), std::string::npos) << text << " -> " << error;
    }
}

TEST(VirtualDriveOptions, ErrorNumbersByNameOrNumber) {
    EXPECT_EQ(ParseErrorNumber("EACCES"), EACCES);
    EXPECT_EQ(ParseErrorNumber("ETIMEDOUT"), ETIMEDOUT);
    EXPECT_EQ(ParseErrorNumber("5"), 5);
    EXPECT_FALSE(ParseErrorNumber("eio"));
    EXPECT_FALSE(ParseErrorNumber("-5"));
    EXPECT_FALSE(ParseErrorNumber(""));
}

VirtualDriveConfig DefaultsFor(const std::string& inquiry, const std::string& range, const std::string& name) {
    IdentityBlockBuffer block;
    block.Inquiry(inquiry).FwRange(range).NewFwName(name).ImageLength(16);
    return VirtualDefaultsFor(block.View());
}

TEST(VirtualDriveDefaults, FitTheIdentityBlock) {
    const VirtualDriveConfig c = DefaultsFor("KAVENO  QRW-70514S", "QF01-QF9Z", "QFA0.");
    EXPECT_EQ(c.Inquiry, "KAVENO  QRW-70514S      ");
    EXPECT_EQ(c.Revision, "QF01");
    EXPECT_EQ(c.NewRevision, "QFA0");
}

TEST(VirtualDriveDefaults, WildcardsGiveAFixedProductAndRevisionZero) {
    const VirtualDriveConfig c = DefaultsFor("--", "---------", "QFA0.");
    EXPECT_EQ(c.Inquiry, VirtualDriveConfig{}.Inquiry);
    EXPECT_EQ(c.Inquiry.size(), 24u);
    EXPECT_EQ(c.Revision, "0000");
    // One '-' is no wildcard, for the inquiry or the range.
    const VirtualDriveConfig d = DefaultsFor("-ODD", "-F01-QF9Z", "AB");
    EXPECT_EQ(d.Inquiry, "-ODD                    ");
    EXPECT_EQ(d.Revision, "-F01");
    EXPECT_EQ(d.NewRevision, "AB  ");
    // A range too short to hold its upper bound is no wildcard either.
    EXPECT_EQ(DefaultsFor("X", "-", "QFA0").Revision, "-   ");
}
